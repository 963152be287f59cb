#pragma once
// Comparing a picture with what came back from a PNG round trip.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace corvale::test_support {

// Decoded premultiplied BGRA pixels equal the original where alpha is 0 or 255 and are within 1
// elsewhere (the straight colours written are truncated).
inline void ExpectSamePicture(const std::vector<std::uint8_t>& original,
                              const std::vector<std::uint8_t>& decoded,
                              const std::string& what = {}) {
    ASSERT_EQ(original.size(), decoded.size()) << what;
    int bad = 0;
    for (std::size_t i = 0; i < original.size(); i += 4) {
        const bool exact = original[i + 3] == 0 || original[i + 3] == 255;
        for (int c = 0; c < 4; ++c) {
            const int d = int(original[i + c]) - int(decoded[i + c]);
            if (exact ? d != 0 : (d < -1 || d > 1)) ++bad;
        }
    }
    EXPECT_EQ(bad, 0) << what;
}

} // namespace corvale::test_support
