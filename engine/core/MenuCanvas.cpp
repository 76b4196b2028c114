#include "engine/core/MenuCanvas.h"

#include <atomic>

namespace {
std::atomic<MenuCanvas*> g_canvas{nullptr};
} // namespace

void SetMenuCanvas(MenuCanvas* canvas) { g_canvas.store(canvas); }
MenuCanvas* GetMenuCanvas() { return g_canvas.load(); }
