#include <qcore/platform/dshow/base_classes.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <new>

namespace {

std::u16string wide_copy(LPCWSTR text) {
    return text ? std::u16string(text) : std::u16string();
}

void copy_name(WCHAR* out, size_t capacity, const std::u16string& name) {
    const size_t n = std::min(name.size(), capacity - 1);
    std::memcpy(out, name.data(), n * sizeof(WCHAR));
    out[n] = 0;
}

bool is_null(const GUID& g) {
    return g == GUID_NULL;
}

REFERENCE_TIME steady_now() {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count() / 100;
}

} // namespace

void FreeMediaType(AM_MEDIA_TYPE& mt) {
    delete[] mt.pbFormat;
    mt.pbFormat = nullptr;
    mt.cbFormat = 0;
    if (mt.pUnk) mt.pUnk->Release();
    mt.pUnk = nullptr;
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source) {
    if (!target || !source) return E_POINTER;
    *target = *source;
    target->pbFormat = nullptr;
    target->cbFormat = 0;
    if (source->cbFormat && source->pbFormat) {
        target->pbFormat = new (std::nothrow) BYTE[source->cbFormat];
        if (!target->pbFormat) {
            target->pUnk = nullptr;
            return E_OUTOFMEMORY;
        }
        std::memcpy(target->pbFormat, source->pbFormat, source->cbFormat);
        target->cbFormat = source->cbFormat;
    }
    if (target->pUnk) target->pUnk->AddRef();
    return S_OK;
}

CMediaType::CMediaType() : AM_MEDIA_TYPE{} {
    InitMediaType();
}

CMediaType::CMediaType(const AM_MEDIA_TYPE& other) : AM_MEDIA_TYPE{} {
    CopyMediaType(this, &other);
}

CMediaType::CMediaType(const CMediaType& other) : AM_MEDIA_TYPE{} {
    CopyMediaType(this, &other);
}

CMediaType& CMediaType::operator=(const AM_MEDIA_TYPE& other) {
    if (&other != this) {
        FreeMediaType(*this);
        CopyMediaType(this, &other);
    }
    return *this;
}

CMediaType& CMediaType::operator=(const CMediaType& other) {
    return *this = static_cast<const AM_MEDIA_TYPE&>(other);
}

CMediaType::~CMediaType() {
    FreeMediaType(*this);
}

void CMediaType::InitMediaType() {
    FreeMediaType(*this);
    *static_cast<AM_MEDIA_TYPE*>(this) = AM_MEDIA_TYPE{};
    bFixedSizeSamples = TRUE;
    lSampleSize = 1;
}

void CMediaType::SetSampleSize(ULONG size) {
    lSampleSize = size;
    bFixedSizeSamples = size != 0;
}

BYTE* CMediaType::AllocFormatBuffer(ULONG length) {
    delete[] pbFormat;
    pbFormat = length ? new (std::nothrow) BYTE[length]() : nullptr;
    cbFormat = pbFormat ? length : 0;
    return pbFormat;
}

BOOL CMediaType::SetFormat(const BYTE* format, ULONG length) {
    // Copied before the old block goes: `format` may point into it.
    BYTE* copy = length ? new (std::nothrow) BYTE[length] : nullptr;
    if (length && !copy) return FALSE;
    if (length) std::memcpy(copy, format, length);
    delete[] pbFormat;
    pbFormat = copy;
    cbFormat = length;
    return TRUE;
}

bool CMediaType::IsPartiallySpecified() const {
    return is_null(majortype) || is_null(formattype);
}

bool CMediaType::MatchesPartial(const CMediaType* partial) const {
    if (!is_null(partial->majortype) && !(partial->majortype == majortype)) return false;
    if (!is_null(partial->subtype) && !(partial->subtype == subtype)) return false;
    if (!is_null(partial->formattype)) {
        if (!(partial->formattype == formattype) || partial->cbFormat != cbFormat) return false;
        if (cbFormat && std::memcmp(partial->pbFormat, pbFormat, cbFormat) != 0) return false;
    }
    return true;
}

CUnknown::CUnknown(const char* name, LPUNKNOWN outer, HRESULT* phr) : m_pName(name) {
    if (outer && phr) *phr = CLASS_E_NOAGGREGATION;
}

