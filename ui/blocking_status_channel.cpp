#include "ui/blocking_status_channel.h"

namespace ui {

BlockingStatusChannel::BlockingStatusChannel(PostToUiThread post, Deliver deliver)
    : post_(std::move(post)), deliver_(std::move(deliver)) {}

void BlockingStatusChannel::Send(unsigned message, const std::string& text) {
  unsigned long long ticket = 0;
  {
    std::lock_guard guard(mutex_);
    if (closed_) return;
    ticket = ++sent_;
  }
  // The task holds a weak reference and its own copy of the text: it may run after
  // the worker stopped waiting (channel closed), or never.
  std::weak_ptr<BlockingStatusChannel> weak = weak_from_this();
  post_([weak, message, copy = text]() {
    std::shared_ptr<BlockingStatusChannel> self = weak.lock();
    if (!self) return;
    {
      std::lock_guard guard(self->mutex_);
      if (self->closed_) return;
    }
    self->deliver_(message, copy);
    std::lock_guard guard(self->mutex_);
    ++self->handledCount_;
    self->handled_.notify_all();
  });
  std::unique_lock lock(mutex_);
  handled_.wait(lock, [&] { return closed_ || handledCount_ >= ticket; });
}

void BlockingStatusChannel::Close() {
  std::lock_guard guard(mutex_);
  closed_ = true;
  handled_.notify_all();
}

}  // namespace ui
