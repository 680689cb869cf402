// The remote control's framing (see remote_frames.h).
#include "quenz-view/remote_frames.h"

namespace quenz::remote {

Frames::Got Frames::next(std::string& frame) {
    constexpr std::size_t max_digits = 12;
    const std::size_t avail = buf_.size() - pos_;
    std::size_t len = 0, i = 0;
    for (; i < avail && i <= max_digits; ++i) {
        char c = buf_[pos_ + i];
        if (c == '\n') break;
        if (c < '0' || c > '9' || i == max_digits) return Got::malformed;
        len = len * 10 + std::size_t(c - '0');
        if (len > max_) return Got::malformed;
    }
    if (i == avail) return Got::none;  // the line is not complete yet
    if (i == 0) return Got::malformed;
    if (avail - i - 1 < len) return Got::none;
    frame.assign(buf_, pos_ + i + 1, len);
    pos_ += i + 1 + len;
    // Drop what has been read once it is the larger part: amortised linear.
    if (pos_ == buf_.size()) {
        buf_.clear();
        pos_ = 0;
    } else if (pos_ > buf_.size() / 2) {
        buf_.erase(0, pos_);
        pos_ = 0;
    }
    return Got::frame;
}

std::string Frames::frame(const std::string& bytes) {
    return std::to_string(bytes.size()) + "\n" + bytes;
}

}  // namespace quenz::remote
