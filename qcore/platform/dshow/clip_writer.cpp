#include <qcore/platform/dshow/clip_writer.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <vector>

namespace qcore {
namespace {

void colour_bars(int n, uint8_t* bgr, int pitch, int width, int height) {
    static const uint8_t bars[8][3] = {{255, 255, 255}, {0, 255, 255}, {255, 255, 0}, {0, 255, 0},
                                       {255, 0, 255},   {0, 0, 255},   {255, 0, 0},   {0, 0, 0}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint8_t* c = bars[((x + n * 4) * 8 / std::max(width, 1)) % 8];
            uint8_t* p = bgr + static_cast<ptrdiff_t>(y) * pitch + x * 3;
            p[0] = c[0], p[1] = c[1], p[2] = c[2];
        }
}

class ClipWriter {
public:
    ~ClipWriter() {
        avcodec_free_context(&encoder_);
        av_frame_free(&frame_);
        av_packet_free(&packet_);
        sws_freeContext(scaler_);
        if (output_ && !(output_->oformat->flags & AVFMT_NOFILE)) avio_closep(&output_->pb);
        avformat_free_context(output_);
    }

    bool write(const char* path, const GeneratedClip& clip) {
        clip_ = clip;
        if (clip.width <= 0 || clip.height <= 0 || clip.frames <= 0 || clip.fps <= 0) return false;
        if (avformat_alloc_output_context2(&output_, nullptr, nullptr, path) < 0 || !output_) return false;
        codec_ = avcodec_find_encoder_by_name(clip.codec);
        packet_ = av_packet_alloc();
        if (!codec_ || !packet_ || !open_encoder(clip.width, clip.height)) return false;
        stream_ = avformat_new_stream(output_, nullptr);
        if (!stream_ || avcodec_parameters_from_context(stream_->codecpar, encoder_) < 0) return false;
        stream_->time_base = encoder_->time_base;
        if (!(output_->oformat->flags & AVFMT_NOFILE) && avio_open(&output_->pb, path, AVIO_FLAG_WRITE) < 0)
            return false;
        if (avformat_write_header(output_, nullptr) < 0) return false;
        for (int n = 0; n < clip.frames; ++n) {
            if (clip.resize_at > 0 && n == clip.resize_at) {
                if (!encode(nullptr) || !open_encoder(clip.resize_width, clip.resize_height)) return false;
            }
            if (!encode_frame(n)) return false;
        }
        return encode(nullptr) && av_write_trailer(output_) >= 0;
    }

private:
    bool open_encoder(int width, int height) {
        avcodec_free_context(&encoder_);
        av_frame_free(&frame_);
        if (width <= 0 || height <= 0) return false;
        encoder_ = avcodec_alloc_context3(codec_);
        frame_ = av_frame_alloc();
        if (!encoder_ || !frame_) return false;
        encoder_->width = width;
        encoder_->height = height;
        encoder_->time_base = AVRational{1, clip_.fps};
        encoder_->framerate = AVRational{clip_.fps, 1};
        encoder_->gop_size = clip_.gop;
        encoder_->max_b_frames = 0;
        encoder_->thread_count = 1;
        encoder_->pix_fmt = codec_->pix_fmts ? codec_->pix_fmts[0] : AV_PIX_FMT_YUV420P;
        encoder_->flags |= AV_CODEC_FLAG_QSCALE;
        encoder_->global_quality = FF_QP2LAMBDA * clip_.quality;
        // A size change needs its headers in the stream itself, so only a clip of one size puts them in
        // the container.
        if ((output_->oformat->flags & AVFMT_GLOBALHEADER) && clip_.resize_at <= 0)
            encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (avcodec_open2(encoder_, codec_, nullptr) < 0) return false;
        frame_->format = encoder_->pix_fmt;
        frame_->width = width;
        frame_->height = height;
        if (av_frame_get_buffer(frame_, 0) < 0) return false;
        scaler_ = sws_getCachedContext(scaler_, width, height, AV_PIX_FMT_BGR24, width, height,
                                       encoder_->pix_fmt, SWS_BILINEAR, nullptr, nullptr, nullptr);
        return scaler_ != nullptr;
    }

    bool encode_frame(int n) {
        const int width = encoder_->width, height = encoder_->height;
        const int pitch = width * 3;
        bgr_.assign(static_cast<size_t>(pitch) * height, 0);
        (clip_.paint ? clip_.paint : colour_bars)(n, bgr_.data(), pitch, width, height);
        if (av_frame_make_writable(frame_) < 0) return false;
        const uint8_t* planes[4] = {bgr_.data()};
        const int strides[4] = {pitch};
        sws_scale(scaler_, planes, strides, 0, height, frame_->data, frame_->linesize);
        frame_->pts = n;
        frame_->quality = encoder_->global_quality;
        return encode(frame_);
    }

    // Sends a frame (null: the end) and writes every packet the encoder gives back.
    bool encode(AVFrame* frame) {
        if (avcodec_send_frame(encoder_, frame) < 0) return false;
        for (;;) {
            const int r = avcodec_receive_packet(encoder_, packet_);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
            if (r < 0) return false;
            if (packet_->duration <= 0) packet_->duration = 1; // one frame: the last one keeps its length too
            av_packet_rescale_ts(packet_, encoder_->time_base, stream_->time_base);
            packet_->stream_index = stream_->index;
            if (av_interleaved_write_frame(output_, packet_) < 0) return false;
        }
    }

    GeneratedClip clip_;
    AVFormatContext* output_ = nullptr;
    const AVCodec* codec_ = nullptr;
    AVCodecContext* encoder_ = nullptr;
    AVStream* stream_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    SwsContext* scaler_ = nullptr;
    std::vector<uint8_t> bgr_;
};

} // namespace

bool write_generated_clip(const char* path, const GeneratedClip& clip) {
    if (!path) return false;
    ClipWriter writer;
    return writer.write(path, clip);
}

} // namespace qcore
