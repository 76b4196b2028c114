// Writes the fuzz corpus seeds from the session's own message builders.
#include <string>
#include <vector>

#include "engine/net/NetProtocol.h"
#include "tests/fuzz/FuzzSupport.h"

int main(int argc, char** argv) {
    const fuzz_support::SeedDir seeds(argc, argv);
    // A seed is the selector byte of the reader, then the message body.
    auto Write = [&](const std::string& name, uint8_t selector, const std::vector<uint8_t>& body) {
        std::vector<uint8_t> bytes{selector};
        bytes.insert(bytes.end(), body.begin(), body.end());
        seeds.Write(name, bytes);
    };
    std::vector<uint8_t> m;

    netproto::ServerInfo info;
    info.name = "Creating...";
    info.serverData = std::vector<uint8_t>(20, 1);
    info.players = {{0, 0, "ann", std::vector<uint8_t>(12, 2)}, {0, 3, "bob", std::vector<uint8_t>(12, 3)}};
    netproto::BuildServerInfo(m, info);
    Write("server_info", 0, std::vector<uint8_t>(m.begin() + 1, m.end()));
    info.players.clear();
    info.serverData.clear();
    netproto::BuildServerInfo(m, info);
    Write("server_info_empty", 0, std::vector<uint8_t>(m.begin() + 1, m.end()));

    std::vector<uint8_t> data(16, 4);
    netproto::BuildClientInfo(m, "player", data.data(), data.size());
    Write("client_info", 1, std::vector<uint8_t>(m.begin() + 1, m.end()));

    netproto::EnumAnswer a;
    a.currentPlayers = 2;
    a.maxPlayers = 9;
    a.sessionName = "ABC";
    a.responseData = std::vector<uint8_t>(20, 5);
    netproto::BuildEnumAnswer(m, a);
    Write("enum_answer", 2, m);

    uint8_t q[netproto::kEnumQuerySize];
    netproto::BuildEnumQuery(q, 1000);
    Write("enum_query", 3, std::vector<uint8_t>(q, q + sizeof q));
    Write("enum_query_unpadded", 3, std::vector<uint8_t>(q, q + netproto::kEnumQueryHeaderSize));
    netproto::BuildAssign(m, 7);
    Write("assign", 3, std::vector<uint8_t>(m.begin() + 1, m.end()));

    std::vector<uint8_t> state{1, 0, 0, 0, 0};
    state.resize(301, 0);
    Write("object_state", 4, state);
    Write("lobby_start", 4, {255});
    std::vector<uint8_t> chat{0};
    for (char c : std::string("ann: hello")) chat.push_back(uint8_t(c));
    Write("chat", 5, chat);
    return 0;
}
