#!/usr/bin/env python3
"""Quiblet driven through X input alone and judged by windows, pixels, files,
registry and exit code; places come from what is drawn, never from sizes
measured once. Usage, inside `scripts/winerun --session`:
e2e.py BUILD_DIR [SCENARIO...] | e2e.py --list"""
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
from xscreen import Shot, click, press_keys, type_text, wait_for, window_named, xdotool  # noqa: E402
from quiblet_ui import (BLACK, COMMAND_MENU, PALE_GREEN, PALE_YELLOW, RED, REG_KEY, Quiblet,  # noqa: E402
                        answer_box, bring_notes, check, choose, colorref, drag_note, fresh_registry, gone,
                        heights_during, note_at, note_windows, open_popup, pixel_becomes, place_of, popups,
                        push_buttons, read,
                        read_index, rtf_text, select_text, settings_put_back, text_menu, text_point, title_button,
                        tray_click, wait_notes, wine_reg)


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
