/* The operating system's own texts for system error codes. */
#ifndef PLATFORM_MESSAGES_H
#define PLATFORM_MESSAGES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Encodings a text can be asked for. */
#define PLAT_TEXT_UTF8 0
#define PLAT_TEXT_ANSI 1 /* the system's ANSI code page; UTF-8 on POSIX */

/* Results of PlatGetSystemMessage. */
#define PLAT_MESSAGE_FOUND 0 /* *text holds the system's text */
#define PLAT_MESSAGE_NONE 1  /* the system has no text for the code */
#define PLAT_MESSAGE_UNCONVERTED                                                                                       \
    2 /* a text exists but could not be converted
                                      or copied; *error tells why */

/*
 * Looks up the system's text for `code` in the neutral language, as one line
 * (the system's line breaks become blanks, so a text usually ends in one
 * blank, as Windows gives it). On PLAT_MESSAGE_FOUND *text receives a heap
 * string the caller frees; otherwise *text is null. `error` may be null.
 *
 * Windows asks FormatMessage. The POSIX half carries the Windows texts of the
 * codes this system meets, word for word; every other code has none.
 */
int PlatGetSystemMessage(uint32_t code, int encoding, char** text, uint32_t* error);

/* Removes blanks (' ' only) from both ends of `text` in place. */
void PlatTrimBlanks(char* text);

#ifdef __cplusplus
}
#endif
#endif
