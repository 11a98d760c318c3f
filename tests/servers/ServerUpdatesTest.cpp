//===- ServerUpdatesTest.cpp - the cache, first values, times and completion modes -===//
//
// What the server does as a real one would: it keeps the cache of active items
// current whether or not anyone listens, sends every value once to a new
// listener, stamps times near now, and can be made to deliver asynchronous
// results before the call returns, from another thread, or last call first.
//
//===----------------------------------------------------------------------===//
#include <cmath>
#include <cstring>
#include <thread>

#include <vexo/platform/Time.h>

#include "SimTestSupport.h"

namespace vexo::simtest {
namespace {

using ServerUpdates = SimServerTest;

struct ReadResult {
    VARTYPE vt = VT_EMPTY;
    std::string text;
    WORD quality = 0;
    FILETIME stamp{};
    double date = 0;
};

ReadResult ReadState(IOPCItemMgt *group, OPCHANDLE h, OPCDATASOURCE source) {
    OPCITEMSTATE *states = nullptr;
    HRESULT *errors = nullptr;
    ReadResult r;
    EXPECT_EQ(ComPtr<IOPCItemMgt>(group).As<IOPCSyncIO>()->Read(source, 1, &h, &states, &errors),
              S_OK);
    if (!states)
        return r;
    r.vt = states[0].vDataValue.vt;
    r.text = Text(states[0].vDataValue);
    r.quality = states[0].wQuality;
    r.stamp = states[0].ftTimeStamp;
    if (r.vt == VT_DATE)
        r.date = states[0].vDataValue.date;
    platform::VariantClear(&states[0].vDataValue);
    platform::CoTaskMemFree(states);
    platform::CoTaskMemFree(errors);
    return r;
}

ULONGLONG Ms(const FILETIME &ft) {
    return ((ULONGLONG(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) / 10000;
}

TEST_F(ServerUpdates, CacheIsKeptCurrentWithoutAListener) {
    // A group nobody listens to is still scanned; before the first scan a
    // changing tag's cache says it has no value yet.
    auto g = AddGroup(OLESTR("G"), TRUE, 1000);
    std::vector<OPCHANDLE> h;
    AddItems(g.Get(), {OLESTR("Simulation.Ramp.Int4"), OLESTR("Simulation.Constant.Int4")}, h);
    const ReadResult before = ReadState(g.Get(), h[0], OPC_DS_CACHE);
    EXPECT_EQ(before.vt, VT_EMPTY);
    EXPECT_EQ(before.quality, OPC_QUALITY_WAITING_FOR_INITIAL_DATA);
    EXPECT_EQ(ReadState(g.Get(), h[1], OPC_DS_CACHE).text, "42"); // constants are known

    control->RunScan(1000);
    const ReadResult first = ReadState(g.Get(), h[0], OPC_DS_CACHE);
    EXPECT_EQ(first.vt, VT_I4);
    EXPECT_EQ(first.quality, OPC_QUALITY_GOOD);
    control->RunScan(1234);
    const ReadResult second = ReadState(g.Get(), h[0], OPC_DS_CACHE);
    EXPECT_NE(second.text, first.text);
    ULONGLONG clock = 0;
    control->GetClock(&clock);
    EXPECT_EQ(Ms(second.stamp), clock);
}

TEST_F(ServerUpdates, NewListenersActivationAndEnableHearEveryActiveReadableItem) {
    // One callback with transaction id 0 carries each active, readable item
    // (scanned, never the unscanned value) after Advise, activation and
    // SetEnable(TRUE); write-only and inactive items are not in it.
    auto g = AddGroup(OLESTR("G"), TRUE, 1000, 9);
    std::vector<OPCHANDLE> h;
    AddItems(g.Get(),
             {OLESTR("Simulation.Ramp.Int4"), OLESTR("Simulation.WriteOnly.Int4"), OLESTR("Simulation.Bucket.Int4"),
              OLESTR("Simulation.Constant.Int4")},
             h);
    HRESULT *errors = nullptr;
    ASSERT_EQ(g->SetActiveState(1, &h[3], FALSE, &errors), S_OK);
    platform::CoTaskMemFree(errors);
    auto sink = Advise(g.Get());
    control->RunScan(0);
    auto calls = sink->Take();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].transId, 0u);
    EXPECT_EQ(calls[0].group, 9u);
    EXPECT_EQ(calls[0].clients, (std::vector<OPCHANDLE>{100, 102}));
    EXPECT_EQ(calls[0].types[0], VT_I4);
    EXPECT_EQ(calls[0].qualities[0], OPC_QUALITY_GOOD);

    auto state = g.As<IOPCGroupStateMgt>();
    DWORD revised = 0;
    BOOL active = FALSE;
    state->SetState(nullptr, &revised, &active, nullptr, nullptr, nullptr, nullptr);
    control->RunScan(5000);
    EXPECT_EQ(sink->Count(), 0u);
    active = TRUE;
    state->SetState(nullptr, &revised, &active, nullptr, nullptr, nullptr, nullptr);
    control->RunScan(0);
    calls = sink->Take();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].clients, (std::vector<OPCHANDLE>{100, 102}));

