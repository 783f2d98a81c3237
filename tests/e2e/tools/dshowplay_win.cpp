// A DirectShow player, as Windows Media Player is, that knows nothing of Vidorra: a source filter
// of its own hands the movie's compressed frames (read with the platform's AVI file services) to
// the graph, whose intelligent connection to a sample grabber that takes RGB of the depth asked
// for picks the platform's AVI decompressor around the system's video codec; a null renderer
// takes the frames as fast as they come. (Wine's own AVI splitter is GStreamer's, which decodes
// the video itself instead of handing it on.)
//
//   dshowplay MOVIE OUT [24|32]
//
// Writes each frame as vfwplay does: [BITMAPINFOHEADER][pixels]. Exit code 0 when the graph
// played every frame to its end, 2 when it could not be built or stopped short.

#include <windows.h>
// windows.h first: the DirectShow and VfW headers depend on its types.
#include <dshow.h>
#include <qedit.h>
#include <vfw.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// qedit.dll's classes; its header declares the interfaces only.
const CLSID kSampleGrabber = {
    0xC1F400A0, 0x3F08, 0x11d3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
const CLSID kNullRenderer = {
    0xC1F400A4, 0x3F08, 0x11d3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};

// The objects below live for the whole run: their counts need not free them.
#define FIXED_UNKNOWN                                                                              \
    STDMETHODIMP_(ULONG) AddRef() override {                                                       \
        return 2;                                                                                  \
    }                                                                                              \
    STDMETHODIMP_(ULONG) Release() override {                                                      \
        return 1;                                                                                  \
    }

class Collector : public ISampleGrabberCB {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        *out = iid == IID_IUnknown || iid == IID_ISampleGrabberCB ? this : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    FIXED_UNKNOWN
    STDMETHODIMP SampleCB(double, IMediaSample*) override { return E_NOTIMPL; }
    STDMETHODIMP BufferCB(double, BYTE* data, long length) override {
        const std::lock_guard<std::mutex> lock(mutex_);
        frames_.emplace_back(data, data + length);
        return S_OK;
    }
    std::vector<std::vector<BYTE>> Frames() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return frames_;
    }

private:
    std::mutex mutex_;
    std::vector<std::vector<BYTE>> frames_;
};

// The movie's frames as the platform's AVI reader stores them.
struct Movie {
    std::vector<BYTE> format; // a VIDEOINFOHEADER and what follows its bitmap header
    std::vector<std::vector<BYTE>> frames;
    std::vector<bool> key;
    REFERENCE_TIME frameTime = 0;

    bool Read(const char* path) {
        PAVISTREAM stream = nullptr;
        if (::AVIStreamOpenFromFileA(&stream, path, streamtypeVIDEO, 0, OF_READ, nullptr) != 0)
            return false;
        AVISTREAMINFOA info{};
        ::AVIStreamInfoA(stream, &info, sizeof info);
        frameTime = info.dwRate ? REFERENCE_TIME{10000000} * info.dwScale / info.dwRate : 0;
        LONG size = 0;
        ::AVIStreamReadFormat(stream, 0, nullptr, &size);
        format.assign(sizeof(VIDEOINFOHEADER) - sizeof(BITMAPINFOHEADER) + size, 0);
        auto* video = reinterpret_cast<VIDEOINFOHEADER*>(format.data());
        ::AVIStreamReadFormat(stream, 0, &video->bmiHeader, &size);
        video->AvgTimePerFrame = frameTime;
        const LONG first = ::AVIStreamStart(stream), count = ::AVIStreamLength(stream);
        for (LONG i = first; i < first + count; ++i) {
            LONG bytes = 0;
            ::AVIStreamRead(stream, i, 1, nullptr, 0, &bytes, nullptr);
            std::vector<BYTE> frame(static_cast<size_t>(bytes));
            ::AVIStreamRead(stream, i, 1, frame.data(), bytes, nullptr, nullptr);
            frames.push_back(std::move(frame));
            key.push_back(AVIStreamIsKeyFrame(stream, i) != FALSE);
        }
        ::AVIStreamRelease(stream);
        return !frames.empty();
    }
};

class Source;

