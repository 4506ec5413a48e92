// VtSoundOutputAsio: the ASIO output: the installed drivers found in the registry, the chosen one
// created as an in-process COM object, its first two output channels double-buffered, and the
// driver's buffer switch answered by the software mixer.
// Stands on the platform half of the sound state, the mixer, the log, the main window handle and
// the system function table.
#include <string.h>

#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "foundation/VtThread.h"
#include "foundation/VtWinAPI.h"
#include "sound/VtSound.h"
#include "sound/VtSoundMixer.h"
#include "sound/VtSoundWin.h"
#include "system/VtWindow.h"

namespace Vantrel {

const SoundAsioSampleType SoundWin_AsioSampleTypes[SOUND_ASIO_SAMPLE_TYPE_COUNT] = {
    /* 0 */ {L"ASIOSTInt16MSB", 16, 16, 0, 1},
    /* 1 */ {L"ASIOSTInt24MSB", 24, 24, 0, 1},
    /* 2 */ {L"ASIOSTInt32MSB", 32, 32, 0, 1},
    /* 3 */ {L"ASIOSTFloat32MSB", 32, 32, 1, 1},
    /* 4 */ {L"ASIOSTFloat64MSB", 64, 64, 1, 1},
    {}, {}, {},
    /* 8 */ {L"ASIOSTInt32MSB16", 32, 16, 0, 1},
    /* 9 */ {L"ASIOSTInt32MSB18", 32, 18, 0, 1},
    /* 10 */ {L"ASIOSTInt32MSB20", 32, 20, 0, 1},
    /* 11 */ {L"ASIOSTInt32MSB24", 32, 24, 0, 1},
    {}, {}, {}, {},
    /* 16 */ {L"ASIOSTInt16LSB", 16, 16, 0, 0},
    /* 17 */ {L"ASIOSTInt24LSB", 24, 24, 0, 0},
    /* 18 */ {L"ASIOSTInt32LSB", 32, 32, 0, 0},
    /* 19 */ {L"ASIOSTFloat32LSB", 32, 32, 1, 0},
    /* 20 */ {L"ASIOSTFloat64LSB", 64, 64, 1, 0},
    {}, {}, {},
    /* 24 */ {L"ASIOSTInt32LSB16", 32, 16, 0, 0},
    /* 25 */ {L"ASIOSTInt32LSB18", 32, 18, 0, 0},
    /* 26 */ {L"ASIOSTInt32LSB20", 32, 20, 0, 0},
    /* 27 */ {L"ASIOSTInt32LSB24", 32, 24, 0, 0},
    {}, {}, {}, {},
    /* 32 */ {L"ASIOSTDSDInt8LSB1", 8, 8, 0, 0},
    /* 33 */ {L"ASIOSTDSDInt8MSB1", 8, 8, 0, 1},
    {}, {}, {}, {}, {}, {},
    /* 40 */ {L"ASIOSTDSDInt8NER8", 8, 8, 0, 0},
    {}, {}, {},
};

namespace {

constexpr int ASIO_KEY_NAME_UNITS = 256;
constexpr int ASIO_CLASS_NAME_UNITS = 1024;
constexpr int ASIO_PATH_UNITS = 1024;

const GUID Asio_SubtypePcm = {0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
const GUID Asio_SubtypeFloat = {0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

// Registry keys are closed straight through advapi32: closing needs no fake.
void Asio_CloseKey(HKEY key)
{
    if (key != nullptr) RegCloseKey(key);
}

// A string value (REG_SZ or REG_EXPAND_SZ) of at most units - 1 units, always terminated.
int Asio_ReadString(HKEY key, const wchar_t* valueName, wchar_t* out, int units)
{
    DWORD type = 0;
    DWORD bytes = (DWORD)((units - 1) * sizeof(wchar_t));
    out[0] = 0;
    if (WinAPITable.RegQueryValueExW(key, valueName, nullptr, &type, (LPBYTE)out, &bytes) != ERROR_SUCCESS) return -1;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return -1;
    out[bytes / sizeof(wchar_t)] = 0;
    return 0;
}

void Asio_Lower(wchar_t* text) { WinAPITable.CharLowerBuffW(text, (DWORD)wcslen(text)); }

// Finds the class key of the lower-case CLSID text and reads its in-process server's path.
// -1 when the class is unknown or a key cannot be read.
int Asio_FindServerPath(int number, const wchar_t* clsidText, wchar_t* path, int pathUnits)
{
    HKEY classes = nullptr;
    if (WinAPITable.RegOpenKeyW(HKEY_CLASSES_ROOT, L"clsid", &classes) != ERROR_SUCCESS) return -1;
    wchar_t className[ASIO_CLASS_NAME_UNITS + 1];
    int result = -1;
    for (DWORD index = 0;; index++) {
        if (WinAPITable.RegEnumKeyW(classes, index, className, ASIO_CLASS_NAME_UNITS) != ERROR_SUCCESS) break;
        className[ASIO_CLASS_NAME_UNITS] = 0;
        Asio_Lower(className);
        if (wcscmp(className, clsidText) != 0) continue;
        Log_AddFormatUTF16(L"ASIOドライバNo.%d のCLSIDの情報を発見しました", number);
        HKEY classKey = nullptr;
        HKEY serverKey = nullptr;
        if (WinAPITable.RegOpenKeyExW(classes, className, 0, KEY_READ, &classKey) == ERROR_SUCCESS) {
            Log_AddFormatUTF16(L"ASIOドライバNo.%d のCLSIDの情報階層の取得に成功しました", number);
            if (WinAPITable.RegOpenKeyExW(classKey, L"InprocServer32", 0, KEY_READ, &serverKey) == ERROR_SUCCESS) {
                Log_AddFormatUTF16(L"ASIOドライバNo.%d のドライバのパスキーの取得に成功しました", number);
                if (Asio_ReadString(serverKey, nullptr, path, pathUnits) == 0) {
                    Log_AddFormatUTF16(L"ASIOドライバNo.%d のドライバのパスは %s です", number, path);
                    result = 0;
                }
            }
        }
        Asio_CloseKey(serverKey);
        Asio_CloseKey(classKey);
        break;
    }
    Asio_CloseKey(classes);
    return result;
}

// Looks at sub-key number of the driver list: 1 listed, 0 skipped (its DLL is missing), -1 ends
// the enumeration.
int Asio_ListDriver(HKEY asioKey, int number)
{
    SoundWinStateRecord& win = SoundWinState;
    wchar_t keyName[ASIO_KEY_NAME_UNITS + 1];
    if (WinAPITable.RegEnumKeyW(asioKey, (DWORD)number, keyName, ASIO_KEY_NAME_UNITS) != ERROR_SUCCESS) return -1;
    keyName[ASIO_KEY_NAME_UNITS] = 0;
    Log_AddFormatUTF16(L"ASIOドライバNo.%d のドライバキー名は %s です", number, keyName);
    HKEY driverKey = nullptr;
    if (WinAPITable.RegOpenKeyExW(asioKey, keyName, 0, KEY_READ, &driverKey) != ERROR_SUCCESS) return -1;
    Log_AddFormatUTF16(L"ASIOドライバNo.%d のドライバキー階層の取得に成功しました", number);

    int result = -1;
    wchar_t clsidText[128];
    wchar_t path[ASIO_PATH_UNITS + 1];
    if (Asio_ReadString(driverKey, L"clsid", clsidText, 128) == 0) {
        Asio_Lower(clsidText);
        Log_AddFormatUTF16(L"ASIOドライバNo.%d のCLSIDは %s です", number, clsidText);
        if (Asio_FindServerPath(number, clsidText, path, ASIO_PATH_UNITS + 1) == 0) {
            WIN32_FIND_DATAW found;
            HANDLE find = WinAPITable.FindFirstFileW(path, &found);
            if (find == INVALID_HANDLE_VALUE) {
                Log_AddFormatUTF16(L"ASIOドライバNo.%d のドライバDllの存在が確認できませんでした", number);
                result = 0;
            } else {
                WinAPITable.FindClose(find);
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    result = 0;
                } else {
                    Log_AddFormatUTF16(L"ASIOドライバNo.%d のドライバDllの存在が確認できました", number);
                    SoundAsioDriver& entry = win.AsioDrivers[win.AsioDriverCount];
                    if (SUCCEEDED(WinAPITable.CLSIDFromString(clsidText, &entry.Clsid))) {
                        if (Asio_ReadString(driverKey, L"description", entry.Name, ASIO_KEY_NAME_UNITS) != 0)
                            wcscpy(entry.Name, keyName);
                        entry.Driver = nullptr;
                        win.AsioDriverCount++;
                        Log_AddFormatUTF16(L"ASIOドライバNo.%d のドライバをリストに追加しました", number);
                        result = 1;
                    }
                }
            }
        }
    }
    Asio_CloseKey(driverKey);
    return result;
}

IASIO* Asio_SelectedDriver()
{
    const SoundWinStateRecord& win = SoundWinState;
    if (win.AsioSelected < 0 || win.AsioSelected >= win.AsioDriverCount) return nullptr;
    return win.AsioDrivers[win.AsioSelected].Driver;
}

int Asio_Fail(const wchar_t* message)
{
    Log_Indent_Decrease();
    Log_AddTextUTF16(message);
    SoundWin_Asio_Close();
    return -1;
}

// A device of 64-bit floats: the mixer writes 32-bit floats (in the device's byte order) into the
// float block, which are then widened into the driver's half-buffers.
void Asio_RenderFloat64(uint8_t* left, uint8_t* right, int frames)
{
    float* block = SoundWinState.AsioFloatBlock;
    const bool msbFirst = SoundSystemState.Output.BigEndianFlag != 0;
    Sound_Mixer_Render(block, block + frames, 4, frames);
    uint8_t* const outputs[2] = {left, right};
    for (int side = 0; side < 2; side++) {
        const uint8_t* in = (const uint8_t*)(block + (size_t)side * frames);
        uint8_t* out = outputs[side];
        for (int k = 0; k < frames; k++) {
            uint8_t bytes[4];
            for (int i = 0; i < 4; i++) bytes[i] = in[4 * k + (msbFirst ? 3 - i : i)];
            float single;
            memcpy(&single, bytes, 4);
            const double wide = single;
            uint8_t wideBytes[8];
            memcpy(wideBytes, &wide, 8);
            for (int i = 0; i < 8; i++) out[8 * k + i] = wideBytes[msbFirst ? 7 - i : i];
        }
    }
}

}  // namespace

int SoundWin_Asio_EnumerateDrivers()
{
    SoundWinStateRecord& win = SoundWinState;
    win.AsioDriverCount = 0;
    Log_AddFormatUTF16(L"ASIOドライバの列挙を開始します");
    HKEY asioKey = nullptr;
    if (WinAPITable.RegOpenKeyW(HKEY_LOCAL_MACHINE, L"software\\asio", &asioKey) == ERROR_SUCCESS) {
        Log_AddFormatUTF16(L"ASIOドライバのレジストリ階層を取得しました");
        for (int number = 0; win.AsioDriverCount < SOUND_ASIO_DRIVER_MAX; number++) {
            if (Asio_ListDriver(asioKey, number) < 0) break;
        }
        Asio_CloseKey(asioKey);
    }
    Log_AddFormatUTF16(L"ASIOドライバの列挙が完了しました");
    return win.AsioDriverCount;
}

int SoundWin_Asio_Open()
{
    WinAPI_EnsureLoaded();
    SoundWinStateRecord& win = SoundWinState;
    Log_AddTextUTF16(L"ASIO の初期化を行います\n");
    Log_Indent_Increase();
    if (WinAPITable.CharLowerBuffW == nullptr || WinAPITable.RegOpenKeyW == nullptr || WinAPITable.RegEnumKeyW == nullptr ||
        WinAPITable.RegOpenKeyExW == nullptr || WinAPITable.RegQueryValueExW == nullptr ||
        WinAPITable.FindFirstFileW == nullptr || WinAPITable.FindClose == nullptr || WinAPITable.CLSIDFromString == nullptr ||
        WinAPITable.CoCreateInstance == nullptr)
        return Asio_Fail(L"ASIO の使用に必要な API が使用できませんでした\n");

    if (SoundWin_Asio_EnumerateDrivers() == 0) return Asio_Fail(L"ASIOドライバがみつかりませんでした\n");

    if (win.AsioSelected < 0) win.AsioSelected = 0;
    if (win.AsioSelected >= win.AsioDriverCount) win.AsioSelected = win.AsioDriverCount - 1;
    SoundAsioDriver& entry = win.AsioDrivers[win.AsioSelected];
    Log_AddFormatUTF16(L"ASIOドライバをロードします");
    IASIO* driver = nullptr;
    if (FAILED(WinAPITable.CoCreateInstance(entry.Clsid, nullptr, CLSCTX_INPROC_SERVER, entry.Clsid, (void**)&driver)) ||
        driver == nullptr)
        return Asio_Fail(L"ASIOドライバのロードに失敗しました\n");
    entry.Driver = driver;
    Log_AddFormatUTF16(L"ASIOドライバをロードに成功しました");
    Log_AddFormatUTF16(L"ASIOを初期化します");

    if (driver->init((void*)Window_GetMainHandle()) == ASIOFalse) return Asio_Fail(L"ASIOの初期化に失敗しました\n");
    Log_AddFormatUTF16(L"ASIOを初期化に成功しました");
    Log_AddFormatUTF16(L"ASIOのバッファサイズを取得します");

    long minimum = 0, maximum = 0, preferred = 0, granularity = 0;
    if (driver->getBufferSize(&minimum, &maximum, &preferred, &granularity) != ASE_OK)
        return Asio_Fail(L"ASIOの作成可能なバッファサイズの取得に失敗しました\n");
    win.AsioBufferMinimum = (int32_t)minimum;
    win.AsioBufferMaximum = (int32_t)maximum;
    win.AsioBufferPreferred = (int32_t)preferred;
    win.AsioBufferGranularity = (int32_t)granularity;
    long size = preferred;
    if (win.AsioConfigured && win.AsioConfigBufferSize >= 0) {
        size = win.AsioConfigBufferSize;
        if (size < minimum) size = minimum;
        if (size > maximum) size = maximum;
    }
    // A driver that offers no usable size cannot be double-buffered.
    if (size <= 0 || size > 0x1000000) return Asio_Fail(L"ASIOの作成可能なバッファサイズの取得に失敗しました\n");
    win.AsioBufferSize = (int32_t)size;
    Log_AddFormatUTF16(L"ASIOのバッファサイズの取得に成功しました");
    Log_AddFormatUTF16(L"\t最小バッファサイズ   : %d", (int)minimum);
    Log_AddFormatUTF16(L"\t最大バッファサイズ   : %d", (int)maximum);
    Log_AddFormatUTF16(L"\t優先バッファサイズ   : %d", (int)preferred);
    Log_AddFormatUTF16(L"\tバッファサイズの粒度 : %d", (int)granularity);
    Log_AddFormatUTF16(L"\t使用するバッファサイズ : %d", (int)size);

    memset(win.AsioBuffers, 0, sizeof(win.AsioBuffers));
    for (int channel = 0; channel < 2; channel++) {
        win.AsioBuffers[channel].isInput = ASIOFalse;
        win.AsioBuffers[channel].channelNum = channel;
    }
    Log_AddFormatUTF16(L"ASIOのチャンネル情報を取得します");
    ASIOChannelInfo info;
    memset(&info, 0, sizeof(info));
    info.channel = 0;
    info.isInput = ASIOFalse;
    if (driver->getChannelInfo(&info) != ASE_OK) return Asio_Fail(L"ASIOのチャンネル情報の取得に失敗しました\n");
    Log_AddFormatUTF16(L"ASIOのチャンネル情報の取得に成功しました");
    const SoundAsioSampleType* type =
        info.type >= 0 && info.type < SOUND_ASIO_SAMPLE_TYPE_COUNT ? &SoundWin_AsioSampleTypes[info.type] : nullptr;
    Log_AddFormatUTF16(L"\tフォーマットタイプ : %s", type != nullptr && type->Name != nullptr ? type->Name : L"不明");
    // The mixer writes PCM and floats only: an unknown type or a DSD stream would get no samples.
    if (type == nullptr || type->Name == nullptr || type->Bits == 8) {
        Log_AddFormatUTF16(L"ASIOのサンプル形式 %d には対応していません", (int)info.type);
        return Asio_Fail(L"ASIOのチャンネル情報の取得に失敗しました\n");
    }
    win.AsioSampleType = (int32_t)info.type;

    ASIOSampleRate rate = win.AsioConfigured && win.AsioConfigRate > 0 ? (ASIOSampleRate)win.AsioConfigRate : 44100.0;
    Log_AddFormatUTF16(L"ASIOのサンプルレートを %dHz に設定します", (int)rate);
    Log_AddFormatUTF16(driver->setSampleRate(rate) != ASE_OK ? L"ASIOのサンプルレートの設定に失敗しました"
                                                            : L"ASIOのサンプルレートの設定に成功しました");
    Log_AddFormatUTF16(L"ASIOのサンプルレートを取得します");
    if (driver->getSampleRate(&rate) != ASE_OK || !(rate >= 1.0 && rate <= 16000000.0))
        return Asio_Fail(L"ASIOのサンプルレートの取得に失敗しました\n");
    Log_AddFormatUTF16(L"ASIOのサンプルレートの取得に成功しました");
    Log_AddFormatUTF16(L"\tサンプルレート : %.3f", rate);

    WAVEFORMATEXTENSIBLE format;
    memset(&format, 0, sizeof(format));
    format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    format.Format.nChannels = 2;
    format.Format.nSamplesPerSec = (DWORD)rate;
    format.Format.wBitsPerSample = (WORD)type->Bits;
    format.Format.nBlockAlign = (WORD)(2 * type->Bits / 8);
    format.Format.nAvgBytesPerSec = (DWORD)format.Format.nBlockAlign * format.Format.nSamplesPerSec;
    format.Format.cbSize = 22;
    format.Samples.wValidBitsPerSample = (WORD)type->ValidBits;
    format.dwChannelMask = 3;
    format.SubFormat = type->Float ? Asio_SubtypeFloat : Asio_SubtypePcm;
    win.OutputFormat = format;
    // Fewer valid bits than a 32-bit container holds sit at its low end, sign-extended.
    const int lowJustified = type->Bits == 32 && type->ValidBits < 32 ? 1 : 0;
    Sound_Mixer_SetOutputFormat(&format, type->MsbFirst, lowJustified);

    Log_AddFormatUTF16(L"ASIOのバッファを作成します");
    win.AsioCallbacks.bufferSwitch = SoundWin_Asio_BufferSwitchCallback;
    win.AsioCallbacks.sampleRateDidChange = SoundWin_Asio_SampleRateCallback;
    win.AsioCallbacks.asioMessage = SoundWin_Asio_MessageCallback;
    win.AsioCallbacks.bufferSwitchTimeInfo = nullptr;
    if (driver->createBuffers(win.AsioBuffers, 2, size, &win.AsioCallbacks) != ASE_OK)
        return Asio_Fail(L"ASIOのバッファー作成に失敗しました\n");
    win.AsioBuffersCreated = 1;
    for (int channel = 0; channel < 2; channel++) {
        if (win.AsioBuffers[channel].buffers[0] == nullptr || win.AsioBuffers[channel].buffers[1] == nullptr)
            return Asio_Fail(L"ASIOのバッファー作成に失敗しました\n");
    }
    Log_AddFormatUTF16(L"ASIOのバッファの作成に成功しました");

    if (Sound_SetupMixingWorkBuffer(SoundSystemState.Output.FloatFlag, (int)size) != 0)
        return Asio_Fail(L"自前ミキシング作業用バッファの確保に失敗しました\n");
    if (type->Bits == 64) {
        win.AsioFloatBlock = (float*)Memory_Allocate((uint32_t)size * 8, "ViZedavWin", __LINE__);
        if (win.AsioFloatBlock == nullptr) return Asio_Fail(L"自前ミキシング作業用バッファの確保に失敗しました\n");
    }

    win.OutputDevice = 1;
    Log_AddFormatUTF16(L"ASIOのサウンドの再生を開始します");
    if (driver->start() != ASE_OK) return Asio_Fail(L"ASIOのサウンドの再生の開始に失敗しました\n");
    win.AsioStarted = 1;
    Log_Indent_Decrease();
    Log_AddTextUTF16(L"ASIO の初期化に成功しました\n");
    return 0;
}

int SoundWin_Asio_Close()
{
    SoundWinStateRecord& win = SoundWinState;
    IASIO* driver = Asio_SelectedDriver();
    if (driver != nullptr) {
        // A driver calls back no more once stop has returned; only then do its buffers go.
        if (win.AsioStarted) driver->stop();
        if (win.AsioBuffersCreated) driver->disposeBuffers();
        driver->Release();
    }
    for (int i = 0; i < SOUND_ASIO_DRIVER_MAX; i++) win.AsioDrivers[i].Driver = nullptr;
    if (win.AsioStarted || win.AsioBuffersCreated || driver != nullptr) win.OutputDevice = 0;
    win.AsioStarted = 0;
    win.AsioBuffersCreated = 0;
    memset(win.AsioBuffers, 0, sizeof(win.AsioBuffers));
    Memory_Free(win.AsioFloatBlock);
    win.AsioFloatBlock = nullptr;
    return 0;
}

void SoundWin_Asio_BufferSwitchCallback(long doubleBufferIndex, ASIOBool directProcess)
{
    (void)directProcess;
    SoundWinStateRecord& win = SoundWinState;
    if (doubleBufferIndex == 0 || doubleBufferIndex == 1) {
        uint8_t* left = (uint8_t*)win.AsioBuffers[0].buffers[doubleBufferIndex];
        uint8_t* right = (uint8_t*)win.AsioBuffers[1].buffers[doubleBufferIndex];
        const int frames = win.AsioBufferSize;
        if (left != nullptr && right != nullptr && frames > 0) {
            if (win.AsioFloatBlock != nullptr) Asio_RenderFloat64(left, right, frames);
            else Sound_Mixer_Render(left, right, SoundWin_AsioSampleTypes[win.AsioSampleType].Bits / 8, frames);
        }
    }
    IASIO* driver = Asio_SelectedDriver();
    if (driver != nullptr) driver->outputReady();
}

void SoundWin_Asio_SampleRateCallback(ASIOSampleRate sampleRate)
{
    SoundWinStateRecord& win = SoundWinState;
    SoundSystemStateRecord& state = SoundSystemState;
    if (!(sampleRate >= 1.0 && sampleRate <= 16000000.0)) {
        Log_AddFormatUTF16(L"ASIOドライバから不正なサンプルレートが通知されました");
        return;
    }
    // Under the mixer lock, so that no block is mixed half at the old rate.
    if (state.MixerLockCreated) CriticalSection_Enter(&state.SoundMixerListLock, "ViZedavWin", __LINE__);
    const DWORD rate = (DWORD)sampleRate;
    win.OutputFormat.Format.nSamplesPerSec = rate;
    win.OutputFormat.Format.nAvgBytesPerSec = (DWORD)(sampleRate * win.OutputFormat.Format.nBlockAlign);
    const SoundOutputFormat& current = state.Output;
    Sound_Mixer_SetOutputFormat(&win.OutputFormat, current.BigEndianFlag, current.LowJustified);
    if (state.MixerLockCreated) CriticalSection_Leave(&state.SoundMixerListLock);
}

long SoundWin_Asio_MessageCallback(long selector, long value, void* message, double* optional)
{
    (void)selector;
    (void)value;
    (void)message;
    (void)optional;
    return 0;
}

}  // namespace Vantrel
