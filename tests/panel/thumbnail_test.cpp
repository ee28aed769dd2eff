// The aperture thumbnail drawn through the form: the very kernel the
// renderer rasterises, on the area the host gives, from the newest record.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kernels/aperture.h"
#include "tests/panel/panel_fixture.h"

namespace lensfall::testing {
namespace {

// The grey levels of a drawn area, one row per line, for failure output.
std::string areaText(const HostDrawArea &area) {
  std::string text;
  for (int y = 0; y < area.height; ++y) {
    for (int x = 0; x < area.width; ++x) {
      const uint8_t v = area.at(x, y)[0];
      text += v == 0 ? '.' : v == 255 ? '#' : '+';
    }
    text += '\n';
  }
  return text;
}

// The oracle: the renderer's rasteriser run on a copy of the record, as the
// kernel bank runs it, with no host in between.
std::vector<uint8_t> kernelOf(FilterSettings settings, int size) {
  std::vector<uint8_t> cells(size_t(size) * size * 3, 0);
  EXPECT_TRUE(RasterizeAperture(cells.data(), size, settings));
  cells.resize(size_t(size) * size);
  return cells;
}

std::vector<uint8_t> greyOf(const HostDrawArea &area) {
  std::vector<uint8_t> grey;
  for (int y = 0; y < area.height; ++y) {
    for (int x = 0; x < area.width; ++x) {
      const uint8_t *p = area.at(x, y);
      EXPECT_TRUE(p[0] == p[1] && p[1] == p[2]) << x << "," << y;
      grey.push_back(p[0]);
    }
  }
  return grey;
}

TEST_F(PanelTest, GeometricShapesShowTheRenderersKernel) {
  HostInstance instance = createAndOpen();
  FilterSettings &s = settingsOf(instance);
  host::FormModel model = form();
  struct Case {
    const char *name;
    int shape, size, vertices;
    double rotation, deform;
  };
  const Case cases[] = {
      {"circle 64", 0, 64, 5, 0.0, 0.0},
      {"hexagon 65", 1, 65, 6, 0.0, 0.0},
      {"curved pentagon 41", 1, 41, 5, 0.3, 0.5},
      {"ring 64", 2, 64, 5, 0.0, 0.0},
      {"ring with hole 33", 2, 33, 5, 0.0, 0.5},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    model.setValue(kShape, c.shape);
    if (c.shape == 1) {
      model.setValue(kVertexCount, c.vertices);
      model.setValue(kRotation, c.rotation);
    }
    if (c.shape != 0) model.setValue(kDeform, c.deform);
    const HostDrawArea area = model.drawThumbnail(c.size);
    EXPECT_EQ(area.drawn, long(c.size) * c.size);
    EXPECT_EQ(area.outside, 0);
    EXPECT_EQ(greyOf(area), kernelOf(s, c.size)) << areaText(area);
  }
}

TEST_F(PanelTest, ThumbnailLandmarks) {
  HostInstance instance = createAndOpen();
  host::FormModel model = form();
  struct Pixel {
    int x, y;
    uint8_t value;
  };
  struct Case {
    const char *name;
    int shape, size, vertices;
    std::vector<Pixel> pixels;
  };
  const Case cases[] = {
      // A disc of radius 32 around (32, 32): its left and top extremes are
      // drawn, the cells at column or row 64 fall outside the area.
      {"circle 64",
       0,
       64,
       5,
       {{32, 32, 255},
        {0, 32, 255},
        {32, 0, 255},
        {63, 32, 255},
        {0, 0, 0},
        {63, 63, 0},
        {5, 5, 0}}},
      // The first corner of a hexagon is the last cell of the middle row.
      {"hexagon 65",
       1,
       65,
       6,
       {{64, 32, 255}, {64, 31, 0}, {64, 33, 0}, {32, 32, 255}, {0, 0, 0}}},
      // The default deformation leaves only the centre cell dark.
      {"ring 64",
       2,
       64,
       5,
       {{32, 32, 0},
        {31, 32, 255},
        {33, 32, 255},
        {32, 31, 255},
        {32, 33, 255}}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    model.setValue(kShape, c.shape);
    if (c.shape == 1) model.setValue(kVertexCount, c.vertices);
    const HostDrawArea area = model.drawThumbnail(c.size);
    for (const Pixel &p : c.pixels) {
      EXPECT_EQ(area.at(p.x, p.y)[0], p.value) << p.x << "," << p.y;
    }
  }
  (void)instance;
}

TEST_F(PanelTest, ImageShapeShowsTheImageOrBlack) {
  HostInstance instance = createAndOpen();
  FilterSettings &s = settingsOf(instance);
  scene().addImage("grey",
                   HostPixmap{2, 2, HOST_PIXEL_GREY8, {90, 90, 90, 90}});
  std::vector<uint8_t> orange;
  for (int k = 0; k < 4; ++k) orange.insert(orange.end(), {200, 100, 50});
  scene().addImage("orange", HostPixmap{2, 2, HOST_PIXEL_RGB24, orange});
  host::FormModel model = form();
  model.setValue(kShape, 3);
  struct Case {
    int image;
    uint8_t r, g, b;
    int color;
  };
  for (const Case &c : {Case{0, 0, 0, 0, 0}, Case{1, 90, 90, 90, 0},
                        Case{2, 200, 100, 50, 1}}) {
    SCOPED_TRACE(c.image);
    model.setValue(kImage, c.image);
    const HostDrawArea area = model.drawThumbnail(16);
    EXPECT_EQ(area.drawn, 16 * 16);
    for (int y = 0; y < 16; ++y) {
      for (int x = 0; x < 16; ++x) {
        const uint8_t *p = area.at(x, y);
        ASSERT_EQ(std::vector<int>(p, p + 3), (std::vector<int>{c.r, c.g, c.b}))
            << x << "," << y;
      }
    }
    EXPECT_EQ(s.kernelIsColor, c.color);
  }
}

TEST_F(PanelTest, DrawingLeavesEvalTimeAtZero) {
  HostInstance instance = createAndOpen();
  settingsOf(instance).evalTime = 2.5;
  form().drawThumbnail(8);
  EXPECT_EQ(settingsOf(instance).evalTime, 0.0);
}

TEST_F(PanelTest, ThumbnailFollowsTheNewestInstanceWhileEditsStayBound) {
  HostInstance bound = createAndOpen();
  host::FormModel model = form();
  model.setValue(kShape, 1);
  const std::vector<uint8_t> polygon = greyOf(model.drawThumbnail(31));
  EXPECT_EQ(polygon, kernelOf(settingsOf(bound), 31));

  HostInstance newer = filter->create();  // a circle
  EXPECT_EQ(greyOf(model.drawThumbnail(31)), kernelOf(settingsOf(newer), 31));
  model.setValue(kShape, 2);
  EXPECT_EQ(settingsOf(bound).apertureShape, 2);
  EXPECT_EQ(settingsOf(newer).apertureShape, 0);
}

TEST_F(PanelTest, AreasOfOtherProportions) {
  HostInstance instance = createAndOpen();
  host::FormModel model = form();
  const std::vector<uint8_t> kernel = kernelOf(settingsOf(instance), 32);
  struct Case {
    int width, height;
  };
  for (const Case &c : {Case{32, 48}, Case{32, 20}, Case{32, 1}}) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    const HostDrawArea area = model.draw(kThumbnail, c.width, c.height);
    EXPECT_EQ(area.drawn, long(c.width) * c.height);
    EXPECT_EQ(area.outside, 0);
    // The kernel's rows where the area has them, black below it.
    const std::vector<uint8_t> grey = greyOf(area);
    for (int y = 0; y < c.height; ++y) {
      for (int x = 0; x < c.width; ++x) {
        const uint8_t expected = y < c.width ? kernel[size_t(y) * 32 + x] : 0;
        ASSERT_EQ(grey[size_t(y) * c.width + x], expected) << x << "," << y;
      }
    }
  }
}

TEST_F(PanelTest, NoRecordDrawsBlack) {
  createAndOpen();
  host::FormModel model = form();
  // A failed creation leaves no record designated while the window stays.
  services->faults().failVParmCreateAt = services->vparmCreateCalls;
  EXPECT_ANY_THROW(filter->create());
  ASSERT_EQ(panels().openWindows().size(), 1u);
  const HostDrawArea area = model.drawThumbnail(24);
  EXPECT_EQ(area.drawn, 24 * 24);
  EXPECT_EQ(greyOf(area), std::vector<uint8_t>(24 * 24, 0));
}

}  // namespace
}  // namespace lensfall::testing
