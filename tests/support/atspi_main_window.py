#!/usr/bin/python3
"""Reads the running main window the way a screen reader does, through AT-SPI: the names, roles
and states of the login fields, the tree and the list; types the given field values (an empty
field only), presses "接続" through its action; then the rows of the list must equal the listing
of the domain root that ldapsearch gives; last it presses "終了".

Usage: atspi_main_window.py <pid of Mivora> <file with the expected rows, one "No\\tclass\\tname" a line>
                            [field=value...]   e.g. domain=example.test account=reader password=secret
"""
import sys
import time

import pyatspi

DEADLINE = 30.0


def poll(what, probe, timeout=DEADLINE):
    end = time.monotonic() + timeout
    while True:
        try:
            value = probe()
        except Exception as error:  # the object can vanish or not exist yet while Qt builds it
            value, last = None, error
        else:
            last = None
        if value:
            return value
        if time.monotonic() > end:
            sys.exit(f"timed out waiting for {what}" + (f" ({last})" if last else ""))
        time.sleep(0.05)


def running(pid):
    # Mivora is the shell's child, not ours: once it has ended it stays a zombie until we are done.
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def find_app(pid):
    if not running(pid):
        sys.exit("Mivora ended before it showed its window")
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is not None and app.get_process_id() == pid:
            return app
    return None


def descendants(node):
    for child in node:
        if child is None:
            continue
        yield child
        yield from descendants(child)


def states(node):
    s = node.getState()
    return {name for name, state in (("enabled", pyatspi.STATE_ENABLED), ("showing", pyatspi.STATE_SHOWING),
                                     ("editable", pyatspi.STATE_EDITABLE), ("focusable", pyatspi.STATE_FOCUSABLE))
            if s.contains(state)}


# A push button's role is named "push button" up to AT-SPI 2.46 (Debian 12) and "button" after
# (Debian 13); the number is the same.
BUTTON_ROLE_NAMES = ("push button", "button")


def is_button(node):
    return node.getRole() == pyatspi.ROLE_PUSH_BUTTON or node.getRoleName() in BUTTON_ROLE_NAMES


def press(button):
    action = button.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    action.doAction(next(i for i, name in enumerate(names) if name.lower() in ("press", "click")))


def field_text(field):
    text = field.queryText()
    return text.getText(0, text.characterCount)


def main():
    pid = int(sys.argv[1])
    with open(sys.argv[2], encoding="utf-8") as f:
        expected = [line.rstrip("\n").split("\t") for line in f if line.strip()]
    typed = dict(arg.split("=", 1) for arg in sys.argv[3:])

    app = poll("Mivora on the accessibility bus", lambda: find_app(pid))
    window = poll("the main window", lambda: next((w for w in app if w and w.name == "オブジェクト管理"), None))
    named = lambda name, roles: next(
        (n for n in descendants(window) if n.name == name and n.getRole() in roles), None)
    button = lambda name: next((n for n in descendants(window) if n.name == name and is_button(n)), None)

    text_roles = (pyatspi.ROLE_ENTRY, pyatspi.ROLE_TEXT)
    fields = {name: poll(f"a text field named {name!r}", lambda name=name: named(name, text_roles))
              for name in ("domain", "account", "password")}
    for name, field in fields.items():
        missing = {"enabled", "showing", "editable"} - states(field)
        if missing:
            sys.exit(f"field {name!r} lacks the states {sorted(missing)}")
        if field.getRole() == pyatspi.ROLE_PASSWORD_TEXT:
            sys.exit("the password field is announced as masked")
    for name, value in typed.items():
        if field_text(fields[name]) == "":
            fields[name].queryEditableText().setTextContents(value)
            poll(f"{value!r} in the field {name!r}", lambda name=name: field_text(fields[name]) == value)
    tree = poll("the tree", lambda: named("ディレクトリのツリー", (pyatspi.ROLE_TREE, pyatspi.ROLE_TREE_TABLE)))
    listing = poll("the list", lambda: named("オブジェクトの一覧",
                                             (pyatspi.ROLE_TREE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TABLE,
                                              pyatspi.ROLE_LIST)))
    table = listing.queryTable()
    # Qt answers getColumnHeader with nothing: the headers are the list's first children.
    headers = [c.name for c in listing if c is not None and c.getRole() == pyatspi.ROLE_TABLE_COLUMN_HEADER]
    if headers != ["No", "種類", "名称"]:
        sys.exit(f"list headers are {headers}")
    if table.nRows != 0:
        sys.exit(f"the list has {table.nRows} rows before connecting")

    # The hidden developer buttons and the hidden menu are nothing a screen reader can reach.
    shown_buttons = sorted(n.name for n in descendants(window)
                           if is_button(n) and "showing" in states(n))
    if shown_buttons != sorted(["接続", "切断", "終了"]):
        sys.exit(f"buttons shown to a screen reader: {shown_buttons}")
    menus = [n.name for n in descendants(window)
             if n.getRole() in (pyatspi.ROLE_MENU, pyatspi.ROLE_POPUP_MENU, pyatspi.ROLE_MENU_BAR)
             and "showing" in states(n)]
    if menus:
        sys.exit(f"menus shown to a screen reader: {menus}")

    press(poll("the button 接続", lambda: button("接続")))

    def rows():
        t = listing.queryTable()
        if t.nRows != len(expected):
            return None
        return [[t.getAccessibleAt(r, c).name for c in range(t.nColumns)] for r in range(t.nRows)]
    got = poll(f"{len(expected)} rows in the list", rows)
    if got != expected:
        sys.exit("rows read through AT-SPI differ from the listing:\n"
                 + "\n".join(f"  got {g}  expected {e}" for g, e in zip(got, expected) if g != e))
    poll("the login fields locked after connecting", lambda: "enabled" not in states(fields["domain"]))
    tree_rows = tree.queryTable().nRows if "Table" in pyatspi.utils.listInterfaces(tree) else tree.childCount
    if tree_rows < 1:
        sys.exit("the tree shows no node after connecting")
    press(button("終了"))
    print(f"read {len(got)} rows through AT-SPI; fields {sorted(fields)}; tree {tree.name!r}; list {listing.name!r}")


if __name__ == "__main__":
    main()
