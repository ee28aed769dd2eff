// The settings window through the real module file: interface activation,
// the form the host builds from the module's tables, the popups, the enable
// rules, edits reaching the record, and the window's life.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <vector>

#include "host/host_error.h"
#include "tests/panel/panel_fixture.h"

namespace lensfall::testing {
namespace {

using host::ControlKind;
using host::HostError;

constexpr unsigned long kLens = 0x8014, kBlurRange = 0x8016, kAperture = 0x8017;

TEST(InterfaceActivation, VersionAndPanelServices) {
  struct Case {
    int version;
    std::set<std::string> withheld;
    int result;
    std::vector<std::string> lookups;
  };
  const std::vector<std::string> both = {"LWXPanel", "LWPanelServices"};
  const Case cases[] = {
      {3, {}, 1, {}},
      {5, {}, 1, {}},
      {4, {"LWPanelServices"}, 2, both},
      {4, {"LWXPanel"}, 2, both},
      {4, {}, 0, both},
  };
  for (const Case &c : cases) {
    host::HostServices services;
    services.faults().withheld = c.withheld;
    host::ModuleFile module(LENSFALL_MODULE_PATH);
    HostInterfaceRecord record{};
    void *const hostInstance = &record;
    record.instance = hostInstance;
    EXPECT_EQ(module.activate(host::kInterfaceClass, host::kLensfallServer,
                              c.version, services.lookup(), &record),
              c.result)
        << c.version;
    EXPECT_EQ(services.lookups, c.lookups) << c.version;
    EXPECT_EQ(record.instance, hostInstance);
    EXPECT_EQ(record.options != nullptr, c.result == 0) << c.version;
    EXPECT_EQ(record.command, nullptr);
  }
}

struct ExpectedControl {
  unsigned long id;
  const char *label;
  const char *controlClass;
  const char *dataType;
  unsigned long group;
  std::optional<double> minimum, maximum, step;
  bool left, narrow;
};

TEST_F(PanelTest, FormIsBuiltFromTheModulesTables) {
  createAndOpen();
  host::FormModel model = form();
  const std::nullopt_t none = std::nullopt;
  const ExpectedControl expected[] = {
      {kFrontBlur, "前ボケ", "iBoolean", "integer", kBlurRange, none, none,
       none, true, false},
      {kFrontMax, "最大値", "percent-env", "percent-env", kBlurRange, 0, none,
       none, false, true},
      {kBackBlur, "後ボケ", "iBoolean", "integer", kBlurRange, none, none, none,
       true, false},
      {kBackMax, "最大値", "percent-env", "percent-env", kBlurRange, 0, none,
       none, false, true},
      {kStrength, "強さ", "float-env", "float-env", kLens, -3, 10, none, false,
       true},
      {kFocus, "ピント位置", "iPopChoice", "integer", kLens, none, none, none,
       false, true},
      {kFNumber, "絞り", "float-env", "float-env", kLens, 0, 10, none, false,
       true},
      {kKeepFarSharp, "ぼかす範囲", "iBoolean", "integer", kBlurRange, none,
       none, none, true, false},
      {kNoBlurDistance, "距離", "distance-env", "distance-env", kBlurRange, 0,
       1000, none, false, true},
      {kUseDepth, "Z値計算", "iBoolean", "integer", kLens, none, none, none,
       true, false},
      {kThumbnail, "サムネイル", "dThumbnail", "integer", kAperture, none, none,
       none, true, false},
      {kShape, "絞り形状", "iChoice", "integer", kAperture, none, none, none,
       false, true},
      {kRotation, "回転", "angle-env", "angle-env", kAperture, none, 10, none,
       false, true},
      {kDeform, "変形", "percent-env", "percent-env", kAperture, none, 10, none,
       false, true},
      {kVertexCount, "頂点数", "iSlider", "integer", kAperture, 3, 6, 1, false,
       true},
      {kImage, "画像", "iPopChoice", "integer", kAperture, none, none, none,
       false, true},
  };
  ASSERT_EQ(model.controls().size(), std::size(expected));
  for (size_t k = 0; k < std::size(expected); ++k) {
    const ExpectedControl &e = expected[k];
    const host::FormControl &c = model.controls()[k];
    SCOPED_TRACE(e.label);
    EXPECT_EQ(c.id, e.id);
    EXPECT_EQ(c.label, e.label);
    EXPECT_EQ(c.controlClass, e.controlClass);
    EXPECT_EQ(c.dataType, e.dataType);
    EXPECT_EQ(c.group, e.group);
    EXPECT_EQ(c.minimum, e.minimum);
    EXPECT_EQ(c.maximum, e.maximum);
    EXPECT_EQ(c.step, e.step);
    EXPECT_EQ(c.left, e.left);
    EXPECT_EQ(c.narrow, e.narrow);
  }
  EXPECT_TRUE(model.form().problems.empty())
      << ::testing::PrintToString(model.form().problems);
  EXPECT_EQ(model.form().groups,
            (std::vector<unsigned long>{kAperture, kLens, kBlurRange}));
  EXPECT_EQ(model.choices(kShape),
            (std::vector<std::string>{"円", "多角形", "リング", "画像"}));
  EXPECT_EQ(model.control(kThumbnail).drawConfig,
            (std::vector<HostHintWord>{0, 0x10001}));
  EXPECT_NE(model.control(kThumbnail).draw, nullptr);
  EXPECT_EQ(model.form().kind, 1);

  // The window holds the form and the banner, ten units from the left.
  HostWindow &window = *panels().openWindows().front();
  EXPECT_EQ(window.title, "Lensfall");
  ASSERT_EQ(window.controls.size(), 2u);
  EXPECT_EQ(window.controls[0]->controlClass, "XPanelControl");
  EXPECT_EQ(window.controls[0]->form, &model.form());
  EXPECT_EQ(window.controls[1]->controlClass, "TextControl");
  EXPECT_EQ(window.controls[1]->lines,
            std::vector<std::string>{"Lensfall 1.1.1"});
  EXPECT_EQ(window.controls[1]->attributes.at(HOST_CONTROL_X), 10);
  EXPECT_NE(window.onClose, nullptr);
  EXPECT_NE(window.onKey, nullptr);
}

TEST_F(PanelTest, ValuesShowTheRecordAndEditsReachIt) {
  HostInstance instance = createAndOpen();
  FilterSettings &s = settingsOf(instance);
  host::FormModel model = form();
  EXPECT_EQ(model.value(kFNumber), 2.4);
  EXPECT_EQ(model.value(kVertexCount), 5);
  EXPECT_EQ(model.value(kUseDepth), 1);

  model.setValue(kShape, 1);
  model.setValue(kVertexCount, 6);
  model.setValue(kFrontBlur, 0);
  EXPECT_EQ(s.apertureShape, 1);
  EXPECT_EQ(s.vertexCount, 6);
  EXPECT_EQ(s.frontBlur, 0);
  // An animated edit lands in the parameter and replaces its envelope.
  s.fNumberParam->envelope.setKey({1.0, 8.0});
  model.setValue(kFNumber, 5.6);
  EXPECT_EQ(s.fNumberParam->value, 5.6);
  EXPECT_TRUE(s.fNumberParam->envelope.empty());
  // Every edit asks for a redraw and runs the change notification, which
  // refreshes the view.
  EXPECT_EQ(model.form().redrawRequests, 4);
  EXPECT_EQ(model.form().viewRefreshes, 4);
}

TEST_F(PanelTest, RefusedEditsChangeNothing) {
  HostInstance instance = createAndOpen();
  host::FormModel model = form();
  struct Case {
    unsigned long id;
    double value;
  };
  const Case refused[] = {
      {0x9999, 1},        // no such control
      {kThumbnail, 1},    // holds no value
      {kVertexCount, 7},  // above 3..6
      {kVertexCount, 4.5}, {kUseDepth, 2},
      {kShape, 4},         {kFocus, 1},  // the scene has no objects
      {kStrength, 10.5},   {kNoBlurDistance, -1},
      {kRotation, 1},  // disabled for the circle
  };
  const FilterSettings before = settingsOf(instance);
  const double strength = settingsOf(instance).strengthParam->value;
  for (const Case &c : refused) {
    EXPECT_THROW(model.setValue(c.id, c.value), HostError)
        << std::hex << c.id << " " << c.value;
  }
  EXPECT_EQ(std::memcmp(&before, &settingsOf(instance), sizeof before), 0);
  EXPECT_EQ(settingsOf(instance).strengthParam->value, strength);
  EXPECT_EQ(model.form().redrawRequests, 0);
}

TEST_F(PanelTest, FocusPopupListsObjectsInHostOrder) {
  // No objects: one entry, and choosing it stores none.
  HostInstance instance = createAndOpen();
  FilterSettings &s = settingsOf(instance);
  EXPECT_EQ(form().choices(kFocus), std::vector<std::string>{"(none)"});
  form().setValue(kFocus, 0);
  EXPECT_EQ(s.focusItemIndex, 0);
  EXPECT_EQ(s.focusItem, nullptr);

  scene().addObject("Ball");
  HostItem &cube = scene().addObject("Cube");
  scene().addObject("Lamp");
  host::FormModel model = form();
  EXPECT_EQ(model.choices(kFocus),
            (std::vector<std::string>{"(none)", "Ball", "Cube", "Lamp"}));
  model.setValue(kFocus, 2);
  EXPECT_EQ(s.focusItemIndex, 2);
  EXPECT_EQ(s.focusItem, &cube);

  // Past the end the name stays at the last object while the lookup finds
  // none; the module's own set callback shows it, as the form's bounds keep
  // a user from choosing position 7.
  const host::FormControl &focus = model.control(kFocus);
  EXPECT_STREQ(focus.popupName(nullptr, 7), "Lamp");
  int32_t seven = 7;
  EXPECT_EQ(model.form().set(model.form().instance, kFocus, &seven), 2);
  EXPECT_EQ(s.focusItemIndex, 7);
  EXPECT_EQ(s.focusItem, nullptr);
}

TEST_F(PanelTest, ImagePopupListsTheImages) {
  HostInstance instance = createAndOpen();
  FilterSettings &s = settingsOf(instance);
  EXPECT_EQ(form().choices(kImage), std::vector<std::string>{"(none)"});
  HostPixmap pixel{1, 1, HOST_PIXEL_GREY8, {128}};
  scene().addImage("iris", pixel);
  HostImage &star = scene().addImage("star", pixel);
  host::FormModel model = form();
  EXPECT_EQ(model.choices(kImage),
            (std::vector<std::string>{"(none)", "iris", "star"}));
  model.setValue(kShape, 3);
  model.setValue(kImage, 2);
  EXPECT_EQ(s.apertureImageIndex, 2);
  EXPECT_EQ(s.apertureImage, &star);
}

TEST_F(PanelTest, ShapeEnablesItsOwnControls) {
  createAndOpen();
  host::FormModel model = form();
  struct Case {
    int shape;
    bool vertexCount, rotation, deform, image;
  };
  const Case cases[] = {
      {0, false, false, false, false},
      {1, true, true, true, false},
      {2, false, false, true, false},
      {3, false, false, false, true},
  };
  for (const Case &c : cases) {
    model.setValue(kShape, c.shape);
    EXPECT_EQ(model.enabled(kVertexCount), c.vertexCount) << c.shape;
    EXPECT_EQ(model.enabled(kRotation), c.rotation) << c.shape;
    EXPECT_EQ(model.enabled(kDeform), c.deform) << c.shape;
    EXPECT_EQ(model.enabled(kImage), c.image) << c.shape;
    EXPECT_TRUE(model.enabled(kShape));
    EXPECT_TRUE(model.enabled(kThumbnail));
  }
}

TEST_F(PanelTest, SwitchesEnableTheirControls) {
  createAndOpen();
  host::FormModel model = form();
  const std::vector<unsigned long> depthDependent = {
      kFNumber, kFocus, kBackBlur, kBackMax, kKeepFarSharp, kNoBlurDistance};
  const std::vector<unsigned long> alwaysOn = {kStrength, kFrontBlur, kFrontMax,
                                               kUseDepth, kThumbnail, kShape};

  model.setValue(kKeepFarSharp, 1);
  for (unsigned long id : depthDependent) EXPECT_TRUE(model.enabled(id)) << id;
  model.setValue(kUseDepth, 0);
  for (unsigned long id : depthDependent) {
    EXPECT_FALSE(model.enabled(id)) << std::hex << id;
  }
  for (unsigned long id : alwaysOn) {
    EXPECT_TRUE(model.enabled(id)) << std::hex << id;
  }
  model.setValue(kUseDepth, 1);

  // A control under two rules needs both.
  struct Case {
    unsigned long control, switchId;
  };
  for (const Case &c :
       {Case{kNoBlurDistance, kKeepFarSharp}, Case{kBackMax, kBackBlur},
        Case{kFrontMax, kFrontBlur}}) {
    model.setValue(c.switchId, 0);
    EXPECT_FALSE(model.enabled(c.control)) << std::hex << c.control;
    model.setValue(c.switchId, 1);
    EXPECT_TRUE(model.enabled(c.control)) << std::hex << c.control;
  }
}

// The seven cached values, in the fixed parameter order.
std::vector<double> cachedValues(const FilterSettings &s) {
  return {s.strength,       s.backMax,  s.frontMax, s.fNumber,
          s.noBlurDistance, s.rotation, s.deform};
}

TEST_F(PanelTest, RotationAndDeformationEditsReevaluateAtTimeZero) {
  HostInstance instance = createAndOpen();
  FilterSettings &s = settingsOf(instance);
  host::FormModel model = form();
  model.setValue(kShape, 1);
  s.strengthParam->envelope.setKey({0.0, 0.5});
  s.strengthParam->envelope.setKey({2.0, 1.5});
  s.fNumberParam->envelope.setKey({0.0, 2.0});
  s.fNumberParam->envelope.setKey({2.0, 4.0});

  struct Case {
    unsigned long id;
    double value;
    bool reevaluates;
  };
  const Case cases[] = {
      {kRotation, 0.5, true}, {kDeform, 0.3, true},   {kStrength, 0.25, false},
      {kFNumber, 3.0, false}, {kBackMax, 0.5, false},
  };
  for (const Case &c : cases) {
    // Cached values as a later frame left them.
    s.strength = 1.25;
    s.fNumber = 3.5;
    s.rotation = 0.1;
    s.deform = 0.2;
    s.backMax = 0.9;
    const std::vector<double> before = cachedValues(s);
    model.setValue(c.id, c.value);
    if (!c.reevaluates) {
      EXPECT_EQ(cachedValues(s), before) << std::hex << c.id;
      continue;
    }
    std::vector<double> atZero;
    for (HostVParmID p :
         {s.strengthParam, s.backMaxParam, s.frontMaxParam, s.fNumberParam,
          s.noBlurDistanceParam, s.rotationParam, s.deformParam}) {
      atZero.push_back(p->valueAt(0.0));
    }
    EXPECT_EQ(cachedValues(s), atZero) << std::hex << c.id;
    EXPECT_EQ(s.strength, 0.5);
    EXPECT_EQ(s.rotation, c.id == kRotation ? c.value : 0.5);
  }
}

TEST_F(PanelTest, UnknownIdsAndTheThumbnailHoldNoValue) {
  HostInstance instance = createAndOpen();
  HostForm &open = form().form();
  for (unsigned long id : {0x800ful, 0x8001ul, 0x8012ul, 0x8014ul, 0ul}) {
    EXPECT_EQ(open.get(instance, id), nullptr) << std::hex << id;
    const FilterSettings before = settingsOf(instance);
    int32_t value = 3;
    EXPECT_EQ(open.set(instance, id, &value), 2) << std::hex << id;
    EXPECT_EQ(std::memcmp(&before, &settingsOf(instance), sizeof before), 0);
  }
}

TEST_F(PanelTest, FormShowsTheNewestInstance) {
  HostInstance first = filter->create();
  HostInstance second = filter->create();
  settingsOf(second).apertureShape = 2;
  EXPECT_EQ(openOptions(first), "");
  host::FormModel model = form();
  EXPECT_EQ(model.form().instance, second);
  EXPECT_EQ(model.form().data, second);
  EXPECT_EQ(model.value(kShape), 2);
  model.setValue(kFrontBlur, 0);
  EXPECT_EQ(settingsOf(second).frontBlur, 0);
  EXPECT_EQ(settingsOf(first).frontBlur, 1);
}

TEST_F(PanelTest, ClosingDestroysTheFormAndStopsRefreshes) {
  HostInstance instance = createAndOpen();
  HostItem &cup = scene().addObject("Cup");
  HostItem &mug = scene().addObject("Mug");
  form().setValue(kFocus, 1);
  // While the window is open, a change of the focus object's ID refreshes.
  const int before = panels().calls().viewRefreshes;
  filter->changeIds(instance, {{&cup, &mug}});
  EXPECT_EQ(panels().calls().viewRefreshes, before + 1);

  HostWindow &window = *panels().openWindows().front();
  panels().userKey(window, 'x');
  EXPECT_EQ(panels().openWindows().size(), 1u);
  panels().userClose(window);
  EXPECT_TRUE(panels().openWindows().empty());
  EXPECT_EQ(panels().liveForms(), 0u);
  const int afterClose = panels().calls().viewRefreshes;
  filter->changeIds(instance, {{&mug, &cup}});
  EXPECT_EQ(panels().calls().viewRefreshes, afterClose);
  // The module does not destroy a window the user closed; destroying an
  // instance later has no window to close.
  filter->destroy(instance);
  EXPECT_EQ(panels().calls().windowDestroys, 0);
}

TEST_F(PanelTest, HostDestroyingTheFormLeavesNoHandle) {
  HostInstance instance = createAndOpen();
  panels().hostDestroysForm(form().form());
  HostItem &cup = scene().addObject("Cup");
  settingsOf(instance).focusItem = &cup;
  const int before = panels().calls().viewRefreshes;
  filter->changeIds(instance, {{&cup, nullptr}});
  EXPECT_EQ(panels().calls().viewRefreshes, before);
}

TEST_F(PanelTest, DestroyingAnyInstanceClosesAndDestroysTheWindow) {
  for (bool destroyNewest : {false, true}) {
    SCOPED_TRACE(destroyNewest);
    HostInstance older = filter->create();
    HostInstance newer = createAndOpen();
    ASSERT_EQ(panels().liveWindows(), 1u);
    filter->destroy(destroyNewest ? newer : older);
    EXPECT_TRUE(panels().openWindows().empty());
    EXPECT_EQ(panels().liveWindows(), 0u);
    EXPECT_EQ(panels().liveForms(), 0u);
    filter->destroy(destroyNewest ? older : newer);
  }
}

TEST_F(PanelTest, CreationFailuresOpenNothingAndKeepNothing) {
  filter->create();
  for (bool failForm : {true, false}) {
    SCOPED_TRACE(failForm);
    panels().faults() = {};
    (failForm ? panels().faults().failFormCreate
              : panels().faults().failWindowCreate) = true;
    EXPECT_EQ(openOptions(), kNoPanelMessage);
    EXPECT_TRUE(panels().openWindows().empty());
    // What was made before the failure is released.
    EXPECT_EQ(panels().liveWindows(), 0u);
    EXPECT_EQ(panels().liveForms(), 0u);
  }
  // The next opening works and the failed one left nothing to close.
  panels().faults() = {};
  EXPECT_EQ(openOptions(), "");
  EXPECT_EQ(panels().calls().windowCloses, 0);
}

TEST_F(PanelTest, SecondOpeningReplacesTheFirstWindow) {
  HostInstance first = createAndOpen();
  const int firstWindow = panels().openWindows().front()->serial;
  const int firstForm = form().form().serial;
  HostInstance second = filter->create();
  EXPECT_EQ(openOptions(), "");
  ASSERT_EQ(panels().openWindows().size(), 1u);
  // The first window and form are gone: only the new ones live.
  EXPECT_EQ(panels().liveWindows(), 1u);
  EXPECT_EQ(panels().liveForms(), 1u);
  EXPECT_NE(panels().openWindows().front()->serial, firstWindow);
  EXPECT_NE(form().form().serial, firstForm);
  // Every window still open shows a living form, bound to the newest record.
  for (HostWindow *window : panels().openWindows()) {
    ASSERT_NE(panels().formOf(*window), nullptr);
  }
  EXPECT_EQ(form().form().instance, second);
  (void)first;
}

TEST_F(PanelTest, NoWindowOpensOnADestroyedRecord) {
  HostInstance instance = filter->create();
  filter->destroy(instance);
  EXPECT_EQ(openOptions(), kNoPanelMessage);
  EXPECT_EQ(panels().calls().windowCreates, 0);
  EXPECT_EQ(panels().calls().formCreates, 0);
  // A failed creation also leaves no record to open on.
  filter->create();
  services->faults().failVParmCreateAt = services->vparmCreateCalls;
  EXPECT_THROW(filter->create(), HostError);
  EXPECT_EQ(openOptions(), kNoPanelMessage);
}

}  // namespace
}  // namespace lensfall::testing
