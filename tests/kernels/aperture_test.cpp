#include "kernels/aperture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "tests/kernels/fake_image_host.h"
#include "tests/kernels/grid_text.h"

namespace lensfall {
namespace {

using testing::countOf;
using testing::crc32Of;
using testing::FakeImageHostTest;
using testing::gridFromRows;
using testing::gridText;
using testing::sameGrid;
using testing::sumOfCells;

using Grid = std::vector<std::uint8_t>;

FilterSettings shapeSettings(int shape, int vertexCount = 5,
                             double deform = 0.0, double rotation = 0.0) {
  FilterSettings settings{};
  setDefaults(settings);
  settings.apertureShape = shape;
  settings.vertexCount = vertexCount;
  settings.deform = deform;
  settings.rotation = rotation;
  return settings;
}

// Rasterises into a buffer of exactly size x size x 3 bytes whose bytes start
// as `fill`, so cells a shape must not write keep that value.
Grid raster(FilterSettings settings, int size, std::uint8_t fill = 0) {
  Grid cells(static_cast<std::size_t>(size) * size * 3, fill);
  EXPECT_TRUE(RasterizeAperture(cells.data(), size, settings));
  EXPECT_EQ(settings.kernelIsColor, 0);
  return cells;
}

std::string describe(const FilterSettings &s) {
  return "shape " + std::to_string(s.apertureShape) + ", " +
         std::to_string(s.vertexCount) + " vertices, deform " +
         std::to_string(s.deform) + ", rotation " + std::to_string(s.rotation);
}

TEST(RasterizeAperture, SizeOneIsTheSingleFullCellForEveryShape) {
  const FilterSettings cases[] = {
      shapeSettings(kShapeCircle),
      shapeSettings(kShapePolygon, 3),
      shapeSettings(kShapePolygon, 6),
      shapeSettings(kShapePolygon, 5, 0.5),
      shapeSettings(kShapePolygon, 4, -1.0),
      shapeSettings(kShapePolygon, 32, 1.0, 2.0),
      shapeSettings(kShapeRing, 5, 0.0),
      shapeSettings(kShapeRing, 5, 0.5),
      shapeSettings(kShapeRing, 5, 1.5),
  };
  for (const FilterSettings &settings : cases) {
    EXPECT_EQ(raster(settings, 1)[0], 255) << describe(settings);
  }
}

TEST(RasterizeAperture, SizeThreeCircleAndRingAreFixedPatterns) {
  const Grid circle = {153, 255, 153, 255, 255, 255, 153, 255, 153};
  Grid ring = circle;
  ring[4] = 204;
  for (const double deform : {0.0, 0.5, 1.5, -2.0}) {
    EXPECT_TRUE(sameGrid(raster(shapeSettings(kShapeCircle, 5, deform), 3),
                         circle, 3, 3));
    EXPECT_TRUE(
        sameGrid(raster(shapeSettings(kShapeRing, 5, deform), 3), ring, 3, 3))
        << "deform " << deform;
  }
}

// At sizes 3 and 5 some mid points land on vertices, so a curve has a chord
// of length 0; it is then drawn as the straight line between its ends. The
// curved hexagon at size 5 passes its curves through the centre, so its fill
// finds the seed already set and leaves the inside open.
TEST(RasterizeAperture, SmallPolygonsAreDrawnFromTheirVertices) {
  struct Case {
    int size, vertices;
    std::vector<double> deforms;
    std::vector<std::string> expected;
  };
  const std::vector<double> everyForm = {0.0, 0.5, -0.5, 1.0, -1.0};
  const Case cases[] = {
      {3, 3, everyForm, {"##.", "###", "..."}},
      {3, 4, everyForm, {"##.", "###", ".#."}},
      {3, 5, everyForm, {"##.", "###", "..."}},
      {3, 6, {0.0, 0.5, -0.5, -1.0}, {"##.", "###", "..."}},
      {3, 6, {1.0}, {"##.", "###", "#.."}},
      {5, 6, {0.0}, {"###..", "####.", "#####", ".###.", "....."}},
      {5, 6, {0.5, -0.5, -1.0}, {"###..", "#..#.", "#.###", ".###.", "....."}},
      {5, 6, {1.0}, {"####.", "####.", "#####", "####.", "..#.."}},
  };
  for (const Case &c : cases) {
    for (const double deform : c.deforms) {
      const Grid cells =
          raster(shapeSettings(kShapePolygon, c.vertices, deform), c.size);
      EXPECT_TRUE(sameGrid(cells, gridFromRows(c.expected), c.size, c.size))
          << "size " << c.size << ", " << c.vertices << " vertices, deform "
          << deform;
    }
  }
}

TEST(RasterizeAperture, ElevenCellPentagon) {
  CellPoint vertices[5];
  polygonVertices(11, 5, 0.0, vertices);
  const CellPoint expectedVertices[5] = {
      {10, 5}, {6, 9}, {0, 7}, {0, 2}, {6, 0}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(vertices[i], expectedVertices[i]) << "vertex " << i;
  }

  const Grid cells = raster(shapeSettings(kShapePolygon, 5), 11);
  const std::string picture = gridText(cells, 11, 11);
  EXPECT_EQ(countOf(cells, 11, 11, 255), 74) << picture;
  EXPECT_EQ(sumOfCells(cells, 11, 11), 18870) << picture;
  for (int i = 0; i < 11; ++i) {
    EXPECT_EQ(cells[5 * 11 + i], 255) << "row 5, column " << i << "\n"
                                      << picture;
    EXPECT_EQ(cells[10 * 11 + i], 0) << "row 10, column " << i << "\n"
                                     << picture;
    EXPECT_EQ(cells[i * 11], (i >= 2 && i <= 7) ? 255 : 0)
        << "column 0, row " << i << "\n"
        << picture;
  }
}

TEST(RasterizeAperture, FirstVertexOfALargePentagonIsTheMiddleOfTheLastColumn) {
  CellPoint vertices[5];
  polygonVertices(101, 5, 0.0, vertices);
  EXPECT_EQ(vertices[0], (CellPoint{100, 50}));
  // Vertex 1 lies at a larger row: angles grow towards +y.
  EXPECT_GT(vertices[1].y, 50);

  const Grid cells = raster(shapeSettings(kShapePolygon, 5), 101);
  for (int y = 0; y < 101; ++y) {
    EXPECT_EQ(cells[y * 101 + 100], y == 50 ? 255 : 0) << "row " << y;
  }
}

TEST(RasterizeAperture, CirclesFillTheirRows) {
  struct Case {
    int size;
    std::vector<int> rowCounts;
    long long sum;
  };
  const Case cases[] = {{5, {3, 5, 5, 5, 3}, 5355},
                        {7, {3, 5, 7, 7, 7, 5, 3}, 9435}};
  for (const Case &c : cases) {
    const Grid cells = raster(shapeSettings(kShapeCircle), c.size);
    const int centre = c.size / 2;
    for (int y = 0; y < c.size; ++y) {
      for (int x = 0; x < c.size; ++x) {
        const bool inside = std::abs(x - centre) <= c.rowCounts[y] / 2;
        EXPECT_EQ(cells[y * c.size + x], inside ? 255 : 0)
            << "cell (" << x << ", " << y << ")\n"
            << gridText(cells, c.size, c.size);
      }
    }
    EXPECT_EQ(sumOfCells(cells, c.size, c.size), c.sum);
  }
}

TEST(RasterizeAperture, RingHoles) {
  const Grid circle = raster(shapeSettings(kShapeCircle), 7);
  struct Case {
    double deform;
    std::vector<int> holeCells;  // indices cleared from the disc
    long long sum;
  };
  const Case cases[] = {
      {0.0, {24}, 9180},
      {0.5, {17, 23, 24, 25, 31}, 8160},
      {-0.5, {}, 9435},
  };
  for (const Case &c : cases) {
    Grid expected = circle;
    for (const int cell : c.holeCells) expected[cell] = 0;
    const Grid ring = raster(shapeSettings(kShapeRing, 5, c.deform), 7);
    EXPECT_TRUE(sameGrid(ring, expected, 7, 7)) << "deform " << c.deform;
    EXPECT_EQ(sumOfCells(ring, 7, 7), c.sum) << "deform " << c.deform;
  }
  // A hole as large as the ring (deformation 1 or more) clears everything.
  for (const int size : {5, 7, 50, 301}) {
    const double deforms[] = {1.0, 1.5, 1e300};
    for (const double deform : deforms) {
      const Grid ring = raster(shapeSettings(kShapeRing, 5, deform), size);
      EXPECT_EQ(sumOfCells(ring, size, size), 0)
          << "size " << size << ", deform " << deform;
    }
  }
}

// Draws one polygon form directly, for comparison with what the dispatch
// chose.
Grid drawnDirectly(bool curved, int size, int vertices, double deform) {
  Grid cells(static_cast<std::size_t>(size) * size * 3, 0);
  if (curved) {
    EXPECT_TRUE(DrawCurvedPolygon(size, vertices, 0.0, deform, cells.data()));
  } else {
    EXPECT_TRUE(DrawPolygon(size, vertices, 0.0, cells.data()));
  }
  return cells;
}

TEST(RasterizeAperture, DeformationPicksThePolygonForm) {
  struct Case {
    double deform;
    bool curved;
    double drawnAs;  // the deformation the curved form uses
  };
  const Case cases[] = {
      {0.0, false, 0.0},    {0.0005, false, 0.0},   {-0.0005, false, 0.0},
      {0.001, true, 0.001}, {-0.001, true, -0.001}, {1.5, true, 1.0},
      {-7.0, true, -1.0},
  };
  for (const int size : {31, 101}) {
    const Grid straight = drawnDirectly(false, size, 5, 0.0);
    const Grid curvedAtOne = drawnDirectly(true, size, 5, 1.0);
    EXPECT_FALSE(sameGrid(straight, curvedAtOne, size, size));
    for (const Case &c : cases) {
      const Grid cells =
          raster(shapeSettings(kShapePolygon, 5, c.deform), size);
      const Grid expected = drawnDirectly(c.curved, size, 5, c.drawnAs);
      EXPECT_TRUE(sameGrid(cells, expected, size, size))
          << "size " << size << ", deform " << c.deform;
    }
  }
}

// With deformation near -1 a triangle's mid points sit next to the centre
// and its curves cross there; the fill seed then lies outside every loop and
// the fill covers the rest of the grid up to its edges. These fills leave the
// most spans pending of any kernel, and the thumbnail draws them at any width.
TEST(RasterizeAperture, TriangleBowedInwardFillsAlmostTheWholeGrid) {
  for (const int size : {101, 301, 1001, 1600}) {
    for (const double deform : {-0.999, -1.0}) {
      const Grid cells = raster(shapeSettings(kShapePolygon, 3, deform), size);
      const long long full = countOf(cells, size, size, 255);
      const long long all = static_cast<long long>(size) * size;
      EXPECT_GT(full, all * 9 / 10)
          << "size " << size << ", deform " << deform << "\n"
          << gridText(cells, size, size);
      const int last = size - 1;
      for (const int corner : {0, last, last * size, last * size + last}) {
        EXPECT_EQ(cells[corner], 255)
            << "size " << size << ", corner cell " << corner;
      }
    }
  }
}

// Sums and CRC-32 checksums of whole kernels computed by a separate model of
// the same formulas (double arithmetic, no fused multiply-add, every formula
// in the order written). A build that contracts or reorders the arithmetic
// moves curve points across cell boundaries and changes these.
TEST(RasterizeAperture, CurvedKernelsMatchAnIndependentModel) {
  struct Case {
    int size, vertices;
    double deform, rotation;
    long long sum;
    std::uint32_t crc;
  };
  const Case cases[] = {
      {101, 5, 0.5, 0.0, 1781940, 659901168u},
      {301, 5, 0.5, 0.0, 15756195, 1517097444u},
      {301, 3, -0.99, 0.0, 21424335, 1813904082u},
      {151, 6, 1.0, 0.0, 4476270, 2816795631u},
      {201, 4, -0.5, 0.3, 3852285, 2466508674u},
      {301, 6, 0.0, 0.2, 15063360, 3181762526u},
      {99, 32, 0.25, 0.0, 1947180, 3941589762u},
      {299, 7, -0.3, 1.0, 14968755, 3482058295u},
      // Fused multiply-add moves one curve point of this kernel by a cell,
      // which opens its outline and lets the fill spill.
      {201, 3, 0.3, 0.0, 4644315, 4213049945u},
  };
  for (const Case &c : cases) {
    const Grid cells = raster(
        shapeSettings(kShapePolygon, c.vertices, c.deform, c.rotation), c.size);
    const std::size_t count = static_cast<std::size_t>(c.size) * c.size;
    EXPECT_EQ(sumOfCells(cells, c.size, c.size), c.sum)
        << "size " << c.size << ", " << c.vertices << " vertices";
    EXPECT_EQ(crc32Of(cells, count), c.crc)
        << "size " << c.size << ", " << c.vertices << " vertices";
  }
}

TEST(RasterizeAperture, VertexCountsOutsideTheTablesAreClamped) {
  struct Case {
    int vertexCount;
    int straightAs, curvedAs;
  };
  const Case cases[] = {
      {0, 3, 3},
      {1, 3, 3},
      {2, 3, 3},
      {-5, 3, 3},
      {17, 16, 17},
      {33, 16, 32},
      {1000, 16, 32},
      {std::numeric_limits<int>::min(), 3, 3},
      {std::numeric_limits<int>::max(), 16, 32},
  };
  for (const Case &c : cases) {
    const Grid straight =
        raster(shapeSettings(kShapePolygon, c.vertexCount, 0.0), 61);
    EXPECT_TRUE(sameGrid(straight,
                         raster(shapeSettings(kShapePolygon, c.straightAs), 61),
                         61, 61))
        << c.vertexCount << " vertices, straight";
    const Grid curved =
        raster(shapeSettings(kShapePolygon, c.vertexCount, 0.4), 61);
    EXPECT_TRUE(sameGrid(
        curved, raster(shapeSettings(kShapePolygon, c.curvedAs, 0.4), 61), 61,
        61))
        << c.vertexCount << " vertices, curved";
  }
}

// An even size keeps c = size / 2, so its shapes are those of size + 1 with
// the last row and column cut off; nothing is drawn beyond the grid, neither
// past its edge nor into the bytes after the first size x size.
TEST(RasterizeAperture, EvenSizesAreTheNextOddKernelCropped) {
  const FilterSettings shapes[] = {
      shapeSettings(kShapeCircle),
      shapeSettings(kShapeRing, 5, 0.5),
      shapeSettings(kShapePolygon, 3),
      shapeSettings(kShapePolygon, 4),
      shapeSettings(kShapePolygon, 6, 0.0, 0.3),
  };
  for (const FilterSettings &settings : shapes) {
    for (const int size : {4, 10, 100, 1200}) {
      const Grid even = raster(settings, size, 0xAB);
      const Grid odd = raster(settings, size + 1);
      Grid cropped(static_cast<std::size_t>(size) * size);
      for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
          cropped[y * size + x] = odd[y * (size + 1) + x];
        }
      }
      EXPECT_TRUE(sameGrid(even, cropped, size, size))
          << describe(settings) << ", size " << size;
      for (std::size_t i = static_cast<std::size_t>(size) * size;
           i < even.size(); ++i) {
        ASSERT_EQ(even[i], 0xAB) << describe(settings) << ", size " << size
                                 << ": byte " << i << " written";
      }
    }
  }
  // The curved form samples its curves by the grid width, so it is not a
  // crop; it must still stay inside the grid and fill up to the edge.
  for (const int size : {2, 4, 10, 100, 1200}) {
    const Grid even = raster(shapeSettings(kShapePolygon, 3, -1.0), size, 0xAB);
    for (std::size_t i = static_cast<std::size_t>(size) * size; i < even.size();
         ++i) {
      ASSERT_EQ(even[i], 0xAB) << "size " << size << ": byte " << i;
    }
  }
}

