#include "runtime/key_scrambler.h"

#include <stdint.h>

#include "runtime/log.h"

int EncryptDecryptKey(unsigned char* buffer, int length, int key)
{
    LogTrace("\t\t@@@@@ Inside EncryptDecryptKey() @@@@@\n");
    if (!buffer || length < 0)
        return 0;
    /* key + 9 wraps as a 32-bit value; computed wide so that a key near the
     * top of the range does not overflow. */
    auto sum = static_cast<int32_t>(static_cast<uint32_t>(key) + 9u);
    int32_t mask = sum < 256 ? sum : sum % 255;
    auto bits = static_cast<unsigned char>(mask & 0xFF);
    for (int i = 0; i < length; ++i)
        buffer[i] ^= bits;
    return length;
}
