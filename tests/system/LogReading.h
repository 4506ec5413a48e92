// Reads the library log file as it stands (the whole file, its bytes unchanged), for the window and
// start-up tests and the start-up benchmark. Stands on the log's file name and the system's file calls.
#pragma once

#include <windows.h>

#include <string>

#include "foundation/VtLog.h"

namespace LogReading {

inline std::string ReadLog() {
    wchar_t path[1024] = {0};
    Vantrel::Log_File_BuildPath(path, sizeof(path));
    std::string bytes;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) bytes.append(buffer, read);
    CloseHandle(file);
    return bytes;
}

}  // namespace LogReading
