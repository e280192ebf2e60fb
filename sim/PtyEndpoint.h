#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace ZORVI {
namespace Simulator {

// The simulator's end of the line: the master side of a pseudo-terminal
// whose slave device is the port the host opens.
//
// The simulator keeps a descriptor of the slave open itself, so the
// pseudo-terminal stays usable while the host opens and closes the port
// (without it the master reports a hang-up after every close and a poll
// on it would spin).
class PtyEndpoint {
public:
    // 115200 baud, 8N1: ten bit times per character.
    static constexpr uint64_t LINE_BAUD = 115200;
    static constexpr uint64_t BITS_PER_CHARACTER = 10;

    PtyEndpoint() = default;
    ~PtyEndpoint();
    PtyEndpoint(const PtyEndpoint&) = delete;
    PtyEndpoint& operator=(const PtyEndpoint&) = delete;

    // Creates the pseudo-terminal in raw mode at 115200 baud.
    bool open(std::string& error);
    const std::string& devicePath() const { return m_devicePath; }
    // The descriptor to poll for the host's bytes.
    int pollDescriptor() const { return m_master; }

    // What the host wrote, without waiting: the count, 0 for nothing, -1 on
    // an error of the pseudo-terminal.
    ssize_t read(uint8_t* buffer, size_t size);

    // At the line rate (each character leaves one character time after the
    // previous one, on absolute deadlines so that the rate does not drift),
    // or as fast as the pseudo-terminal takes them.
    void setPaced(bool paced);
    // The bytes that answer what the host sent, read at `arrival`: on a
    // paced line the first of them is due one character time after that, or
    // after the line's current traffic.
    void write(const std::vector<uint8_t>& bytes, std::chrono::steady_clock::time_point arrival);

    // How often the simulator should call clearAbandonedExclusivity().
    static constexpr int ABANDONED_EXCLUSIVITY_CHECK_MS = 50;
    // A host program holds the port with the terminal's exclusive mark
    // (TIOCEXCL) and a lock (flock) on it. The kernel drops the lock when
    // the program ends, however it ends, but the mark belongs to the
    // terminal, which our own descriptor keeps alive: after a host program
    // is killed, nobody but root could open the port again. So a mark
    // without a lock holder is cleared. True when a mark was cleared.
    bool clearAbandonedExclusivity();

private:
    bool configureRaw(std::string& error);
    bool writeAll(const uint8_t* data, size_t length);
    void writePaced(const std::vector<uint8_t>& bytes, uint64_t arrivalNs);
    uint64_t dueNs(uint64_t character) const;

    int m_master = -1;
    int m_slave = -1;
    std::string m_devicePath;
    bool m_paced = false;
    // Pacing: the line's current busy period started at m_periodStartNs and
    // has carried m_periodCharacters characters so far.
    uint64_t m_periodStartNs = 0;
    uint64_t m_periodCharacters = 0;
};

} // namespace Simulator
} // namespace ZORVI
