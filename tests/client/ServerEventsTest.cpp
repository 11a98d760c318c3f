//===- ServerEventsTest.cpp - callbacks delivered as events on the owner thread -===//
//
// Behaviour of the server component's message target: shutdown notices from
// the server's own thread, the data, write-error and write-complete messages
// and their lists, exceptions that escape a handler, and the connection-point
// helpers.
//
//===----------------------------------------------------------------------===//

#include "client/ClientFixture.h"

#include <thread>

namespace vexo::test {
namespace {

class ServerEventsTest : public ClientFixture {
  protected:
    /// Records the order of shutdown and disconnect events and their threads.
    void Watch(TVexoServer &Server) {
        Server.OnServerShutdown = [this](TObject *, const std::string &Reason) {
            Log.push_back("shutdown:" + Reason);
            Threads.push_back(std::this_thread::get_id());
        };
        Server.OnDisconnect = [this](TObject *) {
            Log.push_back("disconnect");
            Threads.push_back(std::this_thread::get_id());
        };
    }
    std::vector<std::string> Log;
    std::vector<std::thread::id> Threads;
};

TEST_F(ServerEventsTest, ShutdownFromTheServerThreadArrivesOnTheOwnerThread) {
    // A shutdown request sent from the server's scan thread becomes OnServerShutdown
    // with an empty reason, then OnDisconnect, both on the owner thread.
    TVexoServer *Server = NewServer();
    Watch(*Server);
    Server->Connect(SimProgID, "");
    auto Control = SimControl(*Server);
    ASSERT_EQ(Control->SendShutdown(OLESTR("maintenance"), TRUE), S_OK);
    ASSERT_TRUE(PumpUntil([&] { return Log.size() == 2; }));
    EXPECT_EQ(Log, (std::vector<std::string>{"shutdown:", "disconnect"}));
    for (std::thread::id Id : Threads)
        EXPECT_EQ(Id, std::this_thread::get_id());
    EXPECT_FALSE(Server->Active());
    EXPECT_FALSE(Server->HasServerIF());
}

TEST_F(ServerEventsTest, ShutdownHandlerThatRaisesStillDisconnects) {
    // The server is going away: a raising OnServerShutdown still ends the
    // connection, and its error reaches the application's handler.
    TVexoServer *Server = NewServer();
    int Disconnects = 0;
    Server->OnServerShutdown = [](TObject *, const std::string &) {
        throw EOPCException("handler failed");
    };
    Server->OnDisconnect = [&](TObject *) { ++Disconnects; };
    Server->Connect(SimProgID, "");
    ASSERT_EQ(SimControl(*Server)->SendShutdown(OLESTR(""), TRUE), S_OK);
    ASSERT_TRUE(PumpUntil([&] { return !Exceptions.empty(); }));
    EXPECT_EQ(Exceptions, (std::vector<std::string>{"handler failed"}));
    EXPECT_EQ(Disconnects, 1);
    EXPECT_FALSE(Server->Active());
    EXPECT_FALSE(Server->HasServerIF());
}

TEST_F(ServerEventsTest, ShutdownHandlerMayFreeTheComponent) {
    // A handler that frees its component ends the connection without touching it again.
    auto *Server = new TVexoServer(nullptr);
    int Disconnects = 0;
    bool Freed = false;
    Server->OnDisconnect = [&](TObject *) { ++Disconnects; };
    Server->OnServerShutdown = [&Freed](TObject *Sender, const std::string &) {
        bool *Done = &Freed; // the handler object goes with the component
        delete static_cast<TVexoServer *>(Sender);
        *Done = true;
    };
    Server->Connect(SimProgID, "");
    auto Control = SimControl(*Server);
    ASSERT_EQ(Control->SendShutdown(OLESTR(""), FALSE), S_OK);
    ASSERT_TRUE(PumpUntil([&] { return Freed; }));
    Application->ProcessMessages();
    EXPECT_EQ(Disconnects, 0);
    EXPECT_TRUE(Exceptions.empty());
}

TEST_F(ServerEventsTest, ShutdownAfterDisconnectReachesNothing) {
    // A disconnected component's sink is withdrawn: a later request posts nothing.
    TVexoServer *Server = NewServer();
    Watch(*Server);
    Server->Connect(SimProgID, "");
    auto Control = SimControl(*Server); // keeps the server object alive
    Server->Disconnect();
    Log.clear();
    EXPECT_EQ(Control->SendShutdown(OLESTR("late"), FALSE), S_OK);
    Application->ProcessMessages();
    EXPECT_TRUE(Log.empty());
}

TEST_F(ServerEventsTest, QueuedShutdownOfAnEarlierConnectionIsIgnored) {
    // A shutdown posted before a reconnect does not end the new connection.
    TVexoServer *Server = NewServer();
    Watch(*Server);
    Server->Connect(SimProgID, "");
    auto Control = SimControl(*Server);
    ASSERT_EQ(Control->SendShutdown(OLESTR(""), FALSE), S_OK); // posted, not yet handled
    Control = nullptr;
    Server->Disconnect();
    Server->SetActive(true);
    Log.clear();
    Application->ProcessMessages();
    EXPECT_TRUE(Log.empty());
    EXPECT_TRUE(Server->Active());
}

TEST_F(ServerEventsTest, DestroyedComponentDropsItsQueuedMessages) {
    // Messages still queued when the component is destroyed are never handled; their
    // lists are freed (the leak checkers of the sanitizer builds see this).
    TVexoServer *Server = NewServer();
    int Events = 0;
    Server->OnDatachange = [&](TObject *, TVexoItemList *) { ++Events; };
    Server->OPCGroups()->Add("G");
    Server->Connect(SimProgID, "");
    auto Control = SimControl(*Server);
    HWND Target = Server->GetHandle();
    ASSERT_TRUE(PostMessage(Target, CM_OPCDATACHANGE, 0,
                            reinterpret_cast<LPARAM>(new TVexoItemList())));
    ASSERT_EQ(Control->SendShutdown(OLESTR(""), FALSE), S_OK);
    Control = nullptr;
    Free(Server);
    Application->ProcessMessages();
    EXPECT_EQ(Events, 0);
    // A post to the released target is refused, so the poster keeps its list.
    EXPECT_FALSE(PostMessage(Target, CM_OPCWRITECOMPLETE, 0, 0));
}

TEST_F(ServerEventsTest, DataChangeReachesOnlyExistingGroups) {
    // CM_OPCDATACHANGE raises OnDatachange with the server as sender for a known group
    // ID, and nothing for an unknown one or without a handler.
    TVexoServer *Server = NewServer();
    TVexoGroup *Group = Server->OPCGroups()->Add("G");
    std::vector<TObject *> Senders;
    std::vector<int> Counts;
    Server->OnDatachange = [&](TObject *Sender, TVexoItemList *List) {
        Senders.push_back(Sender);
        Counts.push_back(List->Count());
    };
    TVexoItem *Item = Group->OPCItems()->AddItem("Simulation.Bucket.Int4");
    auto *List = new TVexoItemList();
    List->AddItem(Item);
    PostMessage(Server->GetHandle(), CM_OPCDATACHANGE, Group->ID(), reinterpret_cast<LPARAM>(List));
    PostMessage(Server->GetHandle(), CM_OPCDATACHANGE, Group->ID() + 7,
                reinterpret_cast<LPARAM>(new TVexoItemList()));
    Application->ProcessMessages();
    ASSERT_EQ(Senders.size(), 1u);
    EXPECT_EQ(Senders[0], Server);
    EXPECT_EQ(Counts[0], 1);

    Server->OnDatachange = nullptr;
    PostMessage(Server->GetHandle(), CM_OPCDATACHANGE, Group->ID(),
                reinterpret_cast<LPARAM>(new TVexoItemList()));
    Application->ProcessMessages();
    EXPECT_EQ(Senders.size(), 1u);
}

TEST_F(ServerEventsTest, EntriesOfDestroyedItemsAreDropped) {
    // A callback list whose item was destroyed after the post reaches the handler
    // without that entry; a list of a removed group raises nothing.
    TVexoServer *Server = NewServer();
    TVexoGroup *Group = Server->OPCGroups()->Add("G");
    TVexoItem *Kept = Group->OPCItems()->AddItem("Simulation.Bucket.Int4");
    TVexoItem *Gone = Group->OPCItems()->AddItem("Simulation.Bucket.Real8");
    std::vector<std::vector<TVexoItem *>> Seen;
    auto Record = [&](TObject *, TVexoItemList *List) {
        std::vector<TVexoItem *> Items;
        for (int I = 0; I < List->Count(); ++I)
            Items.push_back(List->GetItem(I));
        Seen.push_back(Items);
    };
    Server->OnDatachange = Record;
    Server->OnWriteComplete = Record;
    const OPCHANDLE GoneHandle = Gone->GetClientHandle();
    auto MakeList = [&] {
        auto *List = new TVexoItemList();
        List->SetGroupID(Group->ID());
        List->AddFromCallback(Kept, Kept->GetClientHandle());
        List->AddFromCallback(Gone, GoneHandle); // Gone is only compared, never read
        return reinterpret_cast<LPARAM>(List);
    };
    PostMessage(Server->GetHandle(), CM_OPCDATACHANGE, Group->ID(), MakeList());
    PostMessage(Server->GetHandle(), CM_OPCWRITECOMPLETE, 0, MakeList());
    delete Gone;
    Application->ProcessMessages();
    ASSERT_EQ(Seen.size(), 2u);
    EXPECT_EQ(Seen[0], std::vector<TVexoItem *>{Kept});
    EXPECT_EQ(Seen[1], std::vector<TVexoItem *>{Kept});

    Seen.clear();
    LPARAM Orphan = MakeList();
    int GroupID = Group->ID();
    delete Group;
    PostMessage(Server->GetHandle(), CM_OPCDATACHANGE, GroupID, Orphan);
    Application->ProcessMessages();
    EXPECT_TRUE(Seen.empty());
}

TEST_F(ServerEventsTest, RaisingHandlerGoesToTheApplicationHandler) {
    // An exception from OnDatachange reaches Application->OnException; the loop goes on.
    TVexoServer *Server = NewServer();
    TVexoGroup *Group = Server->OPCGroups()->Add("G");
    int Calls = 0;
    Server->OnDatachange = [&](TObject *, TVexoItemList *) {
        ++Calls;
        throw EOPCException("handler failed");
    };
    for (int I = 0; I < 2; ++I)
        PostMessage(Server->GetHandle(), CM_OPCDATACHANGE, Group->ID(),
                    reinterpret_cast<LPARAM>(new TVexoItemList()));
    Application->ProcessMessages();
    EXPECT_EQ(Calls, 2);
    EXPECT_EQ(Exceptions, (std::vector<std::string>{"handler failed", "handler failed"}));
}

TEST_F(ServerEventsTest, WriteErrorWithoutHandlerRaisesCannotWrite) {
    // CM_OPCWRITEERROR without OnWriteError becomes an EOPCException starting with
    // "cannot write Items:" in the application's handler; with a handler, the event.
    TVexoServer *Server = NewServer();
    TVexoGroup *Group = Server->OPCGroups()->Add("G");
    TVexoItem *Item = Group->OPCItems()->AddItem("Simulation.ReadOnly.Int4");
    Item->SetLastError(static_cast<HRESULT>(0xC0040006));
    auto Post = [&] {
        auto *List = new TVexoItemList();
        List->SetGroupID(Group->ID());
        List->AddFromCallback(Item, Item->GetClientHandle());
        PostMessage(Server->GetHandle(), CM_OPCWRITEERROR, 0, reinterpret_cast<LPARAM>(List));
    };
    Post();
    Application->ProcessMessages();
    ASSERT_EQ(Exceptions.size(), 1u);
    EXPECT_EQ(Exceptions[0].rfind("cannot write Items:", 0), 0u) << Exceptions[0];

    int Events = 0;
    Server->OnWriteError = [&](TObject *, TVexoItemList *List) { Events += List->Count(); };
    Post();
    Application->ProcessMessages();
    EXPECT_EQ(Events, 1);
    EXPECT_EQ(Exceptions.size(), 1u);
}

TEST_F(ServerEventsTest, OtherMessagesAreIgnored) {
    // A message id the component does not handle does nothing.
    TVexoServer *Server = NewServer();
    int Events = 0;
    Server->OnDatachange = [&](TObject *, TVexoItemList *) { ++Events; };
    Server->OnServerShutdown = [&](TObject *, const std::string &) { ++Events; };
    PostMessage(Server->GetHandle(), CM_OPCWRITECOMPLETE + 1, 0, 0);
    PostMessage(Server->GetHandle(), WM_USER, 0, 0);
    Application->ProcessMessages();
    EXPECT_EQ(Events, 0);
    EXPECT_TRUE(Exceptions.empty());
}

TEST_F(ServerEventsTest, ConnectionPointHelpersAnswerEFailWithoutAPoint) {
    // Advise/Unadvise give E_FAIL for an empty server and for a server without
    // connection points, and register with one that has them.
    auto Sink = platform::MakeCom<TVexoShutdownEvent>(nullptr);
    DWORD Cookie = 0;
    EXPECT_EQ(AdviseConnectionPoint(nullptr, IID_IOPCShutdown, Sink->GetUnknown(), Cookie), E_FAIL);
    EXPECT_EQ(UnadviseConnectionPoint(nullptr, IID_IOPCShutdown, 0), E_FAIL);

    TVexoServer *Server = NewServer();
    Server->Connect(SimDA10ProgID, "");
    auto DA10 = Server->GetOPCServer();
    EXPECT_EQ(AdviseConnectionPoint(DA10.Get(), IID_IOPCShutdown, Sink->GetUnknown(), Cookie),
              E_FAIL);
    DA10 = nullptr;

    Server->Connect(SimProgID, "");
    auto DA20 = Server->GetOPCServer();
    ASSERT_EQ(AdviseConnectionPoint(DA20.Get(), IID_IOPCShutdown, Sink->GetUnknown(), Cookie), S_OK);
    EXPECT_EQ(UnadviseConnectionPoint(DA20.Get(), IID_IOPCShutdown, Cookie), S_OK);
    // A sink that has no owner ignores a request and still answers S_OK.
    EXPECT_EQ(Sink->ShutdownRequest(OLESTR("x")), S_OK);
}

TEST_F(ServerEventsTest, DetachedSinkAnswersSOkAndPostsNothing) {
    // A late ShutdownRequest on a sink whose component went away is a no-op with S_OK.
    TVexoServer *Server = NewServer();
    int Events = 0;
    Server->OnServerShutdown = [&](TObject *, const std::string &) { ++Events; };
    Server->Connect(SimProgID, "");
    auto Sink = TVexoShutdownEvent::Create(Server);
    EXPECT_EQ(Sink->AdviseResult(), S_OK);
    Sink->Detach();
    EXPECT_EQ(Sink->ShutdownRequest(nullptr), S_OK);
    Application->ProcessMessages();
    EXPECT_EQ(Events, 0);
    UnadviseConnectionPoint(Server->GetOPCServer().Get(), IID_IOPCShutdown, Sink->Cookie());
}

} // namespace
} // namespace vexo::test
