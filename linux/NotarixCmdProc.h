// The Linux command processor: options, pairing of signed and signature files, the library run
// and the console lines.
#ifndef NOTARIX_CMD_PROC_H
#define NOTARIX_CMD_PROC_H

#include <string>
#include <vector>

#include "pellax_types.h"

// Path buffer of the path rule: a path must fit with its terminator.
constexpr size_t kPathBufferSize = 1024;

class CNotarixCmdProc {
  public:
    CNotarixCmdProc() = default;
    ~CNotarixCmdProc();
    CNotarixCmdProc(const CNotarixCmdProc &) = delete;
    CNotarixCmdProc &operator=(const CNotarixCmdProc &) = delete;

    // Exit status: 0 all good, 1 some problems, 2 nothing passed, -1 no run.
    int DoWithArgs(int argc, char **argv);
    // -1 error, 1 help printed on request, 0 run the verification.
    int ParseArgs(int argc, char **argv);
    void PrintHelp();
    int ProcVerify();
    // Two upper-case hex digits per byte, a space after every fourth byte but the last;
    // new[]-allocated (the caller delete[]s it), null when it cannot be allocated.
    char *ConvertHexToString(const PX_BYTE *bytes, PX_ULONG length);

    bool IsSignatureFile(const std::string &path);
    std::string GetSourceFile(const std::string &path);
    std::string GetSignatureFile(const std::string &path, const char *suffix);
    bool CheckFile(const std::string &path);
    bool CheckDirectory(const std::string &path);
    void DoWithSingleFile(unsigned int &problems, std::vector<std::string> &list);
    bool ProcDirectory(unsigned int &problems, std::vector<std::string> &list);
    bool FilterFiles(const std::string &directory, unsigned int &problems,
                     std::vector<std::string> &list);

    std::string m_keyFile;
    std::vector<std::string> m_files;
    std::vector<std::string> m_directories;

  private:
    // Appends the .asc then the .sig partner of a signed file; false when it has neither.
    bool AddSignaturesOf(const std::string &signed_file, std::vector<std::string> &list);
};

// Formats into a 512-byte buffer (at most 511 characters, a longer text is cut) and prints it
// with a newline.
void PrintMsg(const char *format, ...) __attribute__((format(printf, 1, 2)));
int isOption(const char *text);
bool ValidatePath(const char *text);
void toHexString(char *buffer, size_t position, PX_BYTE byte);
// The path rule for every file the program or the library opens: copies a usable path into
// buffer (kPathBufferSize bytes) or prints why it is refused and returns false.
bool ApplyPathRule(const char *path, char *buffer);

#endif