HRESULT CUnknown::NonDelegatingQueryInterface(REFIID, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CUnknown::NonDelegatingAddRef() {
    return static_cast<ULONG>(++m_cRef);
}

ULONG CUnknown::NonDelegatingRelease() {
    const LONG left = --m_cRef;
    if (left == 0) delete this;
    return static_cast<ULONG>(std::max<LONG>(left, 0));
}

HRESULT GetInterface(IUnknown* unknown, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = unknown;
    unknown->AddRef();
    return S_OK;
}

CMediaSample::CMediaSample(LONG size) {
    Resize(size);
}

HRESULT CMediaSample::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IMediaSample) return GetInterface(this, ppv);
    return E_NOINTERFACE;
}

ULONG CMediaSample::AddRef() {
    return static_cast<ULONG>(++refs_);
}

ULONG CMediaSample::Release() {
    const LONG left = --refs_;
    if (left == 0) delete this;
    return static_cast<ULONG>(std::max<LONG>(left, 0));
}

HRESULT CMediaSample::GetPointer(BYTE** buffer) {
    if (!buffer) return E_POINTER;
    *buffer = buffer_.data();
    return S_OK;
}

HRESULT CMediaSample::GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) {
    if (!start || !end) return E_POINTER;
    if (!timed_) return VFW_E_WRONG_STATE;
    *start = start_;
    *end = end_;
    return S_OK;
}

HRESULT CMediaSample::SetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) {
    timed_ = start != nullptr;
    if (start) start_ = *start;
    end_ = end ? *end : start_ + 1;
    return S_OK;
}

HRESULT CMediaSample::SetSyncPoint(BOOL sync) {
    sync_ = sync != FALSE;
    return S_OK;
}

HRESULT CMediaSample::SetActualDataLength(LONG length) {
    if (length < 0 || length > GetSize()) return E_INVALIDARG;
    actual_ = length;
    return S_OK;
}

HRESULT CMediaSample::SetDiscontinuity(BOOL discontinuity) {
    discontinuity_ = discontinuity != FALSE;
    return S_OK;
}

void CMediaSample::Resize(LONG size) {
    buffer_.resize(static_cast<size_t>(std::max<LONG>(size, 0)));
    actual_ = GetSize();
}

CBaseFilter::CBaseFilter(const char* name, LPUNKNOWN outer, CCritSec* lock, REFCLSID clsid, HRESULT* phr)
    : CUnknown(name, outer, phr), m_pLock(lock), m_clsid(clsid) {}

CBaseFilter::~CBaseFilter() {
    if (m_pClock) m_pClock->Release();
}

HRESULT CBaseFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IBaseFilter || riid == IID_IMediaFilter || riid == IID_IPersist)
        return GetInterface(static_cast<IBaseFilter*>(this), ppv);
    if (riid == IID_IAMovieSetup) return GetInterface(static_cast<IAMovieSetup*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CBaseFilter::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = m_clsid;
    return S_OK;
}

HRESULT CBaseFilter::Stop() {
    CAutoLock hold(m_pLock);
    HRESULT result = S_OK;
    if (m_State.load() != State_Stopped)
        for (int i = 0; i < GetPinCount(); ++i)
            if (CBasePin* pin = GetPin(i); pin && pin->IsConnected())
                if (const HRESULT hr = pin->Inactive(); FAILED(hr) && SUCCEEDED(result)) result = hr;
    m_State = State_Stopped;
    return result;
}

HRESULT CBaseFilter::Pause() {
    CAutoLock hold(m_pLock);
    if (m_State.load() == State_Stopped)
        for (int i = 0; i < GetPinCount(); ++i)
            if (CBasePin* pin = GetPin(i); pin && pin->IsConnected())
                if (const HRESULT hr = pin->Active(); FAILED(hr)) return hr;
    m_State = State_Paused;
    return S_OK;
}

HRESULT CBaseFilter::Run(REFERENCE_TIME tStart) {
    CAutoLock hold(m_pLock);
    m_tStart = tStart;
    if (m_State.load() == State_Stopped)
        if (const HRESULT hr = Pause(); FAILED(hr)) return hr;
    m_State = State_Running;
    return S_OK;
}

HRESULT CBaseFilter::GetState(DWORD, FILTER_STATE* state) {
    if (!state) return E_POINTER;
    *state = m_State.load();
    return S_OK;
}

