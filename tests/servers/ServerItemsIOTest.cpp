//===- ServerItemsIOTest.cpp - items, reads, writes and data changes ------===//
#include "SimTestSupport.h"

namespace vexo::simtest {
namespace {

using ServerItems = SimServerTest;

// Each item gets its own code in request order; the call answers S_FALSE when one failed.
TEST_F(ServerItems, AddItemsReportsEachFailureInRequestOrder) {
    auto g = AddGroup(OLESTR("G"));
    std::vector<OPCHANDLE> h;
    HRESULT call = S_OK;
    const auto codes = AddItems(g.Get(),
                                {OLESTR("Simulation.Random.Int4"), OLESTR(""), OLESTR("Simulation..Int4"),
                                 OLESTR("Simulation.No.Such"), OLESTR("Simulation.Random"), OLESTR("Bad*Id")},
                                h, VT_EMPTY, nullptr, &call);
    EXPECT_EQ(call, S_FALSE);
    ASSERT_EQ(codes.size(), 6u);
    EXPECT_EQ(codes[0], S_OK);
    EXPECT_EQ(codes[1], OPC_E_INVALIDITEMID);
    EXPECT_EQ(codes[2], OPC_E_INVALIDITEMID);
    EXPECT_EQ(codes[3], OPC_E_UNKNOWNITEMID);
    EXPECT_EQ(codes[4], OPC_E_UNKNOWNITEMID); // a branch is not an item
    EXPECT_EQ(codes[5], OPC_E_INVALIDITEMID);
    EXPECT_NE(h[0], 0u);
    // Access paths: known on the level tag, unknown elsewhere.
    EXPECT_EQ(AddItems(g.Get(), {OLESTR("Simulation.Line 1.Level")}, h, VT_EMPTY, OLESTR("Path B"))[0], S_OK);
    EXPECT_EQ(AddItems(g.Get(), {OLESTR("Simulation.Line 1.Level")}, h, VT_EMPTY, OLESTR("Path C"))[0],
              OPC_E_UNKNOWNPATH);
    EXPECT_EQ(AddItems(g.Get(), {OLESTR("Simulation.Random.Int4")}, h, VT_EMPTY, OLESTR("Path A"))[0],
              OPC_E_UNKNOWNPATH);
    // Types: scalars convert among themselves, arrays do not.
    EXPECT_EQ(AddItems(g.Get(), {OLESTR("Simulation.Random.Int4")}, h, VT_BSTR)[0], S_OK);
    EXPECT_EQ(AddItems(g.Get(), {OLESTR("Simulation.Arrays.Int4Array")}, h, VT_R8)[0], OPC_E_BADTYPE);
    EXPECT_EQ(AddItems(g.Get(), {OLESTR("Simulation.Random.Int4")}, h, VT_ARRAY | VT_I4)[0],
              OPC_E_BADTYPE);
    // An empty batch is refused as a whole.
    OPCITEMRESULT *results = nullptr;
    HRESULT *errors = nullptr;
    EXPECT_EQ(g->AddItems(0, nullptr, &results, &errors), E_INVALIDARG);
    EXPECT_EQ(results, nullptr);
}

// ValidateItems checks like AddItems but adds nothing; planned item codes replace results.
TEST_F(ServerItems, ValidateAndPlannedItemCodes) {
    auto g = AddGroup(OLESTR("G"));
    OPCITEMDEF defs[2] = {};
    defs[0].szItemID = const_cast<LPWSTR>(OLESTR("Simulation.Bucket.Real8"));
    defs[1].szItemID = const_cast<LPWSTR>(OLESTR("Simulation.Bucket.Int4"));
    OPCITEMRESULT *results = nullptr;
    HRESULT *errors = nullptr;
    ASSERT_EQ(g->ValidateItems(2, defs, FALSE, &results, &errors), S_OK);
    EXPECT_EQ(results[0].vtCanonicalDataType, VT_R8);
    EXPECT_EQ(results[0].dwAccessRights, OPC_READABLE | OPC_WRITEABLE);
    EXPECT_EQ(results[0].hServer, 0u);
    platform::CoTaskMemFree(results);
    platform::CoTaskMemFree(errors);
    const HRESULT planned[2] = {S_FALSE, MakeHResult(0xC0041111)};
    ASSERT_EQ(control->SetNextItemErrors(OLESTR("AddItems"), 2, planned), S_OK);
    std::vector<OPCHANDLE> h;
    HRESULT call = S_OK;
    const auto codes = AddItems(g.Get(), {OLESTR("Simulation.Bucket.Real8"), OLESTR("Simulation.Bucket.Int4")},
                                h, VT_EMPTY, nullptr, &call);
    EXPECT_EQ(call, S_FALSE);
    EXPECT_EQ(codes[0], S_FALSE);
    EXPECT_NE(h[0], 0u); // a success code still adds the item
    EXPECT_EQ(codes[1], MakeHResult(0xC0041111));
    EXPECT_EQ(h[1], 0u);
}

// Handles stay invalid after removal; every per-handle call says so per item.
TEST_F(ServerItems, RemovedAndUnknownHandlesAreInvalid) {
    auto g = AddGroup(OLESTR("G"));
    std::vector<OPCHANDLE> h;
    AddItems(g.Get(), {OLESTR("Simulation.Random.Int4"), OLESTR("Simulation.Random.Real8")}, h);
    HRESULT *errors = nullptr;
    OPCHANDLE remove[2] = {h[0], 9999};
    ASSERT_EQ(g->RemoveItems(2, remove, &errors), S_FALSE);
    EXPECT_EQ(errors[0], S_OK);
    EXPECT_EQ(errors[1], OPC_E_INVALIDHANDLE);
    platform::CoTaskMemFree(errors);
    ASSERT_EQ(g->SetActiveState(2, remove, FALSE, &errors), S_FALSE);
    EXPECT_EQ(errors[0], OPC_E_INVALIDHANDLE);
    platform::CoTaskMemFree(errors);
    VARTYPE types[1] = {VT_ARRAY | VT_BSTR};
    ASSERT_EQ(g->SetDatatypes(1, &h[1], types, &errors), S_FALSE);
    EXPECT_EQ(errors[0], OPC_E_BADTYPE);
    platform::CoTaskMemFree(errors);
    EXPECT_EQ(g->RemoveItems(0, remove, &errors), E_INVALIDARG);
    EXPECT_EQ(errors, nullptr);
}

// A removed item's slot is reused under a new handle; the old handle stays invalid.
TEST_F(ServerItems, ReusedSlotsGetNewHandles) {
    auto g = AddGroup(OLESTR("G"));
    std::vector<OPCHANDLE> first;
    AddItems(g.Get(), {OLESTR("Simulation.Constant.Int4")}, first);
    HRESULT *errors = nullptr;
    ASSERT_EQ(g->RemoveItems(1, first.data(), &errors), S_OK);
    platform::CoTaskMemFree(errors);
    std::vector<OPCHANDLE> second;
    AddItems(g.Get(), {OLESTR("Simulation.Constant.String")}, second);
    ASSERT_NE(second[0], 0u);
    EXPECT_NE(second[0], first[0]);
    WORD q = 0;
    HRESULT e = S_OK;
    EXPECT_EQ(ReadOne(g.Get(), second[0], OPC_DS_DEVICE, &q, &e), "42");
    EXPECT_EQ(ReadOne(g.Get(), first[0], OPC_DS_DEVICE, &q, &e), "");
    EXPECT_EQ(e, OPC_E_INVALIDHANDLE);
    ASSERT_EQ(g->RemoveItems(1, first.data(), &errors), S_FALSE);
    EXPECT_EQ(errors[0], OPC_E_INVALIDHANDLE);
    platform::CoTaskMemFree(errors);
}

// Synchronous reads: cache and device, out of service when inactive, rights, conversion.
TEST_F(ServerItems, SyncReadsGiveValueQualityAndPerItemErrors) {
    auto g = AddGroup(OLESTR("G"));
    std::vector<OPCHANDLE> h;
    AddItems(g.Get(),
             {OLESTR("Simulation.Constant.Int4"), OLESTR("Simulation.WriteOnly.Int4"),
              OLESTR("Simulation.Quality.Override"), OLESTR("Simulation.Constant.String")},
             h);
    WORD q = 0;
    HRESULT e = S_OK;
    EXPECT_EQ(ReadOne(g.Get(), h[0], OPC_DS_DEVICE, &q, &e), "42");
    EXPECT_EQ(q, OPC_QUALITY_GOOD);
    EXPECT_EQ(ReadOne(g.Get(), h[1], OPC_DS_DEVICE, &q, &e), "");
    EXPECT_EQ(e, OPC_E_BADRIGHTS);
    EXPECT_EQ(ReadOne(g.Get(), h[2], OPC_DS_CACHE, &q, &e), "0");
    EXPECT_EQ(q, OPC_QUALITY_LOCAL_OVERRIDE);
    HRESULT *errors = nullptr;
    ASSERT_EQ(g->SetActiveState(1, &h[0], FALSE, &errors), S_OK);
    platform::CoTaskMemFree(errors);
    EXPECT_EQ(ReadOne(g.Get(), h[0], OPC_DS_CACHE, &q, &e), "42");
    EXPECT_EQ(q, OPC_QUALITY_OUT_OF_SERVICE);
    EXPECT_EQ(ReadOne(g.Get(), h[0], OPC_DS_DEVICE, &q, &e), "42");
    EXPECT_EQ(q, OPC_QUALITY_GOOD);
    // A string that cannot be a number fails per item with the conversion's code.
    VARTYPE toI4 = VT_I4;
    ASSERT_EQ(g->SetDatatypes(1, &h[3], &toI4, &errors), S_OK);
    platform::CoTaskMemFree(errors);
    EXPECT_EQ(ReadOne(g.Get(), h[3], OPC_DS_DEVICE, &q, &e), "42"); // "42" converts
    auto sync = g.As<IOPCSyncIO>();
    OPCITEMSTATE *states = nullptr;
    OPCHANDLE bad = 12345;
    EXPECT_EQ(sync->Read(OPC_DS_CACHE, 1, &bad, &states, &errors), S_FALSE);
    EXPECT_EQ(errors[0], OPC_E_INVALIDHANDLE);
    platform::CoTaskMemFree(states);
    platform::CoTaskMemFree(errors);
    EXPECT_EQ(sync->Read(static_cast<OPCDATASOURCE>(7), 1, &bad, &states, &errors), E_INVALIDARG);
}

// Synchronous writes: buckets keep values, read-only refuses, limits clamp, bad types fail.
TEST_F(ServerItems, SyncWritesStoreClampAndRefuse) {
    auto g = AddGroup(OLESTR("G"));
    std::vector<OPCHANDLE> h;
    AddItems(g.Get(),
             {OLESTR("Simulation.Bucket.String"), OLESTR("Simulation.ReadOnly.Int4"),
              OLESTR("Simulation.Line 1.Setpoint"), OLESTR("Simulation.Bucket.Int2"), OLESTR("Simulation.WriteOnly.Int4")},
             h);
    VARIANT values[5] = {Bstr(OLESTR("hello \"world\"")), I4(1), R8(150), Bstr(OLESTR("not a number")), I4(5)};
    HRESULT *errors = nullptr;
    ASSERT_EQ(g.As<IOPCSyncIO>()->Write(5, h.data(), values, &errors), S_FALSE);
    EXPECT_EQ(errors[0], S_OK);
    EXPECT_EQ(errors[1], OPC_E_BADRIGHTS);
    EXPECT_EQ(errors[2], OPC_S_CLAMP);
    EXPECT_EQ(errors[3], OPC_E_BADTYPE);
    EXPECT_EQ(errors[4], S_OK);
    platform::CoTaskMemFree(errors);
    for (auto &v : values)
        platform::VariantClear(&v);
    EXPECT_EQ(ReadOne(g.Get(), h[0], OPC_DS_DEVICE, nullptr, nullptr), "hello \"world\"");
    EXPECT_EQ(ReadOne(g.Get(), h[2], OPC_DS_CACHE, nullptr, nullptr), "100");
    VARIANT big = I4(100000);
    ASSERT_EQ(g.As<IOPCSyncIO>()->Write(1, &h[3], &big, &errors), S_FALSE);
    EXPECT_EQ(errors[0], OPC_E_RANGE);
    platform::CoTaskMemFree(errors);
}

// The first update carries every active item; later ones only changed values.
TEST_F(ServerItems, DataChangesCarryOnlyChangedValuesAfterTheFirst) {
    auto g = AddGroup(OLESTR("G"), TRUE, 1000, 7);
    std::vector<OPCHANDLE> h;
    AddItems(g.Get(), {OLESTR("Simulation.Constant.Int4"), OLESTR("Simulation.Bucket.Int4")}, h);
    auto sink = Advise(g.Get());
    control->RunScan(0);
    auto calls = sink->Take();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].group, 7u);
    EXPECT_EQ(calls[0].transId, 0u);
    EXPECT_EQ(calls[0].clients, (std::vector<OPCHANDLE>{100, 101}));
    EXPECT_EQ(calls[0].values[0], "42");
    control->RunScan(1000);
    EXPECT_EQ(sink->Count(), 0u); // nothing changed
    VARIANT v = I4(5);
    HRESULT *errors = nullptr;
    g.As<IOPCSyncIO>()->Write(1, &h[1], &v, &errors);
    platform::CoTaskMemFree(errors);
    control->RunScan(500);
    EXPECT_EQ(sink->Count(), 0u); // not due yet
    control->RunScan(500);
    calls = sink->Take();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].clients, (std::vector<OPCHANDLE>{101}));
    EXPECT_EQ(calls[0].values[0], "5");
}

