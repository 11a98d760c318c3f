//===- QtServicesTest.cpp - the framework's UI services in Qt ------------===//

#include "UiFixture.h"

#include <atomic>
#include <thread>

#include <vexo/framework/Messages.h>
#include <vexo/ui/QtServices.h>

namespace vexo::test {
namespace {

using QtServicesTest = UiTest;

TEST_F(QtServicesTest, PostsFromOtherThreadsAreDeliveredByQtsOwnLoop) {
    // Messages posted from a worker reach the GUI thread while only Qt's loop runs.
    std::vector<WPARAM> got;
    std::thread::id deliveredOn;
    HWND wnd = AllocateHWnd([&](TMessage &M) {
        got.push_back(M.WParam);
        deliveredOn = std::this_thread::get_id();
    });
    std::thread poster([wnd] {
        for (WPARAM i = 0; i < 100; ++i)
            PostMessage(wnd, WM_USER + 1, i, 0);
    });
    poster.join();
    EXPECT_TRUE(QTest::qWaitFor([&] { return got.size() == 100; }, 10000));
    EXPECT_EQ(deliveredOn, std::this_thread::get_id());
    for (WPARAM i = 0; i < got.size(); ++i)
        ASSERT_EQ(got[i], i) << "posting order is kept";
    DeallocateHWnd(wnd);
}

TEST_F(QtServicesTest, DataChangesArriveAsEventsOnTheGuiThread) {
    // A connected server's scan-thread data changes become OnDatachange in the Qt event loop.
    TVexoServer server(nullptr);
    int changes = 0;
    std::thread::id handledOn;
    server.OnDatachange = [&](TObject *, TVexoItemList *List) {
        changes += List->Count() > 0;
        handledOn = std::this_thread::get_id();
    };
    server.SetServer(kSimDA20);
    server.SetActive(true);
    ASSERT_TRUE(server.Active());
    TVexoGroup *group = server.OPCGroups()->Add("UiGroup");
    group->SetUpdateRate(100);
    group->OPCItems()->AddItem("Simulation.Ramp.Int4");
    group->SetIsSubscribed(true);
    group->SetIsActive(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return changes >= 2; }, 10000));
    EXPECT_EQ(handledOn, std::this_thread::get_id());
    server.SetActive(false);
}

TEST_F(QtServicesTest, BusyCursorNestsAndBeepComesFromAnyThread) {
    // The wait cursor is on while any busy scope is open; a worker's beep does not crash Qt.
    SetUIServices(vexo::ui::QtUIServices());
    {
        TBusyCursor outer;
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        {
            TBusyCursor inner;
        }
        EXPECT_NE(QApplication::overrideCursor(), nullptr);
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    std::thread([] { Beep(); }).join();
    QCoreApplication::processEvents();
}

} // namespace
} // namespace vexo::test
