//===- ServerProperties.cpp - IOPCItemProperties of the server ------------===//
//
// Every tag has the properties 1 to 6; analog tags add 7 and 8 (EU type and
// range); tags with units or a description add 100 and 101; some tags carry
// vendor properties, with item ids behind them (LookupItemIDs) or a read that
// fails. Properties 1 to 8 describe the item itself and have no item id.
//
//===----------------------------------------------------------------------===//
#include "ComHelpers.h"
#include "ServerObject.h"

namespace vexo::sim {
namespace {

struct PropertyInfo {
    DWORD id;
    VARTYPE vt;
    const WCHAR *description;
};

std::vector<PropertyInfo> PropertiesOf(const Tag &tag) {
    std::vector<PropertyInfo> p = {{1, VT_I2, OLESTR("Item Canonical Data Type")},
                                   {2, VT_VARIANT, OLESTR("Item Value")},
                                   {3, VT_I2, OLESTR("Item Quality")},
                                   {4, VT_DATE, OLESTR("Item Time Stamp")},
                                   {5, VT_I4, OLESTR("Item Access Rights")},
                                   {6, VT_R4, OLESTR("Server Scan Rate")}};
    if (tag.IsAnalog()) {
        p.push_back({7, VT_I4, OLESTR("Item EU Type")});
        p.push_back({8, VT_ARRAY | VT_R8, OLESTR("Item EU Info")});
    }
    if (!tag.units.empty())
        p.push_back({100, VT_BSTR, OLESTR("EU Units")});
    if (!tag.description.empty())
        p.push_back({101, VT_BSTR, OLESTR("Item Description")});
    for (const auto &extra : tag.extraProperties)
        if (extra.id >= OPC_PROP_VENDOR_FIRST)
            p.push_back({extra.id, VT_BSTR, OLESTR("Maintenance Note")});
    return p;
}

bool Has(const std::vector<PropertyInfo> &list, DWORD id) {
    for (const auto &p : list)
        if (p.id == id)
            return true;
    return false;
}

DATE FileTimeToDate(const FILETIME &ft) {
    const double ticks = double(ULONGLONG(ft.dwHighDateTime) << 32 | ft.dwLowDateTime);
    return (ticks / 1e7 - 11644473600.0) / 86400.0 + 25569.0;
}

void SetBstr(VARIANT &v, const vexo::platform::WideString &s) {
    v.vt = VT_BSTR;
    v.bstrVal = platform::SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
    if (!v.bstrVal)
        throw std::bad_alloc();
}

/// The property's value into v, or the per-item failure code.
HRESULT ReadProperty(const Tag &tag, DWORD id, DWORD scanRate, VARIANT &v) {
    switch (id) {
    case 1: v.vt = VT_I2; v.iVal = static_cast<SHORT>(tag.vt); return S_OK;
    case 2:
        if (!(tag.rights & OPC_READABLE))
            return OPC_E_BADRIGHTS;
        return platform::VariantCopy(&v, &tag.value.Get());
    case 3: v.vt = VT_I2; v.iVal = static_cast<SHORT>(tag.quality); return S_OK;
    case 4: v.vt = VT_DATE; v.date = FileTimeToDate(tag.stamp); return S_OK;
    case 5: v.vt = VT_I4; v.lVal = static_cast<LONG>(tag.rights); return S_OK;
    case 6: v.vt = VT_R4; v.fltVal = static_cast<float>(scanRate); return S_OK;
    case 7: v.vt = VT_I4; v.lVal = tag.euType; return S_OK;
    case 8: {
        SAFEARRAY *psa = platform::SafeArrayCreateVector(VT_R8, 0, 2);
        if (!psa)
            return E_OUTOFMEMORY;
        LONG i = 0;
        double lo = tag.euLow, hi = tag.euHigh;
        platform::SafeArrayPutElement(psa, &i, &lo);
        i = 1;
        platform::SafeArrayPutElement(psa, &i, &hi);
        v.vt = VT_ARRAY | VT_R8;
        v.parray = psa;
        return S_OK;
    }
    case 100: SetBstr(v, tag.units); return S_OK;
    case 101: SetBstr(v, tag.description); return S_OK;
    default:
        for (const auto &extra : tag.extraProperties)
            if (extra.id == id && FAILED(extra.readError))
                return extra.readError;
        SetBstr(v, OLESTR("checked 2024-01-01"));
        return S_OK;
    }
}

std::string IdList(DWORD n, const DWORD *ids) {
    std::string s;
    for (DWORD i = 0; i < n && ids; ++i)
        s += (i ? "," : "") + std::to_string(ids[i]);
    return s;
}

} // namespace

HRESULT SimServer::QueryAvailableProperties(LPWSTR szItemID, DWORD *pdwCount,
                                            DWORD **ppPropertyIDs, LPWSTR **ppDescriptions,
                                            VARTYPE **ppvtDataTypes) {
    return Guard([&] {
        if (!pdwCount || !ppPropertyIDs || !ppDescriptions || !ppvtDataTypes)
            return E_POINTER;
        *pdwCount = 0;
        *ppPropertyIDs = nullptr;
        *ppDescriptions = nullptr;
        *ppvtDataTypes = nullptr;
        HRESULT hr = core_->Enter("QueryAvailableProperties",
                                  [&] { return "item=" + Narrow(View(szItemID)); });
        if (FAILED(hr))
            return hr;
        std::vector<PropertyInfo> props;
        {
            std::lock_guard lock(core_->mu);
            Tag *tag = nullptr;
            if (HRESULT found = FindTag(szItemID, tag); FAILED(found))
                return found;
            props = PropertiesOf(*tag);
        }
        const std::size_t n = props.size();
        DWORD *ids = TaskArray<DWORD>(n);
        LPWSTR *texts = nullptr;
        VARTYPE *types = nullptr;
        try {
            texts = TaskArray<LPWSTR>(n);
            types = TaskArray<VARTYPE>(n);
            for (std::size_t i = 0; i < n; ++i) {
                ids[i] = props[i].id;
                types[i] = props[i].vt;
                texts[i] = TaskString(props[i].description);
            }
        } catch (...) {
            for (std::size_t i = 0; texts && i < n; ++i)
                platform::CoTaskMemFree(texts[i]);
            platform::CoTaskMemFree(ids);
            platform::CoTaskMemFree(texts);
            platform::CoTaskMemFree(types);
            throw;
        }
        *pdwCount = static_cast<DWORD>(n);
        *ppPropertyIDs = ids;
        *ppDescriptions = texts;
        *ppvtDataTypes = types;
        return S_OK;
    });
}

HRESULT SimServer::GetItemProperties(LPWSTR szItemID, DWORD dwCount, DWORD *pdwPropertyIDs,
                                     VARIANT **ppvData, HRESULT **ppErrors) {
    return Guard([&] {
        if (!ppvData || !ppErrors)
            return E_POINTER;
        *ppvData = nullptr;
        *ppErrors = nullptr;
        HRESULT hr = core_->Enter("GetItemProperties", [&] {
            return "item=" + Narrow(View(szItemID)) + " ids=" + IdList(dwCount, pdwPropertyIDs);
        });
        if (FAILED(hr))
            return hr;
        if (dwCount == 0)
            return E_INVALIDARG;
        if (!pdwPropertyIDs)
            return E_POINTER;
        const auto planned = core_->faults.TakeItemErrors("GetItemProperties");
        VARIANT *values = TaskArray<VARIANT>(dwCount);
        HRESULT *errors = nullptr;
        try {
            errors = TaskArray<HRESULT>(dwCount);
            std::lock_guard lock(core_->mu);
            Tag *tag = nullptr;
            if (HRESULT found = FindTag(szItemID, tag); FAILED(found)) {
                platform::CoTaskMemFree(values);
                platform::CoTaskMemFree(errors);
                return found;
            }
            const auto props = PropertiesOf(*tag);
            for (DWORD i = 0; i < dwCount; ++i) {
                const HRESULT plan = PlannedAt(planned, i);
                if (FAILED(plan))
                    errors[i] = plan;
                else if (!Has(props, pdwPropertyIDs[i]))
                    errors[i] = OPC_E_INVALID_PID;
                else
                    errors[i] = ReadProperty(*tag, pdwPropertyIDs[i], core_->granularity, values[i]);
                if (SUCCEEDED(errors[i]) && plan != S_OK)
                    errors[i] = plan;
                if (errors[i] != S_OK)
                    hr = S_FALSE;
            }
        } catch (...) {
            for (DWORD i = 0; i < dwCount; ++i)
                platform::VariantClear(&values[i]);
            platform::CoTaskMemFree(values);
            platform::CoTaskMemFree(errors);
            throw;
        }
        *ppvData = values;
        *ppErrors = errors;
        return hr;
    });
}

HRESULT SimServer::LookupItemIDs(LPWSTR szItemID, DWORD dwCount, DWORD *pdwPropertyIDs,
                                 LPWSTR **ppszNewItemIDs, HRESULT **ppErrors) {
    return Guard([&] {
        if (!ppszNewItemIDs || !ppErrors)
            return E_POINTER;
        *ppszNewItemIDs = nullptr;
        *ppErrors = nullptr;
        HRESULT hr = core_->Enter("LookupItemIDs", [&] {
            return "item=" + Narrow(View(szItemID)) + " ids=" + IdList(dwCount, pdwPropertyIDs);
        });
        if (FAILED(hr))
            return hr;
        if (dwCount == 0)
            return E_INVALIDARG;
        if (!pdwPropertyIDs)
            return E_POINTER;
        const auto planned = core_->faults.TakeItemErrors("LookupItemIDs");
        std::vector<vexo::platform::WideString> ids(dwCount);
        std::vector<HRESULT> codes(dwCount, S_OK);
        {
            std::lock_guard lock(core_->mu);
            Tag *tag = nullptr;
            if (HRESULT found = FindTag(szItemID, tag); FAILED(found))
                return found;
            const auto props = PropertiesOf(*tag);
            for (DWORD i = 0; i < dwCount; ++i) {
                const DWORD id = pdwPropertyIDs[i];
                codes[i] = !Has(props, id) || id <= 8 ? OPC_E_INVALID_PID : E_FAIL;
                for (const auto &extra : tag->extraProperties)
                    if (extra.id == id && !extra.itemId.empty()) {
                        ids[i] = extra.itemId;
                        codes[i] = S_OK;
                    }
                if (const HRESULT plan = PlannedAt(planned, i); plan != S_OK)
                    codes[i] = plan;
                if (FAILED(codes[i]))
                    ids[i].clear();
            }
        }
        LPWSTR *out = TaskArray<LPWSTR>(dwCount);
        HRESULT *errors = nullptr;
        try {
            errors = TaskArray<HRESULT>(dwCount);
            for (DWORD i = 0; i < dwCount; ++i) {
                errors[i] = codes[i];
                if (SUCCEEDED(codes[i]))
                    out[i] = TaskString(ids[i]);
                if (codes[i] != S_OK)
                    hr = S_FALSE;
            }
        } catch (...) {
            for (DWORD i = 0; i < dwCount; ++i)
                platform::CoTaskMemFree(out[i]);
            platform::CoTaskMemFree(out);
            platform::CoTaskMemFree(errors);
            throw;
        }
        *ppszNewItemIDs = out;
        *ppErrors = errors;
        return hr;
    });
}

} // namespace vexo::sim
