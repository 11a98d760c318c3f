//===- SimTestSupport.h - fixture and sinks for the server tests ----------===//
//
// This file defines the fixture every server test uses (a registered, freshly
// created simulation server in manual scan mode, with task memory, BSTR,
// SAFEARRAY and global-memory counters checked at TearDown) and recording
// sinks for IOPCDataCallback, IAdviseSink and IOPCShutdown.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <vexo/OPCCOMN.h>
#include <vexo/OPCDA.h>
#include <vexo/VexoSimulation.h>
#include <vexo/platform/Platform.h>

namespace vexo::simtest {

using platform::ComPtr;

/// One callback received by DataSink, with copies of everything.
struct Callback {
    std::string kind; ///< "data", "read", "write", "cancel"
    DWORD transId = 0;
    OPCHANDLE group = 0;
    HRESULT masterQuality = 0, masterError = 0;
    std::vector<OPCHANDLE> clients;
    std::vector<std::string> values; ///< text of each value ("" when empty)
    std::vector<VARTYPE> types;
    std::vector<WORD> qualities;
    std::vector<HRESULT> errors;
};

/// Text of a value for comparisons in tests ("" when empty).
inline std::string Text(const VARIANT &v) {
    if (v.vt == VT_EMPTY)
        return "";
    if (v.vt & VT_ARRAY)
        return "array";
    VARIANT s;
    platform::VariantInit(&s);
    if (FAILED(platform::VariantChangeType(&s, &v, 0, VT_BSTR)))
        return "?";
    std::string out = platform::WideToString(s.bstrVal);
    platform::VariantClear(&s);
    return out;
}
/// A VARIANT holding a copy of s (caller clears it).
inline VARIANT Bstr(const WCHAR *s) {
    VARIANT v;
    platform::VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = platform::SysAllocString(s);
    return v;
}
inline VARIANT I4(LONG x) {
    VARIANT v;
    platform::VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = x;
    return v;
}
inline VARIANT R8(double x) {
    VARIANT v;
    platform::VariantInit(&v);
    v.vt = VT_R8;
    v.dblVal = x;
    return v;
}

class DataSink final : public platform::ComObject<IOPCDataCallback> {
  public:
    HRESULT STDMETHODCALLTYPE OnDataChange(DWORD dwTransid, OPCHANDLE hGroup, HRESULT hrMasterquality,
                         HRESULT hrMastererror, DWORD dwCount, OPCHANDLE *phClientItems,
                         VARIANT *pvValues, WORD *pwQualities, FILETIME *pftTimeStamps,
                         HRESULT *pErrors) override;
    HRESULT STDMETHODCALLTYPE OnReadComplete(DWORD dwTransid, OPCHANDLE hGroup, HRESULT hrMasterquality,
                           HRESULT hrMastererror, DWORD dwCount, OPCHANDLE *phClientItems,
                           VARIANT *pvValues, WORD *pwQualities, FILETIME *pftTimeStamps,
                           HRESULT *pErrors) override;
    HRESULT STDMETHODCALLTYPE OnWriteComplete(DWORD dwTransid, OPCHANDLE hGroup, HRESULT hrMastererr, DWORD dwCount,
                            OPCHANDLE *pClienthandles, HRESULT *pErrors) override;
    HRESULT STDMETHODCALLTYPE OnCancelComplete(DWORD dwTransid, OPCHANDLE hGroup) override;

    std::vector<Callback> Take();
    std::size_t Count();
    /// Sets what runs inside each callback after it was recorded (on the server's thread).
    void SetOnCall(std::function<void(const Callback &)> f) {
        std::lock_guard lock(mu_);
        onCall_ = std::move(f);
    }

  private:
    void Record(Callback c);
    std::mutex mu_;
    std::vector<Callback> calls_;
    std::function<void(const Callback &)> onCall_;
};

/// Records the raw bytes of every stream it is given.
class StreamSink final : public platform::ComObject<IAdviseSink> {
  public:
    void STDMETHODCALLTYPE OnDataChange(FORMATETC *pFormatetc, STGMEDIUM *pStgmed) override;
    void STDMETHODCALLTYPE OnViewChange(DWORD, LONG) override {}
    void STDMETHODCALLTYPE OnRename(IMoniker *) override {}
    void STDMETHODCALLTYPE OnSave() override {}
    void STDMETHODCALLTYPE OnClose() override {}

    struct Stream {
        CLIPFORMAT format;
        std::vector<BYTE> bytes;
        SIZE_T globalSize;
    };
    std::vector<Stream> streams;
};

class ShutdownSink final : public platform::ComObject<IOPCShutdown> {
  public:
    HRESULT STDMETHODCALLTYPE ShutdownRequest(LPCWSTR szReason) override;
    std::mutex mu;
    std::vector<std::string> reasons;
    std::atomic<int> count{0};
};

/// The server under test, in manual scan mode, with leak checks.
class SimServerTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    /// Creates a server object of the given class (manual mode on).
    ComPtr<IOPCServer> CreateServer(const CLSID &clsid);

