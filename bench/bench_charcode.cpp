// Shift_JIS (code page 932) to UTF-16 throughput: CharCode_ConvertString against the system's
// MultiByteToWideChar on the same few MB of mixed kana, kanji and ASCII text.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <vector>

#include "foundation/VtCharCode.h"
#include "foundation/VtWinAPI.h"

using namespace Vantrel;

namespace {

bool SystemAccepts(const char *bytes, int length) {
  WCHAR out[4];
  return MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes, length, out, 4) == 1;
}

// Mixed text: about half ASCII, the rest hiragana, katakana, kanji and half-width kana, in lines.
std::vector<char> MakeText(size_t bytes) {
  std::vector<unsigned> doubleByte;
  for (unsigned code = 0x829F; code <= 0x82F1; code++) doubleByte.push_back(code);       // hiragana
  for (unsigned code = 0x8340; code <= 0x8396; code++) doubleByte.push_back(code);       // katakana
  for (unsigned code = 0x889F; code <= 0x9872; code++) doubleByte.push_back(code);       // kanji, level 1
  for (unsigned code = 0x8140; code <= 0x81AC; code++) doubleByte.push_back(code);       // punctuation
  std::vector<unsigned> valid;
  for (unsigned code : doubleByte) {
    const char pair[2] = {(char)(code >> 8), (char)code};
    if (SystemAccepts(pair, 2)) valid.push_back(code);
  }
  std::vector<char> text;
  text.reserve(bytes + 8);
  uint32_t seed = 12345;
  int column = 0;
  while (text.size() < bytes) {
    seed = seed * 1664525u + 1013904223u;
    const unsigned pick = seed >> 16;
    if (column >= 60) {
      text.push_back('\r');
      text.push_back('\n');
      column = 0;
    } else if (pick % 100 < 45) {
      text.push_back((char)(0x20 + pick % 95));
      column++;
    } else if (pick % 100 < 50) {
      text.push_back((char)(0xA1 + pick % 63));
      column++;
    } else {
      const unsigned code = valid[(seed >> 8) % valid.size()];
      text.push_back((char)(code >> 8));
      text.push_back((char)code);
      column += 2;
    }
  }
  text.push_back(0);
  return text;
}

double Seconds(LARGE_INTEGER start, LARGE_INTEGER end) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return (double)(end.QuadPart - start.QuadPart) / (double)frequency.QuadPart;
}

} // namespace

int main() {
  const int rounds = 15;
  const std::vector<char> text = MakeText(4 * 1024 * 1024);
  const int length = (int)text.size() - 1;
  std::vector<WCHAR> ours(text.size() + 1), system(text.size() + 1);
  const int oursBytes = (int)(ours.size() * sizeof(WCHAR));

  // Loading the system function table and building the translation tables are measured apart.
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  WinAPI_EnsureLoaded();
  QueryPerformanceCounter(&end);
  printf("system function table load: %.1f ms\n", Seconds(start, end) * 1000.0);
  QueryPerformanceCounter(&start);
  CharCode_ConvertChar(0x82A0, CodePage_ShiftJis, CodePage_Utf16LE);
  QueryPerformanceCounter(&end);
  printf("table build 932: %.1f ms\n", Seconds(start, end) * 1000.0);
  for (CodePageId page : {CodePage_Gbk, CodePage_Korean, CodePage_Big5, CodePage_Western}) {
    QueryPerformanceCounter(&start);
    CharCode_BuildTable(page);
    QueryPerformanceCounter(&end);
    printf("table build %d: %.1f ms\n", (int)page, Seconds(start, end) * 1000.0);
  }

  double bestOurs = 1e9, bestOursTerminated = 1e9, bestSystem = 1e9;
  int oursResult = 0, systemResult = 0;
  for (int round = 0; round < rounds; round++) {
    QueryPerformanceCounter(&start);
    oursResult = CharCode_ConvertString(text.data(), length, CodePage_ShiftJis, ours.data(), oursBytes, CodePage_Utf16LE);
    QueryPerformanceCounter(&end);
    if (Seconds(start, end) < bestOurs) bestOurs = Seconds(start, end);

    QueryPerformanceCounter(&start);
    CharCode_ConvertString(text.data(), -1, CodePage_ShiftJis, ours.data(), oursBytes, CodePage_Utf16LE);
    QueryPerformanceCounter(&end);
    if (Seconds(start, end) < bestOursTerminated) bestOursTerminated = Seconds(start, end);

    QueryPerformanceCounter(&start);
    systemResult = MultiByteToWideChar(932, 0, text.data(), length, system.data(), (int)system.size());
    QueryPerformanceCounter(&end);
    if (Seconds(start, end) < bestSystem) bestSystem = Seconds(start, end);
  }
  const bool same = oursResult == (systemResult + 1) * 2 && memcmp(ours.data(), system.data(), systemResult * 2) == 0;
  const double megabytes = length / (1024.0 * 1024.0);
  printf("input: %.2f MB of code page 932 text, %d UTF-16 units out, outputs %s\n", megabytes, systemResult,
         same ? "identical" : "DIFFERENT");
  printf("CharCode_ConvertString (length given): %8.1f MB/s\n", megabytes / bestOurs);
  printf("CharCode_ConvertString (to terminator): %7.1f MB/s\n", megabytes / bestOursTerminated);
  printf("MultiByteToWideChar:                    %7.1f MB/s\n", megabytes / bestSystem);
  printf("ratio (ours / system): %.2f\n", bestSystem / bestOurs);
  return same ? 0 : 1;
}
