//===- InspectorTest.cpp - the inspector window against the simulation ---===//
#include "DesignFixture.h"

#include <memory>

#include <QComboBox>
#include <QToolButton>

#include <vexo/VexoServerDlg.h>

namespace vexo::test {
namespace {

class InspectorTest : public DesignTest {
  protected:
    void SetUp() override {
        DesignTest::SetUp();
        Server = std::make_unique<TVexoServer>(nullptr);
    }
    void TearDown() override {
        Form.reset();
        Server.reset();
        DesignTest::TearDown();
    }
    /// Shows the window on Server, without a modal loop.
    TVexoDlgExplorer *Open() {
        Form = std::make_unique<TVexoDlgExplorer>(Server.get());
        Form->show();
        return Form.get();
    }
    void Click(const char *Button) { Child<QToolButton>(Form.get(), Button)->click(); }
    void SetServerText(const QString &Text) {
        Child<QComboBox>(Form.get(), "cbServer")->setEditText(Text);
    }
    void Select(const QString &GroupName) {
        const auto Found = Groups(Form.get())->findItems(GroupName, Qt::MatchExactly);
        ASSERT_EQ(Found.size(), 1);
        Groups(Form.get())->setCurrentItem(Found.front());
    }
    bool WaitLabel(const char *Name, const std::string &Text) {
        return QTest::qWaitFor([&] { return LabelText(Form.get(), Name) == Text; }, 5000);
    }

    std::unique_ptr<TVexoServer> Server;
    std::unique_ptr<TVexoDlgExplorer> Form;
};

TEST_F(InspectorTest, ConnectingWithABlankServerNameAsksForOneAndTouchesNothing) {
    // Property: an empty or blank combo box shows the hint; the server keeps
    // its name and stays disconnected.
    Open();
    EXPECT_EQ(LabelText(Form.get(), "lServerName"), "not connected");
    for (const QString &Text : {QString(), QString("   ")}) {
        SetServerText(Text);
        Click("bConnect");
    }
    EXPECT_EQ(Messages,
              (std::vector<std::string>{"first select OPC Server", "first select OPC Server"}));
    EXPECT_EQ(Server->ServerName(), "");
    EXPECT_FALSE(Server->Active());
}

TEST_F(InspectorTest, PollingFillsTheStatusUntilTheServerShutsDown) {
    // Property: connecting starts the once-a-second polling that fills the
    // status and group labels; a shutdown request shows "Disconnect from
    // Server", disconnects and stops the polling, and so does a failing
    // status query, without a message.
    Server->OPCGroups()->Add("Line1")->SetUpdateRate(500);
    Open();
    ASSERT_EQ(Groups(Form.get())->topLevelItemCount(), 1);
    Select("Line1");
    SetServerText(kSimDA20);
    Click("bConnect");
    ASSERT_TRUE(Server->Active());
    EXPECT_EQ(Server->ServerName(), kSimDA20);
    ASSERT_TRUE(WaitLabel("lState", ServerStateToStr(OPC_STATUS_RUNNING)));
    EXPECT_EQ(LabelText(Form.get(), "lServerName"), kSimDA20);
    EXPECT_FALSE(LabelText(Form.get(), "lStartTime").empty());
    EXPECT_FALSE(LabelText(Form.get(), "lVendor").empty());
    EXPECT_EQ(LabelText(Form.get(), "lGroupName"), "Line1");
    EXPECT_EQ(LabelText(Form.get(), "lUpdateRate"), "500");
    EXPECT_EQ(LabelText(Form.get(), "lDeadBand"), "0.00");
    EXPECT_EQ(LabelText(Form.get(), "lActive"), "active");
    EXPECT_TRUE(Timer(Form.get())->isActive());
    Screenshot(Form.get(), "inspector-status.png");

    auto Control = Server->GetOPCServer().As<IVexoSimControl>();
    ASSERT_TRUE(Control);
    Control->SendShutdown(u"maintenance", FALSE);
    Control.Reset();
    ASSERT_TRUE(WaitLabel("lError", "Disconnect from Server"));
    EXPECT_FALSE(Server->Active());
    EXPECT_FALSE(Timer(Form.get())->isActive());
    EXPECT_EQ(LabelText(Form.get(), "lServerName"), "not connected");
    EXPECT_EQ(LabelText(Form.get(), "lState"), "");

    // A status query that fails ends the connection quietly.
    Click("bConnect");
    ASSERT_TRUE(WaitLabel("lState", ServerStateToStr(OPC_STATUS_RUNNING)));
    EXPECT_EQ(LabelText(Form.get(), "lError"), "");
    Server->GetOPCServer().As<IVexoSimControl>()->FailNextCall(u"GetStatus", E_FAIL);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Server->Active(); }, 5000));
    EXPECT_FALSE(Timer(Form.get())->isActive());
    EXPECT_EQ(LabelText(Form.get(), "lServerName"), "not connected");
    EXPECT_TRUE(Messages.empty());
    EXPECT_TRUE(Exceptions.empty());
}

