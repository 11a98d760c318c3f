//===- VexoBrowseDlg.h - the item browse dialog --------------------------===//
//
// "Open OPC Item": the user walks a server's address space level by level
// with a TVexoBrowser, narrows the listing by name filter, data type and
// access rights, and picks one or several leaves; the dialog returns their
// full item ids.
//
//   TStringList ids;
//   if (vexo::OPCBrowseDialog(server->Browser(), &ids, true))
//       for (int i = 0; i < ids.Count(); ++i) group->OPCItems()->AddItem(ids.Get(i));
//
//===----------------------------------------------------------------------===//
#pragma once

#include <string>

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QToolButton;

namespace vexo {

class TStrings;
class TVexoBrowser;

/// The form. The browser and the result list are lent by the caller; the
/// dialog changes the browser's filters and position, which keep their last
/// values afterwards. GUI thread only (the browser's owner thread).
class TVexoDlgBrowse : public QDialog {
  public:
    /// List item data: 0 for a branch, 1 for a leaf.
    static constexpr int ImageRole = 0x0100; // Qt::UserRole

    TVexoDlgBrowse(TVexoBrowser *Browser, TStrings *ResultList, bool FromRoot,
                   QWidget *Parent = nullptr);
    ~TVexoDlgBrowse() override;

    // Controls (owned by the form), in tab order; bBack is no tab stop.
    QListWidget *ListView; ///< branches (image 0), then leaves (image 1)
    QLabel *Label1;
    QLineEdit *eFilter;    ///< "Filter"
    QLabel *Label2;
    QComboBox *cDataType;  ///< "Datatyp": index = OPCADatatype ordinal
    QPushButton *bOk;      ///< "&Open", the default button
    QPushButton *bCancel;  ///< "&Cancel", also Escape
    QLabel *Label3;
    QLineEdit *ePath;      ///< read-only: the current level's name, or "root"
    QCheckBox *cWritable;
    QCheckBox *cReadable;
    QToolButton *bBack;    ///< one level up

    /// Lists the current level with the filters of the controls.
    void ShowLevel();
    /// One level up, unless at the root.
    void ShowPrevLevel();
    /// Into the first selected item when it is a branch; false otherwise.
    bool ShowNextLevel();
    /// The ids of the selected leaves into the result list, in list order.
    void GetItemList();
    /// "&Open": filter, move down, or accept the selected leaves.
    void bOkClick();
    /// Any change of a filter control: lists the level again.
    void UpdateEvent();

    /// Restricts the list view to one selection (OPCBrowseItemDialog).
    void SetSingleSelection();

  protected:
    void showEvent(QShowEvent *Event) override;
    bool eventFilter(QObject *Watched, QEvent *Event) override;

  private:
    void FormShow();

    TVexoBrowser *FBrowser;
    TStrings *FResultList;
    bool FFromRoot;
    bool FShown = false;
};

/// Shows the dialog on Browser's connected server and fills List with the
/// chosen ids; true when the user accepted at least one. False without
/// showing anything when Browser has no server or it is not connected.
bool OPCBrowseDialog(TVexoBrowser *Browser, TStrings *List, bool FromRoot);
/// The same with one selection; the chosen id, or "" when cancelled.
std::string OPCBrowseItemDialog(TVexoBrowser *Browser, bool FromRoot);

} // namespace vexo
