// The patterns of --exclude and --exclude-dir: POSIX extended regular
// expressions, matched anywhere in a path as clamscan matches them. The
// same matcher on every system, with no recursion and in time that grows
// with the path times the pattern only, so that no path of a deep tree and
// no pattern can crash or stall the walk. Bytes are matched as they are
// (the C locale).
//
// Taken: literal characters, ".", bracket expressions with ranges and
// [:class:] names, groups, "|", "*", "+", "?", {m}, {m,}, {m,n} (at most
// 255), "^" and "$", a backslash before a character to take it literally,
// and GNU's \w, \W, \s and \S. Refused with a reason: back-references, word
// boundaries, collating elements and equivalence classes, and patterns too
// large to match quickly.
#pragma once

#include <bitset>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bridge {

class PathPattern {
 public:
  // The compiled pattern; nullopt with the reason in the user's words.
  static std::optional<PathPattern> Compile(const std::string& pattern, std::string* error);

  // Whether the pattern matches anywhere in text.
  bool Search(std::string_view text) const;

  // A search that stands after some bytes, to go on with more: a path below
  // a folder costs its own bytes only, not its folder's path again.
  struct Progress {
    std::vector<size_t> states;  // the steps alive after the bytes so far
    size_t at = 0;               // bytes so far
    bool matched = false;        // a match lies within them
  };
  Progress Start() const;
  void Feed(Progress* progress, std::string_view bytes) const;
  // Whether the pattern matches anywhere in the bytes fed, ending included.
  bool Ends(const Progress& progress) const;

 private:
  enum class Op { kByte, kSplit, kJump, kBegin, kEnd, kMatch };
  struct Step {
    Op op;
    size_t a = 0, b = 0;  // kByte: the set; kSplit: both ways on; kJump: where
  };
  friend class PatternCompiler;
  friend class StepAdder;

  std::vector<Step> program_;
  std::vector<std::bitset<256>> sets_;
};

}  // namespace bridge
