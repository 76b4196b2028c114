// The multiplayer screens on a headless engine: the lobby's blocks and the chat lines as they
// come from peers, the session list, the lobby hosted and joined over 127.0.0.1 with other
// players in the same process, the chat box and the final score table.
#include <chrono>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <thread>

#include "engine/core/MenuWidgets.h"
#include "engine/core/TextEditWidget.h"
#include "engine/net/ChatChannel.h"
#include "engine/net/ZKClient.h"
#include "engine/net/ZKServer.h"
#include "game/frontend/ChatWidget.h"
#include "game/frontend/FrontEnd.h"
#include "game/frontend/LobbyBlocks.h"
#include "game/frontend/MpScoreScreen.h"
#include "game/frontend/MpSelectScreen.h"
#include "game/frontend/MpStartScreen.h"
#include "game/play/Game.h"
#include "game/play/MissionLoadingScreen.h"
#include "game/vehicles/CarCatalogue.h"
#include "tests/frontend/PageFixture.h"
#include "tests/frontend/SettingsFixture.h"

using namespace page_test;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Session(uint32_t marker, uint32_t type, uint8_t first, uint8_t second, uint8_t state) {
    SessionBlock b;
    b.marker = marker;
    b.gameType = type;
    b.random = 1234;
    b.firstSetting = first;
    b.secondSetting = second;
    b.state = state;
    return b.Bytes();
}

Bytes Player(uint32_t car, uint32_t team, uint32_t ready) {
    PlayerBlock b;
    b.car = car;
    b.team = team;
    b.ready = ready;
    return b.Bytes();
}

// Every frame the channel receives, kept for the test's thread.
class Capture final : public ClientChannel {
public:
    explicit Capture(uint8_t id) : ClientChannel(id) {}
    void Receive(const uint8_t* payload, int32_t size) override {
        std::lock_guard<std::mutex> lock(m);
        got.emplace_back(payload, payload + size);
    }
    size_t Count() {
        std::lock_guard<std::mutex> lock(m);
        return got.size();
    }
    std::mutex m;
    std::vector<Bytes> got;
};

class Lines final : public ChatListener {
public:
    void OnChatLine(SharedString line) override { lines.emplace_back(line.c_str()); }
    std::vector<std::string> lines;
};

class MultiplayerTest : public PageTest {
protected:
    void SetUp() override {
        PageTest::SetUp();
        engine->renderer = &renderer;
        settings_test::FillTexts(engine->languageKeys.entries, 4);
        auto& t = engine->languageKeys.entries;
        for (int32_t id : {603, 604, 605, 606, 607, 608, 609, 200, 201, 202, 203, 204, 205, 206, 220})
            t[id] = SharedString::Format("T%d", id);
        for (int32_t id = 3000; id <= 3007; ++id) t[id] = SharedString::Format("T%d", id);
        for (int32_t id = 112233440; id <= 112233447; ++id) t[id] = SharedString::Format("H%d", id - 112233440);
        t[908076] = "Host";
        t[3004] = "Evening";
        dir.WriteBytes("Misc/readme.txt", "");
        for (const char* car : {"Vehicles/Cab.VQC", "Vehicles/Taxi.VQC", "Vehicles/Van.VQC"}) dir.WriteBytes(car, "");
        CarCatalogue::Instance().ClearForTests();
        FrontEndOptionFlag() = false;
    }
    void TearDown() override {
        frontEnd.reset();
        CarCatalogue::Instance().ClearForTests();
        engine->renderer = nullptr;
        PageTest::TearDown();
    }
    FrontEnd& Build() {
        frontEnd = std::make_unique<FrontEnd>(engine->Services());
        frontEnd->CreateFrontEnd();
        engine->SetMLP(frontEnd->mainPage);
        return *frontEnd;
    }
    // Opens the select screen (searching no real port) and hosts from it: the lobby is current.
    MpStartScreen& Host() {
        FrontEnd& fe = *frontEnd;
        fe.mpSelectScreen->port = 0;
        engine->PushMLP(fe.mpSelectScreen);
        fe.mpSelectScreen->widgets[FrontEnd::kHostButton]->Fire(kFireAccept);
        MpStartScreen& lobby = *fe.mpStartScreen;
        lobby.SetFade(0.0f);
        return lobby;
    }
    // Runs the current screen a frame at a time and updates the other players' clients until
    // the condition holds; bounded by wall time.
    bool RunUntil(const std::function<bool()>& done, std::initializer_list<ZKClient*> others = {},
                  double seconds = 10.0, bool frames = true) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < deadline) {
            engine->frameNumber = ++frameNumber;
            if (frames) Frame();
            for (ZKClient* c : others) c->Update(kFrame);
            if (done()) return true;
            std::this_thread::yield();
        }
        return false;
    }
    bool Join(ZKClient& client, uint16_t port) {
        client.EnumerateHosts(SharedString("localhost"), port);
        if (!RunUntil([&] {
                client.Lock();
                const bool found = !client.GetHosts().empty();
                client.Unlock();
                return found;
            }, {&client}))
            return false;
        return client.Connect(0);
    }
    static std::string Caption(const Widget* w) { return static_cast<const TextWidget*>(w)->caption.c_str(); }
    static SessionBlock Received(ZKClient& c) {
        SessionBlock b;
        c.Lock();
        const Bytes data = c.GetServerData();
        c.Unlock();
        b.marker = 0;
        SessionBlock::Read(data.data(), data.size(), b);
        return b;
    }

    uint32_t frameNumber = 1;
    settings_test::RecordingRenderer renderer;
    std::unique_ptr<FrontEnd> frontEnd;
};

} // namespace

