//===- SweepSupport.h - a full client scenario under one planned fault ---===//
//
// The fault sweep runs the same application scenario many times against the
// simulation servers: connect, groups and items, reads and writes,
// subscriptions, refresh and cancel, properties, browsing, status, item and
// group removal, disconnect. Each run plans exactly one fault before exactly
// one step, for a server method that step calls: the call fails as a whole,
// fails for the first item, or answers S_FALSE without its arrays.
//
// Server objects are made through a gateway class registered by the tests:
// it creates the real simulation object, switches it to manual scans (so
// nothing runs behind the scenario's back) and plans the fault before the
// client sees the object, which lets the sweep reach the calls made while
// connecting too.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <vexo/Vexo.h>
#include <vexo/VexoSimulation.h>
#include <vexo/platform/ComPtr.h>

namespace vexo::test {

/// How the planned call goes wrong.
enum class FaultKind {
    CallFails,     ///< the whole call answers E_FAIL with no arrays
    FirstItemFails, ///< the call succeeds, its first item fails
    SFalseNoArrays, ///< the call answers S_FALSE and returns no arrays
};

const char *KindName(FaultKind Kind);

/// One planned fault: Method fails (as Kind says) the first time it is called
/// during step Step of the scenario ("Method#k": the k-th time).
struct PlannedFault {
    int Step = 0;
    std::string Method;
    FaultKind Kind = FaultKind::CallFails;
    std::string Describe() const;
};

/// The code a planned fault puts in place of a result.
constexpr HRESULT CallFailure = static_cast<HRESULT>(0x80004005);   // E_FAIL
constexpr HRESULT ItemFailure = static_cast<HRESULT>(0xC0040007);   // OPC_E_UNKNOWNITEMID

/// What one run of the scenario saw.
struct RunRecord {
    /// (step, method) of every server call, in call order.
    std::vector<std::pair<int, std::string>> Calls;
    /// Texts the application was given: exceptions out of operations,
    /// OnError texts, exceptions passed to Application->HandleException,
    /// message boxes; each prefixed with the step's name.
    std::vector<std::string> Reports;
    /// Steps that answered false where the fault-free run answered true.
    std::vector<std::string> FalseAnswers;
    /// Item result codes seen at the end of each step ("step: item=code").
    std::vector<std::string> ItemCodes;
    /// Exceptions out of steps that promise not to raise.
    std::vector<std::string> Escaped;
    /// Broken invariants found at the end of a step or of the run.
    std::vector<std::string> Inconsistencies;
    /// Names of the steps, by index.
    std::vector<std::string> StepNames;
    /// Per step: whether it answered true in this run.
    std::vector<bool> Answers;
    /// Write errors reported through OnWriteError.
    int WriteErrors = 0;
};

/// Runs the scenario once against ProgID's gateway; Fault may be null for a
/// fault-free run. Baseline, when given, is the fault-free run's answers.
RunRecord RunScenario(bool DA10, const PlannedFault *Fault, const RunRecord *Baseline);

/// True for the methods that answer per item (and so can fail per item).
bool IsPerItemMethod(const std::string &Method);

/// True for the methods whose planned S_FALSE arrives without any arrays.
bool IsBareSFalseMethod(const std::string &Method);

/// The expected text of a call that fails with Code, as the client words it.
std::string FailureText(HRESULT Code);

} // namespace vexo::test
