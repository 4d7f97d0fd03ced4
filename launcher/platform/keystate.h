#pragma once

#include <functional>

namespace vadok {

// Virtual-key codes the settings store (AppCallEnd, PackKey).
inline constexpr int kVkShift = 16;
inline constexpr int kVkControl = 17;

// True while the key with this virtual-key code is held down. Only Shift and Ctrl can be
// asked on this platform; any other code reads as not held.
bool isKeyDown(int virtualKey);

// Tests replace the keyboard with a function of their own; an empty function restores it.
void setKeyStateSource(std::function<bool(int virtualKey)> source);

} // namespace vadok
