// lensfall render: rendered frames through the module's process callback.
#pragma once

#include <filesystem>

#include "cli/frame_numbers.h"
#include "cli/frame_renderer.h"
#include "cli/render_options.h"

namespace lensfall::cli {

// The number of cores, at least 1: the default for RenderOptions::jobs.
int defaultJobs();

// Renders every frame of the sequence (or the one frame). Everything that
// would fail every frame (options, outputs that would overwrite an input)
// is refused before the first frame. A frame that fails is reported, naming
// its file, and the others are still rendered; returns 1 if any frame was
// not written.
int renderFrames(const std::filesystem::path &modulePath,
                 const RenderOptions &options);

}  // namespace lensfall::cli
