#!/usr/bin/python3
"""What a screen reader finds in one of the windows, through the desktop's
accessibility bus (AT-SPI), as Orca reads it.

    atspi_walk.py settings|updater

The program runs already (atspi-walk.sh starts it, with the simulated device
in its port map). The script waits for its window, then:
  - walks every object of the window and of each tab page and fails on a
    control that takes the focus and has no name (neither its own nor one
    from a label tied to it); the settings rows' controls must be tied to
    their captions;
  - listens for the notifications that status bar messages raise, does what
    a user does (Connect, a changed value) and fails when an expected
    message is not heard.
Exits 0 when all holds, 1 with the reasons otherwise.
"""

import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import GLib  # noqa: E402
import pyatspi  # noqa: E402

PROGRAMS = {
    "settings": "ZORVIKMicroSettings",
    "updater": "ZORVIKUpdater",
}
# How long the window and each message may take under sanitizers on a
# loaded machine.
APPEAR_SECONDS = 60
MESSAGE_SECONDS = 30


def safe(call, default=None):
    """An object that went away while it was read is read as `default`."""
    try:
        return call()
    except Exception:  # GLib errors of a gone object
        return default


def describe(accessible):
    role = safe(accessible.getRoleName, "?")
    name = safe(lambda: accessible.name, "")
    return f"{role} '{name}'"


def path_of(accessible):
    parts = []
    node = accessible
    while node is not None and safe(node.getRole) != pyatspi.ROLE_APPLICATION:
        parts.append(describe(node))
        node = safe(lambda: node.parent)
    return " < ".join(parts)


def labels_of(accessible):
    names = []
    for relation in safe(accessible.getRelationSet, []) or []:
        if relation.getRelationType() != pyatspi.RELATION_LABELLED_BY:
            continue
        for index in range(relation.getNTargets()):
            target = relation.getTarget(index)
            names.append(safe(lambda: target.name, "") or "")
    return [name for name in names if name.strip()]


def walk(accessible):
    yield accessible
    for index in range(safe(lambda: accessible.childCount, 0) or 0):
        child = safe(lambda: accessible.getChildAtIndex(index))
        if child is not None:
            yield from walk(child)


def has_state(accessible, state):
    states = safe(accessible.getState)
    return states is not None and states.contains(state)


def spin_events(seconds, until):
    """Runs the bus's events until `until()` holds or the time is up."""
    context = GLib.MainContext.default()
    end = time.monotonic() + seconds
    while not until():
        if time.monotonic() > end:
            return False
        # Blocks until an event or the next 100 ms tick: no busy loop.
        GLib.timeout_add(100, lambda: False)
        context.iteration(True)
    return True


def find_window(program):
    found = []

    def look():
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is not None and safe(lambda: app.name) == program:
                for frame in app:
                    if safe(frame.getRole) == pyatspi.ROLE_FRAME and has_state(
                        frame, pyatspi.STATE_SHOWING
                    ):
                        found.append(frame)
                        return True
        return False

    if not spin_events(APPEAR_SECONDS, look):
        return None
    return found[0]


