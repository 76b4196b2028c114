#include "engine/core/Console.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>

#include "engine/audio/AudioDevice.h"
#include "engine/core/Engine.h"

namespace {

constexpr const char* kLogFileName = "zkConsole.log";
constexpr const char* kBackgroundName = "Console.ZKT";
constexpr const char* kSoundName = "Console.WAV";

} // namespace

// --- output view and own commands ---

zkConsole::OutputView::OutputView(zkConsole& owner) : owner_(owner) {
    name = SharedString("zkEngine default graphical console");
}

void zkConsole::OutputView::Print(const SharedString& line) { owner_.AddLine(line); }

zkConsole::SetBufferCommand::SetBufferCommand(zkConsole& console)
    : ConsoleCommand(SharedString("SETBUFFER")), console_(console) {}

void zkConsole::SetBufferCommand::Execute(const SharedString& arguments) {
    int32_t n = arguments.ToInt(0);
    console_.maxLines_ = n < kMinLines ? kMinLines : n;
}

zkConsole::SetInputBufferCommand::SetInputBufferCommand(zkConsole& console)
    : ConsoleCommand(SharedString("SETINPUTBUFFER")), console_(console) {}

void zkConsole::SetInputBufferCommand::Execute(const SharedString& arguments) {
    int32_t n = arguments.ToInt(0);
    console_.maxHistory_ = n < kMinHistory ? kMinHistory : n;
}

// --- life ---

zkConsole::zkConsole() : view_(*this), setBuffer_(*this), setInputBuffer_(*this) {
    name = SharedString("zkConsole");
    logFile_ = std::make_unique<TextFileWriter>(SharedString(kLogFileName), true);
    input_.text = SharedString("");
    prompt_ = SharedString("> ");
    caret_ = SharedString("_");
    AddCommand(&setBuffer_);
    AddCommand(&setInputBuffer_);
}

zkConsole::~zkConsole() {
    // Leave the log first: lines logged from now on wait in the Debugger's queue.
    if (Debugger::Instance().GetView() == &view_) Debugger::Instance().SetView(nullptr);
    ZKEngine* engine = ZKEngine::Get();
    if (listening_ && engine && engine->input) engine->input->RemoveTextListener(&input_);
    // The voice belongs to the sound device; once the device is gone it is gone with it.
    if (sound_ && engine && engine->sound) engine->sound->ReleaseVoice(sound_);
    sound_ = nullptr;
    logFile_.reset();
}

void zkConsole::Open() {
    ZKEngine* engine = ZKEngine::Get();
    if (!openedOnce_) {
        openedOnce_ = true;
        // A missing file or device leaves the voice null; every use below checks it.
        if (engine && engine->sound) {
            sound_ = engine->sound->CreateSound(SharedString(kSoundName));
            if (sound_) engine->masterVolume.AttachChild(sound_);
        }
    }
    if (!backgroundLoaded_ && canvas_) {
        backgroundLoaded_ = true;
        canvas_->LoadBackground(SharedString(kBackgroundName));
    }
    isOpen_ = true;
    if (sound_) sound_->Play(false);
    if (engine && engine->input) {
        // Never listed twice: a second Open only brings the line to the front.
        if (listening_) engine->input->RemoveTextListener(&input_);
        engine->input->AddTextListener(&input_);
        listening_ = true;
    }
}

void zkConsole::SetCanvas(ConsoleCanvas* canvas) {
    canvas_ = canvas;
    backgroundLoaded_ = false;
    if (openedOnce_ && canvas_) {
        backgroundLoaded_ = true;
        canvas_->LoadBackground(SharedString(kBackgroundName));
    }
}

void zkConsole::Close() {
    isOpen_ = false;
    if (sound_) sound_->Play(false);
    ZKEngine* engine = ZKEngine::Get();
    if (listening_ && engine && engine->input) engine->input->RemoveTextListener(&input_);
    listening_ = false;
}

// --- scroll-back ---

void zkConsole::AddLine(const SharedString& line) {
    std::lock_guard<Mutex> g(mutex_);
    lines_.push_front(line);
    if (logFile_) logFile_->WriteLine(line);
}

std::vector<SharedString> zkConsole::Lines() {
    std::lock_guard<Mutex> g(mutex_);
    return {lines_.begin(), lines_.end()};
}

size_t zkConsole::LineCount() {
    std::lock_guard<Mutex> g(mutex_);
    return lines_.size();
}

// --- input ---

void zkConsole::Recall(int32_t index) {
    if (index < 0 || index >= int32_t(history_.size())) return;
    // A block of its own: the input device edits the line in place.
    input_.text = history_[size_t(index)].Clone();
    input_.cursor = input_.text.Length();
}

