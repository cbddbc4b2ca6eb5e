// The sound the shaders see: for a time t on the shader's clock, a 512 x 2
// array of bytes computed from the soundtrack file itself, so that a live run
// and a capture give the same bytes for the same t.
//
// Row 0 (bytes 0..511) is the magnitude spectrum of the kSpectrumWindow mono
// frames that end at t: frames [E - 1024, E) with E = llround(t * rate), the
// mono value of a frame being the mean of its channels. They are weighted by
// a periodic Blackman window, w[n] = 0.42 - 0.5 cos(2 pi n / 1024)
// + 0.08 cos(4 pi n / 1024), and transformed; bin i (0..511) lies at
// i * rate / 1024 Hz. Its level is 20 log10(|X[i]| / 1024) dB, the magnitude
// relative to the window's length: a sine of amplitude A on a bin reads
// 20 log10(A * 0.21) dB (0.21 is half the window's mean), so a full-scale
// sine reads -13.5 dB and clamps, while the partials of music at ordinary
// levels land inside the range (the bundled soundtrack's lowest 64 bins
// average 163 of 255). The level maps linearly from [-100, -30] dB onto
// [0, 255]: floor(255 (dB + 100) / 70), clamped; a zero magnitude gives 0.
// No smoothing carries over from one t to the next: every t stands alone.
//
// Row 1 (bytes 512..1023) is the 512 mono frames [E - 512, E), each value s
// mapped from [-1, 1] onto [0, 255] as floor(128 (s + 1)), clamped: silence
// is 128.
//
// Frames before the file's start or after its end count as silence, so
// before the music starts and once it has ended row 0 is all 0 and row 1 all
// 128. Only the window's frames are read for each t (a seek and a read of at
// most 1024 frames), whatever the file's length.
#ifndef SPECTRUM_H
#define SPECTRUM_H

#include <kiss_fftr.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sound/sound_file.h"

// The width of the array, its rows, and the frames of the transform.
constexpr int kSpectrumWidth = 512;
constexpr int kSpectrumRows = 2;
constexpr int kSpectrumWindow = 1024;

// The bytes for one t: row 0 then row 1, kSpectrumWidth bytes each.
using SpectrumBytes = std::array<unsigned char, kSpectrumWidth * kSpectrumRows>;

// The bytes of silence: row 0 all 0, row 1 all 128.
SpectrumBytes SilentSpectrum();

// Releases the FFT library's real-input plan through its library.
struct FftPlanRelease
{
	void operator()(kiss_fftr_state *plan) const;
};

// The window and FFT plan of the transform, and its scratch buffers.
struct SpectrumTransform
{
	std::vector<float> window;  // kSpectrumWindow Blackman weights
	std::unique_ptr<kiss_fftr_state, FftPlanRelease> plan;
	std::vector<float> weighted;     // kSpectrumWindow weighted frames
	std::vector<kiss_fft_cpx> bins;  // kSpectrumWindow / 2 + 1 complex bins
};

// Makes the transform's window and plan.
SpectrumTransform MakeSpectrumTransform();

// Fills out from kSpectrumWindow mono frames, oldest first, as described
// above (row 0 from all of them, row 1 from the last 512).
void TransformFrames(SpectrumTransform &transform, const float *mono, SpectrumBytes &out);

// A soundtrack opened for analysis, and what the analysis needs between calls.
struct SoundAnalyser
{
	SoundFile file;  // its reader empty when the file could not be opened
	int rate = 0;    // frames per second
	int channels = 0;
	int64_t frames = 0;              // frames in the file
	std::vector<float> interleaved;  // kSpectrumWindow frames as read
	std::vector<float> mono;         // kSpectrumWindow mono frames
	SpectrumTransform transform;
};

// The result of opening a soundtrack: the analyser, and no error, or
// one line "Could not read the soundtrack PATH: REASON" with the reader's
// reason when the file cannot be opened or decoded, or "not a regular file"
// (a FIFO is never waited on: see OpenSoundFile); the analyser then gives
// silence. The caller prints the line.
struct SoundAnalyserOpening
{
	SoundAnalyser analyser;
	Error error;
};

// Opens the soundtrack at path for analysis.
SoundAnalyserOpening OpenSoundAnalyser(const std::string &path);

// Fills out with the spectrum and the samples that end at seconds on the
// file's own rate (see above). A time that is not finite, a file that could
// not be opened and frames the reader fails to deliver give silence.
void AnalyseSound(SoundAnalyser &analyser, double seconds, SpectrumBytes &out);

#endif
