#pragma once

// The far end of a line that never sends a frame, on the master side of a
// pseudo-terminal: a noisy line, or a peer that is stuck sending. It can
// first echo the interface probe, as the KORLINK adapter does, so that the
// port passes its echo test; the noise then begins with the host's next
// write (bytes right behind the echo would make it longer than the probe,
// and the echo test would fail). It writes noise either as fast as the
// port takes it or one byte per interval, until it is stopped or its time
// budget runs out. The budget keeps a host that never stops reading from
// hanging the test: the test then fails on its time bound instead.

#include "FrameAssembler.h"
#include "PtyPair.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include <poll.h>
#include <unistd.h>

class NoisyPeer {
public:
    using Bytes = std::vector<uint8_t>;

    struct Noise {
        Bytes pattern;      // written in turn, over and over
        int intervalMs = 0; // 0: as fast as the port takes it; else one byte per interval
    };

    NoisyPeer(const PtyPair& pty, Noise noise, size_t echoFirst, int budgetMs)
        : m_pty(pty), m_noise(std::move(noise)), m_echoFirst(echoFirst),
          m_end(Clock::now() + std::chrono::milliseconds(budgetMs))
    {
        EXPECT_FALSE(m_noise.pattern.empty());
        if (pipe(m_stop) == 0)
            m_thread = std::thread([this] { run(); });
    }

    ~NoisyPeer() { stop(); }

    // Every byte that starts no frame: noise a frame reader can only skip.
    static Bytes everyNonStartByte()
    {
        Bytes bytes;
        for (int b = 0; b < 256; ++b)
            if (!ZORVI::Communication::FrameAssembler::isStartByte(static_cast<uint8_t>(b)))
                bytes.push_back(static_cast<uint8_t>(b));
        return bytes;
    }

    NoisyPeer(const NoisyPeer&) = delete;
    NoisyPeer& operator=(const NoisyPeer&) = delete;

    void stop()
    {
        if (!m_thread.joinable())
            return;
        const char wake = 1;
        EXPECT_EQ(::write(m_stop[1], &wake, 1), 1);
        m_thread.join();
        ::close(m_stop[0]);
        ::close(m_stop[1]);
    }

private:
    using Clock = std::chrono::steady_clock;

    void run()
    {
        if (!echoGreeting() || !awaitRequestAfterGreeting())
            return;
        size_t next = 0;
        for (;;) {
            const bool trickle = m_noise.intervalMs > 0;
            const Bytes chunk = trickle ? Bytes{m_noise.pattern[next % m_noise.pattern.size()]}
                                        : m_noise.pattern;
            const short ready = waitUntil(POLLOUT | POLLIN, Clock::now() + std::chrono::hours(1));
            if (ready < 0)
                return;
            drainInput(ready);
            if (!(ready & POLLOUT))
                continue;
            const ssize_t written = ::write(m_pty.master(), chunk.data(), chunk.size());
            if (written < 0 && errno != EAGAIN && errno != EINTR)
                return;
            next += written > 0 ? static_cast<size_t>(written) : 0;
            if (trickle && !pause())
                return;
        }
    }

    // Reads the first bytes the host writes (the interface probe) and
    // sends them back. False when stopped first.
    bool echoGreeting()
    {
        Bytes seen;
        while (seen.size() < m_echoFirst) {
            const short ready = waitUntil(POLLIN, m_end);
            if (ready < 0)
                return false;
            uint8_t chunk[64];
            const ssize_t got = ::read(m_pty.master(), chunk,
                                       std::min(sizeof chunk, m_echoFirst - seen.size()));
            if (got > 0)
                seen.insert(seen.end(), chunk, chunk + got);
        }
        return seen.empty() || m_pty.writeMaster(seen);
    }

    // Once the probe is echoed, waits until the host writes again. False
    // when stopped first.
    bool awaitRequestAfterGreeting()
    {
        return m_echoFirst == 0 || waitUntil(POLLIN, m_end) > 0;
    }

    // What the host writes meanwhile (its requests) is taken and dropped.
    void drainInput(short ready) const
    {
        if (!(ready & POLLIN))
            return;
        uint8_t sink[256];
        while (::read(m_pty.master(), sink, sizeof sink) > 0) {
        }
    }

    // One interval between trickled bytes. False when stopped first.
    bool pause()
    {
        const auto until =
            std::min(m_end, Clock::now() + std::chrono::milliseconds(m_noise.intervalMs));
        for (;;) {
            const short ready = waitUntil(POLLIN, until);
            if (ready == 0)
                return true;
            if (ready < 0)
                return false;
            drainInput(ready);
        }
    }

    // Waits for the master's events until `until`, the budget's end or a
    // stop. The events that came (0 when `until` passed), or -1 when the
    // peer is to end.
    short waitUntil(short events, Clock::time_point until)
    {
        for (;;) {
            const auto now = Clock::now();
            if (now >= m_end)
                return -1;
            if (now >= until)
                return 0;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::min(until, m_end) - now);
            pollfd fds[2] = {{m_pty.master(), events, 0}, {m_stop[0], POLLIN, 0}};
            const int ready = poll(fds, 2, static_cast<int>(left.count()) + 1);
            if (ready < 0 && errno != EINTR)
                return -1;
            if (fds[1].revents)
                return -1;
            if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))
                return -1;
            if (ready > 0 && fds[0].revents)
                return fds[0].revents;
        }
    }

    const PtyPair& m_pty;
    Noise m_noise;
    size_t m_echoFirst;
    Clock::time_point m_end;
    int m_stop[2] = {-1, -1};
    std::thread m_thread;
};