// Every block from a peer: its exact size, a byte short or long, out-of-range values; what is
// refused leaves the reader's output as it was.
TEST(LobbyBlocks, PeersBlocksAreReadOnlyWhenWhole) {
    struct Case {
        const char* what;
        Bytes bytes;
        bool read;
        uint32_t team;  // player blocks: the team read
    };
    Bytes longSession = Session(1, 2, 5, 6, 0), shortSession = longSession, longPlayer = Player(2, 1, 1),
          shortPlayer = longPlayer;
    longSession.push_back(0);
    shortSession.pop_back();
    longPlayer.push_back(0);
    shortPlayer.pop_back();

    const Case sessions[] = {{"whole", Session(1, 2, 5, 6, 1), true, 0},
                             {"a byte long", longSession, false, 0},
                             {"a byte short", shortSession, false, 0},
                             {"empty", {}, false, 0},
                             {"game type past the team game", Session(1, 4, 0, 0, 0), false, 0},
                             {"huge game type", Session(1, 0xFFFFFFFFu, 0, 0, 0), false, 0},
                             {"not a lobby's marker", Session(7, 1, 0, 0, 0), true, 0}};
    for (const Case& c : sessions) {
        SCOPED_TRACE(c.what);
        SessionBlock out;
        out.random = 99;
        EXPECT_EQ(SessionBlock::Read(c.bytes.data(), c.bytes.size(), out), c.read);
        if (c.read) EXPECT_EQ(out.Bytes(), c.bytes) << "read back byte for byte";
        else EXPECT_EQ(out.random, 99u);
    }

    const Case players[] = {{"whole", Player(2, 1, 1), true, 1},
                            {"a byte long", longPlayer, false, 0},
                            {"a byte short", shortPlayer, false, 0},
                            {"empty", {}, false, 0},
                            {"team past the last", Player(0, 8, 0), true, 7},
                            {"huge team", Player(0, 0xFFFFFFFFu, 0), true, 7}};
    for (const Case& c : players) {
        SCOPED_TRACE(c.what);
        PlayerBlock out;
        out.car = 42;
        EXPECT_EQ(PlayerBlock::Read(c.bytes.data(), c.bytes.size(), out), c.read);
        if (c.read) EXPECT_EQ(out.team, c.team);
        else EXPECT_EQ(out.car, 42u);
    }

    // Readers test the ready word's low byte.
    PlayerBlock high;
    ASSERT_TRUE(PlayerBlock::Read(Player(0, 0, 0x100).data(), 12, high));
    EXPECT_FALSE(high.IsReady());

    const uint8_t byte = 0;
    EXPECT_TRUE(IsLobbyStartMessage(nullptr, 0));
    EXPECT_FALSE(IsLobbyStartMessage(&byte, 1)) << "the start carries nothing";
    for (auto [car, count, clamped] : {std::tuple{5u, 3, 2u}, {1u, 3, 1u}, {1u, 0, 0u}, {0xFFFFFFFFu, 1, 0u}})
        EXPECT_EQ(ClampCarIndex(car, count), clamped) << car << " of " << count;
}

// Lines from the wire: cut at 256 bytes (never inside a character), a zero ends the line,
// control bytes show as spaces; the newest first and a hundred at most.
TEST(LobbyBlocks, ChatLogKeepsAHundredLinesOfAtMost256Bytes) {
    ChatLog log;
    log.Add(std::string(300, 'x'));
    EXPECT_EQ(log.Lines().front().Length(), 256);
    std::string accented(255, 'a');
    accented += "\xC3\xA9tail";  // the two-byte character straddles the cut
    log.Add(accented);
    EXPECT_EQ(log.Lines().front().Length(), 255);
    log.Add(std::string_view("ab\0cd", 5));
    EXPECT_STREQ(log.Lines().front().c_str(), "ab");
    log.Add("a\nb\x1b");
    EXPECT_STREQ(log.Lines().front().c_str(), "a b ");
    for (int i = 0; i < 150; ++i) log.Add(std::to_string(i));
    ASSERT_EQ(log.Lines().size(), ChatLog::kMaxLines);
    EXPECT_STREQ(log.Lines().front().c_str(), "149");
    EXPECT_STREQ(log.Lines().back().c_str(), "50");
}

