#include "game/vehicles/Specials.h"

#include <algorithm>
#include <cmath>

#include "engine/audio/AudioDevice.h"
#include "engine/core/EngineServices.h"
#include "engine/render/RenderFacility.h"
#include "engine/render/SpriteRenderer.h"
#include "engine/render/TextureFactory.h"
#include "game/vehicles/CarDefinition.h"
#include "game/vehicles/ChaseCamera.h"
#include "game/vehicles/DrivingActions.h"
#include "game/vehicles/Gunfire.h"
#include "game/vehicles/PickupCrate.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/VehicleContext.h"
#include "game/world/ParticleBatch.h"
#include "game/world/RigidBody.h"
#include "game/world/TextureLayer.h"
#include "game/world/World.h"

namespace {

SharedString AudioFile(const char* name) { return SharedString::Format("Audio\\%s", name); }

// Back to the device. A device that is gone already took its voices with it.
void ReleaseVoice(VehicleContext& context, AudioVoice*& voice) {
    AudioDevice* sound = context.engine.sound;
    if (voice && sound) {
        voice->Stop();
        if (voice->Parent()) voice->Parent()->RemoveChild(voice);
        sound->ReleaseVoice(voice);
    }
    voice = nullptr;
}

AudioVoice* MakeVoice(VehicleContext& context, const SharedString& file, float minimum, float maximum) {
    AudioDevice* sound = context.engine.sound;
    if (!sound || file.Length() == 0) return nullptr;
    AudioVoice* v = sound->CreateSound(file, true);
    if (!v) return nullptr;
    v->SetDistances(minimum, maximum);
    v->SetPriority(1.0f);
    if (context.effectsVolume) context.effectsVolume->AttachChild(v);
    return v;
}

// Whether the step took the timer across the mark (from below it to it or past it).
bool Crossed(float before, float after, float mark) { return before < mark && after >= mark; }

} // namespace

// ---------------------------------------------------------------------------------------------
// What the kinds share

GameSpecial::GameSpecial(VehicleContext& context_, const SharedString& voiceFile, float minDistance, float maxDistance,
                         const char* hudIconName)
    : context(context_) {
    voice = MakeVoice(context, voiceFile, minDistance, maxDistance);
    if (hudIconName && context.engine.renderer) {
        icon_ = TextureFactory::Instance().GetByName(SharedString(hudIconName), true);
        hudIcon = icon_;
    }
}

GameSpecial::~GameSpecial() {
    ReleaseVoice(context, voice);
    delete icon_;
}

bool GameSpecial::KeyPressed() const { return WasDrivingActionPressed(context.engine.input, ActionUseSpecial); }
bool GameSpecial::KeyHeld() const { return IsDrivingActionHeld(context.engine.input, ActionUseSpecial); }

Matrix4 GameSpecial::Turn() const { return owner ? owner->GetOrientation().ToMatrix() : Matrix4(); }

void GameSpecial::FollowCar() {
    if (!voice || !owner) return;
    voice->SetPosition(owner->GetPosition());
    voice->SetVelocity(owner->GetLinearVelocity());
}

void GameSpecial::PlayOnce() {
    if (!voice) return;
    FollowCar();
    voice->Play(false);
}

void GameSpecial::ShowSeconds(float left) { hudText.FormatInPlace("%.2f", double(left)); }

// ---------------------------------------------------------------------------------------------
// Boost

BoostSpecial::BoostSpecial(VehicleContext& context_)
    : GameSpecial(context_, AudioFile("Boost.WAV"), 500.0f, 1000.0f, "Hud_Boost.ZKT") {}

void BoostSpecial::Attach(Vehicle* car) {
    active = 0;
    elapsed = Reload;
    GameSpecial::Attach(car);
}

void BoostSpecial::Trigger() {
    if (KeyPressed() && elapsed > Reload) Use();
}

void BoostSpecial::Start() {
    PlayOnce();
    elapsed = 0.0f;
    active = 1;
}

