// Measurements the test run prints at its end: each line goes to the test's
// output and, when SENTREL_FIGURES names a file, is appended to it.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

namespace sentrel::testing {

inline void ReportFigure(const std::string& line) {
    std::printf("%s\n", line.c_str());
    char path[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA("SENTREL_FIGURES", path, sizeof path);
    if (length == 0 || length >= sizeof path) return;
    if (FILE* file = std::fopen(path, "a")) {
        std::fprintf(file, "%s\n", line.c_str());
        std::fclose(file);
    }
}

}  // namespace sentrel::testing
