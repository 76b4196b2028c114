// A small session peer for the two-process test, on 127.0.0.1 only.
//   net_peer --host PORT [--port-file FILE] [--objects N]
//       hosts (0 lets the system choose the port, written to FILE), joins with its own client,
//       and quits once it has a chat line from another player and N of that player's object
//       states.
//   net_peer --join 127.0.0.1:PORT --chat TEXT [--objects N]
//       joins as "joiner", sends the line (every half second) and object states until the host
//       ends the session; succeeds if its own line came back.
// Exit code 0 on success, 1 on failure or after 12 s.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include "engine/net/ChatChannel.h"
#include "engine/net/ObjectChannel.h"
#include "engine/net/ZKClient.h"
#include "engine/net/ZKServer.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Lines : ChatListener {
    void OnChatLine(SharedString line) override {
        std::printf("CHAT %s\n", line.c_str());
        std::fflush(stdout);
        last = std::string(line.View());
        ++count;
    }
    std::string last;
    int count = 0;
};

// A car-sized state: a sequence number and filler, 296 bytes.
struct Car : NetObject {
    int32_t WriteState(uint8_t* buffer, int32_t capacity) override {
        if (capacity < 296) return 296;
        std::memset(buffer, 0x33, 296);
        ++sequence;
        std::memcpy(buffer, &sequence, 4);
        return 296;
    }
    void ReadState(const uint8_t* data, int32_t size) override {
        if (size < 4) return;
        uint32_t s;
        std::memcpy(&s, data, 4);
        seen.insert(s);
    }
    uint32_t sequence = 0;
    std::set<uint32_t> seen;
};

bool Join(ZKClient& client, uint16_t port, Clock::time_point deadline) {
    client.EnumerateHosts(SharedString("127.0.0.1"), port);
    while (Clock::now() < deadline) {
        client.Update(0.01f);
        client.Lock();
        bool found = !client.GetHosts().empty();
        client.Unlock();
        if (found) return client.Connect(0);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

bool Listed(ZKClient& c, const char* name) {
    c.Lock();
    bool found = false;
    for (const ClientPlayerEntry& p : c.GetPlayers()) found |= p.name == name;
    c.Unlock();
    return found;
}

int RunHost(uint16_t port, const std::string& portFile, size_t objects, Clock::time_point deadline) {
    auto server = std::make_unique<ZKServer>(SharedString("Creating..."), SharedString("TST"), port, 4);
    if (!server->IsRunning()) return 1;
    ChatServerChannel chatServer;
    ObjectChannel relay;
    server->AddChannel(&chatServer);
    server->AddChannel(&relay);
    if (!portFile.empty()) {
        std::string tmp = portFile + ".tmp";
        if (FILE* f = std::fopen(tmp.c_str(), "w")) {
            std::fprintf(f, "%u\n", unsigned(server->GetPort()));
            std::fclose(f);
            std::rename(tmp.c_str(), portFile.c_str());
        }
    }
    auto client = std::make_unique<ZKClient>();
    ChatClientChannel chat;
    Lines lines;
    chat.AddListener(&lines);
    ObjectChannel objectsChannel;
    Car hostCar, joinerCar;  // same registration order on both machines: ids 0 and 1
    objectsChannel.Register(&hostCar);
    objectsChannel.Register(&joinerCar);
    client->AddChannel(&chat);
    client->AddChannel(&objectsChannel);
    if (!Join(*client, server->GetPort(), deadline)) return 1;
    const uint8_t data[12] = {};
    client->SetPlayerInfo(SharedString("host"), data, sizeof data);

    bool gotChat = false;
    while (Clock::now() < deadline) {
        client->Update(0.01f);
        objectsChannel.Update(0.01f);
        gotChat |= lines.count > 0 && lines.last.rfind("joiner: ", 0) == 0;
        if (gotChat && joinerCar.seen.size() >= objects) {
            std::printf("HOST got %zu object states\n", joinerCar.seen.size());
            client->RemoveChannel(&chat);
            client->RemoveChannel(&objectsChannel);
            client.reset();
            server.reset();  // ends the session for the joiner
            return 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::printf("HOST timed out: chat %d, %zu object states\n", int(gotChat), joinerCar.seen.size());
    return 1;
}

int RunJoin(const std::string& address, const std::string& text, Clock::time_point deadline) {
    size_t colon = address.rfind(':');
    if (colon == std::string::npos || address.substr(0, colon) != "127.0.0.1") {
        std::fprintf(stderr, "only 127.0.0.1:PORT is accepted\n");
        return 1;
    }
    uint16_t port = uint16_t(std::stoul(address.substr(colon + 1)));
    ZKClient client;
    ChatClientChannel chat;
    Lines lines;
    chat.AddListener(&lines);
    ObjectChannel objectsChannel;
    Car hostCar, joinerCar;
    objectsChannel.Register(&hostCar);
    objectsChannel.Register(&joinerCar);
    joinerCar.flags = NetObject::kSendEveryUpdate;
    client.AddChannel(&chat);
    client.AddChannel(&objectsChannel);
    if (!Join(client, port, deadline)) return 1;
    const uint8_t data[12] = {};
    client.SetPlayerInfo(SharedString("joiner"), data, sizeof data);

    bool echoed = false;
    auto nextChat = Clock::now();
    while (Clock::now() < deadline) {
        client.Update(0.01f);
        objectsChannel.Update(0.01f);
        echoed |= lines.last == "joiner: " + text;
        // Chat is unguaranteed and each copy of the relay is lost or kept on its own: our own
        // echo says nothing of the host's copy, so the line is repeated (once the name is
        // known) until the host ends the session.
        if (Listed(client, "joiner") && Clock::now() >= nextChat) {
            chat.SendText(SharedString(text));
            nextChat = Clock::now() + std::chrono::milliseconds(500);
        }
        if (!client.IsConnected()) {
            std::printf("JOIN session ended, chat echoed %d\n", int(echoed));
            return echoed ? 0 : 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::printf("JOIN timed out\n");
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    std::string mode, value, portFile, text = "hello";
    size_t objects = 50;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string flag = argv[i];
        if (flag == "--host" || flag == "--join") {
            mode = flag;
            value = argv[i + 1];
        } else if (flag == "--port-file") {
            portFile = argv[i + 1];
        } else if (flag == "--chat") {
            text = argv[i + 1];
        } else if (flag == "--objects") {
            objects = size_t(std::stoul(argv[i + 1]));
        }
    }
    auto deadline = Clock::now() + std::chrono::seconds(12);
    if (mode == "--host") return RunHost(uint16_t(std::stoul(value)), portFile, objects, deadline);
    if (mode == "--join") return RunJoin(value, text, deadline);
    std::fprintf(stderr, "usage: net_peer --host PORT [--port-file F] [--objects N] | --join 127.0.0.1:PORT --chat TEXT\n");
    return 2;
}
