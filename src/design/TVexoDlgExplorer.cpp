//===- TVexoDlgExplorer.cpp - the inspector window -----------------------===//
//
// Layout: a menu bar (File / Exit), a top bar with the disconnect, connect
// and remote-select buttons and the server combo box, the group tree beside
// the item list, and below them the group panel and the status panel. A
// one-second timer polls the server's status while it is connected.
//
//===----------------------------------------------------------------------===//
#include <vexo/design/TVexoDlgExplorer.h>

#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QShowEvent>
#include <QSplitter>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <vexo/VexoBrowseDlg.h>
#include <vexo/VexoGroupDlg.h>
#include <vexo/VexoServerDlg.h>
#include <vexo/framework/Application.h>
#include <vexo/framework/DateUtils.h>
#include <vexo/framework/UIServices.h>

namespace vexo {

namespace {

QString Q(const std::string &S) { return QString::fromStdString(S); }

/// The tag that marks the labels ClearInfo empties.
constexpr const char *kTag = "tag";

QLabel *Caption(const char *Text, QWidget *Parent) {
    return new QLabel(QString::fromLatin1(Text), Parent);
}

} // namespace

void TDropDownComboBox::showPopup() {
    if (OnDropDown)
        OnDropDown();
    QComboBox::showPopup();
}

TVexoDlgExplorer::TVexoDlgExplorer(TVexoServer *Server, QWidget *Parent)
    : QDialog(Parent), FServer(Server) {
    BuildWindow();
    FTimer = new QTimer(this);
    FTimer->setObjectName("Timer1");
    FTimer->setInterval(1000);
    connect(FTimer, &QTimer::timeout, this, [this] { Guarded([this] { TimerTick(); }); });
    FTimer->start();
}

TVexoDlgExplorer::~TVexoDlgExplorer() {
    // The items outlive the window; they must not keep pointing at its rows.
    if (FItemList) {
        for (int i = 0; i < FItemList->topLevelItemCount(); ++i)
            if (TVexoItem *Item = RowItem(FItemList->topLevelItem(i)))
                Item->SetUIReference(nullptr);
    }
}

QLabel *TVexoDlgExplorer::AddValueLabel(const char *Name) {
    auto *Label = new QLabel(this);
    Label->setObjectName(Name);
    Label->setProperty(kTag, 1);
    Label->setMinimumWidth(120);
    return Label;
}

void TVexoDlgExplorer::BuildWindow() {
    setObjectName("TVexoDlgExplorer");
    setWindowTitle("OPC Inspector");
    // A tool window beside the window that opened it; on its own (the
    // vexo-inspector program) an ordinary window, so it keeps a task-bar entry.
    if (parentWidget())
        setWindowFlag(Qt::Tool);
    resize(760, 520);

    auto *Main = new QVBoxLayout(this);
    auto *Menu = new QMenuBar(this);
    QMenu *File = Menu->addMenu("File");
    QAction *Exit = File->addAction("Exit");
    Exit->setObjectName("mExit");
    Exit->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
    connect(Exit, &QAction::triggered, this, &QDialog::close);
    Main->setMenuBar(Menu);

    // --- Top bar ----------------------------------------------------------
    auto *Top = new QHBoxLayout;
    auto MakeButton = [this, Top](const char *Name, QStyle::StandardPixmap Icon, const char *Hint) {
        auto *B = new QToolButton(this);
        B->setObjectName(Name);
        B->setIcon(style()->standardIcon(Icon));
        B->setToolTip(Hint);
        B->setAutoRaise(true);
        Top->addWidget(B);
        return B;
    };
    QToolButton *Disconnect =
        MakeButton("bDisconnect", QStyle::SP_MediaStop, "Disconnect from server");
    QToolButton *ConnectB = MakeButton("bConnect", QStyle::SP_MediaPlay, "Connect to server");
    QToolButton *Remote =
        MakeButton("bRemoteSelect", QStyle::SP_DriveNetIcon, "select OPC Server with OPCENUM.EXE");
    connect(Disconnect, &QToolButton::clicked, this,
            [this] { Guarded([this] { DisconnectClick(); }); });
    connect(ConnectB, &QToolButton::clicked, this, [this] { Guarded([this] { ConnectClick(); }); });
    connect(Remote, &QToolButton::clicked, this,
            [this] { Guarded([this] { RemoteSelectClick(); }); });
    FServerCombo = new TDropDownComboBox(this);
    FServerCombo->setObjectName("cbServer");
    FServerCombo->setEditable(true);
    FServerCombo->setInsertPolicy(QComboBox::NoInsert);
    FServerCombo->setToolTip("Select OPC Server");
    FServerCombo->OnDropDown = [this] { Guarded([this] { ServerDropDown(); }); };
    Top->addWidget(FServerCombo, 1);
    Main->addLayout(Top);

    // --- Group tree and item list ------------------------------------------
    auto *Split = new QSplitter(Qt::Horizontal, this);
    FGroupTree = new QTreeWidget(Split);
    FGroupTree->setObjectName("tvGroups");
    FGroupTree->setHeaderHidden(true);
    FGroupTree->setRootIsDecorated(false);
    FGroupTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FGroupTree->setToolTip("click right mousekey to edit groups");
    FGroupTree->setContextMenuPolicy(Qt::CustomContextMenu);
    FGroupMenu = new QMenu(this);
    FGroupMenu->setObjectName("pmGroups");
    FAddGroup = FGroupMenu->addAction("Add Group...");
    FRemoveGroup = FGroupMenu->addAction("Remove Group");
    FRemoveAllGroups = FGroupMenu->addAction("Remove all Groups");
    FProperties = FGroupMenu->addAction("Properties...");
    connect(FGroupTree, &QWidget::customContextMenuRequested, this, [this](const QPoint &At) {
        FGroupMenu->popup(FGroupTree->viewport()->mapToGlobal(At));
    });
    connect(FGroupTree, &QTreeWidget::currentItemChanged, this,
            [this] { Guarded([this] { GroupTreeChange(); }); });
    connect(FAddGroup, &QAction::triggered, this, [this] { Guarded([this] { AddGroupClick(); }); });
    connect(FRemoveGroup, &QAction::triggered, this,
            [this] { Guarded([this] { RemoveGroupClick(); }); });
    connect(FRemoveAllGroups, &QAction::triggered, this,
            [this] { Guarded([this] { RemoveAllGroupsClick(); }); });
    connect(FProperties, &QAction::triggered, this,
            [this] { Guarded([this] { PropertiesClick(); }); });

    FItemList = new QTreeWidget(Split);
    FItemList->setObjectName("lvItems");
    FItemList->setColumnCount(3);
    FItemList->setHeaderLabels({"ItemId", "Accesspath", "Active"});
    FItemList->setRootIsDecorated(false);
    FItemList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FItemList->setToolTip("click right mousekey to edit Items");
    FItemList->setContextMenuPolicy(Qt::CustomContextMenu);
    FItemList->header()->resizeSection(0, 260);
    FItemMenu = new QMenu(this);
    FItemMenu->setObjectName("pmItems");
    FAddItem = FItemMenu->addAction("Add Item..");
    FRemoveItem = FItemMenu->addAction("Remove Item");
    FRemoveAllItems = FItemMenu->addAction("Remove all Items");
    FActive = FItemMenu->addAction("Active");
    FActive->setCheckable(true);
    connect(FItemList, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &At) { FItemMenu->popup(FItemList->viewport()->mapToGlobal(At)); });
    connect(FItemMenu, &QMenu::aboutToShow, this, [this] { Guarded([this] { ItemMenuPopup(); }); });
    connect(FAddItem, &QAction::triggered, this, [this] { Guarded([this] { AddItemClick(); }); });
    connect(FRemoveItem, &QAction::triggered, this,
            [this] { Guarded([this] { RemoveItemClick(); }); });
    connect(FRemoveAllItems, &QAction::triggered, this,
            [this] { Guarded([this] { RemoveAllItemsClick(); }); });
    connect(FActive, &QAction::triggered, this, [this] { Guarded([this] { ActiveClick(); }); });
    Split->setStretchFactor(0, 1);
    Split->setStretchFactor(1, 3);
    Main->addWidget(Split, 1);

