#pragma once

// Little-endian byte building for the help file's structures, including the variable-length
// "compressed" integers of the topic records.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace helpc {

using Bytes = std::vector<std::uint8_t>;

// Every fault in a source or a limit of the format ends in one of these, with a message for the
// author of the help text.
struct CompileError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

inline void PutU8(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
}

inline void PutU16(Bytes& out, std::uint32_t v) {
    PutU8(out, v & 0xFF);
    PutU8(out, (v >> 8) & 0xFF);
}

inline void PutU32(Bytes& out, std::uint32_t v) {
    PutU16(out, v & 0xFFFF);
    PutU16(out, v >> 16);
}

inline void PutI32(Bytes& out, std::int32_t v) {
    PutU32(out, static_cast<std::uint32_t>(v));
}

inline void PutBytes(Bytes& out, const Bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}

// A NUL-terminated string; the text itself must hold no NUL.
inline void PutStringZ(Bytes& out, std::string_view s) {
    out.insert(out.end(), s.begin(), s.end());
    out.push_back(0);
}

inline void PatchU32(Bytes& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
}

inline std::uint32_t GetU16(const Bytes& in, std::size_t at) {
    return in.at(at) | (in.at(at + 1) << 8);
}

inline std::uint32_t GetU32(const Bytes& in, std::size_t at) {
    return GetU16(in, at) | (GetU16(in, at + 2) << 16);
}

// Compressed unsigned short: one byte for 0..127, else two; the low bit tells which.
inline void PutCompressedU16(Bytes& out, std::uint32_t v) {
    if (v < 0x80) {
        PutU8(out, v * 2);
    } else if (v < 0x8000) {
        PutU16(out, v * 2 + 1);
    } else {
        throw CompileError("a value of " + std::to_string(v) + " exceeds 32767");
    }
}

// Compressed signed short: one byte for -64..63, else two (-16384..16383).
inline void PutCompressedI16(Bytes& out, std::int32_t v) {
    if (v >= -0x40 && v < 0x40) {
        PutU8(out, static_cast<std::uint32_t>(v + 0x40) * 2);
    } else if (v >= -0x4000 && v < 0x4000) {
        PutU16(out, static_cast<std::uint32_t>(v + 0x4000) * 2 + 1);
    } else {
        throw CompileError("a value of " + std::to_string(v) + " is out of range");
    }
}

// Compressed signed long: two bytes for -16384..16383, else four (-2^30..2^30-1).
inline void PutCompressedI32(Bytes& out, std::int32_t v) {
    if (v >= -0x4000 && v < 0x4000) {
        PutU16(out, static_cast<std::uint32_t>(v + 0x4000) * 2);
    } else if (v >= -0x40000000 && v < 0x40000000) {
        PutU32(out, static_cast<std::uint32_t>(v + 0x40000000) * 2 + 1);
    } else {
        throw CompileError("a value of " + std::to_string(v) + " is out of range");
    }
}

} // namespace helpc
