/* A symmetric byte scrambler for stored keys: not encryption, only keeps the
 * key from being readable at a glance. */
#ifndef RUNTIME_KEY_SCRAMBLER_H
#define RUNTIME_KEY_SCRAMBLER_H

#ifdef __cplusplus
extern "C" {
#endif

/* XORs every byte of buffer[0..length) with a mask derived from `key`: s =
 * key + 9, the mask is s when s < 256, else s % 255, taken to its low 8 bits.
 * Applying it twice with the same key restores the buffer. Returns the
 * length (0 for a null buffer or a negative length). */
int EncryptDecryptKey(unsigned char* buffer, int length, int key);

#ifdef __cplusplus
}
#endif
#endif
