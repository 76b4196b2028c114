#include "game/play/FormatClock.h"

#include <cmath>

SharedString FormatClock(float seconds) {
    // Negative, NaN and absurdly large times are no clock reading: they show as 0:00 / capped.
    if (!(seconds > 0.0f)) seconds = 0.0f;
    if (seconds > 1.0e8f) seconds = 1.0e8f;
    const int32_t minutes = int32_t(seconds * 0.016666668f);
    const int32_t rest = int32_t(seconds - float(minutes) * 60.0f);
    return rest < 10 ? SharedString::Format("%d:0%d", minutes, rest) : SharedString::Format("%d:%d", minutes, rest);
}
