// The frames of a sequence rendered by several worker processes at once.
//
// The parent starts each worker by running this program again
// (/proc/self/exe) with the user's own arguments and --render-worker in
// front; it does not fork a copy of itself and carry on in it. A library the
// program links starts threads of its own before main(), so a forked copy
// would hold the state of threads it does not have (and hangs in that
// library's exit handlers); a fresh process has none of that, and parses the
// same arguments so every option reaches the workers without a list to keep
// up to date. A worker loads the module and the scene once and renders
// frame after frame. The parent hands out the next frame to whichever worker
// is free, so a slow frame holds up only its own worker, and is the only one
// to print: progress and error messages never mix.
#pragma once

#include <string>
#include <vector>

#include "cli/frame_numbers.h"
#include "cli/render_options.h"

namespace lensfall::cli {

// Renders `frames` in `workers` processes. Returns the exit status: 0, or 1
// when a frame was not written; throws RenderStopped after Ctrl-C.
int renderInWorkers(const RenderOptions &options,
                    const std::vector<int> &frames, int workers);

// The body of a worker process: sets up once, then renders the frames its
// parent sends. Returns its exit status: 0, 1 (it could not go on) or 130
// (stopped).
int serveFrames(const std::filesystem::path &modulePath,
                const RenderOptions &options, const FrameRange &range);

// Reads the value of --render-worker, "INDEX,TASKFD,REPORTFD". Throws
// HostError if it is not that.
RenderOptions::Worker parseWorkerChannel(const std::string &text);

}  // namespace lensfall::cli
