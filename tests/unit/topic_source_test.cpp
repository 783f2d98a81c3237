#include "helpc/topic_source.h"

#include "helpc/bytes.h"

#include <gtest/gtest.h>

namespace {

using helpc::CompileError;
using helpc::ParagraphStyle;
using helpc::RunStyle;

std::string Header(const std::string& body) {
    return "title: A topic\nid: a_topic\nmap: 7\n\n" + body;
}

std::string ErrorOf(const std::string& text) {
    try {
        (void)helpc::ParseTopic("t.topic", text);
    } catch (const CompileError& e) {
        return e.what();
    }
    return "no error";
}

TEST(TopicSourceTest, ReadsHeaderParagraphsAndMarkup) {
    const auto t = helpc::ParseTopic("t.topic", Header("## Keys\n"
                                                       "Press *F2* to start,\n"
                                                       "see [Sound](sound_tab).\n"
                                                       "\n"
                                                       "- one item\n"
                                                       "  goes on\n"
                                                       "- two\n"));
    EXPECT_EQ(t.id, "a_topic");
    EXPECT_EQ(t.map_number, 7);
    ASSERT_EQ(t.paragraphs.size(), 5u);
    EXPECT_EQ(t.paragraphs[0].style, ParagraphStyle::Title);
    EXPECT_EQ(t.paragraphs[0].runs[0].text, "A topic");
    EXPECT_EQ(t.paragraphs[1].style, ParagraphStyle::Heading);
    const auto& body = t.paragraphs[2].runs;
    ASSERT_EQ(body.size(), 5u);
    EXPECT_EQ(body[0].text, "Press ");
    EXPECT_EQ(body[1].style, RunStyle::Bold);
    EXPECT_EQ(body[1].text, "F2");
    EXPECT_EQ(body[2].text, " to start, see ");
    EXPECT_EQ(body[3].style, RunStyle::Link);
    EXPECT_EQ(body[3].text, "Sound");
    EXPECT_EQ(body[3].target, "sound_tab");
    EXPECT_EQ(body[4].text, ".");
    EXPECT_EQ(t.paragraphs[3].style, ParagraphStyle::Bullet);
    EXPECT_EQ(t.paragraphs[3].runs[0].text, "one item goes on");
}

TEST(TopicSourceTest, EscapesAndUtf8BecomePlainWindows1252Text) {
    const auto t = helpc::ParseTopic(
        "t.topic", Header("2 \\* 3 \\[not a link\\] C:\\\\Vidorra \xe2\x80\x9cq\xe2\x80\x9d "
                          "caf\xc3\xa9 \xe2\x80\x94 100%\n"));
    ASSERT_EQ(t.paragraphs[1].runs.size(), 1u);
    EXPECT_EQ(t.paragraphs[1].runs[0].text,
              "2 * 3 [not a link] C:\\Vidorra \x93q\x94 caf\xe9 \x97 100%");
    const auto link = helpc::ParseTopic("t.topic", Header("[a \\*star\\* \\] here](x)\n"));
    EXPECT_EQ(link.paragraphs[1].runs[0].text, "a *star* ] here");
}

TEST(TopicSourceTest, FaultsNameTheFileAndLine) {
    EXPECT_EQ(ErrorOf(Header("ok\n\nan *open bold\n")),
              "t.topic:7: bold text is not closed with *");
    EXPECT_EQ(ErrorOf(Header("ends in \\")),
              "t.topic:5: a backslash ends the paragraph; write \\\\ for one");
    EXPECT_EQ(ErrorOf(Header("[text](bad id)\n")), "t.topic:5: \"bad id\" is not a valid topic id");
    EXPECT_EQ(ErrorOf(Header("[text]\n")), "t.topic:5: a link needs [text](topic_id)");
    EXPECT_EQ(ErrorOf(Header("[text](open\n")), "t.topic:5: a link's target is not closed with )");
    EXPECT_EQ(ErrorOf(Header("snow \xe2\x98\x83\n")),
              "t.topic:5: character U+2603 has no place in Windows-1252");
    EXPECT_EQ(ErrorOf(Header("bad \xc3\n")), "t.topic:5: the text is not valid UTF-8");
    EXPECT_EQ(ErrorOf(Header("overlong \xc0\xaf\n")), "t.topic:5: the text is not valid UTF-8");
    EXPECT_EQ(ErrorOf(Header("overlong \xe0\x80\xaf\n")), "t.topic:5: the text is not valid UTF-8");
    EXPECT_EQ(ErrorOf("title: T\nid: x\nmap: five\n\n"),
              "t.topic:3: map needs a whole number, got \"five\"");
    EXPECT_EQ(ErrorOf("title: T\n\n"), "t.topic:1: the topic has no id");
    EXPECT_EQ(ErrorOf("title: T\nid: x\nsize: 3\n"), "t.topic:3: unknown header \"size\"");
}

TEST(TopicSourceTest, TheSetNeedsUniqueIdsAndMapsAndKnownLinkTargets) {
    const auto a = helpc::ParseTopic("a", "title: A\nid: a\nmap: 5\n\nsee [b](b)\n");
    const auto b = helpc::ParseTopic("b", "title: B\nid: b\nmap: 6\n\n");
    EXPECT_NO_THROW(helpc::CheckTopics({a, b}));
    EXPECT_THROW(helpc::CheckTopics({a}), CompileError); // b is unknown
    auto b5 = b;
    b5.map_number = 5;
    EXPECT_THROW(helpc::CheckTopics({a, b5}), CompileError);
    auto a2 = b;
    a2.id = "A"; // ids are told apart by their hash, which ignores case
    a2.map_number.reset();
    EXPECT_THROW(helpc::CheckTopics({a, b, a2}), CompileError);
}

} // namespace
