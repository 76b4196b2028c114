#pragma once
// The score table of a network game and the messages of the game-mode channel (117) that carry
// its events. Every frame of the channel is: the channel id, three unused bytes, the u32 type at
// offset 4, then little-endian words. The decoder takes the payload as a channel receives it
// (without the id byte), checks the exact size of each type and refuses anything else, so a
// receiver acts only on a message that decoded whole.
#include <cstdint>
#include <vector>

#include "engine/core/SharedString.h"
#include "game/play/MultiplayerScore.h"

class Vehicle;

namespace modemsg {

constexpr uint8_t kChannel = 117;

enum Type : uint32_t {
    kReached = 0,          // 16 bytes client -> host {player, number}; 12 bytes host -> all {number}
    kQuickMessage = 69,    // 20 bytes {player, unused, text id}
    kFareSpawn = 0x37,     // 48 bytes {type, state, node, position, rotation}
    kFareMoved = 0x58,     // 40 bytes {node, position, rotation}
    kMoney = 0x4d,         // 16 bytes {player, money}
    kRanOverFare = 99,     // 12 bytes {player}
    kKill = 0xDEAD,        // 16 bytes {killer or -1, victim}
    kTrafficWrecked = 0xDEAD2,
    kPedestrianHit = 0xDEAD3,
    kScores = 0xBABE,      // 212 bytes: 8 records of 6 words, kind, killer, victim
    kEnded = 0xFFFF,       // 8 bytes
};

constexpr int32_t kMaxRecords = 8;
constexpr size_t kScoresSize = 212;
// The quick messages the players' keys 1 to 9 send.
constexpr int32_t kFirstQuickText = 222000;
constexpr int32_t kLastQuickText = 222008;

struct ScoreRecord {
    int32_t playerId = 0, score = 0, deaths = 0, kills = 0, trafficWrecked = 0, pedestrians = 0;
};

// One decoded message; which fields hold depends on the type.
struct Message {
    uint32_t type = 0;
    int32_t player = 0;  // the sender, killer, or the player the message names
    int32_t victim = 0;
    int32_t number = 0;  // a random number, a text id, a road node or a pedestrian type
    int32_t state = 0;
    float money = 0.0f;
    float position[3] = {};
    float rotation[4] = {};
    bool hasPlayer = false;  // type 0: the client's 16-byte form
    ScoreRecord records[kMaxRecords];
    int32_t kind = 0, killer = 0, scoreVictim = 0;
};

// Whether the payload is one well-formed message of a known type; `out` is filled only then.
bool Decode(const uint8_t* payload, size_t size, Message& out);

// Writers of whole frames (channel id first) into a reused buffer.
void WriteHeader(std::vector<uint8_t>& out, uint32_t type);
void WriteKill(std::vector<uint8_t>& out, int32_t killer, int32_t victim);
void WritePlayerEvent(std::vector<uint8_t>& out, uint32_t type, int32_t player);
void WriteQuickMessage(std::vector<uint8_t>& out, int32_t player, int32_t textId);
void WriteReached(std::vector<uint8_t>& out, int32_t player, int32_t number);
void WriteNextCheckpoint(std::vector<uint8_t>& out, int32_t number);
void WriteMoney(std::vector<uint8_t>& out, int32_t player, float money);
void WriteEnded(std::vector<uint8_t>& out);

} // namespace modemsg

struct ScoreEntry {
    int32_t playerId = 0;
    Vehicle* vehicle = nullptr;
    SharedString name;
    int32_t score = 0;
    int32_t rankKey = 0;
    float money = 0.0f;
    int32_t reserved = 0;
    int32_t deaths = 0;
    int32_t kills = 0;
    int32_t trafficWrecked = 0;
    int32_t pedestrians = 0;
};

// The table itself; the mode guards it with its lock.
class Scoreboard {
public:
    std::vector<ScoreEntry> entries;

    ScoreEntry* Find(int32_t playerId);
    const ScoreEntry* Find(int32_t playerId) const;
    // Whether a ranks before b: rank key, score, kills, fewer deaths, wrecked, pedestrians.
    static bool RanksBefore(const ScoreEntry& a, const ScoreEntry& b);
    // Neighbour swaps until a pass swaps nothing: equal entries keep their order.
    void Sort();
    // A car wrecked: a death for the victim; a kill (or one less, within a team) for another
    // player. Unknown victim: nothing changes and false.
    bool ApplyKill(int32_t killer, int32_t victim, bool countsAsKill);
    // The sorted table as a 0xBABE frame (records past the players are zero).
    void WriteScores(std::vector<uint8_t>& out, int32_t kind, int32_t killer, int32_t victim) const;
    // Rebuilds the table in the message's order for the players present. A record of an
    // unknown or repeated player refuses the whole message (false, nothing changed).
    bool ApplyScores(const modemsg::Message& message);
    // The final table for the score screen.
    MultiplayerScoreTable ToTable(int32_t kind) const;
};
