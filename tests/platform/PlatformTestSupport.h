//===- PlatformTestSupport.h - shared helpers of the platform tests ------===//
//
// Counter snapshots that prove an operation left no task-memory block, BSTR,
// SAFEARRAY, global block or registry key behind, and a small COM test class.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <string>

#include <gtest/gtest.h>

#include <vexo/platform/Platform.h>

namespace vexo::platform::test {

/// Snapshot of every live-object counter of the platform.
struct Counters {
    long long task = TaskMemLiveBlocks();
    long long bstrs = BStrLiveCount();
    long long arrays = SafeArrayLiveCount();
    long long globals = GlobalLiveBlocks();
    long long keys = RegOpenKeyCount();

    void ExpectUnchanged() const {
        EXPECT_EQ(TaskMemLiveBlocks(), task);
        EXPECT_EQ(BStrLiveCount(), bstrs);
        EXPECT_EQ(SafeArrayLiveCount(), arrays);
        EXPECT_EQ(GlobalLiveBlocks(), globals);
        EXPECT_EQ(RegOpenKeyCount(), keys);
    }
};

/// A variant owning a BSTR made from UTF-8 text.
inline VARIANT BStrVariant(const std::string &text) {
    VARIANT v;
    VariantInit(&v);
    std::u16string w = Utf8ToUtf16(text);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
    return v;
}

inline std::string BStrText(BSTR b) {
    return Utf16ToUtf8(std::u16string_view(b ? b : u"", SysStringLen(b)));
}

} // namespace vexo::platform::test
