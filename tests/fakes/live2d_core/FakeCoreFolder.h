// Points the DLL search at one of the stand-in Cubism cores built beside the test programs
// (live2d_core_full or live2d_core_partial) for the life of the object.
#pragma once

#include <windows.h>

#include <string>

class FakeCoreFolder {
public:
    explicit FakeCoreFolder(const char* variant) {
        char path[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        std::string folder = path;
        folder.resize(folder.find_last_of("\\/"));
        folder += "\\live2d_core_";
        folder += variant;
        SetDllDirectoryA(folder.c_str());
    }
    ~FakeCoreFolder() { SetDllDirectoryA(nullptr); }
    FakeCoreFolder(const FakeCoreFolder&) = delete;
    FakeCoreFolder& operator=(const FakeCoreFolder&) = delete;
};
