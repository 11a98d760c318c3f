//===- ConfigTest.cpp - the configuration file of the server component ---===//

#include "DiscFixture.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vexo::test {
namespace {

class ConfigTest : public DiscTest {
  protected:
    void SetUp() override {
        DiscTest::SetUp();
        FFile = "/tmp/vexo_config_test_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
    }
    void TearDown() override {
        std::remove(FFile.c_str());
        DiscTest::TearDown();
    }
    std::string ReadFile() const {
        std::ifstream in(FFile, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void WriteFile(const std::string &Text) const {
        std::ofstream out(FFile, std::ios::binary | std::ios::trunc);
        out << Text;
    }
    /// The file's lines without line ends and without trailing blank lines.
    std::vector<std::string> FileLines() const {
        std::vector<std::string> out;
        std::istringstream in(ReadFile());
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            out.push_back(line);
        }
        while (!out.empty() && out.back().empty())
            out.pop_back();
        return out;
    }
    /// Three items; Connectable leaves out the access paths the server does not know.
    static void AddGroup(TVexoServer &Server, const std::string &Name, int Rate, float DeadBand,
                         bool Connectable = false) {
        TVexoGroup *g = Server.OPCGroups()->Add(Name);
        g->SetUpdateRate(Rate);
        g->SetDeadBand(DeadBand);
        g->SetTimeBias(-60);
        g->SetLocaleId(1031);
        g->DefaultItem()->IsActive = false;
        g->DefaultItem()->AccessPath = Connectable ? "" : "Path A";
        g->DefaultItem()->RequestDataType = vtR4;
        for (const char *leaf : {"Level", "Setpoint", "Pump 1"})
            g->OPCItems()->AddItem(std::string("Simulation.Line 1.") + leaf);
        g->OPCItems()->GetItem(1)->SetRequestDatatype(vtR8);
        if (!Connectable)
            g->OPCItems()->GetItem(2)->SetAccessPath("it's \"quoted\"\r\n");
        g->OPCItems()->GetItem(2)->SetIsActive(true);
    }

    std::string FFile;
};

TEST_F(ConfigTest, FreshComponentWritesExactlyItsNonDefaultLines) {
    // A new component writes BatchMode, OPCGroups, the four set defaults, Active and Version.
    TVexoServer server(nullptr);
    server.SetName("OPCServer1");
    server.SaveToFile(FFile);
    EXPECT_EQ(FileLines(), (std::vector<std::string>{
                               "object OPCServer1: TVexoServer",
                               "  BatchMode = False",
                               "  OPCGroups = <>",
                               "  OPCGroupDefault.IsActive = True",
                               "  OPCGroupDefault.UpdateRate = 1000",
                               "  OPCGroupDefault.LocaleId = 0",
                               "  OPCGroupDefault.TimeBias = 0",
                               "  Active = False",
                               "  Version = '1.3'",
                               "end",
                           }));
}

TEST_F(ConfigTest, TwoGroupsOfThreeItemsRoundTrip) {
    // Groups, items and their settings come back in order; values are not stored.
    {
        TVexoServer server(nullptr);
        server.SetName("OPCServer1");
        server.SetServer(kSimDA20);
        server.SetComputername("");
        server.SetClientName("disc 'test'");
        server.SetBatchMode(true);
        server.OPCGroupDefault()->DeadBand = 2.5f;
        AddGroup(server, "First", 250, 0.5f);
        AddGroup(server, "Second", 1500, 0.0f);
        server.SaveToFile(FFile);
    }
    const std::string saved = ReadFile();
    TVexoServer server(nullptr);
    server.SetName("OPCServer1"); // the name in the file does not rename the component
    server.OPCGroups()->Add("Stale");
    server.LoadFromFile(FFile);
    EXPECT_FALSE(server.Active());
    EXPECT_EQ(server.ServerName(), kSimDA20);
    EXPECT_EQ(server.ClientName(), "disc 'test'");
    EXPECT_TRUE(server.BatchMode());
    EXPECT_FLOAT_EQ(server.OPCGroupDefault()->DeadBand, 2.5f);
    ASSERT_EQ(server.GetGroupCount(), 2);
    for (int gi = 0; gi < 2; ++gi) {
        TVexoGroup *g = server.OPCGroups()->GetItem(gi);
        EXPECT_EQ(g->Name(), gi == 0 ? "First" : "Second");
        EXPECT_EQ(g->UpdateRate(), gi == 0 ? 250 : 1500);
        EXPECT_FLOAT_EQ(g->DeadBand(), gi == 0 ? 0.5f : 0.0f);
        EXPECT_EQ(g->TimeBias(), -60);
        EXPECT_EQ(g->LocaleId(), 1031);
        EXPECT_FALSE(g->DefaultItem()->IsActive);
        EXPECT_EQ(g->DefaultItem()->AccessPath, "Path A");
        EXPECT_EQ(g->DefaultItem()->RequestDataType, vtR4);
        ASSERT_EQ(g->OPCItems()->Count(), 3);
        EXPECT_EQ(g->OPCItems()->GetItem(0)->ItemID(), "Simulation.Line 1.Level");
        EXPECT_EQ(g->OPCItems()->GetItem(2)->ItemID(), "Simulation.Line 1.Pump 1");
        EXPECT_FALSE(g->OPCItems()->GetItem(0)->IsActive());
        EXPECT_TRUE(g->OPCItems()->GetItem(2)->IsActive());
        EXPECT_EQ(g->OPCItems()->GetItem(0)->RequestDatatype(), vtR4);
        EXPECT_EQ(g->OPCItems()->GetItem(1)->RequestDatatype(), vtR8);
        EXPECT_EQ(g->OPCItems()->GetItem(2)->AccessPath(), "it's \"quoted\"\r\n");
        EXPECT_TRUE(VarIsEmpty(g->OPCItems()->GetItem(0)->Value()));
    }
    // Saving what was loaded gives the same file.
    server.SaveToFile(FFile);
    EXPECT_EQ(ReadFile(), saved);
}

TEST_F(ConfigTest, MarkerIsSearchedInTheFirst299BytesInAnyCase) {
    // The class name must appear within 299 bytes; letter case does not matter.
    WriteFile("OBJECT OPCSERVER1: TVEXOSERVER\r\n  CLIENTNAME = 'upper'\r\nEND\r\n");
    TVexoServer server(nullptr);
    server.LoadFromFile(FFile);
    EXPECT_EQ(server.ClientName(), "upper");

    // Ending exactly at byte 299 it is found (the reader then refuses the text itself).
    WriteFile(std::string(288, ' ') + "tvexoserver");
    try {
        server.LoadFromFile(FFile);
    } catch (const Exception &E) {
        EXPECT_NE(E.Message(), "wrong fileformat");
    }

    // One byte later it is out of reach; a zero byte ends the search as well.
    for (const std::string &text :
         {std::string(289, ' ') + "tvexoserver", std::string("ab\0 tvexoserver", 15)}) {
        WriteFile(text);
        server.SetClientName("kept");
        try {
            server.LoadFromFile(FFile);
            ADD_FAILURE() << "accepted";
        } catch (const EOPCException &) {
            ADD_FAILURE() << "must be the framework's base exception";
        } catch (const Exception &E) {
            EXPECT_EQ(E.Message(), "wrong fileformat");
        }
        EXPECT_EQ(server.ClientName(), "kept");
    }
}

TEST_F(ConfigTest, ReaderErrorsNameTheProblemAndMissingFilesRaise) {
    // Bad text raises a reader error naming its line; a missing file a file error.
    TVexoServer server(nullptr);
    WriteFile("object OPCServer1: TVexoServer\n  ClientName = 'ok'\n  NoSuchProperty = 1\nend\n");
    try {
        server.LoadFromFile(FFile);
        ADD_FAILURE() << "accepted";
    } catch (const Exception &E) {
        EXPECT_NE(E.Message().find("3"), std::string::npos) << E.Message();
        EXPECT_NE(E.Message().find("NoSuchProperty"), std::string::npos) << E.Message();
    }
    EXPECT_EQ(server.ClientName(), "ok") << "what was read before the error stays";
    EXPECT_FALSE(server.Active());
    EXPECT_THROW(server.LoadFromFile(FFile + ".missing"), EFOpenError);
}

TEST_F(ConfigTest, StreamedActiveConnectsOnceAfterEverythingWasRead) {
    // Active = True connects once, with every group and item already read.
    {
        TVexoServer server(nullptr);
        server.SetName("OPCServer1");
        server.SetServer(kSimDA20);
        AddGroup(server, "First", 250, 0.0f, true);
        AddGroup(server, "Second", 500, 0.0f, true);
        server.SetActive(true);
        ASSERT_TRUE(server.Active());
        server.SaveToFile(FFile);
    }
    TVexoServer server(nullptr);
    int connects = 0;
    server.OnConnect = [&](TObject *) {
        ++connects;
        ASSERT_EQ(server.GetGroupCount(), 2);
        for (int gi = 0; gi < 2; ++gi) {
            TVexoGroup *g = server.OPCGroups()->GetItem(gi);
            EXPECT_TRUE(g->IsOnServer());
            EXPECT_EQ(g->OPCItems()->Count(), 3);
        }
    };
    server.LoadFromFile(FFile);
    EXPECT_EQ(connects, 1);
    EXPECT_TRUE(server.Active());
}

TEST_F(ConfigTest, LoadingIntoAConnectedComponentDisconnectsFirst) {
    // A connected component disconnects (OnDisconnect) before loading, then follows the file.
    TVexoServer server(nullptr);
    server.SetName("OPCServer1");
    server.SetServer(kSimDA20);
    AddGroup(server, "First", 250, 0.0f, true);
    server.SaveToFile(FFile); // Active = False
    server.SetActive(true);
    int disconnects = 0, connects = 0;
    server.OnDisconnect = [&](TObject *) { ++disconnects; };
    server.OnConnect = [&](TObject *) { ++connects; };
    server.LoadFromFile(FFile);
    EXPECT_EQ(disconnects, 1);
    EXPECT_EQ(connects, 0);
    EXPECT_FALSE(server.Active());
    EXPECT_EQ(server.GetGroupCount(), 1);

    server.SetActive(true);
    server.SaveToFile(FFile); // Active = True
    server.LoadFromFile(FFile);
    EXPECT_EQ(disconnects, 2);
    EXPECT_EQ(connects, 2);
    EXPECT_TRUE(server.Active());
    EXPECT_TRUE(server.OPCGroups()->GetItem(0)->IsOnServer());
}

TEST_F(ConfigTest, AssignedEventsAreWrittenAndOthersAreNot) {
    // Only assigned events get a line; a file without event lines keeps the handlers.
    TVexoServer server(nullptr);
    server.SetName("OPCServer1");
    server.OnConnect = [](TObject *) {};
    server.SaveToFile(FFile);
    const std::string text = ReadFile();
    EXPECT_NE(text.find("OnConnect"), std::string::npos);
    EXPECT_EQ(text.find("OnError"), std::string::npos);
    EXPECT_EQ(text.find("OnDisconnect"), std::string::npos);
}

TEST_F(ConfigTest, WhatTheFileLeavesOutTakesThePropertysOwnDefault) {
    // Empty values survive a round trip; the loading component's settings never fill gaps.
    {
        TVexoServer server(nullptr);
        server.SetName("OPCServer1");
        TVexoGroup *g = server.OPCGroups()->Add("Line");
        g->SetDeadBand(0.0f);
        g->DefaultItem()->AccessPath = "Path A";
        TVexoItem *item = g->OPCItems()->AddItem("Simulation.Line 1.Level");
        item->SetAccessPath("");
        g->OPCItems()->AddItem("Simulation.Line 1.Setpoint"); // keeps "Path A"
        server.OPCGroups()->GetItem(0)->SetName("");           // a group without a name
        server.SaveToFile(FFile);
    }
    TVexoServer server(nullptr);
    server.SetTag(7);
    server.SetClientName("client");
    server.SetServer("Some.Server.1");
    server.SetComputername("elsewhere");
    server.OPCGroupDefault()->DeadBand = 5.0f;
    server.OPCGroupDefault()->UpdateRate = 250;
    server.OPCGroups()->Add("Old");
    server.LoadFromFile(FFile);

    EXPECT_EQ(server.Tag(), 0);
    EXPECT_EQ(server.ClientName(), "");
    EXPECT_EQ(server.ServerName(), "");
    EXPECT_EQ(server.ComputerName(), "");
    EXPECT_EQ(server.OPCGroupDefault()->DeadBand, 0.0f);
    EXPECT_EQ(server.OPCGroupDefault()->UpdateRate, 1000);
    ASSERT_EQ(server.GetGroupCount(), 1);
    TVexoGroup *g = server.OPCGroups()->GetItem(0);
    EXPECT_EQ(g->Name(), "");
    EXPECT_EQ(g->DeadBand(), 0.0f);
    EXPECT_EQ(g->DefaultItem()->AccessPath, "Path A");
    ASSERT_EQ(g->OPCItems()->Count(), 2);
    EXPECT_EQ(g->OPCItems()->GetItem(0)->AccessPath(), "") << "would name another data point";
    EXPECT_EQ(g->OPCItems()->GetItem(1)->AccessPath(), "Path A");

    // A hand-written file without dead band, access path or item flags: own defaults,
    // even with the group defaults written ahead of the groups.
    WriteFile("object S: TVexoServer\n"
              "  OPCGroupDefault.DeadBand = 7\n  OPCGroupDefault.IsActive = False\n"
              "  OPCGroups = <\n    item\n      Name = 'G'\n"
              "      DefaultItem.AccessPath = 'Path B'\n      DefaultItem.IsActive = False\n"
              "      OPCItems = <\n        item\n          ItemID = 'X'\n        end>\n"
              "    end>\nend\n");
    server.LoadFromFile(FFile);
    g = server.OPCGroups()->GetItem(0);
    EXPECT_EQ(g->DeadBand(), 0.0f);
    EXPECT_TRUE(g->IsActive());
    EXPECT_EQ(g->UpdateRate(), 1000);
    EXPECT_EQ(g->OPCItems()->GetItem(0)->AccessPath(), "");
    EXPECT_TRUE(g->OPCItems()->GetItem(0)->IsActive());
    EXPECT_EQ(server.OPCGroupDefault()->DeadBand, 7.0f);
}

TEST_F(ConfigTest, NothingIsSentToAServerWhileLoading) {
    // Active = True ahead of the groups only connects once everything was read.
    WriteFile(std::string("object S: TVexoServer\n  ServerName = '") + kSimDA20 +
              "'\n  Active = True\n"
              "  OPCGroups = <\n    item\n      Name = 'G'\n      IsActive = True\n"
              "      OPCItems = <\n        item\n          ItemID = 'Simulation.Bucket.Int4'\n"
              "          IsActive = False\n          RequestDatatype = vtR8\n"
              "        end>\n    end>\nend\n");
    TVexoServer server(nullptr);
    int connects = 0;
    server.OnConnect = [&](TObject *) { ++connects; };
    server.LoadFromFile(FFile);
    EXPECT_EQ(connects, 1);
    ASSERT_TRUE(server.Active());
    TVexoItem *item = server.OPCGroups()->GetItem(0)->OPCItems()->GetItem(0);
    EXPECT_NE(item->ServerHandle(), static_cast<OPCHANDLE>(-1));
    EXPECT_FALSE(item->IsActive());
    EXPECT_EQ(item->RequestDatatype(), vtR8);
    auto log = SimCallLog(Control(server).Get());
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string &l) { return l.rfind("AddItems", 0) == 0; }),
              1);
}