// The session list on a fake search: each row's columns, the state texts, rows without a
// block, joining only an open lobby.
TEST_F(MultiplayerTest, TheSessionListShowsEachLobbyAndJoinsOnlyAnOpenOne) {
    FrontEnd& fe = Build();
    struct Row {
        const char* what;
        Bytes block;
        const char* state;  // the state column
        bool enabled;
    } rows[] = {{"open fare race", Session(1, 2, 0, 0, 0), "T3002", true},
                {"host ready", Session(1, 0, 0, 0, 1), "Evening", true},
                {"starting", Session(1, 0, 0, 0, 2), "T3005", true},
                {"closed", Session(1, 3, 0, 0, 3), "T3006", true},
                {"not a lobby", Session(9, 1, 0, 0, 0), "T3007", true},
                {"no block", {}, "", false},
                {"a byte short", Bytes(19, 1), "", false}};
    std::vector<std::unique_ptr<ZKServer>> servers;
    for (const Row& r : rows) {
        servers.push_back(std::make_unique<ZKServer>(SharedString("Creating..."), SharedString("MTF"), 0, 4));
        ASSERT_TRUE(servers.back()->IsRunning());
        servers.back()->SetSessionDesc(SharedString(r.what), 4);
        servers.back()->SetServerInfo(SharedString(r.what), r.block.data(), uint32_t(r.block.size()));
    }
    fe.mpSelectScreen->port = servers[0]->GetPort();
    engine->PushMLP(fe.mpSelectScreen);
    fe.mpSelectScreen->SetFade(0.0f);
    ZKClient* client = fe.mpSelectScreen->Client();
    ASSERT_NE(client, nullptr);
    EXPECT_STREQ(fe.hostAddress.cachedText.c_str(), "localhost");
    // Left and Right step through the widgets as Up and Down do.
    fe.mpSelectScreen->SetSelected(FrontEnd::kHostButton);
    for (auto [key, to] : {std::pair{kKeyRight, FrontEnd::kHostAddressEdit}, {kKeyLeft, FrontEnd::kHostButton}}) {
        input.pressed = {uint32_t(key)};
        Frame();
        EXPECT_EQ(fe.mpSelectScreen->selected, to);
    }

    // One session per address and port: each server in turn is searched at its port.
    for (size_t i = 0; i < servers.size(); ++i) {
        SCOPED_TRACE(rows[i].what);
        fe.mpSelectScreen->port = servers[i]->GetPort();
        fe.hostAddress.Set(SharedString("127.0.0.1"));
        const Widget* row = fe.mpSelectScreen->widgets[0];
        ASSERT_TRUE(RunUntil([&] {
            client->Lock();
            bool found = false;
            for (const HostRecord& h : client->GetHosts()) found |= h.sessionName.View() == rows[i].what;
            client->Unlock();
            return found && (!rows[i].enabled || Caption(row) == rows[i].what);
        }));
        // The search at one address lists one host: the others have aged out or were never
        // asked.
        if (!rows[i].enabled) {
            RunUntil([] { return false; }, {}, 0.05);
            EXPECT_FALSE(row->IsEnabled());
            continue;
        }
        auto* button = static_cast<const Button*>(row);
        EXPECT_TRUE(row->IsEnabled());
        EXPECT_STREQ(button->texts[0].text.c_str(), "127.0.0.1");
        EXPECT_STREQ(button->texts[1].text.c_str(), rows[i].state);
        EXPECT_STREQ(button->texts[2].text.c_str(), "0/4");
        EXPECT_NE(std::string(button->texts[3].text.c_str()).find("ms"), std::string::npos);
        // Only the open lobby is joined; the others leave the screen as it was.
        fe.mpSelectScreen->SetSelected(0);
        fe.hostRowAction.Execute();
        if (i == 0) {
            EXPECT_EQ(engine->currentMLP, fe.mpStartScreen);
            EXPECT_TRUE(fe.mpStartScreen->Client()->IsConnected());
            EXPECT_FALSE(fe.mpStartScreen->Hosting());
            EXPECT_EQ(fe.mpSelectScreen->Client(), nullptr) << "the lobby took the client";
            // Back to the list: the lobby leaves the session and the search starts again.
            fe.mpStartScreen->widgets[MpStartScreen::kBackButton]->Fire(kFireAccept);
            EXPECT_EQ(engine->currentMLP, fe.mpSelectScreen);
            EXPECT_EQ(fe.mpStartScreen->Client(), nullptr);
            client = fe.mpSelectScreen->Client();
            ASSERT_NE(client, nullptr);
            fe.mpSelectScreen->SetFade(0.0f);
        } else {
            EXPECT_EQ(engine->currentMLP, fe.mpSelectScreen);
            EXPECT_NE(fe.mpSelectScreen->Client(), nullptr);
        }
    }
    // Nothing found at an address: the rows empty out and the selection leaves them.
    fe.mpSelectScreen->SetSelected(0);
    fe.mpSelectScreen->port = 1;
    fe.hostAddress.Set(SharedString("127.0.0.1"));
    servers.clear();
    ASSERT_TRUE(RunUntil([&] { return !fe.mpSelectScreen->widgets[0]->IsEnabled(); }, {}, 15.0));
    EXPECT_EQ(Caption(fe.mpSelectScreen->widgets[0]), "");
    EXPECT_GE(fe.mpSelectScreen->selected, FrontEnd::kHostRows) << "the selection moved off the cleared row";
}

