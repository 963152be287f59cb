#include "codecs/inflate.h"
#include "codecs/zlib_access.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <string>
#include <vector>

namespace corvale {
namespace {

using Bytes = std::vector<std::uint8_t>;

#ifdef _WIN32
constexpr std::string_view kWithoutCrc32 = "kernel32.dll";
#else
constexpr std::string_view kWithoutCrc32 = "libm.so.6";
#endif
constexpr std::string_view kMissing = "corvale-no-such-library";

TEST(CallingConventionScan, FindsTheFirstReturn) {
    // ret 12 (callee pops three arguments)
    EXPECT_EQ(ScanCallingConvention(Bytes{0x55, 0x8B, 0xEC, 0xC2, 0x0C, 0x00}), false);
    // plain ret
    EXPECT_EQ(ScanCallingConvention(Bytes{0x55, 0x5D, 0xC3}), true);
    EXPECT_EQ(ScanCallingConvention(Bytes{0xC3}), true);
    // ret 8 is skipped, the later plain ret decides
    EXPECT_EQ(ScanCallingConvention(Bytes{0xC2, 0x08, 0x00, 0x90, 0xC3}), true);
    // 0x33 0xC3 is "xor eax, ebx", not a return; the ret 12 after it decides
    EXPECT_EQ(ScanCallingConvention(Bytes{0x33, 0xC3, 0x90, 0xC2, 0x0C, 0x00}), false);
    EXPECT_EQ(ScanCallingConvention(Bytes{0x33, 0xC3}), std::nullopt);
    EXPECT_EQ(ScanCallingConvention(Bytes{0x90, 0xC2, 0x0C}), std::nullopt) << "operand cut off";
    EXPECT_EQ(ScanCallingConvention(Bytes{}), std::nullopt);
}

TEST(ZlibProbe, TriesTheNamesInOrder) {
    const ZlibProbe first = FindZlib(false);
    ASSERT_TRUE(first.found) << "zlib should be reachable in the test environment";
    EXPECT_EQ(first.name, DefaultZlibNames()[0]);
    EXPECT_EQ(first.slot, 2);
    EXPECT_TRUE(first.hasCompress2);
    EXPECT_TRUE(first.callerCleans) << "zlib builds here use the C convention";
    EXPECT_EQ(EncoderSlotBits(first), 2 | 32);

    const std::string_view secondWins[] = {kMissing, DefaultZlibNames()[0]};
    const ZlibProbe second = FindZlib(false, secondWins);
    EXPECT_TRUE(second.found);
    EXPECT_EQ(second.slot, 1);
    EXPECT_EQ(EncoderSlotBits(second), 1 | 32);

    const std::string_view noCrc[] = {kWithoutCrc32, kMissing};
    const ZlibProbe none = FindZlib(false, noCrc);
    EXPECT_FALSE(none.found);
    EXPECT_EQ(none.slot, 0);
    EXPECT_FALSE(none.hasCompress2);
    EXPECT_EQ(none.name, kMissing) << "the name tried last";

    const std::string_view noCrcThenZlib[] = {kWithoutCrc32, DefaultZlibNames()[0]};
    EXPECT_EQ(FindZlib(true, noCrcThenZlib).slot, 1) << "a library without crc32 is not used";
    EXPECT_TRUE(FindZlib(true).found);
}

TEST(ZlibProbe, AMissIsNotRepeatedWithinASecondForTheSameNames) {
    using namespace std::chrono_literals;
    ZlibProbeMisses misses;
    const auto t0 = ZlibProbeMisses::Clock::now();
    const std::string_view missing[] = {kMissing};
    const std::string_view zlib[] = {DefaultZlibNames()[0]};
    const std::string_view missingThenZlib[] = {kMissing, DefaultZlibNames()[0]};

    const ZlibProbe none = FindZlib(false, missing, misses, t0);
    EXPECT_FALSE(none.found);
    EXPECT_EQ(none.name, kMissing);
    EXPECT_TRUE(misses.Recalls(missing, t0 + 999ms));
    EXPECT_FALSE(misses.Recalls(missing, t0 + 1s)) << "kept for a second only";
    EXPECT_FALSE(misses.Recalls(missingThenZlib, t0)) << "another list of names";
    EXPECT_TRUE(FindZlib(false, missingThenZlib, misses, t0).found);
    EXPECT_TRUE(FindZlib(true, zlib, misses, t0).found) << "a find is not kept as a miss";

    // A library that appears after a miss is found once the miss has expired.
    misses.Remember(zlib, t0);
    const ZlibProbe kept = FindZlib(false, zlib, misses, t0 + 500ms);
    EXPECT_FALSE(kept.found);
    EXPECT_EQ(kept.slot, 0);
    EXPECT_EQ(kept.name, DefaultZlibNames()[0]);
    EXPECT_TRUE(FindZlib(false, zlib, misses, t0 + 1s).found);
}

TEST(CallAdapter, CallsExportsByNameWithUpToFiveArguments) {
    cCDECL adapter;
    EXPECT_FALSE(adapter.DllUnload());
    ASSERT_TRUE(adapter.DllLoad(std::string(DefaultZlibNames()[0])));
    const Bytes data = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    const std::uintptr_t args[] = {0, reinterpret_cast<std::uintptr_t>(data.data()), data.size()};
    const auto crc = adapter.CallFunc("crc32", args);
    ASSERT_TRUE(crc.has_value());
    EXPECT_EQ(static_cast<std::uint32_t>(*crc), 0xCBF43926u);
    EXPECT_FALSE(adapter.CallFunc("no_such_export", args).has_value());
    const std::uintptr_t six[6] = {};
    EXPECT_FALSE(adapter.CallFunc("crc32", six).has_value());
    EXPECT_TRUE(adapter.DllUnload());
    EXPECT_FALSE(adapter.CallFunc("crc32", args).has_value());
}

#if defined(_WIN32) && !defined(_WIN64)
// Where two calling conventions exist, the scan reads the real library's machine code: the
// zlib1.dll shipped beside the program uses the C convention in every export the codecs call.
TEST(CallingConventionScan, ReadsTheRealLibrarysExportsAsCallerCleans) {
    SharedLibrary zlib;
    ASSERT_TRUE(zlib.Open(std::string(DefaultZlibNames()[0])));
    for (const char* name : {"crc32", "uncompress", "compress2", "compress"}) {
        const void* entry = zlib.Symbol(name);
        ASSERT_NE(entry, nullptr) << name;
        const auto code = ReadableCodeAt(entry, kMaxConventionScanBytes);
        ASSERT_FALSE(code.empty()) << name;
        EXPECT_EQ(ScanCallingConvention(code), true) << name;
    }
    EXPECT_TRUE(FindZlib(false).callerCleans);
}
#endif

// compress2 and uncompress called through the adapter with pointer-sized arguments, as the
// codecs do when the library uses the C convention.
TEST(CallAdapter, RoundTripsThroughCompress2AndUncompress) {
    cCDECL adapter;
    ASSERT_TRUE(adapter.DllLoad(std::string(DefaultZlibNames()[0])));
    Bytes data(20000);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i % 251 ^ i >> 9);
    Bytes packed(data.size() + data.size() / 100 + 64);
    unsigned long packedLength = static_cast<unsigned long>(packed.size());
    const std::uintptr_t compressArgs[] = {reinterpret_cast<std::uintptr_t>(packed.data()),
                                           reinterpret_cast<std::uintptr_t>(&packedLength),
                                           reinterpret_cast<std::uintptr_t>(data.data()),
                                           data.size(), 9};
    const auto compressed = adapter.CallFunc("compress2", compressArgs);
    ASSERT_TRUE(compressed.has_value());
    ASSERT_EQ(static_cast<int>(*compressed), kZlibOk);
    ASSERT_GT(packedLength, 0u);
    ASSERT_LT(packedLength, data.size());

