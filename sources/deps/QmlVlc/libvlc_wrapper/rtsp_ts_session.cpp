// SPDX-License-Identifier: GPL-2.0-or-later
#include "rtsp_ts_session.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/error.h>
}

namespace vlc {

namespace {

    using clock = std::chrono::steady_clock;

    // Past this the oldest unread chunks are dropped: a reader that stopped
    // reading (a paused player) must not make a live stream grow without bound.
    constexpr std::size_t queue_limit = 4 * 1024 * 1024;

    std::string error_text(int err)
    {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(err, text, sizeof text);
        return text;
    }

    void log_line(const std::string& line) { std::fprintf(stderr, "rtsp input: %s\n", line.c_str()); }

    // Codecs that an MPEG transport stream carries and libvlc's TS demuxer
    // decodes; anything else (G.711 audio, metadata tracks) is left out.
    bool carried_in_ts(const AVCodecParameters* p)
    {
        switch (p->codec_id) {
        case AV_CODEC_ID_H264:
        case AV_CODEC_ID_HEVC:
        case AV_CODEC_ID_MPEG2VIDEO:
        case AV_CODEC_ID_MPEG4:
        case AV_CODEC_ID_AAC:
        case AV_CODEC_ID_MP2:
        case AV_CODEC_ID_MP3:
        case AV_CODEC_ID_AC3:
        case AV_CODEC_ID_EAC3:
        case AV_CODEC_ID_OPUS:
            return true;
        default:
            return false;
        }
    }

} // namespace

struct rtsp_ts_session::shared {
    shared(std::string a, timeouts t)
        : address(std::move(a))
        , limits(t)
    {
    }

    const std::string address;
    const timeouts limits;

    std::atomic<bool> abort { false };
    clock::time_point abort_time; // under lock
    // When the blocking libavformat call in progress gives up (worker only).
    clock::time_point deadline = clock::time_point::max();

    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::vector<std::uint8_t>> chunks;
    std::size_t queued = 0;
    std::size_t offset = 0; // bytes of the front chunk already read
    std::atomic<outcome> result { outcome::running };
    bool worker_done = false;

    void finish(outcome o)
    {
        std::lock_guard<std::mutex> guard(lock);
        if (abort && clock::now() - abort_time > std::chrono::seconds(2))
            log_line("a connection attempt did not stop in time; it ends on its own");
        outcome expected = outcome::running;
        result.compare_exchange_strong(expected, o);
        worker_done = true;
        changed.notify_all();
    }

