// notarix: checks OpenPGP detached signatures of files.
#include "NotarixCmdProc.h"

int main(int argc, char **argv) {
    CNotarixCmdProc processor;
    return processor.DoWithArgs(argc, argv);
}