TEST_F(InspectorTest, GroupsAreAddedEditedAndRemovedThroughTheGroupDialog) {
    // Property: "Add Group..." takes the defaults into the dialog and the
    // entered values back into them; "Properties..." applies every edited
    // field; both removals leave tree and collection in step.
    Server->Connect(kSimDA20, "");
    Open();
    WhenModal<TVexoDlgEditGroup>([](TVexoDlgEditGroup *D) {
        EXPECT_EQ(D->eGroupName->text(), "");
        EXPECT_EQ(D->eUpdateRate->text(), "1000");
        EditGroup(D, "Line1", "500", "1.5", false);
    });
    Form->AddGroupAction()->trigger();
    TVexoGroup *Group = Server->OPCGroups()->GetOPCGroup("Line1");
    ASSERT_NE(Group, nullptr);
    EXPECT_TRUE(Group->IsOnServer());
    EXPECT_EQ(Group->UpdateRate(), 500);
    EXPECT_FLOAT_EQ(Group->DeadBand(), 1.5f);
    EXPECT_FALSE(Group->IsActive());
    EXPECT_EQ(Server->OPCGroupDefault()->UpdateRate, 500);
    EXPECT_FALSE(Server->OPCGroupDefault()->IsActive);
    ASSERT_NE(Groups(Form.get())->currentItem(), nullptr);
    EXPECT_EQ(Groups(Form.get())->currentItem()->text(0), "Line1");

    WhenModal<TVexoDlgEditGroup>([this](TVexoDlgEditGroup *D) {
        EXPECT_EQ(D->eGroupName->text(), "Line1");
        EXPECT_EQ(D->eDeadBand->text(), "1.50");
        Screenshot(D, "inspector-properties.png");
        EditGroup(D, "Line2", "2000", "0", true);
    });
    Form->PropertiesAction()->trigger();
    EXPECT_EQ(Group->Name(), "Line2");
    EXPECT_EQ(Groups(Form.get())->currentItem()->text(0), "Line2");
    EXPECT_EQ(Group->UpdateRate(), 2000);
    EXPECT_TRUE(Group->IsActive());
    tGroupStateRec State;
    Group->GetState(State);
    EXPECT_EQ(State.Name, "Line2");
    EXPECT_TRUE(State.IsActive);

    // Cancel changes nothing.
    WhenModal<TVexoDlgEditGroup>([](TVexoDlgEditGroup *D) { D->BCancel->click(); });
    Form->PropertiesAction()->trigger();
    EXPECT_EQ(Group->Name(), "Line2");

    Server->OPCGroups()->Add("Other");
    Form->RemoveGroupAction()->trigger();
    EXPECT_EQ(Server->OPCGroups()->Exists("Line2"), -1);
    EXPECT_EQ(Groups(Form.get())->topLevelItemCount(), 0);
    Form->FormShow();
    EXPECT_EQ(Groups(Form.get())->topLevelItemCount(), 1);
    Form->RemoveAllGroupsAction()->trigger();
    EXPECT_EQ(Server->OPCGroups()->Count(), 0);
    EXPECT_EQ(Groups(Form.get())->topLevelItemCount(), 0);
    EXPECT_TRUE(Exceptions.empty());
}

