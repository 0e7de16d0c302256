#include "isa/Format.h"

#include <cstdarg>
#include <cstdio>

std::string Format(const char* fmt, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n < 0) return std::string();
    return std::string(buf, size_t(n) < sizeof buf ? size_t(n) : sizeof buf - 1);
}
