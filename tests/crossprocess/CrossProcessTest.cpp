//===- CrossProcessTest.cpp - OPC calls between two processes ------------===//
//
// Calls on the simulation server in its own process (the local-server
// program) through the registered proxies and stubs: every string returned
// through an out-parameter (a proxy generated without the string mend
// answers S_OK and leaves these pointers null), task memory on both sides of
// calls in either direction, and data callbacks into this process.
//
//===----------------------------------------------------------------------===//
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vexo/OPCCOMN.h>
#include <vexo/OPCDA.h>
#include <vexo/VexoSimulation.h>
#include <vexo/platform/Activation.h>
#include <vexo/platform/ComObject.h>
#include <vexo/platform/ComPtr.h>
#include <vexo/platform/TaskMemory.h>
#include <vexo/platform/WideString.h>

#include "platform/PlatformTestSupport.h"

namespace vexo {
namespace {

using platform::ComPtr;

/// Takes a task-memory string out of a call: its text, or "<null>".
std::string Take(LPWSTR text) {
    if (!text)
        return "<null>";
    std::string narrow = platform::WideToString(text);
    platform::CoTaskMemFree(text);
    return narrow;
}

/// The task-memory blocks the server's process holds.
long long ServerBlocks(IVexoSimControl *control) {
    LONGLONG blocks = -1;
    EXPECT_EQ(control->GetTaskMemoryBlocks(&blocks), S_OK);
    return blocks;
}

template <class I> ComPtr<I> CreateLocal(REFCLSID clsid) {
    ComPtr<I> object;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, platform::IidOf<I>(),
                               reinterpret_cast<void **>(object.GetAddressOf())),
              S_OK);
    return object;
}

TEST(CrossProcess, EveryStringOutParameterArrives) {
    // Each string a server returns through an out-parameter reaches the
    // caller in another process, and the caller frees every block it got.
    const long long blocksAtStart = platform::TaskMemLiveBlocks();
    {
        auto server = CreateLocal<IOPCServer>(CLSID_VexoSimulation);
        ASSERT_TRUE(server);
        LPWSTR text = nullptr;
        EXPECT_EQ(server->GetErrorString(OPC_E_INVALIDHANDLE, 0x0409, &text), S_OK);
        EXPECT_EQ(Take(text), "The handle is not valid.");

        auto common = server.As<IOPCCommon>();
        ASSERT_TRUE(common);
        EXPECT_EQ(common->GetErrorString(OPC_E_INVALIDHANDLE, &text), S_OK);
        EXPECT_EQ(Take(text), "The handle is not valid.");

        auto browse = server.As<IOPCBrowseServerAddressSpace>();
        ASSERT_TRUE(browse);
        platform::WideString leaf = platform::Utf8ToUtf16("Simulation.Random.String");
        EXPECT_EQ(browse->GetItemID(leaf.data(), &text), S_OK);
        EXPECT_EQ(Take(text), "Simulation.Random.String");

        OPCSERVERSTATUS *status = nullptr;
        ASSERT_EQ(server->GetStatus(&status), S_OK);
        ASSERT_NE(status, nullptr);
        EXPECT_EQ(Take(status->szVendorInfo), "Vexo Simulation Server");
        platform::CoTaskMemFree(status);

        OPCHANDLE group = 0;
        DWORD rate = 0;
        ComPtr<IUnknown> unknown;
        const platform::WideString name = platform::Utf8ToUtf16("Cross");
        ASSERT_EQ(server->AddGroup(name.c_str(), TRUE, 500, 1, nullptr, nullptr, 0x0409, &group,
                                   &rate, IID_IOPCGroupStateMgt,
                                   reinterpret_cast<LPUNKNOWN *>(unknown.GetAddressOf())),
                  S_OK);
        auto state = unknown.As<IOPCGroupStateMgt>();
        ASSERT_TRUE(state);
        DWORD updateRate = 0, lcid = 0;
        BOOL active = FALSE;
        LONG bias = 0;
        FLOAT deadband = 0;
        OPCHANDLE client = 0, serverHandle = 0;
        EXPECT_EQ(state->GetState(&updateRate, &active, &text, &bias, &deadband, &lcid, &client,
                                  &serverHandle),
                  S_OK);
        EXPECT_EQ(Take(text), "Cross");
        EXPECT_EQ(serverHandle, group);
        state = nullptr;
        unknown = nullptr;
        EXPECT_EQ(server->RemoveGroup(group, FALSE), S_OK);

        auto properties = server.As<IOPCItemProperties>();
        ASSERT_TRUE(properties);
        platform::WideString level = platform::Utf8ToUtf16("Simulation.Line 1.Level");
        DWORD ids[] = {100, 101};
        LPWSTR *found = nullptr;
        HRESULT *errors = nullptr;
        ASSERT_EQ(properties->LookupItemIDs(level.data(), 2, ids, &found, &errors), S_OK);
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(Take(found[0]), "Simulation.Line 1.Level EU");
        EXPECT_EQ(Take(found[1]), "Simulation.Line 1.Level Description");
        EXPECT_EQ(errors[0], S_OK);
        platform::CoTaskMemFree(found);
        platform::CoTaskMemFree(errors);

        DWORD count = 0;
        DWORD *propertyIds = nullptr;
        LPWSTR *descriptions = nullptr;
        VARTYPE *types = nullptr;
        ASSERT_EQ(properties->QueryAvailableProperties(level.data(), &count, &propertyIds,
                                                       &descriptions, &types),
                  S_OK);
        ASSERT_GT(count, 0u);
        std::vector<std::string> texts;
        for (DWORD i = 0; i < count; ++i)
            texts.push_back(Take(descriptions[i]));
        EXPECT_EQ(texts[0], "Item Canonical Data Type");
        platform::CoTaskMemFree(propertyIds);
        platform::CoTaskMemFree(descriptions);
        platform::CoTaskMemFree(types);

        auto control = server.As<IVexoSimControl>();
        ASSERT_TRUE(control);
        EXPECT_EQ(control->GetCallLog(&text), S_OK);
        EXPECT_NE(Take(text).find("GetErrorString"), std::string::npos);

        auto list = CreateLocal<IOPCServerList>(CLSID_OPCServerList);
        ASSERT_TRUE(list);
        LPOLESTR progId = nullptr, userType = nullptr;
        EXPECT_EQ(list->GetClassDetails(CLSID_VexoSimulation, &progId, &userType), S_OK);
        EXPECT_EQ(Take(progId), "Vexo.Simulation.1");
        EXPECT_EQ(Take(userType), "Vexo OPC DA Simulation Server");
    }
    EXPECT_EQ(platform::TaskMemLiveBlocks(), blocksAtStart);
}

