#include "avi/avi_repair.h"

#include "avi/riff.h"

#include <algorithm>
#include <array>
#include <deque>
#include <new>
#include <optional>
#include <vector>

namespace avi {

namespace {

constexpr uint64_t kMaxHeader = 64u << 20;
constexpr uint32_t kKeyFrame = 0x10;
constexpr uint32_t kNoTime = 0x100;
constexpr uint32_t kNotKeyFrame = 0x80000000;
constexpr uint64_t kMaxChunk = uint64_t{1} << 31;
// What one look keeps in memory, in chunks and index entries (16 and 8 bytes each): some 20
// hours of a take at 60 frames a second with sound. A file that holds more is refused, so that
// a damaged or hostile one cannot exhaust a 32-bit address space.
constexpr size_t kBudget = size_t{1} << 23;
// A ZMBV frame's first byte holds its flags; this one marks a key frame.
constexpr uint8_t kZmbvKeyFrame = 1;

// Where a video stream tells its key frames: every frame of an uncompressed stream is one, our
// codec marks them in the frame's first byte, any other codec only in the index.
enum class Keys { Always, FlagByte, Index };

struct StreamHeader {
    uint32_t type = 0;
    uint64_t strh = 0; // offset of the chunk's data
    uint32_t sampleSize = 0;
    uint64_t indx = 0; // offset of the chunk's data
    uint32_t indxCapacity = 0;
    bool format = false; // a 'strf' with something in it
    Keys keys = Keys::Always;
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
    uint32_t bits = 0; // the size (below kMaxChunk), and kNotKeyFrame's bit for a key frame
    [[nodiscard]] uint32_t Size() const { return bits & ~kNotKeyFrame; }
    [[nodiscard]] bool Key() const { return (bits & kNotKeyFrame) != 0; }
    [[nodiscard]] int Stream() const; // the stream its code names
    [[nodiscard]] bool Palette() const { return id >> 16 == ('p' | 'c' << 8); }
};

struct Segment {
    uint64_t riff = 0;
    uint64_t movi = 0;
    std::deque<Chunk> chunks; // no single large block, however many there are
};

struct Scan {
    std::vector<Segment> segments;
    uint64_t end = 0;     // after the last whole element
    uint64_t idx1 = 0;    // the first segment's classic index, 0 when none
    bool garbage = false; // something after `end` that is not a whole chunk
    // What stopped the walk lies where the headers declare the file whole and present: it is
    // not a cut but something this cannot read, which another reader might use.
    bool unknown = false;
    uint64_t kept = 0;     // the end of the last element kept as it is (a list, a tag chunk)
    bool tooLarge = false; // more chunks than the budget
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
                    } else if (sid == Fourcc("strf") && ssize >= 20 && s.type == Fourcc("vids")) {
                        const uint32_t compression = LoadU32(&h[sat + 16]);
                        s.keys = compression == 0 || compression == 3 ? Keys::Always
                                 : compression == Fourcc("ZMBV")      ? Keys::FlagByte
                                                                      : Keys::Index;
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

// A stream number in two decimal digits, as chunk codes hold it; -1 for anything else.
int StreamNumber(uint8_t tens, uint8_t ones) {
    const auto digit = [](uint8_t c) { return c >= '0' && c <= '9'; };
    return digit(tens) && digit(ones) ? (tens - '0') * 10 + (ones - '0') : -1;
}

int Chunk::Stream() const {
    return StreamNumber(static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8));
}

// A four-character code as writers make them: printable characters only. Zeros where a power
// cut left the file longer than what reached it, or random bytes, are not.
bool IsCode(const uint8_t* c) {
    return std::all_of(c, c + 4, [](uint8_t b) { return b >= 0x20 && b < 0x7f; });
}

class Walk {
public:
    Walk(Reader& r, const Header& header) : r_(r), header_(header) {}

