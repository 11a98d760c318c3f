//===- InprocServer.cpp - the simulation servers as an in-process DLL -----===//
//
// vexosim.dll serves the simulation classes and the server-list object in
// the client's process (threading model Both). regsvr32 registers it; it can
// unload once no object it made is alive and no client holds it locked.
//
//===----------------------------------------------------------------------===//
#include <atomic>

#include "../simulation/SimHosting.h"
#include "ModuleRegistration.h"

namespace {

HMODULE gModule = nullptr;
std::atomic<long> gLive{0};

void AddRefModule() { gLive.fetch_add(1, std::memory_order_relaxed); }
void ReleaseModule() { gLive.fetch_sub(1, std::memory_order_relaxed); }

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        gModule = instance;
        DisableThreadLibraryCalls(instance);
        vexo::sim::SetHostHooks({&AddRefModule, &ReleaseModule});
    }
    return TRUE;
}

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID *ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    auto factory = vexo::sim::SimulationClassObject(rclsid);
    if (!factory)
        return CLASS_E_CLASSNOTAVAILABLE;
    return factory->QueryInterface(riid, ppv);
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return gLive.load(std::memory_order_relaxed) == 0 ? S_OK : S_FALSE;
}

HRESULT STDAPICALLTYPE DllRegisterServer() {
    return vexo::sim::RegisterModule(gModule, vexo::sim::ModuleKind::Inproc);
}

HRESULT STDAPICALLTYPE DllUnregisterServer() {
    return vexo::sim::UnregisterModule(vexo::sim::ModuleKind::Inproc);
}

} // extern "C"
