//===- TVexoServerProperties.cpp - item-property queries of the server ---===//
//
// The three direct item-property queries of TVexoServer. They read the
// interface cached at connect and never ask the server for it, so while the
// component is not connected (or the server lacks the interface) they give
// their empty result without calling anything.
//
//===----------------------------------------------------------------------===//

#include <vexo/VexoErrors.h>
#include <vexo/client/TVexoServer.h>

#include "PropertyResults.h"

namespace vexo {

bool TVexoServer::QueryAvailableProperties(const std::string &ItemID, TStrings *Lines) {
    if (!Lines)
        return false;
    Lines->Clear();
    IOPCItemProperties *props = FItemPropIF.Get();
    if (!props)
        return false;
    platform::WideString id = platform::Utf8ToUtf16(ItemID);
    detail::TPropertyListing listing;
    OPCCheck(props->QueryAvailableProperties(id.data(), &listing.Count, &listing.IDs,
                                             &listing.Descriptions, &listing.DataTypes));
    const DWORD n = listing.Usable();
    for (DWORD i = 0; i < n; ++i) {
        // id,"description",vartype - the description stands as the server gave it.
        std::string line = std::to_string(listing.IDs[i]);
        line += ",\"";
        line += platform::WideToString(listing.Descriptions[i]);
        line += "\",";
        line += std::to_string(static_cast<unsigned>(listing.DataTypes[i]));
        Lines->Add(line);
    }
    return Lines->Count() > 0;
}

bool TVexoServer::GetItemProperty(const std::string &ItemID, int PropertyID, OleVariant &Value) {
    Value.Clear();
    IOPCItemProperties *props = FItemPropIF.Get();
    if (!props)
        return false;
    platform::WideString id = platform::Utf8ToUtf16(ItemID);
    DWORD pid = static_cast<DWORD>(PropertyID);
    detail::TPropertyValues result(1);
    HRESULT hr = props->GetItemProperties(id.data(), 1, &pid, &result.Values, &result.Errors);
    if (FAILED(hr) || !result.Values || !result.Errors || result.Errors[0] != 0)
        return false;
    // Nothing is raised whatever the server answered: a value that cannot be
    // copied is a failed read.
    try {
        Value = result.Values[0];
    } catch (const Exception &) {
        Value.Clear();
        return false;
    }
    return true;
}

std::string TVexoServer::LookupItemId(const std::string &ItemID, std::uint32_t PropertyID) {
    IOPCItemProperties *props = FItemPropIF.Get();
    if (!props)
        return {};
    platform::WideString id = platform::Utf8ToUtf16(ItemID);
    DWORD pid = PropertyID;
    detail::TPropertyItemIDs result(1);
    HRESULT hr = props->LookupItemIDs(id.data(), 1, &pid, &result.ItemIDs, &result.Errors);
    if (FAILED(hr) || !result.Errors)
        return {};
    if (result.Errors[0] == 0)
        return result.ItemIDs ? platform::WideToString(result.ItemIDs[0]) : std::string();
    // A refused look-up raises its text; a success code other than 0 gives "".
    OPCCheck(result.Errors[0]);
    return {};
}

} // namespace vexo
