#pragma once

// A small stand-in for the part of the Win32 API that the serial port uses,
// built on termios, poll and the port map (see PortMap.h). Types, constants
// and functions carry their Win32 names and meaning:
//
//  - CreateFileA("\\.\NAME") opens the port NAME exclusively (TIOCEXCL and
//    flock), without making it the controlling terminal. It opens only
//    what the SERIALCOMM key would list: a port map entry, or a kernel
//    serial port with hardware behind it. Other names fail with
//    ERROR_FILE_NOT_FOUND, or with ERROR_NOT_SUPPORTED where /dev has a
//    device of that name that is no serial port (tty, console, null).
//  - CloseHandle gives the port back with the terminal settings it had
//    before it was opened; so does a stop signal in a program that
//    installed SignalPortRelease.
//  - ReadFile honours COMMTIMEOUTS: the read interval time-out between bytes
//    and the total time-out (multiplier x bytes asked + constant); it returns
//    as soon as the bytes asked for are there.
//  - WriteFile honours the write total time-out.
//  - GetCommModemStatus fails where the port has no modem lines (a
//    pseudo-terminal), as a Windows driver does.
//  - FormatMessageA (from the system, no inserts) has a message only for
//    the error of the thread's last failed CreateFileA, where the system can
//    say more than the code: the group whose members may open the port and
//    the command that makes the user one, or the program that holds it.
//  - The HARDWARE\DEVICEMAP\SERIALCOMM key lists the kernel's serial ports
//    and the entries of the port map; an enumeration pass (index 0, 1, 2,
//    ... on one thread) reads one snapshot of them, taken at index 0.

#include <cstdarg>
#include <cstdint>

typedef void* HANDLE;
typedef uint32_t DWORD;
typedef DWORD* LPDWORD;
typedef int BOOL;
typedef uint8_t BYTE;
typedef uint8_t* LPBYTE;
typedef int32_t LONG;
typedef uint16_t WORD;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef struct LinuxRegistryKey* HKEY;
typedef HKEY* PHKEY;
typedef DWORD REGSAM;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define MAXDWORD 0xFFFFFFFFu
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define OPEN_EXISTING 3u

#define CBR_115200 115200u
#define NOPARITY 0
#define ODDPARITY 1
#define EVENPARITY 2
#define ONESTOPBIT 0
#define TWOSTOPBITS 2
#define DTR_CONTROL_DISABLE 0x00
#define DTR_CONTROL_ENABLE 0x01
#define RTS_CONTROL_DISABLE 0x00
#define RTS_CONTROL_ENABLE 0x01

#define PURGE_TXABORT 0x0001u
#define PURGE_RXABORT 0x0002u
#define PURGE_TXCLEAR 0x0004u
#define PURGE_RXCLEAR 0x0008u

#define MS_CTS_ON 0x0010u
#define MS_DSR_ON 0x0020u
#define MS_RING_ON 0x0040u
#define MS_RLSD_ON 0x0080u

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_GEN_FAILURE 31L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_MR_MID_NOT_FOUND 317L

#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000u

#define KEY_READ 0x20019u
#define REG_SZ 1u
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002u)))

struct DCB {
    DWORD DCBlength;
    DWORD BaudRate;
    DWORD fBinary : 1;
    DWORD fParity : 1;
    DWORD fOutxCtsFlow : 1;
    DWORD fOutxDsrFlow : 1;
    DWORD fDtrControl : 2;
    DWORD fDsrSensitivity : 1;
    DWORD fTXContinueOnXoff : 1;
    DWORD fOutX : 1;
    DWORD fInX : 1;
    DWORD fErrorChar : 1;
    DWORD fNull : 1;
    DWORD fRtsControl : 2;
    DWORD fAbortOnError : 1;
    DWORD fDummy2 : 17;
    WORD wReserved;
    WORD XonLim;
    WORD XoffLim;
    BYTE ByteSize;
    BYTE Parity;
    BYTE StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    WORD wReserved1;
};
typedef DCB* LPDCB;

struct COMMTIMEOUTS {
    DWORD ReadIntervalTimeout;
    DWORD ReadTotalTimeoutMultiplier;
    DWORD ReadTotalTimeoutConstant;
    DWORD WriteTotalTimeoutMultiplier;
    DWORD WriteTotalTimeoutConstant;
};
typedef COMMTIMEOUTS* LPCOMMTIMEOUTS;

struct SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;
struct OVERLAPPED;
typedef OVERLAPPED* LPOVERLAPPED;

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);
BOOL CloseHandle(HANDLE handle);
BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
              LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped);
BOOL GetCommState(HANDLE handle, LPDCB dcb);
BOOL SetCommState(HANDLE handle, LPDCB dcb);
BOOL GetCommTimeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts);
BOOL SetCommTimeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts);
BOOL PurgeComm(HANDLE handle, DWORD flags);
BOOL GetCommModemStatus(HANDLE handle, LPDWORD modemStatus);
void Sleep(DWORD milliseconds);
DWORD GetLastError();
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                     LPSTR buffer, DWORD size, va_list* arguments);

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, PHKEY result);
LONG RegEnumValueA(HKEY key, DWORD index, LPSTR valueName, LPDWORD valueNameLength,
                   LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataLength);
LONG RegCloseKey(HKEY key);
