// A car's drive model, run once a frame by the object quadtree: inputs to wheel motors,
// steering, weight, tyre slip, gearbox and revs, door, sounds, lights, smoke, damage stage,
// shadow, skid puffs and bubbles, and putting a car on its roof back on its wheels.
#include <algorithm>
#include <cmath>

#include "engine/audio/AudioDevice.h"
#include "engine/core/Camera.h"
#include "engine/core/Geometry.h"
#include "game/vehicles/CarDefinition.h"
#include "game/vehicles/Passenger.h"
#include "game/vehicles/ShadowVolumeRenderer.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/VehicleContext.h"
#include "game/vehicles/VehicleDriver.h"
#include "game/vehicles/VehicleResources.h"
#include "game/world/ParticleSystem.h"
#include "game/world/World.h"

using vehicles_detail::Approach;

namespace {

bool Inside(const OrientedBox& box, const Vector3& p) {
    const Vector3 d = p - box.Centre();
    for (int i = 0; i < 3; ++i) {
        if (std::fabs(Vector3::Dot(d, box.Axis(i))) > box.halfExtents[i]) return false;
    }
    return true;
}

void Emit(ParticleSystem* system, const Vector3& position, const Vector3& velocity, const float colour[4],
          int16_t layer) {
    if (!system) return;
    ParticleGroup* g = system->Emit(ParticleSystem::kFromPool);
    if (!g) return;
    g->position = position;
    g->velocity = velocity;
    for (int i = 0; i < 4; ++i) g->colour[i] = colour[i];
    g->layer = layer;
}

} // namespace

