# The project's two commands: `make run` plays the intro, `make test` runs
# every test. Both install what is missing and build first.

BUILD_DIR := build
JOBS := $(shell nproc)
REGISTRY := ../shared/registry

.PHONY: all deps build run test regenerate clean

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
	@cd $(BUILD_DIR) && env -u DISPLAY ctest --output-on-failure -j $(JOBS)

# Rewrites the loader's generated sources from the OpenGL registry.
regenerate:
	python3 tools/gen_glload.py $(REGISTRY)

clean:
	rm -rf $(BUILD_DIR)
