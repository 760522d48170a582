#include "ui/qt/qt_status_posting.h"

#include <mutex>

#include <QEvent>
#include <QMetaObject>
#include <QObject>

namespace ui {

namespace {

// The UI thread's context object for posted status messages. Before one
// runs it takes the worker's lock for a moment: it was made under
// that lock, so everything the worker wrote into it is seen to be complete by
// the UI thread through a mutex of our own, not only through Qt's event queue
// (which tools such as ThreadSanitizer cannot see into when Qt is not built
// for them).
class PostContext : public QObject {
 public:
  explicit PostContext(std::mutex& workerLock) : workerLock_(workerLock) {}

  bool event(QEvent* event) override {
    { std::lock_guard guard(workerLock_); }
    return QObject::event(event);
  }

 private:
  std::mutex& workerLock_;
};

}  // namespace

// Where a worker posts its status messages: the context object until the window goes
// away, nothing afterwards. The worker posts under the lock, so the context
// cannot vanish in the middle of a post.
struct QtStatusPosting::Target {
  std::mutex mutex;
  QObject* context = nullptr;
};

QtStatusPosting::QtStatusPosting(BlockingStatusChannel::Deliver deliver)
    : target_(std::make_shared<Target>()), context_(new PostContext(target_->mutex)) {
  target_->context = context_;
  std::shared_ptr<Target> target = target_;
  channel_ = std::make_shared<BlockingStatusChannel>(
      [target](std::function<void()> task) {
        std::lock_guard guard(target->mutex);
        if (target->context)
          QMetaObject::invokeMethod(target->context, std::move(task), Qt::QueuedConnection);
      },
      std::move(deliver));
}

QtStatusPosting::~QtStatusPosting() {
  Close();
  delete context_;  // also discards messages still queued for it
}

void QtStatusPosting::Close() {
  channel_->Close();
  std::lock_guard guard(target_->mutex);
  target_->context = nullptr;
}

}  // namespace ui
