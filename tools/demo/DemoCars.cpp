// The cars of the demo tree: four car kinds, each with its definition file, damage-stage chassis
// models, wheels, menu image, ten camera records and sounds, and the textures the car and
// effect code share (halos, skid marks, bubbles, bullet holes, smoke, fire, sparks, blood,
// muzzle flash, lens flare, the guns and their HUD icons).
#include <cmath>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tools/demo/DemoTree.h"
#include "tools/writers/AudioWriter.h"
#include "tools/writers/CarWriter.h"
#include "tools/writers/MeshShapes.h"
#include "tools/writers/ZktWriter.h"

namespace {

namespace fs = std::filesystem;
using Paint = std::function<uint32_t(float x, float y)>;  // x, y in [-1, 1], centre 0

uint32_t Argb(float a, float r, float g, float b) {
    auto c = [](float v) { return uint32_t(std::fmax(0.0f, std::fmin(1.0f, v)) * 255.0f); };
    return c(a) << 24 | c(r) << 16 | c(g) << 8 | c(b);
}

bool WriteArt(const fs::path& path, int size, const Paint& paint) {
    std::vector<uint32_t> argb;
    argb.reserve(size_t(size * size));
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            argb.push_back(paint((float(x) + 0.5f) / float(size) * 2.0f - 1.0f, (float(y) + 0.5f) / float(size) * 2.0f - 1.0f));
    tools::ZktTexture t = tools::ArgbTexture(size, size, argb);
    t.mayCompress = 0;
    return tools::WriteZkt(path.string().c_str(), t);
}

// A small side view of a car, 32 x 16 and top row first: body and cabin in the car's colour, dark
// windows, black wheels, clear around it.
bool WriteMenuImage(const fs::path& path, uint32_t body) {
    constexpr int kW = 32, kH = 16;
    std::vector<uint32_t> argb;
    argb.reserve(size_t(kW * kH));
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const int dl = (x - 8) * (x - 8) + (y - 12) * (y - 12), dr = (x - 24) * (x - 24) + (y - 12) * (y - 12);
            uint32_t c = 0x00000000u;
            if (y >= 7 && y <= 12 && x >= 1 && x <= 30) c = body;                // the body
            if (y >= 3 && y <= 6 && x >= 9 && x <= 22) c = (x == 15 || x == 16) ? body : 0xFF203040u;  // cabin
            if (y == 2 && x >= 10 && x <= 21) c = body;                          // the roof
            if (dl <= 9 || dr <= 9) c = (dl <= 1 || dr <= 1) ? 0xFFB0B0B8u : 0xFF101010u;  // wheels
            argb.push_back(c);
        }
    tools::ZktTexture t = tools::ArgbTexture(kW, kH, argb);
    t.mayCompress = 0;
    return tools::WriteZkt(path.string().c_str(), t);
}

// A soft round glow of a colour: full at the centre, gone at the rim.
Paint Glow(float r, float g, float b, float power) {
    return [=](float x, float y) {
        const float d = std::sqrt(x * x + y * y);
        return Argb(std::pow(std::fmax(0.0f, 1.0f - d), power), r, g, b);
    };
}

Paint Solid(uint32_t argb) {
    return [=](float, float) { return argb; };
}

