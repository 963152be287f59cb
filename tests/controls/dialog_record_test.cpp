#include "controls/file_dialog_record.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace corvale;
using namespace std::string_literals;

TEST(DialogRecord, FieldsSitAtTheirDocumentedOffsetsLittleEndian) {
    FileDialogRecord r;
    r.SetU32(ofn::kStructSize, 76);
    r.SetU32(ofn::kFlags, 0x00080024);
    r.SetU16(ofn::kFileOffset, 0x1234);
    r.SetU32(ofn::kTemplateName, 0xA1B2C3D4);
    EXPECT_EQ(r.bytes[0], 76);
    EXPECT_EQ(r.bytes[1], 0);
    EXPECT_EQ(r.bytes[52], 0x24);
    EXPECT_EQ(r.bytes[54], 0x08);
    EXPECT_EQ(r.bytes[56], 0x34);
    EXPECT_EQ(r.bytes[57], 0x12);
    EXPECT_EQ(r.bytes[72], 0xD4);
    EXPECT_EQ(r.bytes[75], 0xA1);
    EXPECT_EQ(r.Flags(), 0x00080024u);
    EXPECT_EQ(r.U16(ofn::kFileOffset), 0x1234);
    EXPECT_EQ(ofn::kRecordSize, r.bytes.size());
    // Writes or reads past the end of the record do nothing.
    r.SetU32(74, 0xFFFFFFFF);
    EXPECT_EQ(r.bytes[74], 0xB2); // unchanged
    EXPECT_EQ(r.U32(73), 0u);
}

TEST(DialogRecord, OwnerIsTheSignExtendedWindowHandle) {
    FileDialogRecord r;
    r.SetU32(ofn::kOwner, 0xFFFF0010);
    EXPECT_EQ(r.Owner(), static_cast<WindowHandle>(static_cast<std::int32_t>(0xFFFF0010)));
    r.SetU32(ofn::kFilterIndex, 0xFFFFFFFF);
    EXPECT_EQ(r.FilterIndex(), -1);
}

TEST(DialogFilter, BarsAndColonsBecomeNulsAndTwoNulsCloseTheList) {
    EXPECT_EQ(ConvertFilter("Text Files (*.txt)|*.txt"), "Text Files (*.txt)\0*.txt\0\0"s);
    EXPECT_EQ(ConvertFilter("Pictures: *.png|All|*.*"), "Pictures\0 *.png\0All\0*.*\0\0"s);
    EXPECT_EQ(ConvertFilter(""), "\0\0"s);
}

TEST(DialogFilter, LookupReturnsTheNumberedPair) {
    const std::string list = ConvertFilter("Text|*.txt|All|*.*");
    EXPECT_EQ(FilterLookup(list, 1), "Text\0*.txt"s);
    EXPECT_EQ(FilterLookup(list, 2), "All\0*.*"s);
    // A last pair without its closing NUL runs to the end.
    EXPECT_EQ(FilterLookup("A\0a\0B\0b"s, 2), "B\0b"s);
    // Nothing left, an empty list, or an index below 1.
    EXPECT_EQ(FilterLookup("A\0a"s, 2), "");
    EXPECT_EQ(FilterLookup("", 1), "");
    EXPECT_EQ(FilterLookup("noNul", 1), "");
    EXPECT_EQ(FilterLookup(list, 0), "");
    EXPECT_EQ(FilterLookup(list, -3), "");
}

TEST(DialogText, TrimAtNullAndFlagSet) {
    EXPECT_EQ(TrimAtNull("abc\0def"s), "abc");
    EXPECT_EQ(TrimAtNull("abc"), "abc");
    EXPECT_EQ(TrimAtNull("\0x"s), "");
    EXPECT_TRUE(FlagSet(0x1006, 0x1004));
    EXPECT_FALSE(FlagSet(0x1002, 0x1004));
}

TEST(DialogFlags, BuiltFreshForEachKind) {
    EXPECT_EQ(SaveDialogFlags(false), 0x4u);
    EXPECT_EQ(SaveDialogFlags(true), 0x6u);
    EXPECT_EQ(OpenDialogFlags(false, false, false, false), 0u);
    EXPECT_EQ(OpenDialogFlags(true, true, true, false), 0x1005u);
    EXPECT_EQ(OpenDialogFlags(false, false, false, true), 0x80200u);
}

TEST(DialogBuffer, NameMustLeaveRoomForItsTerminator) {
    std::vector<char> buffer;
    ASSERT_TRUE(FillBuffer(std::string(259, 'a'), 260, buffer));
    ASSERT_EQ(buffer.size(), 260u);
    EXPECT_EQ(buffer[258], 'a');
    EXPECT_EQ(buffer[259], '\0');
    ASSERT_TRUE(FillBuffer("", 260, buffer));
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), std::string(260, '\0'));

    buffer.assign(3, 'x');
    EXPECT_FALSE(FillBuffer(std::string(260, 'a'), 260, buffer));
    EXPECT_FALSE(FillBuffer(std::string(261, 'a'), 260, buffer));
    EXPECT_EQ(buffer.size(), 3u); // untouched on failure
}

} // namespace
