// Test helpers for the log file: read it back (raw bytes or UTF-8 decoded) and start a fresh file
// under a test's own name. Used by the tests of the log, the heap and the memory layer.
#pragma once

#include <windows.h>

#include <cwchar>
#include <string>

#include "foundation/VtLog.h"

namespace FoundationTest {

// The log file's bytes as they stand now; empty when there is no file.
inline std::string ReadLogBytes()
{
    wchar_t path[1536];
    Vantrel::Log_File_BuildPath(path, sizeof(path));
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "";
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD done = 0;
    if (!bytes.empty()) ReadFile(file, &bytes[0], (DWORD)bytes.size(), &done, nullptr);
    CloseHandle(file);
    return bytes;
}

inline std::wstring Utf8ToWide(const std::string& bytes)
{
    std::wstring text(bytes.size() + 1, L'\0');
    const int units = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), (int)bytes.size(), &text[0], (int)text.size());
    text.resize(units > 0 ? units : 0);
    return text;
}

// The log's text since the file was started, UTF-8 decoded.
inline std::wstring ReadLog() { return Utf8ToWide(ReadLogBytes()); }

// Ends the current log file and starts a new one under the given name.
inline void StartFreshLog(const wchar_t* name)
{
    Vantrel::Log_File_Shutdown();
    wcscpy(Vantrel::LogState.UserFileName, name);
    Vantrel::Log_File_Create();
}

}  // namespace FoundationTest
