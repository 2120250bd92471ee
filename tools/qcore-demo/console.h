#pragma once
// The demo's log and status sink: the log echoes entries to standard output; the status sink draws a
// progress bar with a percentage on a terminal and plain lines otherwise.
#include <qcore/data/log.h>

#include <cstdio>

class ConsoleLog : public CBaseLog {
protected:
    void ui_on_log_new(CLogItem* item) override;
};

class ConsoleStatus : public CBaseStatus {
public:
    explicit ConsoleStatus(FILE* out);
    void msg(const char* text, const char* extra) override;

protected:
    void show_progress(int range) override;
    void set_pos(int pos) override;
    void tick() override;

private:
    void draw();

    FILE* out_;
    bool terminal_;
    int range_ = 0;
    int pos_ = 0;
    int last_percent_ = -1;
};
