//===- WinGuid.cpp - GUID text forms on Windows --------------------------===//
#include <vexo/platform/Guid.h>
#include <vexo/platform/WideString.h>

namespace vexo::platform {

std::string GuidToString(REFGUID guid) {
    WCHAR text[40] = {};
    const int n = StringFromGUID2(guid, text, 40);
    return n > 0 ? Utf16ToUtf8(WideStringView(text, static_cast<std::size_t>(n - 1))) : "";
}

std::optional<GUID> GuidFromString(std::string_view text) {
    // The system's parser also takes forms without braces; only the braced
    // registry form is a GUID here.
    if (text.size() != 38 || text.front() != '{' || text.back() != '}')
        return std::nullopt;
    const WideString wide = Utf8ToUtf16(text);
    GUID g{};
    if (FAILED(IIDFromString(wide.c_str(), &g)))
        return std::nullopt;
    return g;
}

} // namespace vexo::platform
