#include "support/error_box.h"

#include "base/text_format.h"
#include "res/texts.h"
#include "support/modal_answers.h"

std::string FormatErrorBoxText(const std::string& text, const SystemError& error) {
  std::string result = text;
  if (error.code == 0) return result;
  // Without a description the code alone is not shown either.
  const std::string description =
      error.description.empty() ? SystemErrorText(error.code) : error.description;
  if (description.empty()) return result;
  result += FormatText(texts::kErrorCodeLine, static_cast<unsigned>(error.code));
  result += FormatText(texts::kErrorMessageLine, description.c_str());
  return result;
}

std::string FormatErrorBoxText(const std::string& text, SystemErrorCode code) {
  return FormatErrorBoxText(text, SystemError{code, {}});
}

void ShowErrorBox(const std::string& text, SystemErrorCode code) {
  ShowErrorBox(text, SystemError{code, {}});
}

void ShowErrorBox(const std::string& text, const SystemError& error) {
  const ModalBox box{ModalKind::ErrorBox, FormatErrorBoxText(text, error), texts::kErrorBoxCaption};
  ModalAnswer answer;
  if (!AnswerFromTest(box, &answer)) ShowSystemErrorBox(box.text, box.caption);
}
