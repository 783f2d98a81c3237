#pragma once

// The hash by which a help file names a topic's context string in |CONTEXT and in jumps.

#include <cstdint>
#include <string_view>

namespace helpc {

// Whether a context string uses only the characters a 3.1 help file allows (letters, digits,
// '_' and '.'), and is not empty.
[[nodiscard]] bool IsValidContextId(std::string_view id);

// Letters count alike in either case. The result wraps modulo 2^32 as the viewer's does.
[[nodiscard]] std::int32_t ContextHash(std::string_view id);

} // namespace helpc
