#pragma once
// The lobby's chat box: the session's lines in a box, newest lowest, and a line the player
// types and sends. It carries both ends of the chat channel; the lobby registers the server end
// with its server when hosting and the client end with its client.
#include <cstdint>

#include "engine/core/EngineServices.h"
#include "engine/core/InputDevice.h"
#include "engine/core/Widget.h"
#include "engine/net/ChatChannel.h"
#include "game/frontend/LobbyBlocks.h"

class ChatWidget : public TextWidget, private ChatListener {
public:
    static constexpr int32_t kBoxWidth = 390;
    static constexpr int32_t kBoxHeight = 130;
    // A typed line never grows wider than this in the widget's font.
    static constexpr int32_t kTypedWidth = kBoxWidth - 20;
    static constexpr int32_t kTextX = 10;
    // What the box shows under the lines while nobody types.
    static constexpr int32_t kHintText = 220;

    // The engine's services outlive the widget.
    ChatWidget(const SharedString& caption, const Font* font, const EngineServices& engine);
    ~ChatWidget() override;

    // The widget's own click handling, then the box: a click inside a disabled box is refused
    // with the menu's sound.
    bool HandleMouse(const Point2i& point) override;
    // Typing: keeps the line within the box and sends it on Return, numeric Enter or Escape.
    void HandleInput(const Point2i& cursor) override;
    void Update() override;
    void Draw(float alpha) override;
    // Starts typing, or ends it and sends the line.
    void Fire(int32_t kind) override;

    bool IsTyping() const { return typing_; }
    const SharedString& TypedText() const { return typed_.text; }
    const ChatLog& Log() const { return log_; }
    void ClearLines() { log_.Clear(); }
    // The box on the screen.
    Rect Box() const { return {area.left, area.top, area.left + kBoxWidth, area.top + kBoxHeight}; }

    ChatServerChannel serverEnd;
    ChatClientChannel clientEnd;
    // The cursor blink, sin(10 t) of the current screen's time: the cursor shows while above 0.
    float cursorBlink = 0.0f;

private:
    void OnChatLine(SharedString line) override { log_.Add(line.View()); }
    void TrimTyped();

    const EngineServices& engine_;
    TextListener typed_;
    ChatLog log_;
    bool typing_ = false;
};
