#include "game/play/GameMode.h"

#include <algorithm>
#include <cmath>

#include "engine/audio/AudioDevice.h"
#include "engine/core/Camera.h"
#include "engine/core/EngineServices.h"
#include "engine/core/FileStream.h"
#include "engine/core/Memory.h"
#include "engine/render/D3D8Mesh.h"
#include "engine/render/Font.h"
#include "engine/render/MatrixStack.h"
#include "engine/render/MeshFactory.h"
#include "engine/render/RenderFacility.h"
#include "engine/render/Sprite.h"
#include "engine/render/SpriteFactory.h"
#include "engine/render/SpriteRenderer.h"
#include "game/play/Game.h"
#include "game/play/MenuExits.h"
#include "game/traffic/PedestrianManager.h"
#include "game/vehicles/CarDefinition.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/Weapons.h"

namespace {

constexpr float kDegrees = 3.14159265f / 180.0f;
enum : int32_t { kTopLeft = 0x09, kTopRight = 0x21, kBottomLeft = 0x0C, kBottomRight = 0x24, kCentre = 0x12 };

const char* const kSpriteNames[] = {
    "Hud1.ZKT",       "Hud2.ZKT",        "Hud3.ZKT",      "Hud5.ZKT",    "Hud4.ZKT",       "SpeedoArrow.ZKT",
    "TachoArrow.ZKT", "SpeedoMeter.ZKT", "TachoMeter.ZKT", "LeftH.ZKT",  "RightH.ZKT",     "Map.ZKT",
    "Arrow.ZKT",      "Circle.ZKT",      "Cross.ZKT",     "Drop.ZKT",    "Phone.ZKT",      "Cop.ZKT",
    "Mob.ZKT",        "Energy.ZKT",      "Enemy.ZKT",     "Map_Gold.ZKT",
};
enum SpriteIndex {
    kHud2 = 1, kSpeedoArrow = 5, kTachoArrow = 6, kSpeedoMeter = 7, kTachoMeter = 8, kLeftH = 9, kRightH = 10,
    kMap = 11, kArrow = 12, kCross = 14, kCop = 17, kSpriteCount = 22,
};

Transform2 Rotation(float radians) {
    Transform2 t;
    t.m00 = Cos(radians);
    t.m01 = -Sin(radians);
    t.m10 = Sin(radians);
    t.m11 = Cos(radians);
    return t;
}

} // namespace

Vector3 CameraForward(const Camera& camera) {
    const Matrix4 r = camera.orientation.ToMatrix();
    return Vector3(-r.m[0][2], -r.m[1][2], -r.m[2][2]);
}

Vector3 CameraRight(const Camera& camera) {
    const Matrix4 r = camera.orientation.ToMatrix();
    return Vector3(-r.m[0][0], -r.m[1][0], -r.m[2][0]);
}

struct GameMode::Resources {
    bool loaded = false;
    const RenderFacility* builtBy = nullptr;
    std::unique_ptr<Sprite> sprites[kSpriteCount];
    std::unique_ptr<Font> digits, small, banner;
    std::unique_ptr<D3D8Mesh> arrow;

    void Load(RenderFacility* renderer) {
        if (loaded) return;
        if (!renderer) return;
        loaded = true;
        builtBy = renderer;
        for (int i = 0; i < kSpriteCount; ++i) {
            SharedString name(kSpriteNames[i]);
            sprites[i].reset(SpriteFactory::Instance().Get(name, true));
        }
        D3D8TextureManager* textures = renderer->GetTextureManager();
        const SharedString arial("Arial");
        digits.reset(Font::Create(textures, kFontDigits, arial, 35, false, false));
        small.reset(Font::Create(textures, kFontAll, arial, 8, false, false));
        if (!banner) banner.reset(Font::Create(textures, kFontAll, arial, 50, false, false));
        arrow.reset(MeshFactory::Instance().GetByName(SharedString("Models\\Arrow.ZKM"), true));
    }
    // The renderer is going: its textures and models go first, and the next game's renderer
    // loads them again.
    void Release() {
        for (std::unique_ptr<Sprite>& sprite : sprites) sprite.reset();
        digits.reset();
        small.reset();
        banner.reset();
        arrow.reset();
        builtBy = nullptr;
        loaded = false;
    }
};

