#!/usr/bin/env python3
"""Quiblet driven through X input alone and judged by windows, pixels, files,
registry and exit code; places come from what is drawn, never from sizes
measured once. Usage, inside `scripts/winerun --session`:
e2e.py BUILD_DIR [SCENARIO...] | e2e.py --list"""
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
PALE_YELLOW, PALE_GREEN = (254, 254, 152), (203, 254, 203)
RED, BLACK, WHITE = (255, 0, 0), (0, 0, 0), (255, 255, 255)

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


def read_index(folder):
    with open(os.path.join(folder, "note.dat"), "rb") as f:
        data = f.read()
    check(len(data) % RECORD.size == 0, "note.dat holds %d bytes, not whole records" % len(data))
    return [{name: value.split(b"\0")[0].decode("cp1252") if isinstance(value, bytes) else value
             for name, value in zip(FIELDS, RECORD.unpack_from(data, at))} for at in range(0, len(data), RECORD.size)]


def write_index(folder, notes):
    with open(os.path.join(folder, "note.dat"), "wb") as f:
        for note in notes:
            values = {**dict.fromkeys(FIELDS, 0), "visible": 1, "soundFile": r"..\bellsong.wav",
                      "backColor": colorref(PALE_YELLOW), **note}
            f.write(RECORD.pack(*(v.encode("cp1252") if isinstance(v, str) else v for v in map(values.get, FIELDS))))


def place_of(rec):
    return (rec["left"], rec["top"], rec["width"], rec["height"])


def colorref(rgb):
    return rgb[0] | rgb[1] << 8 | rgb[2] << 16


def rtf_text(rtf):
    rtf = re.sub(r"\{\\(\*|fonttbl|colortbl|stylesheet|info)[^{}]*(\{[^{}]*\}[^{}]*)*\}", "", rtf)
    rtf = re.sub(r"\\par\b ?", "\n", rtf.replace("\r", "").replace("\n", ""))
    rtf = re.sub(r"\\'([0-9a-f]{2})", lambda m: bytes([int(m.group(1), 16)]).decode("cp1252"), rtf)
    return re.sub(r"\\[a-z]+-?\d* ?|[{}]", "", rtf)


def read(path):
    with open(path, encoding="cp1252") as f:
        return f.read()


# ---- The program and its screen ---------------------------------------------
class Quiblet:

    def __init__(self, build, start_dir):
        self.build, self.start_dir, self.runs = build, start_dir, []
        shutil.rmtree(start_dir, ignore_errors=True)
        subprocess.run([os.path.join(ROOT, "scripts", "layout.sh"), build, start_dir], check=True)

    @property
    def data_folder(self):  # Wine's Windows user is the Linux one
        name = os.environ.get("USER") or subprocess.run(["id", "-un"], capture_output=True, text=True).stdout
        return os.path.join(self.start_dir, name.strip() or "default")

    def launch(self):
        log = open(os.path.join(self.start_dir, "wine-%d.log" % len(self.runs)), "wb")
        self.runs.append(subprocess.Popen(["wine", "Quiblet.exe"], cwd=self.start_dir, stdout=log,
                                          stderr=subprocess.STDOUT, start_new_session=True))
        return self.runs[-1]

    def start(self, answer_error=False):
        # Wine's desktop process (which holds the tray) outlives a program by
        # about a second; a program started while it shuts down fails.
        wait_for("Wine's desktop process of the last run to end", lambda: not wine_desktops(), 20)
        self.proc = proc = self.launch()
        answer_error and answer_box(window_named("Error", timeout=60), 0)
        wait_for("the tray icon", lambda: proc.poll() is not None or tray_icon(), timeout=60)
        check(proc.poll() is None, "Quiblet.exe ended at start with code %s" % proc.returncode)
        return proc

    def hold(self, name):
        """A file of the data folder held without sharing by another program until the run ends."""
        held = subprocess.Popen(["wine", os.path.join(self.build, "tests", "hold_file.exe"), name, "600"],
                                cwd=self.data_folder, stdout=subprocess.PIPE, start_new_session=True)
        self.runs.append(held)
        check(held.stdout.readline().strip() == b"held", "hold_file.exe could not hold %s" % name)
        return held

    def quit(self, proc=None, item="Beenden"):
        proc = proc or self.proc
        item and self.tray_command(item)
        wait_for("Quiblet.exe to end", lambda: proc.poll() is not None, 15)
        check(proc.returncode == 0, "exit code %s" % proc.returncode)

    def tray_command(self, item):
        choose(lambda: tray_click(3), TRAY_MENU, item)

    def kill_all(self):
        for proc in (p for p in self.runs if p.poll() is None):
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()


