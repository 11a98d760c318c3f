//===- BStr.cpp - length-prefixed BSTR strings ---------------------------===//
//
// This file implements BSTRs with the Windows layout: a 32-bit byte count
// directly before the characters, and a terminating zero after them. A
// process-wide counter of live strings lets tests prove that none leaked.
//
//===----------------------------------------------------------------------===//
#include <vexo/platform/Variant.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace vexo::platform {
namespace {

std::atomic<long long> gLiveBStrs{0};

std::uint32_t *Header(BSTR s) { return reinterpret_cast<std::uint32_t *>(s) - 1; }

} // namespace

BSTR SysAllocString(const OLECHAR *psz) {
    if (!psz)
        return nullptr;
    UINT n = 0;
    while (psz[n])
        ++n;
    return SysAllocStringLen(psz, n);
}

BSTR SysAllocStringLen(const OLECHAR *pch, UINT cch) {
    // The byte count must fit the 32-bit prefix.
    if (cch > (std::numeric_limits<std::uint32_t>::max() - 8) / sizeof(OLECHAR) / 2)
        return nullptr;
    std::size_t bytes = sizeof(std::uint32_t) + (std::size_t(cch) + 1) * sizeof(OLECHAR);
    auto *block = static_cast<std::uint32_t *>(std::malloc(bytes));
    if (!block)
        return nullptr;
    block[0] = static_cast<std::uint32_t>(cch * sizeof(OLECHAR));
    auto *chars = reinterpret_cast<OLECHAR *>(block + 1);
    if (pch)
        std::memcpy(chars, pch, cch * sizeof(OLECHAR));
    else
        std::memset(chars, 0, cch * sizeof(OLECHAR));
    chars[cch] = 0;
    gLiveBStrs.fetch_add(1, std::memory_order_relaxed);
    return chars;
}

BSTR SysAllocStringByteLen(LPCSTR psz, UINT len) {
    if (len > std::numeric_limits<std::uint32_t>::max() - 8)
        return nullptr;
    // Room for the prefix, the bytes and a whole terminating character.
    std::size_t bytes = sizeof(std::uint32_t) + std::size_t(len) + sizeof(OLECHAR) + 1;
    auto *block = static_cast<std::uint32_t *>(std::malloc(bytes));
    if (!block)
        return nullptr;
    block[0] = len;
    auto *data = reinterpret_cast<char *>(block + 1);
    if (psz)
        std::memcpy(data, psz, len);
    else
        std::memset(data, 0, len);
    std::memset(data + len, 0, sizeof(OLECHAR) + 1);
    gLiveBStrs.fetch_add(1, std::memory_order_relaxed);
    return reinterpret_cast<BSTR>(data);
}

void SysFreeString(BSTR bstr) {
    if (!bstr)
        return;
    std::free(Header(bstr));
    gLiveBStrs.fetch_sub(1, std::memory_order_relaxed);
}

UINT SysStringLen(BSTR bstr) { return bstr ? *Header(bstr) / sizeof(OLECHAR) : 0; }

UINT SysStringByteLen(BSTR bstr) { return bstr ? *Header(bstr) : 0; }

long long BStrLiveCount() { return gLiveBStrs.load(std::memory_order_relaxed); }

} // namespace vexo::platform
