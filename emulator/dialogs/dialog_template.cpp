#include "emulator/dialogs/dialog_template.h"

namespace platform::host {
namespace {

// A bounded little-endian reader over the template bytes.
struct Reader {
    const BYTE* data;
    DWORD size;
    DWORD at = 0;
    bool ok = true;

    bool Need(DWORD n) {
        if (!ok || at > size || size - at < n) ok = false;
        return ok;
    }
    WORD Word() {
        if (!Need(2)) return 0;
        WORD v = static_cast<WORD>(data[at] | data[at + 1] << 8);
        at += 2;
        return v;
    }
    DWORD Dword() {
        DWORD low = Word();
        return low | static_cast<DWORD>(Word()) << 16;
    }
    BYTE Byte() {
        if (!Need(1)) return 0;
        return data[at++];
    }
    std::u16string String() {
        std::u16string s;
        for (WORD c = Word(); ok && c != 0; c = Word()) s += static_cast<char16_t>(c);
        return s;
    }
    // A name or an ordinal (0xFFFF followed by the number); 0 alone means none.
    void NameOrOrdinal(std::u16string* name, WORD* ordinal) {
        WORD first = Word();
        if (first == 0xFFFF) {
            *ordinal = Word();
        } else if (first != 0) {
            *name += static_cast<char16_t>(first);
            *name += String();
        }
    }
    void AlignDword() { at = (at + 3) & ~3u; }
};

std::u16string ClassName(WORD ordinal) {
    switch (ordinal) {
    case 0x80: return u"button";
    case 0x81: return u"edit";
    case 0x82: return u"static";
    case 0x83: return u"listbox";
    case 0x84: return u"scrollbar";
    case 0x85: return u"combobox";
    default: return u"";
    }
}

}  // namespace

bool ParseDialogTemplate(const BYTE* data, DWORD size, DialogTemplate* result) {
    Reader r{data, size};
    DialogTemplate t;
    if (r.Word() != 1 || r.Word() != 0xFFFF) return false;
    t.helpId = r.Dword();
    t.exStyle = r.Dword();
    t.style = r.Dword();
    WORD count = r.Word();
    t.x = static_cast<short>(r.Word());
    t.y = static_cast<short>(r.Word());
    t.cx = static_cast<short>(r.Word());
    t.cy = static_cast<short>(r.Word());
    std::u16string menu, windowClass;
    WORD menuId = 0, classId = 0;
    r.NameOrOrdinal(&menu, &menuId);
    r.NameOrOrdinal(&windowClass, &classId);
    t.title = r.String();
    if (t.style & 0x40) {  // DS_SETFONT
        t.pointSize = r.Word();
        t.weight = r.Word();
        t.italic = r.Byte();
        t.charset = r.Byte();
        t.typeface = r.String();
    }
    for (WORD i = 0; i < count && r.ok; ++i) {
        DialogItem item;
        r.AlignDword();
        item.helpId = r.Dword();
        item.exStyle = r.Dword();
        item.style = r.Dword();
        item.x = static_cast<short>(r.Word());
        item.y = static_cast<short>(r.Word());
        item.cx = static_cast<short>(r.Word());
        item.cy = static_cast<short>(r.Word());
        item.id = r.Dword();
        WORD classOrdinal = 0;
        r.NameOrOrdinal(&item.className, &classOrdinal);
        if (classOrdinal != 0) item.className = ClassName(classOrdinal);
        r.NameOrOrdinal(&item.text, &item.textOrdinal);
        WORD extra = r.Word();
        if (r.Need(extra)) r.at += extra;
        t.items.push_back(item);
    }
    if (!r.ok) return false;
    *result = t;
    return true;
}

}  // namespace platform::host
