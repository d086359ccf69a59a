/*
 * The data-store base in one include: lists, the string hash table, byte and
 * string routines, memory pools, dates and times, and the allocation seam.
 */
#ifndef VELMORA_BASE_H
#define VELMORA_BASE_H

#include "velmora/base_alloc.h"
#include "velmora/bri_datetime.h"
#include "velmora/lcd_vector.h"
#include "velmora/mem_pool.h"
#include "velmora/result.h"
#include "velmora/string_hash.h"
#include "velmora/string_routines.h"

#endif