    // --- Group panel and status panel ----------------------------------------
    auto *Bottom = new QHBoxLayout;
    auto *GroupPanel = new QFrame(this);
    GroupPanel->setFrameShape(QFrame::StyledPanel);
    auto *G = new QGridLayout(GroupPanel);
    FGroupNameLabel = AddValueLabel("lGroupName");
    FUpdateRateLabel = AddValueLabel("lUpdateRate");
    FDeadBandLabel = AddValueLabel("lDeadBand");
    FActiveLabel = AddValueLabel("lActive");
    G->addWidget(Caption("Groupstate", GroupPanel), 0, 0);
    G->addWidget(FGroupNameLabel, 0, 1);
    G->addWidget(Caption("Updaterate", GroupPanel), 1, 0);
    G->addWidget(FUpdateRateLabel, 1, 1);
    G->addWidget(Caption("Deadband", GroupPanel), 2, 0);
    G->addWidget(FDeadBandLabel, 2, 1);
    G->addWidget(Caption("Active", GroupPanel), 3, 0);
    G->addWidget(FActiveLabel, 3, 1);
    G->setRowStretch(4, 1);
    Bottom->addWidget(GroupPanel, 1);

    auto *StatusPanel = new QFrame(this);
    StatusPanel->setFrameShape(QFrame::StyledPanel);
    auto *S = new QGridLayout(StatusPanel);
    FServerNameLabel = AddValueLabel("lServerName");
    FStartTimeLabel = AddValueLabel("lStartTime");
    FStateLabel = AddValueLabel("lState");
    FLastUpdateLabel = AddValueLabel("lLastUpdate");
    FVendorLabel = AddValueLabel("lVendor");
    FErrorLabel = new QLabel(this);
    FErrorLabel->setObjectName("lError");
    FErrorLabel->setStyleSheet("color: #b00000;");
    FErrorLabel->setWordWrap(true);
    S->addWidget(Caption("Severstate", StatusPanel), 0, 0);
    S->addWidget(FServerNameLabel, 0, 1);
    S->addWidget(Caption("Start Time", StatusPanel), 1, 0);
    S->addWidget(FStartTimeLabel, 1, 1);
    S->addWidget(Caption("State", StatusPanel), 2, 0);
    S->addWidget(FStateLabel, 2, 1);
    S->addWidget(Caption("Last Update", StatusPanel), 3, 0);
    S->addWidget(FLastUpdateLabel, 3, 1);
    S->addWidget(FVendorLabel, 4, 0, 1, 2);
    S->addWidget(FErrorLabel, 5, 0, 1, 2);
    S->setColumnStretch(1, 1);
    Bottom->addWidget(StatusPanel, 2);
    Main->addLayout(Bottom);
}

