#include "platform/embedded.h"

#include <gtest/gtest.h>

#include <string>

CORVALE_EMBEDDED_TABLE(test_blobs)

namespace {

using corvale::embedded::Find;
using corvale::embedded::test_blobs;

TEST(Embedded, FindsFilesByRelativePathWithTheirExactBytes) {
    auto hello = Find(test_blobs, "hello.txt");
    EXPECT_EQ(std::string(hello.begin(), hello.end()), "hello\n");
    auto bin = Find(test_blobs, "sub/three.bin");
    ASSERT_EQ(bin.size(), 3u);
    EXPECT_EQ(bin[0], 0x00);
    EXPECT_EQ(bin[1], 0xff);
    EXPECT_EQ(bin[2], 0x7f);
}

TEST(Embedded, UnknownNameGivesEmptySpan) {
    EXPECT_TRUE(Find(test_blobs, "missing.txt").empty());
    EXPECT_TRUE(Find(test_blobs, "hello").empty());
}

} // namespace
