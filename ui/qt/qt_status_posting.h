// The status channel of one Qt window: a worker's messages are posted to the
// UI thread's event queue and handed to the dialog there, while the worker
// waits (BlockingStatusChannel). Once closed, nothing more is posted and
// messages still queued are dropped.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ui/blocking_status_channel.h"

class QObject;

namespace ui {

class QtStatusPosting {
 public:
  // deliver runs on the UI thread, only while the channel is open.
  explicit QtStatusPosting(BlockingStatusChannel::Deliver deliver);
  // Closes the channel and discards what is still queued.
  ~QtStatusPosting();
  QtStatusPosting(const QtStatusPosting&) = delete;
  QtStatusPosting& operator=(const QtStatusPosting&) = delete;

  std::shared_ptr<StatusReceiver> Channel() const { return channel_; }
  // Releases a waiting worker; later messages are dropped. UI thread.
  void Close();

 private:
  struct Target;
  std::shared_ptr<Target> target_;
  QObject* context_;  // owned; outlives the target's pointer to it
  std::shared_ptr<BlockingStatusChannel> channel_;
};

}  // namespace ui