// The front end hosts; two other players join on 127.0.0.1. Names and readiness reach the host's
// rows, a broken player block counts as not ready, the host's settings reach the players, chat
// lines reach everybody with the sender's name, and the start goes out only once all are ready:
// every machine hears it and the host loads mission 12 + type as game kind 14 + type.
TEST_F(MultiplayerTest, AHostedLobbyGathersTwoPlayersAndStartsTogether) {
    FrontEnd& fe = Build();
    MpStartScreen& lobby = Host();
    ASSERT_EQ(engine->currentMLP, &lobby);
    ASSERT_TRUE(lobby.Hosting());
    ASSERT_TRUE(lobby.Client()->IsConnected());
    const uint16_t port = lobby.Server()->GetPort();
    EXPECT_EQ(lobby.player.car, 1u) << "the lobby opens on the second car";
    EXPECT_FALSE(lobby.widgets[MpStartScreen::kStartButton]->IsEnabled());
    EXPECT_TRUE(lobby.widgets[MpStartScreen::kGameTypeChoice]->IsEnabled());

    ZKClient ann, bob;
    ASSERT_TRUE(Join(ann, port));
    ASSERT_TRUE(Join(bob, port));
    Capture annStart(kLobbyStartChannel), bobStart(kLobbyStartChannel);
    ann.AddChannel(&annStart);
    bob.AddChannel(&bobStart);
    ChatClientChannel annChat, bobChat;
    Lines annLines, bobLines;
    annChat.AddListener(&annLines);
    bobChat.AddListener(&bobLines);
    ann.AddChannel(&annChat);
    bob.AddChannel(&bobChat);

    const Bytes annBlock = Player(0, 2, 0), broken(11, 1);
    ann.SetPlayerInfo(SharedString("Ann"), annBlock.data(), 12);
    bob.SetPlayerInfo(SharedString("Bob"), broken.data(), 11);
    ASSERT_TRUE(RunUntil([&] { return Caption(lobby.widgets[1]) == "Ann"; }, {&ann, &bob}));
    EXPECT_EQ(Caption(lobby.widgets[0]), "Host");
    EXPECT_EQ(Caption(lobby.widgets[2]), "") << "a player without a whole block shows nothing";
    EXPECT_EQ(Caption(lobby.widgets[3]), "");
    auto textColour = [&](int row) { return static_cast<const TextEditWidget*>(lobby.widgets[size_t(row)])->textColor; };
    EXPECT_EQ(textColour(1), Color::FromBytes(255, 55, 55, 255));
    EXPECT_FALSE(lobby.widgets[1]->IsEnabled()) << "only the own row is editable";

    // The host's settings reach the others.
    fe.lobbyGameType.Set(int32_t(2));
    fe.lobbyFirstSetting.Set(int32_t(5));
    ASSERT_TRUE(RunUntil([&] { return Received(ann).gameType == 2 && Received(ann).firstSetting == 5; }, {&ann, &bob}));
    EXPECT_EQ(Received(bob).state, SessionBlock::kOpen);

    // The host's readiness is the session's state; the start waits for the others.
    lobby.ToggleReady();
    EXPECT_FALSE(lobby.widgets[MpStartScreen::kBackButton]->IsEnabled()) << "a ready player cannot leave";
    EXPECT_EQ(lobby.selected, int32_t(MpStartScreen::kChatBox));
    ASSERT_TRUE(RunUntil([&] { return Received(ann).state == SessionBlock::kHostReady; }, {&ann, &bob}));
    const Bytes annReady = Player(0, 2, 1);
    ann.SetPlayerInfo(SharedString("Ann"), annReady.data(), 12);
    ASSERT_TRUE(RunUntil([&] { return textColour(1) == Color::FromBytes(140, 255, 75, 255); }, {&ann, &bob}));
    EXPECT_FALSE(lobby.widgets[MpStartScreen::kStartButton]->IsEnabled()) << "Bob is not ready";

    // Chat: a line typed by Ann comes back to everybody with her name.
    annChat.SendText(SharedString("see you at the station"));
    ASSERT_TRUE(RunUntil([&] { return !lobby.Chat()->Log().Lines().empty() && bobLines.lines.size() == 1; },
                         {&ann, &bob}));
    EXPECT_STREQ(lobby.Chat()->Log().Lines().front().c_str(), "Ann: see you at the station");
    EXPECT_EQ(bobLines.lines[0], "Ann: see you at the station");

    const Bytes bobReady = Player(7, 0, 1);
    bob.SetPlayerInfo(SharedString("Bob"), bobReady.data(), 12);
    ASSERT_TRUE(RunUntil([&] { return lobby.widgets[MpStartScreen::kStartButton]->IsEnabled(); }, {&ann, &bob}));
    EXPECT_EQ(Caption(lobby.widgets[2]), "Bob");

    lobby.widgets[MpStartScreen::kStartButton]->Fire(kFireAccept);
    ASSERT_TRUE(RunUntil([&] { return lobby.Client() == nullptr; }));
    // The others hear it too (the loading screen is left alone meanwhile).
    ASSERT_TRUE(RunUntil([&] { return annStart.Count() == 1 && bobStart.Count() == 1; }, {&ann, &bob}, 10.0, false));
    EXPECT_TRUE(annStart.got[0].empty());
    EXPECT_EQ(Received(ann).state, SessionBlock::kStarting);
    ASSERT_NE(fe.missionLoadingScreen, nullptr);
    EXPECT_EQ(engine->currentMLP, fe.missionLoadingScreen);
    EXPECT_EQ(fe.missionLoadingScreen->mission, 14);
    EXPECT_EQ(fe.missionLoadingScreen->kind, 16);
    EXPECT_EQ(fe.missionLoadingScreen->third, 10020 + 400 * 14);
    EXPECT_TRUE(fe.ResumeEnabled());
    ASSERT_NE(fe.game->client, nullptr) << "the game owns the session now";
    EXPECT_NE(fe.game->server, nullptr);
    EXPECT_TRUE(fe.game->client->IsConnected());

    // The game goes with the front end, and its session with it: the others are let go.
    frontEnd.reset();
    EXPECT_TRUE(RunUntil([&] { return !ann.IsConnected() && !bob.IsConnected(); }, {&ann, &bob}, 10.0, false));
    ann.RemoveChannel(&annChat);
    bob.RemoveChannel(&bobChat);
}

