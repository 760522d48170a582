// How the system itself splits a command line into arguments, where it has a
// call for that (Windows: CommandLineToArgvW); empty where it has none.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

using LineSplitter = std::function<std::vector<std::string>(const std::string& line)>;
std::optional<LineSplitter> SystemSplitter();
