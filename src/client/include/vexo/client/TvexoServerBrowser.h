//===- TvexoServerBrowser.h - finding the OPC servers of a computer ------===//
//
// GetOPCServers scans the local class registry for the program ids of OPC
// servers. TvexoServerBrowser asks the server-list object of the local or a
// named computer for the classes of the DA 1.0, DA 2.0 and Alarms and Events
// 1.0 categories and keeps one TvexoServerItem per class. Owner thread only.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <string>

#include <vexo/OPCCOMN.h>
#include <vexo/OPCDA.h>
#include <vexo/client/VexoTypes.h>
#include <vexo/framework/Classes.h>
#include <vexo/framework/Lists.h>

namespace vexo {

/// Alarms and Events 1.0 servers.
constexpr CATID CATID_vexoAE10{
    0x58E13251, 0xAC87, 0x11D1, {0x84, 0xD5, 0x00, 0x60, 0x8C, 0xB8, 0xA7, 0xE9}};

/// Empties List, then adds the name of every top-level class-registry key
/// that has an "OPC" subkey, in registry order. Reports nothing.
void GetOPCServers(TStrings *List);

/// One server class found by a run.
class TvexoServerItem : public TObject {
  public:
    std::string ClassName() const override { return "TvexoServerItem"; }
    std::string ComputerName; ///< the browser's ComputerName when found
    std::string Description;  ///< the class's user-type text
    std::string ProgID;
    std::string ClassID; ///< braced registry text; "" when not convertible
    tvexoServerSet ServerTypes;
};

/// Owns its items; a run frees the items of the previous one.
class TvexoServerBrowser : public TComponent {
  public:
    explicit TvexoServerBrowser(TComponent *AOwner);
    /// Clear, then frees the list.
    ~TvexoServerBrowser() override;
    std::string ClassName() const override { return "TvexoServerBrowser"; }
    const PropertyTable *GetPropertyTable() const override;

    // --- Published properties (streamed as ComputerName, Servertype) ------
    const std::string &ComputerName() const { return FComputerName; }
    void SetComputerName(const std::string &Value) { FComputerName = Value; }
    tvexoServerSet Servertype() const { return FServertype; }
    void SetServertype(tvexoServerSet Value) { FServertype = Value; }

    /// Empties the list and asks the server-list object of ComputerName for
    /// every category of Servertype (DA 1.0, then DA 2.0, then A&E 1.0).
    /// Raises EOleSysError (creation, server calls) or EIntfCastError; the
    /// list then keeps what was merged before the failure.
    void Execute();
    /// ComputerName := AComputerName, then Execute.
    void GetOPCServers(const std::string &AComputerName);
    int GetCount() const { return FItems.Count(); }
    /// EListError on a bad index.
    TvexoServerItem *GetItems(int Index) const {
        return static_cast<TvexoServerItem *>(FItems.Get(Index));
    }
    /// Replaces the item at Index; the browser takes Item. The replaced item
    /// is not freed: it goes back to the caller, so entries can be swapped.
    void SetItems(int Index, TvexoServerItem *Item);
    /// The item whose ClassID equals AClassID exactly, or nullptr.
    TvexoServerItem *GetServer(const std::string &AClassID) const;
    /// Merges one found class: a new item, or the categories added to the
    /// existing item of the same ClassID.
    void AddServer(const std::string &ADescription, const std::string &AProgID,
                   const std::string &AClassID, tvexoServerSet Types);
    /// Asks List for the classes of one category and merges each.
    void GetServers(IOPCServerList *List, const CATID &Category, tvexoServerSet Types);
    /// Frees every item once (an item listed twice is freed once), last first.
    void Clear();

  private:
    TList FItems;
    tvexoServerSet FServertype{7};
    std::string FComputerName;
};

} // namespace vexo
