# The project's two commands: `make run` plays the intro, `make test` runs
# every test. Both install what is missing and build first.

BUILD_DIR := build
JOBS := $(shell nproc)
REGISTRY := ../shared/registry

.PHONY: all deps build run test soak capture video regenerate clean

all: build

deps:
	@tools/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@tools/run-intro.sh $(BUILD_DIR)

# Every test that needs a window starts its own Xvfb server, so the user's
# display is never touched.
test: build
	@cd $(BUILD_DIR) && env -u DISPLAY ctest --output-on-failure -j $(JOBS) -LE soak

# The whole intro in real time under Xvfb (two and a half minutes).
soak: build
	@cd $(BUILD_DIR) && env -u DISPLAY ctest --output-on-failure -L soak

# Renders every frame of the intro into build/capture/frame<N>.bmp with the
# fixed 1/60-s clock (under Xvfb at 1280x720 where there is no display);
# frames of an earlier capture are removed first.
capture: build
	@mkdir -p $(BUILD_DIR)/capture
	@rm -f $(BUILD_DIR)/capture/frame*.bmp
	@tools/run-intro.sh $(BUILD_DIR) --capture

# Turns the captured frames and the soundtrack into build/intro.mp4.
video: deps
	@tools/make-video.sh $(BUILD_DIR)/capture $(BUILD_DIR)/lumiter_party_biisi.wav $(BUILD_DIR)/intro.mp4

# Rewrites the loader's generated sources from the OpenGL registry.
regenerate:
	python3 tools/gen_glload.py $(REGISTRY)

clean:
	rm -rf $(BUILD_DIR)
