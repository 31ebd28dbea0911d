// Resource, control and command ids, shared by quiblet.rc and the code.
// The numbers are fixed: menus, dialogs and stored layouts depend on them.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// ---- Icons and bitmaps -------------------------------------------------
#define IDI_TRAY                132   // white writing pad with a blue pencil
#define IDI_KILL                134   // title bar: delete
#define IDI_MENU                135   // title bar: command menu
#define IDI_HIDE                141   // title bar: hide (rolled-up sheet)
#define IDI_ALARM               143   // title bar: red bell
#define IDI_SPEAKER             145   // grey loudspeaker (dialog decoration)
#define IDI_BELL                158   // grey bell (dialog decoration)
#define IDB_LOGO                139   // info screen logo, 229 x 94
#define IDB_BANNER              140   // info screen banner, 110 x 510

// ---- Menu 165 and its three pop-ups -------------------------------------
#define IDR_MAIN_MENU           165
#define MENU_POS_NOTES          0
#define MENU_POS_TASKBAR        1
#define MENU_POS_COMMAND        2

// NotesMenu (text menu of a note)
#define IDM_TEXT_COPY           40001
#define IDM_TEXT_CUT            40002
#define IDM_TEXT_PASTE          40003
#define IDM_TEXT_UNDO           40004
#define IDM_TEXT_BOLD           40005
#define IDM_TEXT_ITALIC         40006
#define IDM_TEXT_UNDERLINE      40007
#define IDM_TEXT_ALIGN_LEFT     40009
#define IDM_TEXT_ALIGN_CENTER   40010
#define IDM_TEXT_ALIGN_RIGHT    40011
#define IDM_TEXT_FONT           40012
#define IDM_TEXT_STRIKEOUT      40013

// TaskBarMenu (tray menu)
#define IDM_TRAY_QUIT           40014
#define IDM_TRAY_INFO           40015
#define IDM_TRAY_HIDE_NOTES     40016
#define IDM_TRAY_ALARM          40018
#define IDM_TRAY_SETTINGS       40023
#define IDM_TRAY_HELP           40027
#define IDM_TRAY_NOTE_LIST      40029
#define IDM_TRAY_SHOW_ALL       40031
#define IDM_TRAY_ON_TOP         40033

// CommandMenu (title-bar menu of a note)
#define IDM_NOTE_HIDE_ALL       40016
#define IDM_NOTE_IMPORT         40020
#define IDM_NOTE_EXPORT         40021
#define IDM_NOTE_PRINT          40022
#define IDM_NOTE_PROPERTIES     40023
#define IDM_NOTE_DELETE         40024
#define IDM_NOTE_CLEAR          40026

// ---- Dialog 102: the hidden main dialog / info screen -------------------
#define IDD_MAIN                102
#define IDC_MAIN_OK             1000
#define IDC_MAIN_HELP           1002

// ---- Controls shared by dialogs 123 and 144 -----------------------------
#define IDC_CLOSE               1      // "Schließen"
#define IDC_CHOOSE_COLOR        1011
#define IDC_COLOR_PREVIEW       1017
#define IDC_SWATCH_FIRST        1026   // seven colour swatches 1026..1032
#define IDC_SWATCH_LAST         1032
#define IDC_TEST_SOUND          1033
#define IDC_CHOOSE_SOUND        1034
#define IDC_SOUND_NAME          1035

// ---- Dialog 123: "Einstellungen allgemein" ------------------------------
#define IDD_GENERAL             123
#define IDC_GEN_STARTUP_HIDDEN  1018
#define IDC_GEN_SPLASH          1019
#define IDC_GEN_WIDTH           1020
#define IDC_GEN_HEIGHT          1021
#define IDC_GEN_STARTUP_ALARMS  1022
#define IDC_GEN_WIDTH_LABEL     1023
#define IDC_GEN_HEIGHT_LABEL    1024
#define IDC_GEN_SAFE_MODE       1025
#define IDC_GEN_SOUND_ON        1036
#define IDC_GEN_ON_TOP          1037

// ---- Dialog 144: "Einstellungen / Alarm" --------------------------------
#define IDD_NOTE_PROPS          144
#define IDC_PROPS_ALARM_ON      1022
#define IDC_PROPS_MINUTE        1039
#define IDC_PROPS_MINUTE_SPIN   1040
#define IDC_PROPS_REPEAT        1042
#define IDC_PROPS_HOUR          1043
#define IDC_PROPS_HOUR_SPIN     1044
#define IDC_PROPS_DAY           1045
#define IDC_PROPS_DAY_SPIN      1046
#define IDC_PROPS_MONTH         1047
#define IDC_PROPS_MONTH_SPIN    1048
#define IDC_PROPS_YEAR          1049
#define IDC_PROPS_YEAR_SPIN     1050
#define IDC_PROPS_REPEAT_SPIN   1052

// ---- Dialog 146: "Note - Liste" -----------------------------------------
#define IDD_NOTE_LIST           146
#define IDC_LIST_ALARM          1022
#define IDC_LIST_VIEW           1054
#define IDC_LIST_PREVIEW        1055
#define IDC_LIST_VISIBLE        1056
#define IDC_LIST_PROPERTIES     1060
#define IDC_LIST_REFRESH        1061
#define IDC_LIST_DELETE         1062
#define IDC_LIST_CREATE         1063

// ---- English twins of the menu and the dialogs, not loaded ------------
#define IDR_MAIN_MENU_ENGLISH   104
#define IDD_NOTE_PROPS_ENGLISH  167
#define IDD_MAIN_ENGLISH        168
#define IDD_GENERAL_ENGLISH     169
#define IDD_NOTE_LIST_ENGLISH   170

// ---- Version resource ---------------------------------------------------
#define QUIBLET_VERSION_MAJOR   1
#define QUIBLET_VERSION_MINOR   0
#define QUIBLET_VERSION_TEXT    "1.0"
