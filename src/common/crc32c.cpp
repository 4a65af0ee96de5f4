#include "common/crc32c.h"

#include <array>
#include <bit>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <nmmintrin.h>
#define VQS_CRC32C_HARDWARE 1
#endif

namespace vqs {
namespace {

constexpr std::uint32_t kPolynomial = 0x82f63b78;  // reflected

// Eight tables: eight bytes a step.
constexpr std::array<std::array<std::uint32_t, 256>, 8> makeTables() {
    std::array<std::array<std::uint32_t, 256>, 8> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ ((c & 1) ? kPolynomial : 0);
        t[0][i] = c;
    }
    for (std::uint32_t i = 0; i < 256; ++i)
        for (std::size_t s = 1; s < 8; ++s) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xff];
    return t;
}
constexpr auto kTables = makeTables();

std::uint32_t crcByTable(std::uint32_t crc, const unsigned char* p, std::size_t n) {
    while (n >= 8) {
        std::uint32_t lo, hi;
        std::memcpy(&lo, p, 4);
        std::memcpy(&hi, p + 4, 4);
        if constexpr (std::endian::native == std::endian::big) {
            lo = __builtin_bswap32(lo);
            hi = __builtin_bswap32(hi);
        }
        lo ^= crc;
        crc = kTables[7][lo & 0xff] ^ kTables[6][(lo >> 8) & 0xff] ^ kTables[5][(lo >> 16) & 0xff] ^
              kTables[4][lo >> 24] ^ kTables[3][hi & 0xff] ^ kTables[2][(hi >> 8) & 0xff] ^
              kTables[1][(hi >> 16) & 0xff] ^ kTables[0][hi >> 24];
        p += 8;
        n -= 8;
    }
    while (n--) crc = (crc >> 8) ^ kTables[0][(crc ^ *p++) & 0xff];
    return crc;
}

#ifdef VQS_CRC32C_HARDWARE
__attribute__((target("sse4.2"))) std::uint32_t crcByInstruction(std::uint32_t crc,
                                                                 const unsigned char* p,
                                                                 std::size_t n) {
    std::uint64_t c = crc;
    while (n >= 8) {
        std::uint64_t v;
        std::memcpy(&v, p, 8);
        c = _mm_crc32_u64(c, v);
        p += 8;
        n -= 8;
    }
    auto c32 = static_cast<std::uint32_t>(c);
    while (n--) c32 = _mm_crc32_u8(c32, *p++);
    return c32;
}

const bool kHasInstruction = __builtin_cpu_supports("sse4.2");
#endif

}  // namespace

std::uint32_t crc32c(std::uint32_t crc, const void* data, std::size_t length) {
    const auto* p = static_cast<const unsigned char*>(data);
    crc = ~crc;
#ifdef VQS_CRC32C_HARDWARE
    if (kHasInstruction) return ~crcByInstruction(crc, p, length);
#endif
    return ~crcByTable(crc, p, length);
}

std::uint32_t crc32cByTable(std::uint32_t crc, const void* data, std::size_t length) {
    return ~crcByTable(~crc, static_cast<const unsigned char*>(data), length);
}

}  // namespace vqs
