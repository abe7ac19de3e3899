#pragma once
// The console and JSON side of inihost speaks UTF-8; COM speaks UTF-16.
#include <string>
#include <string_view>

std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view text);
