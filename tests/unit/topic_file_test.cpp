#include "helpc/topic_file.h"

#include "help_reader.h"

#include <gtest/gtest.h>

namespace {

using helpc::Bytes;
using helpc::GetU32;
using helpc::Paragraph;
using helpc::ParagraphStyle;
using helpc::RunStyle;
using helpc::Topic;

Topic MakeTopic(const std::string& id, const std::vector<std::string>& texts) {
    Topic t;
    t.id = id;
    t.title = "Title of " + id;
    t.paragraphs.push_back({ParagraphStyle::Title, {{RunStyle::Plain, t.title, {}}}});
    for (const std::string& s : texts)
        t.paragraphs.push_back({ParagraphStyle::Body, {{RunStyle::Plain, s, {}}}});
    return t;
}

// The characters a display record adds to topic offsets: its second compressed number.
std::uint32_t CountedLength(const Bytes& data1) {
    std::size_t p = (data1.at(0) & 1) ? 4 : 2;
    return (data1.at(p) & 1) ? helpc::GetU16(data1, p) / 2 : data1.at(p) / 2u;
}

TEST(TopicFileTest, LongTopicsRunOverBlocksAndEveryRecordIsFoundAgain) {
    std::vector<std::string> many;
    for (int i = 0; i < 60; ++i)
        many.push_back("Paragraph " + std::to_string(i) + " " + std::string(150, 'a' + i % 26));
    const std::vector<Topic> topics = {
        MakeTopic("contents", {"Short."}),
        MakeTopic("long_one", many),
        MakeTopic("huge", {std::string(9000, 'h')}), // longer than two whole blocks
        MakeTopic("after", {"The end."}),
    };
    const helpc::TopicFile file = helpc::BuildTopicFile(topics);
    ASSERT_EQ(file.bytes.size() % 4096, 0u);
    EXPECT_GE(file.bytes.size() / 4096, 6u);

    const Bytes data = help_reader::ExpandTopicBlocks(file.bytes, 0, file.bytes.size());
    ASSERT_EQ(data.size(), file.bytes.size() / 4096 * 3630);
    const auto records = help_reader::WalkRecords(data);
    ASSERT_FALSE(records.empty());

    // Walk as a viewer does: count characters within a block, check each topic's place.
    std::size_t topic = 0;
    std::size_t paragraph = 0;
    std::uint32_t block = 0xFFFFFFFF;
    std::uint32_t count = 0;
    std::vector<std::uint32_t> header_pos;
    for (const auto& r : records) {
        if ((r.pos - 12) >> 14 != block) {
            block = (r.pos - 12) >> 14;
            count = 0;
        }
        if (r.type == helpc::kRecordTopicHeader) {
            header_pos.push_back(r.pos);
            if (header_pos.size() > topics.size())
                break; // the closing header
            topic = header_pos.size() - 1;
            paragraph = 0;
            EXPECT_EQ(r.pos, file.positions[topic]);
            EXPECT_EQ(file.offsets[topic], static_cast<std::int32_t>(block * 0x8000 + count));
            EXPECT_EQ(r.text, topics[topic].title + '\0');
            EXPECT_EQ(GetU32(r.data1, 12), topic); // topic number
            continue;
        }
        ASSERT_EQ(r.type, helpc::kRecordDisplay);
        ASSERT_LT(paragraph, topics[topic].paragraphs.size());
        EXPECT_EQ(help_reader::VisibleText(r), topics[topic].paragraphs[paragraph++].runs[0].text);
        count += CountedLength(r.data1);
        EXPECT_LT(count, 0x8000u);
    }
    ASSERT_EQ(header_pos.size(), topics.size() + 1);
    EXPECT_EQ(records.back().next, 0xFFFFFFFFu);

    // Each header names the next header and its neighbours in the browse sequence.
    for (std::size_t t = 0; t < topics.size(); ++t) {
        const auto& h = *std::find_if(records.begin(), records.end(),
                                      [&](const auto& r) { return r.pos == header_pos[t]; });
        EXPECT_EQ(GetU32(h.data1, 24), header_pos[t + 1]);
        EXPECT_EQ(GetU32(h.data1, 4),
                  t == 0 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(file.offsets[t - 1]));
        EXPECT_EQ(GetU32(h.data1, 8), t + 1 == topics.size()
                                          ? 0xFFFFFFFFu
                                          : static_cast<std::uint32_t>(file.offsets[t + 1]));
    }
    // Only a record longer than a block crosses a block's end.
    for (const auto& r : records) {
        const std::size_t at = ((r.pos - 12) >> 14) * 3630 + ((r.pos - 12) & 0x3FFF);
        const std::size_t size = GetU32(data, at);
        if (size <= 3630)
            EXPECT_LE(at % 3630 + size, 3630u) << "record at " << r.pos;
        else
            EXPECT_EQ(at % 3630, 0u);
    }
    // Block headers: the first record starting in each block.
    for (std::size_t b = 0; b < file.bytes.size() / 4096; ++b) {
        const std::uint32_t first = GetU32(file.bytes, b * 4096 + 4);
        const auto it = std::find_if(records.begin(), records.end(),
                                     [&](const auto& r) { return ((r.pos - 12) >> 14) == b; });
        EXPECT_EQ(first, it == records.end() ? 0xFFFFFFFFu : it->pos) << "block " << b;
    }
}

TEST(TopicFileTest, ParagraphTooLongForATopicOffsetIsRefused) {
    EXPECT_THROW((void)helpc::BuildTopicFile({MakeTopic("x", {std::string(40000, 'x')})}),
                 helpc::CompileError);
}

} // namespace