/// Counts what a group's data callback receives.
class CountingSink final : public platform::ComObject<IOPCDataCallback> {
  public:
    int Changes = 0;
    std::string LastText;
    HRESULT STDMETHODCALLTYPE OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD dwCount,
                                           OPCHANDLE *, VARIANT *pvValues, WORD *, FILETIME *,
                                           HRESULT *) override {
        ++Changes;
        if (dwCount > 0 && pvValues[0].vt == VT_BSTR)
            LastText = platform::WideToString(pvValues[0].bstrVal);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnReadComplete(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD,
                                             OPCHANDLE *, VARIANT *, WORD *, FILETIME *,
                                             HRESULT *) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnWriteComplete(DWORD, OPCHANDLE, HRESULT, DWORD, OPCHANDLE *,
                                              HRESULT *) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnCancelComplete(DWORD, OPCHANDLE) override { return S_OK; }
};

TEST(CrossProcess, DataChangesOfAStringItemArrive) {
    // A data callback with a string value crosses into this process, from
    // the server's scan, during the client's own outgoing call, and the
    // server frees what it sent. This process's task memory is not compared:
    // Wine's stub keeps the block of the [in] VARIANT array of every callback
    // it dispatches.
    {
        auto server = CreateLocal<IOPCServer>(CLSID_VexoSimulation);
        ASSERT_TRUE(server);
        auto control = server.As<IVexoSimControl>();
        ASSERT_EQ(control->SetManualMode(TRUE), S_OK);
        OPCHANDLE group = 0;
        DWORD rate = 0;
        ComPtr<IUnknown> unknown;
        ASSERT_EQ(server->AddGroup(L"Data", TRUE, 100, 1, nullptr, nullptr, 0x0409, &group, &rate,
                                   IID_IOPCItemMgt,
                                   reinterpret_cast<LPUNKNOWN *>(unknown.GetAddressOf())),
                  S_OK);
        auto items = unknown.As<IOPCItemMgt>();
        platform::WideString id = platform::Utf8ToUtf16("Simulation.Random.String");
        OPCITEMDEF def{};
        def.szAccessPath = const_cast<LPWSTR>(L"");
        def.szItemID = id.data();
        def.bActive = TRUE;
        def.hClient = 7;
        OPCITEMRESULT *results = nullptr;
        HRESULT *errors = nullptr;
        ASSERT_EQ(items->AddItems(1, &def, &results, &errors), S_OK);
        platform::CoTaskMemFree(results);
        platform::CoTaskMemFree(errors);

        auto container = items.As<IConnectionPointContainer>();
        ComPtr<IConnectionPoint> point;
        ASSERT_EQ(container->FindConnectionPoint(IID_IOPCDataCallback, point.GetAddressOf()), S_OK);
        const long long serverAtAdvise = ServerBlocks(control.Get());
        auto sink = platform::MakeCom<CountingSink>();
        DWORD cookie = 0;
        ASSERT_EQ(point->Advise(sink->GetUnknown(), &cookie), S_OK);
        for (int i = 0; i < 5; ++i)
            ASSERT_EQ(control->RunScan(1000), S_OK);
        EXPECT_GE(sink->Changes, 5);
        EXPECT_FALSE(sink->LastText.empty());
        EXPECT_EQ(point->Unadvise(cookie), S_OK);
        EXPECT_EQ(ServerBlocks(control.Get()), serverAtAdvise); // the server freed what it sent
        point = nullptr;
        container = nullptr;
        items = nullptr;
        unknown = nullptr;
        EXPECT_EQ(server->RemoveGroup(group, FALSE), S_OK);
    }
}

