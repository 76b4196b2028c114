#pragma once
// Screen anchoring of the facility's viewport, the engine's counter texts, and the render
// resources the engine loads at start-up ("Missing.ZKT", the default font "Arial" 15).
#include <cstdint>

#include "engine/core/Math.h"
#include "engine/core/SharedString.h"

class RenderFacility;
class ZKEngine;

// Moves both x values and both y values by the anchor offsets, then sets the viewport; null
// sets the whole screen.
void SetViewportAnchored(RenderFacility& facility, const Rect* rect, int32_t anchor);

// The engine's counter-text drawer: the text in the default font, anchored at the right edge.
void DrawCounterText(RenderFacility& facility, const SharedString& text, float x, float y);

// After the device exists: loads the default texture "Missing.ZKT" (the factory's answer to
// every missing texture from then on), creates the default font "Arial" 15 (bold, all
// character sets) for the engine and installs the counter-text drawer.
void LoadDefaultRenderResources(ZKEngine& engine);
