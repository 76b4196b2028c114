#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/demo/DemoTree.h"
#include "tools/writers/AudioWriter.h"
#include "tools/writers/MeshShapes.h"
#include "tools/writers/MeshWriter.h"
#include "tools/writers/ZktWriter.h"

// The city's people: two kinds, PED01 in a red coat and PED02 in a green one. Each is the boned
// figure grown to a person's height beside the cars (18 units), hanging 10 units below its
// origin, where the crowd holds its pedestrians above the pavement; its walk, run, jump, idle,
// wave and the two cab animations; its eight voice sets and its blood and hit sounds.
namespace {

constexpr float Pi = 3.14159265f;
constexpr int kRate = 22050;

// The figure's bones in its own order, and the joints the animations turn about (figure units).
enum Bone { Hip, Torso, Head, ArmL, ArmR, BoneCount };
const char* const kBones[BoneCount] = {"Hip", "Torso", "Head", "ArmL", "ArmR"};
const Vector3 kShoulderL{-0.5f, 2.05f, 0.0f}, kShoulderR{0.5f, 2.05f, 0.0f}, kWaist{0.0f, 1.15f, 0.0f};

tools::ZkmModel Body(const std::string& texture) {
    tools::ZkmModel m = tools::PersonModel(texture);
    tools::ModulateByLight(m);
    return m;
}

// A turn about a joint of the grown figure.
Matrix4 About(const Vector3& joint, const Matrix4& turn) {
    const Vector3 p = tools::PersonPoint(joint);
    Matrix4 m = Matrix4::Translation(-p.x, -p.y, -p.z) * turn;
    m.Translate(p.x, p.y, p.z);
    return m;
}

// keys keys over `seconds`; pose(phase 0..1) gives each bone's matrix.
template <class Pose>
tools::ZkaAnimation Animation(int keys, float seconds, Pose pose) {
    tools::ZkaAnimation a;
    a.bones.assign(std::begin(kBones), std::end(kBones));
    for (int k = 0; k < keys; ++k) {
        tools::ZkaKey key;
        key.duration = seconds / float(keys);
        key.matrices.assign(BoneCount, Matrix4());
        pose(float(k) / float(keys), key.matrices);
        a.keys.push_back(key);
    }
    return a;
}

// Arms swinging against each other, `swing` radians either way, the body leaning forward.
tools::ZkaAnimation Stride(int keys, float seconds, float swing, float lean) {
    return Animation(keys, seconds, [=](float t, std::vector<Matrix4>& m) {
        const float a = swing * std::sin(2.0f * Pi * t);
        m[Torso] = About(kWaist, Matrix4::RotationX(-lean));
        m[ArmL] = About(kShoulderL, Matrix4::RotationX(a));
        m[ArmR] = About(kShoulderR, Matrix4::RotationX(-a));
    });
}

// Up in an arc and down, arms flung out.
tools::ZkaAnimation Leap(float seconds) {
    return Animation(6, seconds, [](float t, std::vector<Matrix4>& m) {
        const float up = std::sin(Pi * t);
        m[Hip] = Matrix4::Translation(0.0f, 6.0f * up, 0.0f);
        m[ArmL] = About(kShoulderL, Matrix4::RotationZ(-1.2f * up));
        m[ArmR] = About(kShoulderR, Matrix4::RotationZ(1.2f * up));
    });
}

// Bending at the waist into a cab and straightening again (or the other way).
tools::ZkaAnimation Bend(bool in) {
    return Animation(6, 1.2f, [in](float t, std::vector<Matrix4>& m) {
        const float bend = 0.9f * (in ? t : 1.0f - t);
        m[Torso] = About(kWaist, Matrix4::RotationX(-bend));
    });
}

// Standing, breathing: the head and arms sway a little.
tools::ZkaAnimation Rest() {
    return Animation(8, 3.0f, [](float t, std::vector<Matrix4>& m) {
        const float s = std::sin(2.0f * Pi * t);
        m[Torso] = About(kWaist, Matrix4::RotationZ(0.03f * s));
        m[ArmL] = About(kShoulderL, Matrix4::RotationZ(-0.08f * (1.0f + s)));
        m[ArmR] = About(kShoulderR, Matrix4::RotationZ(0.08f * (1.0f + s)));
    });
}

// The right arm raised and waving above the head, for a cab.
tools::ZkaAnimation Hail() {
    return Animation(8, 1.6f, [](float t, std::vector<Matrix4>& m) {
        m[ArmR] = About(kShoulderR, Matrix4::RotationZ(2.6f + 0.4f * std::sin(4.0f * Pi * t)));
    });
}

// A voice: a short rising or falling syllable of its own pitch.
std::vector<int16_t> Voice(double seconds, double fromHz, double toHz) {
    const size_t n = size_t(seconds * kRate);
    std::vector<int16_t> s(n);
    double phase = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double t = double(i) / double(n);
        phase += 2.0 * 3.141592653589793 * (fromHz + (toHz - fromHz) * t) / kRate;
        const double envelope = std::min(1.0, 30.0 * t) * (1.0 - t);
        // A buzzy voice: the tone and its second and third harmonics.
        s[i] = int16_t(7000.0 * envelope * (std::sin(phase) + 0.5 * std::sin(2 * phase) + 0.25 * std::sin(3 * phase)));
    }
    return s;
}

