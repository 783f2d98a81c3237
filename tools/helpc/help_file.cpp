#include "help_file.h"

#include "btree.h"
#include "context_hash.h"
#include "topic_file.h"

#include <algorithm>

namespace helpc {

namespace {

constexpr std::size_t kFileHeaderSize = 9;
constexpr std::size_t kFaceNameSize = 20;

void PutFileHeader(Bytes& out, std::size_t used) {
    PutU32(out, static_cast<std::uint32_t>(used + kFileHeaderSize)); // reserved, header included
    PutU32(out, static_cast<std::uint32_t>(used));
    PutU8(out, 4);
}

Bytes SystemFile(const Project& project, std::int32_t contents_offset) {
    Bytes out;
    PutU16(out, 0x036C);
    PutU16(out, 21); // a Windows 3.1 help file
    PutU16(out, 1);
    PutU32(out, 0); // no build date, so the same sources give the same file
    PutU16(out, 4); // topic blocks of 4 KiB, LZ77
    auto record = [&](std::uint16_t type, const Bytes& data) {
        PutU16(out, type);
        PutU16(out, static_cast<std::uint32_t>(data.size()));
        PutBytes(out, data);
    };
    Bytes title;
    PutStringZ(title, project.title);
    record(1, title);
    if (!project.copyright.empty()) {
        Bytes copyright;
        PutStringZ(copyright, project.copyright);
        record(2, copyright);
    }
    Bytes contents;
    PutI32(contents, contents_offset);
    record(3, contents);
    return out;
}

Bytes FontFile() {
    struct Descriptor {
        std::uint8_t attributes; // 1 bold
        std::uint8_t half_points;
        std::uint8_t rgb[3];
    };
    // Indexed by the Font numbers the display records use.
    const Descriptor fonts[] = {
        {0, 20, {0, 0, 0}},   // body
        {1, 20, {0, 0, 0}},   // bold
        {1, 28, {0, 0, 128}}, // title
        {1, 22, {0, 0, 128}}, // heading
    };
    const char* const faces[] = {"Arial"};
    constexpr std::size_t kFaces = sizeof faces / sizeof faces[0];
    Bytes out;
    PutU16(out, kFaces);
    PutU16(out, sizeof fonts / sizeof fonts[0]);
    PutU16(out, 8);
    PutU16(out, 8 + kFaces * kFaceNameSize);
    for (const char* face : faces) {
        std::string name(face);
        name.resize(kFaceNameSize, '\0');
        out.insert(out.end(), name.begin(), name.end());
    }
    for (const Descriptor& f : fonts) {
        PutU8(out, f.attributes);
        PutU8(out, f.half_points);
        PutU8(out, 3); // swiss
        PutU16(out, 0);
        for (std::uint8_t c : f.rgb)
            PutU8(out, c);
        for (int i = 0; i < 3; ++i)
            PutU8(out, 0xFF);
    }
    return out;
}

Bytes ContextFile(const std::vector<Topic>& topics, const std::vector<std::int32_t>& offsets) {
    std::vector<std::pair<std::int32_t, std::int32_t>> pairs;
    for (std::size_t i = 0; i < topics.size(); ++i)
        pairs.emplace_back(ContextHash(topics[i].id), offsets[i]);
    std::sort(pairs.begin(), pairs.end()); // the viewer compares hashes as signed numbers
    std::vector<BTreeEntry> entries;
    for (const auto& [hash, offset] : pairs) {
        BTreeEntry e;
        PutI32(e.key, hash);
        PutI32(e.value, offset);
        entries.push_back(std::move(e));
    }
    return BuildBTree({0x0002, 0x0800, "L4"}, entries);
}

Bytes ContextMapFile(const std::vector<Topic>& topics, const std::vector<std::int32_t>& offsets) {
    Bytes out;
    std::size_t count = 0;
    for (const Topic& t : topics)
        count += t.map_number ? 1 : 0;
    if (count > 0xFFFF)
        throw CompileError("too many mapped topics");
    PutU16(out, static_cast<std::uint32_t>(count));
    for (std::size_t i = 0; i < topics.size(); ++i) {
        if (!topics[i].map_number)
            continue;
        PutI32(out, *topics[i].map_number);
        PutI32(out, offsets[i]);
    }
    return out;
}

} // namespace

Bytes BuildFileSystem(std::vector<InternalFile> files) {
    std::sort(files.begin(), files.end(),
              [](const InternalFile& a, const InternalFile& b) { return a.name < b.name; });
    Bytes out;
    PutU32(out, 0x00035F3F);
    PutU32(out, 0);          // directory start, patched below
    PutU32(out, 0xFFFFFFFF); // no free list
    PutU32(out, 0);          // file size, patched below
    std::vector<BTreeEntry> entries;
    for (const InternalFile& f : files) {
        if (f.name.empty() || f.name.find('\0') != std::string::npos)
            throw CompileError("bad internal file name");
        BTreeEntry e;
        PutStringZ(e.key, f.name);
        PutU32(e.value, static_cast<std::uint32_t>(out.size()));
        entries.push_back(std::move(e));
        PutFileHeader(out, f.content.size());
        PutBytes(out, f.content);
    }
    const Bytes directory = BuildBTree({0x0402, 0x0400, "z4"}, entries);
    PatchU32(out, 4, static_cast<std::uint32_t>(out.size()));
    PutFileHeader(out, directory.size());
    PutBytes(out, directory);
    PatchU32(out, 12, static_cast<std::uint32_t>(out.size()));
    return out;
}

Bytes BuildHelpFile(const Project& project, const std::vector<Topic>& topics) {
    if (topics.empty())
        throw CompileError("a help file needs at least one topic");
    const TopicFile topic_file = BuildTopicFile(topics);
    std::vector<InternalFile> files;
    files.push_back({"|SYSTEM", SystemFile(project, topic_file.offsets.front())});
    files.push_back({"|TOPIC", topic_file.bytes});
    files.push_back({"|CONTEXT", ContextFile(topics, topic_file.offsets)});
    files.push_back({"|CTXOMAP", ContextMapFile(topics, topic_file.offsets)});
    files.push_back({"|FONT", FontFile()});
    return BuildFileSystem(std::move(files));
}

std::string BuildContentsFile(const Project& project, const std::vector<Topic>& topics,
                              const std::string& hlp_name) {
    // A line is "level text=topic"; texts that the format would misread are refused.
    auto check = [](const std::string& text) {
        if (text.find_first_of("=;") != std::string::npos || text.starts_with(":"))
            throw CompileError("\"" + text + "\" cannot be a contents entry (it holds = or ;)");
        return text;
    };
    std::string out = ":Base " + hlp_name + "\r\n:Title " + check(project.title) + "\r\n";
    out += "1 " + check(project.title) + "\r\n";
    for (const Topic& t : topics)
        out += "2 " + check(t.title) + "=" + t.id + "\r\n";
    return out;
}

} // namespace helpc
