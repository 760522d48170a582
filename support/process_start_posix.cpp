#include <signal.h>

#include "support/process_start.h"

void RestoreDefaultChildSignal() {
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(SIGCHLD, &action, nullptr);
}