def wine_desktops():
    mine, found = ("WINEPREFIX=" + os.environ["WINEPREFIX"]).encode(), []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        with contextlib.suppress(OSError), open("/proc/%s/cmdline" % pid, "rb") as f, \
                open("/proc/%s/environ" % pid, "rb") as e:
            found += [pid] if b"explorer.exe" in f.read() and mine in e.read().split(b"\0") else []
    return found


def tray_window():
    return next((w for w in visible_windows("explorer.exe") if w.name == "Wine System Tray"), None)


def tray_icon():
    """Centre of the icon in Wine's tray window, whose client area is white."""
    tray = tray_window()
    if not tray:
        return None
    shot, right = Shot(), tray.x + tray.w - 5
    top = next((y for y in range(tray.y + 2, tray.y + tray.h) if shot.rgb(right, y) == WHITE), None)
    return top and shot.centre((tray.x + 3, top, tray.x + tray.w - 3, tray.y + tray.h - 3),
                               lambda c: c != WHITE)


_last_tray_click = [0.0]


def tray_click(button=1):
    # Two clicks within the double-click time would be a double click, which the program ignores.
    where = wait_for("the tray icon", tray_icon)
    time.sleep(max(0.0, _last_tray_click[0] + 0.6 - time.monotonic()))
    click(*where, button)
    _last_tray_click[0] = time.monotonic()


def program_windows(errors_allowed=False):
    windows = visible_windows("quiblet.exe")
    check(errors_allowed or not any(w.name == "Error" for w in windows), "the program shows an error box")
    return windows


def note_windows():
    return [w for w in program_windows() if w.name == "Quiblet"]


def gone(window):
    return window.xid not in {w.xid for w in program_windows(errors_allowed=True)}


def popups():
    return {w.xid: w for w in program_windows() if w.name == ""}


def open_popup(open_it):
    before = set(popups())
    open_it()
    return wait_for("the menu", lambda: next((w for x, w in popups().items() if x not in before), None))


