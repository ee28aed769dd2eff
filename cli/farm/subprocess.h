// Runs another program and collects what it printed, for the farm manager's
// command-line tools.
#pragma once

#include <string>
#include <vector>

namespace lensfall::cli {

struct ProgramResult {
  bool started = false;  // false: the program was not found or not runnable
  int status = -1;       // exit status; 128 + N when killed by signal N
  std::string out, err;
};

// Runs args[0] (looked up on PATH) with the rest as arguments, with no shell
// in between, and waits for it.
ProgramResult runProgram(const std::vector<std::string> &args);

// The first non-empty line of a program's error output, for messages.
std::string firstLine(const std::string &text);

}  // namespace lensfall::cli
