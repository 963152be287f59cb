#pragma once
// How the management service spells the numeric fields of a service's configuration and status.
// The service-manager records (platform/win32/) use these so that their Win32_Service objects
// read exactly like the management service's own.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace corvale::service_text {

// Values of the service manager's configuration and status records.
inline constexpr std::uint32_t kKernelDriver = 0x1;
inline constexpr std::uint32_t kFileSystemDriver = 0x2;
inline constexpr std::uint32_t kAdapter = 0x4;
inline constexpr std::uint32_t kRecognizerDriver = 0x8;
inline constexpr std::uint32_t kOwnProcess = 0x10;
inline constexpr std::uint32_t kShareProcess = 0x20;
inline constexpr std::uint32_t kInteractiveProcess = 0x100;

inline constexpr std::uint32_t kStopped = 1;
inline constexpr std::uint32_t kStartPending = 2;
inline constexpr std::uint32_t kStopPending = 3;
inline constexpr std::uint32_t kRunning = 4;
inline constexpr std::uint32_t kContinuePending = 5;
inline constexpr std::uint32_t kPausePending = 6;
inline constexpr std::uint32_t kPaused = 7;

inline constexpr std::uint32_t kAcceptStop = 0x1;
inline constexpr std::uint32_t kAcceptPauseContinue = 0x2;

// ServiceType: the kind of service; the interactive flag is reported separately (DesktopInteract).
constexpr std::string_view ServiceTypeText(std::uint32_t type) {
    switch (type & ~kInteractiveProcess) {
    case kKernelDriver:
        return "Kernel Driver";
    case kFileSystemDriver:
        return "File System Driver";
    case kAdapter:
        return "Adapter";
    case kRecognizerDriver:
        return "Recognizer Driver";
    case kOwnProcess:
        return "Own Process";
    case kShareProcess:
        return "Share Process";
    default:
        return "Unknown";
    }
}

// The name a code has in a list of names for the codes from `first` on; "Unknown" beyond it.
template <std::size_t N>
constexpr std::string_view CodeName(const std::string_view (&names)[N], std::uint32_t code,
                                    std::uint32_t first = 0) {
    return code >= first && code - first < N ? names[code - first] : "Unknown";
}

// StartMode from the configured start type (boot, system, automatic, on demand, disabled).
inline constexpr std::string_view kStartModes[] = {"Boot", "System", "Auto", "Manual", "Disabled"};
constexpr std::string_view StartModeText(std::uint32_t startType) {
    return CodeName(kStartModes, startType);
}

// State, kStopped to kPaused.
inline constexpr std::string_view kStates[] = {"Stopped", "Start Pending",    "Stop Pending",
                                               "Running", "Continue Pending", "Pause Pending",
                                               "Paused"};
constexpr std::string_view StateText(std::uint32_t state) {
    return CodeName(kStates, state, kStopped);
}

inline constexpr std::string_view kErrorControls[] = {"Ignore", "Normal", "Severe", "Critical"};
constexpr std::string_view ErrorControlText(std::uint32_t errorControl) {
    return CodeName(kErrorControls, errorControl);
}

// Status: a service in a steady state is "OK"; one on its way up or down says so.
constexpr std::string_view StatusText(std::uint32_t state) {
    switch (state) {
    case kStartPending:
    case kContinuePending:
        return "Starting";
    case kStopPending:
    case kPausePending:
        return "Stopping";
    default:
        return "OK";
    }
}

// Started: the service has been started and not stopped since.
constexpr bool Started(std::uint32_t state) {
    return state != kStopped && state != kStartPending;
}

} // namespace corvale::service_text
