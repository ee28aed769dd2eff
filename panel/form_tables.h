// The settings form's static description: the control and value tables, the
// hint array handed to the form service, the shape names and the enable maps.
#pragma once

#include <cstdint>

#include "hostapi/panel.h"

namespace lensfall {

// Control ids of the form; the three group ids have no row in the tables.
enum SettingsControlId : unsigned long {
  kIdFrontBlur = 0x8002,
  kIdFrontMax = 0x8003,
  kIdBackBlur = 0x8004,
  kIdBackMax = 0x8005,
  kIdStrength = 0x8006,
  kIdFocusItem = 0x8007,
  kIdFNumber = 0x8008,
  kIdUseDepth = 0x8009,
  kIdKeepFarSharp = 0x800a,
  kIdNoBlurDistance = 0x800b,
  kIdShape = 0x800c,
  kIdRotation = 0x800d,
  kIdDeform = 0x800e,
  kIdThumbnail = 0x800f,
  kIdVertexCount = 0x8010,
  kIdImage = 0x8011,
  kIdLensGroup = 0x8014,
  kIdBlurRangeGroup = 0x8016,
  kIdApertureGroup = 0x8017,
};

// Each ended by a row of zeros.
extern const HostFormControl controlTable[];
extern const HostFormDataDesc dataTable[];
// Tag words followed by their arguments, ended by a lone 0.
extern const HostHintWord hintTable[];
// "円", "多角形", "リング", "画像", then null; the position is the shape code.
extern const char *const shapeNames[];

// Indexed by the shape code; non-zero enables the control.
extern const int vertexCountEnableMap[4];
extern const int rotationEnableMap[4];
extern const int deformEnableMap[4];
extern const int imageEnableMap[4];

}  // namespace lensfall
