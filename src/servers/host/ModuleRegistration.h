//===- ModuleRegistration.h - registry keys of a simulation server module -===//
//
// This file declares how the simulation's server modules register and
// unregister themselves: the shared class keys, and the module under each
// class: InprocServer32 (threading model Both) for the DLL, LocalServer32 for
// the program. Windows only.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <windows.h>

namespace vexo::sim {

enum class ModuleKind { Inproc, Local };

/// Writes the keys of the three classes naming the module file.
HRESULT RegisterModule(HMODULE module, ModuleKind kind);
/// Removes the module's key of each class, and the classes' keys as well once
/// no module serves them any more.
HRESULT UnregisterModule(ModuleKind kind);

} // namespace vexo::sim
