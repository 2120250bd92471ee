#include <qcore/image/bands_ahead.h>

#include <algorithm>
#include <system_error>
#include <utility>

namespace qcore::detail {

BandsAhead::BandsAhead(int height, int band_rows, Fill fill, std::function<void()> drain)
    : band_rows_(std::max(band_rows, 1)), bands_(height > 0 ? (height + band_rows_ - 1) / band_rows_ : 0),
      fill_(std::move(fill)), drain_(std::move(drain)) {
    // One band has nothing to overlap with.
    if (bands_ < 2) return;
    try {
        worker_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        // Without a second thread the reader makes each band as it asks for it.
    }
}

BandsAhead::~BandsAhead() {
    if (worker_.joinable()) {
        {
            const std::lock_guard hold(mutex_);
            done_ = true;
        }
        changed_.notify_all();
        worker_.join();
    }
    drain_();
}

bool BandsAhead::make_next(std::unique_lock<std::mutex>& hold) {
    const int band = claimed_++;
    filling_ = true;
    hold.unlock();
    PixelRows rows;
    const bool made = fill_(band, band % 2, rows);
    hold.lock();
    slots_[band % 2] = rows;
    failed_ = !made;
    made_ = band + 1;
    filling_ = false;
    changed_.notify_all();
    return made;
}

void BandsAhead::run() {
    std::unique_lock hold(mutex_);
    for (;;) {
        // A slot is free once the reader has asked for the band after the one last made in it.
        changed_.wait(hold, [&] {
            return done_ || failed_ || claimed_ == bands_ || (!filling_ && claimed_ < reading_ + 2);
        });
        if (done_ || failed_ || claimed_ == bands_) return;
        if (!make_next(hold)) return;
    }
}

bool BandsAhead::next(int first_row, PixelRows& rows) {
    if (first_row < 0 || first_row % band_rows_ != 0 || first_row / band_rows_ >= bands_) return false;
    const int band = first_row / band_rows_;
    std::unique_lock hold(mutex_);
    // Bands are read in order: the one being read again, or the next.
    if (band != reading_ && band != reading_ + 1) return false;
    if (band != reading_) {
        reading_ = band;
        changed_.notify_all();
    }
    // A band the other thread has not started (it may be waiting for a processor) is made here, rather than
    // waited for; one it is making is waited for.
    for (;;) {
        if (failed_ && band >= made_ - 1) return false;
        if (made_ > band) break;
        if (!filling_ && claimed_ == band) {
            if (!make_next(hold)) return false;
            break;
        }
        changed_.wait(hold);
    }
    rows = slots_[band % 2];
    return true;
}

} // namespace qcore::detail