class SourcePin : public IPin {
public:
    explicit SourcePin(Source& source) : source_(source) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        *out = iid == IID_IUnknown || iid == IID_IPin ? this : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    FIXED_UNKNOWN
    STDMETHODIMP Connect(IPin* to, const AM_MEDIA_TYPE* wanted) override;
    STDMETHODIMP ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
    STDMETHODIMP Disconnect() override {
        if (!to_)
            return S_FALSE;
        Drop();
        return S_OK;
    }
    STDMETHODIMP ConnectedTo(IPin** to) override {
        *to = to_;
        if (to_)
            to_->AddRef();
        return to_ ? S_OK : VFW_E_NOT_CONNECTED;
    }
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* type) override {
        if (!to_)
            return VFW_E_NOT_CONNECTED;
        return CopyType(type);
    }
    STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
    STDMETHODIMP QueryDirection(PIN_DIRECTION* d) override {
        *d = PINDIR_OUTPUT;
        return S_OK;
    }
    STDMETHODIMP QueryId(LPWSTR* id) override {
        *id = static_cast<LPWSTR>(::CoTaskMemAlloc(sizeof L"Video"));
        std::wcscpy(*id, L"Video");
        return S_OK;
    }
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* type) override {
        return type->majortype == MEDIATYPE_Video ? S_OK : S_FALSE;
    }
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** out) override;
    STDMETHODIMP QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
    STDMETHODIMP EndOfStream() override { return E_UNEXPECTED; }
    STDMETHODIMP BeginFlush() override { return E_UNEXPECTED; }
    STDMETHODIMP EndFlush() override { return E_UNEXPECTED; }
    STDMETHODIMP NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }

    HRESULT CopyType(AM_MEDIA_TYPE* type);
    void Drop() {
        if (allocator_)
            allocator_->Release();
        if (input_)
            input_->Release();
        if (to_)
            to_->Release();
        allocator_ = nullptr;
        input_ = nullptr;
        to_ = nullptr;
    }

    Source& source_;
    IPin* to_ = nullptr;
    IMemInputPin* input_ = nullptr;
    IMemAllocator* allocator_ = nullptr;
};

// The list of our filter's one pin, or of its pin's one media type: `make` gives the item, the
// caller's to release.
template <class List, class Item, const IID& Id> class ListOfOne final : public List {
public:
    using Make = Item (*)(void* context);
    ListOfOne(Make make, void* context) : make_(make), context_(context) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        *out = iid == IID_IUnknown || iid == Id ? this : nullptr;
        if (*out)
            AddRef();
        return *out ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++count_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --count_;
        if (left == 0)
            delete this;
        return left;
    }
    STDMETHODIMP Next(ULONG n, Item* items, ULONG* fetched) override {
        ULONG got = 0;
        if (n > 0 && at_ == 0) {
            items[0] = make_(context_);
            got = 1;
            at_ = 1;
        }
        if (fetched)
            *fetched = got;
        return got == n ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG n) override {
        at_ += n;
        return at_ <= 1 ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override {
        at_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(List** out) override {
        auto* copy = new ListOfOne(make_, context_);
        copy->at_ = at_;
        *out = copy;
        return S_OK;
    }

private:
    Make make_;
    void* context_;
    ULONG at_ = 0;
    std::atomic<ULONG> count_{1};
};
using PinList = ListOfOne<IEnumPins, IPin*, IID_IEnumPins>;
using TypeList = ListOfOne<IEnumMediaTypes, AM_MEDIA_TYPE*, IID_IEnumMediaTypes>;

// Pushes every frame downstream from the moment the graph pauses, as a file source does: the
// graph runs only once its renderer holds a frame. A filter downstream that the graph has not
// paused yet refuses the first frame for its state; it is offered again.
class Source : public IBaseFilter {
public:
    explicit Source(const Movie& movie) : movie_(movie), pin_(*this) {}
    ~Source() { StopPushing(); }
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        *out = iid == IID_IUnknown || iid == IID_IPersist || iid == IID_IMediaFilter ||
                       iid == IID_IBaseFilter
                   ? this
                   : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    FIXED_UNKNOWN
    STDMETHODIMP GetClassID(CLSID* id) override {
        *id = GUID_NULL;
        return S_OK;
    }
    STDMETHODIMP Stop() override {
        StopPushing();
        state_ = State_Stopped;
        return S_OK;
    }
    STDMETHODIMP Pause() override {
        if (state_ == State_Stopped)
            StartPushing();
        state_ = State_Paused;
        return S_OK;
    }
    STDMETHODIMP Run(REFERENCE_TIME) override {
        if (state_ == State_Stopped)
            StartPushing();
        state_ = State_Running;
        return S_OK;
    }
    STDMETHODIMP GetState(DWORD, FILTER_STATE* state) override {
        *state = state_;
        return S_OK;
    }
    STDMETHODIMP SetSyncSource(IReferenceClock*) override { return S_OK; }
    STDMETHODIMP GetSyncSource(IReferenceClock** clock) override {
        *clock = nullptr;
        return S_OK;
    }
    STDMETHODIMP EnumPins(IEnumPins** out) override {
        *out = new PinList(
            [](void* pin) -> IPin* {
                static_cast<IPin*>(pin)->AddRef();
                return static_cast<IPin*>(pin);
            },
            static_cast<IPin*>(&pin_));
        return S_OK;
    }
    STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override {
        if (std::wcscmp(id, L"Video") != 0)
            return VFW_E_NOT_FOUND;
        *pin = &pin_;
        return S_OK;
    }
    STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override {
        std::wcscpy(info->achName, L"Movie");
        info->pGraph = graph_;
        if (graph_)
            graph_->AddRef();
        return S_OK;
    }
    STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR) override {
        graph_ = graph; // not counted: the graph holds us
        return S_OK;
    }
    STDMETHODIMP QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }

    const Movie& movie_;
    SourcePin pin_;
    bool complete = false;