void Vehicle::Update(ObjectQuadTree&, const Camera* camera, float dt) {
    if (!body.chassisBody) return;
    const vehicles_detail::DriveHandling h = Handling();
    const Vector3 velocity = GetLinearVelocity();
    const float speed = velocity.Length();
    const Vector3 position = GetPosition();

    if (cab.passenger && speed * 0.36f > 15.0f) cab.tripDistance += speed * 0.36f * 1000.0f / 3600.0f * dt;

    if (drive.handbrakeHeldTime > 2.0f && controls.handbrake > 0.15f) {
        const float t = std::min(1.0f, drive.handbrakeHeldTime - 2.0f);
        controls.throttle += t * controls.handbrake;
        controls.handbrake = std::max(0.15f, (1.0f - t) * controls.handbrake);
    }

    drive.skid = 0.0f;
    if (controls.throttle > 0.0f) drive.skid = speed * controls.throttle * 0.004f;
    if (controls.handbrake > 0.0f) drive.skid += speed * controls.handbrake * 0.01f;

    drive.gear = vehicles_detail::ShiftGear(drive.gear, h.gearCount, drive.revs);

    if (controls.throttle > 0.75f && drive.gear == 1 && drive.revs < 1.0f && sounds.launchVoice) {
        sounds.launchVoice->SetPosition(position);
        sounds.launchVoice->Play(false);
    }

    const float fade = vehicles_detail::SteeringSpeedTerm(h, speed);
    const float target = vehicles_detail::SteeringTarget(h, drive.gear, speed, controls.steerInput);
    drive.steerAngle += (target - drive.steerAngle) * Approach(4.0f, dt);
    drive.skid += vehicles_detail::SteeringSkid(fade, drive.steerAngle, target, drive.tuning);

    UpdateWheelMotors(dt);

    for (int32_t i = 0; i < 4; ++i) {
        RigidBody& w = *body.wheelBodies[size_t(i)];
        const float aim = vehicles_detail::WeightShiftAim(h, i, drive.steerAngle, speed);
        const float mass = w.GetMass();
        const float next = mass + (aim - mass) * Approach(5.0f, dt);
        if (next > 0.0f && next != mass) w.SetMass(next);
        body.wheelSurfaces[size_t(i)].softCfm = vehicles_detail::WheelContactCfm(w.GetMass());
    }

    float slip[4];
    vehicles_detail::WheelSlip(h, drive.tuning, drive.gear, speed, drive.skid, controls.brake, controls.handbrake, slip);
    for (int32_t i = 0; i < 4; ++i) body.wheelSurfaces[size_t(i)].slip = slip[i];

    if (cab.doorOpening) {
        cab.doorAngle += 2.0f * dt;
        if (cab.doorAngle >= 1.0f) {
            cab.doorAngle = 1.0f;
            cab.doorOpening = 0;
        }
    } else {
        cab.doorAngle = std::max(0.0f, cab.doorAngle - 2.0f * dt);
    }

    drive.skidSmoothed += (drive.skid - drive.skidSmoothed) * Approach(2.0f, dt);

    SoundStep(dt);
    LightStep(effects.headlights, effects.headlightsOn != 0, dt);
    LightStep(effects.brakeLights, controls.brake > 0.1f || controls.handbrake > 0.1f, dt);
    LightStep(effects.reverseLights, drive.gear == -1, dt);

    if (sounds.engineVoice) {
        sounds.engineVoice->SetPosition(position);
        sounds.engineVoice->SetVelocity(velocity);
    }
    if (sounds.skidVoice) sounds.skidVoice->SetPosition(position);
    if (sounds.gearVoice) sounds.gearVoice->SetPosition(position);
    itemFlags |= Moved;

    if (damage.health == 0.0f || body.chassisBody->GetUp().y < 0.1f) {
        drive.upsideDownTime += dt;
    } else {
        drive.upsideDownTime = 0.0f;
    }
    if (drive.upsideDownTime > 5.0f) {
        if (damage.health != 0.0f) {
            PutBackOnWheels();
        } else if (!damage.impactDamage && context.localDriver && context.localDriver->vehicle == this) {
            Respawn(false);
        }
    }

    SmokeStep(dt);
    DamageStageStep();
    if (camera) ShadowStep(*camera);
    PuffStep(dt);
    BubbleStep(dt);

    controls.throttle = 0.0f;
    controls.brake = 0.0f;
    controls.steerInput = 0.0f;
    controls.handbrake -= controls.handbrake * Approach(4.0f, dt);
    if (controls.handbrake < 0.1f) {
        controls.handbrake = 0.0f;
        drive.handbrakeHeldTime = 0.0f;
    } else {
        drive.handbrakeHeldTime += dt;
    }
    drive.handbrakeKick = std::max(1e-06f, drive.handbrakeKick - dt * drive.handbrakeKick * 5.0f);
}

void Vehicle::UpdateWheelMotors(float dt) {
    if (!body.chassisBody) return;
    const vehicles_detail::DriveHandling h = Handling();
    vehicles_detail::WheelMotorInput in;
    in.gear = drive.gear;
    in.throttle = controls.throttle;
    in.brake = controls.brake;
    in.handbrake = controls.handbrake;
    in.health = damage.health;
    in.maxHealth = damage.maxHealth;
    in.speed = GetLinearVelocity().Length();
    for (int32_t i = 0; i < 4; ++i) {
        RigidBody& w = *body.wheelBodies[size_t(i)];
        in.wheelHeights[i] = w.GetPosition().y;
        in.wheelMasses[i] = w.GetMass();
    }
    const vehicles_detail::WheelMotorPlan plan = vehicles_detail::PlanWheelMotors(h, drive.tuning, in);

    if (damage.health != 0.0f) {
        for (int32_t i = 0; i < 4; ++i) body.wheelJoints[size_t(i)]->SetWheelMotor(plan.velocity, plan.maxForce[i]);
    }

    const float spin = 0.5f * (body.wheelBodies[2]->GetAngularVelocity().Length() + body.wheelBodies[3]->GetAngularVelocity().Length());
    drive.revs = vehicles_detail::NextRevs(drive.revs, drive.gear, plan.targetSpeed, controls.throttle, spin, dt);

    const float erp = drive.tuning.suspension * 0.75f + 0.05f;
    for (auto& j : body.wheelJoints) j->SetSuspensionErp(erp);
}

