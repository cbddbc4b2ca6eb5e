// Values the intro, its tools, scripts and tests share. Each is a literal on
// a line of its own, so that scripts can read it with
// tools/intro_constants.py NAME.
#ifndef INTRO_CONSTANTS_H
#define INTRO_CONSTANTS_H

// How long the intro plays, and how long its soundtrack lasts, in seconds.
constexpr double kIntroSeconds = 135.0;

// Frames per second of a capture: its clock advances 1/60 s per frame.
constexpr int kCaptureFramesPerSecond = 60;

// Frames a whole capture writes: frame 0 at 0 s to the frame at exactly
// kIntroSeconds.
constexpr int kCaptureFrameCount = 8101;

// The soundtrack's sample rate, in Hz, which the audio device is opened at.
constexpr int kSoundtrackSampleRate = 22050;

// The soundtrack, in the working directory.
constexpr const char *kSoundtrackFile = "lumiter_party_biisi.wav";

static_assert(kCaptureFrameCount == static_cast<int>(kIntroSeconds) * kCaptureFramesPerSecond + 1,
              "a capture holds one frame per step from 0 s to the end, both included");

#endif
