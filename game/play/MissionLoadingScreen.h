#pragma once
// The screen every game starts on: it sets the game up by its kind, loads the world a step a
// frame under a progress bar, starts the mode, in a network game waits for every player, then
// fades out, starts a music track and hands over to the game.
#include <cstdint>
#include <memory>

#include "engine/core/MenuScreen.h"
#include "game/play/StartBarrier.h"

class AudioVoice;
class Game;
class MenuExits;
class MenuPicture;
class VolumeGroup;

// The one music voice: the front end's intro track, then each game's.
AudioVoice*& MusicVoice();
// The group music voices join (set by the front end; null: none).
VolumeGroup*& MusicGroup();

class MissionLoadingScreen : public MenuScreen {
public:
    MissionLoadingScreen(Game& game, MenuExits* exits, int32_t mission, int32_t episode, int32_t third);
    ~MissionLoadingScreen() override;

    void HandleInput() override {}
    void Update() override;
    void Render() override;

    // The mission's language block: B = (mission + 99900) x 100.
    int32_t TextBase() const { return (mission + 99900) * 100; }

    int32_t mission;
    int32_t episode;
    int32_t third;
    int32_t frame = 0;
    float fadeOut = 0.0f;
    uint8_t needSetup = 1;
    uint8_t needParameters = 1;
    uint8_t started = 0;
    int32_t kind = 13;
    // 0 created, 0.1 objects made, up to 0.89 while loading, 0.9 ready and started, 0.99 waiting
    // for every player, 1.0 fading out to the game.
    float progress = 0.0f;
    // Set once the screen gave up on its game (no mode, no car) and went back to the menus.
    bool abandoned = false;

private:
    void SetUp();
    void ReadParameters();
    void StartGame();
    void Abandon();
    void HandOver();

    Game& game_;
    MenuExits* exits_;
    StartBarrier barrier_;
    std::unique_ptr<MenuPicture> bar_;
    std::unique_ptr<MenuPicture> picture_;
};
