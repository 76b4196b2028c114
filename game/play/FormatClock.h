#pragma once
#include "engine/core/SharedString.h"

// "m:ss" of a time in seconds; negative times show 0:00.
SharedString FormatClock(float seconds);
