//===- Guid.cpp - GUID text forms and program-id lookups -----------------===//
//
// This file converts GUIDs to and from the braced registry form and looks
// program ids up in the local computer's registry (HKCR\<ProgID>\CLSID and
// HKCR\CLSID\{...}\ProgID).
//
//===----------------------------------------------------------------------===//
#include <vexo/platform/Guid.h>
#include <vexo/platform/Registry.h>
#include <vexo/platform/TaskMemory.h>
#include <vexo/platform/WideString.h>

#include <cstdio>

namespace vexo::platform {
namespace {

constexpr std::size_t kGuidTextLength = 38; // {8-4-4-4-12}

int HexValue(char32_t c) {
    if (c >= '0' && c <= '9')
        return static_cast<int>(c - '0');
    if (c >= 'a' && c <= 'f')
        return static_cast<int>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return static_cast<int>(c - 'A' + 10);
    return -1;
}

/// Parses the exact braced form from any character sequence.
template <class Text> std::optional<GUID> ParseBraced(const Text &s) {
    if (s.size() != kGuidTextLength || s[0] != '{' || s[37] != '}')
        return std::nullopt;
    std::uint8_t bytes[16];
    std::size_t pos = 1;
    int byte = 0;
    for (int group : {4, 2, 2, 2, 6}) {
        for (int k = 0; k < group; ++k, pos += 2) {
            int hi = HexValue(s[pos]), lo = HexValue(s[pos + 1]);
            if (hi < 0 || lo < 0)
                return std::nullopt;
            bytes[byte++] = static_cast<std::uint8_t>(hi << 4 | lo);
        }
        if (pos < 37) {
            if (s[pos] != '-')
                return std::nullopt;
            ++pos;
        }
    }
    if (pos != 37)
        return std::nullopt;
    GUID g;
    g.Data1 = DWORD(bytes[0]) << 24 | DWORD(bytes[1]) << 16 | DWORD(bytes[2]) << 8 | bytes[3];
    g.Data2 = static_cast<WORD>(bytes[4] << 8 | bytes[5]);
    g.Data3 = static_cast<WORD>(bytes[6] << 8 | bytes[7]);
    for (int i = 0; i < 8; ++i)
        g.Data4[i] = bytes[8 + i];
    return g;
}

/// Default value of HKCR\<path> on the local computer.
std::optional<std::string> LocalClassValue(const std::string &path) {
    LONG size = 0;
    if (RegQueryValueA(HKEY_CLASSES_ROOT, path.c_str(), nullptr, &size) != ERROR_SUCCESS ||
        size <= 0)
        return std::nullopt;
    std::string value(static_cast<std::size_t>(size), '\0');
    if (RegQueryValueA(HKEY_CLASSES_ROOT, path.c_str(), value.data(), &size) != ERROR_SUCCESS)
        return std::nullopt;
    value.resize(value.find('\0') == std::string::npos ? value.size() : value.find('\0'));
    return value;
}

} // namespace

std::string GuidToString(REFGUID g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                  g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

std::optional<GUID> GuidFromString(std::string_view text) { return ParseBraced(text); }

HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) {
    if (!pclsid)
        return E_INVALIDARG;
    *pclsid = GUID_NULL;
    // A null text is refused like any other malformed text rather than read
    // as GUID_NULL: a missing name must not pass for a valid class id.
    if (!lpsz)
        return CO_E_CLASSSTRING;
    auto g = ParseBraced(std::u16string_view(lpsz, WideLength(lpsz)));
    if (!g) {
        // As on the system, a text that is no class id may be a program id.
        CLSID byProgId{};
        if (lpsz[0] != u'{' && CLSIDFromProgID(lpsz, &byProgId) == S_OK) {
            *pclsid = byProgId;
            return S_OK;
        }
        return CO_E_CLASSSTRING;
    }
    *pclsid = *g;
    return S_OK;
}

HRESULT IIDFromString(LPCOLESTR lpsz, IID *lpiid) { return CLSIDFromString(lpsz, lpiid); }

HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR *lplpsz) {
    if (!lplpsz)
        return E_POINTER;
    *lplpsz = TaskMemWideString(GuidToString(rclsid));
    return *lplpsz ? S_OK : E_OUTOFMEMORY;
}

int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
    if (!lpsz || cchMax < static_cast<int>(kGuidTextLength + 1))
        return 0;
    std::string s = GuidToString(rguid);
    for (std::size_t i = 0; i < s.size(); ++i)
        lpsz[i] = static_cast<OLECHAR>(s[i]);
    lpsz[s.size()] = 0;
    return static_cast<int>(s.size() + 1);
}

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid) {
    if (!lpclsid)
        return E_INVALIDARG;
    *lpclsid = GUID_NULL;
    if (!lpszProgID || !*lpszProgID)
        return CO_E_CLASSSTRING;
    std::string progId = WideToString(lpszProgID);
    // A backslash would walk into another key: no program id contains one.
    if (progId.find('\\') != std::string::npos)
        return CO_E_CLASSSTRING;
    auto value = LocalClassValue(progId + "\\CLSID");
    if (!value)
        return CO_E_CLASSSTRING;
    auto g = GuidFromString(*value);
    if (!g)
        return CO_E_CLASSSTRING;
    *lpclsid = *g;
    return S_OK;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR *lplpszProgID) {
    if (!lplpszProgID)
        return E_POINTER;
    *lplpszProgID = nullptr;
    auto value = LocalClassValue("CLSID\\" + GuidToString(clsid) + "\\ProgID");
    if (!value || value->empty())
        return REGDB_E_CLASSNOTREG;
    *lplpszProgID = TaskMemWideString(*value);
    return *lplpszProgID ? S_OK : E_OUTOFMEMORY;
}

} // namespace vexo::platform
