#pragma once
// Until the front end exists: the program's root page goes straight into a game on the demo
// city, with the driving actions bound to their default inputs.
#include <memory>

#include "engine/core/StartUp.h"

class Game;

class StandInStart : public NullFrontEnd {
public:
    class StartPage : public MLP {
    public:
        StartPage();
        ~StartPage() override;
        bool IsReady() override { return true; }
        // The first frame pushes the game.
        void Update() override;
        std::unique_ptr<Game> game;
    };
    MLP* CreateFrontEnd() override { return &start; }
    StartPage start;
};
