//===- TVexoDlgEditGroup.cpp - the group edit dialog ---------------------===//
//
// This file implements the "Edit Group" form and OPCEditGroupDialog. Numbers
// follow the widget's locale: its digits and decimal separator, and no group
// separators, so that "1,5" in an English locale is refused rather than read
// as fifteen.
//
//===----------------------------------------------------------------------===//
#include <vexo/VexoGroupDlg.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

#include <vexo/framework/SysUtils.h>
#include <vexo/framework/UIServices.h>

#include "DialogSupport.h"

namespace vexo {

namespace {

QLocale NumberLocale(const QWidget *W) {
    QLocale l = W->locale();
    l.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    return l;
}

/// An update rate: a decimal integer from 0 to the largest DWORD, which is
/// every value the record can hold (a negative rate would wrap to ~49 days).
std::uint32_t ReadUpdateRate(const QLocale &L, const QString &Text) {
    bool ok = false;
    const qlonglong v = L.toLongLong(Text.trimmed(), &ok);
    if (!ok)
        throw EConvertError("'" + Text.toStdString() + "' is not a valid integer value");
    if (v < 0 || v > static_cast<qlonglong>(std::numeric_limits<std::uint32_t>::max()))
        throw EConvertError("'" + Text.toStdString() +
                            "' is out of range for an update rate (0 to 4294967295)");
    return static_cast<std::uint32_t>(v);
}

/// A dead band: a finite number that a float can hold.
float ReadDeadBand(const QLocale &L, const QString &Text) {
    bool ok = false;
    const double v = L.toDouble(Text.trimmed(), &ok);
    if (!ok || !std::isfinite(v) || !std::isfinite(static_cast<float>(v)))
        throw EConvertError("'" + Text.toStdString() + "' is not a valid floating point value");
    return static_cast<float>(v);
}

} // namespace

TVexoDlgEditGroup::TVexoDlgEditGroup(QWidget *Parent) : QDialog(Parent) {
    setWindowTitle("Edit Group");

    Label3 = new QLabel("Groupname", this);
    eGroupName = new QLineEdit(this);
    Label4 = new QLabel("UpdateRate", this);
    eUpdateRate = new QLineEdit("1000", this);
    Label5 = new QLabel("DeadBand", this);
    eDeadBand = new QLineEdit("0", this);
    Label6 = new QLabel("Active", this);
    cActive = new QCheckBox(this);
    bOk = new QPushButton("&Ok", this);
    BCancel = new QPushButton("&Cancel", this);
    bOk->setDefault(true);
    Label3->setBuddy(eGroupName);
    Label4->setBuddy(eUpdateRate);
    Label5->setBuddy(eDeadBand);
    Label6->setBuddy(cActive);

    eGroupName->setObjectName("eGroupName");
    eUpdateRate->setObjectName("eUpdateRate");
    eDeadBand->setObjectName("eDeadBand");
    cActive->setObjectName("cActive");
    bOk->setObjectName("bOk");
    BCancel->setObjectName("BCancel");

    auto *grid = new QGridLayout();
    grid->addWidget(Label3, 0, 0);
    grid->addWidget(eGroupName, 0, 1);
    grid->addWidget(Label4, 1, 0);
    grid->addWidget(eUpdateRate, 1, 1);
    grid->addWidget(Label5, 2, 0);
    grid->addWidget(eDeadBand, 2, 1);
    grid->addWidget(Label6, 3, 0);
    grid->addWidget(cActive, 3, 1, Qt::AlignLeft);
    grid->setColumnMinimumWidth(1, 180);
    auto *buttons = new QHBoxLayout();
    buttons->addStretch();
    buttons->addWidget(bOk);
    buttons->addWidget(BCancel);
    auto *main = new QVBoxLayout(this);
    main->addLayout(grid);
    main->addLayout(buttons);
    main->setSizeConstraint(QLayout::SetFixedSize); // a fixed dialog border

    setTabOrder(eGroupName, eUpdateRate);
    setTabOrder(eUpdateRate, eDeadBand);
    setTabOrder(eDeadBand, cActive);
    setTabOrder(cActive, bOk);
    setTabOrder(bOk, BCancel);

    connect(bOk, &QPushButton::clicked, this, [this] { ui::Guarded([this] { bOkClick(); }); });
    connect(BCancel, &QPushButton::clicked, this, [this] { reject(); });
}

TVexoDlgEditGroup::~TVexoDlgEditGroup() = default;

void TVexoDlgEditGroup::showEvent(QShowEvent *Event) {
    QDialog::showEvent(Event);
    FormShow();
}

void TVexoDlgEditGroup::FormShow() {
    const QLocale l = NumberLocale(this);
    eUpdateRate->setText(l.toString(static_cast<qulonglong>(State.UpdateRate)));
    eGroupName->setText(QString::fromStdString(State.Name));
    eDeadBand->setText(l.toString(static_cast<double>(State.DeadBand), 'f', 2));
    cActive->setChecked(State.IsActive);
}

void TVexoDlgEditGroup::bOkClick() {
    if (Trim(eGroupName->text().toStdString()).empty()) {
        Beep();
        eGroupName->setFocus();
        return;
    }
    const QLocale l = NumberLocale(this);
    State.UpdateRate = ReadUpdateRate(l, eUpdateRate->text());
    State.Name = eGroupName->text().toStdString();
    State.DeadBand = ReadDeadBand(l, eDeadBand->text());
    State.IsActive = cActive->isChecked();
    accept();
}

bool OPCEditGroupDialog(tGroupStateRec &Rec) {
    TVexoDlgEditGroup form;
    form.State = Rec;
    ui::CentreOnDesktop(&form);
    if (form.exec() != QDialog::Accepted)
        return false;
    Rec = form.State;
    return true;
}

} // namespace vexo
