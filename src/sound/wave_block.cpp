#include "sound/wave_block.h"

#include <utility>

CWaveBlock::CWaveBlock(int32_t size) noexcept {
    if (size <= 0)
        return;
    data_ = static_cast<uint8_t*>(wave_memory::Allocate(static_cast<std::size_t>(size)));
    size_ = data_ != nullptr ? size : 0;
}

CWaveBlock::CWaveBlock(uint8_t* data, int32_t size, int32_t samples) noexcept
    : data_(data), size_(data != nullptr ? size : 0), samples_(data != nullptr ? samples : 0) {}

CWaveBlock::~CWaveBlock() {
    wave_memory::Free(data_);
}

void* CWaveBlock::operator new(std::size_t bytes) {
    void* memory = wave_memory::Allocate(bytes);
    if (memory == nullptr)
        throw std::bad_alloc();
    return memory;
}

void* CWaveBlock::operator new(std::size_t bytes, const std::nothrow_t&) noexcept {
    return wave_memory::Allocate(bytes);
}

void CWaveBlock::operator delete(void* memory) noexcept {
    wave_memory::Free(memory);
}

void CWaveBlock::operator delete(void* memory, const std::nothrow_t&) noexcept {
    wave_memory::Free(memory);
}

void CWaveBlock::Store(ArchiveWriter& archive) const {
    archive.WriteInt32(samples_);
    archive.WriteInt32(size_);
    archive.WriteBytes(data_, static_cast<std::size_t>(size_));
}

std::unique_ptr<CWaveBlock> CWaveBlock::Load(ArchiveReader& archive) {
    int32_t samples = 0;
    int32_t size = 0;
    if (!archive.ReadInt32(samples) || !archive.ReadInt32(size))
        return nullptr;
    // Every sample takes at least a byte; the bytes must all be there.
    if (size < 0 || samples < 0 || samples > size ||
        static_cast<std::size_t>(size) > archive.Remaining()) {
        archive.Fail();
        return nullptr;
    }
    std::unique_ptr<CWaveBlock> block(new (std::nothrow) CWaveBlock(size));
    if (!block || block->Size() != size) {
        archive.Fail();
        return nullptr;
    }
    if (!archive.ReadBytes(block->data_, static_cast<std::size_t>(size)))
        return nullptr;
    block->samples_ = samples;
    return block;
}

bool CWaveBlockList::AddTail(Item block) noexcept {
    try {
        blocks_.push_back(std::move(block));
        return true;
    } catch (...) {
        return false; // `block` still owns it and deletes it
    }
}

CWaveBlockList::Item CWaveBlockList::Take(const CWaveBlock* block) noexcept {
    for (auto it = blocks_.end(); it != blocks_.begin();) {
        --it;
        if (it->get() == block) {
            Item taken = std::move(*it);
            blocks_.erase(it);
            return taken;
        }
    }
    return nullptr;
}

CWaveBlockList::Item CWaveBlockList::RemoveHead() noexcept {
    if (blocks_.empty())
        return nullptr;
    Item head = std::move(blocks_.front());
    blocks_.pop_front();
    return head;
}

void CWaveBlockList::ClearBlocks() noexcept {
    while (!blocks_.empty())
        blocks_.pop_front();
}

void CWaveBlockList::Store(ArchiveWriter& archive) const {
    archive.WriteList(blocks_, [](ArchiveWriter& a, const Item& block) { block->Store(a); });
}

bool CWaveBlockList::Load(ArchiveReader& archive) {
    CWaveBlockList loaded;
    const bool ok = archive.ReadList([&loaded](ArchiveReader& a) {
        Item block = CWaveBlock::Load(a);
        return block != nullptr && loaded.AddTail(std::move(block));
    });
    if (!ok)
        return false;
    *this = std::move(loaded);
    return true;
}
