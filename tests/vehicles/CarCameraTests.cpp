// Car camera files: ten records saved by the game read back equal, a car without any gets ten
// defaults and ten lines, and bad files fall back safely.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "tests/vehicles/CarTestSupport.h"
#include "tools/writers/ZktWriter.h"

namespace {

using car_test::CarTest;

CarCamera Distinct(int n) {
    CarCamera c;
    c.position = Vector3(float(n), float(n) * 2.0f, -float(n));
    c.rotation = Quaternion(Vector3(0, 1, 0), 0.1f * float(n));
    c.distance = 50.0f + float(n);
    c.lerp = 0.5f + 0.25f * float(n);
    c.viewCar = n % 2 == 0;
    c.attached = n % 3 == 0;
    return c;
}

TEST_F(CarTest, TenSavedCamerasReadBackEqual) {
    car_test::WriteCar("Cam", car_test::SmallCar());
    CarCamera saved[CarCamera::kPerCar];
    for (int n = 0; n < CarCamera::kPerCar; ++n) saved[n] = Distinct(n);
    ASSERT_TRUE(SaveCarCameras("Cam", saved));
    // The tools' writer writes the same bytes as the game's save.
    ASSERT_TRUE(tools::WriteCam("Vehicles/Cam/9.CAM", saved[9]));
    EXPECT_EQ(dir.ReadBytes("Vehicles/Cam/9.CAM").size(), size_t(CarCamera::kFileSize));

    log.Clear();
    const CarDefinition d("Cam.VQC");
    for (int n = 0; n < CarCamera::kPerCar; ++n) EXPECT_EQ(d.cameras[n], saved[n]) << n;
    EXPECT_FALSE(log.Contains("is missing!"));
}

TEST_F(CarTest, ACarWithoutCameraFilesGetsTenDefaultsAndTenLines) {
    car_test::WriteCar("NoCam", car_test::SmallCar());
    log.Clear();
    const CarDefinition d("NoCam.VQC");
    for (int n = 0; n < CarCamera::kPerCar; ++n) {
        EXPECT_EQ(d.cameras[n], CarCamera());
        EXPECT_TRUE(log.Contains("Vehicles\\NoCam\\" + std::to_string(n) + ".CAM is missing!")) << n;
    }
    EXPECT_EQ(d.cameras[0].distance, 100.0f);
    EXPECT_EQ(d.cameras[0].rotation, Quaternion());
    EXPECT_TRUE(d.cameras[0].viewCar);
    EXPECT_FALSE(d.cameras[0].attached);
}

TEST_F(CarTest, BadCameraFilesFallBackSafely) {
    const std::vector<uint8_t> good = CarCameraBytes(Distinct(3));
    auto patched = [&](size_t at, const void* value, size_t size) {
        std::vector<uint8_t> b = good;
        std::memcpy(&b[at], value, size);
        return b;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN(), zero[4] = {0, 0, 0, 0};
    const float nans[4] = {nan, 0, 0, 1};
    const uint32_t anyVersion = 0xDEADBEEFu;
    const uint8_t seven = 7;
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        bool missing;       // default record and the line
        CarCamera expected;
    };
    CarCamera identity = Distinct(3);
    identity.rotation = Quaternion();
    CarCamera farDefault = Distinct(3);
    farDefault.distance = 100.0f;
    const Case cases[] = {
        {"cut to 44 bytes", std::vector<uint8_t>(good.begin(), good.end() - 1), true, CarCamera()},
        {"five bytes", std::vector<uint8_t>(good.begin(), good.begin() + 5), true, CarCamera()},
        {"wrong magic", patched(0, "ZK3", 3), true, CarCamera()},
        {"any version", patched(3, &anyVersion, 4), false, Distinct(3)},
        {"zero rotation", patched(19, zero, 16), false, identity},
        {"NaN rotation", patched(19, nans, 16), false, identity},
        {"NaN distance", patched(35, &nan, 4), false, farDefault},
        {"flag byte 7", patched(43, &seven, 1), false, [] { CarCamera c = Distinct(3); c.viewCar = true; return c; }()},
    };
    std::filesystem::create_directories("Vehicles/Bad");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(tools::WriteFileBytes("Vehicles/Bad/0.CAM", c.bytes));
        log.Clear();
        EXPECT_EQ(ReadCarCamera("Vehicles\\Bad\\0.CAM"), c.expected);
        EXPECT_EQ(log.Contains("Vehicles\\Bad\\0.CAM is missing!"), c.missing);
    }
}

}  // namespace
