//===- ReconnectFixture.h - shared fixture of the reconnection tests ------===//
//
// ReconnectFixture is the client fixture plus what every reconnection test
// needs: the component's events written into one log in the order they came
// ("shutdown", "disconnect", "connect", then the connection states as
// "lost", "reconnecting 2 40", "reconnected 2", "given up 3", "connected"),
// a standard configuration of two groups, and a guard that brings the
// simulation server's process back at the end whatever the test did.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "client/ClientFixture.h"

#include <string>
#include <vector>

namespace vexo::test {

class ReconnectFixture : public ClientFixture {
  protected:
    void TearDown() override {
        // A test that failed half-way must not leave the class unreachable.
        if (Process)
            Process->SetOffline(FALSE, 0);
        Process = nullptr;
        ClientFixture::TearDown();
    }

    /// Logs every connection event of Server into Log.
    void Record(TVexoServer &Server) {
        Server.OnServerShutdown = [this](TObject *, const std::string &) {
            Log.push_back("shutdown");
        };
        Server.OnDisconnect = [this](TObject *) { Log.push_back("disconnect"); };
        Server.OnConnect = [this](TObject *) { Log.push_back("connect"); };
        Server.OnConnectionState = [this](TObject *Sender, TVexoConnectionState State, int Attempt,
                                          int Delay) {
            std::string Line = ConnectionStateToStr(State);
            if (State == conReconnecting)
                Line += " " + std::to_string(Attempt) + " " + std::to_string(Delay);
            else if (State != conConnected && State != conLost)
                Line += " " + std::to_string(Attempt);
            Log.push_back(Line);
            if (OnState)
                OnState(static_cast<TVexoServer &>(*Sender), State, Attempt);
        };
        Server.OnDatachange = [this](TObject *, TVexoItemList *List) {
            for (int I = 0; I < List->Count(); ++I)
                Changes.push_back(List->GetItem(I)->ItemID() + "=" +
                                  VarToAStr(List->GetItem(I)->Value()));
        };
    }

    /// Turns the policy on with short delays (1 ms growing to 4 ms).
    static void Policy(TVexoServer &Server, int KeepAlive = 0) {
        Server.SetReconnectDelay(1);
        Server.SetReconnectMaxDelay(4);
        Server.SetKeepAliveInterval(KeepAlive);
        Server.SetAutoReconnect(true);
    }

    /// Two local groups: "Fast" (active, three items, two active) and "Slow"
    /// (inactive, dead band and locale of its own, one item).
    static void AddGroups(TVexoServer &Server) {
        TVexoGroup *Fast = Server.OPCGroups()->Add("Fast");
        Fast->SetUpdateRate(100);
        Fast->SetTimeBias(-60);
        Fast->OPCItems()->AddItem("Simulation.Bucket.Int4");
        Fast->OPCItems()->AddItem("Simulation.Constant.String");
        Fast->OPCItems()->AddItem("Simulation.Line 1.Level")->SetIsActive(false);
        Fast->OPCItems()->GetItem(2)->SetAccessPath("Path A");
        TVexoGroup *Slow = Server.OPCGroups()->Add("Slow");
        Slow->SetIsActive(false);
        Slow->SetUpdateRate(1000);
        Slow->SetDeadBand(5);
        Slow->SetLocaleId(0x0407);
        Slow->OPCItems()->AddItem("Simulation.Ramp.Real8")->SetRequestDatatype(vtR4);
    }

    /// Every group and item as the component holds it and as the server
    /// reports the group, one line each.
    static std::vector<std::string> Describe(TVexoServer &Server) {
        std::vector<std::string> Lines;
        for (int G = 0; G < Server.OPCGroups()->Count(); ++G) {
            TVexoGroup *Group = Server.OPCGroups()->GetItem(G);
            tGroupStateRec State;
            Group->GetState(State);
            Lines.push_back("group " + Group->Name() + " id=" + std::to_string(Group->ID()) +
                            " server: " + State.Name + " active=" + std::to_string(State.IsActive) +
                            " rate=" + std::to_string(State.UpdateRate) +
                            " bias=" + std::to_string(State.TimeBias) +
                            " band=" + std::to_string(State.DeadBand) +
                            " lcid=" + std::to_string(State.LocaleId) +
                            " client=" + std::to_string(State.ClientHandle));
            for (int I = 0; I < Group->OPCItems()->Count(); ++I) {
                TVexoItem *Item = Group->OPCItems()->GetItem(I);
                Lines.push_back("  item " + Item->ItemID() + " path=" + Item->AccessPath() +
                                " active=" + std::to_string(Item->IsActive()) + " type=" +
                                std::to_string(static_cast<int>(Item->RequestDatatype())) +
                                " on server=" +
                                std::to_string(Item->ServerHandle() != static_cast<OPCHANDLE>(-1)));
            }
        }
        return Lines;
    }

    /// Connects Server (threaded simulation) and keeps its control for the guard.
    platform::ComPtr<IVexoSimControl> ConnectSim(TVexoServer &Server,
                                                 const std::string &ProgID = SimProgID) {
        Server.Connect(ProgID, "");
        auto Control = SimControl(Server);
        if (!Process)
            Process = Control;
        return Control;
    }

    /// True when a line of the server's call log starts with Prefix.
    static bool Called(IVexoSimControl *Control, const std::string &Prefix) {
        for (const std::string &Line : SimCallLog(Control))
            if (Line.rfind(Prefix, 0) == 0)
                return true;
        return false;
    }

    std::vector<std::string> Log;
    std::vector<std::string> Changes; ///< "ItemID=value" of every data change
    /// Called after a connection state was logged.
    std::function<void(TVexoServer &, TVexoConnectionState, int)> OnState;
    /// Any object of the simulation class, to bring its process back.
    platform::ComPtr<IVexoSimControl> Process;
};

} // namespace vexo::test
