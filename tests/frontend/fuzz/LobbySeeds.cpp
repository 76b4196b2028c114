// Writes the fuzz corpus seeds of the lobby's readers through the blocks' own writers.
#include <string>

#include "game/frontend/LobbyBlocks.h"
#include "tests/fuzz/FuzzSupport.h"

int main(int argc, char** argv) {
    const fuzz_support::SeedDir seeds(argc, argv);
#if defined(LOBBY_READER_session_block)
    for (uint32_t type = 0; type < uint32_t(kLobbyGameTypes); ++type) {
        SessionBlock b;
        b.gameType = type;
        b.random = 4321 + type;
        b.firstSetting = uint8_t(type * 5);
        b.secondSetting = uint8_t(30 - type);
        b.state = uint8_t(type);
        seeds.Write("type" + std::to_string(type), b.Bytes());
    }
#elif defined(LOBBY_READER_player_block)
    for (uint32_t team = 0; team < kLobbyTeams; team += 3) {
        PlayerBlock b;
        b.car = team;
        b.team = team;
        b.ready = team & 1;
        seeds.Write("team" + std::to_string(team), b.Bytes());
    }
#elif defined(LOBBY_READER_start_message)
    seeds.Write("start", std::string());
    seeds.Write("start_with_byte", std::string(1, '\0'));
#elif defined(LOBBY_READER_chat_line)
    seeds.Write("one_line", std::string("Ann: see you at the station"));
    seeds.Write("three_lines", std::string("Ann: hi\xFF" "Bob: hello\xFF" "Cy: \xC3\xA9t\xC3\xA9"));
    seeds.Write("long_line", std::string(300, 'w'));
    seeds.Write("zero_inside", std::string("ab\0cd", 5));
#endif
    return 0;
}
