#!/bin/sh
# Usage: run.sh BUILD_DIR
# Runs the tests of a build configured with -DINTRO_SANITIZE=ON (AddressSanitizer
# with LeakSanitizer, and UndefinedBehaviorSanitizer): the unit tests, the GL
# tests under Xvfb (on Mesa's llvmpipe, the overlay's on softpipe), the
# soundtrack and message tools' tests,
# and a short capture of the real intro (tests/e2e/test_sanitize_smoke.py).
# The first sanitizer report ends the program that made it, which fails its
# test; leaks are looked for at every exit. Leaks that start in Mesa, the
# window toolkit or SDL's libraries are suppressed by lsan.supp, each entry
# with its reason; asan.supp and ubsan.supp are empty.
#
# Left out: the other end-to-end suites (e2e_frame, e2e_intro, e2e_capture,
# e2e_faults, e2e_contract, e2e_export, e2e_soak), which take minutes and
# several of which set LD_PRELOAD to the GLX shim or libfaketime in place of
# keep_loaded.so below; and loader_generator, export_unit and xvfb_unit,
# which run no sanitized code.
set -eu

if [ $# -ne 1 ]; then
    echo "usage: $0 BUILD_DIR" >&2
    exit 2
fi
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)

# Allocation stacks are taken with the slow unwinder: Mesa, SDL and freeglut
# are built without frame pointers, and the suppressions must see the frames
# beyond them to tell whose allocation leaked. keep_loaded.so (see there) is
# preloaded into every program the tests start, ahead of ASan's runtime, so
# ASan's check that its runtime comes first is switched off.
shim=$build/sanitize-keep-loaded.so
${CC:-cc} -shared -fPIC -O2 -o "$shim" "$here/keep_loaded.c"
LD_PRELOAD=$shim
ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:fast_unwind_on_malloc=0:verify_asan_link_order=0:suppressions=$here/asan.supp"
LSAN_OPTIONS="suppressions=$here/lsan.supp:print_suppressions=0:fast_unwind_on_malloc=0"
UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:suppressions=$here/ubsan.supp"
export LD_PRELOAD ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS

status=0
(cd "$build" && env -u DISPLAY ctest --output-on-failure --timeout 300 \
    -R '^(loader_unit|framework|intro_unit|spectrum_unit|studio_unit|tracks_unit|gl|gl_drawing|soundtrack|message_image)$') || status=1

# The intro draws on Mesa's softpipe rather than llvmpipe. Once llvmpipe has
# registered the unwind tables of the code it generates with libgcc, libgcc's
# unwinder allocates while it holds its lock, and the slow unwinder, run by
# ASan for that allocation, waits for the same lock for ever. (The GL tests
# other than gl_drawing draw nothing and stay on llvmpipe, whose GL version
# some of them need; gl_drawing draws on softpipe in a sanitized build, as
# tests/gl/CMakeLists.txt sets; the ctest time limit above catches a hang.)
echo "Sanitized capture end to end:"
(cd "$source_dir/tests/e2e" &&
    env -u DISPLAY GALLIUM_DRIVER=softpipe INTRO_BUILD_DIR="$build" INTRO_SOURCE_DIR="$source_dir" \
        PYTHONDONTWRITEBYTECODE=1 timeout 600 python3 -m unittest -v test_sanitize_smoke) || status=1
exit $status
