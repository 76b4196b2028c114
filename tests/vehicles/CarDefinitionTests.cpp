// Car definitions: the car file in each version, damaged and lying files, name flags, marker
// points, the chassis collision box, shadow hulls and the catalogue.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>

#include "engine/core/FileStream.h"
#include "engine/render/D3D8Mesh.h"
#include "game/vehicles/CarFileFormat.h"
#include "tests/vehicles/CarTestSupport.h"
#include "tools/writers/ZktWriter.h"

namespace {

using car_test::CarTest;
using car_test::SmallCar;
using car_test::WriteCar;

void ExpectHandling(const CarHandling& got, const CarHandling& want) {
    EXPECT_EQ(got.forwardSpeedFactor, want.forwardSpeedFactor);
    EXPECT_EQ(got.engineForce, want.engineForce);
    EXPECT_EQ(got.weightShiftFactor, want.weightShiftFactor);
    EXPECT_EQ(got.forwardSteeringLock, want.forwardSteeringLock);
    EXPECT_EQ(got.reverseSteeringLock, want.reverseSteeringLock);
    EXPECT_EQ(got.steeringReferenceSpeed, want.steeringReferenceSpeed);
    EXPECT_EQ(got.brakeStrength, want.brakeStrength);
    EXPECT_EQ(got.handbrakeStrength, want.handbrakeStrength);
    EXPECT_EQ(got.gearCount, want.gearCount);
    EXPECT_EQ(got.steeringSpeedScale, want.steeringSpeedScale);
    EXPECT_EQ(got.reverseSpeedFactor, want.reverseSpeedFactor);
    EXPECT_FLOAT_EQ(got.steeringExponent, want.steeringExponent);
    EXPECT_FLOAT_EQ(got.minimumSteeringFactor, want.minimumSteeringFactor);
    EXPECT_FLOAT_EQ(got.massValue, want.massValue);
    EXPECT_EQ(got.spareB, want.spareB);
}

TEST_F(CarTest, ReadsEveryVersionOfTheCarFile) {
    struct Case {
        uint32_t version;
        const char* line;  // logged, or null for none
        float spareA;
        size_t headlights;
    } cases[] = {{0x30, nullptr, 7.0f, 2},
                 {0x20, "Update car V32.VQC", 7.0f, 0},
                 {0x10, "Car V16.VQC is invalid", 2.5f, 2},
                 {0x40, "Car V64.VQC is invalid", 7.0f, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        tools::VqcCar file = SmallCar("Version car");
        file.version = c.version;
        file.discarded = {"ignored", "strings"};
        std::string name = "V";
        name += std::to_string(c.version);
        WriteCar(name, file);
        log.Clear();
        const CarDefinition d(SharedString((name + ".VQC").c_str()));

        EXPECT_EQ(d.name, name.c_str());
        EXPECT_EQ(d.displayName, "Version car");
        ExpectHandling(d.handling, file.handling);
        EXPECT_EQ(d.handling.spareA, c.spareA);
        EXPECT_EQ(d.doorPoint1, Vector3(13, 0, 1));
        EXPECT_EQ(d.wheelPoints[0], Vector3(8, 1.4f, -14));   // front left: x > 0
        EXPECT_EQ(d.wheelPoints[1], Vector3(-8, 1.4f, -14));
        EXPECT_EQ(d.wheelPoints[3], Vector3(-8, 1.4f, 14));
        EXPECT_EQ(d.wheelCentre, Vector3(0, 1.4f, 0));
        ASSERT_EQ(d.haloListA.size(), c.headlights);
        if (c.headlights) {
            EXPECT_EQ(d.haloListA[1].position, Vector3(-6, 4, -22));
            EXPECT_EQ(d.haloListA[1].values[0], -128.0f);
            EXPECT_EQ(d.haloListA[1].values[1], 127.0f);
            EXPECT_EQ(d.haloListA[1].values[3], 1.0f);
            EXPECT_EQ(d.haloListB.size(), 1u);
            EXPECT_TRUE(d.haloListC.empty());
        }
        if (c.line) EXPECT_TRUE(log.Contains(c.line));
        else EXPECT_FALSE(log.Contains("is invalid") || log.Contains("Update car"));
        EXPECT_FALSE(d.fileDamaged);
        EXPECT_TRUE(d.IsValid());
    }
}

// The bytes of a version 0x30 car with no wheel pairs and no halos: its last five u32 are the
// two pair counts and the three halo counts.
std::vector<uint8_t> BareCar() {
    tools::VqcCar file = SmallCar();
    file.frontWheels.clear();
    file.backWheels.clear();
    for (auto& list : file.halos) list.clear();
    return tools::VqcBytes(file);
}

void PutU32(std::vector<uint8_t>& bytes, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + size_t(i)] = uint8_t(v >> (8 * i));
}

TEST_F(CarTest, KeepsTheLastWheelPairAndRefusesCountsPastTheFile) {
    tools::VqcCar three = SmallCar();
    three.frontWheels = {tools::WheelPair(1, 1, 1), tools::WheelPair(2, 2, 2), tools::WheelPair(7, 3, -12)};
    WriteCar("Three", three);
    const CarDefinition d("Three.VQC");
    EXPECT_EQ(d.wheelPoints[0], Vector3(7, 3, -12));
    EXPECT_EQ(d.wheelPoints[1], Vector3(-7, 3, -12));
    EXPECT_EQ(d.frontAxleCentre, Vector3(0, 3, -12));

    struct Lie {
        const char* name;
        size_t fromEnd;  // which count
        uint32_t count;
    } lies[] = {{"FrontLie", 20, 0x0AAAAAABu}, {"BackLie", 16, 2}, {"HaloLie", 12, 1000}};
    for (const Lie& l : lies) {
        SCOPED_TRACE(l.name);
        std::vector<uint8_t> bytes = BareCar();
        PutU32(bytes, bytes.size() - l.fromEnd, l.count);
        ASSERT_TRUE(tools::WriteFileBytes(SharedString::Format("Vehicles/%s.VQC", l.name), bytes));
        log.Clear();
        const CarDefinition lying(SharedString::Format("%s.VQC", l.name));
        EXPECT_TRUE(lying.fileDamaged);
        EXPECT_TRUE(log.Contains(std::string("Car ") + l.name + ".VQC is invalid"));
        ExpectHandling(lying.handling, SmallCar().handling);  // what came before is kept
        for (const Vector3& w : lying.wheelPoints) EXPECT_EQ(w, Vector3());
        EXPECT_TRUE(lying.haloListA.empty());
    }
}

TEST_F(CarTest, ShortTinyAndNonFiniteFilesKeepDefaults) {
    // Five bytes: below the minimum size, so defaults without a word.
    ASSERT_TRUE(tools::WriteFileBytes("Vehicles/Tiny.VQC", {'V', 'Q', ' ', 0x30, 0}));
    const CarDefinition tiny("Tiny.VQC");
    EXPECT_EQ(tiny.name, "Tiny");
    EXPECT_TRUE(tiny.displayName.IsEmpty());
    EXPECT_EQ(tiny.handling, CarHandling());
    EXPECT_TRUE(tiny.chassisMeshes.empty());
    EXPECT_FALSE(tiny.IsValid());
    EXPECT_FALSE(log.Contains("Tiny"));
    // A foreign file and a missing one: the same.
    ASSERT_TRUE(tools::WriteFileBytes("Vehicles/Foreign.VQC", std::vector<uint8_t>(64, 'x')));
    EXPECT_TRUE(CarDefinition("Foreign.VQC").chassisMeshes.empty());
    EXPECT_EQ(CarDefinition("Nowhere.VQC").handling, CarHandling());

    // Cut after the engine force: those two values are read, the rest keep their defaults.
    const std::vector<uint8_t> whole = tools::VqcBytes(SmallCar("Cut"));
    const size_t afterForce = 3 + 4 + 4 + 3 + 2 + 8;
    WriteCar("Cut", SmallCar());
    ASSERT_TRUE(tools::WriteFileBytes("Vehicles/Cut.VQC", std::vector<uint8_t>(whole.begin(), whole.begin() + long(afterForce + 2))));
    const CarDefinition cut("Cut.VQC");
    EXPECT_TRUE(log.Contains("Car Cut.VQC is invalid"));
    EXPECT_EQ(cut.handling.forwardSpeedFactor, 1.5f);
    EXPECT_EQ(cut.handling.engineForce, 4000.0f);
    EXPECT_EQ(cut.handling.weightShiftFactor, 0.0f);
    EXPECT_EQ(cut.handling.gearCount, 0);
    EXPECT_EQ(cut.wheelPoints[0], Vector3());
    EXPECT_EQ(cut.chassisMeshes.size(), 1u);  // the models still load

    // A value that is not a number keeps its default; the rest of the file still counts.
    tools::VqcCar nan = SmallCar();
    nan.handling.brakeStrength = std::numeric_limits<float>::quiet_NaN();
    nan.handling.massValue = std::numeric_limits<float>::infinity();
    WriteCar("Nan", nan);
    const CarDefinition n("Nan.VQC");
    EXPECT_TRUE(n.fileDamaged);
    EXPECT_EQ(n.handling.brakeStrength, 0.0f);
    EXPECT_EQ(n.handling.massValue, 0.0f);
    EXPECT_EQ(n.handling.spareB, -2.0f);
    EXPECT_EQ(n.wheelPoints[0], Vector3(8, 1.4f, -14));

    // Wheel points near the float limit are finite, and so are the centres made from them.
    tools::VqcCar huge = SmallCar();
    huge.frontWheels = {tools::WheelPair(1.0f, 3e38f, -3e38f)};
    huge.backWheels = {tools::WheelPair(1.0f, 3e38f, -3e38f)};
    WriteCar("Huge", huge);
    const CarDefinition h("Huge.VQC");
    EXPECT_FALSE(h.fileDamaged);
    EXPECT_EQ(h.frontAxleCentre, Vector3(0, 3e38f, -3e38f));
    EXPECT_EQ(h.wheelCentre, Vector3(0, 3e38f, -3e38f));
}

TEST(CarNameFlagTest, FlagsComeFromTheStartOfTheUpperCasedFileName) {
    struct Case {
        const char* file;
        uint32_t flags;
    } cases[] = {{"POLICECruiser.VQC", kCarPolice},
                 {"policecar.vqc", kCarPolice},
                 {"xPOLICE.VQC", 0},
                 {"AMBULANCEVan.VQC", kCarProtected | kCarAiTemplate},
                 {"ambulance.VQC", kCarProtected | kCarAiTemplate},
                 {"CabMetro.VQC", kCarCab},
                 {"Tank.VQC", kCarTank},
                 {"CrossCountry.VQC", kCarCross},
                 {"RacerZZ.VQC", 0},
                 {"", 0}};
    for (const Case& c : cases) EXPECT_EQ(CarNameFlags(c.file), c.flags) << c.file;
}

TEST_F(CarTest, MarkersSetTheMountsAndDefaultsStay) {
    tools::ZkmModel chassis = tools::CarChassisModel("Body.ZKT", car_test::kHalfBody, 0.0f);
    std::vector<tools::ZkmMarker> markers;
    for (tools::ZkmMarker m : chassis.markers) {
        if (m.name == "FLAMER") continue;
        if (m.name == "MISSILE") m = {"missile", {1, 2, 3}, {1, 2, 5}};
        if (m.name == "DOORPOS1") m.first = Vector3(99, 99, 99);
        markers.push_back(m);
    }
    markers.push_back({"ROCKET_2", {4, 5, 6}, {4, 8, 6}});
    markers.push_back({"Driver", {1, 1, 1}, {2, 2, 2}});
    chassis.markers = markers;
    WriteCar("Marked", SmallCar());
    car_test::WriteModel("Vehicles/Marked/Chassis0.ZKM", chassis);
    const CarDefinition d("Marked.VQC");
    EXPECT_EQ(d.missilePoint, Vector3(1, 2, 3));
    EXPECT_EQ(d.missileDirection, Vector3(0, 0, 1));
    EXPECT_EQ(d.rocketMounts[1].point, Vector3(4, 5, 6));  // the later ROCKET_2
    EXPECT_EQ(d.rocketMounts[1].direction, Vector3(0, 1, 0));
    EXPECT_EQ(d.flamerPoint, Vector3());
    EXPECT_EQ(d.flamerDirection, Vector3());
    EXPECT_EQ(d.driverPoint, Vector3(1, 1, 1));
    EXPECT_EQ(d.doorPoint1, Vector3(13, 0, 1));  // from the file, not the marker
    EXPECT_NE(d.chaingunPointA, d.chaingunPointB);

    // A chassis without markers keeps every default.
    tools::ZkmModel bare = tools::CarChassisModel("Body.ZKT", car_test::kHalfBody, 0.0f);
    bare.markers.clear();
    WriteCar("Bare", SmallCar());
    car_test::WriteModel("Vehicles/Bare/Chassis0.ZKM", bare);
    const CarDefinition b("Bare.VQC");
    EXPECT_EQ(b.missilePoint, Vector3(0, 10, 0));
    EXPECT_EQ(b.missileDirection, Vector3(0, 0.1f, -1).Normalized());
    for (const WeaponMount& r : b.rocketMounts) {
        EXPECT_EQ(r.point, Vector3(0, 10, 0));
        EXPECT_EQ(r.direction, Vector3(0, 0, -1));
    }
    EXPECT_EQ(b.grenadePoint, Vector3(0, 0, 10));
    EXPECT_EQ(b.doorPoint2, Vector3(20, 0, 8));
    EXPECT_EQ(b.doorPoint3, Vector3(-20, 0, 8));
    EXPECT_EQ(b.boostPoint, Vector3());
}

TEST_F(CarTest, TheCollisionBoxRisesToTheWheelLineOrStays) {
    WriteCar("High", SmallCar());  // wheels at y 1.4, radius 3.5: the line at 1.4 + 1.75
    const CarDefinition high("High.VQC");
    for (float r : high.wheelRadii) EXPECT_EQ(r, car_test::kWheelRadius);  // a vertex exactly at the radius
    const BoundingBox& box = high.chassisBox;
    EXPECT_EQ(box.Min().y, 0.0f);
    EXPECT_EQ(box.Min().x, -car_test::kHalfBody.x);
    const BoundingBox& raised = high.chassisCollisionBox;
    EXPECT_FLOAT_EQ(raised.Min().y, 3.15f);
    EXPECT_FLOAT_EQ(raised.Max().y, box.Max().y);
    EXPECT_EQ(raised.halfExtents.x, box.halfExtents.x);

    tools::VqcCar low = SmallCar();
    low.frontWheels = {tools::WheelPair(8, -5, -14)};
    low.backWheels = {tools::WheelPair(8, -5, 14)};
    WriteCar("Low", low);
    const CarDefinition l("Low.VQC");
    EXPECT_EQ(l.chassisCollisionBox.centre, l.chassisBox.centre);
    EXPECT_EQ(l.chassisCollisionBox.halfExtents, l.chassisBox.halfExtents);
}

TEST_F(CarTest, UnbuildableDefinitionsAreMarkedInvalid) {
    WriteCar("NoWheels", SmallCar(), 1, 3.5f);
    // Wheels whose every point lies at or below y = 0: radius 0.
    tools::ZkmModel flat = tools::WheelModel("Wheel.ZKT", 8, 3.5f, 1.5f);
    for (Vector3& p : flat.nodes[0].collisionPositions) p.y = -std::fabs(p.y);
    car_test::WriteModel("Vehicles/NoWheels/BackWheel.ZKM", flat);
    EXPECT_FALSE(CarDefinition("NoWheels.VQC").IsValid());

    tools::ZkmModel thin = tools::CarChassisModel("Body.ZKT", car_test::kHalfBody, 0.0f);
    for (Vector3& p : thin.nodes[0].collisionPositions) p.y = 2.0f;
    WriteCar("Flat", SmallCar());
    car_test::WriteModel("Vehicles/Flat/Chassis0.ZKM", thin);
    EXPECT_FALSE(CarDefinition("Flat.VQC").IsValid());

    ASSERT_TRUE(tools::WriteVqc("Vehicles/Hollow.VQC", SmallCar()));  // no models at all
    const CarDefinition hollow("Hollow.VQC");
    EXPECT_TRUE(hollow.chassisMeshes.empty());
    EXPECT_NE(hollow.frontWheelMesh, nullptr);  // the factory's stand-in
    EXPECT_FALSE(hollow.IsValid());
}

// True when p lies inside the hull or on it, within `slack`.
bool Inside(const ShadowHull& hull, const Vector3& p, float slack) {
    for (size_t t = 0; t < hull.normals.size(); ++t) {
        const Vector3& a = hull.vertices[size_t(hull.indices[t * 3])];
        if (Vector3::Dot(hull.normals[t], p - a) > slack) return false;
    }
    return true;
}

TEST_F(CarTest, ShadowHullsAreConvexOverChassisDoorAndWheelsUnlessAShadowModelIsGiven) {
    WriteCar("Hulls", SmallCar(), 3);
    car_test::WriteModel("Vehicles/Hulls/Door0.ZKM",
                         tools::CarDoorModel("Body.ZKT", Vector3(9, 1, -2), 11, 9, 1.2f));
    const CarDefinition d("Hulls.VQC");
    ASSERT_EQ(d.shadowHulls.size(), 3u);
    ASSERT_EQ(d.doorMeshes.size(), 1u);
    for (size_t k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        const ShadowHull& hull = d.shadowHulls[k];
        ASSERT_FALSE(hull.normals.empty());
        ASSERT_EQ(hull.indices.size(), hull.normals.size() * 3);
        Vector3 centroid;
        for (const Vector3& v : hull.vertices) centroid += v;
        centroid = centroid / float(hull.vertices.size());
        for (size_t t = 0; t < hull.normals.size(); ++t) {
            EXPECT_NEAR(hull.normals[t].Length(), 1.0f, 1e-4f);
            const Vector3& a = hull.vertices[size_t(hull.indices[t * 3])];
            EXPECT_GT(Vector3::Dot(hull.normals[t], a - centroid), 0.0f);  // outward
        }
        // Every point it was gathered from: chassis stage k, the door, each wheel at its point.
        for (const Vector3& p : d.chassisMeshes[k]->Positions()) EXPECT_TRUE(Inside(hull, p, 0.15f));
        for (const Vector3& p : d.doorMeshes[0]->Positions()) EXPECT_TRUE(Inside(hull, p, 0.15f));
        for (int w = 0; w < 4; ++w)
            for (const Vector3& p : d.frontWheelMesh->Positions()) EXPECT_TRUE(Inside(hull, p + d.wheelPoints[w], 0.15f));
    }

    // With a shadow model: the same hull for every stage, made from that model alone.
    WriteCar("Shaded", SmallCar(), 3);
    car_test::WriteModel("Vehicles/Shaded/Shadow.ZKM", tools::CarShadowModel(car_test::kHalfBody));
    const CarDefinition s("Shaded.VQC");
    ASSERT_NE(s.shadowMesh, nullptr);
    ASSERT_EQ(s.shadowHulls.size(), 3u);
    EXPECT_EQ(s.shadowHulls[0].vertices.size(), 8u);  // the box's corners
    for (size_t k = 1; k < 3; ++k) {
        EXPECT_EQ(s.shadowHulls[k].vertices, s.shadowHulls[0].vertices);
        EXPECT_EQ(s.shadowHulls[k].indices, s.shadowHulls[0].indices);
    }
    for (const Vector3& v : s.shadowHulls[0].vertices) EXPECT_EQ(std::fabs(v.x), car_test::kHalfBody.x + 1.0f);
}

TEST_F(CarTest, TheCatalogueLoadsOnceInByteOrder) {
    CarDefinition::LoadAll();  // no files: stays empty, the next call looks again
    EXPECT_EQ(CarCatalogue::Instance().Count(), 0);

    for (const char* n : {"c", "B", "AB", "A2", "A"}) ASSERT_TRUE(tools::WriteVqc(SharedString::Format("Vehicles/%s.VQC", n), SmallCar(n)));
    WriteCar("POLICEOne", SmallCar("Police one"));
    WriteCar("POLICETwo", SmallCar("Police two"));
    ASSERT_TRUE(tools::WriteFileBytes("Vehicles/Broken.VQC", {'V', 'Q', ' ', 0x30, 0}));
    CarDefinition::LoadAll();
    CarCatalogue& catalogue = CarCatalogue::Instance();
    std::vector<std::string> names;
    for (const CarDefinition* d : catalogue.Entries()) names.push_back(d->name.c_str());
    EXPECT_EQ(names, (std::vector<std::string>{"A", "A2", "AB", "B", "Broken", "POLICEOne", "POLICETwo", "c"}));
    EXPECT_EQ(catalogue.At(2)->displayName, "AB");
    EXPECT_EQ(catalogue.At(8), nullptr);
    EXPECT_EQ(catalogue.At(-1), nullptr);

    // Lookups: by name ignoring case, by flag (the first), by index.
    EXPECT_EQ(catalogue.FindByName("policeone"), catalogue.At(5));
    EXPECT_EQ(catalogue.FindByName("Nope"), nullptr);
    EXPECT_EQ(catalogue.FindByFlag(kCarPolice), catalogue.At(5));
    EXPECT_EQ(catalogue.FindByFlag(kCarTank), nullptr);
    EXPECT_EQ(catalogue.IndexOf(catalogue.At(6)), 6);
    // Car choices skip what cannot be built: only the two police cars have models.
    EXPECT_EQ(catalogue.NextValidIndex(5, 1), 6);
    EXPECT_EQ(catalogue.NextValidIndex(6, 1), 5);
    EXPECT_EQ(catalogue.NextValidIndex(5, -1), 6);

    // A second call changes nothing, even with a new file.
    const std::vector<CarDefinition*> before = catalogue.Entries();
    ASSERT_TRUE(tools::WriteVqc("Vehicles/AA.VQC", SmallCar()));
    CarDefinition::LoadAll();
    EXPECT_EQ(catalogue.Entries(), before);

    // The AI driver's copy takes another car's handling and nothing else.
    CarDefinition copy(*catalogue.At(5));
    catalogue.At(6)->handling.gearCount = 6;
    copy.CopyHandling(*catalogue.At(6));
    EXPECT_EQ(copy.handling.gearCount, 6);
    EXPECT_EQ(copy.displayName, "Police one");
    EXPECT_EQ(copy.chassisMeshes, catalogue.At(5)->chassisMeshes);
}

}  // namespace
