// User prompts that record every question and answer it from a queue (No
// once the queue is empty), and show errors in the program's own error box,
// where a test's ModalAnswers sees them.
#pragma once

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "scan/user_prompts.h"
#include "support/error_box.h"

class FakeUserPrompts : public UserPrompts {
 public:
  using Question = std::pair<std::string, std::string>;  // text, caption

  bool AskYesNo(const std::string& text, const std::string& caption) override {
    questions.emplace_back(text, caption);
    if (answers.empty()) return false;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }

  void ShowError(const std::string& text, SystemErrorCode code) override {
    ShowErrorBox(text, code);
  }

  std::deque<bool> answers;
  std::vector<Question> questions;
};
