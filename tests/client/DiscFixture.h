//===- DiscFixture.h - fixture of the discovery and configuration tests --===//
//
// Connects server components to the simulation servers, reaches their test
// control and call log, and checks at the end of every test that task
// memory, BSTRs and safe arrays are back at their start counts.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <vexo/Vexo.h>
#include <vexo/VexoSimulation.h>

#include "support/SimServers.h"
#include <vexo/platform/TaskMemory.h>
#include <vexo/platform/Variant.h>

namespace vexo::test {

constexpr const char *kSimDA20 = "Vexo.Simulation.1";
constexpr const char *kSimDA10 = "Vexo.Simulation.DA10.1";

class DiscTest : public ::testing::Test {
  protected:
    void SetUp() override {
        UseSimulationServers();
        FTaskBlocks = platform::TaskMemLiveBlocks();
        FBStrs = platform::BStrLiveCount();
        FArrays = platform::SafeArrayLiveCount();
    }
    void TearDown() override {
        if (TaskMemExact()) {
            EXPECT_EQ(platform::TaskMemLiveBlocks(), FTaskBlocks) << "task memory leaked";
        }
        EXPECT_EQ(platform::BStrLiveCount(), FBStrs) << "BSTRs leaked";
        EXPECT_EQ(platform::SafeArrayLiveCount(), FArrays) << "safe arrays leaked";
    }

    /// A connected component; errors reach Errors instead of raising when Quiet.
    std::unique_ptr<TVexoServer> Connect(const char *ProgID, bool Quiet = false) {
        auto server = std::make_unique<TVexoServer>(nullptr);
        if (Quiet)
            Silence(*server);
        server->SetServer(ProgID);
        server->SetActive(true);
        EXPECT_TRUE(server->Active());
        return server;
    }
    /// OnError records each text and clears RaiseException.
    void Silence(TVexoServer &Server) {
        Server.OnError = [this](TObject *, const std::string &Text, bool &Raise) {
            Errors.push_back(Text);
            Raise = false;
        };
    }
    static platform::ComPtr<IVexoSimControl> Control(TVexoServer &Server) {
        return Server.GetOPCServer().As<IVexoSimControl>();
    }
    static void ClearLog(TVexoServer &Server) { Control(Server)->ClearCallLog(); }
    /// The logged calls of Method ("Method args" lines).
    static std::vector<std::string> Calls(TVexoServer &Server, const std::string &Method) {
        std::vector<std::string> out;
        for (const std::string &line : SimCallLog(Control(Server).Get()))
            if (line == Method || line.rfind(Method + " ", 0) == 0)
                out.push_back(line);
        return out;
    }
    static void FailNext(TVexoServer &Server, const WCHAR *Method, HRESULT Hr) {
        Control(Server)->FailNextCall(Method, Hr);
    }
    static std::vector<std::string> Lines(const TStrings &List) {
        std::vector<std::string> out;
        for (int i = 0; i < List.Count(); ++i)
            out.push_back(List.Get(i));
        return out;
    }
    static bool Contains(const std::vector<std::string> &V, const std::string &S) {
        return std::find(V.begin(), V.end(), S) != V.end();
    }

    std::vector<std::string> Errors;

  private:
    long long FTaskBlocks = 0;
    long long FBStrs = 0;
    long long FArrays = 0;
};

} // namespace vexo::test