void TVexoDlgExplorer::Guarded(const std::function<void()> &Handler) {
    try {
        Handler();
    } catch (...) {
        // As with any event handler of the application: shown, never passed
        // through the toolkit's event loop.
        Application->HandleException(nullptr);
    }
}

std::string TVexoDlgExplorer::ServerText() const {
    return FServerCombo->currentText().toStdString();
}

void TVexoDlgExplorer::showEvent(QShowEvent *Event) {
    QDialog::showEvent(Event);
    if (Event->spontaneous())
        return;
    if (QScreen *Screen = screen()) {
        const QRect Area = Screen->availableGeometry();
        move(Area.center() - rect().center());
    }
    Guarded([this] { FormShow(); });
}

// --- Handlers -------------------------------------------------------------------

void TVexoDlgExplorer::FormShow() {
    // The handlers reach the window only while it exists: a server that
    // outlives it with these handlers still set finds nothing to call.
    QPointer<TVexoDlgExplorer> Self(this);
    FServer->OnError = [Self](TObject *, const std::string &Text, bool &) {
        if (Self)
            Self->FErrorLabel->setText(Q(Text));
    };
    FServer->OnServerShutdown = [Self](TObject *, const std::string &) {
        if (!Self)
            return;
        Self->FTimer->stop();
        Self->ClearInfo();
        Self->FErrorLabel->setText("Disconnect from Server");
    };
    ClearInfo();
    FErrorLabel->clear();
    FServerCombo->setEditText(Q(FServer->ServerName()));
    UnlinkAndClearRows();
    FGroupTree->clear();
    TVexoGroups *Groups = FServer->OPCGroups();
    for (int i = 0; i < Groups->Count(); ++i)
        FGroupTree->addTopLevelItem(
            new QTreeWidgetItem(QStringList{Q(Groups->GetItem(i)->Name())}));
}

void TVexoDlgExplorer::ClearInfo() {
    for (QLabel *Label : findChildren<QLabel *>())
        if (Label->property(kTag).toInt() == 1)
            Label->clear();
    FServerNameLabel->setText("not connected");
}

void TVexoDlgExplorer::ConnectClick() {
    if (Trim(ServerText()).empty()) {
        ShowMessage("first select OPC Server");
        return;
    }
    FErrorLabel->clear();
    FServer->SetServer(ServerText());
    FServer->SetActive(true);
    FTimer->start();
}

void TVexoDlgExplorer::DisconnectClick() { FServer->SetActive(false); }

