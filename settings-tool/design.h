// The dialog as designed, for both faces: each control's name, kind, container, caption and
// place in twips (1440 to an inch: 15 to a pixel at 96 dpi), in tab order.
#pragma once

namespace tool {

enum class Kind { kFrame, kOption, kCheck, kButton };

struct Control {
  const char* name;  // the control's name (the Qt face's objectName)
  Kind kind;
  int container;  // index of the frame that holds it, -1 for the window
  const char* caption;
  int left, top, width, height;
};

// Indices into kControls.
enum : int {
  kFrameScreen,
  kOptWindow,
  kOptFullScreen,
  kFrameButton,
  kOptLeft,
  kOptRight,
  kChkShowFPS,
  kBtnOK,
  kControlCount
};

// clang-format off
inline constexpr Control kControls[kControlCount] = {
    {"frameScreen", Kind::kFrame, -1, "画面モード", 90, 90, 3300, 750},
    {"optWindow", Kind::kOption, kFrameScreen, "ウィンドウ", 120, 300, 1200, 300},
    {"optFullScreen", Kind::kOption, kFrameScreen, "フルスクリーン", 1500, 300, 1500, 300},
    {"frameButton", Kind::kFrame, -1, "マウスボタン", 90, 930, 3300, 750},
    {"optLeft", Kind::kOption, kFrameButton, "左クリック", 120, 300, 1200, 300},
    {"optRight", Kind::kOption, kFrameButton, "右クリック", 1500, 300, 1200, 300},
    {"chkShowFPS", Kind::kCheck, -1, "FPSを表示", 210, 1800, 1200, 300},
    {"btnOK", Kind::kButton, -1, "OK", 2100, 1800, 1200, 330},
};
// clang-format on

inline constexpr int kClientWidth = 3510, kClientHeight = 2220;  // twips
inline constexpr const char* kCaption = "Zorbilo 設定";

}  // namespace tool
