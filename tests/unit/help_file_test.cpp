#include "helpc/help_file.h"

#include "help_reader.h"
#include "helpc/context_hash.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using helpc::GetU16;
using helpc::GetU32;

std::vector<helpc::Topic> Topics() {
    std::vector<helpc::Topic> topics;
    topics.push_back(
        helpc::ParseTopic("c", "title: Contents\nid: contents\n\nSee [five](five).\n"));
    for (int n = 5; n <= 9; ++n) {
        const std::string id = n == 5 ? "five" : "topic" + std::to_string(n);
        topics.push_back(helpc::ParseTopic(id, "title: Topic " + std::to_string(n) + "\nid: " + id +
                                                   "\nmap: " + std::to_string(n) + "\n\n" +
                                                   std::string(2000, 'x') + "\n\nBack to " +
                                                   "[contents](contents).\n"));
    }
    helpc::CheckTopics(topics);
    return topics;
}

TEST(HelpFileTest, TheDirectoryContextAndMapLeadToTheSameTopics) {
    helpc::Project project;
    project.title = "Vidorra Help";
    const auto topics = Topics();
    const helpc::Bytes hlp = helpc::BuildHelpFile(project, topics);
    EXPECT_EQ(GetU32(hlp, 0), 0x00035F3Fu);
    EXPECT_EQ(GetU32(hlp, 12), hlp.size());

    const auto system = help_reader::FindInternalFile(hlp, "|SYSTEM");
    const auto topic = help_reader::FindInternalFile(hlp, "|TOPIC");
    const auto context = help_reader::FindInternalFile(hlp, "|CONTEXT");
    const auto map = help_reader::FindInternalFile(hlp, "|CTXOMAP");
    const auto font = help_reader::FindInternalFile(hlp, "|FONT");
    ASSERT_TRUE(system && topic && context && map && font);
    EXPECT_FALSE(help_reader::FindInternalFile(hlp, "|KWBTREE"));

    // |SYSTEM: a 3.1 file with LZ77 blocks, its title, the contents topic at offset 0.
    EXPECT_EQ(GetU16(hlp, *system), 0x036Cu);
    EXPECT_EQ(GetU16(hlp, *system + 2), 21u);
    EXPECT_EQ(GetU16(hlp, *system + 10), 4u);
    EXPECT_EQ(GetU16(hlp, *system + 12), 1u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&hlp[*system + 16])), "Vidorra Help");

    // Each map number's topic offset is the offset |CONTEXT gives for that topic's id, and its
    // header record in |TOPIC carries the topic's title.
    const std::size_t topic_size = GetU32(hlp, *topic - 5);
    const helpc::Bytes data = help_reader::ExpandTopicBlocks(hlp, *topic, topic_size);
    const auto records = help_reader::WalkRecords(data);
    // Where each header record is, by topic offset, counted as a viewer counts.
    std::map<std::uint32_t, help_reader::Record> header_at;
    std::uint32_t block = 0xFFFFFFFF;
    std::uint32_t count = 0;
    for (const auto& r : records) {
        if ((r.pos - 12) >> 14 != block) {
            block = (r.pos - 12) >> 14;
            count = 0;
        }
        if (r.type == 2)
            header_at.emplace(block * 0x8000 + count, r);
        else
            count += static_cast<std::uint32_t>(r.text.size()); // nothing is phrase-compressed
    }
    ASSERT_EQ(GetU16(hlp, *map), 5u);
    for (std::uint32_t i = 0; i < 5; ++i) {
        const std::uint32_t number = GetU32(hlp, *map + 2 + 8 * i);
        const std::uint32_t offset = GetU32(hlp, *map + 6 + 8 * i);
        const auto& t = topics[number - 4];
        EXPECT_EQ(number, static_cast<std::uint32_t>(*t.map_number));
        helpc::Bytes key;
        helpc::PutI32(key, helpc::ContextHash(t.id));
        auto four = [](const helpc::Bytes&, std::size_t) { return std::size_t{4}; };
        auto less = [](const helpc::Bytes& a, const helpc::Bytes& b) {
            return static_cast<std::int32_t>(GetU32(a, 0)) <
                   static_cast<std::int32_t>(GetU32(b, 0));
        };
        const auto found = help_reader::BTreeFind(hlp, *context, key, four, less, 4);
        ASSERT_TRUE(found) << t.id;
        EXPECT_EQ(GetU32(hlp, *found), offset) << t.id;
        ASSERT_TRUE(header_at.contains(offset)) << t.id;
        const auto header = header_at.at(offset);
        EXPECT_EQ(header.text, t.title + '\0');
    }
}

TEST(HelpFileTest, ContentsFileListsTheTopicsAndRefusesTextsItWouldMisread) {
    helpc::Project project;
    project.title = "Vidorra Help";
    const auto topics = Topics();
    const std::string cnt = helpc::BuildContentsFile(project, topics, "Vidorra.hlp");
    EXPECT_TRUE(cnt.starts_with(":Base Vidorra.hlp\r\n:Title Vidorra Help\r\n1 Vidorra Help\r\n"
                                "2 Contents=contents\r\n"))
        << cnt;
    EXPECT_NE(cnt.find("2 Topic 7=topic7\r\n"), std::string::npos);
    auto bad = topics;
    bad[1].title = "a=b";
    EXPECT_THROW((void)helpc::BuildContentsFile(project, bad, "x.hlp"), helpc::CompileError);
}

} // namespace
