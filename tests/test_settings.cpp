// The settings and their registry key.
#include "support/test_env.h"
#include <string.h>
#include "settings/settings_store.h"

namespace {

class SettingsTest : public QuibletTest {
protected:
    HKEY OpenKey()
    {
        HKEY key = NULL;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, SettingsKeyPath, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL);
        return key;
    }
    void PutDword(const char* name, DWORD value)
    {
        HKEY key = OpenKey();
        RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), sizeof value);
        RegCloseKey(key);
    }
    void PutRaw(const char* name, DWORD type, const void* data, DWORD size)
    {
        HKEY key = OpenKey();
        RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
        RegCloseKey(key);
    }
    bool GetDword(const char* name, DWORD* value, DWORD* type)
    {
        HKEY key = OpenKey();
        DWORD size = sizeof *value;
        LONG rc = RegQueryValueExA(key, name, NULL, type, reinterpret_cast<BYTE*>(value), &size);
        RegCloseKey(key);
        return rc == ERROR_SUCCESS && size == 4;
    }
    DWORD ValueCount()
    {
        HKEY key = OpenKey();
        DWORD count = 99;
        RegQueryInfoKeyA(key, NULL, NULL, NULL, NULL, NULL, NULL, &count, NULL, NULL, NULL, NULL);
        RegCloseKey(key);
        return count;
    }
    void ExpectDefaults()
    {
        EXPECT_EQ(AppSettings.defaultBackColor, 0x0098FEFEu);
        EXPECT_EQ(AppSettings.notesSizeX, 180);
        EXPECT_EQ(AppSettings.notesSizeY, 200);
        EXPECT_EQ(AppSettings.startupNotes, 0u);
        EXPECT_EQ(AppSettings.startupAlarms, 1u);
        EXPECT_EQ(AppSettings.splash, 0u);
        EXPECT_EQ(AppSettings.sound, 1u);
        EXPECT_EQ(AppSettings.safeMode, 1u);
        EXPECT_EQ(AppSettings.alwaysOnTop, 0u);
        EXPECT_STREQ(AppSettings.defaultAlarm, "..\\bellsong.wav");
    }
};

TEST_F(SettingsTest, FirstStartGivesDefaultsAndLeavesAnEmptyKey)
{
    memset(&AppSettings, 0x5A, sizeof AppSettings);
    EXPECT_TRUE(LoadSettings());
    ExpectDefaults();
    EXPECT_EQ(ValueCount(), 0u);
}

TEST_F(SettingsTest, AllTenValuesSurviveSaveAndLoad)
{
    AppSettings.defaultBackColor = 0x00123456;
    AppSettings.notesSizeX = 321;
    AppSettings.notesSizeY = 654;
    AppSettings.startupNotes = 1;
    AppSettings.startupAlarms = 0;
    AppSettings.splash = 1;
    AppSettings.sound = 0;
    AppSettings.safeMode = 0;
    AppSettings.alwaysOnTop = 1;
    strcpy(AppSettings.defaultAlarm, "C:\\Sounds\\Wecker Ü.wav");
    ASSERT_TRUE(SaveSettings());
    EXPECT_EQ(ValueCount(), 10u);

    DWORD value, type;
    ASSERT_TRUE(GetDword("NotesSizeY", &value, &type));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(value, 654u);

    SetDefaultSettings(&AppSettings);
    ASSERT_TRUE(LoadSettings());
    EXPECT_EQ(AppSettings.defaultBackColor, 0x00123456u);
    EXPECT_EQ(AppSettings.notesSizeX, 321);
    EXPECT_EQ(AppSettings.notesSizeY, 654);
    EXPECT_EQ(AppSettings.startupNotes, 1u);
    EXPECT_EQ(AppSettings.startupAlarms, 0u);
    EXPECT_EQ(AppSettings.splash, 1u);
    EXPECT_EQ(AppSettings.sound, 0u);
    EXPECT_EQ(AppSettings.safeMode, 0u);
    EXPECT_EQ(AppSettings.alwaysOnTop, 1u);
    EXPECT_STREQ(AppSettings.defaultAlarm, "C:\\Sounds\\Wecker Ü.wav");
}

TEST_F(SettingsTest, StoredFlagOfTwoStaysTwo)
{
    PutDword("StartupAlarms", 2);
    PutDword("SafeMode", 2);
    LoadSettings();
    EXPECT_EQ(AppSettings.startupAlarms, 2u);
    EXPECT_EQ(AppSettings.safeMode, 2u);
}

TEST_F(SettingsTest, DamagedValuesTakeTheirDefaults)
{
    // An alarm path that fills its buffer without a terminating zero.
    char unterminated[260];
    memset(unterminated, 'a', sizeof unterminated);
    PutRaw("DefaultAlarm", REG_BINARY, unterminated, sizeof unterminated);
    // A number stored in two bytes, a number stored as text.
    WORD shortValue = 7;
    PutRaw("NotesSizeX", REG_BINARY, &shortValue, sizeof shortValue);
    PutRaw("NotesSizeY", REG_SZ, "500", 4);
    LoadSettings();
    EXPECT_STREQ(AppSettings.defaultAlarm, "..\\bellsong.wav");
    EXPECT_EQ(AppSettings.notesSizeX, 180);
    EXPECT_EQ(AppSettings.notesSizeY, 200);

    std::string tooLong(400, 'b');
    PutRaw("DefaultAlarm", REG_SZ, tooLong.c_str(), static_cast<DWORD>(tooLong.size() + 1));
    LoadSettings();
    EXPECT_STREQ(AppSettings.defaultAlarm, "..\\bellsong.wav");

    DWORD number = 5;
    PutRaw("DefaultAlarm", REG_DWORD, &number, sizeof number);
    LoadSettings();
    EXPECT_STREQ(AppSettings.defaultAlarm, "..\\bellsong.wav");

    std::string longest(259, 'c');
    PutRaw("DefaultAlarm", REG_SZ, longest.c_str(), 260);
    LoadSettings();
    EXPECT_EQ(std::string(AppSettings.defaultAlarm), longest);
}

TEST_F(SettingsTest, KeyThatCannotBeOpenedStillGivesDefaults)
{
    const char* saved = SettingsKeyPath;
    std::string impossible = std::string("SOFTWARE\\") + std::string(300, 'k');
    SettingsKeyPath = impossible.c_str();
    memset(&AppSettings, 0, sizeof AppSettings);
    EXPECT_FALSE(LoadSettings());
    ExpectDefaults();
    EXPECT_FALSE(SaveSettings());
    SettingsKeyPath = saved;
}

}  // namespace
