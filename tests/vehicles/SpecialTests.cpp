// The specials on the real physics layer under the player's special key: their times at the
// physics step and at players' frame times, what they do to the car, the camera, the world's speed
// and the screen, and the developer commands' rule of giving every other call.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "game/vehicles/Gunfire.h"
#include "game/world/World.h"
#include "engine/render/NullRenderFacility.h"
#include "engine/render/SpriteRenderer.h"
#include "tests/vehicles/SpecialTestSupport.h"

using namespace special_test;
using testing_support::FrameSchedule;

namespace {

class SpecialTiming : public SpecialTest, public ::testing::WithParamInterface<FrameSchedule> {
protected:
    // Runs frames of the schedule until `seconds` have passed; the key pressed on the first
    // frame at or after each time in `presses`, held throughout when `hold`; `watch` looks after
    // every frame.
    template <class Watch>
    void RunFor(float seconds, std::vector<float> presses, bool hold, Watch watch) {
        const float end = time + seconds;
        while (time < end) {
            bool press = false;
            if (!presses.empty() && time >= presses.front()) {
                press = true;
                presses.erase(presses.begin());
            }
            Frame(GetParam()(frame_++), press, hold);
            watch();
        }
    }
    void RunFor(float seconds, std::vector<float> presses = {}, bool hold = false) {
        RunFor(seconds, std::move(presses), hold, [] {});
    }
    // One frame's length of slack plus a step.
    float Slack() const { return 0.042f + Step; }
    float Speed() const { return car->GetLinearVelocity().Length(); }

    int32_t frame_ = 0;
};

// A 640 x 480 screen whose sprite renderer records the rectangles filled.
class FillRecorder : public SpriteRenderer {
public:
    struct Fill {
        bool hasRect = false;
        RectF rect;
        Color color;
    };
    void DrawSprite(const Sprite*, const Rect*, const Vector2&, const Color*, uint8_t) override {}
    void DrawSpriteRect(const Sprite*, const RectF*, const Rect*, const Color*, uint8_t) override {}
    void DrawSpriteEx(const Sprite*, const Rect*, const Vector2&, const Transform2&, const Color*, uint8_t) override {}
    void DrawQuad(const RectF*, const Color*) override {}
    void FillRect(const RectF* rect, const Color& color) override {
        fills.push_back(Fill{rect != nullptr, rect ? *rect : RectF{}, color});
    }
    void Flush() override {}
    int32_t ScreenWidth() const override { return 640; }
    int32_t ScreenHeight() const override { return 480; }
    std::vector<Fill> fills;

protected:
    void DrawTexturePiece(TextureHandle*, int32_t, int32_t, const Rect&, const Vector2&, const Color*, uint8_t) override {}
};

class ScreenFacility : public NullRenderFacility {
public:
    int32_t ScreenWidth() const override { return 640; }
    int32_t ScreenHeight() const override { return 480; }
    SpriteRenderer* GetSpriteRenderer() override { return &sprites; }
    FillRecorder sprites;
};

} // namespace

TEST_P(SpecialTiming, APickedUpBoostPushesAlongTheNoseFromOneToFourSecondsThenLeaves) {
    BoostSpecial* boost = Pick<BoostSpecial>(ItemKind::Boost, true);
    ASSERT_NE(boost, nullptr);
    RunFor(0.9f);
    EXPECT_LT(Speed(), 2.0f) << "no thrust in the first second";
    const float z0 = car->GetPosition().z;
    float removedAt = -1.0f;
    RunFor(4.1f, {}, false, [&] {
        if (removedAt < 0.0f && !Carries(boost)) removedAt = time;
    });
    EXPECT_LT(car->GetPosition().z, z0 - 100.0f) << "pushed forward (the nose is -z)";
    EXPECT_NEAR(removedAt, 4.0f, Slack());
    EXPECT_TRUE(flat.context.itemPools[ItemKind::Boost].Holds(boost)) << "back in its pool";
}

TEST_P(SpecialTiming, TheCarsOwnBoostStaysAndCanBeUsedAgainAfterFiveSeconds) {
    auto* boost = dynamic_cast<BoostSpecial*>(flat.context.itemPools[ItemKind::Boost].Take());
    ASSERT_NE(boost, nullptr);
    boost->permanent = 1;
    car->AddSpecial(boost);
    ASSERT_EQ(car->items.specials.front(), boost);
    RunFor(0.1f, {0.05f});
    EXPECT_LT(boost->elapsed, 0.2f) << "the key started it";
    RunFor(4.5f, {2.0f, 4.0f});
    EXPECT_TRUE(Carries(boost)) << "its thrust never removes the car's own boost";
    EXPECT_GT(boost->elapsed, 4.4f) << "presses before 5 s are ignored";
    RunFor(1.0f, {time + 0.7f});
    EXPECT_LT(boost->elapsed, 0.5f) << "usable again after 5 s";
}