void TVexoDlgExplorer::ServerDropDown() {
    QStringList Entries;
    for (int i = 0; i < FServerCombo->count(); ++i)
        Entries << FServerCombo->itemText(i);
    if (!Entries.join("\r\n").trimmed().isEmpty())
        return;
    TBusyCursor Busy;
    TStringList Names;
    GetOPCServers(&Names);
    // Filling the list of an empty combo box would replace the typed text.
    const QString Typed = FServerCombo->currentText();
    for (int i = 0; i < Names.Count(); ++i)
        FServerCombo->addItem(Q(Names.Get(i)));
    FServerCombo->setEditText(Typed);
}

void TVexoDlgExplorer::RemoteSelectClick() {
    std::string Computer = FServer->ComputerName();
    std::string Name, ClassID;
    if (vexoBrowseServer(Computer, Name, ClassID))
        FServerCombo->setEditText(Q(ClassID));
    FServer->SetComputername(Computer);
}

void TVexoDlgExplorer::TimerTick() {
    FTimer->stop();
    if (!FServer->Active()) {
        ClearInfo();
        return;
    }
    try {
        ShowGroupState();
        const tServerStateRec State = FServer->GetState();
        FServerNameLabel->setText(Q(FServer->ServerName()));
        FStateLabel->setText(Q(ServerStateToStr(State.ServerState)));
        FVendorLabel->setText(Q(State.VendorInfo));
        FStartTimeLabel->setText(Q(DateTimeToStr(State.StartTime)));
        FLastUpdateLabel->setText(Q(DateTimeToStr(State.LastUpdateTime)));
        FTimer->start();
    } catch (...) {
        // A server that stops answering ends the connection quietly.
        FTimer->stop();
        try {
            FServer->SetActive(false);
        } catch (...) {
        }
        ClearInfo();
    }
}

void TVexoDlgExplorer::ShowGroupState() {
    TVexoGroup *Group = SelectedGroup();
    if (!FServer->Active() || !Group) {
        ClearInfo();
        return;
    }
    tGroupStateRec State;
    Group->GetState(State);
    FGroupNameLabel->setText(Q(State.Name));
    FUpdateRateLabel->setText(Q(IntToStr(State.UpdateRate)));
    FDeadBandLabel->setText(Q(Format("%.2f", {State.DeadBand})));
    FActiveLabel->setText(State.IsActive ? "active" : "not active");
}

TVexoGroup *TVexoDlgExplorer::SelectedGroup() const {
    QTreeWidgetItem *Node = FGroupTree->currentItem();
    if (!Node)
        return nullptr;
    return FServer->OPCGroups()->GetOPCGroup(Node->text(0).toStdString());
}

void TVexoDlgExplorer::GroupTreeChange() {
    UnlinkAndClearRows();
    if (TVexoGroup *Group = SelectedGroup()) {
        TVexoItems *Items = Group->OPCItems();
        for (int i = 0; i < Items->Count(); ++i)
            AddRow(Items->GetItem(i));
    }
}

QTreeWidgetItem *TVexoDlgExplorer::AddRow(TVexoItem *Item) {
    auto *Row = new QTreeWidgetItem(FItemList);
    Row->setData(0, Qt::UserRole, QVariant::fromValue<quintptr>(reinterpret_cast<quintptr>(Item)));
    Item->SetUIReference(Row);
    FillRow(Row, *Item);
    return Row;
}

void TVexoDlgExplorer::FillRow(QTreeWidgetItem *Row, const TVexoItem &Item) {
    Row->setText(1, QString());
    Row->setText(2, QString());
    Row->setText(0, Q(Item.ItemID()));
    Row->setText(1, Q(Item.AccessPath()));
    Row->setText(2, Item.IsActive() ? "X" : " ");
}

TVexoItem *TVexoDlgExplorer::RowItem(const QTreeWidgetItem *Row) {
    return Row ? reinterpret_cast<TVexoItem *>(Row->data(0, Qt::UserRole).value<quintptr>())
               : nullptr;
}

void TVexoDlgExplorer::UnlinkAndClearRows() {
    for (int i = 0; i < FItemList->topLevelItemCount(); ++i)
        if (TVexoItem *Item = RowItem(FItemList->topLevelItem(i)))
            Item->SetUIReference(nullptr);
    FItemList->clear();
}

