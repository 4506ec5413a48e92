// Formats the mixed line "%d %s %08.3f %x" a million times with the library's formatter and with
// the C runtime's snprintf in the same run, and prints both times and their ratio.
#include "foundation/VtCharCode.h"
#include "foundation/VtFormat.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

using namespace Vantrel;

namespace {

const int Rounds = 1000000;
const char* const Words[] = {"pad", "stick", "button", "pov", "x", "settings"};

double Seconds(LARGE_INTEGER start, LARGE_INTEGER end, LARGE_INTEGER frequency) {
    return (double)(end.QuadPart - start.QuadPart) / (double)frequency.QuadPart;
}

} // namespace

int main() {
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    char out[128];
    unsigned check = 0;

    // Warm up both (code pages, caches), then check that they agree on a sample.
    CharCode_Format(CodePage_ShiftJis, 0, CodePage_ShiftJis, CodePage_Utf16LE, out, (int)sizeof(out),
                    "%d %s %08.3f %x", 1, "a", 1.0, 1);
    char runtime[128];
    CharCode_Format(CodePage_ShiftJis, 0, CodePage_ShiftJis, CodePage_Utf16LE, out, (int)sizeof(out),
                    "%d %s %08.3f %x", -1234, "button", 3.14159, 0xBEEF);
    std::snprintf(runtime, sizeof(runtime), "%d %s %08.3f %x", -1234, "button", 3.14159, 0xBEEF);
    std::printf("sample: library \"%s\", snprintf \"%s\"\n", out, runtime);

    // Three alternating passes each; the best pass of each side is reported (the machine may be busy).
    double library = 1e30, runtimeSeconds = 1e30;
    for (int pass = 0; pass < 3; ++pass) {
        QueryPerformanceCounter(&start);
        for (int i = 0; i < Rounds; ++i) {
            double real = (double)(i % 100000) * 0.0137 - 600.0;
            int n = CharCode_Format(CodePage_ShiftJis, 0, CodePage_ShiftJis, CodePage_Utf16LE, out, (int)sizeof(out),
                                    "%d %s %08.3f %x", i * 7 - 3000000, Words[i % 6], real, (unsigned)i * 2654435761u);
            check += (unsigned)n + (unsigned char)out[n - 1];
        }
        QueryPerformanceCounter(&end);
        double seconds = Seconds(start, end, frequency);
        if (seconds < library) library = seconds;

        QueryPerformanceCounter(&start);
        for (int i = 0; i < Rounds; ++i) {
            double real = (double)(i % 100000) * 0.0137 - 600.0;
            int n = std::snprintf(out, sizeof(out), "%d %s %08.3f %x", i * 7 - 3000000, Words[i % 6], real,
                                  (unsigned)i * 2654435761u);
            check -= (unsigned)n + (unsigned char)out[n - 1];
        }
        QueryPerformanceCounter(&end);
        seconds = Seconds(start, end, frequency);
        if (seconds < runtimeSeconds) runtimeSeconds = seconds;
    }

    std::printf("format \"%%d %%s %%08.3f %%x\" x %d (best of 3 passes)\n", Rounds);
    std::printf("library  CharCode_Format: %8.3f s  (%6.1f ns per line)\n", library, library * 1e9 / Rounds);
    std::printf("runtime  snprintf:        %8.3f s  (%6.1f ns per line)\n", runtimeSeconds,
                runtimeSeconds * 1e9 / Rounds);
    std::printf("ratio library / snprintf: %.2f (below 1.00: the library is faster)\n", library / runtimeSeconds);
    std::printf("outputs %s\n", check == 0 ? "agree in length and last character" : "DIFFER");
    return 0;
}
