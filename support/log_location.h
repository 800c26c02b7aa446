// Where the agent's log lives: a fixed file at the root of drive C:, which
// the controller's registration makes (a standard user cannot make a file
// there) and the agents of every browser append to.
#pragma once

namespace sentrel {

inline constexpr const wchar_t* kLogPath = L"C:\\Sentrel.log";
// The log renamed aside when it grew beyond the machine's limit.
inline constexpr const wchar_t* kRotatedLogPath = L"C:\\Sentrel.log.1";

}  // namespace sentrel
