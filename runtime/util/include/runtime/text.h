/*
 * Text routines over narrow NUL-terminated strings.
 *
 * Occurrences of a pattern are found left to right without overlap ("aaa"
 * holds "aa" once); an empty pattern occurs nowhere. Character classes are
 * ASCII: letters 'A'-'Z' and 'a'-'z', digits '0'-'9'. Every string or array
 * handed back is malloc'ed for the caller, except where a routine says it
 * hands back its input. A null text or pattern gives null (or -1 for the
 * numeric results); so does an allocation failure.
 */
#ifndef RUNTIME_TEXT_H
#define RUNTIME_TEXT_H

#ifdef __cplusplus
extern "C" {
#endif

/* Number of occurrences of pattern in text. */
int CountSubStrings(const char* text, const char* pattern);

/* Index of the first occurrence; 0 also when there is none. */
int FindFirstSubString(const char* text, const char* pattern);

/* Index of the last occurrence, or -1. */
int FindLastSubString(const char* text, const char* pattern);

/* Copy of the text before the first occurrence; empty when there is none. */
char* GetTextBefore(const char* text, const char* pattern);

/* Copy of the text after the first occurrence. With none, the first
 * occurrence is taken to be at 0: the text from strlen(pattern) on (empty when
 * the text is shorter than the pattern). */
char* GetTextAfter(const char* text, const char* pattern);

/* Copy of the text after the last occurrence; with none, `text` itself (not
 * a copy: the caller must not free it as a result). */
char* GetTextAfterLast(const char* text, const char* pattern);

/* The pieces between the n occurrences: n + 1 strings and a null entry. With
 * no occurrence entry 0 is `text` itself, not a copy. */
char** SplitAtSubString(const char* text, const char* pattern);

/* Copy with every occurrence removed. */
char* RemoveAllSubStrings(const char* text, const char* pattern);

/* Copy without the first (last) occurrence; null when there is none. */
char* RemoveFirstSubString(const char* text, const char* pattern);
char* RemoveLastSubString(const char* text, const char* pattern);

/* Copies holding only letters; only letters and digits; everything else. */
char* KeepLetters(const char* text);
char* KeepLettersAndDigits(const char* text);
char* RemoveLettersAndDigits(const char* text);

/* Copy without the leading run of `character`; null for an empty text. */
char* TrimLeadingChar(const char* text, char character);

/* Copy without the trailing run of `character` (a text made only of it
 * becomes empty); null for a text of one character or none. */
char* TrimTrailingChar(const char* text, char character);

/* TrimTrailingChar of TrimLeadingChar. */
char* TrimChar(const char* text, char character);

/* Reentrant tokenizer: starts at `text`, or with a null text continues at
 * *cursor. Skips leading delimiters, ends the token by writing a terminator
 * over the next delimiter and leaves *cursor just after it (null at the end
 * of the text). Null when no token is left. The text is modified. */
char* TokenizeString(char* text, const char* delimiters, char** cursor);

/* Copies with ASCII letters turned to lower (upper) case. */
char* ToLowerCase(const char* text);
char* ToUpperCase(const char* text);

#ifdef __cplusplus
}
#endif
#endif