// Inactive items and groups report nothing; activation sends the value again.
TEST_F(ServerItems, InactiveItemsAndGroupsReportNothing) {
    auto g = AddGroup(OLESTR("G"), FALSE, 100);
    std::vector<OPCHANDLE> h;
    AddItems(g.Get(), {OLESTR("Simulation.Ramp.Int4")}, h);
    auto sink = Advise(g.Get());
    control->RunScan(1000);
    EXPECT_EQ(sink->Count(), 0u);
    DWORD revised = 0;
    BOOL active = TRUE;
    g.As<IOPCGroupStateMgt>()->SetState(nullptr, &revised, &active, nullptr, nullptr, nullptr,
                                        nullptr);
    control->RunScan(0);
    EXPECT_EQ(sink->Take().size(), 1u);
    HRESULT *errors = nullptr;
    g->SetActiveState(1, h.data(), FALSE, &errors);
    platform::CoTaskMemFree(errors);
    control->RunScan(1000);
    EXPECT_EQ(sink->Count(), 0u);
    g->SetActiveState(1, h.data(), TRUE, &errors);
    platform::CoTaskMemFree(errors);
    control->RunScan(0);
    EXPECT_EQ(sink->Take().size(), 1u);
}

// The percent dead band holds back small changes of analog items only.
TEST_F(ServerItems, PercentDeadbandFiltersAnalogChanges) {
    FLOAT band = 10; // 10 % of 0..100
    OPCHANDLE hs = 0;
    DWORD revised = 0;
    ComPtr<IOPCItemMgt> g;
    ASSERT_EQ(server->AddGroup(OLESTR("G"), TRUE, 100, 1, nullptr, &band, 0, &hs, &revised,
                               IID_IOPCItemMgt, reinterpret_cast<LPUNKNOWN *>(g.ReleaseAndGetAddressOf())),
              S_OK);
    std::vector<OPCHANDLE> h;
    AddItems(g.Get(), {OLESTR("Simulation.Line 1.Setpoint"), OLESTR("Simulation.Bucket.Real8")}, h);
    auto sink = Advise(g.Get());
    control->RunScan(0);
    sink->Take();
    auto set = [&](double x) {
        VARIANT v = R8(x);
        control->SetTagValue(OLESTR("Simulation.Line 1.Setpoint"), &v, OPC_QUALITY_GOOD);
        control->SetTagValue(OLESTR("Simulation.Bucket.Real8"), &v, OPC_QUALITY_GOOD);
    };
    set(5); // within 10 of 0: only the non-analog item reports
    control->RunScan(100);
    auto calls = sink->Take();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].clients, (std::vector<OPCHANDLE>{101}));
    set(10.5); // beyond the band from the last value sent (0)
    control->RunScan(100);
    calls = sink->Take();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].clients, (std::vector<OPCHANDLE>{100, 101}));
}

