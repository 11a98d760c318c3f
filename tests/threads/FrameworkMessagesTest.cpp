//===- FrameworkMessagesTest.cpp - message targets across threads --------===//
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include <vexo/framework/Application.h>
#include <vexo/framework/Messages.h>
#include <vexo/framework/ResourceStrings.h>

using namespace vexo;
using namespace std::chrono_literals;

// Several threads post at once: every message arrives, each poster's order is
// kept, and every procedure call runs on the owner thread.
TEST(FrameworkMessages, ConcurrentPostersKeepOrderOnOwnerThread) {
    constexpr int Posters = 4, PerPoster = 2000;
    const auto owner = std::this_thread::get_id();
    std::map<WPARAM, std::vector<LPARAM>> got;
    std::atomic<int> wrongThread{0};
    int total = 0;
    HWND h = AllocateHWnd([&](TMessage &m) {
        if (std::this_thread::get_id() != owner)
            ++wrongThread;
        got[m.WParam].push_back(m.LParam);
        ++total;
    });
    std::vector<std::thread> threads;
    for (int p = 0; p < Posters; ++p)
        threads.emplace_back([h, p] {
            for (int i = 0; i < PerPoster; ++i)
                ASSERT_TRUE(PostMessage(h, WM_USER, static_cast<WPARAM>(p), i));
        });
    EXPECT_TRUE(Application->ProcessMessagesUntil([&] { return total == Posters * PerPoster; }, 20s));
    for (auto &t : threads)
        t.join();
    Application->ProcessMessages();
    EXPECT_EQ(total, Posters * PerPoster);
    EXPECT_EQ(wrongThread.load(), 0);
    for (int p = 0; p < Posters; ++p) {
        const auto &seq = got[static_cast<WPARAM>(p)];
        ASSERT_EQ(seq.size(), static_cast<std::size_t>(PerPoster));
        for (int i = 0; i < PerPoster; ++i)
            ASSERT_EQ(seq[static_cast<std::size_t>(i)], i);
    }
    DeallocateHWnd(h);
}

// ProcessMessages on one thread delivers only that thread's targets.
TEST(FrameworkMessages, EachThreadDrainsOnlyItsOwnTargets) {
    std::atomic<int> mainGot{0}, workerGot{0};
    std::atomic<HWND> workerWnd{0};
    std::atomic<bool> stop{false};
    HWND mainWnd = AllocateHWnd([&](TMessage &) { ++mainGot; });
    std::thread worker([&] {
        HWND w = AllocateHWnd([&](TMessage &) { ++workerGot; });
        workerWnd = w;
        Application->ProcessMessagesUntil([&] { return stop.load(); }, 20s);
        DeallocateHWnd(w);
    });
    while (workerWnd == 0)
        std::this_thread::yield();
    PostMessage(mainWnd, WM_USER, 0, 0);
    PostMessage(workerWnd, WM_USER, 0, 0);
    // The worker drains its own message; ours waits for us.
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (workerGot == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_EQ(workerGot.load(), 1);
    EXPECT_EQ(mainGot.load(), 0);
    Application->ProcessMessages();
    EXPECT_EQ(mainGot.load(), 1);
    stop = true;
    worker.join();
    DeallocateHWnd(mainWnd);
}

// Posting races with releasing: every message is either delivered or handed
// to the discard procedure, never lost, and posts after release return false.
TEST(FrameworkMessages, PostRacingWithReleaseLosesNothing) {
    std::atomic<int> delivered{0}, discarded{0}, accepted{0};
    HWND h = AllocateHWnd([&](TMessage &) { ++delivered; }, [&](TMessage &) { ++discarded; });
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int p = 0; p < 3; ++p)
        threads.emplace_back([&] {
            while (!go)
                std::this_thread::yield();
            for (int i = 0; i < 3000; ++i)
                if (PostMessage(h, WM_USER, 0, 0))
                    ++accepted;
        });
    go = true;
    for (int i = 0; i < 50; ++i)
        Application->ProcessMessages();
    DeallocateHWnd(h);
    for (auto &t : threads)
        t.join();
    Application->ProcessMessages();
    EXPECT_EQ(delivered + discarded, accepted.load());
    EXPECT_FALSE(PostMessage(h, WM_USER, 0, 0));
}

// A blocked HandleMessage wakes up for a post from another thread, and Run
// ends when another thread calls Terminate.
TEST(FrameworkMessages, WaitersWakeForPostsAndTerminate) {
    std::atomic<int> got{0};
    HWND h = AllocateHWnd([&](TMessage &) { ++got; });
    std::thread poster([h] { PostMessage(h, WM_USER, 0, 0); });
    EXPECT_TRUE(Application->HandleMessage(20s));
    poster.join();
    EXPECT_EQ(got.load(), 1);

    std::thread stopper([] {
        std::this_thread::yield();
        Application->Terminate();
    });
    Application->Run(); // returns once Terminate is seen
    stopper.join();
    EXPECT_TRUE(Application->Terminated());
    Application->ResetTerminated();
    DeallocateHWnd(h);
}

// Resource strings may be loaded while another thread registers texts.
// ProcessMessages returns even while another thread posts without pause: what
// that thread posts after the call began waits for the next call.
TEST(FrameworkMessages, ProcessMessagesReturnsUnderANonStopProducer) {
    std::atomic<long> delivered{0};
    HWND h = AllocateHWnd([&](TMessage &) { delivered.fetch_add(1); });
    std::atomic<bool> stop{false};
    std::atomic<long> posted{0};
    std::thread producer([&] {
        while (!stop.load()) {
            PostMessage(h, WM_USER, 0, 0);
            posted.fetch_add(1);
        }
    });
    while (posted.load() < 1000)
        std::this_thread::yield();
    for (int i = 0; i < 20; ++i)
        Application->ProcessMessages(); // each call must come back
    stop = true;
    producer.join();
    Application->ProcessMessages();
    EXPECT_EQ(delivered.load(), posted.load());
    DeallocateHWnd(h);
}

TEST(FrameworkResourceStrings, LoadWhileRegistering) {
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 2000; ++i)
            SetResourceString(80000 + i % 50, "text " + std::to_string(i));
        done = true;
    });
    int loads = 0;
    while (!done) {
        std::string s = LoadResString(80000 + loads % 50);
        EXPECT_TRUE(s.empty() || s.rfind("text ", 0) == 0);
        ++loads;
    }
    writer.join();
    EXPECT_FALSE(LoadResString(80001).empty());
}
