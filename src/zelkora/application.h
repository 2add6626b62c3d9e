#pragma once
// The application around the one window: the application object, the name and icon the
// desktop knows the program by, the window shown, and the event loop.

#include "held_qt_messages.h"
#include "policy.h"

namespace zelkora {

// Takes the application object there is, or makes one from the command line, shows the
// window under `policy` (the administrators', which the entry reads) and runs the event loop. Returns the loop's
// result. The program's main (main.cpp) calls it once, after the window unit's set-up; tests call it with an
// application of their own.
//
// Where Qt itself would abort because no platform plug-in starts (no display to connect
// to, or the plug-in missing or broken), `report` gets the line naming the cause, Qt's own
// words go to the log when it is set up, and the process ends with status 1. Without a
// report, Qt's behaviour is left as it is.
int run_application(int& argc, char** argv, Policy policy, FailedStartReport report = nullptr);

}  // namespace zelkora
