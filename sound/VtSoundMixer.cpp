// VtSoundMixer: sums the playing software buffers into the work buffer, limits the peaks and writes
// the device's sample format. The per-frame loops are specialised (templates) for every source
// depth, channel layout, cell kind and scaling, so that the common case is a tight loop.
// Stands on the sound state, sound buffers, memory, the log and the capture file.
#include "sound/VtSoundMixer.h"

#include <string.h>

#include <array>
#include <utility>

#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "sound/VtSound.h"
#include "sound/VtSoundWave.h"

namespace Vantrel {

namespace {

// ---- Source frames ---------------------------------------------------------------------------------

enum MixerDepth { MIXER_DEPTH_16 = 0, MIXER_DEPTH_24 = 1, MIXER_DEPTH_8 = 2 };

template <int Depth>
constexpr int Mixer_SampleBytes() { return Depth == MIXER_DEPTH_16 ? 2 : Depth == MIXER_DEPTH_24 ? 3 : 1; }

// One source sample on the 16-bit scale: 24-bit samples keep their upper two bytes, any depth other
// than 16 or 24 is read as 8-bit unsigned.
template <int Depth>
inline int Mixer_Sample(const uint8_t* p)
{
    if constexpr (Depth == MIXER_DEPTH_16) {
        int16_t v;
        memcpy(&v, p, 2);
        return v;
    } else if constexpr (Depth == MIXER_DEPTH_24) {
        int16_t v;
        memcpy(&v, p + 1, 2);
        return v;
    } else {
        return SoundSystemState.Byte8To16Table[*p];
    }
}

// Reads frames of one layout: mono feeds both sides, otherwise channels 0 and 1. Packed frames have
// exactly the channels read; others step by the block alignment.
template <int Depth, bool Stereo, bool Packed>
struct MixerSource {
    const uint8_t* Data;
    int BlockAlign;

