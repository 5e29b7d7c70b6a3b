#include "NotarixCmdProc.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "NotarixError.h"
#include "NotarixHost.h"
#include "memset_s.h"
#include "openssl_callback.h"
#include "pellax_vrf_old.h"
#include "strcpy_s.h"
#include "vsnprintf_s.h"

namespace {

// Recognised options by index; the table ends with an empty entry.
const char *const szOption[] = {"-h", "-k", "-f", "-d", "-l", ""};
enum { kOptHelp = 0, kOptKey, kOptFile, kOptDirectory, kOptLog };

constexpr size_t kMessageBufferSize = 512;
constexpr size_t kSuffixLength = 4;  // ".asc" and ".sig"
const char kAscSuffix[] = ".asc";
const char kSigSuffix[] = ".sig";

std::string BaseName(const std::string &path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool EndsWith(const std::string &text, const char *suffix) {
    const size_t n = strlen(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

}  // namespace

void PrintMsg(const char *format, ...) {
    char buffer[kMessageBufferSize];
    memset_s(buffer, sizeof buffer, 0, sizeof buffer);
    va_list args;
    va_start(args, format);
    // A text longer than the buffer keeps its first 511 characters and is still printed.
    vsnprintf_s(buffer, sizeof buffer, sizeof buffer - 1, format, args);
    va_end(args);
    puts(buffer);
}

int isOption(const char *text) {
    if (text == nullptr || strlen(text) <= 1) {
        return -1;
    }
    for (int i = 0; szOption[i][0] != '\0'; ++i) {
        if (strcmp(text, szOption[i]) == 0) {
            return i;
        }
    }
    return -1;
}

bool ValidatePath(const char *text) {
    return text != nullptr && strlen(text) > 2;
}

void toHexString(char *buffer, size_t position, PX_BYTE byte) {
    static const char kDigits[] = "0123456789ABCDEF";
    buffer[position] = kDigits[byte >> 4];
    buffer[position + 1] = kDigits[byte & 0x0F];
}

bool ApplyPathRule(const char *path, char *buffer) {
    if (strlen(path) > kPathBufferSize) {
        PrintMsg("[ERROR]:Get real path error, File position:%s.", path);
        return false;
    }
    // A path of exactly the buffer's size does not fit with its terminator: the bounded copy
    // leaves the buffer empty and the validity check below refuses it.
    buffer[0] = '\0';
    strcpy_s(buffer, kPathBufferSize, path);
    if (!ValidatePath(buffer)) {
        PrintMsg("[ERROR]:Path not valid, File position:%s.", buffer);
        return false;
    }
    return true;
}

CNotarixCmdProc::~CNotarixCmdProc() {
    if (s_logfile != nullptr) {
        fclose(s_logfile);
        s_logfile = nullptr;
    }
}

int CNotarixCmdProc::DoWithArgs(int argc, char **argv) {
    const int parsed = ParseArgs(argc, argv);
    if (parsed < 0) {
        return -1;
    }
    if (parsed == 1) {
        return 0;
    }
    const int result = ProcVerify();
    PrintMsg("[INFO]: Verify Complete.");
    return result;
}

int CNotarixCmdProc::ParseArgs(int argc, char **argv) {
    if (argc <= 1) {
        PrintHelp();
        return 0;
    }
    // An option takes a value when the next argument exists and is not an option itself.
    auto value_at = [&](int at) { return at < argc && isOption(argv[at]) == -1; };
    int i = 1;
    while (i < argc) {
        switch (isOption(argv[i])) {
            case kOptHelp:
                PrintHelp();
                return 1;
            case kOptKey:
                if (!value_at(i + 1)) {
                    PrintMsg("[ERROR]:Command line error.");
                    return -1;
                }
                m_keyFile = argv[i + 1];
                if (!CheckFile(m_keyFile)) {
                    PrintMsg("[ERROR]:Can't find public key, key file: %s.", m_keyFile.c_str());
                    return -1;
                }
                i += 2;
                break;
            case kOptFile:
                for (++i; value_at(i); ++i) {
                    if (!CheckFile(argv[i])) {
                        PrintMsg("[ERROR]:Can't find file, file: %s.", argv[i]);
                        return -1;
                    }
                    m_files.emplace_back(argv[i]);
                }
                break;
            case kOptDirectory:
                if (!value_at(i + 1)) {
                    ++i;  // a bare -d is ignored
                    break;
                }
                if (!CheckDirectory(argv[i + 1])) {
                    return -1;
                }
                m_directories.emplace_back(argv[i + 1]);
                i += 2;
                break;
            case kOptLog: {
                if (!value_at(i + 1)) {
                    PrintMsg("[ERROR]:Command line error.");
                    return -1;
                }
                char path[kPathBufferSize];
                if (!ApplyPathRule(argv[i + 1], path)) {
                    return -1;
                }
                FILE *log = fopen(path, "w+b");
                if (log == nullptr) {
                    PrintMsg("[ERROR]:Open log file error, File position:%s.", argv[i + 1]);
                    return -1;
                }
                // A later -l wins; the earlier file stays created but receives nothing.
                if (s_logfile != nullptr) {
                    fclose(s_logfile);
                }
                s_logfile = log;
                i += 2;
                break;
            }
            default:
                PrintMsg("[ERROR]:Wrong argument: \"%s\".", argv[i]);
                return -1;
        }
    }
    if (!m_directories.empty()) {
        return 0;
    }
    if (m_files.empty()) {
        PrintMsg("[ERROR]:There is no file to be verified.");
        return -1;
    }
    return 0;
}

void CNotarixCmdProc::PrintHelp() {
    PrintMsg("Notarix %s", pellax_version());
    PrintMsg("Copyright (C) 2026 Notarix. All rights reserved.");
    PrintMsg(
        "This product includes software developed by the OpenSSL Project for use in the "
        "OpenSSL Toolkit (http://www.openssl.org/)");
    PrintMsg("%s", "");  // an empty line
    PrintMsg("Commond:");
    PrintMsg(" -k: public key.");
    PrintMsg(" -d: The directory which to be verified.");
    PrintMsg(" -f: The file which to be verified.");
    PrintMsg(" -l: Set log file.");
    PrintMsg("Example:");
    PrintMsg(" Notarix -k KEYS -d filedirectory");
    PrintMsg(" Notarix -k KEYS -f signedfile");
}

char *CNotarixCmdProc::ConvertHexToString(const PX_BYTE *bytes, PX_ULONG length) {
    const size_t size = 2 * length + length / 4 + 1;
    char *text = new (std::nothrow) char[size];
    if (text == nullptr) {
        return nullptr;
    }
    memset_s(text, size, 0, size);
    size_t at = 0;
    for (PX_ULONG i = 0; i < length; ++i) {
        toHexString(text, at, bytes[i]);
        at += 2;
        if ((i + 1) % 4 == 0 && i + 1 < length) {
            text[at++] = ' ';
        }
    }
    return text;
}

int CNotarixCmdProc::ProcVerify() {
    unsigned int problems = 0;
    unsigned int passed = 0;
    unsigned int invalid = 0;
    std::vector<std::string> signatures;

    if (!m_files.empty()) {
        DoWithSingleFile(problems, signatures);
    }
    if (!m_directories.empty()) {
        PrintMsg("[INFO]:Filter file in directory, please wait...");
        if (!ProcDirectory(problems, signatures)) {
            PrintMsg("[FAIL]:ProcDirectory Error.");
            return -1;
        }
    }
    if (signatures.empty()) {
        PrintMsg("[FAIL]:There is no files to be verified.");
        return -1;
    }

    openssl_library_init();
    init_kit_sysapi_callback_funcs();
    PELLAX_VERIFY_FUNCS funcs{};
    pellax_initialize_verify_funcs(&funcs);
    // Failures here surface at the next step, which needs every table filled.
    funcs.set_md_callback(openssl_md_ctx_create, openssl_md_init, openssl_md_update,
                          openssl_md_final, openssl_md_ctx_destory);
    funcs.set_vrf_callback(openssl_vrf_ctx_create, openssl_vrf_init, openssl_vrf_update,
                           openssl_vrf_final, openssl_vrf_ctx_destory);
    funcs.set_user_def_msg_callback(GetPGPErrorMessage);
    funcs.set_log_callback(notarix_log);

    PELLAX_VRF_CTX *ctx = nullptr;
    if (funcs.vrf_ctx_create(&ctx) != 0) {
        PrintMsg("[FAIL]:Create verify context error.");
        return -1;
    }
    if (funcs.verify_initialize(ctx, m_keyFile.c_str()) != 0) {
        PrintMsg("[FAIL]:Initialize verify context error.");
        funcs.vrf_ctx_free(ctx);
        return -1;
    }
    for (const std::string &signature : signatures) {
        const std::string source = GetSourceFile(signature);
        int verdict = 0;
        const PX_BYTE *fingerprint = nullptr;
        PX_ULONG fingerprint_len = 0;
        const PELLAX_ERROR_CODE rc = funcs.verify_detach_signature(
            ctx, source.c_str(), signature.c_str(), &verdict, &fingerprint, &fingerprint_len);
        if (rc != 0) {
            ++problems;
            PrintMsg("[FAIL]:Verify signature error. File path: %s", signature.c_str());
        } else if (verdict == 1) {
            ++passed;
            char *text = ConvertHexToString(fingerprint, fingerprint_len);
            if (text != nullptr) {
                PrintMsg("[PASS]:Good Signature. File path: %s, Public key fingerprint: %s.",
                         signature.c_str(), text);
                delete[] text;
            } else {
                PrintMsg("[PASS]:Good Signature. File path: %s.", signature.c_str());
            }
        } else {
            ++invalid;
            PrintMsg("[FAIL]:Invalid Signature. File path: %s.", signature.c_str());
        }
    }
    funcs.vrf_ctx_free(ctx);
    openssl_library_cleanup();
    if (problems == 0 && invalid == 0) {
        return 0;
    }
    return passed == 0 ? 2 : 1;
}

bool CNotarixCmdProc::IsSignatureFile(const std::string &path) {
    // The rule looks at the file's own name: a file named ".sig" is an ordinary file.
    const std::string name = BaseName(path);
    return name.size() > kSuffixLength &&
           (EndsWith(name, kAscSuffix) || EndsWith(name, kSigSuffix));
}

std::string CNotarixCmdProc::GetSourceFile(const std::string &path) {
    return path.size() >= kSuffixLength ? path.substr(0, path.size() - kSuffixLength) : path;
}

std::string CNotarixCmdProc::GetSignatureFile(const std::string &path, const char *suffix) {
    return path + suffix;
}

bool CNotarixCmdProc::CheckFile(const std::string &path) {
    struct stat st {};
    // lstat: a symbolic link is never taken for the file it points at.
    return !path.empty() && lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool CNotarixCmdProc::CheckDirectory(const std::string &path) {
    struct stat st {};
    return !path.empty() && lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CNotarixCmdProc::AddSignaturesOf(const std::string &signed_file,
                                      std::vector<std::string> &list) {
    bool found = false;
    for (const char *suffix : {kAscSuffix, kSigSuffix}) {
        const std::string signature = GetSignatureFile(signed_file, suffix);
        if (CheckFile(signature)) {
            list.push_back(signature);
            found = true;
        }
    }
    return found;
}

void CNotarixCmdProc::DoWithSingleFile(unsigned int &problems, std::vector<std::string> &list) {
    for (const std::string &file : m_files) {
        if (IsSignatureFile(file)) {
            if (CheckFile(GetSourceFile(file))) {
                list.push_back(file);
            } else {
                PrintMsg("[WARN]:Can't find signed file. signature file path: %s.", file.c_str());
                ++problems;
            }
        } else if (!AddSignaturesOf(file, list)) {
            PrintMsg("[WARN]:Can't find Signature file. Signed file path: %s.", file.c_str());
            ++problems;
        }
    }
}

bool CNotarixCmdProc::ProcDirectory(unsigned int &problems, std::vector<std::string> &list) {
    for (std::string directory : m_directories) {
        if (!EndsWith(directory, "/")) {
            directory += "/";
        }
        if (!FilterFiles(directory, problems, list)) {
            return false;
        }
    }
    return true;
}

bool CNotarixCmdProc::FilterFiles(const std::string &directory, unsigned int &problems,
                                  std::vector<std::string> &list) {
    DIR *dir = opendir(directory.c_str());
    if (dir == nullptr) {
        return false;
    }
    bool ok = true;
    for (struct dirent *entry = readdir(dir); ok && entry != nullptr; entry = readdir(dir)) {
        if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) {
            continue;
        }
        const std::string path = directory + entry->d_name;
        struct stat st {};
        // stat follows links: a dangling one (or a link cycle grown too long) fails the walk.
        if (stat(path.c_str(), &st) != 0) {
            ok = false;
        } else if (S_ISREG(st.st_mode)) {
            if (IsSignatureFile(path)) {
                // The pair is taken up from the signed file's side.
                if (!CheckFile(GetSourceFile(path))) {
                    PrintMsg("[WARN]:Can't find signed file, signature file: %s", path.c_str());
                    ++problems;
                }
            } else if (!AddSignaturesOf(path, list)) {
                PrintMsg("[WARN]:Can't find signature file, signed file: %s", path.c_str());
                ++problems;
            }
        } else if (S_ISDIR(st.st_mode)) {
            ok = FilterFiles(path + "/", problems, list);
        }
    }
    closedir(dir);
    return ok;
}
