// Texts the main dialog shows in menus, file and folder dialogs and message boxes. The file
// filters hold pairs of zero-terminated texts and end with an empty one.
#ifndef NOTARIX_DIALOG_TEXTS_H
#define NOTARIX_DIALOG_TEXTS_H

extern const wchar_t kMenuSetLog[];  // "Set log"
extern const wchar_t kMenuAbout[];   // "About"
extern const wchar_t kMenuDelete[];  // "Delete"
extern const wchar_t kMenuClear[];   // "Clear"

extern const wchar_t kKeyFileFilter[];        // "KEY文件(*.*)" for "*.*"
extern const wchar_t kSignatureFileFilter[];  // "PGP签名(*.sig;*.asc)" for "*.sig;*.asc"
extern const wchar_t kLogFileFilter[];        // "LOG文件(*.*)" for "*.*"
extern const wchar_t kFolderDialogTitle[];    // "选择PGP签名文件夹"

extern const wchar_t kSelectKeyFirst[];  // with the caption kOopsCaption
extern const wchar_t kOopsCaption[];
extern const wchar_t kInvalidKeyFile[];  // with kErrorCaption
extern const wchar_t kErrorCaption[];
extern const wchar_t kCautionCaption[];  // over the walk's path-limit message
extern const wchar_t kCreateLogError[];  // with kLogErrorCaption
extern const wchar_t kLogErrorCaption[];
extern const wchar_t kCloseQuestion[];  // with kClosingCaption
extern const wchar_t kClosingCaption[];
extern const wchar_t kWorkerHungText[];  // with kWarningCaption
extern const wchar_t kWarningCaption[];
extern const wchar_t kLibraryInitError[];  // the status line, set as it stands

// The About box's version line, filled with the version text.
extern const char kAboutVersionFormat[];  // "Notarix, Version: %s."
constexpr int ABOUT_VERSION_CHARS = 200;

#endif