    inline void Read(int index, int& left, int& right) const
    {
        constexpr int bytes = Mixer_SampleBytes<Depth>();
        const int stride = Packed ? (Stereo ? 2 * bytes : bytes) : BlockAlign;
        const uint8_t* p = Data + (size_t)index * (size_t)stride;
        left = Mixer_Sample<Depth>(p);
        right = Stereo ? Mixer_Sample<Depth>(p + bytes) : left;
    }
};

struct MixerVoice {
    const uint8_t* Data;
    int BlockAlign;
    int SampleCount;
    int Loop;
    float GainLeft;
    float GainRight;
};

// Same rate: count frames from the cursor, which stay inside the data.
template <int Depth, bool Stereo, bool Packed, bool FloatCells, bool Scaled>
void Mixer_AddSameRate(const MixerVoice& voice, int cursor, int count, void* cells)
{
    const MixerSource<Depth, Stereo, Packed> source{voice.Data, voice.BlockAlign};
    const float gl = voice.GainLeft, gr = voice.GainRight;
    if constexpr (FloatCells) {
        float* out = (float*)cells;
        for (int k = 0; k < count; k++) {
            int l, r;
            source.Read(cursor + k, l, r);
            out[2 * k] += (float)l * gl;
            out[2 * k + 1] += (float)r * gr;
        }
    } else {
        int32_t* out = (int32_t*)cells;
        for (int k = 0; k < count; k++) {
            int l, r;
            source.Read(cursor + k, l, r);
            if constexpr (Scaled) {
                out[2 * k] += (int32_t)((float)l * gl);
                out[2 * k + 1] += (int32_t)((float)r * gr);
            } else {
                out[2 * k] += l;
                out[2 * k + 1] += r;
            }
        }
    }
}

// The read position moves by a whole number of frames plus a part of one, counted in units of
// 1 / Scale (the output rate): exact, so that no rounding can ever replay or skip a frame.
struct MixerStep {
    uint32_t Whole;     // frames per output frame
    uint32_t Part;      // and this many 1 / Scale of a frame
    uint32_t Scale;
};

// Resampled: linear interpolation between the frame at the cursor and the one after it, weighted by
// the fraction (in units of 1 / step.Scale) past the cursor. Returns the frames produced; ended is
// set when a non-looping buffer ran past its last frame.
template <int Depth, bool Stereo, bool Packed, bool FloatCells, bool Scaled>
int Mixer_AddResampled(const MixerVoice& voice, int& cursor, uint32_t& fraction, const MixerStep& step, int count,
                       void* cells, bool& ended)
{
    const MixerSource<Depth, Stereo, Packed> source{voice.Data, voice.BlockAlign};
    const int last = voice.SampleCount - 1;
    const bool loop = voice.Loop == 1;
    auto after = [&](int index, int& l, int& r) {
        if (index < last) source.Read(index + 1, l, r);
        else if (loop) source.Read(0, l, r);
        else l = r = 0;
    };
    int al, ar, bl, br;
    source.Read(cursor, al, ar);
    after(cursor, bl, br);
    uint32_t part = fraction;
    const double scale = (double)step.Scale;
    const float gl = voice.GainLeft, gr = voice.GainRight;
    for (int k = 0; k < count; k++) {
        const double f = (double)part / scale;
        const double vl = al + (bl - al) * f;
        const double vr = ar + (br - ar) * f;
        if constexpr (FloatCells) {
            float* out = (float*)cells;
            out[2 * k] += (float)vl * gl;
            out[2 * k + 1] += (float)vr * gr;
        } else {
            int32_t* out = (int32_t*)cells;
            if constexpr (Scaled) {
                out[2 * k] += (int32_t)(vl * gl);
                out[2 * k + 1] += (int32_t)(vr * gr);
            } else {
                out[2 * k] += (int32_t)vl;
                out[2 * k + 1] += (int32_t)vr;
            }
        }
        uint64_t advance = step.Whole;
        part += step.Part;
        if (part >= step.Scale) {
            part -= step.Scale;
            advance++;
        }
        if (advance == 0) continue;
        const uint64_t next = (uint64_t)cursor + advance;
        if (next > (uint64_t)last) {
            if (!loop) {
                ended = true;
                fraction = 0;
                return k + 1;
            }
            cursor = (int)(next % (uint64_t)voice.SampleCount);
        } else {
            cursor = (int)next;
        }
        if (advance == 1) {
            al = bl;
            ar = br;
        } else {
            source.Read(cursor, al, ar);
        }
        after(cursor, bl, br);
    }
    fraction = part;
    return count;
}

struct MixerKernels {
    void (*SameRate)(const MixerVoice&, int, int, void*);
    int (*Resampled)(const MixerVoice&, int&, uint32_t&, const MixerStep&, int, void*, bool&);
};

// Kernel index: depth x 16 + stereo x 8 + packed x 4 + float cells x 2 + scaled.
template <int Index>
constexpr MixerKernels Mixer_MakeKernels()
{
    constexpr int depth = Index / 16;
    constexpr bool stereo = (Index / 8) % 2, packed = (Index / 4) % 2, floatCells = (Index / 2) % 2, scaled = Index % 2;
    return {&Mixer_AddSameRate<depth, stereo, packed, floatCells, scaled>,
            &Mixer_AddResampled<depth, stereo, packed, floatCells, scaled>};
}

template <int... Index>
constexpr std::array<MixerKernels, sizeof...(Index)> Mixer_MakeKernelTable(std::integer_sequence<int, Index...>)
{
    return {Mixer_MakeKernels<Index>()...};
}

constexpr std::array<MixerKernels, 48> MixerKernelTable = Mixer_MakeKernelTable(std::make_integer_sequence<int, 48>());

// ---- One buffer into the work buffer ------------------------------------------------------------

void Mixer_EndBuffer(SoundBuffer* buffer)
{
    buffer->ReadCursor = buffer->SampleCount;
    buffer->PlayPosition = buffer->SampleCount;
    buffer->Playing = 0;
    buffer->InMixerList = 0;
    Handle_PtrList_Remove(&buffer->MixerNode);
}

void Mixer_AddBuffer(SoundBuffer* buffer, int frames, void* cellsStart, bool floatCells)
{
    int position = 0;
    if (buffer->StartDelay > 0) {
        const int skipped = buffer->StartDelay < frames ? buffer->StartDelay : frames;
        buffer->StartDelay -= skipped;
        position = skipped;
        if (position == frames) return;
    }

    const WAVEFORMATEX& format = buffer->Format;
    const int depth = format.wBitsPerSample == 16 ? MIXER_DEPTH_16 : format.wBitsPerSample == 24 ? MIXER_DEPTH_24 : MIXER_DEPTH_8;
    const int sampleBytes = depth == MIXER_DEPTH_16 ? 2 : depth == MIXER_DEPTH_24 ? 3 : 1;
    const bool stereo = format.nChannels >= 2;
    const int frameBytes = (stereo ? 2 : 1) * sampleBytes;
    // A buffer whose data cannot be read as its format says has nothing to play.
    if (buffer->Wave == nullptr || buffer->SampleCount <= 0 || format.nChannels == 0 || format.nBlockAlign < frameBytes ||
        format.nSamplesPerSec == 0 || format.nSamplesPerSec > 0x7FFFFFFF ||
        (uint64_t)buffer->SampleCount * format.nBlockAlign > buffer->Wave->ByteSize) {
        Mixer_EndBuffer(buffer);
        return;
    }
    if (buffer->ReadCursor < 0 || buffer->ReadCursor >= buffer->SampleCount) buffer->ReadCursor = 0;

    MixerVoice voice;
    voice.Data = buffer->Wave->Data;
    voice.BlockAlign = format.nBlockAlign;
    voice.SampleCount = buffer->SampleCount;
    voice.Loop = buffer->Loop;
    const float volume = buffer->VolumeGain, pan = buffer->PanGain;
    voice.GainLeft = volume;
    voice.GainRight = volume;
    if (pan > 0.0f) voice.GainLeft = volume * (1.0f - pan);
    else if (pan < 0.0f) voice.GainRight = volume * (pan + 1.0f);
    bool scaled = volume != 1.0f || pan != 0.0f;
    if (floatCells) {
        voice.GainLeft *= 1.0f / 32768.0f;
        voice.GainRight *= 1.0f / 32768.0f;
        scaled = true;
    }
    const MixerKernels& kernels = MixerKernelTable[depth * 16 + (stereo ? 8 : 0) + (format.nBlockAlign == frameBytes ? 4 : 0) +
                                                   (floatCells ? 2 : 0) + (scaled ? 1 : 0)];

    const int dataRate = (int)format.nSamplesPerSec;
    const int outputRate = SoundSystemState.SoftwareOutputRate;
    if (!buffer->Resampling && dataRate != outputRate) {
        buffer->Resampling = 1;
        buffer->ReadFraction = 0;
    }

    uint8_t* cells = (uint8_t*)cellsStart;
    int cursor = buffer->ReadCursor;
    if (!buffer->Resampling || outputRate <= 0) {
        while (position < frames) {
            const int left = buffer->SampleCount - cursor;
            const int run = frames - position < left ? frames - position : left;
            kernels.SameRate(voice, cursor, run, cells + (size_t)position * 8);
            position += run;
            cursor += run;
            if (cursor >= buffer->SampleCount) {
                if (buffer->Loop != 1) {
                    Mixer_EndBuffer(buffer);
                    return;
                }
                cursor = 0;
            }
        }
    } else {
        // Source frames per output frame: the frequency (or the data rate) over the output rate.
        const uint32_t rate = buffer->Frequency > 0 ? (uint32_t)buffer->Frequency : (uint32_t)dataRate;
        MixerStep step;
        step.Scale = (uint32_t)outputRate;
        step.Whole = rate / step.Scale;
        step.Part = rate % step.Scale;
        // A fraction counted at another output rate (the output was opened again) is carried over.
        uint32_t fraction = buffer->ReadFraction;
        if (buffer->ReadFractionScale != step.Scale) {
            fraction = buffer->ReadFractionScale != 0
                           ? (uint32_t)((uint64_t)fraction * step.Scale / buffer->ReadFractionScale)
                           : 0;
            if (fraction >= step.Scale) fraction = 0;
        }
        bool ended = false;
        kernels.Resampled(voice, cursor, fraction, step, frames - position, cells + (size_t)position * 8, ended);
        if (ended) {
            buffer->ReadFraction = 0;
            Mixer_EndBuffer(buffer);
            return;
        }
        buffer->ReadFraction = fraction;
        buffer->ReadFractionScale = step.Scale;
    }
    buffer->PlayPosition = cursor;
    buffer->ReadCursor = cursor;
}

// ---- Limiter --------------------------------------------------------------------------------------

template <typename Cell>
void Mixer_Limit(Cell* cells, int frames, Cell upper, Cell lower)
{
    SoundSystemStateRecord& state = SoundSystemState;
    const int release = state.LimiterRelease > 0 ? state.LimiterRelease : 1;
    int active = state.LimiterActive;
    float gain = state.LimiterGain;
    int counter = state.LimiterCounter;
    for (int k = 0; k < frames; k++) {
        Cell& left = cells[2 * k];
        Cell& right = cells[2 * k + 1];
        if (!active && left <= upper && left >= lower && right <= upper && right >= lower) continue;
        float c = active ? (1.0f - gain) * (float)counter / (float)release + gain : 1.0f;
        const Cell l = (Cell)((float)left * c);
        Cell r = (Cell)((float)right * c);
        if (l > upper || l < lower) {
            gain = (float)(l > upper ? upper : lower) / (float)left;
            counter = 0;
            active = 1;
            c = gain;
            r = (Cell)((float)right * gain);
        }
        if (r > upper || r < lower) {
            gain = (float)(r > upper ? upper : lower) / (float)right;
            counter = 0;
            active = 1;
            c = gain;
        } else if (!active) {
            continue;
        }
        left = (Cell)((float)left * c);
        right = (Cell)((float)right * c);
        if (++counter >= release) {
            active = 0;
            counter = 0;
        }
    }
    state.LimiterActive = active;
    state.LimiterGain = gain;
    state.LimiterCounter = counter;
}

// ---- Device samples -------------------------------------------------------------------------------

inline int32_t Mixer_Clamp16(int32_t v) { return v > 32767 ? 32767 : v < -32768 ? -32768 : v; }

inline void Mixer_StoreBytes(uint8_t* out, uint32_t value, int bytes, bool bigEndian)
{
    for (int i = 0; i < bytes; i++) out[bigEndian ? bytes - 1 - i : i] = (uint8_t)(value >> (8 * i));
}

// One 16-bit-scale value as one device sample.
inline void Mixer_StoreInteger(uint8_t* out, int32_t v, const SoundOutputFormat& format)
{
    const bool bigEndian = format.BigEndianFlag != 0;
    // 16 to 31 valid bits at the low end of a 32-bit container (ASIO's Int32 types with 16, 18,
    // 20 or 24 bits), sign-extended through the whole word.
    if (format.BitsPerSample == 32 && format.LowJustified && format.ValidBits >= 16 && format.ValidBits < 32) {
        Mixer_StoreBytes(out, (uint32_t)v << (format.ValidBits - 16), 4, bigEndian);
        return;
    }
    switch (format.ValidBits) {
    case 16:
        Mixer_StoreBytes(out, (uint32_t)v, 2, bigEndian);
        break;
    case 32:
        Mixer_StoreBytes(out, (uint32_t)v << 16, 4, bigEndian);
        break;
    case 24:
        if (format.BitsPerSample == 24) Mixer_StoreBytes(out, (uint32_t)v << 8, 3, bigEndian);
        // A 32-bit container keeps the sign: high-justified the valid bits are the top 24, low-
        // justified they are the low 24, sign-extended into the top byte.
        else if (format.BitsPerSample == 32) Mixer_StoreBytes(out, (uint32_t)v << (format.LowJustified ? 8 : 16), 4, bigEndian);
        break;
    default:
        break;
    }
}

void Mixer_WriteOutput(const void* cells, bool floatCells, int frames, uint8_t* left, uint8_t* right, int32_t step)
{
    const SoundOutputFormat& format = SoundSystemState.Output;
    const bool mono = format.Channels == 1;
    if (format.FloatFlag) {
        const float scale = floatCells ? 1.0f : 1.0f / 32768.0f;
        for (int k = 0; k < frames; k++) {
            float l, r;
            if (floatCells) {
                l = ((const float*)cells)[2 * k];
                r = ((const float*)cells)[2 * k + 1];
            } else {
                l = (float)((const int32_t*)cells)[2 * k] * scale;
                r = (float)((const int32_t*)cells)[2 * k + 1] * scale;
            }
            uint32_t bits;
            if (mono) {
                const float v = (l + r) * 0.5f;
                memcpy(&bits, &v, 4);
                Mixer_StoreBytes(left + (size_t)k * step, bits, 4, format.BigEndianFlag != 0);
            } else {
                memcpy(&bits, &l, 4);
                Mixer_StoreBytes(left + (size_t)k * step, bits, 4, format.BigEndianFlag != 0);
                memcpy(&bits, &r, 4);
                Mixer_StoreBytes(right + (size_t)k * step, bits, 4, format.BigEndianFlag != 0);
            }
        }
        return;
    }
    if (format.ValidBits == 16 && format.BitsPerSample == 16 && !format.BigEndianFlag && !mono && !floatCells) {
        const int32_t* in = (const int32_t*)cells;
        for (int k = 0; k < frames; k++) {
            const int16_t l = (int16_t)Mixer_Clamp16(in[2 * k]), r = (int16_t)Mixer_Clamp16(in[2 * k + 1]);
            memcpy(left + (size_t)k * step, &l, 2);
            memcpy(right + (size_t)k * step, &r, 2);
        }
        return;
    }
    for (int k = 0; k < frames; k++) {
        const int32_t l = Sound_Mixer_CellToSample16(cells, 2 * k, floatCells);
        const int32_t r = Sound_Mixer_CellToSample16(cells, 2 * k + 1, floatCells);
        if (mono) {
            Mixer_StoreInteger(left + (size_t)k * step, (l + r) >> 1, format);
        } else {
            Mixer_StoreInteger(left + (size_t)k * step, l, format);
            Mixer_StoreInteger(right + (size_t)k * step, r, format);
        }
    }
}

// Interleaved devices of more than two channels: the channels after the first two get silence.
void Mixer_SilenceExtraChannels(uint8_t* left, uint8_t* right, int32_t step, int frames)
{
    const SoundOutputFormat& format = SoundSystemState.Output;
    const int sampleBytes = format.BitsPerSample / 8;
    if (format.Channels <= 2 || sampleBytes <= 0 || right != left + sampleBytes || step != format.BlockAlign) return;
    const int used = 2 * sampleBytes;
    if (step <= used) return;
    for (int k = 0; k < frames; k++) memset(left + (size_t)k * step + used, 0, (size_t)(step - used));
}

void Mixer_WriteSilence(uint8_t* left, uint8_t* right, int32_t step, int frames)
{
    const int64_t zero[2 * 64] = {};
    const bool floatCells = SoundSystemState.MixOption != 0;
    for (int done = 0; done < frames; done += 64) {
        const int count = frames - done < 64 ? frames - done : 64;
        Mixer_WriteOutput(zero, floatCells, count, left + (size_t)done * step, right + (size_t)done * step, step);
    }
    Mixer_SilenceExtraChannels(left, right, step, frames);
}

// Makes the work buffer hold frameCount frames when it can; the capacity it has stays otherwise.
void Mixer_GrowWorkBuffer(int frameCount)
{
    SoundSystemStateRecord& state = SoundSystemState;
    if (frameCount <= state.MixFrameCount) return;
    const uint64_t bytes = (uint64_t)frameCount * 8;
    void* grown = bytes <= 0xFFFFFFFFull ? Memory_Reallocate(state.MixBuffer, (uint32_t)bytes, "VtSoundMixer", __LINE__) : nullptr;
    if (grown == nullptr) {
        Log_AddFormatUTF16(L"自前ミキシング作業用バッファの拡張に失敗しました(%d フレーム)", frameCount);
        return;
    }
    state.MixBuffer = grown;
    state.MixFrameCount = frameCount;
}

}  // namespace

int Sound_Mixer_SetOutputFormat(const WAVEFORMATEXTENSIBLE* format, int bigEndian, int lowJustified)
{
    static const GUID subtypeFloat = {0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
    const WAVEFORMATEX& head = format->Format;
    if (head.nChannels == 0 || head.nSamplesPerSec == 0 || head.nSamplesPerSec > 0x7FFFFFFF) return -1;
    const bool extensible = head.wFormatTag == WAVE_FORMAT_EXTENSIBLE && head.cbSize >= 22;
    SoundOutputFormat& out = SoundSystemState.Output;
    out.FormatTag = head.wFormatTag;
    out.Channels = head.nChannels;
    out.SamplesPerSec = head.nSamplesPerSec;
    out.AvgBytesPerSec = head.nAvgBytesPerSec;
    out.BlockAlign = head.nBlockAlign;
    out.BitsPerSample = head.wBitsPerSample;
    out.ExtensionSize = 22;
    out.ValidBits = extensible && format->Samples.wValidBitsPerSample != 0 ? format->Samples.wValidBitsPerSample
                                                                          : head.wBitsPerSample;
    out.FloatFlag = head.wFormatTag == WAVE_FORMAT_IEEE_FLOAT || (extensible && IsEqualGUID(format->SubFormat, subtypeFloat));
    out.BigEndianFlag = bigEndian;
    out.LowJustified = lowJustified;

    SoundSystemStateRecord& state = SoundSystemState;
    // The frames mixed so far are counted again at the new rate, so that they still tell the time
    // played (the buffers' start frames and the output clock are measured against it).
    const uint32_t newRate = head.nSamplesPerSec;
    if (state.SoftwareOutputRate > 0 && (uint32_t)state.SoftwareOutputRate != newRate && state.TotalOutputFrames != 0)
        state.TotalOutputFrames = (uint64_t)((double)state.TotalOutputFrames * (double)newRate / (double)state.SoftwareOutputRate);
    state.OutputChannels = head.nChannels;
    state.OutputRate = (int)head.nSamplesPerSec;
    state.SoftwareOutputRate = (int)head.nSamplesPerSec;
    state.PlayStartIncrement = state.SoftwareOutputRate / 480;
    state.HalfOutputRate = state.SoftwareOutputRate / 2;
    state.LimiterRelease = state.HalfOutputRate;
    state.LimiterActive = 0;
    state.LimiterGain = 1.0f;
    state.LimiterCounter = 0;
    return 0;
}

int Sound_Mixer_Render(void* left, void* right, int32_t step, int32_t frameCount)
{
    SoundSystemStateRecord& state = SoundSystemState;
    if (!state.SoftwareMixing || !state.MixerLockCreated) return -1;
    if (frameCount <= 0) return 0;
    CriticalSection_Enter(&state.SoundMixerListLock, "VtSoundMixer", __LINE__);

    Mixer_GrowWorkBuffer(frameCount);
    uint8_t* leftOut = (uint8_t*)left;
    uint8_t* rightOut = (uint8_t*)right;
    if (state.MixBuffer == nullptr || state.MixFrameCount <= 0) {
        Mixer_WriteSilence(leftOut, rightOut, step, frameCount);
        CriticalSection_Leave(&state.SoundMixerListLock);
        return -1;
    }

    // A block larger than the work buffer is mixed in pieces of its capacity.
    const bool floatCells = state.MixOption != 0;
    for (int done = 0; done < frameCount;) {
        const int frames = frameCount - done < state.MixFrameCount ? frameCount - done : state.MixFrameCount;
        memset(state.MixBuffer, 0, (size_t)frames * 8);

        PointerListNode* start = &state.SoundMixerList.Start;
        for (PointerListNode* node = state.SoundMixerList.End.Prev; node != start && node != nullptr;) {
            PointerListNode* previous = node->Prev;
            Mixer_AddBuffer((SoundBuffer*)node->Data, frames, state.MixBuffer, floatCells);
            node = previous;
        }

        if (floatCells) Mixer_Limit<float>((float*)state.MixBuffer, frames, 1.0f, -1.0f);
        else Mixer_Limit<int32_t>((int32_t*)state.MixBuffer, frames, 32767, -32768);

        uint8_t* blockLeft = leftOut + (size_t)done * step;
        uint8_t* blockRight = rightOut + (size_t)done * step;
        Mixer_WriteOutput(state.MixBuffer, floatCells, frames, blockLeft, blockRight, step);
        Mixer_SilenceExtraChannels(blockLeft, blockRight, step, frames);
        if (state.CaptureActive) Sound_Capture_Append(state.MixBuffer, floatCells, frames);
        done += frames;
    }

    state.TotalOutputFrames += (uint32_t)frameCount;
    state.PlayStartCounter = state.PlayStartCounter > frameCount ? state.PlayStartCounter - frameCount : 0;
    CriticalSection_Leave(&state.SoundMixerListLock);
    return 0;
}

}  // namespace Vantrel
