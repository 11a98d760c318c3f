//===- ActivationTest.cpp - class tables, computers and object creation --===//
#include <thread>

#include "PlatformTestSupport.h"

using namespace vexo::platform;
using namespace vexo::platform::test;

namespace {

constexpr CLSID kClass{0x5A1B2C3D, 0x0001, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x01}};
constexpr CLSID kOther{0x5A1B2C3D, 0x0002, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x02}};

class Product final : public ComObject<IEnumString> {
  public:
    HRESULT STDMETHODCALLTYPE Next(ULONG, LPOLESTR *, ULONG *) override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Reset() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumString **) override { return E_NOTIMPL; }
};

class Factory final : public ComObject<IClassFactory> {
  public:
    int created = 0;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *outer, REFIID riid, void **ppv) override {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        ++created;
        return MakeCom<Product>()->QueryInterface(riid, ppv);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
    ULONG Count() {
        AddRef();
        return Release();
    }
};

/// The result of creating an unregistered class on a new thread that never
/// entered an apartment.
HRESULT CreateOnFreshThread() {
    HRESULT hr = E_UNEXPECTED;
    std::thread([&] {
        void *p = nullptr;
        hr = CoCreateInstance(kOther, nullptr, CLSCTX_ALL, IID_IUnknown, &p);
    }).join();
    return hr;
}

COSERVERINFO Server(vexo::platform::WideString &name) {
    return COSERVERINFO{0, name.data(), nullptr, 0};
}

} // namespace

// A thread outside every apartment cannot create objects, unless the process has a
// multi-threaded apartment, which takes it in; apartments nest and keep their model.
TEST(Activation, ApartmentsGateCreation) {
    EXPECT_EQ(CreateOnFreshThread(), CO_E_NOTINITIALIZED);
    std::thread([] {
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
        EXPECT_EQ(CreateOnFreshThread(), REGDB_E_CLASSNOTREG);
        CoUninitialize();
        EXPECT_EQ(CreateOnFreshThread(), REGDB_E_CLASSNOTREG);
        CoUninitialize();
    }).join();
    EXPECT_EQ(CreateOnFreshThread(), CO_E_NOTINITIALIZED);
    // The test program's main thread is a single-threaded apartment already.
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    CoUninitialize();
}

// A registered factory creates objects locally; revoking it releases it.
TEST(Activation, LocalCreateAndRevoke) {
    ComPtr<Factory> f = MakeCom<Factory>();
    DWORD cookie = 0;
    ASSERT_EQ(
        CoRegisterClassObject(kClass, f.Get(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie),
        S_OK);
    EXPECT_NE(cookie, 0u);
    EXPECT_EQ(f->Count(), 2u);
    ComPtr<IEnumString> e;
    EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_ALL, IID_IEnumString, e.PutVoid()), S_OK);
    EXPECT_TRUE(e);
    void *p = reinterpret_cast<void *>(1);
    EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_ALL, IID_IDataObject, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_ALL, IID_IUnknown, nullptr), E_POINTER);
    ASSERT_EQ(CoRevokeClassObject(cookie), S_OK);
    EXPECT_EQ(f->Count(), 1u);
    EXPECT_EQ(CoRevokeClassObject(cookie), E_INVALIDARG);
    EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_ALL, IID_IUnknown, &p), REGDB_E_CLASSNOTREG);
}

