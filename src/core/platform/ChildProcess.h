#pragma once
// Runs an outside program to completion, its output discarded.

#include <optional>
#include <string>
#include <vector>

namespace vorn::ChildProcess {

/// Starts `program` with `arguments` (not including the program itself), standard input,
/// output and error on /dev/null, and waits for it. The exit status (-1 when a signal
/// ended it), or absent when the program could not be started.
std::optional<int> run(const std::string& program, const std::vector<std::string>& arguments);

} // namespace vorn::ChildProcess
