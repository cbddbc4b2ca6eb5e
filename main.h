// The intro player: the clock, the scene and the frame loop. The application
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

// Builds the program from data/standard.vert and data/intro.frag, records its
// uniform locations, loads the texture and sets loopDuration. Throws
// std::runtime_error with the lookup's message or the driver's log when a file
// is missing or fails to compile or link, and then leaves the current program
// and texture as they were.
void InitializeProgram();

// Rebuilds the program during the run. A failure keeps the last program that
// built and is printed on standard error, once while it stays the same.
void reload();

#endif