// CoCreateInstanceEx on a named computer: known class, missing class, unknown computer.
TEST(Activation, NamedUnknownAndClasslessComputers) {
    if (!kStandIn)
        GTEST_SKIP() << "named computers are simulated by the stand-in only";
    AddComputer("plant-a");
    ComPtr<Factory> f = MakeCom<Factory>();
    DWORD cookie = 0;
    ASSERT_EQ(RegisterClassObjectOn("PLANT-A", kClass, f.Get(), &cookie), S_OK);

    vexo::platform::WideString name = OLESTR("Plant-A");
    COSERVERINFO si = Server(name);
    MULTI_QI qi[2] = {{&IID_IEnumString, nullptr, E_FAIL}, {&IID_IUnknown, nullptr, E_FAIL}};
    ASSERT_EQ(CoCreateInstanceEx(kClass, nullptr, CLSCTX_REMOTE_SERVER, &si, 2, qi), S_OK);
    EXPECT_EQ(qi[0].hr, S_OK);
    EXPECT_EQ(qi[1].hr, S_OK);
    qi[0].pItf->Release();
    qi[1].pItf->Release();
    EXPECT_EQ(f->created, 1);

    // The class lives on plant-a only: the local computer does not have it.
    MULTI_QI one{&IID_IUnknown, nullptr, S_OK};
    EXPECT_EQ(CoCreateInstanceEx(kClass, nullptr, CLSCTX_ALL, nullptr, 1, &one),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(one.pItf, nullptr);
    EXPECT_EQ(one.hr, REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoCreateInstanceEx(kOther, nullptr, CLSCTX_ALL, &si, 1, &one), REGDB_E_CLASSNOTREG);

    vexo::platform::WideString nowhere = OLESTR("no-such-host");
    COSERVERINFO gone = Server(nowhere);
    EXPECT_EQ(CoCreateInstanceEx(kClass, nullptr, CLSCTX_ALL, &gone, 1, &one),
              RPC_S_SERVER_UNAVAILABLE_HR);
    EXPECT_EQ(one.hr, RPC_S_SERVER_UNAVAILABLE_HR);
    EXPECT_EQ(static_cast<std::uint32_t>(RPC_S_SERVER_UNAVAILABLE_HR), 0x800706BAu);

    RemoveComputer("plant-a");
    EXPECT_FALSE(ComputerExists("plant-a"));
    EXPECT_EQ(f->Count(), 1u) << "removing the computer releases its factories";
    EXPECT_EQ(CoCreateInstanceEx(kClass, nullptr, CLSCTX_ALL, &si, 1, &one),
              RPC_S_SERVER_UNAVAILABLE_HR);
}

// Blank, null and the local computer's own name all mean the local computer.
TEST(Activation, LocalNamesResolveLocally) {
    ComPtr<Factory> f = MakeCom<Factory>();
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(kClass, f.Get(), CLSCTX_ALL, REGCLS_MULTIPLEUSE, &cookie),
              S_OK);
    std::string local = LocalComputerName();
    EXPECT_FALSE(local.empty());
    EXPECT_TRUE(ComputerExists(""));
    for (vexo::platform::WideString name :
         {vexo::platform::WideString(OLESTR("")), vexo::platform::WideString(OLESTR("  ")),
          Utf8ToUtf16(local)}) {
        COSERVERINFO si = Server(name);
        MULTI_QI qi{&IID_IUnknown, nullptr, E_FAIL};
        EXPECT_EQ(CoCreateInstanceEx(kClass, nullptr, CLSCTX_ALL, &si, 1, &qi), S_OK);
        if (qi.pItf)
            qi.pItf->Release();
    }
    COSERVERINFO nullName{0, nullptr, nullptr, 0};
    MULTI_QI qi{&IID_IUnknown, nullptr, E_FAIL};
    EXPECT_EQ(CoCreateInstanceEx(kClass, nullptr, CLSCTX_ALL, &nullName, 1, &qi), S_OK);
    qi.pItf->Release();
    RemoveComputer(""); // the local computer cannot be removed
    EXPECT_TRUE(ComputerExists(local));
    CoRevokeClassObject(cookie);
}

// Some interfaces missing gives CO_S_NOTALLINTERFACES; none gives E_NOINTERFACE.
TEST(Activation, PartialInterfaceResults) {
    ComPtr<Factory> f = MakeCom<Factory>();
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(kClass, f.Get(), CLSCTX_ALL, REGCLS_MULTIPLEUSE, &cookie),
              S_OK);
    MULTI_QI qi[2] = {{&IID_IEnumString, nullptr, S_OK}, {&IID_IDataObject, nullptr, S_OK}};
    EXPECT_EQ(CoCreateInstanceEx(kClass, nullptr, CLSCTX_ALL, nullptr, 2, qi),
              CO_S_NOTALLINTERFACES);
    EXPECT_EQ(qi[0].hr, S_OK);
    EXPECT_EQ(qi[1].hr, E_NOINTERFACE);
    EXPECT_EQ(qi[1].pItf, nullptr);
    qi[0].pItf->Release();
    MULTI_QI none{&IID_IDataObject, nullptr, S_OK};
    EXPECT_EQ(CoCreateInstanceEx(kClass, nullptr, CLSCTX_ALL, nullptr, 1, &none), E_NOINTERFACE);
    EXPECT_EQ(CoCreateInstanceEx(kClass, nullptr, CLSCTX_ALL, nullptr, 0, &none), E_INVALIDARG);
    ComPtr<Factory> outer = MakeCom<Factory>();
    EXPECT_EQ(CoCreateInstanceEx(kClass, outer.Get(), CLSCTX_ALL, nullptr, 1, &none),
              CLASS_E_NOAGGREGATION);
    CoRevokeClassObject(cookie);
}

// Security initialises once; later calls are too late until the test hook resets it.
TEST(Activation, CoInitializeSecurityOnlyOnce) {
    if (!kStandIn)
        GTEST_SKIP() << "a process sets its security once; only the stand-in can forget it";
    ResetSecurityForTesting();
    auto init = [] {
        return CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_NONE,
                                    RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    };
    EXPECT_EQ(init(), S_OK);
    EXPECT_EQ(init(), RPC_E_TOO_LATE);
    ResetSecurityForTesting();
    EXPECT_EQ(init(), S_OK);
}

// Computers are added once, listed, and compared without regard to case.
TEST(Activation, ComputerTable) {
    if (!kStandIn)
        GTEST_SKIP() << "named computers are simulated by the stand-in only";
    AddComputer("Line-7");
    AddComputer("LINE-7");
    int found = 0;
    for (const std::string &n : ComputerNames())
        found += n == "Line-7";
    EXPECT_EQ(found, 1);
    EXPECT_TRUE(ComputerExists("line-7"));
    RemoveComputer("line-7");
    EXPECT_FALSE(ComputerExists("Line-7"));
}
