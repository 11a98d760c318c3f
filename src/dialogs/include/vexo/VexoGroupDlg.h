//===- VexoGroupDlg.h - the group edit dialog ----------------------------===//
//
// "Edit Group": the user edits a group's name, update rate, dead band and
// active flag, held in a tGroupStateRec. The dialog only edits the record;
// the caller decides what to do with it.
//
//   tGroupStateRec rec = group->GetState();
//   if (vexo::OPCEditGroupDialog(rec)) { group->SetName(rec.Name); ... }
//
//===----------------------------------------------------------------------===//
#pragma once

#include <QDialog>

#include <vexo/client/VexoTypes.h>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vexo {

/// The form, editing a working copy of a record. Numbers are shown and read
/// in the notation of the widget's locale (the user's, unless set). GUI
/// thread only.
class TVexoDlgEditGroup : public QDialog {
  public:
    explicit TVexoDlgEditGroup(QWidget *Parent = nullptr);
    ~TVexoDlgEditGroup() override;

    // Controls (owned by the form), in tab order.
    QLabel *Label3;
    QLineEdit *eGroupName;  ///< "Groupname"
    QLabel *Label4;
    QLineEdit *eUpdateRate; ///< "UpdateRate", a decimal integer
    QLabel *Label5;
    QLineEdit *eDeadBand;   ///< "DeadBand", a number with two decimals
    QLabel *Label6;
    QCheckBox *cActive;     ///< "Active"
    QPushButton *bOk;       ///< "&Ok", the default button
    QPushButton *BCancel;   ///< "&Cancel", also Escape

    /// The working copy; every field travels through the dialog, the four
    /// shown are stored back on a successful accept.
    tGroupStateRec State;

    /// Fills the controls from State.
    void FormShow();
    /// Beeps on a blank name; otherwise stores the controls into State and
    /// accepts. A number that does not convert raises EConvertError naming
    /// its text (fields stored before it stay changed in State only).
    void bOkClick();

  protected:
    void showEvent(QShowEvent *Event) override;
};

/// Shows the dialog on a copy of Rec; on acceptance copies the whole working
/// copy back and returns true, otherwise leaves Rec exactly as it was.
bool OPCEditGroupDialog(tGroupStateRec &Rec);

} // namespace vexo
