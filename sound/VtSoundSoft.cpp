// VtSoundSoft: soft sounds (plain PCM in memory: made, loaded, converted, copied, read and written
// frame by frame, played as sound handles) and soft-sound players (a looping one-second buffer fed
// from a queue of frames by the per-frame service, with the dry state once the queue ran out).
// Stands on the sound state and its lists, sound buffers, the sound conversion, ring buffers, files,
// memory streams, asynchronous loading, the sound handles and WAVE images.
#include "sound/VtSoundSoft.h"

#include <windows.h>
#include <mmreg.h>
#include <string.h>

#include "foundation/VtFile.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "foundation/VtStream.h"
#include "sound/VtSoundHandle.h"
#include "sound/VtSoundWave.h"
#include "sound/VtSoundWin.h"
#include "system/VtSystem.h"
#include "system/VtWindow.h"

namespace Vantrel {

namespace {

constexpr uint32_t SOFT_SOUND_PATH_BYTES = 2048;

CriticalSection& SoftSound_Lock() { return HandleManagerTable[HandleType_SoftSound].Lock; }

#define SOFT_SOUND_LOCK() CriticalSection_Enter(&SoftSound_Lock(), "VtSoundSoft", __LINE__)
#define SOFT_SOUND_UNLOCK() CriticalSection_Leave(&SoftSound_Lock())

SoftSoundRecord* SoftSound_Get(HandleValue handle, int inJob)
{
    if (!SoundSystemState.Initialized) return nullptr;
    return (SoftSoundRecord*)Sound_Handle_GetOfType(HandleType_SoftSound, handle, inJob);
}

SoftSoundRecord* SoftSound_GetData(HandleValue handle, int inJob = 0)
{
    SoftSoundRecord* soft = SoftSound_Get(handle, inJob);
    return soft != nullptr && !soft->IsPlayer ? soft : nullptr;
}

SoftSoundRecord* SoftSound_GetPlayer(HandleValue handle)
{
    SoftSoundRecord* soft = SoftSound_Get(handle, 0);
    return soft != nullptr && soft->IsPlayer ? soft : nullptr;
}

int SoftSound_BlockAlign(const SoftSoundRecord* soft) { return soft->Format.nBlockAlign; }

SoftSoundData SoftSound_View(const SoftSoundRecord* soft)
{
    SoftSoundData view;
    view.FormatTag = soft->Format.wFormatTag;
    view.Channels = soft->Format.nChannels;
    view.SampleRate = (int)soft->Format.nSamplesPerSec;
    view.BitsPerSample = soft->Format.wBitsPerSample;
    view.SampleCount = soft->SampleCount;
    view.Data = soft->Pcm;
    return view;
}

// The byte offset of one value of plain data; -1 outside the data.
int64_t SoftSound_ValueOffset(const SoftSoundRecord* soft, int64_t frame, int channel)
{
    if (frame < 0 || frame >= soft->SampleCount || channel < 0 || channel >= soft->Format.nChannels) return -1;
    return frame * SoftSound_BlockAlign(soft) + (int64_t)channel * (soft->Format.wBitsPerSample / 8);
}

void SoftSound_FillSilence(void* at, uint32_t bytes, int bits)
{
    if (at != nullptr && bytes > 0) memset(at, bits == 8 ? 127 : 0, bytes);
}

// Rounds bytes per second x numerator / 256 up to whole frames, in bytes.
int SoftSound_WholeFrames(int64_t bytesPerSecond, int numerator, int blockAlign)
{
    const int64_t unit = 256 * (int64_t)blockAlign;
    return (int)(((bytesPerSecond * numerator + unit - 1) / unit) * blockAlign);
}

int SoftSound_Player_Silence(SoftSoundRecord* player)
{
    void* region[2] = {nullptr, nullptr};
    uint32_t length[2] = {0, 0};
    if (SoundBuffer_LockRegion(&player->Buffer, 0, player->RingSize, &region[0], &length[0], &region[1], &length[1]) != 0)
        return -1;
    SoftSound_FillSilence(region[0], length[0], player->Format.wBitsPerSample);
    SoftSound_FillSilence(region[1], length[1], player->Format.wBitsPerSample);
    SoundBuffer_UnlockRegion(&player->Buffer, region[0], length[0], region[1], length[1]);
    return 0;
}

// Sets a player's buffer to silence from the start, with the writer and the dry state at rest.
int SoftSound_Player_Reset(SoftSoundRecord* player)
{
    if (SoftSound_Player_Silence(player) != 0) return -1;
    SoundBuffer_SetPosition(&player->Buffer, 0);
    player->WritePosition = 0;
    player->StopPosition = -1;
    player->LastPlayPosition = 0;
    player->Dry = 0;
    return 0;
}

// One feeding pass of a started player (under the SoftSound handle-type lock): keeps the writer a
// lead ahead of the play position, with queued frames while there are any and silence after them.
void SoftSound_Player_Feed(SoftSoundRecord* player)
{
    int32_t play = 0;
    if (SoundBuffer_GetPosition(&player->Buffer, &play, nullptr) != 0) return;
    const int ring = player->RingSize, lead = player->Lead, blockAlign = SoftSound_BlockAlign(player);
    if (ring <= 0 || blockAlign <= 0) return;

    if (player->StopPosition != -1 && !player->Dry) {
        const int stop = player->StopPosition, last = player->LastPlayPosition;
        const bool crossed = (last < play && last <= stop && stop <= play) || (play < last && (stop >= last || play >= stop));
        if (crossed) {
            // Everything queued has played: the whole buffer goes silent, so that a pass that comes
            // late finds silence and not the buffer's last round again.
            player->Dry = 1;
            SoftSound_Player_Silence(player);
        } else {
            player->LastPlayPosition = play;
        }
    }

    // The writer stays at most two leads ahead of the play position. When the play position has
    // overtaken it (a pass came late, or the device read a long block at once) the writer starts
    // again at the play position: otherwise the buffer would play its stale second round.
    int ahead = player->WritePosition - play;
    if (ahead < 0) ahead += ring;
    if (ahead > 2 * lead) player->WritePosition = play - play % blockAlign;
    const int write = player->WritePosition;
    int from = write - lead;
    if (from < 0) from += ring;
    const bool inRange = from <= write ? play >= from && play <= write : play >= from || play <= write;
    if (!inRange) return;
    int distance = play - from;
    if (distance < 0) distance += ring;
    const int needed = (lead + distance) / blockAlign;
    const int queued = player->QueuedFrames;
    const int dataFrames = queued >= needed ? needed : queued;
    const int silentFrames = queued == 0 ? needed : 0;
    const int bytes = (dataFrames + silentFrames) * blockAlign;
    if (bytes <= 0) return;

    void* region[2] = {nullptr, nullptr};
    uint32_t length[2] = {0, 0};
    if (SoundBuffer_LockRegion(&player->Buffer, write, bytes, &region[0], &length[0], &region[1], &length[1]) != 0) return;
    const bool ending = silentFrames > 0 && player->StopPosition == -1;
    if (ending) {
        int stop = write + dataFrames * blockAlign;
        if (stop >= ring) stop -= ring;
        player->StopPosition = stop;
        player->LastPlayPosition = play;
        player->Dry = 0;
    }
    // New data follows whatever ended before: the end mark goes with it.
    if (dataFrames > 0) {
        player->Dry = 0;
        player->LastPlayPosition = 0;
        player->StopPosition = -1;
    }
    player->QueuedFrames -= dataFrames;
    uint32_t dataBytes = (uint32_t)dataFrames * blockAlign;
    for (int part = 0; part < 2; part++) {
        const uint32_t take = length[part] < dataBytes ? length[part] : dataBytes;
        if (take > 0) RingBuffer_Get(&player->Queue, region[part], (int32_t)take, 0);
        SoftSound_FillSilence((uint8_t*)region[part] + take, length[part] - take, player->Format.wBitsPerSample);
        dataBytes -= take;
    }
    SoundBuffer_UnlockRegion(&player->Buffer, region[0], length[0], region[1], length[1]);
    int next = write + (int)(length[0] + length[1]);
    if (next >= ring) next -= ring;
    player->WritePosition = next;
    // The queue ran out: what lies beyond the writer up to the play position is last round's, and
    // goes silent now, so that a late pass finds silence.
    if (ending) {
        int stale = play - next;
        if (stale < 0) stale += ring;
        stale -= stale % blockAlign;
        if (stale > 0 &&
            SoundBuffer_LockRegion(&player->Buffer, next, stale, &region[0], &length[0], &region[1], &length[1]) == 0) {
            SoftSound_FillSilence(region[0], length[0], player->Format.wBitsPerSample);
            SoftSound_FillSilence(region[1], length[1], player->Format.wBitsPerSample);
            SoundBuffer_UnlockRegion(&player->Buffer, region[0], length[0], region[1], length[1]);
        }
    }
}

int SoftSound_PackLoadJob(void* area, const SoundLoadParam* param, HandleValue handle, const wchar_t* path,
                          const void* image, int64_t imageSize)
{
    int offset = 0;
    ASyncLoad_Param_PutBlock(area, &offset, param, sizeof(*param));
    ASyncLoad_Param_PutInt(area, &offset, handle);
    ASyncLoad_Param_PutString(area, &offset, path);
    ASyncLoad_Param_PutPointer(area, &offset, image);
    ASyncLoad_Param_PutInt64(area, &offset, imageSize);
    return offset;
}

int SoftSound_PackMakeJob(void* area, HandleValue handle, int isPlayer, int channels, int bits, int rate,
                          int64_t sampleCount, int floatFlag, HandleValue formatSource)
{
    int offset = 0;
    ASyncLoad_Param_PutInt(area, &offset, handle);
    ASyncLoad_Param_PutInt(area, &offset, isPlayer);
    ASyncLoad_Param_PutInt(area, &offset, channels);
    ASyncLoad_Param_PutInt(area, &offset, bits);
    ASyncLoad_Param_PutInt(area, &offset, rate);
    ASyncLoad_Param_PutInt64(area, &offset, sampleCount);
    ASyncLoad_Param_PutInt(area, &offset, floatFlag);
    ASyncLoad_Param_PutInt(area, &offset, formatSource);
    return offset;
}

// Two plain soft sounds of equal length and channel count; false otherwise.
bool SoftSound_GetPair(HandleValue source, HandleValue destination, SoftSoundRecord** first, SoftSoundRecord** second)
{
    *first = SoftSound_GetData(source);
    *second = SoftSound_GetData(destination);
    return *first != nullptr && *second != nullptr && (*first)->SampleCount == (*second)->SampleCount &&
           (*first)->Format.nChannels == (*second)->Format.nChannels;
}

}  // namespace

// ---- Records ------------------------------------------------------------------------------------------

int AddSoftSoundData(HandleValue handle, int isPlayer, int channels, int bits, int rate, int floatFlag, int64_t sampleCount)
{
    SoundSystemStateRecord& state = SoundSystemState;
    SoftSoundRecord* soft = SoftSound_Get(handle, 1);
    if (soft == nullptr) return -1;
    if (floatFlag) bits = 32;
    const bool depthOk = floatFlag || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    if (channels < 1 || channels > SOFT_SOUND_CHANNEL_MAX || !depthOk || rate <= 0 || sampleCount < 0) {
        Log_AddFormatUTF16(L"ソフトサウンドの形式が正しくありません( チャンネル数 %d  ビット数 %d  周波数 %d ) in AddSoftSoundData\n",
                           channels, bits, rate);
        return -1;
    }
    const int blockAlign = bits / 8 * channels;
    const int64_t bytesPerSecond = (int64_t)rate * blockAlign;
    if (bytesPerSecond > SOFT_SOUND_BYTE_MAX) {
        Log_AddTextUTF16(L"ソフトサウンドの周波数が大きすぎます in AddSoftSoundData\n");
        return -1;
    }

    soft->IsPlayer = isPlayer ? 1 : 0;
    memset(&soft->Format, 0, sizeof(soft->Format));
    soft->Format.wFormatTag = floatFlag ? WAVE_FORMAT_IEEE_FLOAT : WAVE_FORMAT_PCM;
    soft->Format.nChannels = (WORD)channels;
    soft->Format.nSamplesPerSec = (DWORD)rate;
    soft->Format.nAvgBytesPerSec = (DWORD)bytesPerSecond;
    soft->Format.nBlockAlign = (WORD)blockAlign;
    soft->Format.wBitsPerSample = (WORD)bits;
    soft->Format.cbSize = 0;

    if (!soft->IsPlayer) {
        // Every byte of the data must be reachable with 32-bit offsets: a count whose size does not
        // fit is refused, never cut to its low bits.
        if (sampleCount > SOFT_SOUND_BYTE_MAX / blockAlign) {
            Log_AddFormatUTF16(L"ソフトサウンドの波形が大きすぎます( %lld サンプル ) in AddSoftSoundData\n", (long long)sampleCount);
            return -1;
        }
        const int64_t bytes = sampleCount * blockAlign;
        soft->SampleCount = sampleCount;
        soft->Pcm = Memory_AllocateZeroed((uint32_t)(bytes > 0 ? bytes : 1), "VtSoundSoft", __LINE__);
        if (soft->Pcm == nullptr) {
            Log_AddTextUTF16(L"ソフトハンドルの波形を格納するメモリ領域の確保に失敗しました in AddSoftSoundData");
            return -1;
        }
        return 0;
    }

    // The mixer reads integer PCM only.
    if (floatFlag && state.SoftwareMixing) {
        Log_AddTextUTF16(L"ソフトサウンドプレイヤー用サウンドバッファの作成に失敗しました");
        return -1;
    }
    RingBuffer_Initialize(&soft->Queue);
    soft->QueuedFrames = 0;
    const int ringSize = SoftSound_WholeFrames(bytesPerSecond, 256, blockAlign);
    if (SoundBuffer_Create(&soft->Buffer, (uint32_t)ringSize, &soft->Format, nullptr, 0) != 0) {
        Log_AddTextUTF16(L"ソフトサウンドプレイヤー用サウンドバッファの作成に失敗しました");
        RingBuffer_Terminate(&soft->Queue);
        return -1;
    }
    soft->RingSize = ringSize;
    soft->StartThreshold = SoftSound_WholeFrames(bytesPerSecond, 51, blockAlign);
    soft->Lead = SoftSound_WholeFrames(bytesPerSecond, 8, blockAlign);
    soft->PlayerStarted = 0;
    SoftSound_Player_Reset(soft);
    SOFT_SOUND_LOCK();
    Handle_List_Append(&state.SoftSoundPlayerList.End, &soft->NodePlayer, handle, soft);
    soft->InPlayerList = 1;
    SOFT_SOUND_UNLOCK();
    return 0;
}

int SoftSound_HandleRecord_Terminate(HandleHeader* record)
{
    SoftSoundRecord* soft = (SoftSoundRecord*)record;
    if (soft->IsPlayer) {
        // The feeding pass holds the same lock while it touches the player.
        const bool locked = HandleManagerTable[HandleType_SoftSound].Initialized;
        if (locked) SOFT_SOUND_LOCK();
        if (soft->InPlayerList) {
            Handle_List_Remove(&soft->NodePlayer);
            soft->InPlayerList = 0;
        }
        if (soft->Buffer.Valid) SoundBuffer_Release(&soft->Buffer);
        RingBuffer_Terminate(&soft->Queue);
        soft->QueuedFrames = 0;
        if (locked) SOFT_SOUND_UNLOCK();
    } else if (soft->Pcm != nullptr) {
        Memory_Free(soft->Pcm);
        soft->Pcm = nullptr;
    }
    return 0;
}

// ---- Loading and making -----------------------------------------------------------------------------------

namespace {

HandleValue SoftSound_LoadIn(const SoundLoadParam* param, const wchar_t* path, const void* image, int64_t imageSize,
                             int asynchronous, int inJob)
{
    if (!SoundSystemState.Initialized) return -1;
    if (!inJob) Window_WaitWhileInactive();
    const HandleValue handle = Handle_New(HandleType_SoftSound, inJob, -1);
    if (handle < 0) return -1;
    SoundLoadParam defaults;
    if (param == nullptr) {
        Sound_LoadParam_Init(&defaults);
        param = &defaults;
    }
    if (asynchronous && !inJob) {
        wchar_t absolute[SOFT_SOUND_PATH_BYTES / sizeof(wchar_t)];
        if (path != nullptr && File_Path_ToAbsoluteW(path, absolute, sizeof(absolute), nullptr) < 0) {
            Handle_Delete(handle, 0, 0);
            return -1;
        }
        const wchar_t* given = path != nullptr ? absolute : nullptr;
        auto pack = [&](void* area) { return SoftSound_PackLoadJob(area, param, handle, given, image, imageSize); };
        if (Sound_Job_Queue(handle, SoftSound_Load_ASyncJob, pack) != 0) {
            Handle_Delete(handle, 0, 0);
            return -1;
        }
        return handle;
    }
    const int result = SoftSound_Load_Worker(param, handle, path, image, imageSize, inJob);
    // A handle made inside a job counts as loading until here.
    if (inJob) Handle_ASyncLoad_End(handle);
    if (result != 0) {
        Handle_Delete(handle, inJob, 0);
        return -1;
    }
    return handle;
}

HandleValue SoftSound_MakeIn(int isPlayer, int channels, int bits, int rate, int64_t sampleCount, int floatFlag,
                             HandleValue formatSource, int asynchronous)
{
    if (!SoundSystemState.Initialized) return -1;
    Window_WaitWhileInactive();
    const HandleValue handle = Handle_New(HandleType_SoftSound, 0, -1);
    if (handle < 0) return -1;
    if (asynchronous) {
        auto pack = [&](void* area) {
            return SoftSound_PackMakeJob(area, handle, isPlayer, channels, bits, rate, sampleCount, floatFlag, formatSource);
        };
        if (Sound_Job_Queue(handle, SoftSound_Make_ASyncJob, pack) != 0) {
            Handle_Delete(handle, 0, 0);
            return -1;
        }
        return handle;
    }
    if (SoftSound_Make_Worker(handle, isPlayer, channels, bits, rate, sampleCount, floatFlag, formatSource, 0) != 0) {
        Handle_Delete(handle, 0, 0);
        return -1;
    }
    return handle;
}

}  // namespace

HandleValue SoftSound_Load(const SoundLoadParam* param, const wchar_t* path, const void* image, int64_t imageSize,
                           int asynchronous)
{
    return SoftSound_LoadIn(param, path, image, imageSize, asynchronous, 0);
}

HandleValue SoftSound_LoadForJob(const SoundLoadParam* param, const wchar_t* path, const void* image, int64_t imageSize,
                                 int inJob)
{
    return SoftSound_LoadIn(param, path, image, imageSize, 0, inJob);
}

int SoftSound_Load_Worker(const SoundLoadParam* param, HandleValue handle, const wchar_t* path, const void* image,
                          int64_t imageSize, int inJob)
{
    Stream stream;
    FileAccessHandle file = 0;
    MemStream* memory = nullptr;
    if (path != nullptr) {
        file = File_Access_Open(path, 0, 1, 0);
        if (file == 0) {
            Log_AddFormatUTF16(L"Sound File Open Error : %s", path);
            return -1;
        }
        stream = {*File_GetFileStreamOps(), (void*)file};
    } else {
        if (image != nullptr && imageSize >= 0 && imageSize <= 0xFFFFFFFFll) memory = File_MemStream_Open(image, (uint32_t)imageSize);
        if (memory == nullptr) return -1;
        stream = {*File_GetMemStreamOps(), memory};
    }
    auto closeStream = [&]() {
        if (file != 0) File_Access_Close(file);
        if (memory != nullptr) File_MemStream_Close(memory);
    };

    SoundConvertRecord* convert = (SoundConvertRecord*)Memory_AllocateZeroed(sizeof(SoundConvertRecord), "VtSoundSoft", __LINE__);
    if (convert == nullptr ||
        SoundConvert_Setup(convert, &stream, param->ConvertDisableFlags, param->OggBytesPerSample, param->VorbisVariant) != 0) {
        Log_AddTextUTF16(L"ソフトサウンド用の音声ファイルのＰＣＭへの変換に失敗しました");
        Memory_Free(convert);
        closeStream();
        return -1;
    }
    WAVEFORMATEX format;
    void* pcm = nullptr;
    uint32_t pcmSize = 0;
    const int converted = SoundConvert_ConvertWhole(convert, &format, &pcm, &pcmSize);
    SoundConvert_Close(convert);
    Memory_Free(convert);
    closeStream();
    if (converted != 0) {
        Log_AddTextUTF16(L"ソフトサウンド用の音声ファイルを格納するメモリ領域の確保に失敗しました");
        return -1;
    }
    int result = -1;
    if (format.nBlockAlign != 0 &&
        AddSoftSoundData(handle, 0, format.nChannels, format.wBitsPerSample, (int)format.nSamplesPerSec,
                         format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT, pcmSize / format.nBlockAlign) == 0) {
        SoftSoundRecord* soft = SoftSound_Get(handle, 1);
        if (soft != nullptr && soft->Format.nBlockAlign == format.nBlockAlign) {
            memcpy(soft->Pcm, pcm, (size_t)(soft->SampleCount * soft->Format.nBlockAlign));
            result = 0;
        }
    }
    Memory_Free(pcm);
    return result;
}

int SoftSound_Load_ASyncJob(ASyncLoadEntry* entry)
{
    int offset = 0;
    SoundLoadParam param;
    Sound_Job_UnpackParam(entry, &offset, &param);
    const HandleValue handle = ASyncLoad_Param_GetInt(entry->Params, &offset);
    const wchar_t* path = ASyncLoad_Param_GetString(entry->Params, &offset);
    const void* image = ASyncLoad_Param_GetPointer(entry->Params, &offset);
    const int64_t imageSize = ASyncLoad_Param_GetInt64(entry->Params, &offset);
    const int result = SoftSound_Load_Worker(&param, handle, path, image, imageSize, 1);
    Sound_Job_Finish(handle, result, true);
    return 0;
}

HandleValue SoftSound_Make(int isPlayer, int channels, int bits, int rate, int64_t sampleCount, int floatFlag,
                           HandleValue formatSource, int asynchronous)
{
    return SoftSound_MakeIn(isPlayer, channels, bits, rate, sampleCount, floatFlag, formatSource, asynchronous);
}

int SoftSound_Make_Worker(HandleValue handle, int isPlayer, int channels, int bits, int rate, int64_t sampleCount,
                          int floatFlag, HandleValue formatSource, int inJob)
{
    if (formatSource != -1 && SoftSound_GetFormat(formatSource, &channels, &bits, &rate, &floatFlag) != 0) return -1;
    return AddSoftSoundData(handle, isPlayer, channels, bits, rate, floatFlag, sampleCount);
}

int SoftSound_Make_ASyncJob(ASyncLoadEntry* entry)
{
    int offset = 0;
    const HandleValue handle = ASyncLoad_Param_GetInt(entry->Params, &offset);
    const int isPlayer = ASyncLoad_Param_GetInt(entry->Params, &offset);
    const int channels = ASyncLoad_Param_GetInt(entry->Params, &offset);
    const int bits = ASyncLoad_Param_GetInt(entry->Params, &offset);
    const int rate = ASyncLoad_Param_GetInt(entry->Params, &offset);
    const int64_t sampleCount = ASyncLoad_Param_GetInt64(entry->Params, &offset);
    const int floatFlag = ASyncLoad_Param_GetInt(entry->Params, &offset);
    const HandleValue formatSource = ASyncLoad_Param_GetInt(entry->Params, &offset);
    const int result = SoftSound_Make_Worker(handle, isPlayer, channels, bits, rate, sampleCount, floatFlag, formatSource, 1);
    Sound_Job_Finish(handle, result, true);
    return 0;
}

HandleValue SoftSound_MakeData(int channels, int bits, int rate, int64_t sampleCount, int floatFlag)
{
    return SoftSound_Make(0, channels, bits, rate, sampleCount, floatFlag, -1, IsAsyncLoadEnabled());
}

HandleValue SoftSound_MakePlayer(int channels, int bits, int rate, int floatFlag)
{
    return SoftSound_Make(1, channels, bits, rate, 0, floatFlag, -1, 0);
}

// ---- Plain data ---------------------------------------------------------------------------------------------

int SoftSound_GetFormat(HandleValue handle, int* channels, int* bits, int* rate, int* floatFlag)
{
    const SoftSoundRecord* soft = SoftSound_GetData(handle);
    if (soft == nullptr) return -1;
    if (channels != nullptr) *channels = soft->Format.nChannels;
    if (bits != nullptr) *bits = soft->Format.wBitsPerSample;
    if (rate != nullptr) *rate = (int)soft->Format.nSamplesPerSec;
    if (floatFlag != nullptr) *floatFlag = soft->Format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT ? 1 : 0;
    return 0;
}

int64_t SoftSound_GetSampleCount(HandleValue handle)
{
    const SoftSoundRecord* soft = SoftSound_GetData(handle);
    return soft != nullptr ? soft->SampleCount : -1;
}

int SoftSound_GetDataView(HandleValue handle, SoftSoundData* view, int inJob)
{
    const SoftSoundRecord* soft = SoftSound_GetData(handle, inJob);
    if (soft == nullptr || view == nullptr) return -1;
    *view = SoftSound_View(soft);
    return 0;
}

int SoftSound_ConvertFloatToInt(HandleValue floatSource, HandleValue intDestination)
{
    SoftSoundRecord *source, *destination;
    if (!SoftSound_GetPair(floatSource, intDestination, &source, &destination)) return -1;
    const SoftSoundData from = SoftSound_View(source);
    SoftSoundData to = SoftSound_View(destination);
    return SoftSound_ConvertFloatToIntData(&from, &to);
}

int SoftSound_ConvertIntToFloat(HandleValue intSource, HandleValue floatDestination)
{
    SoftSoundRecord *source, *destination;
    if (!SoftSound_GetPair(intSource, floatDestination, &source, &destination)) return -1;
    const SoftSoundData from = SoftSound_View(source);
    SoftSoundData to = SoftSound_View(destination);
    return SoftSound_ConvertIntToFloatData(&from, &to);
}

int SoftSound_Copy(HandleValue sourceHandle, HandleValue destinationHandle)
{
    SoftSoundRecord *source, *destination;
    if (!SoftSound_GetPair(sourceHandle, destinationHandle, &source, &destination)) return -1;
    if (source->Format.wBitsPerSample != destination->Format.wBitsPerSample ||
        source->Format.wFormatTag != destination->Format.wFormatTag)
        return -1;
    if (source != destination) memcpy(destination->Pcm, source->Pcm, (size_t)(source->SampleCount * SoftSound_BlockAlign(source)));
    return 0;
}

int SoftSound_WriteSample(HandleValue handle, int64_t frame, int channel, int value)
{
    SoftSoundRecord* soft = SoftSound_GetData(handle);
    if (soft == nullptr || soft->Format.wFormatTag != WAVE_FORMAT_PCM) return -1;
    const int64_t offset = SoftSound_ValueOffset(soft, frame, channel);
    if (offset < 0) return -1;
    uint8_t* at = (uint8_t*)soft->Pcm + offset;
    switch (soft->Format.wBitsPerSample) {
    case 8: *at = (uint8_t)(value < 0 ? 0 : value > 255 ? 255 : value); break;
    case 16: {
        const int16_t v = (int16_t)(value < -32768 ? -32768 : value > 32767 ? 32767 : value);
        memcpy(at, &v, 2);
        break;
    }
    case 24: {
        const int32_t v = value < -8388608 ? -8388608 : value > 8388607 ? 8388607 : value;
        at[0] = (uint8_t)v;
        at[1] = (uint8_t)(v >> 8);
        at[2] = (uint8_t)(v >> 16);
        break;
    }
    default: memcpy(at, &value, 4); break;
    }
    return 0;
}

int SoftSound_ReadSample(HandleValue handle, int64_t frame, int channel, int* value)
{
    const SoftSoundRecord* soft = SoftSound_GetData(handle);
    if (soft == nullptr || value == nullptr || soft->Format.wFormatTag != WAVE_FORMAT_PCM) return -1;
    const int64_t offset = SoftSound_ValueOffset(soft, frame, channel);
    if (offset < 0) return -1;
    const uint8_t* at = (const uint8_t*)soft->Pcm + offset;
    switch (soft->Format.wBitsPerSample) {
    case 8: *value = *at; break;
    case 16: {
        int16_t v;
        memcpy(&v, at, 2);
        *value = v;
        break;
    }
    case 24: *value = (int32_t)((uint32_t)at[0] << 8 | (uint32_t)at[1] << 16 | (uint32_t)at[2] << 24) >> 8; break;
    default: memcpy(value, at, 4); break;
    }
    return 0;
}

int SoftSound_WriteSampleF(HandleValue handle, int64_t frame, int channel, float value)
{
    SoftSoundRecord* soft = SoftSound_GetData(handle);
    if (soft == nullptr || soft->Format.wFormatTag != WAVE_FORMAT_IEEE_FLOAT) return -1;
    const int64_t offset = SoftSound_ValueOffset(soft, frame, channel);
    if (offset < 0) return -1;
    memcpy((uint8_t*)soft->Pcm + offset, &value, 4);
    return 0;
}

int SoftSound_ReadSampleF(HandleValue handle, int64_t frame, int channel, float* value)
{
    const SoftSoundRecord* soft = SoftSound_GetData(handle);
    if (soft == nullptr || value == nullptr || soft->Format.wFormatTag != WAVE_FORMAT_IEEE_FLOAT) return -1;
    const int64_t offset = SoftSound_ValueOffset(soft, frame, channel);
    if (offset < 0) return -1;
    memcpy(value, (const uint8_t*)soft->Pcm + offset, 4);
    return 0;
}

HandleValue LoadSoundFromSoftSound(HandleValue softSound, int bufferCount)
{
    const SoftSoundRecord* soft = SoftSound_GetData(softSound);
    if (soft == nullptr || !SoundWin_IsOutputReady()) return -1;
    const int64_t bytes = soft->SampleCount * SoftSound_BlockAlign(soft);
    void* image = nullptr;
    uint32_t imageSize = 0;
    if (Sound_CreateWaveFileImage(&image, &imageSize, &soft->Format, 18, soft->Pcm, (uint32_t)bytes) != 0) return -1;
    SoundLoadParam param;
    Sound_LoadParam_Init(&param);
    param.DataType = 0;
    param.PitchSwitch = 0;
    param.TimeStretchSwitch = 0;
    const HandleValue handle = LoadSoundFromMemImageWithParam(&param, 1, -1, image, imageSize, bufferCount, -1, 0, 0);
    Memory_Free(image);
    return handle;
}

// ---- Players ---------------------------------------------------------------------------------------------------

int SoftSound_Player_AddData(HandleValue handle, const void* frames, int frameCount)
{
    SoftSoundRecord* player = SoftSound_GetPlayer(handle);
    if (player == nullptr || frames == nullptr || frameCount < 0) return -1;
    const int64_t bytes = (int64_t)frameCount * SoftSound_BlockAlign(player);
    SOFT_SOUND_LOCK();
    int result = -1;
    if (bytes + player->Queue.Stored <= SOFT_SOUND_BYTE_MAX && RingBuffer_Reserve(&player->Queue, (int32_t)bytes) == 0 &&
        RingBuffer_Put(&player->Queue, frames, (int32_t)bytes) == 0) {
        player->QueuedFrames += frameCount;
        result = 0;
    }
    SOFT_SOUND_UNLOCK();
    if (result != 0) Log_AddTextUTF16(L"ソフトサウンドプレイヤーにデータを追加できませんでした\n");
    return result;
}

int SoftSound_Player_Start(HandleValue handle)
{
    SoftSoundRecord* player = SoftSound_GetPlayer(handle);
    if (player == nullptr || !player->Buffer.Valid) return -1;
    SOFT_SOUND_LOCK();
    int result = 0;
    if (!player->PlayerStarted || SoundBuffer_IsPlaying(&player->Buffer) != 1) {
        // Playing starts from a silent buffer whose first lead the feeding writes at once.
        if (SoftSound_Player_Reset(player) != 0) result = -1;
        if (result == 0) {
            player->PlayerStarted = 1;
            player->Paused = 0;
            SoftSound_Player_Feed(player);
            result = SoundBuffer_Start(&player->Buffer, 1) == 0 ? 0 : -1;
            if (result != 0) player->PlayerStarted = 0;
        }
    }
    SOFT_SOUND_UNLOCK();
    return result;
}

int SoftSound_Player_Stop(HandleValue handle)
{
    SoftSoundRecord* player = SoftSound_GetPlayer(handle);
    if (player == nullptr) return -1;
    SOFT_SOUND_LOCK();
    if (player->Buffer.Valid) SoundBuffer_Halt(&player->Buffer, 0);
    player->PlayerStarted = 0;
    player->Paused = 0;
    player->WasPlaying = 0;
    SOFT_SOUND_UNLOCK();
    return 0;
}

int SoftSound_Player_IsPlaying(HandleValue handle)
{
    SoftSoundRecord* player = SoftSound_GetPlayer(handle);
    if (player == nullptr) return -1;
    if (!player->PlayerStarted) return 0;
    if (player->Paused) return player->WasPlaying ? 1 : 0;
    return SoundBuffer_IsPlaying(&player->Buffer) == 1 ? 1 : 0;
}

int SoftSound_Player_GetQueuedFrames(HandleValue handle)
{
    SoftSoundRecord* player = SoftSound_GetPlayer(handle);
    return player != nullptr ? player->QueuedFrames : -1;
}

int SoftSound_Player_IsDry(HandleValue handle)
{
    SoftSoundRecord* player = SoftSound_GetPlayer(handle);
    return player != nullptr ? player->Dry : -1;
}

int SoftSound_ProcessPlayersAll()
{
    SoundSystemStateRecord& state = SoundSystemState;
    if (!SoundWin_IsOutputReady() || !HandleManagerTable[HandleType_SoftSound].Initialized) return -1;
    SOFT_SOUND_LOCK();
    for (HandleListNode* node = state.SoftSoundPlayerList.End.Prev; node != nullptr && node != &state.SoftSoundPlayerList.Start;
         node = node->Prev) {
        SoftSoundRecord* player = (SoftSoundRecord*)node->Record;
        if (player != nullptr && player->PlayerStarted && player->Buffer.Valid) SoftSound_Player_Feed(player);
    }
    SOFT_SOUND_UNLOCK();
    return 0;
}

}  // namespace Vantrel
