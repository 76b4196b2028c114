#pragma once
// The lobby of a multiplayer session: each player sets his name, steps through the car
// pictures, picks a team in the team game and marks himself ready; the host also sets the
// session's name, game type and two limits, and starts the game once every player is ready.
// The host publishes its settings as the session block through the server, every player his
// choices as his player block through his client; the start is one message on the lobby's own
// channel that makes every machine, the host's included, load the same game.
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/net/Channel.h"
#include "game/frontend/FrontEndPage.h"
#include "game/frontend/LobbyBlocks.h"

class ChatWidget;
class FrontEnd;
class MenuPicture;
class ZKClient;
class ZKServer;

class MpStartScreen : public FrontEndPage {
public:
    // The widgets, in list order.
    enum LobbyWidget : int32_t {
        kPlayerRows = 0,  // eight rows, 0..7
        kChatBox = 8,
        kSessionName,
        kFirstSetting,
        kSecondSetting,
        kTeamChoice,
        kGameTypeChoice,
        kStartButton,
        kBackButton,
        kLobbyWidgetCount
    };
    static constexpr int32_t kRows = 8;
    static constexpr Point2i kReadyAt{580, 400};
    static constexpr Point2i kCarPicturesAt{137, 173};
    static constexpr int32_t kRowStep = 16;
    // Row colours, alpha first: waiting and ready.
    static constexpr uint8_t kWaitingColour[4] = {255, 255, 55, 55};
    static constexpr uint8_t kReadyColour[4] = {255, 140, 255, 75};
    // The first multiplayer mission and game kind; the game type is added to each.
    static constexpr int32_t kFirstMission = 12;
    static constexpr int32_t kFirstKind = 14;
    static constexpr int32_t kTeamText = 609;

    explicit MpStartScreen(FrontEnd& frontEnd);
    ~MpStartScreen() override;

    // The select screen's hand-over: the session's client and, when hosting, its server.
    void TakeSession(std::unique_ptr<ZKClient> client, std::unique_ptr<ZKServer> server);
    ZKClient* Client() const { return client_.get(); }
    ZKServer* Server() const { return server_.get(); }
    bool Hosting() const { return server_ != nullptr; }

    void Activate() override;
    void HandleInput() override;
    void Update() override;
    void DrawWidgets() override;

    // The options' actions.
    void SetPlayerName(const SharedString& name);
    void SetSessionName(const SharedString& name);
    void SetGameType(int32_t type);
    void SetFirstSetting(int32_t value);
    void SetSecondSetting(int32_t value);
    void SetTeam(int32_t team);
    void StartGame();
    void Leave();
    // The ready light and the car pictures, as clicks do them.
    void ToggleReady();
    void StepCar(int32_t step);

    bool IsReady() const { return player.IsReady(); }
    ChatWidget* Chat() const;
    int32_t CarPictureCount() const { return int32_t(carPictures_.size()); }

    SessionBlock session;
    PlayerBlock player;
    SharedString playerName;

private:
    class StartReceiver final : public ClientChannel {
    public:
        explicit StartReceiver(MpStartScreen& owner) : ClientChannel(kLobbyStartChannel), owner_(owner) {}
        void Receive(const uint8_t* payload, int32_t size) override;

    private:
        MpStartScreen& owner_;
    };

    void SendPlayerData();
    void PublishSession();
    void OnStart();
    void FollowHost();
    void ShowPlayers();
    void ClickReady();
    void ClickCar();
    // This player's own entry in the client's list; -1 when he has none. Under the client lock.
    int32_t OwnIndex() const;
    int32_t CarCount() const;
    bool Released(uint32_t button, const Rect& rect) const;

    FrontEnd& frontEnd_;
    StartReceiver startReceiver_;
    std::vector<std::unique_ptr<MenuPicture>> carPictures_;
    std::unique_ptr<MenuPicture> readyPictures_[2];
    std::unique_ptr<ZKClient> client_;
    std::unique_ptr<ZKServer> server_;
};
