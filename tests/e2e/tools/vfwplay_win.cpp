// A player of the platform's AVI file services, as older Windows players and editors are: it
// knows nothing of Vidorra and reads every frame through AVIStreamGetFrame, which decodes with
// whatever video codec the system has for the stream.
//
//   vfwplay MOVIE OUT [BITS]
//
// Writes each frame as [its BITMAPINFOHEADER][the colour table or masks that follow it][its
// pixels]: every frame in order, then the last, the middle, the second and the first again, as a
// player seeking back through the movie asks for them. BITS asks for that depth of RGB; without
// it the codec's own choice. Exit code 0 when every frame was decoded, 2 when one was not.

#include <windows.h>
// windows.h first: vfw.h depends on its types.
#include <vfw.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: vfwplay MOVIE OUT [BITS]\n");
        return 1;
    }
    ::AVIFileInit();
    PAVISTREAM stream = nullptr;
    if (::AVIStreamOpenFromFileA(&stream, argv[1], streamtypeVIDEO, 0, OF_READ, nullptr) != 0) {
        std::fprintf(stderr, "cannot open the video stream\n");
        return 1;
    }
    AVISTREAMINFOA info{};
    ::AVIStreamInfoA(stream, &info, sizeof info);
    BITMAPINFOHEADER wanted{};
    wanted.biSize = sizeof wanted;
    wanted.biWidth = info.rcFrame.right - info.rcFrame.left;
    wanted.biHeight = info.rcFrame.bottom - info.rcFrame.top;
    wanted.biPlanes = 1;
    wanted.biBitCount = argc > 3 ? static_cast<WORD>(std::atoi(argv[3])) : 0;
    wanted.biCompression = BI_RGB;
    PGETFRAME frames = ::AVIStreamGetFrameOpen(stream, argc > 3 ? &wanted : nullptr);
    if (frames == nullptr) {
        std::fprintf(stderr, "no codec decodes this stream\n");
        return 2;
    }
    const LONG first = ::AVIStreamStart(stream);
    const LONG count = ::AVIStreamLength(stream);
    std::vector<LONG> order;
    for (LONG i = 0; i < count; ++i)
        order.push_back(first + i);
    for (const LONG back : {count - 1, count / 2, 1L, 0L})
        order.push_back(first + back);
    FILE* out = std::fopen(argv[2], "wb");
    if (out == nullptr)
        return 1;
    int result = 0;
    for (const LONG position : order) {
        const auto* header =
            static_cast<const BITMAPINFOHEADER*>(::AVIStreamGetFrame(frames, position));
        if (header == nullptr) {
            std::fprintf(stderr, "frame %ld not decoded\n", position);
            result = 2;
            break;
        }
        const size_t extra = header->biBitCount <= 8
                                 ? (header->biClrUsed ? header->biClrUsed : 256u) * 4
                             : header->biCompression == BI_BITFIELDS ? 12
                                                                     : 0;
        const size_t row =
            (static_cast<size_t>(header->biWidth) * header->biBitCount + 31) / 32 * 4;
        const size_t pixels =
            row * static_cast<size_t>(header->biHeight < 0 ? -header->biHeight : header->biHeight);
        std::fwrite(header, 1, header->biSize + extra + pixels, out);
    }
    std::fclose(out);
    ::AVIStreamGetFrameClose(frames);
    ::AVIStreamRelease(stream);
    ::AVIFileExit();
    return result;
}
