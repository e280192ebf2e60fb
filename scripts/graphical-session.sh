# Sourced by the demo scripts: the windows need a display. Without one Qt
# aborts (status 134) after the build; this says so before anything is done.
require_graphical_session() {
    if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ] || [ -n "${QT_QPA_PLATFORM:-}" ]; then
        return 0
    fi
    cat >&2 <<TEXT
$(basename "$0"): the demo shows a window and needs a graphical session (no DISPLAY
or WAYLAND_DISPLAY is set). Run it from a desktop terminal, or on a machine without
one under a virtual X server (Debian packages xvfb and xauth):
    xvfb-run -a $0${1:+ $1}
TEXT
    exit 1
}
