//===- WindowsLoopTest.cpp - the application's loop is the system's ------===//
//
// On Windows the message targets are the system's windows and the loop is
// the system's, so that COM calls from other apartments reach the main
// thread's single-threaded apartment inside it.
//
//===----------------------------------------------------------------------===//
#ifdef _WIN32

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include <vexo/framework/Application.h>
#include <vexo/framework/Messages.h>
#include <vexo/platform/Activation.h>

using namespace std::chrono_literals;

namespace {

/// An object of the main thread's apartment: its Next records the thread it
/// runs on and posts to a target from inside the call.
class TCallee final : public IEnumString {
  public:
    explicit TCallee(vexo::HWND Target) : FTarget(Target) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void **Out) override {
        if (!Out)
            return E_POINTER;
        *Out = nullptr;
        if (!IsEqualIID(Iid, IID_IUnknown) && !IsEqualIID(Iid, IID_IEnumString))
            return E_NOINTERFACE;
        AddRef();
        *Out = static_cast<IEnumString *>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++FRefs; }
    ULONG STDMETHODCALLTYPE Release() override { return --FRefs; } // lives on the stack
    HRESULT STDMETHODCALLTYPE Next(ULONG, LPOLESTR *Items, ULONG *Fetched) override {
        CalledOn = std::this_thread::get_id();
        if (OnCall)
            OnCall();
        if (Items)
            *Items = nullptr;
        if (Fetched)
            *Fetched = 0;
        vexo::PostMessage(FTarget, WM_USER, 7, 0);
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumString **) override { return E_NOTIMPL; }

    std::atomic<std::thread::id> CalledOn{};
    std::function<void()> OnCall; ///< runs inside Next, on the thread that runs it
    std::atomic<ULONG> FRefs{1};

  private:
    vexo::HWND FTarget;
};

} // namespace

TEST(WindowsLoop, CallFromAnotherApartmentRunsOnTheMainThreadInsideTheLoop) {
    // A call from a multithreaded-apartment thread into the main thread's
    // object waits for the application's loop and runs on the main thread;
    // what it posts is delivered by the same loop.
    std::vector<WPARAM> got;
    const vexo::HWND h = vexo::AllocateHWnd([&](vexo::TMessage &m) { got.push_back(m.WParam); });
    TCallee callee(h);
    IStream *stream = nullptr;
    ASSERT_EQ(::CoMarshalInterThreadInterfaceInStream(IID_IEnumString, &callee, &stream), S_OK);
    std::atomic<HRESULT> result{E_FAIL};
    std::atomic<bool> done{false};
    std::thread caller([&] {
        ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        IEnumString *proxy = nullptr;
        HRESULT hr = ::CoGetInterfaceAndReleaseStream(stream, IID_IEnumString,
                                                      reinterpret_cast<void **>(&proxy));
        if (SUCCEEDED(hr)) {
            LPOLESTR item = nullptr;
            ULONG fetched = 0;
            hr = proxy->Next(1, &item, &fetched);
            proxy->Release();
        }
        result = hr;
        done = true;
        ::CoUninitialize();
    });
    EXPECT_TRUE(vexo::Application->ProcessMessagesUntil([&] { return done.load(); }, 20s));
    caller.join();
    EXPECT_EQ(result.load(), S_FALSE);
    EXPECT_EQ(callee.CalledOn.load(), std::this_thread::get_id());
    vexo::Application->ProcessMessages();
    EXPECT_EQ(got, (std::vector<WPARAM>{7}));
    // The proxy's references come back; the object must outlive the stub.
    EXPECT_TRUE(vexo::Application->ProcessMessagesUntil([&] { return callee.FRefs == 1; }, 10s));
    vexo::DeallocateHWnd(h);
}

namespace {

/// An object of a multithreaded apartment whose Next passes the call on to
/// another object (a proxy to the main thread's, here).
class TRelay final : public IEnumString {
  public:
    explicit TRelay(IEnumString *Inner) : FInner(Inner) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void **Out) override {
        if (!Out)
            return E_POINTER;
        *Out = nullptr;
        if (!IsEqualIID(Iid, IID_IUnknown) && !IsEqualIID(Iid, IID_IEnumString))
            return E_NOINTERFACE;
        AddRef();
        *Out = static_cast<IEnumString *>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++FRefs; }
    ULONG STDMETHODCALLTYPE Release() override { return --FRefs; }
    HRESULT STDMETHODCALLTYPE Next(ULONG Count, LPOLESTR *Items, ULONG *Fetched) override {
        return FInner->Next(Count, Items, Fetched);
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumString **) override { return E_NOTIMPL; }

    std::atomic<ULONG> FRefs{1};

  private:
    IEnumString *FInner;
};

} // namespace

