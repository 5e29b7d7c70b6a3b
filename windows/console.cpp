#include "console.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdarg>
#include <cstdio>

void console_init() {
    _setmode(_fileno(stdout), _O_BINARY);
}

void console_print(const char *format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int needed = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (needed > 0) {
        std::string text(static_cast<size_t>(needed) + 1, '\0');
        std::vsnprintf(&text[0], text.size(), format, again);
        std::fwrite(text.data(), 1, static_cast<size_t>(needed), stdout);
        std::fflush(stdout);
    }
    va_end(again);
}

std::string ansi_text(const wchar_t *text) {
    if (text == nullptr || *text == L'\0') {
        return std::string();
    }
    int bytes = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1) {
        return std::string();
    }
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, &out[0], bytes, nullptr, nullptr);
    out.resize(static_cast<size_t>(bytes) - 1);
    return out;
}
