#pragma once
// The graph's own filters over FFmpeg: a file source that reads the first video stream of a file and pushes
// its packets from a streaming thread, and a decoder that turns them into bottom-up RGB frames.
#include <qcore/platform/dshow/base_classes.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

struct AVFormatContext;
struct AVCodecContext;
struct AVFrame;
struct SwsContext;

namespace qcore::detail::dshow {

// Compressed video as the source hands it on: this format block followed by the codec's extra data.
inline constexpr GUID MEDIASUBTYPE_CodecStream = {
    0x9d1c5a10, 0x3e4b, 0x4f61, {0x8a, 0x27, 0x51, 0x0c, 0x6e, 0x93, 0x2d, 0x41}};
inline constexpr GUID FORMAT_CodecParameters = {
    0x9d1c5a11, 0x3e4b, 0x4f61, {0x8a, 0x27, 0x51, 0x0c, 0x6e, 0x93, 0x2d, 0x41}};

struct CODEC_FORMAT {
    int32_t codec_id;
    uint32_t codec_tag;
    int32_t pixel_format;
    int32_t width;
    int32_t height;
    int32_t profile;
    int32_t level;
    int32_t bits_per_coded_sample;
    int32_t extradata_size;
    REFERENCE_TIME avg_time_per_frame;
};

inline constexpr CLSID CLSID_FileSource = {
    0x9d1c5a12, 0x3e4b, 0x4f61, {0x8a, 0x27, 0x51, 0x0c, 0x6e, 0x93, 0x2d, 0x41}};
inline constexpr CLSID CLSID_VideoDecoder = {
    0x9d1c5a13, 0x3e4b, 0x4f61, {0x8a, 0x27, 0x51, 0x0c, 0x6e, 0x93, 0x2d, 0x41}};

class FileSource;

class SourcePin final : public CBaseOutputPin {
public:
    SourcePin(FileSource* source, CCritSec* lock);
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT Active() override;
    HRESULT Inactive() override;

private:
    FileSource* source_;
};

class FileSource final : public CBaseFilter {
public:
    // Opens `path` (a path the operating system sees); the filter comes with one reference.
    static HRESULT Create(const std::string& path, FileSource** out);

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override;

    REFERENCE_TIME Duration() const { return duration_; }
    // Where the next start (or, while streaming, the current segment) begins.
    REFERENCE_TIME SegmentStart() const { return segment_start_; }
    // Moves the stream to `time`: while streaming, flushes the filters downstream and goes on from there.
    HRESULT Seek(REFERENCE_TIME time);
    const CMediaType& StreamType() const { return type_; }

private:
    friend class SourcePin;
    FileSource();
    ~FileSource() override;

    HRESULT StartStreaming();
    void StopStreaming();
    void Stream();

    CCritSec lock_;
    std::unique_ptr<SourcePin> pin_;
    AVFormatContext* format_ = nullptr;
    int stream_ = -1;
    REFERENCE_TIME duration_ = 0;
    REFERENCE_TIME stream_origin_ = 0; // the stream's first time, in 100 ns units
    CMediaType type_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    REFERENCE_TIME segment_start_ = 0;
    std::atomic<REFERENCE_TIME> position_{0};
    bool seek_pending_ = false;
};

class VideoDecoder;

class DecoderInputPin final : public CBaseInputPin {
public:
    DecoderInputPin(VideoDecoder* decoder, CCritSec* lock);
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT SetMediaType(const CMediaType* mt) override;
    HRESULT BreakConnect() override;
    HRESULT Active() override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

private:
    VideoDecoder* decoder_;
};

class DecoderOutputPin final : public CBaseOutputPin {
public:
    DecoderOutputPin(VideoDecoder* decoder, CCritSec* lock);
    HRESULT CheckConnect(IPin* pin) override;
    HRESULT CheckMediaType(const CMediaType* mt) override;
    // 32-bit RGB first, then 24-bit, both bottom-up at the stream's size.
    HRESULT GetMediaType(int position, CMediaType* mt) override;

private:
    VideoDecoder* decoder_;
};

class VideoDecoder final : public CBaseFilter {
public:
    // A new decoder with one reference.
    static VideoDecoder* Create();

    int GetPinCount() override { return 2; }
    CBasePin* GetPin(int n) override;

private:
    friend class DecoderInputPin;
    friend class DecoderOutputPin;
    VideoDecoder();
    ~VideoDecoder() override;

    HRESULT Open(const CMediaType* mt);
    void Close();
    HRESULT Decode(IMediaSample* sample);
    void Drain();
    void DeliverFrames();
    void DeliverFrame();

    CCritSec lock_;
    std::unique_ptr<DecoderInputPin> input_;
    std::unique_ptr<DecoderOutputPin> output_;
    AVCodecContext* codec_ = nullptr;
    AVFrame* frame_ = nullptr;
    SwsContext* scaler_ = nullptr;
    CMediaSample* sample_ = nullptr; // reused for every frame: delivery is synchronous
    int width_ = 0, height_ = 0;
    REFERENCE_TIME frame_time_ = 0;
};

} // namespace qcore::detail::dshow
