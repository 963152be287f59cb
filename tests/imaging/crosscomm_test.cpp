#include "imaging/cCrossComm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

namespace corvale {
namespace {

// A control that records its releases in a shared log.
struct FakeControl : ICrossComm {
    std::string name;
    std::vector<std::string>* log = nullptr;
    cCrossComm* session = nullptr;
    cCrossComm* CrossTalkClass() override { return session; }
    void ReleaseMouseCapture() override {
        if (log) log->push_back(name + ".exit");
    }
};

TEST(CrossCommRegistry, KeepsOneEntryPerControlInAddressOrder) {
    cCrossComm comm;
    std::array<FakeControl, 4> c;
    comm.AddRef(&c[2]);
    comm.AddRef(&c[0]);
    comm.AddRef(&c[3]);
    comm.AddRef(&c[0]); // again
    comm.AddRef(&c[1]);
    comm.AddRef(nullptr);
    ASSERT_EQ(comm.Count(), 4);
    EXPECT_EQ(comm.SlotCount(), 6);
    EXPECT_TRUE(std::is_sorted(comm.Controls().begin(), comm.Controls().end(),
                               [](auto* a, auto* b) { return IdentityOf(a) < IdentityOf(b); }));
    for (auto& control : c) EXPECT_TRUE(comm.IsRegistered(&control));

    comm.RemoveRef(&c[1]);
    comm.RemoveRef(&c[1]); // not there any more: nothing changes
    EXPECT_EQ(comm.Count(), 3);
    EXPECT_FALSE(comm.IsRegistered(&c[1]));
    EXPECT_TRUE(comm.IsRegistered(&c[0]) && comm.IsRegistered(&c[2]) && comm.IsRegistered(&c[3]));
}

TEST(CrossCommRegistry, GrowsBySpareSlotsAndShrinksKeepingTheSurvivor) {
    cCrossComm comm;
    std::array<FakeControl, 10> c;
    for (auto& control : c) comm.AddRef(&control);
    EXPECT_EQ(comm.Count(), 10);
    EXPECT_EQ(comm.SlotCount(), 12); // 6, then 7 + 5 at the seventh
    for (int i = 0; i < 10; ++i)
        if (i != 6) comm.RemoveRef(&c[i]);
    ASSERT_EQ(comm.Count(), 1);
    EXPECT_LE(comm.SlotCount(), 6);
    EXPECT_EQ(comm.Controls().front(), &c[6]);
    comm.RemoveRef(&c[6]);
    EXPECT_EQ(comm.Count(), 0);
    EXPECT_EQ(comm.SlotCount(), 0);
    comm.AddRef(&c[1]); // starts afresh
    EXPECT_EQ(comm.SlotCount(), 6);
}

TEST(CrossCommCapture, AnotherHolderReleasesFirst) {
    std::vector<std::string> log;
    cCrossComm comm;
    FakeControl a, b;
    a.name = "a";
    b.name = "b";
    a.log = b.log = &log;
    comm.CapturedControl(&a);
    comm.CapturedControl(&a); // the same again: no event
    EXPECT_TRUE(log.empty());
    comm.CapturedControl(&b);
    EXPECT_EQ(log, std::vector<std::string>{"a.exit"});
    EXPECT_EQ(comm.CapturedControl(), &b);
    comm.CapturedControl(nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"a.exit", "b.exit"}));
    EXPECT_EQ(comm.CapturedControl(), nullptr);
}

TEST(CrossCommCapture, RemovingTheHolderClearsItQuietly) {
    std::vector<std::string> log;
    cCrossComm comm;
    FakeControl a, b;
    a.name = "a";
    a.log = b.log = &log;
    comm.AddRef(&a);
    comm.AddRef(&b);
    comm.CapturedControl(&a);
    comm.RemoveRef(&b); // not the holder
    EXPECT_EQ(comm.CapturedControl(), &a);
    comm.RemoveRef(&a);
    EXPECT_EQ(comm.CapturedControl(), nullptr);
    EXPECT_TRUE(log.empty());
}

} // namespace
} // namespace corvale
