// A blocking call from a worker thread onto the application's (UI) thread:
// windows and message boxes belong to that thread, and a worker that needs
// one waits there until it has run.
#pragma once

#include <functional>

namespace platform::qt {

// Runs `work` on the application's thread, inside whatever event loop that
// thread is in (a dialog's, a message box's, the host's), and returns once it
// has run. On the application's thread itself it is a direct call. False, and
// nothing run, when there is no application.
bool callOnUiThread(const std::function<void()>& work);

}  // namespace platform::qt
