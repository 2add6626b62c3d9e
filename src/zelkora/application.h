#pragma once
// The application around the one window: the application object, the name and icon the
// desktop knows the program by, the window shown, and the event loop.

namespace zelkora {

// Takes the application object there is, or makes one from the command line, shows the
// window and runs the event loop. Returns the loop's result. The program's main (main.cpp)
// calls it once, after the window unit's set-up; tests call it with an application of
// their own.
int run_application(int& argc, char** argv);

}  // namespace zelkora
