#!/bin/sh
# Usage: run-in-xvfb.sh WIDTHxHEIGHT COMMAND [ARGS...]
# Runs COMMAND with DISPLAY set to a private Xvfb server of that screen size
# and Mesa's software renderer, whatever display the caller has, and stops
# the server afterwards. The exit status is COMMAND's.
set -u
size=$1
shift

dir=$(mktemp -d)
server=""
child=""
trap '[ -n "$server" ] && kill "$server" 2>/dev/null; rm -rf "$dir"' EXIT
trap '[ -n "$child" ] && kill "$child" 2>/dev/null' INT TERM

# -displayfd writes the display number once the server accepts clients.
Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$dir/display" 2>"$dir/xvfb.log" &
server=$!
tries=0
until [ -s "$dir/display" ]; do
    tries=$((tries + 1))
    if [ "$tries" -gt 200 ] || ! kill -0 "$server" 2>/dev/null; then
        echo "run-in-xvfb: Xvfb did not start:" >&2
        cat "$dir/xvfb.log" >&2
        exit 1
    fi
    sleep 0.05
done

DISPLAY=":$(cat "$dir/display")"
LIBGL_ALWAYS_SOFTWARE=1
export DISPLAY LIBGL_ALWAYS_SOFTWARE
"$@" &
child=$!
while :; do
    wait "$child"
    status=$?
    kill -0 "$child" 2>/dev/null || break
done
exit "$status"
