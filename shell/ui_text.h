// The texts of the program's message boxes, in one place. They are held as
// UTF-16 and shown with the W functions, so that they read the same on a
// system of any language; the file names stay 8-bit.
#pragma once

#define TEXT_ERROR_CAPTION          L"Error"
#define TEXT_ERR_CREATE_WINDOW      L"Could not create window"
#define TEXT_ERR_CREATE_RTF_WINDOW  L"Could not create rtf window"
#define TEXT_ERR_OPEN_FILE          L"Could not open file"
#define TEXT_ERR_WRITE_FILE         L"Writing data to file"
#define TEXT_ERR_CHAR_FORMAT        L"Setting character format"
#define TEXT_ERR_READ_INDEX \
    L"Could not read \"note.dat\": another program may be using it.\n" \
    L"Its notes are kept in the file. Quiblet reads it again at the next save " \
    L"and saves no notes until it can."
// %hs: the note's content file.
#define TEXT_ERR_READ_NOTE \
    L"Could not read the text of a note from \"%hs\": another program may be " \
    L"using the file, or it is too large.\n" \
    L"The note stays read-only and its file is kept as it is until the text can be read."
#define TEXT_ERR_PRINT              L"Could not print the note: the printer refused the job."
#define TEXT_ERR_EXPORT             L"Could not export the note; the file was left as it was."
#define TEXT_ERR_DATA_FOLDER_LONG   L"The start directory is too long for the notes folder. Please start Quiblet from a shorter directory."
// %s: the folder in which the notes would be kept.
#define TEXT_ERR_DATA_FOLDER_WRITE \
    L"Quiblet cannot keep its notes in \"%s\": the folder cannot be made or written to.\n" \
    L"Please start Quiblet from a folder in which you may write."
// %s: the chosen sound file.
#define TEXT_ERR_SOUND_PATH \
    L"The sound file \"%s\" cannot be kept: its name holds characters that this " \
    L"system's code page cannot store, and it has no short name that would.\n" \
    L"Please choose a file whose folder and name use other characters."

#define TEXT_ALREADY_RUNNING_CAPTION L"kestrix Quiblet - Programm bereits gestartet!"
// %s: the data folder.
#define TEXT_DATA_FOLDER_IN_USE \
    L"Die Notes im Ordner\n%s\nwerden schon von einem anderen Quiblet benutzt, " \
    L"vielleicht auf einem anderen Computer.\n" \
    L"Damit keine Notes verloren gehen, wird dieses Quiblet beendet. " \
    L"Beenden Sie zuerst das andere Quiblet."
#define TEXT_USAGE_HINT \
    L"Ein neues Note können Sie durch einen Klick mit der linken Maustaste\n" \
    L"auf das Note-Symbol in der Taskleiste (rechts unten neben der Uhr)\n" \
    L"erzeugen. Die Programmeinstellungen erreichen Sie mit der rechten Maustaste."

#define TEXT_DELETE_QUESTION        L"Note löschen?"
#define TEXT_DELETE_CAPTION         L"Löschen"

#define TEXT_HELP_PAGE              "..\\hilfe.htm"
#define TEXT_SOUND_DELETED          "..\\Paper1.wav"
#define TEXT_SOUND_HIDDEN           "..\\Paper2.wav"
#define TEXT_DEFAULT_ALARM          "..\\bellsong.wav"
#define TEXT_PRINT_JOB              L"kestrix Quiblet"
