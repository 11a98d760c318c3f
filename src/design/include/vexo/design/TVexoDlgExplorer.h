//===- TVexoDlgExplorer.h - the inspector window -------------------------===//
//
// The form behind OPCExplorer. It holds one server component it does not
// own; every change it makes goes through the public operations of the
// server, group and item classes. Rows of the item list and the items they
// show point at each other (the row's data, the item's UIReference); the
// window unlinks them before rows go and when it is destroyed.
//
// Controls carry object names so that tests and tools can find them:
// bDisconnect, bConnect, bRemoteSelect, cbServer, tvGroups, lvItems, the
// value labels lServerName, lStartTime, lState, lVendor, lLastUpdate,
// lGroupName, lUpdateRate, lDeadBand, lActive (property "tag" = 1), lError,
// the menus pmGroups and pmItems and the timer Timer1.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <functional>
#include <string>

#include <QComboBox>
#include <QDialog>

#include <vexo/Vexo.h>

class QAction;
class QLabel;
class QMenu;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace vexo {

/// A combo box that tells its owner before its list drops down.
class TDropDownComboBox : public QComboBox {
  public:
    using QComboBox::QComboBox;
    std::function<void()> OnDropDown;
    void showPopup() override;
};

class TVexoDlgExplorer : public QDialog {
  public:
    /// Builds the window; its timer runs from now on. Server is not owned.
    explicit TVexoDlgExplorer(TVexoServer *Server, QWidget *Parent = nullptr);
    /// Clears the UIReference of every item still shown.
    ~TVexoDlgExplorer() override;

    TVexoServer *Server() const { return FServer; }
    /// The server combo box's text, as OPCExplorer stores it on close.
    std::string ServerText() const;

    // --- Handlers. The window's controls run them so that an exception goes
    // to Application->HandleException; called directly they raise.
    void FormShow();
    void ClearInfo();
    void ConnectClick();
    void DisconnectClick();
    void ServerDropDown();
    void RemoteSelectClick();
    void TimerTick();
    void ShowGroupState();
    /// The group named by the selected tree node, or nullptr.
    TVexoGroup *SelectedGroup() const;
    void GroupTreeChange();
    void AddGroupClick();
    void RemoveGroupClick();
    void RemoveAllGroupsClick();
    void PropertiesClick();
    void ItemMenuPopup();
    void AddItemClick();
    /// Adds an active item per id to Group; rows for the selected group.
    void AddNewItems(TVexoGroup *Group, const TStrings &Ids);
    void RemoveItemClick();
    void RemoveAllItemsClick();
    void ActiveClick();

    QAction *AddGroupAction() const { return FAddGroup; }
    QAction *RemoveGroupAction() const { return FRemoveGroup; }
    QAction *RemoveAllGroupsAction() const { return FRemoveAllGroups; }
    QAction *PropertiesAction() const { return FProperties; }
    QAction *AddItemAction() const { return FAddItem; }
    QAction *RemoveItemAction() const { return FRemoveItem; }
    QAction *RemoveAllItemsAction() const { return FRemoveAllItems; }
    QAction *ActiveAction() const { return FActive; }

  protected:
    void showEvent(QShowEvent *Event) override;

  private:
    void BuildWindow();
    /// Runs Handler; an exception goes to Application->HandleException.
    void Guarded(const std::function<void()> &Handler);
    QTreeWidgetItem *AddRow(TVexoItem *Item);
    static void FillRow(QTreeWidgetItem *Row, const TVexoItem &Item);
    static TVexoItem *RowItem(const QTreeWidgetItem *Row);
    /// Clears every shown item's UIReference, then removes the rows.
    void UnlinkAndClearRows();
    QLabel *AddValueLabel(const char *Name);

    TVexoServer *FServer;
    TDropDownComboBox *FServerCombo = nullptr;
    QTreeWidget *FGroupTree = nullptr;
    QTreeWidget *FItemList = nullptr;
    QMenu *FGroupMenu = nullptr;
    QMenu *FItemMenu = nullptr;
    QAction *FAddGroup = nullptr, *FRemoveGroup = nullptr, *FRemoveAllGroups = nullptr,
            *FProperties = nullptr;
    QAction *FAddItem = nullptr, *FRemoveItem = nullptr, *FRemoveAllItems = nullptr,
            *FActive = nullptr;
    QLabel *FServerNameLabel = nullptr, *FStartTimeLabel = nullptr, *FStateLabel = nullptr,
           *FVendorLabel = nullptr, *FLastUpdateLabel = nullptr;
    QLabel *FGroupNameLabel = nullptr, *FUpdateRateLabel = nullptr, *FDeadBandLabel = nullptr,
           *FActiveLabel = nullptr;
    QLabel *FErrorLabel = nullptr;
    QTimer *FTimer = nullptr;
};

} // namespace vexo
