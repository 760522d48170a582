// The walk of the targets and the daemon's workers.
#include "clamd_scan.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <regex>
#include <thread>

#include "bridge_texts.h"
#include "clamd_client.h"

namespace bridge {

namespace fs = std::filesystem;

namespace {

std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// The folder as clamscan's --exclude-dir patterns see it.
std::string PatternPath(const fs::path& dir) {
  std::string text = Utf8(dir);
  if (NativePathStyle() == PathStyle::kWindows) std::replace(text.begin(), text.end(), '\\', '/');
  return text;
}

class Walker {
 public:
  Walker(const std::vector<std::regex>& excluded, const WalkCallbacks& callbacks)
      : excluded_(excluded), callbacks_(callbacks) {}

  // False when the walk was ended.
  bool Folder(const fs::path& dir, bool recursive) {
    ++directories_;
    std::error_code error;
    fs::directory_iterator it(dir, error), end;
    if (error) {
      callbacks_.error(Utf8(dir), error.message());
      return true;
    }
    for (; it != end; it.increment(error)) {
      const fs::directory_entry& entry = *it;
      std::error_code kindError;
      const fs::file_status status = entry.symlink_status(kindError);
      if (fs::is_regular_file(status)) {
        if (!callbacks_.visit(Utf8(entry.path()))) return false;
      } else if (recursive && fs::is_directory(status) && !Excluded(entry.path())) {
        if (!Folder(entry.path(), true)) return false;
      }
    }
    if (error) callbacks_.error(Utf8(dir), error.message());
    return true;
  }

  bool Target(const std::string& target, bool recursive) {
    // A target named itself is followed when it is a link, as clamscan does.
    std::error_code error;
    const fs::path path = FsPath(target);
    if (fs::is_directory(path, error)) return Folder(path, recursive);
    if (fs::is_regular_file(path, error)) return callbacks_.visit(target);
    callbacks_.error(target, error ? error.message() : texts::kDaemonReadFailed);
    return true;
  }

  long directories() const { return directories_; }

 private:
  bool Excluded(const fs::path& dir) const {
    const std::string text = PatternPath(dir);
    return std::any_of(excluded_.begin(), excluded_.end(),
                       [&](const std::regex& pattern) { return std::regex_search(text, pattern); });
  }

  const std::vector<std::regex>& excluded_;
  const WalkCallbacks& callbacks_;
  long directories_ = 0;
};

// Moves an infected file into the folder, under a new name when one of the
// same name is there already; the new path, or empty with *error.
std::string MoveInto(const std::string& file, const std::string& folder, std::string* error) {
  const fs::path source = FsPath(file);
  fs::path target = FsPath(folder) / source.filename();
  std::error_code code;
  for (int n = 1; fs::exists(fs::symlink_status(target, code)) && n < 1000; ++n) {
    char suffix[16];
    const int length = std::snprintf(suffix, sizeof suffix, ".%03d", n);
    target =
        FsPath(folder) / (source.filename().u8string() + std::u8string(suffix, suffix + length));
  }
  fs::rename(source, target, code);
  if (code) {
    // Another file system: copied, then removed.
    code.clear();
    if (fs::copy_file(source, target, fs::copy_options::none, code) && fs::remove(source, code))
      return Utf8(target);
    *error = code.message();
    return {};
  }
  return Utf8(target);
}

}  // namespace

long WalkTargets(const std::vector<std::string>& targets, bool recursive,
                 const DriveSelection& drives, const WalkCallbacks& callbacks) {
  std::vector<std::regex> excluded;
  for (const std::string& pattern : drives.excludeDirs) excluded.emplace_back(pattern);
  Walker walker(excluded, callbacks);
  bool going = true;
  for (const std::string& target : targets)
    if (going) going = walker.Target(target, recursive);
  for (const std::string& root : drives.roots)
    if (going) going = walker.Target(root, true);
  return walker.directories();
}

int ScanThroughDaemon(const ClamdConfig& config, const Arguments& arguments,
                      const DriveSelection& drives, ClamscanReader& reader, Output& out) {
  // The walk fills a queue of bounded length, the workers empty it.
  static constexpr size_t kQueueLength = 256;
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::string> queue;
  bool walkDone = false;
  std::string lostReason;  // set once: the daemon stopped answering
  long files = 0, infected = 0, errors = 0;
  std::atomic<bool> ending{false};
  const Cancelled cancelled = [&] { return ending.load() || StopRequested(); };

  const auto feed = [&](const std::string& line, bool error) {
    reader.Feed(line + "\n", error);
    if (error) ++errors;
  };
  const auto treat = [&](const std::string& file) {
    std::string error;
    if (arguments.moveDirectory) {
      const std::string moved = MoveInto(file, *arguments.moveDirectory, &error);
      if (!moved.empty()) return feed(file + ": moved to '" + moved + "'", false);
      return feed("ERROR: Can't move file " + file + ": " + error, true);
    }
    if (arguments.Has("/del")) {
      std::error_code code;
      if (fs::remove(FsPath(file), code)) return feed(file + ": Removed.", false);
      feed("ERROR: Can't remove file " + file + ": " + code.message(), true);
    }
  };

  const auto work = [&] {
    for (;;) {
      std::string file;
      {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return !queue.empty() || walkDone || ending; });
        if (queue.empty() || ending) return;
        file = std::move(queue.front());
        queue.pop_front();
      }
      changed.notify_all();
      ClamdReply reply = ScanWithClamd(config, file, cancelled);
      // A daemon at the end of its queue may turn a connection away once.
      for (int again = 0; again < 2 && reply.kind == ClamdReply::Kind::kNoAnswer; ++again) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        reply = ScanWithClamd(config, file, cancelled);
      }
      std::lock_guard<std::mutex> lock(mutex);
      switch (reply.kind) {
        case ClamdReply::Kind::kClean:
          ++files;
          feed(file + ": OK", false);
          break;
        case ClamdReply::Kind::kInfected:
          ++files;
          ++infected;
          feed(file + ": " + reply.text + " FOUND", false);
          treat(file);
          break;
        case ClamdReply::Kind::kError:
          feed("ERROR: " + file + ": " + reply.text, true);
          break;
        case ClamdReply::Kind::kNoAnswer:
          if (lostReason.empty()) lostReason = reply.text;
          ending = true;
          break;
        case ClamdReply::Kind::kCancelled:
          break;
      }
      changed.notify_all();
    }
  };

  const unsigned workers = std::max(2u, std::min(8u, std::thread::hardware_concurrency()));
  std::vector<std::thread> threads;
  for (unsigned i = 0; i < workers; ++i) threads.emplace_back(work);

  WalkCallbacks callbacks;
  callbacks.visit = [&](const std::string& file) {
    std::unique_lock<std::mutex> lock(mutex);
    // Woken by the workers; stop requests are looked at now and then.
    while (queue.size() >= kQueueLength && !ending && !StopRequested())
      changed.wait_for(lock, std::chrono::milliseconds(200));
    if (ending || StopRequested()) return false;
    queue.push_back(file);
    changed.notify_all();
    return true;
  };
  callbacks.error = [&](const std::string& path, const std::string& reason) {
    std::lock_guard<std::mutex> lock(mutex);
    feed("ERROR: " + path + ": " + reason, true);
  };
  const long directories = WalkTargets(arguments.targets, arguments.Has("/sub"), drives, callbacks);
  {
    std::lock_guard<std::mutex> lock(mutex);
    walkDone = true;
    if (StopRequested()) ending = true;
  }
  changed.notify_all();
  for (std::thread& thread : threads) thread.join();

  if (StopRequested()) return kExitStopped;
  feed("----------- SCAN SUMMARY -----------", false);
  feed("Scanned directories: " + std::to_string(directories), false);
  feed("Scanned files: " + std::to_string(files), false);
  feed("Infected files: " + std::to_string(infected), false);
  if (!lostReason.empty()) {
    out.Line(texts::kDaemonLost + lostReason, true);
    return 2;
  }
  if (infected > 0) return 1;
  return errors > 0 ? 2 : 0;
}

}  // namespace bridge
