"""Quiblet driven as a user would (for e2e.py and scripts/pictures.py), its
windows found on the X screen from what is drawn."""
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


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def wait_for(what, probe, timeout=10, good=bool):
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if good(value):
            return value
        check(time.monotonic() < deadline, "waited %d s for %s, saw %r" % (timeout, what, value))
        time.sleep(0.1)


RECORD = struct.Struct("<5i21s260s3xI8Hi")
FIELDS = ("left", "top", "width", "height", "visible", "fileName", "soundFile", "backColor",
          "alarmYear", "alarmMonth", "alarmDayOfWeek", "alarmDay", "alarmHour", "alarmMinute",
          "alarmOn", "alarmRepeatMinutes", "reminderCountdown")


def read_index(folder):
    notes = []
    for values in RECORD.iter_unpack((folder / "note.dat").read_bytes()):
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


def colorref(rgb):
    return rgb[0] | rgb[1] << 8 | rgb[2] << 16


class Quiblet:
    def __init__(self, build, start_dir, user=None):
        self.build = pathlib.Path(build)
        self.start_dir = pathlib.Path(start_dir)
        self.env = dict(os.environ, USER=user) if user else None  # Wine's user is $USER
        self.data_folder = self.start_dir / (user or getpass.getuser())
        self.runs = []
        shutil.rmtree(start_dir, ignore_errors=True)
        layout = pathlib.Path(__file__).resolve().parents[2] / "scripts" / "layout.sh"
        subprocess.run([layout, build, start_dir], check=True)

    def launch(self):
        # Wine's background processes would keep our output open.
        proc = subprocess.Popen(["wine", "Quiblet.exe"], cwd=self.start_dir, env=self.env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        self.runs.append(proc)
        return proc

    def start(self, answer_error=False):
        # A start while the last run's Wine desktop (the tray) shuts down fails.
        wait_for("the last Wine desktop to end", lambda: not wine_desktop_runs(), 20)
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
    # File names relative to `cwd`: reg takes a leading "/" for a switch. No
    # pipe: Wine's background processes, started by the first program of a
    # session, would hold it open after reg has ended.
    return subprocess.run(["wine", "reg"] + list(args), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, cwd=cwd)


def fresh_registry():
    wine_reg("delete", REG_KEY, "/f")
    check(wine_reg("query", REG_KEY).returncode != 0, "the settings key is still there")


@contextlib.contextmanager
def settings_put_back(folder):
    # A developer's own settings in the prefix come back afterwards.
    os.makedirs(folder, exist_ok=True)
    had = wine_reg("export", REG_KEY, "saved.reg", "/y", cwd=folder).returncode == 0
    yield
    fresh_registry()
    if had:
        wine_reg("import", "saved.reg", cwd=folder)


def set_dpi(dpi):
    wine_reg("add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f")
    subprocess.run(["wineserver", "-k"])  # the next start reads it


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
    return wait_for("a window named %r" % name, lambda: next(iter(program_windows(name)), None), timeout)


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
    if keys:
        xdotool("key", "--delay", 50, *keys)


def type_text(window, text):
    # Wine loses the first key xdotool adds to the keymap ("ł"): F35 goes first.
    press_keys(window, "F35")
    xdotool("type", "--delay", 40, text)


class Shot:
    def __init__(self):
        for _ in range(3):  # a window that vanishes during the dump makes xwd fail
            done = subprocess.run(["xwd", "-root", "-silent"], capture_output=True)
            if done.returncode == 0:
                break
        check(done.returncode == 0, "xwd failed")
        head = struct.unpack(">25I", done.stdout[:100])
        self.width, self.height, self.stride = head[4], head[5], head[12]
        self.step = head[11] // 8
        self.pixels = done.stdout[head[0] + 12 * head[19]:]

    def rgb(self, x, y):
        i = y * self.stride + x * self.step
        b, g, r = self.pixels[i:i + 3]
        return (r, g, b)

    def points(self, box):
        x0, y0, x1, y1 = box
        return [(x, y) for y in range(y0, y1) for x in range(x0, x1)]

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
    # Two clicks in the double-click time would make a double click.
    where = wait_for("the tray icon", tray_icon)
    time.sleep(max(0.0, last_tray_click[0] + 0.6 - time.monotonic()))
    click(*where, button)
    last_tray_click[0] = time.monotonic()


def open_popup(open_it):
    before = popups()
    open_it()
    return wait_for("the menu", lambda: next((w for w in program_windows("") if w.xid not in before), None))


def menu_layout(menu):
    """[top, bottom] of each band of rows not all background: an item's text,
    or a separator's line if three rows high at most."""
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
    bands = wait_for("the menu drawn as %r" % expected, lambda: menu_layout(menu), 3, good=drawn_right)
    top, bottom = bands[items.index(item)]
    click(menu.x + menu.w // 2, (top + bottom) // 2)
    wait_for("the menu to close", lambda: gone(menu))


def push_buttons(window):
    """The centres of the lowest row of white faces at least 30 wide and 8 high."""
    def probe():
        shot = Shot()
        for bottom in range(window.y + window.h - 4, window.y + window.h // 2, -1):
            row = "".join("W" if shot.rgb(x, bottom) == WHITE else "." for x in range(window.x, window.x + window.w))
            faces = []
            for run in re.finditer("W{30,}", row):
                left = window.x + run.start()
                right = window.x + run.end()
                top = bottom
                while any(shot.rgb(x, top - 1) == WHITE for x in range(left, right)):
                    top -= 1
                if bottom - top >= 8:
                    faces.append(((left + right) // 2, (top + bottom) // 2))
            if faces:
                return faces
        return None
    return wait_for("the buttons of %r" % window.name, probe, 5)


def answer_box(box, button):
    click(*push_buttons(box)[button])
    wait_for("%r to close" % box.name, lambda: gone(box))


def wait_notes(count):
    return wait_for("%d note window(s)" % count, note_windows, good=lambda notes: len(notes) == count)


def note_at(place):
    return wait_for("a note at %r" % (place,), lambda: next((w for w in note_windows() if w.geometry == place), None))


def pixel_becomes(what, x, y, colour):
    wait_for("%s %r" % (what, colour), lambda: Shot().rgb(x, y), good=lambda seen: seen == colour)


def text_point(note):
    return (note.x + note.w // 2, note.y + note.h // 2)


def title_button(note, which):
    # The program paints two 20-pixel buttons at each end of its title bar.
    x = {"menu": 10, "bell": 30, "hide": note.w - 30, "delete": note.w - 10}[which]
    return (note.x + x, note.y + 10)


def click_into(note):
    # Wine may leave the X focus elsewhere; a window manager would move it.
    xdotool("windowfocus", "--sync", note.xid)
    click(*text_point(note))


def text_menu(note, item):
    choose(lambda: click(*text_point(note), 3), TEXT_MENU, item)


def drag_note(note, left, top):
    click_into(note)
    xdotool("mousemove", note.x + note.w // 2, note.y + 10, "sleep", 0.2, "mousedown", 1, "sleep", 0.2)
    for i in range(1, 9):
        x = note.x + (left - note.x) * i // 8
        y = note.y + (top - note.y) * i // 8
        xdotool("sleep", 0.05, "mousemove", x + note.w // 2, y + 10)
    xdotool("sleep", 0.1, "mouseup", 1)

    def moved():
        return next((n for n in note_windows() if n.xid == note.xid and n.x == left and n.y == top), None)
    return wait_for("the note moved by its title bar", moved)
