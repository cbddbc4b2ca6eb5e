// The studio: the piece in a window beside the editor, with time control
// (transport.h), the music following every change, instant reload, the
// failure overlay, and stills that equal the captured frames. These are the
// application frame's hooks.
#include <glload/gl_3_3.hpp>

#include <GL/freeglut.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <cstdio>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "Audio.h"
#include "files/write_whole.h"
#include "framework/framework.h"
#include "frames/capture.h"
#include "intro_constants.h"
#include "overlay/overlay.h"
#include "scene/scene.h"
#include "scene/scene_build.h"
#include "scene/supplied_inputs.h"
#include "studio/build_watch.h"
#include "studio/options.h"
#include "studio/render.h"
#include "studio/shader_mouse.h"
#include "studio/track_keys.h"
#include "studio/still.h"
#include "studio/timeline.h"
#include "studio/timeline_layout.h"
#include "studio/transport.h"

namespace
{
	const unsigned char kEscapeKey = 27;
	const unsigned char kControlZ = 26;
	const double kSecondsPerStep = 5.0;
	const double kSecondsPerShiftStep = 1.0;
	const double kSecondsPerLongStep = 60.0;

	StudioOptions options;
	Transport transport;
	bool timelineShown = true;
	bool dragging = false;  // a drag on the timeline's bar
	ShaderMouse pictureMouse;  // a press or drag on the picture
	// A word on the status line for a while: a still saved, an edit refused.
	const double kNoticeSeconds = 2.0;
	std::string notice;
	double noticeAt = 0.0;
	// The frame rate shown: frames counted over about half a second.
	double rateStart = 0.0;
	int rateFrames = 0;
	double frameRate = 0.0;
	// The frames of the stills asked for and not yet saved, oldest first:
	// each is the frame shown when `s` was pressed, saved once the buffers
	// hold it.
	std::deque<int> pendingStills;
	// The files changed: this frame still shows the last program, with the
	// status saying so, and the next one builds, so that a long compile
	// never freezes the window before it has said why.
	bool buildPending = false;
	std::string buildingFiles;  // what that build is for: "intro.frag"
	// q and Escape during a build, which holds this thread, and Shift+Tab.
	BuildWatchHandle buildWatch;
	bool stillFailed = false;
	// The buffers: how much of a frame's time their ticks may take, so that
	// a long replay leaves the window taking keys, and the memory their
	// checkpoints may take, which bounds how far a seek replays.
	const double kTickBudgetSeconds = 0.05;
	const size_t kCheckpointBudgetBytes = size_t(512) << 20;
	BufferProgress buffers;
	int target = 0;  // the frame the buffers go to: the oldest pending still's, else the one shown
	// Where the replay under way started, or -2 when the buffers keep up.
	const int kNoReplay = -2;
	int replayStart = kNoReplay;
	// The sync tracks' keys, and the tracks file's revision they hold.
	TrackKeys trackKeys;
	std::vector<Track> editedTracks;  // the tracks of trackKeys' document
	const int kNoRevision = -1;
	int trackRevision = kNoRevision;
	// Whether the timeline's loudness is still being measured.
	bool measuring = false;

	// The studio's clock: seconds on a monotonic clock.
	double Now()
	{
		using namespace std::chrono;
		return duration<double>(steady_clock::now().time_since_epoch()).count();
	}

	void Tell(const MusicOrder &order)
	{
		place_music(order.position, order.playing);
	}

