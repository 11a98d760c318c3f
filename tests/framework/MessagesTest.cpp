//===- MessagesTest.cpp - message targets on one thread, application -----===//
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include <vexo/framework/Application.h>
#include <vexo/framework/Messages.h>
#include <vexo/framework/UIServices.h>

using namespace vexo;
using namespace std::chrono_literals;

namespace {

/// Captures ShowMessage texts for the lifetime of the fixture.
class MessagesFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        TUIServices s;
        s.ShowMessage = [this](const std::string &t) { Shown.push_back(t); };
        FPrevious = SetUIServices(s);
        Application->OnException = nullptr;
        Application->ProcessMessages(); // nothing left from earlier tests
    }
    void TearDown() override {
        SetUIServices(FPrevious);
        Application->OnException = nullptr;
        Application->SetWakeUpHook(nullptr);
    }
    std::vector<std::string> Shown;
    TUIServices FPrevious;
};

} // namespace

// Posted messages arrive in order on ProcessMessages, including ones posted by
// a procedure while the queue is being drained.
TEST_F(MessagesFixture, PostAndProcessInOrder) {
    std::vector<WPARAM> got;
    vexo::HWND h = 0;
    h = AllocateHWnd([&](TMessage &m) {
        got.push_back(m.WParam);
        if (m.WParam == 2)
            PostMessage(h, WM_USER, 99, 0);
    });
    ASSERT_NE(h, 0u);
    for (WPARAM i = 1; i <= 3; ++i)
        EXPECT_TRUE(PostMessage(h, WM_USER + 1, i, 0));
    EXPECT_TRUE(got.empty()); // nothing runs before the loop drains
    Application->ProcessMessages();
    EXPECT_EQ(got, (std::vector<WPARAM>{1, 2, 3, 99}));
    DeallocateHWnd(h);
}

// An exception escaping a procedure reaches HandleException and the queue goes
// on; without OnException the message is shown.
TEST_F(MessagesFixture, ExceptionFromProcedureIsHandledAndQueueContinues) {
    std::vector<WPARAM> got;
    vexo::HWND h = AllocateHWnd([&](TMessage &m) {
        got.push_back(m.WParam);
        if (m.WParam == 1)
            throw Exception("handler failed");
        if (m.WParam == 2)
            throw std::runtime_error("std failure");
    });
    PostMessage(h, WM_USER, 1, 0);
    PostMessage(h, WM_USER, 2, 0);
    PostMessage(h, WM_USER, 3, 0);
    Application->ProcessMessages();
    EXPECT_EQ(got, (std::vector<WPARAM>{1, 2, 3}));
    EXPECT_EQ(Shown, (std::vector<std::string>{"handler failed", "std failure"}));

    std::vector<std::string> handled;
    Application->OnException = [&](TObject *, const Exception &e) {
        handled.push_back(e.Message());
    };
    PostMessage(h, WM_USER, 1, 0);
    Application->ProcessMessages();
    EXPECT_EQ(handled, (std::vector<std::string>{"handler failed"}));
    EXPECT_EQ(Shown.size(), 2u);
    DeallocateHWnd(h);
}

// A released target receives nothing more; its queued messages go to the
// discard procedure; posts to it return false; handles are not reused.
TEST_F(MessagesFixture, ReleasedTargetDiscardsAndRefuses) {
    int delivered = 0;
    std::vector<LPARAM> discarded;
    vexo::HWND h = AllocateHWnd([&](TMessage &) { ++delivered; },
                          [&](TMessage &m) { discarded.push_back(m.LParam); });
    PostMessage(h, WM_USER, 0, 10);
    PostMessage(h, WM_USER, 0, 11);
    DeallocateHWnd(h);
    EXPECT_EQ(discarded, (std::vector<LPARAM>{10, 11}));
    EXPECT_FALSE(PostMessage(h, WM_USER, 0, 12));
    Application->ProcessMessages();
    EXPECT_EQ(delivered, 0);
    vexo::HWND h2 = AllocateHWnd([](TMessage &) {});
    EXPECT_NE(h2, h);
    EXPECT_FALSE(PostMessage(0, WM_USER, 0, 0));
    DeallocateHWnd(h2);
    DeallocateHWnd(h2); // twice is harmless
}