private:
    void StartPushing() {
        StopPushing();
        stopping_ = false;
        pusher_ = std::thread([this] { Push(); });
    }
    void StopPushing() {
        stopping_ = true;
        if (pin_.allocator_)
            pin_.allocator_->Decommit();
        if (pusher_.joinable())
            pusher_.join();
    }
    void Push() {
        if (!pin_.allocator_ || FAILED(pin_.allocator_->Commit())) {
            std::fprintf(stderr, "the allocator could not be committed\n");
            return;
        }
        for (size_t i = 0; i < movie_.frames.size() && !stopping_; ++i) {
            IMediaSample* sample = nullptr;
            if (FAILED(pin_.allocator_->GetBuffer(&sample, nullptr, nullptr, 0))) {
                std::fprintf(stderr, "no buffer for frame %zu\n", i);
                return;
            }
            BYTE* data = nullptr;
            sample->GetPointer(&data);
            const std::vector<BYTE>& frame = movie_.frames[i];
            std::copy(frame.begin(), frame.end(), data);
            sample->SetActualDataLength(static_cast<long>(frame.size()));
            REFERENCE_TIME start = movie_.frameTime * static_cast<REFERENCE_TIME>(i);
            REFERENCE_TIME end = start + movie_.frameTime;
            sample->SetTime(&start, &end);
            sample->SetSyncPoint(movie_.key[i] ? TRUE : FALSE);
            sample->SetDiscontinuity(i == 0 ? TRUE : FALSE);
            HRESULT hr = pin_.input_->Receive(sample);
            for (int tries = 0; hr == VFW_E_WRONG_STATE && tries < 500 && !stopping_; ++tries) {
                ::Sleep(10);
                hr = pin_.input_->Receive(sample);
            }
            sample->Release();
            if (hr != S_OK) {
                std::fprintf(stderr, "frame %zu refused: 0x%08lx\n", i,
                             static_cast<unsigned long>(hr));
                return;
            }
        }
        complete = !stopping_;
        pin_.to_->EndOfStream();
    }

    IFilterGraph* graph_ = nullptr;
    FILTER_STATE state_ = State_Stopped;
    std::atomic<bool> stopping_{false};
    std::thread pusher_;
};

