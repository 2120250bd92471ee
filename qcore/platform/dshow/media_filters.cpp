#include <qcore/platform/dshow/media_filters.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libswscale/swscale.h>
}

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace qcore::detail::dshow {
namespace {

constexpr AVRational kReferenceTimeBase{1, static_cast<int>(UNITS)};
constexpr REFERENCE_TIME kDefaultFrameTime = 40 * MILLISECONDS;
// About three years: far beyond any real stream, far below overflow when times are added up.
constexpr REFERENCE_TIME kMaxStreamTime = REFERENCE_TIME{1} << 50;

// Codecs that turn text into pictures: a text file is not a video.
bool text_art(AVCodecID id) {
    return id == AV_CODEC_ID_ANSI || id == AV_CODEC_ID_BINTEXT || id == AV_CODEC_ID_XBIN ||
           id == AV_CODEC_ID_IDF;
}

HRESULT open_failure(int error) {
    if (error == AVERROR(ENOENT)) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    if (error == AVERROR(EACCES)) return E_ACCESSDENIED;
    if (error == AVERROR(ENOMEM)) return E_OUTOFMEMORY;
    return VFW_E_UNKNOWN_FILE_TYPE;
}

const CODEC_FORMAT* codec_format(const CMediaType* mt) {
    if (!(mt->majortype == MEDIATYPE_Video) || !(mt->subtype == MEDIASUBTYPE_CodecStream) ||
        !(mt->formattype == FORMAT_CodecParameters) || !mt->pbFormat || mt->cbFormat < sizeof(CODEC_FORMAT))
        return nullptr;
    const auto* f = reinterpret_cast<const CODEC_FORMAT*>(mt->pbFormat);
    if (f->extradata_size < 0 || static_cast<ULONG>(f->extradata_size) != mt->cbFormat - sizeof(CODEC_FORMAT))
        return nullptr;
    if (f->width <= 0 || f->height <= 0) return nullptr;
    return f;
}

LONG rgb_pitch(int width, int bytes) {
    return (width * bytes + 3) & ~3;
}

} // namespace

SourcePin::SourcePin(FileSource* source, CCritSec* lock)
    : CBaseOutputPin("source output pin", source, lock, nullptr, u"Output"), source_(source) {}

HRESULT SourcePin::CheckMediaType(const CMediaType* mt) {
    return mt->MatchesPartial(&source_->type_) && source_->type_.MatchesPartial(mt) ? S_OK : E_FAIL;
}

HRESULT SourcePin::GetMediaType(int position, CMediaType* mt) {
    if (position != 0) return VFW_S_NO_MORE_ITEMS;
    *mt = source_->type_;
    return S_OK;
}

HRESULT SourcePin::Active() {
    return source_->StartStreaming();
}

HRESULT SourcePin::Inactive() {
    source_->StopStreaming();
    // Playing again goes on from where the stream stopped.
    source_->segment_start_ = source_->position_.load();
    source_->seek_pending_ = true;
    return S_OK;
}

FileSource::FileSource() : CBaseFilter("file source", nullptr, &lock_, CLSID_FileSource) {
    pin_ = std::make_unique<SourcePin>(this, &lock_);
}

FileSource::~FileSource() {
    StopStreaming();
    avformat_close_input(&format_);
}

CBasePin* FileSource::GetPin(int n) {
    return n == 0 ? pin_.get() : nullptr;
}

HRESULT FileSource::Create(const std::string& path, FileSource** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (path.empty()) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    // A named pipe or socket would keep the opening thread waiting for its other end.
    struct stat file {};
    if (::stat(path.c_str(), &file) == 0 && (S_ISFIFO(file.st_mode) || S_ISSOCK(file.st_mode)))
        return E_ACCESSDENIED;
    auto* source = new FileSource;
    source->AddRef();
    // Only local files: a playlist inside a file must not reach out to the network.
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    const std::string url = "file:" + path;
    int r = avformat_open_input(&source->format_, url.c_str(), nullptr, &options);
    av_dict_free(&options);
    HRESULT hr = r < 0 ? open_failure(r) : S_OK;
    if (SUCCEEDED(hr) && avformat_find_stream_info(source->format_, nullptr) < 0)
        hr = VFW_E_UNKNOWN_FILE_TYPE;
    if (SUCCEEDED(hr)) {
        source->stream_ = av_find_best_stream(source->format_, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (source->stream_ < 0) hr = VFW_E_UNSUPPORTED_STREAM;
    }
    if (SUCCEEDED(hr)) {
        AVStream* st = source->format_->streams[source->stream_];
        const AVCodecParameters* par = st->codecpar;
        if (par->width <= 0 || par->height <= 0 || par->extradata_size < 0 || text_art(par->codec_id))
            hr = VFW_E_UNSUPPORTED_STREAM;
    }
    if (FAILED(hr)) {
        source->Release();
        return hr;
    }
    AVFormatContext* fmt = source->format_;
    AVStream* st = fmt->streams[source->stream_];
    const AVCodecParameters* par = st->codecpar;
    if (st->start_time != AV_NOPTS_VALUE)
        source->stream_origin_ = std::clamp<REFERENCE_TIME>(
            av_rescale_q(st->start_time, st->time_base, kReferenceTimeBase), -kMaxStreamTime, kMaxStreamTime);
    if (fmt->duration != AV_NOPTS_VALUE && fmt->duration > 0)
        source->duration_ = av_rescale_q(fmt->duration, AVRational{1, AV_TIME_BASE}, kReferenceTimeBase);
    else if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
        source->duration_ = av_rescale_q(st->duration, st->time_base, kReferenceTimeBase);
    source->duration_ = std::clamp<REFERENCE_TIME>(source->duration_, 0, kMaxStreamTime);
    const AVRational rate = av_guess_frame_rate(fmt, st, nullptr);

    CMediaType& mt = source->type_;
    mt.SetType(&MEDIATYPE_Video);
    mt.SetSubtype(&MEDIASUBTYPE_CodecStream);
    mt.SetFormatType(&FORMAT_CodecParameters);
    mt.SetSampleSize(0);
    mt.SetTemporalCompression(TRUE);
    BYTE* block = mt.AllocFormatBuffer(static_cast<ULONG>(sizeof(CODEC_FORMAT) + par->extradata_size));
    if (!block) {
        source->Release();
        return E_OUTOFMEMORY;
    }
    CODEC_FORMAT f{};
    f.codec_id = par->codec_id;
    f.codec_tag = par->codec_tag;
    f.pixel_format = par->format;
    f.width = par->width;
    f.height = par->height;
    f.profile = par->profile;
    f.level = par->level;
    f.bits_per_coded_sample = par->bits_per_coded_sample;
    f.extradata_size = par->extradata_size;
    f.avg_time_per_frame =
        rate.num > 0 && rate.den > 0 ? av_rescale(UNITS, rate.den, rate.num) : kDefaultFrameTime;
    std::memcpy(block, &f, sizeof f);
    if (par->extradata_size > 0) std::memcpy(block + sizeof f, par->extradata, par->extradata_size);
    *out = source;
    return S_OK;
}

HRESULT FileSource::Seek(REFERENCE_TIME time) {
    CAutoLock hold(&lock_);
    time = std::clamp<REFERENCE_TIME>(time, 0, std::max<REFERENCE_TIME>(duration_, 0));
    const bool streaming = thread_.joinable();
    if (streaming) {
        pin_->DeliverBeginFlush();
        StopStreaming();
        pin_->DeliverEndFlush();
    }
    segment_start_ = time;
    position_ = time;
    seek_pending_ = true;
    return streaming ? StartStreaming() : S_OK;
}

HRESULT FileSource::StartStreaming() {
    CAutoLock hold(&lock_);
    if (thread_.joinable()) return S_OK;
    if (seek_pending_) {
        AVStream* st = format_->streams[stream_];
        // Rounded down: the frame that covers the start must come from the key frame before it.
        const int64_t target = av_rescale_q_rnd(segment_start_ + stream_origin_, kReferenceTimeBase,
                                                st->time_base, AV_ROUND_DOWN);
        if (av_seek_frame(format_, stream_, target, AVSEEK_FLAG_BACKWARD) < 0) {
            const int64_t global =
                av_rescale_q(segment_start_, kReferenceTimeBase, AVRational{1, AV_TIME_BASE});
            avformat_seek_file(format_, -1, INT64_MIN, global, global, 0);
        }
        seek_pending_ = false;
    }
    pin_->DeliverNewSegment(segment_start_, duration_, 1.0);
    stop_ = false;
    thread_ = std::thread([this] { Stream(); });
    return S_OK;
}

void FileSource::StopStreaming() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

void FileSource::Stream() {
    AVPacket* packet = av_packet_alloc();
    auto* sample = new CMediaSample;
    sample->AddRef();
    const AVStream* st = format_->streams[stream_];
    while (packet && !stop_.load()) {
        if (av_read_frame(format_, packet) < 0) {
            // The end of the file, or a read error: the stream ends where the readable data ends.
            if (!stop_.load()) pin_->DeliverEndOfStream();
            break;
        }
        if (packet->stream_index != stream_ || packet->size <= 0) {
            av_packet_unref(packet);
            continue;
        }
        sample->Resize(packet->size);
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        std::memcpy(data, packet->data, static_cast<size_t>(packet->size));
        const int64_t pts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        if (pts != AV_NOPTS_VALUE) {
            // A hostile time stamp must not overflow the sums made with it downstream.
            REFERENCE_TIME start =
                std::clamp<REFERENCE_TIME>(av_rescale_q(pts, st->time_base, kReferenceTimeBase),
                                           -kMaxStreamTime, kMaxStreamTime) -
                stream_origin_ - segment_start_;
            REFERENCE_TIME end =
                start +
                std::clamp<REFERENCE_TIME>(av_rescale_q(packet->duration, st->time_base, kReferenceTimeBase),
                                           1, kMaxStreamTime);
            sample->SetTime(&start, &end);
            position_ = std::max<REFERENCE_TIME>(segment_start_ + start, position_.load());
        } else {
            sample->SetTime(nullptr, nullptr);
        }
        sample->SetSyncPoint((packet->flags & AV_PKT_FLAG_KEY) != 0);
        av_packet_unref(packet);
        const HRESULT hr = pin_->Deliver(sample);
        // Downstream flushing or stopped: this run of the stream is over.
        if (hr == S_FALSE || hr == VFW_E_WRONG_STATE || hr == VFW_E_NOT_CONNECTED) break;
    }
    sample->Release();
    av_packet_free(&packet);
}

DecoderInputPin::DecoderInputPin(VideoDecoder* decoder, CCritSec* lock)
    : CBaseInputPin("decoder input pin", decoder, lock, nullptr, u"XForm In"), decoder_(decoder) {}

HRESULT DecoderInputPin::CheckMediaType(const CMediaType* mt) {
    const CODEC_FORMAT* f = codec_format(mt);
    if (!f) return VFW_E_TYPE_NOT_ACCEPTED;
    return avcodec_find_decoder(static_cast<AVCodecID>(f->codec_id)) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT DecoderInputPin::SetMediaType(const CMediaType* mt) {
    if (const HRESULT hr = decoder_->Open(mt); FAILED(hr)) return hr;
    return CBaseInputPin::SetMediaType(mt);
}

HRESULT DecoderInputPin::BreakConnect() {
    decoder_->Close();
    return S_OK;
}

HRESULT DecoderInputPin::Active() {
    // Nothing decoded before a stop belongs to the next run.
    if (decoder_->codec_) avcodec_flush_buffers(decoder_->codec_);
    return S_OK;
}

HRESULT DecoderInputPin::Receive(IMediaSample* sample) {
    if (const HRESULT hr = CBaseInputPin::Receive(sample); hr != S_OK) return hr;
    return decoder_->Decode(sample);
}

HRESULT DecoderInputPin::EndOfStream() {
    if (IsFlushing()) return S_OK;
    decoder_->Drain();
    return decoder_->output_->DeliverEndOfStream();
}

HRESULT DecoderInputPin::BeginFlush() {
    CBaseInputPin::BeginFlush();
    return decoder_->output_->DeliverBeginFlush();
}

HRESULT DecoderInputPin::EndFlush() {
    if (decoder_->codec_) avcodec_flush_buffers(decoder_->codec_);
    decoder_->output_->DeliverEndFlush();
    return CBaseInputPin::EndFlush();
}

HRESULT DecoderInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    CBaseInputPin::NewSegment(start, stop, rate);
    return decoder_->output_->DeliverNewSegment(start, stop, rate);
}

DecoderOutputPin::DecoderOutputPin(VideoDecoder* decoder, CCritSec* lock)
    : CBaseOutputPin("decoder output pin", decoder, lock, nullptr, u"XForm Out"), decoder_(decoder) {}

HRESULT DecoderOutputPin::CheckConnect(IPin* pin) {
    if (!decoder_->input_->IsConnected()) return VFW_E_NOT_CONNECTED;
    return CBaseOutputPin::CheckConnect(pin);
}

HRESULT DecoderOutputPin::CheckMediaType(const CMediaType* mt) {
    if (!(mt->majortype == MEDIATYPE_Video) || !(mt->formattype == FORMAT_VideoInfo)) return E_FAIL;
    if (!(mt->subtype == MEDIASUBTYPE_RGB24) && !(mt->subtype == MEDIASUBTYPE_RGB32)) return E_FAIL;
    if (!mt->pbFormat || mt->cbFormat < sizeof(VIDEOINFOHEADER)) return E_FAIL;
    const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt->pbFormat);
    const int bits = mt->subtype == MEDIASUBTYPE_RGB24 ? 24 : 32;
    if (vih->bmiHeader.biBitCount != bits || vih->bmiHeader.biWidth != decoder_->width_) return E_FAIL;
    return std::labs(vih->bmiHeader.biHeight) == decoder_->height_ ? S_OK : E_FAIL;
}

HRESULT DecoderOutputPin::GetMediaType(int position, CMediaType* mt) {
    if (position < 0) return E_INVALIDARG;
    if (position > 1) return VFW_S_NO_MORE_ITEMS;
    const int bytes = position == 0 ? 4 : 3;
    const LONG pitch = rgb_pitch(decoder_->width_, bytes);
    mt->InitMediaType();
    mt->SetType(&MEDIATYPE_Video);
    mt->SetSubtype(position == 0 ? &MEDIASUBTYPE_RGB32 : &MEDIASUBTYPE_RGB24);
    mt->SetFormatType(&FORMAT_VideoInfo);
    mt->SetTemporalCompression(FALSE);
    mt->SetSampleSize(static_cast<ULONG>(pitch) * static_cast<ULONG>(decoder_->height_));
    auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt->AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    if (!vih) return E_OUTOFMEMORY;
    vih->rcSource = {0, 0, decoder_->width_, decoder_->height_};
    vih->rcTarget = vih->rcSource;
    vih->AvgTimePerFrame = decoder_->frame_time_;
    BITMAPINFOHEADER& bih = vih->bmiHeader;
    bih.biSize = sizeof(BITMAPINFOHEADER);
    bih.biWidth = decoder_->width_;
    bih.biHeight = decoder_->height_; // positive: bottom-up rows
    bih.biPlanes = 1;
    bih.biBitCount = static_cast<WORD>(bytes * 8);
    bih.biSizeImage = mt->lSampleSize;
    return S_OK;
}

VideoDecoder::VideoDecoder() : CBaseFilter("video decoder", nullptr, &lock_, CLSID_VideoDecoder) {
    input_ = std::make_unique<DecoderInputPin>(this, &lock_);
    output_ = std::make_unique<DecoderOutputPin>(this, &lock_);
}

VideoDecoder::~VideoDecoder() {
    Close();
}

VideoDecoder* VideoDecoder::Create() {
    auto* decoder = new VideoDecoder;
    decoder->AddRef();
    return decoder;
}

CBasePin* VideoDecoder::GetPin(int n) {
    if (n == 0) return input_.get();
    if (n == 1) return output_.get();
    return nullptr;
}

HRESULT VideoDecoder::Open(const CMediaType* mt) {
    Close();
    const CODEC_FORMAT* f = codec_format(mt);
    const AVCodec* codec = f ? avcodec_find_decoder(static_cast<AVCodecID>(f->codec_id)) : nullptr;
    if (!codec) return VFW_E_TYPE_NOT_ACCEPTED;
    codec_ = avcodec_alloc_context3(codec);
    frame_ = av_frame_alloc();
    if (!codec_ || !frame_) {
        Close();
        return E_OUTOFMEMORY;
    }
    codec_->codec_tag = f->codec_tag;
    codec_->width = f->width;
    codec_->height = f->height;
    codec_->pix_fmt = static_cast<AVPixelFormat>(f->pixel_format);
    codec_->profile = f->profile;
    codec_->level = f->level;
    codec_->bits_per_coded_sample = f->bits_per_coded_sample;
    codec_->pkt_timebase = kReferenceTimeBase;
    codec_->thread_count = 1;
    if (f->extradata_size > 0) {
        codec_->extradata = static_cast<uint8_t*>(
            av_mallocz(static_cast<size_t>(f->extradata_size) + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!codec_->extradata) {
            Close();
            return E_OUTOFMEMORY;
        }
        std::memcpy(codec_->extradata, mt->pbFormat + sizeof(CODEC_FORMAT),
                    static_cast<size_t>(f->extradata_size));
        codec_->extradata_size = f->extradata_size;
    }
    if (avcodec_open2(codec_, codec, nullptr) < 0) {
        Close();
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    width_ = f->width;
    height_ = f->height;
    frame_time_ = f->avg_time_per_frame > 0 && f->avg_time_per_frame <= 10 * UNITS ? f->avg_time_per_frame
                                                                                   : kDefaultFrameTime;
    sample_ = new CMediaSample;
    sample_->AddRef();
    return S_OK;
}

void VideoDecoder::Close() {
    avcodec_free_context(&codec_);
    av_frame_free(&frame_);
    sws_freeContext(scaler_);
    scaler_ = nullptr;
    if (sample_) sample_->Release();
    sample_ = nullptr;
    width_ = height_ = 0;
}

HRESULT VideoDecoder::Decode(IMediaSample* sample) {
    if (!codec_ || !output_->IsConnected()) return VFW_E_NOT_CONNECTED;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    AVPacket* packet = av_packet_alloc();
    if (!packet) return E_OUTOFMEMORY;
    // The packet borrows the sample's bytes; the decoder copies what it keeps.
    packet->data = data;
    packet->size = sample->GetActualDataLength();
    REFERENCE_TIME start = 0, end = 0;
    if (SUCCEEDED(sample->GetTime(&start, &end))) packet->pts = start;
    if (sample->IsSyncPoint() == S_OK) packet->flags |= AV_PKT_FLAG_KEY;
    // A packet the decoder refuses (corrupt data) is dropped; the stream goes on.
    if (avcodec_send_packet(codec_, packet) >= 0) DeliverFrames();
    av_packet_free(&packet);
    if (input_->IsFlushing()) return S_FALSE;
    return IsStopped() ? VFW_E_WRONG_STATE : S_OK;
}

void VideoDecoder::Drain() {
    if (!codec_) return;
    if (avcodec_send_packet(codec_, nullptr) >= 0) DeliverFrames();
    avcodec_flush_buffers(codec_);
}

void VideoDecoder::DeliverFrames() {
    while (avcodec_receive_frame(codec_, frame_) >= 0) {
        if (!input_->IsFlushing()) DeliverFrame();
        av_frame_unref(frame_);
    }
}

void VideoDecoder::DeliverFrame() {
    const bool timed = frame_->best_effort_timestamp != AV_NOPTS_VALUE;
    REFERENCE_TIME start =
        std::clamp<REFERENCE_TIME>(frame_->best_effort_timestamp, -kMaxStreamTime, kMaxStreamTime);
    // Frames that end before the segment starts only lead up to it (after a seek).
    if (timed && start + frame_time_ <= 0) return;
    if (frame_->width <= 0 || frame_->height <= 0) return;
    const CMediaType& mt = output_->CurrentMediaType();
    const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat);
    const bool rgb24 = mt.subtype == MEDIASUBTYPE_RGB24;
    const int bytes = rgb24 ? 3 : 4;
    // Frames of another size (the stream changed its size) are scaled to the connected size.
    scaler_ = sws_getCachedContext(
        scaler_, frame_->width, frame_->height, static_cast<AVPixelFormat>(frame_->format), width_, height_,
        rgb24 ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!scaler_) return;
    const LONG pitch = rgb_pitch(width_, bytes);
    sample_->Resize(pitch * height_);
    BYTE* out = nullptr;
    sample_->GetPointer(&out);
    const bool bottom_up = vih->bmiHeader.biHeight > 0;
    uint8_t* planes[4] = {bottom_up ? out + static_cast<ptrdiff_t>(height_ - 1) * pitch : out};
    int strides[4] = {bottom_up ? -pitch : pitch};
    if (sws_scale(scaler_, frame_->data, frame_->linesize, 0, frame_->height, planes, strides) != height_)
        return;
    if (timed) {
        REFERENCE_TIME end = start + frame_time_;
        sample_->SetTime(&start, &end);
    } else {
        sample_->SetTime(nullptr, nullptr);
    }
    sample_->SetSyncPoint(TRUE);
    output_->Deliver(sample_);
}

} // namespace qcore::detail::dshow
