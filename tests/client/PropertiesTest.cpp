//===- PropertiesTest.cpp - item properties against the simulation ------===//

#include "DiscFixture.h"

namespace vexo::test {
namespace {

constexpr const char *kLevel = "Simulation.Line 1.Level";

using PropertiesTest = DiscTest;

TEST_F(PropertiesTest, NotConnectedGivesEmptyResultsWithoutRaising) {
    // Without a connection every query gives its empty result and reports nothing.
    TVexoServer server(nullptr);
    TStringList lines;
    lines.Add("stale");
    EXPECT_FALSE(server.QueryAvailableProperties(kLevel, &lines));
    EXPECT_EQ(lines.Count(), 0);
    OleVariant value(5);
    EXPECT_FALSE(server.GetItemProperty(kLevel, 1, value));
    EXPECT_TRUE(VarIsEmpty(value));
    EXPECT_EQ(server.LookupItemId(kLevel, 100), "");
    TVexoItemProperties props(&server, kLevel);
    EXPECT_EQ(props.Count(), 0);
    EXPECT_FALSE(props.GetItemProperties());
}

TEST_F(PropertiesTest, ServerWithoutPropertiesInterfaceGivesEmptyResults) {
    // A DA 1.0 server offers no item properties: empty results, no exception.
    auto server = Connect(kSimDA10);
    TStringList lines;
    EXPECT_FALSE(server->QueryAvailableProperties(kLevel, &lines));
    EXPECT_EQ(server->LookupItemId(kLevel, 100), "");
    TVexoItemProperties props(server.get(), kLevel);
    EXPECT_EQ(props.Count(), 0);
}

TEST_F(PropertiesTest, ListingLinesKeepTheServersOrderAndQuotesUnchanged) {
    // Each line is id,"description",vartype; a quote inside a description stays as it is.
    auto server = Connect(kSimDA20);
    TStringList lines;
    ASSERT_TRUE(server->QueryAvailableProperties(kLevel, &lines));
    std::vector<std::string> got = Lines(lines);
    ASSERT_GE(got.size(), 10u);
    EXPECT_EQ(got[0], "1,\"Item Canonical Data Type\",2");
    EXPECT_EQ(got[7], "8,\"Item EU Info\"," + std::to_string(VT_ARRAY | VT_R8));
    EXPECT_TRUE(Contains(got, "101,\"Item Description\",8"));
    EXPECT_TRUE(Contains(got, "5001,\"Maintenance Note\",8"));
}

TEST_F(PropertiesTest, FailedListingRaisesAndLeavesListsEmpty) {
    // A failed listing raises the OPC text; both listings are left empty.
    auto server = Connect(kSimDA20);
    TStringList lines;
    lines.Add("stale");
    FailNext(*server, u"QueryAvailableProperties", OPC_E_UNKNOWNITEMID);
    try {
        server->QueryAvailableProperties(kLevel, &lines);
        ADD_FAILURE() << "no exception";
    } catch (const EOPCException &E) {
        EXPECT_EQ(E.Message(), "The item is no longer available in the server address space.");
    }
    EXPECT_EQ(lines.Count(), 0);

    TVexoItemProperties props(server.get(), kLevel);
    ASSERT_GT(props.Count(), 0);
    FailNext(*server, u"QueryAvailableProperties", OPC_E_INVALIDITEMID);
    EXPECT_THROW(props.SetItemId("Simulation.Line 1.Setpoint"), EOPCException);
    EXPECT_EQ(props.ItemId(), "Simulation.Line 1.Setpoint");
    EXPECT_EQ(props.Count(), 0);
}

TEST_F(PropertiesTest, SingleValueAndLookupAnswers) {
    // Reads and look-ups: a refused read is false and empty, a refused look-up raises.
    auto server = Connect(kSimDA20);
    OleVariant value;
    ASSERT_TRUE(server->GetItemProperty(kLevel, 101, value));
    EXPECT_EQ(VarToStr(value), "Tank level \"north\" sensor");
    EXPECT_FALSE(server->GetItemProperty(kLevel, 5001, value));
    EXPECT_TRUE(VarIsEmpty(value));
    EXPECT_FALSE(server->GetItemProperty(kLevel, 4711, value)); // OPC_E_INVALID_PID
    EXPECT_TRUE(VarIsEmpty(value));

    EXPECT_EQ(server->LookupItemId(kLevel, 100), "Simulation.Line 1.Level EU");
    try {
        server->LookupItemId(kLevel, 4711);
        ADD_FAILURE() << "no exception";
    } catch (const EOPCException &E) {
        EXPECT_EQ(E.Message(), "The server does not recognise the passed property ID.");
    }
    const HRESULT notZero = S_FALSE;
    Control(*server)->SetNextItemErrors(u"LookupItemIDs", 1, &notZero);
    EXPECT_EQ(server->LookupItemId(kLevel, 100), "");
    FailNext(*server, u"LookupItemIDs", E_FAIL);
    EXPECT_EQ(server->LookupItemId(kLevel, 100), "");
}

TEST_F(PropertiesTest, ListReadsAllValuesAndMarksFailedEntriesEmpty) {
    // One entry failing makes the read false; the others keep their values.
    auto server = Connect(kSimDA20);
    TVexoItemProperties props(server.get(), kLevel);
    ASSERT_GE(props.Count(), 3);
    EXPECT_EQ(props.GetItem(0)->PropertyID, 1u);
    EXPECT_EQ(props.GetItem(0)->Description, "Item Canonical Data Type");
    EXPECT_EQ(props.GetItem(0)->DataType, VT_I2);
    EXPECT_FALSE(props.GetItemProperties()); // property 5001 always fails

    std::vector<HRESULT> errors(static_cast<std::size_t>(props.Count()), S_OK);
    errors[1] = E_FAIL;
    Control(*server)->SetNextItemErrors(u"GetItemProperties", static_cast<DWORD>(errors.size()),
                                        errors.data());
    EXPECT_FALSE(props.GetItemProperties());
    EXPECT_FALSE(VarIsEmpty(props.GetItem(0)->Value));
    EXPECT_TRUE(VarIsEmpty(props.GetItem(1)->Value));
    EXPECT_FALSE(VarIsEmpty(props.GetItem(2)->Value));

    FailNext(*server, u"GetItemProperties", E_FAIL);
    EXPECT_FALSE(props.GetItemProperties());
    EXPECT_FALSE(VarIsEmpty(props.GetItem(0)->Value)) << "a failed call leaves entries unchanged";
}

TEST_F(PropertiesTest, UnchangedIdOrServerAndEmptyIdMakeNoServerCall) {
    // Same id, same server and an empty id neither list nor read.
    auto server = Connect(kSimDA20);
    ClearLog(*server);
    TVexoItemProperties empty(server.get(), "");
    EXPECT_FALSE(empty.GetItemProperties());
    EXPECT_TRUE(Calls(*server, "QueryAvailableProperties").empty());
    EXPECT_TRUE(Calls(*server, "GetItemProperties").empty());

    TVexoItemProperties props(server.get(), kLevel);
    ClearLog(*server);
    props.SetItemId(kLevel);
    props.SetOPCServer(server.get());
    EXPECT_TRUE(Calls(*server, "QueryAvailableProperties").empty());
    EXPECT_TRUE(Calls(*server, "GetItemProperties").empty());
    props.SetItemId("Simulation.Line 1.Setpoint");
    EXPECT_EQ(Calls(*server, "QueryAvailableProperties").size(), 1u);
    EXPECT_EQ(Calls(*server, "GetItemProperties").size(), 1u);
}

TEST_F(PropertiesTest, ListForgetsAServerComponentDestroyedFirst) {
    // A list that outlives its server component forgets it and keeps its entries.
    auto server = Connect(kSimDA20);
    TVexoItemProperties props(server.get(), kLevel);
    const int count = props.Count();
    ASSERT_GT(count, 0);
    server.reset();
    EXPECT_EQ(props.OPCServer(), nullptr);
    EXPECT_EQ(props.Count(), count);
    EXPECT_FALSE(props.Refresh());
    EXPECT_EQ(props.Count(), 0);
}

TEST_F(PropertiesTest, SetItemFreesTheReplacedEntry) {
    // Replacing an entry hands the new one to the list and frees the old one.
    auto server = Connect(kSimDA20);
    TVexoItemProperties props(server.get(), kLevel);
    auto *entry = new TVexoItemProperty;
    entry->PropertyID = 77;
    props.SetItem(0, entry);
    props.SetItem(0, entry);
    EXPECT_EQ(props.GetItem(0)->PropertyID, 77u);
    EXPECT_THROW(props.SetItem(props.Count(), entry), EListError);
}

} // namespace
} // namespace vexo::test