TEST(RasterizeAperture, SettingsTheHostCouldNotEvaluateReadAsZero) {
  const double unevaluated[] = {NAN, INFINITY, -INFINITY};
  for (const double bad : unevaluated) {
    EXPECT_TRUE(sameGrid(raster(shapeSettings(kShapePolygon, 5, 0.4, bad), 41),
                         raster(shapeSettings(kShapePolygon, 5, 0.4, 0.0), 41),
                         41, 41))
        << "rotation " << bad;
    EXPECT_TRUE(sameGrid(raster(shapeSettings(kShapePolygon, 5, bad), 41),
                         raster(shapeSettings(kShapePolygon, 5, 0.0), 41), 41,
                         41))
        << "deform " << bad;
  }
}

TEST(RasterizeAperture, UnknownShapeCodesWriteNoCell) {
  for (const int shape : {-1, 4, 1000}) {
    FilterSettings settings = shapeSettings(shape);
    settings.kernelIsColor = 1;
    Grid cells(5 * 5 * 3, 0xAB);
    EXPECT_TRUE(RasterizeAperture(cells.data(), 5, settings));
    EXPECT_EQ(settings.kernelIsColor, 0);
    EXPECT_EQ(cells, Grid(5 * 5 * 3, 0xAB)) << "shape " << shape;
  }
}

