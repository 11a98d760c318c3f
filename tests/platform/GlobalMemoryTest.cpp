//===- GlobalMemoryTest.cpp - global handles and clipboard formats -------===//
#include "PlatformTestSupport.h"

using namespace vexo::platform;
using namespace vexo::platform::test;

// Blocks report their size, count locks, and free cleanly; stale handles fail.
TEST(GlobalMemory, LockCountsSizeAndFree) {
    Counters c;
    HGLOBAL h = vp::GlobalAlloc(GHND, 100);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GlobalLiveBlocks(), c.globals + 1);
    EXPECT_EQ(GlobalSize(h), 100u);
    auto *p = static_cast<unsigned char *>(GlobalLock(h));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[99], 0);
    EXPECT_EQ(GlobalLock(h), p);
    EXPECT_EQ(GlobalLockCount(h), 2u);
    EXPECT_EQ(GlobalUnlock(h), TRUE);
    EXPECT_EQ(GlobalUnlock(h), FALSE);
    EXPECT_EQ(GlobalUnlock(h), FALSE); // not locked any more
    EXPECT_EQ(vp::GlobalFree(h), nullptr);
    EXPECT_EQ(vp::GlobalFree(h), h) << "a stale handle is refused";
    EXPECT_EQ(GlobalLock(h), nullptr);
    EXPECT_EQ(GlobalSize(h), 0u);
    c.ExpectUnchanged();
}

namespace {
class Holder final : public ComObject<IEnumString> {
  public:
    HRESULT STDMETHODCALLTYPE Next(ULONG, LPOLESTR *, ULONG *) override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Reset() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumString **) override { return E_NOTIMPL; }
};
} // namespace

// ReleaseStgMedium frees the HGLOBAL, or releases pUnkForRelease instead when set.
TEST(GlobalMemory, ReleaseStgMedium) {
    Counters c;
    STGMEDIUM m{};
    m.tymed = TYMED_HGLOBAL;
    m.hGlobal = vp::GlobalAlloc(GMEM_MOVEABLE, 8);
    vp::ReleaseStgMedium(&m);
    EXPECT_EQ(m.tymed, TYMED_NULL);
    EXPECT_EQ(m.hGlobal, nullptr);
    EXPECT_EQ(GlobalLiveBlocks(), c.globals);

    ComPtr<Holder> holder = MakeCom<Holder>();
    HGLOBAL kept = vp::GlobalAlloc(GMEM_MOVEABLE, 8);
    m.tymed = TYMED_HGLOBAL;
    m.hGlobal = kept;
    m.pUnkForRelease = holder.Get();
    holder->AddRef();
    vp::ReleaseStgMedium(&m);
    EXPECT_EQ(GlobalSize(kept), 8u) << "the provider still owns the block";
    EXPECT_EQ(holder->AddRef(), 2u);
    holder->Release();
    vp::GlobalFree(kept);
    vp::ReleaseStgMedium(nullptr);
    c.ExpectUnchanged();
}

// The same name (any case) always gives the same id, from 0xC000 up; empty gives 0.
TEST(ClipboardFormats, StableIds) {
    UINT a = RegisterClipboardFormatA("VexoTest:Format");
    UINT b = RegisterClipboardFormatA("vexotest:format");
    UINT other = RegisterClipboardFormatA("VexoTest:Other");
    EXPECT_GE(a, 0xC000u);
    EXPECT_LE(a, 0xFFFFu);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, other);
    EXPECT_EQ(RegisterClipboardFormatA("VEXOTEST:FORMAT"), a);
    EXPECT_EQ(RegisterClipboardFormatA(""), 0u);
    EXPECT_EQ(RegisterClipboardFormatA(nullptr), 0u);
}
