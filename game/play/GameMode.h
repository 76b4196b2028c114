#pragma once
// The rules of one game: made by the set-up by the game's kind, owned by the game. The base keeps
// what every mode shares: the flags the cars read, the HUD (health bar, dials, ticker, map window
// and heading arrow), the won/lost banner, the guide arrow and the career on success.
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/Math.h"
#include "engine/core/SharedString.h"
#include "game/traffic/StreetEvents.h"
#include "game/vehicles/DrivingRules.h"

class Camera;
class CarDefinition;
class Vehicle;
class D3D8Mesh;
class Font;
class Game;
class Sprite;

// The world directions a camera looks along and its right-hand side points to (its view turns
// the world by its orientation and then half a turn about y).
Vector3 CameraForward(const Camera& camera);
Vector3 CameraRight(const Camera& camera);

// What the HUD shows of the player's car; the game fills it each frame (no car: hasCar false).
struct HudReadings {
    bool hasCar = false;
    float health = 0.0f;
    float maxHealth = 0.0f;
    float speed = 0.0f;        // |chassis linear velocity|
    float revolutions = 0.0f;  // engine revolutions, thousands a minute (0..10)
    float heading = 0.0f;      // radians about the vertical axis
    Vector3 position;
};

class GameMode : public DrivingRules, public StreetEvents {
public:
    static constexpr float kTickerStart = 105.0f;
    static constexpr float kTickerSpeed = 75.0f;
    // Banners of a decided game.
    static constexpr int32_t kWonText = 0x4000;
    static constexpr int32_t kLostText = 0x4001;
    // A decided single-player mission fades out this long before the menus take over.
    static constexpr float kHandOverDelay = 3.0f;

    explicit GameMode(Game& game);
    ~GameMode() override;
    GameMode(const GameMode&) = delete;
    GameMode& operator=(const GameMode&) = delete;

    virtual void Control() {}
    virtual void Init();
    virtual void Start();
    void OnCarSelected() override {}
    virtual void Succeed();
    void Fail() override;
    virtual void Update(float dt);
    virtual void Draw3D(const Camera& camera) { (void)camera; }
    virtual void DrawHud();
    virtual void DrawOverlay(const Vector3& centre, float scale);
    // The developer command's cash; only modes that count money take it.
    virtual void AddCash(float amount) { (void)amount; }

    // The player's car of the car select.
    virtual std::unique_ptr<Vehicle> CreatePlayerVehicle(const CarDefinition* definition);

    // Loads the car catalogue and builds the in-game car select (every mode's Init calls it).
    void CreateGame();
    void PushTickerText(const SharedString& text);
    // The language text, and its voice line "Audio\<id>.WAV" when the file exists.
    void PushTickerLanguageText(int32_t id);
    void DrawGuideArrow(const Camera& camera, const Vector3& direction);
    // The guide arrow's world matrix: 100 ahead of the camera and 35 up, pointing along the
    // horizontal part of the direction (straight ahead along -z without one).
    static Matrix4 GuideArrowMatrix(const Camera& camera, const Vector3& direction);

    // The health bar's colour (alpha, red, green, blue bytes) and length for health r in 0..1:
    // green when full, yellow at half, red when empty. A car without maximum health shows empty.
    static float HealthFraction(float health, float maxHealth);
    static Color HealthColour(float fraction);

    Game& game;
    std::vector<SharedString> ticker;
    float tickerX = kTickerStart;
    // Per-mode display bytes (the clock of the multiplayer HUD and a second one).
    uint8_t showClock = 0;
    uint8_t secondDisplay = 0;
    uint8_t finishing = 0;
    uint8_t won = 0;
    uint8_t lost = 0;
    // What the last DrawHud drew (tests read it).
    bool drewHealthBar = false;

    // The end of a decided single-player mission: the career's last-played mission is this one,
    // then the main page, or the score screen with the score and the car's name after a win.
    void HandOver(bool succeeded, int32_t score);
    // Whether the local player's car is this one (the modes' hooks act only for it).
    bool IsPlayerCar(const Vehicle* car) const;
    bool SessionDecided() const override { return finishing != 0; }

protected:
    // Inside the map window the last DrawOverlay set: the cross at a world point.
    void DrawMapCross(const Vector3& point, const Vector3& centre, float scale);
    // A decided game: the player's car no longer counts as a networked car.
    void ClearPlayerNetworkFlag();
    // Stops a firing chain gun or flamer of the player's car.
    void StopPlayerWeapon();
    // The shared HUD resources, loaded by the first mode.
    struct Resources;
    static Resources& Shared();
};

// The free drive: no goal, no clock, no end.
class FreeDriveMode final : public GameMode {
public:
    explicit FreeDriveMode(Game& game);
    void Init() override { CreateGame(); }
    void Succeed() override {}
    void Fail() override {}
};
