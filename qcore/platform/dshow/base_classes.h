#pragma once
// The base classes filters are written with: reference counting, media types, samples, filters, pins, and
// the renderer that holds each sample on the streaming thread until its presentation time and then hands
// it to DoRenderSample.
#include <qcore/platform/dshow/dshow.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

class CCritSec {
public:
    void Lock() { lock_.lock(); }
    void Unlock() { lock_.unlock(); }

private:
    std::recursive_mutex lock_;
};

class CAutoLock {
public:
    explicit CAutoLock(CCritSec* lock) : lock_(lock) { lock_->Lock(); }
    ~CAutoLock() { lock_->Unlock(); }
    CAutoLock(const CAutoLock&) = delete;
    CAutoLock& operator=(const CAutoLock&) = delete;

private:
    CCritSec* lock_;
};

// Releases a media type's format block and object reference (the record itself stays).
void FreeMediaType(AM_MEDIA_TYPE& mt);
// A deep copy; E_OUTOFMEMORY leaves `target` empty.
HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source);

// A media type that owns its format block.
class CMediaType : public AM_MEDIA_TYPE {
public:
    CMediaType();
    CMediaType(const AM_MEDIA_TYPE& other);
    CMediaType(const CMediaType& other);
    CMediaType& operator=(const AM_MEDIA_TYPE& other);
    CMediaType& operator=(const CMediaType& other);
    ~CMediaType();

    const GUID* Type() const { return &majortype; }
    const GUID* Subtype() const { return &subtype; }
    const GUID* FormatType() const { return &formattype; }
    BYTE* Format() const { return pbFormat; }
    ULONG FormatLength() const { return cbFormat; }
    void SetType(const GUID* type) { majortype = *type; }
    void SetSubtype(const GUID* type) { subtype = *type; }
    void SetFormatType(const GUID* type) { formattype = *type; }
    void SetSampleSize(ULONG size);
    void SetTemporalCompression(BOOL compressed) { bTemporalCompression = compressed; }
    // A zeroed format block of `length` bytes (null when it cannot be allocated).
    BYTE* AllocFormatBuffer(ULONG length);
    BOOL SetFormat(const BYTE* format, ULONG length);
    // Major and subtype known (a null GUID is a wildcard).
    bool IsPartiallySpecified() const;
    bool MatchesPartial(const CMediaType* partial) const;
    void InitMediaType();
};

// Reference counting shared by every object of the framework. Aggregation is not supported.
class CUnknown {
public:
    CUnknown(const char* name, LPUNKNOWN outer, HRESULT* phr = nullptr);
    virtual ~CUnknown() = default;
    CUnknown(const CUnknown&) = delete;
    CUnknown& operator=(const CUnknown&) = delete;

    virtual HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv);
    ULONG NonDelegatingAddRef();
    ULONG NonDelegatingRelease();

protected:
    std::atomic<LONG> m_cRef{0};
    const char* m_pName;
};

#define DECLARE_IUNKNOWN                                                                                     \
    HRESULT QueryInterface(REFIID riid, void** ppv) override {                                               \
        return NonDelegatingQueryInterface(riid, ppv);                                                       \
    }                                                                                                        \
    ULONG AddRef() override {                                                                                \
        return NonDelegatingAddRef();                                                                        \
    }                                                                                                        \
    ULONG Release() override {                                                                               \
        return NonDelegatingRelease();                                                                       \
    }

// Hands out `unknown` through `ppv` with a new reference.
HRESULT GetInterface(IUnknown* unknown, void** ppv);

// A sample over a buffer of its own.
class CMediaSample : public IMediaSample {
public:
    explicit CMediaSample(LONG size = 0);
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT GetPointer(BYTE** buffer) override;
    LONG GetSize() override { return static_cast<LONG>(buffer_.size()); }
    HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override;
    HRESULT SetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override;
    HRESULT IsSyncPoint() override { return sync_ ? S_OK : S_FALSE; }
    HRESULT SetSyncPoint(BOOL sync) override;
    LONG GetActualDataLength() override { return actual_; }
    HRESULT SetActualDataLength(LONG length) override;
    HRESULT IsDiscontinuity() override { return discontinuity_ ? S_OK : S_FALSE; }
    HRESULT SetDiscontinuity(BOOL discontinuity) override;

    // Grows or shrinks the buffer; the actual length becomes the new size.
    void Resize(LONG size);

private:
    virtual ~CMediaSample() = default;
    std::atomic<LONG> refs_{0};
    std::vector<BYTE> buffer_;
    LONG actual_ = 0;
    REFERENCE_TIME start_ = 0, end_ = 0;
    bool timed_ = false, sync_ = false, discontinuity_ = false;
};

class CBasePin;