class ImageShape : public FakeImageHostTest {
 protected:
  FilterSettings imageSettings() {
    FilterSettings settings = shapeSettings(kShapeImage);
    settings.apertureImage = testing::fakeImageId();
    settings.evalTime = 2.5;
    settings.kernelIsColor = 7;
    return settings;
  }
};

TEST_F(ImageShape, CopiesTheResampledPixelsCellByCell) {
  struct Case {
    int pixelType;
    int colour;
  };
  const Case cases[] = {
      {HOST_PIXEL_RGB24, 1}, {HOST_PIXEL_GREY8, 0}, {HOST_PIXEL_RGBA32, 1}};
  for (const Case &c : cases) {
    for (const int size : {1, 4, 9}) {
      host().pixelType = c.pixelType;
      FilterSettings settings = imageSettings();
      Grid cells(static_cast<std::size_t>(size) * size * 3, 0xEE);
      EXPECT_TRUE(RasterizeAperture(cells.data(), size, settings));
      EXPECT_EQ(settings.kernelIsColor, c.colour) << "type " << c.pixelType;
      EXPECT_EQ(host().lastTime, 2.5);
      EXPECT_EQ(host().lastWidth, size);
      EXPECT_EQ(host().lastHeight, size);
      EXPECT_EQ(host().lastMode, 0);
      for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
          const auto pixel = testing::fakePixel(x, y);
          const std::size_t cell = static_cast<std::size_t>(y) * size + x;
          if (c.colour) {
            for (int k = 0; k < 3; ++k) {
              EXPECT_EQ(cells[3 * cell + k], pixel[k])
                  << "type " << c.pixelType << ", size " << size << ", cell ("
                  << x << ", " << y << ") byte " << k;
            }
          } else {
            EXPECT_EQ(cells[cell], pixel[0])
                << "size " << size << ", cell (" << x << ", " << y << ")";
          }
        }
      }
    }
  }
}