GameMode::Resources& GameMode::Shared() {
    // Process-wide: the resources outlive every game, and live as long as the renderer that
    // made them.
    static Resources* resources = [] {
        auto* made = new Resources;
        MeshFactory::Instance().AddDisconnectListener([made](const RenderFacility* renderer) {
            if (made->builtBy == renderer) made->Release();
        });
        return made;
    }();
    return *resources;
}

GameMode::GameMode(Game& owner) : game(owner) { Shared().Load(owner.engine.renderer); }

GameMode::~GameMode() = default;

void GameMode::Init() {
    started = 0;
    finishing = 0;
    loaded = 1;
    ticker.clear();
    tickerX = kTickerStart;
}

void GameMode::Start() {
    LogMemoryReport(SharedString("ZKGAME START 1"));
    if (game.pedestrians) game.pedestrians->Init();
    LogMemoryReport(SharedString("ZKGAME START 2"));
    if (game.traffic) game.traffic->PlaceParkedCars();
    LogMemoryReport(SharedString("ZKGAME START 3"));
    won = 0;
    lost = 0;
    // Each car of the game is known on the network by its place in the list.
    std::vector<Vehicle*>& cars = game.vehicles.vehicles;
    for (size_t i = 0; i < cars.size(); ++i)
        if (cars[i]) cars[i]->network.networkPlayerId = int32_t(i);
}

void GameMode::CreateGame() {
    LogMemoryReport(SharedString("ZKGAME CREATE 1"));
    CarDefinition::LoadAll();
    LogMemoryReport(SharedString("ZKGAME CREATE 2"));
    game.CreateCarSelect();
}

std::unique_ptr<Vehicle> GameMode::CreatePlayerVehicle(const CarDefinition* definition) {
    return Vehicle::Create(game.vehicles, definition);
}

void GameMode::Succeed() {
    ClearPlayerNetworkFlag();
    if (lost) return;
    game.career.Advance();
    game.WriteSettings();
    won = 1;
    StopPlayerWeapon();
}

void GameMode::Fail() {
    ClearPlayerNetworkFlag();
    if (won) return;
    lost = 1;
    StopPlayerWeapon();
}

void GameMode::ClearPlayerNetworkFlag() {
    if (Vehicle* car = game.PlayerCar()) car->network.flagWord &= ~VehicleNetwork::NetworkCarFlag;
}

// The end of a mission silences the player's chain gun or flamer; no other weapon fires on.
void GameMode::StopPlayerWeapon() {
    Vehicle* car = game.PlayerCar();
    if (auto* flamer = WeaponOf<FlamerWeapon>(car)) flamer->StopFiring();
    if (auto* gun = WeaponOf<ChainGunWeapon>(car)) gun->StopFiring();
}

void GameMode::PushTickerText(const SharedString& text) { ticker.push_back(text); }

void GameMode::PushTickerLanguageText(int32_t id) {
    const EngineServices& engine = game.engine;
    if (!engine.language) return;
    PushTickerText(engine.Text(id));
    const SharedString voice = SharedString::Format("Audio\\%d.WAV", id);
    // At the speech level of the settings.
    if (engine.sound && FileExists(voice)) engine.sound->PlaySound(voice, game.soundLevels[1], nullptr);
}

void GameMode::Update(float dt) {
    if (ticker.empty()) return;
    const Font* font = game.engine.defaultFont;
    tickerX -= dt * kTickerSpeed;
    const float width = font ? float(font->GetTextWidth(ticker.front())) : 0.0f;
    if (tickerX + width < 0.0f) {
        ticker.erase(ticker.begin());
        tickerX = kTickerStart;
    }
}

float GameMode::HealthFraction(float health, float maxHealth) {
    if (!(maxHealth > 0.0f)) return 0.0f;
    return std::clamp(health / maxHealth, 0.0f, 1.0f);
}

Color GameMode::HealthColour(float r) {
    const float q = r * r;
    Color c;
    if (q < 0.5f) c.Set(255, uint8_t(255.0f * 2.0f * q), 0, 255);
    else c.Set(uint8_t(255.0f * (1.0f - 2.0f * (q - 0.5f))), 255, 0, 255);
    return c;
}

