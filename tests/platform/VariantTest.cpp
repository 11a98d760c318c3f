//===- VariantTest.cpp - BSTR, VARIANT and task-memory conformance -------===//
#include "PlatformTestSupport.h"

using namespace vexo::platform;
using namespace vexo::platform::test;

namespace {

class Unk final : public ComObject<IEnumString> {
  public:
    HRESULT STDMETHODCALLTYPE Next(ULONG, LPOLESTR *, ULONG *) override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Reset() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumString **) override { return E_NOTIMPL; }
    ULONG Count() {
        AddRef();
        return Release();
    }
};

} // namespace

// A BSTR keeps its byte length before the characters, is zero-terminated and counted.
TEST(BStr, LayoutLengthAndLiveCount) {
    Counters c;
    BSTR b = SysAllocString(OLESTR("abc"));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uint32_t *>(b)[-1], 6u);
    EXPECT_EQ(SysStringLen(b), 3u);
    EXPECT_EQ(SysStringByteLen(b), 6u);
    EXPECT_EQ(b[3], 0);
    if (kStandIn) {
        EXPECT_EQ(BStrLiveCount(), c.bstrs + 1);
    }
    BSTR withNul = SysAllocStringLen(OLESTR("a\0b"), 3);
    EXPECT_EQ(SysStringLen(withNul), 3u);
    BSTR blank = SysAllocStringLen(nullptr, 4);
    EXPECT_EQ(blank[0], 0);
    EXPECT_EQ(blank[4], 0);
    SysFreeString(b);
    SysFreeString(withNul);
    SysFreeString(blank);
    SysFreeString(nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    c.ExpectUnchanged();
}

// Task memory counts blocks; realloc of null allocates and realloc to 0 frees.
TEST(TaskMemory, CountersFollowAllocReallocFree) {
    TaskMemoryStats before = GetTaskMemoryStats();
    void *a = CoTaskMemAlloc(16);
    void *z = CoTaskMemAlloc(0);
    EXPECT_NE(z, nullptr);
    EXPECT_EQ(TaskMemLiveBlocks(), before.liveBlocks + 2);
    a = CoTaskMemRealloc(a, 4096);
    EXPECT_EQ(TaskMemLiveBlocks(), before.liveBlocks + 2);
    void *r = CoTaskMemRealloc(nullptr, 8);
    EXPECT_EQ(TaskMemLiveBlocks(), before.liveBlocks + 3);
    EXPECT_EQ(CoTaskMemRealloc(r, 0), nullptr);
    CoTaskMemFree(a);
    CoTaskMemFree(z);
    CoTaskMemFree(nullptr);
    TaskMemoryStats after = GetTaskMemoryStats();
    EXPECT_EQ(after.liveBlocks, before.liveBlocks);
    EXPECT_EQ(after.totalAllocs - before.totalAllocs, 3);
    EXPECT_EQ(after.totalFrees - before.totalFrees, 3);
}

// VariantClear frees BSTRs and arrays, releases interfaces, and leaves BYREF targets alone.
TEST(Variant, ClearReleasesWhatTheVariantOwns) {
    Counters c;
    VARIANT v = BStrVariant("text");
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(v.vt, VT_EMPTY);

    v.vt = VT_ARRAY | VT_BSTR;
    v.parray = SafeArrayCreateVector(VT_BSTR, 0, 2);
    LONG i = 1;
    BSTR x = SysAllocString(OLESTR("x"));
    ASSERT_EQ(SafeArrayPutElement(v.parray, &i, x), S_OK);
    SysFreeString(x);
    EXPECT_EQ(VariantClear(&v), S_OK);

    ComPtr<Unk> unk = MakeCom<Unk>();
    v.vt = VT_UNKNOWN;
    v.punkVal = unk.Get();
    unk->AddRef();
    EXPECT_EQ(unk->Count(), 2u);
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(unk->Count(), 1u);

    BSTR target = SysAllocString(OLESTR("kept"));
    v.vt = VT_BYREF | VT_BSTR;
    v.byref = &target;
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(SysStringLen(target), 4u);
    SysFreeString(target);

    v.vt = 0x7F;
    EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE);
    if (kStandIn) { // the system does not check, it faults
        EXPECT_EQ(VariantClear(nullptr), E_POINTER);
    }
    c.ExpectUnchanged();
}

// VariantClear refuses to free an array that is locked and keeps it in the variant.
TEST(Variant, ClearOfLockedArrayFails) {
    Counters c;
    VARIANT v;
    v.vt = VT_ARRAY | VT_I4;
    v.parray = SafeArrayCreateVector(VT_I4, 0, 3);
    SAFEARRAY *array = v.parray;
    ASSERT_EQ(SafeArrayLock(array), S_OK);
    EXPECT_EQ(VariantClear(&v), DISP_E_ARRAYISLOCKED);
    ASSERT_EQ(SafeArrayUnlock(array), S_OK);
    if (RunningUnderWine()) {
        // Wine empties the variant although the array stays: free it here.
        EXPECT_EQ(v.vt, VT_EMPTY);
        EXPECT_EQ(SafeArrayDestroy(array), S_OK);
    } else {
        EXPECT_EQ(v.vt, VT_ARRAY | VT_I4);
        EXPECT_EQ(VariantClear(&v), S_OK);
    }
    c.ExpectUnchanged();
}

