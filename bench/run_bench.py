#!/usr/bin/env python3
"""Runs Quiblet's benchmark programs beside their floors and prints one table.

Runs inside `scripts/winerun --session` (Wine prefix, wineserver and screen
set up); scripts/bench.sh builds and calls it:

    run_bench.py --build <build dir> [--runs N] [--process-runs N]
                 [--launch-runs N] [--profile-runs N] [--cycles N] [--cycle-seconds S]

Every figure is measured side by side with its floor in the same run; the
program's and the floor's runs alternate so that drift of a busy machine
falls on both. The table gives min/median/max of each and the ratio of the
medians.
"""
import argparse
import os
import platform
import re
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time

RESULT = re.compile(r"^RESULT (\S+) (\S+)\s*$")
TRAY_TITLE = "Wine System Tray"


def log(text):
    print(text, file=sys.stderr, flush=True)


class Failed(Exception):
    def __init__(self, message, values=None):
        super().__init__(message)
        self.values = values or {}


def run_windows(program, *args, cwd=None, timeout=600):
    """Runs a Windows program to its end and returns its RESULT values."""
    # A file, not a pipe: Wine's own background processes may inherit the
    # output and would hold a pipe open.
    with tempfile.TemporaryFile(mode="w+") as out:
        done = subprocess.run(["wine", program, *args], stdout=out, stderr=subprocess.DEVNULL,
                              cwd=cwd, timeout=timeout)
        out.seek(0)
        text = out.read()
    values = {}
    for line in text.splitlines():
        match = RESULT.match(line.strip())
        if match:
            values.setdefault(match.group(1), []).append(float(match.group(2)))
    if done.returncode != 0:
        raise Failed(f"{os.path.basename(program)} {' '.join(args)} ended with {done.returncode}", values)
    return values


class Samples:
    """The values of every figure, program side and floor side."""

    def __init__(self):
        self.program = {}
        self.floor = {}

    def add(self, side, values):
        """Adds a program's values; a program that ran a floor beside the
        program in its own process names those values "floor_<figure>"."""
        for key, items in values.items():
            target = self.program if side == "program" else self.floor
            if key.startswith("floor_"):
                target, key = self.floor, key[len("floor_"):]
            target.setdefault(key, []).extend(items)


# ---- The tray on the X screen ------------------------------------------------
def xwd_pixels(window):
    """The window's pixels as rows of 32-bit values, or None."""
    try:
        data = subprocess.run(["xwd", "-id", window, "-silent"], stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, timeout=5).stdout
    except subprocess.TimeoutExpired:
        return None
    if len(data) < 100:
        return None
    (header_size, _version, _format, _depth, width, height, _xoffset, byte_order, _unit, _bit_order,
     _pad, bits_per_pixel, bytes_per_line, _visual, _red, _green, _blue, _bits_rgb, _entries,
     colors, *_rest) = struct.unpack(">25I", data[:100])
    if bits_per_pixel != 32:
        return None
    start = header_size + colors * 12
    fmt = "<" if byte_order == 0 else ">"
    rows = []
    for y in range(height):
        line = data[start + y * bytes_per_line:start + y * bytes_per_line + width * 4]
        if len(line) < width * 4:
            return None
        rows.append(struct.unpack(f"{fmt}{width}I", line))
    return rows


