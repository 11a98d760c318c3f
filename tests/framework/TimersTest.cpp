//===- TimersTest.cpp - timers of message targets ------------------------===//
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include <vexo/framework/Application.h>
#include <vexo/framework/Messages.h>

using namespace vexo;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

/// Records what a target receives: "m<WParam>" for WM_USER, "t<WParam>" for WM_TIMER.
class TimersTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Application->ProcessMessages(); // nothing left from earlier tests
        Wnd = AllocateHWnd([this](TMessage &M) {
            Got.push_back((M.Msg == WM_TIMER ? "t" : "m") + std::to_string(M.WParam));
            Threads.push_back(std::this_thread::get_id());
        });
    }
    void TearDown() override { DeallocateHWnd(Wnd); }

    int Ticks(UINT_PTR Id) const {
        return static_cast<int>(std::count(Got.begin(), Got.end(), "t" + std::to_string(Id)));
    }

    vexo::HWND Wnd = 0;
    std::vector<std::string> Got;
    std::vector<std::thread::id> Threads;
};

/// Spins until the clock has passed Until (no message is handled meanwhile).
void WaitOut(Clock::time_point Until) {
    while (Clock::now() < Until)
        std::this_thread::yield();
}

} // namespace

TEST_F(TimersTest, TimerTicksUntilKilledAndRestartingKeepsOne) {
    // A timer ticks again and again with its id; setting it again restarts the
    // same timer; KillTimer ends it, and unknown timers or targets are refused.
    ASSERT_TRUE(SetTimer(Wnd, 7, 1));
    ASSERT_TRUE(SetTimer(Wnd, 7, 1));
    ASSERT_TRUE(Application->ProcessMessagesUntil([&] { return Ticks(7) >= 3; }, 10s));
    EXPECT_TRUE(KillTimer(Wnd, 7));
    EXPECT_FALSE(KillTimer(Wnd, 7));
    EXPECT_FALSE(KillTimer(Wnd, 8));
    EXPECT_FALSE(SetTimer(0, 1, 1));
    EXPECT_FALSE(SetTimer(Wnd + 1000000, 1, 1));
    const std::size_t Seen = Got.size();
    Application->ProcessMessagesUntil([] { return false; }, 20ms);
    EXPECT_EQ(Got.size(), Seen);
    EXPECT_EQ(Application->TimeToNextTimer(), -1ms);
}

TEST_F(TimersTest, DueTimerComesAfterEarlierPostsOnceAndBeforeLaterOnes) {
    // Messages posted before a timer fell due go first; a timer overdue by many
    // periods ticks once per drain; a message posted after it fell due follows.
    PostMessage(Wnd, WM_USER, 1, 0);
    PostMessage(Wnd, WM_USER, 2, 0);
    ASSERT_TRUE(SetTimer(Wnd, 5, 1));
    WaitOut(Clock::now() + 5ms); // due at most 1 ms after SetTimer returned
    PostMessage(Wnd, WM_USER, 3, 0);
    Application->ProcessMessages();
    EXPECT_EQ(Got, (std::vector<std::string>{"m1", "m2", "t5", "m3"}));
    KillTimer(Wnd, 5);
}

TEST_F(TimersTest, WaitingLoopsWakeForTimersAndReleasedTargetsLoseThem) {
    // HandleMessage and Run sleep only until the next timer; a timer set from
    // another thread ticks on the owner thread; releasing a target ends its
    // timers, and TimeToNextTimer tells a toolkit how long it may wait.
    EXPECT_EQ(Application->TimeToNextTimer(), -1ms);
    ASSERT_TRUE(SetTimer(Wnd, 1, 60000));
    EXPECT_GT(Application->TimeToNextTimer(), 59000ms);
    EXPECT_LE(Application->TimeToNextTimer(), 60000ms);
    std::thread([this] { SetTimer(Wnd, 2, 2); }).join();
    EXPECT_TRUE(Application->HandleMessage(10s));
    EXPECT_EQ(Got, (std::vector<std::string>{"t2"}));
    EXPECT_EQ(Threads.back(), std::this_thread::get_id());

    vexo::HWND Other = 0;
    int Runs = 0;
    Other = AllocateHWnd([&](TMessage &M) {
        if (M.Msg == WM_TIMER && ++Runs == 3)
            Application->Terminate();
    });
    ASSERT_TRUE(SetTimer(Other, 9, 1));
    KillTimer(Wnd, 2);
    Application->Run();
    Application->ResetTerminated();
    EXPECT_EQ(Runs, 3);
    DeallocateHWnd(Other);
    EXPECT_FALSE(KillTimer(Other, 9));
    DeallocateHWnd(Wnd);
    EXPECT_EQ(Application->TimeToNextTimer(), -1ms);
    Wnd = AllocateHWnd([](TMessage &) {}); // for TearDown
}
