#pragma once
#include <cstdint>
#include <functional>

#include "engine/core/InputActions.h"
#include "engine/core/MLP.h"
#include "engine/core/SharedString.h"

class AppWindow;
class AudioDevice;
class RenderFacility;
class ZKEngine;
struct EngineServices;

// The switches of the command line.
struct StartUpOptions {
    bool fullScreen = true;         // -F toggles
    bool frontEndOption = false;    // -J
    SharedString language;          // -L <name>
    bool playIntro = true;          // -M clears
    bool useDefaultRefresh = true;  // -R clears
    bool sound = true;              // -S clears
    int32_t displayDevice = -1;     // -V<c>: automatic at -1
    int32_t warningLevel = 0;       // -W<c>: 0..3
};

// Parses the command line (upper-cased first, so switches are case-insensitive and the
// language name arrives in capitals). Scanning never reads past the end of the line.
StartUpOptions ParseCommandLine(const SharedString& commandLine);

// The flag of the -J switch; the front end reads it when it builds its screens.
bool& FrontEndOptionFlag();
// "Build 236 (<build date>)", set at start-up; the VER command prints it.
SharedString& BuildBanner();

// What the start-up and the main loop need of the front end and the in-game state.
class FrontEndServices {
public:
    virtual ~FrontEndServices() = default;
    // Builds the front end (it reads the settings) and returns its main page.
    virtual MLP* CreateFrontEnd() = 0;
    // Menu sound volumes, the menu display mode and normal process priority.
    virtual void ApplyMenuVideoMode() = 0;
    // Writes the current settings to the path ("Misc\Default.VQS", "Misc\<profile>").
    virtual void WriteSettings(const SharedString& path) = 0;
    // Ends the network session of the in-game state.
    virtual void CloseNetwork() = 0;
    // The current settings profile, -1 when none.
    virtual int32_t CurrentProfileIndex() = 0;
    // The profile's file name, without the directory.
    virtual SharedString ProfileName(int32_t index) = 0;
    // Seconds until the current profile is saved; armed by the front end on every change.
    virtual float& SettingsSaveCountdown() = 0;
};

// Stand-in for builds without the front end: a root MLP that shows nothing and no settings.
class NullFrontEnd : public FrontEndServices {
public:
    class RootPage : public MLP {
    public:
        RootPage() { name = SharedString("Main page"); }
        bool IsReady() override { return true; }
    };
    MLP* CreateFrontEnd() override { return &root; }
    void ApplyMenuVideoMode() override;
    void WriteSettings(const SharedString& path) override;
    void CloseNetwork() override {}
    int32_t CurrentProfileIndex() override { return -1; }
    SharedString ProfileName(int32_t) override { return SharedString(""); }
    // The countdown that changed settings (key bindings among them) arm.
    float& SettingsSaveCountdown() override { return ::SettingsSaveCountdown; }

    RootPage root;
};

// The devices and services the start-up creates or calls; the program fills them with the
// real ones, tests with their own.
struct StartUpServices {
    std::function<RenderFacility*()> createRenderer;
    std::function<AudioDevice*(int type)> createAudioDevice;
    // Loads the default texture and creates the default font once the device exists.
    std::function<void(ZKEngine&)> loadDefaultResources;
    // Plays "Intro.AVI" in the window (only called when the file exists and -M was not given);
    // silent when `sound` is false (-S).
    std::function<void(ZKEngine&, bool sound)> playIntro;
    // Builds the front end once the engine and its devices exist, before the first display mode
    // is chosen, and hands it the engine's services (the caller owns what it returns). Without
    // it the start-up uses `frontEnd`, and without that a stand-in.
    std::function<FrontEndServices*(const EngineServices&)> createFrontEnd;
    FrontEndServices* frontEnd = nullptr;
    // Called after every frame of the main loop (a test harness scripts and watches the
    // program through it); may stop the engine.
    std::function<void(ZKEngine&)> afterFrame;
    // Called once the main loop has ended and the network is closed, while the devices still
    // exist (also when the loop never ran a frame): what holds the devices' resources lets go.
    std::function<void(ZKEngine&)> beforeShutdown;
};

// The main-loop step that saves the current profile when its countdown runs out. Returns
// true when it wrote the profile.
bool TickSettingsAutosave(FrontEndServices& frontEnd, float frameTime);

// The whole program: start-up, main loop until the running flag is cleared, shut-down.
// Returns the process exit code (0; 1 when no window could be created).
int RunApplication(const SharedString& commandLine, StartUpServices& services);
