// Whole frames through the renderer on the shared rendered frames, uniform
// and depth paths at 100 % and 50 % maxima, and the cost of the occlusion
// test's kernels beyond the bank for an occluder near the camera.
//
// Counters: ms per frame is the benchmark's own time; "cell_ops/s" counts
// source pixel x kernel cell pairs (the uniform gather's window, or the
// depth scatter's first pass; pass two's re-gathers are not counted);
// "peak_MiB" is the process's peak resident size so far (getrusage), so run
// one case per process for a clean figure.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/frame_io.h"
#include "host/services.h"
#include "host/sidecar.h"
#include "hostlink/service_table.h"
#include "kernels/aperture.h"
#include "kernels/fallback_kernels.h"
#include "kernels/kernel_bank.h"
#include "render/blur_size.h"
#include "render/camera.h"
#include "render/passes.h"
#include "render/render_frame.h"
#include "render/scatter.h"
#include "settings/lifecycle.h"
#include "tests/render/shared_frame.h"

namespace {

using namespace lensfall;
using testing::readSharedFrame;
using testing::SharedFrame;

struct Planes {
  int width = 0;
  int height = 0;
  std::vector<float> rgba[4];
  std::vector<float> depth;
  nlohmann::json sidecar;
};

// The frame served through getLine, which carries no context.
const Planes *served = nullptr;

float *getLine(int type, int y) {
  if (served == nullptr || y < 0 || y >= served->height) return nullptr;
  const std::size_t row = static_cast<std::size_t>(y) * served->width;
  if (type == HOST_BUFFER_DEPTH) {
    return const_cast<float *>(served->depth.data() + row);
  }
  if (type >= HOST_BUFFER_RED && type <= HOST_BUFFER_ALPHA) {
    return const_cast<float *>(served->rgba[type - HOST_BUFFER_RED].data() +
                               row);
  }
  return nullptr;
}

std::vector<float> output;

void setRGB(int x, int y, const float rgb[3]) {
  const std::size_t i = static_cast<std::size_t>(y) * served->width + x;
  for (int k = 0; k < 3; ++k) output[4 * i + k] = rgb[k];
}

void setAlpha(int x, int y, float a) {
  output[4 * (static_cast<std::size_t>(y) * served->width + x) + 3] = a;
}

// A shared frame with its depth converted to distance from the camera.
const Planes &sharedFrame(const std::string &scene, const std::string &size) {
  static std::map<std::string, std::unique_ptr<Planes>> loaded;
  const std::string key = scene + "_" + size;
  auto &slot = loaded[key];
  if (slot) return *slot;
  SharedFrame shared =
      readSharedFrame(std::filesystem::path(LENSFALL_FRAMES_DIR) / scene, key);
  slot = std::make_unique<Planes>();
  slot->sidecar = std::move(shared.sidecar);
  host::Frame &frame = shared.frame;
  slot->width = frame.width;
  slot->height = frame.height;
  slot->rgba[0] = frame.red;
  slot->rgba[1] = frame.green;
  slot->rgba[2] = frame.blue;
  slot->rgba[3] = frame.alpha;
  slot->depth = frame.depth;
  return *slot;
}

double peakMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;  // kilobytes on Linux
}

// The stand-in host's services with the frame's camera, the module's
// services acquired in process, and one settings record at its defaults.
class InProcessHost {
 public:
  // `focusObject`: a mesh object of the sidecar to focus on instead of the
  // camera's own focus distance (its distance from the camera).
  explicit InProcessHost(const Planes &planes, const char *focusObject = "") {
    host::sceneFromSidecar(planes.sidecar, services_.scene());
    for (const auto &object :
         planes.sidecar.value("mesh_objects", nlohmann::json::array())) {
      if (object.value("name", "") == focusObject) {
        services_.scene().camera->lens.focalDistance =
            object["distance_euclidean"].get<double>();
      }
    }
    services_.scene().width = planes.width;
    services_.scene().height = planes.height;
    services_.sceneChanged();
    acquireServices(services_.lookup());
    const char *error = nullptr;
    settings_ = createSettings(&error);
    if (settings_ == nullptr) std::abort();
  }
  ~InProcessHost() { destroySettings(settings_); }
  FilterSettings &settings() { return *settings_; }

