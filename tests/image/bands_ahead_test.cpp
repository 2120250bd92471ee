#include <qcore/image/bands_ahead.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace qcore::test {
namespace {

using detail::BandsAhead;
using detail::PixelRows;

// Bands of 4 rows of 2 pixels, each pixel holding its row's number; the fills are recorded.
struct Picture {
    explicit Picture(int rows, int failing_band = -1) : height(rows), fail_at(failing_band) {}
    int height;
    int fail_at;
    uint8_t slots[2][4 * 2 * 4] = {};
    std::vector<int> filled;
    std::thread::id filler;
    std::atomic<int> filling{0};
    bool overlapped = false;
    int drains = 0;

    BandsAhead::Fill fill() {
        return [this](int band, int slot, PixelRows& rows) {
            overlapped = overlapped || filling++ != 0;
            filler = std::this_thread::get_id();
            filled.push_back(band);
            std::this_thread::yield();
            --filling;
            if (band == fail_at) return false;
            const int count = std::min(4, height - band * 4);
            for (int y = 0; y < count; ++y)
                for (int i = 0; i < 8; ++i)
                    slots[slot][y * 8 + i] = static_cast<uint8_t>(band * 4 + y);
            rows = {slots[slot], 8, 2, count, 4};
            return true;
        };
    }
    std::function<void()> drain() {
        return [this] { ++drains; };
    }
};

// Reads every band, slowly and then at once, checking each is whole and stays so while it is read (the other
// thread must not refill a slot still in use); bands are made in order, one at a time, on whichever thread.
TEST(BandsAhead, HandsOutEveryBandInOrderWhileTheNextIsMade) {
    for (const int pause_us : {200, 0}) {
        Picture p(30);
        {
            BandsAhead bands(30, 4, p.fill(), p.drain());
            for (int first = 0; first < 30; first += 4) {
                PixelRows rows;
                ASSERT_TRUE(bands.next(first, rows)) << first;
                ASSERT_EQ(rows.height, std::min(4, 30 - first));
                for (int pass = 0; pass < 2; ++pass) {
                    for (int y = 0; y < rows.height; ++y)
                        for (int i = 0; i < 8; ++i)
                            ASSERT_EQ(rows.row(y)[i], first + y) << "band at " << first << " pass " << pass;
                    std::this_thread::sleep_for(std::chrono::microseconds(pause_us));
                }
            }
            PixelRows past;
            EXPECT_FALSE(bands.next(32, past));
        }
        EXPECT_EQ(p.filled, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
        EXPECT_FALSE(p.overlapped);
        EXPECT_EQ(p.drains, 1);
    }
}

TEST(BandsAhead, AFailedBandEndsTheReadingAndEarlyEndsDoNotHang) {
    Picture failing(40, 3);
    {
        BandsAhead bands(40, 4, failing.fill(), failing.drain());
        PixelRows rows;
        for (int first = 0; first < 12; first += 4)
            EXPECT_TRUE(bands.next(first, rows)) << first;
        EXPECT_FALSE(bands.next(12, rows));
        EXPECT_FALSE(bands.next(16, rows));
    }
    EXPECT_EQ(failing.filled, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(failing.drains, 1);

    // A reader that stops after one band, one that skips or goes back, and one that reads nothing.
    Picture stopped(400);
    {
        BandsAhead bands(400, 4, stopped.fill(), stopped.drain());
        PixelRows rows;
        EXPECT_TRUE(bands.next(0, rows));
        EXPECT_FALSE(bands.next(2, rows)) << "not the start of a band";
        EXPECT_FALSE(bands.next(8, rows)) << "skips a band";
        EXPECT_TRUE(bands.next(4, rows));
        EXPECT_FALSE(bands.next(0, rows)) << "a band already given back";
    }
    EXPECT_LE(stopped.filled.size(), 3u);
    EXPECT_EQ(stopped.drains, 1);
    Picture unread(400);
    { BandsAhead bands(400, 4, unread.fill(), unread.drain()); }
    EXPECT_EQ(unread.drains, 1);
}

// A picture of one band has nothing to overlap: the reader's own thread makes it.
TEST(BandsAhead, OneBandIsMadeOnTheReadersThread) {
    Picture p(3);
    {
        BandsAhead bands(3, 4, p.fill(), p.drain());
        PixelRows rows;
        ASSERT_TRUE(bands.next(0, rows));
        EXPECT_EQ(rows.height, 3);
        EXPECT_EQ(rows.row(2)[0], 2);
    }
    EXPECT_EQ(p.filler, std::this_thread::get_id());
    EXPECT_EQ(p.drains, 1);
}

} // namespace
} // namespace qcore::test
