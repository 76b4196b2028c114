#include "game/frontend/MpStartScreen.h"

#include <algorithm>
#include <cstring>

#include "engine/core/Debugger.h"
#include "engine/core/InputDevice.h"
#include "engine/core/MLPStack.h"
#include "engine/core/MenuCanvas.h"
#include "engine/core/MenuWidgets.h"
#include "engine/core/TextEditWidget.h"
#include "engine/net/ZKClient.h"
#include "engine/net/ZKServer.h"
#include "game/frontend/ChatWidget.h"
#include "game/frontend/FrontEnd.h"
#include "game/vehicles/CarCatalogue.h"
#include "game/vehicles/CarDefinition.h"
#include "platform/sys/Random.h"

namespace {

constexpr uint32_t kFlipRows = 1;
// Sizes clicks are tested against while a picture is missing.
constexpr int32_t kReadyFallbackSize = 64;
constexpr Point2i kCarFallbackSize{32, 16};

Rect PictureRect(const MenuPicture* picture, Point2i at, Point2i fallback) {
    const int32_t w = picture ? picture->Width() : fallback.x, h = picture ? picture->Height() : fallback.y;
    return {at.x, at.y, at.x + w, at.y + h};
}

bool Inside(const Rect& r, const Point2i& p) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; }

Color RowColour(const uint8_t (&argb)[4]) { return Color::FromBytes(argb[1], argb[2], argb[3], argb[0]); }

// The last item index of a choice widget (0 for none).
int32_t LastItem(Widget* widget) {
    auto* choice = static_cast<ChoiceWidget*>(widget);
    return std::max(int32_t(choice->items.size()) - 1, 0);
}

} // namespace

MpStartScreen::MpStartScreen(FrontEnd& frontEnd)
    : FrontEndPage(frontEnd.engine, SharedString("MPStart"), SharedString("MPStart.ZKT")), frontEnd_(frontEnd),
      startReceiver_(*this) {
    if (MenuCanvas* canvas = GetMenuCanvas()) {
        readyPictures_[0].reset(canvas->LoadPicture(SharedString("Traffic1.ZKT"), kFlipRows));
        readyPictures_[1].reset(canvas->LoadPicture(SharedString("Traffic2.ZKT"), kFlipRows));
    }
}

MpStartScreen::~MpStartScreen() = default;

ChatWidget* MpStartScreen::Chat() const {
    return widgets.size() > size_t(kChatBox) ? dynamic_cast<ChatWidget*>(widgets[kChatBox]) : nullptr;
}

int32_t MpStartScreen::CarCount() const { return CarCatalogue::Instance().Count(); }

void MpStartScreen::TakeSession(std::unique_ptr<ZKClient> client, std::unique_ptr<ZKServer> server) {
    server_ = std::move(server);
    client_ = std::move(client);
}

// ---------------------------------------------------------------------------------------------
// Activation

void MpStartScreen::Activate() {
    FrontEndPage::Activate();
    CarDefinition::LoadAll();
    carPictures_.clear();
    MenuCanvas* canvas = GetMenuCanvas();
    for (const CarDefinition* car : CarCatalogue::Instance().Entries())
        carPictures_.emplace_back(
            canvas ? canvas->LoadPicture(SharedString::Format("Vehicles\\%s\\MPImage.ZKT", car->name.c_str()), kFlipRows)
                   : nullptr);

    ChatWidget* chat = Chat();
    if (chat) chat->ClearLines();
    if (server_) {
        session = SessionBlock{};
        session.gameType = uint32_t(std::clamp(frontEnd_.lobbyGameType.cachedInt, 0, kLobbyGameTypes - 1));
        session.random = uint32_t(plat::EngineRand() & plat::kEngineRandMax);
        session.firstSetting = uint8_t(std::clamp(frontEnd_.lobbyFirstSetting.cachedInt, 0, 255));
        session.secondSetting = uint8_t(std::clamp(frontEnd_.lobbySecondSetting.cachedInt, 0, 255));
        session.state = SessionBlock::kOpen;
        server_->SetSessionDesc(frontEnd_.lobbySessionName.cachedText, 8);
        if (chat) server_->AddChannel(&chat->serverEnd);
    }
    if (client_) {
        if (chat) client_->AddChannel(&chat->clientEnd);
        client_->AddChannel(&startReceiver_);
    }
    playerName = frontEnd_.settings.playerName;
    frontEnd_.lobbySessionName.Set(frontEnd_.settings.sessionName);

    player = PlayerBlock{};
    player.car = ClampCarIndex(1, CarCount());
    if (client_) SendPlayerData();
    if (server_) PublishSession();
    frontEnd_.lobbyTeam.Set(int32_t(0));

    const bool host = Hosting();
    for (int32_t w : {kSessionName, kFirstSetting, kSecondSetting, kGameTypeChoice})
        widgets[size_t(w)]->SetEnabled(host && (w != kGameTypeChoice || CarCount() > 0));
    widgets[kBackButton]->SetEnabled(true);
    widgets[kStartButton]->SetEnabled(false);
}