TEST_F(ConfigTest, SaveRefusesWhatCannotBeReadBackAndKeepsTheOldFile) {
    // Each refusal names its property; the file on disc is left as it was, with no leftovers.
    TVexoServer server(nullptr);
    server.SetName("OPCServer1");
    server.SaveToFile(FFile);
    const std::string before = ReadFile();
    auto refused = [&](const char *Property) {
        try {
            server.SaveToFile(FFile);
            ADD_FAILURE() << "saved with a bad " << Property;
        } catch (const EWriteError &E) {
            EXPECT_NE(E.Message().find(std::string("'") + Property + "'"), std::string::npos)
                << E.Message();
        }
        EXPECT_EQ(ReadFile(), before);
    };
    server.SetName("My Server");
    refused("Name");
    server.SetName("OPCServer1");
    if (sizeof(long) > 4) {
        server.SetTag(static_cast<long>(1LL << 40));
        refused("Tag");
        server.SetTag(0);
    }
    TVexoGroup *g = server.OPCGroups()->Add("G");
    for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
        g->SetDeadBand(bad);
        refused("DeadBand");
    }
    g->SetDeadBand(0);
    server.OPCGroupDefault()->DeadBand = -std::numeric_limits<float>::infinity();
    refused("OPCGroupDefault.DeadBand");

    // The largest finite dead band is written and read back exactly.
    server.OPCGroupDefault()->DeadBand = FLT_MAX;
    g->SetDeadBand(-FLT_MAX);
    server.SaveToFile(FFile);
    TVexoServer loaded(nullptr);
    loaded.LoadFromFile(FFile);
    EXPECT_EQ(loaded.OPCGroupDefault()->DeadBand, FLT_MAX);
    EXPECT_EQ(loaded.OPCGroups()->GetItem(0)->DeadBand(), -FLT_MAX);

    const std::filesystem::path dir = std::filesystem::path(FFile).parent_path();
    const std::string stem = std::filesystem::path(FFile).filename().string();
    for (const auto &entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        EXPECT_FALSE(name != stem && name.rfind(stem, 0) == 0) << "left behind: " << name;
    }
}