    /// Adds a group (asserting success) and returns its IOPCItemMgt.
    ComPtr<IOPCItemMgt> AddGroup(const WCHAR *name, BOOL active = TRUE, DWORD rate = 1000,
                                 OPCHANDLE client = 7, OPCHANDLE *server = nullptr,
                                 IOPCServer *on = nullptr);
    /// Adds items (client handle = position + 100) and returns each result code;
    /// server handles go to handles.
    std::vector<HRESULT> AddItems(IOPCItemMgt *group, const std::vector<vexo::platform::WideString> &ids,
                                  std::vector<OPCHANDLE> &handles, VARTYPE requested = VT_EMPTY,
                                  const WCHAR *path = nullptr, HRESULT *callResult = nullptr);
    /// Advises a new DataSink on the group's connection point.
    ComPtr<DataSink> Advise(IOPCItemMgt *group, DWORD *cookie = nullptr);
    /// Sync-reads one item and returns its value text (and quality, error).
    std::string ReadOne(IOPCItemMgt *group, OPCHANDLE h, OPCDATASOURCE source, WORD *quality,
                        HRESULT *error);
    std::vector<std::string> Log() { return SimCallLog(control.Get()); }

    ComPtr<IOPCServer> server;
    ComPtr<IVexoSimControl> control;

  private:
    long long taskBlocks_ = 0, bstrs_ = 0, arrays_ = 0, globals_ = 0;
};

// --- inline bodies -------------------------------------------------------------

inline Callback MakeCall(const char *kind, DWORD trans, OPCHANDLE group, HRESULT mq, HRESULT me,
                         DWORD n, const OPCHANDLE *clients, const VARIANT *values,
                         const WORD *qualities, const HRESULT *errors) {
    Callback c;
    c.kind = kind;
    c.transId = trans;
    c.group = group;
    c.masterQuality = mq;
    c.masterError = me;
    for (DWORD i = 0; i < n; ++i) {
        c.clients.push_back(clients[i]);
        if (values) {
            c.values.push_back(Text(values[i]));
            c.types.push_back(values[i].vt);
        }
        if (qualities)
            c.qualities.push_back(qualities[i]);
        c.errors.push_back(errors[i]);
    }
    return c;
}

inline void DataSink::Record(Callback c) {
    std::function<void(const Callback &)> f;
    {
        std::lock_guard lock(mu_);
        calls_.push_back(c);
        f = onCall_;
    }
    if (f)
        f(c);
}

inline HRESULT DataSink::OnDataChange(DWORD t, OPCHANDLE g, HRESULT mq, HRESULT me, DWORD n,
                                      OPCHANDLE *h, VARIANT *v, WORD *q, FILETIME *, HRESULT *e) {
    Record(MakeCall("data", t, g, mq, me, n, h, v, q, e));
    return S_OK;
}
inline HRESULT DataSink::OnReadComplete(DWORD t, OPCHANDLE g, HRESULT mq, HRESULT me, DWORD n,
                                        OPCHANDLE *h, VARIANT *v, WORD *q, FILETIME *,
                                        HRESULT *e) {
    Record(MakeCall("read", t, g, mq, me, n, h, v, q, e));
    return S_OK;
}
inline HRESULT DataSink::OnWriteComplete(DWORD t, OPCHANDLE g, HRESULT me, DWORD n,
                                         OPCHANDLE *h, HRESULT *e) {
    Record(MakeCall("write", t, g, S_OK, me, n, h, nullptr, nullptr, e));
    return S_OK;
}
inline HRESULT DataSink::OnCancelComplete(DWORD t, OPCHANDLE g) {
    Record(MakeCall("cancel", t, g, S_OK, S_OK, 0, nullptr, nullptr, nullptr, nullptr));
    return S_OK;
}
inline std::vector<Callback> DataSink::Take() {
    std::lock_guard lock(mu_);
    return std::exchange(calls_, {});
}
inline std::size_t DataSink::Count() {
    std::lock_guard lock(mu_);
    return calls_.size();
}

inline void StreamSink::OnDataChange(FORMATETC *fe, STGMEDIUM *medium) {
    Stream s{fe->cfFormat, {}, platform::GlobalSize(medium->hGlobal)};
    auto *p = static_cast<BYTE *>(platform::GlobalLock(medium->hGlobal));
    s.bytes.assign(p, p + s.globalSize);
    platform::GlobalUnlock(medium->hGlobal);
    streams.push_back(std::move(s));
}

inline HRESULT ShutdownSink::ShutdownRequest(LPCWSTR szReason) {
    std::lock_guard lock(mu);
    reasons.push_back(platform::WideToString(szReason));
    count.fetch_add(1);
    return S_OK;
}

inline void SimServerTest::SetUp() {
    RegisterSimulationServers();
    taskBlocks_ = platform::TaskMemLiveBlocks();
    bstrs_ = platform::BStrLiveCount();
    arrays_ = platform::SafeArrayLiveCount();
    globals_ = platform::GlobalLiveBlocks();
    server = CreateServer(CLSID_VexoSimulation);
    ASSERT_TRUE(server);
    control = server.As<IVexoSimControl>();
}

