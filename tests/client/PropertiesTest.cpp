//===- PropertiesTest.cpp - item properties against the simulation ------===//

#include "DiscFixture.h"

#include <vexo/platform/Activation.h>
#include <vexo/platform/ComObject.h>

namespace vexo::test {
namespace {

constexpr const char *kLevel = "Simulation.Line 1.Level";

/// A server object that offers item properties only, answering every value
/// read with a variant of a type no one can copy.
class UncopyableValueServer final
    : public platform::ComObject<IOPCServer, IOPCItemProperties> {
  public:
    HRESULT STDMETHODCALLTYPE AddGroup(LPCWSTR, BOOL, DWORD, OPCHANDLE, LONG *, FLOAT *, DWORD, OPCHANDLE *, DWORD *,
                     REFIID, LPUNKNOWN *) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetErrorString(HRESULT, LCID, LPWSTR *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetGroupByName(LPCWSTR, REFIID, LPUNKNOWN *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetStatus(OPCSERVERSTATUS **) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveGroup(OPCHANDLE, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateGroupEnumerator(OPCENUMSCOPE, REFIID, LPUNKNOWN *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryAvailableProperties(LPWSTR, DWORD *, DWORD **, LPWSTR **, VARTYPE **) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetItemProperties(LPWSTR, DWORD dwCount, DWORD *, VARIANT **ppvData,
                              HRESULT **ppErrors) override {
        *ppvData = static_cast<VARIANT *>(platform::CoTaskMemAlloc(dwCount * sizeof(VARIANT)));
        *ppErrors = static_cast<HRESULT *>(platform::CoTaskMemAlloc(dwCount * sizeof(HRESULT)));
        for (DWORD i = 0; i < dwCount; ++i) {
            platform::VariantInit(&(*ppvData)[i]);
            (*ppvData)[i].vt = 0x0FFF;
            (*ppErrors)[i] = S_OK;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE LookupItemIDs(LPWSTR, DWORD, DWORD *, LPWSTR **, HRESULT **) override {
        return E_NOTIMPL;
    }
};

class UncopyableValueFactory final : public platform::ComObject<IClassFactory> {
  public:
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *, REFIID riid, void **ppv) override {
        return platform::MakeCom<UncopyableValueServer>()->QueryInterface(riid, ppv);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

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
    FailNext(*server, OLESTR("QueryAvailableProperties"), OPC_E_UNKNOWNITEMID);
    try {
        server->QueryAvailableProperties(kLevel, &lines);
        ADD_FAILURE() << "no exception";
    } catch (const EOPCException &E) {
        EXPECT_EQ(E.Message(), "The item is no longer available in the server address space.");
    }
    EXPECT_EQ(lines.Count(), 0);

    TVexoItemProperties props(server.get(), kLevel);
    ASSERT_GT(props.Count(), 0);
    FailNext(*server, OLESTR("QueryAvailableProperties"), OPC_E_INVALIDITEMID);
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
    Control(*server)->SetNextItemErrors(OLESTR("LookupItemIDs"), 1, &notZero);
    EXPECT_EQ(server->LookupItemId(kLevel, 100), "");
    FailNext(*server, OLESTR("LookupItemIDs"), E_FAIL);
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
    Control(*server)->SetNextItemErrors(OLESTR("GetItemProperties"), static_cast<DWORD>(errors.size()),
                                        errors.data());
    EXPECT_FALSE(props.GetItemProperties());
    EXPECT_FALSE(VarIsEmpty(props.GetItem(0)->Value));
    EXPECT_TRUE(VarIsEmpty(props.GetItem(1)->Value));
    EXPECT_FALSE(VarIsEmpty(props.GetItem(2)->Value));

    FailNext(*server, OLESTR("GetItemProperties"), E_FAIL);
    EXPECT_FALSE(props.GetItemProperties());
    EXPECT_FALSE(VarIsEmpty(props.GetItem(0)->Value)) << "a failed call leaves entries unchanged";
}

TEST_F(PropertiesTest, UncopyableValueIsAFailedReadNotAnException) {
    // A value the client cannot copy makes GetItemProperty false and empty, without raising.
    constexpr CLSID kFake{0x6B2C3D4E, 0x0011, 0x4000, {0x80, 0, 0, 0, 0, 0, 0x11, 0x01}};
    auto factory = platform::MakeCom<UncopyableValueFactory>();
    DWORD cookie = 0;
    ASSERT_EQ(platform::CoRegisterClassObject(kFake, factory.Get(), CLSCTX_LOCAL_SERVER,
                                              REGCLS_MULTIPLEUSE, &cookie),
              S_OK);
    {
        auto server = Connect("{6B2C3D4E-0011-4000-8000-000000001101}");
        OleVariant value(5);
        bool result = true;
        EXPECT_NO_THROW(result = server->GetItemProperty(kLevel, 1, value));
        EXPECT_FALSE(result);
        EXPECT_TRUE(VarIsEmpty(value));
    }
    platform::CoRevokeClassObject(cookie);
}

TEST_F(PropertiesTest, EntriesLeavingThroughTheBaseListAreFreed) {
    // Delete, Remove and Clear free the entries, also when called through a TList.
    auto server = Connect(kSimDA20);
    const long long strings = platform::BStrLiveCount();
    TVexoItemProperties props(server.get(), kLevel);
    ASSERT_GT(platform::BStrLiveCount(), strings);
    TList &base = props;
    for (int i = 0; i < props.Count(); ++i)
        if (props.GetItem(i)->PropertyID == 101)
            base.Delete(i);
    base.Remove(props.GetItem(0));
    const int left = props.Count();
    props.Delete(0);
    EXPECT_EQ(props.Count(), left - 1);
    base.Clear();
    EXPECT_EQ(props.Count(), 0);
    EXPECT_EQ(platform::BStrLiveCount(), strings);
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
