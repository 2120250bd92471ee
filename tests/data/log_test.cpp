#include <qcore/core/core.h>
#include <qcore/data/log.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A log that records its hook calls, as a host's list window would see them.
class RecordingLog : public CBaseLog {
public:
    std::vector<std::string> calls;
    using CBaseLog::find_log_from_id;

protected:
    void ui_on_log_new(CLogItem* item) override { calls.push_back("new " + std::to_string(item->id)); }
    void ui_on_log_remove(CLogItem* item) override { calls.push_back("remove " + std::to_string(item->id)); }
    void ui_on_clear_all_logs() override { calls.push_back("clear"); }
};

class RecordingStatus : public CBaseStatus {
public:
    std::vector<std::string> calls;
    void msg(const char* text, const char* extra) override {
        calls.push_back(std::string("msg ") + text + (extra ? "+" : ""));
    }

protected:
    void show_progress(int range) override { calls.push_back("show " + std::to_string(range)); }
    void set_pos(int pos) override { calls.push_back("pos " + std::to_string(pos)); }
    void tick() override { calls.push_back("tick"); }
};

TEST(Log, RingRecyclesOldestAfter256) {
    RecordingLog log;
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(log.add_log(LOG_INFO, "m"), i);
    log.calls.clear();

    EXPECT_EQ(log.add_log(LOG_WARNING, "257th"), 256);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"remove 0", "new 256"}));
    ASSERT_EQ(log.get_logs().size(), 256u);
    EXPECT_EQ(log.get_logs().front()->id, 1);
    EXPECT_EQ(log.get_logs().back()->id, 256);
    EXPECT_EQ(log.get_last_log_msg(), "257th");
    EXPECT_EQ(log.find_log_from_id(0), nullptr);
    ASSERT_NE(log.find_log_from_id(1), nullptr);
    EXPECT_EQ(log.find_log_from_id(256)->level, LOG_WARNING);
}

TEST(Log, EntriesStayInThePool) {
    CBaseLog log;
    log.add_log(LOG_INFO, "a");
    const CLogItem* first = log.get_logs().front();
    for (int i = 0; i < 256; ++i)
        log.add_log(LOG_INFO, "b");
    // The first pool entry was recycled as the newest one.
    EXPECT_EQ(log.get_logs().back(), first);
    EXPECT_EQ(first->id, 256);
}

TEST(Log, FindOutsideTheLiveRange) {
    RecordingLog log;
    EXPECT_EQ(log.find_log_from_id(0), nullptr);
    log.add_log(LOG_INFO, "x");
    log.add_log(LOG_INFO, "y");
    EXPECT_EQ(log.find_log_from_id(-1), nullptr);
    EXPECT_EQ(log.find_log_from_id(2), nullptr);
    EXPECT_EQ(log.find_log_from_id(1)->msg, "y");
}

TEST(Log, ClearKeepsIdsAndAlwaysCallsItsHook) {
    RecordingLog log;
    log.add_log(LOG_INFO, "x");
    log.enable_ui(0);
    log.add_log(LOG_ERROR, "y");
    log.clear_all();
    EXPECT_EQ(log.calls, (std::vector<std::string>{"new 0", "clear"}));
    EXPECT_TRUE(log.get_logs().empty());
    EXPECT_EQ(log.get_last_log_msg(), "");
    EXPECT_EQ(log.add_log(LOG_INFO, "z"), 2);
    EXPECT_EQ(log.is_enable_ui(), 0);
}

TEST(Log, PartsAreAppendedAndNullsSkipped) {
    CBaseLog log;
    log.add_log(LOG_ERROR, "tex.bmp", ", 贴图文件未找到", nullptr);
    EXPECT_EQ(log.get_last_log_msg(), "tex.bmp, 贴图文件未找到");
    log.add_log(LOG_INFO, nullptr, "b", "c");
    EXPECT_EQ(log.get_last_log_msg(), "bc");
}

TEST(Log, LevelNames) {
    EXPECT_STREQ(CLogItem::get_level_name(LOG_INFO), "信息");
    EXPECT_STREQ(CLogItem::get_level_name(LOG_WARNING), "警告");
    EXPECT_STREQ(CLogItem::get_level_name(LOG_ERROR), "错误");
    for (int v : {0, 3, 5, -1})
        EXPECT_STREQ(CLogItem::get_level_name(static_cast<log_level>(v)), "");
}

TEST(LogTab, NestedBracketsIndentAndNeverGoNegative) {
    gCore core;
    {
        CLogTab outer(&core, "outer", " start");
        core.log->add_log(LOG_INFO, "a");
        {
            CLogTab inner(&core, "inner");
            core.log->add_log(LOG_INFO, "b");
            inner.end();
            inner.end();
        }
        core.log->add_log(LOG_INFO, "c");
    }
    core.log->add_log(LOG_INFO, "d");
    std::vector<std::string> texts;
    for (const CLogItem* item : core.log->get_logs())
        texts.push_back(item->msg.str());
    EXPECT_EQ(texts, (std::vector<std::string>{"outer start", "    a", "    inner", "        b", "c", "d"}));
    EXPECT_EQ(core.log->get_tab(), 0);
}

TEST(Progress, BeginsAndEndsExactlyOnce) {
    RecordingStatus status;
    {
        CProgressBar bar(&status, 3, nullptr);
        bar.tick();
        bar.set_pos(2);
        bar.msg("step");
    }
    EXPECT_EQ(status.calls,
              (std::vector<std::string>{"show 3", "msg ", "tick", "pos 2", "msg step", "show 0"}));

    status.calls.clear();
    {
        CProgressBar bar(&status, 1, "t");
        bar.end();
    }
    EXPECT_EQ(status.calls, (std::vector<std::string>{"show 1", "msg t", "show 0"}));

    // No status sink: every call is a no-op rather than a crash.
    CProgressBar silent(nullptr, 5, "t");
    silent.tick();
    silent.set_pos(3);
    silent.msg("step");
    silent.end();
}

} // namespace
