/* A stand-in zlib for tests: exports crc32 and compress (stored blocks) but not compress2,
   uncompress or anything else. */
#include <stddef.h>

#ifdef _WIN32
#define EXPORT __declspec(dllexport)
#else
#define EXPORT __attribute__((visibility("default")))
#endif

EXPORT unsigned long crc32(unsigned long crc, const unsigned char* buf, unsigned len) {
    crc = ~crc & 0xFFFFFFFFul;
    for (unsigned i = 0; i < len; ++i) {
        crc ^= buf[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320ul & (0ul - (crc & 1ul)));
    }
    return ~crc & 0xFFFFFFFFul;
}

/* zlib header, stored blocks of at most 65535 bytes, Adler-32. */
EXPORT int compress(unsigned char* dest, unsigned long* destLen, const unsigned char* source,
                    unsigned long sourceLen) {
    unsigned long blocks = sourceLen / 65535 + 1;
    unsigned long need = 2 + blocks * 5 + sourceLen + 4;
    if (*destLen < need) return -5;
    unsigned char* d = dest;
    *d++ = 0x78;
    *d++ = 0x01;
    unsigned long left = sourceLen, a = 1, b = 0;
    const unsigned char* s = source;
    for (unsigned long i = 0; i < sourceLen; ++i) {
        a = (a + source[i]) % 65521;
        b = (b + a) % 65521;
    }
    do {
        unsigned n = left > 65535 ? 65535 : (unsigned)left;
        left -= n;
        *d++ = left == 0 ? 1 : 0;
        *d++ = (unsigned char)n;
        *d++ = (unsigned char)(n >> 8);
        *d++ = (unsigned char)~n;
        *d++ = (unsigned char)(~n >> 8);
        for (unsigned i = 0; i < n; ++i) *d++ = *s++;
    } while (left > 0);
    unsigned long adler = (b << 16) | a;
    *d++ = (unsigned char)(adler >> 24);
    *d++ = (unsigned char)(adler >> 16);
    *d++ = (unsigned char)(adler >> 8);
    *d++ = (unsigned char)adler;
    *destLen = (unsigned long)(d - dest);
    return 0;
}
