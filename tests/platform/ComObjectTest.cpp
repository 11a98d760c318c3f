//===- ComObjectTest.cpp - reference counting and QueryInterface ---------===//
#include <atomic>

#include <gtest/gtest.h>

#include <vexo/platform/ComInterfaces.h>
#include <vexo/platform/ComObject.h>

using namespace vexo::platform;

namespace {

std::atomic<int> gDestroyed{0};

class Enum final : public ComObject<IEnumGUID, IConnectionPointContainer> {
  public:
    ~Enum() override { ++gDestroyed; }
    HRESULT STDMETHODCALLTYPE Next(ULONG, GUID *, ULONG *) override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Reset() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumGUID **pp) override {
        if (!pp)
            return E_POINTER;
        *pp = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints **pp) override {
        if (pp)
            *pp = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID, IConnectionPoint **pp) override {
        if (pp)
            *pp = nullptr;
        return CONNECT_E_NOCONNECTION;
    }
    bool offerContainer = true;

  protected:
    bool IsOffered(REFIID riid) override {
        return offerContainer || riid != IID_IConnectionPointContainer;
    }
};

} // namespace

// AddRef and Release return the new count and the last Release destroys the object.
TEST(ComObject, CountsReferencesAndDestroysAtZero) {
    int before = gDestroyed;
    ComPtr<Enum> e = MakeCom<Enum>();
    EXPECT_EQ(e->AddRef(), 2u);
    EXPECT_EQ(e->Release(), 1u);
    {
        ComPtr<Enum> copy = e;
        EXPECT_EQ(copy->AddRef(), 3u);
        copy->Release();
    }
    e.Reset();
    EXPECT_EQ(gDestroyed, before + 1);
}

// QueryInterface answers IUnknown and listed interfaces with a reference, and
// E_NOINTERFACE with a cleared out-pointer for others; null out gives E_POINTER.
TEST(ComObject, QueryInterfaceForListedAndUnlistedIids) {
    ComPtr<Enum> e = MakeCom<Enum>();
    void *p = reinterpret_cast<void *>(0x1);
    EXPECT_EQ(e->QueryInterface(IID_IDataObject, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(e->QueryInterface(IID_IUnknown, nullptr), E_POINTER);

    ComPtr<IUnknown> unk;
    ASSERT_EQ(e->QueryInterface(IID_IUnknown, unk.PutVoid()), S_OK);
    ComPtr<IUnknown> unk2;
    ASSERT_EQ(e.As<IConnectionPointContainer>()->QueryInterface(IID_IUnknown, unk2.PutVoid()),
              S_OK);
    EXPECT_EQ(unk.Get(), unk2.Get()) << "IUnknown identity differs between interfaces";

    ComPtr<IConnectionPointContainer> cpc;
    EXPECT_EQ(e.As(cpc), S_OK);
    EXPECT_TRUE(cpc);
    EXPECT_EQ(e->AddRef(), 5u); // e, unk, unk2, cpc, this AddRef
    e->Release();
}

// A listed interface withheld through IsOffered is refused like an unlisted one.
TEST(ComObject, WithheldInterfaceIsRefused) {
    ComPtr<Enum> e = MakeCom<Enum>();
    e->offerContainer = false;
    EXPECT_FALSE(e.As<IConnectionPointContainer>());
    EXPECT_TRUE(e.As<IEnumGUID>());
}

// ComPtr: Attach adopts without AddRef, Detach gives up without Release, As on empty fails.
TEST(ComPtr, AttachDetachAndEmptyAs) {
    int before = gDestroyed;
    Enum *raw = MakeCom<Enum>().Detach(); // count 1, owned by raw
    {
        auto adopted = ComPtr<Enum>::Attach(raw);
        EXPECT_EQ(raw->AddRef(), 2u);
        raw->Release();
    }
    EXPECT_EQ(gDestroyed, before + 1);
    ComPtr<IUnknown> empty;
    ComPtr<IEnumGUID> out;
    EXPECT_EQ(empty.As(out), E_POINTER);
}
