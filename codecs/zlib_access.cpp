#include "codecs/zlib_access.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

namespace corvale {
namespace {

#if defined(_WIN32) && !defined(_WIN64)
#define CORVALE_CDECL __cdecl
#define CORVALE_STDCALL __stdcall
constexpr bool kConventionsDiffer = true;
#else
#define CORVALE_CDECL
#define CORVALE_STDCALL
constexpr bool kConventionsDiffer = false;
#endif

#ifdef _WIN32
constexpr std::string_view kNames[] = {"zlib1.dll", "zlib.dll"};
#else
constexpr std::string_view kNames[] = {"libz.so.1", "libz.so"};
#endif

// zlib's own types: uLong is `unsigned long`, uInt `unsigned`.
using ZULong = unsigned long;
using Crc32StdFn = ZULong(CORVALE_STDCALL*)(ZULong, const std::uint8_t*, unsigned);
using UncompressStdFn = int(CORVALE_STDCALL*)(std::uint8_t*, ZULong*, const std::uint8_t*, ZULong);
using Compress2StdFn = int(CORVALE_STDCALL*)(std::uint8_t*, ZULong*, const std::uint8_t*, ZULong,
                                             int);
using CompressStdFn = int(CORVALE_STDCALL*)(std::uint8_t*, ZULong*, const std::uint8_t*, ZULong);

template <typename Fn> Fn As(void* address) {
    return reinterpret_cast<Fn>(address);
}

std::uintptr_t Arg(const void* p) {
    return reinterpret_cast<std::uintptr_t>(p);
}

constexpr std::uint32_t kMax32 = std::numeric_limits<std::uint32_t>::max();

} // namespace

std::span<const std::string_view> DefaultZlibNames() {
    return kNames;
}

std::int32_t EncoderSlotBits(const ZlibProbe& probe) {
    std::int32_t bits = probe.slot == 2 ? 2 : probe.slot == 1 ? 1 : 0;
    if (probe.hasCompress2) bits |= 32;
    return bits;
}

std::optional<bool> ScanCallingConvention(std::span<const std::uint8_t> code) {
    for (std::size_t i = 0; i < code.size(); ++i) {
        if (code[i] == 0xC2) {
            if (i + 2 < code.size() && code[i + 1] == 12 && code[i + 2] == 0) return false;
        } else if (code[i] == 0xC3) {
            if (i == 0 || code[i - 1] != 0x33) return true;
        }
    }
    return std::nullopt;
}

bool ZlibProbeMisses::Recalls(std::span<const std::string_view> names,
                              Clock::time_point now) const {
    const std::lock_guard lock(mutex_);
    return kept_ && now >= at_ && now - at_ < kKept &&
           std::equal(names.begin(), names.end(), names_.begin(), names_.end());
}

void ZlibProbeMisses::Remember(std::span<const std::string_view> names, Clock::time_point now) {
    const std::lock_guard lock(mutex_);
    kept_ = false;
    try {
        names_.assign(names.begin(), names.end());
    } catch (const std::bad_alloc&) {
        return;
    }
    at_ = now;
    kept_ = true;
}

namespace {
ZlibProbeMisses gMisses;

ZlibProbe NotFound(std::span<const std::string_view> names) {
    ZlibProbe probe;
    if (!names.empty()) probe.name = std::string(names.back());
    return probe;
}
} // namespace

ZlibProbe FindZlib(bool presenceOnly, std::span<const std::string_view> names) {
    return FindZlib(presenceOnly, names, gMisses, ZlibProbeMisses::Clock::now());
}

ZlibProbe FindZlib(bool presenceOnly, std::span<const std::string_view> names,
                   ZlibProbeMisses& misses, ZlibProbeMisses::Clock::time_point now) {
    if (misses.Recalls(names, now)) return NotFound(names);
    ZlibProbe probe;
    for (std::size_t i = 0; i < names.size(); ++i) {
        probe.name = std::string(names[i]);
        SharedLibrary library;
        if (!library.Open(probe.name)) continue;
        probe.hasCompress2 = library.Symbol("compress2") != nullptr;
        void* crc = library.Symbol("crc32");
        if (!crc) {
            probe.hasCompress2 = false;
            continue;
        }
        probe.found = true;
        probe.slot = static_cast<std::int32_t>(names.size() - i);
        probe.callerCleans = true;
        if (!presenceOnly && kConventionsDiffer) {
            // Only where two conventions exist does the machine code need reading; an
            // undecidable scan keeps the C convention.
            const auto verdict =
                ScanCallingConvention(ReadableCodeAt(crc, kMaxConventionScanBytes));
            probe.callerCleans = verdict.value_or(true);
        }
        return probe;
    }
    misses.Remember(names, now);
    return NotFound(names);
}

// ---- cCDECL -------------------------------------------------------------------------------

bool cCDECL::DllLoad(const std::string& name) {
    lastName_.clear();
    lastAddress_ = nullptr;
    return library_.Open(name);
}

bool cCDECL::DllUnload() {
    lastName_.clear();
    lastAddress_ = nullptr;
    return library_.Close();
}

std::optional<std::uintptr_t> cCDECL::CallFunc(std::string_view function,
                                               std::span<const std::uintptr_t> parms) {
    if (parms.size() > kMaxParms) return std::nullopt;
    if (function != lastName_ || !lastAddress_) {
        lastName_ = std::string(function);
        lastAddress_ = library_.Symbol(lastName_.c_str());
    }
    if (!lastAddress_) return std::nullopt;
    using U = std::uintptr_t;
    const U* a = parms.data();
    void* f = lastAddress_;
    ResetLastError();
    U result = 0;
    switch (parms.size()) {
    case 0:
        result = As<U(CORVALE_CDECL*)()>(f)();
        break;
    case 1:
        result = As<U(CORVALE_CDECL*)(U)>(f)(a[0]);
        break;
    case 2:
        result = As<U(CORVALE_CDECL*)(U, U)>(f)(a[0], a[1]);
        break;
    case 3:
        result = As<U(CORVALE_CDECL*)(U, U, U)>(f)(a[0], a[1], a[2]);
        break;
    case 4:
        result = As<U(CORVALE_CDECL*)(U, U, U, U)>(f)(a[0], a[1], a[2], a[3]);
        break;
    default:
        result = As<U(CORVALE_CDECL*)(U, U, U, U, U)>(f)(a[0], a[1], a[2], a[3], a[4]);
        break;
    }
    lastError_ = ReadLastError();
    return result;
}

// ---- ZlibLibrary --------------------------------------------------------------------------

std::optional<std::size_t> CompressBufferLength(std::size_t n) {
    if (n > kMax32) return std::nullopt;
    // n + (n * 0.01 + 12), rounded to the nearest integer, halves to even.
    const double length =
        std::nearbyint(static_cast<double>(n) + (static_cast<double>(n) * 0.01 + 12.0));
    if (length > static_cast<double>(kMax32)) return std::nullopt;
    return static_cast<std::size_t>(length);
}

std::unique_ptr<ZlibLibrary> ZlibLibrary::Open(const ZlibProbe& probe) {
    if (!probe.found) return nullptr;
    std::unique_ptr<ZlibLibrary> z(new ZlibLibrary());
    if (!z->library_.Open(probe.name)) return nullptr;
    z->crc32_ = z->library_.Symbol("crc32");
    if (!z->crc32_) return nullptr;
    z->uncompress_ = z->library_.Symbol("uncompress");
    z->compress2_ = z->library_.Symbol("compress2");
    z->compress_ = z->library_.Symbol("compress");
    z->callerCleans_ = probe.callerCleans || !kConventionsDiffer;
    if (z->callerCleans_ && !z->adapter_.DllLoad(probe.name)) return nullptr;
    return z;
}

ZlibLibrary::~ZlibLibrary() {
    if (callerCleans_) adapter_.DllUnload();
}

std::uint32_t ZlibLibrary::Crc32(std::span<const std::uint8_t> bytes) const {
    if (bytes.size() > kMax32) return 0;
    const auto n = static_cast<unsigned>(bytes.size());
    if (!callerCleans_)
        return static_cast<std::uint32_t>(As<Crc32StdFn>(crc32_)(0, bytes.data(), n));
    const std::uintptr_t args[] = {0, Arg(bytes.data()), n};
    return static_cast<std::uint32_t>(adapter_.CallFunc("crc32", args).value_or(0));
}

int ZlibLibrary::Uncompress(std::span<std::uint8_t> out, std::span<const std::uint8_t> in,
                            std::size_t* written) const {
    if (!uncompress_ || out.size() > kMax32 || in.size() > kMax32) return -1;
    ZULong destLength = static_cast<ZULong>(out.size());
    int result;
    if (!callerCleans_) {
        result = As<UncompressStdFn>(uncompress_)(out.data(), &destLength, in.data(),
                                                  static_cast<ZULong>(in.size()));
    } else {
        const std::uintptr_t args[] = {Arg(out.data()), Arg(&destLength), Arg(in.data()),
                                       static_cast<std::uintptr_t>(in.size())};
        const auto r = adapter_.CallFunc("uncompress", args);
        if (!r) return -1;
        result = static_cast<std::int32_t>(static_cast<std::uint32_t>(*r));
    }
    if (written) *written = destLength <= out.size() ? static_cast<std::size_t>(destLength) : 0;
    return result;
}

bool ZlibLibrary::Compress(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& out) const {
    out.assign(4, 0);
    if (CompressAppend(in, out)) return true;
    out.clear();
    return false;
}

bool ZlibLibrary::CompressAppend(std::span<const std::uint8_t> in,
                                 std::vector<std::uint8_t>& out) const {
    const std::size_t at = out.size();
    const auto capacity = CompressBufferLength(in.size());
    if (!capacity || (!compress2_ && !compress_) || *capacity > out.max_size() - at) return false;
    out.resize(at + *capacity);
    ZULong destLength = static_cast<ZULong>(*capacity);
    const auto srcLength = static_cast<ZULong>(in.size());
    int result;
    if (!callerCleans_) {
        result = compress2_ ? As<Compress2StdFn>(compress2_)(out.data() + at, &destLength,
                                                             in.data(), srcLength, 9)
                            : As<CompressStdFn>(compress_)(out.data() + at, &destLength, in.data(),
                                                           srcLength);
    } else {
        std::optional<std::uintptr_t> r;
        if (compress2_) {
            const std::uintptr_t args[] = {Arg(out.data() + at), Arg(&destLength), Arg(in.data()),
                                           srcLength, 9};
            r = adapter_.CallFunc("compress2", args);
        } else {
            const std::uintptr_t args[] = {Arg(out.data() + at), Arg(&destLength), Arg(in.data()),
                                           srcLength};
            r = adapter_.CallFunc("compress", args);
        }
        result = r ? static_cast<std::int32_t>(static_cast<std::uint32_t>(*r)) : -1;
    }
    if (result != kZlibOk || destLength > *capacity) {
        out.resize(at);
        return false;
    }
    out.resize(at + static_cast<std::size_t>(destLength));
    return true;
}

} // namespace corvale
