// The daemon's replies read: the verdict they give, and the limits its
// errors name.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "bridge/clamd_client.h"
#include "bridge/scan_events.h"

namespace {

using bridge::ClamdReply;
using bridge::Shortfall;

TEST(ClamdReplyTest, RepliesOfTheDaemon) {
  using Kind = ClamdReply::Kind;
  struct Case {
    std::string_view replies;  // one message, without its NUL
    Kind kind;
    const char* text;  // nullptr: any
  } cases[] = {
      {"fd[5]: OK", Kind::kClean, ""},
      {"stream: OK\n", Kind::kClean, ""},
      {"fd[5]: Eicar-Test-Signature FOUND", Kind::kInfected, "Eicar-Test-Signature"},
      // ExtendedDetectionInfo's hash and size are not part of the name.
      {"stream: Win.Test(44d88612fea8a8f36de82e1278abb02f:68) FOUND", Kind::kInfected, "Win.Test"},
      {"fd[5]: Heuristics.Limits.Exceeded.MaxScanSize FOUND", Kind::kInfected,
       "Heuristics.Limits.Exceeded.MaxScanSize"},
      // A name is the daemon's whole text: a line break in it ends nothing.
      {"stream: Evil\n/home/user/forged.txt: OK FOUND", Kind::kInfected,
       "Evil\n/home/user/forged.txt: OK"},
      {"stream: INSTREAM size limit exceeded. ERROR", Kind::kError,
       "INSTREAM size limit exceeded."},
      // Anything else is no verdict: never taken for a clean file.
      {"UNKNOWN COMMAND", Kind::kNoAnswer, nullptr},
      {"fd[5]: OKAY", Kind::kNoAnswer, nullptr},
      {"fd[5]:  FOUND", Kind::kNoAnswer, nullptr},
      {"", Kind::kNoAnswer, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.replies));
    const ClamdReply reply = bridge::ParseClamdReply(c.replies);
    EXPECT_EQ(reply.kind, c.kind) << reply.text;
    if (c.text) {
      EXPECT_EQ(reply.text, c.text);
    }
  }

  // The daemon's errors that name a limit are that limit.
  const struct {
    const char* message;
    std::optional<Shortfall> limit;
  } errors[] = {
      {"INSTREAM size limit exceeded.", Shortfall::kFileSizeLimit},
      {"Exceeded max scan size", Shortfall::kScanSizeLimit},
      {"Exceeded max recursion depth", Shortfall::kRecursionLimit},
      {"Exceeded max scan files", Shortfall::kFilesLimit},
      {"Exceeded time limit", Shortfall::kTimeLimit},
      {"Can't open file or directory", std::nullopt},
  };
  for (const auto& e : errors) EXPECT_EQ(bridge::LimitOfClamdError(e.message), e.limit);
}

}  // namespace
