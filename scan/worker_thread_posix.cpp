#include "scan/worker_thread.h"

#include <system_error>
#include <thread>
#include <utility>

bool StartDetachedThread(std::function<void()> work, SystemErrorCode* error) {
  try {
    std::thread(std::move(work)).detach();
    return true;
  } catch (const std::system_error& failure) {
    if (error) *error = static_cast<SystemErrorCode>(failure.code().value());
    return false;
  }
}