class Tray:
    """Wine's stand-alone tray window ("Wine System Tray"), which explorer.exe
    makes for the first icon and unmaps when the last one goes."""

    def __init__(self):
        self.window = None

    def find(self):
        if self.window:
            return self.window
        found = subprocess.run(["xdotool", "search", "--name", TRAY_TITLE], stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, text=True).stdout.split()
        self.window = found[0] if found else None
        return self.window

    def mapped(self):
        info = subprocess.run(["xwininfo", "-id", self.window], stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, text=True)
        if info.returncode != 0:
            self.window = None   # gone (explorer.exe made anew): search again
            return False
        return "IsViewable" in info.stdout

    def icon_shown(self):
        """True when the tray is on the screen with an icon drawn in it: the
        lower half of the window (below the caption, inside the frame) holds
        enough pixels that differ from its background."""
        if not self.find() or not self.mapped():
            return False
        rows = xwd_pixels(self.window)
        if not rows:
            return False
        height, width = len(rows), len(rows[0])
        area = [rows[y][x] for y in range(height // 2 + 2, height - 4) for x in range(6, width - 6)]
        if not area:
            return False
        background = statistics.mode(area)
        return sum(1 for pixel in area if pixel != background) >= 20

    def wait(self, shown, timeout):
        deadline = time.perf_counter() + timeout
        while time.perf_counter() < deadline:
            if self.icon_shown() == shown:
                return time.perf_counter()
            time.sleep(0.003)
        return None


def launch_to_tray(tray, bench_dir, exe_path, args, image_name):
    """Launches a program from a fresh start directory and returns the
    milliseconds until its icon is on the screen; then ends it."""
    if tray.find() and tray.icon_shown() and tray.wait(False, 20) is None:
        raise Failed("the tray still shows an icon before the launch")
    start_dir = tempfile.mkdtemp(prefix="quiblet-launch-")
    try:
        shutil.copy(exe_path, start_dir)
        started = time.perf_counter()
        process = subprocess.Popen(["wine", os.path.join(start_dir, os.path.basename(exe_path)), *args],
                                   cwd=start_dir, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        shown = tray.wait(True, 60)
        closed = subprocess.run(["wine", os.path.join(bench_dir, "bench_close.exe"), image_name],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60).returncode
        try:
            process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
        if shown is None:
            raise Failed(f"no tray icon of {image_name} appeared")
        if closed != 0:
            raise Failed(f"{image_name} did not end on WM_CLOSE")
        if tray.wait(False, 20) is None:
            raise Failed(f"the icon of {image_name} stayed in the tray")
        return (shown - started) * 1000.0
    finally:
        shutil.rmtree(start_dir, ignore_errors=True)


# ---- The measurements ----------------------------------------------------------
class Run:
    """One benchmark run: where its programs are, what they gave, what failed."""

    def __init__(self, build):
        self.bench = os.path.join(build, "bench")
        self.quiblet = os.path.join(build, "Quiblet.exe")
        self.samples = Samples()
        self.failures = []

    def exe(self, name):
        return os.path.join(self.bench, name + ".exe")


def attempt(run, what, step, *arguments, **options):
    """Does one step of the run; a failure is noted and the run goes on."""
    try:
        step(run, *arguments, **options)
    except (Failed, subprocess.TimeoutExpired) as error:
        run.failures.append(f"{what}: {error}")
        log(f"  FAILED: {error}")


def collect(run, side, name, *arguments, timeout=600):
    """Runs a benchmark program and keeps its values, also those it printed
    before it failed."""
    try:
        run.samples.add(side, run_windows(run.exe(name), *arguments, timeout=timeout))
    except Failed as error:
        run.samples.add(side, error.values)
        raise


def warm_up(run):
    """Wineserver, explorer and the disk caches warm; the program's own key
    set to start without the info screen."""
    run_windows(run.exe("floor_tray"), "measure")
    run_windows(run.exe("bench_quiblet"), "startup")
    run_windows(run.exe("bench_quiblet"), "settings")


def launch(run, tray, side, counted=True):
    """One launch to the tray icon, of the program or of its floor."""
    if side == "program":
        ms = launch_to_tray(tray, run.bench, run.quiblet, [], "Quiblet.exe")
    else:
        ms = launch_to_tray(tray, run.bench, run.exe("floor_tray"), ["stay"], "floor_tray.exe")
    if counted:
        run.samples.add(side, {"launch_ms": [ms]})


def warm_up_launches(run, tray):
    launch(run, tray, "program", counted=False)
    launch(run, tray, "floor", counted=False)


def profile_once(run):
    collect(run, "program", "profile_quiblet", "startup")
    collect(run, "floor", "floor_tray", "profile")
    collect(run, "program", "profile_quiblet", "notes")
    collect(run, "floor", "floor_notes", "profile", "11")
    collect(run, "program", "profile_quiblet", "create")
    collect(run, "program", "profile_quiblet", "save")
    collect(run, "program", "profile_quiblet", "load")
    collect(run, "program", "profile_quiblet", "idle")


def measure(args):
    run = Run(args.build)
    log("== warming up (wineserver, explorer, disk caches)")
    attempt(run, "warm-up", warm_up)

    log(f"== start-up to tray icon ready, {args.process_runs} fresh processes each")
    for _ in range(args.process_runs):
        attempt(run, "start-up", collect, "program", "bench_quiblet", "startup")
        attempt(run, "start-up floor", collect, "floor", "floor_tray", "measure")

    log(f"== start-up with 100 visible notes, {args.process_runs} fresh processes each")
    for _ in range(args.process_runs):
        attempt(run, "100 notes", collect, "program", "bench_quiblet", "start", "100")
        attempt(run, "100 notes floor", collect, "floor", "floor_notes", "start", "100")

    memory_runs = max(3, args.process_runs // 2)
    log(f"== peak memory with 1,000 notes, {memory_runs} fresh processes each")
    for _ in range(memory_runs):
        attempt(run, "1000 notes", collect, "program", "bench_quiblet", "start", "1000")
        attempt(run, "1000 notes floor", collect, "floor", "floor_notes", "start", "1000")

    scale_runs = max(3, args.process_runs // 3)
    log(f"== scale: 1,000 and 10,000 notes, 100 shown, {scale_runs} fresh processes each")
    for _ in range(scale_runs):
        for notes in SCALE_NOTES:
            attempt(run, f"scale {notes}", collect, "program", "bench_quiblet", "scale", str(notes), "5")

    log(f"== CreateNote, SaveNotes, showing all notes, the note list, each with its floor in turn, LoadNotes,"
        f" alarm pass, idle tick: {args.runs} runs each")
    attempt(run, "repeated figures", collect, "program", "bench_quiblet", "repeat", str(args.runs))
    attempt(run, "read floor", collect, "floor", "floor_read", str(args.runs))

    log(f"== launch to tray icon on the screen, {args.launch_runs} launches each")
    tray = Tray()
    attempt(run, "launch warm-up", warm_up_launches, tray)
    for _ in range(args.launch_runs):
        attempt(run, "launch", launch, tray, "program")
        attempt(run, "launch floor", launch, tray, "floor")

    log(f"== GDI and USER objects around up to {args.cycles} show/hide cycles of 100 notes"
        f" ({'no time limit' if args.cycle_seconds <= 0 else f'at most {args.cycle_seconds:.0f} s'})")
    attempt(run, "objects", collect, "program", "bench_quiblet", "objects", str(args.cycles),
            str(args.cycle_seconds), timeout=36000)

    if args.profile_runs > 0:
        log(f"== where the time goes: the steps, {args.profile_runs} runs each")
        for _ in range(args.profile_runs):
            attempt(run, "profile", profile_once)
    return run.samples, run.failures


# ---- The table -------------------------------------------------------------------
def fmt(value):
    if value is None:
        return "–"
    if abs(value) >= 100:
        return f"{value:.0f}"
    if abs(value) >= 10:
        return f"{value:.1f}"
    return f"{value:.2f}"


def spread(values, scale=1.0):
    if not values:
        return "failed", None
    values = [v * scale for v in values]
    med = statistics.median(values)
    return f"{fmt(min(values))} / **{fmt(med)}** / {fmt(max(values))}", med


def ratio_row(figure, samples, key, unit, goal, limit, scale=1.0):
    program_text, program_med = spread(samples.program.get(key, []), scale)
    floor_text, floor_med = spread(samples.floor.get(key, []), scale)
    runs = f"{len(samples.program.get(key, []))} / {len(samples.floor.get(key, []))}"
    ratio = program_med / floor_med if program_med and floor_med else None
    if limit is None or ratio is None:
        met = "–" if limit is None else "no (failed)"
    else:
        met = "yes" if ratio <= limit else "**no**"
    return [figure, unit, program_text, floor_text, runs, fmt(ratio), goal, met]


def memory_rows(samples):
    rows = []
    for kind, label in (("ws", "peak working set"), ("commit", "peak private (commit)")):
        for notes, text in ((0, "0 notes"), (100, "100 notes"), (1000, "1,000 notes, 100 visible")):
            key = f"mem{notes}_peak_{kind}_kb"
            rows.append(ratio_row(f"Memory, {label}, {text}", samples, key, "MiB", "report", None,
                                  scale=1 / 1024))

        def per_note(side, more, fewer, count):
            a, b = side.get(f"mem{more}_peak_{kind}_kb"), side.get(f"mem{fewer}_peak_{kind}_kb")
            return (statistics.median(a) - statistics.median(b)) / count if a and b else None

        for more, fewer, count, text in ((100, 0, 100, "per visible note"), (1000, 100, 900, "per hidden note")):
            p = per_note(samples.program, more, fewer, count)
            f = per_note(samples.floor, more, fewer, count)
            rows.append([f"Memory, {label}, {text} (median difference)", "KiB", fmt(p), fmt(f), "–",
                         fmt(p / f) if p and f and f > 0 else "–", "report", "–"])
    return rows


def object_rows(samples):
    rows = []
    done = samples.program.get("cycles_done", [0])[0]
    for key, label in (("gdi", "GDI objects"), ("user", "USER objects"), ("handles", "Kernel handles")):
        before = samples.program.get(f"{key}_before")
        after = samples.program.get(f"{key}_after")
        if not before or not after:
            rows.append([f"{label}, 100 notes, before → after the show/hide cycles", "count", "failed", "–", "1",
                         "–", "no growth", "no (failed)"])
            continue
        growth = after[0] - before[0]
        rows.append([f"{label}, 100 notes, before → after {done:.0f} show/hide cycles", "count",
                     f"{before[0]:.0f} → {after[0]:.0f}", "–", "1", "–", "no growth",
                     "yes" if growth <= 0 else f"**no** (+{growth:.0f})"])
    return rows


def note_list_row(samples):
    """Two goals: at most 100 ms, and at most twice the floor."""
    row = ratio_row("Note list filled, 1,000 notes (FillNoteList, painted)", samples, "notelist_ms", "ms",
                    "≤ 100 ms and ≤ 2", 2)
    values = samples.program.get("notelist_ms", [])
    if values and row[-1] == "yes" and statistics.median(values) > 100:
        row[-1] = "**no**"
    return row


SCALE_NOTES = (1000, 10000)
SCALE_FIGURES = (
    ("start_ms", "ms", "Start-up to all windows shown, 100 of them visible", 1),
    ("notelist_ms", "ms", "Note list filled (FillNoteList, painted)", 1),
    ("save1_ms", "ms", "SaveNotes, one of the 100 open notes changed", 1),
    ("gdi", "count", "GDI objects held, 100 notes shown", 1),
    ("peak_ws_kb", "MiB", "Memory, peak working set", 1 / 1024),
    ("peak_commit_kb", "MiB", "Memory, peak private (commit)", 1 / 1024),
)


def scale_table(samples):
    """The figures that grow with the notes, at 1,000 and at 10,000 notes;
    ten times the notes should cost at most ten times as much."""
    few, many = SCALE_NOTES
    growth_limit = many / few
    lines = ["| Figure | Unit | 1,000 notes min / **median** / max | 10,000 notes min / **median** / max | "
             "Growth of medians | Goal | Met |", "|---|---|---|---|---|---|---|"]
    for key, unit, label, scale in SCALE_FIGURES:
        few_text, few_med = spread(samples.program.get(f"scale{few}_{key}", []), scale)
        many_text, many_med = spread(samples.program.get(f"scale{many}_{key}", []), scale)
        growth = many_med / few_med if few_med and many_med else None
        met = "no (failed)" if growth is None else "yes" if growth <= growth_limit else "**no**"
        lines.append(f"| {label} | {unit} | {few_text} | {many_text} | {fmt(growth)} | ≤ {growth_limit:.0f} | {met} |")
    for kind, label in (("ws", "peak working set"), ("commit", "peak private (commit)")):
        a = samples.program.get(f"scale{many}_peak_{kind}_kb")
        b = samples.program.get(f"scale{few}_peak_{kind}_kb")
        per_note = (statistics.median(a) - statistics.median(b)) / (many - few) if a and b else None
        lines.append(f"| Memory, {label}, per hidden note (median difference) | KiB | – | {fmt(per_note)} | – | "
                     f"report | – |")
    return "\n".join(lines)


def table(samples, args):
    rows = [
        ratio_row("Start-up to tray icon ready, no notes (in-process)", samples, "startup_us", "ms", "≤ 1.2", 1.2,
                  scale=1 / 1000),
        ratio_row("Start-up to all windows shown, 100 visible notes of ~2 KB RTF", samples, "notes100_ms", "ms",
                  "≤ 1.00", 1.0),
        ratio_row("Whole process, launch to tray icon on the screen", samples, "launch_ms", "ms", "≤ 1.2", 1.2),
        ratio_row("Tray click to new note shown (CreateNote)", samples, "createnote_ms", "ms", "≤ 1.10", 1.1),
        ratio_row("Showing all 100 hidden notes (tray \"Alle Notes anzeigen\")", samples, "showall_ms", "ms",
                  "≤ 1.15", 1.15),
        ratio_row("SaveNotes, 100 open notes of ~2 KB, all changed", samples, "save100_ms", "ms", "≤ 1.3", 1.3),
        ratio_row("SaveNotes, 100 open notes, one changed", samples, "save1of100_ms", "ms", "≤ 1.5", 1.5),
        ratio_row("SaveNotes, 1,000 notes, the 100 open ones changed", samples, "save1000_ms", "ms", "≤ 1.3", 1.3),
        ratio_row("LoadNotes, 1,000 records", samples, "load1000_ms", "ms", "≤ 5", 5),
        note_list_row(samples),
    ]
    alarm = samples.program.get("alarmpass_us", [])
    alarm_text, alarm_med = spread(alarm)
    rows.append(["One alarm pass (CheckAlarms), 1,000 notes, none due", "µs", alarm_text, "–", str(len(alarm)),
                 "–", "< 100 µs", "yes" if alarm_med is not None and alarm_med < 100 else "**no**"])
    tick = samples.program.get("idletick_us", [])
    tick_text, tick_med = spread(tick)
    rows.append(["One idle timer tick (alarm pass and autosave check), 1,000 notes, 100 open, nothing changed",
                 "µs", tick_text, "–", str(len(tick)), "–", "≤ 100 µs",
                 "yes" if tick_med is not None and tick_med <= 100 else "**no**"])
    rows += memory_rows(samples)
    rows += object_rows(samples)
    cycle = samples.program.get("cycle_ms", [])
    if cycle:
        rows.append([f"One show/hide cycle of 100 notes (every 10th timed)", "ms",
                     spread(cycle)[0], "–", str(len(cycle)), "–", "report", "–"])
    size = os.path.getsize(os.path.join(args.build, "Quiblet.exe"))
    rows.append(["Size of Quiblet.exe", "KiB", f"{size / 1024:.0f}", "–", "–", "–", "report", "–"])

    head = ["Figure", "Unit", "Program min / **median** / max", "Floor min / **median** / max",
            "Runs (program / floor)", "Ratio of medians", "Goal", "Met"]
    lines = ["| " + " | ".join(head) + " |", "|" + "|".join("---" for _ in head) + "|"]
    lines += ["| " + " | ".join(row) + " |" for row in rows]
    return "\n".join(lines)


PROFILE_AREAS = (
    ("startup", "floor_startup", "Start-up to the tray icon, no notes", {
        "note_class": "class", "main_dialog": "dialog"}),
    ("notes", "floor_notes", "Start-up with 100 visible notes (MakeNoteWindow's steps summed over the notes)", {}),
    ("create", "floor_create", "CreateNote, per new note (NewNoteRecord, then MakeNoteWindow's steps)", {}),
    ("save", None, "SaveNotes with 100 open notes, one or none changed, beside its parts done alone (5 rounds)", {}),
    ("load", None, "LoadNotes of 1,000 records beside its parts done alone (5 rounds)", {}),
    ("idle", None, "An idle timer tick with 1,000 notes, 100 open (each part per tick)", {}),
)


def profile_table(samples):
    """The medians of the timed steps, the floor's step of the same kind
    beside the program's."""
    lines = []
    for area, floor_area, title, same in PROFILE_AREAS:
        prefix = f"prof_{area}_"
        steps = [key for key in samples.program if key.startswith(prefix)]
        if not steps:
            continue
        lines += ["", f"{title}:", "", "| Step | Program median | Floor median |", "|---|---|---|"]
        for key in steps:
            step = key[len(prefix):]
            unit = "ms"
            scale = 1 / 1000
            if step.endswith("_us"):
                step = step[:-3]
            else:
                unit, scale = "bytes", 1
            program = statistics.median(samples.program[key]) * scale
            floor = None
            if floor_area:
                floor_key = f"prof_{floor_area}_{same.get(step, step)}_us"
                if floor_key in samples.floor:
                    floor = statistics.median(samples.floor[floor_key]) * scale
            lines.append(f"| {step.replace('_', ' ')} | {fmt(program)} {unit} | "
                         f"{fmt(floor) + ' ' + unit if floor is not None else '–'} |")
    return "\n".join(lines)


def machine_header(args):
    cpu = "unknown"
    with open("/proc/cpuinfo") as info:
        for line in info:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    memory = "unknown"
    with open("/proc/meminfo") as info:
        for line in info:
            if line.startswith("MemTotal"):
                memory = f"{int(line.split()[1]) / 1024 / 1024:.1f} GiB"
                break
    wine = subprocess.run(["wine", "--version"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          text=True).stdout.strip()
    return "\n".join([
        f"Machine: {os.cpu_count()} CPUs ({cpu}), {memory} memory, {platform.system()} {platform.release()}",
        f"Wine: {wine}, screen {os.environ.get('DISPLAY', '?')}, prefix {os.environ.get('WINEPREFIX', '?')}",
        f"Runs: {args.process_runs} fresh processes per start-up figure (memory with 1,000 notes: "
        f"{max(3, args.process_runs // 2)}), {args.launch_runs} launches per side, {args.runs} runs of each "
        f"in-process figure after one uncounted run, an alarm run = the mean of 1,000 passes, a tick run the mean of 100 ticks, "
        f"up to {args.cycles} show/hide cycles"
        + (f" or {args.cycle_seconds:.0f} s" if args.cycle_seconds > 0 else ""),
        f"Date: {time.strftime('%Y-%m-%d %H:%M')}",
    ])


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", required=True)
    parser.add_argument("--runs", type=int, default=11, help="runs of each in-process figure")
    parser.add_argument("--process-runs", type=int, default=9, help="fresh processes per start-up figure")
    parser.add_argument("--launch-runs", type=int, default=7, help="launches per side")
    parser.add_argument("--profile-runs", type=int, default=3, help="runs of the step profiles (0: none)")
    parser.add_argument("--cycles", type=int, default=1000, help="show/hide cycles for the object counts")
    parser.add_argument("--cycle-seconds", type=float, default=120,
                        help="stop the cycles after this many seconds (0: run them all)")
    args = parser.parse_args()
    args.build = os.path.abspath(args.build)

    began = time.perf_counter()
    samples, failures = measure(args)
    print(machine_header(args))
    print()
    print(table(samples, args))
    print()
    print("Scale, 100 notes shown (one fresh process per column and run, 5 runs of the list and the save each):")
    print()
    print(scale_table(samples))
    profile = profile_table(samples)
    if profile:
        print()
        print("Where the time goes (medians of the steps, one run = one fresh process):")
        print(profile)
    print()
    print(f"Measured in {time.perf_counter() - began:.0f} s.")
    for failure in failures:
        print(f"FAILED: {failure}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
