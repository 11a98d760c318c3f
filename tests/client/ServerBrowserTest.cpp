//===- ServerBrowserTest.cpp - server enumeration against the simulation --===//

#include "DiscFixture.h"

#include <memory>

#include <vexo/platform/Activation.h>
#include <vexo/platform/Registry.h>

namespace vexo::test {
namespace {

constexpr const char *kSimClassID = "{7E46A347-A843-44D9-B2C6-ADCF158C9B0F}";

using ServerBrowserTest = DiscTest;

std::vector<TvexoServerItem *> WithProgID(const TvexoServerBrowser &B, const std::string &ProgID) {
    std::vector<TvexoServerItem *> out;
    for (int i = 0; i < B.GetCount(); ++i)
        if (B.GetItems(i)->ProgID == ProgID)
            out.push_back(B.GetItems(i));
    return out;
}

TEST_F(ServerBrowserTest, ClassInBothDACategoriesIsListedOnceWithBoth) {
    // A new browser asks for all three categories; a class in two is merged into one item.
    TvexoServerBrowser browser(nullptr);
    EXPECT_EQ(browser.Servertype().Bits, 7u);
    browser.Execute();
    auto sim = WithProgID(browser, kSimDA20);
    ASSERT_EQ(sim.size(), 1u);
    EXPECT_TRUE(sim[0]->ServerTypes.Contains(svr_DA10));
    EXPECT_TRUE(sim[0]->ServerTypes.Contains(svr_DA20));
    EXPECT_FALSE(sim[0]->ServerTypes.Contains(svr_AE10));
    EXPECT_EQ(sim[0]->ClassID, kSimClassID);
    EXPECT_EQ(sim[0]->ComputerName, "");
    EXPECT_FALSE(sim[0]->Description.empty());
    auto da10 = WithProgID(browser, kSimDA10);
    ASSERT_EQ(da10.size(), 1u);
    EXPECT_EQ(da10[0]->ServerTypes.Bits, 1u << svr_DA10);

    // Only DA 2.0: the DA 1.0-only class is not listed.
    browser.SetServertype(tvexoServerSet{1u << svr_DA20});
    browser.Execute();
    EXPECT_EQ(WithProgID(browser, kSimDA20).size(), 1u);
    EXPECT_TRUE(WithProgID(browser, kSimDA10).empty());
}

TEST_F(ServerBrowserTest, EveryRunStartsFromAnEmptyList) {
    // Two runs in a row list the same servers once each.
    TvexoServerBrowser browser(nullptr);
    browser.Execute();
    const int first = browser.GetCount();
    ASSERT_GT(first, 0);
    browser.Execute();
    EXPECT_EQ(browser.GetCount(), first);
    EXPECT_EQ(WithProgID(browser, kSimDA20).size(), 1u);
}

TEST_F(ServerBrowserTest, RemoteRunsCarryTheComputerName) {
    // GetOPCServers(name) sets ComputerName first; items carry it; unknown hosts raise.
    RegisterSimulationServers("DiscRemote");
    TvexoServerBrowser browser(nullptr);
    browser.GetOPCServers("DiscRemote");
    EXPECT_EQ(browser.ComputerName(), "DiscRemote");
    auto sim = WithProgID(browser, kSimDA20);
    ASSERT_EQ(sim.size(), 1u);
    EXPECT_EQ(sim[0]->ComputerName, "DiscRemote");

    EXPECT_THROW(browser.GetOPCServers("NoSuchHost.invalid"), EOleSysError);
    EXPECT_EQ(browser.GetCount(), 0) << "nothing of the earlier run survives";
    browser.SetServertype(tvexoServerSet{});
    EXPECT_THROW(browser.Execute(), EOleSysError) << "the list object is created all the same";
    browser.SetComputerName("");
    browser.Execute();
    EXPECT_EQ(browser.GetCount(), 0);
}

TEST_F(ServerBrowserTest, MergingAndLookUp) {
    // AddServer merges by exact ClassID; other fields of a merged item stay.
    TvexoServerBrowser browser(nullptr);
    browser.SetComputerName("here");
    browser.AddServer("First", "A.1", "{ABC}", tvexoServerSet{1u << svr_DA10});
    browser.AddServer("Second", "B.1", "{ABC}", tvexoServerSet{1u << svr_AE10});
    browser.AddServer("Other", "C.1", "{abc}", tvexoServerSet{});
    ASSERT_EQ(browser.GetCount(), 2);
    TvexoServerItem *item = browser.GetServer("{ABC}");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->Description, "First");
    EXPECT_EQ(item->ProgID, "A.1");
    EXPECT_EQ(item->ComputerName, "here");
    EXPECT_EQ(item->ServerTypes.Bits, (1u << svr_DA10) | (1u << svr_AE10));
    EXPECT_EQ(browser.GetServer("{Abc}"), nullptr);
    EXPECT_THROW(browser.GetItems(2), EListError);
    // Entries can be swapped: a replaced item goes back to the caller, and
    // one listed twice meanwhile is freed once.
    TvexoServerItem *first = browser.GetItems(0);
    TvexoServerItem *second = browser.GetItems(1);
    browser.SetItems(0, second);
    browser.SetItems(1, first);
    EXPECT_EQ(browser.GetItems(0)->ClassID, "{abc}");
    EXPECT_EQ(browser.GetItems(1)->ClassID, "{ABC}");
    std::unique_ptr<TvexoServerItem> replaced(browser.GetItems(1));
    browser.SetItems(1, browser.GetItems(0)); // the same item twice
    browser.Clear();
    EXPECT_EQ(browser.GetCount(), 0);
}

TEST_F(ServerBrowserTest, RegistryScanFindsOPCKeysPastOverlongNames) {
    // Keys with an OPC subkey are listed; a name too long for the buffer skips only itself.
    const std::string longName = "Vexo.Test." + std::string(300, 'L');
    HKEY key = nullptr;
    ASSERT_EQ(platform::RegCreateKeyA(HKEY_CLASSES_ROOT, (longName + "\\OPC").c_str(), &key),
              ERROR_SUCCESS);
    platform::RegCloseKey(key);
    ASSERT_EQ(platform::RegCreateKeyA(HKEY_CLASSES_ROOT, "Vexo.Test.Past\\OPC", &key),
              ERROR_SUCCESS);
    platform::RegCloseKey(key);
    ASSERT_EQ(platform::RegCreateKeyA(HKEY_CLASSES_ROOT, "Vexo.Test.NoOPC\\CLSID", &key),
              ERROR_SUCCESS);
    platform::RegCloseKey(key);
    const long long openKeys = platform::RegOpenKeyCount();

    TStringList list;
    list.Add("stale");
    GetOPCServers(&list);
    auto names = Lines(list);
    EXPECT_TRUE(Contains(names, kSimDA20));
    EXPECT_TRUE(Contains(names, kSimDA10));
    EXPECT_TRUE(Contains(names, "Vexo.Test.Past"));
    EXPECT_FALSE(Contains(names, "Vexo.Test.NoOPC"));
    EXPECT_FALSE(Contains(names, "stale"));
    EXPECT_EQ(platform::RegOpenKeyCount(), openKeys) << "every opened key is closed";

    platform::RegDeleteTreeA(HKEY_CLASSES_ROOT, longName.c_str());
    platform::RegDeleteTreeA(HKEY_CLASSES_ROOT, "Vexo.Test.Past");
    platform::RegDeleteTreeA(HKEY_CLASSES_ROOT, "Vexo.Test.NoOPC");
}

} // namespace
} // namespace vexo::test
