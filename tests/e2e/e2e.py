#!/usr/bin/env python3
"""Quiblet as a user drives it.

Each scenario starts the built Quiblet.exe under Wine in a fresh start
directory, with a fresh registry key, drives it only through X input (clicks
on its tray icon, on the title-bar buttons of its notes and on menu items,
keys) and checks only what a user or another program can see:
windows on the screen, pixels, the files of the data folder, the registry and
the exit code.

    e2e.py BUILD_DIR [SCENARIO...]     run the scenarios (all when none named)
    e2e.py --list                      name the scenarios

Runs inside `scripts/winerun --session`, which provides DISPLAY and
WINEPREFIX. A failing scenario keeps its screenshot, start directory and
registry export in BUILD_DIR/e2e-failures/<scenario>/.
"""
import contextlib
import datetime
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import threading
import time

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xscreen import (Failure, Shot, click, drag, press_keys, type_text, visible_windows,  # noqa: E402
                     wait_for, window_named, xdotool)

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
REG_KEY = r"HKLM\SOFTWARE\kestrix\Quiblet"
PROGRAM_CLASS = "quiblet.exe"
NOTE_TITLE = "Quiblet"
ALREADY_RUNNING = "kestrix Quiblet - Programm bereits gestartet!"
PALE_YELLOW = (254, 254, 152)
RED = (255, 0, 0)
BLACK = (0, 0, 0)

# The program's menus, item by item, None for a separator.
TRAY_MENU = ["Alle Notes anzeigen", None, "Immer im Vordergrund", "Notes verbergen", "Alarm", None,
             "Note - Liste anzeigen", "Einstellungen", None, "Informationen", "Hilfe", "Beenden"]
TEXT_MENU = ["Rückgänig", "Kopieren", "Ausschneiden", "Einfügen", None, "Fett", "Kursiv",
             "Unterstrichen", "Durchgestrichen", None, "Linksbündig", "Zentriert", "Rechtsbündig",
             None, "Schriftart"]
COMMAND_MENU = ["&Löschen", "&Importieren", "E&xportieren", "&Drucken", None, "&Einstellungen",
                "&Notes verbergen", None, "Note &löschen"]


def check(condition, message):
    if not condition:
        raise Failure(message)


# ---- "note.dat", read and written with its own layout ----------------------
RECORD = struct.Struct("<5i21s260s3xI8Hi")
FIELDS = ("left", "top", "width", "height", "visible", "fileName", "soundFile", "backColor",
          "alarmYear", "alarmMonth", "alarmDayOfWeek", "alarmDay", "alarmHour", "alarmMinute",
          "alarmOn", "alarmRepeatMinutes", "reminderCountdown")
assert RECORD.size == 328


def read_index(folder):
    with open(os.path.join(folder, "note.dat"), "rb") as f:
        data = f.read()
    check(len(data) % RECORD.size == 0, "note.dat holds %d bytes, not whole records" % len(data))
    notes = []
    for offset in range(0, len(data), RECORD.size):
        note = dict(zip(FIELDS, RECORD.unpack_from(data, offset)))
        for name in ("fileName", "soundFile"):
            note[name] = note[name].split(b"\0")[0].decode("cp1252")
        notes.append(note)
    return notes


def write_index(folder, notes):
    with open(os.path.join(folder, "note.dat"), "wb") as f:
        for note in notes:
            values = dict(visible=1, soundFile=r"..\bellsong.wav", backColor=0x0098FEFE,
                          alarmYear=0, alarmMonth=0, alarmDayOfWeek=0, alarmDay=0, alarmHour=0,
                          alarmMinute=0, alarmOn=0, alarmRepeatMinutes=0, reminderCountdown=0)
            values.update(note)
            values["fileName"] = values["fileName"].encode("cp1252")
            values["soundFile"] = values["soundFile"].encode("cp1252")
            f.write(RECORD.pack(*(values[name] for name in FIELDS)))


def colorref(rgb):
    r, g, b = rgb
    return r | g << 8 | b << 16


