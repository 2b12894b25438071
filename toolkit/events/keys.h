// Keys as the window layer's handlers see them: virtual-key codes and a shift state.
//
// Qt reports keys as Qt::Key values with modifiers; the handlers of the program are
// written against the virtual-key codes of the original keyboard interface (27 Esc,
// 113 F2, 37..40 arrows, 65..90 letters, ...). KeyDown handlers receive the code by
// reference and may set it to 0 to swallow the key.
//
// A key press also yields a character (KeyChar): the byte in code page 1252 that a
// character handler receives, with the control characters the keyboard makes (8
// Backspace, 9 Tab, 13 Enter, 10 Ctrl+Enter, 27 Esc, 1..26 Ctrl+A..Ctrl+Z), or none.
#pragma once

#include <cstdint>
#include <optional>

class QKeyEvent;

namespace snyltdyr {

enum TShiftFlag : unsigned {
  ssShift = 1u << 0,
  ssAlt = 1u << 1,
  ssCtrl = 1u << 2,
  ssLeft = 1u << 3,
  ssDouble = 1u << 4,
};
using TShiftState = unsigned;

// Virtual-key codes the program uses.
namespace vk {
inline constexpr uint16_t Back = 8, Tab = 9, Return = 13, Shift = 16, Control = 17, Menu = 18;
inline constexpr uint16_t Escape = 27, Space = 32, Prior = 33, Next = 34, End = 35, Home = 36;
inline constexpr uint16_t Left = 37, Up = 38, Right = 39, Down = 40;
inline constexpr uint16_t Insert = 45, Delete = 46;
inline constexpr uint16_t F1 = 112, F2 = 113, F3 = 114, F4 = 115;
}  // namespace vk

// The virtual-key code of a key event (0 for a key with none).
uint16_t VirtualKeyOf(const QKeyEvent& event);
TShiftState ShiftStateOf(const QKeyEvent& event);
// The character a key press makes, or none (a function key, an arrow, a character
// outside code page 1252).
std::optional<char> KeyCharOf(const QKeyEvent& event);

}  // namespace snyltdyr
