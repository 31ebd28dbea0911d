"""Quiblet driven as a user drives it (for e2e.py and scripts/pictures.py):
its files and settings, and its windows found on the X screen from what is drawn."""
import contextlib
import getpass
import os
import pathlib
import re
import shutil
import signal
import struct
import subprocess
import time
from collections import namedtuple

ROOT = pathlib.Path(__file__).resolve().parents[2]
REG_KEY = r"HKLM\SOFTWARE\kestrix\Quiblet"
PALE_YELLOW = (254, 254, 152)
PALE_GREEN = (203, 254, 203)
RED = (255, 0, 0)
BLACK = (0, 0, 0)
WHITE = (255, 255, 255)

# The program's menus, item by item, None for a separator.
TRAY_MENU = ["Alle Notes anzeigen", None, "Immer im Vordergrund", "Notes verbergen", "Alarm", None,
             "Note - Liste anzeigen", "Einstellungen", None, "Informationen", "Hilfe", "Beenden"]
TEXT_MENU = ["Rückgänig", "Kopieren", "Ausschneiden", "Einfügen", None, "Fett", "Kursiv",
             "Unterstrichen", "Durchgestrichen", None, "Linksbündig", "Zentriert", "Rechtsbündig",
             None, "Schriftart"]
COMMAND_MENU = ["&Löschen", "&Importieren", "E&xportieren", "&Drucken", None, "&Einstellungen",
                "&Notes verbergen", None, "Note &löschen"]


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(what, probe, timeout=10, good=bool):
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if good(value):
            return value
        check(time.monotonic() < deadline, "waited %d s for %s, saw %r" % (timeout, what, value))
        time.sleep(0.1)


# "note.dat": one record per note.
RECORD = struct.Struct("<5i21s260s3xI8Hi")
FIELDS = ("left", "top", "width", "height", "visible", "fileName", "soundFile", "backColor",
          "alarmYear", "alarmMonth", "alarmDayOfWeek", "alarmDay", "alarmHour", "alarmMinute",
          "alarmOn", "alarmRepeatMinutes", "reminderCountdown")


def read_index(folder):
    data = (folder / "note.dat").read_bytes()
    check(len(data) % RECORD.size == 0, "note.dat holds %d bytes, not whole records" % len(data))
    notes = []
    for values in RECORD.iter_unpack(data):
        note = dict(zip(FIELDS, values))
        note["fileName"] = note["fileName"].split(b"\0")[0].decode("cp1252")
        notes.append(note)
    return notes


def write_index(folder, notes):
    data = b""
    for note in notes:
        values = dict.fromkeys(FIELDS, 0)
        values.update(visible=1, soundFile=b"..\\bellsong.wav", backColor=colorref(PALE_YELLOW))
        values.update(note)
        values["fileName"] = values["fileName"].encode("cp1252")
        data += RECORD.pack(*(values[name] for name in FIELDS))
    (folder / "note.dat").write_bytes(data)


def place_of(note):
    return (note["left"], note["top"], note["width"], note["height"])


def colorref(rgb):
    return rgb[0] | rgb[1] << 8 | rgb[2] << 16


class Quiblet:
    def __init__(self, build, start_dir):
        self.build = pathlib.Path(build)
        self.start_dir = pathlib.Path(start_dir)
        self.data_folder = self.start_dir / getpass.getuser()  # Wine's user is the Linux one
        self.runs = []
        shutil.rmtree(start_dir, ignore_errors=True)
        subprocess.run([ROOT / "scripts" / "layout.sh", build, start_dir], check=True)

    def launch(self):
        # Not our output: Wine's background processes inherit it and outlive the program.
        proc = subprocess.Popen(["wine", "Quiblet.exe"], cwd=self.start_dir, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, start_new_session=True)
        self.runs.append(proc)
        return proc

    def start(self, answer_error=False):
        # A program started while the last one's Wine desktop (the tray) shuts down fails.
        wait_for("the last run's Wine desktop to end", lambda: not wine_desktop_runs(), 20)
        proc = self.proc = self.launch()
        if answer_error:
            answer_box(window_named("Error", 60), 0)
        wait_for("the tray icon", lambda: proc.poll() is not None or tray_icon(), 60)
        check(proc.poll() is None, "Quiblet.exe ended at start with code %s" % proc.returncode)

    def hold(self, name):
        held = subprocess.Popen(["wine", self.build / "tests" / "hold_file.exe", name, "600"], cwd=self.data_folder,
                                stdout=subprocess.PIPE, start_new_session=True)
        self.runs.append(held)
        check(held.stdout.readline().strip() == b"held", "hold_file.exe could not hold %s" % name)
        return held

    def quit(self):
        self.tray_command("Beenden")
        ended(self.proc)

    def tray_command(self, item):
        choose(lambda: tray_click(3), TRAY_MENU, item)

    def kill_all(self):
        for proc in self.runs:
            if proc.poll() is None:
                os.killpg(proc.pid, signal.SIGKILL)
                proc.wait()


def ended(proc):
    wait_for("Quiblet.exe to end", lambda: proc.poll() is not None, 15)
    check(proc.returncode == 0, "exit code %s" % proc.returncode)