void Vehicle::SoundStep(float) {
    if (damage.health == 0.0f) {
        if (sounds.engineVoice) sounds.engineVoice->SetVolume(0.0f);
        if (sounds.skidVoice) sounds.skidVoice->SetVolume(0.0f);
        if (sounds.burningVoice) {
            sounds.burningVoice->SetPosition(GetPosition());
            if (!sounds.burningVoice->IsPlaying()) sounds.burningVoice->Play(true);
        }
    } else {
        if (sounds.skidVoice) sounds.skidVoice->SetVolume(drive.skidSmoothed);
        if (sounds.engineVoice) sounds.engineVoice->SetVolume(1.0f);
        if (sounds.burningVoice && sounds.burningVoice->IsPlaying()) sounds.burningVoice->StopAndRewind();
    }
    if (sounds.engineVoice) sounds.engineVoice->SetPitch(drive.revs * 0.1f + 1.0f);
}

void Vehicle::LightStep(std::vector<VehicleEffects::Halo>& list, bool on, float dt) {
    for (VehicleEffects::Halo& halo : list) {
        halo.intensity = Clamp(halo.intensity + (on ? 10.0f * dt : -5.0f * dt), 0.0f, 1.0f);
    }
}

void Vehicle::SmokeStep(float dt) {
    if (context.session.lightDetail != 3) return;
    const float share = damage.maxHealth > 0.0f ? damage.health / damage.maxHealth : 1.0f;
    static const float black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    static const float white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    const float* colour = nullptr;
    int16_t kind = 0;
    if (share < 0.05f || drive.revs > 11.0f) {
        colour = black;
    } else if (share >= 0.25f && share < 0.4f) {
        colour = white;
        kind = 1;
    } else if (share < 0.25f) {
        colour = white;
    }
    if (!colour) return;
    effects.smokeCarry += dt * 64.0f;
    const Vector3 source = GetPosition() + GetOrientation().ToMatrix().TransformNormal(definition->frontAxleCentre);
    for (; effects.smokeCarry >= 1.0f; effects.smokeCarry -= 1.0f) {
        const Vector3 at = source + Vector3(RandomFloat(-0.5f, 0.5f), RandomFloat(0.0f, 1.0f), RandomFloat(-0.5f, 0.5f));
        const Vector3 v(50.0f * RandomFloat(0.0f, 1.0f), 20.0f + 30.0f * RandomFloat(0.0f, 1.0f), RandomFloat(-5.0f, 5.0f));
        Emit(ParticleSystems::smoke, at, v, colour, kind);
    }
}

void Vehicle::DamageStageStep() {
    const auto& stages = definition->chassisMeshes;
    if (stages.empty()) {
        damage.damageStage = 0;
        return;
    }
    const float share = damage.maxHealth > 0.0f ? damage.health / damage.maxHealth : 1.0f;
    const int32_t count = int32_t(stages.size());
    damage.damageStage = std::clamp(int32_t((1.0f - share) * float(count)), 0, count - 1);
    D3D8Mesh* mesh = stages[size_t(damage.damageStage)];
    if (mesh == effects.chassisMesh) return;
    effects.chassisMesh = mesh;
    static const float debris[4] = {1.0f, 1.0f, 1.0f, 0.5f};
    const Vector3 centre = GetPosition();
    for (int32_t n = 0; n < 32; ++n) {
        const Vector3 at = centre + Vector3(RandomFloat(-12.5f, 12.5f), RandomFloat(0.0f, 25.0f), RandomFloat(-12.5f, 12.5f));
        const Vector3 v(RandomFloat(-12.5f, 12.5f), RandomFloat(0.0f, 25.0f), RandomFloat(-12.5f, 12.5f));
        Emit(ParticleSystems::smoke, at, v, debris, 1);
    }
}

