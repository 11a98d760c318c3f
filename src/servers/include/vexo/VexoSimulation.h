//===- VexoSimulation.h - the simulation OPC DA servers and their control -===//
//
// This file declares what tests, benchmarks, the demo and the command-line
// client need to reach the in-process simulation servers: their class ids,
// the function that registers them (and the server-list object) on a computer
// of the platform, and IVexoSimControl, the project-private test-control
// interface that the server object answers besides the OPC interfaces.
//
// Classes:
//   Vexo.Simulation.1      DA 2.0 and DA 1.0 interfaces, hierarchical address space.
//   Vexo.Simulation.DA10.1 DA 1.0 only (no connection points, no IOPCAsyncIO2, no
//                          IOPCCommon/IOPCItemProperties/shutdown), flat address space.
//
// Address space (item ids; the DA 1.0 class lists the same ids flat):
//   Simulation.Random.<T>, Simulation.Ramp.<T>, Simulation.Bucket.<T>   for every T of
//       Int1 Int2 Int4 Int8 UInt1 UInt2 UInt4 UInt8 Int UInt Real4 Real8 Money Time String
//       Boolean (VT_I1 .. VT_BOOL); Random and Ramp change, Bucket keeps what is written.
//   Simulation.Sine.{Real4,Real8,Int4}, Simulation.Square.{Boolean,Int4,Real8}
//   Simulation.Constant.{Int4,Real8,String,Boolean,Time,Money}
//   Simulation.Arrays.{Int4Array,Real8Array,StringArray}          changing, read-only
//   Simulation.Bucket.{Int4Array,Real8Array,StringArray}          writable arrays
//   Simulation.ReadOnly.{Int4,String}, Simulation.WriteOnly.{Int4,String}
//   Simulation.Quality.{Override (0xD8), Uncertain (0x54), Bad (0x18)}
//   Simulation.Line 1.Level        analog R8 0..100 (sine), access paths "Path A", "Path B",
//                                  properties 1-8, 100, 101 and 5001 (whose read fails),
//                                  LookupItemIDs for 100 and 101
//   Simulation.Line 1.Level EU, Simulation.Line 1.Level Description  (the looked-up items)
//   Simulation.Line 1.Setpoint     analog R8 0..100, writable, writes outside clamp (OPC_S_CLAMP)
//   Simulation.Line 1.Pump 1       writable Boolean
//   Simulation.Bench.Tag<n>        n = 0..9999999, I4 counters created on first use (for
//                                  benchmarks; not listed by browsing)
//
// Behaviour as real servers show it: an active item of an active group is kept current in
// the cache at the group's rate whether or not anyone listens (a changing tag read before
// its first scan is empty with quality OPC_QUALITY_WAITING_FOR_INITIAL_DATA); a new
// callback or data advise, an activated group and a re-enabled callback first hear every
// active, readable item (transaction id 0); cancel ids are the server's own; IOPCAsyncIO
// reads and refreshes need a data advise's connection, writes a write-complete advise's.
//
// Manual mode: no scan thread; IVexoSimControl::RunScan advances a fake clock and runs one
// scan on the caller's thread, delivering data changes and queued asynchronous results.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <vexo/OPCDA.h>
#include <vexo/platform/ComBase.h>
#include <vexo/platform/Variant.h>

/// Class id of "Vexo.Simulation.1" {7E46A347-A843-44D9-B2C6-ADCF158C9B0F}.
constexpr CLSID CLSID_VexoSimulation{
    0x7E46A347, 0xA843, 0x44D9, {0xB2, 0xC6, 0xAD, 0xCF, 0x15, 0x8C, 0x9B, 0x0F}};
/// Class id of "Vexo.Simulation.DA10.1" {D2448441-2BD9-4F9D-8376-E27FC221F8E8}.
constexpr CLSID CLSID_VexoSimulationDA10{
    0xD2448441, 0x2BD9, 0x4F9D, {0x83, 0x76, 0xE2, 0x7F, 0xC2, 0x21, 0xF8, 0xE8}};
/// IID of IVexoSimControl {9E38910A-8ACB-41FA-BCA0-D14C59D834C9}.
constexpr IID IID_IVexoSimControl{
    0x9E38910A, 0x8ACB, 0x41FA, {0xBC, 0xA0, 0xD1, 0x4C, 0x59, 0xD8, 0x34, 0xC9}};

/// When the results of asynchronous calls and initial updates reach the client.
enum VexoSimCompletion : DWORD {
    /// From the scan thread (or the next RunScan), as most real servers do: with
    /// the thread running they may still arrive before the call returns.
    SIM_COMPLETE_ON_SCAN = 0,
    /// On the calling thread, before the call returns.
    SIM_COMPLETE_BEFORE_RETURN = 1,
    /// On another thread, before the call returns (the call waits for it).
    SIM_COMPLETE_BEFORE_RETURN_OTHER_THREAD = 2,
    /// At the scan, the last call's results first.
    SIM_COMPLETE_REVERSED = 3,
};

/// Where WithholdInterface applies.
enum VexoSimTarget : DWORD {
    SIM_TARGET_SERVER = 0, ///< the server object itself (at once)
    SIM_TARGET_GROUPS = 1, ///< group objects created from now on
};

