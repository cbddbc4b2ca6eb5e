// The intro player: the clock and the frame loop. The application
// frame (framework/framework.h) calls its hooks; these are the parts the rest
// of the project and the tests reach directly.
#ifndef MAIN_H
#define MAIN_H

#include <cstdint>

// Wall-clock milliseconds since the Unix epoch at process start, taken during
// static initialisation.
extern const int64_t program_start_millis;

// The system (wall) clock now, in whole milliseconds since the epoch.
int64_t cur_time_millis();

// (cur_time_millis() - program_start_millis) / 1000.0: moves in 1 ms steps.
double seconds_since_program_start();

// Whether the run ends before drawing another frame: in capture mode once the
// fixed-step clock has passed the frame at 135 s (captureTime, the sum of
// 1/60-s steps, above 135 + 1/120), otherwise once the toolkit's elapsed
// seconds are above 135. Exactly 135 s does not end it.
bool TimeIsUp(bool captureMode, double captureTime, double elapsedSeconds);

#endif
