#include "render/process_frame.h"

namespace lensfall {

// Frames pass through unchanged until the renderer is in place: the host
// keeps its own pixels when the filter writes none.
void processFrame(FilterSettings &, const HostFilterAccess &) {}

}  // namespace lensfall
