// 設定 in the page: the page draws the dialog (dialog.js) from the design table and applies the
// same rules as the desktop dialogs through these functions, compiled into the game's program
// so that both read and write the one Zorbilo.ini in the page's storage.
#include <emscripten.h>

#include <string>

#include "settings-tool/design.h"
#include "settings-tool/rules.h"

namespace {

const char* KindName(tool::Kind k) {
  switch (k) {
    case tool::Kind::kFrame: return "frame";
    case tool::Kind::kOption: return "option";
    case tool::Kind::kCheck: return "check";
    case tool::Kind::kButton: return "button";
  }
  return "";
}

void AppendString(std::string& out, const char* text) {
  out += '"';
  for (const char* p = text; *p; ++p) {
    if (*p == '"' || *p == '\\') out += '\\';
    out += *p;
  }
  out += '"';
}

}  // namespace

extern "C" {

// The design as JSON: {"caption", "width", "height", "twipsPerPixel", "controls": [{"name",
// "kind", "container", "caption", "left", "top", "width", "height"}, ...]} in tab order.
EMSCRIPTEN_KEEPALIVE const char* zorbilo_settings_design() {
  static const std::string json = [] {
    std::string j = "{\"caption\":";
    AppendString(j, tool::kCaption);
    j += ",\"width\":" + std::to_string(tool::kClientWidth) + ",\"height\":" +
         std::to_string(tool::kClientHeight) + ",\"twipsPerPixel\":15,\"controls\":[";
    for (int i = 0; i < tool::kControlCount; ++i) {
      const tool::Control& c = tool::kControls[i];
      if (i) j += ',';
      j += "{\"name\":";
      AppendString(j, c.name);
      j += ",\"kind\":";
      AppendString(j, KindName(c.kind));
      j += ",\"container\":" + std::to_string(c.container) + ",\"caption\":";
      AppendString(j, c.caption);
      j += ",\"left\":" + std::to_string(c.left) + ",\"top\":" + std::to_string(c.top) +
           ",\"width\":" + std::to_string(c.width) +
           ",\"height\":" + std::to_string(c.height) + '}';
    }
    return j + "]}";
  }();
  return json.c_str();
}

// What the file holds now: bit 0 full screen, bit 1 right click, bits 2-3 the check box (0
// unchecked, 1 checked, 2 grayed).
EMSCRIPTEN_KEEPALIVE int zorbilo_settings_load() {
  const tool::Choice c = tool::Load();
  return (c.fullScreen ? 1 : 0) | (c.rightClick ? 2 : 0) | (static_cast<int>(c.showFps) << 2);
}

EMSCRIPTEN_KEEPALIVE void zorbilo_settings_save(int fullScreen, int rightClick, int showFps) {
  tool::Choice c;
  c.fullScreen = fullScreen != 0;
  c.rightClick = rightClick != 0;
  c.showFps = tool::CheckFor(showFps);
  tool::Save(c);
}

EMSCRIPTEN_KEEPALIVE int zorbilo_settings_after_click(int state) {
  return static_cast<int>(tool::AfterClick(tool::CheckFor(state)));
}

}  // extern "C"
