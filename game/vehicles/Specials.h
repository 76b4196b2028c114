#pragma once
// The car's one-key abilities: its own horn (a police car's siren, a racer's boost) and the
// power-ups its crates give: boost, cannon, jump, rock and slow. The player's controller triggers
// the front special of the list every frame (the special key is the UseSpecial action); the car
// updates every special after each physics step. A special that is used up and not the car's own
// leaves the car and waits in its pool.
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/Math.h"
#include "game/vehicles/CarItem.h"
#include "game/world/ParticleSystem.h"

class AudioVoice;
class ParticleBatch;
struct VehicleContext;

// What every kind shares: the context, one voice and the timers' HUD text.
class GameSpecial : public CarSpecial {
public:
    // The voice (may be null: no sound) is made from the file as given; the icon from
    // "Textures" by name when there is a renderer (null: none).
    GameSpecial(VehicleContext& context, const SharedString& voiceFile, float minDistance, float maxDistance,
                const char* hudIconName);
    ~GameSpecial() override;

    VehicleContext& context;
    AudioVoice* voice = nullptr;

protected:
    bool KeyPressed() const;
    bool KeyHeld() const;
    // The car's turn (its nose is -z).
    Matrix4 Turn() const;
    // The voice follows the car.
    void FollowCar();
    void PlayOnce();
    // A used-up special that is not the car's own leaves it (back to its pool).
    void End() { UsedUp(); }
    // "%.2f" of the seconds left.
    void ShowSeconds(float left);

private:
    TextureHandle* icon_ = nullptr;
};

class BoostSpecial : public GameSpecial {
public:
    static constexpr float Reload = 5.0f;
    static constexpr float ThrustFrom = 1.0f;
    static constexpr float ThrustUntil = 4.0f;
    static constexpr float Thrust = 25000.0f;

    explicit BoostSpecial(VehicleContext& context);
    void Attach(Vehicle* car) override;
    void Trigger() override;
    void Update(float dt) override;
    void Start() override;

    float elapsed = Reload;
    float exhaustClock = 0.0f;
};

class CannonSpecial : public GameSpecial {
public:
    static constexpr int32_t Shots = 3;
    static constexpr float Reload = 1.0f;

    explicit CannonSpecial(VehicleContext& context);
    void Attach(Vehicle* car) override;
    void Trigger() override;
    void Update(float dt) override;
    // One shell from 10 above the car along its nose.
    void Start() override;

    float reloadTimer = Reload;
    int32_t shots = Shots;
};

class CopSirenSpecial : public GameSpecial {
public:
    struct Light {
        float phase = 0.0f;
        ParticleGroup* group = nullptr;
        Vector3 offset;
    };

    // Without a file the siren has no voice (the game's loading step makes one so that the
    // lights' resources are loaded).
    explicit CopSirenSpecial(VehicleContext& context, const SharedString& soundFile = SharedString());
    void Attach(Vehicle* car) override;
    void Trigger() override;
    void Update(float dt) override;
    void Draw(const Camera& camera) override;
    void Start() override;
    void Stop() override;
    // A light's alpha for its phase at the siren's brightness.
    static float Flash(float phase, float brightness);

    float brightness = 0.0f;
    ParticleSystem lightSystem{0};
    std::vector<Light> lights;
};

class HornSpecial : public GameSpecial {
public:
    HornSpecial(VehicleContext& context, const SharedString& soundFile);
    void Attach(Vehicle* car) override;
    void Trigger() override;
    void Update(float dt) override;
    void Start() override;
    void Stop() override;
};

class JumpSpecial : public GameSpecial {
public:
    static constexpr int32_t Charges = 3;
    static constexpr float Reload = 1.0f;
    static constexpr float Push = 0.05f;
    static constexpr float Linger = 0.25f;
    static constexpr float Lift = 3750.0f;

    explicit JumpSpecial(VehicleContext& context);
    void Attach(Vehicle* car) override;
    void Trigger() override;
    void Update(float dt) override;
    void Start() override;

    float elapsed = Reload;
    int32_t charges = Charges;
};

class RockSpecial : public GameSpecial {
public:
    static constexpr float Lasts = 30.0f;

    explicit RockSpecial(VehicleContext& context);
    // Detached: the car it leaves is no longer protected.
    void Attach(Vehicle* car) override;
    void Trigger() override;
    void Update(float dt) override;
    // A red tint over the screen while it lasts.
    bool DrawOverlay() override;
    void Start() override;

    float elapsed = Lasts;
};

class SlowSpecial : public GameSpecial {
public:
    static constexpr float Reload = 5.0f;
    static constexpr float Lasts = 4.0f;

    explicit SlowSpecial(VehicleContext& context);
    // Attached, the world runs at half speed; detached, at twice the speed again, never faster
    // than normal (a world reset may have restored it meanwhile), and the camera comes back.
    void Attach(Vehicle* car) override;
    void Trigger() override;
    void Update(float dt) override;
    // Letterbox bars while it lasts; the HUD is hidden meanwhile.
    bool DrawOverlay() override;
    void Start() override;

    float elapsed = Reload;
    uint32_t previousView = 0;
    // Whether this slow moved the chase camera to the spectator view.
    uint8_t cameraTaken = 0;

private:
    void RestoreCamera();
};

// What the specials and crates of a game share, made on first use.
struct SpecialResources {
    explicit SpecialResources(VehicleContext& context);
    ~SpecialResources();
    SpecialResources(const SpecialResources&) = delete;
    SpecialResources& operator=(const SpecialResources&) = delete;

    VehicleContext& context;
    // The sirens' lights, 100 quads, additive.
    std::unique_ptr<ParticleBatch> sirenBatch;
    TextureHandle* halo01 = nullptr;
    TextureHandle* halo03 = nullptr;
    // "Repair.WAV", shared by the repair crates.
    AudioVoice* repairVoice = nullptr;
};
SpecialResources& SharedSpecialResources(VehicleContext& context);

// The pools' factories of the five pickup kinds and the world's crate factory; the game calls it
// before it loads a world.
void InstallSpecialFactories(VehicleContext& context);
