//===- GroupTestSupport.h - fixture of the group and item tests ----------===//
//
// A server component connected to a simulation server in manual scan mode,
// with the message box and the application's exception handler captured, the
// call log at hand, and the task-memory, BSTR and safe-array counters checked
// at the end of every test.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vexo/Vexo.h>
#include <vexo/VexoSimulation.h>

#include "support/SimServers.h"
#include <vexo/framework/Application.h>
#include <vexo/framework/UIServices.h>
#include <vexo/platform/TaskMemory.h>
#include <vexo/platform/Variant.h>

namespace vexo::test {

inline constexpr const char *SimDA20 = "Vexo.Simulation.1";
inline constexpr const char *SimDA10 = "Vexo.Simulation.DA10.1";
inline constexpr const char *GoodId = "Simulation.Bucket.Int4";
inline constexpr const char *GoodId2 = "Simulation.Bucket.Real8";
inline constexpr const char *BadId = "Simulation.NoSuchTag";

class GroupFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        UseSimulationServers();
        FTaskMem = platform::TaskMemLiveBlocks();
        FBStrs = platform::BStrLiveCount();
        FArrays = platform::SafeArrayLiveCount();
        TUIServices Ui;
        Ui.ShowMessage = [this](const std::string &Text) { Messages.push_back(Text); };
        FOldUi = SetUIServices(Ui);
        FOldHandler = Application->OnException;
        Application->OnException = [this](TObject *, const Exception &E) {
            Handled.push_back(E.Message());
        };
        Server = std::make_unique<TVexoServer>(nullptr);
    }

    void TearDown() override {
        Control.Reset();
        Server.reset();
        Application->ProcessMessages();
        Application->OnException = FOldHandler;
        SetUIServices(FOldUi);
        if (TaskMemExact()) {
            EXPECT_EQ(platform::TaskMemLiveBlocks(), FTaskMem);
        }
        EXPECT_EQ(platform::BStrLiveCount(), FBStrs);
        EXPECT_EQ(platform::SafeArrayLiveCount(), FArrays);
    }

    /// Connects to ProgID and switches its scan to manual mode.
    void Connect(const char *ProgID = SimDA20) {
        Server->Connect(ProgID, "");
        ASSERT_TRUE(Server->Active());
        Control = Server->GetOPCServer().As<IVexoSimControl>();
        ASSERT_TRUE(Control);
        Control->SetManualMode(TRUE);
        Control->ClearCallLog();
    }

    /// Number of logged calls of Method (bare or qualified name).
    int Calls(const std::string &Method) const {
        int N = 0;
        for (const std::string &Line : SimCallLog(Control.Get())) {
            const std::string Name = Line.substr(0, Line.find(' '));
            if (Name == Method ||
                (Name.size() > Method.size() &&
                 Name.compare(Name.size() - Method.size() - 1, std::string::npos,
                              "." + Method) == 0))
                ++N;
        }
        return N;
    }

    /// The logged lines of Method, in order.
    std::vector<std::string> CallLines(const std::string &Method) const {
        std::vector<std::string> Out;
        for (const std::string &Line : SimCallLog(Control.Get()))
            if (Line.rfind(Method + " ", 0) == 0 || Line == Method)
                Out.push_back(Line);
        return Out;
    }

    void FailNext(const WCHAR *Method, HRESULT Hr) { Control->FailNextCall(Method, Hr); }
    void ItemErrors(const WCHAR *Method, const std::vector<HRESULT> &Codes) {
        Control->SetNextItemErrors(Method, static_cast<DWORD>(Codes.size()), Codes.data());
    }

    std::unique_ptr<TVexoServer> Server;
    platform::ComPtr<IVexoSimControl> Control;
    std::vector<std::string> Messages; ///< texts shown in message boxes
    std::vector<std::string> Handled;  ///< texts sent to the application's handler

  private:
    long long FTaskMem = 0;
    long long FBStrs = 0;
    long long FArrays = 0;
    TUIServices FOldUi;
    TApplication::TExceptionEvent FOldHandler;
};

/// The message of the EOPCException F raises, or "<no exception>".
template <class F> std::string OPCErrorOf(F &&Fn) {
    try {
        Fn();
    } catch (const EOPCException &E) {
        return E.Message();
    }
    return "<no exception>";
}

} // namespace vexo::test
