// The service manager's numbers spelt the way the management service spells them.
#include "platform/service_status_text.h"

#include <gtest/gtest.h>

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

TEST(ServiceStatusText, StartModeStateAndErrorControlFollowTheManagersCodes) {
    EXPECT_EQ(StartModeText(0), "Boot");
    EXPECT_EQ(StartModeText(1), "System");
    EXPECT_EQ(StartModeText(2), "Auto");
    EXPECT_EQ(StartModeText(3), "Manual");
    EXPECT_EQ(StartModeText(4), "Disabled");
    EXPECT_EQ(StartModeText(5), "Unknown");
    EXPECT_EQ(StateText(1), "Stopped");
    EXPECT_EQ(StateText(4), "Running");
    EXPECT_EQ(StateText(7), "Paused");
    EXPECT_EQ(StateText(0), "Unknown");
    EXPECT_EQ(ErrorControlText(0), "Ignore");
    EXPECT_EQ(ErrorControlText(3), "Critical");
    EXPECT_EQ(ErrorControlText(9), "Unknown");
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
