#include "net/crc16.h"

#include <array>
#include <bit>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

constexpr int kSlices = 16;
using CrcTables = std::array<std::array<uint16_t, 256>, kSlices>;

// Table k gives the checksum contribution of a byte followed by k zero bytes, so sixteen bytes
// can be folded into the register with sixteen independent look-ups (slicing-by-16).
constexpr CrcTables MakeTables()
{
    CrcTables tables{};
    for (int i = 0; i < 256; ++i) {
        uint16_t reg = static_cast<uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit)
            reg = (reg & 1) ? static_cast<uint16_t>((reg >> 1) ^ 0xA001) : static_cast<uint16_t>(reg >> 1);
        tables[0][i] = reg;
    }
    for (int k = 1; k < kSlices; ++k)
        for (int i = 0; i < 256; ++i) {
            uint16_t prev = tables[k - 1][i];
            tables[k][i] = static_cast<uint16_t>((prev >> 8) ^ tables[0][prev & 0xFF]);
        }
    return tables;
}

alignas(64) constexpr CrcTables kTables = MakeTables();

inline uint64_t LoadLittle64(const unsigned char* p)
{
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big)
        v = __builtin_bswap64(v);
    return v;
}

inline uint16_t Byte(uint64_t v, int n) { return static_cast<uint16_t>((v >> (8 * n)) & 0xFF); }

// Table-driven checksum continuing from register value reg.
uint32_t TableCrc(uint32_t reg, const unsigned char* pData, int nLength)
{
    int i = 0;
    for (; i + kSlices <= nLength; i += kSlices) {
        uint64_t a = LoadLittle64(pData + i) ^ reg;
        uint64_t b = LoadLittle64(pData + i + 8);
        reg = kTables[15][Byte(a, 0)] ^ kTables[14][Byte(a, 1)] ^ kTables[13][Byte(a, 2)] ^
              kTables[12][Byte(a, 3)] ^ kTables[11][Byte(a, 4)] ^ kTables[10][Byte(a, 5)] ^
              kTables[9][Byte(a, 6)] ^ kTables[8][Byte(a, 7)] ^ kTables[7][Byte(b, 0)] ^
              kTables[6][Byte(b, 1)] ^ kTables[5][Byte(b, 2)] ^ kTables[4][Byte(b, 3)] ^
              kTables[3][Byte(b, 4)] ^ kTables[2][Byte(b, 5)] ^ kTables[1][Byte(b, 6)] ^
              kTables[0][Byte(b, 7)];
    }
    for (; i < nLength; ++i)
        reg = (reg >> 8) ^ kTables[0][(reg ^ pData[i]) & 0xFF];
    return reg;
}

#if defined(__x86_64__)
// Carry-less multiplication folding. In a 128-bit block loaded little-endian, bit i stands for
// x^(127-i) (the checksum is bit-reflected). Write a block as A = Ah * x^64 + Al, Ah being its first
// eight bytes. Modulo P = x^16 + x^15 + x^2 + 1, A * x^D is congruent to
// Ah * (x^(D+64) mod P) + Al * (x^D mod P), a polynomial of degree below 80, which is added to the
// block D bits further on. Folding the data
// down to one block leaves the checksum unchanged; the tables finish that block and the tail.
constexpr uint32_t XPowModP(int n)
{
    uint32_t rem = 1;   // x^0, normal bit order: bit k is x^k
    for (int i = 0; i < n; ++i) {
        rem <<= 1;
        if (rem & 0x10000)
            rem ^= 0x18005;
    }
    return rem;
}

// x^n mod P in the reflected 64-bit form (bit j stands for x^(63-j)). A product of two reflected
// 64-bit values has bit m standing for x^(126-m), one place off the block order, so the constants
// for distance D are x^(D+63) and x^(D-1) mod P.
constexpr uint64_t ReflectedXPow(int n)
{
    uint64_t normal = XPowModP(n);
    uint64_t reflected = 0;
    for (int k = 0; k < 64; ++k)
        if (normal & (1ull << k))
            reflected |= 1ull << (63 - k);
    return reflected;
}

struct FoldPair {
    uint64_t nLow;    // multiplies the low 64 bits (the higher powers)
    uint64_t nHigh;   // multiplies the high 64 bits
};

constexpr FoldPair FoldConstants(int nDistance)
{
    return {ReflectedXPow(nDistance + 63), ReflectedXPow(nDistance - 1)};
}

constexpr FoldPair kFold128 = FoldConstants(128), kFold256 = FoldConstants(256), kFold384 = FoldConstants(384),
                   kFold512 = FoldConstants(512);

__attribute__((target("pclmul,sse2"))) inline __m128i Fold(__m128i block, __m128i k)
{
    return _mm_xor_si128(_mm_clmulepi64_si128(block, k, 0x00), _mm_clmulepi64_si128(block, k, 0x11));
}

__attribute__((target("pclmul,sse2"))) inline __m128i Constants(FoldPair pair)
{
    return _mm_set_epi64x(static_cast<long long>(pair.nHigh), static_cast<long long>(pair.nLow));
}

// nLength >= 64; gives the register after the whole buffer.
__attribute__((target("pclmul,sse2"))) uint32_t FoldedCrc(const unsigned char* pData, int nLength)
{
    auto load = [pData](int nAt) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(pData + nAt)); };
    const __m128i init = _mm_cvtsi32_si128(0xFFFF);   // the initial register joins the first bytes
    __m128i x0 = _mm_xor_si128(load(0), init), x1 = load(16), x2 = load(32), x3 = load(48);
    int i = 64;
    const __m128i k512 = Constants(kFold512);
    for (; i + 64 <= nLength; i += 64) {
        x0 = _mm_xor_si128(Fold(x0, k512), load(i));
        x1 = _mm_xor_si128(Fold(x1, k512), load(i + 16));
        x2 = _mm_xor_si128(Fold(x2, k512), load(i + 32));
        x3 = _mm_xor_si128(Fold(x3, k512), load(i + 48));
    }
    __m128i x = _mm_xor_si128(_mm_xor_si128(Fold(x0, Constants(kFold384)), Fold(x1, Constants(kFold256))),
                              _mm_xor_si128(Fold(x2, Constants(kFold128)), x3));
    const __m128i k128 = Constants(kFold128);
    for (; i + 16 <= nLength; i += 16)
        x = _mm_xor_si128(Fold(x, k128), load(i));
    alignas(16) unsigned char folded[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(folded), x);
    return TableCrc(TableCrc(0, folded, 16), pData + i, nLength - i);
}

bool HasClmul()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
}

// Until this is set (a call from another file's static initialiser) the tables do the work.
const bool kHasClmul = HasClmul();
#endif

}  // namespace

int CalcCrc16(const unsigned char* pData, int nLength)
{
#if defined(__x86_64__)
    if (nLength >= 64 && kHasClmul)
        return static_cast<int>(FoldedCrc(pData, nLength));
#endif
    return static_cast<int>(TableCrc(0xFFFF, pData, nLength));
}

int CalcCrc16Bitwise(const unsigned char* pData, int nLength)
{
    uint16_t reg = 0xFFFF;
    for (int i = 0; i < nLength; ++i) {
        reg ^= pData[i];
        for (int bit = 0; bit < 8; ++bit)
            reg = (reg & 1) ? static_cast<uint16_t>((reg >> 1) ^ 0xA001) : static_cast<uint16_t>(reg >> 1);
    }
    return reg;
}
