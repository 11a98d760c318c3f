//===- TVexoItemProperties.h - the properties of one item id -------------===//
//
// TVexoItemProperties lists the properties (id, description, data type and
// value) that a server describes for one item id, through the item-properties
// interface its TVexoServer cached at connect. It re-lists and re-reads all
// of them whenever its item id or server changes, and on Refresh.
// Owner thread only.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <vexo/client/VexoTypes.h>
#include <vexo/framework/Lists.h>
#include <vexo/framework/Variants.h>

namespace vexo {

/// One property of an item id as the server reported it.
class TVexoItemProperty : public TObject {
  public:
    std::string ClassName() const override { return "TVexoItemProperty"; }
    std::uint32_t PropertyID = 0;
    std::string Description;
    std::int32_t DataType = 0; ///< VARTYPE, widened
    /// The value of the last successful read; empty before and after a failed one.
    OleVariant Value;
};

/// An owning list of TVexoItemProperty entries in the server's order: an
/// entry that leaves it by any of the list's operations (Delete, Remove,
/// Clear, Put) is freed. The server component is not owned; when it is destroyed first the list forgets
/// it (it watches the component's removal), so it never reaches freed memory.
class TVexoItemProperties : public TList {
  public:
    TVexoItemProperties();
    /// Stores ItemId, then SetOPCServer(Server), which lists and reads the
    /// properties when Server is given; the listing's OPC error passes out.
    TVexoItemProperties(TVexoServer *Server, const std::string &ItemId);
    /// Frees every entry, last first.
    ~TVexoItemProperties() override;
    std::string ClassName() const override { return "TVexoItemProperties"; }

    /// EListError on a bad index.
    TVexoItemProperty *GetItem(int Index) const {
        return static_cast<TVexoItemProperty *>(Get(Index));
    }
    /// Replaces the entry at Index; the list takes Item and frees the one it
    /// replaces (unless it is the same object).
    void SetItem(int Index, TVexoItemProperty *Item) { Put(Index, Item); }

    const std::string &ItemId() const { return FItemId; }
    /// Stores a different id (exact comparison) and refreshes.
    void SetItemId(const std::string &Value);
    TVexoServer *OPCServer() const { return FOPCServer; }
    /// Stores a different server reference and refreshes.
    void SetOPCServer(TVexoServer *Server);

    /// Rebuilds the entries from the server's list; raises the OPC error of
    /// a failed listing (the list then stays empty).
    void QueryAvailableProperties();
    /// Reads every entry's value in one call; false when anything failed.
    bool GetItemProperties();
    /// QueryAvailableProperties, then GetItemProperties; gives the latter.
    bool Refresh();

  protected:
    /// Frees an entry that left the list.
    void Deleted(void *Item) override;

  private:
    class TServerWatch;
    friend class TServerWatch;
    IOPCItemProperties *PropIF() const;

    std::string FItemId;
    TVexoServer *FOPCServer = nullptr;
    std::unique_ptr<TServerWatch> FWatch;
};

} // namespace vexo
