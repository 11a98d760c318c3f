//===- DataObject.cpp - the DA 1.0 IDataObject of a group -----------------===//
//
// DAdvise accepts the three stream formats on TYMED_HGLOBAL. A new data
// advise first hears every active, readable item of an active group (possibly
// before DAdvise returns); afterwards every data advise receives the group's
// changes. IOPCAsyncIO reads and refreshes answer through the data advise they
// name, writes through the write-complete advise they name.
//
//===----------------------------------------------------------------------===//
#include "ComHelpers.h"
#include "Delivery.h"
#include "GroupObject.h"

namespace vexo::sim {
namespace {

const char *FormatName(CLIPFORMAT f) {
    const auto &formats = StreamFormats::Get();
    if (f == formats.data)
        return "OPCSTMFORMATDATA";
    if (f == formats.dataTime)
        return "OPCSTMFORMATDATATIME";
    if (f == formats.writeComplete)
        return "OPCSTMFORMATWRITECOMPLETE";
    return "unknown";
}

HRESULT CheckFormat(const FORMATETC *fe) {
    if (!fe)
        return E_INVALIDARG;
    const auto &formats = StreamFormats::Get();
    if (fe->cfFormat != formats.data && fe->cfFormat != formats.dataTime &&
        fe->cfFormat != formats.writeComplete)
        return DV_E_FORMATETC;
    if (!(fe->tymed & TYMED_HGLOBAL))
        return DV_E_TYMED;
    return S_OK;
}

} // namespace

HRESULT SimGroup::GetData(FORMATETC *, STGMEDIUM *) { return E_NOTIMPL; }
HRESULT SimGroup::GetDataHere(FORMATETC *, STGMEDIUM *) { return E_NOTIMPL; }
HRESULT SimGroup::QueryGetData(FORMATETC *pformatetc) { return CheckFormat(pformatetc); }
HRESULT SimGroup::GetCanonicalFormatEtc(FORMATETC *, FORMATETC *pformatetcOut) {
    if (pformatetcOut)
        pformatetcOut->ptd = nullptr;
    return E_NOTIMPL;
}
HRESULT SimGroup::SetData(FORMATETC *, STGMEDIUM *, BOOL) { return E_NOTIMPL; }
HRESULT SimGroup::EnumFormatEtc(DWORD, IEnumFORMATETC **ppenumFormatEtc) {
    if (!ppenumFormatEtc)
        return E_POINTER;
    *ppenumFormatEtc = nullptr;
    return E_NOTIMPL;
}
HRESULT SimGroup::EnumDAdvise(IEnumSTATDATA **ppenumAdvise) {
    if (!ppenumAdvise)
        return E_POINTER;
    *ppenumAdvise = nullptr;
    return E_NOTIMPL;
}

HRESULT SimGroup::DAdvise(FORMATETC *pformatetc, DWORD advf, IAdviseSink *pAdvSink,
                          DWORD *pdwConnection) {
    return Guard([&] {
        if (!pdwConnection)
            return E_POINTER;
        *pdwConnection = 0;
        HRESULT hr = Enter("DAdvise", [&] {
            return std::string("format=") + (pformatetc ? FormatName(pformatetc->cfFormat) : "none") +
                   " advf=" + std::to_string(advf);
        });
        if (FAILED(hr))
            return hr;
        const HRESULT answer = hr; // a planned success code is the answer of a done advise
        if (!pAdvSink)
            return E_INVALIDARG;
        if (HRESULT bad = CheckFormat(pformatetc); FAILED(bad))
            return bad;
        EarlyWork early;
        {
            std::lock_guard lock(core_->mu);
            GroupState &g = *group_;
            if (!g.inNameSpace)
                return E_FAIL;
            const DWORD connection = core_->nextCookie++;
            g.advises.push_back(
                {connection, pformatetc->cfFormat, platform::ComPtr<IAdviseSink>(pAdvSink)});
            *pdwConnection = connection;
            if (pformatetc->cfFormat != StreamFormats::Get().writeComplete) {
                Job initial{Job::Initial, group_};
                initial.audience = Job::NewAdvise;
                initial.connection = connection;
                core_->Submit(std::move(initial), early);
            }
        }
        early.Deliver();
        return answer;
    });
}

HRESULT SimGroup::DUnadvise(DWORD dwConnection) {
    return Guard([&] {
        HRESULT hr =
            Enter("DUnadvise", [&] { return "connection=" + std::to_string(dwConnection); });
        if (FAILED(hr))
            return hr;
        platform::ComPtr<IAdviseSink> released; // released after the lock
        std::lock_guard lock(core_->mu);
        auto &advises = group_->advises;
        for (auto it = advises.begin(); it != advises.end(); ++it) {
            if (it->connection == dwConnection) {
                released = std::move(it->sink);
                advises.erase(it);
                return S_OK;
            }
        }
        return OLE_E_NOCONNECTION;
    });
}

} // namespace vexo::sim
