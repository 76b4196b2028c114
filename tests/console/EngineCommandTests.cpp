#include <gtest/gtest.h>

#include "ConsoleFixture.h"
#include "engine/core/EngineCommands.h"
#include "engine/core/Memory.h"
#include "engine/core/StartUp.h"
#include "engine/render/NullRenderFacility.h"

namespace {

class EngineCommandTest : public ConsoleTest {
protected:
    // The console lines a command adds.
    Lines Run(const char* line) {
        size_t mark = console->LineCount();
        Enter(line);
        Lines out = Since(mark);
        EXPECT_FALSE(out.empty());
        if (!out.empty()) out.erase(out.begin()); // the echo
        return out;
    }
};

int g_loadedListings = 0;
int g_unusedListings = 0;

} // namespace

TEST_F(EngineCommandTest, RegisteredInOrderOnTheEngine) {
    const char* names[] = {"EXIT",          "FPS",     "POLY",      "VERTEX",   "TEXSWITCH",     "VBSWITCH",
                           "SETWARNINGLEVEL", "SETTIMESCALAR", "GETTIMESCALAR", "PRINTMLPSTACK", "VSYNC",
                           "WIREFRAME",     "USEDTEX", "UNUSEDTEX", "VER",      "AUTOMEMREPORT", "MEMREPORT"};
    EXPECT_EQ(engine->commands.size(), 17u);
    for (const char* n : names) EXPECT_EQ(engine->commands.count(SharedString(n)), 1u) << n;
    // Registering again keeps the first objects.
    ConsoleCommand* exit = engine->commands[SharedString("EXIT")];
    RegisterEngineCommands(*engine);
    EXPECT_EQ(engine->commands[SharedString("EXIT")], exit);
}

// Every switch command, entered as a sequence: state after each entry and the line printed.
TEST_F(EngineCommandTest, OnOffCommands) {
    struct Switch {
        const char* command;
        const char* enabled;
        const char* disabled;
        std::function<bool()> state;
    };
    auto bit = [this](uint32_t b) { return [this, b] { return (engine->engineFlags & b) != 0; }; };
    const Switch switches[] = {
        {"FPS", "FPS Counter enabled", "FPS Counter disabled", bit(ZKEngine::kShowFrameRate)},
        {"POLY", "Polycounter enabled", "Polycounter disabled", bit(ZKEngine::kShowPolygons)},
        {"VERTEX", "Vertexcounter enabled", "Vertexcounter disabled", bit(ZKEngine::kShowVertices)},
        {"TEXSWITCH", "TexSwitchcounter enabled", "TexSwitchcounter disabled", bit(ZKEngine::kShowTextureSwitches)},
        {"VBSWITCH", "VBSwitchcounter enabled", "VBSwitchcounter disabled", bit(ZKEngine::kShowBufferSwitches)},
        {"AUTOMEMREPORT", "Auto memory alloc reporting enabled", "Auto memory alloc reporting disabled",
         [] { return GetAutoMemoryReport(); }},
    };
    // (argument, state after it), starting from off.
    const std::pair<const char*, bool> steps[] = {
        {"", true}, {"", false}, {" 1", true}, {"1", true}, {"0", false}, {"0", false}, {"x", true}, {"7", false},
    };
    for (const Switch& s : switches) {
        ASSERT_FALSE(s.state()) << s.command;
        for (const auto& [argument, on] : steps) {
            std::string line = std::string(s.command) + (*argument ? " " : "") + argument;
            EXPECT_EQ(Run(line.c_str()), (Lines{on ? s.enabled : s.disabled})) << line;
            EXPECT_EQ(s.state(), on) << line;
        }
    }
    EXPECT_EQ(engine->engineFlags & ZKEngine::kCounterBits, 0u);
    EXPECT_TRUE(engine->IsRunning());
}

TEST_F(EngineCommandTest, SetWarningLevel) {
    const std::pair<const char*, int32_t> cases[] = {
        {"SETWARNINGLEVEL 0", 0}, {"SETWARNINGLEVEL 2", 2}, {"SETWARNINGLEVEL 1", 1}, {"SETWARNINGLEVEL 7", 3},
        {"SETWARNINGLEVEL 1", 1}, {"SETWARNINGLEVEL", 3},   {"SETWARNINGLEVEL 0", 0}, {"SETWARNINGLEVEL X", 3},
    };
    for (const auto& [line, level] : cases) {
        Enter(line);
        EXPECT_EQ(Debugger::Instance().GetWarningLevel(), level) << line;
    }
}

TEST_F(EngineCommandTest, TimeScalar) {
    const std::pair<const char*, float> cases[] = {
        {"SETTIMESCALAR 0.5", 0.5f}, {"SETTIMESCALAR 2", 2.0f}, {"SETTIMESCALAR abc", 0.0f},
        {"SETTIMESCALAR -1.25", -1.25f}, {"SETTIMESCALAR", 0.0f},
    };
    for (const auto& [line, value] : cases) {
        EXPECT_TRUE(Run(line).empty()) << line;
        EXPECT_FLOAT_EQ(engine->timeScalar, value) << line;
    }
    engine->timeScalar = 0.5f;
    EXPECT_EQ(Run("gettimescalar"), (Lines{"Scalar = 0.500000"}));
}

