// The lobby's readers of what peers send, one per fuzz target (chosen when built): the host's
// session block, a player's block, the start message and chat lines. A block is read whole or
// not at all, and what is read is in range and writes back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/net/ChatChannel.h"
#include "game/frontend/LobbyBlocks.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

// The chat box's end of the channel: every line the channel hands on goes into the log.
class LogLines final : public ChatListener {
public:
    void OnChatLine(SharedString line) override { log.Add(line.View()); }
    ChatLog log;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using fuzz_support::Check;
    fuzz_support::DiscardLog();
#if defined(LOBBY_READER_session_block)
    SessionBlock block;
    if (SessionBlock::Read(data, size, block)) {
        Check(size == SessionBlock::kSize && block.gameType < uint32_t(kLobbyGameTypes));
        Check(block.Bytes() == std::vector<uint8_t>(data, data + size));
    }
#elif defined(LOBBY_READER_player_block)
    PlayerBlock block;
    if (PlayerBlock::Read(data, size, block)) {
        Check(size == PlayerBlock::kSize && block.team < kLobbyTeams);
        std::vector<uint8_t> bytes(data, data + size);
        const std::vector<uint8_t> written = block.Bytes();
        // Only the team may have been brought into range.
        Check(std::equal(written.begin(), written.begin() + 4, bytes.begin()) &&
              std::equal(written.begin() + 8, written.end(), bytes.begin() + 8));
    }
#elif defined(LOBBY_READER_start_message)
    Check(IsLobbyStartMessage(data, int32_t(size)) == (size == 0));
#elif defined(LOBBY_READER_chat_line)
    // The input is a run of received lines, each ended by 0xFF.
    static ChatClientChannel channel;
    static LogLines lines;
    static bool listening = false;
    if (!listening) channel.AddListener(&lines);
    listening = true;
    lines.log.Clear();
    size_t start = 0;
    for (size_t i = 0; i <= size; ++i) {
        if (i < size && data[i] != 0xFF) continue;
        channel.Receive(data + start, int32_t(i - start));
        start = i + 1;
    }
    Check(lines.log.Lines().size() <= ChatLog::kMaxLines);
    for (const SharedString& line : lines.log.Lines()) {
        Check(size_t(line.Length()) <= ChatLog::kMaxLineBytes);
        for (char c : line.View()) Check(uint8_t(c) >= 0x20 && c != 0x7F);
    }
#else
#error "choose the lobby reader to fuzz"
#endif
    return 0;
}