HRESULT SourcePin::CopyType(AM_MEDIA_TYPE* type) {
    const auto* video = reinterpret_cast<const VIDEOINFOHEADER*>(source_.movie_.format.data());
    *type = {};
    type->majortype = MEDIATYPE_Video;
    type->subtype = MEDIASUBTYPE_RGB32; // FOURCC GUID below
    type->subtype.Data1 = video->bmiHeader.biCompression;
    type->subtype.Data2 = 0x0000;
    type->subtype.Data3 = 0x0010;
    const BYTE tail[8] = {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    std::copy(tail, tail + 8, type->subtype.Data4);
    type->bFixedSizeSamples = FALSE;
    type->bTemporalCompression = TRUE;
    type->formattype = FORMAT_VideoInfo;
    type->cbFormat = static_cast<ULONG>(source_.movie_.format.size());
    type->pbFormat = static_cast<BYTE*>(::CoTaskMemAlloc(type->cbFormat));
    std::copy(source_.movie_.format.begin(), source_.movie_.format.end(), type->pbFormat);
    return S_OK;
}

STDMETHODIMP SourcePin::Connect(IPin* to, const AM_MEDIA_TYPE* wanted) {
    if (to_)
        return VFW_E_ALREADY_CONNECTED;
    if (wanted && wanted->majortype != GUID_NULL && wanted->majortype != MEDIATYPE_Video)
        return VFW_E_TYPE_NOT_ACCEPTED;
    AM_MEDIA_TYPE type{};
    CopyType(&type);
    HRESULT hr = to->ReceiveConnection(this, &type);
    ::CoTaskMemFree(type.pbFormat);
    if (FAILED(hr))
        return hr;
    to_ = to;
    to_->AddRef();
    // The input's allocator, or one of our own where it has none.
    if (FAILED(hr = to->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input_))) ||
        (FAILED(input_->GetAllocator(&allocator_)) &&
         FAILED(hr = ::CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IMemAllocator,
                                        reinterpret_cast<void**>(&allocator_))))) {
        to->Disconnect();
        Drop();
        return hr;
    }
    size_t largest = 0;
    for (const std::vector<BYTE>& frame : source_.movie_.frames)
        largest = std::max(largest, frame.size());
    ALLOCATOR_PROPERTIES wantedProps{4, static_cast<LONG>(largest) + 16, 1, 0}, got{};
    if (FAILED(hr = allocator_->SetProperties(&wantedProps, &got)) ||
        FAILED(hr = input_->NotifyAllocator(allocator_, FALSE))) {
        to->Disconnect();
        Drop();
        return hr;
    }
    return S_OK;
}

STDMETHODIMP SourcePin::QueryPinInfo(PIN_INFO* info) {
    info->pFilter = &source_;
    info->dir = PINDIR_OUTPUT;
    std::wcscpy(info->achName, L"Video");
    return S_OK;
}

