#pragma once

#include "tools/cli/CommandLine.h"

namespace keldara::cli {

// Exit statuses of keldara-cli.
enum ExitStatus { AllSent = 0, StoppedAtRecord = 1, CannotStart = 2 };

// Runs the profile's action as `options` say: statements and scripts to standard output,
// progress and the summary line to standard error. Throws SetupError when the profile, the
// source file or table, the server or the target table cannot be opened, or the options do
// not fit the tables.
ExitStatus runProfile(const RunOptions& options);

}  // namespace keldara::cli
