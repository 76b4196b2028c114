#include "engine/core/EngineCommands.h"

#include "engine/core/Console.h"
#include "engine/core/Debugger.h"
#include "engine/core/Engine.h"
#include "engine/core/Memory.h"
#include "engine/core/StartUp.h"
#include "engine/render/RenderFacility.h"

namespace {

TextureListing g_listLoaded = nullptr;
TextureListing g_listUnused = nullptr;

int32_t FirstNonBlank(const SharedString& text) {
    int32_t i = 0;
    while (i < text.Length() && text[i] == ' ') ++i;
    return i;
}

// Straight to the console's output view (the log file and the scroll-back), not filtered.
void PrintToConsole(const char* line) {
    ZKEngine* engine = ZKEngine::Get();
    if (engine && engine->console) engine->console->Print(SharedString(line));
    else Debugger::Instance().Print(SharedString(line));
}

class EngineCommand : public ConsoleCommand {
public:
    explicit EngineCommand(const char* commandName) : ConsoleCommand(SharedString(commandName)) {}
    void Execute(const SharedString& arguments) override {
        if (ZKEngine* engine = ZKEngine::Get()) Run(*engine, arguments);
    }

protected:
    virtual void Run(ZKEngine& engine, const SharedString& arguments) = 0;
};

class ExitCommand final : public EngineCommand {
public:
    ExitCommand() : EngineCommand("EXIT") {}
    void Run(ZKEngine& engine, const SharedString&) override { engine.Stop(); }
};

// A counter drawn by the frame, switched by one bit of the engine's flags.
class CounterCommand final : public EngineCommand {
public:
    CounterCommand(const char* commandName, uint32_t bit, const char* enabled, const char* disabled)
        : EngineCommand(commandName), bit_(bit), enabled_(enabled), disabled_(disabled) {}
    void Run(ZKEngine& engine, const SharedString& arguments) override {
        bool on = OnOffArgument(arguments, (engine.engineFlags & bit_) != 0);
        if (on) engine.engineFlags |= bit_;
        else engine.engineFlags &= ~bit_;
        PrintToConsole(on ? enabled_ : disabled_);
    }

private:
    uint32_t bit_;
    const char* enabled_;
    const char* disabled_;
};

class SetWarningLevelCommand final : public EngineCommand {
public:
    SetWarningLevelCommand() : EngineCommand("SETWARNINGLEVEL") {}
    void Run(ZKEngine&, const SharedString& arguments) override {
        int32_t i = FirstNonBlank(arguments);
        char c = i < arguments.Length() ? arguments[i] : 0;
        Debugger::Instance().SetWarningLevel(c >= '0' && c <= '2' ? c - '0' : 3);
    }
};

class SetTimeScalarCommand final : public EngineCommand {
public:
    SetTimeScalarCommand() : EngineCommand("SETTIMESCALAR") {}
    void Run(ZKEngine& engine, const SharedString& arguments) override {
        engine.timeScalar = float(arguments.ToFloat(FirstNonBlank(arguments)));
    }
};

class GetTimeScalarCommand final : public EngineCommand {
public:
    GetTimeScalarCommand() : EngineCommand("GETTIMESCALAR") {}
    void Run(ZKEngine& engine, const SharedString&) override {
        Debugger::Instance().Message("Scalar = %f", double(engine.timeScalar));
    }
};

class PrintMLPStackCommand final : public EngineCommand {
public:
    PrintMLPStackCommand() : EngineCommand("PRINTMLPSTACK") {}
    void Run(ZKEngine& engine, const SharedString&) override {
        Debugger& log = Debugger::Instance();
        const int32_t size = int32_t(engine.mlpStack.size());
        log.Message("MLPStack has %d entries", size + 1);
        for (int32_t i = 0; i < size; ++i) Entry(log, i, engine.mlpStack[size_t(i)]);
        Entry(log, size, engine.currentMLP);
    }

private:
    static void Entry(Debugger& log, int32_t i, const MLP* mlp) {
        if (mlp) log.Message("%d. %s", i, mlp->name.c_str());
        else log.Message("%d. null", i);
    }
};

class VSyncCommand final : public EngineCommand {
public:
    VSyncCommand() : EngineCommand("VSYNC") {}
    void Run(ZKEngine&, const SharedString&) override {}
};

class WireframeCommand final : public EngineCommand {
public:
    WireframeCommand() : EngineCommand("WIREFRAME") {}
    void Run(ZKEngine& engine, const SharedString& arguments) override {
        if (!engine.renderer) return;
        int32_t i = FirstNonBlank(arguments);
        if (i >= arguments.Length()) engine.renderer->SetWireframe(!engine.renderer->Wireframe());
        else engine.renderer->SetWireframe(arguments.ToInt(i) != 0);
    }
};

class TextureListCommand final : public EngineCommand {
public:
    TextureListCommand(const char* commandName, TextureListing* listing)
        : EngineCommand(commandName), listing_(listing) {}
    void Run(ZKEngine&, const SharedString&) override {
        if (*listing_) (*listing_)();
        else Debugger::Instance().Log(2, "ENGINE: %s: no texture factory in this build", name.c_str());
    }

private:
    TextureListing* listing_;
};

class VerCommand final : public EngineCommand {
public:
    VerCommand() : EngineCommand("VER") {}
    void Run(ZKEngine&, const SharedString&) override { Debugger::Instance().Print(BuildBanner()); }
};

class AutoMemReportCommand final : public EngineCommand {
public:
    AutoMemReportCommand() : EngineCommand("AUTOMEMREPORT") {}
    void Run(ZKEngine&, const SharedString& arguments) override {
        bool on = OnOffArgument(arguments, GetAutoMemoryReport());
        SetAutoMemoryReport(on);
        PrintToConsole(on ? "Auto memory alloc reporting enabled" : "Auto memory alloc reporting disabled");
    }
};

class MemReportCommand final : public EngineCommand {
public:
    MemReportCommand() : EngineCommand("MEMREPORT") {}
    void Run(ZKEngine&, const SharedString&) override {
        const MemoryCounters c = GetMemoryCounters();
        Debugger& log = Debugger::Instance();
        log.Message("Current alloc = %d bytes / %d blocks (%d bytes/block avg.)", SaturateInt(c.currentBytes),
                    SaturateInt(c.currentBlocks), SaturateInt(c.currentBlocks > 0 ? c.currentBytes / c.currentBlocks : 0));
        log.Message("Total alloc = %d bytes / %d blocks (%d bytes/block avg.)", SaturateInt(c.totalBytes),
                    SaturateInt(c.totalBlocks), SaturateInt(c.totalBlocks > 0 ? c.totalBytes / c.totalBlocks : 0));
    }
};

struct EngineCommandSet {
    ExitCommand exit;
    CounterCommand fps{"FPS", ZKEngine::kShowFrameRate, "FPS Counter enabled", "FPS Counter disabled"};
    CounterCommand poly{"POLY", ZKEngine::kShowPolygons, "Polycounter enabled", "Polycounter disabled"};
    CounterCommand vertex{"VERTEX", ZKEngine::kShowVertices, "Vertexcounter enabled", "Vertexcounter disabled"};
    CounterCommand texSwitch{"TEXSWITCH", ZKEngine::kShowTextureSwitches, "TexSwitchcounter enabled",
                             "TexSwitchcounter disabled"};
    CounterCommand vbSwitch{"VBSWITCH", ZKEngine::kShowBufferSwitches, "VBSwitchcounter enabled",
                            "VBSwitchcounter disabled"};
    SetWarningLevelCommand setWarningLevel;
    SetTimeScalarCommand setTimeScalar;
    GetTimeScalarCommand getTimeScalar;
    PrintMLPStackCommand printMLPStack;
    VSyncCommand vsync;
    WireframeCommand wireframe;
    TextureListCommand usedTex{"USEDTEX", &g_listLoaded};
    TextureListCommand unusedTex{"UNUSEDTEX", &g_listUnused};
    VerCommand ver;
    AutoMemReportCommand autoMemReport;
    MemReportCommand memReport;
};

} // namespace

bool OnOffArgument(const SharedString& arguments, bool current) {
    int32_t i = FirstNonBlank(arguments);
    char c = i < arguments.Length() ? arguments[i] : 0;
    if (c == '0') return false;
    if (c == '1') return true;
    return !current;
}

void SetTextureListings(TextureListing listLoaded, TextureListing listUnused) {
    g_listLoaded = listLoaded;
    g_listUnused = listUnused;
}

void RegisterEngineCommands(ZKEngine& engine) {
    // Never destroyed: the maps that hold the commands may outlive static destruction.
    static EngineCommandSet* commands = new EngineCommandSet;
    ConsoleCommand* order[] = {
        &commands->exit,          &commands->fps,           &commands->poly,          &commands->vertex,
        &commands->texSwitch,     &commands->vbSwitch,      &commands->setWarningLevel, &commands->setTimeScalar,
        &commands->getTimeScalar, &commands->printMLPStack, &commands->vsync,         &commands->wireframe,
        &commands->usedTex,       &commands->unusedTex,     &commands->ver,           &commands->autoMemReport,
        &commands->memReport,
    };
    for (ConsoleCommand* command : order) engine.AddCommand(command);
}
