#pragma once
// The movie file, written by us: an AVI 2.0 (OpenDML) file of one video stream and, optionally,
// one PCM audio stream, of any length, that plays to within a checkpoint of wherever it is cut.
//
// Layout: the headers first, at the front, in room kept for them; then the chunks, appended;
// every stream has a super index in its header pointing at standard index chunks ('ix00',
// 'ix01') kept inside the data. The first RIFF segment ends with the classic 'idx1' index for
// older players; once a segment reaches the size limit the movie goes on in 'AVIX' segments.
//
// Crash safety: Checkpoint (the caller's, about once a second and at every pause) writes the
// index entries of every chunk so far and brings the header (lengths, sizes, super indexes) up
// to date. A file cut off at any moment therefore holds a consistent movie of at least what was
// written before the last checkpoint; Repair (avi_repair.h) makes it whole.
//
// Use, on one thread:
//   Writer w(sink, video, audio);
//   w.Open();                              headers, before the first frame
//   w.SetVideoFormat(bitmapInfo, size);    at the first frame; again at a palette change
//   w.WriteVideo(position, bits, size, key);  positions skipped are written as empty frames
//   w.WriteAudio(samplePosition, data, size); at the audio stream's end
//   w.Checkpoint();                        about once a second and at every pause
//   w.Finish();                            at the stop: everything final
// A failed write (full disk...) leaves the file consistent up to the last good write; every
// later call returns the same failure.

#include "avi/byte_file.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace avi {

struct VideoStreamInfo {
    uint32_t handler = 0; // fccHandler
    uint32_t rate = 0;    // dwRate / dwScale is the playback rate in frames per second
    uint32_t scale = 0;
    uint32_t suggestedBufferSize = 0; // grows to the largest frame written
    uint32_t quality = 0;
    int32_t width = 0;
    int32_t height = 0;
    std::string name; // the stream's name ('strn'); none when empty
    // Compressed frames go into '00dc' chunks; uncompressed ones into '00db'.
    bool compressed = false;
    // Room in the header for the format given at the first frame (bitmap header, colour table
    // and whatever a compressor adds).
    uint32_t formatCapacity = 2048;
};

// PCM: the stream header takes one sample per time unit.
struct AudioStreamInfo {
    uint16_t formatTag = 1;
    uint16_t channels = 1;
    uint32_t samplesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint32_t initialFrames = 2;
    uint32_t suggestedBufferSize = 4096; // grows to the largest block written
};

struct WriterLimits {
    // A RIFF segment is closed once the next chunk would take it past this size.
    uint64_t segmentBytes = uint64_t{1} << 30;
    // Entries of one standard index chunk; the room is kept when the chunk is begun.
    uint32_t indexChunkEntries = 4096;
    // Entries of each stream's super index in the header: index chunks in all.
    uint32_t superIndexEntries = 2048;
};

// Limits for a movie at `rate` / `scale` frames a second: index chunks large enough that the
// super index's room holds a week of frames at that rate (at 60 a second, 40 hours at the
// default size), never smaller than the default.
[[nodiscard]] WriterLimits LimitsForRate(uint32_t rate, uint32_t scale) noexcept;

enum class WriteStatus {
    Ok,
    WriteFailed, // the sink refused a write: the file holds what was written before it
    BadCall,     // out of order: no format yet, a position already written, after Finish...
    TooLong,     // a counter or an index of the file format is full: the movie cannot grow
};

class Writer {
public:
    Writer(ByteSink& sink, VideoStreamInfo video, std::optional<AudioStreamInfo> audio,
           WriterLimits limits = {});
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    [[nodiscard]] WriteStatus Open();
    // The first call gives the stream its format; a later one may only change the colour table
    // (a palette change chunk at the next frame), anything else is BadCall.
    [[nodiscard]] WriteStatus SetVideoFormat(const void* format, size_t size);
    // Until the first format is given, the compressor named in the header (and whether frames
    // go in as compressed chunks) may still change: a compressor that fails at its first frame
    // gives way to uncompressed frames.
    [[nodiscard]] WriteStatus SetVideoHandler(uint32_t handler, bool compressed);
    // Writes the frame at `position` (from 0); positions between the last frame and this one
    // become empty frames, which players show as a repeat of the frame before.
    [[nodiscard]] WriteStatus WriteVideo(int64_t position, const void* data, size_t size,
                                         bool keyFrame);
    // Sound is written at the end of the audio stream: `samplePosition` must be AudioLength().
    // `size` is a whole number of sample blocks.
    [[nodiscard]] WriteStatus WriteAudio(int64_t samplePosition, const void* data, size_t size);
    [[nodiscard]] WriteStatus Checkpoint();
    [[nodiscard]] WriteStatus Finish();

