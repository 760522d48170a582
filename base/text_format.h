// printf-style formatting into a std::string, for the program's texts.
#pragma once

#include <string>

std::string FormatText(const char* pattern, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
