// The program's entry: joins the arguments into the one command line the start-up parses,
// runs the start-up, main loop and shut-down, and ends the process.
#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>

#include "engine/audio/AudioDevice.h"
#include "engine/core/Engine.h"
#include "engine/core/StartUp.h"
#include "engine/render/ConsoleCanvas.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/IntroCanvas.h"
#include "engine/render/RenderMenuCanvas.h"
#include "engine/render/TextDraw.h"
#include "game/frontend/FrontEnd.h"
#include "platform/window/Window.h"

int main(int argc, char** argv) {
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i];
    }
    // SIGINT and SIGTERM close the program through the same path as closing its window.
    plat::InstallQuitSignals();

    StartUpServices services;
    // The facility makes its own parts once its device exists.
    services.createRenderer = CreateRenderer;
    // The intro's drawing, made with the other canvases once the device exists.
    static std::unique_ptr<RenderIntroCanvas> introCanvas;
    // "Missing.ZKT", the default font, the counter texts, the console's and the menus' drawing.
    services.loadDefaultResources = [](ZKEngine& engine) {
        LoadDefaultRenderResources(engine);
        InstallConsoleCanvas(engine);
        InstallMenuCanvas(engine);
        if (engine.renderer) introCanvas = std::make_unique<RenderIntroCanvas>(*engine.renderer);
    };
    // "Intro.AVI" in the window, silent with -S.
    services.playIntro = [](ZKEngine& engine, bool sound) {
        IntroMovie movie(SharedString("Intro.AVI"), introCanvas.get(), sound);
        if (engine.window) movie.Play(*engine.window);
    };
    services.createAudioDevice = [](int type) -> AudioDevice* { return CreateAudioDevice(type); };
    // The menus, the settings and the game, made on the engine's services once the engine has
    // its devices; the start-up makes its main page the root.
    std::unique_ptr<FrontEnd> frontEnd;
    services.createFrontEnd = [&frontEnd](const EngineServices& engine) -> FrontEndServices* {
        frontEnd = std::make_unique<FrontEnd>(engine);
        return frontEnd.get();
    };
    // The pages, the game and the music hold the devices' textures, meshes and voices: they go
    // (each screen's load finished first) while the devices still exist, however the loop
    // ended. The settings stay for the write at shut-down.
    services.beforeShutdown = [&frontEnd](ZKEngine&) {
        if (frontEnd) frontEnd->Release();
    };

    const int code = RunApplication(SharedString(commandLine.c_str()), services);

    // Detached threads (MLP loads, sound) may still run: end without static destructors.
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(code);
}
