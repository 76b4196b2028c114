// The demo tree's four cars load from what the generator writes: in name order, buildable,
// with their flags, handling, door frames, rider, shadow model, cameras, menu image and sounds.
#include <gtest/gtest.h>

#include "engine/core/FileStream.h"
#include "tests/vehicles/CarTestSupport.h"
#include "tests/vehicles/DemoCarFiles.h"

namespace {

using car_test::CarTest;

TEST_F(CarTest, TheDemoCarsLoadAndCanAllBeBuilt) {
    ASSERT_TRUE(vehicle_test::WriteDemoCars());
    log.Clear();
    CarDefinition::LoadAll();
    CarCatalogue& cars = CarCatalogue::Instance();
    ASSERT_EQ(cars.Count(), 4);
    const char* names[] = {"AmbulanceVan", "CabMetro", "PoliceCruiser", "RacerZZ"};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(names[i]);
        const CarDefinition& d = *cars.At(i);
        EXPECT_EQ(d.name, names[i]);
        EXPECT_TRUE(d.IsValid());
        EXPECT_FALSE(d.fileDamaged);
        EXPECT_EQ(d.chassisMeshes.size(), 3u);
        EXPECT_EQ(d.shadowHulls.size(), 3u);
        EXPECT_FALSE(d.shadowHulls[2].normals.empty());
        EXPECT_FALSE(d.haloListA.empty());
        EXPECT_GT(d.wheelPoints[0].x, 0.0f);  // left wheels at x > 0
        EXPECT_NE(d.menuImage, nullptr);
        for (const char* sound : {"Engine", "Slip", "Gear", "Door", "Horn"})
            EXPECT_TRUE(FileExists(SharedString::Format("Vehicles\\%s\\%s.wav", names[i], sound))) << sound;
    }
    EXPECT_FALSE(log.Contains("is missing!"));
    EXPECT_FALSE(log.Contains("is invalid"));

    const CarDefinition* cab = cars.FindByFlag(kCarCab);
    ASSERT_EQ(cab, cars.FindByName("CABMETRO"));
    EXPECT_EQ(cab->handling.massValue, 1000.0f);
    EXPECT_EQ(cab->handling.gearCount, 4);
    EXPECT_EQ(cab->doorMeshes.size(), 5u);
    EXPECT_NE(cab->riderMeshChick, nullptr);
    EXPECT_EQ(cab->riderMeshTony, nullptr);

    const CarDefinition* police = cars.FindByFlag(kCarPolice);
    const CarDefinition* ambulance = cars.FindByFlag(kCarAiTemplate);
    const CarDefinition* racer = cars.FindByName("racerzz");
    ASSERT_TRUE(police && ambulance && racer);
    EXPECT_EQ(police->name, "PoliceCruiser");
    EXPECT_TRUE(ambulance->HasFlag(kCarProtected));
    EXPECT_NE(ambulance->shadowMesh, nullptr);
    EXPECT_GT(police->handling.forwardSpeedFactor, cab->handling.forwardSpeedFactor);
    EXPECT_GT(police->handling.engineForce, cab->handling.engineForce);
    EXPECT_GT(ambulance->handling.massValue, cab->handling.massValue);
    EXPECT_LT(ambulance->handling.forwardSpeedFactor, cab->handling.forwardSpeedFactor);
    EXPECT_LT(racer->handling.massValue, cab->handling.massValue);
    EXPECT_EQ(racer->handling.gearCount, 5);
    EXPECT_EQ(racer->nameFlags, 0u);

    for (const char* texture : {"Halo01", "Halo02", "Halo03", "Skid", "Bubble", "BulletHole", "Smoke", "Fire", "Spark",
                                "Blood", "BloodSplat", "GunFire", "vlare0", "vlare1", "vlare2", "vlare3", "vlare4"})
        EXPECT_TRUE(FileExists(SharedString::Format("Textures\\%s.ZKT", texture))) << texture;
}

}  // namespace