void GameMode::DrawHud() {
    drewHealthBar = false;
    const EngineServices& engine = game.engine;
    RenderFacility* renderer = engine.renderer;
    SpriteRenderer* sprites = renderer ? renderer->GetSpriteRenderer() : nullptr;
    const HudReadings& car = game.hud;
    Resources& res = Shared();
    // The free drive has no health to look after.
    if (game.session.gameType != 12) {
        drewHealthBar = true;
        if (sprites) {
            const float r = HealthFraction(car.health, car.maxHealth);
            RectF bar{17.0f, 61.0f, 17.0f + 132.0f * r, 64.0f};
            sprites->FillRectAnchored(&bar, kTopLeft, HealthColour(r));
            sprites->DrawSpriteAnchored(res.sprites[kLeftH].get(), nullptr, kTopLeft, Vector2{0, 0}, kTopLeft, nullptr, 1);
            sprites->DrawSpriteAnchored(res.sprites[kRightH].get(), nullptr, kTopRight, Vector2{0, 0}, kTopRight, nullptr, 1);
        }
    }
    if (!sprites) return;
    sprites->DrawSpriteAnchored(res.sprites[kSpeedoMeter].get(), nullptr, kBottomLeft, Vector2{0, 0}, kBottomLeft, nullptr, 1);
    const float speedAngle = std::clamp(car.speed * 3.6f * 0.001f * 85.0f - 120.0f, -120.0f, 180.0f);
    sprites->DrawSpriteExAnchored(res.sprites[kSpeedoArrow].get(), nullptr, Vector2{64, -64}, Rotation(speedAngle * kDegrees),
                                  kBottomLeft, nullptr, 1);
    sprites->DrawSpriteAnchored(res.sprites[kTachoMeter].get(), nullptr, kBottomLeft, Vector2{128, 0}, kBottomLeft, nullptr, 1);
    const float tachoAngle = std::clamp(car.revolutions * 0.1f * 240.0f - 125.0f, -120.0f, 170.0f);
    sprites->DrawSpriteExAnchored(res.sprites[kTachoArrow].get(), nullptr, Vector2{160, -32}, Rotation(tachoAngle * kDegrees),
                                  kBottomLeft, nullptr, 1);
    if (!ticker.empty()) {
        const int32_t lineHeight = engine.defaultFont ? engine.defaultFont->lineHeight : 16;
        const Vector2 origin = sprites->AnchorOffset(kTopLeft);
        Rect clip{int32_t(origin.x) + 43, int32_t(origin.y) + 70, int32_t(origin.x) + 144, int32_t(origin.y) + 80 + lineHeight};
        renderer->SetViewport(&clip);
        sprites->DrawText(ticker.front(), Vector2{float(int32_t(tickerX)), 0.0f}, kTopLeft, nullptr, nullptr, false);
        renderer->SetViewport(nullptr);
    }
    sprites->DrawSpriteAnchored(res.sprites[kHud2].get(), nullptr, kBottomRight, Vector2{0, 0}, kBottomRight, nullptr, 1);
    const Sprite* map = res.sprites[kMap].get();
    if (map && map->width > 0 && map->height > 0) {
        const BoundingBox& box = game.world.worldBox;
        const float scale = std::max(2.0f * box.halfExtents.x / float(map->width), 2.0f * box.halfExtents.z / float(map->height));
        if (scale > 0.0f) DrawOverlay(car.position, scale);
        renderer->SetViewport(nullptr);
    }
    sprites->DrawSpriteExAnchored(res.sprites[kArrow].get(), nullptr, Vector2{-61, -61}, Rotation(car.heading), kBottomRight,
                                  nullptr, 1);
    if ((won || lost) && engine.language) {
        const SharedString text = engine.Text(won ? kWonText : kLostText);
        const Font* font = res.banner ? res.banner.get() : engine.defaultFont;
        const float width = font ? float(font->GetTextWidth(text)) : 0.0f;
        sprites->DrawText(text, Vector2{-width / 2.0f, -64.0f}, kCentre, nullptr, font, false);
    }
}

void GameMode::HandOver(bool succeeded, int32_t score) {
    game.career.lastPlayedMission = game.session.mission;
    if (!game.exits) return;
    const Vehicle* car = game.PlayerCar();
    if (succeeded) game.exits->ShowSinglePlayerScore(score, car ? car->Definition().name : SharedString());
    else game.exits->ReturnToMainPage();
}

bool GameMode::IsPlayerCar(const Vehicle* car) const { return car && car == game.PlayerCar(); }

