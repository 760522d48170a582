// UTF-8 <-> UTF-16 at the boundary of the wide Windows calls.
#pragma once

#include <string>
#include <string_view>

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);
