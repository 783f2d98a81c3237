#pragma once

// The readable sources of the help file: a project file naming the file's title and its topics,
// and one small text file per topic.
//
// A topic file starts with header lines ("title: ...", "id: ...", optionally "map: N", the
// number a program asks for) and a blank line; then paragraphs separated by blank lines:
//   ## A heading
//   - a list item (further lines of the item are indented)
//   Body text, where *bold* is marked with stars and [the text](topic_id) jumps to a topic.
// A backslash makes the next character plain text (\*, \[, \\). Sources are UTF-8; the help
// file gets Windows-1252, so a character without a place there is refused.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace helpc {

enum class RunStyle { Plain, Bold, Link };

struct Run {
    RunStyle style = RunStyle::Plain;
    std::string text;   // Windows-1252
    std::string target; // context id, for links
};

enum class ParagraphStyle { Title, Heading, Body, Bullet };

struct Paragraph {
    ParagraphStyle style = ParagraphStyle::Body;
    std::vector<Run> runs;
};

struct Topic {
    std::string id;
    std::optional<std::int32_t> map_number;
    std::string title;                 // Windows-1252
    std::vector<Paragraph> paragraphs; // the title paragraph first
};

struct Project {
    std::string title;     // Windows-1252
    std::string copyright; // Windows-1252, may be empty
    std::vector<std::string> topic_files;
};

// `name` only labels error messages ("region.topic:12: ...").
[[nodiscard]] Topic ParseTopic(std::string_view name, std::string_view text);
[[nodiscard]] Project ParseProject(std::string_view name, std::string_view text);

// Checks what only the whole set can show: unique ids and map numbers, known link targets.
void CheckTopics(const std::vector<Topic>& topics);

// UTF-8 to Windows-1252; throws CompileError naming `where` for bad or unmappable input.
[[nodiscard]] std::string ToWindows1252(std::string_view utf8, std::string_view where);

} // namespace helpc