// ---------------------------------------------------------------------------------------------
// Options

void MpStartScreen::SendPlayerData() {
    if (!client_) return;
    frontEnd_.settings.playerName = playerName;
    uint8_t bytes[PlayerBlock::kSize];
    player.Write(bytes);
    client_->SetPlayerInfo(playerName, bytes, sizeof bytes);
}

void MpStartScreen::PublishSession() {
    if (!server_) return;
    uint8_t bytes[SessionBlock::kSize];
    session.Write(bytes);
    server_->SetServerInfo(frontEnd_.lobbySessionName.cachedText, bytes, sizeof bytes);
}

void MpStartScreen::SetPlayerName(const SharedString& name) {
    playerName = name.Clone();
    if (client_) SendPlayerData();
}

void MpStartScreen::SetSessionName(const SharedString& name) {
    if (server_) server_->SetSessionDesc(name, 8);
}

void MpStartScreen::SetGameType(int32_t type) {
    // The choices hand their first value over while the page is still being built.
    if (CarCount() <= 0 || widgets.size() != size_t(kLobbyWidgetCount)) return;
    type = std::clamp(type, 0, kLobbyGameTypes - 1);
    widgets[kTeamChoice]->SetEnabled(type == kLobbyTeamGame);
    session.gameType = uint32_t(type);
    PublishSession();
}

void MpStartScreen::SetFirstSetting(int32_t value) {
    session.firstSetting = uint8_t(std::clamp(value, 0, 255));
    PublishSession();
}

void MpStartScreen::SetSecondSetting(int32_t value) {
    session.secondSetting = uint8_t(std::clamp(value, 0, 255));
    PublishSession();
}

void MpStartScreen::SetTeam(int32_t team) {
    player.team = uint32_t(std::clamp(team, 0, int32_t(kLobbyTeams) - 1));
    if (client_) SendPlayerData();
}

void MpStartScreen::StartGame() {
    if (!server_) return;
    session.state = SessionBlock::kStarting;
    PublishSession();
    const uint8_t start = kLobbyStartChannel;
    server_->SendTo(&start, 1, -1, 0.0f, false, true, false);
}

void MpStartScreen::Leave() {
    session.state = SessionBlock::kClosed;
    PublishSession();
    if (client_) client_->Disconnect();
    server_.reset();
    client_.reset();
}

void MpStartScreen::ToggleReady() {
    player.ready = IsReady() ? 0 : 1;
    widgets[kBackButton]->SetEnabled(!IsReady());
    SetSelected(kChatBox);
    if (client_) SendPlayerData();
    if (server_) {
        session.state = IsReady() ? SessionBlock::kHostReady : SessionBlock::kOpen;
        PublishSession();
    }
}

void MpStartScreen::StepCar(int32_t step) {
    const int32_t count = CarCount();
    if (count <= 0) return;
    const int32_t car = int32_t(ClampCarIndex(player.car, count));
    player.car = uint32_t(((car + step) % count + count) % count);
    SendPlayerData();
}

// ---------------------------------------------------------------------------------------------
// Input

int32_t MpStartScreen::OwnIndex() const {
    if (!client_) return -1;
    const int32_t own = client_->GetOwnIndex();
    return own >= 0 && own < int32_t(client_->GetPlayers().size()) ? own : -1;
}

