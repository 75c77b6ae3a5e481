#!/usr/bin/python3
# Answers the helper's prompt as a screen reader user would: through the
# accessibility bus (AT-SPI), with no keyboard or pointer. Finds the
# application of the given process, prints one RESULT line for each control
# it shows (role, name, description, actions, as AT-SPI has them), then runs
# the "Press" action of the button with the given name.
#
#   atspi-answer.py --pid PID --press NAME [--timeout SECONDS]
#
# Exits 1 when the application, its dialog or the button does not turn up.
# The system's python3: pyatspi comes from Debian's python3-pyatspi.
import argparse
import json
import sys
import time

import pyatspi


def showing(accessible):
    return accessible.getState().contains(pyatspi.STATE_SHOWING)


def actions(accessible):
    try:
        action = accessible.queryAction()
    except NotImplementedError:
        return []
    return [action.getName(i) for i in range(action.nActions)]


def controls(accessible):
    """The accessible and everything under it that is on the screen."""
    if not showing(accessible):
        return
    yield accessible
    for i in range(accessible.childCount):
        child = accessible.getChildAtIndex(i)
        if child is not None:
            yield from controls(child)


def find_dialog(pid, deadline):
    # The application joins the bus once its window is shown; its dialog
    # may come a moment later.
    desktop = pyatspi.Registry.getDesktop(0)
    while True:
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            try:
                if app is None or app.get_process_id() != pid:
                    continue
                for j in range(app.childCount):
                    window = app.getChildAtIndex(j)
                    if window is not None and window.getRole() == pyatspi.ROLE_DIALOG and showing(
                        window
                    ):
                        return app, window
            except Exception:  # an application that left while we looked
                continue
        if time.monotonic() >= deadline:
            return None, None
        time.sleep(0.1)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pid", type=int, required=True)
    what = parser.add_mutually_exclusive_group(required=True)
    what.add_argument("--press")
    what.add_argument("--describe", action="store_true")
    parser.add_argument("--timeout", type=float, default=30)
    options = parser.parse_args()

    app, dialog = find_dialog(options.pid, time.monotonic() + options.timeout)
    if dialog is None:
        print(f"atspi-answer: no dialog of process {options.pid} on the bus", file=sys.stderr)
        return 1
    if options.describe:
        states = dialog.getState()
        extents = dialog.queryComponent().getExtents(pyatspi.WINDOW_COORDS)
        print("RESULT atspi-window=" + json.dumps({
            "name": dialog.name,
            "active": states.contains(pyatspi.STATE_ACTIVE),
            "size": f"{extents.width}x{extents.height}",
        }, ensure_ascii=False))
        return 0
    print(f"RESULT atspi-application={app.name}")
    button = None
    for control in controls(dialog):
        seen = {
            "role": control.getRoleName(),
            "name": control.name,
            "description": control.description,
            "actions": actions(control),
        }
        # A control named by a label beside it (Qt's pop-ups are: their own
        # name is the item chosen).
        for relation in control.getRelationSet():
            if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
                seen["labelledBy"] = [
                    relation.getTarget(i).name for i in range(relation.getNTargets())
                ]
        if control.getRole() == pyatspi.ROLE_COMBO_BOX:
            # What it offers, as its list has it.
            items = control.getChildAtIndex(0)
            seen["items"] = [items.getChildAtIndex(i).name for i in range(items.childCount)]
        print("RESULT atspi=" + json.dumps(seen, ensure_ascii=False))
        if control.getRole() == pyatspi.ROLE_PUSH_BUTTON and control.name == options.press:
            button = control
    if button is None or "Press" not in actions(button):
        print(f"atspi-answer: no button \"{options.press}\" to press", file=sys.stderr)
        return 1
    button.queryAction().doAction(actions(button).index("Press"))
    print(f"RESULT atspi-pressed={options.press}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
