//===- RegistryTest.cpp - per-computer registry conformance --------------===//
#include <vector>

#include "PlatformTestSupport.h"

using namespace vexo::platform;
using namespace vexo::platform::test;

namespace {

std::vector<std::string> SubkeyNames(HKEY key) {
    std::vector<std::string> names;
    char buf[64];
    for (DWORD i = 0; RegEnumKeyA(key, i, buf, sizeof buf) == ERROR_SUCCESS; ++i)
        names.emplace_back(buf);
    return names;
}

} // namespace

// Subkeys enumerate sorted without regard to case, names compare likewise, and only a key
// without subkeys can be deleted on its own.
TEST(Registry, EnumerationOrderCaseAndDeleteRules) {
    Counters c;
    HKEY root = nullptr;
    ASSERT_EQ(vp::RegCreateKeyA(HKEY_CLASSES_ROOT, "VexoRegTest", &root), ERROR_SUCCESS);
    for (const char *n : {"Zeta", "alpha", "Mid", "_under", "beta"}) {
        HKEY k;
        ASSERT_EQ(vp::RegCreateKeyA(root, n, &k), ERROR_SUCCESS);
        vp::RegCloseKey(k);
    }
    HKEY again;
    ASSERT_EQ(vp::RegCreateKeyA(root, "ALPHA", &again), ERROR_SUCCESS); // opens, does not add
    vp::RegCloseKey(again);
    // Wine orders names by their lower-case form, which puts '_' before the
    // letters; Windows compares upper-case forms.
    if (!RunningUnderWine()) {
        EXPECT_EQ(SubkeyNames(root),
                  (std::vector<std::string>{"alpha", "beta", "Mid", "Zeta", "_under"}));
    }
    char small[4];
    EXPECT_EQ(RegEnumKeyA(root, 0, small, sizeof small), ERROR_MORE_DATA);
    EXPECT_EQ(RegEnumKeyA(root, 5, small, sizeof small), ERROR_NO_MORE_ITEMS);

    HKEY opened;
    EXPECT_EQ(vp::RegOpenKeyA(HKEY_CLASSES_ROOT, "vexoregtest\\MID", &opened), ERROR_SUCCESS);
    vp::RegCloseKey(opened);
    EXPECT_EQ(vp::RegOpenKeyA(root, "Missing", &opened), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(opened, nullptr);
    vp::RegCloseKey(root);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "VexoRegTest"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "VexoRegTest\\mid"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTreeA(HKEY_CLASSES_ROOT, "VexoRegTest"), ERROR_SUCCESS);
    EXPECT_EQ(vp::RegOpenKeyA(HKEY_CLASSES_ROOT, "VexoRegTest", &opened), ERROR_FILE_NOT_FOUND);
    c.ExpectUnchanged();
}

