// VtSoundWave: WAVE file images of PCM in memory and the capture file of the mixer's output.
// Stands on memory, the log, the write-only files, the text wrappers of the system calls and the
// sound state (capture state, output rate, mixer lock).
#include "sound/VtSoundWave.h"

#include <string.h>

#include "foundation/VtFile.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "foundation/VtWinAPIText.h"
#include "sound/VtSound.h"
#include "sound/VtSoundMixer.h"

namespace Vantrel {

namespace {

constexpr uint32_t CAPTURE_HEADER_BYTES = 46;

inline void Wave_Put32(uint8_t* at, uint32_t value) { memcpy(at, &value, 4); }
inline void Wave_Put16(uint8_t* at, uint16_t value) { memcpy(at, &value, 2); }

void Wave_Capture_Lock()
{
    if (SoundSystemState.MixerLockCreated) CriticalSection_Enter(&SoundSystemState.SoundMixerListLock, "VtSoundWave", __LINE__);
}

void Wave_Capture_Unlock()
{
    if (SoundSystemState.MixerLockCreated) CriticalSection_Leave(&SoundSystemState.SoundMixerListLock);
}

// The header of a capture of the given frames: 16-bit stereo PCM at the mixer's rate.
void Wave_Capture_BuildHeader(uint8_t* header, uint32_t frames)
{
    const uint32_t rate = SoundSystemState.SoftwareOutputRate > 0 ? (uint32_t)SoundSystemState.SoftwareOutputRate : 44100;
    memcpy(header, "RIFF", 4);
    Wave_Put32(header + 4, 4 * frames + 38);
    memcpy(header + 8, "WAVE", 4);
    memcpy(header + 12, "fmt ", 4);
    Wave_Put32(header + 16, 18);
    Wave_Put16(header + 20, 1);
    Wave_Put16(header + 22, 2);
    Wave_Put32(header + 24, rate);
    Wave_Put32(header + 28, rate * 4);
    Wave_Put16(header + 32, 4);
    Wave_Put16(header + 34, 16);
    Wave_Put16(header + 36, 0);
    memcpy(header + 38, "data", 4);
    Wave_Put32(header + 42, 4 * frames);
}

}  // namespace

int Sound_CreateWaveFileImage(void** image, uint32_t* imageSize, const void* format, uint32_t formatSize, const void* pcm,
                              uint32_t pcmSize)
{
    const uint64_t total = 28ull + formatSize + pcmSize;
    uint8_t* block = total <= 0xFFFFFFFFull ? (uint8_t*)Memory_Allocate((uint32_t)total, "VtSoundWave", __LINE__) : nullptr;
    if (block == nullptr) {
        Log_AddTextUTF16(L"仮WAVEファイルイメージ用のメモリ確保に失敗しました\n");
        return -1;
    }
    memcpy(block, "RIFF", 4);
    Wave_Put32(block + 4, (uint32_t)(total - 8));
    memcpy(block + 8, "WAVE", 4);
    memcpy(block + 12, "fmt ", 4);
    Wave_Put32(block + 16, formatSize);
    if (formatSize > 0) memcpy(block + 20, format, formatSize);
    memcpy(block + 20 + formatSize, "data", 4);
    Wave_Put32(block + 24 + formatSize, pcmSize);
    if (pcmSize > 0) memcpy(block + 28 + formatSize, pcm, pcmSize);
    *image = block;
    *imageSize = (uint32_t)total;
    return 0;
}

int Sound_BeginCapture(const wchar_t* path)
{
    if (path == nullptr) return -1;
    if (SoundSystemState.CaptureActive) Sound_EndCapture();
    HANDLE file = WinAPI_CreateFile(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE || file == nullptr) {
        Log_AddFormatUTF16(L"サウンドキャプチャ用のファイルを作成できませんでした : %s", path);
        return -1;
    }
    // The header's place is held until the capture ends and the frame count is known.
    uint8_t header[CAPTURE_HEADER_BYTES];
    Wave_Capture_BuildHeader(header, 0);
    uint32_t written = 0;
    File_WriteOnly_Write(file, header, CAPTURE_HEADER_BYTES, &written);
    if (written != CAPTURE_HEADER_BYTES) {
        File_WriteOnly_Close(file);
        Log_AddFormatUTF16(L"サウンドキャプチャ用のファイルに書き込めませんでした : %s", path);
        return -1;
    }
    Wave_Capture_Lock();
    SoundSystemState.CaptureFile = file;
    SoundSystemState.CaptureFrames = 0;
    SoundSystemState.CaptureActive = 1;
    Wave_Capture_Unlock();
    return 0;
}

int Sound_EndCapture()
{
    Wave_Capture_Lock();
    if (!SoundSystemState.CaptureActive) {
        Wave_Capture_Unlock();
        return -1;
    }
    uint8_t header[CAPTURE_HEADER_BYTES];
    Wave_Capture_BuildHeader(header, SoundSystemState.CaptureFrames);
    File_WriteOnly_Seek(SoundSystemState.CaptureFile, 0, 0, 0);
    File_WriteOnly_Write(SoundSystemState.CaptureFile, header, CAPTURE_HEADER_BYTES, nullptr);
    File_WriteOnly_Close(SoundSystemState.CaptureFile);
    SoundSystemState.CaptureFile = nullptr;
    SoundSystemState.CaptureActive = 0;
    Wave_Capture_Unlock();
    return 0;
}

int Sound_Capture_Append(const void* cells, bool floatCells, int frames)
{
    SoundSystemStateRecord& state = SoundSystemState;
    if (!state.CaptureActive || frames <= 0) return -1;
    // The header counts bytes in 32 bits: the capture stops growing before they wrap.
    const uint32_t room = (0xFFFFFFFFu - 38 - 4 * state.CaptureFrames) / 4;
    if ((uint32_t)frames > room) frames = (int)room;
    int16_t block[2 * 512];
    for (int done = 0; done < frames;) {
        const int count = frames - done < 512 ? frames - done : 512;
        for (int k = 0; k < 2 * count; k++) {
            block[k] = (int16_t)Sound_Mixer_CellToSample16(cells, 2 * done + k, floatCells);
        }
        uint32_t written = 0;
        File_WriteOnly_Write(state.CaptureFile, block, (uint32_t)count * 4, &written);
        state.CaptureFrames += written / 4;
        if (written != (uint32_t)count * 4) return -1;
        done += count;
    }
    return 0;
}

}  // namespace Vantrel