TEST(CrossProcess, TaskMemoryCrossesBothWays) {
    // Out-parameters the server allocates are freed by this process, and
    // in-parameters this process sends are freed by the server's stub:
    // neither side keeps a block. Under Wine a stub keeps the block of a
    // top-level [in] array of records or VARIANTs (one per call, whatever its
    // length), so the server's count is not compared after such a call there.
    const bool wine = platform::test::RunningUnderWine();
    const long long clientAtStart = platform::TaskMemLiveBlocks();
    {
        auto server = CreateLocal<IOPCServer>(CLSID_VexoSimulation);
        ASSERT_TRUE(server);
        auto control = server.As<IVexoSimControl>();
        ASSERT_TRUE(control);
        long long serverExpected = ServerBlocks(control.Get());

        OPCHANDLE group = 0;
        DWORD rate = 0;
        ComPtr<IUnknown> unknown;
        ASSERT_EQ(server->AddGroup(L"Memory", TRUE, 100, 1, nullptr, nullptr, 0x0409, &group,
                                   &rate, IID_IOPCItemMgt,
                                   reinterpret_cast<LPUNKNOWN *>(unknown.GetAddressOf())),
                  S_OK);
        auto items = unknown.As<IOPCItemMgt>();
        auto sync = unknown.As<IOPCSyncIO>();
        ASSERT_TRUE(items && sync);
        EXPECT_EQ(ServerBlocks(control.Get()), serverExpected);

        // In: an array of records with strings. Out: results and errors.
        platform::WideString ids[] = {platform::Utf8ToUtf16("Simulation.Bucket.String"),
                                      platform::Utf8ToUtf16("Simulation.Bucket.Int4")};
        OPCITEMDEF defs[2]{};
        for (int i = 0; i < 2; ++i) {
            defs[i].szAccessPath = const_cast<LPWSTR>(L"");
            defs[i].szItemID = ids[i].data();
            defs[i].bActive = TRUE;
            defs[i].hClient = i + 1;
        }
        OPCITEMRESULT *results = nullptr;
        HRESULT *errors = nullptr;
        ASSERT_EQ(items->AddItems(2, defs, &results, &errors), S_OK);
        OPCHANDLE handles[2] = {results[0].hServer, results[1].hServer};
        platform::CoTaskMemFree(results);
        platform::CoTaskMemFree(errors);
        if (!wine) {
            EXPECT_EQ(ServerBlocks(control.Get()), serverExpected);
        }
        serverExpected = ServerBlocks(control.Get());

        // In: VARIANTs, one with a string that replaces the tag's string.
        VARIANT values[2];
        values[0].vt = VT_BSTR;
        values[0].bstrVal = SysAllocString(L"crossed");
        values[1].vt = VT_I4;
        values[1].lVal = 42;
        ASSERT_EQ(sync->Write(2, handles, values, &errors), S_OK);
        EXPECT_EQ(errors[0], S_OK);
        platform::CoTaskMemFree(errors);
        VariantClear(&values[0]);
        if (!wine) {
            EXPECT_EQ(ServerBlocks(control.Get()), serverExpected);
        }
        serverExpected = ServerBlocks(control.Get());

        // Out: records holding VARIANTs with a string, freed here.
        OPCITEMSTATE *states = nullptr;
        ASSERT_EQ(sync->Read(OPC_DS_DEVICE, 2, handles, &states, &errors), S_OK);
        ASSERT_EQ(states[0].vDataValue.vt, VT_BSTR);
        EXPECT_EQ(platform::WideToString(states[0].vDataValue.bstrVal), "crossed");
        EXPECT_EQ(states[1].vDataValue.lVal, 42);
        for (int i = 0; i < 2; ++i)
            VariantClear(&states[i].vDataValue);
        platform::CoTaskMemFree(states);
        platform::CoTaskMemFree(errors);
        EXPECT_EQ(ServerBlocks(control.Get()), serverExpected);

        // In: a plain array; out: a string.
        const HRESULT planned[2] = {S_OK, E_FAIL};
        EXPECT_EQ(control->SetNextItemErrors(L"NoSuchMethod", 2, planned), S_OK);
        LPWSTR text = nullptr;
        EXPECT_EQ(server->GetErrorString(E_FAIL, 0x0409, &text), S_OK);
        EXPECT_FALSE(Take(text).empty());
        EXPECT_EQ(ServerBlocks(control.Get()), serverExpected);

        ASSERT_EQ(items->RemoveItems(2, handles, &errors), S_OK);
        platform::CoTaskMemFree(errors);
        sync = nullptr;
        items = nullptr;
        unknown = nullptr;
        EXPECT_EQ(server->RemoveGroup(group, FALSE), S_OK);
    }
    EXPECT_EQ(platform::TaskMemLiveBlocks(), clientAtStart);
}

} // namespace
} // namespace vexo
