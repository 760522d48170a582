// Patterns parsed into a tree, compiled into a program of steps and run as
// a set of states over the path's bytes (Thompson's construction): each
// byte is looked at once per state, and a state is followed at most once
// per byte, so a longer path costs more time, never more stack.
#include "bridge/walk_pattern.h"

#include <cctype>
#include <cstdint>
#include <cstring>

#include "bridge/texts.h"

namespace bridge {

namespace {

// Past this many steps a pattern could hold the walk up on a long path;
// past this length its parts could nest deeper than is safe to compile.
constexpr size_t kMaxSteps = 4000;
constexpr size_t kMaxLength = 1000;
constexpr int kMaxNesting = 64;
constexpr int kMaxRepeat = 255;

struct Node {
  enum class Kind { kBytes, kEmpty, kBegin, kEnd, kConcat, kAlternatives, kRepeat };
  Kind kind = Kind::kEmpty;
  std::bitset<256> bytes;
  std::vector<Node> children;
  int min = 0, max = 0;  // kRepeat; max -1 for no limit
};

std::bitset<256> BytesWhere(int (*test)(int)) {
  std::bitset<256> bytes;
  for (int c = 0; c < 128; ++c)
    if (test(c)) bytes.set(static_cast<size_t>(c));
  return bytes;
}

int IsWordByte(int c) { return std::isalnum(c) || c == '_'; }

bool OneOf(const char* set, char c) { return c != '\0' && std::strchr(set, c) != nullptr; }

std::optional<std::bitset<256>> NamedClass(const std::string& name) {
  static const struct {
    const char* name;
    int (*test)(int);
  } kClasses[] = {{"alpha", isalpha}, {"digit", isdigit}, {"alnum", isalnum}, {"upper", isupper},
                  {"lower", islower}, {"space", isspace}, {"blank", isblank}, {"punct", ispunct},
                  {"print", isprint}, {"graph", isgraph}, {"cntrl", iscntrl}, {"xdigit", isxdigit}};
  for (const auto& known : kClasses)
    if (name == known.name) return BytesWhere(known.test);
  return std::nullopt;
}

class Parser {
 public:
  explicit Parser(const std::string& pattern) : text_(pattern) {}

  std::optional<Node> Whole(std::string* error) {
    Node node = Alternatives();
    if (error_.empty() && at_ < text_.size()) error_ = texts::kPatternUnmatchedClose;
    if (!error_.empty()) {
      *error = error_;
      return std::nullopt;
    }
    return node;
  }

 private:
  bool Failed(const char* why) {
    if (error_.empty()) error_ = why;
    return false;
  }
  bool More() const { return error_.empty() && at_ < text_.size(); }
  char Peek() const { return text_[at_]; }

  Node Alternatives() {
    Node node;
    node.kind = Node::Kind::kAlternatives;
    node.children.push_back(Sequence());
    while (More() && Peek() == '|') {
      ++at_;
      node.children.push_back(Sequence());
    }
    if (node.children.size() == 1) return std::move(node.children[0]);
    return node;
  }

  Node Sequence() {
    Node node;
    node.kind = Node::Kind::kConcat;
    while (More() && Peek() != '|' && !(Peek() == ')' && nesting_ > 0)) {
      Node atom;
      if (!Atom(&atom)) break;
      while (More() && OneOf("*+?{", Peek()) && Repeat(&atom)) {
      }
      node.children.push_back(std::move(atom));
    }
    return node;
  }

  bool Atom(Node* atom) {
    const char c = text_[at_++];
    atom->kind = Node::Kind::kBytes;
    switch (c) {
      case '(': {
        if (++nesting_ > kMaxNesting) return Failed(texts::kPatternTooLarge);
        *atom = Alternatives();
        --nesting_;
        if (!error_.empty()) return false;
        if (at_ >= text_.size()) return Failed(texts::kPatternUnmatchedOpen);
        ++at_;
        return true;
      }
      case ')':
        return Failed(texts::kPatternUnmatchedClose);
      case '*':
      case '+':
      case '?':
      case '{':
        return Failed(texts::kPatternNothingToRepeat);
      case '^':
        atom->kind = Node::Kind::kBegin;
        return true;
      case '$':
        atom->kind = Node::Kind::kEnd;
        return true;
      case '.':
        atom->bytes.set();
        return true;
      case '[':
        return Bracket(&atom->bytes);
      case '\\':
        return Escape(&atom->bytes);
      default:
        atom->bytes.set(static_cast<unsigned char>(c));
        return true;
    }
  }