bool MpStartScreen::Released(uint32_t button, const Rect& rect) const {
    InputDevice* input = engine.input;
    if (!input || !input->MouseReleased(button)) return false;
    const Point2i* cursor = input->GetCursorPosition();
    return cursor && Inside(rect, *cursor);
}

void MpStartScreen::HandleInput() {
    // A lost (or never made) connection leaves the lobby.
    if (!client_ || !client_->IsConnected()) {
        widgets[kBackButton]->Fire(kFireAccept);
        return;
    }
    // Not while a name or a chat line is being typed (navigation is off then).
    if (fade == 0.0f && navigation) {
        InputDevice* input = engine.input;
        if (input && (!IsReady() || Hosting())) {
            client_->Lock();
            const bool ownRowSelected = OwnIndex() >= 0 && selected == OwnIndex();
            client_->Unlock();
            if (ownRowSelected) {
                if (input->Repeat(kKeyLeft, 0.25f, 0.05f)) StepCar(1);
                if (input->Repeat(kKeyRight, 0.25f, 0.05f)) StepCar(-1);
            }
        }
        ClickReady();
        ClickCar();
    }
    FrontEndPage::HandleInput();
}

void MpStartScreen::ClickReady() {
    const MenuPicture* shown = readyPictures_[IsReady() ? 1 : 0].get();
    if (Released(0, PictureRect(shown, kReadyAt, {kReadyFallbackSize, kReadyFallbackSize}))) ToggleReady();
}

void MpStartScreen::ClickCar() {
    if (!client_ || (IsReady() && !Hosting())) return;
    client_->Lock();
    const int32_t own = OwnIndex();
    client_->Unlock();
    if (own < 0 || own >= kRows) return;
    const int32_t car = int32_t(ClampCarIndex(player.car, CarCount()));
    const MenuPicture* picture = car < CarPictureCount() ? carPictures_[size_t(car)].get() : nullptr;
    const Rect rect = PictureRect(picture, {kCarPicturesAt.x, kCarPicturesAt.y + kRowStep * own}, kCarFallbackSize);
    if (Released(0, rect)) StepCar(-1);
    else if (Released(1, rect)) StepCar(1);
}

// ---------------------------------------------------------------------------------------------
// Update

void MpStartScreen::FollowHost() {
    client_->Lock();
    SessionBlock received;
    const std::vector<uint8_t>& data = client_->GetServerData();
    const bool has = client_->HasServerInfo() && SessionBlock::Read(data.data(), data.size(), received);
    const SharedString hostName = has ? client_->GetServerName() : SharedString();
    client_->Unlock();
    if (!has) return;

    if (frontEnd_.lobbySessionName.cachedText.View() != hostName.View()) frontEnd_.lobbySessionName.Set(hostName);
    uint8_t before[SessionBlock::kSize], after[SessionBlock::kSize];
    session.Write(before);
    received.Write(after);
    if (std::memcmp(before, after, SessionBlock::kComparedBytes) != 0 && IsReady()) {
        player.ready = 0;
        widgets[kBackButton]->SetEnabled(true);
        SendPlayerData();
    }
    const int32_t type = std::min(int32_t(received.gameType), LastItem(widgets[kGameTypeChoice]));
    if (type != frontEnd_.lobbyGameType.cachedInt) {
        frontEnd_.lobbyGameType.Set(type);
        if (type == 0) SendPlayerData();
    }
    // The host's limits, within what the choices list.
    const int32_t first = std::min(int32_t(received.firstSetting), LastItem(widgets[kFirstSetting]));
    const int32_t second = std::min(int32_t(received.secondSetting), LastItem(widgets[kSecondSetting]));
    if (first != frontEnd_.lobbyFirstSetting.cachedInt) frontEnd_.lobbyFirstSetting.Set(first);
    if (second != frontEnd_.lobbySecondSetting.cachedInt) frontEnd_.lobbySecondSetting.Set(second);
    session = received;
}

