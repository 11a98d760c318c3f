//===- BrowseDialogTest.cpp - the item browse dialog ---------------------===//

#include "UiFixture.h"

#include <memory>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>

#include <vexo/VexoBrowseDlg.h>

namespace vexo::test {
namespace {

class BrowseDialogTest : public UiTest {
  protected:
    std::unique_ptr<TVexoServer> Connect(const char *ProgID) {
        auto server = std::make_unique<TVexoServer>(nullptr);
        server->SetServer(ProgID);
        server->SetActive(true);
        EXPECT_TRUE(server->Active());
        return server;
    }
    static platform::ComPtr<IVexoSimControl> Control(TVexoServer &Server) {
        return Server.GetOPCServer().As<IVexoSimControl>();
    }
    /// The logged calls whose line starts with Method.
    static std::vector<std::string> Calls(TVexoServer &Server, const std::string &Method) {
        std::vector<std::string> out;
        for (const std::string &line : SimCallLog(Control(Server).Get()))
            if (line.rfind(Method, 0) == 0)
                out.push_back(line);
        return out;
    }
    static QStringList Texts(QListWidget *L) {
        QStringList out;
        for (int i = 0; i < L->count(); ++i)
            out << L->item(i)->text();
        return out;
    }
    static QList<int> Images(QListWidget *L) {
        QList<int> out;
        for (int i = 0; i < L->count(); ++i)
            out << L->item(i)->data(TVexoDlgBrowse::ImageRole).toInt();
        return out;
    }
    static QStringList Selected(QListWidget *L) {
        QStringList out;
        for (int i = 0; i < L->count(); ++i)
            if (L->item(i)->isSelected())
                out << L->item(i)->text();
        return out;
    }
    static QPoint At(QListWidget *L, const QString &Text) {
        const auto found = L->findItems(Text, Qt::MatchExactly);
        EXPECT_EQ(found.size(), 1) << Text.toStdString();
        if (found.isEmpty())
            return {-1, -1};
        L->scrollToItem(found.first());
        return L->visualItemRect(found.first()).center();
    }
    static void Click(QListWidget *L, const QString &Text, Qt::KeyboardModifiers M = {}) {
        QTest::mouseClick(L->viewport(), Qt::LeftButton, M, At(L, Text));
    }
    static void DoubleClick(QListWidget *L, const QString &Text) {
        const QPoint p = At(L, Text);
        QTest::mouseClick(L->viewport(), Qt::LeftButton, {}, p);
        QTest::mouseDClick(L->viewport(), Qt::LeftButton, {}, p);
    }
};

const QStringList kLine1Leaves{"Level", "Level EU", "Level Description", "Setpoint", "Pump 1"};

TEST_F(BrowseDialogTest, WalksAHierarchicalSpaceAndReturnsLeavesInListOrder) {
    // Space, Backspace, double click and Open walk the levels; chosen leaves come back in list order.
    auto server = Connect(kSimDA20);
    TVexoBrowser *b = server->Browser();
    b->SetFilter("stale");
    b->SetDatatype(vtI4);
    b->SetAccessRights(OPCAcesstype{3});
    TStringList ids;
    WhenModal<TVexoDlgBrowse>([&](TVexoDlgBrowse *D) {
        EXPECT_EQ(D->windowTitle(), "Open OPC Item");
        EXPECT_TRUE(Centred(D));
        EXPECT_TRUE(D->bOk->isDefault());
        EXPECT_EQ(TabOrder(D->ListView, 8),
                  (QStringList{"ListView", "eFilter", "cDataType", "bOk", "bCancel", "ePath",
                               "cWritable", "cReadable", "ListView"}))
            << "the back button is no tab stop";
        D->ListView->setFocus();
        ASSERT_EQ(D->cDataType->count(), 32);
        EXPECT_EQ(D->cDataType->itemText(11), "BOOL");
        EXPECT_EQ(D->cDataType->itemText(31), "LPWSTR");
        EXPECT_EQ(D->cDataType->currentText(), "EMPTY");
        EXPECT_EQ(b->Filter(), "") << "the empty filter controls replace the browser's";
        EXPECT_EQ(b->Datatype(), vtEMPTY);
        EXPECT_EQ(b->AccessRights(), OPCAcesstype{});
        EXPECT_EQ(D->ePath->text(), "root");
        EXPECT_EQ(Texts(D->ListView), QStringList{"Simulation"});
        EXPECT_EQ(Selected(D->ListView), QStringList{"Simulation"});

        QTest::keyClick(D->ListView, Qt::Key_Space);
        EXPECT_EQ(D->ePath->text(), "Simulation");
        EXPECT_TRUE(Texts(D->ListView).contains("Line 1"));
        EXPECT_FALSE(Images(D->ListView).contains(1)) << "no leaves at this level";
        QTest::keyClick(D->ListView, Qt::Key_Backspace);
        EXPECT_EQ(D->ePath->text(), "root");
        Control(*server)->ClearCallLog();
        QTest::mouseClick(D->bBack, Qt::LeftButton);
        EXPECT_TRUE(Calls(*server, "ChangeBrowsePosition").empty()) << "at the root nothing happens";

        QTest::keyClick(D->ListView, Qt::Key_Space);
        DoubleClick(D->ListView, "Line 1");
        EXPECT_EQ(D->ePath->text(), "Line 1");
        EXPECT_EQ(Texts(D->ListView), kLine1Leaves);
        EXPECT_EQ(Images(D->ListView), (QList<int>{1, 1, 1, 1, 1}));
        Click(D->ListView, "Setpoint");
        Click(D->ListView, "Level", Qt::ControlModifier);
        EXPECT_EQ(Selected(D->ListView), (QStringList{"Level", "Setpoint"}));
        Screenshot(D, "browse-dialog.png");
        QTest::mouseClick(D->bOk, Qt::LeftButton);
    });
    EXPECT_TRUE(OPCBrowseDialog(b, &ids, true));
    EXPECT_EQ(ids.Text(), "Simulation.Line 1.Level\r\nSimulation.Line 1.Setpoint\r\n");
    EXPECT_EQ(b->GetCurrentPosition(), "Simulation.Line 1") << "the browser keeps its position";

    // Not from the root: the next dialog continues there; one selection only, Enter opens.
    std::string id;
    WhenModal<TVexoDlgBrowse>([&](TVexoDlgBrowse *D) {
        EXPECT_EQ(D->ePath->text(), "Line 1");
        Click(D->ListView, "Level");
        Click(D->ListView, "Pump 1", Qt::ControlModifier);
        EXPECT_EQ(Selected(D->ListView), QStringList{"Pump 1"});
        QTest::keyClick(D->ListView, Qt::Key_Return);
    });
    id = OPCBrowseItemDialog(b, false);
    EXPECT_EQ(id, "Simulation.Line 1.Pump 1");
}

TEST_F(BrowseDialogTest, OpenMovesIntoTheFirstBranchFiltersOrStaysOpen) {
    // Open picks the first selected branch in list order; Enter in the filter only re-lists.
    auto server = Connect(kSimDA20);
    TVexoBrowser *b = server->Browser();
    TStringList ids;
    WhenModal<TVexoDlgBrowse>([&](TVexoDlgBrowse *D) {
        QTest::keyClick(D->ListView, Qt::Key_Space);
        ASSERT_EQ(D->ePath->text(), "Simulation");
        Click(D->ListView, "Sine");
        Click(D->ListView, "Random", Qt::ControlModifier);
        QTest::mouseClick(D->bOk, Qt::LeftButton);
        EXPECT_EQ(D->ePath->text(), "Random") << "the first selected in list order";
        EXPECT_TRUE(D->isVisible());
        EXPECT_EQ(ids.Count(), 0);
        QTest::keyClick(D->ListView, Qt::Key_Backspace);
        DoubleClick(D->ListView, "Line 1");

        // Enter with the focus in the filter field applies it and keeps the dialog open.
        D->ListView->selectAll();
        D->eFilter->setFocus();
        QTest::keyClicks(D->eFilter, "Level*");
        Control(*server)->ClearCallLog();
        QTest::keyClick(D->eFilter, Qt::Key_Return);
        EXPECT_TRUE(D->isVisible());
        EXPECT_EQ(Texts(D->ListView), (QStringList{"Level", "Level EU", "Level Description"}));
        EXPECT_EQ(Calls(*server, "BrowseOPCItemIDs"),
                  (std::vector<std::string>{"BrowseOPCItemIDs type=1 filter=Level* vt=0 rights=0",
                                            "BrowseOPCItemIDs type=2 filter=Level* vt=0 rights=0"}));

        // Access rights and the data type narrow the listing as soon as they change.
        D->eFilter->clear();
        QTest::mouseClick(D->cWritable, Qt::LeftButton);
        EXPECT_EQ(Texts(D->ListView), (QStringList{"Setpoint", "Pump 1"}));
        D->cDataType->setFocus();
        Control(*server)->ClearCallLog();
        QTest::keyClicks(D->cDataType, "BOOL");
        EXPECT_EQ(D->cDataType->currentText(), "BOOL");
        EXPECT_EQ(Calls(*server, "BrowseOPCItemIDs").back(),
                  "BrowseOPCItemIDs type=2 filter= vt=11 rights=2");
        EXPECT_EQ(b->AccessRights(), OPCAcesstype{2});
        EXPECT_EQ(b->Datatype(), vtBOOL);

        // A filter that leaves nothing: Open has nothing to accept.
        D->eFilter->setText("NoSuchTag");
        QTest::mouseClick(D->cReadable, Qt::LeftButton);
        EXPECT_EQ(D->ListView->count(), 0);
        QTest::mouseClick(D->bOk, Qt::LeftButton);
        EXPECT_TRUE(D->isVisible());
        QTest::keyClick(D->ListView, Qt::Key_Escape);
    });
    EXPECT_FALSE(OPCBrowseDialog(b, &ids, true));
    EXPECT_EQ(ids.Count(), 0);
}

TEST_F(BrowseDialogTest, FlatServerListsEveryLeafAndNeverMoves) {
    // On a flat server Space and Backspace do nothing and a double click accepts the leaf.
    auto server = Connect(kSimDA10);
    TVexoBrowser *b = server->Browser();
    std::string id;
    WhenModal<TVexoDlgBrowse>([&](TVexoDlgBrowse *D) {
        EXPECT_EQ(D->ePath->text(), "root");
        ASSERT_GT(D->ListView->count(), 50);
        EXPECT_FALSE(Images(D->ListView).contains(0));
        EXPECT_TRUE(Texts(D->ListView).contains("Simulation.Line 1.Level"));
        Control(*server)->ClearCallLog();
        QTest::keyClick(D->ListView, Qt::Key_Space);
        QTest::keyClick(D->ListView, Qt::Key_Backspace);
        EXPECT_EQ(D->ePath->text(), "root");
        EXPECT_TRUE(Calls(*server, "ChangeBrowsePosition").empty());
        EXPECT_TRUE(Calls(*server, "BrowseOPCItemIDs").empty()) << "nothing was re-listed";
        DoubleClick(D->ListView, "Simulation.Ramp.Int4");
    });
    id = OPCBrowseItemDialog(b, true);
    EXPECT_EQ(id, "Simulation.Ramp.Int4");
}

TEST_F(BrowseDialogTest, FaultsKeepTheDialogOpenAndUnconnectedServersShowNothing) {
    // A failed listing reaches the exception display and the dialog stays usable.
    auto server = Connect(kSimDA20);
    TVexoBrowser *b = server->Browser();
    TStringList ids;
    WhenModal<TVexoDlgBrowse>([&](TVexoDlgBrowse *D) {
        QTest::keyClick(D->ListView, Qt::Key_Space);
        Control(*server)->FailNextCall(u"BrowseOPCItemIDs", E_FAIL);
        QTest::mouseClick(D->cReadable, Qt::LeftButton);
        ASSERT_EQ(Exceptions.size(), 1u);
        EXPECT_EQ(Exceptions[0].rfind("Browser: ", 0), 0u) << Exceptions[0];
        EXPECT_TRUE(D->isVisible());
        EXPECT_EQ(D->ListView->count(), 0);
        QTest::mouseClick(D->cReadable, Qt::LeftButton);
        EXPECT_TRUE(Texts(D->ListView).contains("Line 1"));
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);

        // Another window in front (as a message box is) takes the focus from
        // the filter field without listing again.
        D->eFilter->setFocus();
        Control(*server)->ClearCallLog();
        QDialog front(D);
        front.show();
        front.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&front));
        EXPECT_TRUE(Calls(*server, "BrowseOPCItemIDs").empty());
        front.close();
    });
    EXPECT_FALSE(OPCBrowseDialog(b, &ids, true));

    // Without a connected server nothing is shown at all.
    int shown = 0;
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [&] {
        if (QWidget *w = QApplication::activeModalWidget()) {
            ++shown;
            w->close();
        }
    });
    guard.start(0);
    server->SetActive(false);
    EXPECT_FALSE(OPCBrowseDialog(b, &ids, true));
    EXPECT_EQ(OPCBrowseItemDialog(b, true), "");
    TVexoBrowser unbound(nullptr);
    EXPECT_FALSE(OPCBrowseDialog(&unbound, &ids, true));
    EXPECT_FALSE(OPCBrowseDialog(nullptr, &ids, true));
    EXPECT_EQ(shown, 0);
}

} // namespace
} // namespace vexo::test
