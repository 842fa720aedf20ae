// Whether a desktop is reachable, asked before any window is made (a Qt GUI
// application cannot start without one).
#pragma once

namespace tessary {

bool displayAvailable();

}  // namespace tessary
