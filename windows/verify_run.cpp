#include "verify_run.h"

#include <cstring>
#include <cwchar>

#include "NotarixError.h"
#include "console.h"
#include "openssl_callback.h"
#include "win_host.h"
#include "win_log.h"

namespace {

HWND g_report_window = nullptr;

constexpr wchar_t kCreateContextError[] = L"Create pellax context error.";
constexpr wchar_t kOpenKeyError[] = L"Open public key file error.";
constexpr wchar_t kLoadKeyError[] = L"Initialize public key error.";
constexpr wchar_t kOpenSignatureError[] = L"Open signature file error.";
constexpr wchar_t kOpenSourceError[] = L"Open source file error.";
constexpr wchar_t kInvalidSignature[] = L"Invalid signature.";

void set_message(verify_entry *entry, const wchar_t *text) {
    wcsncpy_s(entry->message, ENTRY_MESSAGE_CHARS, text, _TRUNCATE);
}

int fail_context(const PELLAX_VERIFY_FUNCS *funcs, PELLAX_VRF_CTX *ctx, const wchar_t *reason) {
    report_message(reason);
    if (ctx != nullptr) {
        funcs->vrf_ctx_free(ctx);
    }
    return -1;
}

}  // namespace

void set_report_window(HWND window) {
    g_report_window = window;
}

void report_message(const wchar_t *text) {
    if (g_report_window != nullptr && IsWindow(g_report_window)) {
        SendMessageW(g_report_window, WM_VERIFY_NOTIFY, VERIFY_NOTIFY_STATUS,
                     reinterpret_cast<LPARAM>(text));
        return;
    }
    console_print("%s\r\n", ansi_text(text).c_str());
}

int open_verify_context(PELLAX_VRF_CTX **ctx, PELLAX_VERIFY_FUNCS *funcs, const char *key_path) {
    *ctx = nullptr;
    PELLAX_ERROR_CODE rc = pellax_initialize_verify_funcs(funcs);
    if (rc != PELLAX_OK) {
        return static_cast<int>(rc);
    }
    funcs->set_user_def_msg_callback(GetPGPErrorMessage);
    if (log_file_is_open()) {
        funcs->set_log_callback(win_log_callback);
    }
    rc = funcs->set_md_callback(openssl_md_ctx_create, openssl_md_init, openssl_md_update,
                                openssl_md_final, openssl_md_ctx_destory);
    if (rc != PELLAX_OK) {
        return static_cast<int>(rc);
    }
    rc = funcs->set_vrf_callback(openssl_vrf_ctx_create, openssl_vrf_init, openssl_vrf_update,
                                 openssl_vrf_final, openssl_vrf_ctx_destory);
    if (rc != PELLAX_OK) {
        return static_cast<int>(rc);
    }
    PELLAX_VRF_CTX *created = nullptr;
    if (funcs->vrf_ctx_create(&created) != PELLAX_OK || created == nullptr) {
        return fail_context(funcs, created, kCreateContextError);
    }
    PELLAX_IOBUF *key_stream = open_file_stream(key_path);
    if (key_stream == nullptr) {
        return fail_context(funcs, created, kOpenKeyError);
    }
    rc = funcs->verify_initialize_by_stream(created, key_stream);
    pellax_iobuf_free(key_stream);
    if (rc != PELLAX_OK) {
        return fail_context(funcs, created, kLoadKeyError);
    }
    *ctx = created;
    return 0;
}

int verify_one_entry(PELLAX_VRF_CTX *ctx, const PELLAX_VERIFY_FUNCS *funcs, verify_entry *entry) {
    PELLAX_IOBUF *signature = open_file_stream(entry->signature_path);
    if (signature == nullptr) {
        set_message(entry, kOpenSignatureError);
        return -1;
    }
    PELLAX_IOBUF *source = open_file_stream(entry->source_path);
    if (source == nullptr) {
        set_message(entry, kOpenSourceError);
        pellax_iobuf_free(signature);
        return -1;
    }
    int verdict = 0;
    const PX_BYTE *fingerprint = nullptr;
    PX_ULONG fingerprint_len = 0;
    PELLAX_ERROR_CODE rc = funcs->verify_detach_signature_by_stream(
        ctx, source, signature, &verdict, &fingerprint, &fingerprint_len);
    pellax_iobuf_free(source);
    pellax_iobuf_free(signature);
    if (rc != PELLAX_OK || verdict != 1) {
        entry->result = ENTRY_FAILED;
        set_message(entry, kInvalidSignature);
        return rc != PELLAX_OK ? -1 : 0;
    }
    if (fingerprint == nullptr) {
        fingerprint_len = 0;
    }
    if (fingerprint_len > ENTRY_FINGERPRINT_BYTES) {
        fingerprint_len = ENTRY_FINGERPRINT_BYTES;
    }
    if (fingerprint_len > 0) {
        std::memcpy(entry->fingerprint, fingerprint, fingerprint_len);
    }
    entry->fingerprint_len = fingerprint_len;
    entry->result = ENTRY_GOOD;
    good_signature_message(entry->fingerprint, entry->fingerprint_len, entry->message);
    return 0;
}

int validate_key_file(const wchar_t *path) {
    char ansi[JOB_PATH_CHARS];
    to_ansi_path(path, ansi);
    PELLAX_VRF_CTX *ctx = nullptr;
    PELLAX_VERIFY_FUNCS funcs;
    if (open_verify_context(&ctx, &funcs, ansi) != 0) {
        return -1;
    }
    funcs.vrf_ctx_free(ctx);
    return 0;
}
