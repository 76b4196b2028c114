#include "game/play/StandInStart.h"

#include "engine/core/Engine.h"
#include "game/play/Game.h"
#include "game/vehicles/DrivingActions.h"

StandInStart::StartPage::StartPage() { name = SharedString("Main page"); }

StandInStart::StartPage::~StartPage() = default;

void StandInStart::StartPage::Update() {
    if (game) return;
    ZKEngine& engine = ZKEngine::Instance();
    SetDefaultDrivingBindings(engine.input);
    game = std::make_unique<Game>(engine.renderer);
    engine.PushMLP(game.get());
}
