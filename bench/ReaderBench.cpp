// Reading the largest update file (196608 byte values as hexadecimal text,
// 16 values to a line) with ZORVI::Update, against `xxd -r -p`, which turns
// the same text into bytes, on the same file in the same run.
//
//   reader_bench [runs]
//
// Both read the file from the page cache. xxd's figure is the wall time of
// the whole command (it is a program of its own: starting it is part of
// using it), with its output going to /dev/null; its CPU time is printed
// too. The reader is timed twice: in this process while it has one thread,
// and again once a second thread exists, as in the Qt programs, because the
// C library then locks a stream on every call that reads from it.

#include "BenchFigures.h"
#include "MaximumUpdateImage.h"
#include "Update.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* XXD = "xxd";

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double cpuSeconds(const rusage& usage)
{
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec
        + usage.ru_stime.tv_usec / 1e6;
}

// Seconds for one reading, or negative when the file did not read as valid.
double timeReader(const std::string& path, uint32_t expectedTotal)
{
    const Clock::time_point start = Clock::now();
    const ZORVI::Update update(path.c_str());
    const double seconds = secondsSince(start);
    return update.isValid() && update.totalBytes() == expectedTotal ? seconds : -1;
}

// Wall seconds of `xxd -r -p path /dev/null`, or negative when it failed;
// its CPU time goes to cpu.
double timeXxd(const std::string& path, double& cpu)
{
    std::string program = XXD;
    char* argv[] = {program.data(), const_cast<char*>("-r"), const_cast<char*>("-p"),
                    const_cast<char*>(path.c_str()), const_cast<char*>("/dev/null"), nullptr};
    const Clock::time_point start = Clock::now();
    pid_t pid = -1;
    if (posix_spawnp(&pid, XXD, nullptr, nullptr, argv, environ) != 0)
        return -1;
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    const double seconds = secondsSince(start);
    cpu = cpuSeconds(usage);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

// A thread that does nothing until the end of the benchmark.
class ParkedThread {
public:
    ParkedThread()
        : m_thread([this] {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_done; });
        })
    {
    }
    ~ParkedThread()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    std::thread m_thread;
};

struct Figures {
    BenchFigures reader{false};
    BenchFigures xxd{false};
    BenchFigures xxdCpu{false};
};

// Alternating, so that a busy moment of the machine hits both alike.
bool measure(const std::string& path, uint32_t total, int runs, Figures& figures)
{
    for (int run = 0; run < runs; ++run) {
        double cpu = 0;
        const double ours = timeReader(path, total);
        const double theirs = timeXxd(path, cpu);
        if (ours < 0 || theirs < 0) {
            std::fprintf(stderr, ours < 0 ? "the file did not read as valid\n"
                                          : "xxd failed (is the package xxd installed?)\n");
            return false;
        }
        figures.reader.add(ours * 1000);
        figures.xxd.add(theirs * 1000);
        figures.xxdCpu.add(cpu * 1000);
    }
    return true;
}

void print(const char* title, const Figures& figures)
{
    std::printf("%s\n", title);
    std::printf("  ZORVI::Update: best %.2f ms, median %.2f ms\n", figures.reader.best(),
                figures.reader.median());
    std::printf("  xxd -r -p:     best %.2f ms, median %.2f ms (its CPU time: best %.2f ms, "
                "median %.2f ms)\n",
                figures.xxd.best(), figures.xxd.median(), figures.xxdCpu.best(),
                figures.xxdCpu.median());
    std::printf("  the reader takes %.2f times xxd's time (medians of %zu runs)\n",
                figures.reader.median() / figures.xxd.median(), figures.reader.count());
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : 21;
    if (runs < 1) {
        std::fprintf(stderr, "usage: reader_bench [runs]\n");
        return 2;
    }
    char directory[] = "/tmp/zorvik-reader-bench-XXXXXX";
    if (!mkdtemp(directory)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string path = std::string(directory) + "/maximum.upd";
    const MaximumUpdateImage image(1, 0);
    const bool written = image.writeHexFile(path);
    const uint32_t total = written ? ZORVI::Update(path.c_str()).totalBytes() : 0;
    BenchFigures::printLoad("before");

    Figures alone;
    Figures threaded;
    bool measured = written && measure(path, total, runs, alone);
    if (measured) {
        const ParkedThread second;
        measured = measure(path, total, runs, threaded);
    }
    BenchFigures::printLoad("after");
    std::remove(path.c_str());
    rmdir(directory);
    if (!written)
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
    if (!measured)
        return 1;

    std::printf("file: %zu byte values, %zu characters of text\n", image.bytes().size(),
                image.hexText().size());
    print("one thread:", alone);
    print("with a second thread (as in the Qt programs):", threaded);
    return 0;
}
