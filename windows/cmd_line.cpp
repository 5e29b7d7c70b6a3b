#include "cmd_line.h"

#include <shlwapi.h>

#include <cstring>
#include <cwchar>

#include "console.h"
#include "pellax_err.h"
#include "verify_run.h"
#include "win_host.h"
#include "win_log.h"

// A text value must be shorter than this.
constexpr size_t kTextValueLimit = 259;

const cmd_option cmd_options[6] = {
    {L"h", CMD_KIND_HELP, CMD_TO_NONE, 0},
    {L"ui", CMD_KIND_DIALOG, CMD_TO_NONE, 0},
    {L"k", CMD_KIND_TEXT, CMD_TO_KEY, kTextValueLimit},
    {L"d", CMD_KIND_LIST, CMD_TO_DIRS, 0},
    {L"f", CMD_KIND_LIST, CMD_TO_FILES, 0},
    {L"l", CMD_KIND_TEXT, CMD_TO_LOG, kTextValueLimit},
};

namespace {

bool is_option_text(const wchar_t *arg) {
    return arg[0] == L'-';
}

bool names_option(const wchar_t *arg, const cmd_option &option) {
    return arg[0] == L'-' && std::wcscmp(arg + 1, option.name) == 0;
}

wchar_t *text_destination(cmd_args *args, cmd_destination destination) {
    return destination == CMD_TO_KEY ? args->key_file : args->log_file;
}

std::wstring *list_destination(cmd_args *args, cmd_destination destination) {
    return destination == CMD_TO_DIRS ? &args->dir_list : &args->file_list;
}

// Handles the first occurrence of an option at argv[at]; CMD_RUN to go on with the next option.
int take_option(int argc, wchar_t **argv, int at, const cmd_option &option, cmd_args *args) {
    switch (option.kind) {
        case CMD_KIND_HELP:
            return CMD_HELP;
        case CMD_KIND_DIALOG:
            return CMD_DIALOG;
        case CMD_KIND_TEXT: {
            if (at + 1 >= argc) {
                return CMD_RUN;
            }
            const wchar_t *value = argv[at + 1];
            if (is_option_text(value)) {
                return CMD_ERROR;
            }
            if (std::wcslen(value) >= option.limit) {
                console_print("[WARN]: Input params is too long.\r\n");
                return CMD_ERROR;
            }
            std::wcscpy(text_destination(args, option.destination), value);
            return CMD_RUN;
        }
        case CMD_KIND_LIST: {
            std::wstring *list = list_destination(args, option.destination);
            for (int i = at + 1; i < argc && !is_option_text(argv[i]); ++i) {
                if (i > at + 1) {
                    *list += L';';
                }
                *list += argv[i];
            }
            return CMD_RUN;
        }
    }
    return CMD_RUN;
}

// The path up to and including its last separator ("\" or "/"), so that a partner found
// beside it is looked for in the same folder.
std::wstring directory_part(const std::wstring &path) {
    return path.substr(0, static_cast<size_t>(path_name_part(path.c_str()) - path.c_str()));
}

int add_locked(verify_job *job, const std::wstring &source, const std::wstring &signature) {
    job_lock_guard hold(job);
    return add_verify_entry(job, 0, source.c_str(), signature.c_str());
}

int left_out(verify_job *job) {
    job->flags |= JOB_FLAG_LEFT_OUT;
    return -1;
}

int add_signature(verify_job *job, const std::wstring &signature) {
    wchar_t name[JOB_PATH_CHARS];
    if (!find_source_file(signature.c_str(), name)) {
        console_print("[WARN]:Can't find source file for %s.\r\n",
                      ansi_text(signature.c_str()).c_str());
        return left_out(job);
    }
    if (add_locked(job, directory_part(signature) + name, signature) != 0) {
        return left_out(job);
    }
    return 0;
}

int add_signed_file(verify_job *job, const std::wstring &source) {
    wchar_t names[SIGNATURE_SUFFIX_COUNT][JOB_PATH_CHARS];
    if (!find_signature_files(source.c_str(), names)) {
        console_print("[WARN]:Can't find signature file for %s.\r\n",
                      ansi_text(source.c_str()).c_str());
        return left_out(job);
    }
    std::wstring directory = directory_part(source);
    for (const auto &name : names) {
        if (name[0] != L'\0' && add_locked(job, source, directory + name) != 0) {
            return left_out(job);
        }
    }
    return 0;
}

// Splits a ";"-list; empty elements name nothing and are skipped.
template <typename Step>
void for_each_element(const std::wstring &list, Step step) {
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(L';', start);
        if (end == std::wstring::npos) {
            end = list.size();
        }
        if (end > start) {
            step(list.substr(start, end - start));
        }
        start = end + 1;
    }
}

