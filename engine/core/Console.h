#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <utility>
#include <vector>

#include "engine/core/Debugger.h"
#include "engine/core/FileStream.h"
#include "engine/core/InputDevice.h"
#include "engine/core/MLP.h"
#include "engine/core/Math.h"
#include "engine/core/Memory.h"
#include "engine/core/Thread.h"

class AudioVoice;

// What the console draws with: the background picture, the engine's font and the sprite
// renderer live in the render library, which provides this. Without a canvas the console
// keeps working (log, commands, history) and draws nothing.
class ConsoleCanvas {
public:
    virtual ~ConsoleCanvas() = default;
    // Loads the background picture; called on the console's first opening.
    virtual void LoadBackground(const SharedString& name) = 0;
    virtual int32_t ScreenWidth() = 0;
    virtual int32_t ScreenHeight() = 0;
    virtual Rect Viewport() = 0;
    // Line height of the engine's font.
    virtual int32_t CharacterHeight() = 0;
    // Width in the engine's font of `length` characters of the text from `start`.
    virtual int32_t TextWidth(const SharedString& text, int32_t start, int32_t length) = 0;
    // The font's break search over the range: the index of the first character at which the
    // widths so far use up maxWidth; start + length when the range fits.
    virtual int32_t FindBreak(const SharedString& text, int32_t start, int32_t length, int32_t maxWidth) = 0;
    // The background stretched over the rectangle.
    virtual void DrawBackground(const Rect& area, Color color) = 0;
    // A range of the text in the engine's font, left and top aligned at (x, y).
    virtual void DrawText(int32_t x, int32_t y, const SharedString& text, int32_t start, int32_t length,
                          Color color) = 0;
};

// The engine's drop-down console. It is the log's output view: every line shows in its
// scroll-back and goes to "zkConsole.log" (CR LF lines, flushed at once, truncated at each
// start). Typed lines are dispatched to the current MLP, the engine and the console itself.
// The engine owns it, opens and closes it with the console key and drives it every frame.
class zkConsole : public MLP {
public:
    static constexpr int32_t kMinLines = 128;
    static constexpr int32_t kMinHistory = 8;
    static constexpr float kRepeatDelay = 0.25f;
    static constexpr float kRepeatInterval = 0.05f;

    zkConsole();
    ~zkConsole() override;

    // Opening is the console's activate operation.
    void Activate() override { Open(); }
    void Open();
    void Close();
    bool IsOpen() const { return isOpen_; }

    // Per frame while open: history keys, the Enter key and command dispatch.
    using MLP::HandleInput;
    using MLP::Update;
    void HandleInput(float dt);
    // Per frame always: caret blink, sliding, trimming of the scroll-back and history.
    void Update(float dt);
    void Render() override;

    // The Debugger's view while the console is the log's output.
    DebuggerView& View() { return view_; }
    // Prints a line straight to the console's output view.
    void Print(const SharedString& line) { view_.Print(line); }

    // Runs a typed line as Enter does: echo, history, dispatch.
    void Submit();

    // A canvas given after the first opening loads its background at once.
    void SetCanvas(ConsoleCanvas* canvas);
    ConsoleCanvas* Canvas() const { return canvas_; }

    // State, for the engine's tools and tests.
    std::vector<SharedString> Lines();
    size_t LineCount();
    const std::deque<SharedString>& History() const { return history_; }
    TextListener& InputLine() { return input_; }
    int32_t HistoryIndex() const { return historyIndex_; }
    int32_t MaxLines() const { return maxLines_; }
    int32_t MaxHistory() const { return maxHistory_; }
    float Openness() const { return openness_; }
    float Blink() const { return blink_; }

private:
    class OutputView final : public DebuggerView {
    public:
        explicit OutputView(zkConsole& owner);
        void Print(const SharedString& line) override;

    private:
        zkConsole& owner_;
    };
    class SetBufferCommand final : public ConsoleCommand {
    public:
        explicit SetBufferCommand(zkConsole& console);
        void Execute(const SharedString& arguments) override;

    private:
        zkConsole& console_;
    };
    class SetInputBufferCommand final : public ConsoleCommand {
    public:
        explicit SetInputBufferCommand(zkConsole& console);
        void Execute(const SharedString& arguments) override;

    private:
        zkConsole& console_;
    };

    void AddLine(const SharedString& line);
    void Recall(int32_t index);
    void Dispatch(const SharedString& command, const SharedString& arguments);
    void DrawScrollBack(int32_t y, Color color);

    OutputView view_;
    std::unique_ptr<TextFileWriter> logFile_;
    Mutex mutex_; // guards lines_
    bool openedOnce_ = false;      // the voice is made on the first opening
    bool backgroundLoaded_ = false; // by the current canvas
    AudioVoice* sound_ = nullptr;
    std::deque<SharedString> lines_;   // newest first
    std::deque<SharedString> history_; // newest first
    TrackedVector<std::pair<int32_t, int32_t>> segments_; // wrapping scratch: start, count
    struct Row {
        const SharedString* line;
        int32_t start, count, y;
    };
    std::vector<Row> rows_; // the scroll-back rows of one frame, drawn outside the lock
    TextListener input_;
    float blink_ = 0.0f;
    float openness_ = 0.0f;
    int32_t historyIndex_ = -1;
    int32_t maxLines_ = kMinLines;
    int32_t maxHistory_ = kMinHistory;
    bool isOpen_ = false;
    bool listening_ = false;
    ConsoleCanvas* canvas_ = nullptr;
    SharedString prompt_; // "> " and the input line, rebuilt in place each frame
    SharedString caret_;
    SetBufferCommand setBuffer_;
    SetInputBufferCommand setInputBuffer_;
};
