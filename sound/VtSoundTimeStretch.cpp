// VtSoundTimeStretch: pitch-synchronous overlap-add time-stretch, windowed-sinc resampling and the
// load-time chain that combines them into a pitch change or a length change.
// Stands on memory, the log, the sound state's sine table and WAVE images (VtSoundWave).
#include "sound/VtSoundTimeStretch.h"

#include <windows.h>
#include <mmreg.h>
#include <emmintrin.h>
#include <string.h>

#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "sound/VtSoundHandle.h"
#include "sound/VtSoundSoft.h"
#include "sound/VtSoundWave.h"

namespace Vantrel {

namespace {

// ---- Views ---------------------------------------------------------------------------------------------

bool View_IsUsable(const SoftSoundData* view)
{
    if (view == nullptr || view->SampleCount < 0 || view->Channels <= 0 || view->SampleRate <= 0) return false;
    if (view->Data == nullptr && view->SampleCount > 0) return false;
    if (view->FormatTag == 3) return view->BitsPerSample == 32;
    return view->FormatTag == 1 && view->BitsPerSample > 0 && view->BitsPerSample % 8 == 0;
}

int64_t View_BlockAlign(const SoftSoundData* view) { return (int64_t)(view->BitsPerSample / 8) * view->Channels; }

// -1 unless both views are usable, of the same format and of different lengths.
int View_CheckPair(const SoftSoundData* source, const SoftSoundData* destination)
{
    if (!View_IsUsable(source) || !View_IsUsable(destination)) return -1;
    if (source->SampleCount == destination->SampleCount) return -1;
    if (source->FormatTag != destination->FormatTag || source->Channels != destination->Channels ||
        source->SampleRate != destination->SampleRate || source->BitsPerSample != destination->BitsPerSample)
        return -1;
    return 0;
}

// A zeroed buffer of the view's format and the given length; false when the size does not fit.
bool View_Allocate(SoftSoundData* view, const SoftSoundData* like, int tag, int bits, int64_t frames)
{
    *view = *like;
    view->FormatTag = tag;
    view->BitsPerSample = bits;
    view->SampleCount = frames;
    view->Data = nullptr;
    const int64_t bytes = frames * View_BlockAlign(view);
    if (frames < 0 || bytes > 0xFFFFFFFFll) return false;
    view->Data = Memory_AllocateZeroed((uint32_t)(bytes > 0 ? bytes : 1), "VtSoundTimeStretch", __LINE__);
    return view->Data != nullptr;
}

void View_Free(SoftSoundData* view)
{
    if (view->Data != nullptr) Memory_Free(view->Data);
    view->Data = nullptr;
}

// ---- Time-stretch: samples -------------------------------------------------------------------------------

template <typename T> T Sample_Silence() { return (T)0; }
template <> uint8_t Sample_Silence<uint8_t>() { return 128; }

// One step of the cross-fade between a (weight T - k) and b (weight k).
inline uint8_t Sample_Fade(uint8_t a, uint8_t b, int64_t k, int64_t period)
{
    return (uint8_t)(((period - k) * a + k * b) / period);
}
inline int16_t Sample_Fade(int16_t a, int16_t b, int64_t k, int64_t period)
{
    return (int16_t)(((period - k) * a + k * b) / period);
}
inline float Sample_Fade(float a, float b, int64_t k, int64_t period)
{
    return ((float)(period - k) * a + (float)k * b) / (float)period;
}

// The similarity of two stretches of W samples.
inline int32_t Stretch_Score(const uint8_t* a, const uint8_t* b, int length)
{
    int32_t sum = 0;
    for (int k = 0; k < length; k++) sum += ((int32_t)(a[k] - 128) * (int32_t)(b[k] - 128)) / 128;
    return sum;
}
inline int32_t Stretch_Score(const int16_t* a, const int16_t* b, int length)
{
    int32_t sum = 0;
    for (int k = 0; k < length; k++) sum += ((int32_t)a[k] * (int32_t)b[k]) / 32768;
    return sum;
}
// Four products at a time.
inline float Stretch_Score(const float* a, const float* b, int length)
{
    __m128 sum = _mm_setzero_ps();
    int k = 0;
    for (; k + 4 <= length; k += 4) sum = _mm_add_ps(sum, _mm_mul_ps(_mm_loadu_ps(a + k), _mm_loadu_ps(b + k)));
    float lanes[4];
    _mm_storeu_ps(lanes, sum);
    float total = (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
    for (; k < length; k++) total += a[k] * b[k];
    return total;
}

struct StretchConstants {
    int PeriodMin, PeriodMax, Window;
    int64_t Ratio;      // 512 x source frames / destination frames
};

// One channel: the source copied out contiguously and followed by silence (so that every read past
// its end reads silence), the destination written with the channel stride.
template <typename T>
struct StretchChannel {
    const T* Source;
    int64_t SourceFrames;
    T* Destination;
    int Stride;
    int64_t DestinationFrames;
    StretchConstants Constants;
    int64_t SourcePosition, DestinationPosition, CopyLength;

    // The period at the source position: the smallest of the best-scoring lengths, the shortest when
    // none scores above 0.
    int FindPeriod() const
    {
        const T* base = Source + SourcePosition;
        int best = Constants.PeriodMin;
        decltype(Stretch_Score(base, base, 0)) bestScore = 0;
        for (int period = Constants.PeriodMin; period <= Constants.PeriodMax; period++) {
            const auto score = Stretch_Score(base, base + period, Constants.Window);
            if (score > bestScore) {
                bestScore = score;
                best = period;
            }
        }
        return best;
    }

    // Writes count values from destination frame at on, value k from make(k); frames at or past the
    // destination's end are skipped when checked.
    template <bool Checked, typename Make>
    void Write(int64_t at, int64_t count, Make make)
    {
        if (Checked && at + count > DestinationFrames) count = DestinationFrames - at;
        T* out = Destination + at * Stride;
        for (int64_t k = 0; k < count; k++) out[k * Stride] = make(k);
    }

    template <bool Checked>
    void Cycle()
    {
        const int64_t n = SourceFrames, m = DestinationFrames;
        const int64_t s = SourcePosition, d = DestinationPosition;
        const int64_t period = FindPeriod();
        const T* x = Source + s;
        if (m < n) {
            Write<Checked>(d, period, [&](int64_t k) { return Sample_Fade(x[k], x[period + k], k, period); });
            const int64_t divisor = Constants.Ratio - 512 > 0 ? Constants.Ratio - 512 : 1;
            int64_t copy = ((period << 18) / divisor + 256) / 512;
            if (d + period < m && s + 2 * period < n) {
                if (copy > n - s - period) copy = n - s - period;
                if (copy > m - d) copy = m - d;
                CopyLength = copy;
                Write<Checked>(d + period, copy - period, [&](int64_t k) { return x[2 * period + k]; });
            }
            SourcePosition = s + period + CopyLength;
            DestinationPosition = d + CopyLength;
        } else {
            Write<Checked>(d, period, [&](int64_t k) { return x[k]; });
            Write<Checked>(d + period, period, [&](int64_t k) { return Sample_Fade(x[period + k], x[k], k, period); });
            int64_t copy = (((Constants.Ratio * period) << 9) / (512 - Constants.Ratio) + 256) / 512;
            if (d + 2 * period < m && s + period < n) {
                if (copy > n - s) copy = n - s;
                if (copy > m - d - period) copy = m - d - period;
                CopyLength = copy;
                Write<Checked>(d + 2 * period, copy - period, [&](int64_t k) { return x[period + k]; });
            }
            SourcePosition = s + CopyLength;
            DestinationPosition = d + period + CopyLength;
        }
    }

    void Run()
    {
        const int64_t longest2 = 2 * (int64_t)Constants.PeriodMax;
        SourcePosition = DestinationPosition = CopyLength = 0;
        // Fast phase: every write lies inside the destination, no check needed.
        if (SourceFrames >= longest2) {
            while (DestinationPosition + longest2 < DestinationFrames) {
                Cycle<false>();
                if (SourcePosition + longest2 >= SourceFrames) break;
            }
        }
        // Tail phase: reads past the source end give silence, writes past the destination end vanish.
        while (SourcePosition < SourceFrames) {
            if (DestinationPosition >= DestinationFrames) return;
            Cycle<true>();
        }
        if (DestinationPosition < DestinationFrames)
            Write<false>(DestinationPosition, DestinationFrames - DestinationPosition, [](int64_t) { return Sample_Silence<T>(); });
    }
};

template <typename T>
int Stretch_AllChannels(const SoftSoundData* source, SoftSoundData* destination, const StretchConstants& constants)
{
    const int channels = source->Channels;
    const int64_t padding = 2 * (int64_t)constants.PeriodMax + constants.Window + 4;
    const int64_t bytes = (source->SampleCount + padding) * (int64_t)sizeof(T);
    T* column = bytes <= 0xFFFFFFFFll ? (T*)Memory_Allocate((uint32_t)bytes, "VtSoundTimeStretch", __LINE__) : nullptr;
    if (column == nullptr) {
        Log_AddTextUTF16(L"タイムストレッチ用の作業メモリの確保に失敗しました\n");
        return -1;
    }
    for (int channel = 0; channel < channels; channel++) {
        const T* in = (const T*)source->Data + channel;
        for (int64_t i = 0; i < source->SampleCount; i++) column[i] = in[i * channels];
        for (int64_t i = 0; i < padding; i++) column[source->SampleCount + i] = Sample_Silence<T>();
        StretchChannel<T> worker;
        worker.Source = column;
        worker.SourceFrames = source->SampleCount;
        worker.Destination = (T*)destination->Data + channel;
        worker.Stride = channels;
        worker.DestinationFrames = destination->SampleCount;
        worker.Constants = constants;
        worker.Run();
    }
    Memory_Free(column);
    return 0;
}

// ---- Resampling ------------------------------------------------------------------------------------------

// The weight of a tap e 1/128 frames from the output position, 16384 standing for 1.
int32_t Resample_Weight(int64_t e)
{
    const int16_t* sine = SoundSystemState.SineTable;
    const int64_t sinc = e == 0 ? 16384 : (int64_t)sine[(e * 256) & 65535] * 16384 / (e * 402);
    const int64_t window = sine[((e * 65536 / 32896) + 16384) & 65535];
    return (int32_t)(sinc * (window * 8192 / 16384 + 8192) / 16384);
}

constexpr int RESAMPLE_REACH = 64;
constexpr int RESAMPLE_TAPS = 2 * RESAMPLE_REACH + 1;

// Output frame k stands for source position k x N / M: i = floor of it, f its fraction in 1/128
// frames; the taps run from i - 63 (i - 64 when f is 0) to i + 64 within the source.
void Resample_Float(const SoftSoundData* source, SoftSoundData* destination)
{
    const int channels = source->Channels;
    const int64_t n = source->SampleCount, m = destination->SampleCount;
    memset(destination->Data, 0, (size_t)(m * View_BlockAlign(destination)));
    if (channels > 2 || n == 0 || m == 0) return;

    // weights[f][i - u + 64]
    static thread_local float weights[128][RESAMPLE_TAPS];
    for (int f = 0; f < 128; f++)
        for (int j = 0; j < RESAMPLE_TAPS; j++) weights[f][j] = (float)Resample_Weight((int64_t)(j - RESAMPLE_REACH) * 128 + f);

    const float* in = (const float*)source->Data;
    float* out = (float*)destination->Data;
    int64_t whole = 0, remainder = 0;   // k x N = whole x M + remainder
    const int64_t step = n / m, stepRemainder = n % m;
    for (int64_t k = 0; k < m; k++) {
        const int f = (int)(remainder * 128 / m);
        int64_t first = whole - (RESAMPLE_REACH - 1) - (f == 0 ? 1 : 0), last = whole + RESAMPLE_REACH;
        if (first < 0) first = 0;
        if (last > n - 1) last = n - 1;
        const float* w = weights[f];
        float left = 0.0f, right = 0.0f;
        for (int64_t u = first; u <= last; u++) {
            const float weight = w[whole - u + RESAMPLE_REACH];
            if (channels == 1) {
                left += weight * in[u] * (1.0f / 16384.0f);
            } else {
                left += weight * in[2 * u] * (1.0f / 16384.0f);
                right += weight * in[2 * u + 1] * (1.0f / 16384.0f);
            }
        }
        if (channels == 1) {
            out[k] = left;
        } else {
            out[2 * k] = left;
            out[2 * k + 1] = right;
        }
        whole += step;
        remainder += stepRemainder;
        if (remainder >= m) {
            remainder -= m;
            whole++;
        }
    }
}

int64_t View_ValueCount(const SoftSoundData* view) { return view->SampleCount * view->Channels; }

}  // namespace

// ---- Conversions between integer and float data -----------------------------------------------------------

int SoftSound_ConvertIntToFloatData(const SoftSoundData* source, SoftSoundData* destination)
{
    if (!View_IsUsable(source) || !View_IsUsable(destination) || source->FormatTag != 1 || destination->FormatTag != 3 ||
        source->SampleCount != destination->SampleCount || source->Channels != destination->Channels)
        return -1;
    const int64_t values = View_ValueCount(source);
    float* out = (float*)destination->Data;
    if (source->BitsPerSample == 8) {
        const uint8_t* in = (const uint8_t*)source->Data;
        for (int64_t i = 0; i < values; i++) out[i] = (float)((int)in[i] - 127) * (1.0f / 128.0f);
    } else if (source->BitsPerSample == 16) {
        const int16_t* in = (const int16_t*)source->Data;
        for (int64_t i = 0; i < values; i++) out[i] = (float)in[i] * (1.0f / 32768.0f);
    }
    return 0;
}

int SoftSound_ConvertFloatToIntData(const SoftSoundData* source, SoftSoundData* destination)
{
    if (!View_IsUsable(source) || !View_IsUsable(destination) || source->FormatTag != 3 || destination->FormatTag != 1 ||
        source->SampleCount != destination->SampleCount || source->Channels != destination->Channels)
        return -1;
    const int64_t values = View_ValueCount(source);
    const float* in = (const float*)source->Data;
    if (destination->BitsPerSample == 8) {
        uint8_t* out = (uint8_t*)destination->Data;
        for (int64_t i = 0; i < values; i++) {
            const float v = in[i] * 128.0f + 127.0f;
            out[i] = v >= 255.0f ? 255 : v <= 0.0f ? 0 : (uint8_t)(int32_t)v;
        }
    } else if (destination->BitsPerSample == 16) {
        int16_t* out = (int16_t*)destination->Data;
        for (int64_t i = 0; i < values; i++) {
            const float v = in[i] * 32768.0f;
            out[i] = v >= 32767.0f ? 32767 : v <= -32768.0f ? -32768 : (int16_t)(int32_t)v;
        }
    }
    return 0;
}

// ---- Time-stretch and resampling ----------------------------------------------------------------------------

int SoftSound_TimeStretch(const SoftSoundData* source, SoftSoundData* destination)
{
    if (View_CheckPair(source, destination) != 0) return -1;
    const int channels = source->Channels, bits = source->BitsPerSample;
    if (channels != 1 && channels != 2) return 0;
    if (source->FormatTag == 1 && bits != 8 && bits != 16) return 0;
    if (destination->SampleCount == 0) return 0;

    // Periods of 5 to 20 ms compared over 10 ms; at least one frame each so that every cycle moves.
    const int rate = source->SampleRate;
    StretchConstants constants;
    constants.PeriodMin = (int)(rate * 0.005);
    constants.PeriodMax = (int)(rate * 0.02);
    constants.Window = (int)(rate * 0.01);
    if (constants.PeriodMin < 1) constants.PeriodMin = 1;
    if (constants.PeriodMax < constants.PeriodMin) constants.PeriodMax = constants.PeriodMin;
    if (constants.Window < 1) constants.Window = 1;
    constants.Ratio = (int64_t)(512.0 * (double)source->SampleCount / (double)destination->SampleCount);

    if (source->FormatTag == 3) return Stretch_AllChannels<float>(source, destination, constants);
    if (bits == 16) return Stretch_AllChannels<int16_t>(source, destination, constants);
    return Stretch_AllChannels<uint8_t>(source, destination, constants);
}

int SoftSound_Resample(const SoftSoundData* source, SoftSoundData* destination)
{
    if (View_CheckPair(source, destination) != 0) return -1;
    if (source->FormatTag == 3) {
        Resample_Float(source, destination);
        return 0;
    }
    if (source->BitsPerSample != 8 && source->BitsPerSample != 16) return 0;
    SoftSoundData floatSource, floatDestination;
    const bool made = View_Allocate(&floatSource, source, 3, 32, source->SampleCount) &&
                      View_Allocate(&floatDestination, destination, 3, 32, destination->SampleCount);
    int result = -1;
    if (made) {
        SoftSound_ConvertIntToFloatData(source, &floatSource);
        Resample_Float(&floatSource, &floatDestination);
        SoftSound_ConvertFloatToIntData(&floatDestination, destination);
        result = 0;
    } else {
        Log_AddTextUTF16(L"リサンプリング用の作業メモリの確保に失敗しました\n");
    }
    View_Free(&floatSource);
    if (made) View_Free(&floatDestination);
    return result;
}

// ---- The load chain -------------------------------------------------------------------------------------

namespace {

struct PitchStretchWork {
    SoftSoundData Float;        // F: the sound as it goes
    SoftSoundData Doubled;      // octave steps
    SoftSoundData Pitch;        // the final pitch step
    SoftSoundData Stretched;
    void* Image;