void MpStartScreen::ShowPlayers() {
    client_->Lock();
    const std::vector<ClientPlayerEntry>& players = client_->GetPlayers();
    const int32_t own = OwnIndex();
    bool allReady = !players.empty();
    const size_t shown = std::min(players.size(), size_t(kRows));
    for (size_t k = 0; k < players.size(); ++k) {
        PlayerBlock block;
        const bool has = PlayerBlock::Read(players[k].data.data(), players[k].data.size(), block);
        if (!has || !block.IsReady()) allReady = false;
        if (k >= shown || !has) continue;
        auto* row = static_cast<TextEditWidget*>(widgets[k]);
        row->caption = players[k].name;
        row->textColor = RowColour(block.IsReady() ? kReadyColour : kWaitingColour);
        row->SetEnabled(int32_t(k) == own && !block.IsReady());
    }
    client_->Unlock();
    for (size_t k = shown; k < size_t(kRows); ++k) {
        auto* row = static_cast<TextWidget*>(widgets[k]);
        row->caption = SharedString("");
        row->SetEnabled(false);
    }
    widgets[kStartButton]->SetEnabled(Hosting() && allReady);
    widgets[kTeamChoice]->SetEnabled(frontEnd_.lobbyGameType.cachedInt == kLobbyTeamGame);
}

void MpStartScreen::Update() {
    FrontEndPage::Update();
    if (!client_) return;
    if (!server_) FollowHost();
    // Chat lines and the start arrive here; the start hands the client over to the game.
    client_->Update(engine.FrameTime());
    if (!client_) return;
    ShowPlayers();
}

// ---------------------------------------------------------------------------------------------
// Drawing

void MpStartScreen::DrawWidgets() {
    FrontEndPage::DrawWidgets();
    MenuCanvas* canvas = GetMenuCanvas();
    if (!canvas) return;
    Color white;
    white.a = menu_detail::AlphaByte(1.0f - fade);
    if (client_) {
        const bool teams = frontEnd_.lobbyGameType.cachedInt == kLobbyTeamGame;
        const SharedString teamText = teams ? engine.Text(kTeamText) : SharedString();
        client_->Lock();
        const std::vector<ClientPlayerEntry>& players = client_->GetPlayers();
        for (size_t k = 0; k < std::min(players.size(), size_t(kRows)); ++k) {
            PlayerBlock block;
            if (!PlayerBlock::Read(players[k].data.data(), players[k].data.size(), block)) continue;
            const Vector2 at{float(kCarPicturesAt.x), float(kCarPicturesAt.y + kRowStep * int32_t(k))};
            const uint32_t car = ClampCarIndex(block.car, CarPictureCount());
            if (car < uint32_t(CarPictureCount()) && carPictures_[car])
                canvas->DrawSprite(carPictures_[car].get(), nullptr, at, &white, kMenuDrawAlpha);
            if (teams) {
                const Point2i row = widgets[k]->GetPosition();
                canvas->DrawText(SharedString::Format(" %s %d", teamText.c_str(), int32_t(block.team) + 1),
                                 {float(row.x + 100), float(row.y)}, kMenuAnchorTopLeft, &white,
                                 static_cast<TextWidget*>(widgets[k])->font, true);
            }
        }
        client_->Unlock();
    }
    if (const MenuPicture* ready = readyPictures_[IsReady() ? 1 : 0].get())
        canvas->DrawSprite(ready, nullptr, {float(kReadyAt.x), float(kReadyAt.y)}, &white, kMenuDrawAlpha);
}

// ---------------------------------------------------------------------------------------------
// Start

void MpStartScreen::StartReceiver::Receive(const uint8_t* payload, int32_t size) {
    if (!IsLobbyStartMessage(payload, size)) return;
    owner_.OnStart();
}

void MpStartScreen::OnStart() {
    if (!client_) return;
    const int32_t type = std::clamp(frontEnd_.lobbyGameType.cachedInt, 0, kLobbyGameTypes - 1);
    client_->RemoveChannel(&startReceiver_);
    // The game owns the session from here on and closes it.
    ZKClient* client = client_.release();
    ZKServer* server = server_.release();
    frontEnd_.StartNetworkGame(kFirstMission + type, kFirstKind + type, client, server);
}