TEST_P(SpecialTiming, AHeldCannonFiresOneShellASecondThreeInAllThenLeaves) {
    CannonSpecial* cannon = Pick<CannonSpecial>(ItemKind::Cannon, false);
    ASSERT_NE(cannon, nullptr);
    std::vector<float> shots;
    int fired = 0;
    RunFor(4.0f, {}, true, [&] {
        for (; fired < audio.plays["Audio\\Cannon.WAV"]; ++fired) shots.push_back(time);
    });
    ASSERT_EQ(shots.size(), 3u);
    EXPECT_LT(shots[0], Slack());
    EXPECT_NEAR(shots[1] - shots[0], 1.0f, Slack());
    EXPECT_NEAR(shots[2] - shots[1], 1.0f, Slack());
    EXPECT_FALSE(Carries(cannon));
}

TEST_P(SpecialTiming, ThreeJumpsOneSecondApartThenTheJumpLeavesAQuarterSecondAfterTheLast) {
    JumpSpecial* jump = Pick<JumpSpecial>(ItemKind::Jump, false);
    ASSERT_NE(jump, nullptr);
    RunFor(0.5f);
    const float rest = car->GetPosition().y;
    std::vector<float> hops;
    float removedAt = -1.0f;
    int32_t charges = jump->charges;
    float highest = rest;
    // 1.0 is too soon after 0.6.
    RunFor(4.5f, {0.6f, 1.0f, 1.7f, 2.8f, 3.9f}, false, [&] {
        highest = std::max(highest, car->GetPosition().y);
        if (removedAt >= 0.0f) return;
        if (!Carries(jump)) {
            removedAt = time;
            return;
        }
        if (jump->charges != charges) {
            charges = jump->charges;
            hops.push_back(time);
        }
    });
    ASSERT_EQ(hops.size(), 3u);
    EXPECT_NEAR(hops[0], 0.6f, Slack());
    EXPECT_NEAR(hops[1], 1.7f, Slack());
    EXPECT_NEAR(hops[2], 2.8f, Slack());
    EXPECT_NEAR(removedAt, hops[2] + 0.25f, Slack());
    EXPECT_GT(highest, rest + 5.0f) << "the car left the ground";
}

TEST_P(SpecialTiming, RockProtectsTheCarForThirtySeconds) {
    RockSpecial* rock = Pick<RockSpecial>(ItemKind::Rock, true);
    ASSERT_NE(rock, nullptr);
    RunFor(0.1f);
    EXPECT_NE(car->ChassisGeom()->GetCategoryBits() & VehicleBody::DrivenCarBit, 0u);
    float clearedAt = -1.0f;
    RunFor(31.0f, {}, false, [&] {
        if (clearedAt < 0.0f && !(car->ChassisGeom()->GetCategoryBits() & VehicleBody::DrivenCarBit)) clearedAt = time;
    });
    EXPECT_NEAR(clearedAt, 30.0f, Slack());
    EXPECT_FALSE(Carries(rock));
}

TEST_P(SpecialTiming, SlowHalvesTheWorldsSpeedAndShowsTheSpectatorViewUntilItLeaves) {
    flat.camera.SetCameraIndex(2);
    SlowSpecial* slow = Pick<SlowSpecial>(ItemKind::Slow, true);
    ASSERT_NE(slow, nullptr);
    EXPECT_EQ(flat.world.timeScale, 0.5f);
    EXPECT_EQ(flat.camera.CameraIndex(), ChaseCamera::SpectatorView);
    EXPECT_FALSE(flat.camera.collideWithWorld);
    // The slow's own clock runs at the world's speed: four seconds of the slowed world.
    float removedAt = -1.0f;
    RunFor(10.0f, {}, false, [&] {
        if (removedAt >= 0.0f) return;
        if (!Carries(slow)) {
            removedAt = time;
            EXPECT_EQ(flat.world.timeScale, 1.0f);
            EXPECT_EQ(flat.camera.CameraIndex(), 2u) << "the view before comes back";
            EXPECT_TRUE(flat.camera.collideWithWorld);
        } else {
            EXPECT_EQ(flat.world.timeScale, 0.5f) << time;
        }
    });
    EXPECT_NEAR(removedAt, 8.0f, 2.0f * Slack());
}