void TVexoDlgExplorer::AddGroupClick() {
    TVexoDefaultGroup *Defaults = FServer->OPCGroupDefault();
    tGroupStateRec State{};
    State.UpdateRate = static_cast<std::uint32_t>(Defaults->UpdateRate);
    State.IsActive = Defaults->IsActive;
    State.LocaleId = static_cast<std::uint32_t>(Defaults->LocaleId);
    State.DeadBand = Defaults->DeadBand;
    State.TimeBias = Defaults->TimeBias;
    if (!OPCEditGroupDialog(State))
        return;
    Defaults->UpdateRate = static_cast<std::int32_t>(State.UpdateRate);
    Defaults->IsActive = State.IsActive;
    Defaults->LocaleId = static_cast<std::int32_t>(State.LocaleId);
    Defaults->DeadBand = State.DeadBand;
    Defaults->TimeBias = State.TimeBias;
    FServer->OPCGroups()->Add(State.Name);
    auto *Node = new QTreeWidgetItem(QStringList{Q(State.Name)});
    FGroupTree->addTopLevelItem(Node);
    FGroupTree->setCurrentItem(Node);
    FGroupTree->setFocus();
}

void TVexoDlgExplorer::RemoveGroupClick() {
    QTreeWidgetItem *Node = FGroupTree->currentItem();
    if (!Node)
        return;
    // The rows go before the group: its items are freed with it.
    UnlinkAndClearRows();
    FServer->OPCGroups()->Remove(Node->text(0).toStdString());
    delete Node;
}

void TVexoDlgExplorer::RemoveAllGroupsClick() {
    UnlinkAndClearRows();
    FServer->OPCGroups()->RemoveAll();
    FGroupTree->clear();
}

void TVexoDlgExplorer::PropertiesClick() {
    QTreeWidgetItem *Node = FGroupTree->currentItem();
    if (!Node) {
        ShowMessage("First select Group");
        return;
    }
    TVexoGroup *Group = FServer->OPCGroups()->GetOPCGroup(Node->text(0).toStdString());
    if (!Group) {
        ShowMessage("ERROR");
        return;
    }
    tGroupStateRec State{};
    State.Name = Group->Name();
    State.UpdateRate = static_cast<std::uint32_t>(Group->UpdateRate());
    State.IsActive = Group->IsActive();
    State.LocaleId = static_cast<std::uint32_t>(Group->LocaleId());
    State.DeadBand = Group->DeadBand();
    State.TimeBias = Group->TimeBias();
    if (!OPCEditGroupDialog(State))
        return;
    Group->SetName(State.Name);
    Node->setText(0, Q(State.Name));
    Group->SetUpdateRate(static_cast<std::int32_t>(State.UpdateRate));
    Group->SetIsActive(State.IsActive);
    Group->SetLocaleId(static_cast<std::int32_t>(State.LocaleId));
    Group->SetDeadBand(State.DeadBand);
    Group->SetTimeBias(State.TimeBias);
}

void TVexoDlgExplorer::ItemMenuPopup() {
    const bool HasGroup = SelectedGroup() != nullptr;
    for (QAction *A : {FAddItem, FRemoveItem, FRemoveAllItems, FActive})
        A->setEnabled(HasGroup);
    if (HasGroup)
        if (TVexoItem *Item = RowItem(FItemList->currentItem()))
            FActive->setChecked(Item->IsActive());
}

void TVexoDlgExplorer::AddItemClick() {
    TStringList Ids;
    if (OPCBrowseDialog(FServer->Browser(), &Ids, false))
        AddNewItems(SelectedGroup(), Ids);
}

void TVexoDlgExplorer::AddNewItems(TVexoGroup *Group, const TStrings &Ids) {
    if (!Group)
        return;
    const bool Shown = Group == SelectedGroup();
    for (int i = 0; i < Ids.Count(); ++i) {
        Group->DefaultItem()->IsActive = true;
        TVexoItem *Item = Group->OPCItems()->AddItem(Ids.Get(i));
        if (Shown)
            AddRow(Item);
    }
}

void TVexoDlgExplorer::RemoveItemClick() {
    QTreeWidgetItem *Row = FItemList->currentItem();
    if (!Row)
        return;
    delete RowItem(Row);
    delete Row;
}

void TVexoDlgExplorer::RemoveAllItemsClick() {
    TVexoGroup *Group = SelectedGroup();
    if (!Group)
        return;
    UnlinkAndClearRows();
    Group->OPCItems()->RemoveAll();
}

void TVexoDlgExplorer::ActiveClick() {
    QTreeWidgetItem *Row = FItemList->currentItem();
    TVexoItem *Item = RowItem(Row);
    if (!Item)
        return;
    // The action has already toggled itself: its state now is the opposite
    // of what the popup set from the item.
    Item->SetIsActive(FActive->isChecked());
    FillRow(Row, *Item);
}

} // namespace vexo
