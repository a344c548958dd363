#!/bin/sh
# Runs a command with an X display: the caller's, or a private Xvfb for the command's lifetime.
if [ -n "$DISPLAY" ]; then exec "$@"; fi
for n in $(seq 90 140); do
  [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  server=$!
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  if kill -0 "$server" 2>/dev/null; then
    DISPLAY=":$n" "$@"
    status=$?
    kill "$server"
    wait "$server" 2>/dev/null
    exit $status
  fi
done
echo "no free X display for Xvfb" >&2
exit 1
