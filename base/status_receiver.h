// The status channel: the scan worker tells the window how the scan goes.
#pragma once

#include <string>

class StatusReceiver {
 public:
  virtual ~StatusReceiver() = default;
  // Delivers one status message and returns only when the receiver has handled it,
  // or at once when the receiver is gone (the window was closed). Called on
  // the worker thread; text is valid only during the call.
  virtual void Send(unsigned message, const std::string& text) = 0;
};