HRESULT CBaseFilter::SetSyncSource(IReferenceClock* clock) {
    CAutoLock hold(m_pLock);
    if (clock) clock->AddRef();
    if (m_pClock) m_pClock->Release();
    m_pClock = clock;
    return S_OK;
}

HRESULT CBaseFilter::GetSyncSource(IReferenceClock** clock) {
    if (!clock) return E_POINTER;
    CAutoLock hold(m_pLock);
    *clock = m_pClock;
    if (m_pClock) m_pClock->AddRef();
    return S_OK;
}

HRESULT CBaseFilter::FindPin(LPCWSTR id, IPin** pin) {
    if (!id || !pin) return E_POINTER;
    *pin = nullptr;
    CAutoLock hold(m_pLock);
    for (int i = 0; i < GetPinCount(); ++i)
        if (CBasePin* p = GetPin(i); p && p->Name() == id) {
            *pin = p;
            p->AddRef();
            return S_OK;
        }
    return VFW_E_NOT_FOUND;
}

HRESULT CBaseFilter::QueryFilterInfo(FILTER_INFO* info) {
    if (!info) return E_POINTER;
    copy_name(info->achName, MAX_FILTER_NAME, m_name);
    info->pGraph = m_pGraph;
    if (m_pGraph) m_pGraph->AddRef();
    return S_OK;
}

HRESULT CBaseFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
    CAutoLock hold(m_pLock);
    m_pGraph = graph;
    m_pSink = nullptr;
    if (graph) {
        // The graph outlives the filter's membership: keep the sink without a reference.
        IMediaEventSink* sink = nullptr;
        if (SUCCEEDED(graph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&sink)))) {
            m_pSink = sink;
            sink->Release();
        }
    }
    m_name = wide_copy(name);
    return S_OK;
}

HRESULT CBaseFilter::NotifyEvent(LONG code, LONG_PTR param1, LONG_PTR param2) {
    IMediaEventSink* sink = m_pSink;
    return sink ? sink->Notify(code, param1, param2) : E_NOTIMPL;
}

CBasePin::CBasePin(const char*, CBaseFilter* filter, CCritSec* lock, HRESULT*, LPCWSTR name,
                   PIN_DIRECTION dir)
    : m_pFilter(filter), m_pLock(lock), m_name(wide_copy(name)), m_dir(dir) {}

CBasePin::~CBasePin() {
    if (m_Connected) m_Connected->Release();
}

HRESULT CBasePin::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IPin) return GetInterface(static_cast<IPin*>(this), ppv);
    return E_NOINTERFACE;
}

ULONG CBasePin::AddRef() {
    return m_pFilter->AddRef();
}

ULONG CBasePin::Release() {
    return m_pFilter->Release();
}

