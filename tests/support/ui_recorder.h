// Records what a person would have seen of message boxes and beeps during a widget test,
// and answers each box with the next of a list of answers (OK when the list runs out).
//
//   testsupport::UiRecorder ui;            // installed until it goes out of scope
//   ui.answers = {TModalResult::Cancel};
//   ... QTest events ...
//   EXPECT_EQ(ui.boxes.size(), 1u);  ui.boxes[0].text, .caption, .icon, .buttons
#pragma once

#include <deque>
#include <vector>

#include "toolkit/events/message_box.h"

namespace snyltdyr::testsupport {

class UiRecorder {
 public:
  UiRecorder() {
    previous_box_ = SetMessageBoxHandler([this](const MessageBoxRequest& request) {
      boxes.push_back(request);
      if (answers.empty()) return TModalResult::Ok;
      const TModalResult answer = answers.front();
      answers.pop_front();
      return answer;
    });
    previous_beep_ = SetBeepHandler([this] { ++beeps; });
  }
  ~UiRecorder() {
    SetMessageBoxHandler(std::move(previous_box_));
    SetBeepHandler(std::move(previous_beep_));
  }
  UiRecorder(const UiRecorder&) = delete;
  UiRecorder& operator=(const UiRecorder&) = delete;

  std::vector<MessageBoxRequest> boxes;
  std::deque<TModalResult> answers;
  int beeps = 0;

 private:
  TMessageBoxHandler previous_box_;
  TBeepHandler previous_beep_;
};

}  // namespace snyltdyr::testsupport
