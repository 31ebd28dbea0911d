#include "settings/settings_store.h"
#include <stddef.h>
#include <string.h>
#include "shell/guards.h"
#include "shell/ui_text.h"

// ---- Module state ---------------------------------------------------------
AppSettingsData AppSettings;
const char* SettingsKeyPath = SETTINGS_KEY_PATH;
bool (*MachineKeyWriteRefused)();

namespace {

struct DwordSetting {
    const char* name;
    size_t offset;          // of a 32-bit field of AppSettingsData
    DWORD defaultValue;
};

// Numeric values in the order they are read. They are written in another
// order (writeOrder) that puts Sound before SafeMode.
const DwordSetting readOrder[] = {
    { "DefaultBackColor", offsetof(AppSettingsData, defaultBackColor), 0x0098FEFE },
    { "NotesSizeX", offsetof(AppSettingsData, notesSizeX), 180 },
    { "NotesSizeY", offsetof(AppSettingsData, notesSizeY), 200 },
    { "StartupNotes", offsetof(AppSettingsData, startupNotes), 0 },
    { "StartupAlarms", offsetof(AppSettingsData, startupAlarms), 1 },
    { "Splash", offsetof(AppSettingsData, splash), 0 },
    { "SafeMode", offsetof(AppSettingsData, safeMode), 1 },
    { "AlwaysOnTop", offsetof(AppSettingsData, alwaysOnTop), 0 },
    { "Sound", offsetof(AppSettingsData, sound), 1 },
};
const int writeOrder[] = { 0, 1, 2, 3, 4, 5, 8, 6, 7 };
const char* const alarmValueName = "DefaultAlarm";

bool CreateKeyForWriting(HKEY root, RegistryKey& key)
{
    if (root == HKEY_LOCAL_MACHINE && MachineKeyWriteRefused && MachineKeyWriteRefused()) return false;
    return RegCreateKeyExA(root, SettingsKeyPath, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL,
                           key.receive(), NULL) == ERROR_SUCCESS;
}

bool OpenForReading(HKEY root, RegistryKey& key)
{
    return RegOpenKeyExA(root, SettingsKeyPath, 0, KEY_READ, key.receive()) == ERROR_SUCCESS;
}

// The user's own key wins once it exists. Without one the machine-wide key
// is read (an administrator may have set it) and written when the user may;
// a user without administrator rights gets a key of their own.
bool OpenSettingsForReading(RegistryKey& key)
{
    // A first start leaves the machine key, empty, where the user may make it.
    return OpenForReading(HKEY_CURRENT_USER, key) || OpenForReading(HKEY_LOCAL_MACHINE, key) ||
           CreateKeyForWriting(HKEY_LOCAL_MACHINE, key);
}

bool OpenSettingsForWriting(RegistryKey& key)
{
    RegistryKey user;
    if (OpenForReading(HKEY_CURRENT_USER, user) || !CreateKeyForWriting(HKEY_LOCAL_MACHINE, key))
        return CreateKeyForWriting(HKEY_CURRENT_USER, key);
    return true;
}

bool ReadDword(HKEY key, const char* name, DWORD* value)
{
    DWORD type = 0, data = 0, size = sizeof data;
    if (RegQueryValueExA(key, name, NULL, &type, reinterpret_cast<BYTE*>(&data), &size) != ERROR_SUCCESS)
        return false;
    // Four bytes of a number; text or other types are not read as numbers.
    if (size != sizeof data || (type != REG_DWORD && type != REG_BINARY)) return false;
    *value = data;
    return true;
}

// A path value counts only when it is a string that ends inside the buffer.
bool ReadPath(HKEY key, const char* name, char* out, DWORD outSize)
{
    char data[SETTINGS_PATH_SIZE + 1];
    DWORD type = 0, size = outSize;
    if (RegQueryValueExA(key, name, NULL, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
        return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    if (size == 0 || memchr(data, 0, size) == NULL) return false;
    memcpy(out, data, size);
    return true;
}

DWORD& Field(AppSettingsData& settings, const DwordSetting& s)
{
    return *reinterpret_cast<DWORD*>(reinterpret_cast<char*>(&settings) + s.offset);
}

}  // namespace

SIZE ScreenSize()
{
    return { GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN) };
}

// A size beyond the screen would have the hide button roll a note up for
// millions of steps.
LONG BoundedNoteSize(LONG size, LONG screenSize)
{
    LONG most = screenSize < NOTE_MIN_SIZE ? NOTE_MIN_SIZE : screenSize;
    return size < NOTE_MIN_SIZE ? NOTE_MIN_SIZE : size > most ? most : size;
}

void SetDefaultSettings(AppSettingsData* settings)
{
    for (const DwordSetting& s : readOrder) Field(*settings, s) = s.defaultValue;
    lstrcpynA(settings->defaultAlarm, TEXT_DEFAULT_ALARM, sizeof settings->defaultAlarm);
}

BOOL LoadSettings()
{
    RegistryKey key;
    bool opened = OpenSettingsForReading(key);
    for (const DwordSetting& s : readOrder) {
        DWORD value;
        Field(AppSettings, s) = opened && ReadDword(key, s.name, &value) ? value : s.defaultValue;
    }
    SIZE screen = ScreenSize();
    AppSettings.notesSizeX = BoundedNoteSize(AppSettings.notesSizeX, screen.cx);
    AppSettings.notesSizeY = BoundedNoteSize(AppSettings.notesSizeY, screen.cy);
    if (!opened || !ReadPath(key, alarmValueName, AppSettings.defaultAlarm, sizeof AppSettings.defaultAlarm))
        lstrcpynA(AppSettings.defaultAlarm, TEXT_DEFAULT_ALARM, sizeof AppSettings.defaultAlarm);
    return opened;
}

BOOL SaveSettings()
{
    RegistryKey key;
    if (!OpenSettingsForWriting(key)) return FALSE;
    for (int index : writeOrder) {
        const DwordSetting& s = readOrder[index];
        DWORD value = Field(AppSettings, s);
        if (RegSetValueExA(key, s.name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) != ERROR_SUCCESS)
            return FALSE;
    }
    AppSettings.defaultAlarm[sizeof AppSettings.defaultAlarm - 1] = 0;
    DWORD size = static_cast<DWORD>(strlen(AppSettings.defaultAlarm) + 1);
    return RegSetValueExA(key, alarmValueName, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(AppSettings.defaultAlarm), size) == ERROR_SUCCESS;
}