bool WriteSharedTextures(const fs::path& textures) {
    struct Art {
        const char* name;
        int size;
        Paint paint;
    } art[] = {
        {"Halo01.ZKT", 32, Glow(1.0f, 0.35f, 0.3f, 2.0f)},  // brake lights
        {"Halo02.ZKT", 32, Glow(1.0f, 1.0f, 0.9f, 2.0f)},   // head and reversing lights
        {"Halo03.ZKT", 32, Glow(1.0f, 0.7f, 0.2f, 2.0f)},
        {"Skid.ZKT", 32, [](float x, float) { return Argb(0.7f - 0.2f * std::fabs(std::sin(x * 12.0f)), 0.08f, 0.08f, 0.08f); }},
        {"Bubble.ZKT", 32, [](float x, float y) {
             const float d = std::sqrt(x * x + y * y);
             return Argb(d > 1.0f ? 0.0f : 0.25f + 0.6f * d * d, 0.7f, 0.85f, 1.0f);
         }},
        {"BulletHole.ZKT", 32, [](float x, float y) {
             const float d = std::sqrt(x * x + y * y);
             return d < 0.35f ? Argb(1.0f, 0.02f, 0.02f, 0.02f) : Argb(std::fmax(0.0f, 0.8f - d), 0.25f, 0.22f, 0.2f);
         }},
        {"Smoke.ZKT", 64, Glow(0.55f, 0.55f, 0.55f, 1.5f)},
        {"Fire.ZKT", 64, [](float x, float y) {
             const float d = std::sqrt(x * x + y * y), heat = std::fmax(0.0f, 1.0f - d);
             return Argb(heat, 1.0f, 0.3f + 0.7f * heat, 0.1f * heat);
         }},
        {"Spark.ZKT", 16, Glow(1.0f, 0.95f, 0.6f, 3.0f)},
        {"Blood.ZKT", 32, Glow(0.55f, 0.02f, 0.02f, 0.8f)},
        {"BloodSplat.ZKT", 64, [](float x, float y) {
             const float d = std::sqrt(x * x + y * y), a = std::atan2(y, x);
             const float rim = 0.6f + 0.25f * std::sin(a * 7.0f) * std::cos(a * 3.0f);
             return Argb(d < rim ? 0.85f : 0.0f, 0.45f, 0.02f, 0.02f);
         }},
        {"GunFire.ZKT", 32, [](float x, float y) {
             const float d = std::sqrt(x * x + y * y), a = std::atan2(y, x);
             const float star = std::fmax(0.0f, 1.0f - d / (0.4f + 0.6f * std::fabs(std::cos(a * 3.0f))));
             return Argb(star, 1.0f, 0.85f, 0.4f);
         }},
        {"vlare0.ZKT", 64, Glow(1.0f, 1.0f, 0.95f, 1.5f)},
        {"vlare1.ZKT", 32, Glow(0.6f, 0.8f, 1.0f, 1.0f)},
        {"vlare2.ZKT", 32, [](float x, float y) {
             const float d = std::sqrt(x * x + y * y);
             return Argb(std::fabs(d - 0.8f) < 0.1f ? 0.8f : 0.0f, 1.0f, 0.8f, 0.5f);
         }},
        {"vlare3.ZKT", 16, Glow(0.7f, 1.0f, 0.7f, 1.0f)},
        {"vlare4.ZKT", 32, Glow(1.0f, 0.6f, 0.4f, 1.2f)},
        {"Wheel.ZKT", 16, [](float x, float y) { return std::sqrt(x * x + y * y) < 0.5f ? 0xFFB0B0B8u : 0xFF181818u; }},
        {"Shadow.ZKT", 8, Solid(0xFF202020u)},
        {"Chick.ZKT", 8, Solid(0xFFE0A080u)},
        // The guns: blued steel with a sheen along the middle, a tracer's streak, brass.
        {"Gunmetal.ZKT", 16, [](float, float y) { const float s = 0.2f * (1.0f - std::fabs(y)); return Argb(1, 0.22f + s, 0.24f + s, 0.28f + s); }},
        {"Tracer.ZKT", 8, [](float x, float) { return Argb(1, 1.0f, 0.95f, 0.5f + 0.4f * (1.0f - std::fabs(x))); }},
        {"Brass.ZKT", 8, [](float, float y) { return Argb(1, 0.8f + 0.15f * (1.0f - std::fabs(y)), 0.62f, 0.22f); }},
        // The flamer's icon: a flame rising from a nozzle.
        {"Hud_Flamer.ZKT", 32, [](float x, float y) {
             if (y > 0.55f && std::fabs(x) < 0.25f) return Argb(1, 0.45f, 0.45f, 0.5f);
             const float w = 0.55f * (1.0f - (y + 1.0f) * 0.5f) + 0.1f, h = (y + 1.0f) * 0.5f;
             if (std::fabs(x + 0.1f * std::sin(y * 6.0f)) < w && y < 0.55f) return Argb(1, 1.0f, 0.3f + 0.6f * h, 0.05f);
             return Argb(0, 0, 0, 0);
         }},
        // The chain gun's icon: six barrels seen from the muzzle.
        {"Hud_ChainGun.ZKT", 32, [](float x, float y) {
             if (x * x + y * y > 0.81f) return Argb(0, 0, 0, 0);
             for (int i = 0; i < 6; ++i) {
                 const float bx = x - 0.5f * std::cos(float(i) * 1.0471976f), by = y - 0.5f * std::sin(float(i) * 1.0471976f);
                 if (bx * bx + by * by < 0.03f) return Argb(1, 0.05f, 0.05f, 0.05f);
             }
             return Argb(1, 0.55f, 0.58f, 0.62f);
         }},
        // The specials' icons: a flame behind an arrow, a cannon ball, a blue and red light bar,
        // a spring, a grey rock and an hourglass.
        {"Hud_Boost.ZKT", 32, [](float x, float y) {
             if (std::fabs(y) < 0.2f && x > -0.6f && x < 0.3f) return Argb(1, 1.0f, 0.55f, 0.1f);
             if (x >= 0.3f && std::fabs(y) < 0.6f - (x - 0.3f) * 1.5f) return Argb(1, 1.0f, 0.85f, 0.2f);
             return Argb(0, 0, 0, 0);
         }},
        {"Hud_Cannon.ZKT", 32, [](float x, float y) {
             const float d = std::sqrt(x * x + y * y);
             if (d > 0.7f) return Argb(0, 0, 0, 0);
             const float shine = std::fmax(0.0f, 1.0f - std::sqrt((x + 0.3f) * (x + 0.3f) + (y + 0.3f) * (y + 0.3f)) * 2.5f);
             return Argb(1, 0.15f + 0.6f * shine, 0.15f + 0.6f * shine, 0.18f + 0.6f * shine);
         }},
        {"Hud_Cop.ZKT", 32, [](float x, float y) {
             if (std::fabs(y) > 0.3f || std::fabs(x) > 0.9f) return Argb(0, 0, 0, 0);
             if (std::fabs(x) < 0.08f) return Argb(1, 0.2f, 0.2f, 0.2f);
             return x < 0.0f ? Argb(1, 0.15f, 0.3f, 1.0f) : Argb(1, 1.0f, 0.15f, 0.1f);
         }},
        {"Hud_Jump.ZKT", 32, [](float x, float y) {
             const float wave = std::fabs(x - 0.35f * std::sin(y * 9.0f));
             if (std::fabs(y) < 0.75f && wave < 0.12f) return Argb(1, 0.75f, 0.8f, 0.85f);
             if (std::fabs(std::fabs(y) - 0.8f) < 0.08f && std::fabs(x) < 0.5f) return Argb(1, 0.4f, 0.45f, 0.5f);
             return Argb(0, 0, 0, 0);
         }},
        {"Hud_Rock.ZKT", 32, [](float x, float y) {
             const float a = std::atan2(y, x), rim = 0.7f + 0.12f * std::sin(a * 5.0f) * std::cos(a * 2.0f);
             if (std::sqrt(x * x + y * y) > rim) return Argb(0, 0, 0, 0);
             const float grain = 0.08f * std::sin(x * 23.0f) * std::sin(y * 19.0f);
             return Argb(1, 0.45f + grain, 0.42f + grain, 0.4f + grain);
         }},
        {"Hud_Slow.ZKT", 32, [](float x, float y) {
             if (std::fabs(std::fabs(y) - 0.8f) < 0.08f && std::fabs(x) < 0.6f) return Argb(1, 0.55f, 0.4f, 0.2f);
             if (std::fabs(y) < 0.75f && std::fabs(x) < 0.6f * std::fabs(y) + 0.06f)
                 return y > 0.0f ? Argb(1, 0.95f, 0.85f, 0.55f) : Argb(1, 0.8f, 0.9f, 1.0f);
             return Argb(0, 0, 0, 0);
         }},
    };
    for (const Art& a : art)
        if (!WriteArt(textures / a.name, a.size, a.paint)) return false;
    return true;
}