TEST_F(InspectorTest, ItemsComeFromTheBrowseDialogAndFollowTheirRows) {
    // Property: added items are always active and linked both ways with
    // their rows; "Active" toggles the item of the row; removing frees the
    // item; switching groups unlinks every shown item before its row goes.
    TVexoGroup *Line1 = Server->OPCGroups()->Add("Line1");
    TVexoGroup *Line2 = Server->OPCGroups()->Add("Line2");
    Line1->DefaultItem()->IsActive = false;
    Server->Connect(kSimDA20, "");
    Open();
    Form->ItemMenuPopup();
    EXPECT_FALSE(Form->AddItemAction()->isEnabled());
    Select("Line1");
    Form->ItemMenuPopup();
    EXPECT_TRUE(Form->AddItemAction()->isEnabled());

    WhenModal<TVexoDlgBrowse>([](TVexoDlgBrowse *D) {
        BrowseAndAccept(D, {"Simulation", "Bucket"}, {"Int4", "Real8", "String"});
    });
    Form->AddItemAction()->trigger();
    TVexoItems *Items = Line1->OPCItems();
    ASSERT_EQ(Items->Count(), 3);
    ASSERT_EQ(Rows(Form.get())->topLevelItemCount(), 3);
    for (int i = 0; i < 3; ++i) {
        TVexoItem *Item = Items->GetItem(i);
        QTreeWidgetItem *Row = Rows(Form.get())->topLevelItem(i);
        EXPECT_TRUE(Item->IsActive());
        EXPECT_NE(Item->ServerHandle(), static_cast<OPCHANDLE>(-1));
        EXPECT_EQ(Item->UIReference(), Row);
        EXPECT_EQ(Row->text(0).toStdString(), Item->ItemID());
        EXPECT_EQ(Row->text(2), "X");
    }
    EXPECT_EQ(Items->GetItem(0)->ItemID(), "Simulation.Bucket.Int4");
    ASSERT_TRUE(WaitLabel("lState", ServerStateToStr(OPC_STATUS_RUNNING)));
    Screenshot(Form.get(), "inspector-connected.png");

    Rows(Form.get())->setCurrentItem(Rows(Form.get())->topLevelItem(1));
    Form->ItemMenuPopup();
    EXPECT_TRUE(Form->ActiveAction()->isChecked());
    Form->ActiveAction()->trigger();
    EXPECT_FALSE(Items->GetItem(1)->IsActive());
    EXPECT_EQ(Rows(Form.get())->topLevelItem(1)->text(2), " ");
    Form->ItemMenuPopup();
    Form->ActiveAction()->trigger();
    EXPECT_TRUE(Items->GetItem(1)->IsActive());

    Form->RemoveItemAction()->trigger();
    ASSERT_EQ(Items->Count(), 2);
    EXPECT_EQ(Items->GetItem(1)->ItemID(), "Simulation.Bucket.String");
    EXPECT_EQ(Rows(Form.get())->topLevelItemCount(), 2);

    TVexoItem *Kept = Items->GetItem(0);
    Select("Line2");
    EXPECT_EQ(Kept->UIReference(), nullptr);
    EXPECT_EQ(Rows(Form.get())->topLevelItemCount(), 0);
    Select("Line1");
    EXPECT_EQ(Rows(Form.get())->topLevelItemCount(), 2);
    Form->RemoveAllItemsAction()->trigger();
    EXPECT_EQ(Items->Count(), 0);
    EXPECT_EQ(Rows(Form.get())->topLevelItemCount(), 0);
    EXPECT_EQ(Line2->OPCItems()->Count(), 0);
    EXPECT_TRUE(Exceptions.empty());
}

