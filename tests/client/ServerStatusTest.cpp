//===- ServerStatusTest.cpp - status queries and the locale of a TVexoServer ---===//
//
// Behaviour of the status getters against the simulation server: one fresh
// GetStatus call per getter with exactly its two task-memory blocks released,
// the conversions of the record, the answers of a disconnected component, and
// the locale through IOPCCommon.
//
//===----------------------------------------------------------------------===//

#include "client/ClientFixture.h"

#include <algorithm>
#include <cstring>

#include <vexo/platform/WideString.h>

namespace vexo::test {
namespace {

class ServerStatusTest : public ClientFixture {
  protected:
    /// Number of GetStatus calls in the server's log.
    static long StatusCalls(IVexoSimControl *Control) {
        auto Log = SimCallLog(Control);
        return std::count_if(Log.begin(), Log.end(), [](const std::string &Line) {
            return Line.rfind("GetStatus", 0) == 0;
        });
    }

    /// Makes the server report State with the given times and vendor text.
    static void ChooseStatus(IVexoSimControl *Control, OPCSERVERSTATE State,
                             const WCHAR *Vendor, bool ZeroLastUpdate) {
        OPCSERVERSTATUS S{};
        S.ftStartTime = {0xD53E8000, 0x01D6E5A1}; // some day in 2021
        S.ftCurrentTime = {0xD53E8000, 0x01D6E5A2};
        if (!ZeroLastUpdate)
            S.ftLastUpdateTime = S.ftCurrentTime;
        S.dwServerState = State;
        S.dwGroupCount = 3;
        S.dwBandWidth = 77;
        S.wMajorVersion = 2;
        S.wMinorVersion = 5;
        S.wBuildNumber = 0xFFFE; // zero-extended, never negative
        S.szVendorInfo = const_cast<LPWSTR>(Vendor);
        ASSERT_EQ(Control->SetStatus(&S), S_OK);
    }
};

TEST_F(ServerStatusTest, EachGetterMakesOneCallAndReleasesTwoBlocks) {
    // Every getter is one GetStatus call whose record and vendor text are freed.
    TVexoServer *Server = NewServer();
    auto Control = ConnectManual(*Server);
    ASSERT_TRUE(Control);
    std::vector<std::function<void()>> Getters = {
        [&] { Server->GetStatus(); },          [&] { Server->GetState(); },
        [&] { Server->GetServerState(); },     [&] { Server->GetServerStateStr(); },
        [&] { Server->GetStartTime(); },       [&] { Server->GetCurrentTime(); },
        [&] { Server->GetLastUpdateTime(); },  [&] { Server->GetMajorVersion(); },
        [&] { Server->GetMinorVersion(); },    [&] { Server->GetVendorInfo(); },
        [&] { Server->GetBandWidth(); },       [&] { Server->GetBuildNumber(); }};
    for (std::size_t I = 0; I < Getters.size(); ++I) {
        Control->ClearCallLog();
        const auto Before = platform::GetTaskMemoryStats();
        Getters[I]();
        const auto After = platform::GetTaskMemoryStats();
        EXPECT_EQ(After.totalFrees - Before.totalFrees, 2) << "getter " << I;
        EXPECT_EQ(After.liveBlocks, Before.liveBlocks) << "getter " << I;
        EXPECT_EQ(StatusCalls(Control.Get()), 1) << "getter " << I;
    }
    // Two getters in a row are two calls: nothing is cached.
    Control->ClearCallLog();
    Server->GetStartTime();
    Server->GetCurrentTime();
    EXPECT_EQ(StatusCalls(Control.Get()), 2);
}

TEST_F(ServerStatusTest, StateIsConvertedFromTheServersRecord) {
    // The converted record carries the server's numbers, times and vendor text.
    TVexoServer *Server = NewServer();
    auto Control = ConnectManual(*Server);
    ChooseStatus(Control.Get(), OPC_STATUS_SUSPENDED, OLESTR("Plant \u00c4 vendor"), false);
    tServerStateRec State = Server->GetState();
    EXPECT_EQ(State.ServerState, 4);
    EXPECT_EQ(State.GroupCount, 3);
    EXPECT_EQ(State.BandWidth, 77);
    EXPECT_EQ(State.MajorVersion, 2);
    EXPECT_EQ(State.MinorVersion, 5);
    EXPECT_EQ(State.BuildNumber, 0xFFFE);
    EXPECT_EQ(State.VendorInfo, "Plant \xc3\x84 vendor");
    EXPECT_GT(State.StartTime, 0);
    EXPECT_GT(State.CurrentTime, State.StartTime);
    EXPECT_EQ(State.LastUpdateTime, State.CurrentTime);
    EXPECT_EQ(Server->GetServerStateStr(), "suspended");
    EXPECT_EQ(Server->GetBuildNumber(), 0xFFFE);
    EXPECT_EQ(Server->GetBandWidth(), 77);
    EXPECT_EQ(Server->GetVendorInfo(), "Plant \xc3\x84 vendor");

    OPCSERVERSTATUS Raw = Server->GetStatus();
    EXPECT_EQ(Raw.szVendorInfo, nullptr);
    EXPECT_EQ(Raw.dwBandWidth, 77u);
}

TEST_F(ServerStatusTest, StateTextsAndZeroTimes) {
    // State 5 is "test", 0 and 6 have no text; an all-zero last-update time is 0.
    TVexoServer *Server = NewServer();
    auto Control = ConnectManual(*Server);
    ChooseStatus(Control.Get(), OPC_STATUS_TEST, OLESTR(""), true);
    EXPECT_EQ(Server->GetServerStateStr(), "test");
    EXPECT_EQ(Server->GetLastUpdateTime(), 0);
    EXPECT_EQ(Server->GetVendorInfo(), "");
    for (int Odd : {0, 6}) {
        ChooseStatus(Control.Get(), static_cast<OPCSERVERSTATE>(Odd), OLESTR("v"), true);
        EXPECT_EQ(Server->GetServerStateStr(), "") << Odd;
        EXPECT_EQ(Server->GetServerState(), Odd);
    }
    Control->SetStatus(nullptr);
    EXPECT_EQ(Server->GetServerStateStr(), "running");
}

TEST_F(ServerStatusTest, DisconnectedGettersFaultOnceEachAndAnswerZero) {
    // Disconnected, each getter reports "not connected to server" once and answers
    // zero or empty when the handler clears RaiseException.
    TVexoServer *Server = NewServer();
    int Faults = 0;
    Server->OnError = [&](TObject *, const std::string &Msg, bool &Raise) {
        EXPECT_EQ(Msg, "not connected to server");
        ++Faults;
        Raise = false;
    };
    EXPECT_EQ(Server->GetServerStateStr(), "");
    EXPECT_EQ(Server->GetStartTime(), 0);
    EXPECT_EQ(Server->GetVendorInfo(), "");
    EXPECT_EQ(Server->GetBandWidth(), 0);
    EXPECT_EQ(Server->GetBuildNumber(), 0);
    EXPECT_EQ(Faults, 5);
    tServerStateRec State = Server->GetState();
    EXPECT_EQ(State.ServerState, 0);
    EXPECT_EQ(State.VendorInfo, "");
    OPCSERVERSTATUS Raw = Server->GetStatus();
    EXPECT_EQ(Raw.dwServerState, 0);
    EXPECT_EQ(Raw.szVendorInfo, nullptr);
    EXPECT_EQ(Faults, 7);

    Server->OnError = nullptr;
    EXPECT_THROW(Server->GetMajorVersion(), EOPCException);
}

TEST_F(ServerStatusTest, FailedStatusCallRaisesThroughOPCCheck) {
    // A failing GetStatus raises: the library's text for OPC codes, the COM error
    // otherwise; nothing leaks and OnError is not consulted.
    TVexoServer *Server = NewServer();
    int Faults = 0;
    Server->OnError = [&](TObject *, const std::string &, bool &) { ++Faults; };
    auto Control = ConnectManual(*Server);
    Control->FailNextCall(OLESTR("GetStatus"), static_cast<HRESULT>(0xC0040007));
    try {
        Server->GetVendorInfo();
        ADD_FAILURE() << "no exception";
    } catch (const EOPCException &E) {
        EXPECT_EQ(E.Message(), "The item is no longer available in the server address space.");
    }
    Control->FailNextCall(OLESTR("GetStatus"), E_ACCESSDENIED);
    try {
        Server->GetBandWidth();
        ADD_FAILURE() << "no exception";
    } catch (const EOleSysError &E) {
        EXPECT_EQ(E.ErrorCode(), E_ACCESSDENIED);
    }
    EXPECT_EQ(Faults, 0);
}

TEST_F(ServerStatusTest, LocaleGoesThroughIOPCCommon) {
    // The locale round-trips through IOPCCommon; without it GetLocaleId raises
    // "not connected to server" past OnError and SetLocaleId does nothing.
    TVexoServer *Server = NewServer();
    int Faults = 0;
    Server->OnError = [&](TObject *, const std::string &, bool &Raise) {
        ++Faults;
        Raise = false;
    };
    try {
        Server->GetLocaleId();
        ADD_FAILURE() << "no exception while disconnected";
    } catch (const EOPCException &E) {
        EXPECT_EQ(E.Message(), "not connected to server");
    }
    Server->SetLocaleId(0x409);

    ConnectManual(*Server);
    Server->SetLocaleId(0x409);
    EXPECT_EQ(Server->GetLocaleId(), 0x409);

    Server->Connect(SimDA10ProgID, "");
    ASSERT_TRUE(Server->Active());
    EXPECT_THROW(Server->GetLocaleId(), EOPCException);
    Server->SetLocaleId(0x407);
    EXPECT_EQ(Faults, 0);
}

} // namespace
} // namespace vexo::test
