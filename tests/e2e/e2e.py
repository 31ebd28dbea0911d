#!/usr/bin/env python3
"""Quiblet.exe driven by X input, judged by what it draws and saves. Inside
`scripts/winerun --session`: e2e.py BUILD_DIR SCENARIO | e2e.py --list"""
import datetime
import os
import re
import shutil
import signal
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from quiblet_ui import (BLACK, COMMAND_MENU, PALE_GREEN, RED, REG_KEY, Quiblet, Shot,  # noqa: E402
                        answer_box, check, choose, click, click_into, colorref, drag_note, ended, fresh_registry,
                        gone, note_at, note_windows, pixel_becomes, press_keys, push_buttons, read_index,
                        set_dpi, settings_put_back, text_menu, text_point, title_button, tray_click, type_text,
                        wait_for, wait_notes, window_named, wine_reg, write_index, xdotool)


PLACES = [(200, 150, 180, 200), (500, 150, 180, 200)]


def bring_notes(q, texts, **fields):
    """Notes from an earlier run: {place: text}, `fields` in each record."""
    q.data_folder.mkdir()
    notes = []
    for number, (place, text) in enumerate(texts.items(), 1):
        name = "E2E%08d.dat" % number
        (q.data_folder / name).write_text("{\\rtf1\\ansi %s\\par}" % text)
        left, top, width, height = place
        notes.append(dict(left=left, top=top, width=width, height=height, fileName=name, **fields))
    write_index(q.data_folder, notes)


def saved_text(q, note):
    return (q.data_folder / note["fileName"]).read_text("cp1252")


def rtf_text(rtf):
    """A content file's text: \\uN, \\'xx in cp1252."""
    return re.sub(r"\\u(-?\d+) ?(\\'..|.)?|\\'(..)|\\[a-z]+-?\d* ?|[{}\r\n\0]", lambda m: chr(int(m[1]) % 65536)
                  if m[1] else bytes.fromhex(m[3]).decode("cp1252") if m[3] else "", rtf[rtf.index("\\pard"):])


def typed_and_saved(q, text):
    """Typed into a note a tray click makes, saved by "Beenden"."""
    q.start()
    tray_click()
    note = wait_notes(1)[0]
    click_into(note)
    type_text(note, text)
    q.quit()
    saved = rtf_text(saved_text(q, read_index(q.data_folder)[0]))
    check(saved == text, "saved %r" % saved)


def unicode_typing(q):
    typed_and_saved(q, "ł ś ğ Ω → ✓")


def home_outside_code_page(q):
    """Started as a user from a folder in HOMES."""
    typed_and_saved(q, "Hallo")


def new_note(q):
    """First start: the settings key, no note, a second start refused. A colour
    clicked in the settings colours the note a tray click makes at the bottom;
    "Fett" changes what is typed next; the note is saved where it was moved."""
    q.start()
    check(wine_reg("query", REG_KEY).returncode == 0, "no settings key")
    second = q.launch()
    answer_box(window_named("kestrix Quiblet - Programm bereits gestartet!", 20), 0)
    ended(second)
    check(note_windows() == [], "a note at the first start")
    q.tray_command("Einstellungen")
    dialog = window_named("Einstellungen allgemein")
    area = (dialog.x, dialog.y, dialog.x + dialog.w, dialog.y + dialog.h)
    click(*wait_for("the pale green swatch", lambda: Shot().centre(area, lambda c: c == PALE_GREEN)))
    click(*push_buttons(dialog)[-1])  # "Schließen", at the lower right
    wait_for("the settings dialog to close", lambda: gone(dialog))
    tray_click()
    note = wait_notes(1)[0]
    height = Shot().height
    check(height - 80 < note.y + note.h <= height, "the new note %r is not at the bottom" % (note,))
    pixel_becomes("the new note", *text_point(note), PALE_GREEN)
    click_into(note)
    type_text(note, "Hallo ")
    text_menu(note, "Fett")
    type_text(note, "Welt")
    note = drag_note(note, 310, 290)
    choose(lambda: click(*title_button(note, "menu")), COMMAND_MENU, "&Notes verbergen")
    wait_for("the note hidden", lambda: gone(note))
    saved = read_index(q.data_folder)[0]
    place = (saved["left"], saved["top"], saved["width"], saved["height"])
    check(place == note.geometry, "saved at %r, shown at %r" % (place, note.geometry))
    rtf = saved_text(q, saved)
    typed = re.search(r"Hallo (.*)Welt", rtf)
    check(typed, "the typed text is not saved: %r" % rtf)
    check(re.search(r"\\b0?(?![a-z0-9])", typed.group(1)), "\"Fett\" left the weight as it was: %r" % rtf)
    q.quit()


