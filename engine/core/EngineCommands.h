#pragma once
#include "engine/core/SharedString.h"

class ZKEngine;

// Registers the engine's seventeen console commands with the engine's command map, in their
// fixed order. The command objects live as long as the process and act on the engine that
// exists when they run.
void RegisterEngineCommands(ZKEngine& engine);

// The texture listings of "USEDTEX" and "UNUSEDTEX" belong to the texture factory, which
// lives above the core; it provides them here. Without them the commands say so in the log.
using TextureListing = void (*)();
void SetTextureListings(TextureListing listLoaded, TextureListing listUnused);

// The on/off argument of the switch commands: after leading blanks '0' switches off, '1' on,
// anything else (also nothing) toggles the current state.
bool OnOffArgument(const SharedString& arguments, bool current);
