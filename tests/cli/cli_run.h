// Running the built lensfall command as a user does, for tests.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace lensfall::testing {

struct CliRun {
  int status = -1;  // exit status; -1 if ended by a signal
  std::string out, err;
};

// Runs lensfall with the arguments in `dir`; stdout and stderr are kept.
inline CliRun lensfall(const std::filesystem::path &dir,
                       const std::vector<std::string> &arguments) {
  std::string command = "cd '" + dir.string() + "' && '" +
                        std::string(LENSFALL_CLI_PATH) + "' --module '" +
                        LENSFALL_MODULE_PATH + "'";
  for (const std::string &argument : arguments) {
    std::string quoted;
    for (char c : argument)
      quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    command += " '" + quoted + "'";
  }
  const auto out = dir / ".stdout", err = dir / ".stderr";
  command += " >'" + out.string() + "' 2>'" + err.string() + "'";
  const int status = std::system(command.c_str());
  CliRun run;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = readText(out);
  run.err = readText(err);
  std::filesystem::remove(out);
  std::filesystem::remove(err);
  return run;
}

}  // namespace lensfall::testing
