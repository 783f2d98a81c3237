#include "topic_file.h"

#include "context_hash.h"

namespace helpc {

namespace {

constexpr std::uint32_t kNone = 0xFFFFFFFF;
// Paragraph spacing and indents, in half points.
constexpr int kSpaceBelowBody = 12;
constexpr int kSpaceBelowTitle = 16;
constexpr int kSpaceAboveHeading = 10;
constexpr int kBulletIndent = 36;
// A display record's text is counted in 15 bits of a topic offset.
constexpr std::size_t kMaxParagraphText = 30000;

struct Record {
    std::uint8_t type = 0;
    Bytes data1; // after the 21-byte link header
    std::string data2;
    int topic = -1;           // index of the topic it belongs to
    std::uint32_t length = 0; // characters it adds to topic offsets
    std::size_t offset = 0;   // where it starts in the record data
    std::size_t Size() const { return kTopicLinkHeaderSize + data1.size() + data2.size(); }
};

// Text pieces and the formatting commands between them: the viewer shows a piece, then obeys the
// next command, so each command closes the text before it.
class DisplayBuilder {
public:
    void Text(const std::string& s) { pending_ += s; }
    void Command(std::initializer_list<std::uint8_t> bytes) {
        text_ += pending_;
        text_ += '\0';
        pending_.clear();
        commands_.insert(commands_.end(), bytes);
    }
    void Font(std::uint16_t font) { Command({0x80, static_cast<std::uint8_t>(font), 0}); }
    void Jump(std::int32_t hash) {
        const auto h = static_cast<std::uint32_t>(hash);
        Command({0xE3, static_cast<std::uint8_t>(h), static_cast<std::uint8_t>(h >> 8),
                 static_cast<std::uint8_t>(h >> 16), static_cast<std::uint8_t>(h >> 24)});
    }
    Record Finish(Bytes paragraph_info) {
        Command({0x82}); // end of paragraph
        Command({0xFF}); // end of formatting
        if (text_.size() > kMaxParagraphText)
            throw CompileError("a paragraph of " + std::to_string(text_.size()) +
                               " characters is too long; split it");
        Record r;
        r.type = kRecordDisplay;
        const auto size = static_cast<std::uint32_t>(text_.size());
        PutCompressedI32(r.data1, static_cast<std::int32_t>(size)); // expanded text size
        PutCompressedU16(r.data1, size);                            // characters counted
        PutBytes(r.data1, paragraph_info);
        PutBytes(r.data1, commands_);
        r.data2 = text_;
        r.length = size;
        return r;
    }

private:
    std::string pending_;
    std::string text_;
    Bytes commands_;
};

Bytes ParagraphInfo(ParagraphStyle style) {
    Bytes info = {0x00, 0x80, 0x00, 0x00}; // unknown byte, biased byte, id
    switch (style) {
    case ParagraphStyle::Title:
        PutU16(info, 0x0004);
        PutCompressedI16(info, kSpaceBelowTitle);
        break;
    case ParagraphStyle::Heading:
        PutU16(info, 0x0002 | 0x0004);
        PutCompressedI16(info, kSpaceAboveHeading);
        PutCompressedI16(info, kSpaceBelowBody / 2);
        break;
    case ParagraphStyle::Body:
        // Space above too, so a paragraph after a list stands apart from it.
        PutU16(info, 0x0002 | 0x0004);
        PutCompressedI16(info, kSpaceBelowBody / 2);
        PutCompressedI16(info, kSpaceBelowBody / 2);
        break;
    case ParagraphStyle::Bullet:
        // Hanging indent: the bullet sits left of the text, a tab stop lines the text up.
        PutU16(info, 0x0004 | 0x0010 | 0x0040 | 0x0200);
        PutCompressedI16(info, kSpaceBelowBody / 2);
        PutCompressedI16(info, kBulletIndent);
        PutCompressedI16(info, -kBulletIndent / 2);
        PutCompressedI16(info, 1);
        PutCompressedU16(info, kBulletIndent);
        break;
    }
    return info;
}

Record DisplayRecord(const Paragraph& p) {
    DisplayBuilder b;
    const std::uint16_t base = p.style == ParagraphStyle::Title     ? kFontTitle
                               : p.style == ParagraphStyle::Heading ? kFontHeading
                                                                    : kFontBody;
    b.Font(base);
    if (p.style == ParagraphStyle::Bullet) {
        b.Text("\x95");
        b.Command({0x83}); // tab
    }
    for (const Run& run : p.runs) {
        switch (run.style) {
        case RunStyle::Plain:
            b.Text(run.text);
            break;
        case RunStyle::Bold:
            b.Font(kFontBold);
            b.Text(run.text);
            b.Font(base);
            break;
        case RunStyle::Link:
            b.Jump(ContextHash(run.target));
            b.Text(run.text);
            b.Command({0x89}); // end of hotspot
            break;
        }
    }
    return b.Finish(ParagraphInfo(p.style));
}

Record HeaderRecord(int topic, const std::string& title) {
    Record r;
    r.type = kRecordTopicHeader;
    r.data1.assign(28, 0); // filled in once every record has its place
    r.data2 = title;
    if (!title.empty())
        r.data2 += '\0';
    r.topic = topic;
    return r;
}

} // namespace

TopicFile BuildTopicFile(const std::vector<Topic>& topics) {
    std::vector<Record> records;
    std::vector<std::size_t> header_index;
    for (std::size_t t = 0; t < topics.size(); ++t) {
        header_index.push_back(records.size());
        records.push_back(HeaderRecord(static_cast<int>(t), topics[t].title));
        for (const Paragraph& p : topics[t].paragraphs) {
            records.push_back(DisplayRecord(p));
            records.back().topic = static_cast<int>(t);
        }
    }
    // An empty topic header closes the last topic, so every topic ends at a header.
    header_index.push_back(records.size());
    records.push_back(HeaderRecord(static_cast<int>(topics.size()), ""));

    // Places: a record that does not fit the rest of a started block goes to the next block.
    std::size_t at = 0;
    for (Record& r : records) {
        const std::size_t used = at % kTopicBlockData;
        if (used != 0 && used + r.Size() > kTopicBlockData)
            at += kTopicBlockData - used;
        r.offset = at;
        at += r.Size();
    }
    const std::size_t blocks = (at + kTopicBlockData - 1) / kTopicBlockData;

    // Topic offsets: the block of the header and the characters of the block's records before it.
    TopicFile out;
    std::size_t block = SIZE_MAX;
    std::uint32_t count = 0;
    for (const Record& r : records) {
        if (r.offset / kTopicBlockData != block) {
            block = r.offset / kTopicBlockData;
            count = 0;
        }
        if (r.type == kRecordTopicHeader && r.topic < static_cast<int>(topics.size())) {
            out.offsets.push_back(static_cast<std::int32_t>(block * 0x8000 + count));
            out.positions.push_back(TopicPos(r.offset));
        }
        count += r.length;
    }

    // Topic headers: browse sequence in topic order, the scrolling region, the next topic.
    for (std::size_t h = 0; h + 1 < header_index.size(); ++h) {
        Record& r = records[header_index[h]];
        const std::size_t first = header_index[h] + 1;
        const std::size_t next = header_index[h + 1];
        std::uint32_t size = 0;
        for (std::size_t k = header_index[h]; k < next; ++k)
            size += static_cast<std::uint32_t>(records[k].Size());
        Bytes d;
        PutU32(d, size);
        PutU32(d, h == 0 ? kNone : static_cast<std::uint32_t>(out.offsets[h - 1]));
        PutU32(d, h + 1 < topics.size() ? static_cast<std::uint32_t>(out.offsets[h + 1]) : kNone);
        PutU32(d, static_cast<std::uint32_t>(h));
        PutU32(d, kNone); // no non-scrolling region
        PutU32(d, first < next ? TopicPos(records[first].offset) : kNone);
        PutU32(d, TopicPos(records[next].offset));
        r.data1 = d;
    }
    {
        Record& last = records.back();
        Bytes d;
        PutU32(d, static_cast<std::uint32_t>(last.Size()));
        PutU32(d, kNone);
        PutU32(d, kNone);
        PutU32(d, static_cast<std::uint32_t>(topics.size()));
        PutU32(d, kNone);
        PutU32(d, kNone);
        PutU32(d, kNone);
        last.data1 = d;
    }

    // The record data, then the blocks around it.
    Bytes data(blocks * kTopicBlockData, 0);
    for (std::size_t i = 0; i < records.size(); ++i) {
        const Record& r = records[i];
        Bytes link;
        PutU32(link, static_cast<std::uint32_t>(r.Size()));
        PutU32(link, static_cast<std::uint32_t>(r.data2.size()));
        PutU32(link, i == 0 ? kNone : TopicPos(records[i - 1].offset));
        PutU32(link, i + 1 == records.size() ? kNone : TopicPos(records[i + 1].offset));
        PutU32(link, kTopicLinkHeaderSize + static_cast<std::uint32_t>(r.data1.size()));
        PutU8(link, r.type);
        PutBytes(link, r.data1);
        link.insert(link.end(), r.data2.begin(), r.data2.end());
        std::copy(link.begin(), link.end(), data.begin() + static_cast<std::ptrdiff_t>(r.offset));
    }

    std::size_t next_record = 0;
    std::uint32_t last_link = kNone;
    std::uint32_t last_header = kNone;
    for (std::size_t b = 0; b < blocks; ++b) {
        const std::size_t begin = b * kTopicBlockData;
        const std::size_t end = begin + kTopicBlockData;
        std::uint32_t first_link = kNone;
        const std::uint32_t previous_link = last_link;
        for (; next_record < records.size() && records[next_record].offset < end; ++next_record) {
            const std::uint32_t pos = TopicPos(records[next_record].offset);
            if (first_link == kNone)
                first_link = pos;
            last_link = pos;
            if (records[next_record].type == kRecordTopicHeader)
                last_header = pos;
        }
        PutU32(out.bytes, previous_link);
        PutU32(out.bytes, first_link);
        PutU32(out.bytes, last_header);
        // Literal-only LZ77: a flag byte of zero bits before every eight data bytes.
        for (std::size_t i = begin; i < end; i += 8) {
            PutU8(out.bytes, 0);
            for (std::size_t k = i; k < std::min(i + 8, end); ++k)
                PutU8(out.bytes, data[k]);
        }
    }
    return out;
}

} // namespace helpc
