#pragma once
// The window program from window creation to shutdown.

#include <memory>
#include <string>

#include "app/door_control.h"
#include "station/station.h"

namespace vantorel {

class ErrorBoxes;
class MainWindow;
class SettingsSaver;

// What the station reports, carried to the window thread: pictures repaint their
// rectangle, worker states reach the window, device errors open error boxes.
StationObserver WindowObserver(MainWindow& window, ErrorBoxes& errors);

// The door of vantorel.ini in `directory` put in force (its bad lines shown in an error box);
// with no [door] section it shows nothing.
std::unique_ptr<DoorControl> StartDoor(MainWindow& window, Station& station, SettingsSaver& saver,
                                       ErrorBoxes& errors, const std::string& directory, const DoorTimings& timings = {});

// Creates the application, the window and the station, reads the settings (`address`, the
// command line's first word, replaces the URLs for this run when it is twelve digits),
// runs the event loop, and shuts down in order. Qt sees only `program_name`. Returns the
// exit code: -1 when there is no window system or another instance runs, else the value
// the loop ended with. `full_screen` shows the window scaled to fill the screen (wall
// panels) instead of at its own size.
int RunProgram(char* program_name, const std::string& address, bool full_screen = false);

}  // namespace vantorel
