#pragma once
// The multiplayer select screen: lists the sessions the network client finds at an address
// (name, address, state or game type, players, ping), joins the chosen one or hosts a new one on
// this machine; either way the lobby takes over the client (and the new server).
#include <cstdint>
#include <memory>

#include "game/frontend/FrontEndPage.h"

class FrontEnd;
class ZKClient;

class MpSelectScreen : public FrontEndPage {
public:
    static constexpr uint16_t kGamePort = 48110;
    // Sessions listed at once (the first widgets are their rows).
    static constexpr int32_t kRows = 16;
    // The session name every copy of the game hosts and searches under.
    static constexpr const char* kSessionTag = "MTF";
    // The first state text: game types 0..3, then host ready, starting, closed, not a lobby.
    static constexpr int32_t kStateTexts = 3000;
    // Engine frames on which the list is left alone.
    static constexpr uint32_t kQuietFrameEvery = 100;
    // Hosting: how long the new local session is looked for, and the pause between tries.
    static constexpr float kHostWaitSeconds = 10.0f;
    static constexpr float kHostRetrySeconds = 0.1f;

    explicit MpSelectScreen(FrontEnd& frontEnd);
    ~MpSelectScreen() override;

    void Activate() override;
    void HandleInput() override;
    void Update() override;

    // The row actions: join the session of the selected row; host a new one; search at an
    // address.
    void JoinSelected();
    void Host();
    void Enumerate(const SharedString& address);

    ZKClient* Client() const { return client_.get(); }
    // The game's port (tests choose their own).
    uint16_t port = kGamePort;

private:
    // What a row shows, so its texts are made again only when it changes.
    struct Shown {
        int32_t stateText = -1;
        int32_t players = -1;
        int32_t maxPlayers = -1;
        uint32_t latency = 0;
    };

    void RefreshHostList();

    FrontEnd& frontEnd_;
    // A new one at every activation; the lobby takes it on join or host.
    std::unique_ptr<ZKClient> client_;
    Shown shown_[kRows];
};
