#pragma once
// The message log (a fixed ring of 256 entries), indentation brackets, the status sink and progress reports.
#include <qcore/platform/win32/cstring.h>

#include <list>
#include <vector>

class gCore;

enum log_level : int32_t {
    LOG_INFO = 1,
    LOG_WARNING = 2,
    LOG_ERROR = 4,
};

class CLogItem {
public:
    log_level level = LOG_INFO;
    int id = 0;
    CString msg;

    // "信息", "警告" or "错误"; the empty string for any other value.
    static const char* get_level_name(log_level level);
};

class CBaseLog {
public:
    CBaseLog();
    virtual ~CBaseLog() = default;
    CBaseLog(const CBaseLog&) = delete;
    CBaseLog& operator=(const CBaseLog&) = delete;

    // Adds msg, part2 and part3 (each may be null) after the current indentation; returns the entry's id.
    int add_log(log_level level, const char* msg, const char* part2 = nullptr, const char* part3 = nullptr);
    CString get_last_log_msg() const;
    const std::list<CLogItem*>& get_logs() const { return logs; }
    void clear_all();
    int is_enable_ui() const { return ui_enabled; }
    void enable_ui(int enable) { ui_enabled = enable; }

    // Indentation depth: CLogTab opens and closes levels.
    int get_tab() const { return tab; }
    void inc_tab() { ++tab; }
    void dec_tab() { tab = tab > 0 ? tab - 1 : 0; }

protected:
    virtual void ui_on_log_new(CLogItem*) {}
    virtual void ui_on_log_remove(CLogItem*) {}
    virtual void ui_on_clear_all_logs() {}

    CLogItem* find_log_from_id(int id);
    CLogItem* allocate_log();
    void reset_tab() { tab = 0; }

    std::vector<CLogItem> pool;
    std::list<CLogItem*> logs;
    int next_id = 0;
    int tab = 0;
    int capacity = 256;
    int ui_enabled = 1;
};

// Opens an indented section of the core's log for its lifetime: its title is logged, then every entry
// added before end() is indented by one more level.
class CLogTab {
public:
    CLogTab(gCore* core, const char* title, const char* suffix = nullptr);
    ~CLogTab();
    CLogTab(const CLogTab&) = delete;
    CLogTab& operator=(const CLogTab&) = delete;

    void end(const char* = nullptr, const char* = nullptr);

    int closed = 0;
    CString title;
    gCore* core = nullptr;
};

// Status and progress sink; the base class shows nothing. Hosts derive from it.
class CBaseStatus {
public:
    virtual ~CBaseStatus() = default;
    virtual void msg(const char*, const char*) {}

protected:
    friend class CProgressBar;
    virtual void show_progress(int) {}
    virtual void set_pos(int) {}
    virtual void tick() {}
};

// Scoped progress report: shows the progress display on construction and hides it exactly once.
class CProgressBar {
public:
    CProgressBar(CBaseStatus* status, int range, const char* title);
    ~CProgressBar();
    CProgressBar(const CProgressBar&) = delete;
    CProgressBar& operator=(const CProgressBar&) = delete;

    void end();
    void tick();
    void set_pos(int pos);
    void msg(const char* text);

    CBaseStatus* status = nullptr;
    int ended = 0;
};