  bool Escape(std::bitset<256>* bytes) {
    if (at_ >= text_.size()) return Failed(texts::kPatternTrailingBackslash);
    const char c = text_[at_++];
    if (c >= '1' && c <= '9') return Failed(texts::kPatternBackReference);
    if (OneOf("bB<>`'", c)) return Failed(texts::kPatternWordBoundary);
    if (c == 'w' || c == 'W') *bytes = BytesWhere(IsWordByte);
    if (c == 's' || c == 'S') *bytes = BytesWhere(isspace);
    if (c == 'W' || c == 'S') bytes->flip();
    if (!OneOf("wWsS", c)) bytes->set(static_cast<unsigned char>(c));
    return true;
  }

  bool Bracket(std::bitset<256>* bytes) {
    const bool negated = at_ < text_.size() && Peek() == '^';
    if (negated) ++at_;
    bool first = true;
    for (;; first = false) {
      if (at_ >= text_.size()) return Failed(texts::kPatternUnmatchedBracket);
      unsigned char c = static_cast<unsigned char>(text_[at_++]);
      if (c == ']' && !first) break;
      if (c >= 0x80) return Failed(texts::kPatternBracketNotAscii);
      if (c == '[' && at_ < text_.size() && OneOf(".=:", Peek())) {
        const char kind = text_[at_++];
        const size_t end = text_.find(std::string{kind, ']'}, at_);
        if (kind != ':') return Failed(texts::kPatternCollating);
        const std::optional<std::bitset<256>> named =
            end == std::string::npos ? std::nullopt : NamedClass(text_.substr(at_, end - at_));
        if (!named) return Failed(texts::kPatternUnknownClass);
        *bytes |= *named;
        at_ = end + 2;
        continue;
      }
      unsigned char last = c;
      if (at_ + 1 < text_.size() && Peek() == '-' && text_[at_ + 1] != ']') {
        last = static_cast<unsigned char>(text_[at_ + 1]);
        at_ += 2;
        if (last >= 0x80) return Failed(texts::kPatternBracketNotAscii);
        if (last == '[' && at_ < text_.size() && OneOf(".=:", Peek()))
          return Failed(texts::kPatternCollating);
        if (last < c) return Failed(texts::kPatternBadRange);
      }
      for (unsigned int b = c; b <= last; ++b) bytes->set(b);
    }
    if (negated) bytes->flip();
    return true;
  }

  // A number of at most three digits; -1 when there is none.
  int Number() {
    int value = -1;
    for (int digits = 0; at_ < text_.size() && std::isdigit(static_cast<unsigned char>(Peek()));
         ++digits) {
      if (digits == 3) return kMaxRepeat + 1;
      value = (value < 0 ? 0 : value * 10) + (text_[at_++] - '0');
    }
    return value;
  }

  bool Repeat(Node* atom) {
    if (atom->kind == Node::Kind::kBegin || atom->kind == Node::Kind::kEnd)
      return Failed(texts::kPatternNothingToRepeat);
    int min = 0, max = -1;
    const char c = text_[at_++];
    if (c == '+') min = 1;
    if (c == '?') max = 1;
    if (c == '{') {
      min = Number();
      max = min;
      if (at_ < text_.size() && Peek() == ',') {
        ++at_;
        max = Number();
      }
      if (min < 0 || at_ >= text_.size() || text_[at_++] != '}' || min > kMaxRepeat ||
          max > kMaxRepeat || (max >= 0 && max < min))
        return Failed(texts::kPatternBadRepeat);
    }
    Node repeat;
    repeat.kind = Node::Kind::kRepeat;
    repeat.min = min;
    repeat.max = max;
    repeat.children.push_back(std::move(*atom));
    *atom = std::move(repeat);
    return true;
  }

  const std::string& text_;
  size_t at_ = 0;
  int nesting_ = 0;
  std::string error_;
};

}  // namespace

class PatternCompiler {
 public:
  explicit PatternCompiler(PathPattern* pattern)
      : program_(pattern->program_), sets_(pattern->sets_) {}

  // False once the program grew too large.
  bool Emit(const Node& node) {
    if (program_.size() > kMaxSteps) return false;
    using Kind = Node::Kind;
    switch (node.kind) {
      case Kind::kBytes:
        sets_.push_back(node.bytes);
        Add(PathPattern::Op::kByte, sets_.size() - 1);
        break;
      case Kind::kEmpty:
        break;
      case Kind::kBegin:
        Add(PathPattern::Op::kBegin);
        break;
      case Kind::kEnd:
        Add(PathPattern::Op::kEnd);
        break;
      case Kind::kConcat:
        for (const Node& child : node.children)
          if (!Emit(child)) return false;
        break;
      case Kind::kAlternatives: {
        std::vector<size_t> jumps;
        for (size_t i = 0; i < node.children.size(); ++i) {
          const bool last = i + 1 == node.children.size();
          const size_t split = last ? 0 : Add(PathPattern::Op::kSplit, program_.size() + 1);
          if (!Emit(node.children[i])) return false;
          if (last) break;
          jumps.push_back(Add(PathPattern::Op::kJump));
          program_[split].b = program_.size();
        }
        for (size_t jump : jumps) program_[jump].a = program_.size();
        break;
      }
      case Kind::kRepeat: {
        const Node& body = node.children[0];
        for (int i = 0; i < node.min; ++i)
          if (!Emit(body)) return false;
        if (node.max < 0) {
          const size_t loop = Add(PathPattern::Op::kSplit, program_.size() + 1);
          if (!Emit(body)) return false;
          Add(PathPattern::Op::kJump, loop);
          program_[loop].b = program_.size();
          break;
        }
        std::vector<size_t> splits;
        for (int i = node.min; i < node.max; ++i) {
          splits.push_back(Add(PathPattern::Op::kSplit, program_.size() + 1));
          if (!Emit(body)) return false;
        }
        for (size_t split : splits) program_[split].b = program_.size();
        break;
      }
    }
    return program_.size() <= kMaxSteps;
  }