HRESULT CBasePin::CheckConnect(IPin* pin) {
    PIN_DIRECTION other;
    if (FAILED(pin->QueryDirection(&other))) return E_FAIL;
    return other == m_dir ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT CBasePin::GetMediaType(int, CMediaType*) {
    return VFW_S_NO_MORE_ITEMS;
}

HRESULT CBasePin::SetMediaType(const CMediaType* mt) {
    m_mt = *mt;
    return S_OK;
}

HRESULT CBasePin::AttemptConnection(IPin* receive, const CMediaType* mt) {
    if (FAILED(CheckMediaType(mt))) return VFW_E_TYPE_NOT_ACCEPTED;
    HRESULT hr = SetMediaType(mt);
    if (SUCCEEDED(hr)) {
        m_Connected = receive;
        m_Connected->AddRef();
        hr = receive->ReceiveConnection(this, mt);
        if (SUCCEEDED(hr)) {
            hr = CompleteConnect(receive);
            if (SUCCEEDED(hr)) return S_OK;
            receive->Disconnect();
        }
        m_Connected->Release();
        m_Connected = nullptr;
    }
    BreakConnect();
    return hr;
}

HRESULT CBasePin::Connect(IPin* receive, const AM_MEDIA_TYPE* pmt) {
    if (!receive) return E_POINTER;
    CAutoLock hold(m_pLock);
    if (m_Connected) return VFW_E_ALREADY_CONNECTED;
    if (!m_pFilter->IsStopped()) return VFW_E_NOT_STOPPED;
    if (const HRESULT hr = CheckConnect(receive); FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    const CMediaType wanted = pmt ? CMediaType(*pmt) : CMediaType();
    if (pmt && !wanted.IsPartiallySpecified()) return AttemptConnection(receive, &wanted);
    for (int position = 0;; ++position) {
        CMediaType offer;
        if (GetMediaType(position, &offer) != S_OK) break;
        if (pmt && !offer.MatchesPartial(&wanted)) continue;
        if (SUCCEEDED(AttemptConnection(receive, &offer))) return S_OK;
    }
    return VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT CBasePin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* pmt) {
    if (!connector || !pmt) return E_POINTER;
    CAutoLock hold(m_pLock);
    if (m_Connected) return VFW_E_ALREADY_CONNECTED;
    if (!m_pFilter->IsStopped()) return VFW_E_NOT_STOPPED;
    HRESULT hr = CheckConnect(connector);
    const CMediaType mt(*pmt);
    if (SUCCEEDED(hr) && FAILED(CheckMediaType(&mt))) hr = VFW_E_TYPE_NOT_ACCEPTED;
    if (SUCCEEDED(hr)) {
        m_Connected = connector;
        m_Connected->AddRef();
        hr = SetMediaType(&mt);
        if (SUCCEEDED(hr)) hr = CompleteConnect(connector);
        if (SUCCEEDED(hr)) return S_OK;
        m_Connected->Release();
        m_Connected = nullptr;
    }
    BreakConnect();
    return hr;
}

HRESULT CBasePin::Disconnect() {
    CAutoLock hold(m_pLock);
    if (!m_Connected) return S_FALSE;
    BreakConnect();
    m_Connected->Release();
    m_Connected = nullptr;
    m_mt.InitMediaType();
    return S_OK;
}

HRESULT CBasePin::ConnectedTo(IPin** pin) {
    if (!pin) return E_POINTER;
    CAutoLock hold(m_pLock);
    *pin = m_Connected;
    if (!m_Connected) return VFW_E_NOT_CONNECTED;
    m_Connected->AddRef();
    return S_OK;
}

HRESULT CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* mt) {
    if (!mt) return E_POINTER;
    CAutoLock hold(m_pLock);
    if (!m_Connected) {
        *mt = AM_MEDIA_TYPE{};
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(mt, &m_mt);
}

HRESULT CBasePin::QueryPinInfo(PIN_INFO* info) {
    if (!info) return E_POINTER;
    info->pFilter = m_pFilter;
    m_pFilter->AddRef();
    info->dir = m_dir;
    copy_name(info->achName, MAX_PIN_NAME, m_name);
    return S_OK;
}

HRESULT CBasePin::QueryDirection(PIN_DIRECTION* dir) {
    if (!dir) return E_POINTER;
    *dir = m_dir;
    return S_OK;
}

HRESULT CBasePin::QueryAccept(const AM_MEDIA_TYPE* pmt) {
    if (!pmt) return E_POINTER;
    const CMediaType mt(*pmt);
    return SUCCEEDED(CheckMediaType(&mt)) ? S_OK : S_FALSE;
}

HRESULT CBasePin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    m_tStart = start;
    m_tStop = stop;
    m_dRate = rate;
    return S_OK;
}

CBaseInputPin::CBaseInputPin(const char* object_name, CBaseFilter* filter, CCritSec* lock, HRESULT* phr,
                             LPCWSTR name)
    : CBasePin(object_name, filter, lock, phr, name, PINDIR_INPUT) {}

HRESULT CBaseInputPin::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IMemInputPin) return GetInterface(static_cast<IMemInputPin*>(this), ppv);
    return CBasePin::QueryInterface(riid, ppv);
}

HRESULT CBaseInputPin::Receive(IMediaSample* sample) {
    if (!sample) return E_POINTER;
    if (m_bFlushing.load()) return S_FALSE;
    if (m_pFilter->IsStopped()) return VFW_E_WRONG_STATE;
    return S_OK;
}

HRESULT CBaseInputPin::BeginFlush() {
    m_bFlushing = true;
    return S_OK;
}

HRESULT CBaseInputPin::EndFlush() {
    m_bFlushing = false;
    return S_OK;
}

