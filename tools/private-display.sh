# Sourced: starts an X server of our own on a display that it picks itself
# (no race with other servers starting at the same time), sets DISPLAY, and
# leaves its process id in xpid. Arguments: the screen, e.g. 1280x1024x24.
xdisplay=$(mktemp)
Xvfb -displayfd 3 -screen 0 "$1" -nolisten tcp 3>"$xdisplay" >/dev/null 2>&1 &
xpid=$!
for _ in $(seq 100); do [ -s "$xdisplay" ] && break; sleep 0.1; done
export DISPLAY=":$(tr -d '\n' <"$xdisplay")"
rm -f "$xdisplay"