class CBaseFilter : public CUnknown, public IBaseFilter, public IAMovieSetup {
public:
    CBaseFilter(const char* name, LPUNKNOWN outer, CCritSec* lock, REFCLSID clsid, HRESULT* phr = nullptr);
    ~CBaseFilter() override;

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT GetClassID(CLSID* clsid) override;
    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME tStart) override;
    HRESULT GetState(DWORD msTimeout, FILTER_STATE* state) override;
    HRESULT SetSyncSource(IReferenceClock* clock) override;
    HRESULT GetSyncSource(IReferenceClock** clock) override;
    HRESULT FindPin(LPCWSTR id, IPin** pin) override;
    HRESULT QueryFilterInfo(FILTER_INFO* info) override;
    HRESULT JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    // Filters made by their owners, as every filter here is, carry no setup data: nothing to register.
    HRESULT Register() override { return S_FALSE; }
    HRESULT Unregister() override { return S_FALSE; }

    virtual int GetPinCount() = 0;
    virtual CBasePin* GetPin(int n) = 0;

    // Passes an event to the graph's event sink; E_NOTIMPL outside a graph.
    HRESULT NotifyEvent(LONG code, LONG_PTR param1, LONG_PTR param2);
    bool IsStopped() const { return m_State.load() == State_Stopped; }
    IFilterGraph* GetFilterGraph() const { return m_pGraph; }

protected:
    std::atomic<FILTER_STATE> m_State{State_Stopped};
    std::atomic<REFERENCE_TIME> m_tStart{0};
    IReferenceClock* m_pClock = nullptr; // with a reference
    CCritSec* m_pLock;
    CLSID m_clsid;
    // The graph holds the filter, so the filter holds no reference back.
    IFilterGraph* m_pGraph = nullptr;
    IMediaEventSink* m_pSink = nullptr;
    std::u16string m_name;
};

class CBasePin : public IPin {
public:
    CBasePin(const char* object_name, CBaseFilter* filter, CCritSec* lock, HRESULT* phr, LPCWSTR name,
             PIN_DIRECTION dir);
    virtual ~CBasePin();
    CBasePin(const CBasePin&) = delete;
    CBasePin& operator=(const CBasePin&) = delete;

    // A pin lives as long as its filter: references go to the filter.
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT Connect(IPin* receive, const AM_MEDIA_TYPE* mt) override;
    HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) override;
    HRESULT Disconnect() override;
    HRESULT ConnectedTo(IPin** pin) override;
    HRESULT ConnectionMediaType(AM_MEDIA_TYPE* mt) override;
    HRESULT QueryPinInfo(PIN_INFO* info) override;
    HRESULT QueryDirection(PIN_DIRECTION* dir) override;
    HRESULT QueryAccept(const AM_MEDIA_TYPE* mt) override;
    HRESULT EndOfStream() override { return S_OK; }
    HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

    virtual HRESULT CheckMediaType(const CMediaType* mt) = 0;
    // The pin's preferred types in order; VFW_S_NO_MORE_ITEMS past the last.
    virtual HRESULT GetMediaType(int position, CMediaType* mt);
    virtual HRESULT SetMediaType(const CMediaType* mt);
    virtual HRESULT CheckConnect(IPin* pin);
    virtual HRESULT CompleteConnect(IPin*) { return S_OK; }
    virtual HRESULT BreakConnect() { return S_OK; }
    // State changes of the filter.
    virtual HRESULT Active() { return S_OK; }
    virtual HRESULT Inactive() { return S_OK; }

    bool IsConnected() const { return m_Connected != nullptr; }
    IPin* GetConnected() const { return m_Connected; }
    const std::u16string& Name() const { return m_name; }
    const CMediaType& CurrentMediaType() const { return m_mt; }
    REFERENCE_TIME CurrentStartTime() const { return m_tStart; }

protected:
    HRESULT AttemptConnection(IPin* receive, const CMediaType* mt);

    IPin* m_Connected = nullptr;
    CMediaType m_mt;
    CBaseFilter* m_pFilter;
    CCritSec* m_pLock;
    std::u16string m_name;
    PIN_DIRECTION m_dir;
    REFERENCE_TIME m_tStart = 0, m_tStop = 0;
    double m_dRate = 1.0;
};

class CBaseInputPin : public CBasePin, public IMemInputPin {
public:
    CBaseInputPin(const char* object_name, CBaseFilter* filter, CCritSec* lock, HRESULT* phr, LPCWSTR name);

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override { return CBasePin::AddRef(); }
    ULONG Release() override { return CBasePin::Release(); }

    // Refuses samples while flushing (S_FALSE) or stopped (VFW_E_WRONG_STATE).
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT ReceiveCanBlock() override { return S_OK; }
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT Inactive() override;

    bool IsFlushing() const { return m_bFlushing.load(); }

protected:
    std::atomic<bool> m_bFlushing{false};
};

class CBaseOutputPin : public CBasePin {
public:
    CBaseOutputPin(const char* object_name, CBaseFilter* filter, CCritSec* lock, HRESULT* phr, LPCWSTR name);

