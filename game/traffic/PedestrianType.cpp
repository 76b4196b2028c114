#include "game/traffic/PedestrianType.h"

#include "engine/core/Debugger.h"
#include "engine/core/FileStream.h"
#include "engine/render/BoneAnimation.h"
#include "engine/render/D3D8Mesh.h"
#include "engine/render/MeshFactory.h"

namespace {

bool Starts(const SharedString& name, const char* prefix) { return name.StartsWith(SharedString(prefix)); }

std::unique_ptr<BoneAnimation> Animation(const SharedString& type, const char* file) {
    return std::make_unique<BoneAnimation>(SharedString::Format("Pedestrians\\%s\\%s", type.c_str(), file));
}

std::unique_ptr<BoneAnimation> AnimationIfThere(const SharedString& type, const char* file) {
    SharedString path = SharedString::Format("Pedestrians\\%s\\%s", type.c_str(), file);
    return FileExists(path) ? std::make_unique<BoneAnimation>(path) : nullptr;
}

const char* const kVoiceNames[PedestrianType::VoiceCount] = {"Pickup", "DropFine", "DropBad", "Getoff",
                                                             "LotTime", "LitTime", "Run", "Jump"};

}  // namespace

uint8_t PedestrianType::FlagsFor(const SharedString& name) {
    uint8_t f = 0;
    if (Starts(name, "PED08")) f |= kKeptOut;
    if (Starts(name, "MOB")) f |= kMob | kMobKeptOut;
    for (const char* show : {"PED13", "PED14", "PED15", "PED16", "PED17"})
        if (Starts(name, show)) f |= kShow;
    if (Starts(name, "PED05") || Starts(name, "PED06")) f |= kGunman;
    if (Starts(name, "TONY")) f |= kNamed | kTony;
    if (Starts(name, "HERMES")) f |= kNamed | kHermes;
    return f;
}

PedestrianType::PedestrianType(const SharedString& fileName, const EngineServices& engine) {
    name = SharedString::Format("%.*s", fileName.Length() >= 4 ? int(fileName.Length() - 4) : 0, fileName.c_str());
    flags = FlagsFor(name);
    const char* n = name.c_str();

    body = MeshFactory::Instance().GetByName(SharedString::Format("Pedestrians\\%s\\Body.ZKM", n), true);
    walk = Animation(name, "Walk.ZKA");
    run = Animation(name, "Run.ZKA");
    jump = Animation(name, "Jump.ZKA");
    for (const SharedString& wave : ListFiles(SharedString::Format("Pedestrians\\%s\\Wave*.ZKA", n), true))
        waves.push_back(Animation(name, wave.c_str()));
    getInFirst = Animation(name, "get_in.ZKA");
    getIn = Animation(name, "get_in.ZKA");
    getOut = Animation(name, "get_out.ZKA");
    getIn2 = AnimationIfThere(name, "get_in2.ZKA");
    getIn3 = AnimationIfThere(name, "get_in3.ZKA");
    if (flags & kGunman) {
        fire = Animation(name, "Fire.ZKA");
        grab = Animation(name, "Grab.ZKA");
    }
    if (flags & kMob) {
        fire = Animation(name, "Fire.ZKA");
        throwing = Animation(name, "Throw.ZKA");
    }
    if (flags & kShow) {
        show1 = Animation(name, "Show1.ZKA");
        show2 = Animation(name, "Show2.ZKA");
    }
    idle = AnimationIfThere(name, "Idle.ZKA");

    const char* language = engine.language ? engine.language->Name().c_str() : "English";
    for (int v = 0; v < VoiceCount; ++v)
        voices[size_t(v)] =
            ListFiles(SharedString::Format("Pedestrians\\%s\\%s\\%s*.wav", n, language, kVoiceNames[v]), true);

    for (const SharedString& f : ListFiles(SharedString::Format("Audio\\%s\\Blood*.WAV", n), true))
        bloodSounds.push_back(SharedString::Format("Audio\\%s\\%s", n, f.c_str()));
    for (const SharedString& f : ListFiles(SharedString::Format("Audio\\%s\\HitPed*.WAV", n), true))
        hitSounds.push_back(SharedString::Format("Audio\\%s\\%s", n, f.c_str()));

    if (body) {
        // A boned body drawn on a device keeps no bounds of its own (only the unboned meshes
        // do): its collision points give them, else the pedestrian would be a box of no size
        // that no car can hit.
        BoundingBox bounds = body->Bounds();
        const std::vector<Vector3>& points = body->Positions();
        if (!(bounds.halfExtents.LengthSquared() > 0.0f) && !points.empty())
            bounds = BoundingBox::FromPoints(points.data(), 0, int32_t(points.size()));
        footOffset = bounds.centre;
        size = bounds.halfExtents * 2.0f;
    }
}

PedestrianType::~PedestrianType() { delete body; }

float PedestrianType::SpeedLength(const BoneAnimation* animation) const {
    float length = animation ? animation->GetLength() : 0.0f;
    if (length > 0.0f) return length;
    if (!reportedLength_) {
        reportedLength_ = true;
        Debugger::Instance().Message("PEDESTRIANS: %s has an empty or missing animation; it moves as if it lasted 1 s",
                                     name.c_str());
    }
    return 1.0f;
}

std::vector<std::unique_ptr<PedestrianType>> LoadPedestrianTypes(const EngineServices& engine) {
    std::vector<std::unique_ptr<PedestrianType>> types;
    for (const SharedString& file : ListFiles(SharedString("Pedestrians\\*.VQP"), true))
        types.push_back(std::make_unique<PedestrianType>(file, engine));
    return types;
}