// SendMessage runs the procedure at once and returns its result.
TEST_F(MessagesFixture, SendMessageRunsDirectly) {
    vexo::HWND h = AllocateHWnd([](TMessage &m) { m.Result = static_cast<LRESULT>(m.WParam * 2); });
    EXPECT_EQ(SendMessage(h, WM_USER, 21, 0), 42);
    DeallocateHWnd(h);
    EXPECT_EQ(SendMessage(h, WM_USER, 21, 0), 0);
}

// HandleMessage waits for one message up to its timeout; the wake-up hook is
// called on every post; ProcessMessagesUntil stops when its condition holds.
TEST_F(MessagesFixture, HandleMessageWakeUpHookAndUntil) {
    int got = 0, wakes = 0;
    Application->SetWakeUpHook([&] { ++wakes; });
    vexo::HWND h = AllocateHWnd([&](TMessage &) { ++got; });
    EXPECT_FALSE(Application->HandleMessage(10ms));
    PostMessage(h, WM_USER, 0, 0);
    PostMessage(h, WM_USER, 0, 0);
    EXPECT_EQ(wakes, 2);
    EXPECT_TRUE(Application->HandleMessage(10ms));
    EXPECT_EQ(got, 1);
    EXPECT_TRUE(Application->ProcessMessagesUntil([&] { return got == 2; }, 1s));
    EXPECT_FALSE(Application->ProcessMessagesUntil([&] { return got == 3; }, 20ms));
    // "Wait for ever" is a valid timeout: it must not overflow the clock.
    PostMessage(h, WM_USER, 0, 0);
    EXPECT_TRUE(Application->ProcessMessagesUntil([&] { return got == 3; },
                                                  std::chrono::milliseconds::max()));
    // ... and a negative one means "do not wait".
    EXPECT_FALSE(Application->ProcessMessagesUntil([] { return false; },
                                                   std::chrono::milliseconds::min()));
    EXPECT_FALSE(Application->HandleMessage(std::chrono::milliseconds::min()));
    DeallocateHWnd(h);
}

// A post that queued its message succeeds even when the wake-up hook raises.
TEST_F(MessagesFixture, RaisingWakeUpHookDoesNotFailThePost) {
    int got = 0;
    Application->SetWakeUpHook([] { throw Exception("hook failed"); });
    vexo::HWND h = AllocateHWnd([&](TMessage &) { ++got; });
    EXPECT_TRUE(PostMessage(h, WM_USER, 0, 0));
    Application->SetWakeUpHook(nullptr);
    Application->ProcessMessages();
    EXPECT_EQ(got, 1);
    DeallocateHWnd(h);
}

// HandleException outside any failure path never raises; non-framework
// exceptions arrive wrapped.
TEST_F(MessagesFixture, HandleExceptionWrapsAndNeverRaises) {
    std::string seen;
    Application->OnException = [&](TObject *, const Exception &e) {
        seen = e.Message();
        throw std::runtime_error("handler itself fails");
    };
    try {
        throw 42;
    } catch (...) {
        EXPECT_NO_THROW(Application->HandleException(nullptr));
    }
    EXPECT_EQ(seen, "Unknown exception");
    EXPECT_NO_THROW(Application->HandleException(nullptr)); // no exception in flight
}

// Run delivers until Terminate, which a handler may call.
TEST_F(MessagesFixture, RunUntilTerminate) {
    int got = 0;
    vexo::HWND h = AllocateHWnd([&](TMessage &m) {
        ++got;
        if (m.WParam == 1)
            Application->Terminate();
    });
    PostMessage(h, WM_USER, 0, 0);
    PostMessage(h, WM_USER, 1, 0);
    Application->Run();
    EXPECT_EQ(got, 2);
    EXPECT_TRUE(Application->Terminated());
    Application->ResetTerminated();
    EXPECT_FALSE(Application->Terminated());
    DeallocateHWnd(h);
}