void print_pass(const verify_entry &entry) {
    console_print("[PASS]:Good Signature. File path: %s", entry.signature_path);
    if (entry.fingerprint_len != 0) {
        console_print(", public key fingerprint: %s",
                      fingerprint_text(entry.fingerprint, entry.fingerprint_len, false).c_str());
    }
    console_print("\r\n");
}

void print_fail(const verify_entry &entry) {
    console_print("[FAIL]");
    if (entry.message[0] != L'\0') {
        console_print(": %s. ", ansi_text(entry.message).c_str());
    }
    console_print("Source file %s\r\n", entry.source_path);
}

}  // namespace

int parse_cmd_args(int argc, wchar_t **argv, cmd_args *args) {
    args->key_file[0] = L'\0';
    args->log_file[0] = L'\0';
    args->dir_list.clear();
    args->file_list.clear();
    for (const cmd_option &option : cmd_options) {
        for (int at = 1; at < argc; ++at) {
            if (names_option(argv[at], option)) {
                int answer = take_option(argc, argv, at, option, args);
                if (answer != CMD_RUN) {
                    return answer;
                }
                break;
            }
        }
    }
    return CMD_RUN;
}

void print_usage() {
    console_print("Notarix version %s\r\n", PELLAX_VERSION_TEXT);
    console_print("Copyright (C) Notarix developers. All rights reserved.\r\n\r\n");
    console_print("Command:\r\n");
    console_print(" -k: public key.\r\n");
    console_print(" -d: The directory which to be verified.\r\n");
    console_print(" -f: The file which to be verified.\r\n");
    console_print(" -l: Set log file.\r\n\r\n");
    console_print("Example:\r\n");
    console_print(" Notarix -k KEYS -d file-directory\r\n");
    console_print(" Notarix -k KEYS -f signed-file\r\n");
}

int run_cmd_line(int argc, wchar_t **argv, int *exit_code) {
    *exit_code = -1;
    cmd_args args;
    int answer = parse_cmd_args(argc, argv, &args);
    if (answer == CMD_HELP || answer == CMD_ERROR) {
        print_usage();
    } else if (answer == CMD_RUN) {
        *exit_code = proc_cmd_verify(&args);
    }
    return answer;
}

int exit_code_from_flags(uint32_t flags) {
    if ((flags & ~static_cast<uint32_t>(JOB_FLAG_GOOD)) == 0) {
        return 0;
    }
    return (flags & JOB_FLAG_GOOD) ? 1 : 2;
}

int proc_cmd_verify(const cmd_args *args) {
    init_host_services();
    if (args->key_file[0] == L'\0') {
        console_print("[ERR]:Please specify public key with -k.\r\n\r\n");
        print_usage();
        return -1;
    }
    if (args->dir_list.empty() && args->file_list.empty()) {
        console_print(
            "[ERR]:Please specify either source file with -f or directory with -d.\r\n\r\n");
        print_usage();
        return -1;
    }
    verify_job *job = create_verify_job(args->key_file);
    if (job == nullptr) {
        console_print("[ERR]:Initialize verify context failed.\r\n");
        return -1;
    }
    if (args->log_file[0] != L'\0' && !open_log_file(args->log_file)) {
        console_print("[ERR]:Open log file error(%X).", static_cast<unsigned>(GetLastError()));
        release_verify_job(job);
        return -1;
    }
    console_print("\r\n[INFO]:Filtering signature files...\r\n");
    collect_cmd_files(job, args);
    console_print("[INFO]:Start verify process...\r\n");
    int exit_code = verify_all_entries(job) == 0 ? exit_code_from_flags(job->flags) : -1;
    release_verify_job(job);
    close_log_file();
    console_print("[INFO]: Verify Complete.\r\n");
    return exit_code;
}