struct DemoCar {
    const char* name;
    const char* display;
    uint32_t bodyColour;
    Vector3 halfBody;
    float wheelRadius;
    CarHandling handling;
    int doorFrames = 0;
    bool rider = false;
    bool shadow = false;
};

// The lock fades with the square of the speed: the drive model takes (speed / (2 x reference))
// to the exponent over 50000 off it, so a reference speed of 1.2 leaves about half the lock at
// 370 units a second (133 km/h) and the minimum share from 450 up. A lock that stayed whole at
// top speed threw the cars across the street in a fast turn, over the kerb and far onto their
// side.
CarHandling Handling(float speed, float force, float shift, float steer, float brake, int32_t gears, float mass) {
    CarHandling h;
    h.forwardSpeedFactor = speed;
    h.engineForce = force;
    h.weightShiftFactor = shift;
    h.forwardSteeringLock = steer;
    h.reverseSteeringLock = steer * 0.8f;
    h.steeringReferenceSpeed = 1.2f;
    h.brakeStrength = brake;
    h.handbrakeStrength = brake * 0.7f;
    h.gearCount = gears;
    h.steeringSpeedScale = 1.0f;
    h.reverseSpeedFactor = 0.4f;
    h.steeringExponent = 2.0f;
    h.spareA = 2.5f;
    h.minimumSteeringFactor = 0.3f;
    h.massValue = mass;
    h.spareB = 0.0f;
    return h;
}

