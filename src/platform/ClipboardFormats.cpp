//===- ClipboardFormats.cpp - registered clipboard format ids ------------===//
//
// This file implements RegisterClipboardFormatA: each distinct name (compared
// case-insensitively) gets the next id from 0xC000 up, for the life of the
// process.
//
//===----------------------------------------------------------------------===//
#include <vexo/platform/GlobalMemory.h>

#include <map>
#include <mutex>
#include <string>

#include "Computers.h"

namespace vexo::platform {
namespace {

constexpr UINT kFirstFormat = 0xC000;
constexpr UINT kLastFormat = 0xFFFF;

struct Formats {
    std::mutex mutex;
    std::map<std::string, UINT> ids; // lower-case name -> id
    UINT next = kFirstFormat;
};

Formats &Table() {
    static auto *f = new Formats;
    return *f;
}

} // namespace

UINT RegisterClipboardFormatA(LPCSTR lpszFormat) {
    if (!lpszFormat || !*lpszFormat)
        return 0;
    std::string key = detail::LowerAscii(lpszFormat);
    auto &t = Table();
    std::lock_guard lock(t.mutex);
    auto it = t.ids.find(key);
    if (it != t.ids.end())
        return it->second;
    if (t.next > kLastFormat)
        return 0;
    UINT id = t.next++;
    t.ids.emplace(std::move(key), id);
    return id;
}

} // namespace vexo::platform
