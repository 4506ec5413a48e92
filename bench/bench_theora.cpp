// Theora playback of a 1280 x 720 movie (10 s at 30 frames a second): frames decoded ahead on the
// decoder's own thread and converted to RGB on the calling thread, as fast as they come, in frames a
// second; against Debian's ffmpeg decoding the same file to BGRA in the same run (its default
// threads, and one thread), as a ratio. Then the same movie at its own rate: the calling thread's time
// per frame (waiting for the stock plus the conversion) and the conversion alone.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "foundation/VtStream.h"
#include "movie/VtUseCLibOgg.h"

using namespace Vantrel;

namespace {

constexpr int Passes = 3;

double Seconds() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return (double)now.QuadPart / (double)frequency.QuadPart;
}

std::string MoviePath(bool windows) {
    std::string path = std::string(windows ? "Z:" : "") + VT_THEORA_BENCH_DIR + "/bench720.ogv";
    if (windows) std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::vector<uint8_t> ReadMovie() {
    std::vector<uint8_t> bytes;
    FILE* file = fopen(MoviePath(true).c_str(), "rb");
    if (file == nullptr) return bytes;
    uint8_t chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof(chunk), file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    fclose(file);
    return bytes;
}

// Wall time of ffmpeg decoding the movie Passes times to BGRA into /dev/null; -1 when it cannot run.
// Under Wine the handle of a Unix process does not follow it, so the end is seen in ffmpeg's progress
// file, which it ends with "progress=end".
double RunFfmpeg(const char* threads) {
    const std::string progress = std::string(VT_THEORA_BENCH_DIR) + "/ffmpeg-progress.txt";
    std::string progressWindows = "Z:" + progress;
    std::replace(progressWindows.begin(), progressWindows.end(), '/', '\\');
    DeleteFileA(progressWindows.c_str());
    std::string command = "Z:\\usr\\bin\\ffmpeg -hide_banner -loglevel error -nostdin -nostats -progress " + progress +
                          " -threads " + threads + " -stream_loop " + std::to_string(Passes - 1) + " -i " +
                          MoviePath(false) + " -f rawvideo -pix_fmt bgra -y /dev/null";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    const double start = Seconds();
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    while (Seconds() - start < 300) {
        FILE* file = fopen(progressWindows.c_str(), "rb");
        if (file != nullptr) {
            std::string text;
            char chunk[4096];
            size_t got;
            while ((got = fread(chunk, 1, sizeof(chunk), file)) > 0) text.append(chunk, got);
            fclose(file);
            if (text.find("progress=end") != std::string::npos) return Seconds() - start;
        }
        Sleep(2);
    }
    return -1;
}

}  // namespace

int main() {
    const std::vector<uint8_t> bytes = ReadMovie();
    if (bytes.empty()) {
        printf("the benchmark movie %s is missing\n", MoviePath(true).c_str());
        return 1;
    }
    MemStream* stream = File_MemStream_Open(bytes.data(), (uint32_t)bytes.size());
    const double openStart = Seconds();
    TheoraDecoder* decoder = Theora_Decoder_Create(File_GetMemStreamOps(), stream, TheoraMovieStockSize, 1, 0);
    const double openSeconds = Seconds() - openStart;
    if (decoder == nullptr) {
        printf("the decoder refused the movie\n");
        return 1;
    }
    TheoraInfo info;
    Theora_GetInfo(decoder, &info);
    printf("movie: %d x %d, %d frames at %.2f a second, %zu bytes; opened and indexed in %.1f ms\n", info.Width,
           info.Height, info.FrameCount, info.FramesPerSecond, bytes.size(), openSeconds * 1000.0);

    // As fast as frames come: step, wait for the stock, convert.
    const int frames = info.FrameCount * Passes;
    double waiting = 0;
    const double start = Seconds();
    for (int i = 1; i < frames; ++i) {
        Theora_AdvanceFrames(decoder, 1);
        const double before = Seconds();
        Theora_PrepareFrame(decoder, 1, 0, 0, 0);
        waiting += Seconds() - before;
    }
    const double elapsed = Seconds() - start;
    const double ours = (frames - 1) / elapsed;
    printf("decode-ahead playback, flat out: %.1f frames/s (%d frames in %.3f s, looping %d times)\n", ours, frames - 1,
           elapsed, Passes - 1);

    const double ffmpegDefault = RunFfmpeg("0"), ffmpegOne = RunFfmpeg("1");
    if (ffmpegDefault > 0 && ffmpegOne > 0) {
        const double fpsDefault = frames / ffmpegDefault, fpsOne = frames / ffmpegOne;
        printf("ffmpeg to BGRA, default threads: %.1f frames/s (%.3f s with its start-up); ratio %.2f\n", fpsDefault,
               ffmpegDefault, ours / fpsDefault);
        printf("ffmpeg to BGRA, one thread:      %.1f frames/s (%.3f s); ratio %.2f\n", fpsOne, ffmpegOne, ours / fpsOne);
    } else {
        printf("ffmpeg could not be run\n");
    }

    // At the movie's own rate: what a frame costs the calling thread.
    const double frameTime = 1.0 / info.FramesPerSecond;
    std::vector<double> costs;
    const double playStart = Seconds();
    for (int i = 1; i < info.FrameCount; ++i) {
        while (Seconds() - playStart < i * frameTime) Sleep(1);
        Theora_AdvanceFrames(decoder, 1);
        const double before = Seconds();
        Theora_PrepareFrame(decoder, 1, 0, 0, 0);
        costs.push_back(Seconds() - before);
    }
    std::sort(costs.begin(), costs.end());
    double sum = 0;
    for (double c : costs) sum += c;
    // The conversion alone, on the frame in the stock.
    const TheoraFrameStockEntry* entry = &decoder->Stock[Theora_Stock_Find(decoder, decoder->CurrentPacket)];
    const int rounds = 50;
    const double convertStart = Seconds();
    for (int i = 0; i < rounds; ++i) Theora_ConvertToRGB(entry, &decoder->RGBImage);
    const double convert = (Seconds() - convertStart) / rounds;
    printf("at %.0f frames/s: calling thread %.2f ms a frame on average, median %.2f ms, worst %.2f ms; "
           "RGB conversion alone %.2f ms\n",
           info.FramesPerSecond, sum / costs.size() * 1000.0, costs[costs.size() / 2] * 1000.0, costs.back() * 1000.0,
           convert * 1000.0);
    printf("(flat out the calling thread spent %.2f ms a frame waiting and converting)\n", waiting / (frames - 1) * 1000.0);

    Theora_Decoder_Destroy(decoder);
    File_MemStream_Close(stream);
    return 0;
}
