// EPD analysis: every position of a test suite searched with the current
// limits, the engine's move judged against the suite's annotations.
#pragma once

namespace zelk {

// Searches each position of the EPD file `input_name`, writes a result line
// per position to `output_name` and prints the solved count and the
// totals. Does nothing when either file cannot be opened.
void analyse_epd(const char* input_name, const char* output_name);

} // namespace zelk
