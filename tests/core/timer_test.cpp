#include <qcore/core/timer.h>
#include <qcore/platform/win32/clock.h>

#include <gtest/gtest.h>

namespace {

// Drives the performance counter by hand; ticks are nanoseconds.
class FakeClock {
public:
    FakeClock() {
        previous_ = qcore::set_performance_counter_source([this] { return now_; });
    }
    ~FakeClock() { qcore::set_performance_counter_source(std::move(previous_)); }
    void advance_ms(double ms) { now_ += static_cast<LONGLONG>(ms * 1e6); }

private:
    LONGLONG now_ = 1000000000;
    qcore::CounterSource previous_;
};

TEST(Timer, NoInfoUntilTheSecondRecord) {
    FakeClock clock;
    CTimer timer;
    EXPECT_EQ(timer.get_rapid_info(1), 0);
    EXPECT_EQ(timer.get_average_info(0), 0);
    timer.record();
    EXPECT_EQ(timer.get_rapid_info(1), 0);
    EXPECT_FALSE(timer.is_deltime_valid());

    clock.advance_ms(20);
    timer.record();
    EXPECT_TRUE(timer.is_deltime_valid());
    EXPECT_DOUBLE_EQ(timer.get_rapid_info(1), 20);
    EXPECT_DOUBLE_EQ(timer.get_rapid_info(0), 50);
    EXPECT_DOUBLE_EQ(timer.get_elapse_time(), 20);
}

TEST(Timer, AverageAfterTheWindowPassesHalfASecond) {
    FakeClock clock;
    CTimer timer;
    timer.record();
    for (int i = 0; i < 5; ++i) {
        clock.advance_ms(100);
        timer.record();
    }
    // Exactly 500 ms is not past the window.
    EXPECT_EQ(timer.get_average_info(1), 0);
    clock.advance_ms(10);
    timer.record();
    EXPECT_DOUBLE_EQ(timer.get_average_info(1), 510.0 / 6);
    EXPECT_EQ(timer.window_frames, 0);
}

TEST(Timer, DisablingRestartsTheMeasurementAndKeepsTheTotal) {
    FakeClock clock;
    CTimer timer;
    timer.record();
    clock.advance_ms(30);
    timer.record();
    timer.enable(0);
    EXPECT_EQ(timer.get_rapid_info(1), 0);
    timer.record(); // ignored while disabled
    timer.enable(1);
    clock.advance_ms(1000);
    timer.record(); // only restarts
    EXPECT_FALSE(timer.is_deltime_valid());
    EXPECT_DOUBLE_EQ(timer.get_elapse_time(), 30);
    clock.advance_ms(10);
    timer.record();
    EXPECT_DOUBLE_EQ(timer.get_rapid_info(1), 10);
    EXPECT_DOUBLE_EQ(timer.get_elapse_time(), 40);
}

TEST(Timer, InputTimeFeedsRapidAndElapsed) {
    FakeClock clock;
    CTimer timer;
    timer.record();
    clock.advance_ms(5);
    timer.record();
    timer.record_by_input_time(40);
    EXPECT_DOUBLE_EQ(timer.get_elapse_time(), 45);
    EXPECT_DOUBLE_EQ(timer.get_rapid_info(0), 25);

    // A host that feeds its own frame times, without record, gets rates too.
    CTimer fed;
    fed.record_by_input_time(40);
    EXPECT_TRUE(fed.is_deltime_valid());
    EXPECT_DOUBLE_EQ(fed.get_rapid_info(0), 25);
    EXPECT_DOUBLE_EQ(fed.get_rapid_info(1), 40);
}

} // namespace