    PitchStretchWork() { memset(this, 0, sizeof(*this)); }
    ~PitchStretchWork()
    {
        View_Free(&Float);
        View_Free(&Doubled);
        View_Free(&Pitch);
        View_Free(&Stretched);
        if (Image != nullptr) Memory_Free(Image);
    }
};

// Stretches F into the working copy and resamples it back: F keeps its length, its pitch is
// multiplied by working frames / F's frames.
void PitchStretch_RaisePitch(SoftSoundData* sound, SoftSoundData* working)
{
    SoftSound_TimeStretch(sound, working);
    SoftSound_Resample(working, sound);
}

int PitchStretch_Fail(int code, const wchar_t* what)
{
    Log_AddFormatUTF16(L"ピッチ・タイムストレッチ処理の%sに失敗しました\n", what);
    return code;
}

}  // namespace

int Sound_LoadWithPitchOrStretch(int soundHandle, const SoundLoadParam* param, const SoftSoundData* source,
                                 int bufferCount, void* thread, SoundLoadImageFunction load)
{
    if (param == nullptr || load == nullptr || !View_IsUsable(source)) return PitchStretch_Fail(-5, L"元データの確認");
    // Only the data the stretch and the conversions handle: the rest would come out as silence.
    if ((source->Channels != 1 && source->Channels != 2) ||
        (source->FormatTag == 1 && source->BitsPerSample != 8 && source->BitsPerSample != 16))
        return PitchStretch_Fail(-1, L"浮動小数点形式の作業データの作成");

    PitchStretchWork work;
    const int64_t frames = source->SampleCount;
    if (!View_Allocate(&work.Float, source, 3, 32, frames)) return PitchStretch_Fail(-1, L"浮動小数点形式の作業データの作成");
    if (source->FormatTag == 3)
        memcpy(work.Float.Data, source->Data, (size_t)(frames * View_BlockAlign(source)));
    else
        SoftSound_ConvertIntToFloatData(source, &work.Float);

    if (param->PitchSwitch) {
        float rate = param->PitchRate;
        if (rate > 2.0f) {
            if (!View_Allocate(&work.Doubled, &work.Float, 3, 32, frames * 2))
                return PitchStretch_Fail(-2, L"ピッチ変更用の作業データの作成");
            while (rate > 2.0f) {
                PitchStretch_RaisePitch(&work.Float, &work.Doubled);
                rate *= 0.5f;
            }
            View_Free(&work.Doubled);
        }
        const int64_t pitchFrames = (int64_t)((float)frames * rate);
        if (pitchFrames < 0 || !View_Allocate(&work.Pitch, &work.Float, 3, 32, pitchFrames))
            return PitchStretch_Fail(-3, L"ピッチ変更用の作業データの作成");
        PitchStretch_RaisePitch(&work.Float, &work.Pitch);
        View_Free(&work.Pitch);
    }

    if (param->TimeStretchSwitch) {
        const int64_t stretchFrames = (int64_t)((float)frames * param->TimeStretchRate);
        // The same length is the data as it is (the stretch refuses equal lengths).
        if (stretchFrames != frames) {
            if (stretchFrames < 0 || !View_Allocate(&work.Stretched, &work.Float, 3, 32, stretchFrames))
                return PitchStretch_Fail(-4, L"タイムストレッチ後のデータの作成");
            SoftSound_TimeStretch(&work.Float, &work.Stretched);
            View_Free(&work.Float);
            work.Float = work.Stretched;
            work.Stretched.Data = nullptr;
        }
    }

    const int64_t blockAlign = View_BlockAlign(&work.Float);
    const int64_t pcmBytes = blockAlign * work.Float.SampleCount;
    WAVEFORMATEX format;
    memset(&format, 0, sizeof(format));
    format.wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
    format.nChannels = (WORD)work.Float.Channels;
    format.nSamplesPerSec = (DWORD)work.Float.SampleRate;
    format.nBlockAlign = (WORD)blockAlign;
    format.nAvgBytesPerSec = (DWORD)(work.Float.SampleRate * blockAlign);
    format.wBitsPerSample = 32;
    format.cbSize = 0;
    uint32_t imageSize = 0;
    if (pcmBytes > 0xFFFFFFFFll ||
        Sound_CreateWaveFileImage(&work.Image, &imageSize, &format, 18, work.Float.Data, (uint32_t)pcmBytes) != 0)
        return PitchStretch_Fail(-6, L"WAVEイメージの作成");

    SoundLoadParam plain = *param;
    plain.DataType = 0;
    plain.PitchSwitch = 0;
    plain.PitchRate = 1.0f;
    plain.TimeStretchSwitch = 0;
    plain.TimeStretchRate = 1.0f;
    if (load(soundHandle, work.Image, imageSize, bufferCount, &plain, thread) < 0)
        return PitchStretch_Fail(-7, L"WAVEイメージの読み込み");
    return 0;
}

// ---- Soft-sound handles ----------------------------------------------------------------------------------------

namespace {

// The sound handles' memory-image loader; thread points at the caller's in-job flag.
int PitchStretch_LoadImage(int soundHandle, const void* image, uint32_t imageSize, int bufferCount,
                           const SoundLoadParam* param, void* thread)
{
    const int inJob = thread != nullptr ? *(const int*)thread : 0;
    return LoadSoundFromMemImageWithParam(param, 0, soundHandle, image, imageSize, bufferCount, -1, 0, inJob) < 0 ? -1 : 0;
}

bool PitchStretch_GetPair(HandleValue source, HandleValue destination, SoftSoundData* from, SoftSoundData* to)
{
    return SoftSound_GetDataView(source, from, 0) == 0 && SoftSound_GetDataView(destination, to, 0) == 0;
}

}  // namespace

int SoftSound_TimeStretch(HandleValue source, HandleValue destination)
{
    SoftSoundData from, to;
    if (!PitchStretch_GetPair(source, destination, &from, &to)) return -1;
    return SoftSound_TimeStretch(&from, &to);
}

int SoftSound_Resample(HandleValue source, HandleValue destination)
{
    SoftSoundData from, to;
    if (!PitchStretch_GetPair(source, destination, &from, &to)) return -1;
    return SoftSound_Resample(&from, &to);
}

int Sound_LoadWithPitchOrStretch(HandleValue soundHandle, const SoundLoadParam* param, HandleValue softSound,
                                 int bufferCount, int inJob)
{
    SoftSoundData source;
    if (SoftSound_GetDataView(softSound, &source, inJob) != 0) return PitchStretch_Fail(-5, L"元データの確認");
    int flag = inJob;
    return Sound_LoadWithPitchOrStretch(soundHandle, param, &source, bufferCount, &flag, PitchStretch_LoadImage);
}

}  // namespace Vantrel