def wine_desktop_runs():
    mine = ("WINEPREFIX=" + os.environ["WINEPREFIX"]).encode()
    for proc in pathlib.Path("/proc").glob("[0-9]*"):
        with contextlib.suppress(OSError):
            environment = (proc / "environ").read_bytes().split(b"\0")
            if b"explorer.exe" in (proc / "cmdline").read_bytes() and mine in environment:
                return True
    return False


def wine_reg(*args, cwd=None):
    # File names are given relative to `cwd`: reg takes a leading "/" for a switch.
    return subprocess.run(["wine", "reg"] + list(args), capture_output=True, cwd=cwd)


def fresh_registry():
    wine_reg("delete", REG_KEY, "/f")
    check(wine_reg("query", REG_KEY).returncode != 0, "the settings key survived its deletion")


@contextlib.contextmanager
def settings_put_back(folder):
    # A developer's own settings in the prefix come back afterwards.
    os.makedirs(folder, exist_ok=True)
    had = wine_reg("export", REG_KEY, "saved.reg", "/y", cwd=folder).returncode == 0
    yield
    fresh_registry()
    if had:
        wine_reg("import", "saved.reg", cwd=folder)


def xdotool(*args):
    done = subprocess.run(["xdotool"] + [str(a) for a in args], capture_output=True)
    return done.stdout.decode(errors="replace")


class Window(namedtuple("Window", "xid name x y w h")):
    @property
    def geometry(self):
        return (self.x, self.y, self.w, self.h)


def visible_windows(classname):
    # Wine's X class is the process name; 1x1 helper windows left out.
    found = []
    for xid in xdotool("search", "--onlyvisible", "--classname", "^%s$" % re.escape(classname)).split():
        lines = xdotool("getwindowname", xid, "getwindowgeometry", "--shell", xid).splitlines()
        values = dict(line.split("=", 1) for line in lines[1:] if "=" in line)
        if "HEIGHT" not in values:
            continue  # gone meanwhile
        window = Window(xid, lines[0], *(int(values[key]) for key in ("X", "Y", "WIDTH", "HEIGHT")))
        if window.w > 1 or window.h > 1:
            found.append(window)
    return found


def window_named(name, timeout=10):
    def probe():
        return next(iter(program_windows(name)), None)
    return wait_for("a window named %r" % name, probe, timeout)


def program_windows(name):
    return [w for w in visible_windows("quiblet.exe") if w.name == name]


def note_windows():
    check(program_windows("Error") == [], "the program shows an error box")
    return program_windows("Quiblet")


def popups():
    return [w.xid for w in program_windows("")]


def gone(window):
    return all(w.xid != window.xid for w in visible_windows("quiblet.exe"))


def click(x, y, button=1):
    xdotool("mousemove", x, y, "click", button)


def press_keys(window, *keys):
    wait_for("%r to take the keyboard focus" % window.name, lambda: xdotool("getwindowfocus").strip() == window.xid)
    for key in keys:
        xdotool("key", key)
        time.sleep(0.05)


def type_text(window, text):
    press_keys(window)
    xdotool("type", "--delay", 40, text)


