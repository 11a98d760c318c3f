//===- ServerDialogTest.cpp - the server selection dialog ----------------===//

#include "UiFixture.h"

#include <atomic>

#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <vexo/VexoServerDlg.h>
#include <vexo/platform/Activation.h>
#include <vexo/platform/ComObject.h>
#include <vexo/platform/Guid.h>
#include <vexo/platform/Registry.h>

namespace vexo::test {
namespace {

using ServerDialogTest = UiTest;

QStringList TopLevel(QTreeWidget *Tree) {
    QStringList out;
    for (int i = 0; i < Tree->topLevelItemCount(); ++i)
        out << Tree->topLevelItem(i)->text(0);
    return out;
}

QTreeWidgetItem *Child(QTreeWidget *Tree, const QString &Category, const std::string &ProgID) {
    for (int i = 0; i < Tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *cat = Tree->topLevelItem(i);
        if (cat->text(0) != Category)
            continue;
        for (int j = 0; j < cat->childCount(); ++j) {
            TvexoServerItem *item = TvexoServerBrowseDlg::NodeItem(cat->child(j));
            if (item && item->ProgID == ProgID)
                return cat->child(j);
        }
    }
    return nullptr;
}

/// Clicks the node's row in the tree as a user would.
void ClickNode(QTreeWidget *Tree, QTreeWidgetItem *Node) {
    ASSERT_NE(Node, nullptr);
    Tree->scrollToItem(Node);
    const QRect r = Tree->visualItemRect(Node);
    QTest::mouseClick(Tree->viewport(), Qt::LeftButton, {}, r.center());
}

/// A computer whose server-list object takes as long as the test wants:
/// creating it blocks until Release, then answers like the local one.
class SlowFactory final : public platform::ComObject<IClassFactory> {
  public:
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *, REFIID riid, void **ppv) override {
        Entered = true;
        while (!Released)
            std::this_thread::yield();
        return platform::CoCreateInstance(CLSID_OPCServerList, nullptr, CLSCTX_ALL, riid, ppv);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
    std::atomic<bool> Entered{false};
    std::atomic<bool> Released{false};
};

TEST_F(ServerDialogTest, SearchListsBothCategoriesAndSelectionFillsTheFields) {
    // Enter in the computer field searches; a class in both DA categories has a node under each.
    RegisterSimulationServers("UiHost");
    std::string computer = "UiHost", progId = "in", classId = "in";
    bool wasOpenAfterEnter = false;
    WhenModal<TvexoServerBrowseDlg>([&](TvexoServerBrowseDlg *D) {
        EXPECT_EQ(D->windowTitle(), "Select OPC Server");
        EXPECT_EQ(S(D->eComputername->text()), "UiHost");
        EXPECT_TRUE(D->eServerName->text().isEmpty()) << "the incoming server name is not read";
        EXPECT_TRUE(Centred(D));
        EXPECT_TRUE(D->eServerName->isReadOnly());
        EXPECT_TRUE(D->bSearch->isDefault());
        EXPECT_EQ(TabOrder(D->eComputername, 7),
                  (QStringList{"eComputername", "eServerName", "eServerClsId", "bSearch", "bOk",
                               "bCancel", "TreeView1", "eComputername"}));
        D->eComputername->setFocus();
        QTest::keyClick(D->eComputername, Qt::Key_Return);
        wasOpenAfterEnter = D->isVisible();
        EXPECT_EQ(TopLevel(D->TreeView1), (QStringList{"DA Servers 1.0", "DA Servers 2.0"}));
        QTreeWidgetItem *da10 = D->TreeView1->topLevelItem(0);
        ASSERT_EQ(da10->childCount(), 2);
        EXPECT_EQ(S(da10->child(0)->text(0)), "Vexo OPC DA Simulation Server");
        EXPECT_EQ(S(da10->child(1)->text(0)), "Vexo OPC DA 1.0 Simulation Server");
        ASSERT_EQ(D->TreeView1->topLevelItem(1)->childCount(), 1);
        EXPECT_EQ(TvexoServerBrowseDlg::NodeItem(da10->child(0)),
                  TvexoServerBrowseDlg::NodeItem(D->TreeView1->topLevelItem(1)->child(0)));
        EXPECT_EQ(BusyChanges, (std::vector<bool>{true, false}));
        EXPECT_TRUE(Messages.empty());

        ClickNode(D->TreeView1, Child(D->TreeView1, "DA Servers 2.0", kSimDA20));
        EXPECT_EQ(S(D->eServerName->text()), kSimDA20);
        EXPECT_EQ(S(D->eServerClsId->text()), kSimClassID);
        ClickNode(D->TreeView1, D->TreeView1->topLevelItem(0));
        EXPECT_TRUE(D->eServerName->text().isEmpty()) << "a category node empties both fields";
        EXPECT_TRUE(D->eServerClsId->text().isEmpty());
        ClickNode(D->TreeView1, Child(D->TreeView1, "DA Servers 1.0", kSimDA20));
        EXPECT_EQ(S(D->eServerName->text()), kSimDA20);
        EXPECT_EQ(S(D->eServerClsId->text()), kSimClassID);
        Screenshot(D, "server-dialog.png");
        QTest::mouseClick(D->bOk, Qt::LeftButton);
    });
    EXPECT_TRUE(vexoBrowseServer(computer, progId, classId));
    EXPECT_TRUE(wasOpenAfterEnter) << "Enter searches instead of accepting";
    EXPECT_EQ(computer, "UiHost");
    EXPECT_EQ(progId, kSimDA20);
    EXPECT_EQ(classId, kSimClassID);
    EXPECT_TRUE(Exceptions.empty());
}

TEST_F(ServerDialogTest, OkWithoutAServerAndCancelStillWriteBack) {
    // OK on a category node is false; Cancel and Escape are false; all three write the fields back.
    std::string computer, progId = "x", classId = "y";
    WhenModal<TvexoServerBrowseDlg>([&](TvexoServerBrowseDlg *D) {
        QTest::mouseClick(D->bSearch, Qt::LeftButton);
        ClickNode(D->TreeView1, D->TreeView1->topLevelItem(1));
        QTest::mouseClick(D->bOk, Qt::LeftButton);
        EXPECT_FALSE(D->isVisible()) << "OK closes even without a server";
    });
    EXPECT_FALSE(vexoBrowseServer(computer, progId, classId));
    EXPECT_EQ(computer, "");
    EXPECT_EQ(progId, "");
    EXPECT_EQ(classId, "");

    computer = "typed";
    WhenModal<TvexoServerBrowseDlg>([&](TvexoServerBrowseDlg *D) {
        D->eComputername->clear();
        QTest::mouseClick(D->bSearch, Qt::LeftButton);
        ClickNode(D->TreeView1, Child(D->TreeView1, "DA Servers 1.0", kSimDA10));
        QTest::keyClicks(D->eComputername, "left as typed");
        QTest::mouseClick(D->bCancel, Qt::LeftButton);
    });
    EXPECT_FALSE(vexoBrowseServer(computer, progId, classId));
    EXPECT_EQ(computer, "left as typed");
    EXPECT_EQ(progId, kSimDA10);
    EXPECT_EQ(classId, kSimDA10ClassID);

    WhenModal<TvexoServerBrowseDlg>(
        [&](TvexoServerBrowseDlg *D) { QTest::keyClick(D->TreeView1, Qt::Key_Escape); });
    EXPECT_FALSE(vexoBrowseServer(computer, progId, classId));
    EXPECT_EQ(computer, "left as typed");
    EXPECT_EQ(progId, "") << "the fields are written back as they show";
}

TEST_F(ServerDialogTest, EmptyAndFailingSearchesKeepTheDialogUsable) {
    // Nothing found shows the message; a failing search reaches the exception display only.
    RegisterSimulationServers("UiEmptyHost");
    HKEY root = nullptr;
    ASSERT_EQ(platform::RegConnectRegistryA("UiEmptyHost", HKEY_CLASSES_ROOT, &root), ERROR_SUCCESS);
    for (const CLSID &c : {CLSID_VexoSimulation, CLSID_VexoSimulationDA10})
        platform::RegDeleteTreeA(
            root, ("CLSID\\" + platform::GuidToString(c) + "\\Implemented Categories").c_str());
    platform::RegCloseKey(root);
    RegisterSimulationServers("UiHost2");

    std::string computer = "UiEmptyHost", progId, classId;
    WhenModal<TvexoServerBrowseDlg>([&](TvexoServerBrowseDlg *D) {
        QTest::mouseClick(D->bSearch, Qt::LeftButton);
        EXPECT_EQ(Messages, (std::vector<std::string>{"no OPC Server found on selected Computer"}));
        EXPECT_EQ(D->TreeView1->topLevelItemCount(), 0);

        Messages.clear();
        D->eComputername->setText("NoSuchHost.invalid");
        QTest::mouseClick(D->bSearch, Qt::LeftButton);
        EXPECT_TRUE(Messages.empty()) << "no 'nothing found' after a failure";
        ASSERT_EQ(Exceptions.size(), 1u);
        EXPECT_FALSE(Exceptions[0].empty());
        EXPECT_EQ(D->TreeView1->topLevelItemCount(), 0);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "cursor restored after a failure";
        EXPECT_TRUE(D->isVisible());
        EXPECT_TRUE(D->bSearch->isEnabled());

        // The next search starts afresh, and a second one clears the tree again.
        D->eComputername->setText("UiHost2");
        QTest::mouseClick(D->bSearch, Qt::LeftButton);
        ASSERT_EQ(D->TreeView1->topLevelItemCount(), 2);
        ClickNode(D->TreeView1, Child(D->TreeView1, "DA Servers 2.0", kSimDA20));
        EXPECT_EQ(S(D->eServerName->text()), kSimDA20);
        EXPECT_EQ(D->ServerBrowser()->GetItems(0)->ComputerName, "UiHost2");
        D->eComputername->setText("UiEmptyHost");
        QTest::mouseClick(D->bSearch, Qt::LeftButton);
        EXPECT_EQ(D->TreeView1->topLevelItemCount(), 0);
        EXPECT_TRUE(D->eServerName->text().isEmpty()) << "no server named that is not listed";
        D->eComputername->setText("UiHost2");
        QTest::mouseClick(D->bSearch, Qt::LeftButton);
        EXPECT_EQ(TopLevel(D->TreeView1), (QStringList{"DA Servers 1.0", "DA Servers 2.0"}));
        QTest::mouseClick(D->bCancel, Qt::LeftButton);
    });
    EXPECT_FALSE(vexoBrowseServer(computer, progId, classId));
    EXPECT_EQ(computer, "UiHost2");
}

TEST_F(ServerDialogTest, LongSearchKeepsTheWindowResponsive) {
    // While a search blocks, events are handled, the cursor is busy and Cancel waits for the end.
    platform::AddComputer("UiSlowHost");
    auto factory = platform::MakeCom<SlowFactory>();
    DWORD cookie = 0;
    ASSERT_EQ(platform::RegisterClassObjectOn("UiSlowHost", CLSID_OPCServerList, factory.Get(),
                                              &cookie),
              S_OK);
    std::string computer = "UiSlowHost", progId, classId;
    int ticks = 0;
    WhenModal<TvexoServerBrowseDlg>([&](TvexoServerBrowseDlg *D) {
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start(1);
        // Runs inside the search, once the worker is blocked in the server-list object.
        bool checked = false;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            if (checked || !factory->Entered)
                return;
            checked = true;
            EXPECT_TRUE(D->Searching());
            EXPECT_NE(QApplication::overrideCursor(), nullptr);
            EXPECT_FALSE(D->bSearch->isEnabled());
            const int before = ticks;
            EXPECT_TRUE(QTest::qWaitFor([&] { return ticks > before + 2; }, 10000));
            QTest::mouseClick(D->bCancel, Qt::LeftButton);
            EXPECT_TRUE(D->isVisible()) << "closing waits for the search";
            factory->Released = true;
        });
        probe.start(1);
        QTest::mouseClick(D->bSearch, Qt::LeftButton);
        EXPECT_FALSE(D->Searching());
        EXPECT_TRUE(checked);
        EXPECT_FALSE(D->isVisible()) << "the deferred Cancel closed the dialog";
    });
    EXPECT_FALSE(vexoBrowseServer(computer, progId, classId));
    EXPECT_TRUE(factory->Released);
    EXPECT_EQ(BusyChanges, (std::vector<bool>{true, false}));
    platform::RemoveComputer("UiSlowHost");
}

} // namespace
} // namespace vexo::test
