#include "win_settings.h"

#include <cwchar>

#include "resource.h"
#include "verify_run.h"

const wchar_t kSettingsKey[] = L"SOFTWARE\\Notarix";
const wchar_t kKeyValueName[] = L"Key";

namespace {

class registry_key {
  public:
    registry_key(const wchar_t *subkey, bool *created) {
        DWORD disposition = 0;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &key_, &disposition) != ERROR_SUCCESS) {
            key_ = nullptr;
        }
        *created = disposition == REG_CREATED_NEW_KEY;
    }
    ~registry_key() {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
    }
    registry_key(const registry_key &) = delete;
    registry_key &operator=(const registry_key &) = delete;
    HKEY get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

bool set_value(HKEY key, const wchar_t *text) {
    DWORD bytes = static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(wchar_t));
    return RegSetValueExW(key, kKeyValueName, 0, REG_SZ, reinterpret_cast<const BYTE *>(text),
                          bytes) == ERROR_SUCCESS;
}

}  // namespace

bool read_key_setting(const wchar_t *subkey, wchar_t (&path)[JOB_PATH_CHARS]) {
    path[0] = L'\0';
    bool created = false;
    registry_key key(subkey, &created);
    if (key.get() == nullptr) {
        return false;
    }
    if (created) {
        set_value(key.get(), L"");
        return false;
    }
    DWORD type = 0;
    DWORD bytes = sizeof path;
    if (RegQueryValueExW(key.get(), kKeyValueName, nullptr, &type, reinterpret_cast<BYTE *>(path),
                         &bytes) != ERROR_SUCCESS ||
        type != REG_SZ) {
        path[0] = L'\0';
        return false;
    }
    // A stored text need not carry its terminator; one that fills the buffer without it is
    // longer than a path may be.
    size_t chars = bytes / sizeof(wchar_t);
    if (chars > 0 && path[chars - 1] == L'\0') {
        --chars;
    }
    if (chars >= JOB_PATH_CHARS) {
        path[0] = L'\0';
        return false;
    }
    path[chars] = L'\0';
    return chars > 0 && std::wcslen(path) == chars;
}

bool write_key_setting(const wchar_t *subkey, const wchar_t *path) {
    if (path == nullptr || path[0] == L'\0' || std::wcslen(path) >= JOB_PATH_CHARS) {
        return false;
    }
    bool created = false;
    registry_key key(subkey, &created);
    return key.get() != nullptr && set_value(key.get(), path);
}

void load_key_setting(HWND dialog) {
    wchar_t path[JOB_PATH_CHARS];
    if (read_key_setting(kSettingsKey, path) && validate_key_file(path) == 0) {
        SetDlgItemTextW(dialog, IDC_KEY_PATH, path);
    }
}

void save_key_setting(HWND dialog) {
    wchar_t path[JOB_PATH_CHARS];
    if (GetDlgItemTextW(dialog, IDC_KEY_PATH, path, JOB_PATH_CHARS) > 0) {
        write_key_setting(kSettingsKey, path);
    }
}
