// The module's user-visible texts, in code page 932 (Shift-JIS) as the host
// expects them. Each is written as bytes so the source stays UTF-8; the
// comment beside it gives the text itself.
#pragma once

namespace lensfall::texts {

// The channel names of the seven animated settings.
inline constexpr char kChannelStrength[] = "\x8b\xad\x82\xb3";  // 強さ
inline constexpr char kChannelNoBlurDistance[] =
    "\x82\xda\x82\xa9\x82\xb3\x82\xc8\x82\xa2\x8b\x97\x97\xa3";  // ぼかさない距離
inline constexpr char kChannelFNumber[] = "\x8d\x69\x82\xe8";  // 絞り
inline constexpr char kChannelFrontMax[] =
    "\x91\x4f\x83\x7b\x83\x50\x8d\xc5\x91\xe5\x83\x54\x83\x43\x83\x59";  // 前ボケ最大サイズ
inline constexpr char kChannelBackMax[] =
    "\x8c\xe3\x83\x7b\x83\x50\x8d\xc5\x91\xe5\x83\x54\x83\x43\x83\x59";  // 後ボケ最大サイズ
inline constexpr char kChannelRotation[] = "\x8a\x70\x93\x78";  // 角度
inline constexpr char kChannelDeform[] = "\x95\xcf\x8c\x60";    // 変形

// The messages returned to the host.
inline constexpr char kMessageNoInstance[] =
    "\x83\x43\x83\x93\x83\x58\x83\x5e\x83\x93\x83\x58\x83\x66\x81\x5b"
    "\x83\x5e\x82\xf0\x8d\xec\x90\xac\x82\xc5\x82\xab\x82\xdc\x82\xb9"
    "\x82\xf1";  // インスタンスデータを作成できません
inline constexpr char kMessageNoEnvelopes[] =
    "\x83\x47\x83\x93\x83\x78\x83\x8d\x81\x5b\x83\x76\x82\xf0\x8d\xec\x90\xac"
    "\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1";  // エンベロープを作成できません
inline constexpr char kMessageNoPanel[] =
    "\x82\xc8\x82\xba\x82\xa9\x83\x70\x83\x6c\x83\x8b\x82\xf0\x8d\xec\x90\xac"
    "\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1";  // なぜかパネルを作成できません

// The labels of the settings form.
inline constexpr char kLabelFrontBlur[] = "\x91\x4f\x83\x7b\x83\x50";  // 前ボケ
inline constexpr char kLabelFrontMax[] =
    "\x91\x4f\x83\x7b\x83\x50\x82\xcc\x8d\xc5\x91\xe5\x92\x6c";  // 前ボケの最大値
inline constexpr char kLabelBackBlur[] = "\x8c\xe3\x83\x7b\x83\x50";  // 後ボケ
inline constexpr char kLabelBackMax[] =
    "\x8c\xe3\x83\x7b\x83\x50\x82\xcc\x8d\xc5\x91\xe5\x92"
    "\x6c";  // 後ボケの最大値
inline constexpr char kLabelStrength[] = "\x8b\xad\x82\xb3";  // 強さ
inline constexpr char kLabelFocus[] =
    "\x83\x73\x83\x93\x83\x67\x88\xca\x92\x75";              // ピント位置
inline constexpr char kLabelFNumber[] = "\x8d\x69\x82\xe8";  // 絞り
inline constexpr char kLabelKeepFarSharp[] =
    "\x89\x93\x82\xad\x82\xf0\x82\xda\x82\xa9\x82\xb3\x82\xc8\x82\xa2";  // 遠くをぼかさない
inline constexpr char kLabelNoBlurDistance[] =
    "\x82\xda\x82\xa9\x82\xb3\x82\xc8\x82\xa2\x8b\x97\x97\xa3";  // ぼかさない距離
inline constexpr char kLabelUseDepth[] =
    "\x5a\x92\x6c\x8c\x76\x8e\x5a";  // Z値計算
inline constexpr char kLabelThumbnail[] =
    "\x83\x54\x83\x80\x83\x6c\x83\x43\x83\x8b";  // サムネイル
inline constexpr char kLabelShape[] =
    "\x8d\x69\x82\xe8\x8c\x60\x8f\xf3";                       // 絞り形状
inline constexpr char kLabelRotation[] = "\x89\xf1\x93\x5d";  // 回転
inline constexpr char kLabelDeform[] = "\x95\xcf\x8c\x60";    // 変形
inline constexpr char kLabelVertexCount[] =
    "\x92\xb8\x93\x5f\x90\x94";                            // 頂点数
inline constexpr char kLabelImage[] = "\x89\xe6\x91\x9c";  // 画像
inline constexpr char kLabelBlurRange[] =
    "\x82\xda\x82\xa9\x82\xb7\x94\xcd\x88\xcd";               // ぼかす範囲
inline constexpr char kLabelDistance[] = "\x8b\x97\x97\xa3";  // 距離
inline constexpr char kLabelMaximum[] = "\x8d\xc5\x91\xe5\x92\x6c";  // 最大値

// The names of the aperture shapes.
inline constexpr char kShapeNameCircle[] = "\x89\x7e";  // 円
inline constexpr char kShapeNamePolygon[] =
    "\x91\xbd\x8a\x70\x8c\x60";  // 多角形
inline constexpr char kShapeNameRing[] = "\x83\x8a\x83\x93\x83\x4f";  // リング
inline constexpr char kShapeNameImage[] = "\x89\xe6\x91\x9c";         // 画像

}  // namespace lensfall::texts
