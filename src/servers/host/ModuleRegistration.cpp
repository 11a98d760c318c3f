//===- ModuleRegistration.cpp - registry keys of a simulation server module ===//
#include "ModuleRegistration.h"

#include <string>

#include <vexo/OPCCOMN.h>
#include <vexo/VexoSimulation.h>
#include <vexo/platform/Guid.h>

#include "../simulation/SimHosting.h"

namespace vexo::sim {
namespace {

struct ServedClass {
    const CLSID &Clsid;
    const char *ProgId;
};
const ServedClass kClasses[] = {{CLSID_VexoSimulation, "Vexo.Simulation.1"},
                                {CLSID_VexoSimulationDA10, "Vexo.Simulation.DA10.1"},
                                {CLSID_OPCServerList, "OPC.ServerList.1"}};

const char *ServerKeyName(ModuleKind kind) {
    return kind == ModuleKind::Inproc ? "InprocServer32" : "LocalServer32";
}

LONG SetString(HKEY key, const char *name, const std::string &value) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1));
}

bool KeyExists(const std::string &path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

} // namespace

HRESULT RegisterModule(HMODULE module, ModuleKind kind) {
    char path[MAX_PATH * 2] = {};
    const DWORD length = GetModuleFileNameA(module, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return HRESULT_FROM_WIN32(GetLastError());
    WriteSimulationKeys(HKEY_CLASSES_ROOT);
    for (const ServedClass &served : kClasses) {
        const std::string keyPath =
            "CLSID\\" + platform::GuidToString(served.Clsid) + "\\" + ServerKeyName(kind);
        HKEY key = nullptr;
        LONG rc = RegCreateKeyExA(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, nullptr, 0, KEY_WRITE,
                                  nullptr, &key, nullptr);
        if (rc != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(rc);
        // A program's path is quoted: it may hold blanks, and the value is a
        // command line.
        rc = SetString(key, nullptr,
                       kind == ModuleKind::Local ? "\"" + std::string(path) + "\"" : path);
        if (rc == ERROR_SUCCESS && kind == ModuleKind::Inproc)
            rc = SetString(key, "ThreadingModel", "Both");
        RegCloseKey(key);
        if (rc != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(rc);
    }
    return S_OK;
}

HRESULT UnregisterModule(ModuleKind kind) {
    const ModuleKind other = kind == ModuleKind::Inproc ? ModuleKind::Local : ModuleKind::Inproc;
    for (const ServedClass &served : kClasses) {
        const std::string classKey = "CLSID\\" + platform::GuidToString(served.Clsid);
        RegDeleteTreeA(HKEY_CLASSES_ROOT, (classKey + "\\" + ServerKeyName(kind)).c_str());
        if (!KeyExists(classKey + "\\" + ServerKeyName(other))) {
            RegDeleteTreeA(HKEY_CLASSES_ROOT, classKey.c_str());
            RegDeleteTreeA(HKEY_CLASSES_ROOT, served.ProgId);
        }
    }
    return S_OK;
}

} // namespace vexo::sim
