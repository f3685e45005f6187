#pragma once
// The window program from window creation to shutdown.

namespace vantorel {

// Creates the application and the window, runs the event loop, shuts down in order.
// Returns the exit code: -1 when another instance runs or the window cannot be made,
// 0 when the audio set-up fails, else the value the loop ended with. `full_screen` shows
// the window scaled to fill the screen (wall panels) instead of at its own size.
int RunProgram(int argc, char** argv, bool full_screen = false);

}  // namespace vantorel
