#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace cli {

inline constexpr int kSuccess = 0;
inline constexpr int kFailure = 1;
inline constexpr int kUsageError = 2;

// Each command takes the arguments after its name and returns the exit status.
int dump(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);
int demo(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);
int minutes(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);
int shift(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);
int undo(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

} // namespace cli