def rtf_runs(rtf):
    """The text of an RTF document as (character, bold) pairs: enough of the
    format to see which words the rich-edit control wrote bold."""
    runs = []
    stack = [(False, False)]  # (bold, skipped destination)
    tokens = re.finditer(r"\\([a-z]+)(-?\d+)? ?|\\'([0-9a-f]{2})|\\(.)|([{}])|([^\\{}\r\n]+)|[\r\n]", rtf)
    for t in tokens:
        bold, skip = stack[-1]
        word, number, hexa, symbol, brace, text = t.groups()
        if brace == "{":
            stack.append((bold, skip))
        elif brace == "}":
            if len(stack) > 1:
                stack.pop()
        elif word:
            if word in ("fonttbl", "colortbl", "stylesheet", "info", "generator"):
                stack[-1] = (bold, True)
            elif word == "b":
                stack[-1] = (number != "0", skip)
            elif word == "plain":
                stack[-1] = (False, skip)
            elif word in ("par", "line") and not skip:
                runs.append(("\n", bold))
            elif word == "tab" and not skip:
                runs.append(("\t", bold))
        elif symbol == "*":
            stack[-1] = (bold, True)
        elif not skip:
            piece = text or (bytes([int(hexa, 16)]).decode("cp1252") if hexa else symbol or "")
            runs.extend((c, bold) for c in piece)
    return runs


def rtf_text(rtf):
    return "".join(c for c, _ in rtf_runs(rtf))


def bold_of(rtf, word):
    """True or False when every letter of `word` has that weight, else None."""
    runs = rtf_runs(rtf)
    text = "".join(c for c, _ in runs)
    at = text.find(word)
    check(at >= 0, "%r not in the note's text %r" % (word, text))
    weights = {b for _, b in runs[at:at + len(word)]}
    return weights.pop() if len(weights) == 1 else None


# ---- The program and its screen ---------------------------------------------
class Quiblet:
    """One start directory laid out as scripts/layout.sh lays it out, and the
    program copies started in it."""

    def __init__(self, build, start_dir):
        self.build = build
        self.start_dir = start_dir
        self.runs = []
        if os.path.exists(start_dir):
            shutil.rmtree(start_dir)
        os.makedirs(start_dir)
        shutil.copy(os.path.join(build, "Quiblet.exe"), start_dir)
        shutil.copy(os.path.join(ROOT, "resources", "hilfe.htm"), start_dir)
        for sound in ("Paper1.wav", "Paper2.wav", "bellsong.wav"):
            shutil.copy(os.path.join(build, "sounds", sound), start_dir)

    # The data folder is the start directory plus the Windows user name,
    # which Wine takes from the Linux user.
    @property
    def data_folder(self):
        folders = [d for d in os.listdir(self.start_dir) if os.path.isdir(os.path.join(self.start_dir, d))]
        check(len(folders) == 1, "expected one data folder in the start directory, found %r" % folders)
        return os.path.join(self.start_dir, folders[0])

    def prepare_data_folder(self):
        """For scenarios that bring their own "note.dat": the folder the
        program will use, made before it starts."""
        name = os.environ.get("USER") or subprocess.run(["id", "-un"], capture_output=True,
                                                        text=True).stdout.strip()
        folder = os.path.join(self.start_dir, name or "default")
        os.makedirs(folder, exist_ok=True)
        return folder

    def launch(self):
        log = open(os.path.join(self.start_dir, "wine-%d.log" % len(self.runs)), "wb")
        proc = subprocess.Popen(["wine", "Quiblet.exe"], cwd=self.start_dir, stdout=log,
                                stderr=subprocess.STDOUT, start_new_session=True)
        self.runs.append(proc)
        return proc

    def start(self):
        """Starts the program and waits for its tray icon."""
        check(tray_window() is None, "a tray icon is already shown before the start")
        # Wine's desktop process (which holds the tray) outlives a program by
        # about a second; a program started while it shuts down fails.
        wait_for("Wine's desktop process of the last run to end", lambda: not wine_desktops(), 20)
        proc = self.launch()
        self.proc = proc
        wait_for("the tray icon", lambda: proc.poll() is not None or tray_icon(), timeout=60)
        check(proc.poll() is None, "Quiblet.exe ended at start with code %s" % proc.returncode)
        return proc

    def wait_exit(self, proc=None, timeout=15):
        proc = proc or self.proc
        wait_for("Quiblet.exe (run %d) to end" % (self.runs.index(proc) + 1), lambda: proc.poll() is not None,
                 timeout)
        return proc.returncode

    def quit(self):
        """"Beenden" from the tray menu; returns the exit code."""
        self.tray_command("Beenden")
        code = self.wait_exit()
        wait_for("the tray icon to go", lambda: tray_window() is None)
        return code

    def tray_command(self, item):
        choose(lambda: tray_click(3), TRAY_MENU, item)

    def kill_all(self):
        for proc in self.runs:
            if proc.poll() is None:
                os.killpg(proc.pid, signal.SIGKILL)
                proc.wait()
        try:
            wait_for("the tray icon to go after the kill", lambda: tray_window() is None, timeout=10)
        except Failure:
            pass


