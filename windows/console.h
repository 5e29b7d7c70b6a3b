// The program's one console printer. Every text goes to standard output as bytes in the ANSI
// code page, on a stream switched to binary, so the "\r\n" our texts carry reach a console, a
// pipe or a file unchanged (a text-mode stream would turn them into "\r\r\n").
#ifndef NOTARIX_WIN_CONSOLE_H
#define NOTARIX_WIN_CONSOLE_H

#include <string>

// Switches standard output to binary. Call once before the first print.
void console_init();

// printf-style; the text is written whole, however long.
void console_print(const char *format, ...) __attribute__((format(gnu_printf, 1, 2)));

// A wide text in the ANSI code page, as the console shows it (characters without an ANSI form
// become the code page's default character). Null gives "".
std::string ansi_text(const wchar_t *text);

#endif
