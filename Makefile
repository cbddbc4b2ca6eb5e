# The project's two commands: `make run` plays the intro, `make test` runs
# every test. Both install what is missing and build first.
#
# The piece is a setting of the build: MUSIC=track.wav plays that WAV file
# instead of the bundled score, for as long as it lasts; LENGTH=SECONDS sets
# the piece's length instead (make run MUSIC=~/track.wav, and the same for
# studio, video and capture). Without them the build makes the bundled piece,
# and the tests always test the bundled piece.

BUILD_DIR := build
JOBS := $(shell nproc)
FUZZ_SECONDS := 30
SIZE := 1920x1080
REGISTRY := ../shared/registry
MUSIC :=
LENGTH :=

.PHONY: all deps build run studio test soak test-sanitize fuzz capture video contact-sheet bench regenerate clean

all: build

deps:
	@tools/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DINTRO_MUSIC="$(MUSIC)" -DINTRO_LENGTH="$(LENGTH)" > /dev/null
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@tools/run-intro.sh $(BUILD_DIR)

# The studio, the authoring build: the piece in a window beside the editor
# with time control and instant reload (ARGS="--from 90 --bpm 128").
studio: build
	@tools/run-intro.sh $(BUILD_DIR) --studio $(ARGS)

# Every test that needs a window starts its own Xvfb server, so the user's
# display is never touched.
test soak: override MUSIC :=
test soak: override LENGTH :=
test: build
	@cd $(BUILD_DIR) && env -u DISPLAY ctest --output-on-failure -j $(JOBS) -LE soak

# The whole intro in real time under Xvfb (two and a half minutes).
soak: build
	@cd $(BUILD_DIR) && env -u DISPLAY ctest --output-on-failure -L soak

# The unit, GL and tool tests and a short capture end to end, built with
# AddressSanitizer and UndefinedBehaviorSanitizer in their own build.
test-sanitize: deps
	@cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINTRO_SANITIZE=ON > /dev/null
	@cmake --build build-sanitize -j $(JOBS)
	@tests/sanitize/run.sh build-sanitize

# The libFuzzer targets in their own clang build, each run FUZZ_SECONDS from
# a copy of its committed seeds; a crash, hang or leak fails.
fuzz: deps
	@tools/install-deps.sh clang libclang-rt-14-dev
	@cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DINTRO_FUZZ=ON > /dev/null
	@cmake --build build-fuzz --target fuzzers -j $(JOBS)
	@tests/fuzz/run-fuzzers.sh build-fuzz $(FUZZ_SECONDS)

# Renders every frame of the intro into build/capture/frame<N>.bmp with the
# fixed 1/60-s clock (under Xvfb at 1280x720 where there is no display);
# frames of an earlier capture are removed first.
capture: build
	@mkdir -p $(BUILD_DIR)/capture
	@rm -f $(BUILD_DIR)/capture/frame*.bmp $(BUILD_DIR)/capture/frame*.bmp.tmp
	@tools/run-intro.sh $(BUILD_DIR) --capture

# Renders the build's piece with the studio's render mode off screen at SIZE
# and pipes its frames with the soundtrack into ffmpeg: build/intro.mp4, or for
# a section (FROM=30 TO=45, in seconds) build/intro-30-45.mp4 (intro-30-end.mp4
# without TO). A video already there is kept: the new one takes the next free
# name, intro-2.mp4, intro-3.mp4, ... OUT=path.mp4 writes there instead,
# replacing what is there. No frame touches the disk. (tools/make-video turns
# a finished make capture into a video instead.)
VIDEO_SECTION := $(if $(FROM)$(TO),-$(or $(FROM),0)-$(or $(TO),end))
video: build
	@tools/export-video --size $(SIZE) $(if $(FROM),--from $(FROM)) $(if $(TO),--to $(TO)) $(if $(OUT),,--free-name) \
		$(BUILD_DIR)/studio $(BUILD_DIR) $(or $(OUT),$(BUILD_DIR)/intro$(VIDEO_SECTION).mp4)

# Captures the intro under Xvfb and lays one frame per section out as
# images/contact-sheet.png (the README's first picture).
contact-sheet: build
	@tools/install-deps.sh imagemagick
	@tools/contact-sheet.sh $(BUILD_DIR)/intro $(BUILD_DIR) images/contact-sheet.png

# The benchmarks, in their own build with GLEW and libepoxy (the loader's
# peers): figures printed and written to bench/results.md with a frame-time
# plot, bench/frame-times.png, and the video export's to
# bench/export-results.md (BENCH_EXPORT_SIZE and BENCH_EXPORT_SHADERS pick
# its size and shaders, BENCH_EXPORT_BEFORE=222dabf^ adds the earlier
# exporter from git; the whole of it takes over an hour). BENCH_ONLY runs
# only the benchmarks it names (make bench BENCH_ONLY=overlay,spectrum; the
# names are in bench/run_benchmarks.py) and renews only their rows.
bench: deps
	@tools/install-deps.sh libglew-dev libepoxy-dev gnuplot-nox
	@cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINTRO_BENCH=ON > /dev/null
	@cmake --build build-bench -j $(JOBS)
	@python3 bench/run_benchmarks.py build-bench .

# Rewrites the loader's generated sources from the OpenGL registry.
regenerate:
	python3 tools/gen_glload.py $(REGISTRY)

clean:
	rm -rf $(BUILD_DIR) build-bench build-sanitize build-fuzz
