#pragma once

// Recorded sound in blocks: CWaveBlock holds one capture buffer's bytes and how many samples of
// them were recorded; CWaveBlockList keeps the blocks of a wave in recording order. Blocks and
// their bytes come from wave_memory, so a block that cannot be had is a null pointer, not an
// exception.

#include "framework/archive.h"
#include "sound/wave_memory.h"

#include <cstdint>
#include <list>
#include <memory>
#include <new>

class CWaveBlock {
public:
    CWaveBlock() noexcept = default;
    // Allocates `size` zeroed bytes; Size() is 0 when they could not be had.
    explicit CWaveBlock(int32_t size) noexcept;
    // Takes over `data` (from wave_memory::Allocate) of `size` bytes holding `samples` samples.
    CWaveBlock(uint8_t* data, int32_t size, int32_t samples) noexcept;
    ~CWaveBlock();
    CWaveBlock(const CWaveBlock&) = delete;
    CWaveBlock& operator=(const CWaveBlock&) = delete;

    // Blocks live in sound memory too.
    static void* operator new(std::size_t bytes);
    static void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept;
    static void operator delete(void* memory) noexcept;
    static void operator delete(void* memory, const std::nothrow_t&) noexcept;

    [[nodiscard]] const uint8_t* Data() const noexcept { return data_; }
    [[nodiscard]] uint8_t* Data() noexcept { return data_; }
    // Bytes allocated; for a recorded block the whole capture buffer, not only what was filled.
    [[nodiscard]] int32_t Size() const noexcept { return size_; }
    [[nodiscard]] int32_t Samples() const noexcept { return samples_; }

    // Samples, size, then the bytes.
    void Store(ArchiveWriter& archive) const;
    // Null when the archive is short or inconsistent, or memory runs out.
    [[nodiscard]] static std::unique_ptr<CWaveBlock> Load(ArchiveReader& archive);

private:
    uint8_t* data_ = nullptr;
    int32_t size_ = 0;
    int32_t samples_ = 0;
};

class CWaveBlockList {
public:
    using Item = std::unique_ptr<CWaveBlock>;

    CWaveBlockList() = default;
    ~CWaveBlockList() { ClearBlocks(); }
    CWaveBlockList(const CWaveBlockList&) = delete;
    CWaveBlockList& operator=(const CWaveBlockList&) = delete;
    CWaveBlockList(CWaveBlockList&&) noexcept = default;
    CWaveBlockList& operator=(CWaveBlockList&&) noexcept = default;

    // False when there is no memory for the list's own node; the block is then deleted.
    [[nodiscard]] bool AddTail(Item block) noexcept;
    // Takes `block` out of the list, searching from the tail, where a new block is; null when
    // it is not in the list.
    [[nodiscard]] Item Take(const CWaveBlock* block) noexcept;
    [[nodiscard]] Item RemoveHead() noexcept;
    // Deletes the blocks from the head on.
    void ClearBlocks() noexcept;

    [[nodiscard]] std::size_t Count() const noexcept { return blocks_.size(); }
    [[nodiscard]] bool IsEmpty() const noexcept { return blocks_.empty(); }
    [[nodiscard]] CWaveBlock* Tail() const noexcept {
        return blocks_.empty() ? nullptr : blocks_.back().get();
    }
    [[nodiscard]] auto begin() const noexcept { return blocks_.begin(); }
    [[nodiscard]] auto end() const noexcept { return blocks_.end(); }

    // The count, then every block.
    void Store(ArchiveWriter& archive) const;
    // Replaces the list's blocks only when the whole list could be read.
    [[nodiscard]] bool Load(ArchiveReader& archive);

private:
    std::list<Item, wave_memory::Allocator<Item>> blocks_;
};
