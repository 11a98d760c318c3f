//===- SimHosting.h - what a COM server module needs of the simulation ----===//
//
// This file declares what the simulation's own server modules (an
// in-process DLL and a local-server program) use: the class object of each
// simulation class, the registry keys the classes share, and the hooks
// through which a module keeps its process alive while objects live.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <vexo/platform/ComInterfaces.h>
#include <vexo/platform/ComPtr.h>
#include <vexo/platform/Registry.h>

namespace vexo::sim {

/// The class object of CLSID_VexoSimulation, CLSID_VexoSimulationDA10 or
/// CLSID_OPCServerList on this computer (one per class and process); null
/// for any other class id.
platform::ComPtr<IClassFactory> SimulationClassObject(REFCLSID clsid);

/// Writes the program ids, class keys with their categories, and category
/// descriptions of the three classes under root (HKEY_CLASSES_ROOT), without
/// naming a server module.
void WriteSimulationKeys(HKEY root);

/// Calls a module makes while simulation objects (server objects with their
/// groups, server-list objects) live: add when one is made, release when one
/// is gone. Without hooks (the default) nothing is called.
struct HostHooks {
    void (*AddRef)() = nullptr;
    void (*Release)() = nullptr;
};
void SetHostHooks(HostHooks hooks);
void HostAddRef();
void HostRelease();

/// Counts a call that received a top-level [in] array of records or VARIANTs
/// (AddItems, ValidateItems, the Writes). A local server reports the count
/// beside its task memory: the stubs of some runtimes (Wine's) keep one block
/// of each such array, which is then no leak of the server.
void CountRecordArrayCall();
long long RecordArrayCalls();

/// Holds the module's process for as long as it lives.
class HostReference {
  public:
    HostReference();
    ~HostReference();
    HostReference(const HostReference &) = delete;
    HostReference &operator=(const HostReference &) = delete;
};

} // namespace vexo::sim