TEST_F(ConfigTest, UnreadablePathsRaiseTheFileErrorWithFileAndReason) {
    // A directory (and, for users bound by permissions, an unreadable file) is a file error.
    TVexoServer server(nullptr);
    const std::string dir = FFile + ".dir";
    std::filesystem::create_directory(dir);
    try {
        server.LoadFromFile(dir);
        ADD_FAILURE() << "a directory was read";
    } catch (const EFOpenError &E) {
        EXPECT_NE(E.Message().find(dir), std::string::npos) << E.Message();
        EXPECT_NE(E.Message().find("directory"), std::string::npos) << E.Message();
    }
    EXPECT_THROW(server.SaveToFile(dir), EFCreateError);
    std::filesystem::remove(dir);

#ifndef _WIN32 // file modes; Windows refuses reads through access lists instead
    if (::geteuid() != 0) {
        TVexoServer(nullptr).SaveToFile(FFile);
        ::chmod(FFile.c_str(), 0);
        try {
            server.LoadFromFile(FFile);
            ADD_FAILURE() << "an unreadable file was read";
        } catch (const EFOpenError &E) {
            EXPECT_NE(E.Message().find(FFile), std::string::npos) << E.Message();
            EXPECT_NE(E.Message().find("ermission"), std::string::npos) << E.Message();
        }
    }
#endif
}

} // namespace
} // namespace vexo::test