// The map's picture is placed as DrawOverlay places it: the car's point under the HUD's arrow,
// every world point from there as it lies from the centre.
void GameMode::DrawMapCross(const Vector3& point, const Vector3& centre, float scale) {
    RenderFacility* renderer = game.engine.renderer;
    SpriteRenderer* sprites = renderer ? renderer->GetSpriteRenderer() : nullptr;
    if (!sprites || !(scale > 0.0f)) return;
    const Vector2 corner = sprites->AnchorOffset(kBottomRight);
    const Vector2 window{corner.x - 125.0f, corner.y - 125.0f};
    const Vector2 car{corner.x - 61.0f - window.x, corner.y - 61.0f - window.y};
    const Vector2 at{car.x + (point.x - centre.x) / scale, car.y + (centre.z - point.z) / scale};
    sprites->DrawSpriteAnchored(Shared().sprites[kCross].get(), nullptr, kCentre, at, kTopLeft, nullptr, 1);
}

void GameMode::DrawOverlay(const Vector3& centre, float scale) {
    RenderFacility* renderer = game.engine.renderer;
    SpriteRenderer* sprites = renderer ? renderer->GetSpriteRenderer() : nullptr;
    if (!sprites) return;
    const Vector2 corner = sprites->AnchorOffset(kBottomRight);
    Rect window{int32_t(corner.x) - 125, int32_t(corner.y) - 125, int32_t(corner.x) - 3, int32_t(corner.y) - 3};
    renderer->SetViewport(&window);
    // Sprites are placed from the window's corner: the centre of the map is where the player's
    // car shows, under the HUD's arrow (61 pixels in from the screen's corner), and every world
    // point lies from there as it lies from the car.
    const Vector2 car{corner.x - 61.0f - float(window.left), corner.y - 61.0f - float(window.top)};
    const BoundingBox& box = game.world.worldBox;
    const Vector3& mapCentre = box.centre;
    const Vector2 at{car.x + (mapCentre.x - centre.x) / scale, car.y + (centre.z - mapCentre.z) / scale};
    const Sprite* map = Shared().sprites[kMap].get();
    if (map) sprites->DrawSpriteAnchored(map, nullptr, kCentre, at, kTopLeft, nullptr, 1);
    // The police cars after the player blink on the map, four times a second, while they live.
    const Sprite* cop = Shared().sprites[kCop].get();
    if (cop && game.traffic && std::fmod(game.timeCurrent, 0.25f) < 0.125f) {
        for (const Vehicle* opponent : game.traffic->opponents) {
            if (!(opponent->damage.GetHealth() > 0.0f)) continue;
            const Vector3 p = opponent->GetPosition();
            const Vector2 spot{car.x + (p.x - centre.x) / scale, car.y + (centre.z - p.z) / scale};
            sprites->DrawSpriteAnchored(cop, nullptr, kCentre, spot, kTopLeft, nullptr, 1);
        }
    }
}

Matrix4 GameMode::GuideArrowMatrix(const Camera& camera, const Vector3& direction) {
    Vector3 h(direction.x, 0.0f, direction.z);
    if (h.Length() <= 0.0f) h = Vector3(0.0f, 0.0f, -1.0f);
    h = h.Normalized();
    // The model points along its -z, as the cars do: -z goes to h, y stays up.
    Matrix4 m;
    m.m[0][0] = -h.z;
    m.m[0][2] = h.x;
    m.m[2][0] = -h.x;
    m.m[2][2] = -h.z;
    const Vector3 at = camera.position + CameraForward(camera) * 100.0f + Vector3(0.0f, 35.0f, 0.0f);
    m.Translate(at.x, at.y, at.z);
    return m;
}

void GameMode::DrawGuideArrow(const Camera& camera, const Vector3& direction) {
    Resources& res = Shared();
    RenderFacility* renderer = game.engine.renderer;
    MatrixStack* stack = renderer ? renderer->GetMatrixStack() : nullptr;
    if (!stack || !res.arrow) return;
    stack->Push();
    stack->Load(GuideArrowMatrix(camera, direction));
    res.arrow->Render();
    stack->Pop();
}

FreeDriveMode::FreeDriveMode(Game& owner) : GameMode(owner) {
    showClock = 0;
    secondDisplay = 0;
    dropAllowed = 1;
    resetAllowed = 1;
    randomRespawns = 1;
}
