// UTF-8 source: the compiler turns the Chinese texts into UTF-16 wide literals.
#include "dialog_texts.h"

const wchar_t kMenuSetLog[] = L"Set log";
const wchar_t kMenuAbout[] = L"About";
const wchar_t kMenuDelete[] = L"Delete";
const wchar_t kMenuClear[] = L"Clear";

const wchar_t kKeyFileFilter[] = L"KEY文件(*.*)\0*.*\0";
const wchar_t kSignatureFileFilter[] = L"PGP签名(*.sig;*.asc)\0*.sig;*.asc\0";
const wchar_t kLogFileFilter[] = L"LOG文件(*.*)\0*.*\0";
const wchar_t kFolderDialogTitle[] = L"选择PGP签名文件夹";

const wchar_t kSelectKeyFirst[] = L"Please select KEY file first.";
const wchar_t kOopsCaption[] = L"Oops...";
const wchar_t kInvalidKeyFile[] = L"Invalid key file";
const wchar_t kErrorCaption[] = L"ERROR";
const wchar_t kCautionCaption[] = L"Caution";
const wchar_t kCreateLogError[] = L"Create log file error";
const wchar_t kLogErrorCaption[] = L"Error";
const wchar_t kCloseQuestion[] = L"Close the program?";
const wchar_t kClosingCaption[] = L"Closing";
const wchar_t kWorkerHungText[] = L"Verify thread seems hangup, please terminate it by yourself";
const wchar_t kWarningCaption[] = L"Warning";
const wchar_t kLibraryInitError[] = L"ERROR: Failed to initialize pellax lib!";

const char kAboutVersionFormat[] = "Notarix, Version: %s.";
