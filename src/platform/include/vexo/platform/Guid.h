//===- Guid.h - GUID text forms and program ids --------------------------===//
//
// This file declares the conversions between GUIDs and their registry text
// form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (upper case, braces), and the
// program-id lookup in the local computer's registry.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <vexo/platform/ComBase.h>

namespace vexo::platform {

#ifdef _WIN32
using ::CLSIDFromProgID;
using ::CLSIDFromString;
using ::IIDFromString;
using ::ProgIDFromCLSID;
using ::StringFromCLSID;
using ::StringFromGUID2;
#else
/// Parses the braced text form; CO_E_CLASSSTRING when malformed.
HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid);
HRESULT IIDFromString(LPCOLESTR lpsz, IID *lpiid);
/// Writes the braced text form into task memory (*lplpsz, freed by the caller).
HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR *lplpsz);
/// Writes the braced form into a caller buffer of cchMax characters; returns
/// the characters written including the terminator, or 0 when too small.
int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
/// Looks a program id up in the local registry (HKCR\<progid>\CLSID).
/// CO_E_CLASSSTRING when unknown, empty or without a valid class id.
HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid);
/// Reverse lookup (HKCR\CLSID\{...}\ProgID); the text is task memory.
HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR *lplpszProgID);
#endif // _WIN32

// Narrow-string conveniences for code and tests.
std::string GuidToString(REFGUID guid);
std::optional<GUID> GuidFromString(std::string_view text);

} // namespace vexo::platform