    static int interrupt(void* opaque)
    {
        auto* s = static_cast<shared*>(opaque);
        return s->abort.load() || clock::now() > s->deadline;
    }

#if LIBAVFORMAT_VERSION_MAJOR >= 61
    static int write(void* opaque, const std::uint8_t* buf, int size)
#else
    static int write(void* opaque, std::uint8_t* buf, int size)
#endif
    {
        auto* s = static_cast<shared*>(opaque);
        std::lock_guard<std::mutex> guard(s->lock);
        s->chunks.emplace_back(buf, buf + size);
        s->queued += std::size_t(size);
        // Whole chunks only, never the one being read: the chunks are whole
        // transport packets, so the stream stays aligned on packets.
        while (s->queued > queue_limit && s->chunks.size() > 1 && s->offset == 0) {
            s->queued -= s->chunks.front().size();
            s->chunks.pop_front();
        }
        s->changed.notify_all();
        return size;
    }
};

rtsp_ts_session::rtsp_ts_session(std::string address, timeouts limits)
    : _shared(std::make_shared<shared>(std::move(address), limits))
{
}

rtsp_ts_session::~rtsp_ts_session() { stop(); }

void rtsp_ts_session::start()
{
    if (!_worker.joinable())
        _worker = std::thread(&rtsp_ts_session::run, _shared);
}

rtsp_ts_session::outcome rtsp_ts_session::result() const { return _shared->result.load(); }

std::size_t rtsp_ts_session::read(std::uint8_t* buf, std::size_t len)
{
    shared& s = *_shared;
    std::unique_lock<std::mutex> guard(s.lock);
    s.changed.wait_for(
        guard, s.limits.keepalive, [&s] { return !s.chunks.empty() || s.worker_done || s.abort.load(); });
    if (s.chunks.empty()) {
        // Once stopped, null packets rather than the end: libvlc is about to
        // stop this input, and an end now would report the media as played out.
        if ((s.worker_done && !s.abort) || len == 0)
            return 0;
        // A null packet (PID 0x1FFF): no chunk is half read, so the stream is
        // on a packet boundary here.
        std::vector<std::uint8_t> null_packet(ts_packet_size, 0xFF);
        null_packet[0] = 0x47;
        null_packet[1] = 0x1F;
        null_packet[2] = 0xFF;
        null_packet[3] = 0x10;
        s.chunks.push_back(std::move(null_packet));
        s.queued += ts_packet_size;
    }
    std::size_t copied = 0;
    while (copied < len && !s.chunks.empty()) {
        std::vector<std::uint8_t>& front = s.chunks.front();
        const std::size_t n = std::min(len - copied, front.size() - s.offset);
        std::memcpy(buf + copied, front.data() + s.offset, n);
        copied += n;
        s.offset += n;
        if (s.offset == front.size()) {
            s.queued -= front.size();
            s.chunks.pop_front();
            s.offset = 0;
        }
    }
    return copied;
}

void rtsp_ts_session::interrupt()
{
    std::lock_guard<std::mutex> guard(_shared->lock);
    if (!_shared->abort.exchange(true))
        _shared->abort_time = clock::now();
    _shared->changed.notify_all();
}

void rtsp_ts_session::stop()
{
    interrupt();
    if (!_worker.joinable())
        return;
    // The caller may be the GUI thread, waiting in libvlc's stop for the input
    // thread that runs this: a worker that ends at once is joined, any other
    // (in a name lookup, or between two looks at the interrupt) ends detached
    // and frees its state with the last reference.
    std::unique_lock<std::mutex> guard(_shared->lock);
    const bool done
        = _shared->changed.wait_for(guard, std::chrono::milliseconds(5), [this] { return _shared->worker_done; });
    guard.unlock();
    if (done)
        _worker.join();
    else
        _worker.detach();
}

std::string rtsp_ts_session::redacted(const std::string& address)
{
    const std::size_t scheme = address.find("://");
    if (scheme == std::string::npos)
        return address;
    const std::size_t host = scheme + 3;
    const std::size_t end = address.find_first_of("/?#", host);
    const std::size_t at = address.rfind('@', end == std::string::npos ? std::string::npos : end);
    if (at == std::string::npos || at < host)
        return address;
    const std::size_t colon = address.find(':', host);
    if (colon == std::string::npos || colon > at)
        return address;
    return address.substr(0, colon + 1) + "***" + address.substr(at);
}

void rtsp_ts_session::run(std::shared_ptr<shared> sp)
{
    shared& s = *sp;
    const std::string shown = redacted(s.address);
    const clock::time_point began = clock::now();
    AVFormatContext* in = avformat_alloc_context();
    AVFormatContext* out = nullptr;
    AVPacket* pkt = av_packet_alloc();
    std::uint8_t* io_buffer = nullptr;
    outcome result = outcome::failed;
    std::string why;

    auto stopped_or = [&s](int err, const char* what) -> std::string {
        return s.abort ? std::string() : std::string(what) + ": " + error_text(err);
    };

    do {
        if (!in || !pkt) {
            why = "out of memory";
            break;
        }
        in->interrupt_callback.callback = &shared::interrupt;
        in->interrupt_callback.opaque = &s;

        AVDictionary* options = nullptr;
        // UDP first; libavformat goes over to TCP interleaving when the
        // server refuses UDP or no packet arrives in time.
        av_dict_set(&options, "rtsp_transport", "udp+tcp", 0);
        av_dict_set_int(&options, "timeout", std::int64_t(s.limits.read.count()) * 1000, 0);
        s.deadline = clock::now() + s.limits.open;
        int err = avformat_open_input(&in, s.address.c_str(), nullptr, &options);
        av_dict_free(&options);
        if (err < 0) {
            // avformat_open_input frees the context when it fails.
            in = nullptr;
            why = stopped_or(err, "cannot open");
            break;
        }

        // Decoding the first frames tells whether the video reorders frames;
        // without that the decode times of B-frames cannot be derived from
        // RTP's presentation times. Bounded: a second of a live stream.
        in->max_analyze_duration = 1000000;
        err = avformat_find_stream_info(in, nullptr);
        if (err < 0) {
            why = stopped_or(err, "cannot read the stream's parameters");
            break;
        }

        err = avformat_alloc_output_context2(&out, nullptr, "mpegts", nullptr);
        if (err < 0) {
            why = stopped_or(err, "no MPEG-TS muxer");
            break;
        }
        std::vector<int> map(in->nb_streams, -1);
        int video = -1;
        std::string kept;
        for (unsigned i = 0; i < in->nb_streams; ++i) {
            const AVCodecParameters* p = in->streams[i]->codecpar;
            if (!carried_in_ts(p))
                continue;
            AVStream* o = avformat_new_stream(out, nullptr);
            if (!o || avcodec_parameters_copy(o->codecpar, p) < 0)
                break;
            o->codecpar->codec_tag = 0;
            o->time_base = in->streams[i]->time_base;
            map[i] = o->index;
            if (video < 0 && p->codec_type == AVMEDIA_TYPE_VIDEO)
                video = int(i);
            kept += std::string(kept.empty() ? "" : ", ") + avcodec_get_name(p->codec_id);
        }
        if (out->nb_streams == 0) {
            why = "no stream that an MPEG transport stream can carry";
            break;
        }
        constexpr int io_size = int(ts_packet_size) * 64;
        io_buffer = static_cast<std::uint8_t*>(av_malloc(io_size));
        out->pb = io_buffer ? avio_alloc_context(io_buffer, io_size, 1, &s, nullptr, &shared::write, nullptr) : nullptr;
        if (!out->pb) {
            why = "out of memory";
            break;
        }
        io_buffer = nullptr; // the I/O context owns it now
        err = avformat_write_header(out, nullptr);
        if (err < 0) {
            why = stopped_or(err, "cannot start the MPEG-TS output");
            break;
        }
        log_line(shown + " connected in "
            + std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(clock::now() - began).count())
            + " ms: " + kept);

        std::vector<std::int64_t> last_dts(out->nb_streams, AV_NOPTS_VALUE);
        // Until the first key frame of the video there is nothing to show:
        // what comes before would only decode to grey blocks.
        bool started = video < 0;
        for (;;) {
            s.deadline = clock::now() + s.limits.read;
            err = av_read_frame(in, pkt);
            if (err < 0) {
                if (err == AVERROR_EOF) {
                    result = outcome::ended;
                    log_line(shown + " ended");
                } else {
                    why = stopped_or(err, "the stream broke off");
                }
                break;
            }
            const int target = pkt->stream_index < int(map.size()) ? map[pkt->stream_index] : -1;
            if (!started && pkt->stream_index == video && (pkt->flags & AV_PKT_FLAG_KEY))
                started = true;
            // The first packets of an RTP session may carry no time at all
            // until the sender's first report; the muxer cannot place them.
            if (target < 0 || !started || (pkt->pts == AV_NOPTS_VALUE && pkt->dts == AV_NOPTS_VALUE)) {
                av_packet_unref(pkt);
                continue;
            }
            av_packet_rescale_ts(pkt, in->streams[pkt->stream_index]->time_base, out->streams[target]->time_base);
            pkt->stream_index = target;
            pkt->pos = -1;
            const std::int64_t dts = pkt->dts != AV_NOPTS_VALUE ? pkt->dts : pkt->pts;
            if (last_dts[target] != AV_NOPTS_VALUE && dts <= last_dts[target]) {
                av_packet_unref(pkt); // the muxer refuses time going backwards
                continue;
            }
            last_dts[target] = dts;
            err = av_write_frame(out, pkt);
            av_packet_unref(pkt);
            if (err < 0) {
                why = stopped_or(err, "cannot remux");
                break;
            }
            avio_flush(out->pb);
        }
    } while (false);

    if (s.abort)
        result = outcome::stopped;
    else if (result != outcome::ended)
        log_line(shown + ": " + why);

    av_packet_free(&pkt);
    if (out) {
        if (out->pb) {
            av_freep(&out->pb->buffer);
            avio_context_free(&out->pb);
        }
        avformat_free_context(out);
    }
    av_free(io_buffer);
    avformat_close_input(&in);
    s.finish(result);
}

} // namespace vlc
