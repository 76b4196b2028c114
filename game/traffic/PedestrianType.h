#pragma once
// One kind of person of the city: a folder under "Pedestrians\" holding a body mesh, its bone
// animations and voice files. The kinds are found by listing "Pedestrians\*.VQP"; each file's
// name less the extension names the kind and its folder (the .VQP files are never opened). A
// flag byte taken from the name sorts the kinds into the ordinary crowd and the special ones.
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/EngineServices.h"
#include "engine/core/Math.h"
#include "engine/core/SharedString.h"

class BoneAnimation;
class D3D8Mesh;
class Pedestrian;

class PedestrianType {
public:
    // Flag bits, each from a prefix of the name.
    enum : uint8_t {
        kKeptOut = 0x01,      // "PED08"
        kMob = 0x02,          // "MOB": the rocket throwers
        kShow = 0x04,         // "PED13" .. "PED17": Show1 and Show2
        kMobKeptOut = 0x08,   // "MOB"
        kGunman = 0x10,       // "PED05", "PED06": Fire and Grab
        kNamed = 0x20,        // "TONY", "HERMES"
        kTony = 0x40,
        kHermes = 0x80,
        kNotOrdinary = kKeptOut | kShow | kMobKeptOut | kNamed,
    };
    // The voice sets, in the order of `voices`.
    enum Voice { Pickup, DropFine, DropBad, Getoff, LotTime, LitTime, Run, Jump, VoiceCount };

    // Loads the kind of "Pedestrians\<fileName>" (fileName ends in ".VQP"). Missing files are
    // the loaders' to report: the body is then the default mesh, an animation empty.
    PedestrianType(const SharedString& fileName, const EngineServices& engine);
    ~PedestrianType();
    PedestrianType(const PedestrianType&) = delete;
    PedestrianType& operator=(const PedestrianType&) = delete;

    static uint8_t FlagsFor(const SharedString& name);
    bool IsOrdinary() const { return (flags & kNotOrdinary) == 0; }

    // The length an animation gives the speeds (50 / length): an empty or missing animation
    // counts as 1 s, reported once for the kind, so that a lost file never gives an endless
    // speed.
    float SpeedLength(const BoneAnimation* animation) const;

    SharedString name;
    D3D8Mesh* body = nullptr;  // owned
    std::unique_ptr<BoneAnimation> walk, run, jump;
    std::vector<std::unique_ptr<BoneAnimation>> waves;
    std::array<BoneAnimation*, 2> falls{};  // never filled by the loader
    std::unique_ptr<BoneAnimation> getInFirst, getIn, getOut;
    std::unique_ptr<BoneAnimation> getIn2, getIn3, idle;       // only when the file is there
    std::unique_ptr<BoneAnimation> fire, grab, throwing, show1, show2;  // by category
    std::array<std::vector<SharedString>, VoiceCount> voices;
    // "Audio\<name>\Blood*.WAV" and "Audio\<name>\HitPed*.WAV", full names.
    std::vector<SharedString> bloodSounds, hitSounds;
    Vector3 footOffset;  // centre of the body's bounds
    Vector3 size;        // twice the body's half extents
    uint8_t flags = 0;
    // Pedestrians of this kind found visible this frame (filled by the cull, emptied by every
    // cull's start, the draw and a reset).
    std::vector<Pedestrian*> drawList;
    uint32_t drawListFrame = 0xFFFFFFFFu;  // the frame whose cull filled the list

private:
    mutable bool reportedLength_ = false;
};

// Every kind of "Pedestrians\*.VQP", in sorted order (a kind's index names it to pedestrians and
// peers). An empty folder gives none.
std::vector<std::unique_ptr<PedestrianType>> LoadPedestrianTypes(const EngineServices& engine);
