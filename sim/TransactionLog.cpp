#include "TransactionLog.h"

#include <cerrno>
#include <cstring>

namespace ZORVI {
namespace Simulator {

TransactionLog::~TransactionLog()
{
    if (m_file)
        std::fclose(m_file);
}

bool TransactionLog::open(const std::string& path, std::string& error)
{
    m_file = std::fopen(path.c_str(), "w");
    if (!m_file) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    std::setvbuf(m_file, nullptr, _IOLBF, BUFSIZ);
    return true;
}

void TransactionLog::writeLine(const std::string& line)
{
    if (!m_file)
        return;
    std::fputs(line.c_str(), m_file);
    std::fputc('\n', m_file);
    std::fflush(m_file);
}

} // namespace Simulator
} // namespace ZORVI
