//===- ToolFixture.h - runs vexo-opc command lines in-process ------------===//
//
// ToolTest runs RunVexoOpc with string streams, keeps what the library would
// show outside a run (ShowMessage, the application's exception handler), and
// checks at the end of every test that task memory, BSTRs and safe arrays
// are back at their start counts, so a command that leaks is caught.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <vexo/VexoSimulation.h>
#include <vexo/framework/Application.h>
#include <vexo/framework/UIServices.h>
#include <vexo/platform/TaskMemory.h>
#include <vexo/platform/Variant.h>

#include "VexoOpc.h"

namespace vexo::test {

struct TToolRun {
    int Code = -1;
    std::string Out;
    std::string Err;
};

/// The lines of Text without their line ends.
inline std::vector<std::string> Lines(const std::string &Text) {
    std::vector<std::string> Result;
    std::istringstream In(Text);
    for (std::string Line; std::getline(In, Line);)
        Result.push_back(Line);
    return Result;
}

inline bool Contains(const std::string &Text, const std::string &Part) {
    return Text.find(Part) != std::string::npos;
}

/// The records of CSV text: fields separated by ',', "..." quoting with ""
/// for a quote, line breaks inside quotes kept. Independent of the tool's writer.
inline std::vector<std::vector<std::string>> ParseCsv(const std::string &Text) {
    std::vector<std::vector<std::string>> Rows;
    std::vector<std::string> Row;
    std::string Field;
    bool Quoted = false, Any = false;
    for (std::size_t I = 0; I < Text.size(); ++I) {
        const char C = Text[I];
        if (Quoted) {
            if (C == '"' && I + 1 < Text.size() && Text[I + 1] == '"')
                Field += Text[++I];
            else if (C == '"')
                Quoted = false;
            else
                Field += C;
        } else if (C == '"') {
            Quoted = Any = true;
        } else if (C == ',') {
            Row.push_back(std::move(Field));
            Field.clear();
            Any = true;
        } else if (C == '\n') {
            Row.push_back(std::move(Field));
            Rows.push_back(std::move(Row));
            Field.clear();
            Row.clear();
            Any = false;
        } else if (C != '\r') {
            Field += C;
            Any = true;
        }
    }
    if (Any || !Row.empty()) {
        Row.push_back(std::move(Field));
        Rows.push_back(std::move(Row));
    }
    return Rows;
}

class ToolTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { RegisterSimulationServers(); }

    void SetUp() override {
        TUIServices Capture;
        Capture.ShowMessage = [this](const std::string &Text) { Shown.push_back(Text); };
        SavedUI = SetUIServices(std::move(Capture));
        SavedOnException = Application->OnException;
        Application->OnException = [this](TObject *, const Exception &E) {
            Shown.push_back(E.Message());
        };
        TaskBlocks = platform::TaskMemLiveBlocks();
        BStrs = platform::BStrLiveCount();
        Arrays = platform::SafeArrayLiveCount();
    }

    void TearDown() override {
        Application->ProcessMessages();
        EXPECT_EQ(platform::TaskMemLiveBlocks(), TaskBlocks) << "task memory leaked";
        EXPECT_EQ(platform::BStrLiveCount(), BStrs) << "BSTRs leaked";
        EXPECT_EQ(platform::SafeArrayLiveCount(), Arrays) << "safe arrays leaked";
        EXPECT_TRUE(Shown.empty()) << "shown outside a run: " << Shown.front();
        Application->OnException = SavedOnException;
        SetUIServices(SavedUI);
    }

    /// Runs Args with Input as the shell's lines; ErrIsTerminal as if err were a terminal.
    static TToolRun Run(const std::vector<std::string> &Args, const std::string &Input = {},
                        bool ErrIsTerminal = false) {
        std::ostringstream Out, Err;
        std::istringstream In(Input);
        cli::TRunEnvironment Env;
        Env.ErrIsTerminal = ErrIsTerminal;
        Env.ReadLine = [&In](const std::string &) -> std::optional<std::string> {
            std::string Line;
            if (!std::getline(In, Line))
                return std::nullopt;
            return Line;
        };
        TToolRun R;
        R.Code = cli::RunVexoOpc(Args, Out, Err, Env);
        R.Out = Out.str();
        R.Err = Err.str();
        return R;
    }

    std::vector<std::string> Shown; ///< what reached the handlers outside RunVexoOpc

  private:
    TUIServices SavedUI;
    TApplication::TExceptionEvent SavedOnException;
    long long TaskBlocks = 0;
    long long BStrs = 0;
    long long Arrays = 0;
};

} // namespace vexo::test
