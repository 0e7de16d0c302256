#pragma once
// printf-style formatting of the system's message and listing texts.

#include <string>

std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