    Scan Run() {
        scan_.segments.push_back(Segment{0, header_.movi, {}});
        const std::optional<uint32_t> riff = r_.U32(4);
        declared_ = 8 + uint64_t{riff.value_or(0)};
        uint64_t at = header_.movi + 12;
        while (!scan_.tooLarge && Step(at)) {
        }
        if (rec_ != 0) { // a record cut in part goes as a whole
            for (Segment& seg : scan_.segments)
                while (!seg.chunks.empty() && seg.chunks.back().at > rec_)
                    seg.chunks.pop_back();
            scan_.end = rec_;
            cut_ = cut_ || recEnd_ > r_.Size();
        }
        if (scan_.end == 0)
            scan_.end = header_.movi + 12;
        scan_.garbage = scan_.end != r_.Size();
        // Past what the headers declare lies what a take wrote after its last checkpoint, and
        // a chunk the file's end cuts through is a cut; anything else that stops the walk
        // where the headers declare chunks is something this does not understand.
        scan_.unknown = scan_.garbage && !cut_ && at < declared_;
        if (!scan_.tooLarge)
            MarkIndexedKeys();
        return std::move(scan_);
    }

private:
    // One element at `at`, moving `at` past it; false where the walk ends.
    bool Step(uint64_t& at) {
        if (rec_ != 0 && at >= recEnd_) {
            rec_ = 0;
            scan_.end = at;
        }
        if (at >= r_.Size())
            return false;
        uint8_t c[24];
        const uint64_t left = r_.Size() - at;
        if (left < 8 || !r_.Read(at, c, 8)) {
            cut_ = true;
            return false;
        }
        const uint32_t id = LoadU32(c);
        const uint64_t size = LoadU32(c + 4);
        const uint64_t next = at + 8 + size + (size & 1);
        if (id == Fourcc("RIFF")) {
            // A segment is walked into whatever size it declares: a closed one copied only in
            // part runs past the end of the file, and every chunk in it before the cut counts.
            if (rec_ != 0)
                return false;
            if (left < 24 || !r_.Read(at + 8, c + 8, 16)) {
                cut_ = true;
                return false;
            }
            if (LoadU32(c + 8) != Fourcc("AVIX") || LoadU32(c + 12) != Fourcc("LIST") ||
                LoadU32(c + 20) != Fourcc("movi"))
                return false;
            scan_.segments.push_back(Segment{at, at + 12, {}});
            declared_ = std::max(declared_, next);
            at += 24;
            scan_.end = at;
            return true;
        }
        if (next > r_.Size()) {
            cut_ = true;
            return false;
        }
        if (!IsCode(c) || size >= kMaxChunk)
            return false;
        bool keep = false; // an element kept as it is, which the rebuilt indexes do not hold
        if (id == Fourcc("LIST")) {
            if (size < 4 || !r_.Read(at + 8, c + 8, 4))
                return false;
            if (LoadU32(c + 8) == Fourcc("rec ") && rec_ == 0) {
                // A record groups the chunks of one moment: they count like any other.
                rec_ = at;
                recEnd_ = next;
                at += 12;
                return true;
            }
            keep = true;
        } else if (id == Fourcc("idx1")) {
            if (scan_.segments.size() == 1 && scan_.idx1 == 0)
                scan_.idx1 = at;
            else // other writers close every segment with one
                keep = true;
        } else if (c[0] == 'i' && c[1] == 'x' && StreamNumber(c[2], c[3]) >= 0) {
            ReadIndexChunk(at, static_cast<uint32_t>(size), StreamNumber(c[2], c[3]));
        } else if (id != Fourcc("JUNK")) {
            const int stream = StreamNumber(c[0], c[1]);
            const StreamHeader* sh =
                stream >= 0 && stream < static_cast<int>(header_.streams.size())
                    ? &header_.streams[stream]
                    : nullptr;
            const bool video = sh && sh->type == Fourcc("vids");
            const bool palette = video && c[2] == 'p' && c[3] == 'c';
            const bool frame = video && c[2] == 'd' && (c[3] == 'b' || c[3] == 'c');
            const bool sound = sh && !video && c[2] == 'w' && c[3] == 'b';
            if (palette || frame || sound) {
                // Nothing but a new segment follows the first one's classic index.
                if (scan_.idx1 != 0 && scan_.segments.size() == 1)
                    return false;
                if (++held_ > kBudget) {
                    scan_.tooLarge = true;
                    return false;
                }
                bool key = !frame || sh->keys == Keys::Always;
                if (frame && sh->keys == Keys::FlagByte && size > 0) {
                    uint8_t flags = 0;
                    if (!r_.Read(at + 8, &flags, 1))
                        return false;
                    key = (flags & kZmbvKeyFrame) != 0;
                }
                if (frame && size == 0)
                    key = false;
                scan_.segments.back().chunks.push_back(
                    Chunk{at, id, static_cast<uint32_t>(size) | (key ? kNotKeyFrame : 0)});
            } else {
                keep = true;
            }
        }
        at = next;
        if (keep)
            scan_.kept = std::max(scan_.kept, next);
        if (rec_ == 0)
            scan_.end = at;
        return true;
    }