    Bytes back(data.size());
    unsigned long backLength = static_cast<unsigned long>(back.size());
    const std::uintptr_t uncompressArgs[] = {reinterpret_cast<std::uintptr_t>(back.data()),
                                             reinterpret_cast<std::uintptr_t>(&backLength),
                                             reinterpret_cast<std::uintptr_t>(packed.data()),
                                             packedLength};
    const auto uncompressed = adapter.CallFunc("uncompress", uncompressArgs);
    ASSERT_TRUE(uncompressed.has_value());
    EXPECT_EQ(static_cast<int>(*uncompressed), kZlibOk);
    EXPECT_EQ(backLength, data.size());
    EXPECT_EQ(back, data);
}

TEST(ZlibOperations, CompressBufferSizingRoundsHalvesToEven) {
    EXPECT_EQ(CompressBufferLength(0), 12u);
    EXPECT_EQ(CompressBufferLength(100), 113u);
    EXPECT_EQ(CompressBufferLength(50), 62u);   // 62.5
    EXPECT_EQ(CompressBufferLength(150), 164u); // 163.5
    EXPECT_EQ(CompressBufferLength(std::size_t{0xFFFFFFFFu}), std::nullopt);
}

TEST(ZlibOperations, CompressLeavesRoomForTheChunkTypeAndRoundTrips) {
    const auto zlib = ZlibLibrary::Open(FindZlib(false));
    ASSERT_NE(zlib, nullptr);
    Bytes data(50000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * i >> 7);
    Bytes packed;
    ASSERT_TRUE(zlib->Compress(data, packed));
    ASSERT_GT(packed.size(), 6u);
    const Bytes z(packed.begin() + 4, packed.end());
    Bytes back(data.size());
    std::size_t written = 0;
    EXPECT_EQ(zlib->Uncompress(back, z, &written), kZlibOk);
    EXPECT_EQ(written, data.size());
    EXPECT_EQ(back, data);
    EXPECT_EQ(zlib->Crc32(data), static_cast<std::uint32_t>(crc32(0, data.data(), 50000)));
    Bytes small(data.size() - 1);
    EXPECT_NE(zlib->Uncompress(small, z), kZlibOk);
}

TEST(ZlibOperations, LibraryWithoutCompress2UsesCompress) {
    const std::string_view fake[] = {CORVALE_FAKE_ZLIB};
    const ZlibProbe probe = FindZlib(false, fake);
    ASSERT_TRUE(probe.found);
    EXPECT_FALSE(probe.hasCompress2);
    const auto zlib = ZlibLibrary::Open(probe);
    ASSERT_NE(zlib, nullptr);
    EXPECT_FALSE(zlib->HasUncompress());
    const Bytes data(70000, 'q');
    Bytes packed;
    ASSERT_TRUE(zlib->Compress(data, packed));
    Bytes back(data.size());
    EXPECT_TRUE(InflateData(back, Bytes(packed.begin() + 4, packed.end())).ok);
    EXPECT_EQ(back, data);
}

} // namespace
} // namespace corvale