// Asynchronous calls complete on the next scan with the client's transaction id.
TEST_F(ServerItems, AsyncReadWriteRefreshComplete) {
    auto g = AddGroup(OLESTR("G"), TRUE, 1000, 3);
    std::vector<OPCHANDLE> h;
    AddItems(g.Get(), {OLESTR("Simulation.Bucket.Int4"), OLESTR("Simulation.WriteOnly.Int4")}, h);
    auto sink = Advise(g.Get());
    control->RunScan(0);
    sink->Take();
    auto async = g.As<IOPCAsyncIO2>();
    DWORD cancel = 0;
    HRESULT *errors = nullptr;
    VARIANT values[2] = {I4(77), I4(78)};
    ASSERT_EQ(async->Write(2, h.data(), values, 11, &cancel, &errors), S_OK);
    EXPECT_NE(cancel, 0u);
    EXPECT_NE(cancel, 11u); // the server's own id
    platform::CoTaskMemFree(errors);
    ASSERT_EQ(async->Read(2, h.data(), 12, &cancel, &errors), S_FALSE);
    EXPECT_EQ(errors[1], OPC_E_BADRIGHTS);
    platform::CoTaskMemFree(errors);
    ASSERT_EQ(async->Refresh2(OPC_DS_CACHE, 13, &cancel), S_OK);
    control->RunScan(0);
    auto calls = sink->Take();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[0].kind, "write");
    EXPECT_EQ(calls[0].transId, 11u);
    EXPECT_EQ(calls[0].errors, (std::vector<HRESULT>{S_OK, S_OK}));
    EXPECT_EQ(calls[1].kind, "read");
    EXPECT_EQ(calls[1].transId, 12u);
    EXPECT_EQ(calls[1].clients, (std::vector<OPCHANDLE>{100})); // failed item left out
    EXPECT_EQ(calls[1].values[0], "77");
    EXPECT_EQ(calls[2].kind, "data");
    EXPECT_EQ(calls[2].transId, 13u);
    EXPECT_EQ(calls[2].clients.size(), 2u);
}

