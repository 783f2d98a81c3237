#include "sound/wave.h"

#include "sound/wave_notify.h"

#include <array>
#include <new>

bool CWave::SetFormat(int32_t rate, int32_t bits, int32_t samples) {
    const auto format = MonoPcmFormat(rate, bits);
    if (!format)
        return false;
    ClearBlocks();
    if (samples > 0) {
        const int64_t bytes = static_cast<int64_t>(bits) * samples / 8;
        CWaveBlockList::Item block;
        if (bytes <= INT32_MAX)
            block.reset(new (std::nothrow) CWaveBlock(static_cast<int32_t>(bytes)));
        if (!block || block->Size() != bytes || !blocks_.AddTail(std::move(block)))
            return false;
    }
    format_ = *format;
    return true;
}

void CWave::NotifyBlock(CWaveBlock& block) {
    if (notify_ != nullptr)
        notify_->OnBlockRecorded(*this, block);
}

void CWave::Store(ArchiveWriter& archive) const {
    const auto bytes = EncodePcmFormat(format_);
    archive.WriteBytes(bytes.data(), bytes.size());
    blocks_.Store(archive);
}

bool CWave::Load(ArchiveReader& archive) {
    std::array<uint8_t, kPcmFormatBytes> bytes{};
    if (!archive.ReadBytes(bytes.data(), bytes.size()))
        return false;
    const PcmFormat format = DecodePcmFormat(bytes);
    if (!IsUsablePcmFormat(format))
        return archive.Fail();
    CWaveBlockList blocks;
    if (!blocks.Load(archive))
        return false;
    format_ = format;
    blocks_ = std::move(blocks);
    return true;
}
