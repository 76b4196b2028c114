#include "game/frontend/MpSelectScreen.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "engine/core/Debugger.h"
#include "engine/core/InputDevice.h"
#include "engine/core/MLPStack.h"
#include "engine/core/MenuWidgets.h"
#include "engine/net/ZKClient.h"
#include "engine/net/ZKServer.h"
#include "game/frontend/FrontEnd.h"
#include "game/frontend/LobbyBlocks.h"
#include "game/frontend/MpStartScreen.h"

namespace {

// The state column of a session: its game type while open, else what keeps it closed.
int32_t StateText(const SessionBlock& block) {
    if (block.marker != 1) return MpSelectScreen::kStateTexts + 7;
    switch (block.state) {
    case SessionBlock::kHostReady: return MpSelectScreen::kStateTexts + 4;
    case SessionBlock::kStarting: return MpSelectScreen::kStateTexts + 5;
    case SessionBlock::kClosed: return MpSelectScreen::kStateTexts + 6;
    default: return MpSelectScreen::kStateTexts + int32_t(block.gameType);
    }
}

} // namespace

static_assert(MpSelectScreen::kRows == FrontEnd::kHostRows, "one row widget per listed session");

MpSelectScreen::MpSelectScreen(FrontEnd& frontEnd)
    : FrontEndPage(frontEnd.engine, SharedString("MP Select"), SharedString("MPSelect.ZKT")), frontEnd_(frontEnd) {}

MpSelectScreen::~MpSelectScreen() = default;

void MpSelectScreen::Activate() {
    // A game of an earlier session is over for good: nobody resumes it.
    frontEnd_.CloseNetwork();
    frontEnd_.SetResumeEnabled(false);
    FrontEndPage::Activate();
    client_ = std::make_unique<ZKClient>();
    frontEnd_.hostAddress.Set(SharedString("localhost"));
}

void MpSelectScreen::HandleInput() {
    if (fade == 0.0f)
        if (InputDevice* input = engine.input) {
            if (input->Repeat(kKeyLeft, 0.25f, 0.05f)) SelectPrevious();
            if (input->Repeat(kKeyRight, 0.25f, 0.05f)) SelectNext();
        }
    FrontEndPage::HandleInput();
}

void MpSelectScreen::Update() {
    FrontEndPage::Update();
    RefreshHostList();
}

void MpSelectScreen::RefreshHostList() {
    if (!client_ || engine.FrameNumber() % kQuietFrameEvery == 0) return;
    client_->Update(engine.FrameTime());
    client_->Lock();
    const std::vector<HostRecord>& hosts = client_->GetHosts();
    const size_t shown = std::min(hosts.size(), size_t(FrontEnd::kHostRows));
    for (size_t i = 0; i < shown; ++i) {
        const HostRecord& host = hosts[i];
        SessionBlock block;
        if (!SessionBlock::Read(host.responseData.data(), host.responseData.size(), block)) continue;
        auto* row = static_cast<TextWidget*>(widgets[i]);
        row->caption = host.sessionName;
        row->texts[0].text = host.addressText;
        Shown& was = shown_[i];
        const int32_t state = StateText(block);
        if (state != was.stateText) row->texts[1].text = engine.Text(state);
        if (host.currentPlayers != was.players || host.maxPlayers != was.maxPlayers)
            row->texts[2].text = SharedString::Format("%d/%d", host.currentPlayers, host.maxPlayers);
        if (host.latency != was.latency || was.stateText < 0)
            row->texts[3].text = SharedString::Format("%dms", int32_t(host.latency));
        was = {state, host.currentPlayers, host.maxPlayers, host.latency};
        row->SetEnabled(true);
    }
    for (size_t i = hosts.size(); i < size_t(FrontEnd::kHostRows); ++i) {
        auto* row = static_cast<TextWidget*>(widgets[i]);
        if (selected == int32_t(i)) SelectNext();
        if (shown_[i].stateText >= 0 || row->IsEnabled()) {
            row->caption = SharedString("");
            for (TextEntry& text : row->texts) text.text = SharedString("");
        }
        shown_[i] = Shown{};
        row->SetEnabled(false);
    }
    client_->Unlock();
}

void MpSelectScreen::Enumerate(const SharedString& address) {
    if (client_) client_->EnumerateHosts(SharedString(kSessionTag), address, port);
}

void MpSelectScreen::JoinSelected() {
    if (!client_ || selected < 0 || selected >= FrontEnd::kHostRows) return;
    const size_t index = size_t(selected);
    bool open = false;
    client_->Lock();
    const std::vector<HostRecord>& hosts = client_->GetHosts();
    SessionBlock block;
    if (index < hosts.size() &&
        SessionBlock::Read(hosts[index].responseData.data(), hosts[index].responseData.size(), block))
        open = block.marker == 1 && block.state == SessionBlock::kOpen;
    client_->Unlock();
    // The connect waits for the host's answer, which the network thread applies under the
    // client's lock: it is not held here.
    if (!open || !client_->Connect(int32_t(index))) return;
    frontEnd_.mpStartScreen->TakeSession(std::move(client_), nullptr);
    if (engine.states) engine.states->PushMLP(frontEnd_.mpStartScreen);
}

void MpSelectScreen::Host() {
    if (!client_) return;
    auto server = std::make_unique<ZKServer>(SharedString("Creating..."), SharedString(kSessionTag), port, 1);
    if (server->IsRunning()) {
        // The new session is this machine's, whatever address the list shows.
        client_->EnumerateHosts(SharedString(kSessionTag), SharedString("localhost"), server->GetPort());
        const auto deadline = std::chrono::steady_clock::now() +
                              std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                  std::chrono::duration<float>(kHostWaitSeconds));
        // However long a connection waits for its answer, the whole search ends at the deadline.
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            Debugger::Instance().Log(1, "Trying to connect to local server");
            client_->Update(0.0f);
            if (client_->ConnectToEmptyHost(uint32_t(left.count()))) break;
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                deadline - std::chrono::steady_clock::now(),
                std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<float>(kHostRetrySeconds))));
        }
    } else {
        Debugger::Instance().Message("Could not host a session on port %d", int32_t(port));
    }
    // Opened even when the connection failed: the lobby then leaves at once.
    frontEnd_.mpStartScreen->TakeSession(std::move(client_), std::move(server));
    if (engine.states) engine.states->PushMLP(frontEnd_.mpStartScreen);
}
