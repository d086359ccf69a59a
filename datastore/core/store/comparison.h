/* The comparison operators of conditions applied to two values of one C type,
 * shared by CompareColumnValue and the compiled selections of the in-memory
 * tables, so both read "stored operator criteria" the same way. */
#pragma once

#include <stdint.h>

#include "velmora/column_types.h"

namespace velmora {

template <typename T> inline bool ComparisonHolds(T left, T right, uint8_t op)
{
    switch (op) {
    case BRI_OP_LESS:
        return left < right;
    case BRI_OP_GREATER:
        return left > right;
    case BRI_OP_LESS_EQUAL:
        return left <= right;
    case BRI_OP_GREATER_EQUAL:
        return left >= right;
    case BRI_OP_EQUAL:
        return left == right;
    case BRI_OP_NOT_EQUAL:
        return left != right;
    default:
        return false;
    }
}

} // namespace velmora