STDMETHODIMP SourcePin::EnumMediaTypes(IEnumMediaTypes** out) {
    *out = new TypeList(
        [](void* pin) {
            auto* type = static_cast<AM_MEDIA_TYPE*>(::CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
            static_cast<SourcePin*>(pin)->CopyType(type);
            return type;
        },
        this);
    return S_OK;
}

template <class T> struct Ptr {
    T* p = nullptr;
    ~Ptr() {
        if (p)
            p->Release();
    }
    T* operator->() const { return p; }
    void** put() { return reinterpret_cast<void**>(&p); }
};

HRESULT FirstPin(IBaseFilter* filter, PIN_DIRECTION direction, IPin** pin) {
    IEnumPins* pins = nullptr;
    HRESULT hr = filter->EnumPins(&pins);
    if (FAILED(hr))
        return hr;
    hr = E_FAIL;
    for (IPin* p = nullptr; pins->Next(1, &p, nullptr) == S_OK;) {
        PIN_DIRECTION d{};
        p->QueryDirection(&d);
        if (d == direction && hr != S_OK) {
            *pin = p;
            hr = S_OK;
        } else {
            p->Release();
        }
    }
    pins->Release();
    return hr;
}

int Fail(const char* what, HRESULT hr) {
    std::fprintf(stderr, "%s: 0x%08lx\n", what, static_cast<unsigned long>(hr));
    return 2;
}

int Play(const char* path, const char* outPath, int bits) {
    Movie movie;
    if (!movie.Read(path))
        return Fail("cannot read the movie", E_FAIL);
    Collector collector;
    Source source(movie);
    int result = 0;
    BITMAPINFOHEADER header{};
    {
        Ptr<IGraphBuilder> graph;
        Ptr<IBaseFilter> grabberFilter, nullRenderer;
        Ptr<ISampleGrabber> grabber;
        HRESULT hr = ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IGraphBuilder, graph.put());
        if (FAILED(hr))
            return Fail("filter graph", hr);
        hr = ::CoCreateInstance(kSampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                grabberFilter.put());
        if (FAILED(hr) ||
            FAILED(hr = grabberFilter->QueryInterface(IID_ISampleGrabber, grabber.put())))
            return Fail("sample grabber", hr);
        AM_MEDIA_TYPE type{};
        type.majortype = MEDIATYPE_Video;
        type.subtype = bits == 24 ? MEDIASUBTYPE_RGB24 : MEDIASUBTYPE_RGB32;
        type.formattype = FORMAT_VideoInfo;
        grabber->SetMediaType(&type);
        grabber->SetBufferSamples(FALSE);
        grabber->SetCallback(&collector, 1);
        hr = ::CoCreateInstance(kNullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                nullRenderer.put());
        if (FAILED(hr))
            return Fail("null renderer", hr);
        graph->AddFilter(&source, L"Movie");
        graph->AddFilter(grabberFilter.p, L"Grabber");
        graph->AddFilter(nullRenderer.p, L"Null");

        Ptr<IPin> grabberIn, grabberOut, nullIn;
        if (FAILED(hr = FirstPin(grabberFilter.p, PINDIR_INPUT, &grabberIn.p)) ||
            FAILED(hr = FirstPin(grabberFilter.p, PINDIR_OUTPUT, &grabberOut.p)) ||
            FAILED(hr = FirstPin(nullRenderer.p, PINDIR_INPUT, &nullIn.p)))
            return Fail("pins", hr);
        // The platform's AVI decompressor, which wraps whatever video codec the system has for
        // the stream.
        Ptr<IBaseFilter> decompressor;
        Ptr<IPin> decompressorIn, decompressorOut;
        if (FAILED(hr = ::CoCreateInstance(CLSID_AVIDec, nullptr, CLSCTX_INPROC_SERVER,
                                           IID_IBaseFilter, decompressor.put())))
            return Fail("AVI decompressor", hr);
        graph->AddFilter(decompressor.p, L"AVI Decompressor");
        if (FAILED(hr = FirstPin(decompressor.p, PINDIR_INPUT, &decompressorIn.p)) ||
            FAILED(hr = FirstPin(decompressor.p, PINDIR_OUTPUT, &decompressorOut.p)))
            return Fail("decompressor pins", hr);
        if (FAILED(hr = graph->ConnectDirect(&source.pin_, decompressorIn.p, nullptr)))
            return Fail("connecting the movie to the decompressor", hr);
        if (FAILED(hr = graph->Connect(decompressorOut.p, grabberIn.p)))
            return Fail("connecting the decompressor to the grabber", hr);
        if (FAILED(hr = graph->Connect(grabberOut.p, nullIn.p)))
            return Fail("connecting the grabber to the renderer", hr);
        AM_MEDIA_TYPE connected{};
        if (FAILED(hr = grabber->GetConnectedMediaType(&connected)) ||
            connected.formattype != FORMAT_VideoInfo || connected.pbFormat == nullptr)
            return Fail("the grabber's type", hr);
        header = reinterpret_cast<VIDEOINFOHEADER*>(connected.pbFormat)->bmiHeader;
        ::CoTaskMemFree(connected.pbFormat);

        Ptr<IMediaFilter> filter;
        Ptr<IMediaControl> control;
        Ptr<IMediaEvent> events;
        graph->QueryInterface(IID_IMediaFilter, filter.put());
        graph->QueryInterface(IID_IMediaControl, control.put());
        graph->QueryInterface(IID_IMediaEvent, events.put());
        // No clock: every frame as fast as the graph makes them.
        filter->SetSyncSource(nullptr);
        if (FAILED(hr = control->Run()))
            return Fail("Run", hr);
        long code = 0;
        if (FAILED(hr = events->WaitForCompletion(60000, &code)) || code != EC_COMPLETE ||
            !source.complete)
            result = Fail("playing to the end", hr);
        control->Stop();
        graph->RemoveFilter(&source);
    }
    FILE* out = std::fopen(outPath, "wb");
    if (out == nullptr)
        return 1;
    for (const std::vector<BYTE>& frame : collector.Frames()) {
        std::fwrite(&header, 1, sizeof header, out);
        std::fwrite(frame.data(), 1, frame.size(), out);
    }
    std::fclose(out);
    return result;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: dshowplay MOVIE OUT [24|32]\n");
        return 1;
    }
    ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ::AVIFileInit();
    const int result = Play(argv[1], argv[2], argc > 3 ? std::atoi(argv[3]) : 32);
    ::AVIFileExit();
    ::CoUninitialize();
    return result;
}
