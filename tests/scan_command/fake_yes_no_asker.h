// A Yes/No asker that records every question and answers from a queue (No
// once the queue is empty).
#pragma once

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "scan/yes_no_asker.h"

class FakeYesNoAsker : public YesNoAsker {
 public:
  using Question = std::pair<std::string, std::string>;  // text, caption

  bool AskYesNo(const std::string& text, const std::string& caption) override {
    questions.emplace_back(text, caption);
    if (answers.empty()) return false;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }

  std::deque<bool> answers;
  std::vector<Question> questions;
};
