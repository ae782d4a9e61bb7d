// The command-line switches.
#pragma once

namespace zelk {

// Reads argv into the options and the control fields. Returns 0, or 1 when
// a switch that takes a value stands last without it.
int read_switches(int argc, char** argv);

} // namespace zelk
