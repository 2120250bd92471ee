#include "console.h"

#include <unistd.h>

void ConsoleLog::ui_on_log_new(CLogItem* item) {
    std::printf("[%s] %s\n", CLogItem::get_level_name(item->level), item->msg.GetString());
}

ConsoleStatus::ConsoleStatus(FILE* out) : out_(out), terminal_(isatty(fileno(out)) != 0) {}

void ConsoleStatus::msg(const char* text, const char* extra) {
    if (!text || !*text) return;
    std::fprintf(out_, "%s%s%s\n", terminal_ && range_ ? "\r\033[K" : "", text, extra ? extra : "");
}

void ConsoleStatus::show_progress(int range) {
    if (range == 0 && range_ != 0 && terminal_) std::fputc('\n', out_);
    range_ = range;
    pos_ = 0;
    last_percent_ = -1;
    if (range_) draw();
}

void ConsoleStatus::set_pos(int pos) {
    pos_ = pos;
    draw();
}

void ConsoleStatus::tick() {
    ++pos_;
    draw();
}

void ConsoleStatus::draw() {
    if (range_ <= 0) return;
    const int clamped = pos_ < 0 ? 0 : (pos_ > range_ ? range_ : pos_);
    const int percent = clamped * 100 / range_;
    if (percent == last_percent_) return;
    last_percent_ = percent;
    if (!terminal_) {
        // Plain lines: one per quarter of a long operation, so a log file stays short.
        if (percent % 25 == 0 && (range_ >= 8 || percent == 100))
            std::fprintf(out_, "progress %3d%% (%d/%d)\n", percent, clamped, range_);
        return;
    }
    constexpr int width = 40;
    const int filled = percent * width / 100;
    std::fprintf(out_, "\r[%.*s%*s] %3d%%", filled, "########################################",
                 width - filled, "", percent);
    std::fflush(out_);
}
