#!/usr/bin/python3
"""Walks the studio's accessible tree over AT-SPI as a screen reader would, and drives
it with the keyboard alone: connect, read the Applications list, add an application in
its dialog, move with Down and hear the focus, delete through both confirmations."""
import argparse
import sys
import time

import pyatspi
from gi.repository import GLib

TIMEOUT = 30.0
FRAME = None
events = []


def pump():
    ctx = GLib.MainContext.default()
    while ctx.pending():
        ctx.iteration(False)


def wait_for(what, probe, timeout=TIMEOUT):
    """Retries probe (which may raise while the tree is still being made) until it gives
    something true."""
    end = time.monotonic() + timeout
    last = None
    while time.monotonic() < end:
        pump()
        try:
            got = probe()
            if got:
                return got
        except Exception as e:  # objects come and go while windows open
            last = e
        time.sleep(0.1)
    raise AssertionError(f"timed out waiting for {what}" + (f" ({last})" if last else ""))


def find(root, role, name=None, depth=8):
    if root is None or depth < 0:
        return None
    try:
        if root.getRole() == role and (name is None or root.name == name):
            return root
        for i in range(min(root.childCount, 200)):
            hit = find(root.getChildAtIndex(i), role, name, depth - 1)
            if hit is not None:
                return hit
    except Exception:
        return None
    return None


def check(cond, text):
    if not cond:
        raise AssertionError(text)
    print("ok:", text, flush=True)


KEYSYMS = {"Down": 0xFF54, "Up": 0xFF52, "Home": 0xFF50, "Return": 0xFF0D, "Escape": 0xFF1B,
           "Tab": 0xFF09, "F6": 0xFFC3}
ALT_KEYCODE = 64  # Alt_L in the X server's default keymap


def key(name):
    pyatspi.Registry.generateKeyboardEvent(KEYSYMS[name], None, pyatspi.KEY_SYM)
    time.sleep(0.15)


def menu(frame, title, item):
    """Alt and the menu's letter, then the item's letter, once the menu shows. The keys
    travel through the registry one by one; a menu that did not open is tried again."""
    bar = wait_for("the menu bar", lambda: find(frame, pyatspi.ROLE_MENU_BAR))
    entry = wait_for(f"the menu item {item!r}", lambda: find(bar, pyatspi.ROLE_MENU_ITEM, item))
    for attempt in range(4):
        pyatspi.Registry.generateKeyboardEvent(ALT_KEYCODE, None, pyatspi.KEY_PRESS)
        time.sleep(0.1)
        pyatspi.Registry.generateKeyboardEvent(ord(title[0].lower()), None, pyatspi.KEY_SYM)
        time.sleep(0.1)
        pyatspi.Registry.generateKeyboardEvent(ALT_KEYCODE, None, pyatspi.KEY_RELEASE)
        try:
            wait_for(f"the {title} menu to show",
                     lambda: states(entry).contains(pyatspi.STATE_SHOWING), 5 + 5 * attempt)
            break
        except AssertionError:
            if attempt == 3:
                raise
            key("Escape")
            key("Escape")
    letter(item[0].lower())


def letter(c):
    pyatspi.Registry.generateKeyboardEvent(ord(c), None, pyatspi.KEY_SYM)
    time.sleep(0.2)


def typed(text):
    pyatspi.Registry.generateKeyboardEvent(0, text, pyatspi.KEY_STRING)
    time.sleep(0.2)


def states(acc):
    return acc.getState()


def is_current(row):
    s = states(row)
    return s.contains(pyatspi.STATE_SELECTED)


def dialog(app, title):
    def probe():
        for i in range(app.childCount):
            w = app.getChildAtIndex(i)
            if w is not None and w.getRole() == pyatspi.ROLE_DIALOG and w.name.startswith(title):
                return w
        return None
    try:
        return wait_for(f"the dialog {title!r}", probe)
    except AssertionError:
        for i in range(app.childCount):
            w = app.getChildAtIndex(i)
            print("  window:", w.getRoleName(), repr(w.name), file=sys.stderr)
        raise


