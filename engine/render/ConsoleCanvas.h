#pragma once
// The console's drawing over the renderer: the engine's default font, the facility's sprite
// renderer and a background picture from the texture factory.
#include <memory>

#include "engine/core/Console.h"

class Sprite;
class ZKEngine;

class RenderConsoleCanvas final : public ConsoleCanvas {
public:
    RenderConsoleCanvas();
    ~RenderConsoleCanvas() override;

    void LoadBackground(const SharedString& name) override;
    int32_t ScreenWidth() override;
    int32_t ScreenHeight() override;
    Rect Viewport() override;
    int32_t CharacterHeight() override;
    int32_t TextWidth(const SharedString& text, int32_t start, int32_t length) override;
    int32_t FindBreak(const SharedString& text, int32_t start, int32_t length, int32_t maxWidth) override;
    void DrawBackground(const Rect& area, Color color) override;
    void DrawText(int32_t x, int32_t y, const SharedString& text, int32_t start, int32_t length, Color color) override;

private:
    std::unique_ptr<Sprite> background_;
};

// Gives the engine's console its canvas (kept for the life of the process) and lets the
// console's texture listings reach the texture factory. Call once the default font exists.
void InstallConsoleCanvas(ZKEngine& engine);
