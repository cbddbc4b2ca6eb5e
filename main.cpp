// The intro player: its clock and the frame loop with its time limit, hot
// reload, frame-rate report, keyboard and capture, on the scene module.
#include "main.h"

#include <glload/gl_3_3.hpp>

#include <GL/freeglut.h>

#include <chrono>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "Audio.h"
#include "bitmap.h"
#include "framework/framework.h"
#include "frames/capture.h"
#include "intro_constants.h"
#include "overlay/overlay.h"
#include "scene/scene.h"

int64_t cur_time_millis()
{
	using namespace std::chrono;
	return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

const int64_t program_start_millis = cur_time_millis();

double seconds_since_program_start()
{
	return static_cast<double>(cur_time_millis() - program_start_millis) / 1000.0;
}

namespace
{
	const double kTimeLimitSeconds = kIntroSeconds;
	const int kReloadPeriodFrames = 30;
	const double kCaptureStepSeconds = 1.0 / kCaptureFramesPerSecond;
	const size_t kRateSamples = 101;
	const unsigned char kEscapeKey = 27;

	bool capture = false;
	bool music = true;

	// The frame loop.
	int frame_id = 0;
	int hot_reload_counter = 0;
	double music_start = 0.0;
	double capture_time = 0.0;
	std::vector<double> frameTimes;
	std::vector<unsigned char> pixel_buffer;
	CaptureTally captureTally;
	// Whether the capture has said that it waits for its window.
	bool captureWaits = false;
	// How long a live frame may spend on the buffers' ticks before they skip
	// some to keep up with the music, the ticks skipped so far, and whether
	// that has been said: once a second's worth is gone, so that one stall
	// alone is not taken for a slow machine.
	const double kLiveTickBudgetSeconds = 1.0 / 30.0;
	int ticksSkipped = 0;
	bool skipSaid = false;

	// Reads the frame just drawn, before the swap leaves the back buffer
	// undefined: rows of exactly the frame's width * 3 bytes, bottom row first.
	void ReadFrame()
	{
		gl::ReadPixels(0, 0, SceneWidth(), SceneHeight(), gl::GL_RGB, gl::GL_UNSIGNED_BYTE, pixel_buffer.data());
	}

	// Encodes the frame read back by ReadFrame as capture/frame<N>.bmp. A frame
	// that cannot be written is tallied, its failure printed when its reason
	// is new, and the run goes on.
	void WriteCapturedFrame()
	{
		unsigned char *encoded = nullptr;
		const size_t size = bitmap_encode_rgb_bottom_up(pixel_buffer.data(), SceneWidth(), SceneHeight(), &encoded);
		const WriteFailure failure = WriteFileWhole(CaptureFramePath(frame_id), encoded, size);
		delete[] encoded;
		const std::string report = RecordFrame(captureTally, frame_id, failure);
		if(!report.empty())
			std::cerr << report << std::endl;
	}

	// The window toolkit's elapsed time, in seconds.
	float ElapsedSeconds()
	{
		return static_cast<float>(glutGet(GLUT_ELAPSED_TIME)) / 1000.0f;
	}

	void ReportFrameRate()
	{
		if(frameTimes.size() != kRateSamples)
			return;
		std::cout << "FPS: " << 100.0 / (frameTimes.back() - frameTimes.front()) << std::endl;
		frameTimes.clear();
	}
}

// A capture ends after the frame at exactly 135 s, however long the frames
// took; half a step of slack absorbs the rounding of the sum.
bool TimeIsUp(bool captureMode, double captureTime, double elapsedSeconds)
{
	return captureMode ? captureTime > kTimeLimitSeconds + kCaptureStepSeconds / 2 : elapsedSeconds > kTimeLimitSeconds;
}

// The intro reads its command line in init, once the window is up.
int arguments(int, char **)
{
	return -1;
}

unsigned int defaults(unsigned int displayMode, int &, int &)
{
	return displayMode;
}

WindowMode window(int, char **, int &, int &)
{
	return WindowMode::FullScreen;
}

int batch(int, char **)
{
	return -1;
}

void init(int argc, char **argv)
{
	capture = argc == 2 && std::strcmp(argv[1], "--capture") == 0;
	if(capture)
		RemoveTemporaryOnSignals();
	else
	{
		// Without its font the overlay stays off; failures still go to
		// standard error.
		const Error overlayError = OverlayInit(kOverlayFontFile);
		if(overlayError)
			std::cerr << overlayError.message << std::endl;
	}
	SceneInit(std::cerr, !capture);
	if(music)
		load_music();
}

void display()
{
	if(frame_id == 0 && music)
	{
		play_music();
		music_start = seconds_since_program_start();
	}

	if(capture)
		capture_time = CaptureFrameSeconds(frame_id);
	if(TimeIsUp(capture, capture_time, ElapsedSeconds()))
	{
		glutLeaveMainLoop();
		return;
	}

	if(++hot_reload_counter == kReloadPeriodFrames)
	{
		reload();
		hot_reload_counter = 0;
	}

	std::cout << ElapsedSeconds() << std::endl;
	const double liveSeconds = seconds_since_program_start() - music_start;
	frameTimes.push_back(seconds_since_program_start() - music_start);

	if(capture)
		SceneDrawFrame(frame_id);
	else
	{
		const int frame = CaptureFrameAt(liveSeconds);
		ticksSkipped += SceneAdvance(frame, kLiveTickBudgetSeconds, true).skipped;
		if(ticksSkipped >= kCaptureFramesPerSecond && !skipSaid)
		{
			std::cerr << "The buffers skipped " << ticksSkipped
			          << " ticks to keep up with the music: this machine runs fewer than " << kCaptureFramesPerSecond
			          << " of them a second at " << SceneWidth() << " x " << SceneHeight() << std::endl;
			skipSaid = true;
		}
		SceneDraw(static_cast<float>(liveSeconds), frame);
	}
	if(capture)
		ReadFrame();
	else
		OverlayDraw();
	glutSwapBuffers();
	glutPostRedisplay();
	ReportFrameRate();
	if(capture)
		WriteCapturedFrame();
	++frame_id;
}

void reshape(int w, int h)
{
	SceneResize(w, h);
	OverlayResize(w, h);
	pixel_buffer.resize(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
}

void keyDown(unsigned char key, int, int)
{
	if(key == kEscapeKey)
		glutLeaveMainLoop();
}

void keyUp(unsigned char, int, int)
{
}

void specialKeyDown(int, int, int)
{
}

void mouse(int, int, int, int)
{
}

void motion(int, int)
{
}

// No frame comes while the window is out of view, so a capture says once that
// it waits, and once that it goes on; a normal run says nothing.
void visibility(bool shown)
{
	const bool waits = !shown;
	if(!capture || waits == captureWaits)
		return;
	captureWaits = waits;
	std::cerr << (waits ? "The capture waits while its window is hidden" : "The capture goes on") << std::endl;
}

int finish()
{
	const std::string summary = LossSummary(captureTally);
	if(summary.empty())
		return 0;
	std::cerr << summary << std::endl;
	return 1;
}
