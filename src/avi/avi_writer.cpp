#include "avi/avi_writer.h"

#include "avi/riff.h"

#include <algorithm>
#include <cstring>

namespace avi {

namespace {

constexpr uint32_t kHasIndex = 0x10;          // AVIF_HASINDEX
constexpr uint32_t kIsInterleaved = 0x100;    // AVIF_ISINTERLEAVED
constexpr uint32_t kKeyFrame = 0x10;          // AVIIF_KEYFRAME
constexpr uint32_t kNoTime = 0x100;           // AVIIF_NOTIME: a palette change takes no time
constexpr uint32_t kPaletteChanges = 0x10000; // AVISF_VIDEO_PALCHANGES
constexpr uint32_t kNotKeyFrame = 0x80000000; // in a standard index entry's size
constexpr uint64_t kMoviAlignment = 2048;     // the first chunk starts on a sector boundary
constexpr size_t kDmlhSize = 248;
constexpr uint32_t kIndexHeader = 24; // after the chunk header, for both kinds of index
constexpr uint64_t kLargestSegment = uint64_t{1} << 31; // sizes and offsets stay in 32 bits

uint32_t Clamp32(uint64_t v) noexcept {
    return static_cast<uint32_t>(std::min<uint64_t>(v, UINT32_MAX));
}

} // namespace

WriterLimits LimitsForRate(uint32_t rate, uint32_t scale) noexcept {
    WriterLimits limits;
    if (rate == 0 || scale == 0)
        return limits;
    constexpr uint64_t kWeekSeconds = 7 * 24 * 3600;
    const uint64_t frames = (kWeekSeconds * rate + scale - 1) / scale;
    const uint64_t entries = (frames + limits.superIndexEntries - 1) / limits.superIndexEntries;
    limits.indexChunkEntries = static_cast<uint32_t>(
        std::clamp<uint64_t>(entries, limits.indexChunkEntries, uint64_t{1} << 20));
    return limits;
}

Writer::Writer(ByteSink& sink, VideoStreamInfo video, std::optional<AudioStreamInfo> audio,
               WriterLimits limits)
    : sink_(sink), video_(std::move(video)), audio_(audio), limits_(limits) {
    limits_.segmentBytes = std::clamp<uint64_t>(limits_.segmentBytes, 1, kLargestSegment);
    limits_.indexChunkEntries = std::clamp<uint32_t>(limits_.indexChunkEntries, 1, 1u << 20);
    limits_.superIndexEntries = std::clamp<uint32_t>(limits_.superIndexEntries, 1, 1u << 20);
    video_.formatCapacity =
        std::min<uint32_t>(video_.formatCapacity + (video_.formatCapacity & 1), 1u << 20);
}

uint64_t Writer::IndexChunkBytes() const noexcept {
    return 8 + kIndexHeader + 8 * static_cast<uint64_t>(limits_.indexChunkEntries);
}

bool Writer::Write(uint64_t offset, const void* data, size_t size) {
    return size == 0 || sink_.WriteAt(offset, data, size);
}

WriteStatus Writer::Failed() {
    if (phase_ == Phase::Failed)
        return WriteStatus::WriteFailed;
    phase_ = Phase::Failed;
    // What was written before stays a movie: drop a half-written chunk, index what is whole,
    // and close the first segment with its classic index where there is room for it. Where
    // there is not, the header stops promising one: readers that trust the promise refuse a
    // file without it.
    (void)sink_.Truncate(end_);
    (void)FlushIndexes();
    if (!firstClosed_ && !CloseFirstSegment()) {
        (void)sink_.Truncate(end_);
        classicIndex_ = false;
    }
    (void)WriteHeaders();
    (void)sink_.Flush();
    return WriteStatus::WriteFailed;
}

WriteStatus Writer::Refused() {
    full_ = true;
    return WriteStatus::TooLong;
}

WriteStatus Writer::Open() {
    const Lock lock(mutex_);
    if (phase_ != Phase::New)
        return WriteStatus::BadCall;
    if (video_.rate == 0 || video_.scale == 0 || video_.width <= 0 || video_.height <= 0 ||
        video_.width > INT16_MAX || video_.height > INT16_MAX)
        return WriteStatus::BadCall;
    if (audio_ && (audio_->samplesPerSec == 0 || audio_->blockAlign == 0))
        return WriteStatus::BadCall;

    Stream video;
    video.dataId = StreamChunkId(0, 'd', video_.compressed ? 'c' : 'b');
    video.ixId = IndexChunkId(0);
    streams_.push_back(video);
    if (audio_) {
        Stream audio;
        audio.dataId = StreamChunkId(1, 'w', 'b');
        audio.ixId = IndexChunkId(1);
        streams_.push_back(audio);
    }

    // The first chunk starts on a sector boundary; the room before it is a JUNK chunk.
    moviAt_ = 0;
    const uint64_t headerEnd = BuildHeader().size() - 12;
    uint64_t movi = (headerEnd + 12 + kMoviAlignment - 1) / kMoviAlignment * kMoviAlignment - 12;
    if (movi != headerEnd && movi - headerEnd < 8)
        movi += kMoviAlignment;
    moviAt_ = movi;
    segments_.push_back(Segment{0, moviAt_, false});
    end_ = moviAt_ + 12;
    phase_ = Phase::Open;
    if (!WriteHeaders() || !sink_.Flush())
        return Failed();
    return WriteStatus::Ok;
}

WriteStatus Writer::SetVideoFormat(const void* format, size_t size) {
    const Lock lock(mutex_);
    if (phase_ == Phase::Failed)
        return WriteStatus::WriteFailed;
    if (phase_ != Phase::Open || format == nullptr || size < 40)
        return WriteStatus::BadCall;
    const auto* bytes = static_cast<const uint8_t*>(format);
    const uint32_t headerSize = LoadU32(bytes);
    if (headerSize < 40 || headerSize > size || size + (size & 1) > video_.formatCapacity)
        return WriteStatus::BadCall;
    std::vector<uint8_t> table(bytes + headerSize, bytes + size);
    if (format_.empty()) {
        format_.assign(bytes, bytes + size);
        palette_ = std::move(table);
        if (!WriteHeaders())
            return Failed();
        return WriteStatus::Ok;
    }
    // Only the colours may change: anything else would need a new stream.
    if (size != format_.size() || std::memcmp(bytes, format_.data(), headerSize) != 0 ||
        table.size() % 4 != 0 || table.size() > 256 * 4)
        return WriteStatus::BadCall;
    if (table == palette_)
        return WriteStatus::Ok;
    const size_t colours = table.size() / 4;
    ByteImage change;
    change.U8(0);                                                  // first entry
    change.U8(static_cast<uint8_t>(colours == 256 ? 0 : colours)); // 0 stands for 256
    change.U16(0);
    for (size_t i = 0; i < colours; ++i) { // RGBQUAD to PALETTEENTRY
        change.U8(table[4 * i + 2]);
        change.U8(table[4 * i + 1]);
        change.U8(table[4 * i]);
        change.U8(0);
    }
    const WriteStatus status =
        Append(0, StreamChunkId(0, 'p', 'c'), change.Data(), static_cast<uint32_t>(change.Size()),
               false, 0, false, kNoTime);
    if (status == WriteStatus::Ok) {
        palette_ = std::move(table);
        paletteChanges_ = true;
    }
    return status;
}

WriteStatus Writer::SetVideoHandler(uint32_t handler, bool compressed) {
    const Lock lock(mutex_);
    if (phase_ == Phase::Failed)
        return WriteStatus::WriteFailed;
    if (phase_ != Phase::Open || !format_.empty() || streams_[0].length > 0)
        return WriteStatus::BadCall;
    video_.handler = handler;
    video_.compressed = compressed;
    streams_[0].dataId = StreamChunkId(0, 'd', compressed ? 'c' : 'b');
    if (!WriteHeaders())
        return Failed();
    return WriteStatus::Ok;
}

WriteStatus Writer::WriteVideo(int64_t position, const void* data, size_t size, bool keyFrame) {
    const Lock lock(mutex_);
    if (phase_ == Phase::Failed)
        return WriteStatus::WriteFailed;
    if (phase_ != Phase::Open)
        return WriteStatus::BadCall;
    Stream& video = streams_[0];
    if (format_.empty() || position < 0 || static_cast<uint64_t>(position) < video.length ||
        size >= kNotKeyFrame || (size > 0 && data == nullptr))
        return WriteStatus::BadCall;
    if (static_cast<uint64_t>(position) >= UINT32_MAX)
        return Refused();
    // Positions no frame was taken for: empty frames, as the AVI services write them.
    const uint32_t empty = StreamChunkId(0, 'd', 'c');
    while (video.length < static_cast<uint64_t>(position)) {
        const WriteStatus status = Append(0, empty, nullptr, 0, false, 1, true, 0);
        if (status != WriteStatus::Ok)
            return status;
        ++video.length;
    }
    const uint32_t id = video_.compressed ? empty : video.dataId;
    const WriteStatus status = Append(0, id, data, static_cast<uint32_t>(size), keyFrame, 1, true,
                                      keyFrame ? kKeyFrame : 0);
    if (status == WriteStatus::Ok)
        ++video.length;
    return status;
}

uint64_t Writer::BytesForVideo(int64_t position, size_t size) const noexcept {
    const Lock lock(mutex_);
    if (streams_.empty())
        return 0;
    const Stream& video = streams_[0];
    const uint64_t chunks =
        (position > 0 && static_cast<uint64_t>(position) > video.length ? position - video.length
                                                                        : 0) +
        1;
    const uint64_t entries = limits_.indexChunkEntries;
    const uint64_t data = 8 * chunks + size + (size & 1);
    const uint64_t idx1 = firstClosed_ ? 0 : 16 * chunks;
    // Entries left in the index chunk being filled; past them, new index chunks.
    uint64_t room = 0;
    if (video.index && video.index->segment == segments_.size() - 1)
        room = entries -
               std::min<uint64_t>(entries, video.index->flushed + video.index->pending.size() / 8);
    const uint64_t indexChunks = chunks > room ? (chunks - room + entries - 1) / entries : 0;
    // Segments it fills: each new one has its header and begins an index chunk per stream.
    const uint64_t grown = end_ - segments_.back().riff + data + indexChunks * IndexChunkBytes() +
                           (firstClosed_ ? 0 : idx1_.size() + idx1 + 8);
    const uint64_t segments = grown / limits_.segmentBytes;
    // Closing the first segment writes its classic index, entries of earlier chunks included.
    const uint64_t closing = !firstClosed_ && segments > 0 ? idx1_.size() + 8 : 0;
    return data + idx1 + closing + indexChunks * IndexChunkBytes() +
           segments * (24 + streams_.size() * IndexChunkBytes());
}

WriteStatus Writer::WriteAudio(int64_t samplePosition, const void* data, size_t size) {
    const Lock lock(mutex_);
    if (phase_ == Phase::Failed)
        return WriteStatus::WriteFailed;
    if (phase_ != Phase::Open || !audio_ || samplePosition < 0 ||
        static_cast<uint64_t>(samplePosition) != streams_[1].length ||
        size % audio_->blockAlign != 0 || size >= kNotKeyFrame || (size > 0 && data == nullptr))
        return WriteStatus::BadCall;
    if (size == 0)
        return WriteStatus::Ok;
    // The stream header counts samples in 32 bits (27 hours at 44.1 kHz), and players stop
    // where it says the stream ends.
    const uint64_t samples = size / audio_->blockAlign;
    if (streams_[1].length + samples > UINT32_MAX)
        return Refused();
    const WriteStatus status = Append(1, streams_[1].dataId, data, static_cast<uint32_t>(size),
                                      true, static_cast<uint32_t>(samples), true, kKeyFrame);
    if (status == WriteStatus::Ok)
        streams_[1].length += samples;
    return status;
}

WriteStatus Writer::Checkpoint() {
    const Lock lock(mutex_);
    if (phase_ == Phase::Failed)
        return WriteStatus::WriteFailed;
    if (phase_ != Phase::Open)
        return WriteStatus::BadCall;
    // The entries first, then the header that counts them: cut in between, the file is still
    // consistent, only shorter.
    if (!FlushIndexes() || !sink_.Flush() || !WriteHeaders() || !sink_.Flush())
        return Failed();
    return WriteStatus::Ok;
}

WriteStatus Writer::Finish() {
    const Lock lock(mutex_);
    if (phase_ == Phase::Failed)
        return WriteStatus::WriteFailed;
    if (phase_ != Phase::Open)
        return WriteStatus::BadCall;
    if (!FlushIndexes() || !sink_.Flush())
        return Failed();
    if (!firstClosed_ && !CloseFirstSegment())
        return Failed();
    if (!WriteHeaders() || !sink_.Flush())
        return Failed();
    phase_ = Phase::Finished;
    return WriteStatus::Ok;
}

WriteStatus Writer::Append(size_t stream, uint32_t id, const void* data, uint32_t size, bool key,
                           uint32_t duration, bool indexed, uint32_t idx1Flags) {
    const uint64_t total = 8 + static_cast<uint64_t>(size) + (size & 1);
    const auto needsIndexChunk = [&] {
        const Stream& s = streams_[stream];
        return indexed &&
               (!s.index || s.index->segment != segments_.size() - 1 ||
                s.index->flushed + s.index->pending.size() / 8 >= limits_.indexChunkEntries);
    };
    uint64_t projected = end_ + total - segments_.back().riff;
    if (needsIndexChunk())
        projected += IndexChunkBytes();
    if (!firstClosed_)
        projected += 8 + idx1_.size() + 16;
    if (segments_.back().hasChunks && projected > limits_.segmentBytes && !BeginSegment())
        return Failed();
    const bool newIndexChunk = needsIndexChunk();
    if (newIndexChunk && streams_[stream].super.size() >= limits_.superIndexEntries)
        return Refused();

    // The chunk goes first and a new index chunk after it: readers that find the 'movi' list's
    // place from the first 'idx1' entry expect that entry's chunk right at the list's start.
    const uint64_t at = end_;
    uint8_t head[8];
    std::memcpy(head, &id, 4); // ids are built little-endian already
    for (int i = 0; i < 4; ++i)
        head[4 + i] = static_cast<uint8_t>(size >> (8 * i));
    static constexpr uint8_t kPad = 0;
    if (!Write(at, head, 8) || !Write(at + 8, data, size) ||
        ((size & 1) && !Write(at + 8 + size, &kPad, 1)))
        return Failed();
    end_ += total;
    segments_.back().hasChunks = true;
    if (newIndexChunk && !BeginIndexChunk(stream))
        return Failed();

    Stream& s = streams_[stream];
    s.largestChunk = std::max(s.largestChunk, size);
    if (indexed) {
        IndexChunk& ix = *s.index;
        ByteImage entry;
        entry.U32(static_cast<uint32_t>(at + 8 - ix.base));
        entry.U32(size | (key ? 0 : kNotKeyFrame));
        ix.pending.insert(ix.pending.end(), entry.Data(), entry.Data() + entry.Size());
        ix.pendingDuration += duration;
    }
    if (!firstClosed_) {
        ByteImage entry;
        entry.U32(id);
        entry.U32(idx1Flags);
        entry.U32(static_cast<uint32_t>(at - (moviAt_ + 8)));
        entry.U32(size);
        idx1_.insert(idx1_.end(), entry.Data(), entry.Data() + entry.Size());
        if (stream == 0 && indexed)
            ++firstFrames_;
    }
    return WriteStatus::Ok;
}

bool Writer::BeginIndexChunk(size_t stream) {
    Stream& s = streams_[stream];
    if (s.index && !s.index->pending.empty() && !FlushIndexes())
        return false;
    IndexChunk ix;
    ix.offset = end_;
    ix.base = segments_.back().movi;
    ix.segment = segments_.size() - 1;
    ix.superSlot = s.super.size();
    const uint32_t cap = limits_.indexChunkEntries;
    ByteImage b;
    b.U32(s.ixId);
    b.U32(kIndexHeader + 8 * cap);
    b.U16(2); // longs per entry
    b.U8(0);  // sub-type
    b.U8(1);  // AVI_INDEX_OF_CHUNKS
    b.U32(0); // entries in use
    b.U32(s.dataId);
    b.U64(ix.base);
    b.U32(0);
    b.Zeros(8 * static_cast<size_t>(cap)); // the room is taken now, so the index never moves
    if (!Write(end_, b.Data(), b.Size()))
        return false;
    end_ += b.Size();
    s.super.push_back(SuperEntry{ix.offset, static_cast<uint32_t>(b.Size()), 0});
    s.index = std::move(ix);
    return true;
}

bool Writer::FlushIndexes() {
    for (Stream& s : streams_) {
        if (!s.index || s.index->pending.empty())
            continue;
        IndexChunk& ix = *s.index;
        if (!Write(ix.offset + 8 + kIndexHeader + 8 * static_cast<uint64_t>(ix.flushed),
                   ix.pending.data(), ix.pending.size()))
            return false;
        const uint32_t flushed = ix.flushed + static_cast<uint32_t>(ix.pending.size() / 8);
        uint8_t count[4];
        for (int i = 0; i < 4; ++i)
            count[i] = static_cast<uint8_t>(flushed >> (8 * i));
        if (!Write(ix.offset + 12, count, 4))
            return false;
        ix.flushed = flushed;
        ix.flushedDuration += ix.pendingDuration;
        ix.pending.clear();
        ix.pendingDuration = 0;
        s.super[ix.superSlot].duration = Clamp32(ix.flushedDuration);
    }
    return true;
}

bool Writer::CloseFirstSegment() {
    const uint64_t at = end_;
    ByteImage b;
    b.Code("idx1");
    b.U32(static_cast<uint32_t>(idx1_.size()));
    b.Bytes(idx1_.data(), idx1_.size());
    if (!Write(at, b.Data(), b.Size()))
        return false;
    firstMoviSize_ = at - moviAt_ - 8;
    end_ += b.Size();
    firstRiffSize_ = end_ - 8;
    firstClosed_ = true;
    idx1_ = {};
    return true;
}

bool Writer::BeginSegment() {
    // The closing segment's chunks and indexes are on the disk before its final size says they
    // are there, and that size before the next segment begins: a power cut at any moment of the
    // switch leaves a file that the repair can read to its last chunk.
    if (!FlushIndexes() || !sink_.Flush())
        return false;
    if (!firstClosed_) {
        if (!CloseFirstSegment())
            return false;
    } else if (!WriteHeaders()) { // the closing segment's final sizes
        return false;
    }
    Segment segment{end_, end_ + 12, false};
    ByteImage b;
    b.Code("RIFF");
    b.U32(4 + 12);
    b.Code("AVIX");
    b.Code("LIST");
    b.U32(4);
    b.Code("movi");
    if (!sink_.Flush() || !Write(end_, b.Data(), b.Size()))
        return false;
    end_ += b.Size();
    segments_.push_back(segment);
    return WriteHeaders();
}

bool Writer::WriteHeaders() {
    const std::vector<uint8_t> header = BuildHeader();
    if (!Write(0, header.data(), header.size()))
        return false;
    if (segments_.size() < 2)
        return true;
    const Segment& last = segments_.back();
    ByteImage riff;
    riff.U32(Clamp32(end_ - last.riff - 8));
    ByteImage movi;
    movi.U32(Clamp32(end_ - last.movi - 8));
    return Write(last.riff + 4, riff.Data(), 4) && Write(last.movi + 4, movi.Data(), 4);
}

std::vector<uint8_t> Writer::BuildHeader() const {
    const Stream& video = streams_[0];
    const bool firstOpen = !firstClosed_;
    ByteImage b;
    b.Code("RIFF");
    b.U32(Clamp32(firstOpen ? end_ - 8 : firstRiffSize_));
    b.Code("AVI ");
    const size_t hdrl = b.BeginList("hdrl");

    const uint32_t videoBuffer = std::max(video_.suggestedBufferSize, video.largestChunk);
    uint32_t audioBuffer = 0;
    uint64_t bytesPerSec = static_cast<uint64_t>(videoBuffer) * video_.rate / video_.scale;
    if (audio_) {
        audioBuffer = std::max(audio_->suggestedBufferSize, streams_[1].largestChunk);
        bytesPerSec += static_cast<uint64_t>(audio_->samplesPerSec) * audio_->blockAlign;
    }

    const size_t avih = b.BeginChunk("avih");
    b.U32(Clamp32((static_cast<uint64_t>(video_.scale) * 1000000 + video_.rate / 2) / video_.rate));
    b.U32(Clamp32(bytesPerSec));
    b.U32(0); // padding granularity
    b.U32((classicIndex_ ? kHasIndex : 0) | kIsInterleaved);
    b.U32(firstFrames_); // the first segment's; 'dmlh' has them all
    b.U32(0);
    b.U32(static_cast<uint32_t>(streams_.size()));
    b.U32(std::max(videoBuffer, audioBuffer));
    b.U32(static_cast<uint32_t>(video_.width));
    b.U32(static_cast<uint32_t>(video_.height));
    b.Zeros(16);
    b.End(avih);

    const auto superIndex = [&](const Stream& s) {
        const size_t indx = b.BeginChunk("indx");
        uint32_t inUse = static_cast<uint32_t>(s.super.size());
        if (s.index && s.index->flushed == 0)
            --inUse; // begun, but nothing in it yet
        b.U16(4);    // longs per entry
        b.U8(0);
        b.U8(0); // AVI_INDEX_OF_INDEXES
        b.U32(inUse);
        b.U32(s.dataId);
        b.Zeros(12);
        for (uint32_t i = 0; i < limits_.superIndexEntries; ++i) {
            if (i < inUse) {
                b.U64(s.super[i].offset);
                b.U32(s.super[i].size);
                b.U32(s.super[i].duration);
            } else {
                b.Zeros(16);
            }
        }
        b.End(indx);
    };

    const size_t videoList = b.BeginList("strl");
    const size_t strh = b.BeginChunk("strh");
    b.Code("vids");
    b.U32(video_.handler);
    b.U32(paletteChanges_ ? kPaletteChanges : 0);
    b.U16(0); // priority
    b.U16(0); // language
    b.U32(0); // initial frames
    b.U32(video_.scale);
    b.U32(video_.rate);
    b.U32(0); // start
    b.U32(Clamp32(video.length));
    b.U32(videoBuffer);
    b.U32(video_.quality);
    b.U32(0); // sample size: frames vary
    b.U16(0);
    b.U16(0);
    b.U16(static_cast<uint16_t>(video_.width));
    b.U16(static_cast<uint16_t>(video_.height));
    b.End(strh);
    // The format's room: strf and a JUNK chunk for what it does not use, 16 + capacity bytes.
    if (format_.empty()) {
        const size_t junk = b.BeginChunk("JUNK");
        b.Zeros(video_.formatCapacity + 8);
        b.End(junk);
    } else {
        const size_t strf = b.BeginChunk("strf");
        b.Bytes(format_.data(), format_.size());
        b.End(strf);
        const size_t used = format_.size() + (format_.size() & 1);
        const size_t junk = b.BeginChunk("JUNK");
        b.Zeros(video_.formatCapacity - used);
        b.End(junk);
    }
    superIndex(video);
    if (!video_.name.empty()) {
        const size_t strn = b.BeginChunk("strn");
        b.Bytes(video_.name.c_str(), video_.name.size() + 1);
        b.End(strn);
    }
    b.End(videoList);

    if (audio_) {
        const Stream& audio = streams_[1];
        const size_t audioList = b.BeginList("strl");
        const size_t astrh = b.BeginChunk("strh");
        b.Code("auds");
        b.U32(0);
        b.U32(0);
        b.U16(0);
        b.U16(0);
        b.U32(audio_->initialFrames);
        b.U32(1);
        b.U32(audio_->samplesPerSec);
        b.U32(0);
        b.U32(Clamp32(audio.length));
        b.U32(audioBuffer);
        b.U32(0);
        b.U32(audio_->blockAlign);
        b.Zeros(8);
        b.End(astrh);
        const size_t strf = b.BeginChunk("strf");
        b.U16(audio_->formatTag);
        b.U16(audio_->channels);
        b.U32(audio_->samplesPerSec);
        b.U32(audio_->samplesPerSec * audio_->blockAlign);
        b.U16(audio_->blockAlign);
        b.U16(audio_->bitsPerSample);
        b.U16(0); // cbSize
        b.End(strf);
        superIndex(audio);
        b.End(audioList);
    }

    const size_t odml = b.BeginList("odml");
    const size_t dmlh = b.BeginChunk("dmlh");
    b.U32(Clamp32(video.length));
    b.Zeros(kDmlhSize - 4);
    b.End(dmlh);
    b.End(odml);
    b.End(hdrl);

    if (moviAt_ > b.Size()) {
        const auto room = static_cast<size_t>(moviAt_ - b.Size() - 8);
        const size_t junk = b.BeginChunk("JUNK");
        b.Zeros(room);
        b.End(junk);
    }
    b.Code("LIST");
    b.U32(Clamp32(firstOpen ? end_ - moviAt_ - 8 : firstMoviSize_));
    b.Code("movi");
    return std::move(b.Vector());
}

} // namespace avi
