// Cost of building a frame's kernel bank at its cap (151 kernels up to
// 301 x 301), per aperture shape: every frame pays it once.
#include <benchmark/benchmark.h>

#include "kernels/kernel_bank.h"
#include "settings/filter_settings.h"

namespace {

using namespace lensfall;

FilterSettings bankAtCap(int shape, double deform) {
  FilterSettings settings{};
  setDefaults(settings);
  settings.apertureShape = shape;
  settings.deform = deform;
  settings.vertexCount = 6;
  // A diameter of a tenth of the film over 3010 pixels gives size 301.
  settings.filmWidth = 0.036;
  settings.pixelsPerFilmUnit = 3010.0 / settings.filmWidth;
  return settings;
}

void BuildBank(benchmark::State &state) {
  FilterSettings settings =
      bankAtCap(int(state.range(0)), double(state.range(1)) / 100.0);
  int64_t cells = 0;
  for (auto _ : state) {
    KernelBank bank = BuildKernelBank(settings);
    benchmark::DoNotOptimize(bank.entries);
    cells = 0;
    for (int i = 0; i < bank.count; ++i) {
      cells += int64_t(bank.entries[i].size) * bank.entries[i].size;
    }
    releaseKernelBank(bank);
  }
  state.counters["cells"] = double(cells);
  state.SetItemsProcessed(state.iterations() * cells);
}

BENCHMARK(BuildBank)
    ->ArgNames({"shape", "deform%"})
    ->Args({kShapeCircle, 0})
    ->Args({kShapePolygon, 0})
    ->Args({kShapePolygon, 50})
    ->Args({kShapeRing, 50})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