 private:
  host::HostServices services_;
  FilterSettings *settings_ = nullptr;
};

void process(FilterSettings &settings, const Planes &planes,
             Cores cores = Cores::fast) {
  served = &planes;
  output.assign(4 * static_cast<std::size_t>(planes.width) * planes.height,
                0.0f);
  const HostFilterAccess access{planes.width, planes.height, 1,
                                0.0,          0.0,           getLine,
                                setRGB,       setAlpha,      nullptr};
  renderFrame(settings, access, FrameAllocation{}, cores);
}

// Source pixel x kernel cell pairs of one frame, from the sizes the frame's
// record now holds the camera values for.
double cellOps(FilterSettings &settings, const Planes &planes) {
  const int largest = 2 * (kernelBankCount(settings) - 1) + 1;
  const double pixels = double(planes.width) * planes.height;
  if (settings.useDepth == 0) {
    const double n = std::min(uniformBlurSize(settings), largest);
    return pixels * n * n;
  }
  std::vector<std::int32_t> sizes(planes.depth.size());
  buildSizeMap(settings, planes.width, planes.height, planes.depth.data(),
               sizes.data());
  double ops = 0;
  for (std::int32_t s : sizes) {
    const double n = std::min(std::abs(s), largest);
    ops += n * n;
  }
  return ops;
}

// A frame scaled up by pixel repetition, for the 3840 x 2160 case.
Planes scaledUp(const Planes &base, int factor) {
  Planes planes;
  planes.width = base.width * factor;
  planes.height = base.height * factor;
  planes.sidecar = base.sidecar;
  const std::size_t pixels = std::size_t(planes.width) * planes.height;
  for (auto &plane : planes.rgba) plane.resize(pixels);
  planes.depth.resize(pixels);
  for (int y = 0; y < planes.height; ++y) {
    for (int x = 0; x < planes.width; ++x) {
      const std::size_t to = std::size_t(y) * planes.width + x;
      const std::size_t from =
          std::size_t(y / factor) * base.width + x / factor;
      for (int k = 0; k < 4; ++k) planes.rgba[k][to] = base.rgba[k][from];
      planes.depth[to] = base.depth[from];
    }
  }
  return planes;
}

// Arguments: scene (0 highlights, 1 occlusion), use depth, maxima in
// percent, size (0: 640 x 360, 1: 1280 x 720, 3: 3840 x 2160 scaled up from
// 1280 x 720), cores (0 literal, 1 fast, 2 the cheaper for the frame, as the
// module runs it; Speedup runs all three), focus (0: the
// camera's at its default f-number; 1: the occlusion scene's near fence at
// f/0.25, so the wall and everything behind the fence is blurred to the
// largest sizes and the fence occludes it; 2: the fence at f/1).
struct Case {
  const Planes *planes;
  std::unique_ptr<InProcessHost> host;
};

Case prepare(const benchmark::State &state) {
  const char *scenes[] = {"highlights", "occlusion"};
  const std::string size = state.range(3) != 0 ? "1280x720" : "640x360";
  const Planes &base = sharedFrame(scenes[state.range(0)], size);
  static std::map<const Planes *, Planes> large;
  if (state.range(3) == 3 && large.count(&base) == 0) {
    large[&base] = scaledUp(base, 3);
  }
  Case c;
  c.planes = state.range(3) == 3 ? &large[&base] : &base;
  c.host = std::make_unique<InProcessHost>(
      *c.planes, state.range(5) != 0 ? "FenceCenterMarker" : "");
  FilterSettings &settings = c.host->settings();
  settings.useDepth = static_cast<int>(state.range(1));
  settings.frontMaxParam->value = state.range(2) / 100.0;
  settings.backMaxParam->value = state.range(2) / 100.0;
  if (state.range(5) == 1) settings.fNumberParam->value = 0.25;
  if (state.range(5) == 2) settings.fNumberParam->value = 1.0;
  return c;
}

