#include "context_hash.h"

namespace helpc {

namespace {

// The value each allowed character adds; 0 for characters a context string may not hold.
std::uint32_t CharValue(char c) {
    if (c >= 'A' && c <= 'Z')
        return static_cast<std::uint32_t>(c - 'A') + 17;
    if (c >= 'a' && c <= 'z')
        return static_cast<std::uint32_t>(c - 'a') + 17;
    if (c >= '1' && c <= '9')
        return static_cast<std::uint32_t>(c - '0');
    if (c == '0')
        return 10;
    if (c == '.')
        return 12;
    if (c == '_')
        return 13;
    return 0;
}

} // namespace

bool IsValidContextId(std::string_view id) {
    if (id.empty())
        return false;
    for (char c : id)
        if (CharValue(c) == 0)
            return false;
    return true;
}

std::int32_t ContextHash(std::string_view id) {
    // Unsigned arithmetic: long names overflow, and the format wants the wrapped value.
    std::uint32_t hash = 0;
    for (char c : id)
        hash = hash * 43 + CharValue(c);
    return static_cast<std::int32_t>(hash);
}

} // namespace helpc
