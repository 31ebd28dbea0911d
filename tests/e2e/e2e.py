#!/usr/bin/env python3
"""Quiblet.exe driven by X input, judged by what it draws and saves. Inside
`scripts/winerun --session`: e2e.py BUILD_DIR SCENARIO | e2e.py --list"""
import os
import re
import shutil
import subprocess
import sys

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from quiblet_ui import (BLACK, COMMAND_MENU, PALE_GREEN, RED, REG_KEY, Quiblet, Shot,  # noqa: E402
                        answer_box, check, choose, click, click_into, colorref, drag_note, ended, fresh_registry,
                        gone, note_at, note_windows, pixel_becomes, press_keys, push_buttons, read_index,
                        settings_put_back, text_menu, text_point, title_button, tray_click, type_text, wait_for,
                        wait_notes, window_named, wine_reg, write_index)


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


def hide_and_delete(q):
    """The hide button hides its note only; "Notes verbergen" twice shows the
    notes shown before, "Alle Notes anzeigen" all; deleting asks first."""
    bring_notes(q, {PLACES[0]: "Bleibt", PLACES[1]: "Weg damit"})
    q.start()
    note_at(PLACES[0])
    second = note_at(PLACES[1])
    click(*title_button(second, "hide"))
    check(wait_notes(1)[0].geometry == PLACES[0], "the hide button took the wrong note")
    q.tray_command("Notes verbergen")
    wait_notes(0)
    q.tray_command("Notes verbergen")
    check(wait_notes(1)[0].geometry == PLACES[0], "\"Notes verbergen\" twice shows another note")
    q.tray_command("Alle Notes anzeigen")
    wait_notes(2)
    click(*title_button(note_at(PLACES[1]), "delete"))
    answer_box(window_named("Löschen"), 0)
    wait_notes(1)


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


def alarm_at_startup(q):
    """An alarm due while the program was not running shows its hidden note at
    start in its colour, outlined red until its bell is clicked."""
    bring_notes(q, {PLACES[0]: "Zahnarzt"}, visible=0, backColor=colorref(PALE_GREEN), alarmYear=2001,
                alarmMonth=2, alarmDay=3, alarmOn=1)
    q.start()
    note = note_at(PLACES[0])
    pixel_becomes("the ringing note's outline", note.x, note.y + note.h // 2, RED)
    check(Shot().rgb(*text_point(note)) == PALE_GREEN, "the note is not in its colour")
    click(*title_button(note, "bell"))
    pixel_becomes("the outline after the bell", note.x, note.y + note.h // 2, BLACK)


SCENARIOS = {s.__name__: s for s in (new_note, hide_and_delete, held_index, close_requests, alarm_at_startup,
                                     unicode_typing, home_outside_code_page)}
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
