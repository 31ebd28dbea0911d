// The general properties dialog with the colour picker and the sound chooser.
#include "support/test_env.h"
#include <colordlg.h>
#include <commctrl.h>
#include <dlgs.h>
#include <string>
#include "resources/resource.h"
#include "settings/general_dialog.h"
#include "settings/settings_store.h"
#include "shell/app.h"

namespace {

class GeneralDialogTest : public QuibletTest {
protected:
    HWND Open()
    {
        OpenGeneralProperties();
        return hGeneralDialog;
    }
    void Command(int id, int code = 0) { SendMessageA(hGeneralDialog, WM_COMMAND, MAKEWPARAM(id, code), 0); }
    void Click(int id) { SendDlgItemMessageA(hGeneralDialog, id, BM_CLICK, 0, 0); }
    std::string Text(int id)
    {
        char text[300] = "";
        GetDlgItemTextA(hGeneralDialog, id, text, sizeof text);
        return text;
    }
    DWORD RegValue(const char* name, std::string* text = nullptr)
    {
        HKEY key;
        char data[300] = "";
        DWORD size = sizeof data;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SettingsKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0xBAD;
        LONG rc = RegQueryValueExA(key, name, NULL, NULL, reinterpret_cast<BYTE*>(data), &size);
        RegCloseKey(key);
        if (text) *text = data;
        return rc == ERROR_SUCCESS ? *reinterpret_cast<DWORD*>(data) : 0xBAD;
    }
    std::string StartFolder() { return dataFolder.substr(0, dataFolder.rfind('\\')); }
};

TEST_F(GeneralDialogTest, OpensOnceBelowTheMainDialogAndShowsTheSettings)
{
    AppSettings.notesSizeX = 50;   // below the range: the label tells the truth
    AppSettings.splash = 1;
    HWND dialog = Open();
    ASSERT_NE(dialog, (HWND)NULL);
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), hMainDialog);
    EXPECT_EQ(Open(), dialog);
    EXPECT_EQ(CountThreadWindows("Einstellungen allgemein"), 1);
    EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_GEN_WIDTH, TBM_GETPOS, 0, 0), SIZE_TRACK_MIN);
    EXPECT_EQ(Text(IDC_GEN_WIDTH_LABEL), "50");
    EXPECT_EQ(Text(IDC_GEN_HEIGHT_LABEL), "200");
    EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_GEN_SPLASH), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_GEN_ON_TOP), BST_UNCHECKED);
    std::string title = Text(IDC_SOUND_NAME);
    EXPECT_TRUE(title == "bellsong.wav" || title == "bellsong") << title;
}

TEST_F(GeneralDialogTest, EitherTrackbarStoresBothSizes)
{
    AppSettings.notesSizeX = 50;
    AppSettings.notesSizeY = 640;
    ASSERT_TRUE(Open());
    SendDlgItemMessageA(hGeneralDialog, IDC_GEN_HEIGHT, WM_KEYDOWN, VK_LEFT, 0);
    EXPECT_EQ(AppSettings.notesSizeX, 100);
    EXPECT_EQ(AppSettings.notesSizeY, 639);
    EXPECT_EQ(Text(IDC_GEN_WIDTH_LABEL), "100");
    SendDlgItemMessageA(hGeneralDialog, IDC_GEN_WIDTH, WM_KEYDOWN, VK_END, 0);
    EXPECT_EQ(AppSettings.notesSizeX, 1000);
    EXPECT_EQ(Text(IDC_GEN_WIDTH_LABEL), "1000");
}

TEST_F(GeneralDialogTest, AFlagStoredAsTwoShowsClearAndOneClickMakesItOne)
{
    DWORD* const settings[] = { &AppSettings.startupNotes, &AppSettings.splash, &AppSettings.startupAlarms,
                                &AppSettings.sound, &AppSettings.safeMode, &AppSettings.alwaysOnTop };
    const int boxes[] = { IDC_GEN_STARTUP_HIDDEN, IDC_GEN_SPLASH, IDC_GEN_STARTUP_ALARMS,
                          IDC_GEN_SOUND_ON, IDC_GEN_SAFE_MODE, IDC_GEN_ON_TOP };
    for (DWORD* setting : settings) *setting = 2;
    ASSERT_TRUE(Open());
    for (int i = 0; i < 6; i++) {
        EXPECT_EQ(IsDlgButtonChecked(hGeneralDialog, boxes[i]), BST_UNCHECKED) << boxes[i];
        Click(boxes[i]);
        EXPECT_EQ(*settings[i], 1u) << boxes[i];
        Click(boxes[i]);
        EXPECT_EQ(*settings[i], 0u) << boxes[i];
    }
    Command(IDC_GEN_SOUND_ON, BN_SETFOCUS);
    EXPECT_EQ(AppSettings.sound, 0u);
}

