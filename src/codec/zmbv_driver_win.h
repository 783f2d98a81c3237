#pragma once
// Our lossless screen codec as a video compressor of the platform, installed for this process
// only: the compressor list offers it and a recording uses it like any installed compressor.

#include <windows.h>
// windows.h first: mmsystem.h depends on its types.
#include <mmsystem.h>

#include <cstdint>

namespace zmbv_driver {

inline constexpr uint32_t kFourcc = mmioFOURCC('Z', 'M', 'B', 'V');
inline constexpr wchar_t kDescription[] = L"Vidorra Lossless Screen";

// The platform's driver procedure of the codec: installed for this process by Installation, and
// exported under this name by the codec library the system loads for other programs.
extern "C" LRESULT CALLBACK DriverProc(DWORD_PTR id, HDRVR driver, UINT message, LPARAM lParam1,
                                       LPARAM lParam2);

// Installs the codec for the life of the object.
class Installation {
public:
    Installation() noexcept;
    ~Installation();
    Installation(const Installation&) = delete;
    Installation& operator=(const Installation&) = delete;
    [[nodiscard]] bool Installed() const noexcept { return installed_; }

private:
    bool installed_;
};

// What a recording without a chosen compressor uses when the default for the screen depth
// refuses the frames: this codec when it takes them, else uncompressed frames ("DIB ").
uint32_t FallbackHandler(const BITMAPINFO* frameFormat);

} // namespace zmbv_driver
