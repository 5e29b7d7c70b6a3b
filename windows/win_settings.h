// The one persistent setting: the public key file last chosen in the dialog, kept in the
// registry under HKEY_LOCAL_MACHINE "SOFTWARE\Notarix", value "Key" (REG_SZ). Registry failures
// are silent: the setting is then simply not loaded or not kept.
#ifndef NOTARIX_WIN_SETTINGS_H
#define NOTARIX_WIN_SETTINGS_H

#include <windows.h>

#include "verify_job.h"

extern const wchar_t kSettingsKey[];   // L"SOFTWARE\\Notarix"
extern const wchar_t kKeyValueName[];  // L"Key"

// Reads the stored path under HKEY_LOCAL_MACHINE\subkey. A missing key is created with an
// empty value. true only for a stored, non-empty REG_SZ of at most 259 characters.
bool read_key_setting(const wchar_t *subkey, wchar_t (&path)[JOB_PATH_CHARS]);

// Stores a non-empty path of at most 259 characters; false when it is not kept.
bool write_key_setting(const wchar_t *subkey, const wchar_t *path);

// Puts the stored path into the dialog's key box when it still validates as a key file.
void load_key_setting(HWND dialog);

// Stores the key box's text (at most 259 characters) when it is not empty.
void save_key_setting(HWND dialog);

#endif