// VariantCopy duplicates strings, arrays and decimals, and AddRefs interfaces.
// VariantCopyInd copies what a reference points to, one level deep, and
// refuses a null reference or a reference to a reference.
TEST(Variant, CopyIndFollowsOneReference) {
    Counters c;
    LONG n = 42;
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_BYREF | VT_I4;
    ref.byref = &n;
    VARIANT dst;
    VariantInit(&dst);
    ASSERT_EQ(vp::VariantCopyInd(&dst, &ref), S_OK);
    EXPECT_EQ(dst.vt, VT_I4);
    n = 7;
    EXPECT_EQ(dst.lVal, 42);

    BSTR text = SysAllocString(OLESTR("owned"));
    ref.vt = VT_BYREF | VT_BSTR;
    ref.byref = &text;
    ASSERT_EQ(vp::VariantCopyInd(&dst, &ref), S_OK);
    EXPECT_EQ(dst.vt, VT_BSTR);
    EXPECT_NE(dst.bstrVal, text);
    SysFreeString(text);
    EXPECT_EQ(BStrText(dst.bstrVal), "owned");

    SAFEARRAY *arr = SafeArrayCreateVector(VT_I2, 0, 3);
    ref.vt = VT_BYREF | VT_ARRAY | VT_I2;
    ref.byref = &arr;
    ASSERT_EQ(vp::VariantCopyInd(&dst, &ref), S_OK);
    EXPECT_EQ(dst.vt, VT_ARRAY | VT_I2);
    EXPECT_NE(dst.parray, arr);
    SafeArrayDestroy(arr);

    DECIMAL dec{};
    dec.Lo64 = 12345;
    dec.scale = 2;
    ref.vt = VT_BYREF | VT_DECIMAL;
    ref.pdecVal = &dec;
    ASSERT_EQ(vp::VariantCopyInd(&dst, &ref), S_OK);
    EXPECT_EQ(dst.vt, VT_DECIMAL);
    EXPECT_EQ(dst.decVal.Lo64, 12345u);

    VARIANT inner = BStrVariant("inner");
    ref.vt = VT_BYREF | VT_VARIANT;
    ref.pvarVal = &inner;
    ASSERT_EQ(vp::VariantCopyInd(&dst, &ref), S_OK);
    EXPECT_EQ(BStrText(dst.bstrVal), "inner");
    VariantClear(&inner);

    VARIANT loop;
    loop.vt = VT_BYREF | VT_VARIANT;
    loop.pvarVal = &loop; // points at itself
    EXPECT_EQ(vp::VariantCopyInd(&dst, &loop), E_INVALIDARG);
    if (kStandIn) {
        // The stand-in's own guarantees: the destination stays as it was,
        // and a conversion reads the loop as null instead of following it
        // for ever (the system empties the destination first, and may fault).
        EXPECT_EQ(BStrText(dst.bstrVal), "inner");
        VARIANT number;
        VariantInit(&number);
        EXPECT_NE(vp::VariantChangeType(&number, &loop, 0, VT_I4), S_OK);
    }
    if (kStandIn) { // the system does not check a null reference, it faults
        ref.vt = VT_BYREF | VT_I4;
        ref.byref = nullptr;
        EXPECT_EQ(vp::VariantCopyInd(&dst, &ref), E_INVALIDARG);
    }
    VariantClear(&dst);
}

TEST(Variant, CopyIsDeep) {
    Counters c;
    VARIANT src = BStrVariant("hello"), dst = BStrVariant("old");
    ASSERT_EQ(vp::VariantCopy(&dst, &src), S_OK);
    EXPECT_NE(dst.bstrVal, src.bstrVal);
    EXPECT_EQ(BStrText(dst.bstrVal), "hello");
    VariantClear(&src);
    EXPECT_EQ(BStrText(dst.bstrVal), "hello");

    VARIANT arr;
    arr.vt = VT_ARRAY | VT_VARIANT;
    arr.parray = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    VARIANT elem = BStrVariant("inner");
    LONG i = 0;
    ASSERT_EQ(SafeArrayPutElement(arr.parray, &i, &elem), S_OK);
    VariantClear(&elem);
    ASSERT_EQ(vp::VariantCopy(&dst, &arr), S_OK);
    EXPECT_NE(dst.parray, arr.parray);
    VariantClear(&arr);
    VARIANT out;
    ASSERT_EQ(SafeArrayGetElement(dst.parray, &i, &out), S_OK);
    EXPECT_EQ(BStrText(out.bstrVal), "inner");
    VariantClear(&out);

    VARIANT dec;
    VariantInit(&dec);
    dec.decVal.scale = 2;
    dec.decVal.Lo64 = 12345;
    dec.vt = VT_DECIMAL;
    ASSERT_EQ(vp::VariantCopy(&dst, &dec), S_OK);
    EXPECT_EQ(dst.vt, VT_DECIMAL);
    EXPECT_EQ(dst.decVal.Lo64, 12345u);
    EXPECT_EQ(dst.decVal.scale, 2);

    ComPtr<Unk> unk = MakeCom<Unk>();
    VARIANT u;
    u.vt = VT_UNKNOWN;
    u.punkVal = unk.Get();
    ASSERT_EQ(vp::VariantCopy(&dst, &u), S_OK);
    EXPECT_EQ(unk->Count(), 2u);
    VariantClear(&dst);
    EXPECT_EQ(unk->Count(), 1u);

    if (kStandIn) { // the system does not check, it faults
        EXPECT_EQ(vp::VariantCopy(nullptr, &u), E_POINTER);
        EXPECT_EQ(vp::VariantCopy(&dst, nullptr), E_INVALIDARG);
    }
    VARIANT bad;
    bad.vt = 0x55;
    EXPECT_EQ(vp::VariantCopy(&dst, &bad), DISP_E_BADVARTYPE);
    c.ExpectUnchanged();
}
