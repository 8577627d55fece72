// What the settings dialog reads when it opens and writes on OK. Plain C++ over the profile
// functions, so the Qt dialog and the native Windows dialog apply one set of rules.
#pragma once

#include <cstdint>

namespace tool {

// The check box's three states, numbered as the file's "ShowFPS" values.
enum class Check : int32_t { kUnchecked = 0, kChecked = 1, kGrayed = 2 };

// What the dialog's controls show: full screen (else window), right click (else left), and the
// frame-rate check box.
struct Choice {
  bool fullScreen = false;
  bool rightClick = false;
  Check showFps = Check::kUnchecked;
};

// The check box state for a "ShowFPS" value: 0 unchecked, 2 grayed, anything else checked
// (the game takes every nonzero value as on, and the box has no fourth state to show it).
Check CheckFor(int32_t value);

// Reads "FullScreen", "RClick" and "ShowFPS", in that order, from the settings file (its name
// built afresh for each read). A face applies the result to its controls; an option that is off
// changes nothing there, so the design's selected option stays.
Choice Load();

// Writes "FullScreen", "RClick" and "ShowFPS", in that order: "1" for a setting that is on
// (a grayed box counts as on), otherwise the key is deleted. Nothing else in the file changes.
// A failed write is not reported: the file keeps its old contents.
void Save(const Choice& choice);

// The box's next state when the user clicks it. The grayed state only shows a value found in
// the file; a click leaves it for good: grayed, checked, unchecked, checked, ...
Check AfterClick(Check state);

}  // namespace tool
