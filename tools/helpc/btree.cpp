#include "btree.h"

namespace helpc {

namespace {

struct Page {
    Bytes bytes; // header and entries, without the unused tail
    int entries = 0;
    Bytes first_key;
};

constexpr std::uint16_t kNoPage = 0xFFFF;

void FinishPage(Page& page, std::size_t page_size) {
    // The first header word counts the unused bytes at the end of the page.
    const auto unused = static_cast<std::uint32_t>(page_size - page.bytes.size());
    page.bytes[0] = static_cast<std::uint8_t>(unused);
    page.bytes[1] = static_cast<std::uint8_t>(unused >> 8);
    page.bytes[2] = static_cast<std::uint8_t>(page.entries);
    page.bytes[3] = static_cast<std::uint8_t>(page.entries >> 8);
    page.bytes.resize(page_size, 0);
}

} // namespace

Bytes BuildBTree(const BTreeFormat& format, const std::vector<BTreeEntry>& entries) {
    const std::size_t page_size = format.page_size;
    if (format.structure.size() > 15)
        throw CompileError("B-tree structure text too long");

    // Leaves, in key order, numbered from 0.
    std::vector<Page> pages;
    auto new_leaf = [&] {
        Page p;
        p.bytes.assign(kLeafHeaderSize, 0);
        pages.push_back(std::move(p));
    };
    new_leaf();
    for (const BTreeEntry& e : entries) {
        const std::size_t size = e.key.size() + e.value.size();
        if (kLeafHeaderSize + size > page_size)
            throw CompileError("a B-tree entry of " + std::to_string(size) +
                               " bytes does not fit a page");
        if (pages.back().bytes.size() + size > page_size)
            new_leaf();
        Page& leaf = pages.back();
        if (leaf.entries == 0)
            leaf.first_key = e.key;
        PutBytes(leaf.bytes, e.key);
        PutBytes(leaf.bytes, e.value);
        ++leaf.entries;
    }
    const std::size_t leaves = pages.size();
    for (std::size_t i = 0; i < leaves; ++i) {
        const std::uint16_t prev = i == 0 ? kNoPage : static_cast<std::uint16_t>(i - 1);
        const std::uint16_t next = i + 1 == leaves ? kNoPage : static_cast<std::uint16_t>(i + 1);
        pages[i].bytes[4] = static_cast<std::uint8_t>(prev);
        pages[i].bytes[5] = static_cast<std::uint8_t>(prev >> 8);
        pages[i].bytes[6] = static_cast<std::uint8_t>(next);
        pages[i].bytes[7] = static_cast<std::uint8_t>(next >> 8);
        FinishPage(pages[i], page_size);
    }

    // Index levels: each index page names its first child in the header and every further child
    // with that child's first key, which is the smallest key below it.
    std::size_t level_begin = 0;
    std::size_t level_end = leaves;
    int levels = 1;
    while (level_end - level_begin > 1) {
        const std::size_t next_begin = pages.size();
        for (std::size_t child = level_begin; child < level_end; ++child) {
            const Bytes& key = pages[child].first_key;
            const std::size_t size = key.size() + 2;
            const bool fresh =
                pages.size() == next_begin || pages.back().bytes.size() + size > page_size;
            if (fresh && kIndexHeaderSize + size > page_size)
                throw CompileError("a B-tree key does not fit an index page");
            if (fresh) {
                Page p;
                p.bytes.assign(kIndexHeaderSize, 0);
                p.bytes[4] = static_cast<std::uint8_t>(child);
                p.bytes[5] = static_cast<std::uint8_t>(child >> 8);
                p.first_key = key;
                pages.push_back(std::move(p));
                continue;
            }
            Page& index = pages.back();
            PutBytes(index.bytes, key);
            PutU16(index.bytes, static_cast<std::uint32_t>(child));
            ++index.entries;
        }
        for (std::size_t i = next_begin; i < pages.size(); ++i)
            FinishPage(pages[i], page_size);
        level_begin = next_begin;
        level_end = pages.size();
        ++levels;
    }
    if (pages.size() > 0xFFFE)
        throw CompileError("too many B-tree pages");

    Bytes out;
    PutU16(out, 0x293B);
    PutU16(out, format.flags);
    PutU16(out, format.page_size);
    std::string structure = format.structure;
    structure.resize(16, '\0');
    out.insert(out.end(), structure.begin(), structure.end());
    PutU16(out, 0);                                       // must be zero
    PutU16(out, static_cast<std::uint32_t>(leaves - 1));  // page splits
    PutU16(out, static_cast<std::uint32_t>(level_begin)); // root page
    PutU16(out, 0xFFFF);
    PutU16(out, static_cast<std::uint32_t>(pages.size()));
    PutU16(out, static_cast<std::uint32_t>(levels));
    PutU32(out, static_cast<std::uint32_t>(entries.size()));
    for (const Page& p : pages)
        PutBytes(out, p.bytes);
    return out;
}

} // namespace helpc
