// VtSoundHandle: sound handles and their loading: the handle check, creating handles and their
// buffers, loading whole sounds from files and memory images (at once or as loading jobs), turning
// long or looped sounds into streams, the loop-tag text files, and the record callbacks.
// Stands on the handle manager, asynchronous loading, files, memory streams, the sound conversion,
// sound buffers and the stream sounds (VtSoundStream.cpp).
#include "sound/VtSoundHandle.h"

#include <string.h>

#include <functional>

#include "foundation/VtCharCode.h"
#include "foundation/VtFile.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "sound/VtSoundSoft.h"
#include "sound/VtSoundTimeStretch.h"
#include "sound/VtSoundWin.h"

namespace Vantrel {

namespace {

constexpr uint32_t SOUND_PATH_BYTES = 2048;
constexpr uint32_t SOUND_TAG_PATH_BYTES = 3072;
constexpr int32_t SOUND_TAG_TEXT_BYTES = 512;
constexpr int32_t SOUND_TAG_TEXT_WRITTEN = 480;

bool Sound_LoopPairSet(const SoundLoadParam* param)
{
    return param->LoopStartTime != param->LoopEndTime || param->LoopStartSample != param->LoopEndSample;
}

// The loop area a load asks for, applied once the data is in place. A loop point the sound cannot
// take (an end at the very end of the data, say) leaves the sound as it is; the load still succeeds.
int Sound_ApplyLoadLoopArea(const SoundLoadParam* param, HandleValue handle, int inJob)
{
    if (param->LoopAreaOff) return 0;
    if (param->LoopStartTime != param->LoopEndTime)
        Sound_SetLoopAreaTime(param->LoopStartTime, param->LoopEndTime, handle, inJob);
    else if (param->LoopStartSample != param->LoopEndSample)
        Sound_SetLoopAreaSamples(param->LoopStartSample, param->LoopEndSample, handle, inJob);
    return 0;
}

void Sound_List_Join(CriticalSection* lock, HandleListNode* end, HandleListNode* node, HandleValue handle, void* record)
{
    CriticalSection_Enter(lock, "VtSoundHandle", __LINE__);
    Handle_List_Append(end, node, handle, record);
    CriticalSection_Leave(lock);
}

void Sound_List_Leave(CriticalSection* lock, int* member, HandleListNode* node)
{
    if (!*member) return;
    if (lock != nullptr) CriticalSection_Enter(lock, "VtSoundHandle", __LINE__);
    Handle_List_Remove(node);
    *member = 0;
    if (lock != nullptr) CriticalSection_Leave(lock);
}

// Reads a run of decimal digits; p is left after it.
int64_t Sound_ReadDigits(const wchar_t*& p)
{
    int64_t value = 0;
    while (*p >= L'0' && *p <= L'9') {
        if (value < (INT64_MAX - 9) / 10) value = value * 10 + (*p - L'0');
        p++;
    }
    return value;
}

// Moves p to the first digit after the next '='; false when there is none.
bool Sound_SkipToValue(const wchar_t*& p)
{
    while (*p != 0 && *p != L'=') p++;
    if (*p == 0) return false;
    while (*p != 0 && !(*p >= L'0' && *p <= L'9')) p++;
    return *p != 0;
}

// Packs a load job's parameters (a null area only measures).
int Sound_PackFileJob(void* area, const SoundLoadParam* param, HandleValue handle, const wchar_t* path, int bufferCount,
                      HandleValue unionHandle)
{
    int offset = 0;
    ASyncLoad_Param_PutBlock(area, &offset, param, sizeof(*param));
    ASyncLoad_Param_PutInt(area, &offset, handle);
    ASyncLoad_Param_PutString(area, &offset, path);
    ASyncLoad_Param_PutInt(area, &offset, bufferCount);
    ASyncLoad_Param_PutInt(area, &offset, unionHandle);
    return offset;
}

int Sound_PackMemJob(void* area, const SoundLoadParam* param, int createFlag, HandleValue handle, const void* image,
                     int64_t imageSize, int bufferCount, HandleValue unionHandle)
{
    int offset = 0;
    ASyncLoad_Param_PutBlock(area, &offset, param, sizeof(*param));
    ASyncLoad_Param_PutInt(area, &offset, createFlag);
    ASyncLoad_Param_PutInt(area, &offset, handle);
    ASyncLoad_Param_PutPointer(area, &offset, image);
    ASyncLoad_Param_PutInt64(area, &offset, imageSize);
    ASyncLoad_Param_PutInt(area, &offset, bufferCount);
    ASyncLoad_Param_PutInt(area, &offset, unionHandle);
    return offset;
}

}  // namespace

// ---- Loading jobs -----------------------------------------------------------------------------------

int Sound_Job_Queue(HandleValue handle, ASyncLoadJobProc procedure, const std::function<int(void*)>& pack)
{
    const int bytes = pack(nullptr);
    ASyncLoadEntry* entry = bytes > 0 ? ASyncLoad_Entry_Allocate(bytes) : nullptr;
    if (entry == nullptr) return -1;
    pack(entry->Params);
    entry->Procedure = procedure;
    int index = -1;
    if (ASyncLoad_Entry_Enqueue(entry, &index) < 0) {
        ASyncLoad_Entry_Free(entry);
        return -1;
    }
    Handle_ASyncLoad_Begin(handle, index);
    return 0;
}

// Ends a job's work on the handle: stores the result, drops a handle the job made when the load
// failed and counts the job out. The deletion is asked for first: a caller waiting for the load sees
// the handle gone the moment it stops loading, never a failed load that still looks alive.
void Sound_Job_Finish(HandleValue handle, int result, bool deleteOnFailure)
{
    HandleHeader* record = Handle_GetRecord(handle);
    if (record != nullptr) record->ASyncLoadResult = result;
    if (result < 0 && deleteOnFailure) Handle_Delete(handle, 1, 0);
    Handle_ASyncLoad_End(handle);
}

void Sound_Job_UnpackParam(const ASyncLoadEntry* entry, int* offset, SoundLoadParam* param)
{
    int bytes = 0;
    const void* block = ASyncLoad_Param_GetBlock(entry->Params, offset, &bytes);
    memset(param, 0, sizeof(*param));
    memcpy(param, block, bytes < (int)sizeof(*param) ? bytes : sizeof(*param));
}

// ---- The handle check ---------------------------------------------------------------------------------

HandleHeader* Sound_Handle_GetOfType(int type, HandleValue handle, int inJob)
{
    if (!SoundWin_IsOutputReady()) return nullptr;
    const HandleManager& manager = HandleManagerTable[type];
    if (!manager.Initialized || handle < 0 || (handle & HandleValue_TypeMask) != manager.TypeMask) return nullptr;
    const int slot = Handle_SlotOf(handle);
    if (slot >= manager.MaxCount) return nullptr;
    HandleHeader* record = manager.Slots[slot];
    // A handle whose deletion is queued (a load that failed in its job) is gone for its callers.
    if (record == nullptr || record->CheckValue != Handle_CheckOf(handle) || record->DeleteRequested) return nullptr;
    if (!inJob && record->ASyncLoadCount != 0) {
        int done = -1;
        if (record->ASyncLoadCount == 1 && record->JobIndex >= 0 && ASyncLoad_IsMainThread())
            done = ASyncLoad_Entry_RunNow(record->JobIndex);
        record = Handle_GetRecord(handle);
        if (record != nullptr && (done < 0 || record->ASyncLoadCount != 0)) {
            if (Handle_ASyncLoad_Wait(handle) < 0) return nullptr;
            record = Handle_GetRecord(handle);
        }
        if (record == nullptr || record->ASyncLoadCount != 0 || record->DeleteRequested) return nullptr;
    }
    return record;
}

SoundHandleRecord* Sound_Handle_Get(HandleValue handle, int inJob)
{
    return (SoundHandleRecord*)Sound_Handle_GetOfType(HandleType_Sound, handle, inJob);
}

HandleValue Sound_Handle_Create(int is3D, int keep, int inJob)
{
    const HandleValue handle = Handle_New(HandleType_Sound, inJob, -1);
    if (handle < 0) return -1;
    SoundHandleRecord* sound = (SoundHandleRecord*)Handle_GetRecord(handle);
    if (sound == nullptr) return -1;
    sound->Is3D = is3D;
    sound->KeepFlag = keep;
    if (is3D)
        Sound_List_Join(&SoundSystemState.Sound3DHandleListLock, &SoundSystemState.Sound3DHandleList.End, &sound->Node3D,
                        handle, sound);
    return handle;
}

int Sound_Handle_CreateBuffers(const WAVEFORMATEX* format, uint32_t byteSize, int streamBuffer, int bufferCount,
                               HandleValue handle, HandleValue unionHandle, int inJob)
{
    if (!SoundWin_IsOutputReady()) return -1;
    SoundHandleRecord* sound = Sound_Handle_Get(handle, inJob);
    if (sound == nullptr) return -1;
    SoundHandleRecord* shared = nullptr;
    if (unionHandle != -1) {
        shared = Sound_Handle_Get(unionHandle, inJob);
        if (shared == nullptr || streamBuffer || !shared->Buffers[0].Valid) return -1;
        format = &shared->WaveFormat;
        byteSize = shared->PcmSize;
    }
    if (bufferCount > SOUND_HANDLE_BUFFER_MAX) bufferCount = SOUND_HANDLE_BUFFER_MAX;

    if (streamBuffer) {
        if (SoundBuffer_Create(&sound->Buffers[0], byteSize, format, nullptr, sound->Is3D) != 0) {
            Log_AddTextUTF16(L"ストリーム風サウンドバッファの作成に失敗しました\n");
            return -1;
        }
        sound->BufferCount = 1;
        sound->IsStream = 1;
        if (!sound->InStreamList) {
            Sound_List_Join(&SoundSystemState.SoundStreamListLock, &SoundSystemState.SoundStreamList.End, &sound->NodeStream,
                            handle, sound);
            sound->InStreamList = 1;
        }
        return 0;
    }

    // No buffer asked for: the handle holds its data and has nothing to play.
    if (bufferCount <= 0) {
        sound->BufferCount = 0;
        sound->CurrentBuffer = 0;
        sound->IsStream = 0;
        return 0;
    }
    SoundBuffer* first = &sound->Buffers[0];
    bool made = shared != nullptr && SoundBuffer_CreateShared(first, &shared->Buffers[0], sound->Is3D) == 0;
    if (!made && SoundBuffer_Create(first, byteSize, format, nullptr, sound->Is3D) != 0) {
        Log_AddTextUTF16(L"DirectSoundBuffer の作成に失敗しました\n");
        return -1;
    }
    const SoundBuffer* source = shared != nullptr ? &shared->Buffers[0] : first;
    int count = 1;
    while (count < bufferCount && SoundBuffer_CreateShared(&sound->Buffers[count], source, sound->Is3D) == 0) count++;
    sound->BufferCount = bufferCount < count ? bufferCount : count;
    // The first start advances to buffer 0.
    sound->CurrentBuffer = sound->BufferCount > 0 ? sound->BufferCount - 1 : 0;
    sound->IsStream = 0;
    return 0;
}

// ---- Loading --------------------------------------------------------------------------------------------

HandleValue LoadSoundFromFileWithParam(const SoundLoadParam* param, const wchar_t* path, int bufferCount,
                                       HandleValue unionHandle, int asynchronous, int inJob)
{
    if (!SoundWin_IsOutputReady() || param == nullptr || path == nullptr) return -1;
    const HandleValue handle = Sound_Handle_Create(param->Is3D, param->KeepFlag, inJob);
    if (handle < 0) return -1;
    wchar_t absolute[SOUND_PATH_BYTES / sizeof(wchar_t)];
    if (File_Path_ToAbsoluteW(path, absolute, sizeof(absolute), nullptr) < 0) {
        Handle_Delete(handle, inJob, 0);
        return -1;
    }

    if (asynchronous && !inJob) {
        auto pack = [&](void* area) { return Sound_PackFileJob(area, param, handle, absolute, bufferCount, unionHandle); };
        if (Sound_Job_Queue(handle, Sound_Load_ASyncJob, pack) != 0) {
            Handle_Delete(handle, 0, 0);
            return -1;
        }
        return handle;
    }
    SoundLoadParam work = *param;
    const int result = Sound_LoadFromFile_Worker(&work, handle, absolute, bufferCount, unionHandle, inJob);
    if (inJob) Handle_ASyncLoad_End(handle);
    if (result < 0) {
        Handle_Delete(handle, inJob, 0);
        return -1;
    }
    return handle;
}

int Sound_Load_ASyncJob(ASyncLoadEntry* entry)
{
    int offset = 0;
    SoundLoadParam param;
    Sound_Job_UnpackParam(entry, &offset, &param);
    const HandleValue handle = ASyncLoad_Param_GetInt(entry->Params, &offset);
    const wchar_t* path = ASyncLoad_Param_GetString(entry->Params, &offset);
    const int bufferCount = ASyncLoad_Param_GetInt(entry->Params, &offset);
    const HandleValue unionHandle = ASyncLoad_Param_GetInt(entry->Params, &offset);
    const int result = Sound_LoadFromFile_Worker(&param, handle, path, bufferCount, unionHandle, 1);
    Sound_Job_Finish(handle, result, true);
    return 0;
}

int Sound_LoadFromFile_Worker(SoundLoadParam* param, HandleValue handle, const wchar_t* path, int bufferCount,
                              HandleValue unionHandle, int inJob)
{
    if (!SoundWin_IsOutputReady()) return -1;
    if (bufferCount > SOUND_HANDLE_BUFFER_MAX) bufferCount = SOUND_HANDLE_BUFFER_MAX;

    if (!Sound_LoopPairSet(param) && !param->LoopAreaOff) {
        wchar_t tagPath[SOUND_TAG_PATH_BYTES / sizeof(wchar_t)];
        int64_t start = 0, end = 0;
        if (Sound_LoopTagFile_MakeName(path, tagPath, sizeof(tagPath)) == 0 &&
            Sound_LoopTagFile_Read(tagPath, &start, &end) == 0) {
            param->LoopStartSample = start;
            param->LoopEndSample = end;
            if (param->DataType == 0) param->DataType = 2;
        }
    }

    if (param->PitchSwitch || param->TimeStretchSwitch) {
        SoundLoadParam fresh;
        Sound_LoadParam_Init(&fresh);
        const HandleValue soft = SoftSound_LoadForJob(&fresh, path, nullptr, 0, inJob);
        if (soft < 0) {
            Log_AddFormatUTF16(L"Sound File Load Error 2 : %s", path);
            return -1;
        }
        const int result = Sound_LoadWithPitchOrStretch(handle, param, soft, bufferCount, inJob);
        if (result != 0) Log_AddFormatUTF16(L"Sound File Setup Error %d : %s", -result, path);
        Handle_Delete(soft, inJob, 0);
        return result != 0 ? -1 : 0;
    }

    if (param->DataType == 0) {
        void* image = nullptr;
        uint32_t size = 0;
        if (Sound_File_ReadWhole(path, &image, &size, 1) != 0) {
            Log_AddFormatUTF16(L"Sound File Load Error : %s", path);
            return -1;
        }
        const int result = LoadSoundMemByMemImageBase(param, handle, image, size, bufferCount, unionHandle, inJob);
        Memory_Free(image);
        if (result != 0) {
            Log_AddFormatUTF16(L"Sound File Setup Error : %s", path);
            return -1;
        }
        return 0;
    }

    if (Sound_Stream_AddFromFile(param, path, 0, handle, param->DataType, unionHandle, inJob) != 0) return -1;
    if (Sound_Stream_Prepare(handle, inJob) != 0) return -1;
    return Sound_ApplyLoadLoopArea(param, handle, inJob);
}

int LoadSoundFromMemImageWithParam(const SoundLoadParam* param, int createFlag, HandleValue handle, const void* image,
                                   int64_t imageSize, int bufferCount, HandleValue unionHandle, int asynchronous, int inJob)
{
    if (!SoundWin_IsOutputReady() || param == nullptr) return -1;
    if (createFlag) {
        handle = Sound_Handle_Create(param->Is3D, param->KeepFlag, inJob);
        if (handle < 0) return -1;
    } else {
        if (Sound_Handle_Get(handle, inJob) == nullptr) return -1;
        if (inJob) Handle_ASyncLoad_Begin(handle, -1);
    }

    if (!asynchronous || inJob) {
        const int result = LoadSoundMemByMemImageBase(param, handle, image, imageSize, bufferCount, unionHandle, inJob);
        if (inJob) Handle_ASyncLoad_End(handle);
        if (result != 0) {
            if (createFlag) Handle_Delete(handle, inJob, 0);
            return -1;
        }
        return createFlag ? handle : 0;
    }
    auto pack = [&](void* area) {
        return Sound_PackMemJob(area, param, createFlag, handle, image, imageSize, bufferCount, unionHandle);
    };
    if (Sound_Job_Queue(handle, Sound_LoadFromMemImage_ASyncJob, pack) != 0) {
        if (createFlag) Handle_Delete(handle, 0, 0);
        return -1;
    }
    return createFlag ? handle : 0;
}

int Sound_LoadFromMemImage_ASyncJob(ASyncLoadEntry* entry)
{
    int offset = 0;
    SoundLoadParam param;
    Sound_Job_UnpackParam(entry, &offset, &param);
    const int createFlag = ASyncLoad_Param_GetInt(entry->Params, &offset);
    const HandleValue handle = ASyncLoad_Param_GetInt(entry->Params, &offset);
    const void* image = ASyncLoad_Param_GetPointer(entry->Params, &offset);
    const int64_t imageSize = ASyncLoad_Param_GetInt64(entry->Params, &offset);
    const int bufferCount = ASyncLoad_Param_GetInt(entry->Params, &offset);
    const HandleValue unionHandle = ASyncLoad_Param_GetInt(entry->Params, &offset);
    const int result = LoadSoundMemByMemImageBase(&param, handle, image, imageSize, bufferCount, unionHandle, 1);
    Sound_Job_Finish(handle, result, createFlag != 0);
    return 0;
}

int LoadSoundMemByMemImageBase(const SoundLoadParam* given, HandleValue handle, const void* image, int64_t imageSize,
                               int bufferCount, HandleValue unionHandle, int inJob)
{
    if (!SoundWin_IsOutputReady() || bufferCount > SOUND_HANDLE_BUFFER_MAX || bufferCount < 0) return -1;
    if (image == nullptr || imageSize < 0 || imageSize > 0xFFFFFFFFll) return -1;
    SoundLoadParam param = *given;

    if (param.PitchSwitch || param.TimeStretchSwitch) {
        SoundLoadParam fresh;
        Sound_LoadParam_Init(&fresh);
        const HandleValue soft = SoftSound_LoadForJob(&fresh, nullptr, image, imageSize, inJob);
        if (soft < 0) {
            Log_AddTextUTF16(L"LoadSoundMemByMemImageBase Error 1");
            return -1;
        }
        const int result = Sound_LoadWithPitchOrStretch(handle, &param, soft, bufferCount, inJob);
        if (result != 0) Log_AddFormatUTF16(L"LoadSoundMemByMemImageBase Error %d", -result);
        Handle_Delete(soft, inJob, 0);
        return result != 0 ? -1 : 0;
    }

    if (param.DataType == 0) {
        MemStream* memory = File_MemStream_Open(image, (uint32_t)imageSize);
        if (memory == nullptr) return -1;
        Stream stream = {*File_GetMemStreamOps(), memory};
        SoundConvertRecord* convert = (SoundConvertRecord*)Memory_AllocateZeroed(sizeof(SoundConvertRecord), "VtSoundHandle", __LINE__);
        if (convert == nullptr ||
            SoundConvert_Setup(convert, &stream, param.ConvertDisableFlags, param.OggBytesPerSample, param.VorbisVariant) != 0) {
            Log_AddTextUTF16(L"音声ファイルのＰＣＭへの変換に失敗しました");
            Memory_Free(convert);
            File_MemStream_Close(memory);
            return -1;
        }
        // A sound too long to hold in memory is streamed: told from the length the decoder reports,
        // before anything is decoded.
        WAVEFORMATEX format = convert->OutputFormat;
        const int64_t total = SoundConvert_GetTotalBytes(convert);
        bool streamed = format.nAvgBytesPerSec != 0 && total / format.nAvgBytesPerSec > SOUND_STREAM_THRESHOLD_SECONDS;
        void* pcm = nullptr;
        uint32_t pcmSize = 0;
        int64_t loopStart = -1, loopEnd = -1;
        if (!streamed) {
            if (SoundConvert_ConvertWhole(convert, &format, &pcm, &pcmSize) != 0) {
                Log_AddTextUTF16(L"音声ファイルを格納するメモリ領域の確保に失敗しました");
                SoundConvert_Close(convert);
                Memory_Free(convert);
                File_MemStream_Close(memory);
                return -1;
            }
            if (!Sound_LoopPairSet(&param) && !param.LoopAreaOff) SoundConvert_GetLoopArea(convert, &loopStart, &loopEnd);
        }
        SoundConvert_Close(convert);
        Memory_Free(convert);
        File_MemStream_Close(memory);

        if (loopStart >= 0 && loopEnd >= 0) {
            param.LoopStartSample = loopStart;
            param.LoopEndSample = loopEnd;
            streamed = true;
        }
        if (!streamed && format.nAvgBytesPerSec != 0 && pcmSize / format.nAvgBytesPerSec > SOUND_STREAM_THRESHOLD_SECONDS)
            streamed = true;
        if (!streamed && Sound_Handle_CreateBuffers(&format, pcmSize, 0, bufferCount, handle, -1, inJob) != 0) streamed = true;
        if (streamed) {
            Memory_Free(pcm);
            param.DataType = 2;
        } else {
            SoundHandleRecord* sound = Sound_Handle_Get(handle, inJob);
            if (sound == nullptr) {
                Memory_Free(pcm);
                return -1;
            }
            sound->Frequency = (int)format.nSamplesPerSec;
            sound->PcmReferences = (int*)Memory_Allocate(sizeof(int), "VtSoundHandle", __LINE__);
            if (sound->PcmReferences == nullptr) {
                Log_AddTextUTF16(L"サウンドデータの参照数を保存するメモリ領域の確保に失敗しました");
                Memory_Free(pcm);
                return -1;
            }
            sound->WaveFormat = format;
            sound->Pcm = pcm;
            sound->PcmSize = pcmSize;
            *sound->PcmReferences = 1;
            // Buffers that share one wave block receive the data once.
            for (int i = 0; i < sound->BufferCount; i++) {
                SoundBuffer* buffer = &sound->Buffers[i];
                if (i > 0 && buffer->Wave != nullptr && buffer->Wave == sound->Buffers[0].Wave) continue;
                void* region[2] = {nullptr, nullptr};
                uint32_t length[2] = {0, 0};
                if (SoundBuffer_LockRegion(buffer, 0, (int32_t)pcmSize, &region[0], &length[0], &region[1], &length[1]) != 0) {
                    Log_AddTextUTF16(L"サウンドデータの転送に失敗しました_1");
                    return -1;
                }
                if (region[0] != nullptr) memcpy(region[0], pcm, length[0]);
                if (region[1] != nullptr) memcpy(region[1], (const uint8_t*)pcm + length[0], length[1]);
                if (SoundBuffer_UnlockRegion(buffer, region[0], length[0], region[1], length[1]) != 0) {
                    Log_AddTextUTF16(L"サウンドデータの転送に失敗しました_2");
                    return -1;
                }
            }
            return Sound_ApplyLoadLoopArea(&param, handle, inJob);
        }
    }

    const int dataType = param.DataType == 3 ? 2 : param.DataType;
    if (Sound_Stream_AddFromMemImage(&param, image, imageSize, 0, handle, dataType, unionHandle, inJob) != 0) return -1;
    if (Sound_Stream_Prepare(handle, inJob) != 0) return -1;
    return Sound_ApplyLoadLoopArea(&param, handle, inJob);
}

// ---- Files ---------------------------------------------------------------------------------------------

int Sound_File_ReadWhole(const wchar_t* path, void** data, uint32_t* size, int logOpenFailure)
{
    *data = nullptr;
    *size = 0;
    const FileAccessHandle file = File_Access_Open(path, 0, 1, 0);
    if (file == 0) {
        if (logOpenFailure) Log_AddFormatUTF16(L"File Open Error : %s", path);
        return -1;
    }
    File_Access_Seek(file, 0, SeekOrigin_End);
    const int64_t length = File_Access_Tell(file);
    File_Access_Seek(file, 0, SeekOrigin_Start);
    void* block = length >= 0 && length < 0x7FFFFFFF ? Memory_Allocate((uint32_t)length + 1, "VtSoundHandle", __LINE__) : nullptr;
    if (block == nullptr) {
        Log_AddFormatUTF16(L"File Load : Memory Alloc Error : %s", path);
        File_Access_Close(file);
        return -1;
    }
    const uint32_t got = length > 0 ? File_Access_Read(block, 1, (uint32_t)length, file) : 0;
    File_Access_Close(file);
    *data = block;
    *size = got;
    return 0;
}

int Sound_LoopTagFile_MakeName(const wchar_t* path, wchar_t* out, uint32_t outBytes)
{
    static const wchar_t suffix[] = L"_loop.txt";
    const size_t length = wcslen(path);
    size_t stem = length;
    for (size_t i = length; i > 0; i--) {
        if (path[i - 1] == L'.') {
            stem = i - 1;
            break;
        }
    }
    const uint64_t needed = ((uint64_t)stem + sizeof(suffix) / sizeof(wchar_t)) * sizeof(wchar_t);
    if (needed > outBytes) return -1;
    memcpy(out, path, stem * sizeof(wchar_t));
    memcpy(out + stem, suffix, sizeof(suffix));
    return 0;
}

int Sound_LoopTagFile_Parse(const wchar_t* text, int64_t* start, int64_t* end)
{
    const wchar_t* p = text;
    while (*p != 0 && *p != L'L') p++;
    if (wcsncmp(p, L"LOOPSTART", 9) != 0) return -1;
    p += 9;
    if (!Sound_SkipToValue(p)) return -1;
    const int64_t first = Sound_ReadDigits(p);
    if (*p == 0) return -1;
    while (*p != 0 && *p != L'L') p++;
    bool isLength;
    if (wcsncmp(p, L"LOOPEND", 7) == 0) {
        isLength = false;
        p += 7;
    } else if (wcsncmp(p, L"LOOPLENGTH", 10) == 0) {
        isLength = true;
        p += 10;
    } else {
        return -1;
    }
    if (!Sound_SkipToValue(p)) return -1;
    const int64_t second = Sound_ReadDigits(p);
    const int64_t last = isLength ? first + second : second;
    if (first >= last) return -1;
    *start = first;
    *end = last;
    return 0;
}

int Sound_LoopTagFile_Read(const wchar_t* tagPath, int64_t* start, int64_t* end)
{
    void* data = nullptr;
    uint32_t size = 0;
    if (Sound_File_ReadWhole(tagPath, &data, &size, 0) != 0) return -1;
    if (size <= 2) {
        Memory_Free(data);
        return -1;
    }
    const uint8_t* bytes = (const uint8_t*)data;
    CodePageId page = CodePage_ShiftJis;
    uint32_t skip = 0;
    if (bytes[0] == 0xFF && bytes[1] == 0xFE) page = CodePage_Utf16LE, skip = 2;
    else if (bytes[0] == 0xFE && bytes[1] == 0xFF) page = CodePage_Utf16BE, skip = 2;
    else if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) page = CodePage_Utf8, skip = 3;
    const int32_t units = page == CodePage_Utf16LE || page == CodePage_Utf16BE ? (int32_t)((size - skip) / 2) : (int32_t)(size - skip);
    wchar_t text[SOUND_TAG_TEXT_BYTES / sizeof(wchar_t)];
    memset(text, 0, sizeof(text));
    CharCode_ConvertString(bytes + skip, units, page, text, SOUND_TAG_TEXT_WRITTEN, CodePage_Utf16LE);
    Memory_Free(data);
    return Sound_LoopTagFile_Parse(text, start, end);
}