def wine_desktops():
    """Process ids of Wine's desktop (explorer.exe) for this prefix."""
    mine = ("WINEPREFIX=" + os.environ["WINEPREFIX"]).encode()
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                command = f.read()
            with open("/proc/%s/environ" % pid, "rb") as f:
                environment = f.read().split(b"\0")
        except OSError:
            continue
        if b"explorer.exe" in command and mine in environment:
            found.append(pid)
    return found


def tray_window():
    found = [w for w in visible_windows("explorer.exe") if w.name == "Wine System Tray"]
    return found[0] if found else None


def tray_icon():
    """Centre of the first icon in Wine's tray window, found from its pixels
    (the window's client area is white; its caption is not)."""
    tray = tray_window()
    if not tray:
        return None
    shot = Shot()
    right = tray.x + tray.w - 5
    top = next((y for y in range(tray.y + 2, tray.y + tray.h) if shot.rgb(right, y) == (255, 255, 255)), None)
    if top is None:
        return None
    box = [(x, y) for y in range(top, tray.y + tray.h - 3) for x in range(tray.x + 3, tray.x + tray.w - 3)
           if shot.rgb(x, y) != (255, 255, 255)]
    if not box:
        return None
    xs = [p[0] for p in box]
    ys = [p[1] for p in box]
    return ((min(xs) + max(xs)) // 2, (min(ys) + max(ys)) // 2)


_last_tray_click = [0.0]


def tray_click(button=1):
    """Two clicks on the tray icon within the double-click time reach the
    program as a double click, which it ignores; a user's clicks are
    further apart."""
    where = wait_for("the tray icon", tray_icon)
    pause = _last_tray_click[0] + 0.6 - time.monotonic()
    if pause > 0:
        time.sleep(pause)
    click(*where, button)
    _last_tray_click[0] = time.monotonic()


def program_windows():
    windows = visible_windows(PROGRAM_CLASS)
    errors = [w for w in windows if w.name == "Error"]
    check(not errors, "the program shows an error box")
    return windows


def note_windows():
    return [w for w in program_windows() if w.name == NOTE_TITLE]


def popups():
    """Menus: program windows without a title."""
    return {w.xid: w for w in program_windows() if w.name == ""}


def open_popup(open_it):
    before = set(popups())
    open_it()
    return wait_for("the menu", lambda: next((w for x, w in popups().items() if x not in before), None))


# Wine draws a menu item 16 pixels high and a separator 9, with its grey
# line 4 down; the items begin 3 pixels below the menu's top edge.
MENU_ITEM, MENU_SEPARATOR, MENU_SEPARATOR_LINE, MENU_TOP = 16, 9, 4, 3
SEPARATOR_GREY = (166, 166, 166)


def choose(open_it, items, item):
    """Opens a popup menu and clicks one of its items. Keys would go to the
    foreground window, which after a click on the tray may still be Wine's
    tray; the mouse reaches the menu itself. The separators are looked for
    where the layout puts them before anything is clicked."""
    menu = open_popup(open_it)
    y, centre, lines = menu.y + MENU_TOP, None, []
    for entry in items:
        if entry is None:
            lines.append(y + MENU_SEPARATOR_LINE)
            y += MENU_SEPARATOR
        else:
            if entry == item:
                centre = y + MENU_ITEM // 2
            y += MENU_ITEM
    try:
        wait_for("the menu's separators", lambda: (lambda shot: all(
            shot.rgb(menu.x + menu.w - 12, line) == SEPARATOR_GREY for line in lines))(Shot()), timeout=3)
    except Failure:
        raise Failure("the menu %r has no separators at y %r: its layout is not the one expected" % (menu, lines))
    xdotool("mousemove", menu.x + 30, centre)
    time.sleep(0.1)
    xdotool("click", 1)
    wait_for("the menu to close", lambda: menu.xid not in popups())


def box_buttons(box):
    """Centres of a message box's push buttons, left to right: Wine draws
    them as white rectangles on the box's grey, so the lowest row with white
    runs of button width crosses them all."""
    def runs(shot, y):
        found, start = [], None
        for x in range(box.x + 3, box.x + box.w - 2):
            white = shot.rgb(x, y) == (255, 255, 255)
            if white and start is None:
                start = x
            elif not white and start is not None:
                if x - start >= 30:
                    found.append((start + x) // 2)
                start = None
        return found

    def probe():
        shot = Shot()
        for y in range(box.y + box.h - 4, box.y + box.h // 2, -1):
            centres = runs(shot, y)
            if centres:
                return [(x, y - 8) for x in centres]
        return None
    return wait_for("the buttons of %r" % box.name, probe, timeout=5)


def answer_box(box, button):
    """Clicks a box's button by its place (0 = the first from the left):
    a click reaches the box whatever has the keyboard."""
    click(*box_buttons(box)[button])
    wait_for("%r to close" % box.name, lambda: box.xid not in {w.xid for w in program_windows()})


def wait_notes(count, timeout=10):
    def probe():
        notes = note_windows()
        return notes if len(notes) == count else None
    return wait_for("%d note window(s)" % count, probe, timeout)


def no_notes():
    wait_for("no note window", lambda: not note_windows())


def note_at(geometry, timeout=10):
    return wait_for("a note window at %r" % (geometry,),
                    lambda: next((w for w in note_windows() if w.geometry == tuple(geometry)), None), timeout)


def pixel_becomes(what, x, y, colour, timeout=10):
    seen = []
    try:
        wait_for(what, lambda: seen.append(Shot().rgb(x, y)) or seen[-1] == colour, timeout)
    except Failure:
        raise Failure("%s is %r, not %r" % (what, seen[-1], colour))


def text_point(note):
    return (note.x + note.w // 2, note.y + note.h // 2)


def focus_text(note):
    x, y = text_point(note)
    click(x, y)
    time.sleep(0.2)


def select_text(note, colour, *keys):
    """Selects with the keyboard after a click into the text, and waits for
    the selection to show: the control draws it by inverting the note's
    colour. After a menu Wine does not always give the focus back to the
    text, so a click that leaves no selection visible is tried again."""
    inverse = tuple(255 - c for c in colour)
    box = (note.x, note.y + 20, note.x + note.w, note.y + note.h)
    for _ in range(3):
        focus_text(note)
        press_keys(note, *keys)
        try:
            wait_for("a selection", lambda: Shot().count(box, inverse) > 20, timeout=2)
            return
        except Failure:
            pass
    raise Failure("no selection shows after clicking into the note and pressing %r" % (keys,))


def drag_note(note, left, top):
    """Drags a note by its title bar so that its corner lands at left, top.
    A drag that does not take (Wine now and then misses the press on a note
    it has only just activated) is tried again, as a user would."""
    for _ in range(3):
        focus_text(note)
        drag(note.x + note.w // 2, note.y + 10, left + note.w // 2, top + 10)
        try:
            return wait_for("the note to move", lambda: next(
                (n for n in note_windows() if n.xid == note.xid and (n.x, n.y) == (left, top)), None), 3)
        except Failure:
            pass
    raise Failure("the note does not move when dragged by its title bar: %r" % note_windows())


def heights_during(note, action, settle=0.5):
    """The heights the note's window goes through while `action` runs,
    sampled as fast as xdotool answers."""
    seen, done = [], threading.Event()

    def sample():
        while not done.is_set():
            out = xdotool("getwindowgeometry", "--shell", note.xid, check=False)
            seen.extend(int(line[7:]) for line in out.splitlines() if line.startswith("HEIGHT="))
    sampler = threading.Thread(target=sample)
    sampler.start()
    try:
        time.sleep(0.1)
        action()
        time.sleep(settle)
    finally:
        done.set()
        sampler.join()
    return seen


def text_menu(note, item):
    choose(lambda: click(*text_point(note), 3), TEXT_MENU, item)


def read(path):
    with open(path, encoding="cp1252") as f:
        return f.read()


def wine_reg(*args, cwd=None):
    # File names are given relative to `cwd`: reg takes a leading "/" for a switch.
    return subprocess.run(["wine", "reg"] + list(args), capture_output=True, cwd=cwd)


@contextlib.contextmanager
def settings_put_back(folder):
    """The scenarios use the prefix's real settings key; whatever was there
    before (a developer's own settings) comes back afterwards."""
    os.makedirs(folder, exist_ok=True)
    had = wine_reg("export", REG_KEY, "saved.reg", "/y", cwd=folder).returncode == 0
    try:
        yield
    finally:
        wine_reg("delete", REG_KEY, "/f")
        if had:
            wine_reg("import", "saved.reg", cwd=folder)


def fresh_registry():
    wine_reg("delete", REG_KEY, "/f")
    check(wine_reg("query", REG_KEY).returncode != 0, "the settings key survived its deletion")


def title_button(note, which):
    """Middle of a title-bar button, from the note's top-left corner."""
    x = {"menu": 10, "bell": 30, "hide": note.w - 30, "delete": note.w - 10}[which]
    return (note.x + x, note.y + 10)


def dialog_point(dialog, size, point):
    """Screen position of a point given in the dialog units of its template
    (`size` the template's width and height). The scale comes from the
    window's width less its 3-pixel dialog frame; the distance is counted up
    from the bottom edge, so the caption's height does not matter."""
    scale = (dialog.w - 6) / size[0]
    return (dialog.x + 3 + round(point[0] * scale),
            dialog.y + dialog.h - 3 - round((size[1] - point[1]) * scale))


# ---- Scenarios ------------------------------------------------------------------
def first_start(q):
    """First start: the tray icon is there, no note window, the settings key
    exists; "Beenden" writes an empty "note.dat" and ends with code 0."""
    fresh_registry()
    q.start()
    check(tray_icon() is not None, "no tray icon")
    time.sleep(0.5)
    check(note_windows() == [], "a note window at the first start: %r" % note_windows())
    check(wine_reg("query", REG_KEY).returncode == 0, "the settings key was not created")
    folder = q.data_folder
    check(q.quit() == 0, "exit code %s" % q.proc.returncode)
    check(os.path.getsize(os.path.join(folder, "note.dat")) == 0, "note.dat of no notes is not empty")


def new_note(q):
    """A left click on the tray icon makes one pale yellow note of the
    default size at the lower right; typed text with a word in another
    weight reaches its content file at "Beenden", and "note.dat" holds its
    one record with the note's place and size."""
    fresh_registry()
    q.start()
    tray_click()
    note = wait_notes(1)[0]
    shot = Shot()
    check((note.w, note.h) == (180, 200), "note size %dx%d, not 180x200" % (note.w, note.h))
    check(note.x + note.w == shot.width - 30, "note's right edge %d, not 30 from the screen's edge"
          % (note.x + note.w))
    check(shot.height - 80 < note.y + note.h <= shot.height,
          "note's bottom edge %d not at the foot of a %d-pixel screen" % (note.y + note.h, shot.height))
    pixel_becomes("the note's text area", *text_point(note), PALE_YELLOW)
    pixel_becomes("the note's outline", note.x, note.y + note.h // 2, BLACK)

    focus_text(note)
    type_text(note, "Hallo Welt")
    # "Fett" on the whole text makes it uniform, then on the last word alone
    # flips that word: whatever weight the control starts with, the two
    # words end up different.
    select_text(note, PALE_YELLOW, "ctrl+End", "shift+ctrl+Home")
    text_menu(note, "Fett")
    select_text(note, PALE_YELLOW, "ctrl+End", "shift+ctrl+Left")
    text_menu(note, "Fett")

    folder = q.data_folder
    check(q.quit() == 0, "exit code %s" % q.proc.returncode)
    notes = read_index(folder)
    check(len(notes) == 1, "note.dat holds %d records, not 1" % len(notes))
    rec = notes[0]
    check((rec["left"], rec["top"], rec["width"], rec["height"]) == note.geometry,
          "record place %r, window was %r" % ((rec["left"], rec["top"], rec["width"], rec["height"]),
                                               note.geometry))
    check(rec["visible"] == 1 and rec["alarmOn"] == 0, "record %r" % rec)
    check(rec["backColor"] == colorref(PALE_YELLOW), "record colour %#x" % rec["backColor"])
    rtf = read(os.path.join(folder, rec["fileName"]))
    check(rtf.startswith("{\\rtf"), "content file is not RTF: %r" % rtf[:40])
    check("Hallo Welt" in rtf_text(rtf), "text %r" % rtf_text(rtf))
    hallo, welt = bold_of(rtf, "Hallo"), bold_of(rtf, "Welt")
    check(hallo is not None and welt is not None and hallo != welt,
          "after \"Fett\" the words are not of two weights (Hallo %r, Welt %r): %r" % (hallo, welt, rtf))


def restart(q):
    """A note moved by its title bar is saved at "Beenden"; the next start
    shows it at the same place and size with its text, and a second round
    keeps the place exactly."""
    fresh_registry()
    q.start()
    tray_click()
    note = wait_notes(1)[0]
    focus_text(note)
    type_text(note, "Erste Zeile")
    moved = drag_note(note, 310, 290)
    folder = q.data_folder
    check(q.quit() == 0, "exit code %s" % q.proc.returncode)
    rec = read_index(folder)[0]
    place = (rec["left"], rec["top"], rec["width"], rec["height"])
    check(place == moved.geometry, "record place %r, moved window %r" % (place, moved.geometry))

    q.start()
    again = note_at(place)
    pixel_becomes("the restarted note's text area", again.x + again.w // 2, again.y + again.h - 15,
                  PALE_YELLOW)
    focus_text(again)
    press_keys(again, "ctrl+End")
    type_text(again, " und mehr")
    check(q.quit() == 0, "exit code %s" % q.proc.returncode)
    rec = read_index(folder)[0]
    check((rec["left"], rec["top"], rec["width"], rec["height"]) == place,
          "the place moved from %r to %r over a restart" % (place, (rec["left"], rec["top"])))
    text = rtf_text(read(os.path.join(folder, rec["fileName"])))
    check("Erste Zeile und mehr" in text, "the text after the restart is %r" % text)

    q.start()
    note_at(place)
    check(q.quit() == 0, "exit code %s" % q.proc.returncode)


def second_start(q):
    """A second start while the first runs shows the already-running box and
    ends with code 0; the first copy runs on."""
    fresh_registry()
    first = q.start()
    second = q.launch()
    box = window_named(ALREADY_RUNNING, timeout=20)
    check(second.poll() is None, "the second copy ended before its box was closed")
    check(len(box_buttons(box)) == 1, "the box has not just one button")
    answer_box(box, 0)
    check(q.wait_exit(second) == 0, "the second copy ended with code %s" % second.returncode)
    check(first.poll() is None, "the first copy ended too")
    check(tray_icon() is not None, "the first copy's tray icon is gone")
    check(q.quit() == 0, "exit code %s" % q.proc.returncode)


def hide_and_show(q):
    """The hide button rolls one note away; "Notes verbergen" twice brings
    back exactly the notes that were shown; "Alle Notes anzeigen" brings back
    the hidden one too."""
    fresh_registry()
    folder = q.prepare_data_folder()
    places = [(200, 150, 180, 200), (500, 150, 180, 200)]
    write_index(folder, [dict(left=l, top=t, width=w, height=h, fileName="E2E0000000%d.dat" % i)
                         for i, (l, t, w, h) in enumerate(places)])
    q.start()
    first, second = note_at(places[0]), note_at(places[1])
    pixel_becomes("the second note", *text_point(second), PALE_YELLOW)

    heights = heights_during(second, lambda: click(*title_button(second, "hide")))
    check(any(0 < h < second.h for h in heights), "the note vanished without rolling up (heights seen: %r)" % sorted(set(heights)))
    shown = wait_notes(1)
    check(shown[0].geometry == first.geometry, "the hide button took the wrong note: %r" % shown)

    q.tray_command("Notes verbergen")
    no_notes()
    q.tray_command("Notes verbergen")
    shown = wait_notes(1)
    check(shown[0].geometry == first.geometry, "\"Notes verbergen\" twice shows %r, not the first note" % shown)
    time.sleep(0.5)
    check(len(note_windows()) == 1, "the note hidden with its button came back")

    q.tray_command("Alle Notes anzeigen")
    shown = sorted(n.geometry for n in wait_notes(2))
    check(shown == sorted(places), "\"Alle Notes anzeigen\" shows %r" % shown)
    check(q.quit() == 0, "exit code %s" % q.proc.returncode)
    check([r["visible"] for r in read_index(folder)] == [1, 1], "records %r" % read_index(folder))


def delete_confirm(q):
    """With "Rückfragen vor Löschen" on, the delete button asks "Note
    löschen?": No keeps the note and its file, Yes removes both."""
    fresh_registry()
    q.start()
    tray_click()
    note = wait_notes(1)[0]
    focus_text(note)
    type_text(note, "Weg damit")
    # Hiding all notes saves them, so the note has its content file.
    q.tray_command("Notes verbergen")
    no_notes()
    q.tray_command("Notes verbergen")
    note = wait_notes(1)[0]
    folder = q.data_folder
    content = os.path.join(folder, read_index(folder)[0]["fileName"])
    check(os.path.exists(content), "no content file after hiding and showing the notes")

    click(*title_button(note, "delete"))
    box = window_named("Löschen")
    check(len(box_buttons(box)) == 2, "the question has not two buttons (Yes, No)")
    answer_box(box, 1)
    time.sleep(0.3)
    check(len(note_windows()) == 1, "the note went although the answer was No")
    check(os.path.exists(content), "the content file went although the answer was No")

    click(*title_button(note, "delete"))
    answer_box(window_named("Löschen"), 0)
    no_notes()
    check(not os.path.exists(content), "the content file is still there after Yes")
    check(q.quit() == 0, "exit code %s" % q.proc.returncode)
    check(read_index(folder) == [], "note.dat still holds %r" % read_index(folder))


def alarm_at_startup(q):
    """An armed alarm that fell due while the program was not running rings
    at start-up: the note, although hidden, appears outlined in red; an alarm
    in the future stays quiet. The bell acknowledges it."""
    fresh_registry()
    wine_reg("add", REG_KEY, "/v", "Sound", "/t", "REG_DWORD", "/d", "0", "/f")
    folder = q.prepare_data_folder()
    blue = (200, 230, 255)
    due = dict(left=220, top=160, width=200, height=160, visible=0, fileName="E2E00000001.dat",
               backColor=colorref(blue), alarmYear=2001, alarmMonth=2, alarmDay=3, alarmHour=10,
               alarmMinute=15, alarmOn=1)
    future = datetime.date.today().year + 5
    waiting = dict(left=600, top=160, width=200, height=160, visible=0, fileName="E2E00000002.dat",
                   alarmYear=future, alarmMonth=1, alarmDay=1, alarmHour=8, alarmMinute=0, alarmOn=1)
    write_index(folder, [due, waiting])
    for rec, text in ((due, "Zahnarzt anrufen"), (waiting, "Noch nicht")):
        with open(os.path.join(folder, rec["fileName"]), "w") as f:
            f.write("{\\rtf1\\ansi %s\\par}" % text)

    q.start()
    note = note_at((due["left"], due["top"], due["width"], due["height"]))
    mid = note.y + note.h // 2
    pixel_becomes("the ringing note's left edge", note.x, mid, RED)
    pixel_becomes("the ringing note's right edge", note.x + note.w - 1, mid, RED)
    check(Shot().rgb(note.x + note.w // 2, note.y + note.h - 15) == blue, "the note lost its colour")
    time.sleep(0.5)
    check(len(note_windows()) == 1, "the future alarm rang too: %r" % note_windows())

    click(*title_button(note, "bell"))
    pixel_becomes("the acknowledged note's outline", note.x, mid, BLACK)
    check(q.quit() == 0, "exit code %s" % q.proc.returncode)
    recs = read_index(folder)
    check([r["alarmOn"] for r in recs] == [0, 1], "alarm switches after the bell: %r"
          % [r["alarmOn"] for r in recs])


def note_list(q):
    """The note list opens from the tray menu with one row per note, in the
    order of "note.dat". Seen from outside: choosing a row shows that note's
    text on its own colour in the preview, so walking the rows with the arrow
    keys shows the notes' colours in order, and there is no row after the
    last note."""
    fresh_registry()
    folder = q.prepare_data_folder()
    colours = [(255, 200, 200), (200, 255, 200), (200, 200, 255)]
    recs = [dict(left=100 + 50 * i, top=100, width=180, height=200, visible=0,
                 fileName="E2E0000000%d.dat" % i, backColor=colorref(c)) for i, c in enumerate(colours)]
    write_index(folder, recs)
    for i, rec in enumerate(recs):
        with open(os.path.join(folder, rec["fileName"]), "w") as f:
            f.write("{\\rtf1\\ansi Note %d\\par}" % (i + 1))

    q.start()
    check(note_windows() == [], "hidden notes got windows")
    q.tray_command("Note - Liste anzeigen")
    dialog = window_named("Note - Liste")
    # Fractions of the dialog: the list view fills the upper left, the
    # preview the lower left.
    preview = (dialog.x + dialog.w * 8 // 100, dialog.y + dialog.h * 62 // 100,
               dialog.x + dialog.w * 68 // 100, dialog.y + dialog.h * 92 // 100)
    empty_rows = (dialog.x + dialog.w // 5, dialog.y + dialog.h * 2 // 5)

    def preview_shows(colour):
        wait_for("the preview to show %r" % (colour,), lambda: Shot().dominant(preview) == colour, 5)

    click(*empty_rows)
    for key, colour in (("Home", colours[0]), ("Down", colours[1]), ("Down", colours[2])):
        press_keys(dialog, key)
        preview_shows(colour)
    press_keys(dialog, "Down")
    time.sleep(0.5)
    check(Shot().dominant(preview) == colours[2], "there is a row after the last note")
    press_keys(dialog, "Home")
    preview_shows(colours[0])
    check(q.quit() == 0, "exit code %s" % q.proc.returncode)


def default_colour(q):
    """A colour swatch clicked in "Einstellungen allgemein" becomes the colour
    of new notes; closing the dialog writes all ten settings to the
    registry."""
    fresh_registry()
    q.start()
    q.tray_command("Einstellungen")
    dialog = window_named("Einstellungen allgemein")
    # Swatch 1027, pale green, in the dialog's 297 x 241 template.
    swatch = dialog_point(dialog, (297, 241), (35 + 7, 28 + 7))
    pixel_becomes("the second swatch", *swatch, (203, 254, 203))
    click(*swatch)
    pixel_becomes("the colour preview", *dialog_point(dialog, (297, 241), (175 + 17, 28 + 7)),
                  (203, 254, 203))
    click(*dialog_point(dialog, (297, 241), (240 + 25, 220 + 7)))  # "Schließen"
    wait_for("the settings dialog to close",
             lambda: not any(w.name == "Einstellungen allgemein" for w in program_windows()))
    values = wine_reg("query", REG_KEY).stdout.decode("utf-8", errors="replace")
    stored = dict(re.findall(r"^\s+(\w+)\s+REG_\w+\s+(.*?)\s*$", values, re.M))
    check(stored.get("DefaultBackColor") == "0xcbfecb", "DefaultBackColor %r" % stored.get("DefaultBackColor"))
    names = {"DefaultBackColor", "NotesSizeX", "NotesSizeY", "StartupNotes", "StartupAlarms", "Splash",
             "Sound", "SafeMode", "AlwaysOnTop", "DefaultAlarm"}
    check(set(stored) == names, "registry values %r" % sorted(stored))

    tray_click()
    note = wait_notes(1)[0]
    pixel_becomes("the new note", *text_point(note), (203, 254, 203))
    check(q.quit() == 0, "exit code %s" % q.proc.returncode)


SCENARIOS = [first_start, new_note, restart, second_start, hide_and_show, delete_confirm,
             alarm_at_startup, note_list, default_colour]


def failure_folder(build, name):
    return os.path.join(build, "e2e-failures", name)


def keep_failure(build, name, q, error):
    where = failure_folder(build, name)
    os.makedirs(where)
    try:
        Shot().save_png(os.path.join(where, "screen.png"))
    except Exception as e:  # the screen itself may be what failed
        print("  (no screenshot: %s)" % e)
    shutil.copytree(q.start_dir, os.path.join(where, "start"), ignore=shutil.ignore_patterns("*.exe", "*.wav"))
    wine_reg("export", REG_KEY, "registry.reg", "/y", cwd=where)
    with open(os.path.join(where, "error.txt"), "w") as f:
        f.write("%s\n" % error)
    return where


def run_scenario(build, scenario):
    name = scenario.__name__
    q = Quiblet(build, os.path.join(build, "e2e-run", name))
    shutil.rmtree(failure_folder(build, name), ignore_errors=True)  # traces of an older run mislead
    began = time.monotonic()
    try:
        scenario(q)
    except Exception as error:  # any fault of a scenario keeps its traces
        where = keep_failure(build, name, q, error)
        print("FAIL %s (%.1f s): %s\n     screenshot and files kept in %s" % (name, time.monotonic() - began,
                                                                             error, where))
        return False
    finally:
        q.kill_all()
    shutil.rmtree(q.start_dir, ignore_errors=True)
    print("ok   %s (%.1f s)" % (name, time.monotonic() - began))
    return True


def main(argv):
    if argv[1:] == ["--list"]:
        print("\n".join(s.__name__ for s in SCENARIOS))
        return 0
    if len(argv) < 2:
        print(__doc__)
        return 2
    build = os.path.abspath(argv[1])
    chosen = argv[2:]
    unknown = set(chosen) - {s.__name__ for s in SCENARIOS}
    if unknown:
        print("unknown scenario(s): %s" % ", ".join(sorted(unknown)))
        return 2
    for var in ("DISPLAY", "WINEPREFIX"):
        if not os.environ.get(var):
            print("%s is not set: run this under scripts/winerun --session" % var)
            return 2
    with settings_put_back(os.path.join(build, "e2e-run")):
        results = [run_scenario(build, s) for s in SCENARIOS if not chosen or s.__name__ in chosen]
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
