//===- TVexoItemProperties.cpp - the property list of one item id --------===//
//
// The list owns its entries. It keeps a plain reference to its server
// component and watches that component's removal through a small private
// component, so a list that outlives its server forgets it instead of
// reaching freed memory; its entries stay as they were.
//
//===----------------------------------------------------------------------===//

#include <vexo/VexoErrors.h>
#include <vexo/client/TVexoItemProperties.h>
#include <vexo/client/TVexoServer.h>

#include "PropertyResults.h"

namespace vexo {

/// Receives the removal notice of the list's server component.
class TVexoItemProperties::TServerWatch : public TComponent {
  public:
    explicit TServerWatch(TVexoItemProperties *List) : TComponent(nullptr), FList(List) {}
    std::string ClassName() const override { return "TVexoItemPropertiesWatch"; }

  protected:
    void Notification(TComponent *AComponent, TOperation Operation) override {
        TComponent::Notification(AComponent, Operation);
        if (Operation == TOperation::opRemove && AComponent &&
            AComponent == static_cast<TComponent *>(FList->FOPCServer))
            FList->FOPCServer = nullptr;
    }

  private:
    TVexoItemProperties *FList;
};

TVexoItemProperties::TVexoItemProperties() : FWatch(std::make_unique<TServerWatch>(this)) {}

TVexoItemProperties::TVexoItemProperties(TVexoServer *Server, const std::string &ItemId)
    : FItemId(ItemId), FWatch(std::make_unique<TServerWatch>(this)) {
    try {
        SetOPCServer(Server);
    } catch (...) {
        // The destructor does not run for a constructor that raises.
        Clear();
        throw;
    }
}

TVexoItemProperties::~TVexoItemProperties() { Clear(); }

void TVexoItemProperties::Deleted(void *Item) { delete static_cast<TVexoItemProperty *>(Item); }

void TVexoItemProperties::SetItemId(const std::string &Value) {
    if (Value == FItemId)
        return;
    FItemId = Value;
    Refresh();
}

void TVexoItemProperties::SetOPCServer(TVexoServer *Server) {
    if (Server == FOPCServer)
        return;
    if (FOPCServer)
        FWatch->RemoveFreeNotification(FOPCServer);
    FOPCServer = Server;
    if (FOPCServer)
        FWatch->FreeNotification(FOPCServer);
    Refresh();
}

IOPCItemProperties *TVexoItemProperties::PropIF() const {
    return FOPCServer ? FOPCServer->CachedItemPropIF() : nullptr;
}

void TVexoItemProperties::QueryAvailableProperties() {
    Clear();
    IOPCItemProperties *props = PropIF();
    if (FItemId.empty() || !props)
        return;
    platform::WideString id = platform::Utf8ToUtf16(FItemId);
    detail::TPropertyListing listing;
    OPCCheck(props->QueryAvailableProperties(id.data(), &listing.Count, &listing.IDs,
                                             &listing.Descriptions, &listing.DataTypes));
    const DWORD n = listing.Usable();
    SetCapacity(static_cast<int>(n));
    for (DWORD i = 0; i < n; ++i) {
        auto entry = std::make_unique<TVexoItemProperty>();
        entry->PropertyID = listing.IDs[i];
        entry->Description = platform::WideToString(listing.Descriptions[i]);
        entry->DataType = listing.DataTypes[i];
        Add(entry.get());
        entry.release();
    }
}

bool TVexoItemProperties::GetItemProperties() {
    IOPCItemProperties *props = PropIF();
    const int n = Count();
    if (n == 0 || FItemId.empty() || !props)
        return false;
    auto *ids = static_cast<DWORD *>(platform::CoTaskMemAlloc(sizeof(DWORD) * n));
    if (!ids)
        return false;
    struct IdsGuard {
        DWORD *P;
        ~IdsGuard() { platform::CoTaskMemFree(P); }
    } idsGuard{ids};
    for (int i = 0; i < n; ++i)
        ids[i] = GetItem(i)->PropertyID;

    platform::WideString id = platform::Utf8ToUtf16(FItemId);
    detail::TPropertyValues result(static_cast<DWORD>(n));
    HRESULT hr = props->GetItemProperties(id.data(), static_cast<DWORD>(n), ids, &result.Values,
                                          &result.Errors);
    if (FAILED(hr) || !result.Values || !result.Errors)
        return false;
    bool ok = true;
    for (int i = 0; i < n; ++i) {
        TVexoItemProperty *entry = GetItem(i);
        entry->Value.Clear();
        if (result.Errors[i] != 0) {
            ok = false;
            continue;
        }
        try {
            entry->Value = result.Values[i];
        } catch (const Exception &) {
            ok = false; // a value that cannot be copied leaves only its entry empty
        }
    }
    return ok;
}

bool TVexoItemProperties::Refresh() {
    QueryAvailableProperties();
    return GetItemProperties();
}

} // namespace vexo
