//===- SweepSupport.cpp - a full client scenario under one planned fault -===//
#include "SweepSupport.h"

#include <cstdio>
#include <memory>

#include <vexo/VexoErrors.h>
#include <vexo/framework/Application.h>
#include <vexo/framework/UIServices.h>
#include <vexo/platform/Activation.h>
#include <vexo/platform/ComObject.h>
#include <vexo/platform/Guid.h>
#include <vexo/platform/TaskMemory.h>
#include <vexo/platform/Variant.h>
#include <vexo/platform/WideString.h>

namespace vexo::test {

namespace {

using platform::ComPtr;

// Class ids of the two gateways, one per simulation class.
constexpr CLSID CLSID_SweepGateway{
    0x5B0E7C1A, 0x41D3, 0x4C8E, {0x9A, 0x61, 0x2E, 0x07, 0x4B, 0x3D, 0xC1, 0x55}};
constexpr CLSID CLSID_SweepGatewayDA10{
    0x5B0E7C1A, 0x41D3, 0x4C8E, {0x9A, 0x61, 0x2E, 0x07, 0x4B, 0x3D, 0xC1, 0x56}};

/// Creates a simulation object, puts it in manual scan mode and lets the
/// sweep plan its fault before anyone else sees it.
class Gateway final : public platform::ComObject<IClassFactory> {
  public:
    explicit Gateway(const CLSID &Target) : FTarget(Target) {}
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *Outer, REFIID riid, void **ppv) override {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (Outer)
            return CLASS_E_NOAGGREGATION;
        ComPtr<IUnknown> Sim;
        const HRESULT Hr =
            platform::CoCreateInstance(FTarget, nullptr, CLSCTX_ALL, IID_IUnknown, Sim.PutVoid());
        if (FAILED(Hr))
            return Hr;
        Latest = Sim.As<IVexoSimControl>();
        if (Latest) {
            Latest->SetManualMode(TRUE);
            if (Prepare)
                Prepare(Latest.Get());
        }
        return Sim->QueryInterface(riid, ppv);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

    std::function<void(IVexoSimControl *)> Prepare;
    ComPtr<IVexoSimControl> Latest;

  private:
    CLSID FTarget;
};

Gateway &GatewayFor(bool DA10) {
    static Gateway *Gateways[2] = {nullptr, nullptr};
    Gateway *&G = Gateways[DA10 ? 1 : 0];
    if (!G) {
        RegisterSimulationServers();
        auto Made = platform::MakeCom<Gateway>(DA10 ? CLSID_VexoSimulationDA10 : CLSID_VexoSimulation);
        DWORD Cookie = 0;
        platform::CoRegisterClassObject(DA10 ? CLSID_SweepGatewayDA10 : CLSID_SweepGateway,
                                        Made->GetUnknown(), CLSCTX_INPROC_SERVER, 0, &Cookie);
        G = Made.Get(); // the class table keeps it for the life of the process
    }
    return *G;
}

bool AnswersWithoutArrays(const std::string &Method) {
    // The methods whose planned S_FALSE comes without the per-item arrays.
    static const std::set<std::string> Bare = {"RemoveItems", "SetActiveState", "SetDatatypes",
                                               "Write"};
    return Bare.count(Method) > 0;
}

bool TakesItems(const std::string &Method) {
    static const std::set<std::string> PerItem = {
        "AddItems",      "ValidateItems",  "RemoveItems",   "SetActiveState",
        "SetDatatypes",  "Read",           "Write",         "AsyncIO2.Read",
        "AsyncIO2.Write", "AsyncIO.Read",  "AsyncIO.Write", "GetItemProperties",
        "LookupItemIDs", "OnDataChange",   "OnReadComplete", "OnWriteComplete"};
    return PerItem.count(Method) > 0;
}

void Arm(IVexoSimControl *Control, const PlannedFault &F) {
    const std::u16string Name = platform::Utf8ToUtf16(F.Method);
    switch (F.Kind) {
    case FaultKind::CallFails:
        Control->FailNextCall(Name.c_str(), CallFailure);
        break;
    case FaultKind::SFalseNoArrays:
        Control->FailNextCall(Name.c_str(), S_FALSE);
        break;
    case FaultKind::FirstItemFails: {
        const HRESULT Codes[1] = {ItemFailure};
        Control->SetNextItemErrors(Name.c_str(), 1, Codes);
        break;
    }
    }
}

/// Withdraws a planned fault that its step did not use.
void Disarm(IVexoSimControl *Control, const PlannedFault &F) {
    const std::u16string Name = platform::Utf8ToUtf16(F.Method);
    if (F.Kind == FaultKind::FirstItemFails)
        Control->SetNextItemErrors(Name.c_str(), 0, nullptr);
    else
        Control->FailNextCall(Name.c_str(), S_OK);
}

std::string Hex(HRESULT Code) {
    char Buf[16];
    std::snprintf(Buf, sizeof Buf, "0x%08X", static_cast<unsigned>(Code));
    return Buf;
}

/// The scenario's application: one server component, its groups and items,
/// and what its events and handlers saw.
class Scenario {
  public:
    Scenario(bool DA10, const PlannedFault *Fault, const RunRecord *Baseline)
        : FDA10(DA10), FFault(Fault), FBaseline(Baseline), FGateway(GatewayFor(DA10)) {}

