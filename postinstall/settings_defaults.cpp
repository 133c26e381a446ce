// Fills in the product's missing settings under HKCU\Software\Orvane\VkTARN and resets
// "EnableEncode" and "CopyBadSector" to 0 on every run. A setting is missing when it is absent
// or too long for its buffer; one whose read fails otherwise is left as it is.
#include "postinstall/settings_defaults.h"

#include <cstring>

#include "platform/files.h"
#include "platform/registry.h"
#include "process/process_state.h"
#include "text/load_text.h"
#include "text/path_text.h"
#include "text/text_ids.h"

namespace {

enum class Setting { Text, Number, Reset, TempFolder };

struct SettingDefault {
    UINT name;  // string id of the value name
    Setting kind;
};

// In the order they are processed: "EnableEncode" comes after "DVDCompatible".
const SettingDefault kSettings[] = {
    {IDS_PROXY, Setting::Text},
    {IDS_PORT, Setting::Number},
    {IDS_SEARCH_ISRC, Setting::Number},
    {IDS_MEDIA_BAR, Setting::Number},
    {IDS_DDCD_CONVERT, Setting::Number},
    {IDS_DVD_COMPATIBLE, Setting::Number},
    {IDS_ENABLE_ENCODE, Setting::Reset},
    {IDS_TEMP_FOLDER, Setting::TempFolder},
    {IDS_COPY_BAD_SECTOR, Setting::Reset},
};

enum class Found { Present, Missing, Unknown };

// What a read of the value into a buffer of `size` bytes says: present whatever its type;
// missing when it is absent or longer than the buffer; unknown when the read failed for
// another reason, which says nothing about the value (a default would replace the user's own).
Found ReadSetting(HKEY key, const char* name, BYTE* buffer, DWORD size) {
    DWORD type = REG_NONE;
    LONG read = platform::RegQueryValueExA(key, name, nullptr, &type, buffer, &size);
    if (read == ERROR_SUCCESS) return Found::Present;
    return read == ERROR_FILE_NOT_FOUND || read == ERROR_MORE_DATA ? Found::Missing : Found::Unknown;
}

void WriteNumber(HKEY key, const char* name, DWORD number) {
    platform::RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
}

// The text with the length of its characters; the system keeps or adds the terminator.
void WriteText(HKEY key, const char* name, const char* text) {
    platform::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                             static_cast<DWORD>(std::strlen(text)));
}

void ApplyDefault(HKEY key, const SettingDefault& setting) {
    char text[PATH_BUFFER_SIZE];  // a setting's text; TempFolder's is a path
    DWORD number = 0;
    const char* name = LoadText(AppModule, setting.name);
    if (name[0] == '\0') return;  // a name that cannot be loaded would be the key's default value
    switch (setting.kind) {
    case Setting::Text:
        if (ReadSetting(key, name, reinterpret_cast<BYTE*>(text), sizeof text) == Found::Missing)
            WriteText(key, name, "");
        break;
    case Setting::Number:
        if (ReadSetting(key, name, reinterpret_cast<BYTE*>(&number), sizeof number) == Found::Missing)
            WriteNumber(key, name, 0);
        break;
    case Setting::Reset:
        WriteNumber(key, name, 0);
        break;
    case Setting::TempFolder:
        if (ReadSetting(key, name, reinterpret_cast<BYTE*>(text), sizeof text) != Found::Missing) break;
        // A temporary folder that cannot be found, or does not fit, leaves the value unwritten
        // rather than storing an empty or cut path.
        text[0] = '\0';
        DWORD length = platform::GetTempPathA(sizeof text, text);
        if (length > 0 && length < sizeof text) WriteText(key, name, text);
        break;
    }
}

}  // namespace

void ApplySettingsDefaults() {
    // A key name that cannot be loaded would put the settings into the key above.
    const char* softwareName = LoadText(AppModule, IDS_SOFTWARE_KEY);
    HKEY software = nullptr;
    if (softwareName[0] == '\0' ||
        platform::RegOpenKeyExA(HKEY_CURRENT_USER, softwareName, 0, KEY_READ | KEY_WRITE, &software) !=
            ERROR_SUCCESS) {
        return;
    }
    const char* settingsName = LoadText(AppModule, IDS_SETTINGS_KEY);
    HKEY product = nullptr;
    DWORD disposition = 0;
    if (settingsName[0] == '\0' ||
        platform::RegCreateKeyExA(software, settingsName, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                  nullptr, &product, &disposition) != ERROR_SUCCESS) {
        platform::RegCloseKey(software);
        return;
    }
    for (const SettingDefault& setting : kSettings) ApplyDefault(product, setting);
    platform::RegCloseKey(product);
    platform::RegCloseKey(software);
}
