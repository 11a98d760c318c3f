//===- BrowserTest.cpp - the address-space browser against the simulation ===//

#include "DiscFixture.h"

namespace vexo::test {
namespace {

using BrowserTest = DiscTest;

TEST_F(BrowserTest, WalksAHierarchicalSpaceWithBlanksInNames) {
    // Moveto splits at every "." keeping blanks; Moveup drops the last level.
    auto server = Connect(kSimDA20);
    TVexoBrowser *b = server->Browser();
    ASSERT_EQ(b->OPCServer(), server.get()) << "the component binds its own browser on connect";
    EXPECT_EQ(b->GetOrganization(), OPC_NS_HIERARCHIAL);
    ASSERT_TRUE(b->MovetoRoot());
    b->SetFilter("*");
    b->ShowBranches();
    EXPECT_TRUE(Contains(Lines(*b->Tags()), "Simulation"));

    ASSERT_TRUE(b->Moveto("Simulation.Line 1"));
    EXPECT_EQ(Lines(*b->PathList()), (std::vector<std::string>{"Simulation", "Line 1"}));
    EXPECT_EQ(b->GetCurrentPosition(), "Simulation.Line 1");
    b->ShowLeafs(false);
    EXPECT_TRUE(Contains(Lines(*b->Tags()), "Level"));
    EXPECT_EQ(b->GetCount(), b->Tags()->Count());
    EXPECT_EQ(b->GetItemId("Level"), "Simulation.Line 1.Level");
    TStringList paths;
    b->GetAccessPath("Simulation.Line 1.Level", &paths);
    EXPECT_EQ(Lines(paths), (std::vector<std::string>{"Path A", "Path B"}));

    ASSERT_TRUE(b->Moveup());
    EXPECT_EQ(b->GetCurrentPosition(), "Simulation");
    ASSERT_TRUE(b->MoveDown("Line 1"));
    EXPECT_EQ(b->GetCurrentPosition(), "Simulation.Line 1");
    ASSERT_TRUE(b->MovetoRoot());
    EXPECT_EQ(b->PathList()->Count(), 0);
    EXPECT_EQ(b->GetCurrentPosition(), "");
}

TEST_F(BrowserTest, RefusedMovesKeepThePositionAndReportOnce) {
    // A refused move (empty path parts, up at the root) returns false, path unchanged.
    auto server = Connect(kSimDA20, true);
    TVexoBrowser *b = server->Browser();
    ASSERT_TRUE(b->Moveto("Simulation.Line 1"));
    EXPECT_FALSE(b->Moveto("Simulation..Line 1"));
    EXPECT_EQ(b->GetCurrentPosition(), "Simulation.Line 1");
    ASSERT_EQ(Errors.size(), 1u);
    EXPECT_EQ(Errors[0].rfind("Browser: ", 0), 0u);

    ASSERT_TRUE(b->MovetoRoot());
    Errors.clear();
    EXPECT_FALSE(b->Moveup()); // this server refuses to go above the root
    EXPECT_EQ(Errors.size(), 1u);
    EXPECT_EQ(b->PathList()->Count(), 0);
}

TEST_F(BrowserTest, MovesRaiseNothingEvenWithoutAQuietHandler) {
    // Without an OnError handler a refused move still only returns false.
    auto server = Connect(kSimDA20);
    TVexoBrowser *b = server->Browser();
    ASSERT_TRUE(b->MovetoRoot());
    EXPECT_FALSE(b->MoveDown("NoSuchBranch"));
    EXPECT_EQ(b->PathList()->Count(), 0);
}

TEST_F(BrowserTest, FlatServerRefusesMovesAndListsFlat) {
    // A flat server: moves and branch listing make no server call, leaves list type 3.
    auto server = Connect(kSimDA10);
    TVexoBrowser *b = server->Browser();
    EXPECT_EQ(b->GetOrganization(), OPC_NS_FLAT);
    ClearLog(*server);
    EXPECT_FALSE(b->MoveDown("Simulation"));
    EXPECT_FALSE(b->Moveup());
    EXPECT_FALSE(b->MovetoRoot());
    EXPECT_FALSE(b->Moveto("Simulation.Line 1"));
    b->ShowBranches();
    EXPECT_EQ(b->GetCount(), 0);
    EXPECT_TRUE(Calls(*server, "ChangeBrowsePosition").empty());
    EXPECT_TRUE(Calls(*server, "BrowseOPCItemIDs").empty());

    b->SetFilter("*");
    b->ShowLeafs(false);
    auto calls = Calls(*server, "BrowseOPCItemIDs");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].rfind("BrowseOPCItemIDs type=3 ", 0), 0u) << calls[0];
    EXPECT_TRUE(Contains(Lines(*b->Tags()), "Simulation.Line 1.Level"));
}

