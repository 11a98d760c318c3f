//===- PropertyResults.h - releasing what item-property calls return -----===//
//
// The item-property calls of the server hand back arrays in task memory
// (ids, descriptions, data types, values, item ids, error codes). These
// holders free them, strings and variants included, whatever path the
// caller leaves by, so no failure can leak server memory.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <string>

#include <vexo/OPCDA.h>
#include <vexo/platform/TaskMemory.h>
#include <vexo/platform/Variant.h>
#include <vexo/platform/WideString.h>

namespace vexo::detail {

/// Result of QueryAvailableProperties.
struct TPropertyListing {
    DWORD Count = 0;
    DWORD *IDs = nullptr;
    LPWSTR *Descriptions = nullptr;
    VARTYPE *DataTypes = nullptr;
    TPropertyListing() = default;
    TPropertyListing(const TPropertyListing &) = delete;
    TPropertyListing &operator=(const TPropertyListing &) = delete;
    ~TPropertyListing() {
        if (Descriptions)
            for (DWORD i = 0; i < Count; ++i)
                platform::CoTaskMemFree(Descriptions[i]);
        platform::CoTaskMemFree(Descriptions);
        platform::CoTaskMemFree(IDs);
        platform::CoTaskMemFree(DataTypes);
    }
    /// Count, or 0 when the server left an array out (nothing can be read then).
    DWORD Usable() const { return (IDs && Descriptions && DataTypes) ? Count : 0; }
};

/// Result of GetItemProperties for Count requested ids.
struct TPropertyValues {
    DWORD Count;
    VARIANT *Values = nullptr;
    HRESULT *Errors = nullptr;
    explicit TPropertyValues(DWORD ACount) : Count(ACount) {}
    TPropertyValues(const TPropertyValues &) = delete;
    TPropertyValues &operator=(const TPropertyValues &) = delete;
    ~TPropertyValues() {
        if (Values)
            for (DWORD i = 0; i < Count; ++i)
                platform::VariantClear(&Values[i]);
        platform::CoTaskMemFree(Values);
        platform::CoTaskMemFree(Errors);
    }
};

/// Result of LookupItemIDs for Count requested ids.
struct TPropertyItemIDs {
    DWORD Count;
    LPWSTR *ItemIDs = nullptr;
    HRESULT *Errors = nullptr;
    explicit TPropertyItemIDs(DWORD ACount) : Count(ACount) {}
    TPropertyItemIDs(const TPropertyItemIDs &) = delete;
    TPropertyItemIDs &operator=(const TPropertyItemIDs &) = delete;
    ~TPropertyItemIDs() {
        if (ItemIDs)
            for (DWORD i = 0; i < Count; ++i)
                platform::CoTaskMemFree(ItemIDs[i]);
        platform::CoTaskMemFree(ItemIDs);
        platform::CoTaskMemFree(Errors);
    }
};

} // namespace vexo::detail
