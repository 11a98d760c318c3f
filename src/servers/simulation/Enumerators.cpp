//===- Enumerators.cpp - string, GUID and object enumerators --------------===//
//
// Next follows the COM rules: S_OK when celt elements came back, S_FALSE when
// fewer, E_INVALIDARG for a null fetched-count with celt > 1.
//
//===----------------------------------------------------------------------===//
#include "Enumerators.h"

#include "ComHelpers.h"

namespace vexo::sim {
namespace {

template <class Items> HRESULT SkipIn(const Items &items, std::size_t &pos, ULONG celt) {
    const std::size_t left = items.size() - pos;
    pos += celt < left ? celt : left;
    return celt <= left ? S_OK : S_FALSE;
}

HRESULT CheckNext(ULONG celt, void *rgelt, ULONG *fetched) {
    if (fetched)
        *fetched = 0;
    if (!rgelt)
        return E_POINTER;
    if (!fetched && celt > 1)
        return E_INVALIDARG;
    return S_OK;
}

} // namespace

StringEnum::StringEnum(std::vector<vexo::platform::WideString> items, std::size_t pos)
    : items_(std::move(items)), pos_(pos) {}

HRESULT StringEnum::Next(ULONG celt, LPOLESTR *rgelt, ULONG *pceltFetched) {
    return Guard([&] {
        if (HRESULT hr = CheckNext(celt, rgelt, pceltFetched); FAILED(hr))
            return hr;
        ULONG n = 0;
        try {
            for (; n < celt && pos_ < items_.size(); ++n, ++pos_)
                rgelt[n] = TaskString(items_[pos_]);
        } catch (...) {
            for (ULONG i = 0; i < n; ++i)
                FreeTask(rgelt[i]);
            throw;
        }
        if (pceltFetched)
            *pceltFetched = n;
        return n == celt ? S_OK : S_FALSE;
    });
}

HRESULT StringEnum::Skip(ULONG celt) { return SkipIn(items_, pos_, celt); }
HRESULT StringEnum::Reset() {
    pos_ = 0;
    return S_OK;
}
HRESULT StringEnum::Clone(IEnumString **ppenum) {
    return Guard([&] {
        if (!ppenum)
            return E_POINTER;
        *ppenum = platform::MakeCom<StringEnum>(items_, pos_).Detach();
        return S_OK;
    });
}

GuidEnum::GuidEnum(std::vector<GUID> items, std::size_t pos) : items_(std::move(items)), pos_(pos) {}

HRESULT GuidEnum::Next(ULONG celt, GUID *rgelt, ULONG *pceltFetched) {
    if (HRESULT hr = CheckNext(celt, rgelt, pceltFetched); FAILED(hr))
        return hr;
    ULONG n = 0;
    for (; n < celt && pos_ < items_.size(); ++n, ++pos_)
        rgelt[n] = items_[pos_];
    if (pceltFetched)
        *pceltFetched = n;
    return n == celt ? S_OK : S_FALSE;
}

HRESULT GuidEnum::Skip(ULONG celt) { return SkipIn(items_, pos_, celt); }
HRESULT GuidEnum::Reset() {
    pos_ = 0;
    return S_OK;
}
HRESULT GuidEnum::Clone(IEnumGUID **ppenum) {
    return Guard([&] {
        if (!ppenum)
            return E_POINTER;
        *ppenum = platform::MakeCom<GuidEnum>(items_, pos_).Detach();
        return S_OK;
    });
}

UnknownEnum::UnknownEnum(std::vector<platform::ComPtr<IUnknown>> items, std::size_t pos)
    : items_(std::move(items)), pos_(pos) {}

HRESULT UnknownEnum::Next(ULONG celt, IUnknown **rgelt, ULONG *pceltFetched) {
    if (HRESULT hr = CheckNext(celt, rgelt, pceltFetched); FAILED(hr))
        return hr;
    ULONG n = 0;
    for (; n < celt && pos_ < items_.size(); ++n, ++pos_) {
        rgelt[n] = items_[pos_].Get();
        rgelt[n]->AddRef();
    }
    if (pceltFetched)
        *pceltFetched = n;
    return n == celt ? S_OK : S_FALSE;
}

HRESULT UnknownEnum::Skip(ULONG celt) { return SkipIn(items_, pos_, celt); }
HRESULT UnknownEnum::Reset() {
    pos_ = 0;
    return S_OK;
}
HRESULT UnknownEnum::Clone(IEnumUnknown **ppenum) {
    return Guard([&] {
        if (!ppenum)
            return E_POINTER;
        *ppenum = platform::MakeCom<UnknownEnum>(items_, pos_).Detach();
        return S_OK;
    });
}

} // namespace vexo::sim
