// Platform half of the sound conversion: loads the Audio Compression Manager functions from
// msacm32.dll at module start-up and tries the platform converters in their order. Stands on the
// front end (VtSoundConvert) and the ACM, DirectShow MP3 and Media Foundation converters.
#include "sound/VtSoundConvert.h"

namespace Vantrel {

SoundConvertWinState SoundConvertWin;

int SoundConvertWin_Initialize()
{
    if (SoundConvertWin.Msacm32DLL != nullptr) return 0;
    HMODULE module = LoadLibraryW(L"msacm32.dll");
    if (module == nullptr) return -1;
    SoundConvertWinState loaded = {};
    loaded.Msacm32DLL = module;
#define VT_ACM_LOAD(name)                                                                                              \
    loaded.name = reinterpret_cast<decltype(loaded.name)>(reinterpret_cast<void*>(GetProcAddress(module, #name)));      \
    if (loaded.name == nullptr) {                                                                                      \
        FreeLibrary(module);                                                                                           \
        return -1;                                                                                                     \
    }
    VT_ACM_LOAD(acmFormatSuggest)
    VT_ACM_LOAD(acmStreamOpen)
    VT_ACM_LOAD(acmStreamClose)
    VT_ACM_LOAD(acmMetrics)
    VT_ACM_LOAD(acmStreamPrepareHeader)
    VT_ACM_LOAD(acmStreamConvert)
    VT_ACM_LOAD(acmStreamUnprepareHeader)
    VT_ACM_LOAD(acmStreamSize)
#undef VT_ACM_LOAD
    SoundConvertWin = loaded;
    return 0;
}

int SoundConvertWin_Terminate()
{
    if (SoundConvertWin.Msacm32DLL == nullptr) return -1;
    FreeLibrary(SoundConvertWin.Msacm32DLL);
    SoundConvertWin = SoundConvertWinState{};
    return 0;
}

int SoundConvertWin_Setup(SoundConvertRecord* record, int32_t disableFlags)
{
    if (!(disableFlags & SoundConvertDisable_AcmWave)) {
        if (SoundConvertWin_Acm_SetupWave(record) == 0) return 0;
        record->Source.ops.Seek(record->Source.data, 0, SeekOrigin_Start);
    }
    if (!(disableFlags & SoundConvertDisable_Mp3Acm)) {
        if (SoundConvertWin_Acm_SetupMp3(record) == 0) return 0;
    }
    if (!(disableFlags & SoundConvertDisable_Mp3DirectShow)) {
        record->Source.ops.Seek(record->Source.data, 0, SeekOrigin_Start);
        if (SoundConvert_DSMP3_Setup(record) == 0) return 0;
    }
    if (disableFlags & SoundConvertDisable_MediaFoundation) return -1;
    record->Source.ops.Seek(record->Source.data, 0, SeekOrigin_Start);
    if (SoundConvertWin_MF_Setup(record) == 0) return 0;
    record->Source.ops.Seek(record->Source.data, 0, SeekOrigin_Start);
    return -1;
}

}  // namespace Vantrel
