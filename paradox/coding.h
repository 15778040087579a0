#pragma once

// Byte coding of Paradox files. Header numbers are little-endian; field values
// use a big-endian "sortable" form in which an unsigned byte comparison orders
// values numerically and all-zero bytes mean blank.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace paradox::coding {

inline std::uint8_t u8(const std::byte* p)
{
    return std::to_integer<std::uint8_t>(p[0]);
}

inline std::uint16_t loadLE16(const std::byte* p)
{
    return static_cast<std::uint16_t>(u8(p) | (u8(p + 1) << 8));
}

inline std::uint32_t loadLE32(const std::byte* p)
{
    return static_cast<std::uint32_t>(u8(p)) | (static_cast<std::uint32_t>(u8(p + 1)) << 8) |
           (static_cast<std::uint32_t>(u8(p + 2)) << 16) | (static_cast<std::uint32_t>(u8(p + 3)) << 24);
}

inline void storeLE16(std::byte* p, std::uint16_t v)
{
    p[0] = std::byte(v & 0xFF);
    p[1] = std::byte(v >> 8);
}

inline void storeLE32(std::byte* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = std::byte((v >> (8 * i)) & 0xFF);
}

inline std::uint64_t loadLE64(const std::byte* p)
{
    return loadLE32(p) | static_cast<std::uint64_t>(loadLE32(p + 4)) << 32;
}

inline void storeLE64(std::byte* p, std::uint64_t v)
{
    storeLE32(p, static_cast<std::uint32_t>(v));
    storeLE32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

inline std::uint64_t loadBE(const std::byte* p, int n)
{
    std::uint64_t v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 8) | u8(p + i);
    return v;
}

inline void storeBE(std::byte* p, std::uint64_t v, int n)
{
    for (int i = n - 1; i >= 0; --i) {
        p[i] = std::byte(v & 0xFF);
        v >>= 8;
    }
}

// memcpy for the few bytes of a field: most are 1, 2, 4 or 8 long, and a
// library call per field costs more than the copy when there are millions.
inline void copyBytes(std::byte* to, const std::byte* from, std::size_t n)
{
    switch (n) {
    case 1:
        *to = *from;
        return;
    case 2:
        std::memcpy(to, from, 2);
        return;
    case 4:
        std::memcpy(to, from, 4);
        return;
    case 8:
        std::memcpy(to, from, 8);
        return;
    default:
        std::memcpy(to, from, n);
    }
}

// memcmp(a, b, n) == 0 for the same few bytes, without a call for the usual lengths.
inline bool sameBytes(const std::byte* a, const std::byte* b, std::size_t n)
{
    switch (n) {
    case 2:
        return loadLE16(a) == loadLE16(b);
    case 4:
        return loadLE32(a) == loadLE32(b);
    case 8:
        return loadLE64(a) == loadLE64(b);
    default:
        return std::memcmp(a, b, n) == 0;
    }
}

inline bool isBlank(const std::byte* p, std::size_t n)
{
    if (n == 4)
        return loadLE32(p) == 0;
    for (std::size_t i = 0; i < n; ++i)
        if (p[i] != std::byte{0})
            return false;
    return true;
}

// Integers of n bytes: two's complement, top bit flipped, big-endian.
inline std::int64_t decodeInt(const std::byte* p, int n)
{
    const int bits = 8 * n;
    const std::uint64_t raw = loadBE(p, n) ^ (std::uint64_t{1} << (bits - 1));
    // Sign-extend from `bits`.
    const std::uint64_t sign = std::uint64_t{1} << (bits - 1);
    return static_cast<std::int64_t>((raw ^ sign) - sign);
}

inline void encodeInt(std::byte* p, std::int64_t v, int n)
{
    const int bits = 8 * n;
    const std::uint64_t mask = bits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
    const std::uint64_t raw = (static_cast<std::uint64_t>(v) & mask) ^ (std::uint64_t{1} << (bits - 1));
    storeBE(p, raw, n);
}

// Doubles: IEEE bits with the sign bit set for positives and every bit
// inverted for negatives.
inline double decodeDouble(const std::byte* p)
{
    std::uint64_t raw = loadBE(p, 8);
    if (raw & (std::uint64_t{1} << 63))
        raw &= ~(std::uint64_t{1} << 63);
    else
        raw = ~raw;
    return std::bit_cast<double>(raw);
}

inline void encodeDouble(std::byte* p, double v)
{
    std::uint64_t raw = std::bit_cast<std::uint64_t>(v);
    if (raw & (std::uint64_t{1} << 63))
        raw = ~raw;
    else
        raw |= std::uint64_t{1} << 63;
    storeBE(p, raw, 8);
}

} // namespace paradox::coding