    auto async = g.As<IOPCAsyncIO2>();
    ASSERT_EQ(async->SetEnable(FALSE), S_OK);
    control->RunScan(5000);
    EXPECT_EQ(sink->Count(), 0u);
    ASSERT_EQ(async->SetEnable(TRUE), S_OK);
    control->RunScan(0);
    calls = sink->Take();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].clients, (std::vector<OPCHANDLE>{100, 102}));
    ASSERT_EQ(async->SetEnable(TRUE), S_OK); // already enabled: nothing new
    control->RunScan(0);
    EXPECT_EQ(sink->Count(), 0u);
}

TEST_F(ServerUpdates, Da10FirstDeliveryCarriesScannedValues) {
    // The first stream after DAdvise holds a scanned value with good quality.
    auto old = CreateServer(CLSID_VexoSimulationDA10);
    auto oldControl = old.As<IVexoSimControl>();
    auto g = AddGroup(OLESTR("G"), TRUE, 1000, 5, nullptr, old.Get());
    std::vector<OPCHANDLE> h;
    AddItems(g.Get(), {OLESTR("Simulation.Ramp.Int4")}, h);
    auto sink = platform::MakeCom<StreamSink>();
    FORMATETC fe{static_cast<CLIPFORMAT>(platform::RegisterClipboardFormatA("OPCSTMFORMATDATATIME")),
                 nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    DWORD connection = 0;
    ASSERT_EQ(g.As<IDataObject>()->DAdvise(&fe, ADVF_PRIMEFIRST, sink.Get(), &connection), S_OK);
    oldControl->RunScan(0);
    ASSERT_EQ(sink->streams.size(), 1u);
    const auto &b = sink->streams[0].bytes;
    OPCITEMHEADER1 item{};
    std::memcpy(&item, b.data() + sizeof(OPCGROUPHEADER), sizeof item);
    EXPECT_EQ(item.wQuality, OPC_QUALITY_GOOD);
    VARIANT v{};
    std::memcpy(&v, b.data() + item.dwValueOffset, sizeof v);
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(g.As<IDataObject>()->DUnadvise(connection), S_OK);
}

TEST_F(ServerUpdates, TimesAreNearNowAndDeviceReadsStampTheAcquisition) {
    // A time item reads within a second of the local time now; a device read
    // stamps the moment it acquired the value, even when the value is old.
    ASSERT_EQ(control->SetManualMode(FALSE), S_OK);
    auto g = AddGroup(OLESTR("G"), TRUE, 1000);
    std::vector<OPCHANDLE> h;
    AddItems(g.Get(), {OLESTR("Simulation.Ramp.Time"), OLESTR("Simulation.Random.Time"), OLESTR("Simulation.Bucket.Int4")},
             h);
    FILETIME utc, local;
    platform::GetSystemTimeAsFileTime(&utc);
    platform::FileTimeToLocalFileTime(&utc, &local);
    const double now = double(Ms(local)) / 86400000.0 - 109205.0;
    for (int i : {0, 1}) {
        const ReadResult t = ReadState(g.Get(), h[i], OPC_DS_DEVICE);
        ASSERT_EQ(t.vt, VT_DATE);
        EXPECT_LT(std::fabs(t.date - now) * 86400.0, 1.5) << "item " << i;
    }
    ASSERT_EQ(control->SetManualMode(TRUE), S_OK);
    const FILETIME written = ReadState(g.Get(), h[2], OPC_DS_DEVICE).stamp;
    control->RunScan(5000);
    ULONGLONG clock = 0;
    control->GetClock(&clock);
    const ReadResult device = ReadState(g.Get(), h[2], OPC_DS_DEVICE);
    EXPECT_EQ(Ms(device.stamp), clock);
    EXPECT_GT(Ms(device.stamp), Ms(written));
}

TEST_F(ServerUpdates, RevisedRatesFitASigned32BitRate) {
    // The largest rates come back rounded to the granularity without passing 0x7FFFFFFF.
    for (DWORD requested : {DWORD(0x7FFFFFFF), DWORD(0xFFFFFFFF), DWORD(0x7FFFFFC0)}) {
        ComPtr<IUnknown> unk;
        OPCHANDLE hs = 0;
        DWORD revised = 0;
        ASSERT_EQ(server->AddGroup(OLESTR(""), TRUE, requested, 1, nullptr, nullptr, 0, &hs, &revised,
                                   IID_IOPCItemMgt, unk.ReleaseAndGetAddressOf()),
                  OPC_S_UNSUPPORTEDRATE);
        EXPECT_EQ(revised, 2147483600u) << requested;
        DWORD again = 0;
        unk.As<IOPCGroupStateMgt>()->SetState(&requested, &again, nullptr, nullptr, nullptr,
                                              nullptr, nullptr);
        EXPECT_EQ(again, 2147483600u);
    }
}

TEST_F(ServerUpdates, CompletionModesDeliverBeforeReturnFromAnyThreadOrLastFirst) {
    // Before-return modes complete inside the call (on this thread or another);
    // the reversed mode delivers the queued calls' results last call first.
    auto g = AddGroup(OLESTR("G"), TRUE, 1000, 3);
    std::vector<OPCHANDLE> h;
    AddItems(g.Get(), {OLESTR("Simulation.Bucket.Int4")}, h);
    auto sink = Advise(g.Get());
    control->RunScan(0);
    sink->Take();
    std::thread::id caller = std::this_thread::get_id(), deliverer;
    sink->SetOnCall([&](const Callback &) { deliverer = std::this_thread::get_id(); });
    auto async = g.As<IOPCAsyncIO2>();
    DWORD cancel = 0;
    HRESULT *errors = nullptr;

    ASSERT_EQ(control->SetCompletionMode(SIM_COMPLETE_BEFORE_RETURN), S_OK);
    ASSERT_EQ(async->Read(1, h.data(), 21, &cancel, &errors), S_OK);
    platform::CoTaskMemFree(errors);
    auto calls = sink->Take();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].kind, "read");
    EXPECT_EQ(calls[0].transId, 21u);
    EXPECT_EQ(deliverer, caller);
    EXPECT_EQ(async->Cancel2(cancel), E_FAIL); // already complete

    ASSERT_EQ(control->SetCompletionMode(SIM_COMPLETE_BEFORE_RETURN_OTHER_THREAD), S_OK);
    VARIANT v = I4(6);
    ASSERT_EQ(async->Write(1, h.data(), &v, 22, &cancel, &errors), S_OK);
    platform::CoTaskMemFree(errors);
    ASSERT_EQ(async->Refresh2(OPC_DS_CACHE, 23, &cancel), S_OK);
    calls = sink->Take();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].kind, "write");
    EXPECT_EQ(calls[1].kind, "data");
    EXPECT_EQ(calls[1].transId, 23u);
    EXPECT_NE(deliverer, caller);

    ASSERT_EQ(control->SetCompletionMode(SIM_COMPLETE_REVERSED), S_OK);
    for (DWORD t : {31u, 32u, 33u}) {
        ASSERT_EQ(async->Read(1, h.data(), t, &cancel, &errors), S_OK);
        platform::CoTaskMemFree(errors);
    }
    EXPECT_EQ(sink->Count(), 0u);
    control->RunScan(0);
    calls = sink->Take();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].transId, 33u);
    EXPECT_EQ(calls[2].transId, 31u);
    EXPECT_EQ(control->SetCompletionMode(static_cast<VexoSimCompletion>(9)), E_INVALIDARG);
}

TEST_F(ServerUpdates, InitialUpdateMayArriveBeforeAdviseReturns) {
    // In a before-return mode the first values reach the callback inside Advise.
    ASSERT_EQ(control->SetCompletionMode(SIM_COMPLETE_BEFORE_RETURN), S_OK);
    auto g = AddGroup(OLESTR("G"), TRUE, 1000, 4);
    std::vector<OPCHANDLE> h;
    AddItems(g.Get(), {OLESTR("Simulation.Sine.Real8")}, h);
    auto sink = Advise(g.Get());
    auto calls = sink->Take();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].transId, 0u);
    EXPECT_EQ(calls[0].qualities[0], OPC_QUALITY_GOOD);
}

} // namespace
} // namespace vexo::simtest
