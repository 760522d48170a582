// Command lines and the arguments CommandLineToArgvW makes of them (checked
// against the system's function on Windows/Wine).
#pragma once

#include <string>
#include <vector>

struct SplitCase {
  const char* line;
  std::vector<std::string> args;
};

inline const std::vector<SplitCase>& KnownSplitCases() {
  static const std::vector<SplitCase> cases = {
      // Blanks and tabs separate; runs of them count once, trailing ones not.
      {"a b c", {"a", "b", "c"}},
      {"x\t y  \t", {"x", "y"}},
      {"x a\vb\rc", {"x", "a\vb\rc"}},
      // The program name: quoted up to the next quote, whatever follows it...
      {R"("C:\Program Files\scan.exe" /sub)", {R"(C:\Program Files\scan.exe)", "/sub"}},
      {R"("a b"c d)", {"a b", "c", "d"}},
      {R"("a b)", {"a b"}},
      {R"("" x)", {"", "x"}},
      // ...otherwise up to the first blank, quotes and backslashes as they are.
      {R"(a"b c"d e)", {R"(a"b)", "cd e"}},
      {R"(C:\dir\ x)", {R"(C:\dir\)", "x"}},
      {R"(a\"b c)", {R"(a\"b)", "c"}},
      // A leading blank gives an empty program name.
      {" lead x", {"", "lead", "x"}},
      {"\t", {""}},
      // Later arguments: quotes group and vanish.
      {R"(x "a b" "c")", {"x", "a b", "c"}},
      {R"(x a"b c"d)", {"x", "ab cd"}},
      {R"(x "" y)", {"x", "", "y"}},
      {R"(x "")", {"x", ""}},
      {R"(x "a b)", {"x", "a b"}},
      // Backslashes are literal unless a quote follows them.
      {R"(x a\\b\ c\\)", {"x", R"(a\\b\)", R"(c\\)"}},
      {R"(x a\"b)", {"x", R"(a"b)"}},
      {R"(x a\\"b c")", {"x", R"(a\b c)"}},
      {R"(x "C:\\" /sub)", {"x", R"(C:\)", "/sub"}},
      {R"(x "C:\" /sub)", {"x", R"(C:" /sub)"}},
      {R"(x "a\\\" b")", {"x", R"(a\" b)"}},
      {R"(x \\\\"a b")", {"x", R"(\\a b)"}},
      // Two quotes inside quotes give one literal quote and end the quoting;
      // three give one and keep it.
      {R"(x "a""b c")", {"x", R"(a"b)", "c"}},
      {R"(x "a"""b c")", {"x", R"(a"b c)"}},
      {R"(x "a""""b c")", {"x", R"(a"b)", "c"}},
      {R"(x "ab""c" d)", {"x", R"(ab"c d)"}},
      {R"(x a""b c)", {"x", "ab", "c"}},
      {R"(x """a b")", {"x", R"("a)", "b"}},
      {R"(x """""")", {"x", R"("")"}},
      {R"(x """"""" y)", {"x", R"("" y)"}},
      // Multi-byte text passes through untouched.
      {R"(扫描.exe "病毒 样本\\" 中"文 名"字)", {"扫描.exe", R"(病毒 样本\)", "中文 名字"}},
      {"x a\u3000b", {"x", "a\u3000b"}},
  };
  return cases;
}
