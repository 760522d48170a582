// The queue between the walk and the engine, and the engines' workers.
#include "bridge/engine.h"

#include <thread>
#include <vector>

namespace bridge {

// The walk, once the queue is full, is woken only when half of it was
// taken, not for every file: one wake-up per file costs a core's worth of
// switching on small files.
bool FileQueue::Push(FileToScan file) {
  std::unique_lock<std::mutex> lock(mutex_);
  notFull_.wait(lock, [&] { return files_.size() < capacity_ || aborted_; });
  if (aborted_) return false;
  files_.push_back(std::move(file));
  if (files_.size() == 1) notEmpty_.notify_one();
  return true;
}

std::optional<FileToScan> FileQueue::Pop() {
  bool done = false;
  std::optional<FileToScan> file;
  while (!file && !done) file = Pop(std::chrono::hours(1), &done);
  return file;
}

std::optional<FileToScan> FileQueue::Pop(std::chrono::milliseconds wait, bool* done) {
  std::unique_lock<std::mutex> lock(mutex_);
  notEmpty_.wait_for(lock, wait, [&] { return !files_.empty() || finished_ || aborted_; });
  *done = aborted_ || (finished_ && files_.empty());
  if (aborted_ || files_.empty()) return std::nullopt;
  FileToScan file = std::move(files_.front());
  files_.pop_front();
  if (files_.size() == capacity_ / 2) notFull_.notify_all();
  if (!files_.empty()) notEmpty_.notify_one();
  return file;
}

void FileQueue::Finish() {
  const std::lock_guard<std::mutex> lock(mutex_);
  finished_ = true;
  notEmpty_.notify_all();
}

void FileQueue::Abort() {
  const std::lock_guard<std::mutex> lock(mutex_);
  aborted_ = true;
  notEmpty_.notify_all();
  notFull_.notify_all();
}

bool FileQueue::Aborted() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return aborted_;
}

void ScanWithWorkers(FileQueue& files, const VerdictSink& sink, unsigned threads,
                     const std::function<Verdict(const FileToScan&)>& scanOne) {
  const auto work = [&] {
    while (std::optional<FileToScan> file = files.Pop()) sink(*file, scanOne(*file));
  };
  std::vector<std::thread> workers;
  for (unsigned i = 1; i < threads; ++i) workers.emplace_back(work);
  work();
  for (std::thread& worker : workers) worker.join();
}

void Engine::ScanAll(FileQueue& files, const VerdictSink& sink) {
  ScanWithWorkers(files, sink, Threads(), [this](const FileToScan& file) { return ScanOne(file); });
}

}  // namespace bridge
