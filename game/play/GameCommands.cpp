#include "game/play/GameCommands.h"

#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "engine/core/Debugger.h"
#include "engine/core/EngineServices.h"
#include "game/play/ConsoleArguments.h"
#include "game/play/CarCameraEditor.h"
#include "game/play/Game.h"
#include "game/play/MenuExits.h"
#include "game/vehicles/CarCamera.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/Weapons.h"

namespace {

// 1/255 as the commands scale their 0..255 arguments.
constexpr float kByteScale = 0.003921569f;

class GameCommand final : public ConsoleCommand {
public:
    GameCommand(const char* commandName, std::function<void(const SharedString&)> run)
        : ConsoleCommand(SharedString(commandName)), run_(std::move(run)) {}
    void Execute(const SharedString& arguments) override { run_(arguments); }

private:
    std::function<void(const SharedString&)> run_;
};

void Acknowledge(const Game& game, int32_t textId) {
    if (!game.engine.language) return;
    Debugger::Instance().Print(game.engine.Text(textId));
}

// A weapon command: while its switch is off it gives the player's car a weapon of its kind (from
// the pool, or new); it always flips the switch, which is also the kind's unlimited-ammunition
// switch. Without a player car the weapon goes back to its pool.
void GiveWeapon(Game& game, ItemKind pool, int32_t kind) {
    uint8_t& on = UnlimitedAmmo[kind];
    const bool wasOn = on != 0;
    if (!wasOn) {
        if (CarItem* item = game.vehicles.itemPools[pool].Take()) {
            if (Vehicle* car = game.PlayerCar()) {
                car->SetWeapon(item);
            } else {
                item->Attach(nullptr);
            }
        }
    }
    on = wasOn ? 0 : 1;
    Acknowledge(game, wasOn ? 1002 : 1001);
}

// A special command: while its switch is off it gives the player's car a special of its kind
// (from the pool, or new); it always flips the switch. Without a player car the special goes back
// to its pool.
void GiveSpecial(Game& game, ItemKind pool, uint8_t& on) {
    const bool wasOn = on != 0;
    if (!wasOn) {
        if (CarItem* item = game.vehicles.itemPools[pool].Take()) {
            if (Vehicle* car = game.PlayerCar()) {
                car->AddSpecial(item);
            } else {
                item->Attach(nullptr);
            }
        }
    }
    on = wasOn ? 0 : 1;
    Acknowledge(game, wasOn ? 1002 : 1001);
}

} // namespace

