//===- WideString.cpp - UTF-8 <-> UTF-16 conversion ----------------------===//
//
// This file converts between UTF-8 and UTF-16. Malformed input (truncated or
// overlong sequences, surrogates encoded in UTF-8, lone UTF-16 surrogates) is
// replaced with U+FFFD so that text from a server can never throw.
//
//===----------------------------------------------------------------------===//
#include <vexo/platform/TaskMemory.h>
#include <vexo/platform/WideString.h>

#include <cstring>

namespace vexo::platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string &out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendUtf16(WideString &out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 | (c >> 10));
        out += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
    }
}

} // namespace

WideString Utf8ToUtf16(std::string_view s) {
    WideString out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            out += static_cast<char16_t>(b);
            ++i;
            continue;
        }
        int extra;
        char32_t c, min;
        if ((b & 0xE0) == 0xC0) {
            extra = 1, c = b & 0x1F, min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2, c = b & 0x0F, min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3, c = b & 0x07, min = 0x10000;
        } else {
            out += static_cast<char16_t>(kReplacement);
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        int got = 0;
        while (got < extra && j < s.size() && (static_cast<unsigned char>(s[j]) & 0xC0) == 0x80) {
            c = (c << 6) | (static_cast<unsigned char>(s[j]) & 0x3F);
            ++j, ++got;
        }
        // A broken sequence consumes only the bytes that belonged to it, so
        // the next valid character is not swallowed.
        if (got < extra || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            out += static_cast<char16_t>(kReplacement);
        else
            AppendUtf16(out, c);
        i = j;
    }
    return out;
}

std::string Utf16ToUtf8(WideStringView s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
                ++i;
            } else {
                c = kReplacement;
            }
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            c = kReplacement;
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::size_t WideLength(LPCWSTR s) {
    if (!s)
        return 0;
    std::size_t n = 0;
    while (s[n])
        ++n;
    return n;
}

std::string WideToString(LPCWSTR s) { return Utf16ToUtf8(WideStringView(s, WideLength(s))); }

LPWSTR TaskMemWideString(WideStringView s) {
    auto *p = static_cast<LPWSTR>(CoTaskMemAlloc((s.size() + 1) * sizeof(WCHAR)));
    if (!p)
        return nullptr;
    if (!s.empty())
        std::memcpy(p, s.data(), s.size() * sizeof(WCHAR));
    p[s.size()] = 0;
    return p;
}

LPWSTR TaskMemWideString(std::string_view s) { return TaskMemWideString(Utf8ToUtf16(s)); }

} // namespace vexo::platform