TEST(WindowsLoop, CallbackDuringAnOutgoingCallReentersTheMainThread) {
    // A procedure run by the application's loop calls an object of another
    // apartment, which calls back into the main thread's object before it
    // answers: the callback runs on the main thread, inside the outgoing call.
    bool inOutgoing = false, callbackInside = false;
    std::vector<WPARAM> got;
    const vexo::HWND sink = vexo::AllocateHWnd([&](vexo::TMessage &m) { got.push_back(m.WParam); });
    TCallee callee(sink);
    IStream *toWorker = nullptr, *toMain = nullptr;
    ASSERT_EQ(::CoMarshalInterThreadInterfaceInStream(IID_IEnumString, &callee, &toWorker), S_OK);
    std::atomic<bool> ready{false}, finished{false}, workerDone{false};
    std::thread worker([&] {
        ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        IEnumString *calleeProxy = nullptr;
        ::CoGetInterfaceAndReleaseStream(toWorker, IID_IEnumString,
                                         reinterpret_cast<void **>(&calleeProxy));
        TRelay relay(calleeProxy);
        ::CoMarshalInterThreadInterfaceInStream(IID_IEnumString, &relay, &toMain);
        ready = true;
        while (!finished) // the relay lives until the main thread is done with it
            std::this_thread::yield();
        ::CoDisconnectObject(&relay, 0);
        if (calleeProxy)
            calleeProxy->Release();
        ::CoUninitialize();
        workerDone = true;
    });
    ASSERT_TRUE(vexo::Application->ProcessMessagesUntil([&] { return ready.load(); }, 20s));
    IEnumString *relay = nullptr;
    ASSERT_EQ(::CoGetInterfaceAndReleaseStream(toMain, IID_IEnumString,
                                               reinterpret_cast<void **>(&relay)),
              S_OK);
    HRESULT result = E_FAIL;
    const vexo::HWND caller = vexo::AllocateHWnd([&](vexo::TMessage &) {
        inOutgoing = true;
        LPOLESTR item = nullptr;
        ULONG fetched = 0;
        result = relay->Next(1, &item, &fetched);
        inOutgoing = false;
    });
    callee.OnCall = [&] { callbackInside = inOutgoing; };
    vexo::PostMessage(caller, WM_USER, 0, 0);
    EXPECT_TRUE(vexo::Application->ProcessMessagesUntil([&] { return got.size() == 1; }, 20s));
    relay->Release();
    finished = true;
    // Its release of the main thread's object is a call into this apartment.
    EXPECT_TRUE(vexo::Application->ProcessMessagesUntil([&] { return workerDone.load(); }, 20s));
    worker.join();
    EXPECT_EQ(result, S_FALSE);
    EXPECT_TRUE(callbackInside);
    EXPECT_EQ(callee.CalledOn.load(), std::this_thread::get_id());
    EXPECT_EQ(got, (std::vector<WPARAM>{7})); // posted during the callback, delivered after
    EXPECT_TRUE(vexo::Application->ProcessMessagesUntil([&] { return callee.FRefs == 1; }, 10s));
    vexo::DeallocateHWnd(caller);
    vexo::DeallocateHWnd(sink);
}

TEST(WindowsLoop, AnyLoopOfTheThreadDeliversAndQuitEndsRun) {
    // Posts from another thread reach the target through a plain system loop
    // (a modal dialog's, a toolkit's) as through the application's; WM_QUIT
    // ends Run as Terminate does.
    std::vector<LPARAM> got;
    const vexo::HWND h = vexo::AllocateHWnd([&](vexo::TMessage &m) { got.push_back(m.LParam); });
    std::thread([h] {
        for (LPARAM i = 1; i <= 3; ++i)
            vexo::PostMessage(h, WM_USER, 0, i);
    }).join();
    MSG msg;
    while (got.size() < 3 && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        ::DispatchMessageW(&msg);
    EXPECT_EQ(got, (std::vector<LPARAM>{1, 2, 3}));

    ::PostQuitMessage(0);
    vexo::Application->Run();
    EXPECT_TRUE(vexo::Application->Terminated());
    vexo::Application->ResetTerminated();
    vexo::DeallocateHWnd(h);
}

TEST(WindowsLoop, ReleaseOnAnotherThreadDiscardsOnTheOwner) {
    // A target released on a thread other than its owner delivers nothing
    // more; what was posted to it goes to its discard procedure on the owner
    // thread, and its timers end.
    int delivered = 0;
    std::vector<LPARAM> discarded;
    std::vector<std::thread::id> discardedOn;
    const vexo::HWND h = vexo::AllocateHWnd([&](vexo::TMessage &) { ++delivered; },
                                            [&](vexo::TMessage &m) {
                                                discarded.push_back(m.LParam);
                                                discardedOn.push_back(std::this_thread::get_id());
                                            });
    ASSERT_TRUE(vexo::SetTimer(h, 1, 1));
    vexo::PostMessage(h, WM_USER, 0, 10);
    vexo::PostMessage(h, WM_USER, 0, 11);
    std::thread([h] {
        vexo::DeallocateHWnd(h);
        EXPECT_FALSE(vexo::PostMessage(h, WM_USER, 0, 12));
    }).join();
    EXPECT_TRUE(
        vexo::Application->ProcessMessagesUntil([&] { return discarded.size() == 2; }, 10s));
    vexo::Application->ProcessMessagesUntil([] { return false; }, 30ms); // no tick comes
    EXPECT_EQ(delivered, 0);
    EXPECT_EQ(discarded, (std::vector<LPARAM>{10, 11}));
    EXPECT_EQ(discardedOn, (std::vector<std::thread::id>(2, std::this_thread::get_id())));
    EXPECT_EQ(vexo::Application->TimeToNextTimer(), -1ms);
}

#endif // _WIN32
