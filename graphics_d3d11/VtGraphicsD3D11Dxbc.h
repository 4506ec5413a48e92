// DXBC shader containers: the container checksum (MD5's compression function over the bytes after the
// checksum field, with MD5's start state but a last block of its own) and the check of a container's
// header. Header-only and free of platform calls: the build-time shader assembler uses it too.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

namespace Vantrel {

inline void D3D11Dxbc_Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

inline uint32_t D3D11Dxbc_Rotl(uint32_t x, int c) { return (x << c) | (x >> (32 - c)); }

inline void D3D11Dxbc_Block(uint32_t s[4], const uint8_t* p)
{
    static const uint32_t K[64] = {
        0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
        0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
        0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
        0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
        0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
        0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
        0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
        0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
    static const int R[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                              5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                              4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                              6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
    uint32_t m[16];
    for (int i = 0; i < 16; ++i)
        m[i] = uint32_t(p[4 * i]) | uint32_t(p[4 * i + 1]) << 8 | uint32_t(p[4 * i + 2]) << 16 | uint32_t(p[4 * i + 3]) << 24;
    uint32_t a = s[0], b = s[1], c = s[2], d = s[3];
    for (int i = 0; i < 64; ++i) {
        uint32_t f;
        int g;
        if (i < 16) f = (b & c) | (~b & d), g = i;
        else if (i < 32) f = (d & b) | (~d & c), g = (5 * i + 1) & 15;
        else if (i < 48) f = b ^ c ^ d, g = (3 * i + 5) & 15;
        else f = c ^ (b | ~d), g = (7 * i) & 15;
        uint32_t t = d;
        d = c;
        c = b;
        b = b + D3D11Dxbc_Rotl(a + f + K[i] + m[g], R[i]);
        a = t;
    }
    s[0] += a, s[1] += b, s[2] += c, s[3] += d;
}

// The checksum of a whole container of `size` bytes (the hashed part starts at offset 20).
inline void D3D11Dxbc_Checksum(const uint8_t* container, size_t size, uint32_t out[4])
{
    uint32_t s[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    const uint8_t* p = container + 20;
    const size_t length = size - 20;
    const size_t whole = length - length % 64;
    for (size_t i = 0; i < whole; i += 64) D3D11Dxbc_Block(s, p + i);
    const size_t r = length % 64;
    const uint32_t bits = uint32_t(length * 8);
    uint8_t block[64] = {};
    if (r < 56) {
        D3D11Dxbc_Put32(block, bits);
        memcpy(block + 4, p + whole, r);
        block[4 + r] = 0x80;
        D3D11Dxbc_Put32(block + 60, (bits >> 2) | 1);
        D3D11Dxbc_Block(s, block);
    } else {
        memcpy(block, p + whole, r);
        block[r] = 0x80;
        D3D11Dxbc_Block(s, block);
        memset(block, 0, sizeof(block));
        D3D11Dxbc_Put32(block, bits);
        D3D11Dxbc_Put32(block + 60, (bits >> 2) | 1);
        D3D11Dxbc_Block(s, block);
    }
    for (int i = 0; i < 4; ++i) out[i] = s[i];
}

// 1 when `code` of `size` bytes is a container whose size field and checksum are right, else 0.
inline int D3D11Dxbc_IsIntact(const uint8_t* code, size_t size) {
    if (code == nullptr || size < 32 || memcmp(code, "DXBC", 4) != 0) return 0;
    const uint32_t stated = (uint32_t)code[24] | (uint32_t)code[25] << 8 | (uint32_t)code[26] << 16 | (uint32_t)code[27] << 24;
    if (stated != size) return 0;
    uint32_t sum[4];
    uint8_t bytes[16];
    D3D11Dxbc_Checksum(code, size, sum);
    for (int i = 0; i < 4; ++i) D3D11Dxbc_Put32(bytes + 4 * i, sum[i]);
    return memcmp(bytes, code + 4, 16) == 0;
}

}  // namespace Vantrel
