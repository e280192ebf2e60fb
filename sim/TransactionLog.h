#pragma once

#include <cstdio>
#include <string>

namespace ZORVI {
namespace Simulator {

// The simulator's transaction log file. Every line is on disk (flushed)
// before the bytes it describes go to the host, so a test that has its
// answer can read the log line for it at once.
class TransactionLog {
public:
    TransactionLog() = default;
    ~TransactionLog();
    TransactionLog(const TransactionLog&) = delete;
    TransactionLog& operator=(const TransactionLog&) = delete;

    // Starts the file afresh.
    bool open(const std::string& path, std::string& error);
    bool isOpen() const { return m_file != nullptr; }
    void writeLine(const std::string& line);

private:
    FILE* m_file = nullptr;
};

} // namespace Simulator
} // namespace ZORVI
