#include "tests/fuzz_corpus/system_split.h"

// Linux has no such call: the program splits lines itself.
std::optional<LineSplitter> SystemSplitter() { return std::nullopt; }
