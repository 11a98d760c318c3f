//===- VexoServerDlg.h - the server selection dialog ---------------------===//
//
// "Select OPC Server": the user types a computer name, searches it (or the
// local computer) for OPC servers, sees them in a tree grouped by server
// category and picks one.
//
//   std::string computer, progId, classId;
//   if (vexo::vexoBrowseServer(computer, progId, classId))
//       server->SetServer(classId), server->SetComputername(computer);
//
//===----------------------------------------------------------------------===//
#pragma once

#include <memory>
#include <string>

#include <QDialog>
#include <QPointer>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace vexo {

class TvexoServerBrowser;
class TvexoServerItem;

/// The form. It owns its server browser (all three categories) and with it
/// the items of the last search; tree nodes refer to those items. GUI thread
/// only. A search runs the enumeration on a worker thread while the window
/// keeps handling events; closing requested meanwhile takes effect after it.
class TvexoServerBrowseDlg : public QDialog {
  public:
    explicit TvexoServerBrowseDlg(QWidget *Parent = nullptr);
    ~TvexoServerBrowseDlg() override;

    // Controls (owned by the form), in tab order; the labels and the panel first.
    QFrame *Panel1;
    QLabel *Label1;
    QLabel *Label2;
    QLabel *Label3;
    QLineEdit *eComputername; ///< computer to search; empty = local
    QLineEdit *eServerName;   ///< read-only: ProgID of the selected server
    QLineEdit *eServerClsId;  ///< read-only: class id text of the selected server
    QPushButton *bSearch;     ///< "&Search", the default button
    QPushButton *bOk;         ///< "&Ok"
    QPushButton *bCancel;     ///< "&Cancel", also Escape
    QTreeWidget *TreeView1;   ///< category nodes with the servers found below

    /// Runs a search of eComputername's computer and fills the tree. A
    /// failure goes to the application's exception display; the dialog stays.
    void bSearchClick();
    /// Fills (or empties) the two read-only fields from the selected node.
    void TreeView1Change();
    /// Closes: accepted when eServerName is not empty, rejected otherwise.
    void bOkClick();
    /// Forgets the category nodes and deletes every node.
    void ClearTreeView();
    /// Adds a node for Item under each of its categories (DA 1.0, DA 2.0, A&E 1.0).
    void ServerToTreeView(TvexoServerItem *Item);

    /// The server item a node refers to; nullptr for a category node.
    static TvexoServerItem *NodeItem(const QTreeWidgetItem *Node);
    TvexoServerBrowser *ServerBrowser() const { return FServerBrowser.get(); }
    /// True while a search runs.
    bool Searching() const { return FSearching; }

    void done(int Result) override;

  private:
    void SetSearching(bool Value);

    QTreeWidgetItem *FDA10Node = nullptr;
    QTreeWidgetItem *FDA20Node = nullptr;
    QTreeWidgetItem *FAE10Node = nullptr;
    std::unique_ptr<TvexoServerBrowser> FServerBrowser;
    bool FSearching = false;
    int FPendingResult = -1; ///< a close requested during a search
    QPointer<QWidget> FFocusBeforeSearch;
};

/// Shows the dialog modally with Computername in its computer field. Returns
/// true when the user accepted a server. Whatever the result, writes back the
/// ProgID and class id the two read-only fields show and the computer name as
/// the user left it. GUI thread only; needs a QApplication.
bool vexoBrowseServer(std::string &Computername, std::string &Servername, std::string &ClsId);

} // namespace vexo
