/*
 * Result codes of the data store: 1 for success,
 * 0 for failure and 99 for a memory allocation failure. Routines that hand
 * back a record return null instead.
 */
#ifndef VELMORA_RESULT_H
#define VELMORA_RESULT_H

#define VELMORA_FAILURE 0
#define VELMORA_SUCCESS 1
#define VELMORA_ALLOC_FAILURE 99

#endif
