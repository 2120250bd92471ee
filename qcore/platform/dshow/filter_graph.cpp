// The filter graph manager (CLSID_FilterGraph): filters and their connections, state changes in stream
// order, seeking through the file source, the reference clock and the event queue.
#include <qcore/platform/dshow/base_classes.h>
#include <qcore/platform/dshow/media_filters.h>
#include <qcore/platform/win32/com_runtime.h>
#include <qcore/platform/win32/file.h>
#include <qcore/platform/win32/message.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace qcore::detail::dshow {
namespace {

class SystemClock final : public IReferenceClock {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IReferenceClock) return GetInterface(this, ppv);
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return static_cast<ULONG>(++refs_); }
    ULONG Release() override {
        const LONG left = --refs_;
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }
    HRESULT GetTime(REFERENCE_TIME* time) override {
        if (!time) return E_POINTER;
        using namespace std::chrono;
        *time = duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count() / 100;
        return S_OK;
    }

private:
    ~SystemClock() override = default;
    std::atomic<LONG> refs_{0};
};

template <class T> void release(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

IBaseFilter* filter_of(IPin* pin) {
    PIN_INFO info{};
    if (FAILED(pin->QueryPinInfo(&info))) return nullptr;
    // The graph holds the filter: the pin information's reference is not kept.
    if (info.pFilter) info.pFilter->Release();
    return info.pFilter;
}

bool is_renderer(IBaseFilter* filter) {
    IAMFilterMiscFlags* flags = nullptr;
    if (FAILED(filter->QueryInterface(IID_IAMFilterMiscFlags, reinterpret_cast<void**>(&flags))))
        return false;
    const bool renderer = (flags->GetMiscFlags() & AM_FILTER_MISC_FLAGS_IS_RENDERER) != 0;
    flags->Release();
    return renderer;
}

class FilterGraph final : public CUnknown,
                          public IGraphBuilder,
                          public IMediaControl,
                          public IMediaPosition,
                          public IMediaEventEx,
                          public IMediaEventSink,
                          public IMediaFilter {
public:
    FilterGraph() : CUnknown("filter graph", nullptr) {
        clock_ = new SystemClock;
        clock_->AddRef();
    }

    DECLARE_IUNKNOWN

    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IGraphBuilder || riid == IID_IFilterGraph)
            return GetInterface(static_cast<IGraphBuilder*>(this), ppv);
        if (riid == IID_IMediaControl) return GetInterface(static_cast<IMediaControl*>(this), ppv);
        if (riid == IID_IMediaPosition) return GetInterface(static_cast<IMediaPosition*>(this), ppv);
        if (riid == IID_IMediaEvent || riid == IID_IMediaEventEx)
            return GetInterface(static_cast<IMediaEventEx*>(this), ppv);
        if (riid == IID_IMediaEventSink) return GetInterface(static_cast<IMediaEventSink*>(this), ppv);
        if (riid == IID_IMediaFilter || riid == IID_IPersist)
            return GetInterface(static_cast<IMediaFilter*>(this), ppv);
        return CUnknown::NonDelegatingQueryInterface(riid, ppv);
    }

    // IFilterGraph
    HRESULT AddFilter(IBaseFilter* filter, LPCWSTR name) override {
        if (!filter) return E_POINTER;
        CAutoLock hold(&lock_);
        if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
        if (find(filter) != filters_.end()) return E_INVALIDARG;
        const std::u16string wanted = name ? name : u"";
        std::u16string unique = wanted;
        for (int n = 1; by_name(unique.c_str()); ++n) {
            // Appended piecewise: "literal" + std::string trips a false -Wrestrict in optimised g++ 12
            // builds.
            const std::string digits = std::to_string(n);
            unique = wanted;
            unique += u' ';
            unique.append(digits.begin(), digits.end());
        }
        if (const HRESULT hr = filter->JoinFilterGraph(this, unique.c_str()); FAILED(hr)) return hr;
        filter->SetSyncSource(use_clock_ ? clock_ : nullptr);
        filter->AddRef();
        filters_.push_back({filter, unique});
        return unique == wanted ? S_OK : S_FALSE;
    }

    HRESULT RemoveFilter(IBaseFilter* filter) override {
        CAutoLock hold(&lock_);
        auto it = find(filter);
        if (it == filters_.end()) return VFW_E_NOT_FOUND;
        if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
        disconnect_filter(filter);
        filter->SetSyncSource(nullptr);
        filter->JoinFilterGraph(nullptr, nullptr);
        filters_.erase(it);
        filter->Release();
        return S_OK;
    }

    HRESULT FindFilterByName(LPCWSTR name, IBaseFilter** filter) override {
        if (!name || !filter) return E_POINTER;
        CAutoLock hold(&lock_);
        *filter = by_name(name);
        if (!*filter) return VFW_E_NOT_FOUND;
        (*filter)->AddRef();
        return S_OK;
    }

    HRESULT ConnectDirect(IPin* out, IPin* in, const AM_MEDIA_TYPE* mt) override {
        if (!out || !in) return E_POINTER;
        CAutoLock hold(&lock_);
        if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
        IBaseFilter* upstream = filter_of(out);
        IBaseFilter* downstream = filter_of(in);
        if (find(upstream) == filters_.end() || find(downstream) == filters_.end()) return VFW_E_NOT_IN_GRAPH;
        if (const HRESULT hr = out->Connect(in, mt); FAILED(hr)) return hr;
        out->AddRef();
        in->AddRef();
        links_.push_back({out, in, upstream, downstream});
        return S_OK;
    }

    HRESULT Disconnect(IPin* pin) override {
        if (!pin) return E_POINTER;
        CAutoLock hold(&lock_);
        if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
        const HRESULT hr = pin->Disconnect();
        for (auto it = links_.begin(); it != links_.end();)
            if (it->out == pin || it->in == pin) {
                // The other side disconnects on its own call, as the platform does; forget the link.
                it->out->Release();
                it->in->Release();
                it = links_.erase(it);
            } else {
                ++it;
            }
        return hr;
    }

    HRESULT SetDefaultSyncSource() override { return SetSyncSource(clock_); }

    // IGraphBuilder
    HRESULT Connect(IPin* out, IPin* in) override {
        if (!out || !in) return E_POINTER;
        CAutoLock hold(&lock_);
        if (SUCCEEDED(ConnectDirect(out, in, nullptr))) return S_OK;
        // Not directly: through a decoder that turns the stream into RGB frames.
        VideoDecoder* decoder = VideoDecoder::Create();
        HRESULT hr = AddFilter(decoder, u"Video Decoder");
        if (SUCCEEDED(hr)) {
            hr = ConnectDirect(out, decoder->GetPin(0), nullptr);
            if (SUCCEEDED(hr)) hr = ConnectDirect(decoder->GetPin(1), in, nullptr);
            if (FAILED(hr)) RemoveFilter(decoder);
        }
        decoder->Release();
        return SUCCEEDED(hr) ? S_OK : VFW_E_CANNOT_CONNECT;
    }

    HRESULT AddSourceFilter(LPCWSTR file_name, LPCWSTR filter_name, IBaseFilter** filter) override {
        if (!file_name || !filter) return E_POINTER;
        *filter = nullptr;
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, file_name, -1, nullptr, 0, nullptr, nullptr);
        if (bytes <= 0) return E_INVALIDARG;
        std::string name(static_cast<size_t>(bytes), '\0');
        WideCharToMultiByte(CP_UTF8, 0, file_name, -1, name.data(), bytes, nullptr, nullptr);
        name.resize(static_cast<size_t>(bytes - 1));
        FileSource* source = nullptr;
        if (const HRESULT hr = FileSource::Create(qcore::native_path(name.c_str()), &source); FAILED(hr))
            return hr;
        const HRESULT hr = AddFilter(source, filter_name ? filter_name : file_name);
        if (FAILED(hr)) {
            source->Release();
            return hr;
        }
        *filter = source; // the creation reference goes to the caller
        return S_OK;
    }

    HRESULT Abort() override { return S_OK; }

    // IMediaControl and IMediaFilter
    HRESULT Run() override {
        CAutoLock hold(&lock_);
        if (state_ == State_Running) return S_OK;
        if (state_ == State_Stopped)
            if (const HRESULT hr = Pause(); FAILED(hr)) return hr;
        REFERENCE_TIME now = 0;
        clock_->GetTime(&now);
        start_ = now - paused_at_;
        return Run(start_);
    }

    HRESULT Run(REFERENCE_TIME tStart) override {
        CAutoLock hold(&lock_);
        start_ = tStart;
        for (IBaseFilter* f : stream_order())
            if (const HRESULT hr = f->Run(tStart); FAILED(hr)) {
                Stop();
                return hr;
            }
        state_ = State_Running;
        return S_OK;
    }

    HRESULT Pause() override {
        CAutoLock hold(&lock_);
        if (state_ == State_Paused) return S_OK;
        if (state_ == State_Stopped) {
            reset_completion();
            paused_at_ = 0;
        } else {
            REFERENCE_TIME now = 0;
            clock_->GetTime(&now);
            paused_at_ = now - start_;
        }
        for (IBaseFilter* f : stream_order())
            if (const HRESULT hr = f->Pause(); FAILED(hr)) {
                Stop();
                return hr;
            }
        state_ = State_Paused;
        return S_OK;
    }

    HRESULT Stop() override {
        CAutoLock hold(&lock_);
        // Renderers first, the source last: stopping the source ends its streaming thread.
        for (IBaseFilter* f : stream_order())
            f->Stop();
        state_ = State_Stopped;
        return S_OK;
    }

    HRESULT GetState(LONG msTimeout, OAFilterState* state) override {
        if (!state) return E_POINTER;
        FILTER_STATE s;
        const HRESULT hr = GetState(static_cast<DWORD>(msTimeout), &s);
        *state = s;
        return hr;
    }

    HRESULT GetState(DWORD msTimeout, FILTER_STATE* state) override {
        if (!state) return E_POINTER;
        std::vector<IBaseFilter*> filters;
        {
            CAutoLock hold(&lock_);
            *state = state_;
            filters = stream_order();
        }
        HRESULT result = S_OK;
        for (IBaseFilter* f : filters) {
            FILTER_STATE s;
            if (f->GetState(msTimeout, &s) == VFW_S_STATE_INTERMEDIATE) result = VFW_S_STATE_INTERMEDIATE;
        }
        return result;
    }

    HRESULT StopWhenReady() override {
        CAutoLock hold(&lock_);
        if (state_ == State_Stopped) return S_OK;
        Pause();
        // Bounded: a stream with no frame still ends, but a stalled file must not hang the caller.
        FILTER_STATE s;
        GetState(static_cast<DWORD>(5000), &s);
        return Stop();
    }

    HRESULT SetSyncSource(IReferenceClock* clock) override {
        CAutoLock hold(&lock_);
        if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
        if (clock && clock != clock_) return E_INVALIDARG; // only the graph's own clock is known here
        use_clock_ = clock != nullptr;
        for (const Entry& e : filters_)
            e.filter->SetSyncSource(clock);
        return S_OK;
    }

    HRESULT GetSyncSource(IReferenceClock** clock) override {
        if (!clock) return E_POINTER;
        CAutoLock hold(&lock_);
        *clock = use_clock_ ? clock_ : nullptr;
        if (*clock) (*clock)->AddRef();
        return S_OK;
    }

    HRESULT GetClassID(CLSID* clsid) override {
        if (!clsid) return E_POINTER;
        *clsid = CLSID_FilterGraph;
        return S_OK;
    }

    // IMediaPosition
    HRESULT get_Duration(REFTIME* length) override {
        if (!length) return E_POINTER;
        CAutoLock hold(&lock_);
        FileSource* source = file_source();
        if (!source) return E_NOTIMPL;
        *length = static_cast<double>(source->Duration()) / UNITS;
        return S_OK;
    }

    HRESULT put_CurrentPosition(REFTIME time) override {
        CAutoLock hold(&lock_);
        FileSource* source = file_source();
        if (!source) return E_NOTIMPL;
        if (!(time >= 0)) time = 0; // NaN too
        const bool running = state_ == State_Running;
        if (running) Pause();
        reset_completion();
        const HRESULT hr = source->Seek(static_cast<REFERENCE_TIME>(time * UNITS));
        paused_at_ = 0;
        if (running) Run();
        return hr;
    }

    HRESULT get_CurrentPosition(REFTIME* time) override {
        if (!time) return E_POINTER;
        CAutoLock hold(&lock_);
        FileSource* source = file_source();
        if (!source) return E_NOTIMPL;
        REFERENCE_TIME stream = paused_at_;
        if (state_ == State_Running) {
            REFERENCE_TIME now = 0;
            clock_->GetTime(&now);
            stream = now - start_;
        }
        const REFERENCE_TIME at =
            state_ == State_Stopped ? source->SegmentStart() : source->SegmentStart() + stream;
        *time = static_cast<double>(std::clamp<REFERENCE_TIME>(at, 0, source->Duration())) / UNITS;
        return S_OK;
    }

    // IMediaEventEx
    HRESULT GetEvent(LONG* code, LONG_PTR* param1, LONG_PTR* param2, LONG msTimeout) override {
        if (!code || !param1 || !param2) return E_POINTER;
        std::unique_lock hold(events_lock_);
        const auto ready = [this] { return !events_.empty(); };
        if (static_cast<DWORD>(msTimeout) == INFINITE)
            events_changed_.wait(hold, ready);
        else if (msTimeout > 0)
            events_changed_.wait_for(hold, std::chrono::milliseconds(msTimeout), ready);
        if (events_.empty()) return E_ABORT;
        const Event e = events_.front();
        events_.pop_front();
        *code = e.code;
        *param1 = e.param1;
        *param2 = e.param2;
        return S_OK;
    }

    HRESULT WaitForCompletion(LONG msTimeout, LONG* code) override {
        if (!code) return E_POINTER;
        *code = 0;
        std::unique_lock hold(events_lock_);
        const auto done = [this] { return complete_; };
        if (static_cast<DWORD>(msTimeout) == INFINITE)
            events_changed_.wait(hold, done);
        else
            events_changed_.wait_for(hold, std::chrono::milliseconds(std::max<LONG>(msTimeout, 0)), done);
        if (!complete_) return E_ABORT;
        *code = EC_COMPLETE;
        return S_OK;
    }

    HRESULT FreeEventParams(LONG, LONG_PTR, LONG_PTR) override { return S_OK; } // no event owns memory

    HRESULT SetNotifyWindow(OAHWND hwnd, LONG msg, LONG_PTR instance) override {
        std::lock_guard hold(events_lock_);
        notify_window_ = reinterpret_cast<HWND>(hwnd);
        notify_message_ = static_cast<UINT>(msg);
        notify_instance_ = instance;
        if (notify_window_ && !events_.empty())
            PostMessageA(notify_window_, notify_message_, 0, notify_instance_);
        return S_OK;
    }

    // IMediaEventSink: called by the filters, on the streaming thread too.
    HRESULT Notify(LONG code, LONG_PTR param1, LONG_PTR param2) override {
        std::lock_guard hold(events_lock_);
        if (code == EC_COMPLETE) {
            // The stream is complete once every renderer has reported it.
            if (++completions_ < renderers_) return S_OK;
            complete_ = true;
            param2 = 0;
        }
        events_.push_back({code, param1, param2});
        events_changed_.notify_all();
        if (notify_window_) PostMessageA(notify_window_, notify_message_, 0, notify_instance_);
        return S_OK;
    }