TEST_F(ImageShape, NoImageGivesAnAllZeroMonoKernel) {
  enum Missing { kNoneChosen, kNoneAtThisTime, kNoResampledCopy };
  for (const Missing missing :
       {kNoneChosen, kNoneAtThisTime, kNoResampledCopy}) {
    FilterSettings settings = imageSettings();
    if (missing == kNoneChosen) settings.apertureImage = nullptr;
    host().evaluateGivesNothing = missing == kNoneAtThisTime;
    host().resampleGivesNothing = missing == kNoResampledCopy;
    Grid cells(6 * 6 * 3, 0xEE);
    EXPECT_TRUE(RasterizeAperture(cells.data(), 6, settings));
    EXPECT_EQ(settings.kernelIsColor, 0);
    EXPECT_EQ(cells, Grid(6 * 6 * 3, 0)) << "case " << missing;
  }
  EXPECT_EQ(host().evaluateCalls, 2) << "an image was asked for without an ID";
}

TEST_F(ImageShape, AnUnknownPixelTypeWritesNoCell) {
  host().pixelType = 7;
  FilterSettings settings = imageSettings();
  Grid cells(5 * 5 * 3, 0xEE);
  EXPECT_TRUE(RasterizeAperture(cells.data(), 5, settings));
  EXPECT_EQ(settings.kernelIsColor, 0);
  EXPECT_EQ(cells, Grid(5 * 5 * 3, 0xEE));
}

}  // namespace
}  // namespace lensfall
