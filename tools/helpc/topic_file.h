#pragma once

// The |TOPIC file: every topic as a topic header record followed by one display record per
// paragraph, laid out in 4 KiB blocks, and the topic offsets by which |CONTEXT, |CTXOMAP and
// |SYSTEM name the topics.
//
// Blocks are marked LZ77-compressed but hold only literals, 3630 bytes of record data each, so
// every block expands to exactly that much and a position is block * 0x4000 + 12 + offset, the
// same for every reader. A record that does not fit the rest of a block starts the next one; a
// record longer than a whole block runs on into the following blocks.

#include "bytes.h"
#include "topic_source.h"

#include <cstdint>
#include <vector>

namespace helpc {

// Fonts of the |FONT file, by their number in the display records.
enum Font : std::uint16_t { kFontBody = 0, kFontBold = 1, kFontTitle = 2, kFontHeading = 3 };

constexpr std::size_t kTopicBlockSize = 4096;
constexpr std::size_t kTopicBlockHeaderSize = 12;
constexpr std::size_t kTopicBlockData = 3630; // literals that fill the rest of a block
constexpr std::uint32_t kTopicLinkHeaderSize = 21;
constexpr std::uint8_t kRecordTopicHeader = 0x02;
constexpr std::uint8_t kRecordDisplay = 0x20;

struct TopicFile {
    Bytes bytes;                          // the internal file's content
    std::vector<std::int32_t> offsets;    // topic offset of each topic, in order
    std::vector<std::uint32_t> positions; // position of each topic's header record
};

[[nodiscard]] TopicFile BuildTopicFile(const std::vector<Topic>& topics);

// Position of a byte of record data, as the records and block headers store it.
[[nodiscard]] constexpr std::uint32_t TopicPos(std::size_t data_offset) {
    return static_cast<std::uint32_t>((data_offset / kTopicBlockData) * 0x4000 +
                                      kTopicBlockHeaderSize + data_offset % kTopicBlockData);
}

} // namespace helpc