// Cancel2 turns an outstanding call into OnCancelComplete; cancel ids equal to
// the transaction ids work too.
TEST_F(ServerItems, CancelOfOutstandingCalls) {
    auto g = AddGroup(OLESTR("G"));
    std::vector<OPCHANDLE> h;
    AddItems(g.Get(), {OLESTR("Simulation.Bucket.Int4")}, h);
    auto sink = Advise(g.Get());
    control->RunScan(0);
    sink->Take();
    auto async = g.As<IOPCAsyncIO2>();
    DWORD cancel = 0;
    HRESULT *errors = nullptr;
    ASSERT_EQ(async->Read(1, h.data(), 5, &cancel, &errors), S_OK);
    platform::CoTaskMemFree(errors);
    EXPECT_NE(cancel, 5u);
    EXPECT_EQ(async->Cancel2(5), E_FAIL);
    EXPECT_EQ(async->Cancel2(cancel), S_OK);
    control->RunScan(0);
    auto calls = sink->Take();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].kind, "cancel");
    EXPECT_EQ(calls[0].transId, 5u);
    EXPECT_EQ(async->Cancel2(cancel), E_FAIL); // no longer outstanding
    control->SetDistinctCancelIds(FALSE);
    ASSERT_EQ(async->Read(1, h.data(), 6, &cancel, &errors), S_OK);
    platform::CoTaskMemFree(errors);
    EXPECT_EQ(cancel, 6u);
    EXPECT_EQ(async->Cancel2(6), S_OK);
    control->RunScan(0);
    EXPECT_EQ(sink->Take().at(0).kind, "cancel");
}

