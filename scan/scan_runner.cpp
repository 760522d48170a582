#include "scan/scan_runner.h"

#include <utility>

#include "base/exit_codes.h"
#include "base/text_format.h"
#include "res/texts.h"
#include "scan/scanner_process.h"
#include "scan/worker_thread.h"

// Everything the worker needs. The runner and the worker each hold it, so it
// lives as long as the longer of the two: the window may close (and destroy
// its runner) while the worker still waits for the scanner.
// The UI thread writes commandLine, message and receiver only while idle is
// set; the worker reads them only while it is cleared. The release store of
// idle by the worker and the acquire load in Start order the two.
struct ScanRunner::Job {
  std::string commandLine;
  unsigned message = 0;
  std::shared_ptr<StatusReceiver> receiver;
  std::atomic<uint32_t> exitCode{kNoScanExitCode};
  std::atomic<bool> idle{true};

  void SendStatus(const std::string& text) const {
    if (receiver) receiver->Send(message, text);
  }

  // The scan itself, on the worker thread.
  void Run() {
    SendStatus(texts::kStatusExecuting);
    SendStatus(texts::kStatusThreadStart);

    ScannerProcess process;
    if (!process.Start(commandLine)) {
      SendStatus(FormatText(texts::kStatusCreateProcessFailed, commandLine.c_str()));
      exitCode.store(kNoScanExitCode);
    } else {
      SendStatus(texts::kStatusRunning);
      uint32_t code = 0;
      if (process.WaitForExitCode(&code))
        exitCode.store(code);
      else
        SendStatus(texts::kStatusExitCodeFailed);
      process.Close();
    }

    SendStatus(texts::kStatusThreadDone);
  }
};

ScanRunner::ScanRunner(UserPrompts& prompts)
    : prompts_(prompts), job_(std::make_shared<Job>()), startThread_(StartDetachedThread) {}

ScanRunner::~ScanRunner() = default;

int ScanRunner::Start(std::shared_ptr<StatusReceiver> window, const std::string& commandLine,
                      unsigned message) {
  if (!job_->idle.load(std::memory_order_acquire)) return 0;

  job_->receiver = std::move(window);
  job_->commandLine = commandLine;
  job_->message = message;
  job_->idle.store(false, std::memory_order_relaxed);

  // The worker holds only the job, never this runner.
  std::shared_ptr<Job> job = job_;
  auto work = [job] {
    job->Run();
    // Nothing of the window is kept past the scan.
    job->receiver.reset();
    job->idle.store(true, std::memory_order_release);
  };

  SystemErrorCode error = 0;
  if (!startThread_(std::move(work), &error)) {
    job_->receiver.reset();
    job_->idle.store(true, std::memory_order_release);
    prompts_.ShowError(texts::kErrorCreateThread, error);
  }
  return 0;
}

uint32_t ScanRunner::exitCode() const { return job_->exitCode.load(); }

bool ScanRunner::IsIdle() const { return job_->idle.load(std::memory_order_acquire); }

void ScanRunner::SetThreadStarter(ThreadStarter starter) {
  startThread_ = starter ? std::move(starter) : ThreadStarter(StartDetachedThread);
}