INSTANTIATE_TEST_SUITE_P(Frames, SpecialTiming, ::testing::ValuesIn(Schedules()),
                         [](const auto& info) { return info.param.name == std::string("1/75") ? std::string("Step") : std::string(info.param.name); });

TEST_F(SpecialTest, RemovingARockClearsTheProtectionAtOnce) {
    RockSpecial* rock = Pick<RockSpecial>(ItemKind::Rock, true);
    Frame(Step);
    ASSERT_NE(car->ChassisGeom()->GetCategoryBits() & VehicleBody::DrivenCarBit, 0u);
    car->RemoveSpecial(rock);
    EXPECT_EQ(car->ChassisGeom()->GetCategoryBits() & VehicleBody::DrivenCarBit, 0u);
    EXPECT_EQ(car->network.flagWord & VehicleNetwork::CollisionFlagBit, 0u);
}

TEST_F(SpecialTest, ASlowDetachedAfterAWorldResetNeverSpeedsTheWorldUp) {
    SlowSpecial* slow = Pick<SlowSpecial>(ItemKind::Slow, true);
    ASSERT_EQ(flat.world.timeScale, 0.5f);
    flat.world.Reset();
    ASSERT_EQ(flat.world.timeScale, 1.0f);
    car->RemoveSpecial(slow);
    EXPECT_EQ(flat.world.timeScale, 1.0f);
}

TEST_F(SpecialTest, ASlowOnACarThatIsNoPlayersLeavesTheCameraAndStillEnds) {
    car->network.flagWord &= ~VehicleNetwork::PlayerCarFlag;
    SlowSpecial* slow = Pick<SlowSpecial>(ItemKind::Slow, true);
    EXPECT_NE(flat.camera.CameraIndex(), ChaseCamera::SpectatorView);
    for (int i = 0; i < 12 * 75 && Carries(slow); ++i) Frame(Step);
    EXPECT_FALSE(Carries(slow)) << "the world does not stay slow for good";
    EXPECT_EQ(flat.world.timeScale, 1.0f);
}

TEST_F(SpecialTest, ASlowEndsWhenItsCarIsWrecked) {
    SlowSpecial* slow = Pick<SlowSpecial>(ItemKind::Slow, true);
    Frame(Step);
    car->damage.health = 0.0f;
    Frame(Step);
    EXPECT_FALSE(Carries(slow));
    EXPECT_EQ(flat.world.timeScale, 1.0f);
}

TEST_F(SpecialTest, RockTintsAndSlowLetterboxesAndHidesTheHud) {
    SlowSpecial* slow = Pick<SlowSpecial>(ItemKind::Slow, true);
    RockSpecial* rock = Pick<RockSpecial>(ItemKind::Rock, true);
    Frame(Step);
    ScreenFacility facility;
    flat.engine.services.renderer = &facility;
    const size_t before = facility.sprites.fills.size();
    EXPECT_FALSE(car->ItemsAllow()) << "the HUD is hidden while the slow lasts";
    const std::vector<FillRecorder::Fill> fills(facility.sprites.fills.begin() + ptrdiff_t(before),
                                                                     facility.sprites.fills.end());
    ASSERT_EQ(fills.size(), 3u);
    const float h = float(facility.ScreenHeight()), w = float(facility.ScreenWidth());
    // The rock's tint covers the screen: red at a quarter.
    int tints = 0, bars = 0;
    for (const auto& f : fills) {
        if (!f.hasRect) {
            EXPECT_EQ(f.color.a, 0x40);
            EXPECT_EQ(f.color.r, 0xFF);
            EXPECT_EQ(f.color.g, 0x00);
            ++tints;
        } else {
            EXPECT_EQ(f.color.a, 0xFF);
            EXPECT_EQ(f.color.r | f.color.g | f.color.b, 0);
            EXPECT_NEAR(f.rect.y1 - f.rect.y0, h / 6.0f, 0.5f);
            EXPECT_NEAR(f.rect.x1 - f.rect.x0, w, 0.5f);
            EXPECT_TRUE(f.rect.y0 == 0.0f || f.rect.y1 == h);
            ++bars;
        }
    }
    EXPECT_EQ(tints, 1);
    EXPECT_EQ(bars, 2);
    car->RemoveSpecial(slow);
    car->RemoveSpecial(rock);
    EXPECT_TRUE(car->ItemsAllow());
    EXPECT_EQ(facility.sprites.fills.size(), before + 3) << "nothing drawn once they are gone";
    flat.engine.services.renderer = nullptr;
}