def field_names(dlg):
    names = []

    def walk(acc, depth=0):
        if acc is None or depth > 4:
            return
        if acc.getRole() in (pyatspi.ROLE_TEXT, pyatspi.ROLE_PASSWORD_TEXT, pyatspi.ROLE_LIST,
                             pyatspi.ROLE_COMBO_BOX):
            names.append(acc.name)
        for i in range(acc.childCount):
            walk(acc.getChildAtIndex(i), depth + 1)
    walk(dlg)
    return names


def rows_of(lst):
    return [lst.getChildAtIndex(i) for i in range(lst.childCount)]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--password", required=True)
    args = ap.parse_args()
    started = time.monotonic()

    desktop = pyatspi.Registry.getDesktop(0)

    def the_app():
        for i in range(desktop.childCount):
            a = desktop.getChildAtIndex(i)
            if a is not None and a.name == "quorvelide" and a.childCount > 0:
                return a
        return None
    app = wait_for("the studio on the accessibility bus", the_app, 60)
    frame = wait_for("the frame", lambda: find(app, pyatspi.ROLE_FRAME, "Quorvel Studio", 1))
    pyatspi.Registry.registerEventListener(
        lambda e: events.append((e.type, e.source, e.detail1)),
        "object:state-changed:focused", "focus:", "object:property-change:accessible-name")

    # The toolbar: its profile button is named, and reached with F6.
    button = wait_for("the toolbar's profile button",
                      lambda: find(frame, pyatspi.ROLE_PUSH_BUTTON, "Demo server"))
    check(button.name == "Demo server", "the toolbar's button is named by its label")
    wait_for("the frame to be active",
             lambda: states(frame).contains(pyatspi.STATE_ACTIVE))
    key("F6")
    wait_for("the focus on the toolbar button",
             lambda: states(button).contains(pyatspi.STATE_FOCUSED))
    key("Return")

    # The connect dialog: every field named by its label.
    connect = dialog(app, "Connect")
    names = field_names(connect)
    print("connect dialog fields:", names, flush=True)
    for want in ("IP Address", "Port", "User Name", "User Password"):
        check(want in names, f"the connect dialog has a field named {want!r}")
    # Tab goes through the fields in the order they are seen, to the password.
    password = find(connect, pyatspi.ROLE_PASSWORD_TEXT)
    order = []
    for _ in range(10):
        pump()
        here = [f.name for f in (find(connect, pyatspi.ROLE_TEXT, n) for n in names) if f is not None
                and states(f).contains(pyatspi.STATE_FOCUSED)]
        order += [n for n in here if n not in order]
        if states(password).contains(pyatspi.STATE_FOCUSED):
            break
        key("Tab")
    print("tab order:", order, flush=True)
    check(order == ["IP Address", "IP Address 2", "IP Address 3", "IP Address 4", "Port",
                    "User Name"], "Tab goes through the fields from the top")
    wait_for("the focus in the password field",
             lambda: states(password).contains(pyatspi.STATE_FOCUSED))
    typed(args.password)
    key("Return")

    # File > Applications with its mnemonic, once the menu of a connected studio is there.
    wait_for("the connected toolbar", lambda: find(frame, pyatspi.ROLE_PUSH_BUTTON, "Disconnect"))
    global FRAME
    FRAME = frame
    wait_for("the frame to be active again",
             lambda: states(frame).contains(pyatspi.STATE_ACTIVE))
    menu(frame, "File", "Applications")

    # The Applications list, as a list with its rows and the current one.
    lst = wait_for("the Applications list",
                   lambda: find(frame, pyatspi.ROLE_LIST, "Applications", 10))
    rows = wait_for("its rows", lambda: rows_of(lst))
    check(len(rows) == 1 and rows[0].name.startswith("demo"),
          f"the list reads its row: {[r.name for r in rows]}")
    check(is_current(rows[0]), "the first row is the current one")
    cells = [rows[0].getChildAtIndex(i).name for i in range(rows[0].childCount)]
    check(cells == ["demo", "Demo shop", "30"], f"the row's cells by column: {cells}")
    table = lst.queryTable()
    headers = [table.getColumnDescription(i) for i in range(table.nColumns)]
    check(headers == ["Name", "Description", "Session Timeout"], f"the column headers: {headers}")

    # New with Alt+F, N: the application dialog's fields are named; OK adds "second".
    wait_for("the focus on the list's current row",
             lambda: states(rows_of(lst)[0]).contains(pyatspi.STATE_FOCUSED))
    menu(frame, "File", "New")
    app_dialog = dialog(app, "New Application")
    names = field_names(app_dialog)
    print("application dialog fields:", names, flush=True)
    for want in ("Name", "Description", "Session Timeout", "Users", "All Users"):
        check(want in names, f"the application dialog has a field named {want!r}")
    name_field = find(app_dialog, pyatspi.ROLE_TEXT, "Name")
    wait_for("the focus in the Name field",
             lambda: states(name_field).contains(pyatspi.STATE_FOCUSED))
    typed("second")
    key("Return")
    wait_for("the list to hold two rows", lambda: lst.childCount == 2)
    check(lst.name == "Applications", "the list keeps its name")

    # Down moves the current record: a focus event for the new row, which is selected.
    wait_for("the focus back on the list",
             lambda: any(states(r).contains(pyatspi.STATE_FOCUSED) for r in rows_of(lst)))
    key("Home")
    del events[:]
    key("Down")

    def focused_second():
        for kind, source, detail in events:
            if source is not None and source.getRole() == pyatspi.ROLE_LIST_ITEM \
                    and "focus" in kind and source.name.startswith("second"):
                return source
        return None
    row = wait_for("a focus event on the row Down moved to", focused_second)
    check(is_current(row) and row.getIndexInParent() == 1,
          f"Down made {row.name!r} the current row")

    # Delete asks twice; Enter answers each; the list is back to one row.
    menu(frame, "File", "Delete")
    first = dialog(app, "Delete")
    labels = [first.getChildAtIndex(i).name for i in range(first.childCount)]
    check(any("second" in t for t in labels), f"the confirmation reads its text: {labels}")
    key("Return")

    def second_question():
        for i in range(app.childCount):
            w = app.getChildAtIndex(i)
            if w is not None and w.getRole() == pyatspi.ROLE_DIALOG and w != first \
                    and states(w).contains(pyatspi.STATE_SHOWING):
                return w
        return None
    sure = wait_for("the second confirmation", second_question)
    print("second confirmation:", [sure.getChildAtIndex(i).name
                                   for i in range(sure.childCount)], flush=True)
    key("Return")
    wait_for("the list to hold one row", lambda: lst.childCount == 1)
    check(rows_of(lst)[0].name.startswith("demo"), "the deleted application is gone")
    print(f"atspi walk: passed in {time.monotonic() - started:.1f} s", flush=True)


if __name__ == "__main__":
    try:
        main()
    except AssertionError as e:
        print("atspi walk: FAILED:", e, file=sys.stderr, flush=True)
        def dump(acc, depth=0):
            try:
                print("  " * depth, acc.getRoleName(), repr(acc.name), acc.childCount,
                      file=sys.stderr)
                for i in range(min(acc.childCount, 6)):
                    if depth < 5:
                        dump(acc.getChildAtIndex(i), depth + 1)
            except Exception:
                pass
        if FRAME is not None:
            dump(FRAME)
        for kind, source, detail in events[-10:]:
            try:
                print("  event", kind, detail, source.getRoleName(), repr(source.name),
                      file=sys.stderr)
            except Exception:
                pass
        sys.exit(1)
