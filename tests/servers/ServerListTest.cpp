//===- ServerListTest.cpp - registration and the server-list object -------===//
#include "SimTestSupport.h"

namespace vexo::simtest {
namespace {

using ServerList = SimServerTest;

std::vector<GUID> Classes(IOPCServerList *list, std::vector<CATID> cats) {
    ComPtr<IEnumGUID> e;
    EXPECT_EQ(list->EnumClassesOfCategories(static_cast<ULONG>(cats.size()), cats.data(), 0,
                                            nullptr, e.ReleaseAndGetAddressOf()),
              S_OK);
    std::vector<GUID> out;
    GUID g;
    ULONG n = 0;
    while (e && e->Next(1, &g, &n) == S_OK)
        out.push_back(g);
    return out;
}

// Registration writes the ProgID and CLSID keys, the OPC subkey and the categories.
TEST_F(ServerList, RegistrationWritesTheKeys) {
    RegisterSimulationServers(); // again: nothing changes
    CLSID clsid{};
    ASSERT_EQ(platform::CLSIDFromProgID(OLESTR("Vexo.Simulation.1"), &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_VexoSimulation);
    ASSERT_EQ(platform::CLSIDFromProgID(OLESTR("Vexo.Simulation.DA10.1"), &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_VexoSimulationDA10);
    HKEY key = nullptr;
    EXPECT_EQ(platform::RegOpenKeyA(HKEY_CLASSES_ROOT, "Vexo.Simulation.1\\OPC", &key),
              ERROR_SUCCESS);
    platform::RegCloseKey(key);
    const std::string cat = "CLSID\\" + platform::GuidToString(CLSID_VexoSimulationDA10) +
                            "\\Implemented Categories\\" +
                            platform::GuidToString(CATID_OPCDAServer20);
    EXPECT_EQ(platform::RegOpenKeyA(HKEY_CLASSES_ROOT, cat.c_str(), &key), ERROR_FILE_NOT_FOUND);
}

// The server list finds classes by category and reads their details.
TEST_F(ServerList, EnumeratesByCategoryAndReadsDetails) {
    ComPtr<IOPCServerList> list;
    ASSERT_EQ(platform::CoCreateInstance(CLSID_OPCServerList, nullptr, CLSCTX_ALL,
                                         IID_IOPCServerList, list.PutVoid()),
              S_OK);
    const auto da20 = Classes(list.Get(), {CATID_OPCDAServer20});
    EXPECT_EQ(da20, (std::vector<GUID>{CLSID_VexoSimulation}));
    const auto da10 = Classes(list.Get(), {CATID_OPCDAServer10});
    EXPECT_EQ(da10, (std::vector<GUID>{CLSID_VexoSimulation, CLSID_VexoSimulationDA10}));
    const auto both = Classes(list.Get(), {CATID_OPCDAServer20, CATID_OPCDAServer10});
    EXPECT_EQ(both.size(), 2u); // any of the given categories, each class once
    EXPECT_TRUE(Classes(list.Get(), {CATID_OPCAEServer10}).empty());
    LPOLESTR progId = nullptr, userType = nullptr;
    ASSERT_EQ(list->GetClassDetails(CLSID_VexoSimulationDA10, &progId, &userType), S_OK);
    EXPECT_EQ(platform::WideToString(progId), "Vexo.Simulation.DA10.1");
    EXPECT_EQ(platform::WideToString(userType), "Vexo OPC DA 1.0 Simulation Server");
    platform::CoTaskMemFree(progId);
    platform::CoTaskMemFree(userType);
    EXPECT_EQ(list->GetClassDetails(CATID_OPCDAServer10, &progId, &userType), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(progId, nullptr);
    CLSID clsid{};
    ASSERT_EQ(list->CLSIDFromProgID(OLESTR("Vexo.Simulation.1"), &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_VexoSimulation);
    EXPECT_EQ(list->CLSIDFromProgID(OLESTR("No.Such.1"), &clsid), REGDB_E_CLASSNOTREG);
}

// Registering on a named computer adds it and makes remote creation work there.
TEST_F(ServerList, NamedComputerRegistration) {
#ifdef _WIN32
    GTEST_SKIP() << "named computers are simulated by the stand-in only";
#endif
    RegisterSimulationServers("plant-7");
    RegisterSimulationServers("plant-7");
    EXPECT_TRUE(platform::ComputerExists("plant-7"));
    vexo::platform::WideString name = OLESTR("plant-7");
    COSERVERINFO info{0, name.data(), nullptr, 0};
    MULTI_QI qi{&IID_IOPCServerList, nullptr, S_OK};
    ASSERT_EQ(platform::CoCreateInstanceEx(CLSID_OPCServerList, nullptr, CLSCTX_REMOTE_SERVER,
                                           &info, 1, &qi),
              S_OK);
    auto list = ComPtr<IOPCServerList>::Attach(static_cast<IOPCServerList *>(qi.pItf));
    EXPECT_EQ(Classes(list.Get(), {CATID_OPCDAServer10}).size(), 2u);
    MULTI_QI sq{&IID_IOPCServer, nullptr, S_OK};
    ASSERT_EQ(platform::CoCreateInstanceEx(CLSID_VexoSimulation, nullptr, CLSCTX_REMOTE_SERVER,
                                           &info, 1, &sq),
              S_OK);
    auto remote = ComPtr<IOPCServer>::Attach(static_cast<IOPCServer *>(sq.pItf));
    remote.As<IVexoSimControl>()->SetManualMode(TRUE);
    auto g = AddGroup(OLESTR("Remote"), TRUE, 1000, 1, nullptr, remote.Get());
    EXPECT_TRUE(g);
}

} // namespace
} // namespace vexo::simtest
