#!/usr/bin/python3
"""Walks the windows of one application on the AT-SPI bus, as a screen reader
meets them, and reports what a listener could not understand:
  - a focusable control without a name,
  - a grid column without a title (Qt numbers untitled columns 1, 2, ...),
  - a status-bar panel that is not announced by its text (each PANEL_TEXT
    must be heard, and nothing else),
  - a message box that is not announced with its text.
  a11y_walk.py APP WINDOWS SECONDS MESSAGE PANEL_TEXT...
Waits up to SECONDS for APP to show WINDOWS windows. Exit status 0 when the
walk finds nothing, 1 when it does, 2 when the windows did not appear.
"""
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

R = Atspi.Role
# Their children are rows and cells, named by what they hold.
ITEM_VIEWS = {R.LIST, R.LIST_BOX, R.TABLE, R.TREE_TABLE, R.TREE}
MESSAGE_ROLES = {R.ALERT, R.DIALOG, R.NOTIFICATION}


def find_app(name, windows, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            try:
                if app is not None and app.get_name() == name and app.get_child_count() >= windows:
                    return app
            except GLib.Error:
                pass
        time.sleep(0.2)
    return None


def walk(node, path, problems, panel_texts, heard):
    role = node.get_role()
    name = (node.get_name() or "").strip()
    here = "%s > %s %r" % (path, node.get_role_name(), name) if path else "%s %r" % (node.get_role_name(), name)
    if not name and node.get_state_set().contains(Atspi.StateType.FOCUSABLE):
        problems.append("focusable control without a name: " + here)
    if role == R.TABLE:
        for c in range(node.get_n_columns()):
            title = (node.get_column_description(c) or "").strip()
            if not title or title.isdigit():
                problems.append("grid column %d without a title: %s" % (c, here))
    if role == R.STATUS_BAR:
        for i in range(node.get_child_count()):
            panel = node.get_child_at_index(i)
            if panel.get_role() != R.LABEL:
                continue
            heard.add(panel.get_name())
            if panel.get_name() not in panel_texts:
                problems.append("status panel announced as %r, not by its text: %s" % (panel.get_name(), here))
    if role in ITEM_VIEWS:
        return
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is not None:
            walk(child, here, problems, panel_texts, heard)


def main():
    app_name, windows, seconds, message = sys.argv[1], int(sys.argv[2]), float(sys.argv[3]), sys.argv[4]
    panel_texts = set(sys.argv[5:])
    Atspi.set_timeout(5000, 10000)
    app = find_app(app_name, windows, seconds)
    if app is None:
        print("%s did not show %d windows within %g s" % (app_name, windows, seconds))
        return 2
    problems = []
    announced = False
    heard = set()
    for i in range(app.get_child_count()):
        window = app.get_child_at_index(i)
        walk(window, "", problems, panel_texts, heard)
        said = (window.get_name() or "") + "\n" + (window.get_description() or "")
        if window.get_role() in MESSAGE_ROLES and message in said:
            announced = True
    for text in sorted(panel_texts - heard):
        problems.append("no status panel announced as %r" % text)
    if not announced:
        problems.append("no message box announced with its text %r" % message)
    for p in problems:
        print(p)
    print("%d windows walked, %d problems" % (app.get_child_count(), len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
