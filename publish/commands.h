#pragma once
// The two commands of corvid-publish; each returns the process exit code.

#include <string>
#include <vector>

inline constexpr int exit_done = 0;
inline constexpr int exit_refused = 1;
inline constexpr int exit_usage = 2;

int run_build(const std::vector<std::string>& args);
int run_verify(const std::vector<std::string>& args);
