// The form's runtime that every back end shares (see form.h).
#include "platform/form.h"

namespace platform {

namespace form {

void BindProperties(Form& f) {
  f.Caption.bind([&f](const std::string& s) { backend::Retitle(f, s); });
  f.Icon.bind([&f](const Picture* const& pic) { backend::ShowIcon(f, pic); });
  f.MouseIcon.bind([&f](const Picture* const&) { backend::ShowPointer(f); });
  f.MousePointer.bind([&f](const int32_t&) { backend::ShowPointer(f); });
  f.Visible.bind([&f](const bool& v) { backend::Show(f, v); });
}

bool MouseButton(UINT msg, int16_t& button, bool& down) {
  // Down, up and double click of the left, right and middle buttons follow each other from
  // WM_LBUTTONDOWN on.
  if (msg < WM_LBUTTONDOWN || msg > WM_LBUTTONDOWN + 8) return false;
  const UINT k = msg - WM_LBUTTONDOWN;
  button = k < 3 ? 1 : k < 6 ? 2 : 4;
  down = k % 3 != 1;
  return true;
}

}  // namespace form

void Form::Unload() {
  if (!loaded_) return;
  int16_t cancel = 0;
  if (OnUnload) OnUnload(cancel);
  if (cancel) return;
  loaded_ = false;
  form::backend::Unloaded(*this);
}

}  // namespace platform