void RegisterGameCommands(Game& game) {
    auto& list = game.ownedCommands;
    auto add = [&](const char* name, std::function<void(const SharedString&)> run) {
        list.push_back(std::make_unique<GameCommand>(name, std::move(run)));
        game.AddCommand(list.back().get());
    };
    using namespace console_arguments;
    Game* g = &game;

    add("SHOWNODES", [g](const SharedString& a) { g->world.showNodes = Toggle(a, g->world.showNodes); });
    add("SHOWRESPAWNS", [g](const SharedString& a) { g->world.showRespawns = Toggle(a, g->world.showRespawns); });
    add("SHOWSOUNDS", [g](const SharedString& a) { g->world.showSounds = Toggle(a, g->world.showSounds); });
    add("FREECAM", [g](const SharedString&) { g->camera.SetCameraIndex(Game::kFreeCamera); });
    add("NEXTMISSION", [g](const SharedString&) {
        Debugger::Instance().Log(1, "Episode = %d", g->session.mission);
        if (g->mode) g->mode->Succeed();
        Acknowledge(*g, 1001);
    });
    add("FAILMISSION", [g](const SharedString&) {
        if (g->mode) g->mode->Fail();
        Acknowledge(*g, 1001);
    });
    add("ADDCASH", [g](const SharedString&) {
        if (g->mode) g->mode->AddCash(200.0f);
        Acknowledge(*g, 1001);
    });
    add("MISSILE", [g](const SharedString&) { GiveWeapon(*g, ItemKind::MissileLauncher, WeaponMissile); });
    add("ROCKET", [g](const SharedString&) { GiveWeapon(*g, ItemKind::RocketLauncher, WeaponRocket); });
    add("GRENADE", [g](const SharedString&) { GiveWeapon(*g, ItemKind::GrenadeThrower, WeaponGrenade); });
    add("FLAMER", [g](const SharedString&) { GiveWeapon(*g, ItemKind::Flamer, WeaponFlamer); });
    add("MINIGUN", [g](const SharedString&) { GiveWeapon(*g, ItemKind::ChainGun, WeaponChainGun); });
    // The special commands' switches live as long as the game's commands.
    auto switches = std::make_shared<std::array<uint8_t, 4>>();
    add("SPEED", [g, switches](const SharedString&) { GiveSpecial(*g, ItemKind::Boost, (*switches)[0]); });
    add("ROCK", [g, switches](const SharedString&) { GiveSpecial(*g, ItemKind::Rock, (*switches)[1]); });
    add("JUMP", [g, switches](const SharedString&) { GiveSpecial(*g, ItemKind::Jump, (*switches)[2]); });
    add("CANNON", [g, switches](const SharedString&) { GiveSpecial(*g, ItemKind::Cannon, (*switches)[3]); });
    add("TELEPORT", [g](const SharedString&) {
        g->TeleportPlayer(g->camera.position);
        Acknowledge(*g, 1001);
    });

    // The cut-scene camera editor and the current shot's tags.
    add("CAMERAEDITOR", [g](const SharedString&) {
        g->cameraEditor.on = !g->cameraEditor.on;
        Acknowledge(*g, 1001);
    });
    add("CUTMISSION", [g](const SharedString& a) { g->cameraEditor.SetMission(Integer(a)); });
    add("CUTEPISODE", [g](const SharedString& a) { g->cameraEditor.SetEpisode(Integer(a)); });
    add("CUTINDEX", [g](const SharedString& a) { g->cameraEditor.SetIndex(Integer(a)); });
    add("CUTSAMPLE", [g](const SharedString& a) { g->cameraEditor.SetSample(a); });
    // The car-camera and lens-flare editors.
    add("CARCAMEDIT", [g](const SharedString&) { g->carCameraEditorOn = 1; });
    const auto followed = [g]() -> CarCamera* {
        CarCamera* c = car_camera_editor::FollowedCarCamera(g->camera);
        if (!c) Debugger::Instance().Message("No car camera to set: the camera follows no car on views 0 to 9");
        return c;
    };
    add("CARCAMSETLERP", [followed](const SharedString& a) {
        if (CarCamera* c = followed()) c->lerp = Float(a);
    });
    add("CARCAMSETVIEWCAR", [followed](const SharedString& a) {
        if (CarCamera* c = followed()) c->viewCar = Integer(a) != 0;
    });
    add("CARCAMSETATTACHED", [followed](const SharedString& a) {
        if (CarCamera* c = followed()) c->attached = Integer(a) != 0;
    });
    add("SAVECARCAM", [g](const SharedString&) { g->SaveFollowedCarCameras(); });
    add("LENSFLARE", [g](const SharedString&) {
        g->flareEditorOn = 1;
        g->world.skies[size_t(LightSet::ClampTimeOfDay(g->session.timeOfDay))].hasFlarePoint = true;
    });
    add("FLARESAVE", [g](const SharedString&) { g->SaveFlarePoint(); });
    add("GIMMEALLMISSIONS", [g](const SharedString&) {
        if (g->exits) g->exits->OpenAllMissions();
    });
    add("GOD", [g](const SharedString&) { g->MakePlayersUntouchable(); });
    add("SETSTEPSIZE", [g](const SharedString& a) { g->SetStepRate(Integer(a)); });

    // The light editor and its values.
    add("LIGHTEDIT", [g](const SharedString&) { g->lightSet.editorOn = 1; });
    add("SETLIGHT", [g](const SharedString& a) {
        g->lightSet.SelectByNumber(Integer(a));
        g->lightSet.PrintCurrent();
    });
    struct Channel {
        const char* name;
        float GameLight::*scalar;
        float (GameLight::*colour)[4];
        int index;
        bool marksChanged;
    };
    static const Channel kChannels[] = {
        {"AMBIENTR", nullptr, &GameLight::ambient, 0, true},   {"AMBIENTG", nullptr, &GameLight::ambient, 1, true},
        {"AMBIENTB", nullptr, &GameLight::ambient, 2, true},   {"DIFFUSER", nullptr, &GameLight::diffuse, 0, true},
        {"DIFFUSEG", nullptr, &GameLight::diffuse, 1, true},   {"DIFFUSEB", nullptr, &GameLight::diffuse, 2, true},
        {"SPECULARR", nullptr, &GameLight::specular, 0, true}, {"SPECULARG", nullptr, &GameLight::specular, 1, false},
        {"SPECULARB", nullptr, &GameLight::specular, 2, false}, {"SETINT", &GameLight::intensity, nullptr, 0, true},
    };
    for (const Channel& c : kChannels) {
        add(c.name, [g, c](const SharedString& a) {
            GameLight& light = g->lightSet.lights[g->lightSet.current];
            const float value = float(Integer(a)) * kByteScale;
            if (c.scalar) light.*c.scalar = value;
            else (light.*c.colour)[c.index] = value;
            if (c.marksChanged) light.changed = 1;
        });
    }
    add("SAVELIGHT", [g](const SharedString&) { g->lightSet.Save(g->session.timeOfDay); });
}

