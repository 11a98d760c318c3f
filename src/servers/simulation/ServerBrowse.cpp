//===- ServerBrowse.cpp - IOPCBrowseServerAddressSpace of the server ------===//
//
// The browse position belongs to the server object (one client each). The
// DA 1.0 class answers a flat organisation: it has no positions, and lists
// the full ids of every tag as leaves. Filters: a '*'/'?' pattern on the name
// (on the full id in flat lists), a data type the item can be delivered in
// (0 = any) and access rights of which it must have at least one (0 = any).
//
//===----------------------------------------------------------------------===//
#include "ComHelpers.h"
#include "Enumerators.h"
#include "ServerObject.h"

namespace vexo::sim {
namespace {

bool Passes(const Tag &tag, VARTYPE vt, DWORD rights) {
    if (vt != VT_EMPTY && !CanConvert(tag.vt, vt))
        return false;
    return rights == 0 || (tag.rights & rights) != 0;
}

void CollectFlat(const Branch &b, vexo::platform::WideStringView filter, VARTYPE vt, DWORD rights,
                 std::vector<vexo::platform::WideString> &out) {
    for (const Tag *t : b.leaves)
        if (WildcardMatch(filter, t->itemId) && Passes(*t, vt, rights))
            out.push_back(t->itemId);
    for (const auto &c : b.children)
        CollectFlat(*c, filter, vt, rights, out);
}

vexo::platform::WideString Join(const vexo::platform::WideString &path, vexo::platform::WideStringView name) {
    return path.empty() ? vexo::platform::WideString(name) : path + OLESTR(".") + vexo::platform::WideString(name);
}

} // namespace

HRESULT SimServer::QueryOrganization(OPCNAMESPACETYPE *pNameSpaceType) {
    return Guard([&] {
        if (!pNameSpaceType)
            return E_POINTER;
        *pNameSpaceType = OPC_NS_FLAT;
        HRESULT hr = core_->Enter("QueryOrganization");
        if (FAILED(hr))
            return hr;
        *pNameSpaceType = core_->da10 ? OPC_NS_FLAT : OPC_NS_HIERARCHIAL;
        return S_OK;
    });
}

HRESULT SimServer::ChangeBrowsePosition(OPCBROWSEDIRECTION dwBrowseDirection, LPCWSTR szString) {
    return Guard([&] {
        HRESULT hr = core_->Enter("ChangeBrowsePosition", [&] {
            return "direction=" + std::to_string(dwBrowseDirection) +
                   " name=" + Narrow(View(szString));
        });
        if (FAILED(hr))
            return hr;
        if (core_->da10)
            return E_FAIL;
        std::lock_guard lock(core_->mu);
        vexo::platform::WideString &position = core_->browsePosition;
        switch (dwBrowseDirection) {
        case OPC_BROWSE_UP: {
            if (position.empty())
                return E_FAIL;
            const auto dot = position.rfind(WCHAR('.'));
            position = dot == vexo::platform::WideString::npos ? vexo::platform::WideString() : position.substr(0, dot);
            return S_OK;
        }
        case OPC_BROWSE_DOWN: {
            if (View(szString).empty())
                return E_INVALIDARG;
            const vexo::platform::WideString target = Join(position, View(szString));
            if (View(szString).find(WCHAR('.')) != vexo::platform::WideStringView::npos ||
                !core_->space.FindBranch(target))
                return E_INVALIDARG;
            position = target;
            return S_OK;
        }
        case OPC_BROWSE_TO: {
            const vexo::platform::WideString target(View(szString));
            if (!target.empty() &&
                (FAILED(AddressSpace::CheckSyntax(target)) || !core_->space.FindBranch(target)))
                return E_INVALIDARG;
            position = target;
            return S_OK;
        }
        default:
            return E_INVALIDARG;
        }
    });
}

HRESULT SimServer::BrowseOPCItemIDs(OPCBROWSETYPE dwBrowseFilterType, LPCWSTR szFilterCriteria,
                                    VARTYPE vtDataTypeFilter, DWORD dwAccessRightsFilter,
                                    LPENUMSTRING *ppIEnumString) {
    return Guard([&] {
        if (!ppIEnumString)
            return E_POINTER;
        *ppIEnumString = nullptr;
        HRESULT hr = core_->Enter("BrowseOPCItemIDs", [&] {
            return "type=" + std::to_string(dwBrowseFilterType) +
                   " filter=" + Narrow(View(szFilterCriteria)) +
                   " vt=" + std::to_string(vtDataTypeFilter) +
                   " rights=" + std::to_string(dwAccessRightsFilter);
        });
        if (FAILED(hr))
            return hr;
        if (dwBrowseFilterType < OPC_BRANCH || dwBrowseFilterType > OPC_FLAT)
            return E_INVALIDARG;
        const vexo::platform::WideStringView filter = View(szFilterCriteria);
        std::vector<vexo::platform::WideString> names;
        {
            std::lock_guard lock(core_->mu);
            if (core_->da10) {
                if (dwBrowseFilterType != OPC_BRANCH)
                    CollectFlat(core_->space.Root(), filter, vtDataTypeFilter,
                                dwAccessRightsFilter, names);
            } else {
                const Branch *b = core_->space.FindBranch(core_->browsePosition);
                if (!b)
                    return E_FAIL;
                if (dwBrowseFilterType == OPC_BRANCH) {
                    for (const auto &c : b->children)
                        if (WildcardMatch(filter, c->name))
                            names.push_back(c->name);
                } else if (dwBrowseFilterType == OPC_LEAF) {
                    for (const Tag *t : b->leaves)
                        if (WildcardMatch(filter, t->name) &&
                            Passes(*t, vtDataTypeFilter, dwAccessRightsFilter))
                            names.push_back(t->name);
                } else {
                    CollectFlat(*b, filter, vtDataTypeFilter, dwAccessRightsFilter, names);
                }
            }
        }
        const bool empty = names.empty();
        *ppIEnumString = platform::MakeCom<StringEnum>(std::move(names)).Detach();
        return empty ? S_FALSE : S_OK;
    });
}

HRESULT SimServer::GetItemID(LPWSTR szItemDataID, LPWSTR *szItemID) {
    return Guard([&] {
        if (!szItemID)
            return E_POINTER;
        *szItemID = nullptr;
        HRESULT hr =
            core_->Enter("GetItemID", [&] { return "name=" + Narrow(View(szItemDataID)); });
        if (FAILED(hr))
            return hr;
        const vexo::platform::WideStringView name = View(szItemDataID);
        vexo::platform::WideString id;
        {
            std::lock_guard lock(core_->mu);
            AddressSpace &space = core_->space;
            const vexo::platform::WideString &position = core_->browsePosition;
            if (name.empty() && !core_->da10) {
                id = position; // the current branch
            } else if (!core_->da10 && SUCCEEDED(AddressSpace::CheckSyntax(name)) &&
                       (space.FindBranch(Join(position, name)) ||
                        (space.Find(Join(position, name)) &&
                         name.find(WCHAR('.')) == vexo::platform::WideStringView::npos))) {
                id = Join(position, name);
            } else if (SUCCEEDED(AddressSpace::CheckSyntax(name)) && space.Find(name)) {
                id = vexo::platform::WideString(name); // already a full item id
            } else {
                return E_INVALIDARG;
            }
        }
        *szItemID = TaskString(id);
        return S_OK;
    });
}

HRESULT SimServer::BrowseAccessPaths(LPCWSTR szItemID, LPENUMSTRING *ppIEnumString) {
    return Guard([&] {
        if (!ppIEnumString)
            return E_POINTER;
        *ppIEnumString = nullptr;
        HRESULT hr =
            core_->Enter("BrowseAccessPaths", [&] { return "item=" + Narrow(View(szItemID)); });
        if (FAILED(hr))
            return hr;
        std::vector<vexo::platform::WideString> paths;
        {
            std::lock_guard lock(core_->mu);
            Tag *tag = nullptr;
            if (HRESULT found = FindTag(szItemID, tag); FAILED(found))
                return found;
            paths = tag->accessPaths;
        }
        const bool empty = paths.empty();
        *ppIEnumString = platform::MakeCom<StringEnum>(std::move(paths)).Detach();
        return empty ? S_FALSE : S_OK;
    });
}

HRESULT SimServer::FindTag(LPCWSTR id, Tag *&tag) {
    tag = nullptr;
    if (FAILED(AddressSpace::CheckSyntax(View(id))))
        return OPC_E_INVALIDITEMID;
    tag = core_->space.Find(View(id));
    return tag ? S_OK : OPC_E_UNKNOWNITEMID;
}

} // namespace vexo::sim
