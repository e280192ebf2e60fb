#pragma once

// A pseudo-terminal for serial tests: the code under test opens the slave as
// its port; the test plays the far end (the adapter, the device) on the
// master. The slave stays open here too, so the terminal lives on while the
// code under test opens and closes its port.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

class PtyPair {
public:
    PtyPair()
    {
        char name[128] = {};
        if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
            m_master = m_slave = -1;
            return;
        }
        m_slavePath = name;
        fcntl(m_master, F_SETFD, FD_CLOEXEC);
        fcntl(m_slave, F_SETFD, FD_CLOEXEC);
        fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
        // Raw from the start: no echo or line editing before the port is set up.
        termios tio;
        if (tcgetattr(m_slave, &tio) == 0) {
            cfmakeraw(&tio);
            tcsetattr(m_slave, TCSANOW, &tio);
        }
    }

    ~PtyPair()
    {
        if (m_master >= 0)
            close(m_master);
        if (m_slave >= 0)
            close(m_slave);
    }

    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool isOpen() const { return m_master >= 0; }

    // The far end goes away, as when an adapter is unplugged.
    void closeMaster()
    {
        if (m_master >= 0)
            close(m_master);
        m_master = -1;
    }

    int master() const { return m_master; }
    // The slave as the test holds it, e.g. to look at the port's termios.
    int slave() const { return m_slave; }
    const std::string& slavePath() const { return m_slavePath; }

    // Writes all bytes to the master (the port receives them), waiting for
    // room up to timeoutMs. False when that does not succeed.
    bool writeMaster(const std::vector<uint8_t>& bytes, int timeoutMs = 5000) const
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t count = write(m_master, bytes.data() + done, bytes.size() - done);
            if (count > 0) {
                done += static_cast<size_t>(count);
                continue;
            }
            if (count < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            if (!waitFor(POLLOUT, deadline))
                return false;
        }
        return true;
    }

    // Reads what the port sent until `count` bytes are there or timeoutMs
    // passed.
    std::vector<uint8_t> readMaster(size_t count, int timeoutMs) const
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        std::vector<uint8_t> bytes;
        uint8_t chunk[4096];
        while (bytes.size() < count) {
            const size_t room = std::min(sizeof chunk, count - bytes.size());
            const ssize_t got = read(m_master, chunk, room);
            if (got > 0) {
                bytes.insert(bytes.end(), chunk, chunk + got);
                continue;
            }
            if (got < 0 && errno != EAGAIN && errno != EINTR)
                break;
            if (!waitFor(POLLIN, deadline))
                break;
        }
        return bytes;
    }

private:
    using Clock = std::chrono::steady_clock;

    bool waitFor(short events, Clock::time_point deadline) const
    {
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - Clock::now());
            if (left.count() <= 0)
                return false;
            pollfd pfd{m_master, events, 0};
            const int ready = poll(&pfd, 1, static_cast<int>(left.count()));
            if (ready > 0)
                return true;
            if (ready < 0 && errno != EINTR)
                return false;
        }
    }

    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
};
