// A status channel for toolkits without synchronous cross-thread window
// messages: the worker hands each status message to the UI thread and waits until it
// has been handled there. Closing the channel (the window is going away)
// releases a waiting worker and drops every later one; the UI thread
// never waits for the worker, so closing cannot deadlock.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "base/status_receiver.h"

namespace ui {

class BlockingStatusChannel : public StatusReceiver,
                              public std::enable_shared_from_this<BlockingStatusChannel> {
 public:
  // post runs a task later on the UI thread (it is called from the worker);
  // deliver hands a status message to the window, on the UI thread.
  using PostToUiThread = std::function<void(std::function<void()> task)>;
  using Deliver = std::function<void(unsigned message, const std::string& text)>;

  BlockingStatusChannel(PostToUiThread post, Deliver deliver);

  void Send(unsigned message, const std::string& text) override;

  // Called on the UI thread before the window goes away.
  void Close();

 private:
  PostToUiThread post_;
  Deliver deliver_;
  std::mutex mutex_;
  std::condition_variable handled_;
  bool closed_ = false;
  unsigned long long sent_ = 0;          // messages handed over
  unsigned long long handledCount_ = 0;  // messages handled (or dropped)
};

}  // namespace ui
