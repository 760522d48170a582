// A shard's own view of the signature database. The library reads, counts
// and parses every line of a plain signature file before it asks whether to
// keep a signature, so a shard that is handed the whole file pays for all of
// it. Of the plain files of the kinds that stand alone, the view holds only
// the shard's share, written to a folder of the shard's own (in the scan's
// temporary folder) and loaded last, whole; everything else is loaded first
// from where it is and split, where it can be, by the sign-load callback:
// containers such as the official .cvd and .cld files stay as they are, and
// every detection keeps its name. Ignore lists are loaded before the shares,
// so they apply to them as to the whole.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bridge {

// Whether signatures of this kind stand on their own (hashes of whole files
// and sections, bodies, logical signatures with their sub-signatures), so
// that any share of them finds what they find. type: a database file's name
// or its part from the first dot ("daily.hdb", "hdb").
bool StandsAlone(std::string_view type);

// The signatures of a plain file of a kind that stands alone, estimated
// from its size and the lines of its first megabyte (comments left out),
// exact for a smaller file: reading all of a large one would delay every
// shard's start. Nothing for any other file.
std::optional<uint64_t> EstimatePlainSignatures(const std::string& path);

class ShardDatabase {
 public:
  // The view of the databases at paths (files or folders) for shard shard
  // (from 0) of shards. When it cannot be made (no room for a share, no
  // folder), Problem() says why: every shard must split alike, so the shard
  // is not made.
  ShardDatabase(const std::vector<std::string>& paths, unsigned shard, unsigned shards);
  // Removes the shard's folder: once loaded, the engine no longer needs it.
  ~ShardDatabase();
  ShardDatabase(const ShardDatabase&) = delete;
  ShardDatabase& operator=(const ShardDatabase&) = delete;

  // What the shard loads first, split by the callback, in the order of the
  // paths: databases as they are, and folders of links to what the
  // databases' folders hold besides the plain files split here.
  const std::vector<std::string>& Paths() const { return paths_; }
  // What it loads then, whole: its shares of the plain files.
  const std::vector<std::string>& Shares() const { return shares_; }
  const std::string& Problem() const { return problem_; }

 private:
  enum class Share { kWritten, kEmpty, kNoSignatures, kFailed };
  // The view of one database file or folder, in paths_.
  void AddDatabase(const std::string& path);
  // The view of a folder with plain files to split: their shares, and a
  // folder of links to each other entry, which the library loads in its own
  // order.
  void AddFolder(const std::string& path);
  // The shard's share of a plain file, in shares_ unless empty.
  Share AddShare(const std::string& source);
  // The signature lines of source that start in the shard's part of its
  // bytes, written to target.
  Share WriteShare(const std::string& source, const std::string& target);
  // A new folder in the shard's own, "" when it cannot be made.
  std::string NewFolder();
  void Fail(const std::string& what, int error);

  unsigned shard_;
  unsigned shards_;
  std::string folder_;
  unsigned made_ = 0;
  std::vector<std::string> paths_;
  std::vector<std::string> shares_;
  std::string problem_;
};

}  // namespace bridge