// Refresh with nothing active fails; planned completion codes reach the callback.
TEST_F(ServerItems, RefreshNeedsActiveItemsAndCompletionsTakePlannedCodes) {
    auto g = AddGroup(OLESTR("G"), FALSE);
    std::vector<OPCHANDLE> h;
    AddItems(g.Get(), {OLESTR("Simulation.Bucket.Int4"), OLESTR("Simulation.Bucket.Int2")}, h);
    auto sink = Advise(g.Get());
    auto async = g.As<IOPCAsyncIO2>();
    DWORD cancel = 0;
    EXPECT_EQ(async->Refresh2(OPC_DS_CACHE, 1, &cancel), E_FAIL);
    const HRESULT planned[2] = {S_OK, OPC_S_CLAMP};
    control->SetNextItemErrors(OLESTR("OnWriteComplete"), 2, planned);
    VARIANT values[2] = {I4(1), I4(2)};
    HRESULT *errors = nullptr;
    ASSERT_EQ(async->Write(2, h.data(), values, 9, &cancel, &errors), S_OK);
    platform::CoTaskMemFree(errors);
    control->RunScan(0);
    auto calls = sink->Take();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].errors, (std::vector<HRESULT>{S_OK, OPC_S_CLAMP}));
    EXPECT_EQ(calls[0].masterError, S_FALSE);
}

} // namespace
} // namespace vexo::simtest
