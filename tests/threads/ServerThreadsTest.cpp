//===- ServerThreadsTest.cpp - the simulation server's scan thread --------===//
#include <chrono>
#include <thread>

#include "servers/SimTestSupport.h"

namespace vexo::simtest {
namespace {

/// Waits (without fixed sleeps) until pred holds or the deadline passes.
template <class P> bool WaitFor(P pred, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::yield();
    }
    return true;
}

class ServerThreads : public SimServerTest {
  protected:
    void SetUp() override {
        SimServerTest::SetUp();
        control->SetManualMode(FALSE); // real scan thread
    }
};

// Data changes arrive on the scan thread, not on the test's thread.
TEST_F(ServerThreads, DataChangesArriveOnTheScanThread) {
    auto g = AddGroup(u"G", TRUE, 100);
    std::vector<OPCHANDLE> h;
    AddItems(g.Get(), {u"Simulation.Ramp.Int4", u"Simulation.Random.Real8"}, h);
    auto sink = Advise(g.Get());
    const auto me = std::this_thread::get_id();
    // Count only the calls the hook saw: calls made before it was set prove nothing.
    std::atomic<int> seen{0};
    std::atomic<int> onTestThread{0};
    sink->SetOnCall([&](const Callback &) {
        if (std::this_thread::get_id() == me)
            ++onTestThread;
        ++seen;
    });
    ASSERT_TRUE(WaitFor([&] { return seen.load() >= 2; }));
    EXPECT_EQ(onTestThread.load(), 0);
    control->SetManualMode(TRUE); // joins the scan thread: no callback after this
}

// A sink may read, write and remove its own group from inside the callback.
TEST_F(ServerThreads, CallbackMayCallBackIntoTheServer) {
    control->SetForceChange(TRUE); // keeps calls coming until the hook below has run
    OPCHANDLE hg = 0;
    auto g = AddGroup(u"G", TRUE, 100, 7, &hg);
    std::vector<OPCHANDLE> h;
    AddItems(g.Get(), {u"Simulation.Bucket.Int4"}, h);
    auto sync = g.As<IOPCSyncIO>();
    IOPCServer *srv = server.Get();
    std::atomic<int> done{0};
    auto sink = Advise(g.Get());
    sink->SetOnCall([&](const Callback &) {
        if (done.fetch_add(1) != 0)
            return;
        OPCITEMSTATE *states = nullptr;
        HRESULT *errors = nullptr;
        if (SUCCEEDED(sync->Read(OPC_DS_DEVICE, 1, h.data(), &states, &errors))) {
            platform::VariantClear(&states[0].vDataValue);
            platform::CoTaskMemFree(states);
            platform::CoTaskMemFree(errors);
        }
        VARIANT v = I4(3);
        if (SUCCEEDED(sync->Write(1, h.data(), &v, &errors)))
            platform::CoTaskMemFree(errors);
        srv->RemoveGroup(hg, TRUE); // from inside the callback: no self-wait
        done.fetch_add(1);
    });
    ASSERT_TRUE(WaitFor([&] { return done.load() >= 2; }));
    const auto before = sink->Count();
    // The group is gone: nothing more arrives even with time passing.
    ComPtr<IUnknown> found;
    EXPECT_EQ(server->GetGroupByName(u"G", IID_IUnknown, found.ReleaseAndGetAddressOf()),
              E_INVALIDARG);
    EXPECT_EQ(sink->Count(), before);
    control->SetManualMode(TRUE); // joins the scan thread: no callback after this
}

// After RemoveGroup returns on another thread, no callback of that group runs.
TEST_F(ServerThreads, RemovedGroupStopsDeliveringAtOnce) {
    control->SetForceChange(TRUE);
    OPCHANDLE hg = 0;
    auto g = AddGroup(u"G", TRUE, 100, 7, &hg);
    std::vector<OPCHANDLE> h;
    AddItems(g.Get(), {u"Simulation.Bench.Tag1", u"Simulation.Bench.Tag2"}, h);
    auto sink = Advise(g.Get());
    ASSERT_TRUE(WaitFor([&] { return sink->Count() >= 2; }));
    std::atomic<bool> removed{false};
    std::atomic<int> late{0};
    sink->SetOnCall([&](const Callback &) {
        if (removed.load())
            late.fetch_add(1);
    });
    server->RemoveGroup(hg, TRUE); // held here: only a forced removal goes at once
    removed = true;
    const auto count = sink->Count();
    control->SetForceChange(TRUE);
    // Let the scan thread run a few more rounds of other work.
    auto other = AddGroup(u"Other", TRUE, 100);
    std::vector<OPCHANDLE> h2;
    AddItems(other.Get(), {u"Simulation.Bench.Tag3"}, h2);
    auto sink2 = Advise(other.Get());
    ASSERT_TRUE(WaitFor([&] { return sink2->Count() >= 3; }));
    EXPECT_EQ(late.load(), 0);
    EXPECT_EQ(sink->Count(), count);
    control->SetManualMode(TRUE); // joins the scan thread: no callback after this
}

// Releasing the last server reference from inside a callback on the scan thread is safe.
TEST_F(ServerThreads, LastReleaseOnTheScanThreadDetaches) {
    const long long bstrs = platform::BStrLiveCount();
    const long long arrays = platform::SafeArrayLiveCount();
    auto extra = CreateServer(CLSID_VexoSimulation);
    extra.As<IVexoSimControl>()->SetManualMode(FALSE);
    auto g = AddGroup(u"G", TRUE, 100, 1, nullptr, extra.Get());
    std::vector<OPCHANDLE> h;
    AddItems(g.Get(), {u"Simulation.Ramp.Int4"}, h);
    auto sink = Advise(g.Get());
    std::mutex mu;
    ComPtr<IOPCItemMgt> held = g; // the last references, given up on the scan thread
    ComPtr<IOPCServer> heldServer = extra;
    g = nullptr;
    extra = nullptr;
    std::atomic<bool> released{false};
    sink->SetOnCall([&](const Callback &) {
        std::lock_guard lock(mu);
        if (released.exchange(true))
            return;
        held = nullptr;
        heldServer = nullptr; // the group was the other reference: the server goes now
    });
    ASSERT_TRUE(WaitFor([&] { return released.load(); }));
    // The detached scan thread finishes on its own and lets go of the sink.
    ASSERT_TRUE(WaitFor([&] {
        sink->AddRef();
        return sink->Release() == 1;
    }));
    // It frees the server's values after letting go of the sink.
    ASSERT_TRUE(WaitFor([&] {
        return platform::BStrLiveCount() == bstrs && platform::SafeArrayLiveCount() == arrays;
    }));
}

// A shutdown request queued for the scan thread arrives there.
TEST_F(ServerThreads, ShutdownFromTheScanThread) {
    auto cpc = server.As<IConnectionPointContainer>();
    ComPtr<IConnectionPoint> cp;
    ASSERT_EQ(cpc->FindConnectionPoint(IID_IOPCShutdown, cp.ReleaseAndGetAddressOf()), S_OK);
    auto sink = platform::MakeCom<ShutdownSink>();
    DWORD cookie = 0;
    ASSERT_EQ(cp->Advise(sink->GetUnknown(), &cookie), S_OK);
    ASSERT_EQ(control->SendShutdown(u"bye", TRUE), S_OK);
    ASSERT_TRUE(WaitFor([&] { return sink->count.load() == 1; }));
    cp->Unadvise(cookie);
}

// Many threads calling into one server while it scans do not race.
TEST_F(ServerThreads, ConcurrentClientsAndScans) {
    auto g = AddGroup(u"G", TRUE, 100);
    std::vector<OPCHANDLE> h;
    AddItems(g.Get(), {u"Simulation.Bucket.Int4", u"Simulation.Random.Int4"}, h);
    auto sink = Advise(g.Get());
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            auto sync = g.As<IOPCSyncIO>();
            for (int i = 0; i < 200; ++i) {
                VARIANT v = I4(i + t);
                HRESULT *errors = nullptr;
                if (SUCCEEDED(sync->Write(1, h.data(), &v, &errors)))
                    platform::CoTaskMemFree(errors);
                OPCSERVERSTATUS *status = nullptr;
                if (SUCCEEDED(server->GetStatus(&status))) {
                    platform::CoTaskMemFree(status->szVendorInfo);
                    platform::CoTaskMemFree(status);
                }
            }
        });
    }
    for (auto &t : threads)
        t.join();
    EXPECT_TRUE(WaitFor([&] { return sink->Count() >= 1; }));
}

} // namespace
} // namespace vexo::simtest
