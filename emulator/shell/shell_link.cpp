// The shell-link object of the emulated machine: IShellLinkA holds the properties, and
// IPersistFile::Save writes them as a .lnk file through the machine's file calls, so that a
// missing folder, a read-only file or a file held open fail the save as they do on Windows.
#include <sys/stat.h>

#include <cstring>
#include <new>
#include <string>

#include "platform/files.h"
#include "platform/system.h"
#include "emulator/files/file_system.h"
#include "emulator/machine/machine_state.h"
#include "emulator/shell/shell_control.h"
#include "emulator/shell/shell_state.h"
#include "formats/shell_link_file.h"

namespace platform::host {
namespace {

int liveShellLinks = 0;

// Seconds between 1601-01-01 and 1970-01-01.
const uint64_t kEpochDifference = 11644473600ull;

HRESULT CopyOut(const std::string& text, LPSTR out, int size) {
    if (out == nullptr || size <= 0) return E_INVALIDARG;
    size_t n = text.size() < static_cast<size_t>(size) ? text.size() : static_cast<size_t>(size) - 1;
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
    return S_OK;
}

class ShellLink final : public IShellLinkA, public IPersistFile {
public:
    ShellLink() { ++liveShellLinks; }
    ~ShellLink() { --liveShellLinks; }

    // IUnknown, reached through either interface.
    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (Injected(Call::QueryInterface, &injected_)) return HRESULT_FROM_WIN32(injected_);
        return Find(iid, object);
    }
    // The interface `iid` with one more reference, without counting a call.
    HRESULT Find(REFIID iid, void** object) {
        if (iid == IID_IUnknown || iid == IID_IShellLinkA) {
            *object = static_cast<IShellLinkA*>(this);
        } else if (iid == IID_IPersistFile || iid == IID_IPersist) {
            *object = static_cast<IPersistFile*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    // IShellLinkA.
    HRESULT GetPath(LPSTR file, int size, WIN32_FIND_DATAA*, DWORD) override {
        return CopyOut(link_.target, file, size);
    }
    HRESULT GetIDList(LPITEMIDLIST*) override { return E_NOTIMPL; }
    HRESULT SetIDList(LPCITEMIDLIST) override { return E_NOTIMPL; }
    HRESULT GetDescription(LPSTR name, int size) override { return CopyOut(link_.description, name, size); }
    HRESULT SetDescription(LPCSTR name) override { return Set(&link_.description, name); }
    HRESULT GetWorkingDirectory(LPSTR dir, int size) override {
        return CopyOut(link_.workingDirectory, dir, size);
    }
    HRESULT SetWorkingDirectory(LPCSTR dir) override { return Set(&link_.workingDirectory, dir); }
    HRESULT GetArguments(LPSTR args, int size) override { return CopyOut(link_.arguments, args, size); }
    HRESULT SetArguments(LPCSTR args) override { return Set(&link_.arguments, args); }
    HRESULT GetHotkey(WORD* hotkey) override {
        if (hotkey == nullptr) return E_INVALIDARG;
        *hotkey = link_.hotkey;
        return S_OK;
    }
    HRESULT SetHotkey(WORD hotkey) override {
        link_.hotkey = hotkey;
        return S_OK;
    }
    HRESULT GetShowCmd(int* show) override {
        if (show == nullptr) return E_INVALIDARG;
        *show = link_.showCommand;
        return S_OK;
    }
    HRESULT SetShowCmd(int show) override {
        link_.showCommand = show;
        return S_OK;
    }
    HRESULT GetIconLocation(LPSTR path, int size, int* index) override {
        if (index == nullptr) return E_INVALIDARG;
        *index = link_.iconIndex;
        return CopyOut(link_.iconPath, path, size);
    }
    HRESULT SetIconLocation(LPCSTR path, int index) override {
        link_.iconIndex = index;
        return Set(&link_.iconPath, path);
    }
    HRESULT SetRelativePath(LPCSTR, DWORD) override { return E_NOTIMPL; }
    HRESULT Resolve(HWND, DWORD) override { return E_NOTIMPL; }
    // The target's attributes, size and time are taken when it exists, as Windows does.
    HRESULT SetPath(LPCSTR file) override {
        if (file == nullptr) return E_INVALIDARG;
        link_.target = file;
        link_.targetAttributes = 0;
        link_.targetSize = 0;
        link_.targetWriteTime = 0;
        Target target;
        struct stat st;
        if (ResolveTarget(file, &target) == ERROR_SUCCESS && target.exists &&
            stat(target.host.c_str(), &st) == 0) {
            link_.targetAttributes = ReadAttributes(target.host, target.isDir);
            link_.targetSize = target.isDir ? 0 : static_cast<DWORD>(st.st_size);
            link_.targetWriteTime = (static_cast<uint64_t>(st.st_mtime) + kEpochDifference) * 10000000ull;
        }
        return S_OK;
    }

    // IPersistFile.
    HRESULT GetClassID(CLSID* classId) override {
        if (classId == nullptr) return E_INVALIDARG;
        *classId = CLSID_ShellLink;
        return S_OK;
    }
    HRESULT IsDirty() override { return dirty_ ? S_OK : S_FALSE; }
    HRESULT Load(LPCOLESTR, DWORD) override { return E_NOTIMPL; }
    HRESULT Save(LPCOLESTR file, BOOL remember) override {
        if (Injected(Call::IPersistFile_Save, &injected_)) return HRESULT_FROM_WIN32(injected_);
        if (file == nullptr) return E_INVALIDARG;
        size_t length = 0;
        while (file[length] != 0) ++length;
        std::string path, bytes;
        if (!Utf16ToAnsi(file, length, &path)) return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
        if (!formats::ShellLinkFileBytes(link_, AnsiToUtf16, &bytes)) return E_FAIL;
        // Replaces an existing file; fails when its folder does not exist.
        HANDLE h = platform::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return HRESULT_FROM_WIN32(platform::GetLastError());
        DWORD written = 0;
        BOOL ok = platform::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        DWORD error = platform::GetLastError();
        platform::CloseHandle(h);
        if (!ok || written != bytes.size()) return HRESULT_FROM_WIN32(ok ? ERROR_WRITE_FAULT : error);
        if (remember) {
            current_ = path;
            dirty_ = false;
        }
        return S_OK;
    }
    HRESULT SaveCompleted(LPCOLESTR) override { return S_OK; }
    HRESULT GetCurFile(LPOLESTR*) override { return E_NOTIMPL; }

private:
    HRESULT Set(std::string* field, LPCSTR text) {
        if (text == nullptr) return E_INVALIDARG;
        *field = text;
        dirty_ = true;
        return S_OK;
    }

    ULONG references_ = 1;
    formats::ShellLinkProperties link_;
    std::string current_;
    bool dirty_ = true;
    DWORD injected_ = 0;
};

}  // namespace

HRESULT CreateShellLink(REFIID iid, void** object) {
    *object = nullptr;
    ShellLink* link = new (std::nothrow) ShellLink();
    if (link == nullptr) return E_OUTOFMEMORY;
    HRESULT result = link->Find(iid, object);
    link->Release();  // the object lives on only through the interface found
    return result;
}
int LiveShellLinks() { return liveShellLinks; }

}  // namespace platform::host
