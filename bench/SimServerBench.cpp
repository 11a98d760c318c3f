//===- SimServerBench.cpp - delivery rate of the simulation server --------===//
//
// BM_SimServerDelivery/N: one manual scan of a group of N items that all
// change every scan, delivered to an IOPCDataCallback that does nothing.
//
//===----------------------------------------------------------------------===//
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include <vexo/OPCDA.h>
#include <vexo/VexoSimulation.h>
#include <vexo/platform/Platform.h>

namespace {

using vexo::platform::ComPtr;

class NullSink final : public vexo::platform::ComObject<IOPCDataCallback> {
  public:
    HRESULT STDMETHODCALLTYPE OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD n, OPCHANDLE *, VARIANT *,
                         WORD *, FILETIME *, HRESULT *) override {
        items += n;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnReadComplete(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD, OPCHANDLE *, VARIANT *,
                           WORD *, FILETIME *, HRESULT *) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnWriteComplete(DWORD, OPCHANDLE, HRESULT, DWORD, OPCHANDLE *, HRESULT *) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnCancelComplete(DWORD, OPCHANDLE) override { return S_OK; }
    long long items = 0;
};

void BM_SimServerDelivery(benchmark::State &state) {
    const auto n = static_cast<DWORD>(state.range(0));
    vexo::RegisterSimulationServers();
    ComPtr<IOPCServer> server;
    if (FAILED(vexo::platform::CoCreateInstance(CLSID_VexoSimulation, nullptr, CLSCTX_ALL,
                                                IID_IOPCServer, server.PutVoid()))) {
        state.SkipWithError("cannot create the simulation server");
        return;
    }
    auto control = server.As<IVexoSimControl>();
    control->SetManualMode(TRUE);
    control->EnableCallLog(FALSE);
    control->SetForceChange(TRUE);
    ComPtr<IOPCItemMgt> group;
    OPCHANDLE hGroup = 0;
    DWORD revised = 0;
    server->AddGroup(u"Bench", TRUE, 100, 1, nullptr, nullptr, 0, &hGroup, &revised,
                     IID_IOPCItemMgt, reinterpret_cast<LPUNKNOWN *>(group.ReleaseAndGetAddressOf()));
    std::vector<std::u16string> ids(n);
    std::vector<OPCITEMDEF> defs(n);
    for (DWORD i = 0; i < n; ++i) {
        const std::string id = "Simulation.Bench.Tag" + std::to_string(i);
        ids[i].assign(id.begin(), id.end());
        defs[i] = OPCITEMDEF{};
        defs[i].szAccessPath = const_cast<LPWSTR>(u"");
        defs[i].szItemID = ids[i].data();
        defs[i].bActive = TRUE;
        defs[i].hClient = i;
    }
    OPCITEMRESULT *results = nullptr;
    HRESULT *errors = nullptr;
    group->AddItems(n, defs.data(), &results, &errors);
    vexo::platform::CoTaskMemFree(results);
    vexo::platform::CoTaskMemFree(errors);
    auto sink = vexo::platform::MakeCom<NullSink>();
    ComPtr<IConnectionPoint> cp;
    group.As<IConnectionPointContainer>()->FindConnectionPoint(IID_IOPCDataCallback,
                                                               cp.ReleaseAndGetAddressOf());
    DWORD cookie = 0;
    cp->Advise(sink->GetUnknown(), &cookie);
    control->RunScan(0); // first update
    sink->items = 0;
    for (auto _ : state)
        control->RunScan(100);
    if (sink->items != static_cast<long long>(state.iterations()) * n)
        state.SkipWithError("not every item was delivered on every scan");
    state.SetItemsProcessed(sink->items);
    cp->Unadvise(cookie);
    server->RemoveGroup(hGroup, TRUE);
}
BENCHMARK(BM_SimServerDelivery)->Arg(10000)->Unit(benchmark::kMillisecond);

// The server's share of adding N distinct items in one AddItems call.
void BM_SimServerAddItems(benchmark::State &state) {
    const auto n = static_cast<DWORD>(state.range(0));
    vexo::RegisterSimulationServers();
    ComPtr<IOPCServer> server;
    vexo::platform::CoCreateInstance(CLSID_VexoSimulation, nullptr, CLSCTX_ALL, IID_IOPCServer,
                                     server.PutVoid());
    auto control = server.As<IVexoSimControl>();
    control->SetManualMode(TRUE);
    control->EnableCallLog(FALSE);
    std::vector<std::u16string> ids(n);
    std::vector<OPCITEMDEF> defs(n);
    for (DWORD i = 0; i < n; ++i) {
        const std::string id = "Simulation.Bench.Tag" + std::to_string(i);
        ids[i].assign(id.begin(), id.end());
        defs[i] = OPCITEMDEF{};
        defs[i].szItemID = ids[i].data();
        defs[i].bActive = TRUE;
        defs[i].hClient = i;
    }
    for (auto _ : state) {
        ComPtr<IOPCItemMgt> group;
        OPCHANDLE h = 0;
        DWORD revised = 0;
        server->AddGroup(u"", TRUE, 1000, 1, nullptr, nullptr, 0, &h, &revised, IID_IOPCItemMgt,
                         reinterpret_cast<LPUNKNOWN *>(group.ReleaseAndGetAddressOf()));
        OPCITEMRESULT *results = nullptr;
        HRESULT *errors = nullptr;
        group->AddItems(n, defs.data(), &results, &errors);
        vexo::platform::CoTaskMemFree(results);
        vexo::platform::CoTaskMemFree(errors);
        group = nullptr;
        server->RemoveGroup(h, TRUE);
    }
    state.SetItemsProcessed(static_cast<long long>(state.iterations()) * n);
}
BENCHMARK(BM_SimServerAddItems)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace
