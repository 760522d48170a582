// The walk's order and rules; the system's side is in walk_system.h.
#include "bridge/walk.h"

#include <algorithm>
#include <memory>
#include <regex>
#include <utility>
#include <vector>

#include "bridge/texts.h"
#include "bridge/walk_system.h"

namespace bridge {

namespace ws = walk_system;

namespace walk_system {

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  const char last = folder.back();
  if (last == kSeparator || last == '/') return folder + name;
  return folder + kSeparator + name;
}

std::string LastName(const std::string& path) {
  std::string trimmed = path;
  while (trimmed.size() > 1 && (trimmed.back() == kSeparator || trimmed.back() == '/'))
    trimmed.pop_back();
  const size_t slash = trimmed.find_last_of(kSeparator == '/' ? "/" : "\\/");
  return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

}  // namespace walk_system

namespace {

std::vector<std::regex> Compile(const std::vector<std::string>& patterns) {
  std::vector<std::regex> compiled;
  for (const std::string& pattern : patterns) {
    try {
      compiled.emplace_back(pattern, std::regex::extended);
    } catch (const std::regex_error&) {
      // The request refuses such patterns before a walk starts.
    }
  }
  return compiled;
}

bool AnyMatches(const std::vector<std::regex>& patterns, const std::string& path) {
  return std::any_of(patterns.begin(), patterns.end(),
                     [&](const std::regex& pattern) { return std::regex_search(path, pattern); });
}

std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && (path.back() == ws::kSeparator || path.back() == '/')) path.pop_back();
  return path;
}

class Walker {
 public:
  Walker(const WalkPlan& plan, const WalkSink& sink)
      : sink_(sink),
        excludeFiles_(Compile(plan.excludeFiles)),
        excludeFolders_(Compile(plan.excludeFolders)) {
    for (const std::string& folder : plan.excludedFolders)
      excludedFolders_.push_back(WithoutTrailingSeparators(folder));
  }

  // False once the sink asked to stop.
  bool Target(const std::string& path, bool recursive) {
    ws::Look look = ws::LookAtTarget(path);
    switch (look.kind) {
      case ws::Kind::kMissing:
        sink_.error(path, texts::kTargetMissing);
        return true;
      case ws::Kind::kError:
        sink_.error(path, look.error);
        return true;
      case ws::Kind::kLink:  // not resolved by the system
      case ws::Kind::kSpecial:
        sink_.skipped(path, SkipReason::kNotARegularFile);
        return true;
      case ws::Kind::kFile:
        return File(path, look);
      case ws::Kind::kFolder:
        break;
    }
    if (ExcludedFolder(path)) return true;
    std::string error;
    std::unique_ptr<ws::Folder> folder = ws::OpenTarget(look, &error);
    if (!folder) {
      sink_.error(path, error);
      return true;
    }
    return Tree(path, std::move(folder), recursive);
  }

  long folders() const { return folders_; }

 private:
  bool File(const std::string& path, const ws::Look& look) {
    if (AnyMatches(excludeFiles_, path)) return true;
    return sink_.file(FileToScan{path, look.systemPath, look.identity, look.size});
  }

  bool ExcludedFolder(const std::string& path) const {
    return std::find(excludedFolders_.begin(), excludedFolders_.end(),
                     WithoutTrailingSeparators(path)) != excludedFolders_.end() ||
           AnyMatches(excludeFolders_, path);
  }

  // A folder and, when recursive, everything below it: a stack of open
  // folders, never the program's own stack, so no depth is too deep.
  bool Tree(const std::string& path, std::unique_ptr<ws::Folder> top, bool recursive) {
    std::vector<std::pair<std::unique_ptr<ws::Folder>, std::string>> open;
    open.emplace_back(std::move(top), path);
    ++folders_;
    std::string name, error;
    ws::Look entry;
    while (!open.empty()) {
      ws::Folder& folder = *open.back().first;
      if (!folder.Next(&name, &entry, &error)) {
        if (!error.empty()) sink_.error(open.back().second, error);
        open.pop_back();
        continue;
      }
      const std::string entryPath = ws::JoinPath(open.back().second, name);
      switch (entry.kind) {
        case ws::Kind::kMissing:  // gone since the folder was read
          break;
        case ws::Kind::kError:
          sink_.error(entryPath, entry.error);
          break;
        case ws::Kind::kLink:
          sink_.skipped(entryPath, SkipReason::kLink);
          break;
        case ws::Kind::kSpecial:
          sink_.skipped(entryPath, SkipReason::kNotARegularFile);
          break;
        case ws::Kind::kFile:
          if (!File(entryPath, entry)) {
            // Innermost first: each folder may hand its place back to the one above.
            while (!open.empty()) open.pop_back();
            return false;
          }
          break;
        case ws::Kind::kFolder: {
          if (!recursive || ExcludedFolder(entryPath)) break;
          std::unique_ptr<ws::Folder> below = folder.Open(name, entry, &error);
          if (!below) {
            sink_.error(entryPath, error);
            break;
          }
          ++folders_;
          open.emplace_back(std::move(below), entryPath);
          break;
        }
      }
    }
    return true;
  }

  const WalkSink& sink_;
  std::vector<std::regex> excludeFiles_;
  std::vector<std::regex> excludeFolders_;
  std::vector<std::string> excludedFolders_;
  long folders_ = 0;
};

}  // namespace

long Walk(const WalkPlan& plan, const WalkSink& sink) {
  Walker walker(plan, sink);
  for (const std::string& target : plan.targets)
    if (!walker.Target(target, plan.recursive)) return walker.folders();
  for (const std::string& root : plan.driveRoots)
    if (!walker.Target(root, true)) return walker.folders();
  return walker.folders();
}

}  // namespace bridge