TEST_F(SpecialTest, TheHornSoundsWhileTheKeyIsHeld) {
    ASSERT_FALSE(car->items.specials.empty());
    auto* horn = dynamic_cast<HornSpecial*>(car->items.specials.front());
    ASSERT_NE(horn, nullptr) << "a taxi's own special is its horn";
    EXPECT_TRUE(horn->permanent);
    PlayingVoice* voice = audio.Voice("Vehicles\\Taxi\\Horn.wav");
    ASSERT_NE(voice, nullptr);
    Frame(Step);
    EXPECT_FALSE(voice->playing);
    for (int i = 0; i < 10; ++i) Frame(Step, i == 0, true);
    EXPECT_TRUE(voice->playing);
    EXPECT_TRUE(voice->looped);
    EXPECT_EQ(audio.plays["Vehicles\\Taxi\\Horn.wav"], 1) << "started once while held";
    Frame(Step);
    EXPECT_FALSE(voice->playing);
    EXPECT_TRUE(Carries(horn));
}

TEST_F(SpecialTest, ThePoliceSirenTogglesFlashesOutOfStepAndStopsOnAWreck) {
    const CarDefinition* police = CarCatalogue::Instance().FindByName(SharedString("PoliceCar"));
    ASSERT_NE(police, nullptr);
    Vehicle* cop = flat.AddCar(police, 60.0f, 0.0f);
    player->AttachVehicle(cop);
    auto* siren = dynamic_cast<CopSirenSpecial*>(cop->items.specials.front());
    ASSERT_NE(siren, nullptr);
    EXPECT_TRUE(siren->permanent);
    EXPECT_FALSE(siren->pooled);
    PlayingVoice* voice = audio.Voice("Vehicles\\PoliceCar\\Horn.wav");
    ASSERT_NE(voice, nullptr);

    Frame(Step, true);
    EXPECT_TRUE(siren->active);
    EXPECT_TRUE(voice->playing);
    for (int i = 0; i < 30; ++i) Frame(Step);
    EXPECT_TRUE(voice->playing) << "a press switches it on; releasing does not stop it";
    EXPECT_EQ(siren->brightness, 1.0f);
    ASSERT_EQ(siren->lights.size(), 2u);
    EXPECT_NEAR(siren->lights[1].phase - siren->lights[0].phase, 1.0f, 1e-4f);
    // Out of step: over a second, often one light is bright while the other is dark.
    int apart = 0;
    for (int i = 0; i < 75; ++i) {
        const float a = CopSirenSpecial::Flash(siren->lights[0].phase + 8.0f * Step * float(i), 1.0f);
        const float b = CopSirenSpecial::Flash(siren->lights[1].phase + 8.0f * Step * float(i), 1.0f);
        if (std::fabs(a - b) > 0.5f) ++apart;
    }
    EXPECT_GT(apart, 5);
    Frame(Step, true);
    EXPECT_FALSE(siren->active);
    EXPECT_FALSE(voice->playing);
    Frame(Step, true);
    ASSERT_TRUE(voice->playing);
    cop->damage.health = 0.0f;
    Frame(Step);
    EXPECT_FALSE(siren->active);
    EXPECT_FALSE(voice->playing) << "a wreck's siren stops";
}

TEST_F(SpecialTest, ACarWhoseNameEndsInZZHasItsOwnBoost) {
    Vehicle* racer = flat.AddCar(CarCatalogue::Instance().FindByName(SharedString("RacerZZ")), -60.0f, 0.0f);
    auto* boost = dynamic_cast<BoostSpecial*>(racer->items.specials.front());
    ASSERT_NE(boost, nullptr);
    EXPECT_TRUE(boost->permanent);
    EXPECT_TRUE(boost->pooled);
}

TEST_F(SpecialTest, ABlastOwnedByADrivenCarsSpaceIsThatCarsBlast) {
    // The cannon's shell is owned by the car's whole space (so that it never meets its own car);
    // its blast is still the car's: the game's observer of driven cars' blasts hears of it.
    struct Observer : ExplosionObserver {
        void OnExplosionHit(const Vector3&, Vehicle& vehicle) override { cars.push_back(&vehicle); }
        std::vector<Vehicle*> cars;
    } observer;
    flat.context.explosionObserver = &observer;
    car->SetCollisionFlag(true);
    Explosion::Spawn(flat.context, car->Space(), car->GetPosition() + Vector3(0.0f, 0.0f, -150.0f), Explosion::WreckStart,
                     Explosion::WreckMaximum, Explosion::WreckGrowth, false);
    EXPECT_EQ(observer.cars, std::vector<Vehicle*>{car});
    flat.context.explosionObserver = nullptr;
}
