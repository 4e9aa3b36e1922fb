#!/usr/bin/python3
# Drives the program through the accessibility bus as a screen reader does, for
# tst_accessibility: starts it (on the display and bus this process has), saves
# its trees, sets values and presses buttons through their accessible actions,
# and records the change events it sends.
#
#   accessibility_walk.py OUT PROGRAM ARGUMENT...
#
# Writes OUT/tree.txt (one node a line: indent, then role, name, description,
# value, text, states, actions and relations, tab-separated; "== <title>"
# heads each tree), OUT/events.txt (type, role, name, detail, tab-separated) and
# OUT/steps.txt (one line per step reached). Exits non-zero when a step fails.

import os
import signal
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

CEILING = 30  # seconds any one step may take

out_dir, program, arguments = sys.argv[1], sys.argv[2], sys.argv[3:]
steps = open(os.path.join(out_dir, "steps.txt"), "w", encoding="utf-8")
trees = open(os.path.join(out_dir, "tree.txt"), "w", encoding="utf-8")
events = open(os.path.join(out_dir, "events.txt"), "w", encoding="utf-8")


def step(text):
    steps.write(text + "\n")
    steps.flush()


def pump(seconds):
    """Lets the bus deliver events for a while."""
    end = time.monotonic() + seconds
    context = GLib.MainContext.default()
    while time.monotonic() < end:
        while context.pending():
            context.iteration(False)
        time.sleep(0.02)


def wait_for(what, test):
    end = time.monotonic() + CEILING
    while time.monotonic() < end:
        try:
            found = test()
        except Exception:  # an object that went away while being looked at
            found = None
        if found:
            return found
        pump(0.1)
    raise RuntimeError("timed out waiting for " + what)


def interface(accessible, query):
    try:
        return getattr(accessible, query)()
    except NotImplementedError:
        return None


def value_of(accessible):
    value = interface(accessible, "queryValue")
    if value is None:
        return ""
    return "%g [%g..%g]" % (value.currentValue, value.minimumValue, value.maximumValue)


def text_of(accessible):
    text = interface(accessible, "queryText")
    return text.getText(0, -1) if text is not None else ""


def actions_of(accessible):
    action = interface(accessible, "queryAction")
    if action is None:
        return []
    return [action.getName(i) for i in range(action.nActions)]


def relations_of(accessible):
    return ["%s:%s" % (pyatspi.relationToString(r.getRelationType()),
                       "+".join(r.getTarget(i).name for i in range(r.getNTargets())))
            for r in accessible.getRelationSet()]


def line_of(accessible, depth):
    states = sorted(pyatspi.stateToString(s) for s in accessible.getState().getStates())
    fields = [accessible.getRoleName(), accessible.name, accessible.description,
              value_of(accessible), text_of(accessible), ",".join(states),
              ",".join(actions_of(accessible)), ",".join(relations_of(accessible))]
    return "  " * depth + "\t".join(f.replace("\t", " ").replace("\n", " ") for f in fields)


def dump(title, root):
    trees.write("== " + title + "\n")

    def walk(accessible, depth):
        trees.write(line_of(accessible, depth) + "\n")
        for child in accessible:
            if child is not None:
                walk(child, depth + 1)

    walk(root, 0)
    trees.flush()


def find(root, role, name):
    return pyatspi.findDescendant(
        root, lambda a: a is not None and a.getRoleName() == role and a.name == name)


def has_state(accessible, state):
    return accessible.getState().contains(state)


def press(accessible):
    action = accessible.queryAction()
    for i in range(action.nActions):
        if action.getName(i) == "Press":
            action.doAction(i)
            return
    raise RuntimeError("no Press action on " + accessible.name)


def record(event):
    source = event.source
    try:
        role, name = source.getRoleName(), source.name
    except Exception:
        role, name = "?", "?"
    events.write("\t".join([event.type, role, name, str(event.any_data)]) + "\n")
    events.flush()


def window(app, test):
    for child in app:
        if child is not None and test(child):
            return child
    return None


