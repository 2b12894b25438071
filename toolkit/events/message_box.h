// Message boxes and the system beep.
//
// MessageBox shows a modal box with a caption, a text, an icon and a set of buttons and
// returns the button the user chose; closing the box any other way answers Cancel where
// the box has one (else OK). The first button is the default one. Texts are code page
// 1252.
//
// Both go through a handler that tests may replace (SetMessageBoxHandler,
// SetBeepHandler) to record what a person would have seen and to answer a box without
// a modal loop; the default handlers show a real box and sound the real beep.
#pragma once

#include <functional>
#include <string>

namespace snyltdyr {

enum class TMsgDlgButtons { Ok, OkCancel, YesNoCancel };
enum class TMsgDlgIcon { None, Stop, Question, Warning, Information };
enum class TModalResult { Ok, Cancel, Yes, No };

struct MessageBoxRequest {
  std::string text;
  std::string caption;
  TMsgDlgButtons buttons = TMsgDlgButtons::Ok;
  TMsgDlgIcon icon = TMsgDlgIcon::None;
};

TModalResult MessageBox(const MessageBoxRequest& request);

using TMessageBoxHandler = std::function<TModalResult(const MessageBoxRequest&)>;
// Replaces the handler; an empty one restores the real box. Returns the previous one.
TMessageBoxHandler SetMessageBoxHandler(TMessageBoxHandler handler);

void Beep();
using TBeepHandler = std::function<void()>;
TBeepHandler SetBeepHandler(TBeepHandler handler);

}  // namespace snyltdyr