void Vehicle::ShadowStep(const Camera& camera) {
    if (context.session.shadowDetail != 1 || !IsLocalPlayerCar()) return;
    const auto& hulls = definition->shadowHulls;
    if (hulls.empty()) return;
    ShadowVolumeRenderer& shadows = *SharedVehicleResources(context).shadows;
    const Matrix4 view = camera.orientation.ToMatrix();
    const Vector3 light = Vector3(view.m[0][2], 0.707f, view.m[2][2]).Normalized();
    const Matrix4 turn = GetOrientation().ToMatrix();
    // Into chassis space: the inverse of a rotation is its transpose.
    const Vector3 l(Vector3::Dot(light, Vector3(turn.m[0][0], turn.m[0][1], turn.m[0][2])),
                    Vector3::Dot(light, Vector3(turn.m[1][0], turn.m[1][1], turn.m[1][2])),
                    Vector3::Dot(light, Vector3(turn.m[2][0], turn.m[2][1], turn.m[2][2])));
    effects.shadowLight = l;
    shadows.Clear();
    if (!shadows.ready) return;
    const ShadowHull& hull = hulls[size_t(std::clamp(damage.damageStage, 0, int32_t(hulls.size()) - 1))];
    const Vector3 away = l * 10000.0f;
    const size_t triangles = std::min(hull.normals.size(), hull.indices.size() / 3);
    for (size_t t = 0; t < triangles; ++t) {
        if (Vector3::Dot(hull.normals[t], l) < 0.0f) continue;
        const int32_t* idx = &hull.indices[t * 3];
        for (int e = 0; e < 3; ++e) {
            const int32_t ia = idx[e];
            const int32_t ib = idx[(e + 1) % 3];
            if (ia < 0 || ib < 0 || size_t(ia) >= hull.vertices.size() || size_t(ib) >= hull.vertices.size()) continue;
            const Vector3& a = hull.vertices[size_t(ia)];
            const Vector3& b = hull.vertices[size_t(ib)];
            shadows.AddQuad(a, b, a - away, b - away);
        }
    }
}

void Vehicle::PuffStep(float dt) {
    if (context.session.lightDetail != 3 || drive.skidSmoothed <= 0.3f) {
        effects.skidPuffTimer = 0.0f;
        return;
    }
    effects.skidPuffTimer += dt;
    if (!IsLocalPlayerCar()) return;
    static const float grey[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    for (; effects.skidPuffTimer >= 0.025f; effects.skidPuffTimer -= 0.025f) {
        for (auto& wheel : body.wheelBodies) {
            const Vector3 at = wheel->GetPosition() +
                               Vector3(RandomFloat(-0.5f, 0.5f), RandomFloat(0.0f, 1.0f), RandomFloat(-0.5f, 0.5f));
            const WaterVolume* water = nullptr;
            for (const WaterVolume& w : context.world.waterVolumes) {
                if (Inside(w.box, at)) {
                    water = &w;
                    break;
                }
            }
            if (!water) {
                Emit(ParticleSystems::smoke, at, Vector3(RandomFloat(-12.5f, 12.5f), 0.0f, RandomFloat(-12.5f, 12.5f)), grey, 0);
                continue;
            }
            VehicleEffects::Bubble& b = effects.bubbles[effects.bubbleWrite];
            b.position = at;
            b.volume = water;
            effects.bubbleWrite = uint8_t((effects.bubbleWrite + 1) % effects.bubbleCount) & 0x7F;
        }
    }
}

void Vehicle::BubbleStep(float dt) {
    for (VehicleEffects::Bubble& b : effects.bubbles) {
        if (!b.volume) continue;
        b.position.y += 25.0f * dt;
        b.position.x += RandomFloat(-25.0f, 25.0f) * dt;
        b.position.z += RandomFloat(-25.0f, 25.0f) * dt;
        if (!Inside(b.volume->box, b.position)) b.volume = nullptr;
    }
}
