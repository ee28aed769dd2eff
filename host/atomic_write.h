// Writing a file so that it is either the old file or the whole new one:
// the bytes go to a temporary file beside it, are synced, and the temporary
// is renamed over it. A failure, a stop or a killed process never leaves a
// half-written file under the name.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>

namespace lensfall::host {

// Writes `contents` to `path` as above. A path that is a symbolic link
// writes the file the link points to and keeps the link. Throws HostError
// naming the file; the old file is then untouched and no temporary is left.
void writeFileAtomically(const std::filesystem::path &path,
                         const std::string &contents);

// As writeFileAtomically, for writers that can only write a file by name:
// `write` writes the temporary it is given and throws HostError on failure.
void writeThroughTemporary(
    const std::filesystem::path &path,
    const std::function<void(const std::filesystem::path &temporary)> &write);

// The temporary a process with `pid` writes `path` through: a hidden file
// beside it. A parent whose worker was killed removes the worker's.
std::filesystem::path temporaryPathFor(const std::filesystem::path &path,
                                       pid_t pid);

// Removes the temporary this process is writing at the moment, if any.
// Safe in a signal handler: a handler that ends the process calls it first.
void removeTemporaryInProgress() noexcept;

}  // namespace lensfall::host