/// Test control of one simulation server object. Every method is thread-safe,
/// never raises, and may be called from inside a callback.
struct IVexoSimControl : IUnknown {
    /// The next call of the named method fails with hr and returns no out arrays.
    /// Names as in the call log ("AddItems", "Read", "AsyncIO2.Read" ...); a bare
    /// name also matches a qualified one ("Read" matches "AsyncIO.Read"). A success
    /// code given for "DAdvise" is answered after the advise was made.
    /// "Name#k" fails the k-th call of the method from now on instead of the
    /// next one (for SetNextItemErrors too).
    virtual HRESULT STDMETHODCALLTYPE FailNextCall(LPCWSTR szMethod, HRESULT hr) = 0;
    /// The next call of the named method reports errors[i] for item i (position
    /// in the request). S_OK entries leave an item alone; a failure code skips the
    /// item's work; a success code replaces its result code. Completion callbacks
    /// take names too: "OnDataChange", "OnReadComplete", "OnWriteComplete".
    virtual HRESULT STDMETHODCALLTYPE SetNextItemErrors(LPCWSTR szMethod, DWORD dwCount,
                                      const HRESULT *pErrors) = 0;
    /// Update rates are revised to multiples of dwMs (at least dwMs); 100 at start.
    virtual HRESULT STDMETHODCALLTYPE SetRateGranularity(DWORD dwMs) = 0;
    /// TRUE (the default): IOPCAsyncIO2 cancel ids are the server's own, unlike
    /// the transaction ids; FALSE: a cancel id equals its call's transaction id.
    virtual HRESULT STDMETHODCALLTYPE SetDistinctCancelIds(BOOL bDistinct) = 0;
    /// GetStatus reports this record (copied, szVendorInfo included) instead of
    /// the live one; nullptr returns to the live status.
    virtual HRESULT STDMETHODCALLTYPE SetStatus(const OPCSERVERSTATUS *pStatus) = 0;
    /// Sends IOPCShutdown::ShutdownRequest to every advised sink, on the caller's
    /// thread (bFromScanThread FALSE) or queued for the scan thread / next RunScan.
    virtual HRESULT STDMETHODCALLTYPE SendShutdown(LPCWSTR szReason, BOOL bFromScanThread) = 0;
    /// Makes QueryInterface on the target refuse (or answer again) riid.
    virtual HRESULT STDMETHODCALLTYPE WithholdInterface(VexoSimTarget target, REFIID riid, BOOL bWithhold) = 0;
    /// TRUE stops and joins the scan thread (manual mode); FALSE starts it again.
    virtual HRESULT STDMETHODCALLTYPE SetManualMode(BOOL bManual) = 0;
    /// Manual mode only: advances the fake clock by dwAdvanceMs, then runs one
    /// scan on this thread. E_UNEXPECTED while the scan thread runs.
    virtual HRESULT STDMETHODCALLTYPE RunScan(DWORD dwAdvanceMs) = 0;
    /// TRUE makes every tag change its value on every scan (benchmarks).
    virtual HRESULT STDMETHODCALLTYPE SetForceChange(BOOL bForce) = 0;
    /// Sets a tag's value (converted to its type) and quality now.
    /// OPC_E_UNKNOWNITEMID / OPC_E_BADTYPE on failure.
    virtual HRESULT STDMETHODCALLTYPE SetTagValue(LPCWSTR szItemID, const VARIANT *pValue, WORD wQuality) = 0;
    /// The call log as lines "Method args" joined by '\n' (task memory).
    virtual HRESULT STDMETHODCALLTYPE GetCallLog(LPWSTR *ppText) = 0;
    virtual HRESULT STDMETHODCALLTYPE ClearCallLog() = 0;
    /// Switches the call log on (the default) or off.
    virtual HRESULT STDMETHODCALLTYPE EnableCallLog(BOOL bEnable) = 0;
    /// Milliseconds of the clock the server stamps values with (fake in manual mode).
    virtual HRESULT STDMETHODCALLTYPE GetClock(ULONGLONG *pMs) = 0;
    /// Chooses when asynchronous results and initial updates arrive (see
    /// VexoSimCompletion); E_INVALIDARG for an unknown mode.
    virtual HRESULT STDMETHODCALLTYPE SetCompletionMode(VexoSimCompletion mode) = 0;
    /// TRUE: the server process behind this object goes away. Every object of
    /// this class on this computer made so far fails each call with hrLost (a
    /// failure code such as RPC_E_DISCONNECTED) from now on and for good, and
    /// calls back no more; creating a new one fails with RPC_S_SERVER_UNAVAILABLE.
    /// FALSE: the process is back and new objects can be created again; the old
    /// ones stay gone. Control calls keep working on a gone object.
    /// E_INVALIDARG for a success code; E_UNEXPECTED for an object not made
    /// through the class's factory.
    virtual HRESULT STDMETHODCALLTYPE SetOffline(BOOL bOffline, HRESULT hrLost) = 0;
    /// Lays out the DA 1.0 data streams sent from now on as a server of that
    /// pointer size does (32: 16-byte VARIANTs, 64: 24-byte ones); the
    /// process's own size at start. E_INVALIDARG for any other number.
    virtual HRESULT STDMETHODCALLTYPE SetStreamLayout(DWORD dwPointerBits) = 0;
    /// The task-memory blocks the server's process holds now (allocated and
    /// not yet freed, as the platform counts them), so that a test can check
    /// the server's side of calls across processes too.
    virtual HRESULT STDMETHODCALLTYPE GetTaskMemoryBlocks(LONGLONG *pBlocks) = 0;
};
VEXO_DECLARE_INTERFACE_IID(IVexoSimControl, IID_IVexoSimControl);

namespace vexo {

/// Registers both simulation classes and the server-list object on the named
/// computer ("" = local; an unknown name is added first). Idempotent, thread-safe.
void RegisterSimulationServers(std::string_view computerName = "");

/// The call log of a server as lines (convenience over IVexoSimControl::GetCallLog).
std::vector<std::string> SimCallLog(IVexoSimControl *control);

} // namespace vexo
