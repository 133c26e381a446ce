// Fills in the product's missing settings under HKCU\Software\Orvane\VkTARN and resets
// "EnableEncode" and "CopyBadSector" to 0 on every run.
#include "postinstall/settings_defaults.h"

#include <cstring>

#include "app/app_state.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "text/load_text.h"
#include "text/text_ids.h"

namespace {

const DWORD kTextSize = 270;

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

// Whether the value can be read into a buffer of `size` bytes; its type does not matter.
bool Readable(HKEY key, const char* name, BYTE* buffer, DWORD size) {
    DWORD type = REG_NONE;
    return platform::RegQueryValueExA(key, name, nullptr, &type, buffer, &size) == ERROR_SUCCESS;
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
    char text[kTextSize];
    DWORD number = 0;
    const char* name = LoadText(AppModule, setting.name);
    switch (setting.kind) {
    case Setting::Text:
        if (!Readable(key, name, reinterpret_cast<BYTE*>(text), kTextSize)) WriteText(key, name, "");
        break;
    case Setting::Number:
        if (!Readable(key, name, reinterpret_cast<BYTE*>(&number), sizeof number)) WriteNumber(key, name, 0);
        break;
    case Setting::Reset:
        WriteNumber(key, name, 0);
        break;
    case Setting::TempFolder:
        if (Readable(key, name, reinterpret_cast<BYTE*>(text), kTextSize)) break;
        // A temporary folder that cannot be found, or does not fit, leaves the value unwritten
        // rather than storing an empty or cut path.
        text[0] = '\0';
        DWORD length = platform::GetTempPathA(kTextSize, text);
        if (length > 0 && length < kTextSize) WriteText(key, name, text);
        break;
    }
}

}  // namespace

void ApplySettingsDefaults() {
    HKEY software = nullptr;
    if (platform::RegOpenKeyExA(HKEY_CURRENT_USER, LoadText(AppModule, IDS_SOFTWARE_KEY), 0,
                                KEY_READ | KEY_WRITE, &software) != ERROR_SUCCESS) {
        return;
    }
    HKEY product = nullptr;
    DWORD disposition = 0;
    if (platform::RegCreateKeyExA(software, LoadText(AppModule, IDS_SETTINGS_KEY), 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &product,
                                  &disposition) != ERROR_SUCCESS) {
        platform::RegCloseKey(software);
        return;
    }
    for (const SettingDefault& setting : kSettings) ApplyDefault(product, setting);
    platform::RegCloseKey(product);
    platform::RegCloseKey(software);
}