def held_index(q):
    """"note.dat" held by another program at start: an error box, no note;
    the hold over, "Beenden" saves the old notes and a new one."""
    bring_notes(q, {PLACES[0]: "Eins", PLACES[1]: "Zwei"})
    holder = q.hold("note.dat")
    q.start(answer_error=True)
    check(note_windows() == [], "notes shown from an unread \"note.dat\"")
    holder.kill()
    holder.wait()
    tray_click()
    note = wait_notes(1)[0]
    click_into(note)
    type_text(note, "Neu dazu")
    q.quit()
    saved = read_index(q.data_folder)
    names = [note["fileName"] for note in saved]
    check(names[1:] == ["E2E00000001.dat", "E2E00000002.dat"], "note.dat holds %r" % names)
    check("Neu dazu" in saved_text(q, saved[0]), "the new note's text is not saved")


def close_requests(q):
    """Alt+F4 hides a note, unasked though deleting asks first; taskkill (a
    close request to each window) ends the program with every note saved."""
    q.start()
    texts = ["Erste", "Zweite", "Dritte"]
    for count, text in enumerate(texts, 1):
        before = note_windows()
        tray_click()
        note = next(n for n in wait_notes(count) if n not in before)
        click_into(note)
        type_text(note, text)
    press_keys(note, "alt+F4")
    wait_for("the note hidden", lambda: gone(note))
    wait_notes(2)
    subprocess.run(["wine", "taskkill", "/im", "Quiblet.exe"], capture_output=True, check=True)
    ended(q.proc)
    shown = {}
    for saved in read_index(q.data_folder):
        for text in texts:
            if text in saved_text(q, saved):
                shown[text] = saved["visible"]
    check(shown == {texts[0]: 1, texts[1]: 1, texts[2]: 0}, "texts and shown flags saved: %r" % shown)


