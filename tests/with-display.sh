#!/bin/sh
# Runs a command on an X display of its own. Xvfb chooses a free display
# number itself (-displayfd) and reports it once it accepts clients, so tests
# that start at the same moment never pick the same display. -noreset keeps
# the server as it is when its last client leaves: a reset would refuse the
# next program that connects while it lasts.
set -u
dir=$(mktemp -d "${TMPDIR:-/tmp}/arkivault-display-XXXXXX")
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$dir/display" 2>"$dir/log" &
server=$!
tries=0
while [ ! -s "$dir/display" ]; do
  tries=$((tries + 1))
  if [ "$tries" -gt 300 ] || ! kill -0 "$server" 2>/dev/null; then
    echo "Xvfb did not start within 30 s:" >&2
    cat "$dir/log" >&2
    kill "$server" 2>/dev/null
    rm -rf "$dir"
    exit 1
  fi
  sleep 0.1
done
DISPLAY=":$(cat "$dir/display")" "$@"
status=$?
kill "$server" 2>/dev/null
wait "$server" 2>/dev/null
rm -rf "$dir"
exit "$status"
