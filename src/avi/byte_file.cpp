#include "avi/byte_file.h"

#include <cstring>

namespace avi {

bool MemoryFile::WriteAt(uint64_t offset, const void* data, size_t size) {
    if (offset > capacity || size > capacity - offset)
        return false;
    const uint64_t end = offset + size;
    if (end > bytes.size())
        bytes.resize(static_cast<size_t>(end));
    if (size > 0)
        std::memcpy(bytes.data() + offset, data, size);
    return true;
}

bool MemoryFile::Truncate(uint64_t size) {
    if (size < bytes.size())
        bytes.resize(static_cast<size_t>(size));
    return true;
}

bool MemoryFile::ReadAt(uint64_t offset, void* data, size_t size) {
    if (offset > bytes.size() || size > bytes.size() - offset)
        return false;
    if (size > 0)
        std::memcpy(data, bytes.data() + offset, size);
    return true;
}

} // namespace avi
