#pragma once

// The B+ trees of a help file: the internal directory (file name -> file offset) and |CONTEXT
// (context hash -> topic offset). Built bottom-up from sorted entries: leaves filled in order and
// chained both ways, then index levels over them until one root page is left.

#include "bytes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace helpc {

struct BTreeEntry {
    Bytes key;   // as stored, e.g. a NUL-terminated name or a 4-byte hash
    Bytes value; // what a leaf stores after the key
};

struct BTreeFormat {
    std::uint16_t flags;     // 0x0402 for the directory, 0x0002 otherwise
    std::uint16_t page_size; // bytes per page
    std::string structure;   // e.g. "z4" or "L4", at most 15 characters
};

// The tree as the internal file's content (header and pages). Entries must be sorted in the
// order the reader compares them; an entry that cannot fit a page is a CompileError.
[[nodiscard]] Bytes BuildBTree(const BTreeFormat& format, const std::vector<BTreeEntry>& entries);

constexpr std::size_t kBTreeHeaderSize = 38;
constexpr std::size_t kLeafHeaderSize = 8;
constexpr std::size_t kIndexHeaderSize = 6;

} // namespace helpc
