#pragma once
// Access to a zlib library loaded at run time: the probe that finds one, the calling-convention
// scan, the caller-cleans call adapter and the three operations the PNG codecs use.
#include "codecs/shared_library.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvale {

// The library names tried in order: "zlib1.dll", "zlib.dll" on Windows; "libz.so.1",
// "libz.so" elsewhere.
std::span<const std::string_view> DefaultZlibNames();

// The outcome of one probe.
struct ZlibProbe {
    bool found = false;
    std::string name;          // the name tried last
    std::int32_t slot = 0;     // 2 when the first name matched, 1 the second, 0 none
    bool callerCleans = true;  // exports use the caller-cleans (C) convention
    bool hasCompress2 = false; // "compress2" is exported
};

// The encoder's bit-set form of the slot: 2 first name, 1 second name, plus 32 with compress2.
std::int32_t EncoderSlotBits(const ZlibProbe& probe);

// Tries each name in order; a library qualifies when it loads and exports "crc32". With
// presenceOnly the convention is not examined. Nothing stays loaded. A probe of the same names
// that found nothing less than a second ago is not repeated (ZlibProbeMisses).
ZlibProbe FindZlib(bool presenceOnly, std::span<const std::string_view> names = DefaultZlibNames());

// The name list whose probe found nothing last, kept for a short while. A failed library search
// costs a walk of the loader's search path (tens of microseconds, more on Windows), as much as
// decoding a small icon; pictures decoded one after another then search once, and a zlib
// installed while the program runs is still found a moment later.
class ZlibProbeMisses {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::duration kKept = std::chrono::seconds(1);

    // True when a probe of exactly these names found nothing within kKept before `now`.
    bool Recalls(std::span<const std::string_view> names, Clock::time_point now) const;
    // Keeps these names as the last miss (nothing is kept when the copy cannot be made).
    void Remember(std::span<const std::string_view> names, Clock::time_point now);

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> names_;
    Clock::time_point at_{};
    bool kept_ = false;
};

// FindZlib with its own record of misses and time (the plain form uses the program's record and
// the clock).
ZlibProbe FindZlib(bool presenceOnly, std::span<const std::string_view> names,
                   ZlibProbeMisses& misses, ZlibProbeMisses::Clock::time_point now);

// Scans machine code from a function's entry up to its first return: 0xC2 0x0C 0x00 (return
// popping three 32-bit arguments) means the callee cleans the stack (result false); 0xC3 not
// preceded by 0x33 means the caller cleans (result true); other 0xC2 returns and 0xC3 bytes
// after 0x33 are skipped. Empty when no return is found in the bytes given.
std::optional<bool> ScanCallingConvention(std::span<const std::uint8_t> code);

// Bytes of a function examined by the probe at most.
inline constexpr std::size_t kMaxConventionScanBytes = 4096;

// Calls exports of a library that use the caller-cleans convention, through typed function
// pointers, with up to five pointer-sized arguments.
class cCDECL {
  public:
    static constexpr std::size_t kMaxParms = 5;

    bool DllLoad(const std::string& name);
    // Resolves `function` (cached while the name stays the same), calls it and returns its
    // result; empty when the export is missing or there are too many arguments.
    std::optional<std::uintptr_t> CallFunc(std::string_view function,
                                           std::span<const std::uintptr_t> parms);
    bool DllUnload();
    std::uint32_t LastError() const { return lastError_; }

  private:
    SharedLibrary library_;
    std::string lastName_;
    void* lastAddress_ = nullptr;
    std::uint32_t lastError_ = 0;
};

// zlib's result codes the codecs look at.
inline constexpr int kZlibOk = 0;

// A loaded zlib library for the lifetime of one decoder or encoder.
class ZlibLibrary {
  public:
    // Loads the library of a successful probe; nullptr when it no longer loads or lacks crc32.
    static std::unique_ptr<ZlibLibrary> Open(const ZlibProbe& probe);
    ~ZlibLibrary();

    bool HasCompress2() const { return compress2_ != nullptr; }
    bool HasUncompress() const { return uncompress_ != nullptr; }
    bool HasCompress() const { return compress_ != nullptr || compress2_ != nullptr; }

    // CRC-32 of the bytes, starting from 0.
    std::uint32_t Crc32(std::span<const std::uint8_t> bytes) const;
    // uncompress into out; the zlib result (kZlibOk on success), the length written in *written.
    int Uncompress(std::span<std::uint8_t> out, std::span<const std::uint8_t> in,
                   std::size_t* written = nullptr) const;
    // compress2 at level 9 (compress when compress2 is missing). The output buffer is sized
    // n + (n * 0.01 + 12) behind a 4-byte gap left for the chunk type: out holds the gap plus
    // the compressed bytes. False on any failure.
    bool Compress(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& out) const;
    // The same, appended to what out holds (out grows by that buffer length, then shrinks to
    // the compressed length, within the capacity it had when that sufficed). False on any
    // failure, with out as it was.
    bool CompressAppend(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& out) const;

  private:
    ZlibLibrary() = default;
    bool callerCleans_ = true;
    SharedLibrary library_;
    mutable cCDECL adapter_;
    void* crc32_ = nullptr;
    void* uncompress_ = nullptr;
    void* compress2_ = nullptr;
    void* compress_ = nullptr;
};

// The destination length handed to compress2/compress for n source bytes, or empty when it
// does not fit the 32-bit lengths zlib is called with.
std::optional<std::size_t> CompressBufferLength(std::size_t n);

} // namespace corvale