def program_processes(q):
    """The Linux processes of this run's Quiblet.exe: Wine names them by the
    program, in the directory they started in."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            named = open("/proc/%s/cmdline" % pid, "rb").read().startswith(b"Quiblet.exe")
            started_here = os.readlink("/proc/%s/cwd" % pid).startswith(str(q.start_dir))
        except OSError:
            continue
        if named and started_here:
            found.append(int(pid))
    return found


def alarm_while_stopped(q):
    """An alarm whose minute passes while the program gets no time (held as
    a sleeping computer holds it) rings when the program runs again: its
    hidden note shows in its colour, outlined red until its bell is clicked."""
    now = datetime.datetime.now()
    due = (now + datetime.timedelta(minutes=1 if now.second < 40 else 2)).replace(second=0, microsecond=0)
    bring_notes(q, {PLACES[0]: "Aufwachen"}, visible=0, backColor=colorref(PALE_GREEN), alarmYear=due.year,
                alarmMonth=due.month, alarmDay=due.day, alarmHour=due.hour, alarmMinute=due.minute, alarmOn=1)
    q.start()
    check(note_windows() == [], "the alarm rang before its minute")
    held = program_processes(q)
    check(held, "no Quiblet.exe process found")
    for pid in held:
        os.kill(pid, signal.SIGSTOP)
    try:
        time.sleep((due + datetime.timedelta(minutes=1, seconds=5) - datetime.datetime.now()).total_seconds())
    finally:
        for pid in held:
            os.kill(pid, signal.SIGCONT)
    note = note_at(PLACES[0])
    pixel_becomes("the ringing note's outline", note.x, note.y + note.h // 2, RED)
    check(Shot().rgb(*text_point(note)) == PALE_GREEN, "the note is not in its colour")
    click(*title_button(note, "bell"))
    pixel_becomes("the outline after the bell", note.x, note.y + note.h // 2, BLACK)


SCALED_PLACE = (200, 150, 260, 260)  # above the smallest size at 200 %


def title_icons(note, dpi):
    """The dark shapes of the title band inside the outline, left to right:
    (left, right, bottom) of each run of columns holding one."""
    shot = Shot()
    inset = 1 + dpi // 96
    rows = range(note.y + inset, note.y + 40 * dpi // 96)
    dark = [x for x in range(note.x + inset, note.x + note.w - inset)
            if any(shot.rgb(x, y) == BLACK for y in rows)]
    runs = []
    for x in dark:
        if runs and x == runs[-1][1] + 1:
            runs[-1][1] = x
        else:
            runs.append([x, x])
    return [(left, right, max(y for y in rows for x in range(left, right + 1) if shot.rgb(x, y) == BLACK))
            for left, right in runs]


def widened(note, by):
    """The note dragged wider by its right border, at its middle."""
    x, y = note.x + note.w - 1, note.y + note.h // 2
    xdotool("mousemove", x, y, "mousedown", 1, "sleep", 0.2, "mousemove", x + by // 2, y, "sleep", 0.1,
            "mousemove", x + by, y, "sleep", 0.1, "mouseup", 1)
    return note_at((note.x, note.y, note.w + by, note.h))


def scaled_frames(q):
    """At 96, 120, 144 and 192 DPI the title icons are drawn at the scale's
    size, clicks on where they are drawn do what the buttons do and the border
    sizes the note; the dialogs hold their controls and whole texts."""
    sizes = {}
    try:
        for dpi in (96, 120, 144, 192):
            set_dpi(dpi)
            shutil.rmtree(q.data_folder, ignore_errors=True)
            bring_notes(q, {SCALED_PLACE: ""})
            q.start()
            note = widened(note_at(SCALED_PLACE), 30)
            icons = wait_for("three title icons", lambda: title_icons(note, dpi), good=lambda i: len(i) == 3)
            sizes[dpi] = [right - left + 1 for left, right, _ in icons]
            for width, plain in zip(sizes[dpi], sizes[96]):
                check(abs(width - plain * dpi / 96) <= 1, "at %d DPI icons %r wide, at 96 %r" % (dpi, sizes[dpi], sizes[96]))
            menu, hide, kill = [((left + right) // 2, bottom - 1) for left, right, bottom in icons]
            choose(lambda: click(*menu), COMMAND_MENU, "&Notes verbergen")
            wait_notes(0)
            q.tray_command("Notes verbergen")
            click(*hide)
            wait_for("the note hidden by its button", lambda: gone(note))
            q.tray_command("Alle Notes anzeigen")
            wait_notes(1)
            click(*kill)
            answer_box(window_named("Löschen"), 0)
            wait_notes(0)
            q.quit()
            # Into a file: Wine's background processes would keep a pipe open.
            with open(q.start_dir / "fit.txt", "w+") as out:
                fit = subprocess.run(["wine", q.build / "tests" / "test_shell.exe", "--gtest_filter=*WholeTexts"],
                                     stdout=out, stderr=subprocess.STDOUT)
                out.seek(0)
                check(fit.returncode == 0, "at %d DPI: %s" % (dpi, out.read()[-1500:]))
    finally:
        set_dpi(96)


SCENARIOS = {s.__name__: s for s in (new_note, held_index, close_requests, alarm_while_stopped,
                                     scaled_frames, unicode_typing, home_outside_code_page)}
HOMES = {"home_outside_code_page": ("Łódź ✓ Notizen", "Łukasz")}


def run(build, name):
    folder, user = HOMES.get(name, (name, None))
    q = Quiblet(build, os.path.join(build, "e2e-run", folder), user)
    try:
        fresh_registry()
        SCENARIOS[name](q)
    except Exception as error:  # the start directory stays, with a screenshot
        subprocess.run(["xwd", "-root", "-silent", "-out", q.start_dir / "screen.xwd"])
        print("FAIL %s: %s (see %s)" % (name, error, q.start_dir))
        return 1
    finally:
        q.kill_all()
    shutil.rmtree(q.start_dir)
    print("ok   %s" % name)
    return 0


def main(argv):
    if argv[1:] == ["--list"]:
        print("\n".join(SCENARIOS))
        return 0
    if len(argv) != 3 or argv[2] not in SCENARIOS:
        print(__doc__)
        return 2
    build = os.path.abspath(argv[1])
    with settings_put_back(os.path.join(build, "e2e-run")):
        return run(build, argv[2])


if __name__ == "__main__":
    sys.exit(main(sys.argv))
