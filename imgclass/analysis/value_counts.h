// How often each of the 65536 counts occurs in a rectangle of a bild16: the
// one pass that the statistics and the histogram of a 16-bit image share.
#pragma once
#include <cstdint>
#include <memory>

#include "imgclass/core/imgbase.h"
#include "imgclass/core/rect.h"

namespace quenz {

class value_counts {
public:
    value_counts(const bild16_base& b, const rect& r);
    const std::uint32_t* data() const { return c_.get(); }
    std::uint32_t operator[](unsigned v) const { return c_[v]; }

private:
    std::unique_ptr<std::uint32_t[]> c_;
};

}  // namespace quenz
