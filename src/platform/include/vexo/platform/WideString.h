//===- WideString.h - UTF-8 <-> UTF-16 conversion ------------------------===//
//
// This file declares the conversions between this platform's 8-bit code page
// (UTF-8) and the UTF-16 strings that cross COM interfaces. Invalid input is
// replaced with U+FFFD, never rejected, so a server's bad text cannot throw.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <string>
#include <string_view>

#include <vexo/platform/ComBase.h>

namespace vexo::platform {

/// UTF-16 text in the system's wide character type (WCHAR).
using WideString = std::basic_string<WCHAR>;
using WideStringView = std::basic_string_view<WCHAR>;

WideString Utf8ToUtf16(std::string_view s);
std::string Utf16ToUtf8(WideStringView s);
/// Converts a zero-terminated wide string; nullptr gives "".
std::string WideToString(LPCWSTR s);
/// Length of a zero-terminated wide string; nullptr gives 0.
std::size_t WideLength(LPCWSTR s);
/// Copies s into a new zero-terminated task-memory block (freed with CoTaskMemFree).
LPWSTR TaskMemWideString(std::string_view s);
LPWSTR TaskMemWideString(WideStringView s);

} // namespace vexo::platform