    RunRecord Run();

  private:
    struct Step {
        std::string Name;
        bool MayRaise;
        std::function<bool()> Body;
    };
    std::vector<Step> Steps();
    void RunStep(int Index, const Step &S);
    void CollectCalls(int Index);
    void CheckConsistency(const std::string &Where);
    void CheckItemsOnServer(TVexoGroup &G, const std::string &Where);
    int ServerGroupCount();
    void Recover();
    void Note(const std::string &Step, const std::string &Text) {
        FRecord.Reports.push_back(Step + ": " + Text);
    }
    IVexoSimControl *Control() const { return FGateway.Latest.Get(); }
    /// Delivers queued server work and the messages it posted.
    void Scan() {
        if (Control())
            Control()->RunScan(0);
        Application->ProcessMessages();
    }
    bool FaultIs(std::initializer_list<const char *> Methods) const {
        if (!FFault)
            return false;
        const std::string Method = FFault->Method.substr(0, FFault->Method.find('#'));
        for (const char *M : Methods)
            if (Method == M)
                return true;
        return false;
    }

    bool FDA10;
    const PlannedFault *FFault;
    const RunRecord *FBaseline;
    Gateway &FGateway;
    RunRecord FRecord;
    std::string FCurrentStep = "setup";
    std::unique_ptr<TVexoServer> FServer;
    TVexoGroup *FFast = nullptr;
    TVexoGroup *FSlow = nullptr;
    int FDataChanges = 0;
    int FWriteCompletes = 0;
};

RunRecord Scenario::Run() {
    const long long TaskMemAtStart = platform::TaskMemLiveBlocks();
    const long long BStrAtStart = platform::BStrLiveCount();
    const long long ArraysAtStart = platform::SafeArrayLiveCount();

    TUIServices Capture;
    Capture.ShowMessage = [this](const std::string &Text) { Note(FCurrentStep, Text); };
    Capture.Beep = [] {};
    Capture.SetBusyCursor = [](bool) {};
    Capture.ProcessPendingMessages = [] {};
    TUIServices SavedUI = SetUIServices(std::move(Capture));
    auto SavedOnException = Application->OnException;
    Application->OnException = [this](TObject *, const Exception &E) {
        Note(FCurrentStep, "handled: " + E.Message());
    };

    FServer = std::make_unique<TVexoServer>(nullptr);
    FServer->SetClientName("sweep");
    FServer->OnError = [this](TObject *, const std::string &Text, bool &) {
        Note(FCurrentStep, "OnError: " + Text);
    };
    FServer->OnDatachange = [this](TObject *, TVexoItemList *List) { FDataChanges += List->Count() > 0; };
    FServer->OnWriteComplete = [this](TObject *, TVexoItemList *) { ++FWriteCompletes; };
    FServer->OnWriteError = [this](TObject *, TVexoItemList *List) {
        ++FRecord.WriteErrors;
        for (int I = 0; I < List->Count(); ++I)
            FRecord.ItemCodes.push_back(FCurrentStep + ": write error " +
                                        List->GetItem(I)->ItemID() + "=" +
                                        Hex(List->GetItem(I)->LastError()));
    };
    FFast = FServer->OPCGroups()->Add("Fast");
    FFast->SetUpdateRate(100);
    for (const char *Id : {"Simulation.Bucket.Int4", "Simulation.Ramp.Real8", "Simulation.Line 1.Setpoint"})
        FFast->OPCItems()->AddItem(Id);
    FSlow = FServer->OPCGroups()->Add("Slow");
    FSlow->OPCItems()->AddItem("Simulation.Constant.String");

    FGateway.Prepare = [this](IVexoSimControl *C) {
        // Completion callbacks are planned from the start: the first of each
        // kind carries the fault, whichever step makes the server send it.
        if (FFault && (FFault->Step == 0 || FFault->Method.rfind("On", 0) == 0))
            Arm(C, *FFault);
    };
    const auto All = Steps();
    for (const Step &S : All)
        FRecord.StepNames.push_back(S.Name);
    for (int I = 0; I < static_cast<int>(All.size()); ++I) {
        if (FFault && FFault->Step == I && I != 0 && FFault->Method.rfind("On", 0) != 0 && Control())
            Arm(Control(), *FFault);
        RunStep(I, All[static_cast<std::size_t>(I)]);
        if (FFault && FFault->Step == I && FFault->Method.rfind("On", 0) != 0 && Control())
            Disarm(Control(), *FFault);
    }
    FGateway.Prepare = nullptr;
    Recover();

    FCurrentStep = "destroy";
    try {
        FServer.reset();
    } catch (const Exception &E) {
        FRecord.Escaped.push_back("destroy: " + E.Message());
    }
    FGateway.Latest = nullptr;
    Application->ProcessMessages();
    Application->OnException = SavedOnException;
    SetUIServices(SavedUI);

    if (platform::TaskMemLiveBlocks() != TaskMemAtStart)
        FRecord.Inconsistencies.push_back(
            "task memory: " + std::to_string(platform::TaskMemLiveBlocks() - TaskMemAtStart) +
            " blocks left");
    if (platform::BStrLiveCount() != BStrAtStart)
        FRecord.Inconsistencies.push_back("BSTR: " +
                                          std::to_string(platform::BStrLiveCount() - BStrAtStart) +
                                          " left");
    if (platform::SafeArrayLiveCount() != ArraysAtStart)
        FRecord.Inconsistencies.push_back("SAFEARRAY left");
    return std::move(FRecord);
}

std::vector<Scenario::Step> Scenario::Steps() {
    const std::string ProgID =
        platform::GuidToString(FDA10 ? CLSID_SweepGatewayDA10 : CLSID_SweepGateway);
    std::vector<Step> S;
    S.push_back({"connect", true, [this, ProgID] {
                     FServer->Connect(ProgID, "");
                     return FFast->IsOnServer() && FSlow->IsOnServer();
                 }});
    S.push_back({"subscription", true, [this] {
                     OleVariant Seven(7);
                     Control()->SetTagValue(u"Simulation.Bucket.Int4", &Seven.Var(), 0xC0);
                     const int Before = FDataChanges;
                     Control()->RunScan(100);
                     Application->ProcessMessages();
                     return FDataChanges > Before;
                 }});
    S.push_back({"sync read", true, [this] {
                     const bool Cache = FFast->SyncRead(nullptr, true);
                     return FFast->SyncRead(nullptr, false) && Cache;
                 }});
    S.push_back({"sync write", true, [this] {
                     TVexoItemList List;
                     TVexoItem *A = FFast->OPCItems()->GetItem(0);
                     TVexoItem *C = FFast->OPCItems()->GetItem(2);
                     A->SetWriteValue(OleVariant(11));
                     C->SetWriteValue(OleVariant(50.0));
                     List.AddItem(A);
                     List.AddItem(C);
                     const bool Ok = FFast->SyncWrite(&List);
                     A->WriteSync(OleVariant(12));
                     return Ok;
                 }});
    S.push_back({"async read", true, [this] {
                     const bool Ok = FFast->AsyncRead(nullptr);
                     const int Before = FDataChanges;
                     Scan();
                     return Ok && FDataChanges > Before;
                 }});
    S.push_back({"async write", true, [this] {
                     TVexoItemList List;
                     TVexoItem *A = FFast->OPCItems()->GetItem(0);
                     TVexoItem *C = FFast->OPCItems()->GetItem(2);
                     A->SetWriteValue(OleVariant(21));
                     C->SetWriteValue(OleVariant(60.0));
                     List.AddItem(A);
                     List.AddItem(C);
                     const int Before = FWriteCompletes;
                     const bool Ok = FFast->AsyncWrite(&List);
                     Scan();
                     // Streams bring no write completions the client listens to.
                     return Ok && (!FFast->DataCallback() || FWriteCompletes > Before);
                 }});
    S.push_back({"refresh", true, [this] {
                     const int Before = FDataChanges;
                     FFast->Refresh(true);
                     Scan();
                     return FDataChanges > Before;
                 }});
    S.push_back({"cancel", true, [this] {
                     const bool Ok = FFast->AsyncRead(nullptr);
                     FFast->CancelLastAsyncCall();
                     Scan();
                     return Ok && FFast->TaskId() == 0;
                 }});
    S.push_back({"group state", true, [this] {
                     tGroupStateRec State;
                     FFast->GetState(State);
                     FFast->SetUpdateRate(200);
                     FSlow->SetName("Slow2");
                     return State.Name == "Fast" && FFast->UpdateRate() == 200;
                 }});
    S.push_back({"item state", true, [this] {
                     TVexoItem *B = FFast->OPCItems()->GetItem(1);
                     B->SetIsActive(false);
                     B->SetRequestDatatype(vtR4);
                     FServer->SetBatchMode(true);
                     TVexoItem *D = FFast->OPCItems()->AddItem("Simulation.Random.Int2");
                     FServer->SetBatchMode(false);
                     TVexoItemList List(D);
                     const bool Valid = FFast->OPCItems()->OPCValidateItems(&List);
                     const bool Added = FFast->OPCItems()->OPCAddItems(&List, true);
                     return Valid && Added && !B->IsActive();
                 }});
    S.push_back({"add item", true, [this] {
                     TVexoItem *E = FSlow->OPCItems()->AddItem("Simulation.Ramp.Int4");
                     return E->ServerHandle() != static_cast<OPCHANDLE>(-1);
                 }});
    S.push_back({"remove item", false, [this] {
                     FFast->OPCItems()->Delete(FFast->OPCItems()->Count() - 1);
                     return true;
                 }});
    S.push_back({"add group", true, [this] {
                     TVexoGroup *X = FServer->OPCGroups()->Add("Extra");
                     X->OPCItems()->AddItem("Simulation.Sine.Real8");
                     return X->IsOnServer();
                 }});
    S.push_back({"remove group", false, [this] {
                     FServer->OPCGroups()->Remove("Extra");
                     return true;
                 }});
    if (!FDA10) {
        S.push_back({"properties", true, [this] {
                         TStringList Lines;
                         const bool Listed =
                             FServer->QueryAvailableProperties("Simulation.Line 1.Level", &Lines);
                         OleVariant Value;
                         const bool Read =
                             FServer->GetItemProperty("Simulation.Line 1.Level", 1, Value);
                         const std::string Looked =
                             FServer->LookupItemId("Simulation.Line 1.Level", 100);
                         TVexoItemProperties Props(FServer.get(), "Simulation.Line 1.Level");
                         // The listing's read of the values shows in the values only.
                         bool Values = false;
                         for (int I = 0; I < Props.Count(); ++I)
                             if (Props.GetItem(I)->PropertyID == 1)
                                 Values = !VarIsEmpty(Props.GetItem(I)->Value);
                         return Listed && Read && !Looked.empty() && Values;
                     }});
        S.push_back({"status", true, [this] {
                         const tServerStateRec State = FServer->GetState();
                         const std::string Text = FServer->GetErrorString(ItemFailure);
                         FServer->SetLocaleId(FServer->GetLocaleId());
                         return !Text.empty() && State.ServerState != 0;
                     }});
    }
    S.push_back({"browse", true, [this] {
                     TVexoBrowser *B = FServer->Browser();
                     const int Organization = B->GetOrganization();
                     if (Organization == 1) {
                         B->ShowBranches();
                         const bool Down = B->MoveDown("Simulation") && B->MoveDown("Line 1");
                         B->ShowLeafs(false);
                         const std::string Id = B->GetItemId("Level");
                         TStringList Paths;
                         B->GetAccessPath("Simulation.Line 1.Level", &Paths);
                         const bool Root = B->MovetoRoot();
                         return Down && Root && Id == "Simulation.Line 1.Level" &&
                                Paths.Count() > 0;
                     }
                     B->ShowLeafs(true);
                     return Organization == 2 && B->GetCount() > 0;
                 }});
    S.push_back({"disconnect", false, [this] {
                     FServer->Disconnect();
                     return !FServer->Active();
                 }});
    return S;
}

void Scenario::RunStep(int Index, const Step &S) {
    FCurrentStep = S.Name;
    bool Answer = false;
    try {
        Answer = S.Body();
    } catch (const Exception &E) {
        if (S.MayRaise)
            Note(S.Name, "raised: " + E.Message());
        else
            FRecord.Escaped.push_back(S.Name + ": " + E.Message());
    } catch (const std::exception &E) {
        FRecord.Escaped.push_back(S.Name + ": std::exception " + E.what());
    }
    Application->ProcessMessages();
    FRecord.Answers.push_back(Answer);
    const bool Expected =
        FBaseline ? FBaseline->Answers[static_cast<std::size_t>(Index)] : true;
    if (Expected && !Answer)
        FRecord.FalseAnswers.push_back(S.Name);
    CollectCalls(Index);
    for (int G = 0; G < FServer->OPCGroups()->Count(); ++G) {
        TVexoItems *Items = FServer->OPCGroups()->GetItem(G)->OPCItems();
        for (int I = 0; I < Items->Count(); ++I)
            if (HRESULT Code = Items->GetItem(I)->LastError(); Code != 0)
                FRecord.ItemCodes.push_back(S.Name + ": " + Items->GetItem(I)->ItemID() + "=" +
                                            Hex(Code));
    }
    CheckConsistency(S.Name);
    if (Control())
        Control()->ClearCallLog();
}

void Scenario::CollectCalls(int Index) {
    if (!Control())
        return;
    for (const std::string &Line : SimCallLog(Control())) {
        const std::string Method = Line.substr(0, Line.find(' '));
        if (!Method.empty())
            FRecord.Calls.emplace_back(Index, Method);
    }
}

// Each group is either on the server with a sink and every item holding a
// handle the server knows, or local with every item local; the server has
// exactly the groups the client thinks it has.
void Scenario::CheckConsistency(const std::string &Where) {
    auto Fail = [&](const std::string &Text) {
        FRecord.Inconsistencies.push_back(Where + ": " + Text);
    };
    int OnServer = 0;
    for (int I = 0; I < FServer->OPCGroups()->Count(); ++I) {
        TVexoGroup &G = *FServer->OPCGroups()->GetItem(I);
        if (!G.IsOnServer()) {
            if (G.ServerHandle() != static_cast<OPCHANDLE>(-1))
                Fail("local group " + G.Name() + " keeps a server handle");
            for (int J = 0; J < G.OPCItems()->Count(); ++J)
                if (G.OPCItems()->GetItem(J)->ServerHandle() != static_cast<OPCHANDLE>(-1))
                    Fail("item of local group " + G.Name() + " keeps a server handle");
            continue;
        }
        ++OnServer;
        if (!FServer->HasServerIF())
            Fail("group " + G.Name() + " on the server of a disconnected component");
        const bool SinkRefused = FaultIs({"Advise", "DAdvise", "FindConnectionPoint"});
        if (!G.DataCallback() && !G.AdviseSink() && !SinkRefused)
            Fail("group " + G.Name() + " is on the server without a sink");
        CheckItemsOnServer(G, Where);
    }
    if (FServer->HasServerIF() && !FaultIs({"RemoveGroup"})) {
        const int Count = ServerGroupCount();
        if (Count >= 0 && Count != OnServer)
            Fail("server has " + std::to_string(Count) + " groups, client " +
                 std::to_string(OnServer));
    }
}

void Scenario::CheckItemsOnServer(TVexoGroup &G, const std::string &Where) {
    std::vector<OPCHANDLE> Handles;
    std::set<OPCHANDLE> Distinct;
    for (int J = 0; J < G.OPCItems()->Count(); ++J) {
        const OPCHANDLE H = G.OPCItems()->GetItem(J)->ServerHandle();
        if (H == static_cast<OPCHANDLE>(-1))
            continue;
        Handles.push_back(H);
        if (!Distinct.insert(H).second)
            FRecord.Inconsistencies.push_back(Where + ": two items share a server handle");
    }
    if (Handles.empty() || !G.SyncIO())
        return;
    OPCITEMSTATE *States = nullptr;
    HRESULT *Errors = nullptr;
    const DWORD N = static_cast<DWORD>(Handles.size());
    const HRESULT Hr = G.SyncIO()->Read(OPC_DS_CACHE, N, Handles.data(), &States, &Errors);
    for (DWORD I = 0; I < N; ++I) {
        if (Errors && Errors[I] == OPC_E_INVALIDHANDLE)
            FRecord.Inconsistencies.push_back(Where + ": an item of " + G.Name() +
                                              " holds a handle the server does not know");
        if (States)
            platform::VariantClear(&States[I].vDataValue);
    }
    if (FAILED(Hr))
        FRecord.Inconsistencies.push_back(Where + ": reading the items of " + G.Name() +
                                          " failed: " + Hex(Hr));
    platform::CoTaskMemFree(States);
    platform::CoTaskMemFree(Errors);
}

int Scenario::ServerGroupCount() {
    ComPtr<IOPCServer> Server = FServer->GetOPCServer();
    ComPtr<IUnknown> Unk;
    if (!Server ||
        FAILED(Server->CreateGroupEnumerator(OPC_ENUM_ALL, IID_IEnumString,
                                             reinterpret_cast<LPUNKNOWN *>(Unk.PutVoid()))))
        return -1;
    ComPtr<IEnumString> Names = Unk.As<IEnumString>();
    if (!Names)
        return -1;
    int Count = 0;
    LPOLESTR Name = nullptr;
    ULONG Fetched = 0;
    while (Names->Next(1, &Name, &Fetched) == S_OK && Fetched == 1) {
        platform::CoTaskMemFree(Name);
        ++Count;
    }
    return Count;
}

// After the faulty run the component must still work: connected again
// without faults, every group and item reaches the server and reads.
void Scenario::Recover() {
    FCurrentStep = "recover";
    try {
        FServer->SetActive(true);
        for (int I = 0; I < FServer->OPCGroups()->Count(); ++I) {
            TVexoGroup &G = *FServer->OPCGroups()->GetItem(I);
            if (!G.IsOnServer() || !G.SyncRead(nullptr, true))
                FRecord.Inconsistencies.push_back("recover: group " + G.Name() +
                                                  " does not read after reconnecting");
        }
        CheckConsistency("recover");
        FServer->SetActive(false);
    } catch (const Exception &E) {
        FRecord.Inconsistencies.push_back("recover: " + E.Message());
    }
}

} // namespace

const char *KindName(FaultKind Kind) {
    switch (Kind) {
    case FaultKind::CallFails:
        return "fails";
    case FaultKind::FirstItemFails:
        return "fails for its first item";
    case FaultKind::SFalseNoArrays:
        return "answers S_FALSE without arrays";
    }
    return "?";
}

std::string PlannedFault::Describe() const {
    return Method + " " + KindName(Kind) + " in step " + std::to_string(Step);
}

bool IsPerItemMethod(const std::string &Method) { return TakesItems(Method); }

bool IsBareSFalseMethod(const std::string &Method) { return AnswersWithoutArrays(Method); }

RunRecord RunScenario(bool DA10, const PlannedFault *Fault, const RunRecord *Baseline) {
    Scenario S(DA10, Fault, Baseline);
    return S.Run();
}

std::string FailureText(HRESULT Code) {
    try {
        OPCCheck(Code);
    } catch (const Exception &E) {
        return E.Message();
    }
    return {};
}

} // namespace vexo::test