TEST_F(BrowserTest, ListingSendsFiltersAsTheyStand) {
    // No filter sends vt 0 and mask 0; both rights send mask 3; flat=true asks type 3.
    auto server = Connect(kSimDA20);
    TVexoBrowser *b = server->Browser();
    ASSERT_TRUE(b->Moveto("Simulation.Line 1"));
    ClearLog(*server);
    b->ShowLeafs(false);
    OPCAcesstype rights;
    rights.Include(opcReadable);
    rights.Include(opcWritable);
    b->SetAccessRights(rights);
    b->SetDatatype(vtR8);
    b->SetFilter("S*");
    b->ShowLeafs(true);
    auto calls = Calls(*server, "BrowseOPCItemIDs");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], "BrowseOPCItemIDs type=2 filter= vt=0 rights=0");
    EXPECT_EQ(calls[1], "BrowseOPCItemIDs type=3 filter=S* vt=5 rights=3");
    EXPECT_TRUE(Contains(Lines(*b->Tags()), "Simulation.Line 1.Setpoint"));
    EXPECT_TRUE(Contains(Lines(*b->Tags()), "Simulation.Line 1.Level")) << "either right lists";
}

TEST_F(BrowserTest, CheckFallsBackToTheLibraryTextWhenTheServerHasNone) {
    // A blank server text is replaced by the library's own text for the code.
    auto server = Connect(kSimDA20, true);
    TVexoBrowser *b = server->Browser();
    ASSERT_TRUE(b->MovetoRoot());
    FailNext(*server, OLESTR("BrowseOPCItemIDs"), OPC_E_INVALIDFILTER);
    b->ShowBranches();
    FailNext(*server, OLESTR("BrowseOPCItemIDs"), OPC_E_INVALIDFILTER);
    FailNext(*server, OLESTR("GetErrorString"), E_FAIL);
    b->ShowBranches();
    EXPECT_EQ(b->GetCount(), 0);
    EXPECT_EQ(Errors, (std::vector<std::string>{"Browser: The filter string is not valid.",
                                                "Browser: The filter string was not valid"}));
    // Without a handler the report raises out of a listing.
    server->OnError = nullptr;
    FailNext(*server, OLESTR("GetItemID"), OPC_E_UNKNOWNITEMID);
    EXPECT_THROW(b->GetItemId("Simulation"), EOPCException);
}

TEST_F(BrowserTest, BindingRules) {
    // Unbound raises; not connected faults; rebinding resets; a destroyed server unbinds.
    TVexoBrowser browser(nullptr);
    try {
        browser.ShowBranches();
        ADD_FAILURE() << "no exception";
    } catch (const EOPCException &E) {
        EXPECT_EQ(E.Message(), "first define server object");
    }
    {
        TVexoServer idle(nullptr);
        Silence(idle);
        browser.SetOPCServer(&idle);
        EXPECT_FALSE(browser.MovetoRoot());
        EXPECT_EQ(browser.GetOrganization(), -1);
        EXPECT_EQ(Errors, (std::vector<std::string>{"not connected to server",
                                                    "not connected to server"}));
    }
    EXPECT_EQ(browser.OPCServer(), nullptr);

    auto server = Connect(kSimDA20);
    browser.SetOPCServer(server.get());
    ASSERT_TRUE(browser.Moveto("Simulation.Line 1"));
    browser.ShowLeafs(false);
    browser.SetOPCServer(server.get());
    EXPECT_EQ(browser.PathList()->Count(), 0);
    EXPECT_EQ(browser.GetCount(), 0);
    server.reset();
    EXPECT_EQ(browser.OPCServer(), nullptr);
    EXPECT_THROW(browser.GetOrganization(), EOPCException);
}

TEST_F(BrowserTest, OwnBrowserUnbindsOnDisconnectAndMissingInterfaceFaults) {
    // Disconnecting unbinds the own browser; a server without browsing faults once.
    auto server = Connect(kSimDA20, true);
    server->SetActive(false);
    EXPECT_EQ(server->Browser()->OPCServer(), nullptr);
    server->SetActive(true);
    Control(*server)->WithholdInterface(SIM_TARGET_SERVER, IID_IOPCBrowseServerAddressSpace, TRUE);
    server->Browser()->ShowBranches();
    EXPECT_EQ(Errors, (std::vector<std::string>{"Browser interface not found"}));
    EXPECT_EQ(server->Browser()->GetItemId("x"), "");
    // Without the interface there is no result: the caller's list stays as it was.
    TStringList paths;
    paths.Add("kept");
    server->Browser()->GetAccessPath("Simulation.Line 1.Level", &paths);
    EXPECT_EQ(Lines(paths), (std::vector<std::string>{"kept"}));
    TVexoBrowser unbound(nullptr);
    EXPECT_THROW(unbound.GetAccessPath("x", &paths), EOPCException);
    EXPECT_EQ(paths.Count(), 1);
}

} // namespace
} // namespace vexo::test
