// The service manager's numbers spelt the way the management service spells them.
#include "platform/service_status_text.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace {

using namespace corvale::service_text;

TEST(ServiceStatusText, ServiceTypeIgnoresTheInteractiveFlagAndNamesUnknownKinds) {
    EXPECT_EQ(ServiceTypeText(0x10), "Own Process");
    EXPECT_EQ(ServiceTypeText(0x20), "Share Process");
    EXPECT_EQ(ServiceTypeText(0x110), "Own Process"); // interactive: DesktopInteract says so
    EXPECT_EQ(ServiceTypeText(0x1), "Kernel Driver");
    EXPECT_EQ(ServiceTypeText(0x2), "File System Driver");
    // Per-user service templates and combinations are not one of the defined kinds.
    EXPECT_EQ(ServiceTypeText(0x50), "Unknown");
    EXPECT_EQ(ServiceTypeText(0x30), "Unknown");
}

// What `text` says for each code from 0 to `count` - 1.
std::vector<std::string_view> Spelt(std::string_view (*text)(std::uint32_t), std::uint32_t count) {
    std::vector<std::string_view> out;
    for (std::uint32_t code = 0; code < count; ++code) out.push_back(text(code));
    return out;
}

using Names = std::vector<std::string_view>;

TEST(ServiceStatusText, StartModeStateAndErrorControlFollowTheManagersCodes) {
    EXPECT_EQ(Spelt(StartModeText, 6),
              (Names{"Boot", "System", "Auto", "Manual", "Disabled", "Unknown"}));
    EXPECT_EQ(Spelt(StateText, 9),
              (Names{"Unknown", "Stopped", "Start Pending", "Stop Pending", "Running",
                     "Continue Pending", "Pause Pending", "Paused", "Unknown"}));
    EXPECT_EQ(Spelt(ErrorControlText, 5),
              (Names{"Ignore", "Normal", "Severe", "Critical", "Unknown"}));
    EXPECT_EQ(ErrorControlText(9), "Unknown");
    EXPECT_EQ(StateText(0xFFFFFFFFu), "Unknown");
}

TEST(ServiceStatusText, SteadyServicesAreOkAndStartedUntilStopped) {
    EXPECT_EQ(StatusText(kRunning), "OK");
    EXPECT_EQ(StatusText(kStopped), "OK");
    EXPECT_EQ(StatusText(kPaused), "OK");
    EXPECT_EQ(StatusText(kStartPending), "Starting");
    EXPECT_EQ(StatusText(kStopPending), "Stopping");
    EXPECT_TRUE(Started(kRunning));
    EXPECT_TRUE(Started(kPaused));
    EXPECT_TRUE(Started(kStopPending));
    EXPECT_FALSE(Started(kStopped));
    EXPECT_FALSE(Started(kStartPending));
}

} // namespace
