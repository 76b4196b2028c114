#include "game/frontend/SettingsFile.h"

#include <cstring>

namespace {

// The collected bytes of SettingsBytes.
class ByteSink final : public BinaryOutputStream {
public:
    void Write(const void* buffer, int32_t count) override {
        if (count <= 0) return;
        const auto* bytes = static_cast<const uint8_t*>(buffer);
        data.insert(data.end(), bytes, bytes + count);
    }
    std::vector<uint8_t> data;
};

// Texts longer than the reader accepts are cut, so that what the game writes it can read back.
SharedString Storable(const SharedString& text) {
    return text.Length() > kMaxSettingsString ? SharedString(text.c_str(), kMaxSettingsString) : text;
}

void WriteFloat(BinaryOutputStream& out, float value) { out.WriteFloat(value); }

// Reads checked against the bytes left; the first failure is kept as the problem.
class Cursor {
public:
    Cursor(FileReader& in, std::string& problem) : in_(in), problem_(problem) {}

    bool Ok() const { return ok_; }
    int32_t Remaining() const { return ok_ ? in_.Remaining() : 0; }

    int32_t I32(const char* what) { return Fixed(what) ? in_.ReadI32() : 0; }
    float F32(const char* what) { return Fixed(what) ? in_.ReadFloat() : 0.0f; }
    uint8_t U8(const char* what) {
        if (!Need(1, what)) return 0;
        return in_.ReadU8();
    }
    SharedString Text(const char* what, bool inverted) {
        const int32_t length = I32(what);
        if (!ok_) return SharedString();
        if (length < 0 || length > kMaxSettingsString || length > in_.Remaining()) {
            Fail(std::string(what) + " is " + std::to_string(uint32_t(length)) + " bytes long, with " +
                 std::to_string(in_.Remaining()) + " bytes left");
            return SharedString();
        }
        SharedString text = SharedString::WithLength(length);
        if (length > 0) in_.Read(text.MutableData(), length);
        if (inverted)
            for (int32_t i = 0; i < length; ++i) text.MutableData()[i] = char(~static_cast<unsigned char>(text[i]));
        return text;
    }
    void Fail(const std::string& problem) {
        if (!ok_) return;
        ok_ = false;
        problem_ = problem;
    }

private:
    bool Fixed(const char* what) { return Need(4, what); }
    bool Need(int32_t bytes, const char* what) {
        if (!ok_) return false;
        if (in_.Remaining() < bytes) {
            Fail(std::string("the file ends in ") + what);
            return false;
        }
        return true;
    }

    FileReader& in_;
    std::string& problem_;
    bool ok_ = true;
};

} // namespace

bool IsBindableInputCode(InputCode code) {
    if (code == kInputNone) return true;
    if (code < 0) return false;
    if (code < kInputMouseButtonFirst) return true;
    // Mouse buttons 0..7, then two directions of x, y and the wheel.
    if (code < kInputJoystickFirst) return code < kInputMouseAxisFirst + 6;
    const int32_t sub = code & 0x3FF;
    return sub < kInputJoystickButtonSub + kInputJoystickButtons;
}

void WriteSettingsRecord(BinaryOutputStream& out, const SettingsRecord& r) {
    out.WriteZK2Header(kSettingsVersion);
    out.WriteString(Storable(r.path));
    out.WriteString(Storable(r.displayMode));
    out.WriteI32(r.textureLevel);
    out.WriteI32(r.carEffect);
    out.WriteI32(r.environmentMap);
    WriteFloat(out, r.viewDistance);
    out.WriteI32(r.detailLevel);
    out.WriteI32(r.staticGeometryMode);
    out.WriteI32(r.sampleRate);
    out.WriteI32(r.voiceCount);
    WriteFloat(out, r.effectsVolume);
    WriteFloat(out, r.speechVolume);
    WriteFloat(out, r.ambientVolume);
    WriteFloat(out, r.musicVolume);
    for (const auto& scheme : r.bindings)
        for (const auto& action : scheme) {
            out.WriteI32(action[0]);
            out.WriteI32(action[1]);
        }
    out.WriteI32(r.furthestEpisode);
    out.WriteI32(r.furthestMission);
    out.WriteI32(r.currentEpisode);
    out.WriteI32(r.currentMission);
    out.WriteU8(r.flag ? 1 : 0);
    out.WriteString(Storable(r.playerName));
    out.WriteString(Storable(r.sessionName));
    out.WriteI32(r.missionCount);
    out.WriteI32(r.lastPlayedMission);
    out.WriteI32(r.highestUnlockedMission);
    static const HighScoreEntry kEmpty;
    for (const HighScoreTable& table : r.scoreTables)
        for (int32_t i = 0; i < kHighScoreEntries; ++i) {
            const HighScoreEntry& e = size_t(i) < table.size() ? table[size_t(i)] : kEmpty;
            out.WriteInvertedString(Storable(e.name));
            WriteFloat(out, e.score);
            out.WriteInvertedString(Storable(e.carName));
        }
    out.WriteI32(r.carChoice);
    out.WriteI32(r.missionChoice);
}

