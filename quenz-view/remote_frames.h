// The remote control's framing: each message is its length in decimal
// digits, a newline, then that many bytes. Plain C++, so that the server,
// its unit test and the fuzz target share it.
//
// Every byte is looked at a bounded number of times (the length line is
// at most 12 digits), and nothing is kept beyond one message and the
// unread rest of what arrived.
#pragma once
#include <cstddef>
#include <string>

namespace quenz::remote {

class Frames {
public:
    explicit Frames(std::size_t max_frame) : max_(max_frame) {}
    // The largest message accepted from now on (raised after the token).
    void set_max(std::size_t max_frame) { max_ = max_frame; }
    void add(const char* data, std::size_t n) { buf_.append(data, n); }
    std::size_t buffered() const { return buf_.size() - pos_; }

    enum class Got { none, frame, malformed };
    // The next whole message into frame; none until it has all arrived;
    // malformed for a length line that is not 1 to 12 digits or is above
    // the limit (the connection is then beyond repair).
    Got next(std::string& frame);

    // "<length>\n<bytes>"
    static std::string frame(const std::string& bytes);

private:
    std::string buf_;
    std::size_t pos_ = 0;  // start of the unread bytes in buf_
    std::size_t max_;
};

}  // namespace quenz::remote
