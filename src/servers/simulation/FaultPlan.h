//===- FaultPlan.h - failures a test asked a server object to produce -----===//
//
// This file defines FaultPlan: call-level failures ("fail the next AddItems
// with E_OUTOFMEMORY") and per-item result codes for the next call of a
// method. A name given without a dot also matches the qualified call names
// ("Read" matches "AsyncIO2.Read"). "Method#k" plans for the k-th call of
// Method from now on instead of the next one, so that a test can reach a
// method the same operation calls several times. Thread-safe; one atomic
// load when empty.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <vexo/platform/ComBase.h>

namespace vexo::sim {

class FaultPlan {
  public:
    void FailNext(std::string method, HRESULT hr);
    void ItemErrorsNext(std::string method, std::vector<HRESULT> errors);
    /// The failure planned for this call (consumed), or S_OK.
    HRESULT TakeFailure(std::string_view method);
    /// The item codes planned for this call (consumed), or empty.
    std::vector<HRESULT> TakeItemErrors(std::string_view method);

  private:
    /// A plan and the number of matching calls still to let pass first.
    template <class T> struct Planned {
        T value{};
        unsigned skip = 0;
    };
    template <class Map> auto Take(Map &map, std::string_view method);
    template <class Map, class T> void Put(Map &map, std::string method, T value);

    std::atomic<int> pending_{0};
    std::mutex mu_;
    std::map<std::string, Planned<HRESULT>, std::less<>> failures_;
    std::map<std::string, Planned<std::vector<HRESULT>>, std::less<>> itemErrors_;
};

/// errors[i] when planned for position i, otherwise S_OK.
inline HRESULT PlannedAt(const std::vector<HRESULT> &errors, std::size_t i) {
    return i < errors.size() ? errors[i] : S_OK;
}

} // namespace vexo::sim
