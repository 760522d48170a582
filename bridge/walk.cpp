// The walk's order and rules; the system's side is in walk_system.h.
#include "bridge/walk.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "bridge/texts.h"
#include "bridge/walk_pattern.h"
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

std::vector<PathPattern> Compile(const std::vector<std::string>& patterns) {
  std::vector<PathPattern> compiled;
  for (const std::string& pattern : patterns) {
    std::string error;
    // The request refuses such patterns before a walk starts.
    if (std::optional<PathPattern> one = PathPattern::Compile(pattern, &error))
      compiled.push_back(std::move(*one));
  }
  return compiled;
}

// Each pattern's search over a path so far.
using Progress = std::vector<PathPattern::Progress>;

Progress Extended(const std::vector<PathPattern>& patterns, Progress progress,
                  std::string_view more) {
  if (progress.empty())
    for (const PathPattern& pattern : patterns) progress.push_back(pattern.Start());
  for (size_t i = 0; i < patterns.size(); ++i) patterns[i].Feed(&progress[i], more);
  return progress;
}

bool AnyMatches(const std::vector<PathPattern>& patterns, const Progress& progress) {
  for (size_t i = 0; i < patterns.size(); ++i)
    if (patterns[i].Ends(progress[i])) return true;
  return false;
}

std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && (path.back() == ws::kSeparator || path.back() == '/')) path.pop_back();
  return path;
}

// The folder holding the path; empty at the top.
std::string Parent(const std::string& path) {
  const std::string trimmed = WithoutTrailingSeparators(path);
  if (trimmed.size() >= 2 && trimmed.back() == ':') return {};  // a drive's root
  const size_t slash = trimmed.find_last_of(ws::kSeparator == '/' ? "/" : "\\/");
  if (slash == std::string::npos) return {};
  std::string parent = trimmed.substr(0, slash == 0 ? 1 : slash);
  if (parent.size() >= 2 && parent.back() == ':') parent += ws::kSeparator;  // "C:\"
  return parent == trimmed ? std::string() : parent;
}

