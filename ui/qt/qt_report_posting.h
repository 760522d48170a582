// The report channel of one Qt window: a worker's reports are posted to the
// UI thread's event queue and handed to the dialog there, while the worker
// waits (BlockingReportChannel). Once closed, nothing more is posted and
// reports still queued are dropped.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ui/blocking_report_channel.h"

class QObject;

namespace ui {

class QtReportPosting {
 public:
  // deliver runs on the UI thread, only while the channel is open.
  explicit QtReportPosting(BlockingReportChannel::Deliver deliver);
  // Closes the channel and discards what is still queued.
  ~QtReportPosting();
  QtReportPosting(const QtReportPosting&) = delete;
  QtReportPosting& operator=(const QtReportPosting&) = delete;

  std::shared_ptr<StatusReceiver> Channel() const { return channel_; }
  // Releases a waiting worker; later reports are dropped. UI thread.
  void Close();

 private:
  struct Target;
  std::shared_ptr<Target> target_;
  QObject* context_;  // owned; outlives the target's pointer to it
  std::shared_ptr<BlockingReportChannel> channel_;
};

}  // namespace ui