// The ten camera set-ups, fitted to the car's body (its model stands on the body's bottom at
// y = 0, the body 2 h.y high and the cabin as high again on top, 2 h.z long): chases near and
// far, a bumper and a roof view looking ahead, side, front and high views, a view ahead along
// the car's flank, a low orbit and a slow far chase. Every camera stands outside the
// body and above the road. An unattached record is turned in the car's heading frame, whose +z
// is the car's forward, and its camera stands `distance` along the record's own +z: a camera
// behind the car needs the record turned half a turn about y. An attached record turns with the
// car's own frame, whose +z points backward, so an unturned attached camera looks ahead.
std::vector<CarCamera> Cameras(const Vector3& h) {
    auto cam = [](Vector3 pivot, Quaternion rotation, float distance, float lerp, bool viewCar, bool attached) {
        CarCamera c;
        c.position = pivot;
        c.rotation = rotation;
        c.distance = distance;
        c.lerp = lerp;
        c.viewCar = viewCar;
        c.attached = attached;
        return c;
    };
    // Pitched `down` about the camera's side axis (positive: from above, looking down), then
    // turned about the vertical by `yaw` from the front (Pi: from behind; -Pi/2: from the left).
    auto from = [](float yaw, float down) {
        Quaternion q(Vector3(1, 0, 0), -down);
        q.RotateY(yaw);
        return q;
    };
    const float roof = 4.0f * h.y, length = 2.0f * h.z;
    return {cam({0, roof, 0}, from(Pi, 0.22f), 2.4f * length, 1.0f, true, false),
            cam({0, roof + 4.0f, 0}, from(Pi, 0.3f), 4.2f * length, 0.8f, true, false),
            cam({0, 2.0f * h.y + 1.0f, -h.z - 1.5f}, Quaternion(), 0.0f, 4.0f, false, true),
            cam({0, roof + 2.0f, -h.z * 0.35f}, from(0.0f, 0.08f), 0.0f, 4.0f, true, true),
            cam({0, 2.0f * h.y, 0}, from(-HalfPi, 0.15f), 2.4f * length, 1.0f, true, false),
            cam({0, 2.0f * h.y, 0}, from(0.0f, 0.15f), 2.4f * length, 1.0f, true, false),
            cam({0, 2.0f * h.y, 0}, from(Pi, 1.2f), 4.0f * length, 0.6f, true, false),
            cam({h.x + 6.0f, 2.0f * h.y + 1.0f, 0}, from(0.0f, 0.1f), 0.0f, 3.0f, true, true),
            cam({0, 2.0f * h.y, 0}, from(Pi, 0.12f), 1.8f * length, 2.0f, true, false),
            cam({0, roof + 8.0f, 0}, from(Pi, 0.3f), 5.0f * length, 0.5f, true, false)};
}

// A sound of `seconds`: a tone gliding from f0 to f1 Hz, with a little noise for engines.
bool WriteTone(const fs::path& path, float seconds, float f0, float f1, float noise) {
    const int rate = 22050, n = int(seconds * float(rate));
    std::vector<int16_t> samples(static_cast<size_t>(n));
    float phase = 0.0f;
    uint32_t seed = 12345;
    for (int i = 0; i < n; ++i) {
        const float t = float(i) / float(n);
        phase += TwoPi * (f0 + (f1 - f0) * t) / float(rate);
        seed = seed * 1103515245u + 12345u;
        const float hiss = (float((seed >> 16) & 0x7FFF) / 16384.0f - 1.0f) * noise;
        const float envelope = std::fmin(1.0f, std::fmin(t * 20.0f, (1.0f - t) * 20.0f));
        samples[size_t(i)] = int16_t((0.5f * std::sin(phase) + hiss) * envelope * 20000.0f);
    }
    return tools::WriteWav(path.string(), 1, uint32_t(rate), samples);
}

