#include "avi/avi_repair.h"

#include "avi/riff.h"

#include <algorithm>
#include <array>
#include <optional>
#include <unordered_map>
#include <vector>

namespace avi {

namespace {

constexpr uint64_t kMaxHeader = 64u << 20;
constexpr uint32_t kKeyFrame = 0x10;
constexpr uint32_t kNoTime = 0x100;
constexpr uint32_t kNotKeyFrame = 0x80000000;
constexpr uint64_t kMaxChunk = uint64_t{1} << 31;

struct StreamHeader {
    uint32_t type = 0;
    uint64_t strh = 0; // offset of the chunk's data
    uint32_t sampleSize = 0;
    uint64_t indx = 0; // offset of the chunk's data
    uint32_t indxCapacity = 0;
    bool format = false; // a 'strf' with something in it
};

struct Header {
    uint64_t avih = 0;
    uint64_t dmlh = 0; // 0: none
    uint64_t movi = 0; // the first 'movi' list
    std::vector<StreamHeader> streams;
};

struct Chunk {
    uint64_t at = 0;
    uint32_t id = 0;
    uint32_t size = 0;
    int stream = 0;
    bool palette = false;
};

struct Segment {
    uint64_t riff = 0;
    uint64_t movi = 0;
    std::vector<Chunk> chunks;
};

struct Scan {
    std::vector<Segment> segments;
    uint64_t end = 0;                             // after the last whole element
    uint64_t idx1 = 0;                            // the first segment's classic index, 0 when none
    bool garbage = false;                         // something after `end` that is not a whole chunk
    std::unordered_map<uint64_t, bool> keyFrames; // chunk offset -> key, from the index chunks
};

class Reader {
public:
    explicit Reader(ByteFile& file) : file_(file), size_(file.Size()) {}
    [[nodiscard]] uint64_t Size() const { return size_; }
    [[nodiscard]] bool Read(uint64_t at, void* data, size_t n) {
        return at <= size_ && n <= size_ - at && file_.ReadAt(at, data, n);
    }
    [[nodiscard]] std::optional<uint32_t> U32(uint64_t at) {
        uint8_t b[4];
        if (!Read(at, b, 4))
            return std::nullopt;
        return LoadU32(b);
    }

private:
    ByteFile& file_;
    uint64_t size_;
};

bool IsDigit(uint8_t c) {
    return c >= '0' && c <= '9';
}

// Reads the headers: streams, and where their lengths and indexes are kept.
std::optional<Header> ReadHeader(Reader& r) {
    uint8_t top[24];
    if (!r.Read(0, top, sizeof top) || LoadU32(top) != Fourcc("RIFF") ||
        LoadU32(top + 8) != Fourcc("AVI ") || LoadU32(top + 12) != Fourcc("LIST") ||
        LoadU32(top + 20) != Fourcc("hdrl"))
        return std::nullopt;
    const uint64_t hdrlSize = LoadU32(top + 16);
    if (hdrlSize < 4 || hdrlSize > kMaxHeader || 20 + hdrlSize > r.Size())
        return std::nullopt;
    std::vector<uint8_t> h(static_cast<size_t>(hdrlSize - 4));
    if (!r.Read(24, h.data(), h.size()))
        return std::nullopt;

    Header header;
    const auto walk = [&](size_t from, size_t to, auto&& onChunk) {
        for (size_t at = from; at + 8 <= to;) {
            const uint32_t id = LoadU32(&h[at]);
            const uint64_t size = LoadU32(&h[at + 4]);
            if (at + 8 + size > to)
                return false;
            if (!onChunk(id, at + 8, static_cast<size_t>(size)))
                return false;
            at += 8 + static_cast<size_t>(size + (size & 1));
        }
        return true;
    };
    const bool ok = walk(0, h.size(), [&](uint32_t id, size_t at, size_t size) {
        if (id == Fourcc("avih") && size >= 56) {
            header.avih = 24 + at;
        } else if (id == Fourcc("LIST") && size >= 4 && LoadU32(&h[at]) == Fourcc("strl")) {
            StreamHeader s;
            uint32_t blockAlign = 0;
            if (!walk(at + 4, at + size, [&](uint32_t sid, size_t sat, size_t ssize) {
                    if (sid == Fourcc("strf") && ssize > 0)
                        s.format = true;
                    if (sid == Fourcc("strh") && ssize >= 48) {
                        s.type = LoadU32(&h[sat]);
                        s.strh = 24 + sat;
                        s.sampleSize = LoadU32(&h[sat + 44]);
                    } else if (sid == Fourcc("strf") && ssize >= 14 && s.type == Fourcc("auds")) {
                        blockAlign = LoadU16(&h[sat + 12]);
                    } else if (sid == Fourcc("indx") && ssize >= 24) {
                        s.indx = 24 + sat;
                        s.indxCapacity = static_cast<uint32_t>((ssize - 24) / 16);
                        if (LoadU16(&h[sat]) != 4 || h[sat + 3] != 0)
                            return false; // not a super index
                    }
                    return true;
                }))
                return false;
            if (s.type == Fourcc("auds") && blockAlign != 0)
                s.sampleSize = blockAlign;
            header.streams.push_back(s);
        } else if (id == Fourcc("LIST") && size >= 4 && LoadU32(&h[at]) == Fourcc("odml")) {
            return walk(at + 4, at + size, [&](uint32_t oid, size_t oat, size_t osize) {
                if (oid == Fourcc("dmlh") && osize >= 4)
                    header.dmlh = 24 + oat;
                return true;
            });
        }
        return true;
    });
    if (!ok || header.avih == 0 || header.streams.empty() || header.streams.size() > 99)
        return std::nullopt;
    // A take cut off before its first frame has no picture format: no player could open what
    // a repair made of it, so it is not a movie to repair.
    for (const StreamHeader& s : header.streams)
        if (s.strh == 0 || s.indx == 0 || s.indxCapacity == 0 || !s.format ||
            (s.type != Fourcc("vids") && s.type != Fourcc("auds")))
            return std::nullopt;

    // The movie data: the first 'movi' list after the headers.
    for (uint64_t at = 20 + hdrlSize + (hdrlSize & 1); at + 12 <= r.Size();) {
        uint8_t c[12];
        if (!r.Read(at, c, sizeof c))
            return std::nullopt;
        const uint64_t size = LoadU32(c + 4);
        if (LoadU32(c) == Fourcc("LIST") && LoadU32(c + 8) == Fourcc("movi")) {
            header.movi = at;
            return header;
        }
        at += 8 + size + (size & 1);
    }
    return std::nullopt;
}

// The key-frame marks the writer's index chunks already hold.
void ReadIndexChunk(Reader& r, uint64_t at, uint32_t size, Scan& scan) {
    if (size < 24)
        return;
    uint8_t h[24];
    if (!r.Read(at + 8, h, sizeof h) || LoadU16(h) != 2 || h[3] != 1)
        return;
    const uint32_t entries = std::min<uint32_t>(LoadU32(h + 4), (size - 24) / 8);
    const uint64_t base = LoadU64(h + 12);
    std::vector<uint8_t> e(static_cast<size_t>(entries) * 8);
    if (!r.Read(at + 32, e.data(), e.size()))
        return;
    for (uint32_t i = 0; i < entries; ++i) {
        const uint64_t data = base + LoadU32(&e[8 * i]);
        if (data >= 8)
            scan.keyFrames[data - 8] = (LoadU32(&e[8 * i + 4]) & kNotKeyFrame) == 0;
    }
}

// Walks every chunk from the first 'movi' list on, into the 'AVIX' segments after it, up to
// the first that is not whole.
Scan ScanChunks(Reader& r, const Header& header) {
    Scan scan;
    scan.segments.push_back(Segment{0, header.movi, {}});
    const int streams = static_cast<int>(header.streams.size());
    uint64_t at = header.movi + 12;
    for (;;) {
        uint8_t c[8];
        if (!r.Read(at, c, sizeof c))
            break;
        const uint32_t id = LoadU32(c);
        const uint64_t size = LoadU32(c + 4);
        const uint64_t next = at + 8 + size + (size & 1);
        // A segment is walked into whatever size it declares: a closed one copied only in
        // part runs past the end of the file, and every chunk in it before the cut counts.
        if (id != Fourcc("RIFF") && next > r.Size())
            break;
        if (id == Fourcc("RIFF")) {
            uint8_t s[16];
            if (!r.Read(at + 8, s, sizeof s) || LoadU32(s) != Fourcc("AVIX") ||
                LoadU32(s + 4) != Fourcc("LIST") || LoadU32(s + 12) != Fourcc("movi"))
                break;
            scan.segments.push_back(Segment{at, at + 12, {}});
            at += 24;
            scan.end = at;
            continue;
        }
        if (id == Fourcc("idx1")) {
            if (scan.segments.size() != 1 || scan.idx1 != 0)
                break;
            scan.idx1 = at;
        } else if (c[0] == 'i' && c[1] == 'x' && IsDigit(c[2]) && IsDigit(c[3])) {
            ReadIndexChunk(r, at, static_cast<uint32_t>(size), scan);
        } else if (id != Fourcc("JUNK")) {
            // Nothing but a new segment may follow the first one's classic index.
            if (!IsDigit(c[0]) || !IsDigit(c[1]) || (scan.idx1 != 0 && scan.segments.size() == 1))
                break;
            const int stream = (c[0] - '0') * 10 + (c[1] - '0');
            if (stream >= streams)
                break;
            const bool video = header.streams[stream].type == Fourcc("vids");
            const bool palette = video && c[2] == 'p' && c[3] == 'c';
            const bool frame = video && c[2] == 'd' && (c[3] == 'b' || c[3] == 'c');
            const bool sound = !video && c[2] == 'w' && c[3] == 'b';
            if (!palette && !frame && !sound)
                break;
            scan.segments.back().chunks.push_back(
                Chunk{at, id, static_cast<uint32_t>(size), stream, palette});
        }
        at = next;
        scan.end = at;
    }
    if (scan.end == 0)
        scan.end = header.movi + 12;
    scan.garbage = scan.end != r.Size();
    return scan;
}

uint64_t Duration(const StreamHeader& s, const Chunk& c) {
    return s.sampleSize != 0 ? c.size / s.sampleSize : 1;
}

struct Expected {
    std::vector<uint64_t> lengths;
    uint64_t firstFrames = 0;
    int video = -1;
};

Expected Count(const Header& header, const Scan& scan) {
    Expected e;
    e.lengths.assign(header.streams.size(), 0);
    for (size_t i = 0; i < header.streams.size(); ++i)
        if (header.streams[i].type == Fourcc("vids")) {
            e.video = static_cast<int>(i);
            break;
        }
    for (size_t k = 0; k < scan.segments.size(); ++k)
        for (const Chunk& c : scan.segments[k].chunks) {
            if (c.palette)
                continue;
            e.lengths[c.stream] += Duration(header.streams[c.stream], c);
            if (k == 0 && c.stream == e.video)
                ++e.firstFrames;
        }
    return e;
}

// A stream's super index as its header holds it: the entries in use, 16 bytes each (offset,
// size, duration); empty when the count is missing or more than the room kept for them.
std::optional<std::vector<uint8_t>> SuperIndexEntries(Reader& r, const StreamHeader& s) {
    const std::optional<uint32_t> inUse = r.U32(s.indx + 4);
    if (!inUse || *inUse > s.indxCapacity)
        return std::nullopt;
    std::vector<uint8_t> entries(size_t{16} * *inUse);
    if (!entries.empty() && !r.Read(s.indx + 24, entries.data(), entries.size()))
        return std::nullopt;
    return entries;
}

// What a super index counts: the durations of its index chunks summed.
uint64_t IndexedDuration(const std::vector<uint8_t>& entries) {
    uint64_t duration = 0;
    for (size_t at = 0; at < entries.size(); at += 16)
        duration += LoadU32(&entries[at + 12]);
    return duration;
}

// A whole file: nothing after the last segment, the classic index in place, and headers that
// count what is there.
bool IsWhole(Reader& r, const Header& header, const Scan& scan, const Expected& e) {
    if (scan.garbage || (scan.segments.size() == 1 && scan.idx1 == 0))
        return false;
    for (size_t k = 0; k < scan.segments.size(); ++k) {
        const uint64_t end = k + 1 < scan.segments.size() ? scan.segments[k + 1].riff : scan.end;
        if (r.U32(scan.segments[k].riff + 4) != end - scan.segments[k].riff - 8)
            return false;
    }
    for (size_t i = 0; i < header.streams.size(); ++i) {
        const StreamHeader& s = header.streams[i];
        if (r.U32(s.strh + 32) != e.lengths[i])
            return false;
        const auto entries = SuperIndexEntries(r, s);
        if (!entries || IndexedDuration(*entries) != e.lengths[i])
            return false;
    }
    if (e.video >= 0 && header.dmlh != 0 && r.U32(header.dmlh) != e.lengths[e.video])
        return false;
    return true;
}

// A cheap proof that a file is whole, from its headers and indexes alone, so that looking at a
// long take costs a few reads: the RIFF segments follow one another to the file's very end,
// a lone segment holds the classic index after its 'movi' list, and every stream's length is
// what its super index counts. Whatever the writer appends after a checkpoint lies past the
// sizes the header declares, so a cut-off file never passes; one that does not gets the scan.
bool ProvedWhole(Reader& r, const Header& header) {
    uint64_t at = 0;
    size_t segments = 0;
    while (at < r.Size()) {
        uint8_t s[12];
        if (!r.Read(at, s, sizeof s) || LoadU32(s) != Fourcc("RIFF") ||
            LoadU32(s + 8) != Fourcc(segments == 0 ? "AVI " : "AVIX"))
            return false;
        const uint64_t size = LoadU32(s + 4);
        at += 8 + size + (size & 1);
        ++segments;
    }
    if (at != r.Size())
        return false;
    if (segments == 1) {
        const std::optional<uint32_t> movi = r.U32(header.movi + 4);
        if (!movi || r.U32(header.movi + 8 + *movi + (*movi & 1)) != Fourcc("idx1"))
            return false;
    }
    std::optional<uint32_t> videoLength;
    for (const StreamHeader& s : header.streams) {
        // A stream with nothing in it (sound asked for, the input failed) is whole when its
        // length says so: no index chunk, and a length of 0 below.
        const auto entries = SuperIndexEntries(r, s);
        if (!entries)
            return false;
        for (size_t at = 0; at < entries->size(); at += 16) {
            const uint64_t offset = LoadU64(&(*entries)[at]);
            if (offset > r.Size() || LoadU32(&(*entries)[at + 8]) > r.Size() - offset)
                return false;
        }
        const std::optional<uint32_t> length = r.U32(s.strh + 32);
        if (!length || *length != IndexedDuration(*entries))
            return false;
        if (s.type == Fourcc("vids") && !videoLength)
            videoLength = length;
    }
    return header.dmlh == 0 || !videoLength || r.U32(header.dmlh) == videoLength;
}

class Patcher {
public:
    explicit Patcher(ByteFile& file) : file_(file) {}
    void U32(uint64_t at, uint64_t v) {
        ByteImage b;
        b.U32(static_cast<uint32_t>(std::min<uint64_t>(v, UINT32_MAX)));
        ok_ = ok_ && file_.WriteAt(at, b.Data(), 4);
    }
    void Bytes(uint64_t at, const ByteImage& b) {
        ok_ = ok_ && (b.Size() == 0 || file_.WriteAt(at, b.Data(), b.Size()));
    }
    [[nodiscard]] bool Ok() const { return ok_; }

private:
    ByteFile& file_;
    bool ok_ = true;
};

} // namespace

RepairResult CheckRepair(ByteFile& file) {
    Reader r(file);
    const std::optional<Header> header = ReadHeader(r);
    if (!header)
        return RepairResult::NotReadable;
    if (ProvedWhole(r, *header))
        return RepairResult::NothingToDo;
    const Scan scan = ScanChunks(r, *header);
    return IsWhole(r, *header, scan, Count(*header, scan)) ? RepairResult::NothingToDo
                                                           : RepairResult::Repaired;
}

RepairResult Repair(ByteFile& file) {
    Reader r(file);
    const std::optional<Header> header = ReadHeader(r);
    if (!header)
        return RepairResult::NotReadable;
    Scan scan = ScanChunks(r, *header);
    const Expected e = Count(*header, scan);
    if (IsWhole(r, *header, scan, e))
        return RepairResult::NothingToDo;

    // One segment: its classic index is rebuilt after the new index chunks. With more, the
    // first segment's stays where it is (the writer closes a segment whole).
    uint64_t at = scan.end;
    const bool newIdx1 = scan.segments.size() == 1;
    if (newIdx1 && scan.idx1 != 0)
        at = scan.idx1;
    if (!file.Truncate(at))
        return RepairResult::WriteFailed;

    Patcher p(file);
    const size_t streams = header->streams.size();
    std::vector<std::vector<std::array<uint64_t, 3>>> super(streams); // offset, size, duration
    bool firstVideo = true;
    for (const Segment& seg : scan.segments) {
        for (size_t s = 0; s < streams; ++s) {
            const StreamHeader& sh = header->streams[s];
            ByteImage entries;
            uint64_t duration = 0;
            uint32_t count = 0;
            uint32_t chunkId = 0;
            for (const Chunk& c : seg.chunks) {
                if (c.stream != static_cast<int>(s) || c.palette)
                    continue;
                if (chunkId == 0)
                    chunkId = c.id;
                const uint64_t offset = c.at + 8 - seg.movi;
                if (offset > UINT32_MAX)
                    break;
                bool key = sh.type == Fourcc("auds") || (c.id >> 16 == ('d' | 'b' << 8));
                if (sh.type == Fourcc("vids") && c.size > 0) {
                    const auto known = scan.keyFrames.find(c.at);
                    key = key || firstVideo || (known != scan.keyFrames.end() && known->second);
                    firstVideo = false;
                } else if (c.size == 0) {
                    key = false;
                }
                entries.U32(static_cast<uint32_t>(offset));
                entries.U32(c.size | (key ? 0 : kNotKeyFrame));
                duration += Duration(sh, c);
                ++count;
            }
            if (count == 0 || super[s].size() >= sh.indxCapacity)
                continue;
            ByteImage ix;
            ix.U32(IndexChunkId(static_cast<int>(s)));
            ix.U32(24 + 8 * count);
            ix.U16(2);
            ix.U8(0);
            ix.U8(1);
            ix.U32(count);
            ix.U32(chunkId);
            ix.U64(seg.movi);
            ix.U32(0);
            ix.Bytes(entries.Data(), entries.Size());
            p.Bytes(at, ix);
            super[s].push_back({at, ix.Size(), duration});
            at += ix.Size();
        }
    }
    const uint64_t moviEnd = at;
    if (newIdx1) {
        ByteImage idx1;
        idx1.Code("idx1");
        idx1.U32(static_cast<uint32_t>(16 * scan.segments[0].chunks.size()));
        bool first = true;
        for (const Chunk& c : scan.segments[0].chunks) {
            const bool video = header->streams[c.stream].type == Fourcc("vids");
            bool key = !video || (c.id >> 16 == ('d' | 'b' << 8) && c.size > 0);
            if (video && !c.palette && c.size > 0) {
                const auto known = scan.keyFrames.find(c.at);
                key = key || first || (known != scan.keyFrames.end() && known->second);
                first = false;
            }
            idx1.U32(c.id);
            idx1.U32(c.palette ? kNoTime : key ? kKeyFrame : 0);
            idx1.U32(static_cast<uint32_t>(c.at - (header->movi + 8)));
            idx1.U32(c.size);
        }
        p.Bytes(at, idx1);
        at += idx1.Size();
    }

    // Sizes, lengths and the super indexes.
    for (size_t k = 0; k < scan.segments.size(); ++k) {
        const Segment& seg = scan.segments[k];
        const bool last = k + 1 == scan.segments.size();
        const uint64_t end = last ? at : scan.segments[k + 1].riff;
        uint64_t moviEndHere = last ? moviEnd : end;
        if (k == 0 && !newIdx1 && scan.idx1 != 0)
            moviEndHere = scan.idx1;
        p.U32(seg.riff + 4, end - seg.riff - 8);
        p.U32(seg.movi + 4, moviEndHere - seg.movi - 8);
    }
    for (size_t s = 0; s < streams; ++s) {
        const StreamHeader& sh = header->streams[s];
        p.U32(sh.strh + 32, e.lengths[s]);
        ByteImage entries;
        for (const auto& entry : super[s]) {
            entries.U64(entry[0]);
            entries.U32(static_cast<uint32_t>(entry[1]));
            entries.U32(static_cast<uint32_t>(std::min<uint64_t>(entry[2], UINT32_MAX)));
        }
        p.U32(sh.indx + 4, super[s].size());
        p.Bytes(sh.indx + 24, entries);
    }
    if (e.video >= 0) {
        p.U32(header->avih + 16, e.firstFrames);
        if (header->dmlh != 0)
            p.U32(header->dmlh, e.lengths[e.video]);
    }
    if (!p.Ok() || !file.Flush())
        return RepairResult::WriteFailed;
    return RepairResult::Repaired;
}

} // namespace avi