HRESULT CBaseInputPin::Inactive() {
    m_bFlushing = false;
    return S_OK;
}

CBaseOutputPin::CBaseOutputPin(const char* object_name, CBaseFilter* filter, CCritSec* lock, HRESULT* phr,
                               LPCWSTR name)
    : CBasePin(object_name, filter, lock, phr, name, PINDIR_OUTPUT) {}

HRESULT CBaseOutputPin::CompleteConnect(IPin* receive) {
    IMemInputPin* input = nullptr;
    if (FAILED(receive->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input))))
        return E_NOINTERFACE;
    if (m_pInputPin) m_pInputPin->Release();
    m_pInputPin = input;
    return S_OK;
}

HRESULT CBaseOutputPin::BreakConnect() {
    if (m_pInputPin) m_pInputPin->Release();
    m_pInputPin = nullptr;
    return S_OK;
}

HRESULT CBaseOutputPin::Deliver(IMediaSample* sample) {
    return m_pInputPin ? m_pInputPin->Receive(sample) : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverEndOfStream() {
    return m_Connected ? m_Connected->EndOfStream() : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverBeginFlush() {
    return m_Connected ? m_Connected->BeginFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverEndFlush() {
    return m_Connected ? m_Connected->EndFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    NewSegment(start, stop, rate);
    return m_Connected ? m_Connected->NewSegment(start, stop, rate) : VFW_E_NOT_CONNECTED;
}

CRendererInputPin::CRendererInputPin(CBaseRenderer* renderer, HRESULT* phr, LPCWSTR name)
    : CBaseInputPin("renderer input pin", renderer, &renderer->m_InterfaceLock, phr, name),
      m_pRenderer(renderer) {}

HRESULT CRendererInputPin::CheckMediaType(const CMediaType* mt) {
    return m_pRenderer->CheckMediaType(mt);
}

HRESULT CRendererInputPin::SetMediaType(const CMediaType* mt) {
    if (const HRESULT hr = m_pRenderer->SetMediaType(mt); FAILED(hr)) return hr;
    return CBaseInputPin::SetMediaType(mt);
}

HRESULT CRendererInputPin::CompleteConnect(IPin* pin) {
    return m_pRenderer->CompleteConnect(pin);
}

HRESULT CRendererInputPin::BreakConnect() {
    return m_pRenderer->BreakConnect();
}

HRESULT CRendererInputPin::Receive(IMediaSample* sample) {
    if (const HRESULT hr = CBaseInputPin::Receive(sample); hr != S_OK) return hr;
    return m_pRenderer->Receive(sample);
}

HRESULT CRendererInputPin::EndOfStream() {
    return m_pRenderer->EndOfStream();
}

HRESULT CRendererInputPin::BeginFlush() {
    CBaseInputPin::BeginFlush();
    return m_pRenderer->BeginFlush();
}

HRESULT CRendererInputPin::EndFlush() {
    m_pRenderer->EndFlush();
    return CBaseInputPin::EndFlush();
}

CBaseRenderer::CBaseRenderer(REFCLSID clsid, const char* name, LPUNKNOWN outer, HRESULT* phr)
    : CBaseFilter(name, outer, &m_InterfaceLock, clsid, phr) {
    m_pInputPin = new CRendererInputPin(this, phr, u"In");
}

CBaseRenderer::~CBaseRenderer() {
    delete m_pInputPin;
    if (m_schedClock) m_schedClock->Release();
}

HRESULT CBaseRenderer::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IQualityControl) return GetInterface(static_cast<IQualityControl*>(this), ppv);
    if (riid == IID_IAMFilterMiscFlags) return GetInterface(static_cast<IAMFilterMiscFlags*>(this), ppv);
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

CBasePin* CBaseRenderer::GetPin(int n) {
    return n == 0 ? m_pInputPin : nullptr;
}

HRESULT CBaseRenderer::Stop() {
    {
        std::lock_guard hold(m_sched);
        m_schedState = State_Stopped;
        m_gotSample = m_eos = m_eosSent = false;
    }
    m_wake.notify_all();
    return CBaseFilter::Stop();
}

HRESULT CBaseRenderer::Pause() {
    {
        std::lock_guard hold(m_sched);
        // A pause from a running state keeps the frame on show; from stopped it waits for a new one.
        if (m_schedState == State_Stopped) m_gotSample = false;
        m_schedState = State_Paused;
    }
    m_wake.notify_all();
    return CBaseFilter::Pause();
}

HRESULT CBaseRenderer::Run(REFERENCE_TIME tStart) {
    const HRESULT hr = CBaseFilter::Run(tStart);
    {
        std::unique_lock hold(m_sched);
        m_schedState = State_Running;
        m_schedStart = tStart;
        // The stream may have ended while paused: completion is reported once running.
        if (m_eos && !m_eosSent) SendEndOfStream(hold);
    }
    m_wake.notify_all();
    return hr;
}

HRESULT CBaseRenderer::GetState(DWORD msTimeout, FILTER_STATE* state) {
    if (!state) return E_POINTER;
    std::unique_lock hold(m_sched);
    *state = m_schedState;
    if (m_schedState != State_Paused || !m_pInputPin->IsConnected()) return S_OK;
    const auto ready = [this] { return m_gotSample || m_eos || m_schedState != State_Paused; };
    if (msTimeout == INFINITE)
        m_wake.wait(hold, ready);
    else
        m_wake.wait_for(hold, std::chrono::milliseconds(msTimeout), ready);
    *state = m_schedState;
    return ready() ? S_OK : VFW_S_STATE_INTERMEDIATE;
}

HRESULT CBaseRenderer::SetSyncSource(IReferenceClock* clock) {
    {
        std::lock_guard hold(m_sched);
        if (clock) clock->AddRef();
        if (m_schedClock) m_schedClock->Release();
        m_schedClock = clock;
    }
    return CBaseFilter::SetSyncSource(clock);
}

HRESULT CBaseRenderer::Notify(IBaseFilter*, Quality q) {
    IQualityControl* sink = m_pQSink;
    return sink ? sink->Notify(this, q) : E_FAIL;
}

HRESULT CBaseRenderer::SetSink(IQualityControl* sink) {
    m_pQSink = sink;
    return S_OK;
}

REFERENCE_TIME CBaseRenderer::ClockTime() const {
    REFERENCE_TIME now = 0;
    if (m_schedClock) m_schedClock->GetTime(&now);
    return now;
}

bool CBaseRenderer::WaitForRenderTime(std::unique_lock<std::mutex>& hold, bool timed, REFERENCE_TIME start,
                                      REFERENCE_TIME& late) {
    late = 0;
    for (;;) {
        if (m_flushing || m_schedState == State_Stopped) return false;
        if (m_schedState == State_Paused) {
            // The first sample after a pause, stop or flush is shown at once; the rest wait for Run.
            if (!m_gotSample) return true;
            m_wake.wait(hold);
            continue;
        }
        if (!m_schedClock || !timed) return true;
        const REFERENCE_TIME due = m_schedStart + start;
        const REFERENCE_TIME now = ClockTime();
        if (now >= due) {
            late = now - due;
            return true;
        }
        m_wake.wait_for(hold, std::chrono::nanoseconds((due - now) * 100));
    }
}

HRESULT CBaseRenderer::Receive(IMediaSample* sample) {
    REFERENCE_TIME start = 0, end = 0, late = 0;
    const bool timed = SUCCEEDED(sample->GetTime(&start, &end));
    {
        std::unique_lock hold(m_sched);
        if (m_eos) return VFW_E_WRONG_STATE;
        if (!WaitForRenderTime(hold, timed, start, late)) return VFW_E_WRONG_STATE;
        if (timed) m_lastEnd = end;
    }
    OnRenderStart(sample);
    const HRESULT hr = DoRenderSample(sample);
    OnRenderEnd(sample, late, SUCCEEDED(hr));
    {
        // Counted once shown, so that a paused graph reports ready only with its frame in place.
        std::lock_guard hold(m_sched);
        m_gotSample = true;
    }
    m_wake.notify_all();
    if (IQualityControl* sink = m_pQSink.load(); late > 0 && sink)
        sink->Notify(this, Quality{Flood, 1000, late, start});
    return hr;
}

void CBaseRenderer::SendEndOfStream(std::unique_lock<std::mutex>& hold) {
    // The last frame stays on show for its duration before the stream counts as complete.
    if (m_schedClock) {
        const REFERENCE_TIME due = m_schedStart + m_lastEnd;
        for (REFERENCE_TIME now = ClockTime(); now < due && m_schedState == State_Running && !m_flushing;
             now = ClockTime())
            m_wake.wait_for(hold, std::chrono::nanoseconds((due - now) * 100));
        if (m_schedState != State_Running || m_flushing) return;
    }
    m_eosSent = true;
    hold.unlock();
    NotifyEvent(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
    hold.lock();
}

HRESULT CBaseRenderer::EndOfStream() {
    std::unique_lock hold(m_sched);
    if (m_schedState == State_Stopped || m_flushing) return S_OK;
    m_eos = true;
    m_wake.notify_all();
    if (m_schedState == State_Running) SendEndOfStream(hold);
    return S_OK;
}

HRESULT CBaseRenderer::BeginFlush() {
    {
        std::lock_guard hold(m_sched);
        m_flushing = true;
    }
    m_wake.notify_all();
    return S_OK;
}

HRESULT CBaseRenderer::EndFlush() {
    std::lock_guard hold(m_sched);
    m_flushing = false;
    m_gotSample = m_eos = m_eosSent = false;
    return S_OK;
}

CBaseVideoRenderer::CBaseVideoRenderer(REFCLSID clsid, const char* name, LPUNKNOWN outer, HRESULT* phr)
    : CBaseRenderer(clsid, name, outer, phr) {}

HRESULT CBaseVideoRenderer::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IQualProp) return GetInterface(static_cast<IQualProp*>(this), ppv);
    return CBaseRenderer::NonDelegatingQueryInterface(riid, ppv);
}

void CBaseVideoRenderer::OnRenderEnd(IMediaSample*, REFERENCE_TIME late, bool drawn) {
    std::lock_guard hold(m_stats);
    if (!drawn) {
        ++m_dropped;
        return;
    }
    const REFERENCE_TIME now = steady_now();
    if (m_lastDrawn >= 0) {
        const double gap = static_cast<double>(now - m_lastDrawn) / MILLISECONDS;
        m_gapSum += gap;
        m_gapSquares += gap * gap;
    } else {
        m_firstDrawn = now;
    }
    m_lastDrawn = now;
    const double late_ms = static_cast<double>(late) / MILLISECONDS;
    m_lateSum += late_ms;
    m_lateSquares += late_ms * late_ms;
    ++m_drawn;
}

HRESULT CBaseVideoRenderer::get_FramesDroppedInRenderer(int* frames) {
    if (!frames) return E_POINTER;
    std::lock_guard hold(m_stats);
    *frames = m_dropped;
    return S_OK;
}

HRESULT CBaseVideoRenderer::get_FramesDrawn(int* frames) {
    if (!frames) return E_POINTER;
    std::lock_guard hold(m_stats);
    *frames = m_drawn;
    return S_OK;
}

HRESULT CBaseVideoRenderer::get_AvgFrameRate(int* hundredths) {
    if (!hundredths) return E_POINTER;
    std::lock_guard hold(m_stats);
    const REFERENCE_TIME span = m_lastDrawn - m_firstDrawn;
    *hundredths = m_drawn > 1 && span > 0 ? static_cast<int>(100.0 * (m_drawn - 1) * UNITS / span) : 0;
    return S_OK;
}

namespace {
int deviation(double sum, double squares, int n) {
    if (n < 2) return 0;
    const double mean = sum / n;
    return static_cast<int>(std::sqrt(std::max(0.0, squares / n - mean * mean)));
}
} // namespace

HRESULT CBaseVideoRenderer::get_Jitter(int* ms) {
    if (!ms) return E_POINTER;
    std::lock_guard hold(m_stats);
    *ms = deviation(m_gapSum, m_gapSquares, m_drawn - 1);
    return S_OK;
}

HRESULT CBaseVideoRenderer::get_AvgSyncOffset(int* ms) {
    if (!ms) return E_POINTER;
    std::lock_guard hold(m_stats);
    *ms = m_drawn ? static_cast<int>(m_lateSum / m_drawn) : 0;
    return S_OK;
}

HRESULT CBaseVideoRenderer::get_DevSyncOffset(int* ms) {
    if (!ms) return E_POINTER;
    std::lock_guard hold(m_stats);
    *ms = deviation(m_lateSum, m_lateSquares, m_drawn);
    return S_OK;
}