  void Finish() { Add(PathPattern::Op::kMatch); }

 private:
  size_t Add(PathPattern::Op op, size_t a = 0) {
    program_.push_back({op, a, 0});
    return program_.size() - 1;
  }

  std::vector<PathPattern::Step>& program_;
  std::vector<std::bitset<256>>& sets_;
};

std::optional<PathPattern> PathPattern::Compile(const std::string& pattern, std::string* error) {
  if (pattern.size() > kMaxLength) {
    *error = texts::kPatternTooLarge;
    return std::nullopt;
  }
  std::optional<Node> tree = Parser(pattern).Whole(error);
  if (!tree) return std::nullopt;
  PathPattern compiled;
  PatternCompiler compiler(&compiled);
  if (!compiler.Emit(*tree)) {
    *error = texts::kPatternTooLarge;
    return std::nullopt;
  }
  compiler.Finish();
  return compiled;
}

// Adds the step and all it reaches without a byte to the states (each once
// per byte position); true at a match. A "$" is passed only at the end;
// before it, it stays among the states until the next byte or the end.
class StepAdder {
 public:
  using Step = PathPattern::Step;
  using Op = PathPattern::Op;
  explicit StepAdder(const std::vector<Step>& program)
      : program_(program), seenAt_(program.size(), SIZE_MAX) {}

  bool Add(std::vector<size_t>& states, size_t start, size_t at, bool atEnd) {
    pending_.assign(1, start);
    while (!pending_.empty()) {
      const size_t step = pending_.back();
      pending_.pop_back();
      if (seenAt_[step] == at) continue;
      seenAt_[step] = at;
      const Step& s = program_[step];
      switch (s.op) {
        case Op::kByte:
          states.push_back(step);
          break;
        case Op::kMatch:
          return true;
        case Op::kJump:
          pending_.push_back(s.a);
          break;
        case Op::kSplit:
          pending_.push_back(s.b);
          pending_.push_back(s.a);
          break;
        case Op::kBegin:
          if (at == 0) pending_.push_back(step + 1);
          break;
        case Op::kEnd:
          if (atEnd)
            pending_.push_back(step + 1);
          else
            states.push_back(step);
          break;
      }
    }
    return false;
  }

 private:
  const std::vector<Step>& program_;
  std::vector<size_t> seenAt_;
  std::vector<size_t> pending_;
};

PathPattern::Progress PathPattern::Start() const {
  Progress progress;
  StepAdder adder(program_);
  progress.matched = adder.Add(progress.states, 0, 0, false);
  return progress;
}

void PathPattern::Feed(Progress* progress, std::string_view bytes) const {
  if (progress->matched || bytes.empty()) return;
  StepAdder adder(program_);
  std::vector<size_t> next;
  for (const char c : bytes) {
    const unsigned char byte = static_cast<unsigned char>(c);
    const size_t at = ++progress->at;
    next.clear();
    bool matched = false;
    for (size_t step : progress->states)
      if (program_[step].op == Op::kByte && sets_[program_[step].a][byte] &&
          adder.Add(next, step + 1, at, false))
        matched = true;
    // A match may start at every byte.
    if (matched || adder.Add(next, 0, at, false)) {
      progress->matched = true;
      progress->states.clear();
      return;
    }
    progress->states.swap(next);
  }
}

bool PathPattern::Ends(const Progress& progress) const {
  if (progress.matched) return true;
  StepAdder adder(program_);
  std::vector<size_t> unused;
  for (size_t step : progress.states)
    if (program_[step].op == Op::kEnd && adder.Add(unused, step + 1, progress.at, true))
      return true;
  return false;
}

bool PathPattern::Search(std::string_view text) const {
  Progress progress = Start();
  Feed(&progress, text);
  return Ends(progress);
}

}  // namespace bridge
