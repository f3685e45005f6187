#pragma once
// The window program from window creation to shutdown.

#include "station/station.h"

namespace vantorel {

class ErrorBoxes;
class MainWindow;

// What the station reports, carried to the window thread: pictures repaint their
// rectangle, worker states reach the window, device errors open error boxes.
StationObserver WindowObserver(MainWindow& window, ErrorBoxes& errors);

// Creates the application, the window and the station, reads the settings (a first
// argument of twelve digits replaces the URLs for this run), runs the event loop, and
// shuts down in order. Returns the exit code: -1 when another instance runs, else the
// value the loop ended with.
int RunProgram(int argc, char** argv);

}  // namespace vantorel