    // The key-frame marks of an index chunk, for a stream whose frames do not tell them.
    void ReadIndexChunk(uint64_t at, uint32_t size, int stream) {
        if (size < 24 || stream >= static_cast<int>(header_.streams.size()) ||
            header_.streams[stream].keys != Keys::Index)
            return;
        uint8_t h[24];
        if (!r_.Read(at + 8, h, sizeof h) || LoadU16(h) != 2 || h[3] != 1)
            return;
        const uint32_t entries = std::min<uint32_t>(LoadU32(h + 4), (size - 24) / 8);
        held_ += entries;
        if (held_ > kBudget) {
            scan_.tooLarge = true;
            return;
        }
        const uint64_t base = LoadU64(h + 12);
        std::vector<uint8_t> e(static_cast<size_t>(entries) * 8);
        if (!r_.Read(at + 32, e.data(), e.size()))
            return;
        for (uint32_t i = 0; i < entries; ++i) {
            const uint64_t data = base + LoadU32(&e[8 * i]);
            if (data >= 8 && (LoadU32(&e[8 * i + 4]) & kNotKeyFrame) == 0)
                keys_.push_back(data - 8);
        }
    }

    // Frames of a stream that only its index describes are key frames where an index chunk
    // says so; the first frame of a movie always is one.
    void MarkIndexedKeys() {
        std::sort(keys_.begin(), keys_.end());
        bool first = true;
        for (Segment& seg : scan_.segments)
            for (Chunk& c : seg.chunks) {
                const StreamHeader& sh = header_.streams[c.Stream()];
                if (sh.type != Fourcc("vids") || c.Palette() || c.Size() == 0)
                    continue;
                if (sh.keys == Keys::Index &&
                    (first || std::binary_search(keys_.begin(), keys_.end(), c.at)))
                    c.bits |= kNotKeyFrame;
                first = false;
            }
    }

