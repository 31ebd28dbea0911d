// The texts of the program's message boxes, in one place.
#pragma once

#define TEXT_ERROR_CAPTION          "Error"
#define TEXT_ERR_CREATE_WINDOW      "Could not create window"
#define TEXT_ERR_CREATE_RTF_WINDOW  "Could not create rtf window"
#define TEXT_ERR_OPEN_FILE          "Could not open file"
#define TEXT_ERR_WRITE_FILE         "Writing data to file"
#define TEXT_ERR_CHAR_FORMAT        "Setting character format"
#define TEXT_ERR_READ_INDEX \
    "Could not read \"note.dat\": another program may be using it.\n" \
    "Its notes are kept in the file. Quiblet reads it again at the next save " \
    "and saves no notes until it can."
// %s: the note's content file.
#define TEXT_ERR_READ_NOTE \
    "Could not read the text of a note from \"%s\": another program may be " \
    "using the file, or it is too large.\n" \
    "The note stays read-only and its file is kept as it is until the text can be read."
#define TEXT_ERR_PRINT              "Could not print the note: the printer refused the job."
#define TEXT_ERR_EXPORT             "Could not export the note; the file was left as it was."
#define TEXT_ERR_DATA_FOLDER_LONG   "The start directory is too long for the notes folder. Please start Quiblet from a shorter directory."

#define TEXT_ALREADY_RUNNING_CAPTION "kestrix Quiblet - Programm bereits gestartet!"
// %s: the data folder.
#define TEXT_DATA_FOLDER_IN_USE \
    "Die Notes im Ordner\n%s\nwerden schon von einem anderen Quiblet benutzt, " \
    "vielleicht auf einem anderen Computer.\n" \
    "Damit keine Notes verloren gehen, wird dieses Quiblet beendet. " \
    "Beenden Sie zuerst das andere Quiblet."
#define TEXT_USAGE_HINT \
    "Ein neues Note können Sie durch einen Klick mit der linken Maustaste\n" \
    "auf das Note-Symbol in der Taskleiste (rechts unten neben der Uhr)\n" \
    "erzeugen. Die Programmeinstellungen erreichen Sie mit der rechten Maustaste."

#define TEXT_DELETE_QUESTION        "Note löschen?"
#define TEXT_DELETE_CAPTION         "Löschen"

#define TEXT_HELP_PAGE              "..\\hilfe.htm"
#define TEXT_SOUND_DELETED          "..\\Paper1.wav"
#define TEXT_SOUND_HIDDEN           "..\\Paper2.wav"
#define TEXT_DEFAULT_ALARM          "..\\bellsong.wav"
#define TEXT_PRINT_JOB              "kestrix Quiblet"