// Default values: nested paths are created; unset values read as "" of size 1; size-only query.
TEST(Registry, DefaultValueQueries) {
    Counters c;
    ASSERT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, "VexoRegVal\\A\\B", REG_SZ, "hello", 5),
              ERROR_SUCCESS);
    LONG size = 0;
    EXPECT_EQ(RegQueryValueA(HKEY_CLASSES_ROOT, "VexoRegVal\\A\\B", nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 6);
    char buf[16] = {};
    size = sizeof buf;
    EXPECT_EQ(RegQueryValueA(HKEY_CLASSES_ROOT, "VexoRegVal\\A\\B", buf, &size), ERROR_SUCCESS);
    EXPECT_STREQ(buf, "hello");
    char tiny[3];
    size = sizeof tiny;
    EXPECT_EQ(RegQueryValueA(HKEY_CLASSES_ROOT, "VexoRegVal\\A\\B", tiny, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 6);

    size = 0;
    EXPECT_EQ(RegQueryValueA(HKEY_CLASSES_ROOT, "VexoRegVal\\A", nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 1);
    size = sizeof buf;
    EXPECT_EQ(RegQueryValueA(HKEY_CLASSES_ROOT, "VexoRegVal\\A", buf, &size), ERROR_SUCCESS);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(RegQueryValueA(HKEY_CLASSES_ROOT, "VexoRegVal\\Nope", nullptr, &size),
              ERROR_FILE_NOT_FOUND);

    HKEY a;
    ASSERT_EQ(vp::RegOpenKeyA(HKEY_CLASSES_ROOT, "VexoRegVal\\A", &a), ERROR_SUCCESS);
    size = sizeof buf;
    EXPECT_EQ(RegQueryValueA(a, "b", buf, &size), ERROR_SUCCESS);
    EXPECT_STREQ(buf, "hello");
    EXPECT_EQ(RegSetValueA(a, nullptr, 7 /* REG_DWORD */, "x", 1), ERROR_INVALID_PARAMETER);
    vp::RegCloseKey(a);
    RegDeleteTreeA(HKEY_CLASSES_ROOT, "VexoRegVal");
    c.ExpectUnchanged();
}

// A key deleted while open stays a valid handle that reports the deletion.
TEST(Registry, DeletedKeyHandleStaysSafe) {
    Counters c;
    HKEY k;
    ASSERT_EQ(vp::RegCreateKeyA(HKEY_CLASSES_ROOT, "VexoRegDel\\Child\\Leaf", &k), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyCount(), c.keys + 1);
    ASSERT_EQ(RegDeleteTreeA(HKEY_CLASSES_ROOT, "VexoRegDel"), ERROR_SUCCESS);
    char buf[8];
    EXPECT_EQ(RegEnumKeyA(k, 0, buf, sizeof buf), ERROR_KEY_DELETED);
    LONG size = sizeof buf;
    EXPECT_EQ(RegQueryValueA(k, nullptr, buf, &size), ERROR_KEY_DELETED);
    HKEY sub;
    EXPECT_EQ(vp::RegCreateKeyA(k, "more", &sub), ERROR_KEY_DELETED);
    EXPECT_EQ(vp::RegCloseKey(k), ERROR_SUCCESS);
    EXPECT_EQ(vp::RegCloseKey(k), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "VexoRegDel"), ERROR_FILE_NOT_FOUND);
    c.ExpectUnchanged();
}

// Each computer has its own tree; an unknown computer is a bad network path.
TEST(Registry, PerComputerTrees) {
    if (!kStandIn)
        GTEST_SKIP() << "named computers are simulated by the stand-in only";
    Counters c;
    AddComputer("reg-host");
    HKEY remote;
    ASSERT_EQ(vp::RegConnectRegistryA("REG-HOST", HKEY_CLASSES_ROOT, &remote), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueA(remote, "OnlyRemote", REG_SZ, "r", 1), ERROR_SUCCESS);
    HKEY k;
    EXPECT_EQ(vp::RegOpenKeyA(HKEY_CLASSES_ROOT, "OnlyRemote", &k), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(vp::RegOpenKeyA(remote, "OnlyRemote", &k), ERROR_SUCCESS);
    vp::RegCloseKey(k);

    HKEY local;
    ASSERT_EQ(vp::RegConnectRegistryA(nullptr, HKEY_CLASSES_ROOT, &local), ERROR_SUCCESS);
    EXPECT_EQ(vp::RegOpenKeyA(local, "OnlyRemote", &k), ERROR_FILE_NOT_FOUND);
    vp::RegCloseKey(local);
    EXPECT_EQ(vp::RegConnectRegistryA("nowhere", HKEY_CLASSES_ROOT, &k), ERROR_BAD_NETPATH);
    EXPECT_EQ(k, nullptr);

    RemoveComputer("reg-host");
    EXPECT_EQ(vp::RegOpenKeyA(remote, "OnlyRemote", &k), ERROR_KEY_DELETED);
    vp::RegCloseKey(remote);
    c.ExpectUnchanged();
}
