// zlib's CRC-32 for the web build, which has no zlib: the reflected polynomial 0xEDB88320,
// preset and final inversion, so that its values are the ones gzip, zlib and the native tests
// know.
#include <zlib.h>

#include <stdint.h>

static uint32_t crcTable[256];

static void fillCrcTable() {
    for (uint32_t n = 0; n < 256; n++) {
        uint32_t c = n;
        for (int k = 0; k < 8; k++) {
            c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        }
        crcTable[n] = c;
    }
}

// Called as zlib's crc32 by the page and the tests: the running value and the next len bytes.
uLong crc32(uLong crc, const Bytef* buf, uInt len) {
    if (crcTable[1] == 0) {
        fillCrcTable();
    }
    if (!buf) {
        return 0;
    }
    uint32_t c = ~(uint32_t)crc;
    for (uInt i = 0; i < len; i++) {
        c = crcTable[(c ^ buf[i]) & 0xFFu] ^ (c >> 8);
    }
    return ~c;
}