TEST_F(EngineCommandTest, PrintMLPStack) {
    EXPECT_EQ(Run("PRINTMLPSTACK"), (Lines{"MLPStack has 1 entries", "0. null"}));
    ReadyMLP root("Main page"), pushed("Options");
    engine->SetMLP(&root);
    EXPECT_EQ(Run("PRINTMLPSTACK"), (Lines{"MLPStack has 1 entries", "0. Main page"}));
    engine->PushMLP(&pushed);
    EXPECT_EQ(Run("PRINTMLPSTACK"), (Lines{"MLPStack has 2 entries", "0. Main page", "1. Options"}));
    engine->mlpStack.insert(engine->mlpStack.begin(), nullptr);
    EXPECT_EQ(Run("PRINTMLPSTACK"), (Lines{"MLPStack has 3 entries", "0. null", "1. Main page", "2. Options"}));
    engine->mlpStack.clear();
    engine->currentMLP = nullptr;
}

TEST_F(EngineCommandTest, Wireframe) {
    EXPECT_TRUE(Run("WIREFRAME").empty()); // no renderer: nothing happens
    engine->renderer = new NullRenderFacility; // the engine deletes it at shut-down
    const std::pair<const char*, bool> cases[] = {
        {"WIREFRAME", true}, {"WIREFRAME", false}, {"WIREFRAME 5", true}, {"WIREFRAME 0", false},
        {"WIREFRAME 0", false}, {"WIREFRAME -1", true}, {"WIREFRAME X", false},
    };
    for (const auto& [line, on] : cases) {
        Enter(line);
        EXPECT_EQ(engine->renderer->Wireframe(), on) << line;
    }
}

TEST_F(EngineCommandTest, VerPrintsTheBannerUnfiltered) {
    BuildBanner() = SharedString("Build 236 (Jan  1 2030)");
    Debugger::Instance().SetWarningLevel(0);
    EXPECT_EQ(Run("ver"), (Lines{"Build 236 (Jan  1 2030)"}));
    EXPECT_NE(dir.ReadBytes("zkConsole.log").find("ver\r\nBuild 236 (Jan  1 2030)\r\n"), std::string::npos);
}

TEST_F(EngineCommandTest, MemReportAndQuietCommands) {
    Debugger::Instance().SetWarningLevel(0); // messages are never filtered
    Lines report = Run("MEMREPORT");
    ASSERT_EQ(report.size(), 2u);
    // Both lines in their exact form, each average the integer quotient of its counts.
    const char* forms[] = {"Current alloc = %d bytes / %d blocks (%d bytes/block avg.)",
                           "Total alloc = %d bytes / %d blocks (%d bytes/block avg.)"};
    int64_t bytes[2] = {}, blocks[2] = {};
    for (int i = 0; i < 2; ++i) {
        int b = -1, n = -1, avg = -1;
        ASSERT_EQ(std::sscanf(report[size_t(i)].c_str(), forms[i], &b, &n, &avg), 3) << report[size_t(i)];
        EXPECT_EQ(std::string(SharedString::Format(forms[i], b, n, avg).c_str()), report[size_t(i)]);
        EXPECT_EQ(avg, n > 0 ? b / n : 0) << report[size_t(i)];
        bytes[i] = b;
        blocks[i] = n;
    }
    EXPECT_GE(bytes[1], bytes[0]);
    EXPECT_GE(blocks[1], blocks[0]);
    EXPECT_TRUE(Run("VSYNC").empty());
    EXPECT_TRUE(Run("VSYNC 1").empty());
}

TEST_F(EngineCommandTest, TextureListings) {
    Debugger::Instance().SetWarningLevel(2);
    EXPECT_EQ(Run("USEDTEX").size(), 1u); // says that nothing can list textures
    SetTextureListings([] { ++g_loadedListings; }, [] { ++g_unusedListings; });
    Enter("USEDTEX");
    Enter("UNUSEDTEX");
    Enter("UNUSEDTEX");
    EXPECT_EQ(g_loadedListings, 1);
    EXPECT_EQ(g_unusedListings, 2);
    SetTextureListings(nullptr, nullptr);
}

TEST_F(EngineCommandTest, ExitClearsTheRunningFlag) {
    ASSERT_TRUE(engine->IsRunning());
    EXPECT_TRUE(Run("exit now").empty());
    EXPECT_FALSE(engine->IsRunning());
}

TEST(OnOffArgument, Table) {
    const std::tuple<const char*, bool, bool> cases[] = {
        {"0", true, false}, {"1", false, true}, {"", false, true}, {"", true, false}, {"   0", true, false},
        {"10", false, true}, {"01", true, false}, {"2", true, false}, {"on", false, true},
    };
    for (const auto& [text, current, expected] : cases)
        EXPECT_EQ(OnOffArgument(SharedString(text), current), expected) << '"' << text << '"' << current;
}
