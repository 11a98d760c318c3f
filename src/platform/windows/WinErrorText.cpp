//===- WinErrorText.cpp - the system's message for an HRESULT on Windows -===//
#include <vexo/platform/ErrorText.h>
#include <vexo/platform/WideString.h>

#include <cstdio>

namespace vexo::platform {

std::string SystemErrorText(HRESULT hr) {
    LPWSTR text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, static_cast<DWORD>(hr), 0,
                                   reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::string result;
    if (n && text) {
        result = Utf16ToUtf8(WideStringView(text, n));
        LocalFree(text);
    }
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' ||
                               result.back() == ' '))
        result.pop_back();
    if (result.empty()) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "Unknown error 0x%08X", static_cast<unsigned>(hr));
        result = buf;
    }
    return result;
}

} // namespace vexo::platform
