"""The X screen as another program sees it: windows found with xdotool, pixels
read from an `xwd` dump of the root window, input sent with xdotool."""
import struct
from collections import Counter
import subprocess
import time


class Failure(Exception):
    pass


def xdotool(*args, check=True):
    done = subprocess.run(["xdotool"] + [str(a) for a in args], capture_output=True)
    if check and done.returncode != 0:
        raise Failure("xdotool %s failed: %s" % (args[0], done.stderr.decode(errors="replace").strip()))
    return done.stdout.decode("utf-8", errors="replace")


def wait_for(what, probe, timeout=10.0, interval=0.1):
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(interval)


class Window:
    def __init__(self, xid, name, x, y, w, h):
        self.xid, self.name, self.x, self.y, self.w, self.h = xid, name, x, y, w, h
        self.geometry = (x, y, w, h)

    def __repr__(self):
        return "%r at %d,%d %dx%d" % (self.name, self.x, self.y, self.w, self.h)


def visible_windows(classname):
    """The mapped top-level windows whose X class is `classname` (Wine names
    it after the process, e.g. quiblet.exe); 1x1 helper windows left out."""
    found = []
    for xid in xdotool("search", "--onlyvisible", "--classname", "^%s$" % classname.replace(".", r"\."),
                       check=False).split():
        lines = xdotool("getwindowname", xid, "getwindowgeometry", "--shell", xid, check=False).splitlines()
        values = dict(line.split("=", 1) for line in lines[1:] if "=" in line)
        if all(k in values for k in ("X", "Y", "WIDTH", "HEIGHT")):  # else gone meanwhile
            w = Window(xid, lines[0], *(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT")))
            found += [w] if w.w > 1 or w.h > 1 else []
    return found


def window_named(name, timeout=10.0):
    return wait_for("a window named %r" % name,
                    lambda: next((w for w in visible_windows("quiblet.exe") if w.name == name), None), timeout)


def click(x, y, button=1):
    xdotool("mousemove", x, y, "click", button)


def press_keys(window, *keys):
    """Keys pressed as a keyboard does, once Wine has made `window` the
    active one (it moves the X focus along)."""
    wait_for("%r to take the keyboard focus" % window.name,
             lambda: xdotool("getwindowfocus", check=False).strip() == str(window.xid))
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
            time.sleep(0.1)
        else:
            raise Failure("xwd failed: %s" % done.stderr.decode(errors="replace").strip())
        head = struct.unpack(">25I", done.stdout[:100])
        self.width, self.height, bits, self.stride = head[4], head[5], head[11], head[12]
        if head[3] != 24 or bits not in (24, 32) or head[7] != 0 or head[14:17] != (0xFF0000, 0xFF00, 0xFF):
            raise Failure("unexpected screen format: %r" % (head,))
        self.step = bits // 8
        self.pixels = done.stdout[head[0] + 12 * head[19]:]

    def rgb(self, x, y):
        i = y * self.stride + x * self.step
        b, g, r = self.pixels[i:i + 3]
        return (r, g, b)

    def count(self, box, colour):
        x0, y0, x1, y1 = box
        return sum(1 for y in range(y0, y1) for x in range(x0, x1) if self.rgb(x, y) == colour)

    def centre(self, box, wanted):
        x0, y0, x1, y1 = box
        found = [(x, y) for y in range(y0, y1) for x in range(x0, x1) if wanted(self.rgb(x, y))]
        xs, ys = sorted(p[0] for p in found), sorted(p[1] for p in found)
        return found and ((xs[0] + xs[-1]) // 2, (ys[0] + ys[-1]) // 2)

    def dominant(self, box):
        x0, y0, x1, y1 = box
        return Counter(self.rgb(x, y) for y in range(y0, y1, 2) for x in range(x0, x1, 2)).most_common(1)[0][0]
