#include "support/modal_answers.h"

#include <utility>

namespace {

// The answers in force; guarded by installMutex. A box may open on the
// worker thread (the runner's error box), so the seam is looked up under it.
std::mutex installMutex;
ModalAnswers* installed = nullptr;

}  // namespace

ModalAnswers::ModalAnswers()
    : ModalAnswers({ModalKind::Question, ModalKind::ErrorBox, ModalKind::FolderPicker,
                    ModalKind::FilePicker}) {}

ModalAnswers::ModalAnswers(std::initializer_list<ModalKind> kinds) {
  for (const ModalKind kind : kinds) kinds_[static_cast<size_t>(kind)] = true;
  std::lock_guard lock(installMutex);
  installed = this;
}

ModalAnswers::~ModalAnswers() {
  std::lock_guard lock(installMutex);
  if (installed == this) installed = nullptr;
}

void ModalAnswers::AnswerQuestions(std::initializer_list<bool> answers) {
  std::lock_guard lock(mutex_);
  questionAnswers_.insert(questionAnswers_.end(), answers);
}

void ModalAnswers::ChooseFolder(std::optional<std::string> folder) {
  std::lock_guard lock(mutex_);
  folder_ = std::move(folder);
}

void ModalAnswers::ChooseFile(std::optional<std::string> file) {
  std::lock_guard lock(mutex_);
  file_ = std::move(file);
}

void ModalAnswers::WhileOpen(ModalKind kind, std::function<void()> action) {
  std::lock_guard lock(mutex_);
  whileOpen_[static_cast<size_t>(kind)] = std::move(action);
}

std::vector<ModalBox> ModalAnswers::Opened(ModalKind kind) const {
  std::lock_guard lock(mutex_);
  std::vector<ModalBox> boxes;
  for (const ModalBox& box : opened_)
    if (box.kind == kind) boxes.push_back(box);
  return boxes;
}

void ModalAnswers::ForgetOpened() {
  std::lock_guard lock(mutex_);
  opened_.clear();
}

bool AnswerFromTest(const ModalBox& box, ModalAnswer* answer) {
  std::function<void()> whileOpen;
  ModalAnswers* answers = nullptr;
  {
    std::lock_guard lock(installMutex);
    const size_t kind = static_cast<size_t>(box.kind);
    if (!installed || !installed->kinds_[kind]) return false;
    answers = installed;
    std::lock_guard own(answers->mutex_);
    answers->opened_.push_back(box);
    whileOpen = answers->whileOpen_[kind];
  }
  // Outside the locks: what runs while the box is open may open another.
  if (whileOpen) whileOpen();
  std::lock_guard own(answers->mutex_);
  *answer = {};
  switch (box.kind) {
    case ModalKind::Question:
      if (answers->nextQuestionAnswer_ < answers->questionAnswers_.size())
        answer->yes = answers->questionAnswers_[answers->nextQuestionAnswer_++];
      break;
    case ModalKind::FolderPicker:
      answer->path = answers->folder_;
      break;
    case ModalKind::FilePicker:
      answer->path = answers->file_;
      break;
    case ModalKind::ErrorBox:
      break;
  }
  return true;
}