std::vector<uint8_t> SettingsBytes(const SettingsRecord& record) {
    ByteSink sink;
    WriteSettingsRecord(sink, record);
    return std::move(sink.data);
}

SettingsParse ReadSettingsRecord(const SharedString& path, SettingsRecord& record, std::string& problem) {
    FileReader in(path);
    if (!in.IsOpen()) {
        problem = "no such file";
        return SettingsParse::Missing;
    }
    return ReadSettingsRecord(in, record, problem);
}

SettingsParse ReadSettingsRecord(FileReader& in, SettingsRecord& r, std::string& problem) {
    uint32_t version = 0;
    switch (in.CheckZK2Header(version)) {
    case 1:
        problem = "shorter than a header";
        return SettingsParse::NotSettings;
    case 2:
        problem = "no settings header";
        return SettingsParse::NotSettings;
    default:
        break;
    }
    if (version != kSettingsVersion) {
        problem = "version " + std::to_string(version);
        return SettingsParse::NotSettings;
    }

    Cursor c(in, problem);
    r.path = c.Text("the path", false);
    r.displayMode = c.Text("the display mode", false);
    r.textureLevel = c.I32("the texture level");
    r.carEffect = c.I32("the car effects");
    r.environmentMap = c.I32("the environment map");
    r.viewDistance = c.F32("the view distance");
    r.detailLevel = c.I32("the detail level");
    r.staticGeometryMode = c.I32("the static geometry mode");
    r.sampleRate = c.I32("the sample rate");
    r.voiceCount = c.I32("the voice count");
    r.effectsVolume = c.F32("the effects volume");
    r.speechVolume = c.F32("the speech volume");
    r.ambientVolume = c.F32("the ambient volume");
    r.musicVolume = c.F32("the music volume");
    for (auto& scheme : r.bindings)
        for (auto& action : scheme) {
            action[0] = c.I32("the bindings");
            action[1] = c.I32("the bindings");
        }
    r.furthestEpisode = c.I32("the career");
    r.furthestMission = c.I32("the career");
    r.currentEpisode = c.I32("the career");
    r.currentMission = c.I32("the career");
    r.flag = c.U8("the flag") != 0;
    r.playerName = c.Text("the player name", false);
    r.sessionName = c.Text("the session name", false);
    r.missionCount = c.I32("the mission count");
    r.lastPlayedMission = c.I32("the last played mission");
    r.highestUnlockedMission = c.I32("the highest unlocked mission");

    // The file keeps no count of its tables: they run up to the two values that end it.
    r.scoreTables.clear();
    constexpr int32_t kTail = 8;
    while (c.Ok() && c.Remaining() > kTail) {
        HighScoreTable table(kHighScoreEntries);
        for (HighScoreEntry& e : table) {
            e.name = c.Text("a score table", true);
            e.score = c.F32("a score table");
            e.carName = c.Text("a score table", true);
        }
        if (c.Ok()) r.scoreTables.push_back(std::move(table));
    }
    r.carChoice = c.I32("the car choice");
    r.missionChoice = c.I32("the mission choice");
    return c.Ok() ? SettingsParse::Ok : SettingsParse::Damaged;
}
