#pragma once
// A path in the test temporary folder that no other test process uses at the same time: several
// builds of the tests (and several checkouts) may run at once on one machine and share that
// folder.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>

namespace corvale::test_support {

inline std::string UniqueTempPath(std::string_view name) {
    static const std::string tag = [] {
        std::random_device device;
        return std::to_string(device()) + "_" + std::to_string(device());
    }();
    return ::testing::TempDir() + tag + "_" + std::string(name);
}

} // namespace corvale::test_support
