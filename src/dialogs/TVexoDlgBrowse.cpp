//===- TVexoDlgBrowse.cpp - the item browse dialog -----------------------===//
//
// This file implements the "Open OPC Item" form, OPCBrowseDialog and
// OPCBrowseItemDialog. Every handler runs guarded: a fault the browser raises
// goes to the application's exception display and the dialog stays open.
//
//===----------------------------------------------------------------------===//
#include <vexo/VexoBrowseDlg.h>

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <vexo/client/TVexoBrowser.h>
#include <vexo/client/TVexoServer.h>
#include <vexo/framework/UIServices.h>

#include "DialogSupport.h"

namespace vexo {

namespace {

constexpr int ImageBranch = 0;
constexpr int ImageLeaf = 1;

int ImageOf(const QListWidgetItem *Item) {
    return Item->data(TVexoDlgBrowse::ImageRole).toInt();
}

bool Connected(TVexoBrowser *Browser) {
    return Browser && Browser->OPCServer() && Browser->OPCServer()->Active();
}

} // namespace

TVexoDlgBrowse::TVexoDlgBrowse(TVexoBrowser *Browser, TStrings *ResultList, bool FromRoot,
                               QWidget *Parent)
    : QDialog(Parent), FBrowser(Browser), FResultList(ResultList), FFromRoot(FromRoot) {
    setWindowTitle("Open OPC Item");

    ListView = new QListWidget(this);
    ListView->setViewMode(QListView::ListMode);
    ListView->setFlow(QListView::LeftToRight);
    ListView->setWrapping(true);
    ListView->setResizeMode(QListView::Adjust);
    ListView->setIconSize(QSize(16, 16));
    ListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView->setMinimumSize(420, 240);
    Label1 = new QLabel("Filter", this);
    eFilter = new QLineEdit(this);
    Label2 = new QLabel("Datatyp", this);
    cDataType = new QComboBox(this);
    for (int i = 0; i < OPCADatatypeCount; ++i)
        cDataType->addItem(QString::fromUtf8(
            OPCADatatypeCaption(static_cast<OPCADatatype>(i)).data(),
            static_cast<qsizetype>(OPCADatatypeCaption(static_cast<OPCADatatype>(i)).size())));
    bOk = new QPushButton("&Open", this);
    bCancel = new QPushButton("&Cancel", this);
    bOk->setDefault(true);
    Label3 = new QLabel("Path", this);
    ePath = new QLineEdit(this);
    ePath->setReadOnly(true);
    cWritable = new QCheckBox("Writable", this);
    cReadable = new QCheckBox("Readable", this);
    bBack = new QToolButton(this);
    bBack->setAutoRaise(true);
    bBack->setFocusPolicy(Qt::NoFocus);
    bBack->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
    bBack->setToolTip("Up one level");
    Label1->setBuddy(eFilter);
    Label2->setBuddy(cDataType);
    Label3->setBuddy(ePath);

    ListView->setObjectName("ListView");
    eFilter->setObjectName("eFilter");
    cDataType->setObjectName("cDataType");
    bOk->setObjectName("bOk");
    bCancel->setObjectName("bCancel");
    ePath->setObjectName("ePath");
    cWritable->setObjectName("cWritable");
    cReadable->setObjectName("cReadable");
    bBack->setObjectName("bBack");

    auto *top = new QHBoxLayout();
    top->addWidget(Label3);
    top->addWidget(ePath, 1);
    top->addWidget(bBack);
    auto *grid = new QGridLayout();
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(eFilter, 0, 1);
    grid->addWidget(bOk, 0, 2);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(cDataType, 1, 1);
    grid->addWidget(bCancel, 1, 2);
    auto *checks = new QHBoxLayout();
    checks->addWidget(cWritable);
    checks->addWidget(cReadable);
    checks->addStretch();
    grid->addLayout(checks, 2, 1);
    grid->setColumnStretch(1, 1);
    auto *main = new QVBoxLayout(this);
    main->addLayout(top);
    main->addWidget(ListView, 1);
    main->addLayout(grid);
    main->setSizeConstraint(QLayout::SetFixedSize); // a fixed dialog border

    setTabOrder(ListView, eFilter);
    setTabOrder(eFilter, cDataType);
    setTabOrder(cDataType, bOk);
    setTabOrder(bOk, bCancel);
    setTabOrder(bCancel, ePath);
    setTabOrder(ePath, cWritable);
    setTabOrder(cWritable, cReadable);

    connect(bBack, &QToolButton::clicked, this, [this] { ui::Guarded([this] { ShowPrevLevel(); }); });
    connect(bOk, &QPushButton::clicked, this, [this] { ui::Guarded([this] { bOkClick(); }); });
    connect(bCancel, &QPushButton::clicked, this, [this] { reject(); });
    connect(ListView, &QListWidget::itemDoubleClicked, this,
            [this] { ui::Guarded([this] { bOkClick(); }); });
    connect(cDataType, &QComboBox::activated, this, [this] { UpdateEvent(); });
    connect(cWritable, &QCheckBox::clicked, this, [this] { UpdateEvent(); });
    connect(cReadable, &QCheckBox::clicked, this, [this] { UpdateEvent(); });
    ListView->installEventFilter(this);
    eFilter->installEventFilter(this);
}

TVexoDlgBrowse::~TVexoDlgBrowse() = default;

void TVexoDlgBrowse::SetSingleSelection() {
    ListView->setSelectionMode(QAbstractItemView::SingleSelection);
}

void TVexoDlgBrowse::showEvent(QShowEvent *Event) {
    QDialog::showEvent(Event);
    if (FShown)
        return;
    FShown = true;
    ui::Guarded([this] { FormShow(); });
}

bool TVexoDlgBrowse::eventFilter(QObject *Watched, QEvent *Event) {
    if (Watched == ListView && Event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(Event)->key();
        if (key == Qt::Key_Space)
            ui::Guarded([this] { ShowNextLevel(); });
        else if (key == Qt::Key_Backspace)
            ui::Guarded([this] { ShowPrevLevel(); });
        // The key goes on to the list view unchanged.
    } else if (Watched == eFilter && Event->type() == QEvent::FocusOut) {
        // Leaving the field for another control of this window applies the
        // filter; a window switch or a message box in front does not (a
        // failing listing would otherwise bring its message back forever).
        const Qt::FocusReason why = static_cast<QFocusEvent *>(Event)->reason();
        if (why != Qt::ActiveWindowFocusReason && why != Qt::PopupFocusReason)
            UpdateEvent();
    }
    return QDialog::eventFilter(Watched, Event);
}

void TVexoDlgBrowse::FormShow() {
    cDataType->setCurrentIndex(vtEMPTY);
    if (FFromRoot)
        FBrowser->MovetoRoot();
    ShowLevel();
}

void TVexoDlgBrowse::UpdateEvent() {
    ui::Guarded([this] { ShowLevel(); });
}

void TVexoDlgBrowse::ShowLevel() {
    TBusyCursor busy;
    FBrowser->SetFilter(eFilter->text().toStdString());
    FBrowser->SetDatatype(static_cast<OPCADatatype>(cDataType->currentIndex()));
    OPCAcesstype rights;
    if (cWritable->isChecked())
        rights.Include(opcWritable);
    if (cReadable->isChecked())
        rights.Include(opcReadable);
    FBrowser->SetAccessRights(rights);
    ListView->clear();
    const TStringList *path = FBrowser->PathList();
    ePath->setText(path->Count() == 0 ? QString("root")
                                      : QString::fromStdString(path->Get(path->Count() - 1)));

    const QIcon branch = style()->standardIcon(QStyle::SP_DirIcon);
    const QIcon leaf = style()->standardIcon(QStyle::SP_FileIcon);
    auto addTags = [&](const QIcon &Icon, int Image) {
        const TStringList *tags = FBrowser->Tags();
        for (int i = 0; i < tags->Count(); ++i) {
            auto *item = new QListWidgetItem(Icon, QString::fromStdString(tags->Get(i)));
            item->setData(ImageRole, Image);
            ListView->addItem(item);
        }
    };
    ListView->setUpdatesEnabled(false);
    FBrowser->ShowBranches();
    addTags(branch, ImageBranch);
    FBrowser->ShowLeafs(false);
    addTags(leaf, ImageLeaf);
    ListView->setUpdatesEnabled(true);
    if (ListView->count() > 0) {
        ListView->setCurrentItem(ListView->item(0)); // selects it and gives it the focus mark
        ListView->item(0)->setSelected(true);
    }
}

bool TVexoDlgBrowse::ShowNextLevel() {
    QListWidgetItem *first = nullptr;
    for (int i = 0; i < ListView->count() && !first; ++i)
        if (ListView->item(i)->isSelected())
            first = ListView->item(i);
    if (!first || ImageOf(first) != ImageBranch)
        return false;
    FBrowser->MoveDown(first->text().toStdString());
    ShowLevel(); // also after a refused move: redraws the unchanged level
    return true;
}

void TVexoDlgBrowse::ShowPrevLevel() {
    if (FBrowser->PathList()->Count() == 0)
        return;
    FBrowser->Moveup();
    ShowLevel();
}

void TVexoDlgBrowse::GetItemList() {
    FResultList->Clear();
    for (int i = 0; i < ListView->count(); ++i) {
        QListWidgetItem *item = ListView->item(i);
        if (ImageOf(item) == ImageLeaf && item->isSelected())
            FResultList->Add(FBrowser->GetItemId(item->text().toStdString()));
    }
}

void TVexoDlgBrowse::bOkClick() {
    FResultList->Clear();
    if (eFilter->hasFocus())
        ShowLevel(); // Enter in the filter field applies the filter
    else if (!ShowNextLevel())
        GetItemList();
    if (FResultList->Count() > 0)
        accept();
}

bool OPCBrowseDialog(TVexoBrowser *Browser, TStrings *List, bool FromRoot) {
    if (!Connected(Browser) || !List)
        return false;
    TVexoDlgBrowse form(Browser, List, FromRoot);
    ui::CentreOnDesktop(&form);
    return form.exec() == QDialog::Accepted;
}

std::string OPCBrowseItemDialog(TVexoBrowser *Browser, bool FromRoot) {
    std::string result;
    if (!Connected(Browser))
        return result;
    TStringList ids;
    TVexoDlgBrowse form(Browser, &ids, FromRoot);
    form.SetSingleSelection();
    ui::CentreOnDesktop(&form);
    if (form.exec() == QDialog::Accepted && ids.Count() > 0)
        result = ids.Get(0);
    return result;
}

} // namespace vexo
