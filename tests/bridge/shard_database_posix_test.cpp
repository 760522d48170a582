#include "bridge/shard_database_posix.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace bridge {
namespace {

using testing_support::ReadTextFile;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteTextFile;

// The shards' shares of a plain file of a kind that stands alone are
// disjoint and together hold every signature line of it, as it is in the
// file; a container and every other kind stay as they are, reached through
// links where their folder also held a file to split; a shard may hold
// nothing of a small file, or of a part with only comments; and the
// shard's folder goes with its view. A file over a megabyte is counted by
// its first lines.
TEST(ShardDatabase, SharesSplitThePlainFilesAndLeaveTheRest) {
  TempDir dir;
  const std::string db = dir.Join("db"), own = dir.Join("own.ldb"), temporary = dir.Join("tmp");
  std::filesystem::create_directories(db);
  std::filesystem::create_directories(temporary);
  std::multiset<std::string> every = {"l0", "l1"};
  // Lines long enough that some cross the pieces the file is read in.
  const std::string padding(200000, 'x');
  std::string hdb = "# hashes\n";
  for (int i = 0; i < 7; ++i) {
    hdb += "line" + std::to_string(i) + padding + (i < 6 ? "\n" : "");
    every.insert("line" + std::to_string(i) + padding);
  }
  WriteTextFile(db + "/a.hdb", hdb);
  WriteTextFile(db + "/a.fp", "kept whole\n");
  WriteTextFile(db + "/main.cvd", "a container");
  WriteTextFile(db + "/empty.ndb", "");
  // A part of a file may hold only comments.
  WriteTextFile(own, "# " + padding + padding + "\nl0\nl1\n");
  EXPECT_EQ(EstimatePlainSignatures(db + "/a.hdb"), 7u);
  EXPECT_EQ(EstimatePlainSignatures(own), 2u);
  EXPECT_EQ(EstimatePlainSignatures(db + "/empty.ndb"), 0u);
  EXPECT_EQ(EstimatePlainSignatures(db + "/a.fp"), std::nullopt);
  EXPECT_EQ(EstimatePlainSignatures(db + "/main.cvd"), std::nullopt);

  const ScopedEnv temporaryFolder("TMPDIR", temporary);
  for (const unsigned shards : {1u, 2u, 4u}) {
    SCOPED_TRACE(shards);
    std::multiset<std::string> lines;
    for (unsigned shard = 0; shard < shards; ++shard) {
      const ShardDatabase view({db, own}, shard, shards);
      ASSERT_EQ(view.Problem(), "");
      if (shards == 1) {
        EXPECT_EQ(view.Paths(), (std::vector<std::string>{db, own}));
        EXPECT_TRUE(view.Shares().empty());
        continue;
      }
      ASSERT_EQ(view.Paths().size(), 1u);
      std::set<std::string> linked;
      for (const auto& entry : std::filesystem::directory_iterator(view.Paths()[0])) {
        EXPECT_TRUE(entry.is_symlink()) << entry.path();
        linked.insert(entry.path().filename().string());
      }
      EXPECT_EQ(linked, (std::set<std::string>{"a.fp", "main.cvd", "empty.ndb"}));
      for (const std::string& share : view.Shares()) {
        std::istringstream in(ReadTextFile(share));
        for (std::string line; std::getline(in, line);)
          if (line[0] != '#') lines.insert(line);
      }
    }
    if (shards > 1) {
      EXPECT_EQ(lines, every);
    }
  }
  EXPECT_TRUE(std::filesystem::is_empty(temporary));
}

}  // namespace
}  // namespace bridge