TEST_F(InspectorTest, PropertiesNeedASelectedGroupThatStillExists) {
    // Property: "Properties..." without a node asks for one, and on a node
    // whose group was removed elsewhere shows "ERROR" without a dialog.
    Server->OPCGroups()->Add("Gone");
    Open();
    Form->PropertiesAction()->trigger();
    Select("Gone");
    Server->OPCGroups()->Remove("Gone");
    Form->PropertiesAction()->trigger();
    EXPECT_EQ(Messages, (std::vector<std::string>{"First select Group", "ERROR"}));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(InspectorTest, ServersComeFromTheLocalListOrFromAnotherComputer) {
    // Property: the drop-down fills the list once with the local servers and
    // keeps the typed text; remote select puts the chosen class id into the
    // combo box and always takes the dialog's computer name, which
    // disconnects when it differs.
    RegisterSimulationServers("plant-pc");
    Open();
    auto *Combo = Child<QComboBox>(Form.get(), "cbServer");
    SetServerText("typed");
    Form->ServerDropDown();
    const int Count = Combo->count();
    EXPECT_NE(Combo->findText(kSimDA20), -1);
    EXPECT_NE(Combo->findText(kSimDA10), -1);
    EXPECT_EQ(Combo->currentText(), "typed");
    Form->ServerDropDown();
    EXPECT_EQ(Combo->count(), Count);

    WhenModal<TvexoServerBrowseDlg>([](TvexoServerBrowseDlg *D) {
        EXPECT_EQ(D->eComputername->text(), "");
        D->eComputername->setText("plant-pc");
        D->bSearch->click();
        const auto Found = D->TreeView1->findItems("*", Qt::MatchWildcard | Qt::MatchRecursive);
        for (QTreeWidgetItem *Node : Found)
            if (TvexoServerBrowseDlg::NodeItem(Node) &&
                TvexoServerBrowseDlg::NodeItem(Node)->ProgID == kSimDA20)
                D->TreeView1->setCurrentItem(Node);
        D->bOk->click();
    });
    Click("bRemoteSelect");
    EXPECT_EQ(Combo->currentText(), "{7E46A347-A843-44D9-B2C6-ADCF158C9B0F}");
    EXPECT_EQ(Server->ComputerName(), "plant-pc");
    Click("bConnect");
    ASSERT_TRUE(Server->Active());

    WhenModal<TvexoServerBrowseDlg>([](TvexoServerBrowseDlg *D) {
        EXPECT_EQ(D->eComputername->text(), "plant-pc");
        D->eComputername->clear();
        D->bCancel->click();
    });
    Click("bRemoteSelect");
    EXPECT_EQ(Server->ComputerName(), "");
    EXPECT_FALSE(Server->Active());
    EXPECT_EQ(Combo->currentText(), "{7E46A347-A843-44D9-B2C6-ADCF158C9B0F}");
    Click("bConnect");
    ASSERT_TRUE(Server->Active());
    Click("bDisconnect");
    EXPECT_FALSE(Server->Active());
    EXPECT_TRUE(Exceptions.empty());
}

TEST_F(InspectorTest, ClosingStoresTheChosenNameAndGivesTheHandlersBack) {
    // Property: while the window is open server errors reach its error label;
    // afterwards the application's four handlers are back. Closing with the
    // same name keeps the connection; another name disconnects and is stored.
    int AppErrors = 0, Connects = 0, Disconnects = 0, Shutdowns = 0;
    Server->OnError = [&](TObject *, const std::string &, bool &Raise) {
        ++AppErrors;
        Raise = false;
    };
    Server->OnConnect = [&](TObject *) { ++Connects; };
    Server->OnDisconnect = [&](TObject *) { ++Disconnects; };
    Server->OnServerShutdown = [&](TObject *, const std::string &) { ++Shutdowns; };
    Server->Connect(kSimDA20, "");
    Server->OPCGroups()->Add("Line1")->OPCItems()->AddItem("Simulation.Bucket.Int4");
    TVexoItem *Item = Server->OPCGroups()->GetItem(0)->OPCItems()->GetItem(0);

    WhenModal<TVexoDlgExplorer>([&](TVexoDlgExplorer *D) {
        EXPECT_THROW(Server->Fault("boom"), EOPCException);
        EXPECT_EQ(LabelText(D, "lError"), "boom");
        Groups(D)->setCurrentItem(Groups(D)->topLevelItem(0));
        EXPECT_NE(Item->UIReference(), nullptr);
        D->close();
    });
    OPCExplorer(Server.get());
    EXPECT_EQ(AppErrors, 0);
    EXPECT_TRUE(Server->Active());
    EXPECT_EQ(Item->UIReference(), nullptr);
    Server->Fault("after");
    EXPECT_EQ(AppErrors, 1);

    WhenModal<TVexoDlgExplorer>([&](TVexoDlgExplorer *D) {
        Child<QComboBox>(D, "cbServer")->setEditText(kSimDA10);
        D->close();
    });
    OPCExplorer(Server.get());
    EXPECT_FALSE(Server->Active());
    EXPECT_EQ(Server->ServerName(), kSimDA10);
    EXPECT_EQ(Disconnects, 1);
    Server->SetActive(true);
    EXPECT_EQ(Connects, 2);
    EXPECT_EQ(Shutdowns, 0);
    OPCExplorer(nullptr); // nothing to inspect: returns at once
}

} // namespace
} // namespace vexo::test