	// "1:30.25 / 2:15.00  frame 5415  59.8 fps  playing  49.1"
	std::string Status(double seconds, double now)
	{
		char rate[32];
		std::snprintf(rate, sizeof rate, "%.1f fps", frameRate);
		std::string state = transport.playing ? "playing" : "paused";
		if(transport.loop == LoopState::Looping)
			state += ", looping";
		else if(transport.loop == LoopState::MarkedA)
			state += ", A marked";
		// Building and a still just saved come first, where a narrow window
		// still shows them.
		std::string status = buildPending ? "building " + buildingFiles + "  " : "";
		if(!notice.empty() && now - noticeAt < kNoticeSeconds)
			status += notice + "  ";
		const int frame = FrameAt(seconds, kCaptureFramesPerSecond);
		status += FormatTime(seconds) + " / " + FormatTime(kIntroSeconds) + "  frame " + std::to_string(frame);
		const std::string track = TrackStatus(trackKeys, editedTracks, CaptureFrameSeconds(frame));
		if(!track.empty())
			status += "  " + track;
		status += "  " + std::string(rate) + "  " + state;
		if(options.bpm > 0.0)
			status += "  " + FormatBarBeat(seconds, options.bpm);
		if(measuring)
			status += "  measuring the soundtrack";
		const double soundEnd = TimelineSoundEnd(kIntroSeconds);
		if(soundEnd >= 0.0 && seconds > soundEnd)
			status += "  past the music's end, " + FormatTime(soundEnd);
		if(!pendingStills.empty())
			status += "  still " + std::to_string(pendingStills.front()) + " waits";
		if(replayStart != kNoReplay)
		{
			const int done = buffers.held - replayStart;
			const int all = std::max(1, target - replayStart);
			status += "  replaying " + std::to_string(std::min(99, std::max(0, 100 * done / all))) + "%";
		}
		return status;
	}

	void CountFrame(double now)
	{
		++rateFrames;
		if(now - rateStart < 0.5)
			return;
		frameRate = rateFrames / (now - rateStart);
		rateStart = now;
		rateFrames = 0;
	}

	// The time of the frame shown: where a track's key goes.
	double ShownFrameSeconds(double now)
	{
		return CaptureFrameSeconds(FrameAt(TransportTime(transport, now), kCaptureFramesPerSecond));
	}

	// Takes in the tracks file as the scene last read it, when it changed:
	// at first as it is, later as an edit that undo takes back.
	void FollowTracksFile()
	{
		SceneLookAtTracks();
		if(SceneTracksRevision() == trackRevision)
			return;
		if(trackRevision == kNoRevision)
			trackKeys.editor.document = SceneTrackDocument();
		else
			ReplaceDocument(trackKeys.editor, SceneTrackDocument());
		trackRevision = SceneTracksRevision();
		editedTracks = DocumentTracks(trackKeys.editor.document);
	}

	// Carries out a track command at the frame shown; an edit is saved at
	// once and put in use, without a rebuild.
	void RunTrackCommand(TrackCommand command, char character = 0)
	{
		// An edit starts from the file as it is now, and never replaces a bad
		// one, which holds the author's unfinished typing.
		if(MayEdit(command))
		{
			if(!SceneTakeTracksNow())
			{
				notice = SceneTracksPath() + " has errors: mend them first";
				noticeAt = Now();
				trackKeys.typing = false;
				return;
			}
			FollowTracksFile();
		}
		const std::vector<std::string> names =
		    MergeTrackNames(TrackNames(trackKeys.editor.document), SceneDeclaredFloats(), SuppliedInputNames());
		if(!ApplyTrackCommand(trackKeys, command, names, ShownFrameSeconds(Now()), character))
			return;
		editedTracks = DocumentTracks(trackKeys.editor.document);
		// The author's own file: a link is written through, and the file keeps
		// its permissions.
		const std::string path = SceneTracksPath();
		const std::string text = SerialiseTracks(trackKeys.editor.document);
		const WriteFailure failure =
		    ReplaceFileWhole(path, reinterpret_cast<const unsigned char *>(text.data()), text.size());
		if(!failure.reason.empty())
		{
			const std::string error = "Could not save " + failure.path + ": " + failure.reason;
			std::cerr << error << std::endl;
			OverlayShow(OverlayKind::Tracks, path, error + "\n");
		}
		else
			OverlayHide(OverlayKind::Tracks);  // a failed save before is mended by this one
		SceneUseTracks(trackKeys.editor.document);
		trackRevision = SceneTracksRevision();
	}

	// While a number is typed, every character key belongs to the typing
	// (those it has no use for do nothing): true then.
	bool TypeKey(unsigned char key)
	{
		if(!trackKeys.typing)
			return false;
		if((key >= '0' && key <= '9') || key == '-' || key == '.')
			RunTrackCommand(TrackCommand::Type, static_cast<char>(key));
		else if(key == '\b' || key == 127)
			RunTrackCommand(TrackCommand::Erase);
		else if((key == '\r' || key == '\n') && !TypedValue(trackKeys))
		{
			notice = "'" + trackKeys.typed + "' is not a number";
			noticeAt = Now();
			RunTrackCommand(TrackCommand::CancelTyping);
		}
		else if(key == '\r' || key == '\n')
			RunTrackCommand(TrackCommand::EndTyping);
		else if(key == kEscapeKey)
			RunTrackCommand(TrackCommand::CancelTyping);
		return true;
	}