TEST_F(GeneralDialogTest, ColoursComeFromSwatchesOrTheMainDialogsColourBox)
{
    ASSERT_TRUE(Open());
    HWND preview = GetDlgItem(hGeneralDialog, IDC_COLOR_PREVIEW);
    Command(1031);
    EXPECT_EQ(AppSettings.defaultBackColor, 0x00FFFFFFu);
    HDC dc = GetDC(preview);
    EXPECT_EQ(GetPixel(dc, 4, 4), 0x00FFFFFFu);
    Command(1032, STN_DBLCLK);
    EXPECT_EQ(AppSettings.defaultBackColor, 0x00FFFFFFu);

    HWND owner = NULL;
    bool hidden = false;
    BoxAnswer* chosen = AnswerNextBoxAfter(NULL, IDOK, [&](HWND box) {
        owner = GetWindow(box, GW_OWNER);
        hidden = !IsWindowVisible(hGeneralDialog);
        SetDlgItemInt(box, COLOR_RED, 10, FALSE);
        SetDlgItemInt(box, COLOR_GREEN, 20, FALSE);
        SetDlgItemInt(box, COLOR_BLUE, 30, FALSE);
    });
    Command(IDC_CHOOSE_COLOR);
    ASSERT_TRUE(chosen->answered);
    EXPECT_EQ(owner, hMainDialog);
    EXPECT_TRUE(hidden);
    EXPECT_EQ(AppSettings.defaultBackColor, RGB(10, 20, 30));
    EXPECT_EQ(GetPixel(dc, 4, 4), RGB(10, 20, 30));
    ReleaseDC(preview, dc);
    BoxAnswer* cancelled = AnswerNextBox(NULL, IDCANCEL);
    Command(IDC_CHOOSE_COLOR);
    ASSERT_TRUE(cancelled->answered);
    EXPECT_EQ(AppSettings.defaultBackColor, RGB(10, 20, 30));
    EXPECT_TRUE(IsWindowVisible(hGeneralDialog));

    int before = CountGdiObjects();
    for (int i = 0; i < 20; i++)
        RedrawWindow(hGeneralDialog, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    EXPECT_LE(CountGdiObjects(), before + 1);
}

TEST_F(GeneralDialogTest, TheSoundIsChosenFromTheStartFolder)
{
    ASSERT_TRUE(WriteFileBytes(StartFolder() + "\\ding.wav", "RIFF"));
    ASSERT_TRUE(Open());
    char folder[MAX_PATH] = "";
    BoxAnswer* chosen = AnswerNextBoxAfter("Open", IDOK, [&](HWND box) {
        GetCurrentDirectoryA(sizeof folder, folder);
        SetDlgItemTextA(box, cmb13, "ding.wav");
        SetDlgItemTextA(box, edt1, "ding.wav");
    });
    Command(IDC_CHOOSE_SOUND);
    ASSERT_TRUE(chosen->answered);
    EXPECT_STRCASEEQ(folder, StartFolder().c_str());
    EXPECT_STRCASEEQ(AppSettings.defaultAlarm, (StartFolder() + "\\ding.wav").c_str());
    std::string title = Text(IDC_SOUND_NAME);
    EXPECT_TRUE(title == "ding.wav" || title == "ding") << title;
    BoxAnswer* cancelled = AnswerNextBox("Open", IDCANCEL);
    Command(IDC_CHOOSE_SOUND);
    ASSERT_TRUE(cancelled->answered);
    EXPECT_STRCASEEQ(AppSettings.defaultAlarm, (StartFolder() + "\\ding.wav").c_str());
    // A path that has no title is shown as it stands.
    lstrcpyA(AppSettings.defaultAlarm, "a*b?.wav");
    ShowAlarmFileName(hGeneralDialog);
    EXPECT_EQ(Text(IDC_SOUND_NAME), "a*b?.wav");
}

TEST_F(GeneralDialogTest, EverySettingSurvivesCloseIntoTheRegistry)
{
    NoteRecord* note = AddTestNote();
    NotesHidden = 1;
    ASSERT_TRUE(Open());
    Command(1027);
    SendDlgItemMessageA(hGeneralDialog, IDC_GEN_HEIGHT, TBM_SETPOS, TRUE, 432);
    SendDlgItemMessageA(hGeneralDialog, IDC_GEN_WIDTH, WM_KEYDOWN, VK_RIGHT, 0);
    for (int box : { IDC_GEN_STARTUP_HIDDEN, IDC_GEN_SPLASH, IDC_GEN_STARTUP_ALARMS, IDC_GEN_SOUND_ON,
                     IDC_GEN_SAFE_MODE, IDC_GEN_ON_TOP })
        Click(box);
    lstrcpyA(AppSettings.defaultAlarm, "C:\\Klänge\\gong.wav");
    HWND dialog = hGeneralDialog;
    Command(IDC_CLOSE);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(GeneralDialogOpen, 0u);
    EXPECT_NE(note->window, (HWND)NULL);   // the visible notes come back
    std::string alarm;
    const struct { const char* name; DWORD value; } expected[] = {
        { "DefaultBackColor", 0x00CBFECB }, { "NotesSizeX", 181 }, { "NotesSizeY", 432 },
        { "StartupNotes", 1 }, { "Splash", 1 }, { "StartupAlarms", 0 },
        { "Sound", 1 }, { "SafeMode", 0 }, { "AlwaysOnTop", 1 },
    };
    for (const auto& value : expected) EXPECT_EQ(RegValue(value.name), value.value) << value.name;
    RegValue("DefaultAlarm", &alarm);
    EXPECT_EQ(alarm, "C:\\Klänge\\gong.wav");

    // WM_CLOSE saves as well, and shows no notes.
    DestroyWindow(note->window);
    note->window = NULL;
    ASSERT_TRUE(Open());
    Command(1026);
    SendMessageA(hGeneralDialog, WM_CLOSE, 0, 0);
    EXPECT_EQ(GeneralDialogOpen, 0u);
    EXPECT_EQ(RegValue("DefaultBackColor"), 0x00FE9832u);
    EXPECT_EQ(note->window, (HWND)NULL);
}

TEST_F(GeneralDialogTest, AFailedCreationLeavesItOpenable)
{
    HWND gone = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, NULL, NULL, NULL, NULL);
    DestroyWindow(gone);
    HWND mainDialog = hMainDialog;
    hMainDialog = gone;
    OpenGeneralProperties();
    hMainDialog = mainDialog;
    EXPECT_EQ(GeneralDialogOpen, 0u);
    EXPECT_NE(Open(), (HWND)NULL);
}

}  // namespace
