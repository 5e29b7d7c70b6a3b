// The Windows program's command-line mode: options, usage text, collecting the named files and
// directories into a job, verifying it on the calling thread and the exit code.
#ifndef NOTARIX_CMD_LINE_H
#define NOTARIX_CMD_LINE_H

#include <string>

#include "verify_job.h"

// Answers of parse_cmd_args and run_cmd_line.
enum { CMD_RUN = 0, CMD_HELP = 4, CMD_DIALOG = 5, CMD_ERROR = -1 };

enum cmd_kind { CMD_KIND_HELP, CMD_KIND_DIALOG, CMD_KIND_TEXT, CMD_KIND_LIST };
enum cmd_destination { CMD_TO_NONE, CMD_TO_KEY, CMD_TO_DIRS, CMD_TO_FILES, CMD_TO_LOG };

struct cmd_option {
    const wchar_t *name;  // without the "-"
    cmd_kind kind;
    cmd_destination destination;
    size_t limit;  // a text value must be shorter than this
};

// In the order they are looked for: "-h" anywhere wins over everything, "-ui" over the rest.
extern const cmd_option cmd_options[6];

struct cmd_args {
    wchar_t key_file[JOB_PATH_CHARS];  // empty when not given
    std::wstring dir_list;             // "-d" values joined with ";", empty when none
    std::wstring file_list;            // "-f" values joined with ";", empty when none
    wchar_t log_file[JOB_PATH_CHARS];  // empty when not given
};

// CMD_RUN, CMD_HELP, CMD_DIALOG or CMD_ERROR (after "[WARN]: Input params is too long.\r\n"
// for an over-long text value). args is cleared first.
int parse_cmd_args(int argc, wchar_t **argv, cmd_args *args);

// Parses, prints the usage where asked or needed and runs a verification. *exit_code stays -1
// unless a run took place. Returns the parse answer.
int run_cmd_line(int argc, wchar_t **argv, int *exit_code);

void print_usage();

// One run: the exit code (-1 failure, 0 all good, 1 some good and some not, 2 none good).
int proc_cmd_verify(const cmd_args *args);

// Adds the files of the file list, then the directories of the directory list.
void collect_cmd_files(verify_job *job, const cmd_args *args);

// A signed file with its signatures, or a signature with its signed file. 0 or -1.
int add_file_to_job(verify_job *job, const wchar_t *path);

// Every file below a directory, recursively. 0 or -1.
int add_dir_to_job(verify_job *job, const wchar_t *path);

// Verifies the entries in order and prints a line per entry. 0, or -1 when there is nothing to
// verify or no context.
int verify_all_entries(verify_job *job);

// The exit code a finished run's flags give.
int exit_code_from_flags(uint32_t flags);

#endif
