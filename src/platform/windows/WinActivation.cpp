//===- WinActivation.cpp - computers and class objects on Windows --------===//
//
// This file implements the platform's own activation helpers over the real
// COM runtime. Computers are real here: only the local one takes class
// registrations, and there is no table of named computers to add or remove.
//
//===----------------------------------------------------------------------===//
#include <vexo/platform/Activation.h>

#include "../Computers.h"

namespace vexo::platform {
namespace {

bool IsLocal(std::string_view name) {
    while (!name.empty() && (name.front() == ' ' || name.front() == '\t'))
        name.remove_prefix(1);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
        name.remove_suffix(1);
    return name.empty() || detail::EqualsNoCase(name, LocalComputerName()) ||
           detail::EqualsNoCase(name, "localhost") || name == "127.0.0.1";
}

} // namespace

std::string LocalComputerName() {
    static const std::string name = [] {
        char buf[MAX_COMPUTERNAME_LENGTH + 1] = {};
        DWORD size = sizeof buf;
        if (!GetComputerNameA(buf, &size) || size == 0)
            return std::string("localhost");
        return std::string(buf, size);
    }();
    return name;
}

void AddComputer(std::string_view) {}

void RemoveComputer(std::string_view) {}

bool ComputerExists(std::string_view name) { return IsLocal(name); }

std::vector<std::string> ComputerNames() { return {LocalComputerName()}; }

HRESULT RegisterClassObjectOn(std::string_view computer, REFCLSID rclsid, IUnknown *pUnk,
                              DWORD *lpdwRegister) {
    if (!lpdwRegister)
        return E_POINTER;
    *lpdwRegister = 0;
    if (!pUnk)
        return E_INVALIDARG;
    if (!IsLocal(computer))
        return RPC_S_SERVER_UNAVAILABLE_HR;
    // In-process only: the objects live in the registering process, and
    // other processes sharing the registry must not reach them there.
    return CoRegisterClassObject(rclsid, pUnk, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                 lpdwRegister);
}

void ResetSecurityForTesting() {}

} // namespace vexo::platform
