"""The X screen as another program sees it: windows found with xdotool,
pixels read from an `xwd` dump of the root window, input sent with xdotool.
Standard library only, so the suite needs nothing beyond xdotool and xwd."""
import struct
import subprocess
import time
import zlib


class Failure(Exception):
    pass


def run(args, check=True):
    done = subprocess.run(args, capture_output=True)
    if check and done.returncode != 0:
        raise Failure("%s failed: %s" % (" ".join(args), done.stderr.decode(errors="replace").strip()))
    return done.stdout.decode("utf-8", errors="replace")


def xdotool(*args, check=True):
    return run(["xdotool"] + [str(a) for a in args], check)


def wait_for(what, probe, timeout=10.0, interval=0.1):
    """Polls `probe` until it gives something true; fails after `timeout`."""
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

    @property
    def geometry(self):
        return (self.x, self.y, self.w, self.h)

    def __repr__(self):
        return "%r at %d,%d %dx%d" % (self.name, self.x, self.y, self.w, self.h)


def describe(xid):
    """Name and place of one window, or None when it has gone meanwhile."""
    out = xdotool("getwindowname", xid, "getwindowgeometry", "--shell", xid, check=False)
    lines = out.splitlines()
    if len(lines) < 5:
        return None
    values = dict(line.split("=", 1) for line in lines[1:] if "=" in line)
    try:
        return Window(xid, lines[0], int(values["X"]), int(values["Y"]),
                      int(values["WIDTH"]), int(values["HEIGHT"]))
    except (KeyError, ValueError):
        return None


def visible_windows(classname):
    """The mapped top-level windows whose X class is `classname` (Wine names
    it after the process, e.g. quiblet.exe); 1x1 helper windows left out."""
    ids = xdotool("search", "--onlyvisible", "--classname", "^%s$" % classname.replace(".", r"\."),
                  check=False).split()
    found = [describe(xid) for xid in ids]
    return [w for w in found if w and (w.w > 1 or w.h > 1)]


def window_named(name, timeout=10.0):
    return wait_for("a window named %r" % name,
                    lambda: next((w for w in visible_windows("quiblet.exe") if w.name == name), None),
                    timeout)


def click(x, y, button=1):
    xdotool("mousemove", x, y, "click", button)


def wait_focus(window, timeout=10):
    """Waits until Wine has made `window` the active one; it moves the X
    focus along, and keys typed now reach it."""
    wait_for("%r to take the keyboard focus" % window.name,
             lambda: xdotool("getwindowfocus", check=False).strip() == str(window.xid), timeout)


def press_keys(window, *keys):
    """Keys pressed as a keyboard does, once `window` is active."""
    wait_focus(window)
    for key in keys:
        xdotool("key", key)
        time.sleep(0.05)


def type_text(window, text):
    wait_focus(window)
    xdotool("type", "--delay", 40, text)


def drag(x0, y0, x1, y1, steps=8):
    xdotool("mousemove", x0, y0)
    time.sleep(0.2)
    xdotool("mousedown", 1)
    time.sleep(0.2)
    for i in range(1, steps + 1):
        time.sleep(0.05)
        xdotool("mousemove", x0 + (x1 - x0) * i // steps, y0 + (y1 - y0) * i // steps)
    time.sleep(0.1)
    xdotool("mouseup", 1)


class Shot:
    """One picture of the whole screen, from `xwd -root`."""

    def __init__(self):
        for attempt in range(3):
            done = subprocess.run(["xwd", "-root", "-silent"], capture_output=True)
            if done.returncode == 0:
                break
            time.sleep(0.1)  # a window that vanishes during the dump makes xwd fail
        else:
            raise Failure("xwd failed: %s" % done.stderr.decode(errors="replace").strip())
        data = done.stdout
        head = struct.unpack(">25I", data[:100])
        header_size, depth = head[0], head[3]
        self.width, self.height = head[4], head[5]
        little = head[7] == 0
        bits, self.stride = head[11], head[12]
        masks = head[14:17]
        colours = head[19]
        if depth != 24 or bits not in (24, 32) or not little or masks != (0xFF0000, 0xFF00, 0xFF):
            raise Failure("unexpected screen format: depth %d, %d bits, masks %r" % (depth, bits, masks))
        self.step = bits // 8
        self.pixels = data[header_size + 12 * colours:]

    def rgb(self, x, y):
        i = y * self.stride + x * self.step
        b, g, r = self.pixels[i:i + 3]
        return (r, g, b)

    def count(self, box, colour):
        x0, y0, x1, y1 = box
        return sum(1 for y in range(y0, y1) for x in range(x0, x1) if self.rgb(x, y) == colour)

    def centre(self, box, wanted):
        """Middle of the pixels in `box` whose colour `wanted` accepts, or None."""
        x0, y0, x1, y1 = box
        found = [(x, y) for y in range(y0, y1) for x in range(x0, x1) if wanted(self.rgb(x, y))]
        if not found:
            return None
        xs, ys = [p[0] for p in found], [p[1] for p in found]
        return ((min(xs) + max(xs)) // 2, (min(ys) + max(ys)) // 2)

    def dominant(self, box):
        x0, y0, x1, y1 = box
        tally = {}
        for y in range(y0, y1, 2):
            for x in range(x0, x1, 2):
                c = self.rgb(x, y)
                tally[c] = tally.get(c, 0) + 1
        return max(tally, key=tally.get)

    def save_png(self, path, box=None):
        x0, y0, x1, y1 = box or (0, 0, self.width, self.height)
        x0, y0 = max(x0, 0), max(y0, 0)
        x1, y1 = min(x1, self.width), min(y1, self.height)
        rows = []
        for y in range(y0, y1):
            line = self.pixels[y * self.stride + x0 * self.step: y * self.stride + x1 * self.step]
            row = bytearray(3 * (x1 - x0))
            row[0::3] = line[2::self.step]
            row[1::3] = line[1::self.step]
            row[2::3] = line[0::self.step]
            rows.append(b"\0" + bytes(row))

        def chunk(kind, body):
            return (struct.pack(">I", len(body)) + kind + body
                    + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

        with open(path, "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n"
                    + chunk(b"IHDR", struct.pack(">IIBBBBB", x1 - x0, y1 - y0, 8, 2, 0, 0, 0))
                    + chunk(b"IDAT", zlib.compress(b"".join(rows), 9))
                    + chunk(b"IEND", b""))