void zkConsole::HandleInput(float) {
    ZKEngine* engine = ZKEngine::Get();
    InputDevice* input = engine ? engine->input : nullptr;
    if (!input) return;

    if (input->Repeat(kKeyUp, kRepeatDelay, kRepeatInterval)) {
        int32_t last = std::min(int32_t(history_.size()), maxHistory_) - 1;
        historyIndex_ = std::min(historyIndex_ + 1, last);
        if (historyIndex_ != -1) Recall(historyIndex_);
    }
    if (input->Repeat(kKeyDown, kRepeatDelay, kRepeatInterval)) {
        historyIndex_ = std::max(historyIndex_ - 1, 0);
        if (!history_.empty()) Recall(historyIndex_);
    }

    // The line never grows wider than the screen; an empty line ends the trimming.
    if (canvas_) {
        const int32_t limit = canvas_->ScreenWidth() - 30;
        int32_t length = input_.text.Length();
        while (length > 0 && canvas_->TextWidth(input_.text, 0, length) > limit) --length;
        if (length < input_.text.Length()) {
            input_.text.Assign(input_.text.c_str(), length);
            input_.cursor = std::min(input_.cursor, length);
        }
    }

    if (!input->Repeat(kKeyReturn, kRepeatDelay, kRepeatInterval) &&
        !input->Repeat(kKeyPadEnter, kRepeatDelay, kRepeatInterval))
        return;
    Submit();
}

void zkConsole::Submit() {
    // Trimmed into a block of its own, so upper-casing leaves the typed line alone.
    SharedString line = input_.text.Trim();
    line.ToUpper();

    SharedString typed = input_.text;
    Print(typed);
    history_.push_front(typed);
    historyIndex_ = -1;
    input_.text = SharedString("");
    input_.cursor = 0;

    const int32_t blank = line.Find(' ');
    SharedString command = line.Mid(0, blank);
    SharedString arguments = blank + 1 < line.Length() ? line.Tail(blank + 1) : SharedString("");
    Dispatch(command, arguments);
}

void zkConsole::Dispatch(const SharedString& command, const SharedString& arguments) {
    ZKEngine* engine = ZKEngine::Get();
    if (engine) {
        if (engine->currentMLP && engine->currentMLP->ExecuteCommand(command, arguments)) return;
        if (engine->ExecuteCommand(command, arguments)) return;
    }
    if (ExecuteCommand(command, arguments)) return;
    Print(SharedString("Command not recognized"));
}

// --- frame ---

void zkConsole::Update(float dt) {
    // The console is never current, so it keeps its own time for the caret.
    timeCurrent += dt;
    blink_ = std::sin(timeCurrent * 10.0f);
    openness_ = isOpen_ ? std::min(openness_ + dt, 1.0f) : std::max(openness_ - dt, 0.0f);

    {
        std::lock_guard<Mutex> g(mutex_);
        if (double(lines_.size()) >= double(maxLines_) * 1.25) lines_.resize(size_t(maxLines_));
    }
    if (double(history_.size()) >= double(maxHistory_) * 1.25) history_.resize(size_t(maxHistory_));
}

void zkConsole::Render() {
    if (openness_ <= 0.0f || !canvas_) return;
    Color color;
    color.a = uint8_t(int32_t((openness_ * 0.7f + 0.3f) * 255.0f));

    const int32_t height = canvas_->ScreenHeight();
    const Rect viewport = canvas_->Viewport();
    const int32_t offset = int32_t(-float(height) * (1.0f - openness_));
    const int32_t bottom = viewport.bottom - viewport.top + offset;
    canvas_->DrawBackground(Rect{viewport.left, offset, viewport.right, bottom}, color);

    const int32_t charHeight = canvas_->CharacterHeight();
    const int32_t inputY = bottom - 2 * charHeight;
    // "> %s" of the input line, formatted into storage that is kept from frame to frame.
    char text[1100];
    int n = std::snprintf(text, sizeof text, "> %s", input_.text.c_str());
    prompt_.Assign(text, std::clamp(n, 0, int(sizeof text) - 1));
    canvas_->DrawText(10, inputY, prompt_, 0, prompt_.Length(), color);
    if (blink_ > 0.0f) {
        const int32_t caretX = canvas_->TextWidth(prompt_, 0, prompt_.Length()) + 10;
        canvas_->DrawText(caretX, inputY, caret_, 0, 1, color);
    }

    DrawScrollBack(inputY - 2 * charHeight, color);
}

void zkConsole::DrawScrollBack(int32_t y, Color color) {
    const int32_t step = canvas_->CharacterHeight() + 2;
    const int32_t width = canvas_->ScreenWidth() - 20;
    rows_.clear();
    {
        std::lock_guard<Mutex> g(mutex_);
        for (const SharedString& line : lines_) {
            segments_.clear();
            const int32_t length = line.Length();
            for (int32_t start = 0; start < length;) {
                // At least one character per segment, even one wider than the screen.
                int32_t end = std::clamp(canvas_->FindBreak(line, start, length - start, width), start + 1, length);
                segments_.emplace_back(start, end - start);
                start = end;
            }
            if (segments_.empty()) segments_.emplace_back(0, 0); // an empty line still takes a row
            y -= int32_t(segments_.size()) * step;
            int32_t rowY = y;
            for (const auto& [start, count] : segments_) {
                if (count > 0) rows_.push_back(Row{&line, start, count, rowY});
                rowY += step;
            }
            if (y + step < 0) break;
        }
    }
    // Drawing may log, and the log's lock is always taken before this one, so the rows are
    // drawn after it is let go. The lines stay put meanwhile: only this thread removes lines,
    // and adding at the front moves none of the others.
    for (const Row& row : rows_) canvas_->DrawText(10, row.y, *row.line, row.start, row.count, color);
}
