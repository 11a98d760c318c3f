//===- ServerGroupsTest.cpp - server object, groups and test control ------===//
#include "SimTestSupport.h"

namespace vexo::simtest {
namespace {

using ServerGroups = SimServerTest;

// Group names are unique per server; an empty name gets a generated unique one.
TEST_F(ServerGroups, GroupNamesAreUniqueAndEmptyNamesAreGenerated) {
    auto g1 = AddGroup(OLESTR("G"));
    ComPtr<IUnknown> unk;
    OPCHANDLE h = 0;
    DWORD revised = 0;
    EXPECT_EQ(server->AddGroup(OLESTR("G"), TRUE, 1000, 1, nullptr, nullptr, 0, &h, &revised,
                               IID_IOPCItemMgt, unk.ReleaseAndGetAddressOf()),
              OPC_E_DUPLICATENAME);
    EXPECT_FALSE(unk);
    auto a = AddGroup(OLESTR(""));
    auto b = AddGroup(OLESTR(""));
    LPWSTR nameA = nullptr, nameB = nullptr;
    DWORD rate;
    BOOL active;
    LONG bias;
    FLOAT deadband;
    DWORD lcid;
    OPCHANDLE client, serverHandle;
    auto stateA = a.As<IOPCGroupStateMgt>();
    auto stateB = b.As<IOPCGroupStateMgt>();
    ASSERT_EQ(stateA->GetState(&rate, &active, &nameA, &bias, &deadband, &lcid, &client,
                               &serverHandle),
              S_OK);
    ASSERT_EQ(stateB->GetState(&rate, &active, &nameB, &bias, &deadband, &lcid, &client,
                               &serverHandle),
              S_OK);
    EXPECT_NE(platform::WideToString(nameA), "");
    EXPECT_NE(platform::WideToString(nameA), platform::WideToString(nameB));
    platform::CoTaskMemFree(nameA);
    platform::CoTaskMemFree(nameB);
    // Renaming onto another group's name is refused; onto its own name is fine.
    EXPECT_EQ(stateA->SetName(OLESTR("G")), OPC_E_DUPLICATENAME);
    EXPECT_EQ(g1.As<IOPCGroupStateMgt>()->SetName(OLESTR("G")), S_OK);
    EXPECT_EQ(stateA->SetName(OLESTR("")), E_INVALIDARG);
}

// Update rates are revised to the granularity, and the revision is reported.
TEST_F(ServerGroups, UpdateRatesAreRevisedToTheGranularity) {
    ComPtr<IUnknown> unk;
    OPCHANDLE h = 0;
    DWORD revised = 0;
    EXPECT_EQ(server->AddGroup(OLESTR("A"), TRUE, 1000, 1, nullptr, nullptr, 0, &h, &revised,
                               IID_IOPCItemMgt, unk.ReleaseAndGetAddressOf()),
              S_OK);
    EXPECT_EQ(revised, 1000u);
    EXPECT_EQ(server->AddGroup(OLESTR("B"), TRUE, 0, 1, nullptr, nullptr, 0, &h, &revised,
                               IID_IOPCItemMgt, unk.ReleaseAndGetAddressOf()),
              OPC_S_UNSUPPORTEDRATE);
    EXPECT_EQ(revised, 100u);
    ASSERT_EQ(control->SetRateGranularity(1000), S_OK);
    auto state = unk.As<IOPCGroupStateMgt>();
    DWORD rate = 500;
    EXPECT_EQ(state->SetState(&rate, &revised, nullptr, nullptr, nullptr, nullptr, nullptr),
              OPC_S_UNSUPPORTEDRATE);
    EXPECT_EQ(revised, 1000u);
    // No requested rate keeps the current one.
    EXPECT_EQ(state->SetState(nullptr, &revised, nullptr, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(revised, 1000u);
    FLOAT bad = 101;
    EXPECT_EQ(state->SetState(nullptr, &revised, nullptr, nullptr, &bad, nullptr, nullptr),
              E_INVALIDARG);
}

// GetStatus hands over two task-memory blocks; a chosen status is reported as given.
TEST_F(ServerGroups, StatusIsLiveOrChosen) {
    auto g = AddGroup(OLESTR("G"));
    const long long before = platform::TaskMemLiveBlocks();
    OPCSERVERSTATUS *status = nullptr;
    ASSERT_EQ(server->GetStatus(&status), S_OK);
    EXPECT_EQ(platform::TaskMemLiveBlocks(), before + 2);
    EXPECT_EQ(status->dwServerState, OPC_STATUS_RUNNING);
    EXPECT_EQ(status->dwGroupCount, 1u);
    EXPECT_NE(status->ftStartTime.dwHighDateTime, 0u);
    EXPECT_EQ(platform::WideToString(status->szVendorInfo), "Vexo Simulation Server");
    platform::CoTaskMemFree(status->szVendorInfo);
    platform::CoTaskMemFree(status);

    OPCSERVERSTATUS chosen{};
    chosen.dwServerState = OPC_STATUS_SUSPENDED;
    chosen.dwBandWidth = 42;
    chosen.wMajorVersion = 7;
    chosen.wMinorVersion = 8;
    chosen.wBuildNumber = 9;
    chosen.szVendorInfo = const_cast<LPWSTR>(OLESTR("Acme \"Test\""));
    ASSERT_EQ(control->SetStatus(&chosen), S_OK);
    ASSERT_EQ(server->GetStatus(&status), S_OK);
    EXPECT_EQ(status->dwServerState, OPC_STATUS_SUSPENDED);
    EXPECT_EQ(status->ftStartTime.dwHighDateTime, 0u); // all-zero times as given
    EXPECT_EQ(status->ftCurrentTime.dwLowDateTime, 0u);
    EXPECT_EQ(status->dwBandWidth, 42u);
    EXPECT_EQ(status->wBuildNumber, 9);
    EXPECT_EQ(platform::WideToString(status->szVendorInfo), "Acme \"Test\"");
    platform::CoTaskMemFree(status->szVendorInfo);
    platform::CoTaskMemFree(status);
}

// A planned failure fails exactly the next call of that method and returns no arrays.
TEST_F(ServerGroups, PlannedFailureHitsTheNextCallOnly) {
    ASSERT_EQ(control->FailNextCall(OLESTR("GetStatus"), E_OUTOFMEMORY), S_OK);
    OPCSERVERSTATUS *status = reinterpret_cast<OPCSERVERSTATUS *>(1);
    EXPECT_EQ(server->GetStatus(&status), E_OUTOFMEMORY);
    EXPECT_EQ(status, nullptr);
    ASSERT_EQ(server->GetStatus(&status), S_OK);
    platform::CoTaskMemFree(status->szVendorInfo);
    platform::CoTaskMemFree(status);

    auto g = AddGroup(OLESTR("G"));
    ASSERT_EQ(control->FailNextCall(OLESTR("AddItems"), MakeHResult(0x80041234)), S_OK);
    std::vector<OPCHANDLE> handles;
    HRESULT call = S_OK;
    AddItems(g.Get(), {OLESTR("Simulation.Random.Int4")}, handles, VT_EMPTY, nullptr, &call);
    EXPECT_EQ(call, MakeHResult(0x80041234));
    EXPECT_EQ(AddItems(g.Get(), {OLESTR("Simulation.Random.Int4")}, handles)[0], S_OK);
}

// RemoveGroup without force answers OPC_S_INUSE while the group is held: the
// name is free and the group unlisted at once, the holder may go on using it,
// and it goes (releasing its sinks) with the last reference. Force removes at once.
TEST_F(ServerGroups, RemoveGroupWhileHeldAnswersInUse) {
    OPCHANDLE h = 0;
    auto g = AddGroup(OLESTR("G"), TRUE, 1000, 7, &h);
    auto sink = Advise(g.Get());
    auto sinkRefs = [&] {
        sink->AddRef();
        return sink->Release();
    };
    const ULONG held = sinkRefs();
    EXPECT_EQ(server->RemoveGroup(h, FALSE), OPC_S_INUSE);
    EXPECT_EQ(server->RemoveGroup(h, FALSE), E_INVALIDARG);
    ComPtr<IUnknown> again;
    EXPECT_EQ(server->GetGroupByName(OLESTR("G"), IID_IOPCItemMgt, again.ReleaseAndGetAddressOf()),
              E_INVALIDARG);
    std::vector<OPCHANDLE> handles;
    EXPECT_EQ(AddItems(g.Get(), {OLESTR("Simulation.Bucket.Int4")}, handles)[0], S_OK);
    control->RunScan(0);
    EXPECT_EQ(sink->Take().size(), 1u); // still working for its holder
    OPCHANDLE h2 = 0;
    auto g2 = AddGroup(OLESTR("G"), TRUE, 1000, 7, &h2); // the name is free
    EXPECT_EQ(sinkRefs(), held);
    g = nullptr;
    EXPECT_EQ(sinkRefs(), held - 1); // the server let go of the sink with the group
    // Forced removal goes at once, held or not; the held object then fails.
    EXPECT_EQ(server->RemoveGroup(h2, TRUE), S_OK);
    HRESULT call = S_OK;
    AddItems(g2.Get(), {OLESTR("Simulation.Random.Int4")}, handles, VT_EMPTY, nullptr, &call);
    EXPECT_EQ(call, E_FAIL);
    g2 = nullptr;
    auto g3 = AddGroup(OLESTR("H"), TRUE, 1000, 7, &h);
    g3 = nullptr;
    EXPECT_EQ(server->RemoveGroup(h, FALSE), S_OK);
}

// GetGroupByName reaches an existing group; the group enumerator lists names.
TEST_F(ServerGroups, GroupsCanBeFoundAndEnumerated) {
    auto g = AddGroup(OLESTR("Line 1"));
    auto h = AddGroup(OLESTR("Line 2"));
    ComPtr<IUnknown> found;
    ASSERT_EQ(server->GetGroupByName(OLESTR("Line 2"), IID_IOPCGroupStateMgt,
                                     found.ReleaseAndGetAddressOf()),
              S_OK);
    // A group is one object: every road to it gives the same identity.
    EXPECT_EQ(found.As<IUnknown>().Get(), h.As<IUnknown>().Get());
    ComPtr<IUnknown> objects;
    ASSERT_EQ(server->CreateGroupEnumerator(OPC_ENUM_ALL, IID_IEnumUnknown,
                                            objects.ReleaseAndGetAddressOf()),
              S_OK);
    IUnknown *listed[2] = {};
    ULONG count = 0;
    ASSERT_EQ(objects.As<IEnumUnknown>()->Next(2, listed, &count), S_OK);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(listed[0], g.As<IUnknown>().Get());
    EXPECT_EQ(listed[1], h.As<IUnknown>().Get());
    listed[0]->Release();
    listed[1]->Release();
    ComPtr<IUnknown> e;
    ASSERT_EQ(server->CreateGroupEnumerator(OPC_ENUM_ALL_CONNECTIONS, IID_IEnumString,
                                            e.ReleaseAndGetAddressOf()),
              S_OK);
    auto names = e.As<IEnumString>();
    LPOLESTR got[3] = {};
    ULONG fetched = 0;
    EXPECT_EQ(names->Next(3, got, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(platform::WideToString(got[0]), "Line 1");
    EXPECT_EQ(platform::WideToString(got[1]), "Line 2");
    platform::CoTaskMemFree(got[0]);
    platform::CoTaskMemFree(got[1]);
    ASSERT_EQ(server->CreateGroupEnumerator(OPC_ENUM_PUBLIC, IID_IEnumUnknown,
                                            e.ReleaseAndGetAddressOf()),
              S_FALSE);
}

// The call log records each call with readable arguments and can be cleared.
TEST_F(ServerGroups, CallLogRecordsCallsWithArguments) {
    control->ClearCallLog();
    auto g = AddGroup(OLESTR("G"), TRUE, 1000, 0);
    auto state = g.As<IOPCGroupStateMgt>();
    DWORD rate = 500, revised = 0, lcid = 0;
    BOOL active = TRUE;
    LONG bias = 0;
    FLOAT deadband = 0;
    OPCHANDLE client = 0;
    state->SetState(&rate, &revised, &active, &bias, &deadband, &lcid, &client);
    const auto log = Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], "AddGroup name=G active=1 rate=1000 client=0");
    EXPECT_EQ(log[1], "SetState rate=500 active=1 bias=0 deadband=0 lcid=0 client=0");
    control->EnableCallLog(FALSE);
    server->GetStatus(nullptr);
    control->EnableCallLog(TRUE);
    control->ClearCallLog();
    EXPECT_TRUE(Log().empty());
}

// Withheld interfaces are refused by the server object and by new groups.
TEST_F(ServerGroups, WithheldInterfacesAreRefused) {
    ASSERT_EQ(control->WithholdInterface(SIM_TARGET_SERVER, IID_IOPCCommon, TRUE), S_OK);
    EXPECT_FALSE(server.As<IOPCCommon>());
    ASSERT_EQ(control->WithholdInterface(SIM_TARGET_SERVER, IID_IOPCCommon, FALSE), S_OK);
    EXPECT_TRUE(server.As<IOPCCommon>());
    auto before = AddGroup(OLESTR("Before"));
    ASSERT_EQ(control->WithholdInterface(SIM_TARGET_GROUPS, IID_IOPCAsyncIO2, TRUE), S_OK);
    auto after = AddGroup(OLESTR("After"));
    EXPECT_TRUE(before.As<IOPCAsyncIO2>());
    EXPECT_FALSE(after.As<IOPCAsyncIO2>());
    EXPECT_TRUE(after.As<IOPCAsyncIO>());
}

// The DA 1.0 class offers only the DA 1.0 interfaces on server and groups.
TEST_F(ServerGroups, Da10ClassOffersOnlyDa10Interfaces) {
    auto old = CreateServer(CLSID_VexoSimulationDA10);
    ASSERT_TRUE(old);
    EXPECT_FALSE(old.As<IOPCCommon>());
    EXPECT_FALSE(old.As<IConnectionPointContainer>());
    EXPECT_FALSE(old.As<IOPCItemProperties>());
    EXPECT_TRUE(old.As<IOPCBrowseServerAddressSpace>());
    auto g = AddGroup(OLESTR("G"), TRUE, 1000, 1, nullptr, old.Get());
    EXPECT_FALSE(g.As<IConnectionPointContainer>());
    EXPECT_FALSE(g.As<IOPCAsyncIO2>());
    EXPECT_TRUE(g.As<IOPCAsyncIO>());
    EXPECT_TRUE(g.As<IDataObject>());
    EXPECT_TRUE(g.As<IOPCSyncIO>());
}

// IOPCCommon: locales, client name and error strings.
TEST_F(ServerGroups, CommonInterfaceAnswers) {
    auto common = server.As<IOPCCommon>();
    EXPECT_EQ(common->SetLocaleID(0x0407), S_OK);
    LCID lcid = 0;
    EXPECT_EQ(common->GetLocaleID(&lcid), S_OK);
    EXPECT_EQ(lcid, 0x0407u);
    EXPECT_EQ(common->SetLocaleID(0x1234), E_INVALIDARG);
    DWORD count = 0;
    LCID *ids = nullptr;
    ASSERT_EQ(common->QueryAvailableLocaleIDs(&count, &ids), S_OK);
    EXPECT_EQ(count, 2u);
    platform::CoTaskMemFree(ids);
    EXPECT_EQ(common->SetClientName(OLESTR("tester")), S_OK);
    LPWSTR text = nullptr;
    ASSERT_EQ(common->GetErrorString(OPC_E_UNKNOWNITEMID, &text), S_OK);
    EXPECT_EQ(platform::WideToString(text), "The item id is not in the server's address space.");
    platform::CoTaskMemFree(text);
    ASSERT_EQ(server->GetErrorString(E_FAIL, 0, &text), S_OK);
    EXPECT_FALSE(platform::WideToString(text).empty());
    platform::CoTaskMemFree(text);
}

// Shutdown requests reach every advised sink, synchronously or from the scan.
TEST_F(ServerGroups, ShutdownRequestsReachAdvisedSinks) {
    auto cpc = server.As<IConnectionPointContainer>();
    ComPtr<IConnectionPoint> cp;
    ASSERT_EQ(cpc->FindConnectionPoint(IID_IOPCShutdown, cp.ReleaseAndGetAddressOf()), S_OK);
    auto sink = platform::MakeCom<ShutdownSink>();
    DWORD cookie = 0;
    ASSERT_EQ(cp->Advise(sink->GetUnknown(), &cookie), S_OK);
    EXPECT_EQ(control->SendShutdown(OLESTR("maintenance"), FALSE), S_OK);
    EXPECT_EQ(sink->count.load(), 1);
    EXPECT_EQ(control->SendShutdown(OLESTR("later"), TRUE), S_OK);
    EXPECT_EQ(sink->count.load(), 1); // queued for the scan
    control->RunScan(0);
    ASSERT_EQ(sink->count.load(), 2);
    EXPECT_EQ(sink->reasons[1], "later");
    EXPECT_EQ(cp->Unadvise(cookie), S_OK);
    EXPECT_EQ(cp->Unadvise(cookie), CONNECT_E_NOCONNECTION);
    ComPtr<IConnectionPoint> none;
    EXPECT_EQ(cpc->FindConnectionPoint(IID_IOPCDataCallback, none.ReleaseAndGetAddressOf()),
              CONNECT_E_NOCONNECTION);
}

} // namespace
} // namespace vexo::simtest
