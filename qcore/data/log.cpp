#include <qcore/core/core.h>
#include <qcore/data/log.h>

const char* CLogItem::get_level_name(log_level level) {
    switch (level) {
    case LOG_INFO:
        return "信息";
    case LOG_WARNING:
        return "警告";
    case LOG_ERROR:
        return "错误";
    }
    return "";
}

CBaseLog::CBaseLog() : pool(256) {}

int CBaseLog::add_log(log_level level, const char* msg, const char* part2, const char* part3) {
    CLogItem* item = allocate_log();
    item->id = next_id++;
    item->level = level;
    item->msg.Empty();
    for (int i = 0; i < tab; ++i)
        item->msg += "    ";
    item->msg += msg;
    item->msg += part2;
    item->msg += part3;
    if (ui_enabled) ui_on_log_new(item);
    return item->id;
}

CString CBaseLog::get_last_log_msg() const {
    return logs.empty() ? CString() : logs.back()->msg;
}

void CBaseLog::clear_all() {
    ui_on_clear_all_logs();
    logs.clear();
}

CLogItem* CBaseLog::find_log_from_id(int id) {
    if (logs.empty() || id < logs.front()->id || id > logs.back()->id) return nullptr;
    for (auto it = logs.rbegin(); it != logs.rend(); ++it)
        if ((*it)->id == id) return *it;
    return nullptr;
}

CLogItem* CBaseLog::allocate_log() {
    const auto count = static_cast<int>(logs.size());
    if (count == capacity) {
        CLogItem* oldest = logs.front();
        if (ui_enabled) ui_on_log_remove(oldest);
        // Move the list node itself from front to back: recycling allocates nothing.
        logs.splice(logs.end(), logs, logs.begin());
        return oldest;
    }
    CLogItem* item = &pool[static_cast<size_t>(count)];
    logs.push_back(item);
    return item;
}

CLogTab::CLogTab(gCore* core_, const char* title_, const char* suffix) : title(title_), core(core_) {
    title += suffix;
    core->log->add_log(LOG_INFO, title);
    core->log->inc_tab();
}

CLogTab::~CLogTab() {
    if (!closed) end();
}

void CLogTab::end(const char*, const char*) {
    closed = 1;
    core->log->dec_tab();
}

// Without a status sink (a core made without one, a tool that reports nothing) the bar reports nothing.
CProgressBar::CProgressBar(CBaseStatus* status_, int range, const char* title) : status(status_) {
    if (!status) return;
    status->show_progress(range);
    status->msg(title ? title : "", nullptr);
}

CProgressBar::~CProgressBar() {
    if (!ended) end();
}

void CProgressBar::end() {
    ended = 1;
    if (status) status->show_progress(0);
}

void CProgressBar::tick() {
    if (status) status->tick();
}
void CProgressBar::set_pos(int pos) {
    if (status) status->set_pos(pos);
}
void CProgressBar::msg(const char* text) {
    if (status) status->msg(text, nullptr);
}
