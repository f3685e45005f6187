#pragma once
// The window program's --fullscreen switch (wall panels), read before the rest of the
// command line so that the other arguments keep their meaning and position.

namespace vantorel {

// Removes every "--fullscreen" from argv[1..argc) and returns whether there was one.
// argc shrinks to match; argv[argc] stays a null pointer.
bool TakeFullScreenFlag(int& argc, char** argv);

}  // namespace vantorel