def run(child_pid):
    desktop = pyatspi.Registry.getDesktop(0)
    app = wait_for("the program on the bus", lambda: next(
        (a for a in desktop if a is not None and a.get_process_id() == child_pid), None))
    main = wait_for("the main window", lambda: window(app, lambda w: w.getRoleName() == "frame" and w.name == "Pocketclips"))
    convert = wait_for("the convert button, enabled once the files are in the list",
                       lambda: (lambda b: b if b and has_state(b, pyatspi.STATE_ENABLED) else None)(
                           find(main, "push button", "[ 変換開始 ]")))
    step("ready")

    # Values set as a screen reader sets them.
    find(main, "spin button", "動画ﾌﾚｰﾑﾚｰﾄ").queryValue().currentValue = 30
    find(main, "slider", "音声ｻﾝﾌﾟﾙﾚｰﾄ").queryValue().currentValue = 44000
    wait_for("the values set", lambda: value_of(find(main, "slider", "音声ｻﾝﾌﾟﾙﾚｰﾄ"))
             .startswith("44100 "))
    dump("main window", main)

    pyatspi.Registry.registerEventListener(
        record, "object:property-change:accessible-name",
        "object:property-change:accessible-value", "object:value-changed", "object:text-changed")
    press(convert)
    step("pressed convert")
    progress = wait_for("the progress window", lambda: window(
        app, lambda w: find(w, "progress bar", "進行状況") is not None))
    # The first file's encoder runs until cancelled; once the timer has measured it.
    wait_for("the sizes of the first file", lambda: find(
        progress, "label", "clip1.avi -> clip1.3gp") and not find(progress, "label", "0KB -> 0KB"))
    # The names are said a moment after the file has started.
    wait_for("the first file said", lambda: pyatspi.findDescendant(
        progress, lambda a: a is not None and a.getRoleName() == "notification" and
        a.name.startswith("clip1.avi -> clip1.3gp")))
    dump("progress window during the batch", progress)
    press(find(progress, "push button", "ｷｬﾝｾﾙ"))
    step("pressed cancel")

    # The second file fails: the batch says so at its end.
    alert = wait_for("the message box", lambda: window(
        app, lambda w: w.getRoleName() == "alert"))
    dump("message box", alert)
    press(wait_for("its OK button", lambda: find(alert, "push button", "OK")))
    wait_for("the main window back", lambda: has_state(main, pyatspi.STATE_ENABLED) and
             window(app, lambda w: w.getRoleName() == "alert") is None and
             has_state(find(main, "push button", "[ 変換開始 ]"), pyatspi.STATE_ENABLED))
    pump(1)
    step("batch ended")
    pyatspi.Registry.deregisterEventListener(
        record, "object:property-change:accessible-name",
        "object:property-change:accessible-value", "object:value-changed", "object:text-changed")

    # Clearing the list disables the convert button; pressing it then does nothing.
    press(find(main, "push button", "Del"))
    convert = wait_for("the convert button disabled", lambda: (
        lambda b: b if b and not has_state(b, pyatspi.STATE_ENABLED) else None)(
            find(main, "push button", "[ 変換開始 ]")))
    dump("main window with an empty list", main)
    press(convert)
    pump(2)
    step("pressed disabled convert")

    # The drop panel, pressed, opens the file dialog; it is closed unused.
    press(find(main, "push button", "[ ここにファイルをドロップ(複数可) ]"))
    dialog = wait_for("the file dialog", lambda: window(app, lambda w: w.name == "ファイルを追加"))
    step("file dialog")
    press(wait_for("its cancel button", lambda: find(dialog, "push button", "Cancel")))
    wait_for("the file dialog closed",
             lambda: window(app, lambda w: w.name == "ファイルを追加") is None)

    press(find(main, "push button", "閉じる"))
    step("pressed close")


def main():
    child = subprocess.Popen([program] + arguments)
    try:
        run(child.pid)
        child.wait(CEILING)
        step("exit %d" % child.returncode)
    except Exception as error:
        step("failed: %s" % error)
        return 1
    finally:
        if child.poll() is None:
            child.send_signal(signal.SIGTERM)
            try:
                child.wait(5)
            except subprocess.TimeoutExpired:
                child.kill()
                child.wait()
    return 0


sys.exit(main())
