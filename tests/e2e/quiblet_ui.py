"""Quiblet as a user drives it, for the end-to-end scenarios (e2e.py) and the
README's pictures (scripts/pictures.py): its files ("note.dat" with its own
layout), its registry key, its start and end, and its windows, menus, buttons
and notes found on the X screen from what is drawn."""
import contextlib
import os
import re
import shutil
import signal
import struct
import subprocess
import threading
import time

from xscreen import Failure, Shot, click, drag, press_keys, visible_windows, wait_for, window_named, xdotool

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
