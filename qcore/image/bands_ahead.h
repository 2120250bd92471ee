#pragma once
// A picture handed out a band of rows at a time from two slots, while a second thread fills the slot not in
// use: the making of the next band (a copy out of the graphics device, say) overlaps the use of this one
// (its compression). When that thread has not started a band the reader wants, the reader makes it.
#include <qcore/image/image_save.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace qcore::detail {

class BandsAhead {
public:
    // Makes band `band` (rows band × band_rows on) in slot `slot` (0 or 1) and points `rows` at it; false
    // when it cannot. Slots are filled band after band, a slot again only once the reader has moved past the
    // band in it.
    using Fill = std::function<bool(int band, int slot, PixelRows& rows)>;

    // Calls of `fill` never overlap; each runs on the second thread or the reader's. `drain` runs on the
    // reader's thread after the last, when the second thread has ended.
    BandsAhead(int height, int band_rows, Fill fill, std::function<void()> drain);
    ~BandsAhead();
    BandsAhead(const BandsAhead&) = delete;
    BandsAhead& operator=(const BandsAhead&) = delete;

    // The rows from first_row on (a band's first row), as RowBands hands them; false when the band could not
    // be made or first_row does not start a band. The rows stay valid until the next call.
    bool next(int first_row, PixelRows& rows);

private:
    void run();
    // Makes the band after the last one claimed, outside the lock; whether it could.
    bool make_next(std::unique_lock<std::mutex>& hold);

    const int band_rows_, bands_;
    const Fill fill_;
    const std::function<void()> drain_;
    std::mutex mutex_;
    std::condition_variable changed_;
    PixelRows slots_[2];
    int claimed_ = 0; // bands being made or made
    int made_ = 0;    // bands made (the last one failed when failed_)
    int reading_ = 0; // the band the reader wants; those before it are done with
    bool filling_ = false;
    bool failed_ = false;
    bool done_ = false;  // the reader wants no more
    std::thread worker_; // not joinable when the reader does all the work
};

} // namespace qcore::detail