    HRESULT CompleteConnect(IPin* receive) override;
    HRESULT BreakConnect() override;
    // Calls that only an input pin answers.
    HRESULT EndOfStream() override { return E_UNEXPECTED; }
    HRESULT BeginFlush() override { return E_UNEXPECTED; }
    HRESULT EndFlush() override { return E_UNEXPECTED; }

    HRESULT Deliver(IMediaSample* sample);
    HRESULT DeliverEndOfStream();
    HRESULT DeliverBeginFlush();
    HRESULT DeliverEndFlush();
    HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

protected:
    IMemInputPin* m_pInputPin = nullptr; // with a reference while connected
};

class CBaseRenderer;

class CRendererInputPin : public CBaseInputPin {
public:
    CRendererInputPin(CBaseRenderer* renderer, HRESULT* phr, LPCWSTR name);

    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT SetMediaType(const CMediaType* mt) override;
    HRESULT CompleteConnect(IPin* pin) override;
    HRESULT BreakConnect() override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;

private:
    CBaseRenderer* m_pRenderer;
};

// A filter with one input pin "In" that shows samples. Receive holds each sample until its start time on
// the graph's clock (at once without a clock); in the paused state the first sample is shown and the
// stream waits. At the end of the stream, once the last sample's time is over, EC_COMPLETE goes to the
// graph.
class CBaseRenderer : public CBaseFilter, public IQualityControl, public IAMFilterMiscFlags {
public:
    CBaseRenderer(REFCLSID clsid, const char* name, LPUNKNOWN outer, HRESULT* phr);
    ~CBaseRenderer() override;

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override;
    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME tStart) override;
    // In the paused state: VFW_S_STATE_INTERMEDIATE until a sample or the end of the stream has come.
    HRESULT GetState(DWORD msTimeout, FILTER_STATE* state) override;
    HRESULT SetSyncSource(IReferenceClock* clock) override;

    HRESULT Notify(IBaseFilter* self, Quality q) override;
    HRESULT SetSink(IQualityControl* sink) override;
    ULONG GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }

    virtual HRESULT CheckMediaType(const CMediaType* mt) = 0;
    virtual HRESULT SetMediaType(const CMediaType*) { return S_OK; }
    virtual HRESULT DoRenderSample(IMediaSample* sample) = 0;
    virtual HRESULT CompleteConnect(IPin*) { return S_OK; }
    virtual HRESULT BreakConnect() { return S_OK; }

    HRESULT Receive(IMediaSample* sample);
    HRESULT EndOfStream();
    HRESULT BeginFlush();
    HRESULT EndFlush();

protected:
    // Around each DoRenderSample: `late` is how far past its time the sample is shown (0 without a clock).
    virtual void OnRenderStart(IMediaSample*) {}
    virtual void OnRenderEnd(IMediaSample*, REFERENCE_TIME /*late*/, bool /*drawn*/) {}

    friend class CRendererInputPin;
    CCritSec m_InterfaceLock;
    CRendererInputPin* m_pInputPin = nullptr;
    std::atomic<IQualityControl*> m_pQSink{nullptr}; // the host's sink: no reference, as the platform's

private:
    // Waits until the sample is due; false when the stream must give up the sample instead.
    bool WaitForRenderTime(std::unique_lock<std::mutex>& hold, bool timed, REFERENCE_TIME start,
                           REFERENCE_TIME& late);
    void SendEndOfStream(std::unique_lock<std::mutex>& hold);
    REFERENCE_TIME ClockTime() const;

    // Everything the streaming thread reads is kept here under one lock.
    std::mutex m_sched;
    std::condition_variable m_wake;
    FILTER_STATE m_schedState = State_Stopped;
    REFERENCE_TIME m_schedStart = 0;
    IReferenceClock* m_schedClock = nullptr;
    bool m_flushing = false;
    bool m_gotSample = false; // since the last pause, stop or flush
    bool m_eos = false;
    bool m_eosSent = false;
    REFERENCE_TIME m_lastEnd = 0;
};

// A renderer of video frames with frame statistics (IQualProp).
class CBaseVideoRenderer : public CBaseRenderer, public IQualProp {
public:
    CBaseVideoRenderer(REFCLSID clsid, const char* name, LPUNKNOWN outer, HRESULT* phr);

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT get_FramesDroppedInRenderer(int* frames) override;
    HRESULT get_FramesDrawn(int* frames) override;
    HRESULT get_AvgFrameRate(int* hundredths) override;
    HRESULT get_Jitter(int* ms) override;
    HRESULT get_AvgSyncOffset(int* ms) override;
    HRESULT get_DevSyncOffset(int* ms) override;

protected:
    void OnRenderEnd(IMediaSample* sample, REFERENCE_TIME late, bool drawn) override;

private:
    std::mutex m_stats;
    int m_drawn = 0, m_dropped = 0;
    REFERENCE_TIME m_firstDrawn = -1, m_lastDrawn = -1;
    double m_lateSum = 0, m_lateSquares = 0;
    double m_gapSum = 0, m_gapSquares = 0;
};
