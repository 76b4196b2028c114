#pragma once
#include "engine/core/Debugger.h"
#include "engine/core/MLP.h"

// The engine's console. This build's console keeps no scroll-back and draws nothing: its view
// hands every log line to the standard error stream, and opening or closing only changes the
// open state. The engine drives it exactly as it drives the full console.
class zkConsole : public MLP {
public:
    zkConsole();
    ~zkConsole() override;

    // Opening is the console's activate operation.
    void Activate() override { Open(); }
    void Open();
    void Close();
    bool IsOpen() const { return isOpen_; }

    // Per frame while open, and per frame always, with the frame time.
    using MLP::HandleInput;
    using MLP::Update;
    void HandleInput(float dt);
    void Update(float dt);
    void Render() override {}

    // The Debugger's view while the console is the log's output.
    DebuggerView& View() { return view_; }
    // Prints a line straight to the console's output view.
    void Print(const SharedString& line) { view_.Print(line); }

private:
    class OutputView final : public DebuggerView {
    public:
        OutputView();
        void Print(const SharedString& line) override;
    };
    OutputView view_;
    bool isOpen_ = false;
};