    [[nodiscard]] int64_t VideoLength() const noexcept {
        const Lock lock(mutex_);
        return static_cast<int64_t>(streams_[0].length);
    }
    [[nodiscard]] int64_t AudioLength() const noexcept {
        const Lock lock(mutex_);
        return streams_.size() > 1 ? static_cast<int64_t>(streams_[1].length) : 0;
    }
    [[nodiscard]] uint64_t FileSize() const noexcept {
        const Lock lock(mutex_);
        return end_;
    }
    // The most that WriteVideo(position, a frame of `size` bytes) can add to the file, with the
    // empty frames before it, the index chunks they begin, a new segment and the entries the
    // first segment's classic index will hold: what a check for room on the disk must count.
    [[nodiscard]] uint64_t BytesForVideo(int64_t position, size_t size) const noexcept;
    [[nodiscard]] int Segments() const noexcept {
        const Lock lock(mutex_);
        return static_cast<int>(segments_.size());
    }
    // A write was refused with TooLong: the movie holds all it can and stays as it is, whole
    // once finished.
    [[nodiscard]] bool Full() const noexcept {
        const Lock lock(mutex_);
        return full_;
    }

    // Bytes of one standard index chunk, header and room.
    [[nodiscard]] uint64_t IndexChunkBytes() const noexcept;

    // The writer for the caller alone over a run of calls, or not held when another thread is in
    // it (a checkpoint flushing to a slow disk, say): a caller that must not wait comes back.
    [[nodiscard]] std::unique_lock<std::recursive_mutex> TryHold() const {
        return std::unique_lock(mutex_, std::try_to_lock);
    }

private:
    // The frames are written on a thread of their own and the sound on another: every public
    // call holds the writer whole.
    using Lock = std::lock_guard<std::recursive_mutex>;
    mutable std::recursive_mutex mutex_;

    struct IndexChunk {
        uint64_t offset = 0; // of its chunk header
        uint64_t base = 0;   // entries count from here: the segment's 'movi' list
        uint32_t flushed = 0;
        uint64_t flushedDuration = 0;
        std::vector<uint8_t> pending; // entries not in the file yet, 8 bytes each
        uint64_t pendingDuration = 0;
        size_t segment = 0;
        size_t superSlot = 0;
    };
    struct SuperEntry {
        uint64_t offset = 0;
        uint32_t size = 0;
        uint32_t duration = 0;
    };
    struct Stream {
        uint32_t dataId = 0;
        uint32_t ixId = 0;
        uint64_t length = 0; // frames, or samples
        uint32_t largestChunk = 0;
        std::optional<IndexChunk> index;
        std::vector<SuperEntry> super;
    };
    struct Segment {
        uint64_t riff = 0; // offset of 'RIFF'
        uint64_t movi = 0; // offset of the 'movi' list
        bool hasChunks = false;
    };

    [[nodiscard]] WriteStatus Append(size_t stream, uint32_t id, const void* data, uint32_t size,
                                     bool key, uint32_t duration, bool indexed, uint32_t idx1Flags);
    [[nodiscard]] bool BeginIndexChunk(size_t stream);
    [[nodiscard]] bool BeginSegment();
    [[nodiscard]] bool CloseFirstSegment();
    [[nodiscard]] bool FlushIndexes();
    [[nodiscard]] bool WriteHeaders();
    [[nodiscard]] bool Write(uint64_t offset, const void* data, size_t size);
    [[nodiscard]] WriteStatus Failed();
    [[nodiscard]] WriteStatus Refused(); // TooLong, and Full() from now on
    [[nodiscard]] std::vector<uint8_t> BuildHeader() const;

    ByteSink& sink_;
    VideoStreamInfo video_;
    std::optional<AudioStreamInfo> audio_;
    WriterLimits limits_;

    enum class Phase { New, Open, Finished, Failed } phase_ = Phase::New;
    std::vector<uint8_t> format_;  // the stream format as the header shows it
    std::vector<uint8_t> palette_; // the colour table now in force
    bool paletteChanges_ = false;
    std::vector<Stream> streams_;
    std::vector<Segment> segments_;
    uint64_t end_ = 0;          // where the next chunk goes; all before it is complete
    uint64_t moviAt_ = 0;       // the first 'movi' list
    std::vector<uint8_t> idx1_; // entries of the first segment while it is open
    bool firstClosed_ = false;
    bool full_ = false;
    bool classicIndex_ = true; // false when a failed write left no room for the first one
    uint64_t firstRiffSize_ = 0;
    uint64_t firstMoviSize_ = 0;
    uint32_t firstFrames_ = 0; // video chunks in the first segment
};

} // namespace avi
