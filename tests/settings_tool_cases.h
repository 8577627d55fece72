// The settings dialog's design and its file cases, shared by the tests of both faces (the Qt
// dialog and the native Windows dialog), so both are held to one table.
#pragma once

#include <string>
#include <vector>

namespace tool_cases {

// One control of the dialog as designed: positions in twips (15 to a pixel at 96 dpi),
// relative to the container ("" is the window itself), in tab order.
struct Control {
  const char* name;
  const char* container;
  const char* caption;
  int left, top, width, height;
};

// clang-format off
inline const Control kDesign[] = {
    {"frameScreen", "", "画面モード", 90, 90, 3300, 750},
    {"optWindow", "frameScreen", "ウィンドウ", 120, 300, 1200, 300},
    {"optFullScreen", "frameScreen", "フルスクリーン", 1500, 300, 1500, 300},
    {"frameButton", "", "マウスボタン", 90, 930, 3300, 750},
    {"optLeft", "frameButton", "左クリック", 120, 300, 1200, 300},
    {"optRight", "frameButton", "右クリック", 1500, 300, 1200, 300},
    {"chkShowFPS", "", "FPSを表示", 210, 1800, 1200, 300},
    {"btnOK", "", "OK", 2100, 1800, 1200, 330},
};
// clang-format on

inline constexpr int kClientWidthTwips = 3510, kClientHeightTwips = 2220;

// A missing file, as a test's file reader reports it.
inline const std::string kMissing = "<missing>";

// A dialog opened on the file "before" shows "shown" (W or F: window or full screen; L or R:
// left or right click; the check box 0 unchecked, 1 grayed, 2 checked); after "clicks" (w f:
// screen options, l r: button options, c: the check box) OK leaves "after".
struct OpenClickOk {
  std::string name, before, shown, clicks, after;
};

inline std::vector<OpenClickOk> OpenClickOkCases() {
  std::vector<OpenClickOk> cases = {
      {"no file, all off: none made", kMissing, "WL0", "", kMissing},
      {"empty file", "", "WL0", "", ""},
      {"only other sections", "[Other]\nFullScreen=1\nRClick=1\n", "WL0", "",
       "[Other]\nFullScreen=1\nRClick=1\n"},
      {"no file, only the keys that are on", kMissing, "WL0", "r", "[Setting]\r\nRClick=1\r\n"},
      {"no file, written in order", kMissing, "WL0", "crf",
       "[Setting]\r\nFullScreen=1\r\nRClick=1\r\nShowFPS=1\r\n"},
      {"5 and 2 select, saved as 1", "[Setting]\nFullScreen=5\nRClick=2\nNoLayer=1\n", "FR0", "",
       "[Setting]\nFullScreen=1\nRClick=1\nNoLayer=1\n"},
      {"all off deletes, the rest untouched",
       "; by hand\r\n[Setting]\r\nFullScreen=1\r\n  NoLayer = 3 ; mine\r\n"
       "RClick=-1\r\nShowFPS=1\r\n\r\n[Other]\r\nShowFPS=1\r\n",
       "FR2", "wlc",
       "; by hand\r\n[Setting]\r\n  NoLayer = 3 ; mine\r\n\r\n[Other]\r\nShowFPS=1\r\n"},
      {"no change normalises",
       "[setting]\r\nfullscreen=-3\r\nRClick=0\r\nNoLayer=1\r\nShowFPS=01\r\n", "FL2", "",
       "[setting]\r\nfullscreen=1\r\nNoLayer=1\r\nShowFPS=1\r\n"},
  };
  const char* fps[][2] = {{"0", "WL0"}, {"1", "WL2"},  {"2", "WL1"},  {"3", "WL2"},
                          {"7", "WL2"}, {"-1", "WL2"}, {"yes", "WL0"}};
  for (auto& [value, state] : fps)
    cases.push_back({std::string("ShowFPS=") + value,
                     "[Setting]\nShowFPS=" + std::string(value) + "\n", state, "",
                     state[2] == '0' ? "[Setting]\n" : "[Setting]\nShowFPS=1\n"});
  return cases;
}

}  // namespace tool_cases