// The body texture in the quarters the chassis model lays out (x, y in [-1, 1], the top row at
// y = -1): the sides, the front, the back and the cabin's windows, each a square of its own.
uint32_t BodyArt(uint32_t body, float x, float y) {
    const bool right = x >= 0.0f, lower = y >= 0.0f;
    // Position within the quarter, 0..1 from its top left.
    const float s = right ? x : x + 1.0f, t = lower ? y : y + 1.0f;
    const uint32_t dark = 0xFF1C1C20u, trim = 0xFF505058u, shade = body & 0xFF9F9F9Fu;
    const float r = std::fmax(std::fabs(s - 0.5f), std::fabs(t - 0.5f));
    if (!right && !lower) {
        // Sides: a darker line along the waist, the sill dark.
        if (t > 0.88f) return trim;
        return std::fabs(t - 0.45f) < 0.05f ? shade : body;
    }
    if (right && !lower) {
        // Front: two head lights high at the corners, a grille between them, a bumper.
        if (t > 0.8f) return trim;
        const float lx = std::fabs(s - 0.5f);
        if (t > 0.2f && t < 0.5f && lx > 0.28f && lx < 0.45f) return 0xFFFFF6D0u;
        if (t > 0.25f && t < 0.55f && lx < 0.22f) return ((int(s * 40.0f) & 1) ? dark : trim);
        return body;
    }
    if (!right && lower) {
        // Back: red tail lights at the corners, the number plate, a bumper.
        if (t > 0.8f) return trim;
        const float lx = std::fabs(s - 0.5f);
        if (t > 0.2f && t < 0.45f && lx > 0.3f && lx < 0.45f) return 0xFFD01818u;
        if (t > 0.5f && t < 0.65f && lx < 0.12f) return 0xFFE8E8E0u;
        return body;
    }
    // Windows: dark glass with a lighter sky reflection at the top, in a frame of body colour.
    if (r > 0.4f) return body;
    const float sky = std::fmax(0.0f, 0.4f - t) * 120.0f;
    const uint32_t g = uint32_t(std::fmin(255.0f, 52.0f + sky)), b = uint32_t(std::fmin(255.0f, 68.0f + sky));
    return 0xFF000000u | uint32_t(36.0f + sky) << 16 | g << 8 | b;
}

// A model shown under the scene's lights.
bool WriteLit(const fs::path& path, tools::ZkmModel model) {
    tools::ModulateByLight(model);
    return tools::WriteZkm(path.string().c_str(), model);
}

bool WriteCar(const fs::path& vehicles, const fs::path& textures, const DemoCar& car) {
    const fs::path folder = vehicles / car.name;
    fs::create_directories(folder);
    const std::string bodyTexture = std::string(car.name) + ".ZKT";
    if (!WriteArt(textures / bodyTexture, 128, [&](float x, float y) { return BodyArt(car.bodyColour, x, y); })) return false;

    const Vector3& h = car.halfBody;
    const float track = h.x - car.wheelRadius * 0.3f, axle = h.z * 0.65f, height = car.wheelRadius * 0.4f;
    tools::VqcCar file;
    file.displayName = car.display;
    file.handling = car.handling;
    file.doorPoint1 = Vector3(h.x + 4.0f, 0.0f, 0.0f);
    file.frontWheels = {tools::WheelPair(track, height, -axle)};
    file.backWheels = {tools::WheelPair(track, height, axle)};
    file.halos[0] = {{{h.x * 0.7f, h.y * 1.2f, -h.z - 0.2f}, {0, 0, 0}}, {{-h.x * 0.7f, h.y * 1.2f, -h.z - 0.2f}, {0, 0, 0}}};
    file.halos[1] = {{{h.x * 0.7f, h.y * 1.3f, h.z + 0.2f}, {0, 0, 0}}, {{-h.x * 0.7f, h.y * 1.3f, h.z + 0.2f}, {0, 0, 0}}};
    file.halos[2] = {{{h.x * 0.4f, h.y * 1.0f, h.z + 0.2f}, {0, 0, 0}}};
    if (!tools::WriteVqc((vehicles / (std::string(car.name) + ".VQC")).string().c_str(), file)) return false;

    for (int stage = 0; stage < 3; ++stage) {
        const fs::path path = folder / ("Chassis" + std::to_string(stage) + ".ZKM");
        if (!WriteLit(path, tools::CarChassisModel(bodyTexture, h, float(stage) * 0.5f))) return false;
    }
    tools::ZkmModel wheel = tools::WheelModel("Wheel.ZKT", 12, car.wheelRadius, car.wheelRadius * 0.4f);
    tools::ModulateByLight(wheel);
    if (!tools::WriteZkm((folder / "FrontWheel.ZKM").string().c_str(), wheel) ||
        !tools::WriteZkm((folder / "BackWheel.ZKM").string().c_str(), wheel))
        return false;
    for (int d = 0; d < car.doorFrames; ++d) {
        const float angle = float(d) / float(car.doorFrames - 1) * 1.2f;
        const tools::ZkmModel door = tools::CarDoorModel(bodyTexture, Vector3(h.x, 1.0f, -h.z * 0.1f), h.z * 0.5f, h.y * 2.5f, angle);
        if (!WriteLit(folder / ("Door" + std::to_string(d) + ".ZKM"), door)) return false;
    }
    if (car.rider && !WriteLit(folder / "Chick.ZKM", tools::FigureModel("Chick.ZKT"))) return false;
    if (car.shadow && !tools::WriteZkm((folder / "Shadow.ZKM").string().c_str(), tools::CarShadowModel(h))) return false;

    // The lobby's picture of the car, one player row high: the car from the side in its colour.
    if (!WriteMenuImage(folder / "MPImage.ZKT", car.bodyColour)) return false;
    const std::vector<CarCamera> cameras = Cameras(car.halfBody);
    for (size_t n = 0; n < cameras.size(); ++n)
        if (!tools::WriteCam((folder / (std::to_string(n) + ".CAM")).string().c_str(), cameras[n])) return false;

    return WriteTone(folder / "Engine.wav", 1.0f, 70.0f, 70.0f, 0.2f) &&
           WriteTone(folder / "Slip.wav", 0.8f, 900.0f, 700.0f, 0.5f) &&
           WriteTone(folder / "Gear.wav", 0.15f, 300.0f, 200.0f, 0.1f) &&
           WriteTone(folder / "Door.wav", 0.25f, 180.0f, 90.0f, 0.3f) &&
           WriteTone(folder / "Horn.wav", 0.6f, 420.0f, 420.0f, 0.0f);
}

}  // namespace

