// Every text the module hands the host, with the Japanese it must read as.
#pragma once

#include "hostlink/texts.h"

namespace lensfall::testing {

struct ExpectedText {
  const char *cp932;
  const char *utf8;
};

inline constexpr ExpectedText kExpectedTexts[] = {
    {texts::kChannelStrength, "強さ"},
    {texts::kChannelNoBlurDistance, "ぼかさない距離"},
    {texts::kChannelFNumber, "絞り"},
    {texts::kChannelFrontMax, "前ボケ最大サイズ"},
    {texts::kChannelBackMax, "後ボケ最大サイズ"},
    {texts::kChannelRotation, "角度"},
    {texts::kChannelDeform, "変形"},
    {texts::kMessageNoInstance, "インスタンスデータを作成できません"},
    {texts::kMessageNoEnvelopes, "エンベロープを作成できません"},
    {texts::kMessageNoPanel, "なぜかパネルを作成できません"},
    {texts::kLabelFrontBlur, "前ボケ"},
    {texts::kLabelFrontMax, "前ボケの最大値"},
    {texts::kLabelBackBlur, "後ボケ"},
    {texts::kLabelBackMax, "後ボケの最大値"},
    {texts::kLabelStrength, "強さ"},
    {texts::kLabelFocus, "ピント位置"},
    {texts::kLabelFNumber, "絞り"},
    {texts::kLabelKeepFarSharp, "遠くをぼかさない"},
    {texts::kLabelNoBlurDistance, "ぼかさない距離"},
    {texts::kLabelUseDepth, "Z値計算"},
    {texts::kLabelThumbnail, "サムネイル"},
    {texts::kLabelShape, "絞り形状"},
    {texts::kLabelRotation, "回転"},
    {texts::kLabelDeform, "変形"},
    {texts::kLabelVertexCount, "頂点数"},
    {texts::kLabelImage, "画像"},
    {texts::kLabelBlurRange, "ぼかす範囲"},
    {texts::kLabelDistance, "距離"},
    {texts::kLabelMaximum, "最大値"},
    {texts::kShapeNameCircle, "円"},
    {texts::kShapeNamePolygon, "多角形"},
    {texts::kShapeNameRing, "リング"},
    {texts::kShapeNameImage, "画像"},
};

}  // namespace lensfall::testing