private:
    struct Entry {
        IBaseFilter* filter;
        std::u16string name;
    };
    struct Link {
        IPin* out;
        IPin* in;
        IBaseFilter* upstream;
        IBaseFilter* downstream;
    };
    struct Event {
        LONG code;
        LONG_PTR param1, param2;
    };

    ~FilterGraph() override {
        Stop();
        for (const Link& l : links_) {
            l.in->Disconnect();
            l.out->Disconnect();
            l.out->Release();
            l.in->Release();
        }
        links_.clear();
        for (const Entry& e : filters_) {
            e.filter->SetSyncSource(nullptr);
            e.filter->JoinFilterGraph(nullptr, nullptr);
            e.filter->Release();
        }
        release(clock_);
    }

    std::vector<Entry>::iterator find(IBaseFilter* filter) {
        return std::find_if(filters_.begin(), filters_.end(),
                            [&](const Entry& e) { return e.filter == filter; });
    }

    IBaseFilter* by_name(LPCWSTR name) {
        for (const Entry& e : filters_)
            if (e.name == name) return e.filter;
        return nullptr;
    }

    FileSource* file_source() {
        for (const Entry& e : filters_)
            if (auto* s = dynamic_cast<FileSource*>(e.filter)) return s;
        return nullptr;
    }

    void disconnect_filter(IBaseFilter* filter) {
        for (auto it = links_.begin(); it != links_.end();)
            if (it->upstream == filter || it->downstream == filter) {
                it->in->Disconnect();
                it->out->Disconnect();
                it->out->Release();
                it->in->Release();
                it = links_.erase(it);
            } else {
                ++it;
            }
    }

    // Every filter after all the filters it feeds: state changes reach renderers before sources.
    std::vector<IBaseFilter*> stream_order() const {
        std::vector<IBaseFilter*> order;
        std::vector<IBaseFilter*> left;
        for (const Entry& e : filters_)
            left.push_back(e.filter);
        while (!left.empty()) {
            const size_t before = left.size();
            for (auto it = left.begin(); it != left.end();) {
                const bool feeds_pending = std::any_of(links_.begin(), links_.end(), [&](const Link& l) {
                    return l.upstream == *it &&
                           std::find(left.begin(), left.end(), l.downstream) != left.end();
                });
                if (feeds_pending) {
                    ++it;
                } else {
                    order.push_back(*it);
                    it = left.erase(it);
                }
            }
            if (left.size() == before) { // a cycle: take the rest as they are
                order.insert(order.end(), left.begin(), left.end());
                break;
            }
        }
        return order;
    }

    void reset_completion() {
        int renderers = 0;
        for (const Entry& e : filters_)
            if (is_renderer(e.filter)) ++renderers;
        std::lock_guard hold(events_lock_);
        renderers_ = renderers;
        completions_ = 0;
        complete_ = false;
    }

    CCritSec lock_;
    std::vector<Entry> filters_;
    std::vector<Link> links_;
    FILTER_STATE state_ = State_Stopped;
    IReferenceClock* clock_ = nullptr;
    bool use_clock_ = true;
    REFERENCE_TIME start_ = 0;
    REFERENCE_TIME paused_at_ = 0;

    std::mutex events_lock_;
    std::condition_variable events_changed_;
    std::deque<Event> events_;
    HWND notify_window_ = nullptr;
    UINT notify_message_ = 0;
    LONG_PTR notify_instance_ = 0;
    int renderers_ = 0;
    int completions_ = 0;
    bool complete_ = false;
};

[[maybe_unused]] const bool registered =
    qcore::register_com_class(CLSID_FilterGraph, [](REFIID iid, void** out) {
        auto* graph = new FilterGraph;
        graph->NonDelegatingAddRef();
        const HRESULT hr = graph->NonDelegatingQueryInterface(iid, out);
        graph->NonDelegatingRelease();
        return hr;
    });

} // namespace
} // namespace qcore::detail::dshow