	// A press at (x, y) on the timeline's bar seeks there and starts a drag;
	// a drag seeks to the bar's time under the pointer, clamped to the bar.
	// A press anywhere else is on the picture: the shaders' iMouse.
	void PressPointer(int x, int y)
	{
		double t = 0.0;
		dragging = timelineShown && TimelineHit(x, y, SceneWidth(), SceneHeight(), kIntroSeconds, &t);
		if(dragging)
			Tell(SeekTo(transport, Now(), t));
		else
			PressShaderMouse(pictureMouse, x, y, SceneHeight());
	}

	void DragPointer(int x, int y)
	{
		if(dragging)
			Tell(SeekTo(transport, Now(),
			            TimelineTimeAt(LayOutTimeline(SceneWidth(), SceneHeight()), x, kIntroSeconds)));
		else
			DragShaderMouse(pictureMouse, x, y, SceneHeight());
	}

	// Renders frame number frame as the capture does (the buffers hold its
	// tick by now), reads it back and writes it as a still; a failure shows
	// on the overlay and on standard error. The frame stays on the screen.
	void SaveStill(int frame)
	{
		SceneDrawFrame(frame);
		const int width = SceneWidth();
		const int height = SceneHeight();
		// Taken for this still alone, so that a huge one is not kept.
		std::vector<unsigned char> stillPixels(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
		gl::ReadPixels(0, 0, width, height, gl::GL_RGB, gl::GL_UNSIGNED_BYTE, stillPixels.data());
		const std::string path = FreeStillPath(frame, [](const std::string &name) {
			struct stat status;
			return lstat(name.c_str(), &status) == 0;
		});
		const Error error = WriteStill(path, stillPixels, width, height);
		if(!error)
		{
			std::cout << "Saved " << path << std::endl;
			notice = "saved " + path;
			noticeAt = Now();
			if(stillFailed)
				OverlayHide(OverlayKind::Warning);
			stillFailed = false;
			return;
		}
		std::cerr << error.message << std::endl;
		OverlayShow(OverlayKind::Warning, path, error.message + "\n");
		stillFailed = true;
	}
}

unsigned int defaults(unsigned int displayMode, int &, int &)
{
	return displayMode;
}

int arguments(int argc, char **argv)
{
	const StudioOptionsParse parse = ParseStudioOptions(argc, argv, kIntroSeconds);
	if(parse.error)
	{
		std::cerr << "studio: " << parse.error.message << std::endl;
		return 2;
	}
	if(parse.options.help)
	{
		std::cout << StudioUsage("studio");
		return 0;
	}
	options = parse.options;
	if(options.renderFd < 0)
		return -1;
	const Error unusable = CheckRenderDescriptor(options.renderFd);
	if(unusable)
	{
		std::cerr << "studio: " << unusable.message << std::endl;
		return 2;
	}
	// Frames on standard output keep it to themselves: the frames go on
	// through a copy of it, and every line printed goes to standard error.
	if(options.renderFd == STDOUT_FILENO)
	{
		options.renderFd = dup(STDOUT_FILENO);
		dup2(STDERR_FILENO, STDOUT_FILENO);
	}
	return -1;
}

WindowMode window(int, char **, int &width, int &height)
{
	if(options.renderFd >= 0)
		return WindowMode::Hidden;
	width = options.width;
	height = options.height;
	FitWindow(width, height, glutGet(GLUT_SCREEN_WIDTH), glutGet(GLUT_SCREEN_HEIGHT));
	return WindowMode::Windowed;
}

// The render mode: every frame of the section to the descriptor, then the
// end of the run; a failure is one line and status 1 (2 for a size beyond
// the driver's).
int batch(int, char **)
{
	if(options.renderFd < 0)
		return -1;
	const Error tooLarge = CheckRenderSize(options.width, options.height);
	if(tooLarge)
	{
		std::cerr << "studio: " << tooLarge.message << std::endl;
		return 2;
	}
	SceneInit(std::cerr, false);
	const FrameRange range = RenderRange(options.from, options.to, kIntroSeconds, kCaptureFramesPerSecond);
	const Error error = RenderFrames(options.renderFd, range, options.width, options.height, options.pixelFormat);
	if(error)
	{
		std::cerr << "studio: " << error.message << std::endl;
		return 1;
	}
	return 0;
}

void init(int, char **)
{
	BuildWatchStart watch = StartBuildWatch();
	if(watch.error)
		std::cerr << watch.error.message << std::endl;
	buildWatch = std::move(watch.watch);
	const Error overlayError = OverlayInit(kOverlayFontFile);
	if(overlayError)
		std::cerr << overlayError.message << std::endl;
	// A shader broken at start-up is shown on the overlay over a black
	// picture, and the first good build takes over.
	SetBuildUnderWay(buildWatch.get(), "the shaders");
	SceneInit(std::cerr, true, StartUpFailure::Waits);
	SetBuildUnderWay(buildWatch.get(), "");
	std::string shader = kFragmentShaderFile;
	try
	{
		shader = Framework::FindFileOrThrow(kFragmentShaderFile);
	}
	catch(const std::exception &)
	{
		// Not there yet: the title names the file that the studio waits for.
	}
	glutSetWindowTitle(("studio: " + shader).c_str());
	const TimelineStart timelineStart = TimelineInit(kSoundtrackFile, kOverlayFontFile);
	if(timelineStart.error)
		std::cerr << timelineStart.error.message << std::endl;
	measuring = timelineStart.on;
	SceneKeepCheckpoints(kCheckpointBudgetBytes, kCaptureFrameCount);
	load_music();
	transport = MakeTransport(kIntroSeconds, options.from, Now());
	Tell({transport.playing, transport.position});
}

void display()
{
	const double now = Now();
	if(measuring)
	{
		const TimelineMeasure measure = TimelineMeasuring();
		if(measure.error)
			std::cerr << measure.error.message << std::endl;
		measuring = measure.measuring;
	}
	MusicOrder order;
	if(TransportTick(transport, now, &order))
		Tell(order);
	FollowTracksFile();
	for(int press = TakeShiftTabs(buildWatch.get()); press > 0; --press)
		RunTrackCommand(TrackCommand::PreviousTrack);
	if(buildPending)
	{
		SetBuildUnderWay(buildWatch.get(), buildingFiles, pendingStills.size());
		ReloadIfTouched();
		SetBuildUnderWay(buildWatch.get(), "");
		buildPending = false;
	}
	else if(SceneFilesTouched())
	{
		// A shader left for a later look, still settling, is named by
		// the look that found it changed.
		buildPending = true;
		const std::string touched = SceneTouchedFiles();
		if(!touched.empty())
			buildingFiles = touched;
	}

	const double seconds = TransportTime(transport, now);
	// The buffers replay toward the frame shown a slice at a time; a still
	// waits until they hold its tick.
	const int shown = FrameAt(seconds, kCaptureFramesPerSecond);
	target = pendingStills.empty() ? shown : pendingStills.front();
	buffers = SceneAdvance(target, kTickBudgetSeconds, false);
	if(buffers.held != target && (replayStart == kNoReplay || buffers.replayFrom < replayStart))
		replayStart = buffers.replayFrom;
	else if(buffers.held == target)
		replayStart = kNoReplay;
	if(!pendingStills.empty() && buffers.held == target)
	{
		SaveStill(target);
		pendingStills.pop_front();
	}
	else
		SceneDraw(static_cast<float>(seconds), shown, ShaderMouseValue(pictureMouse));
	OverlayDraw();
	CountFrame(now);
	if(timelineShown)
	{
		TimelineView view;
		view.time = seconds;
		view.end = kIntroSeconds;
		view.loop = transport.loop;
		view.loopA = transport.loopA;
		view.loopB = transport.loopB;
		view.status = Status(seconds, now);
		TimelineShowTrack(SelectedTrack(trackKeys, editedTracks), kIntroSeconds);
		TimelineDraw(view);
	}
	glutSwapBuffers();
	glutPostRedisplay();
}

void reshape(int w, int h)
{
	SceneResize(w, h);
	OverlayResize(w, h);
	TimelineResize(w, h);
}

void keyDown(unsigned char key, int, int)
{
	if(TypeKey(key))
		return;
	const double now = Now();
	const bool shift = (glutGetModifiers() & GLUT_ACTIVE_SHIFT) != 0;
	MusicOrder order;
	switch(key)
	{
	case '\t':
		// Shift+Tab, where the toolkit reports it at all, comes through the
		// watch, which sees every press of it.
		if(!shift)
			RunTrackCommand(TrackCommand::NextTrack);
		else if(!buildWatch)
			RunTrackCommand(TrackCommand::PreviousTrack);
		break;
	case 'k': RunTrackCommand(TrackCommand::SetKey); break;
	case '=': RunTrackCommand(TrackCommand::StartTyping); break;
	case ']': RunTrackCommand(TrackCommand::Raise); break;
	case '[': RunTrackCommand(TrackCommand::Lower); break;
	case '}': RunTrackCommand(TrackCommand::RaiseMore); break;
	case '{': RunTrackCommand(TrackCommand::LowerMore); break;
	case 'i': RunTrackCommand(TrackCommand::CycleInterpolation); break;
	case 127: RunTrackCommand(TrackCommand::DeleteKey); break;
	case kControlZ: RunTrackCommand(shift ? TrackCommand::Redo : TrackCommand::Undo); break;
	case ' ': Tell(TogglePause(transport, now)); break;
	case ',': Tell(StepFrame(transport, now, -1, kCaptureFramesPerSecond)); break;
	case '.': Tell(StepFrame(transport, now, 1, kCaptureFramesPerSecond)); break;
	case 'l':
		if(PressLoop(transport, now, &order))
			Tell(order);
		break;
	case 's':
	{
		const int frame = FrameAt(TransportTime(transport, now), kCaptureFramesPerSecond);
		if(std::find(pendingStills.begin(), pendingStills.end(), frame) == pendingStills.end())
			pendingStills.push_back(frame);
		break;
	}
	case 'h': timelineShown = !timelineShown; break;
	case 'f': glutFullScreenToggle(); break;
	case 'q':
	case kEscapeKey: glutLeaveMainLoop(); break;
	default: break;
	}
}

void keyUp(unsigned char, int, int)
{
}

void specialKeyDown(int key, int, int)
{
	const double now = Now();
	const bool shift = (glutGetModifiers() & GLUT_ACTIVE_SHIFT) != 0;
	const double step = shift ? kSecondsPerShiftStep : kSecondsPerStep;
	// Ctrl+Right and Ctrl+Left go to the selected track's next and last key.
	if((glutGetModifiers() & GLUT_ACTIVE_CTRL) != 0 && (key == GLUT_KEY_RIGHT || key == GLUT_KEY_LEFT))
	{
		if(const std::optional<double> time = TrackKeyTimeFrom(trackKeys, ShownFrameSeconds(now), key == GLUT_KEY_RIGHT))
			Tell(SeekTo(transport, now, *time));
		return;
	}
	switch(key)
	{
	case GLUT_KEY_LEFT: Tell(SeekBy(transport, now, -step)); break;
	case GLUT_KEY_RIGHT: Tell(SeekBy(transport, now, step)); break;
	case GLUT_KEY_DOWN: Tell(SeekBy(transport, now, -kSecondsPerLongStep)); break;
	case GLUT_KEY_UP: Tell(SeekBy(transport, now, kSecondsPerLongStep)); break;
	case GLUT_KEY_HOME: Tell(SeekTo(transport, now, 0.0)); break;
	case GLUT_KEY_PAGE_UP:
		if(options.bpm > 0.0)
			Tell(SeekBy(transport, now, BarSeconds(options.bpm)));
		break;
	case GLUT_KEY_PAGE_DOWN:
		if(options.bpm > 0.0)
			Tell(SeekBy(transport, now, -BarSeconds(options.bpm)));
		break;
	default: break;
	}
}

void mouse(int button, int state, int x, int y)
{
	if(button != GLUT_LEFT_BUTTON)
		return;
	if(state == GLUT_DOWN)
		PressPointer(x, y);
	else
	{
		dragging = false;
		ReleaseShaderMouse(pictureMouse);
	}
}

void motion(int x, int y)
{
	if(!dragging || timelineShown)
		DragPointer(x, y);
}

void visibility(bool)
{
}

// Stills still waiting for their buffers are not saved: each is said, and
// the run ends with status 1.
int finish()
{
	buildWatch.reset();
	for(int frame : pendingStills)
		std::cerr << StillPath(frame) << " was not saved: the studio ended before the buffers reached frame " << frame
		          << std::endl;
	return pendingStills.empty() ? 0 : 1;
}
