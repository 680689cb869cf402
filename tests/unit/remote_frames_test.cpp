// The remote control's framing: messages come out whole and in order
// however the bytes are cut on the way, and a length line that is not
// 1..12 digits within the limit ends the connection.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quenz-view/remote_frames.h"

using quenz::remote::Frames;

namespace {

std::vector<std::string> messages() {
    return {"tok", "", "show 1 /tmp/a.his", std::string(70000, '\0') + "\n{[x", "windows"};
}

}  // namespace

TEST(RemoteFrames, WholeMessagesWhateverTheCuts) {
    std::string stream;
    for (const auto& m : messages()) stream += Frames::frame(m);
    for (std::size_t step : {std::size_t(1), std::size_t(2), std::size_t(7), std::size_t(4096), stream.size()}) {
        Frames f(1 << 20);
        std::vector<std::string> got;
        std::string m;
        for (std::size_t at = 0; at < stream.size(); at += step) {
            f.add(stream.data() + at, std::min(step, stream.size() - at));
            Frames::Got g;
            while ((g = f.next(m)) == Frames::Got::frame) got.push_back(m);
            ASSERT_EQ(g, Frames::Got::none) << "step " << step;
        }
        EXPECT_EQ(got, messages()) << "step " << step;
        EXPECT_EQ(f.buffered(), 0u);
    }
}

TEST(RemoteFrames, MalformedLengthLines) {
    for (const std::string& bad : std::vector<std::string>{"\n", "x\n", "-1\n", " 3\n", "1 \n", "0000000000001\n", "65\n",
                            std::string(30, '1')}) {
        Frames f(64);
        f.add(bad.data(), bad.size());
        std::string m;
        EXPECT_EQ(f.next(m), Frames::Got::malformed) << bad;
    }
    // 12 digits within the limit, and a line still arriving, are fine.
    Frames f(64);
    std::string ok = "000000000003\nabc12";
    f.add(ok.data(), ok.size());
    std::string m;
    EXPECT_EQ(f.next(m), Frames::Got::frame);
    EXPECT_EQ(m, "abc");
    EXPECT_EQ(f.next(m), Frames::Got::none);
    // the limit rises after the token: "12" begins a longer message
    f.set_max(1 << 20);
    f.add("0\n", 2);
    EXPECT_EQ(f.next(m), Frames::Got::none);
    EXPECT_EQ(f.buffered(), 4u);
}
