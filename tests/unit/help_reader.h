#pragma once

// A small reader of the help file format for the help compiler's tests, written from the format's
// description the way a viewer reads it: B+ tree search from the root, topic blocks expanded and
// joined, records followed by their next-record positions.

#include "helpc/bytes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace help_reader {

using helpc::Bytes;
using helpc::GetU16;
using helpc::GetU32;

// Searches a B+ tree (starting at its header) for `key` with the given key reader, which returns
// a key's length at a place. Returns where the leaf entry's value starts.
template <typename KeyLength, typename Less>
std::optional<std::size_t> BTreeFind(const Bytes& tree, std::size_t at, const Bytes& key,
                                     KeyLength key_length, Less less, std::size_t value_size) {
    const std::size_t page_size = GetU16(tree, at + 4);
    std::uint32_t page = GetU16(tree, at + 26);
    const std::uint32_t levels = GetU16(tree, at + 32);
    const std::size_t pages = at + 38;
    auto key_at = [&](std::size_t p) {
        return Bytes(tree.begin() + static_cast<std::ptrdiff_t>(p),
                     tree.begin() + static_cast<std::ptrdiff_t>(p + key_length(tree, p)));
    };
    for (std::uint32_t level = 1; level < levels; ++level) {
        std::size_t p = pages + page * page_size;
        const std::uint32_t n = GetU16(tree, p + 2);
        std::uint32_t child = GetU16(tree, p + 4);
        p += 6;
        for (std::uint32_t i = 0; i < n; ++i) {
            const Bytes k = key_at(p);
            if (less(key, k))
                break;
            child = GetU16(tree, p + k.size());
            p += k.size() + 2;
        }
        page = child;
    }
    std::size_t p = pages + page * page_size;
    const std::uint32_t n = GetU16(tree, p + 2);
    p += 8;
    for (std::uint32_t i = 0; i < n; ++i) {
        const Bytes k = key_at(p);
        if (k == key)
            return p + k.size();
        p += k.size() + value_size;
    }
    return std::nullopt;
}

// Where an internal file's content starts, found through the directory.
inline std::optional<std::size_t> FindInternalFile(const Bytes& hlp, const std::string& name) {
    const std::size_t dir = GetU32(hlp, 4) + 9;
    Bytes key(name.begin(), name.end());
    key.push_back(0);
    auto zlen = [](const Bytes& t, std::size_t p) {
        std::size_t n = 0;
        while (t.at(p + n) != 0)
            ++n;
        return n + 1;
    };
    auto less = [](const Bytes& a, const Bytes& b) { return a < b; };
    const auto value = BTreeFind(hlp, dir, key, zlen, less, 4);
    if (!value)
        return std::nullopt;
    return GetU32(hlp, *value) + 9;
}

// The record data of a |TOPIC file: every block's literal-only LZ77 stream expanded, joined.
inline Bytes ExpandTopicBlocks(const Bytes& topic, std::size_t begin, std::size_t size) {
    Bytes data;
    for (std::size_t block = begin; block < begin + size; block += 4096) {
        std::size_t p = block + 12;
        const std::size_t end = block + 4096;
        while (p < end) {
            const std::uint8_t flags = topic.at(p++);
            for (int bit = 0; bit < 8 && p < end; ++bit) {
                if (flags & (1 << bit))
                    return {}; // this reader knows only literals, which is all the compiler writes
                data.push_back(topic.at(p++));
            }
        }
    }
    return data;
}

struct Record {
    std::uint32_t pos;
    std::uint8_t type;
    Bytes data1; // after the link header
    std::string text;
    std::uint32_t next;
};

// Follows the records from the first one. Positions map to the joined data as block * 3630 +
// offset, the size every block expands to.
inline std::vector<Record> WalkRecords(const Bytes& data) {
    std::vector<Record> out;
    std::uint32_t pos = 12;
    for (int guard = 0; pos != 0xFFFFFFFF && guard < 100000; ++guard) {
        const std::size_t at = ((pos - 12) >> 14) * 3630 + ((pos - 12) & 0x3FFF);
        Record r;
        r.pos = pos;
        const std::uint32_t block_size = GetU32(data, at);
        const std::uint32_t data_len2 = GetU32(data, at + 4);
        r.next = GetU32(data, at + 12);
        const std::uint32_t data_len1 = GetU32(data, at + 16);
        r.type = data.at(at + 20);
        r.data1.assign(data.begin() + static_cast<std::ptrdiff_t>(at + 21),
                       data.begin() + static_cast<std::ptrdiff_t>(at + data_len1));
        if (block_size - data_len1 != data_len2)
            return {};
        r.text.assign(data.begin() + static_cast<std::ptrdiff_t>(at + data_len1),
                      data.begin() + static_cast<std::ptrdiff_t>(at + block_size));
        out.push_back(r);
        pos = r.next;
    }
    return out;
}

// A display record's visible text: its pieces joined, without the NULs between them.
inline std::string VisibleText(const Record& r) {
    std::string s;
    for (char c : r.text)
        if (c != '\0')
            s += c;
    return s;
}

} // namespace help_reader