void collect_cmd_files(verify_job *job, const cmd_args *args) {
    for_each_element(args->file_list,
                     [job](const std::wstring &path) { add_file_to_job(job, path.c_str()); });
    for_each_element(args->dir_list,
                     [job](const std::wstring &path) { add_dir_to_job(job, path.c_str()); });
}

int add_file_to_job(verify_job *job, const wchar_t *path) {
    wchar_t canonical[JOB_PATH_CHARS];
    // Too long for the path buffers, or no canonical form: nothing is verified for it.
    if (std::wcslen(path) >= JOB_PATH_CHARS || !PathCanonicalizeW(canonical, path)) {
        return left_out(job);
    }
    DWORD attributes = GetFileAttributesW(canonical);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        console_print("[ERR]:File not exist %s.\r\n", ansi_text(canonical).c_str());
        return left_out(job);
    }
    if (is_signature_file_w(canonical)) {
        return add_signature(job, canonical);
    }
    return add_signed_file(job, canonical);
}

int add_dir_to_job(verify_job *job, const wchar_t *path) {
    if (std::wcslen(path) >= WALK_FOLDER_LIMIT) {
        console_print("[ERR]path too long: %s.\r\n", ansi_text(path).c_str());
        return left_out(job);
    }
    std::wstring pattern = std::wstring(path) + L"\\*";
    WIN32_FIND_DATAW found;
    HANDLE listing = FindFirstFileW(pattern.c_str(), &found);
    if (listing == INVALID_HANDLE_VALUE) {
        console_print("[ERR]:Failed to start signature file filter.\r\n");
        job->flags |= JOB_FLAG_INVALID;
        return -1;
    }
    find_guard close_listing(listing);
    do {
        wchar_t joined[JOB_PATH_CHARS];
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (is_dot_entry(found.cFileName)) {
                continue;
            }
            if (join_path(path, found.cFileName, joined) != 0) {
                console_print(
                    "[WARN]:May be not all signature added, because the folder's depth is "
                    "overloaded\r\n");
                return left_out(job);
            }
            if (add_dir_to_job(job, joined) != 0) {
                return -1;
            }
            continue;
        }
        if (join_path(path, found.cFileName, joined) != 0) {
            console_print("[WARN]:Folder's depth is overloaded.\r\n");
            return left_out(job);
        }
        wchar_t source_name[JOB_PATH_CHARS];
        // A signature whose signed file lies here comes in with that file.
        if (is_signature_file_w(found.cFileName) && find_source_file(joined, source_name)) {
            continue;
        }
        add_file_to_job(job, joined);
    } while (FindNextFileW(listing, &found));
    return 0;
}

int verify_all_entries(verify_job *job) {
    if (job->count == 0) {
        console_print("[ERR]No files to be verify.\r\n");
        return -1;
    }
    PELLAX_VRF_CTX *ctx = nullptr;
    PELLAX_VERIFY_FUNCS funcs;
    if (open_verify_context(&ctx, &funcs, job->key_path) != 0) {
        return -1;
    }
    for (int32_t i = 0; i < job->count; ++i) {
        verify_entry &entry = job->entries[i];
        if (verify_one_entry(ctx, &funcs, &entry) != 0) {
            // The pair was not verified: the run must not end as if it had been.
            job->flags |= JOB_FLAG_LEFT_OUT;
            if (entry.message[0] != L'\0') {
                console_print("[ERR]%s\r\n", ansi_text(entry.message).c_str());
            }
        }
        if (entry.result == ENTRY_GOOD) {
            job->flags |= JOB_FLAG_GOOD;
            print_pass(entry);
        } else if (entry.result == ENTRY_FAILED) {
            job->flags |= JOB_FLAG_INVALID;
            print_fail(entry);
        }
    }
    funcs.vrf_ctx_free(ctx);
    return 0;
}