// The front end joins a session another machine hosts. It follows the host's block: a change in
// the host's settings drops its ready flag, a broken block changes nothing, a car and a team it
// picks go out in its block, and the host's start loads the host's game type.
TEST_F(MultiplayerTest, AJoinedLobbyFollowsTheHostAndStartsOnItsMessage) {
    FrontEnd& fe = Build();
    ZKServer host(SharedString("Creating..."), SharedString("MTF"), 0, 8);
    ASSERT_TRUE(host.IsRunning());
    host.SetServerInfo(SharedString("Downtown"), Session(1, 3, 4, 0, 0).data(), 20);
    fe.mpSelectScreen->port = host.GetPort();
    engine->PushMLP(fe.mpSelectScreen);
    fe.mpSelectScreen->SetFade(0.0f);
    ASSERT_TRUE(RunUntil([&] { return fe.mpSelectScreen->widgets[0]->IsEnabled(); }));
    fe.mpSelectScreen->SetSelected(0);
    fe.hostRowAction.Execute();
    MpStartScreen& lobby = *fe.mpStartScreen;
    ASSERT_EQ(engine->currentMLP, &lobby);
    lobby.SetFade(0.0f);
    for (int32_t w : {MpStartScreen::kSessionName, MpStartScreen::kGameTypeChoice, MpStartScreen::kFirstSetting})
        EXPECT_FALSE(lobby.widgets[size_t(w)]->IsEnabled()) << "the host's settings are the host's " << w;

    auto ownBlock = [&] {
        PlayerBlock b;
        host.Lock();
        const std::vector<PlayerRecord>& players = host.GetPlayers();
        const bool ok = players.size() == 1 && PlayerBlock::Read(players[0].data.data(), players[0].data.size(), b);
        host.Unlock();
        return ok ? b : PlayerBlock{0xDEAD, 0, 0};
    };
    ASSERT_TRUE(RunUntil([&] { return fe.lobbyGameType.cachedInt == 3 && ownBlock().car == 1; }));
    EXPECT_STREQ(fe.lobbySessionName.cachedText.c_str(), "Downtown");
    EXPECT_EQ(fe.lobbyFirstSetting.cachedInt, 4);
    EXPECT_TRUE(lobby.widgets[MpStartScreen::kTeamChoice]->IsEnabled()) << "the team game";
    // Each player's team stands beside his row, his car picture before it.
    fe.lobbyTeam.Set(int32_t(2));
    ASSERT_TRUE(RunUntil([&] { return ownBlock().team == 2; }));
    RunUntil([] { return false; }, {}, 0.1);
    canvas.calls.clear();
    lobby.DrawWidgets();
    const auto team = canvas.Of("text", " T609 3");
    ASSERT_EQ(team.size(), 1u);
    EXPECT_EQ((Point2i{int32_t(team[0].x), int32_t(team[0].y)}), (Point2i{315, 180}));
    const auto picture = canvas.Of("sprite", "Vehicles\\Taxi\\MPImage.ZKT");
    ASSERT_EQ(picture.size(), 1u) << "the second car's picture";
    EXPECT_EQ((Point2i{int32_t(picture[0].x), int32_t(picture[0].y)}), (Point2i{137, 173}));
    EXPECT_EQ(Caption(lobby.widgets[0]), "Host");
    EXPECT_TRUE(lobby.widgets[0]->IsEnabled()) << "the own row while not ready";

    // Car and team go out in the block; the car wraps round the three cars.
    fe.lobbyTeam.Set(int32_t(5));
    lobby.StepCar(1);
    lobby.StepCar(1);
    ASSERT_TRUE(RunUntil([&] { return ownBlock().team == 5 && ownBlock().car == 0; }));

    lobby.ToggleReady();
    ASSERT_TRUE(RunUntil([&] { return ownBlock().IsReady() && !lobby.widgets[0]->IsEnabled(); }))
        << "a ready player cannot edit his name";
    // A broken block from the host changes nothing.
    host.SetServerInfo(SharedString("Downtown"), Bytes(21, 9).data(), 21);
    RunUntil([] { return false; }, {}, 0.2);
    EXPECT_TRUE(ownBlock().IsReady());
    EXPECT_EQ(fe.lobbyGameType.cachedInt, 3);

    // The host changes the second limit: readiness drops. A limit past the choice's items is
    // held at its last.
    host.SetServerInfo(SharedString("Downtown"), Session(1, 1, 4, 200, 0).data(), 20);
    ASSERT_TRUE(RunUntil([&] { return !ownBlock().IsReady(); }));
    EXPECT_FALSE(lobby.IsReady());
    EXPECT_EQ(fe.lobbyGameType.cachedInt, 1);
    EXPECT_EQ(fe.lobbySecondSetting.cachedInt, 30);
    EXPECT_FALSE(lobby.widgets[MpStartScreen::kTeamChoice]->IsEnabled());

    // A start with a payload is not the start; the real one loads the host's type.
    const uint8_t notStart[2] = {kLobbyStartChannel, 0};
    host.SendTo(notStart, 2, -1, 0.0f, false, true, false);
    RunUntil([] { return false; }, {}, 0.2);
    EXPECT_EQ(engine->currentMLP, &lobby);
    const uint8_t start = kLobbyStartChannel;
    host.SendTo(&start, 1, -1, 0.0f, false, true, false);
    ASSERT_TRUE(RunUntil([&] { return engine->currentMLP == fe.missionLoadingScreen; }));
    EXPECT_EQ(fe.missionLoadingScreen->mission, 13);
    EXPECT_EQ(fe.missionLoadingScreen->kind, 15);
    EXPECT_EQ(fe.game->server, nullptr) << "not hosting";
    EXPECT_NE(fe.game->client, nullptr);
}