inline void SimServerTest::TearDown() {
    control = nullptr;
    server = nullptr;
    EXPECT_EQ(platform::TaskMemLiveBlocks(), taskBlocks_) << "task memory leaked";
    EXPECT_EQ(platform::BStrLiveCount(), bstrs_) << "BSTR leaked";
    EXPECT_EQ(platform::SafeArrayLiveCount(), arrays_) << "SAFEARRAY leaked";
    EXPECT_EQ(platform::GlobalLiveBlocks(), globals_) << "global memory leaked";
}

inline ComPtr<IOPCServer> SimServerTest::CreateServer(const CLSID &clsid) {
    ComPtr<IOPCServer> s;
    if (FAILED(platform::CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IOPCServer, s.PutVoid())))
        return nullptr;
    s.As<IVexoSimControl>()->SetManualMode(TRUE);
    return s;
}

inline ComPtr<IOPCItemMgt> SimServerTest::AddGroup(const WCHAR *name, BOOL active, DWORD rate,
                                                   OPCHANDLE client, OPCHANDLE *serverHandle,
                                                   IOPCServer *on) {
    IOPCServer *target = on ? on : server.Get();
    ComPtr<IOPCItemMgt> group;
    OPCHANDLE h = 0;
    DWORD revised = 0;
    const HRESULT hr = target->AddGroup(name, active, rate, client, nullptr, nullptr, 0, &h,
                                        &revised, IID_IOPCItemMgt,
                                        reinterpret_cast<LPUNKNOWN *>(group.ReleaseAndGetAddressOf()));
    EXPECT_TRUE(SUCCEEDED(hr)) << std::hex << hr;
    if (serverHandle)
        *serverHandle = h;
    return group;
}

inline std::vector<HRESULT> SimServerTest::AddItems(IOPCItemMgt *group,
                                                    const std::vector<vexo::platform::WideString> &ids,
                                                    std::vector<OPCHANDLE> &handles,
                                                    VARTYPE requested, const WCHAR *path,
                                                    HRESULT *callResult) {
    std::vector<OPCITEMDEF> defs(ids.size());
    for (std::size_t i = 0; i < ids.size(); ++i) {
        defs[i].szAccessPath = const_cast<LPWSTR>(path ? path : OLESTR(""));
        defs[i].szItemID = const_cast<LPWSTR>(ids[i].c_str());
        defs[i].bActive = TRUE;
        defs[i].hClient = static_cast<OPCHANDLE>(100 + i);
        defs[i].vtRequestedDataType = requested;
    }
    OPCITEMRESULT *results = nullptr;
    HRESULT *errors = nullptr;
    const HRESULT hr = group->AddItems(static_cast<DWORD>(ids.size()), defs.data(), &results, &errors);
    if (callResult)
        *callResult = hr;
    std::vector<HRESULT> codes;
    handles.clear();
    if (FAILED(hr))
        return codes;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        codes.push_back(errors[i]);
        handles.push_back(results[i].hServer);
        EXPECT_EQ(results[i].pBlob, nullptr);
    }
    platform::CoTaskMemFree(results);
    platform::CoTaskMemFree(errors);
    return codes;
}

inline ComPtr<DataSink> SimServerTest::Advise(IOPCItemMgt *group, DWORD *cookie) {
    auto sink = platform::MakeCom<DataSink>();
    ComPtr<IConnectionPointContainer> cpc;
    EXPECT_EQ(group->QueryInterface(IID_IConnectionPointContainer, cpc.PutVoid()), S_OK);
    ComPtr<IConnectionPoint> cp;
    EXPECT_EQ(cpc->FindConnectionPoint(IID_IOPCDataCallback, cp.ReleaseAndGetAddressOf()), S_OK);
    DWORD c = 0;
    EXPECT_EQ(cp->Advise(sink->GetUnknown(), &c), S_OK);
    if (cookie)
        *cookie = c;
    return sink;
}

inline std::string SimServerTest::ReadOne(IOPCItemMgt *group, OPCHANDLE h, OPCDATASOURCE source,
                                          WORD *quality, HRESULT *error) {
    auto sync = ComPtr<IOPCItemMgt>(group).As<IOPCSyncIO>();
    OPCITEMSTATE *states = nullptr;
    HRESULT *errors = nullptr;
    const HRESULT hr = sync->Read(source, 1, &h, &states, &errors);
    EXPECT_TRUE(SUCCEEDED(hr));
    if (FAILED(hr))
        return "<failed>";
    std::string text = Text(states[0].vDataValue);
    if (quality)
        *quality = states[0].wQuality;
    if (error)
        *error = errors[0];
    platform::VariantClear(&states[0].vDataValue);
    platform::CoTaskMemFree(states);
    platform::CoTaskMemFree(errors);
    return text;
}

} // namespace vexo::simtest