def drag(x0, y0, x1, y1, steps=8):
    xdotool("mousemove", x0, y0, "sleep", 0.2, "mousedown", 1, "sleep", 0.2)
    for i in range(1, steps + 1):
        xdotool("sleep", 0.05, "mousemove", x0 + (x1 - x0) * i // steps, y0 + (y1 - y0) * i // steps)
    xdotool("sleep", 0.1, "mouseup", 1)


class Shot:
    def __init__(self):
        for _ in range(3):  # a window that vanishes during the dump makes xwd fail
            done = subprocess.run(["xwd", "-root", "-silent"], capture_output=True)
            if done.returncode == 0:
                break
        check(done.returncode == 0, "xwd failed")
        head = struct.unpack(">25I", done.stdout[:100])
        self.width, self.height, bits, self.stride = head[4], head[5], head[11], head[12]
        check(bits in (24, 32) and head[14:17] == (0xFF0000, 0xFF00, 0xFF), "the screen is not RGB")
        self.step = bits // 8
        self.pixels = done.stdout[head[0] + 12 * head[19]:]

    def rgb(self, x, y):
        i = y * self.stride + x * self.step
        b, g, r = self.pixels[i:i + 3]
        return (r, g, b)

    def points(self, box):
        x0, y0, x1, y1 = box
        return [(x, y) for y in range(y0, y1) for x in range(x0, x1)]

    def count(self, box, colour):
        return sum(1 for p in self.points(box) if self.rgb(*p) == colour)

    def centre(self, box, wanted):
        found = [p for p in self.points(box) if wanted(self.rgb(*p))]
        if not found:
            return None
        xs = [x for x, _ in found]
        ys = [y for _, y in found]
        return ((min(xs) + max(xs)) // 2, (min(ys) + max(ys)) // 2)


def tray_window():
    return next((w for w in visible_windows("explorer.exe") if w.name == "Wine System Tray"), None)


def tray_icon():
    # The icon is what is not white in the tray window's client area.
    tray = tray_window()
    if tray is None:
        return None
    shot = Shot()
    right = tray.x + tray.w - 5
    top = next((y for y in range(tray.y + 2, tray.y + tray.h) if shot.rgb(right, y) == WHITE), None)
    if top is None:
        return None
    return shot.centre((tray.x + 3, top, tray.x + tray.w - 3, tray.y + tray.h - 3), lambda c: c != WHITE)


last_tray_click = [0.0]


def tray_click(button=1):
    # Two clicks in the double-click time would be a double click, which does nothing.
    where = wait_for("the tray icon", tray_icon)
    time.sleep(max(0.0, last_tray_click[0] + 0.6 - time.monotonic()))
    click(*where, button)
    last_tray_click[0] = time.monotonic()


def open_popup(open_it):
    before = popups()
    open_it()
    return wait_for("the menu", lambda: next((w for w in program_windows("") if w.xid not in before), None))


def menu_layout(menu):
    """[top, bottom] of each band of rows not all background, top to bottom:
    an item's text, or a separator's line if three rows high at most."""
    shot = Shot()
    box = (menu.x + 2, menu.y + 2, menu.x + menu.w - 2, menu.y + menu.h - 2)
    background = shot.rgb(box[0], box[1])
    bands = []
    for y in range(box[1], box[3]):
        if all(shot.rgb(x, y) == background for x in range(box[0], box[2])):
            continue
        if bands and y - bands[-1][1] <= 3:
            bands[-1][1] = y  # one item's text, accents and underlines apart
        else:
            bands.append([y, y])
    return bands


def choose(open_it, items, item):
    menu = open_popup(open_it)
    xdotool("mousemove", menu.x + menu.w + 40, menu.y + menu.h + 40)  # no item highlighted
    expected = ["item" if entry else "separator" for entry in items]

    def drawn_right(bands):
        return ["item" if bottom - top > 3 else "separator" for top, bottom in bands] == expected
    bands = wait_for("the menu drawn as %r" % expected, lambda: menu_layout(menu), 3, drawn_right)
    top, bottom = bands[items.index(item)]
    click(menu.x + menu.w // 2, (top + bottom) // 2)
    wait_for("the menu to close", lambda: gone(menu))


def face_centre(shot, left, right, bottom):
    if right - left < 30:
        return None
    top = bottom
    while any(shot.rgb(x, top - 1) == WHITE for x in range(left, right)):
        top -= 1
    if bottom - top < 8:
        return None
    return ((left + right) // 2, (top + bottom) // 2)


def push_buttons(window):
    # The lowest row of white faces at least 30 wide and 8 high.
    def probe():
        shot = Shot()
        for bottom in range(window.y + window.h - 4, window.y + window.h // 2, -1):
            faces = []
            left = None
            for x in range(window.x + 3, window.x + window.w - 2):
                white = shot.rgb(x, bottom) == WHITE
                if white and left is None:
                    left = x
                if not white and left is not None:
                    faces.append(face_centre(shot, left, x, bottom))
                    left = None
            faces = [face for face in faces if face]
            if faces:
                return faces
        return None
    return wait_for("the buttons of %r" % window.name, probe, 5)


def answer_box(box, button):
    click(*push_buttons(box)[button])
    wait_for("%r to close" % box.name, lambda: gone(box))


def retried(what, attempt, done, timeout):
    # Wine now and then misses a press on a window it has only just activated.
    for _ in range(3):
        attempt()
        with contextlib.suppress(Failure):
            return wait_for(what, done, timeout)
    raise Failure("no %s after three tries" % what)


def wait_notes(count):
    return wait_for("%d note window(s)" % count, note_windows, 10, lambda notes: len(notes) == count)


def note_at(place):
    return wait_for("a note at %r" % (place,), lambda: next((w for w in note_windows() if w.geometry == place), None))


def pixel_becomes(what, x, y, colour):
    wait_for("%s %r" % (what, colour), lambda: Shot().rgb(x, y), 10, lambda seen: seen == colour)


def text_point(note):
    return (note.x + note.w // 2, note.y + note.h // 2)


def title_button(note, which):
    # The program paints two 20-pixel buttons at each end of its title bar.
    x = {"menu": 10, "bell": 30, "hide": note.w - 30, "delete": note.w - 10}[which]
    return (note.x + x, note.y + 10)


def text_menu(note, item):
    choose(lambda: click(*text_point(note), 3), TEXT_MENU, item)


def select_text(note, colour, *keys):
    inverse = tuple(255 - c for c in colour)
    text_area = (note.x, note.y + 20, note.x + note.w, note.y + note.h)

    def attempt():
        click(*text_point(note))
        press_keys(note, *keys)
    retried("selection by %r" % (keys,), attempt, lambda: Shot().count(text_area, inverse) > 20, 2)


def drag_note(note, left, top):
    def attempt():
        click(*text_point(note))
        drag(note.x + note.w // 2, note.y + 10, left + note.w // 2, top + 10)

    def moved():
        return next((n for n in note_windows() if n.xid == note.xid and n.x == left and n.y == top), None)
    return retried("the note moved by its title bar", attempt, moved, 3)