// A wet thud: low noise falling away.
std::vector<int16_t> Thud(double seconds, uint32_t seed, double darkness) {
    const size_t n = size_t(seconds * kRate);
    std::vector<int16_t> s(n);
    uint32_t x = seed * 2654435761u + 7u;
    double low = 0.0;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1664525u + 1013904223u;
        const double white = double(int32_t(x >> 16) - 32768) / 32768.0;
        low += darkness * (white - low);
        const double t = double(i) / double(n);
        s[i] = int16_t(20000.0 * (1.0 - t) * (1.0 - t) * (1.0 - t) * low * 3.0);
    }
    return s;
}

struct Kind {
    const char* name;
    const char* texture;
    uint32_t coat, trim;  // 0xRRGGBB
    double pitch;         // Hz of the voice
};

uint32_t Argb(uint32_t rgb) { return 0xFF000000u | rgb; }

}  // namespace

DEMO_STEP("pedestrians") {
    const std::filesystem::path folder = root / "Pedestrians", textures = root / "Textures", audio = root / "Audio";
    std::error_code ec;
    std::filesystem::create_directories(textures, ec);
    if (ec) return false;
    const Kind kinds[] = {{"PED01", "Ped01.ZKT", 0xB02828, 0xE8C8A0, 180.0}, {"PED02", "Ped02.ZKT", 0x2E7A36, 0xD8B088, 120.0}};
    const char* const voices[] = {"Pickup", "DropFine", "DropBad", "Getoff", "LotTime", "LitTime", "Run", "Jump"};
    uint32_t seed = 1;
    for (const Kind& kind : kinds) {
        const std::filesystem::path own = folder / kind.name;
        std::filesystem::create_directories(own / "English", ec);
        std::filesystem::create_directories(audio / kind.name, ec);
        if (ec) return false;
        // The kind's marker file is never read: an empty file names the kind.
        if (!std::ofstream(folder / (std::string(kind.name) + ".VQP"), std::ios::binary | std::ios::trunc)) return false;
        if (!tools::WriteZkm((own / "Body.ZKM").string().c_str(), Body(kind.texture))) return false;
        // A coat with a lighter collar band and buttons down the front.
        std::vector<uint32_t> argb;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) argb.push_back(Argb(y < 6 || (x == 16 && y % 6 == 0) ? kind.trim : kind.coat));
        tools::ZktTexture texture = tools::ArgbTexture(32, 32, argb);
        texture.mayCompress = 0;
        if (!tools::WriteZkt((textures / kind.texture).string().c_str(), texture)) return false;

        const struct {
            const char* file;
            tools::ZkaAnimation animation;
        } animations[] = {
            {"Walk.ZKA", Stride(8, 2.5f, 0.5f, 0.05f)},  // 20 units a second
            {"Run.ZKA", Stride(8, 1.25f, 1.1f, 0.25f)},  // 40
            {"Jump.ZKA", Leap(0.6f)},
            {"get_in.ZKA", Bend(true)},
            {"get_out.ZKA", Bend(false)},
            {"Idle.ZKA", Rest()},
            {"Wave1.ZKA", Hail()},
        };
        for (const auto& a : animations)
            if (!tools::WriteZka((own / a.file).string().c_str(), a.animation)) return false;

        for (size_t v = 0; v < std::size(voices); ++v) {
            const double from = kind.pitch * (1.0 + 0.1 * double(v % 3)), to = from * (v % 2 ? 0.7 : 1.3);
            const std::string file = std::string(voices[v]) + "1.wav";
            if (!tools::WriteWav((own / "English" / file).string(), 1, kRate, Voice(0.35, from, to))) return false;
        }
        if (!tools::WriteWav((audio / kind.name / "Blood1.WAV").string(), 1, kRate, Thud(0.4, seed++, 0.08)) ||
            !tools::WriteWav((audio / kind.name / "HitPed1.WAV").string(), 1, kRate, Thud(0.3, seed++, 0.3)))
            return false;
    }
    return true;
}
