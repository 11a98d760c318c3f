//===- ReconnectConfigTest.cpp - the policy in the configuration file ----===//
//
// The reconnection settings are published with their start values as
// defaults: files of components that keep them stay as they always were, and
// settings that differ are written, read back and checked.
//
//===----------------------------------------------------------------------===//

#include "reconnect/ReconnectFixture.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include <unistd.h>

namespace vexo::test {
namespace {

/// A file as components wrote it before the reconnection settings existed.
constexpr const char *FileBefore = "object Plant: TVexoServer\r\n"
                                   "  BatchMode = False\r\n"
                                   "  ServerName = 'Vexo.Simulation.1'\r\n"
                                   "  OPCGroups = <\r\n"
                                   "    item\r\n"
                                   "      Name = 'Fast'\r\n"
                                   "      IsActive = True\r\n"
                                   "      UpdateRate = 250\r\n"
                                   "      LocaleId = 0\r\n"
                                   "      TimeBias = -60\r\n"
                                   "      DefaultItem.RequestDataType = vtEMPTY\r\n"
                                   "      OPCItems = <\r\n"
                                   "        item\r\n"
                                   "          ItemID = 'Simulation.Bucket.Int4'\r\n"
                                   "          IsActive = True\r\n"
                                   "          RequestDatatype = vtEMPTY\r\n"
                                   "        end\r\n"
                                   "        item\r\n"
                                   "          ItemID = 'Simulation.Line 1.Level'\r\n"
                                   "          AccessPath = 'Path A'\r\n"
                                   "          IsActive = False\r\n"
                                   "          RequestDatatype = vtR4\r\n"
                                   "        end>\r\n"
                                   "    end\r\n"
                                   "    item\r\n"
                                   "      Name = 'Slow'\r\n"
                                   "      IsActive = False\r\n"
                                   "      UpdateRate = 1000\r\n"
                                   "      DeadBand = 5\r\n"
                                   "      LocaleId = 1031\r\n"
                                   "      TimeBias = 0\r\n"
                                   "      DefaultItem.RequestDataType = vtEMPTY\r\n"
                                   "      OPCItems = <>\r\n"
                                   "    end>\r\n"
                                   "  OPCGroupDefault.IsActive = True\r\n"
                                   "  OPCGroupDefault.UpdateRate = 1000\r\n"
                                   "  OPCGroupDefault.LocaleId = 0\r\n"
                                   "  OPCGroupDefault.TimeBias = 0\r\n"
                                   "  Active = False\r\n"
                                   "  ClientName = 'plant'\r\n"
                                   "  Version = '1.3'\r\n"
                                   "end\r\n";

class ReconnectConfigTest : public ReconnectFixture {
  protected:
    void SetUp() override {
        ReconnectFixture::SetUp();
        FFile = "/tmp/vexo_reconnect_config_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
    }
    void TearDown() override {
        std::remove(FFile.c_str());
        ReconnectFixture::TearDown();
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
    std::string FFile;
};

TEST_F(ReconnectConfigTest, FilesWithThePolicyOffStayByteForByte) {
    // A file written before the settings existed loads and saves unchanged,
    // and a component built in code with the policy off (its settings given
    // their start values explicitly) writes exactly that file.
    WriteFile(FileBefore);
    TVexoServer Loaded(nullptr);
    Loaded.SetName("Plant"); // loading keeps the component's own name
    Loaded.LoadFromFile(FFile);
    EXPECT_FALSE(Loaded.AutoReconnect());
    EXPECT_EQ(Loaded.ReconnectDelay(), 1000);
    EXPECT_EQ(Loaded.ReconnectMaxDelay(), 30000);
    EXPECT_EQ(Loaded.ReconnectAttempts(), 0);
    EXPECT_EQ(Loaded.KeepAliveInterval(), 0);
    Loaded.SaveToFile(FFile);
    EXPECT_EQ(ReadFile(), FileBefore);

    TVexoServer Built(nullptr);
    Built.SetName("Plant");
    Built.SetServer("Vexo.Simulation.1");
    Built.SetClientName("plant");
    Built.SetAutoReconnect(false);
    Built.SetReconnectDelay(1000);
    Built.SetReconnectMaxDelay(30000);
    Built.SetReconnectAttempts(0);
    Built.SetKeepAliveInterval(0);
    TVexoGroup *Fast = Built.OPCGroups()->Add("Fast");
    Fast->SetUpdateRate(250);
    Fast->SetTimeBias(-60);
    Fast->OPCItems()->AddItem("Simulation.Bucket.Int4");
    TVexoItem *Level = Fast->OPCItems()->AddItem("Simulation.Line 1.Level");
    Level->SetAccessPath("Path A");
    Level->SetIsActive(false);
    Level->SetRequestDatatype(vtR4);
    TVexoGroup *Slow = Built.OPCGroups()->Add("Slow");
    Slow->SetIsActive(false);
    Slow->SetDeadBand(5);
    Slow->SetLocaleId(1031);
    Built.SaveToFile(FFile);
    EXPECT_EQ(ReadFile(), FileBefore);
}

TEST_F(ReconnectConfigTest, SettingsThatDifferAreWrittenReadBackAndChecked) {
    // Settings other than the start values get their lines after Version and
    // load back without connecting; a value out of range is refused, naming
    // the setting, from a file and from code alike.
    TVexoServer Saved(nullptr);
    Saved.SetName("Plant");
    Saved.SetAutoReconnect(true);
    Saved.SetReconnectDelay(250);
    Saved.SetReconnectMaxDelay(8000);
    Saved.SetReconnectAttempts(5);
    Saved.SetKeepAliveInterval(2000);
    Saved.SaveToFile(FFile);
    const std::string Text = ReadFile();
    EXPECT_NE(Text.find("  Version = '1.3'\r\n"
                        "  AutoReconnect = True\r\n"
                        "  ReconnectDelay = 250\r\n"
                        "  ReconnectMaxDelay = 8000\r\n"
                        "  ReconnectAttempts = 5\r\n"
                        "  KeepAliveInterval = 2000\r\n"
                        "end\r\n"),
              std::string::npos)
        << Text;

    TVexoServer Loaded(nullptr);
    Loaded.SetName("Plant"); // loading keeps the component's own name
    Loaded.LoadFromFile(FFile);
    EXPECT_TRUE(Loaded.AutoReconnect());
    EXPECT_EQ(Loaded.ReconnectDelay(), 250);
    EXPECT_EQ(Loaded.ReconnectMaxDelay(), 8000);
    EXPECT_EQ(Loaded.ReconnectAttempts(), 5);
    EXPECT_EQ(Loaded.KeepAliveInterval(), 2000);
    EXPECT_FALSE(Loaded.Active());
    EXPECT_FALSE(Loaded.ReconnectPending());
    Loaded.SaveToFile(FFile);
    EXPECT_EQ(ReadFile(), Text);

    std::string Bad = Text;
    Bad.replace(Bad.find("ReconnectDelay = 250"), 20, "ReconnectDelay = 0");
    WriteFile(Bad);
    TVexoServer Refused(nullptr);
    try {
        Refused.LoadFromFile(FFile);
        ADD_FAILURE() << "a delay of 0 was accepted";
    } catch (const Exception &E) {
        EXPECT_NE(E.Message().find("ReconnectDelay must be at least 1, not 0"), std::string::npos)
            << E.Message();
    }
    EXPECT_EQ(Refused.ReconnectDelay(), 1000);
    EXPECT_THROW(Refused.SetReconnectMaxDelay(0), Exception);
    EXPECT_THROW(Refused.SetReconnectAttempts(-1), Exception);
    EXPECT_THROW(Refused.SetKeepAliveInterval(-5), Exception);
    EXPECT_EQ(Refused.ReconnectMaxDelay(), 30000);
    EXPECT_EQ(Refused.ReconnectAttempts(), 0);
    EXPECT_EQ(Refused.KeepAliveInterval(), 0);
}

} // namespace
} // namespace vexo::test