def menu_layout(menu):
    """A menu read from its pixels, top to bottom: ("item", top, bottom) per band
    of text, ("separator", ...) per thin line across; undrawn, it has no items."""
    shot = Shot()
    x0, x1, y0, y1 = menu.x + 2, menu.x + menu.w - 2, menu.y + 2, menu.y + menu.h - 2
    bg = shot.dominant((x0, y0, x1, y1))
    bands = []
    for y in range(y0, y1):
        row = [shot.rgb(x, y) for x in range(x0, x1)]
        across = set(row[len(row) // 3:-10])  # the right part, which text seldom reaches
        kind = None if set(row) == {bg} else "separator" if len(across) == 1 and bg not in across else "item"
        if kind and bands and bands[-1][0] == kind and y - bands[-1][2] <= 3:
            bands[-1][2] = y  # one item's text, accents and underlines apart
        elif kind:
            bands.append([kind, y, y])
    # A line many rows high is a highlighted item's bar, not a separator.
    return [("item" if b - a > 3 else kind, a, b) for kind, a, b in bands]


def choose(open_it, items, item):
    # The mouse reaches a menu whatever has the keyboard.
    menu = open_popup(open_it)
    xdotool("mousemove", menu.x + menu.w + 40, menu.y + menu.h + 40)  # no item highlighted
    expected = ["separator" if entry is None else "item" for entry in items]
    layout = settle("the menu %r drawn as %r" % (menu, expected), lambda: menu_layout(menu),
                    lambda drawn: [kind for kind, _, _ in drawn] == expected, 3)
    _, top, bottom = layout[items.index(item)]
    click(menu.x + menu.w // 2, (top + bottom) // 2)
    wait_for("the menu to close", lambda: menu.xid not in popups())


def push_buttons(window):
    # The lowest row of white runs of button width on the window's grey.
    def probe():
        shot = Shot()
        for y in range(window.y + window.h - 4, window.y + window.h // 2, -1):
            runs, start = [], None
            for x in range(window.x + 3, window.x + window.w - 2):
                if shot.rgb(x, y) == WHITE and start is None:
                    start = x
                elif shot.rgb(x, y) != WHITE and start is not None:
                    runs += [(start + x) // 2] if x - start >= 30 else []
                    start = None
            if runs:
                top = next(t for t in range(y, window.y, -1) if shot.rgb(runs[0], t) != WHITE)
                return [(x, (top + y) // 2) for x in runs]
        return None
    return wait_for("the buttons of %r" % window.name, probe, timeout=5)


def answer_box(box, button):
    click(*push_buttons(box)[button])
    wait_for("%r to close" % box.name, lambda: gone(box))


def settle(what, probe, good, timeout=10):
    seen = []
    with contextlib.suppress(Failure):
        wait_for(what, lambda: good(seen.append(probe()) or seen[-1]), timeout)
    check(good(seen[-1]), "%s, but it is %r" % (what, seen[-1]))
    return seen[-1]


def retried(what, attempt, done, timeout):
    """`attempt` again while `done` does not come: Wine now and then misses a
    press on a window it has only just activated, and a user tries again."""
    for _ in range(3):
        attempt()
        with contextlib.suppress(Failure):
            return wait_for(what, done, timeout)
    raise Failure("no %s after three tries" % what)


def wait_notes(count):
    return settle("%d note window(s)" % count, note_windows, lambda notes: len(notes) == count)


def note_at(geometry, timeout=10):
    return wait_for("a note window at %r" % (geometry,),
                    lambda: next((w for w in note_windows() if w.geometry == tuple(geometry)), None), timeout)


def pixel_becomes(what, x, y, colour):
    settle("%s %r" % (what, colour), lambda: Shot().rgb(x, y), lambda seen: seen == colour)


def text_point(note):
    return (note.x + note.w // 2, note.y + note.h // 2)


def title_button(note, which):
    # The program paints 20-pixel buttons, two at each end of its title bar, whatever the fonts.
    x = {"menu": 10, "bell": 30, "hide": note.w - 30, "delete": note.w - 10}[which]
    return (note.x + x, note.y + 10)


def select_text(note, colour, *keys):
    inverse = tuple(255 - c for c in colour)
    retried("selection by %r" % (keys,), lambda: click(*text_point(note)) or press_keys(note, *keys),
            lambda: Shot().count((note.x, note.y + 20, note.x + note.w, note.y + note.h), inverse) > 20, 2)


def drag_note(note, left, top):
    return retried("the note moved by its title bar", lambda: click(*text_point(note)) or drag(
        note.x + note.w // 2, note.y + 10, left + note.w // 2, top + 10), lambda: next(
        (n for n in note_windows() if n.xid == note.xid and (n.x, n.y) == (left, top)), None), 3)


def heights_during(note, action):
    """The heights the note's window goes through while `action` makes it go:
    it rolls up within the press, so sampling starts before."""
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
        wait_for("the note to go", lambda: gone(note))
    finally:
        done.set()
        sampler.join()
    return seen


def text_menu(note, item):
    choose(lambda: click(*text_point(note), 3), TEXT_MENU, item)


def wine_reg(*args, cwd=None):
    # File names are given relative to `cwd`: reg takes a leading "/" for a switch.
    return subprocess.run(["wine", "reg"] + list(args), capture_output=True, cwd=cwd)


def fresh_registry():
    wine_reg("delete", REG_KEY, "/f")
    check(wine_reg("query", REG_KEY).returncode != 0, "the settings key survived its deletion")


@contextlib.contextmanager
def settings_put_back(folder):
    """The scenarios use the prefix's settings key: a developer's own settings come back afterwards."""
    os.makedirs(folder, exist_ok=True)
    had = wine_reg("export", REG_KEY, "saved.reg", "/y", cwd=folder).returncode == 0
    yield
    fresh_registry()
    had and wine_reg("import", "saved.reg", cwd=folder)


def bring_notes(q, notes, texts=()):
    folder = q.data_folder
    os.makedirs(folder)
    write_index(folder, notes)
    for rec, text in zip(notes, texts):
        with open(os.path.join(folder, rec["fileName"]), "w") as f:
            f.write("{\\rtf1\\ansi %s\\par}" % text)
    return folder


# ---- Scenarios ------------------------------------------------------------------
def new_note(q):
    """First start: the tray icon, the settings key, no note; a second start
    says so and ends. A tray click makes a default note at the lower right
    that takes typing at once; "Fett" works; the drawn command menu hides it;
    moved, it comes back at the next start in its place with its text."""
    q.start()
    check(wine_reg("query", REG_KEY).returncode == 0, "the settings key was not created")
    second = q.launch()
    answer_box(window_named("kestrix Quiblet - Programm bereits gestartet!", timeout=20), 0)
    q.quit(second, item=None)
    check(note_windows() == [], "a note at the first start: %r" % note_windows())
    tray_click()
    note, screen = wait_notes(1)[0], Shot()
    check((note.w, note.h) == (180, 200) and note.x + note.w == screen.width - 30
          and screen.height - 80 < note.y + note.h <= screen.height, "the new note %r is not at the lower right" % note)
    pixel_becomes("the note's text area", *text_point(note), PALE_YELLOW)
    pixel_becomes("the note's outline", note.x, note.y + note.h // 2, BLACK)
    type_text(note, "Hallo Welt")
    # "Fett" on all, then on the last word: the two words differ whatever the start.
    select_text(note, PALE_YELLOW, "ctrl+End", "shift+ctrl+Home")
    text_menu(note, "Fett")
    select_text(note, PALE_YELLOW, "ctrl+End", "shift+ctrl+Left")
    text_menu(note, "Fett")
    note = drag_note(note, 310, 290)

    choose(lambda: click(*title_button(note, "menu")), COMMAND_MENU, "&Notes verbergen")
    wait_for("the note hidden", lambda: gone(note))
    folder = q.data_folder
    rec = read_index(folder)[0]
    check(place_of(rec) == note.geometry and rec["visible"] == 1 and rec["alarmOn"] == 0
          and rec["backColor"] == colorref(PALE_YELLOW), "record %r, window %r" % (rec, note))
    rtf = read(os.path.join(folder, rec["fileName"]))
    check(rtf_text(rtf).startswith("Hallo Welt") and re.search(r"\\b(?![a-z0-9])", rtf),
          "no bold text after \"Fett\": %r" % rtf)
    q.quit()

    q.start()
    again = note_at(note.geometry)
    pixel_becomes("the restarted note's text", again.x + again.w // 2, again.y + again.h - 15, PALE_YELLOW)
    click(*text_point(again))
    press_keys(again, "ctrl+End")
    type_text(again, " und mehr")
    q.quit()
    rec = read_index(folder)[0]
    check(place_of(rec) == note.geometry, "the place moved from %r to %r" % (note.geometry, place_of(rec)))
    check(rtf_text(read(os.path.join(folder, rec["fileName"]))).startswith("Hallo Welt und mehr"),
          "the text after the restart is %r" % rtf_text(read(os.path.join(folder, rec["fileName"]))))


def hide_and_delete(q):
    """The hide button rolls one note away; "Notes verbergen" twice brings back
    the shown notes only, "Alle Notes anzeigen" all. The delete button asks
    first: No keeps the note and its file, Yes removes both."""
    places = [(200, 150, 180, 200), (500, 150, 180, 200)]
    folder = bring_notes(q, [dict(left=l, top=t, width=w, height=h, fileName="E2E0000000%d.dat" % i)
                             for i, (l, t, w, h) in enumerate(places)], ["Bleibt", "Weg damit"])
    q.start()
    first, second = note_at(places[0]), note_at(places[1])
    pixel_becomes("the second note", *text_point(second), PALE_YELLOW)
    heights = heights_during(second, lambda: click(*title_button(second, "hide")))
    check(any(0 < h < second.h for h in heights), "the note vanished without rolling up (heights %r)"
          % sorted(set(heights)))
    check(wait_notes(1)[0].geometry == first.geometry, "the hide button took the wrong note")
    q.tray_command("Notes verbergen")
    wait_notes(0)
    q.tray_command("Notes verbergen")
    check(wait_notes(1)[0].geometry == first.geometry, "\"Notes verbergen\" twice shows another note")
    q.tray_command("Alle Notes anzeigen")
    check(sorted(n.geometry for n in wait_notes(2)) == places, "\"Alle Notes anzeigen\" shows other notes")

    second = note_at(places[1])
    click(*title_button(second, "delete"))
    box = window_named("Löschen")
    check(len(push_buttons(box)) == 2, "the question has not two buttons (Yes, No)")
    answer_box(box, 1)
    q.tray_command("Notes verbergen")  # only notes that are still there are hidden and saved
    wait_notes(0)
    check(len(read_index(folder)) == 2, "a note went although the answer was No")
    q.tray_command("Notes verbergen")
    click(*title_button(note_at(places[1]), "delete"))
    answer_box(window_named("Löschen"), 0)
    wait_notes(1)
    q.quit()
    check([place_of(r) for r in read_index(folder)] == places[:1], "note.dat holds %r" % read_index(folder))
    check(not os.path.exists(os.path.join(folder, "E2E00000001.dat")), "the deleted note's file is still there")


def save_refused(q):
    """A data folder that takes no new file: the hide button's save fails, the
    error box says so and the note stays; later the button works, text kept."""
    q.start()
    tray_click()
    note = wait_notes(1)[0]
    click(*text_point(note))
    type_text(note, "Nicht verlieren")
    blocker = os.path.join(q.data_folder, "note.dat.tmp")  # where the save writes the new index first
    os.mkdir(blocker)
    click(*title_button(note, "hide"))
    answer_box(window_named("Error"), 0)
    click(*text_point(note))
    press_keys(note, "ctrl+End")
    type_text(note, " und mehr")
    os.rmdir(blocker)
    click(*title_button(note, "hide"))
    wait_notes(0)
    q.quit()
    rec = read_index(q.data_folder)[0]
    text = rtf_text(read(os.path.join(q.data_folder, rec["fileName"])))
    check(rec["visible"] == 0 and text.startswith("Nicht verlieren und mehr"), "on disk: %r, %r" % (rec, text))


def held_index(q):
    """"note.dat" held by another program while Quiblet starts: the error box
    says so and no note shows. The hold over, a new note with its text and
    "Beenden" leave the two old notes and the new one in "note.dat"."""
    old = [dict(left=200 + 300 * i, top=150, width=180, height=200, fileName="E2E0000000%d.dat" % i) for i in (1, 2)]
    folder = bring_notes(q, old, ["Eins", "Zwei"])
    holder = q.hold("note.dat")
    q.start(answer_error=True)
    check(note_windows() == [], "notes shown from a \"note.dat\" that could not be read: %r" % note_windows())
    os.killpg(holder.pid, signal.SIGKILL)
    holder.wait()
    tray_click()
    note = wait_notes(1)[0]
    # Once a window of the program has had the focus (the error box), Wine
    # keeps the X focus from a note made on the tray's notice, which comes
    # with an old time; the note then has the program's focus already and a
    # click into it changes nothing. The tray menu, opened and closed, moves
    # the program's focus away, so that the click brings the note the keys.
    menu = open_popup(lambda: tray_click(3))
    click(note.x - 200, note.y - 200)
    wait_for("the tray menu to close", lambda: menu.xid not in popups())
    click(*text_point(note))
    type_text(note, "Neu dazu")
    q.quit()
    recs = read_index(folder)
    check([r["fileName"] for r in recs[1:]] == [r["fileName"] for r in old], "note.dat holds %r" % recs)
    text = rtf_text(read(os.path.join(folder, recs[0]["fileName"])))
    check(text.startswith("Neu dazu"), "the new note's text is %r" % text)


def close_requests(q):
    """Alt+F4 in a note hides it, unasked though "Rückfragen vor Löschen" is
    on, and keeps its text; "taskkill" (a close request to every window of
    the program) ends it with all three notes and their texts saved."""
    wine_reg("add", REG_KEY, "/v", "SafeMode", "/t", "REG_DWORD", "/d", "1", "/f")
    q.start()
    texts = ["Erste Notiz", "Zweite Notiz", "Dritte Notiz"]
    for count, text in enumerate(texts, 1):
        before = {n.xid for n in note_windows()}
        tray_click()
        note = next(n for n in wait_notes(count) if n.xid not in before)
        # Once the program has had input, Wine may leave the X focus with the
        # tray after its click; a window manager gives the clicked note the focus.
        xdotool("windowfocus", "--sync", note.xid)
        click(*text_point(note))
        type_text(note, text)
    press_keys(note, "alt+F4")
    wait_for("the note hidden", lambda: gone(note))
    wait_notes(2)
    subprocess.run(["wine", "taskkill", "/im", "Quiblet.exe"], capture_output=True, check=True)
    q.quit(item=None)
    folder = q.data_folder
    saved = {rtf_text(read(os.path.join(folder, r["fileName"]))).split("\n")[0]: r["visible"]
             for r in read_index(folder)}
    check(saved == {texts[0]: 1, texts[1]: 1, texts[2]: 0}, "on disk: %r" % saved)


def alarm_at_startup(q):
    """An alarm due while the program was not running rings at start-up (a
    hidden note shown, outlined red), a future one not; the bell ends it."""
    wine_reg("add", REG_KEY, "/v", "Sound", "/t", "REG_DWORD", "/d", "0", "/f")
    blue = (200, 230, 255)
    due = dict(left=220, top=160, width=200, height=160, visible=0, fileName="E2E00000001.dat",
               backColor=colorref(blue), alarmYear=2001, alarmMonth=2, alarmDay=3, alarmHour=10,
               alarmMinute=15, alarmOn=1)
    waiting = dict(left=600, top=160, width=200, height=160, visible=0, fileName="E2E00000002.dat",
                   alarmYear=datetime.date.today().year + 5, alarmMonth=1, alarmDay=1, alarmHour=8, alarmOn=1)
    folder = bring_notes(q, [due, waiting], ["Zahnarzt anrufen", "Noch nicht"])
    q.start()
    note = note_at(place_of(due))
    mid = note.y + note.h // 2
    pixel_becomes("the ringing note's left edge", note.x, mid, RED)
    pixel_becomes("the ringing note's right edge", note.x + note.w - 1, mid, RED)
    check(Shot().rgb(note.x + note.w // 2, note.y + note.h - 15) == blue, "the note lost its colour")
    click(*title_button(note, "bell"))
    pixel_becomes("the acknowledged note's outline", note.x, mid, BLACK)
    check(len(note_windows()) == 1, "the future alarm rang too: %r" % note_windows())
    q.quit()
    check([r["alarmOn"] for r in read_index(folder)] == [0, 1], "alarm switches after the bell: %r"
          % read_index(folder))


def default_colour(q):
    """A swatch clicked in the general settings colours new notes; closing the
    dialog writes the ten settings."""
    q.start()
    q.tray_command("Einstellungen")
    dialog = window_named("Einstellungen allgemein")
    area = (dialog.x, dialog.y, dialog.x + dialog.w, dialog.y + dialog.h)
    swatch = wait_for("the pale green swatch", lambda: Shot().centre(area, lambda c: c == PALE_GREEN))
    drawn = Shot().count(area, PALE_GREEN)
    click(*swatch)
    wait_for("the colour preview in pale green", lambda: Shot().count(area, PALE_GREEN) > 2 * drawn, 5)
    click(*push_buttons(dialog)[-1])  # "Schließen", at the lower right
    wait_for("the settings dialog to close", lambda: gone(dialog))
    values = wine_reg("query", REG_KEY).stdout.decode("utf-8", errors="replace")
    stored = dict(re.findall(r"^\s+(\w+)\s+REG_\w+\s+(.*?)\s*$", values, re.M))
    check(stored.get("DefaultBackColor") == "0xcbfecb", "DefaultBackColor %r" % stored.get("DefaultBackColor"))
    check(set(stored) == {"DefaultBackColor", "NotesSizeX", "NotesSizeY", "StartupNotes", "StartupAlarms",
                          "Splash", "Sound", "SafeMode", "AlwaysOnTop", "DefaultAlarm"},
          "registry values %r" % sorted(stored))
    tray_click()
    pixel_becomes("the new note", *text_point(wait_notes(1)[0]), PALE_GREEN)
    q.quit()


SCENARIOS = [new_note, hide_and_delete, save_refused, held_index, close_requests, alarm_at_startup, default_colour]


def run_scenario(build, scenario):
    name = scenario.__name__
    q = Quiblet(build, os.path.join(build, "e2e-run", name))
    kept = os.path.join(build, "e2e-failures", name)
    shutil.rmtree(kept, ignore_errors=True)  # traces of an older run mislead
    began = time.monotonic()
    try:
        fresh_registry()
        scenario(q)
    except Exception as error:  # any fault of a scenario keeps its traces
        os.makedirs(kept)
        subprocess.run(["xwd", "-root", "-silent", "-out", os.path.join(kept, "screen.xwd")])
        shutil.copytree(q.start_dir, os.path.join(kept, "start"), ignore=shutil.ignore_patterns("*.exe", "*.wav"))
        wine_reg("export", REG_KEY, "registry.reg", "/y", cwd=kept)
        print("FAIL %s (%.1f s): %s\n     screenshot and files kept in %s"
              % (name, time.monotonic() - began, error, kept))
        return False
    finally:
        q.kill_all()
    shutil.rmtree(q.start_dir, ignore_errors=True)
    print("ok   %s (%.1f s)" % (name, time.monotonic() - began))
    return True


def main(argv):
    names = {s.__name__: s for s in SCENARIOS}
    if argv[1:] == ["--list"]:
        print("\n".join(names))
        return 0
    if len(argv) < 2 or set(argv[2:]) - set(names):
        print(__doc__)
        return 2
    build = os.path.abspath(argv[1])
    with settings_put_back(os.path.join(build, "e2e-run")):
        results = [run_scenario(build, names[n]) for n in argv[2:] or names]
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
