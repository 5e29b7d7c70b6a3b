// The dialog without a window: a verify list of records, and a notification sink that behaves
// like SendMessageW to a window of the test's thread. A notification from another thread waits
// in a queue until the test thread pumps, exactly as a worker waits for the dialog.
#ifndef NOTARIX_FAKE_DIALOG_H
#define NOTARIX_FAKE_DIALOG_H

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "verify_list.h"
#include "verify_worker.h"

struct fake_row {
    std::wstring cells[LIST_COLUMN_COUNT];
    int32_t id;
};

class fake_view : public verify_list_view {
  public:
    std::vector<fake_row> rows;
    std::vector<std::wstring> status_lines;
    std::vector<std::wstring> cautions;
    std::vector<int> progress;
    std::vector<bool> enabled;
    int timer_starts = 0;
    int timer_stops = 0;
    bool alive = true;
    std::function<void()> on_pump;  // what handling the waiting messages does

    int row_count() override { return static_cast<int>(rows.size()); }
    void append_row(const wchar_t *const (&cells)[LIST_COLUMN_COUNT], int32_t id) override {
        fake_row row;
        for (int i = 0; i < LIST_COLUMN_COUNT; ++i) {
            row.cells[i] = cells[i];
        }
        row.id = id;
        rows.push_back(row);
    }
    void cell_text(int row, int column, wchar_t *text, int chars) override {
        wcsncpy_s(text, static_cast<size_t>(chars),
                  rows.at(static_cast<size_t>(row)).cells[column].c_str(), _TRUNCATE);
    }
    int32_t row_id(int row) override { return rows.at(static_cast<size_t>(row)).id; }
    void set_result(int row, const wchar_t *text) override {
        rows.at(static_cast<size_t>(row)).cells[COLUMN_RESULT] = text;
    }
    void clear_rows() override { rows.clear(); }
    bool window_alive() override { return alive; }
    void pump_messages() override {
        if (on_pump) {
            on_pump();
        }
    }
    void set_status_line(const wchar_t *line) override { status_lines.push_back(line); }
    void show_caution(const wchar_t *text) override { cautions.push_back(text); }
    void set_progress(int position) override { progress.push_back(position); }
    void enable_controls(bool enable) override { enabled.push_back(enable); }
    void start_filter_timer() override { ++timer_starts; }
    void stop_filter_timer() override { ++timer_stops; }

    std::vector<std::wstring> results() const {
        std::vector<std::wstring> texts;
        for (const fake_row &row : rows) {
            texts.push_back(row.cells[COLUMN_RESULT]);
        }
        return texts;
    }
};

class fake_dialog : public verify_notify_sink {
  public:
    fake_view view;
    std::vector<WPARAM> kinds;  // every notification handled, in order
    int hung_warnings = 0;
    // The worker blocks in its first "entry done" until release_worker(); it then goes on as
    // if the verification had only now come back, without that notification.
    bool hold_first_entry_done = false;

    fake_dialog() : owner_(GetCurrentThreadId()) {
        view.on_pump = [this] { pump(); };
    }

    void notify(WPARAM kind, LPARAM argument) override {
        if (GetCurrentThreadId() == owner_) {
            handle(kind, argument);
            return;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        if (hold_first_entry_done && kind == VERIFY_NOTIFY_ENTRY_DONE && !held_) {
            held_ = true;
            changed_.notify_all();
            changed_.wait(lock, [this] { return released_; });
            return;
        }
        pending item{kind, argument, false};
        queue_.push_back(&item);
        changed_.notify_all();
        changed_.wait(lock, [&item] { return item.done; });
    }
    void worker_hung() override { ++hung_warnings; }

    // Handles the waiting notifications, like the dialog's message pump.
    void pump() {
        while (handle_next()) {
        }
    }

    // Pumps until the thread has ended, or until until() holds after a notification.
    // false after 60 seconds.
    bool pump_until_ended(HANDLE thread, const std::function<bool()> &until = nullptr) {
        for (DWORD start = GetTickCount(); GetTickCount() - start < 60000;) {
            bool ended = WaitForSingleObject(thread, 1) == WAIT_OBJECT_0;
            while (handle_next()) {
                if (until && until()) {
                    return true;
                }
            }
            if (ended) {
                return true;
            }
        }
        return false;
    }

    // Waits until the worker is held in its first "entry done".
    bool wait_held() {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(60), [this] { return held_; });
    }
    void release_worker() {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

  private:
    struct pending {
        WPARAM kind;
        LPARAM argument;
        bool done;
    };
    bool handle_next() {
        pending *item = nullptr;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (queue_.empty()) {
                return false;
            }
            item = queue_.front();
            queue_.pop_front();
        }
        handle(item->kind, item->argument);
        std::lock_guard<std::mutex> lock(mutex_);
        item->done = true;
        changed_.notify_all();
        return true;
    }
    void handle(WPARAM kind, LPARAM argument) {
        kinds.push_back(kind);
        handle_verify_notify(view, kind, argument);
    }

    DWORD owner_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<pending *> queue_;
    bool held_ = false;
    bool released_ = false;
};

#endif