    Reader& r_;
    const Header& header_;
    Scan scan_;
    uint64_t declared_ = 0; // the end of the segments as their headers declare them
    uint64_t rec_ = 0;      // the record being walked, 0 when none
    uint64_t recEnd_ = 0;
    bool cut_ = false; // the walk ended at an element the end of the file cuts through
    size_t held_ = 0;
    std::vector<uint64_t> keys_; // key frames by the index chunks, where the frames do not say
};

uint64_t Duration(const StreamHeader& s, const Chunk& c) {
    return s.sampleSize != 0 ? c.Size() / s.sampleSize : 1;
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
            if (c.Palette())
                continue;
            e.lengths[c.Stream()] += Duration(header.streams[c.Stream()], c);
            if (k == 0 && c.Stream() == e.video)
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

// A whole file, by its structure: every element after the headers read whole to the file's
// end, the first segment closed by its classic index, and RIFF segments that declare what they
// hold. How another writer counts its lengths is its own business: a file is not rewritten
// for that. Our writer brings the counts up to date before the sizes that declare the chunks
// they count, so a take cut off at any moment never passes.
bool IsWhole(Reader& r, const Scan& scan) {
    if (scan.garbage || (scan.segments.size() == 1 && scan.idx1 == 0))
        return false;
    for (size_t k = 0; k < scan.segments.size(); ++k) {
        const uint64_t end = k + 1 < scan.segments.size() ? scan.segments[k + 1].riff : scan.end;
        if (r.U32(scan.segments[k].riff + 4) != end - scan.segments[k].riff - 8)
            return false;
    }
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

// Where a repair cuts the file: after the last whole element, or at a lone segment's classic
// index, which is written anew after the rebuilt index chunks.
uint64_t CutAt(const Scan& scan) {
    return scan.segments.size() == 1 && scan.idx1 != 0 ? scan.idx1 : scan.end;
}

// What a look at the file found, and what a repair of it does.
struct Look {
    RepairResult result = RepairResult::NotReadable;
    std::optional<Header> header;
    Scan scan;
};

Look LookAt(Reader& r) {
    Look look;
    look.header = ReadHeader(r);
    if (!look.header)
        return look;
    if (ProvedWhole(r, *look.header)) {
        look.result = RepairResult::NothingToDo;
        return look;
    }
    look.scan = Walk(r, *look.header).Run();
    const Scan& scan = look.scan;
    if (IsWhole(r, scan))
        look.result = RepairResult::NothingToDo;
    else if (scan.tooLarge || scan.unknown || CutAt(scan) < scan.kept)
        look.result = RepairResult::NotReadable; // cutting it could lose what others read
    else
        look.result = RepairResult::Repaired;
    return look;
}

// The repair itself, of a file the look found cut off.
RepairResult Rebuild(ByteFile& file, Reader& r, const Look& look) {
    const std::optional<Header>& header = look.header;
    const Scan& scan = look.scan;
    const Expected e = Count(*header, scan);

    uint64_t at = CutAt(scan);
    const bool newIdx1 = scan.segments.size() == 1;
    if (!file.Truncate(at))
        return RepairResult::WriteFailed;

    Patcher p(file);
    const size_t streams = header->streams.size();
    std::vector<std::vector<std::array<uint64_t, 3>>> super(streams); // offset, size, duration
    for (const Segment& seg : scan.segments) {
        for (size_t s = 0; s < streams; ++s) {
            const StreamHeader& sh = header->streams[s];
            ByteImage entries;
            uint64_t duration = 0;
            uint32_t count = 0;
            uint32_t chunkId = 0;
            for (const Chunk& c : seg.chunks) {
                if (c.Stream() != static_cast<int>(s) || c.Palette())
                    continue;
                if (chunkId == 0)
                    chunkId = c.id;
                const uint64_t offset = c.at + 8 - seg.movi;
                if (offset > UINT32_MAX)
                    break;
                entries.U32(static_cast<uint32_t>(offset));
                entries.U32(c.Size() | (c.Key() ? 0 : kNotKeyFrame));
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
        for (const Chunk& c : scan.segments[0].chunks) {
            idx1.U32(c.id);
            idx1.U32(c.Palette() ? kNoTime : c.Key() ? kKeyFrame : 0);
            idx1.U32(static_cast<uint32_t>(c.at - (header->movi + 8)));
            idx1.U32(c.Size());
        }
        p.Bytes(at, idx1);
        at += idx1.Size();
    }

    // Sizes, lengths and the super indexes.
    for (size_t k = 0; k < scan.segments.size(); ++k) {
        const Segment& seg = scan.segments[k];
        const bool last = k + 1 == scan.segments.size();
        const uint64_t end = last ? at : scan.segments[k + 1].riff;
        p.U32(seg.riff + 4, end - seg.riff - 8);
        // A closed segment keeps its list as declared where it fits (another writer may
        // close one with its own index after the list).
        const std::optional<uint32_t> movi = r.U32(seg.movi + 4);
        if (last)
            p.U32(seg.movi + 4, moviEnd - seg.movi - 8);
        else if (k == 0 && scan.idx1 != 0)
            p.U32(seg.movi + 4, scan.idx1 - seg.movi - 8);
        else if (!movi || seg.movi + 8 + *movi > end)
            p.U32(seg.movi + 4, end - seg.movi - 8);
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

} // namespace

RepairResult CheckRepair(ByteFile& file) {
    Reader r(file);
    // The budget keeps memory from running out; if it does all the same, that is no reason
    // to end the program.
    try {
        return LookAt(r).result;
    } catch (const std::bad_alloc&) {
        return RepairResult::NotReadable;
    }
}

RepairResult Repair(ByteFile& file) {
    Reader r(file);
    std::optional<Look> look;
    try {
        look = LookAt(r);
    } catch (const std::bad_alloc&) {
        return RepairResult::NotReadable;
    }
    if (look->result != RepairResult::Repaired)
        return look->result;
    try {
        return Rebuild(file, r, *look);
    } catch (const std::bad_alloc&) {
        return RepairResult::WriteFailed; // cut, at most, to where the repair begins writing
    }
}

} // namespace avi