// Clicks and keys in a joined lobby: the car picture steps back on the left button and on on
// the right one, Left and Right on the own row step too, the light toggles readiness; a ready
// player who does not host changes no car.
TEST_F(MultiplayerTest, ClicksAndKeysStepTheCarAndTheLightTogglesReadiness) {
    FrontEnd& fe = Build();
    ZKServer host(SharedString("Creating..."), SharedString("MTF"), 0, 8);
    host.SetServerInfo(SharedString("Downtown"), Session(1, 0, 0, 0, 0).data(), 20);
    fe.mpSelectScreen->port = host.GetPort();
    engine->PushMLP(fe.mpSelectScreen);
    fe.mpSelectScreen->SetFade(0.0f);
    ASSERT_TRUE(RunUntil([&] { return fe.mpSelectScreen->widgets[0]->IsEnabled(); }));
    fe.mpSelectScreen->SetSelected(0);
    fe.hostRowAction.Execute();
    MpStartScreen& lobby = *fe.mpStartScreen;
    ASSERT_EQ(engine->currentMLP, &lobby);
    lobby.SetFade(0.0f);
    ASSERT_TRUE(RunUntil([&] { return lobby.widgets[0]->IsEnabled(); })) << "the own row";
    ASSERT_EQ(lobby.player.car, 1u);

    // The own picture is 64 x 16 at (137, 173); the light 64 x 16 at (580, 400).
    const Point2i car{140, 180}, light{600, 405}, beside{300, 300};
    struct Step {
        const char* what;
        Point2i at;
        uint32_t button;   // released this frame
        uint32_t key;      // pressed this frame (0 none)
        uint32_t car;      // the car index after it
        bool ready;
    } steps[] = {{"left click on the picture", car, 0, 0, 0, false},
                 {"left click wraps round", car, 0, 0, 2, false},
                 {"right click", car, 1, 0, 0, false},
                 {"a click beside it", beside, 0, 0, 0, false},
                 {"Left on the own row", beside, 9, kKeyLeft, 1, false},
                 {"Right on the own row", beside, 9, kKeyRight, 0, false},
                 {"the light", light, 0, 0, 0, true},
                 {"a ready player's click on his car", car, 0, 0, 0, true},
                 {"a ready player's Left", beside, 9, kKeyLeft, 0, true},
                 {"the light again", light, 0, 0, 0, false},
                 {"free to change again", car, 1, 0, 1, false}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        if (step.key) lobby.SetSelected(0);
        input.cursor = step.at;
        if (step.button < 8) input.mouseReleased = {step.button};
        if (step.key) input.pressed = {step.key};
        Frame();
        EXPECT_EQ(lobby.player.car, step.car);
        EXPECT_EQ(lobby.IsReady(), step.ready);
        EXPECT_EQ(lobby.widgets[MpStartScreen::kBackButton]->IsEnabled(), !step.ready);
    }
    // Keys typed into the chat box step nothing.
    lobby.SetSelected(0);
    lobby.Chat()->Fire(kFireAccept);
    input.pressed = {uint32_t(kKeyLeft)};
    Frame();
    EXPECT_EQ(lobby.player.car, 1u);
    lobby.Chat()->Fire(kFireAccept);
    // What the host sees is the last block sent.
    ASSERT_TRUE(RunUntil([&] {
        host.Lock();
        PlayerBlock b;
        const bool ok = host.GetPlayers().size() == 1 &&
                        PlayerBlock::Read(host.GetPlayers()[0].data.data(), host.GetPlayers()[0].data.size(), b) &&
                        b.car == 1 && !b.IsReady();
        host.Unlock();
        return ok;
    }));
}

