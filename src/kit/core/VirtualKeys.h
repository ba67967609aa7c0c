#pragma once

#include <Qt>

// Keys as the kiosk's handlers name them: the platform-independent virtual-key codes.
namespace vk {

constexpr int Back = 8;
constexpr int Tab = 9;
constexpr int Return = 13;
constexpr int Shift = 16;
constexpr int Control = 17;
constexpr int Menu = 18;
constexpr int Capital = 20;
constexpr int Escape = 27;
constexpr int Space = 32;
constexpr int Left = 37;
constexpr int Up = 38;
constexpr int Right = 39;
constexpr int Down = 40;
constexpr int Delete = 46;
constexpr int F4 = 115;

// The virtual-key code of a Qt key; 0 for a key without one.
int fromQtKey(int qtKey);
// True when Alt is the only modifier held (the keypad modifier does not count).
bool altAlone(Qt::KeyboardModifiers modifiers);

}  // namespace vk
