//===- TvexoServerBrowseDlg.cpp - the server selection dialog ------------===//
//
// This file implements the "Select OPC Server" form and vexoBrowseServer.
// The enumeration runs on a worker thread: the form's server browser has no
// events and nobody else touches it, so the GUI thread can keep painting and
// draining messages in a local event loop until the run has ended.
//
//===----------------------------------------------------------------------===//
#include <vexo/VexoServerDlg.h>

#include <exception>
#include <thread>

#include <QEventLoop>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <vexo/client/TvexoServerBrowser.h>
#include <vexo/framework/UIServices.h>
#include <vexo/platform/Activation.h>

#include "DialogSupport.h"

namespace vexo {

namespace {

constexpr int ItemRole = Qt::UserRole;

QString Q(const std::string &S) { return QString::fromStdString(S); }

void MakeReadOnly(QLineEdit *Edit) {
    Edit->setReadOnly(true);
    QPalette p = Edit->palette();
    p.setColor(QPalette::Base, p.color(QPalette::Window)); // grey, like a disabled field
    Edit->setPalette(p);
}

} // namespace

TvexoServerBrowseDlg::TvexoServerBrowseDlg(QWidget *Parent)
    : QDialog(Parent), FServerBrowser(std::make_unique<TvexoServerBrowser>(nullptr)) {
    setWindowTitle("Select OPC Server");
    setSizeGripEnabled(true);

    Panel1 = new QFrame(this);
    Panel1->setObjectName("Panel1");
    Label1 = new QLabel("Computername", Panel1);
    Label2 = new QLabel("Servername", Panel1);
    Label3 = new QLabel("Server Class ID", Panel1);
    eComputername = new QLineEdit(Panel1);
    eServerName = new QLineEdit(Panel1);
    eServerClsId = new QLineEdit(Panel1);
    MakeReadOnly(eServerName);
    MakeReadOnly(eServerClsId);
    Label1->setBuddy(eComputername);
    Label2->setBuddy(eServerName);
    Label3->setBuddy(eServerClsId);
    bSearch = new QPushButton("&Search", Panel1);
    bOk = new QPushButton("&Ok", Panel1);
    bCancel = new QPushButton("&Cancel", Panel1);
    bSearch->setDefault(true);
    TreeView1 = new QTreeWidget(this);
    TreeView1->setHeaderHidden(true);
    TreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TreeView1->setSelectionMode(QAbstractItemView::SingleSelection);

    eComputername->setObjectName("eComputername");
    eServerName->setObjectName("eServerName");
    eServerClsId->setObjectName("eServerClsId");
    bSearch->setObjectName("bSearch");
    bOk->setObjectName("bOk");
    bCancel->setObjectName("bCancel");
    TreeView1->setObjectName("TreeView1");

    auto *grid = new QGridLayout(Panel1);
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(eComputername, 0, 1);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(eServerName, 1, 1);
    grid->addWidget(Label3, 2, 0);
    grid->addWidget(eServerClsId, 2, 1);
    auto *buttons = new QVBoxLayout();
    buttons->addWidget(bSearch);
    buttons->addWidget(bOk);
    buttons->addWidget(bCancel);
    buttons->addStretch();
    grid->addLayout(buttons, 0, 2, 4, 1);
    grid->setColumnStretch(1, 1);
    auto *main = new QVBoxLayout(this);
    main->addWidget(Panel1);
    main->addWidget(TreeView1, 1);

    setTabOrder(eComputername, eServerName);
    setTabOrder(eServerName, eServerClsId);
    setTabOrder(eServerClsId, bSearch);
    setTabOrder(bSearch, bOk);
    setTabOrder(bOk, bCancel);
    setTabOrder(bCancel, TreeView1);

    connect(bSearch, &QPushButton::clicked, this, [this] { ui::Guarded([this] { bSearchClick(); }); });
    connect(bOk, &QPushButton::clicked, this, [this] { bOkClick(); });
    connect(bCancel, &QPushButton::clicked, this, [this] { reject(); });
    connect(TreeView1, &QTreeWidget::itemSelectionChanged, this, [this] { TreeView1Change(); });

    resize(520, 420);
    ClearTreeView();
}

TvexoServerBrowseDlg::~TvexoServerBrowseDlg() {
    // The nodes refer to the browser's items: remove them before the items go.
    TreeView1->blockSignals(true);
    TreeView1->clear();
}

void TvexoServerBrowseDlg::ClearTreeView() {
    FDA10Node = FDA20Node = FAE10Node = nullptr;
    const bool hadSelection = !TreeView1->selectedItems().isEmpty();
    TreeView1->clear();
    // Clearing the model does not report the lost selection; the two fields
    // must not go on naming a server that is no longer listed.
    if (hadSelection)
        TreeView1Change();
}

void TvexoServerBrowseDlg::ServerToTreeView(TvexoServerItem *Item) {
    struct Category {
        TvexoServerType Type;
        QTreeWidgetItem *TvexoServerBrowseDlg::*Node;
        const char *Text;
    };
    static constexpr Category Order[] = {
        {svr_DA10, &TvexoServerBrowseDlg::FDA10Node, "DA Servers 1.0"},
        {svr_DA20, &TvexoServerBrowseDlg::FDA20Node, "DA Servers 2.0"},
        {svr_AE10, &TvexoServerBrowseDlg::FAE10Node, "AE Servers 1.0"},
    };
    for (const Category &c : Order) {
        if (!Item->ServerTypes.Contains(c.Type))
            continue;
        QTreeWidgetItem *&node = this->*c.Node;
        if (!node)
            node = new QTreeWidgetItem(TreeView1, QStringList(c.Text));
        auto *child = new QTreeWidgetItem(node, QStringList(Q(Item->Description)));
        child->setData(0, ItemRole, QVariant::fromValue(static_cast<void *>(Item)));
        node->setExpanded(true);
    }
}

TvexoServerItem *TvexoServerBrowseDlg::NodeItem(const QTreeWidgetItem *Node) {
    if (!Node)
        return nullptr;
    return static_cast<TvexoServerItem *>(Node->data(0, ItemRole).value<void *>());
}

void TvexoServerBrowseDlg::SetSearching(bool Value) {
    FSearching = Value;
    if (Value)
        FFocusBeforeSearch = focusWidget();
    // The browser and the tree are busy: only closing stays possible.
    eComputername->setEnabled(!Value);
    bSearch->setEnabled(!Value);
    bOk->setEnabled(!Value);
    TreeView1->setEnabled(!Value);
    if (!Value && FFocusBeforeSearch)
        FFocusBeforeSearch->setFocus();
}

void TvexoServerBrowseDlg::bSearchClick() {
    if (FSearching)
        return;
    std::exception_ptr failure;
    {
        TBusyCursor busy;
        ClearTreeView();
        FServerBrowser->SetComputerName(eComputername->text().toStdString());
        SetSearching(true); // before any event is handled: no second search meanwhile
        UIServices().ProcessPendingMessages(); // paint the emptied tree first
        try {
            QEventLoop loop;
            std::thread worker([this, &failure, &loop] {
                // The search creates the computer's server list: the worker
                // needs an apartment of its own for that.
                const HRESULT entered = platform::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
                try {
                    FServerBrowser->Execute();
                } catch (...) {
                    failure = std::current_exception();
                }
                if (SUCCEEDED(entered))
                    platform::CoUninitialize();
                QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
            });
            loop.exec();
            worker.join();
        } catch (...) { // no thread to run the search on
            failure = std::current_exception();
        }
        SetSearching(false);
        if (!failure)
            for (int i = 0; i < FServerBrowser->GetCount(); ++i)
                ServerToTreeView(FServerBrowser->GetItems(i));
    } // the cursor is back before any message is shown
    ui::Guarded([&] {
        if (failure)
            std::rethrow_exception(failure);
        if (FServerBrowser->GetCount() == 0)
            ShowMessage("no OPC Server found on selected Computer");
    });
    if (FPendingResult >= 0)
        done(FPendingResult);
}

void TvexoServerBrowseDlg::TreeView1Change() {
    const QList<QTreeWidgetItem *> selected = TreeView1->selectedItems();
    TvexoServerItem *item = selected.isEmpty() ? nullptr : NodeItem(selected.first());
    eServerName->setText(item ? Q(item->ProgID) : QString());
    eServerClsId->setText(item ? Q(item->ClassID) : QString());
}

void TvexoServerBrowseDlg::bOkClick() {
    done(eServerName->text().isEmpty() ? QDialog::Rejected : QDialog::Accepted);
}

void TvexoServerBrowseDlg::done(int Result) {
    if (FSearching) {
        FPendingResult = Result; // the worker still uses the browser
        return;
    }
    FPendingResult = -1;
    QDialog::done(Result);
}

bool vexoBrowseServer(std::string &Computername, std::string &Servername, std::string &ClsId) {
    TvexoServerBrowseDlg form;
    form.eComputername->setText(Q(Computername));
    ui::CentreOnDesktop(&form);
    const bool ok = form.exec() == QDialog::Accepted;
    Servername = form.eServerName->text().toStdString();
    ClsId = form.eServerClsId->text().toStdString();
    Computername = form.eComputername->text().toStdString();
    return ok;
}

} // namespace vexo