// ---- Record callbacks ---------------------------------------------------------------------------------

void Sound_HandleRecord_Initialize(HandleHeader* record)
{
    SoundHandleRecord* sound = (SoundHandleRecord*)record;
    if (SoundWin_IsOutputReady()) SoundWin_GetReverbPresetParam(&sound->ReverbParam, 0);
    for (int i = 0; i < 8; i++) {
        sound->ChannelVolume[i] = 0;
        sound->ChannelLevel[i] = 255;
    }
    memset(sound->Position3D, 0, sizeof(sound->Position3D));
    memset(sound->Velocity3D, 0, sizeof(sound->Velocity3D));
    sound->Pan = 0;
    sound->Frequency = 0;
    sound->Radius3D = 14.0f;
    sound->PitchApplied = 0;
    sound->PitchRate = 1.0f;
    sound->InFinishDeleteList = 0;
    sound->LargeBuffer = 0;
    sound->SourceCount = 0;
    sound->UnionHandle = -1;
    sound->CurrentUser = -1;
    sound->WritePosition = SOUND_STREAM_UNPRIMED;
    sound->RefillLimit = -1;
}

int Sound_HandleRecord_Terminate(HandleHeader* record)
{
    SoundSystemStateRecord& state = SoundSystemState;
    SoundHandleRecord* sound = (SoundHandleRecord*)record;
    const HandleValue handle = record->Handle;
    const bool locks = state.ListLocksCreated != 0;

    if (sound->IsStream) {
        Sound_Stream_StopRecord(handle, sound, 0);
    } else {
        for (int i = 0; i < SOUND_HANDLE_BUFFER_MAX; i++) {
            sound->Paused[i] = sound->WasPlaying[i] = 0;
            if (sound->Buffers[i].Valid && SoundBuffer_IsPlaying(&sound->Buffers[i]) == 1) SoundBuffer_Halt(&sound->Buffers[i], 1);
        }
    }

    if (sound->Is3D && sound->Node3D.Next != nullptr) {
        int member = 1;
        Sound_List_Leave(locks ? &state.Sound3DHandleListLock : nullptr, &member, &sound->Node3D);
        sound->Node3D.Next = nullptr;
    }
    Sound_List_Leave(locks ? &state.Sound3DPlayingListLock : nullptr, &sound->In3DPlayingList, &sound->Node3DPlaying);
    Sound_List_Leave(locks ? &state.SoundPlayingListLock : nullptr, &sound->InPlayingList, &sound->NodePlaying);
    Sound_List_Leave(nullptr, &sound->InFinishDeleteList, &sound->NodeFinishDelete);

    if (!sound->IsStream) {
        for (int i = 0; i < SOUND_HANDLE_BUFFER_MAX; i++)
            if (sound->Buffers[i].Valid) SoundBuffer_Release(&sound->Buffers[i]);
        sound->BufferCount = 0;
        if (sound->PcmReferences != nullptr && --*sound->PcmReferences <= 0) {
            Memory_Free(sound->Pcm);
            Memory_Free(sound->PcmReferences);
        }
        sound->Pcm = nullptr;
        sound->PcmReferences = nullptr;
        Sound_List_Leave(locks ? &state.SoundStreamListLock : nullptr, &sound->InStreamList, &sound->NodeStream);
        return 0;
    }

    if (sound->UnionHandle != -1) {
        SoundHandleRecord* shared = (SoundHandleRecord*)Handle_GetRecord(sound->UnionHandle);
        const HandleValue sharedHandle = sound->UnionHandle;
        sound->UnionHandle = -1;
        if (shared != nullptr && Handle_TypeOf(sharedHandle) == HandleType_Sound) {
            if (shared->UnionUserCount > 0) shared->UnionUserCount--;
            if (shared->CurrentUser == handle) shared->CurrentUser = -1;
            if (shared->DeletePending && shared->UnionUserCount == 0) Handle_DeleteNow(sharedHandle);
        }
    }
    if (sound->UnionUserCount > 0) {
        sound->DeletePending = 1;
        return 1;
    }
    Sound_List_Leave(locks ? &state.SoundStreamListLock : nullptr, &sound->InStreamList, &sound->NodeStream);
    Sound_Stream_ReleaseSources(sound);
    if (sound->Buffers[0].Valid) SoundBuffer_Release(&sound->Buffers[0]);
    sound->BufferCount = 0;
    return 0;
}

int Sound_HandleRecord_Dump(HandleHeader* record)
{
    const SoundHandleRecord* sound = (const SoundHandleRecord*)record;
    const WAVEFORMATEX& format = sound->WaveFormat;
    if (sound->IsStream) {
        Log_AddFormatUTF16(L"Handle:0x%08x Type:Stream SamplePerSec:%d BitsPerSample:%d Channels:%d", (unsigned)record->Handle,
                           (int)format.nSamplesPerSec, (int)format.wBitsPerSample, (int)format.nChannels);
    } else {
        const int samples = format.nBlockAlign != 0 ? (int)(sound->PcmSize / format.nBlockAlign) : 0;
        Log_AddFormatUTF16(L"Handle:0x%08x Type:Normal SamplePerSec:%d BitsPerSample:%d Channels:%d Samples:%d",
                           (unsigned)record->Handle, (int)format.nSamplesPerSec, (int)format.wBitsPerSample,
                           (int)format.nChannels, samples);
    }
    return 0;
}

}  // namespace Vantrel
