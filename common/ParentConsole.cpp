#include "ParentConsole.h"

#ifdef _WIN32
#include <windows.h>

#include <cstdio>
#endif

namespace ZORVI {

#ifdef _WIN32
namespace {

bool isRedirected(DWORD which)
{
    const HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE
           && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

} // namespace

bool ParentConsole::reachable()
{
    // `program --help > file` hands the program a file even without a console.
    if (isRedirected(STD_OUTPUT_HANDLE))
        return true;
    if (!AttachConsole(ATTACH_PARENT_PROCESS))
        return false;
    // The C runtime's streams were set up before the console was there.
    std::FILE* ignored = nullptr;
    ignored = std::freopen("CONOUT$", "w", stdout);
    ignored = std::freopen("CONOUT$", "w", stderr);
    (void)ignored;
    // The prompt has already printed its next prompt: begin on a line of
    // our own.
    std::fputs("\n", stdout);
    return true;
}
#else
bool ParentConsole::reachable()
{
    return true;
}
#endif

} // namespace ZORVI
