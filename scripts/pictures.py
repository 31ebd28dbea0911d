#!/usr/bin/env python3
"""Pictures of Quiblet in use for the README, taken from the running program.

    pictures.py BUILD_DIR OUT_DIR

Starts the built Quiblet.exe in a fresh start directory (two notes brought
along in its "note.dat", one of them with an alarm that is overdue), makes a
note with formatted text through the tray icon and the text menu, opens the
tray menu, a note's alarm dialog, the general settings and the note list, and
saves each as a cropped PNG; then one note at 100 % and at 150 % display
scale. Runs inside `scripts/winerun --session`; see scripts/screenshots.sh.
"""
import os
import struct
import sys
import time
import zlib

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "tests", "e2e"))
from quiblet_ui import (COMMAND_MENU, PALE_YELLOW, REG_KEY, Quiblet, Shot, choose, click, click_into,  # noqa: E402
                        colorref, drag_note, fresh_registry, gone, note_windows, open_popup, popups, press_keys,
                        push_buttons, set_dpi, settings_put_back, text_menu, text_point, title_button, tray_click,
                        tray_window, type_text, wait_for, wait_notes, window_named, wine_reg, write_index)


def save_png(shot, path, box):
    """Part of a screen shot as an RGB PNG file."""
    x0, y0, x1, y1 = max(box[0], 0), max(box[1], 0), min(box[2], shot.width), min(box[3], shot.height)
    rows = b"".join(b"\0" + bytes(c for x in range(x0, x1) for c in shot.rgb(x, y)) for y in range(y0, y1))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", x1 - x0, y1 - y0, 8, 2, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def save(out, name, *windows, margin=0):
    x0 = min(w.x for w in windows) - margin
    y0 = min(w.y for w in windows) - margin
    x1 = max(w.x + w.w for w in windows) + margin
    y1 = max(w.y + w.h for w in windows) + margin
    time.sleep(0.3)  # let the last repaint land
    path = os.path.join(out, name)
    save_png(Shot(), path, (x0, y0, x1, y1))
    print("wrote %s (%dx%d)" % (path, x1 - x0, y1 - y0))


def bring_notes(folder):
    notes = [dict(left=250, top=60, width=200, height=150, fileName="Bild0000001.dat",
                  backColor=colorref((203, 254, 203)),
                  text=r"{\rtf1\ansi{\fonttbl{\f0 Arial;}}\f0\fs20 Projekt \b Quiblet\b0:\par"
                       r"\i Bilder ins README\i0\par}"),
             dict(left=470, top=60, width=190, height=150, fileName="Bild0000002.dat",
                  backColor=colorref((203, 203, 254)), alarmYear=2001, alarmMonth=2, alarmDay=3,
                  alarmHour=10, alarmMinute=15, alarmOn=1,
                  text=r"{\rtf1\ansi{\fonttbl{\f0 Arial;}}\f0\fs20 Zahnarzt anrufen!\par}")]
    for note in notes:
        with open(os.path.join(folder, note["fileName"]), "w") as f:
            f.write(note.pop("text"))
    write_index(folder, notes)


def select_text(note, colour, *keys):
    """Keys pressed in the note until part of its text shows selected (inverted)."""
    inverse = tuple(255 - c for c in colour)
    click_into(note)
    press_keys(note, *keys)

    def selected():
        shot = Shot()
        return sum(1 for y in range(note.y + 20, note.y + note.h) for x in range(note.x, note.x + note.w)
                   if shot.rgb(x, y) == inverse)
    wait_for("selection by %r" % (keys,), selected, good=lambda count: count > 20)


def select_line(note, down):
    select_text(note, PALE_YELLOW, "ctrl+Home", *["Down"] * down, "Home", "shift+End")


