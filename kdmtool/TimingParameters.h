// The fourteen timing values of the unit that the timing window adjusts, and
// where each lies in the unit's timing register block.
#pragma once

#include <array>

namespace kdmtool {

// Offsets count from the first byte of the register block (mirror offsets).
// A two-byte value keeps its high byte two registers above its low byte; the
// register between them belongs to no value and is carried along unchanged.
struct TimingParameter {
    const char *name; // also the name of its scroll bar control
    int frame;        // 1 to 4: the frame of the timing window that shows it
    int row;          // its row in that frame, from the top
    int width;        // bytes: 1 or 2
    int maximum;      // 4095 for two bytes, 255 for one; the minimum is 0
    int lowOffset;    // the value, or its low byte
    int highOffset;   // its high byte; -1 for a one-byte value
    int groupOffset;  // first of the four registers written together with it
};

// In the order in which the window sets its scroll bars from the mirror.
inline constexpr std::array<TimingParameter, 14> TimingParameters{{
    {"h2pos", 1, 0, 2, 4095, 2, 4, 2},
    {"v2pos", 1, 1, 2, 4095, 6, 8, 6},
    {"h2size", 1, 2, 2, 4095, 10, 12, 10},
    {"v2size", 1, 3, 2, 4095, 14, 16, 14},
    {"clamp_start", 2, 0, 1, 255, 18, -1, 18},
    {"clamp_width", 2, 1, 1, 255, 20, -1, 20},
    {"hst", 3, 0, 2, 4095, 40, 42, 40},
    {"vst", 3, 1, 2, 4095, 44, 46, 44},
    {"hsw", 3, 2, 1, 255, 48, -1, 48},
    {"vsw", 3, 3, 1, 255, 50, -1, 50},
    {"ph1pos", 4, 0, 2, 4095, 54, 56, 54},
    {"ph1size", 4, 2, 2, 4095, 58, 60, 58},
    {"pv1pos", 4, 1, 2, 4095, 62, 64, 62},
    {"pv1size", 4, 3, 2, 4095, 66, 68, 66},
}};

} // namespace kdmtool