void countCells(benchmark::State &state, Case &c) {
  const double ops = cellOps(c.host->settings(), *c.planes);
  state.counters["cell_ops/s"] =
      benchmark::Counter(ops, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["cell_ops"] = ops;
  state.counters["peak_MiB"] = peakMiB();
}

void WholeFrame(benchmark::State &state) {
  Case c = prepare(state);
  const Cores cores = state.range(4) == 0   ? Cores::literal
                      : state.range(4) == 1 ? Cores::fast
                                            : Cores::cheaper;
  for (auto _ : state) {
    process(c.host->settings(), *c.planes, cores);
    benchmark::DoNotOptimize(output.data());
  }
  countCells(state, c);
}

double millisecondsOf(FilterSettings &settings, const Planes &planes,
                      Cores cores) {
  const auto start = std::chrono::steady_clock::now();
  process(settings, planes, cores);
  benchmark::DoNotOptimize(output.data());
  return std::chrono::duration<double, std::milli>(
             std::chrono::steady_clock::now() - start)
      .count();
}

double medianOfThree(FilterSettings &settings, const Planes &planes,
                     Cores cores) {
  double ms[3];
  for (double &m : ms) m = millisecondsOf(settings, planes, cores);
  std::sort(ms, ms + 3);
  return ms[1];
}

// One frame through the literal cores and the median of three through the
// fast ones and through the cores the module picks for the frame (the
// cheaper of the two), in the same run, so the ratios see the same machine.
// The reported time is the module's median.
void Speedup(benchmark::State &state) {
  Case c = prepare(state);
  FilterSettings &settings = c.host->settings();
  for (auto _ : state) {
    const double literal = millisecondsOf(settings, *c.planes, Cores::literal);
    const double fast = medianOfThree(settings, *c.planes, Cores::fast);
    const double module = medianOfThree(settings, *c.planes, Cores::cheaper);
    state.SetIterationTime(module / 1000.0);
    state.counters["literal_ms"] = literal;
    state.counters["fast_ms"] = fast;
    state.counters["module_ms"] = module;
    state.counters["fast_ratio"] = literal / fast;
    state.counters["ratio"] = literal / module;
  }
  countCells(state, c);
}

// The shared frames at the default settings (the camera's focus, f/2.4) and
// with the maxima at half, both paths; then large sizes with the near fence
// in front of them.
BENCHMARK(Speedup)
    ->ArgNames({"occlusion", "depth", "max%", "size", "fast", "fence"})
    ->ArgsProduct({{0, 1}, {0, 1}, {100, 50}, {1}, {1}, {0}})
    ->Args({1, 1, 100, 0, 1, 1})
    ->Args({1, 1, 100, 0, 1, 2})
    ->Args({1, 1, 100, 1, 1, 2})
    ->Args({1, 1, 100, 1, 1, 1})
    ->Args({1, 1, 100, 3, 1, 0})  // 3840 x 2160
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
// The fast cores alone, for steadier figures: medians of three repetitions.
BENCHMARK(WholeFrame)
    ->ArgNames({"occlusion", "depth", "max%", "size", "fast", "fence"})
    ->ArgsProduct({{0, 1}, {0, 1}, {100, 50}, {1}, {1}, {0}})
    ->Args({1, 1, 100, 0, 1, 1})
    ->Args({1, 1, 100, 1, 1, 2})
    ->Args({1, 1, 100, 3, 1, 0})  // 3840 x 2160
    ->Args({1, 0, 100, 3, 1, 0})
    ->Iterations(3)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);
// The fast cores on the occluded largest sizes take seconds per frame.
BENCHMARK(WholeFrame)
    ->ArgNames({"occlusion", "depth", "max%", "size", "fast", "fence"})
    ->Args({1, 1, 100, 1, 1, 1})
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

