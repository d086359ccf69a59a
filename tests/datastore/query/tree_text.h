// Parse results as text, so that expectations read like conditions.
#pragma once

#include <stdlib.h>

#include <string>

#include "velmora/criteria.h"

// The printed tree of the parse, or "null" when the parse failed.
inline std::string Parsed(const std::string& text)
{
    CriteriaNode* root = ParseCondition(text.c_str());
    if (root == nullptr)
        return "null";
    char* printed = ToStringCriteriaTree(root);
    std::string result = printed == nullptr ? "<print failed>" : printed;
    free(printed);
    FreeCriteriaTree(root);
    return result;
}

inline std::string Repeat(const std::string& part, size_t times)
{
    std::string text;
    text.reserve(part.size() * times);
    for (size_t i = 0; i < times; i++)
        text += part;
    return text;
}
