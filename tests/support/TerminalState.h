#pragma once

// What a test sees of a terminal through a descriptor of its own: whether
// a program holds it exclusively (TIOCEXCL), and its settings.

#include <cstring>

#include <sys/ioctl.h>
#include <termios.h>

inline bool isMarkedExclusive(int fd)
{
    int exclusive = 0;
    return ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
}

inline termios terminalSettings(int fd)
{
    termios tio;
    std::memset(&tio, 0, sizeof tio);
    tcgetattr(fd, &tio);
    return tio;
}

inline bool sameSettings(const termios& a, const termios& b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag
        && a.c_lflag == b.c_lflag && cfgetispeed(&a) == cfgetispeed(&b)
        && cfgetospeed(&a) == cfgetospeed(&b)
        && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

// Settings a terminal program might leave on a line: cooked, echoing,
// 9600 baud; what the terminal has afterwards.
inline termios setCookedSettings(int fd)
{
    termios tio = terminalSettings(fd);
    tio.c_iflag |= ICRNL | IXON;
    tio.c_oflag |= OPOST | ONLCR;
    tio.c_lflag |= ICANON | ECHO | ISIG;
    tio.c_cflag &= ~CLOCAL;
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    tcsetattr(fd, TCSANOW, &tio);
    return terminalSettings(fd);
}