void BoostSpecial::Update(float dt) {
    const float before = elapsed;
    elapsed += dt;
    exhaustClock += dt;
    ShowSeconds(Reload - std::min(elapsed, Reload));
    if (Crossed(before, elapsed, ThrustUntil)) {
        active = 0;
        if (!permanent) {
            End();
            return;
        }
    }
    if (!owner || elapsed >= ThrustUntil) return;
    FollowCar();
    if (elapsed <= ThrustFrom || !owner->ChassisBody()) return;
    const Matrix4 turn = Turn();
    const Vector3 force = turn.TransformNormal(Vector3(0.0f, 0.0f, -Thrust));
    owner->ChassisBody()->AddForce(force);
    for (int32_t i = 0; i < 4; ++i) {
        if (RigidBody* wheel = owner->WheelBody(i)) wheel->AddForce(force);
    }
    owner->ChassisBody()->SetAngularVelocity(Vector3());
    FireParticleSystem* fire = ParticleSystems::fire;
    const Vector3 exhaust = owner->GetPosition() + turn.TransformNormal(owner->Definition().boostPoint);
    while (exhaustClock >= 0.0f) {
        exhaustClock -= 0.01f;
        if (!fire) continue;
        if (ParticleGroup* puff = fire->Emit(ParticleSystem::kGrow)) {
            puff->position = exhaust;
            puff->velocity = Vector3(RandomFloat(-5.0f, 5.0f), RandomFloat(-5.0f, 5.0f), RandomFloat(-5.0f, 5.0f));
            for (float& c : puff->colour) c = 1.0f;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Cannon

CannonSpecial::CannonSpecial(VehicleContext& context_)
    : GameSpecial(context_, SharedString(), 500.0f, 1000.0f, "Hud_Cannon.ZKT") {}

void CannonSpecial::Attach(Vehicle* car) {
    shots = Shots;
    GameSpecial::Attach(car);
}

void CannonSpecial::Trigger() {
    if (KeyHeld() && reloadTimer > Reload) Use();
}

void CannonSpecial::Start() {
    if (owner && owner->Space()) {
        const Matrix4 turn = Turn();
        CannonShell::Fire(context, owner->Space(), owner->GetPosition() + Vector3(0.0f, 10.0f, 0.0f),
                          turn.TransformNormal(Vector3(0.0f, 0.0f, -1.0f)));
    }
    reloadTimer = 0.0f;
    shots -= 1;
}

void CannonSpecial::Update(float dt) {
    reloadTimer += dt;
    ShowSeconds(Reload - std::min(reloadTimer, Reload));
    if (shots < 1) End();
}

// ---------------------------------------------------------------------------------------------
// Cop siren

CopSirenSpecial::CopSirenSpecial(VehicleContext& context_, const SharedString& soundFile)
    : GameSpecial(context_, soundFile, 500.0f, 1000.0f, "Hud_Cop.ZKT") {
    pooled = 0;
    SpecialResources& shared = SharedSpecialResources(context);
    static const Vector3 offsets[2] = {Vector3(5.0f, 5.749f, 6.5f), Vector3(-5.0f, 5.749f, 6.5f)};
    TextureHandle* textures[2] = {shared.halo03, shared.halo01};
    lights.resize(2);
    for (size_t i = 0; i < lights.size(); ++i) {
        Light& light = lights[i];
        light.offset = offsets[i];
        light.group = lightSystem.Emit(ParticleSystem::kGrow);
        if (!light.group) continue;
        light.group->quads.assign(1, ParticleQuad{0.0f, 0.0f, 1.0f, 1.0f, -20.0f, -20.0f, 40.0f, 40.0f});
        light.group->texture = textures[i];
        light.group->UpdateRadius();
    }
}

void CopSirenSpecial::Attach(Vehicle* car) {
    if (!car) Stop();
    GameSpecial::Attach(car);
}

void CopSirenSpecial::Trigger() {
    if (!KeyPressed()) return;
    if (active) {
        StopUse();
    } else {
        Use();
    }
}

void CopSirenSpecial::Start() {
    if (voice) {
        FollowCar();
        voice->Play(true);
    }
    for (size_t i = 0; i < lights.size(); ++i) lights[i].phase = float(i);
    active = 1;
}

void CopSirenSpecial::Stop() {
    if (voice) voice->Stop();
    active = 0;
}

float CopSirenSpecial::Flash(float phase, float brightness) {
    return std::fabs(std::sin(4.0f * phase)) * std::fabs(std::sin(phase)) * brightness * brightness;
}

void CopSirenSpecial::Update(float dt) {
    for (Light& light : lights) light.phase += 8.0f * dt;
    if (active && owner && owner->IsWrecked()) Stop();
    brightness = active ? std::min(brightness + 6.0f * dt, 1.0f) : std::max(brightness - 4.0f * dt, 0.0f);
    lightSystem.Update(dt);
    FollowCar();
}

void CopSirenSpecial::Draw(const Camera& camera) {
    if (!owner) return;
    const Matrix4 turn = Turn();
    const Vector3 centre = owner->GetPosition();
    for (Light& light : lights) {
        if (!light.group) continue;
        light.group->position = centre + turn.TransformNormal(light.offset);
        light.group->colour[3] = Flash(light.phase, brightness);
    }
    if (brightness == 0.0f) return;
    ParticleBatch* batch = SharedSpecialResources(context).sirenBatch.get();
    if (!batch) return;
    batch->AddSystem(camera, lightSystem.ActiveGroups());
    batch->Flush();
}

// ---------------------------------------------------------------------------------------------
// Horn

HornSpecial::HornSpecial(VehicleContext& context_, const SharedString& soundFile)
    : GameSpecial(context_, soundFile, 500.0f, 1000.0f, nullptr) {
    pooled = 0;
    hornMarker = 1;
}

void HornSpecial::Attach(Vehicle* car) {
    if (!car) Stop();
    GameSpecial::Attach(car);
}

void HornSpecial::Trigger() {
    const bool held = KeyHeld();
    if (held && !active) {
        Use();
    } else if (!held && active) {
        StopUse();
    }
}

void HornSpecial::Start() {
    if (voice) {
        FollowCar();
        voice->Play(true);
    }
    active = 1;
}

void HornSpecial::Stop() {
    if (voice) voice->Stop();
    active = 0;
}

void HornSpecial::Update(float) { FollowCar(); }

// ---------------------------------------------------------------------------------------------
// Jump

JumpSpecial::JumpSpecial(VehicleContext& context_)
    : GameSpecial(context_, AudioFile("Jump.WAV"), 500.0f, 1000.0f, "Hud_Jump.ZKT") {
    exclusive = 1;
}

void JumpSpecial::Attach(Vehicle* car) {
    charges = Charges;
    active = 0;
    GameSpecial::Attach(car);
}

void JumpSpecial::Trigger() {
    if (KeyPressed() && elapsed > Reload && charges > 0) Use();
}

void JumpSpecial::Start() {
    PlayOnce();
    elapsed = 0.0f;
    active = 1;
    charges -= 1;
}

void JumpSpecial::Update(float dt) {
    const float before = elapsed;
    elapsed += dt;
    hudText.FormatInPlace("%d", charges);
    if (Crossed(before, elapsed, Linger) && charges < 1 && !permanent) {
        End();
        return;
    }
    if (!owner || elapsed >= Push) return;
    const Vector3 up = Turn().TransformNormal(Vector3(0.0f, Lift, 0.0f));
    for (int32_t i = 0; i < 4; ++i) {
        if (RigidBody* wheel = owner->WheelBody(i)) wheel->AddForce(up * wheel->GetMass());
    }
    FollowCar();
}

// ---------------------------------------------------------------------------------------------
// Rock

RockSpecial::RockSpecial(VehicleContext& context_)
    : GameSpecial(context_, AudioFile("Rock.WAV"), 500.0f, 1000.0f, "Hud_Rock.ZKT") {}

void RockSpecial::Attach(Vehicle* car) {
    if (!car && owner) owner->SetCollisionFlag(false);
    elapsed = Lasts;
    GameSpecial::Attach(car);
}

void RockSpecial::Trigger() {
    if (KeyPressed() && elapsed > Lasts) Use();
}

void RockSpecial::Start() {
    PlayOnce();
    elapsed = 0.0f;
}

void RockSpecial::Update(float dt) {
    const float before = elapsed;
    elapsed += dt;
    ShowSeconds(Lasts - std::min(elapsed, Lasts));
    if (Crossed(before, elapsed, Lasts) && !permanent) {
        End();
        return;
    }
    if (!owner) return;
    if (elapsed >= Lasts) {
        owner->SetCollisionFlag(false);
    } else {
        owner->SetCollisionFlag(true);
        FollowCar();
    }
}

bool RockSpecial::DrawOverlay() {
    if (elapsed >= Lasts) return true;
    RenderFacility* facility = context.engine.renderer;
    SpriteRenderer* sprites = facility ? facility->GetSpriteRenderer() : nullptr;
    if (!sprites) return true;
    Color tint;
    tint.a = 0x40;
    tint.r = 0xFF;
    tint.g = 0x00;
    tint.b = 0x00;
    facility->PushState(nullptr);
    sprites->FillRect(nullptr, tint);
    sprites->Flush();
    facility->PopState();
    return true;
}

// ---------------------------------------------------------------------------------------------
// Slow

SlowSpecial::SlowSpecial(VehicleContext& context_)
    : GameSpecial(context_, AudioFile("Slow.WAV"), 500.0f, 500.0f, "Hud_Slow.ZKT") {}

void SlowSpecial::Attach(Vehicle* car) {
    World& world = context.world;
    if (car) {
        GameSpecial::Attach(car);
        world.timeScale *= 0.5f;
        active = 0;
        elapsed = Reload;
        return;
    }
    if (owner && !permanent) RestoreCamera();
    const bool held = owner != nullptr;
    GameSpecial::Attach(nullptr);
    // A world reset meanwhile has put the speed back to normal already.
    if (held) world.timeScale = std::min(world.timeScale * 2.0f, 1.0f);
}

void SlowSpecial::Trigger() {
    if (KeyPressed() && elapsed > Reload) Use();
}

void SlowSpecial::Start() {
    // Whoever picks it, the world's slow lasts its time; only a player's car takes the camera.
    elapsed = 0.0f;
    if (!owner || !(owner->network.flagWord & VehicleNetwork::PlayerCarFlag)) return;
    if (ChaseCamera* camera = context.chaseCamera) {
        previousView = camera->CameraIndex();
        camera->collideWithWorld = false;
        camera->jumpAheadWhenFar = true;
        camera->SetCameraIndex(ChaseCamera::SpectatorView);
        cameraTaken = 1;
    }
    PlayOnce();
}

void SlowSpecial::RestoreCamera() {
    ChaseCamera* camera = context.chaseCamera;
    if (!cameraTaken || !camera) return;
    cameraTaken = 0;
    camera->collideWithWorld = true;
    camera->jumpAheadWhenFar = false;
    if (camera->CameraIndex() == ChaseCamera::SpectatorView) camera->SetCameraIndex(previousView);
}

void SlowSpecial::Update(float dt) {
    const float before = elapsed;
    elapsed += dt;
    ShowSeconds(Lasts - std::min(elapsed, Lasts));
    if ((Crossed(before, elapsed, Lasts) || (owner && owner->IsWrecked())) && !permanent) End();
}

bool SlowSpecial::DrawOverlay() {
    if (elapsed >= Lasts) return true;
    RenderFacility* facility = context.engine.renderer;
    SpriteRenderer* sprites = facility ? facility->GetSpriteRenderer() : nullptr;
    if (sprites) {
        const float width = float(facility->ScreenWidth());
        const float height = float(facility->ScreenHeight());
        const float bar = height / 6.0f;
        Color black;
        black.a = 0xFF;
        black.r = black.g = black.b = 0x00;
        const RectF top{0.0f, 0.0f, width, bar};
        const RectF bottom{0.0f, height - bar, width, height};
        facility->PushState(nullptr);
        sprites->FillRect(&top, black);
        sprites->FillRect(&bottom, black);
        sprites->Flush();
        facility->PopState();
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Shared resources and factories

SpecialResources::SpecialResources(VehicleContext& context_) : context(context_) {
    RenderFacility* facility = context.engine.renderer;
    sirenBatch = std::make_unique<ParticleBatch>(facility, 100, false);
    sirenBatch->SetMaterial({TextureLayer{SharedString("Add"), 1, 6, 1}});
    if (facility) {
        halo01 = TextureFactory::Instance().GetByName(SharedString("Halo01.ZKT"), true);
        halo03 = TextureFactory::Instance().GetByName(SharedString("Halo03.ZKT"), true);
    }
    repairVoice = MakeVoice(context, AudioFile("Repair.WAV"), 500.0f, 1000.0f);
}

SpecialResources::~SpecialResources() {
    ReleaseVoice(context, repairVoice);
    delete halo01;
    delete halo03;
}

SpecialResources& SharedSpecialResources(VehicleContext& context) {
    if (!context.specials) context.specials = std::make_unique<SpecialResources>(context);
    return *context.specials;
}

void InstallSpecialFactories(VehicleContext& context) {
    VehicleContext* c = &context;
    context.itemPools[ItemKind::Boost].SetFactory([c] { return new BoostSpecial(*c); });
    context.itemPools[ItemKind::Cannon].SetFactory([c] { return new CannonSpecial(*c); });
    context.itemPools[ItemKind::Jump].SetFactory([c] { return new JumpSpecial(*c); });
    context.itemPools[ItemKind::Rock].SetFactory([c] { return new RockSpecial(*c); });
    context.itemPools[ItemKind::Slow].SetFactory([c] { return new SlowSpecial(*c); });
    RegisterCrateFactory(context);
}