def take(build, out):
    os.makedirs(out, exist_ok=True)
    q = Quiblet(build, os.path.join(build, "pictures-run"))
    try:
        fresh_registry()
        wine_reg("add", REG_KEY, "/v", "Sound", "/t", "REG_DWORD", "/d", "0", "/f")
        os.makedirs(q.data_folder)
        bring_notes(q.data_folder)
        q.start()
        wait_notes(2)

        tray_click()
        note = wait_for("the new note", lambda: next((n for n in note_windows() if n.x > 600), None))
        note = drag_note(note, 30, 60)  # beside the other two
        click(*text_point(note))
        for i, line in enumerate(("Montag", "Zahnarzt 10:30", "Blumen giessen", "alte Liste", "Brot, Milch")):
            if i:
                press_keys(note, "Return")
            type_text(note, line)
        select_text(note, PALE_YELLOW, "ctrl+End", "shift+ctrl+Home")
        text_menu(note, "Fett")  # the whole text in one weight first
        for line, items in ((0, ("Fett", "Zentriert")), (1, ("Kursiv",)), (2, ("Unterstrichen",)),
                            (3, ("Durchgestrichen",))):
            for item in items:
                select_line(note, line)
                text_menu(note, item)
        click(*text_point(note))
        press_keys(note, "ctrl+End")
        shown = wait_notes(3)
        save(out, "notes.png", tray_window(), *shown, margin=10)

        menu = open_popup(lambda: tray_click(3))
        save(out, "tray-menu.png", tray_window(), menu)
        click(menu.x + menu.w + 200, menu.y + menu.h + 200)  # a click beside the menu closes it
        wait_for("the tray menu to close", lambda: menu.xid not in popups())

        choose(lambda: click(*title_button(note, "menu")), COMMAND_MENU, "&Einstellungen")
        dialog = window_named("Einstellungen / Alarm")
        save(out, "alarm-dialog.png", dialog)
        click(*push_buttons(dialog)[-1])  # "Schließen", at the lower right
        wait_for("the alarm dialog to close", lambda: gone(dialog))

        q.tray_command("Einstellungen")
        dialog = window_named("Einstellungen allgemein")
        save(out, "settings.png", dialog)
        click(*push_buttons(dialog)[-1])  # "Schließen", at the lower right
        wait_for("the settings to close", lambda: gone(dialog))

        q.tray_command("Note - Liste anzeigen")
        dialog = window_named("Note - Liste")
        click(dialog.x + dialog.w // 5, dialog.y + dialog.h * 2 // 5)
        press_keys(dialog, "Home")
        save(out, "note-list.png", dialog)
        q.quit()
    finally:
        q.kill_all()


def take_scaled(build, out):
    """One note at 100 % and at 150 % display scale (96 and 144 DPI), at the
    same size in points."""
    try:
        for dpi, name in ((96, "note-100.png"), (144, "note-150.png")):
            set_dpi(dpi)
            q = Quiblet(build, os.path.join(build, "pictures-scaled"))
            try:
                os.makedirs(q.data_folder)
                with open(os.path.join(q.data_folder, "Skala000001.dat"), "w") as f:
                    f.write(r"{\rtf1\ansi{\fonttbl{\f0 Arial;}}\f0\fs20 \b Einkauf\b0\par Brot, Milch\par"
                            r"\i Blumen giessen\i0\par}")
                write_index(q.data_folder, [dict(left=100, top=100, width=180 * dpi // 96, height=120 * dpi // 96,
                                                 fileName="Skala000001.dat", alarmYear=2099, alarmMonth=1,
                                                 alarmDay=1, alarmOn=1)])
                q.start()
                save(out, name, *wait_notes(1), margin=8)
                q.quit()
            finally:
                q.kill_all()
    finally:
        set_dpi(96)


def main(argv):
    if len(argv) != 3:
        print(__doc__)
        return 2
    build, out = os.path.abspath(argv[1]), os.path.abspath(argv[2])
    with settings_put_back(os.path.join(build, "pictures-run-settings")):
        take(build, out)
        take_scaled(build, out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