// A frame like the occlusion scene's but with a surface over its left third
// leaning from 3 mm to 5 cm from the lens, row by row, so the occlusion test
// asks for kernels of many sizes, up to thousands of cells wide.
Planes nearOccluderFrame() {
  const Planes &base = sharedFrame("occlusion", "640x360");
  Planes planes = base;
  for (int y = 0; y < planes.height; ++y) {
    const double t = double(y) / planes.height;
    for (int x = 0; x < planes.width / 3; ++x) {
      planes.depth[static_cast<std::size_t>(y) * planes.width + x] =
          static_cast<float>(0.003 + 0.047 * t);
    }
  }
  return planes;
}

// Argument: aperture shape (0 circle, 1 curved polygon, 2 ring).
void ApplyShape(FilterSettings &settings, int which) {
  if (which == 1) {
    settings.apertureShape = kShapePolygon;
    settings.vertexCount = 6;
    settings.deformParam->value = 0.5;
  } else if (which == 2) {
    settings.apertureShape = kShapeRing;
    settings.deformParam->value = 0.5;
  }
}

void NearOccluderFrame(benchmark::State &state) {
  static const Planes planes = nearOccluderFrame();
  InProcessHost host(planes);
  FilterSettings &settings = host.settings();
  ApplyShape(settings, static_cast<int>(state.range(0)));
  for (auto _ : state) {
    process(settings, planes);
    benchmark::DoNotOptimize(output.data());
  }
  const double ops = cellOps(settings, planes);
  state.counters["cell_ops/s"] =
      benchmark::Counter(ops, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["peak_MiB"] = peakMiB();
}

BENCHMARK(NearOccluderFrame)
    ->ArgNames({"shape"})
    ->DenseRange(0, 2)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// The occlusion tests of that frame whose size the bank lacks: (size,
// offset) taken from candidate pairs near the surface's edge.
struct Query {
  int size, dx, dy;
};

std::vector<Query> nearOccluderQueries(FilterSettings &settings,
                                       const Planes &planes) {
  process(settings, planes);  // leaves the frame's camera values in place
  const int largest = 2 * (kernelBankCount(settings) - 1) + 1;
  const int half = largest / 2;
  std::vector<Query> queries;
  const int edge = planes.width / 3;
  for (int y = 0; y < planes.height && queries.size() < 400; y += 3) {
    for (int x = edge; x < edge + half; x += 7) {
      for (int u = std::max(0, x - half); u < edge; u += 5) {
        const int m = occluderSize(settings, planes.depth.data(), planes.width,
                                   x, y, u, y);
        if (m > largest) queries.push_back({m, u - x, 0});
      }
    }
  }
  return queries;
}

// Argument: 0 the whole kernel drawn per test, as before; 1 the frame's
// store of windows.
void NearOccluderTests(benchmark::State &state) {
  static const Planes planes = nearOccluderFrame();
  InProcessHost host(planes);
  FilterSettings &settings = host.settings();
  static const std::vector<Query> queries =
      nearOccluderQueries(settings, planes);
  const int largest = 2 * (kernelBankCount(settings) - 1) + 1;
  std::int64_t biggest = 0;
  for (const Query &q : queries)
    biggest = std::max<std::int64_t>(biggest, q.size);
  for (auto _ : state) {
    double blocked = 0;
    if (state.range(0) == 0) {
      for (const Query &q : queries) {
        const std::size_t bytes = std::size_t(q.size) * q.size * 3;
        auto *cells = static_cast<std::uint8_t *>(std::calloc(bytes, 1));
        RasterizeAperture(cells, q.size, settings);
        blocked += cells[std::size_t(q.size / 2 + q.dy) * q.size +
                         (q.size / 2 + q.dx)];
        std::free(cells);
      }
    } else {
      FallbackKernels store(largest / 2);
      const KernelBank none{nullptr, 0};
      for (const Query &q : queries) {
        blocked += SampleKernel(0, 0, 0, q.dx, q.dy, none, q.size, settings,
                                &store)[0];
      }
    }
    benchmark::DoNotOptimize(blocked);
  }
  state.counters["tests"] = double(queries.size());
  state.counters["largest_size"] = double(biggest);
  state.counters["peak_MiB"] = peakMiB();
}

BENCHMARK(NearOccluderTests)
    ->ArgNames({"store"})
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