DEMO_STEP("cars") {
    const fs::path vehicles = root / "Vehicles", textures = root / "Textures";
    fs::create_directories(vehicles);
    fs::create_directories(textures);
    if (!WriteSharedTextures(textures)) return false;
    // The taxi: the player's cab.
    DemoCar cab{"CabMetro", "Metro Cab", 0xFFF0C020u, {9.0f, 3.5f, 22.0f}, 3.5f,
                Handling(1.0f, 4000.0f, 0.5f, 0.6f, 3000.0f, 4, 1000.0f)};
    cab.doorFrames = 5;
    cab.rider = true;
    // The traffic's police car and opponent: faster and livelier.
    DemoCar police{"PoliceCruiser", "Police Cruiser", 0xFF2040C0u, {9.0f, 3.5f, 23.0f}, 3.5f,
                   Handling(1.25f, 5200.0f, 0.6f, 0.7f, 3400.0f, 4, 1100.0f)};
    // Protected, and the handling the AI drivers copy: heavier and slower.
    DemoCar ambulance{"AmbulanceVan", "Ambulance", 0xFFF4F4F4u, {10.0f, 5.5f, 26.0f}, 4.0f,
                      Handling(0.85f, 4500.0f, 0.4f, 0.5f, 2800.0f, 4, 1600.0f)};
    ambulance.shadow = true;
    // Light, five gears, its own boost.
    DemoCar racer{"RacerZZ", "Racer ZZ", 0xFFD02020u, {8.5f, 2.8f, 21.0f}, 3.2f,
                  Handling(1.4f, 5000.0f, 0.7f, 0.75f, 3600.0f, 5, 750.0f)};
    for (const DemoCar* car : {&cab, &police, &ambulance, &racer})
        if (!WriteCar(vehicles, textures, *car)) return false;
    // The city's traffic: a saloon and a taller, longer van, each with a dented second chassis
    // and a flattened wreck.
    struct TrafficKind {
        const char* name;
        uint32_t colour;
        Vector3 halfBody;
        float wheelRadius;
    } const kinds[] = {{"Sedan", 0xFF3A7A48u, {8.0f, 3.2f, 20.0f}, 3.2f}, {"Van", 0xFF8A6A40u, {9.5f, 5.5f, 25.0f}, 3.8f}};
    for (const TrafficKind& k : kinds) {
        tools::TrafficCarFolder folder;
        folder.name = k.name;
        folder.halfBody = k.halfBody;
        folder.wheelRadius = k.wheelRadius;
        folder.texture = std::string(k.name) + ".ZKT";
        if (!WriteArt(textures / folder.texture, 128, [&](float x, float y) { return BodyArt(k.colour, x, y); })) return false;
        if (!tools::WriteTrafficCar(root.string(), folder)) return false;
    }
    return true;
}
