#pragma once

// A pseudo-terminal registered in the port map, with a tiny scripted
// adapter and device on its master side: every byte the host writes is echoed
// at once, as the KORLINK adapter does, and each complete frame is logged and
// may be answered by the script. Used where a test needs to see the exact
// frames on the wire or an answer the simulator does not give.

#include "FrameAssembler.h"
#include "FrameBytes.h"
#include "Packet.h"
#include "PortMap.h"
#include "PtyPair.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <mutex>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace ScriptedLink {

using Bytes = std::vector<uint8_t>;
using ZORVI::Communication::FrameAssembler;
using ZORVI::Communication::Packet;

class ScriptedDevice {
public:
    // Returns the frame to send after the echo of a request, or nothing.
    using Script = std::function<Bytes(const Packet& request, const Bytes& frame)>;

    ScriptedDevice(const std::string& portName, Script script)
        : m_portName(portName), m_script(std::move(script))
    {
        EXPECT_TRUE(m_pty.isOpen());
        EXPECT_TRUE(ZORVI::Communication::Serial::PortMap::add(m_portName, m_pty.slavePath()));
        EXPECT_EQ(pipe(m_stop), 0);
        m_thread = std::thread([this] { run(); });
    }

    ~ScriptedDevice()
    {
        const char stop = 0;
        EXPECT_EQ(write(m_stop[1], &stop, 1), 1);
        m_thread.join();
        ZORVI::Communication::Serial::PortMap::remove(m_portName);
        ::close(m_stop[0]);
        ::close(m_stop[1]);
    }

    const char* portName() const { return m_portName.c_str(); }

    std::vector<Bytes> frames() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_frames;
    }

    std::vector<std::chrono::steady_clock::time_point> times() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_times;
    }

    // Frames with the given command seen so far.
    size_t countOf(uint8_t command) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        size_t count = 0;
        for (const Bytes& frame : m_frames)
            count += (frame[1] >> 4) == command;
        return count;
    }

private:
    void run()
    {
        FrameAssembler assembler;
        for (;;) {
            pollfd fds[2] = {{m_pty.master(), POLLIN, 0}, {m_stop[0], POLLIN, 0}};
            if (poll(fds, 2, -1) < 0 && errno != EINTR)
                return;
            if (fds[1].revents)
                return;
            uint8_t chunk[512];
            const ssize_t count = ::read(m_pty.master(), chunk, sizeof chunk);
            if (count < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            if (count <= 0)
                return;
            // Logged before the echo goes back, so that a host call that
            // returned on its echo always finds its frame in the log.
            std::vector<Bytes> complete;
            for (ssize_t i = 0; i < count; ++i) {
                if (assembler.push(chunk[i]) == FrameAssembler::Step::Complete) {
                    complete.emplace_back(assembler.frame(),
                                          assembler.frame() + assembler.length());
                    assembler.reset();
                }
            }
            log(complete);
            // The adapter's echo comes before anything the device says.
            EXPECT_TRUE(m_pty.writeMaster(Bytes(chunk, chunk + count)));
            for (const Bytes& frame : complete)
                answer(frame);
        }
    }

    void log(const std::vector<Bytes>& complete)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const Bytes& frame : complete) {
            m_frames.push_back(frame);
            m_times.push_back(std::chrono::steady_clock::now());
        }
    }

    void answer(const Bytes& frame)
    {
        Packet request;
        request.decode(frame.data(), static_cast<uint16_t>(frame.size()), true);
        const Bytes reply = m_script(request, frame);
        if (!reply.empty()) {
            EXPECT_TRUE(m_pty.writeMaster(reply));
        }
    }

    std::string m_portName;
    Script m_script;
    PtyPair m_pty;
    int m_stop[2] = {-1, -1};
    mutable std::mutex m_mutex;
    std::vector<Bytes> m_frames;
    std::vector<std::chrono::steady_clock::time_point> m_times;
    std::thread m_thread;
};

} // namespace ScriptedLink
