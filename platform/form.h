// The form's runtime that every back end shares: its properties bound once, each change handed
// to the back end's hook (as the timers are in timers.h), and the unload sequence.
#pragma once

#include <cstdint>
#include <string>

#include "platform/mMain.h"

namespace platform::form {

// Binds Caption, Icon, MouseIcon, MousePointer and Visible to the hooks below. Called at the end
// of each back end's Form constructor, once hWnd is known (or known to be missing).
void BindProperties(Form& f);

// A mouse-button message as the form's handlers see it: Button 1 left, 2 right, 4 middle, and
// whether it went down (a double click is a second press). False for any other message.
bool MouseButton(UINT msg, int16_t& button, bool& down);

}  // namespace platform::form

// Provided by each back end; each does nothing when the form has no window.
namespace platform::form::backend {
void Retitle(Form& f, const std::string& caption);
void ShowIcon(Form& f, const Picture* pic);
// Shows the pointer that MousePointer and MouseIcon now name.
void ShowPointer(Form& f);
void Show(Form& f, bool visible);
// The form is gone (its unload handler let it go): the window disappears.
void Unloaded(Form& f);
}  // namespace platform::form::backend
