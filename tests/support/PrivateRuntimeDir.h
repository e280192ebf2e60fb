#pragma once

// Gives a test its own XDG_RUNTIME_DIR (a fresh directory, mode 0700), so
// that its port map entries meet no other test's while ctest runs tests in
// parallel. Restores the variable and removes the directory at the end.

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

class PrivateRuntimeDir {
public:
    PrivateRuntimeDir()
    {
        if (const char* old = std::getenv("XDG_RUNTIME_DIR")) {
            m_hadOld = true;
            m_old = old;
        }
        char pattern[] = "/tmp/zorvik-test-runtime-XXXXXX";
        if (mkdtemp(pattern))
            m_path = pattern;
        setenv("XDG_RUNTIME_DIR", m_path.c_str(), 1);
    }

    ~PrivateRuntimeDir()
    {
        restoreVariable(m_hadOld, m_old);
        std::error_code ignored;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ignored);
    }

    PrivateRuntimeDir(const PrivateRuntimeDir&) = delete;
    PrivateRuntimeDir& operator=(const PrivateRuntimeDir&) = delete;

    // Puts XDG_RUNTIME_DIR back. A variable that was not set becomes empty
    // (which reads as not set) instead of being removed: removing and adding
    // it again would make the C library reallocate the environment while
    // another thread (Qt Test's watchdog) may be reading it.
    static void restoreVariable(bool wasSet, const std::string& oldValue)
    {
        setenv("XDG_RUNTIME_DIR", wasSet ? oldValue.c_str() : "", 1);
    }

    bool isReady() const { return !m_path.empty(); }
    const std::string& path() const { return m_path; }

    // A port name no other test process uses at the same time.
    static std::string uniquePortName(const std::string& stem)
    {
        static std::atomic<unsigned> counter{0};
        return stem + std::to_string(getpid()) + "x" + std::to_string(counter++);
    }

private:
    std::string m_path;
    std::string m_old;
    bool m_hadOld = false;
};
