// The one seam through which tests answer the program's modal boxes: the
// Yes/No question, the error box and the two pickers. Each box asks here
// first; while a ModalAnswers is alive and takes that kind of box, the box is
// recorded and answered from it and nothing shows. Otherwise the system's box
// opens as usual.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

enum class ModalKind {
  Question,      // Yes/No, warning icon, No as the default
  ErrorBox,      // OK, error icon
  FolderPicker,  // the folder browser
  FilePicker,    // the report's save-file picker
};
inline constexpr size_t kModalKinds = 4;

// A box as it was opened: for a question or an error box its text and
// caption; for a picker the place it starts from and its title.
struct ModalBox {
  ModalKind kind;
  std::string text;
  std::string caption;
};

// What a box was answered with: Yes (a question) or the chosen path (a
// picker; nothing means cancelled). An error box has nothing to answer.
struct ModalAnswer {
  bool yes = false;
  std::optional<std::string> path;
};

// For the boxes themselves: true when a test answers box, with its answer in
// *answer; false when the system's box is to be shown. Any thread.
bool AnswerFromTest(const ModalBox& box, ModalAnswer* answer);

class ModalAnswers {
 public:
  // Answers every kind of box, or only those given (the others show).
  ModalAnswers();
  explicit ModalAnswers(std::initializer_list<ModalKind> kinds);
  ~ModalAnswers();
  ModalAnswers(const ModalAnswers&) = delete;
  ModalAnswers& operator=(const ModalAnswers&) = delete;

  // Questions take these answers in turn, and No once they are used up.
  void AnswerQuestions(std::initializer_list<bool> answers);
  // Each picker of a kind returns its path until another is given; nothing
  // (the default) means the user cancelled.
  void ChooseFolder(std::optional<std::string> folder);
  void ChooseFile(std::optional<std::string> file);
  // Runs while a box of kind is open (it is modal), before it is answered,
  // on the thread that opened it.
  void WhileOpen(ModalKind kind, std::function<void()> action);

  // The boxes of a kind that were opened, in order.
  std::vector<ModalBox> Opened(ModalKind kind) const;
  void ForgetOpened();

 private:
  friend bool AnswerFromTest(const ModalBox& box, ModalAnswer* answer);

  // Plain arrays rather than maps and sets: this is linked into the shipped
  // program, whose size matters.
  std::array<bool, kModalKinds> kinds_{};
  mutable std::mutex mutex_;
  std::vector<ModalBox> opened_;
  std::vector<bool> questionAnswers_;
  size_t nextQuestionAnswer_ = 0;
  std::optional<std::string> folder_;
  std::optional<std::string> file_;
  std::array<std::function<void()>, kModalKinds> whileOpen_;
};