// A lobby whose client never connected leaves at once; one whose host goes away leaves too.
TEST_F(MultiplayerTest, ALobbyWithoutAConnectionLeavesAtOnce) {
    FrontEnd& fe = Build();
    engine->PushMLP(fe.mpSelectScreen);
    fe.mpStartScreen->TakeSession(std::make_unique<ZKClient>(), nullptr);
    engine->PushMLP(fe.mpStartScreen);
    Frame();
    EXPECT_EQ(engine->currentMLP, fe.mpSelectScreen);
    EXPECT_EQ(fe.mpStartScreen->Client(), nullptr);

    auto host = std::make_unique<ZKServer>(SharedString("Creating..."), SharedString("MTF"), 0, 8);
    host->SetServerInfo(SharedString("Downtown"), Session(1, 0, 0, 0, 0).data(), 20);
    fe.mpSelectScreen->port = host->GetPort();
    fe.hostAddress.Set(SharedString("localhost"));
    fe.mpSelectScreen->SetFade(0.0f);
    ASSERT_TRUE(RunUntil([&] { return fe.mpSelectScreen->widgets[0]->IsEnabled(); }));
    fe.mpSelectScreen->SetSelected(0);
    fe.hostRowAction.Execute();
    ASSERT_EQ(engine->currentMLP, fe.mpStartScreen);
    host.reset();
    ASSERT_TRUE(RunUntil([&] { return engine->currentMLP == fe.mpSelectScreen; }));
}

// The chat box: typing starts on fire, a line never outgrows the box, Return, numeric Enter
// and Escape each send it; the screen's keys are off while typing; lines stand newest lowest
// and stop at the box's top; a click in a disabled box is refused.
TEST_F(MultiplayerTest, TheChatBoxSendsTypedLinesAndShowsTheNewestLowest) {
    FrontEnd& fe = Build();
    MpStartScreen& lobby = Host();
    ChatWidget& chat = *lobby.Chat();
    ASSERT_TRUE(lobby.Client()->IsConnected());
    for (uint32_t key : {uint32_t(kKeyReturn), uint32_t(kKeyPadEnter), uint32_t(kKeyEscape)}) {
        SCOPED_TRACE(key);
        chat.ClearLines();
        chat.Fire(kFireAccept);
        ASSERT_TRUE(chat.IsTyping());
        input.Type("hi");
        input.pressed = {key};
        chat.HandleInput({});
        input.NextFrame();
        EXPECT_FALSE(chat.IsTyping());
        ASSERT_TRUE(RunUntil([&] { return chat.Log().Lines().size() == 1; }));
        EXPECT_STREQ(chat.Log().Lines().front().c_str(), "Host: hi");
        EXPECT_EQ(engine->currentMLP, &lobby) << "Escape sent the line, it did not leave";
    }

    chat.Fire(kFireAccept);
    EXPECT_FALSE(lobby.navigation);
    input.Type(std::string(60, 'w').c_str());
    chat.HandleInput({});
    EXPECT_EQ(chat.TypedText().Length(), ChatWidget::kTypedWidth / testing_support::RecordingCanvas::kCharWidth)
        << "370 pixels of 8-pixel characters";
    chat.Fire(kFireAccept);
    EXPECT_TRUE(lobby.navigation);

    chat.ClearLines();
    for (int i = 0; i < 12; ++i) lobby.Client()->DispatchFrame(Bytes{0, uint8_t('a' + i)}.data(), 2);
    canvas.calls.clear();
    chat.Draw(1.0f);
    // Line i at 130 - 24 i - 80 from the box's top: the newest three fit.
    const float top = float(chat.GetPosition().y);
    for (const auto& [line, y] : {std::pair{"l", 50.0f}, {"k", 26.0f}, {"j", 2.0f}}) {
        const auto drawn = canvas.Of("text", line);
        ASSERT_EQ(drawn.size(), 1u) << line;
        EXPECT_FLOAT_EQ(drawn[0].y, top + y);
    }
    EXPECT_TRUE(canvas.Of("text", "i").empty()) << "a line at or above the top is not drawn, nor older ones";
    EXPECT_EQ(canvas.Of("text", "T220").size(), 1u) << "the hint while nobody types";

    // A click inside the box takes the event only while the box is enabled.
    const Point2i inside{chat.GetPosition().x + 200, chat.GetPosition().y + 60};
    EXPECT_TRUE(chat.HandleMouse(inside));
    chat.SetEnabled(false);
    EXPECT_FALSE(chat.HandleMouse(inside));
    EXPECT_FALSE(chat.HandleMouse({chat.GetPosition().x + 395, chat.GetPosition().y + 60}));
    (void)fe;
}

