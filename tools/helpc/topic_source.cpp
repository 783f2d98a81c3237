#include "topic_source.h"

#include "bytes.h"
#include "context_hash.h"

#include <charconv>
#include <set>

namespace helpc {

namespace {

[[noreturn]] void Fail(std::string_view name, int line, const std::string& what) {
    throw CompileError(std::string(name) + ":" + std::to_string(line) + ": " + what);
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

// Windows-1252 bytes 0x80..0x9F and the characters they stand for.
constexpr char32_t kHighTable[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

int ToByte(char32_t c) {
    if (c == '\t')
        return ' ';
    if (c < 0x20 || c == 0x7F)
        return -1;
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<int>(c);
    for (int i = 0; i < 32; ++i)
        if (kHighTable[i] == c)
            return 0x80 + i;
    return -1;
}

struct Header {
    std::string key;
    std::string value;
};

Header SplitHeader(std::string_view name, int line_no, std::string_view line) {
    const auto colon = line.find(':');
    if (colon == std::string_view::npos)
        Fail(name, line_no,
             "expected \"key: value\" in the header, got \"" + std::string(line) + "\"");
    return {std::string(Trim(line.substr(0, colon))), std::string(Trim(line.substr(colon + 1)))};
}

// Splits one paragraph's marked-up text into runs.
std::vector<Run> ParseInline(std::string_view name, int line_no, std::string_view text) {
    std::vector<Run> runs;
    std::string current;
    bool bold = false;
    auto flush = [&](RunStyle style) {
        if (!current.empty())
            runs.push_back(
                {style,
                 ToWindows1252(current, std::string(name) + ":" + std::to_string(line_no)),
                 {}});
        current.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\') {
            if (i + 1 == text.size())
                Fail(name, line_no, "a backslash ends the paragraph; write \\\\ for one");
            current += text[++i];
        } else if (c == '*') {
            flush(bold ? RunStyle::Bold : RunStyle::Plain);
            bold = !bold;
        } else if (c == '[') {
            if (bold)
                Fail(name, line_no, "a link inside bold text");
            flush(RunStyle::Plain);
            std::string label;
            std::size_t j = i + 1;
            for (; j < text.size() && text[j] != ']'; ++j) {
                if (text[j] == '\\' && j + 1 < text.size())
                    ++j;
                else if (text[j] == '*' || text[j] == '[')
                    Fail(name, line_no, "markup inside a link's text; escape it with \\");
                label += text[j];
            }
            if (j + 1 >= text.size() || text[j + 1] != '(')
                Fail(name, line_no, "a link needs [text](topic_id)");
            const auto close = text.find(')', j + 2);
            if (close == std::string_view::npos)
                Fail(name, line_no, "a link's target is not closed with )");
            const std::string target(Trim(text.substr(j + 2, close - j - 2)));
            if (!IsValidContextId(target))
                Fail(name, line_no, "\"" + target + "\" is not a valid topic id");
            if (Trim(label).empty())
                Fail(name, line_no, "a link without text");
            runs.push_back({RunStyle::Link,
                            ToWindows1252(label, std::string(name) + ":" + std::to_string(line_no)),
                            target});
            i = close;
        } else {
            current += c;
        }
    }
    if (bold)
        Fail(name, line_no, "bold text is not closed with *");
    flush(RunStyle::Plain);
    return runs;
}

} // namespace

std::string ToWindows1252(std::string_view utf8, std::string_view where) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        int extra = 0;
        char32_t c = 0;
        if (lead < 0x80) {
            c = lead;
        } else if ((lead & 0xE0) == 0xC0 && lead >= 0xC2) {
            extra = 1;
            c = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            c = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0 && lead <= 0xF4) {
            extra = 3;
            c = lead & 0x07;
        } else {
            throw CompileError(std::string(where) + ": the text is not valid UTF-8");
        }
        if (i + static_cast<std::size_t>(extra) >= utf8.size())
            throw CompileError(std::string(where) + ": the text is not valid UTF-8");
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            if ((next & 0xC0) != 0x80)
                throw CompileError(std::string(where) + ": the text is not valid UTF-8");
            c = (c << 6) | (next & 0x3F);
        }
        constexpr char32_t kSmallest[4] = {0, 0x80, 0x800, 0x10000};
        if (c < kSmallest[extra])
            throw CompileError(std::string(where) + ": the text is not valid UTF-8");
        const int byte = ToByte(c);
        if (byte < 0) {
            char code[16];
            const auto res = std::to_chars(code, code + sizeof code, static_cast<unsigned>(c), 16);
            throw CompileError(std::string(where) + ": character U+" + std::string(code, res.ptr) +
                               " has no place in Windows-1252");
        }
        out += static_cast<char>(byte);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

Topic ParseTopic(std::string_view name, std::string_view text) {
    const auto lines = Lines(text);
    Topic topic;
    std::size_t i = 0;
    for (; i < lines.size() && !Trim(lines[i]).empty(); ++i) {
        const int line_no = static_cast<int>(i) + 1;
        const Header h = SplitHeader(name, line_no, lines[i]);
        if (h.key == "title") {
            topic.title = ToWindows1252(h.value, std::string(name) + ":" + std::to_string(line_no));
        } else if (h.key == "id") {
            if (!IsValidContextId(h.value))
                Fail(name, line_no,
                     "\"" + h.value + "\" is not a valid topic id (letters, digits, _ and .)");
            topic.id = h.value;
        } else if (h.key == "map") {
            std::int32_t n = 0;
            const auto res = std::from_chars(h.value.data(), h.value.data() + h.value.size(), n);
            if (res.ec != std::errc() || res.ptr != h.value.data() + h.value.size())
                Fail(name, line_no, "map needs a whole number, got \"" + h.value + "\"");
            topic.map_number = n;
        } else {
            Fail(name, line_no, "unknown header \"" + h.key + "\"");
        }
    }
    if (topic.title.empty())
        Fail(name, 1, "the topic has no title");
    if (topic.id.empty())
        Fail(name, 1, "the topic has no id");
    topic.paragraphs.push_back({ParagraphStyle::Title, {{RunStyle::Plain, topic.title, {}}}});

    // Paragraphs: collect raw text and the line each starts on, then parse their markup.
    struct Raw {
        ParagraphStyle style;
        std::string text;
        int line;
    };
    std::vector<Raw> raws;
    bool open = false;
    for (; i < lines.size(); ++i) {
        const int line_no = static_cast<int>(i) + 1;
        const std::string_view line = lines[i];
        const std::string_view trimmed = Trim(line);
        if (trimmed.empty()) {
            open = false;
        } else if (line.starts_with("## ")) {
            raws.push_back({ParagraphStyle::Heading, std::string(Trim(line.substr(3))), line_no});
            open = false;
        } else if (line.starts_with("- ")) {
            raws.push_back({ParagraphStyle::Bullet, std::string(Trim(line.substr(2))), line_no});
            open = true;
        } else if (open) {
            raws.back().text += ' ';
            raws.back().text += trimmed;
        } else {
            raws.push_back({ParagraphStyle::Body, std::string(trimmed), line_no});
            open = true;
        }
    }
    for (const Raw& raw : raws)
        topic.paragraphs.push_back({raw.style, ParseInline(name, raw.line, raw.text)});
    return topic;
}

Project ParseProject(std::string_view name, std::string_view text) {
    Project project;
    const auto lines = Lines(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const int line_no = static_cast<int>(i) + 1;
        const std::string_view line = Trim(lines[i]);
        if (line.empty() || line.front() == '#')
            continue;
        const Header h = SplitHeader(name, line_no, line);
        const std::string where = std::string(name) + ":" + std::to_string(line_no);
        if (h.key == "title")
            project.title = ToWindows1252(h.value, where);
        else if (h.key == "copyright")
            project.copyright = ToWindows1252(h.value, where);
        else if (h.key == "topic")
            project.topic_files.push_back(h.value);
        else
            Fail(name, line_no, "unknown setting \"" + h.key + "\"");
    }
    if (project.title.empty())
        Fail(name, 1, "the project has no title");
    if (project.topic_files.empty())
        Fail(name, 1, "the project names no topic");
    return project;
}

void CheckTopics(const std::vector<Topic>& topics) {
    std::set<std::int32_t> hashes;
    std::set<std::int32_t> maps;
    for (const Topic& t : topics) {
        if (!hashes.insert(ContextHash(t.id)).second)
            throw CompileError("topic id \"" + t.id + "\" is used twice (or hashes alike)");
        if (t.map_number && !maps.insert(*t.map_number).second)
            throw CompileError("map number " + std::to_string(*t.map_number) + " is used twice");
    }
    for (const Topic& t : topics)
        for (const Paragraph& p : t.paragraphs)
            for (const Run& r : p.runs)
                if (r.style == RunStyle::Link && !hashes.contains(ContextHash(r.target)))
                    throw CompileError("topic \"" + t.id + "\" links to unknown topic \"" +
                                       r.target + "\"");
}

} // namespace helpc