class Walk:
    def __init__(self, program_key):
        self.key = program_key
        self.program = PROGRAMS[program_key]
        self.faults = []
        self.heard = []
        # As a screen reader does: the name changes keep the bus's view of
        # each object's name current, so a notification is read with the
        # name it had when it was shown.
        pyatspi.Registry.registerEventListener(
            self.on_showing, "object:state-changed:showing"
        )
        pyatspi.Registry.registerEventListener(
            lambda event: None, "object:property-change:accessible-name"
        )

    def on_showing(self, event):
        if event.detail1 != 1:
            return
        if safe(event.source.getRole) == pyatspi.ROLE_NOTIFICATION:
            name = safe(lambda: event.source.name, "")
            if name:
                self.heard.append(name)

    # --- names

    def unnamed_controls(self, window):
        unnamed = []
        for node in walk(window):
            if not (
                has_state(node, pyatspi.STATE_FOCUSABLE)
                and has_state(node, pyatspi.STATE_SHOWING)
            ):
                continue
            name = (safe(lambda: node.name, "") or "").strip()
            if not name and not labels_of(node):
                unnamed.append(path_of(node))
        return unnamed

    def untied_row_controls(self, window):
        """The settings pages' lists and spin buttons: each is tied to the
        label that captions it."""
        untied = []
        for node in walk(window):
            if safe(node.getRole) not in (pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_SPIN_BUTTON):
                continue
            if not has_state(node, pyatspi.STATE_SHOWING):
                continue
            if self.in_interface_group(node):
                continue
            if not labels_of(node):
                untied.append(path_of(node))
        return untied

    @staticmethod
    def in_interface_group(node):
        # The port list, above the pages, is the interface group's own.
        return "Interface" in path_of(node)

    def pages(self, window):
        return [
            node for node in walk(window) if safe(node.getRole) == pyatspi.ROLE_PAGE_TAB
        ]

    def check_names(self, window, when):
        tabs = self.pages(window) or [None]
        for tab in tabs:
            if tab is not None:
                self.press(tab)
                spin_events(5, lambda: has_state(tab, pyatspi.STATE_SELECTED))
            where = f"{when}, page '{safe(lambda: tab.name, '')}'" if tab else when
            for path in self.unnamed_controls(window):
                self.faults.append(f"{where}: focusable control without a name: {path}")
            if self.key == "settings":
                for path in self.untied_row_controls(window):
                    self.faults.append(f"{where}: control not tied to its caption: {path}")
        if tabs[0] is not None:
            self.press(tabs[0])

    # --- actions

    @staticmethod
    def press(accessible):
        action = accessible.queryAction()
        for index in range(action.nActions):
            if action.getName(index) in ("press", "Press", "click"):
                action.doAction(index)
                return
        action.doAction(0)

    @staticmethod
    def find(window, role, name):
        for node in walk(window):
            if safe(node.getRole) == role and safe(lambda: node.name) == name:
                return node
        return None

    def expect_heard(self, message):
        if not spin_events(MESSAGE_SECONDS, lambda: message in self.heard):
            self.faults.append(
                f"status message not announced: '{message}' (heard: {self.heard})"
            )

    def run_settings(self, window):
        self.check_names(window, "before connecting")
        connect = self.find(window, pyatspi.ROLE_PUSH_BUTTON, "Connect")
        if connect is None:
            self.faults.append("no Connect button")
            return
        self.press(connect)
        self.expect_heard("ZORVIK Device found")
        self.expect_heard("Reading the ZORVIK Device's settings...")
        # The pages are filled when the spin buttons are enabled.
        gain = None

        def filled():
            nonlocal gain
            gain = self.find(
                window,
                pyatspi.ROLE_SPIN_BUTTON,
                "Tail - HeadingLock Gain, User Defined Value",
            )
            return gain is not None and has_state(gain, pyatspi.STATE_ENABLED)

        if not spin_events(MESSAGE_SECONDS, filled):
            self.faults.append("the pages were not filled after Connect")
            return
        self.check_names(window, "connected")
        # A changed value, as a screen reader user changes it: stored by
        # the window's write cycle, which says so.
        value = gain.queryValue()
        value.currentValue = value.currentValue + 1
        self.expect_heard("Settings successfully stored.")

    def run_updater(self, window):
        self.check_names(window, "at start")
        refresh = self.find(window, pyatspi.ROLE_PUSH_BUTTON, "Refresh")
        if refresh is None:
            self.faults.append("no Refresh button")
            return
        self.press(refresh)
        self.expect_heard("Checking Interface...")
        self.expect_heard("Querying ZORVIK Device...")

    def run(self):
        window = find_window(self.program)
        if window is None:
            print(f"FAIL: no window of {self.program} on the accessibility bus")
            return 1
        print(f"{self.program}: window '{window.name}'")
        getattr(self, f"run_{self.key}")(window)
        for fault in self.faults:
            print(f"FAIL: {fault}")
        print(f"{self.program}: heard {self.heard}")
        return 1 if self.faults else 0


def main():
    if len(sys.argv) != 2 or sys.argv[1] not in PROGRAMS:
        print(__doc__)
        return 2
    return Walk(sys.argv[1]).run()


if __name__ == "__main__":
    sys.exit(main())