// The final table: one row shows the first and third titles only; the columns follow the game
// kind; the team game heads each team; other kinds show no table.
TEST_F(MultiplayerTest, TheScoreTableFollowsTheGameKind) {
    FrontEnd& fe = Build();
    auto rowOf = [](const char* name, int32_t score, int32_t team, int32_t wrecked, int32_t walkers) {
        MultiplayerScoreRow r;
        r.name = SharedString(name);
        r.score = score;
        r.rankKey = team;
        r.wrecked = wrecked;
        r.pedestrians = walkers;
        return r;
    };
    struct Case {
        int32_t kind;
        std::vector<std::string> headings;
        std::vector<std::string> firstRow;
    } cases[] = {{14, {"H0", "H5"}, {"Ann", "30"}},
                 {15, {"H0", "H5"}, {"Ann", "30"}},
                 {16, {"H0", "H3", "H4", "H6"}, {"Ann", "2", "1", "30"}},
                 {17, {"H0", "H3", "H4", "H7"}, {"Ann", "2", "1", "30"}},
                 {13, {}, {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        MultiplayerScoreTable table;
        for (int i = 0; i < 4; ++i) table.titles[i] = SharedString::Format("title%d", i);
        table.rows = {rowOf("Ann", 30, 0, 2, 1), rowOf("Bob", 20, 0, 0, 0), rowOf("Cy", 10, 1, 0, 3)};
        table.kind = c.kind;
        fe.ShowMultiplayerScore(table);
        MpScoreScreen* screen = fe.MultiplayerScore();
        ASSERT_NE(screen, nullptr);
        ASSERT_EQ(engine->currentMLP, screen);
        canvas.calls.clear();
        screen->DrawBackground();
        for (int i = 0; i < 4; ++i) EXPECT_EQ(canvas.Of("text", "title" + std::to_string(i)).size(), 1u);
        for (const std::string& h : c.headings) {
            const auto drawn = canvas.Of("text", h);
            ASSERT_EQ(drawn.size(), 1u) << h;
            EXPECT_FLOAT_EQ(drawn[0].y, 200.0f);
        }
        if (c.headings.empty()) {
            EXPECT_TRUE(canvas.Of("text", "Ann").empty());
            continue;
        }
        // Rows in the order stored, under the headings.
        const auto ann = canvas.Of("text", "Ann"), bob = canvas.Of("text", "Bob"), cy = canvas.Of("text", "Cy");
        ASSERT_EQ(ann.size(), 1u);
        ASSERT_EQ(cy.size(), 1u);
        EXPECT_LT(ann[0].y, bob[0].y);
        EXPECT_LT(bob[0].y, cy[0].y);
        for (size_t col = 1; col < c.firstRow.size(); ++col) {
            bool found = false;
            for (const testing_support::DrawCall& d : canvas.Of("text", c.firstRow[col])) found |= d.y == ann[0].y;
            EXPECT_TRUE(found) << c.firstRow[col];
        }
        const auto teams = canvas.Of("text", "Team : 0"), second = canvas.Of("text", "Team : 1");
        if (c.kind == 17) {
            ASSERT_EQ(teams.size(), 1u);
            ASSERT_EQ(second.size(), 1u);
            EXPECT_LT(teams[0].y, ann[0].y);
            EXPECT_GT(second[0].y, bob[0].y);
            EXPECT_LT(second[0].y, cy[0].y);
        } else {
            EXPECT_TRUE(teams.empty() && second.empty());
        }
    }
    // One row: the first and third titles only.
    MultiplayerScoreTable one;
    for (int i = 0; i < 4; ++i) one.titles[i] = SharedString::Format("title%d", i);
    one.rows = {rowOf("Ann", 1, 0, 0, 0)};
    one.kind = 14;
    fe.ShowMultiplayerScore(one);
    canvas.calls.clear();
    fe.MultiplayerScore()->DrawBackground();
    EXPECT_EQ(canvas.Of("text", "title0").size(), 1u);
    EXPECT_EQ(canvas.Of("text", "title2").size(), 1u);
    EXPECT_TRUE(canvas.Of("text", "title1").empty());
    EXPECT_TRUE(canvas.Of("text", "title3").empty());
    // Escape leaves it for the main page.
    input.pressed = {kKeyEscape};
    Frame();
    EXPECT_EQ(engine->currentMLP, fe.mainPage);
}