class Walker {
 public:
  Walker(const WalkPlan& plan, const WalkSink& sink)
      : sink_(sink),
        excludeFilePatterns_(Compile(plan.excludeFilePatterns)),
        excludeFolderPatterns_(Compile(plan.excludeFolderPatterns)) {
    for (const std::string& folder : plan.excludeFolderPaths)
      excludeFolderPaths_.push_back(WithoutTrailingSeparators(folder));
    for (const std::string& path : plan.ownPaths) {
      const ws::Look look = ws::LookAtTarget(path);
      if (look.identity.known) own_.push_back({look.identity, look.kind == ws::Kind::kFolder});
    }
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
      case ws::Kind::kFolder:
        break;
    }
    if (Own(path, look) || InsideOwnFolder(path, look)) return true;
    const std::string kernel = ws::KernelFileSystem(look.systemPath);
    if (!kernel.empty()) {
      sink_.error(path, texts::kTargetOnPseudo + kernel);
      return true;
    }
    Searches searches = Searched({}, path);
    if (look.kind == ws::Kind::kFile) return File(path, look, searches);
    if (ExcludedFolder(path, searches)) return true;
    std::string error;
    std::unique_ptr<ws::Folder> folder = ws::OpenTarget(look, &error);
    if (!folder) {
      sink_.error(path, error);
      return true;
    }
    return Tree(path, look.identity, std::move(folder), std::move(searches), recursive);
  }

  long folders() const { return folders_; }

 private:
  struct OwnPath {
    FileIdentity identity;
    bool folder;
    bool named = false;
  };

  // The patterns' searches over a path: of files and of folders.
  struct Searches {
    Progress files, folders;
  };
  Searches Searched(const Searches& above, std::string_view more) const {
    return {Extended(excludeFilePatterns_, above.files, more),
            Extended(excludeFolderPatterns_, above.folders, more)};
  }

  bool File(const std::string& path, const ws::Look& look, const Searches& searches) {
    if (AnyMatches(excludeFilePatterns_, searches.files)) return true;
    return sink_.file(FileToScan{path, look.systemPath, look.identity, look.size});
  }

  bool ExcludedFolder(const std::string& path, const Searches& searches) const {
    return std::find(excludeFolderPaths_.begin(), excludeFolderPaths_.end(),
                     WithoutTrailingSeparators(path)) != excludeFolderPaths_.end() ||
           AnyMatches(excludeFolderPatterns_, searches.folders);
  }

  // One of the bridge's own paths: named the first time it is met.
  bool Own(const std::string& path, const ws::Look& look) {
    for (OwnPath& own : own_) {
      if (!(own.identity == look.identity)) continue;
      if (!own.named && sink_.leftOut) sink_.leftOut(path, texts::kLeftOutOwn);
      own.named = true;
      return true;
    }
    return false;
  }

  // A target below one of the bridge's own folders (a file in the
  // quarantine): left out as that folder is.
  bool InsideOwnFolder(const std::string& path, const ws::Look& look) {
    if (std::none_of(own_.begin(), own_.end(), [](const OwnPath& own) { return own.folder; }))
      return false;
    const std::string full = ws::FullPath(look.systemPath);
    for (std::string folder = Parent(full); !folder.empty(); folder = Parent(folder)) {
      const ws::Look above = ws::LookAtTarget(folder);
      if (!above.identity.known) continue;
      for (OwnPath& own : own_) {
        if (!own.folder || !(own.identity == above.identity)) continue;
        if (!own.named && sink_.leftOut) sink_.leftOut(path, texts::kLeftOutOwn);
        own.named = true;
        return true;
      }
    }
    return false;
  }

  // An entry on another file system than its folder's: left out when the
  // kernel makes its files up.
  bool KernelMount(const std::string& path, const ws::Look& entry, uint64_t folderDevice) {
    if (!entry.identity.known || entry.identity.device == folderDevice ||
        ws::KernelFileSystem(entry.systemPath).empty())
      return false;
    if (sink_.leftOut) sink_.leftOut(path, texts::kLeftOutPseudo);
    return true;
  }

  // A folder and, when recursive, everything below it: a stack of open
  // folders, never the program's own stack, so no depth is too deep.
  bool Tree(const std::string& path, const FileIdentity& identity, std::unique_ptr<ws::Folder> top,
            Searches searches, bool recursive) {
    struct Open {
      std::unique_ptr<ws::Folder> folder;
      std::string path;
      uint64_t device;
      Searches searches;  // over path
    };
    std::vector<Open> open;
    open.push_back({std::move(top), path, identity.device, std::move(searches)});
    ++folders_;
    std::string name, error;
    ws::Look entry;
    while (!open.empty()) {
      ws::Folder& folder = *open.back().folder;
      if (!folder.Next(&name, &entry, &error)) {
        if (!error.empty()) sink_.error(open.back().path, error);
        open.pop_back();
        continue;
      }
      const std::string entryPath = ws::JoinPath(open.back().path, name);
      const bool fileOrFolder = entry.kind == ws::Kind::kFile || entry.kind == ws::Kind::kFolder;
      if (fileOrFolder &&
          (Own(entryPath, entry) || KernelMount(entryPath, entry, open.back().device)))
        continue;
      if (entry.kind == ws::Kind::kFolder && !recursive) continue;
      // The entry's path searched on from its folder's.
      Searches found;
      if (fileOrFolder)
        found = Searched(open.back().searches,
                         std::string_view(entryPath).substr(open.back().path.size()));
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
          if (!File(entryPath, entry, found)) {
            // Innermost first: each folder may hand its place back to the one above.
            while (!open.empty()) open.pop_back();
            return false;
          }
          break;
        case ws::Kind::kFolder: {
          if (ExcludedFolder(entryPath, found)) break;
          std::unique_ptr<ws::Folder> below = folder.Open(name, entry, &error);
          if (!below) {
            sink_.error(entryPath, error);
            break;
          }
          ++folders_;
          open.push_back({std::move(below), entryPath, entry.identity.device, std::move(found)});
          break;
        }
      }
    }
    return true;
  }

  const WalkSink& sink_;
  std::vector<PathPattern> excludeFilePatterns_;
  std::vector<PathPattern> excludeFolderPatterns_;
  std::vector<std::string> excludeFolderPaths_;
  std::vector<OwnPath> own_;
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
