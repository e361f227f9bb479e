// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace vlc {

// One connection to an RTSP server, its elementary streams remuxed unchanged
// into an MPEG transport stream that a reader drains byte by byte.
//
// Threads: a worker of its own connects (libavformat's RTSP client: RTP over
// UDP, then TCP interleaving when UDP is refused or stays silent), reads and
// remuxes. read() is called from one reader thread (libvlc's input thread);
// stop() and the destructor from the owner's thread (that may be the
// reader's), interrupt() from any thread. No call waits for the network: the
// worker holds its state by a shared pointer and, when it is slow to notice a
// stop, finishes detached.
class rtsp_ts_session {
public:
    enum class outcome {
        running,
        ended, // the server ended the stream
        failed, // could not be opened, or broke off
        stopped, // stop() was called
    };

    struct timeouts {
        // Room for a UDP set-up that stays silent (the read time-out) and the
        // TCP set-up that follows it.
        std::chrono::milliseconds open { 12000 };
        std::chrono::milliseconds read { 6000 };
        // Short: a stop that comes without our warning (see rtsp_input::stopping)
        // waits on the GUI thread for a read in progress.
        std::chrono::milliseconds keepalive { 20 };
    };

    static constexpr std::size_t ts_packet_size = 188;

    rtsp_ts_session(std::string address, timeouts limits);
    rtsp_ts_session(const rtsp_ts_session&) = delete;
    rtsp_ts_session& operator=(const rtsp_ts_session&) = delete;
    ~rtsp_ts_session();

    void start();

    // Copies up to len bytes of the transport stream. While the stream runs it
    // never waits longer than the keep-alive time: when nothing came by then it
    // hands out a null packet (the demuxer drops those), so a reader that must
    // notice a stop request is never held on the network. 0 once the stream
    // is over and everything was read.
    std::size_t read(std::uint8_t* buf, std::size_t len);

    // Asks the worker to end: libavformat's blocking calls are interrupted,
    // and a read() waiting for data returns at once. Returns at once.
    void interrupt();

    // interrupt(), then a join when the worker ends within a few
    // milliseconds; otherwise the worker is left to end on its own.
    void stop();

    outcome result() const;

    // The address with any password masked, fit for a log line.
    static std::string redacted(const std::string& address);

private:
    struct shared;
    static void run(std::shared_ptr<shared> s);

    // Shared with the worker, which may outlive the session (a name lookup
    // cannot be interrupted; libavformat looks at the interrupt every 100 ms).
    std::shared_ptr<shared> _shared;
    std::thread _worker;
};

} // namespace vlc
