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

namespace vp = vexo::platform;

namespace vexo::platform::test {

/// False when the tests run against the system's COM runtime rather than the
/// stand-in. The stand-in checks some arguments the system does not (a null
/// variant faults there) and keeps counters the system has no use for.
#ifdef _WIN32
constexpr bool kStandIn = false;
#else
constexpr bool kStandIn = true;
#endif

/// True under Wine, whose runtime differs from Windows in a few checked
/// details; such a check is skipped there, with the difference named.
inline bool RunningUnderWine() {
#ifdef _WIN32
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
#else
    return false;
#endif
}

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
    vexo::platform::WideString w = Utf8ToUtf16(text);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
    return v;
}

inline std::string BStrText(BSTR b) {
    return Utf16ToUtf8(vexo::platform::WideStringView(b ? b : OLESTR(""), SysStringLen(b)));
}

} // namespace vexo::platform::test
