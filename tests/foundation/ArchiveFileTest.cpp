// Archives read through the reader, archive streams and the archive-aware file access: archives packed
// at build time against their sources, archives standing in for folders, lookups ignoring case,
// directory searches, in-place memory archives, and thousands of randomly damaged archives.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "foundation/VtArchive.h"
#include "foundation/VtFile.h"
#include "foundation/VtMemory.h"
#include "tools/VtaEncode.h"

using namespace Vantrel;
using Bytes = std::vector<uint8_t>;

namespace {

std::wstring WinPath(const char* unixPath)
{
    std::wstring w = L"Z:";
    for (const char* p = unixPath; *p; ++p) w.push_back(*p == '/' ? L'\\' : wchar_t(uint8_t(*p)));
    return w;
}

Bytes ReadHostFile(const std::wstring& path)
{
    Bytes out;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return out;
    DWORD size = GetFileSize(h, nullptr);
    out.resize(size);
    DWORD got = 0;
    if (size) ReadFile(h, out.data(), size, &got, nullptr);
    CloseHandle(h);
    out.resize(got);
    return out;
}

bool WriteHostFile(const std::wstring& path, const Bytes& data)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD put = 0;
    if (!data.empty()) WriteFile(h, data.data(), DWORD(data.size()), &put, nullptr);
    CloseHandle(h);
    return put == data.size();
}

Bytes Text(const char* s) { return Bytes(s, s + strlen(s)); }

// Reads a whole stream in pieces of varying size.
Bytes ReadInPieces(ArchiveStream* s, uint32_t seed)
{
    Bytes out;
    uint8_t buf[7000];
    for (;;) {
        seed = seed * 1103515245u + 12345u;
        uint32_t piece = 1 + (seed >> 8) % sizeof(buf);
        uint32_t got = Archive_Stream_Read(s, buf, piece);
        if (got == 0) break;
        out.insert(out.end(), buf, buf + got);
        if (out.size() > (1u << 24)) break;
    }
    return out;
}

const char* const SourceFiles[] = {"ReadMe.txt", "Big.txt", "Sub/Deep/Notes.TXT", "Sub/empty.bin", "Sub/bytes.bin"};
const char* const ArchiveNames[] = {"raw", "lz", "huff", "lzhuff", "mixed"};
const char* KeyTextOf(const std::string& archive)
{
    if (archive == "lz") return "TestKeyText";
    if (archive == "lzhuff") return "Key";
    if (archive == "mixed") return "MixedKey";
    return nullptr;
}

std::string InnerPath(const char* file)
{
    std::string s = file;
    for (char& c : s)
        if (c == '/') c = '\\';
    return s;
}

// Every file of an open archive equals its source: read whole in pieces, and after seeks.
void ExpectArchiveMatchesSources(ArchiveContext* c, const std::string& what)
{
    for (const char* file : SourceFiles) {
        Bytes source = ReadHostFile(WinPath(VT_TEST_ARCHIVE_SOURCE) + L"\\" + WinPath(file).substr(2));
        ArchiveStream s;
        ASSERT_EQ(0, Archive_Stream_Open(&s, c, InnerPath(file).c_str(), 0)) << what << " " << file;
        EXPECT_EQ(source, ReadInPieces(&s, uint32_t(source.size()))) << what << " " << file;
        EXPECT_EQ(1, s.EndFlag);
        if (source.size() > 10) {
            struct Seek {
                int64_t offset;
                int origin;
                uint64_t expected;
            } seeks[] = {{-1, 2, source.size() - 1}, {7, 7, 7}, {int64_t(source.size()) / 2, 0, source.size() / 2}, {-3, 1, source.size() / 2 + 97}};
            for (const Seek& k : seeks) {
                ASSERT_EQ(0, Archive_Stream_Seek(&s, k.offset, k.origin));
                EXPECT_EQ(0, s.EndFlag);
                uint8_t b[100];
                uint32_t want = uint32_t(std::min<uint64_t>(100, source.size() - k.expected));
                ASSERT_EQ(want, Archive_Stream_Read(&s, b, 100)) << what << " " << file;
                EXPECT_EQ(0, memcmp(b, source.data() + k.expected, want)) << what << " " << file << " at " << k.expected;
            }
        }
        Archive_Stream_Close(&s);
    }
}

} // namespace

TEST(ArchiveReader, BuildTimeArchivesEqualTheirSourcesFromFileAndMemory)
{
    for (const char* name : ArchiveNames) {
        std::wstring path = WinPath(VT_TEST_ARCHIVE_DIR) + L"\\" + std::wstring(name, name + strlen(name)) + L".vta";
        const char* key = KeyTextOf(name);
        ArchiveContext c;
        Archive_ResetContext(&c);
        ASSERT_EQ(0, Archive_OpenFromFile(&c, path.c_str(), key)) << name;
        ExpectArchiveMatchesSources(&c, std::string(name) + " (file)");
        Archive_Close(&c);

        ASSERT_EQ(0, Archive_OpenFromFileIntoMemory(&c, path.c_str(), key, 0)) << name;
        ExpectArchiveMatchesSources(&c, std::string(name) + " (loaded)");
        Archive_Close(&c);

        Bytes image = ReadHostFile(path);
        const Bytes pristine = image;
        for (int mode = 0; mode < 3; ++mode) {
            int copy = mode == 0, keep = mode == 2;
            ASSERT_EQ(0, Archive_OpenFromMemory(&c, image.data(), image.size(), copy, keep, key, nullptr)) << name << mode;
            ExpectArchiveMatchesSources(&c, std::string(name) + " (memory mode " + char('0' + mode) + ")");
            Archive_Close(&c);
            EXPECT_EQ(pristine, image) << "closing gives the caller's block back as it was, mode " << mode;
        }
    }
}

TEST(ArchiveReader, LookupsIgnoreCaseAndNeedRealDirectories)
{
    std::wstring path = WinPath(VT_TEST_ARCHIVE_DIR) + L"\\huff.vta";
    ArchiveContext c;
    Archive_ResetContext(&c);
    ASSERT_EQ(0, Archive_OpenFromFile(&c, path.c_str(), nullptr));
    const char* found[] = {"sub\\deep\\notes.txt", "SUB/DEEP/NOTES.TXT", "Sub\\Deep\\Notes.TXT", "\\readme.TXT", "BIG.txt"};
    for (const char* p : found) EXPECT_NE(nullptr, Archive_FindFileEntry(&c, p, nullptr)) << p;
    const char* missing[] = {"sub\\deep", "sub\\nothing\\notes.txt", "readme.txt\\x", "sub\\", "", "ReadMe.tx", "big.txt\\..\\readme.txt"};
    for (const char* p : missing) EXPECT_EQ(nullptr, Archive_FindFileEntry(&c, p, nullptr)) << p;
    EXPECT_EQ(c.DirTable, c.CurrentDir) << "lookups leave the root current";
    uint64_t offset = 0, size = 0;
    EXPECT_EQ(0, Archive_LocateFile(&c, 932, "sub/empty.BIN", &offset, &size));
    EXPECT_EQ(0u, size);
    EXPECT_EQ(0, Archive_LocateFile(&c, 1200, L"readme.txt", &offset, &size)) << "the name is converted first";
    EXPECT_EQ(3000u, size);
    EXPECT_EQ(0, Archive_ChangeDir(&c, "SUB\\deep", 1, nullptr));
    EXPECT_EQ(0, Archive_ChangeDir(&c, "..", 1, nullptr));
    EXPECT_EQ(0, Archive_ChangeDir(&c, "..", 1, nullptr));
    EXPECT_EQ(-1, Archive_ChangeDir(&c, "..", 1, nullptr)) << "no parent above the root";
    ArchiveNameKey failed;
    EXPECT_EQ(-1, Archive_ChangeDir(&c, "sub\\readme.txt", 1, &failed));
    EXPECT_EQ(0, memcmp(failed.Name, "README.TXT", 10));
    Archive_Close(&c);
}

TEST(ArchiveReader, WildcardsBacktrack)
{
    ArchiveContext c;
    Archive_ResetContext(&c);
    c.CodePage = 932;
    struct Case {
        const char* name;
        const char* pattern;
        int expected;
    } cases[] = {
        {"BAA.TXT", "*A.TXT", 0},  {"BAA.TXT", "*.TXT", 0},   {"BAA.TXT", "B?A.*", 0},   {"BAA.TXT", "*", 0},
        {"BAA.TXT", "*B.TXT", -1}, {"BAA.TXT", "BAA.TX", -1}, {"BAA", "BAA**", 0},        {"ABABAC", "*AB*AC", 0},
        {"ABABAD", "*AB*AC", -1},  {"", "*", 0},              {"", "?", -1},              {"A", "", -1},
    };
    for (const Case& k : cases) EXPECT_EQ(k.expected, Archive_MatchWildcard(&c, k.name, k.pattern)) << k.name << " " << k.pattern;
}

TEST(ArchiveReader, DirectorySearchListsEntriesThenDots)
{
    std::wstring path = WinPath(VT_TEST_ARCHIVE_DIR) + L"\\lz.vta";
    ArchiveContext c;
    Archive_ResetContext(&c);
    ASSERT_EQ(0, Archive_OpenFromFile(&c, path.c_str(), "TestKeyText"));
    auto list = [&](const char* pattern) {
        std::vector<std::wstring> names;
        FileFindData d;
        ArchiveFindState* s = Archive_FindFirst(&c, pattern, &d);
        if (s == reinterpret_cast<ArchiveFindState*>(intptr_t(-1))) return names;
        do {
            names.push_back(d.Name);
            if (names.back() == L"Notes.TXT") {
                EXPECT_EQ(9000u, d.Size);
            }
        } while (Archive_FindNext(s, &d) == 0 && ++s->Index);
        Memory_Free(s);
        return names;
    };
    EXPECT_EQ((std::vector<std::wstring>{L"Notes.TXT", L".", L".."}), list("sub\\deep\\*"));
    EXPECT_EQ((std::vector<std::wstring>{L"Big.txt", L"ReadMe.txt", L"Sub", L"."}), list("*"));
    EXPECT_EQ((std::vector<std::wstring>{L"Big.txt", L"ReadMe.txt"}), list("*.TXT"));
    EXPECT_EQ((std::vector<std::wstring>{L"bytes.bin", L"empty.bin"}), list("SUB/*.bin"));
    EXPECT_TRUE(list("nothing\\*").empty());
    Archive_Close(&c);
}

TEST(ArchiveReader, HeadersOtherThanVersion8AreRefused)
{
    VtaPack::FileSpec f;
    f.Path = "a.txt";
    f.Data = Text("hello");
    Bytes good = VtaPack::BuildArchive({f}, VtaPack::Options());
    ArchiveContext c;
    Archive_ResetContext(&c);
    ArchiveContext zero;
    Archive_ResetContext(&zero);
    for (int v : {7, 9}) {
        Bytes bad = good;
        bad[2] = uint8_t(v);
        EXPECT_EQ(-1, Archive_OpenFromMemory(&c, bad.data(), bad.size(), 0, 0, nullptr, nullptr)) << v;
        EXPECT_EQ(0, memcmp(&c, &zero, sizeof(c))) << "the context stays zero";
    }
    Bytes bad = good;
    bad[1] = 'X';
    EXPECT_EQ(-1, Archive_OpenFromMemory(&c, bad.data(), bad.size(), 1, 0, nullptr, nullptr));
    EXPECT_EQ(-1, Archive_OpenFromMemory(&c, good.data(), 40, 1, 0, nullptr, nullptr)) << "shorter than a header";
    bad = good;
    bad[40] = 0x34;  // code page 32765 is read as 932 (memory archives always use 932)
    EXPECT_EQ(0, Archive_OpenFromMemory(&c, bad.data(), bad.size(), 1, 0, nullptr, nullptr));
    EXPECT_EQ(932, c.CodePage);
    Archive_Close(&c);
    // The key is not verified at open: an unkeyed archive reads the same with any key text.
    VtaPack::Options noKey;
    noKey.NoKey = true;
    Bytes plain = VtaPack::BuildArchive({f}, noKey);
    ASSERT_EQ(0, Archive_OpenFromMemory(&c, plain.data(), plain.size(), 1, 0, "another key", nullptr));
    ArchiveStream s;
    ASSERT_EQ(0, Archive_Stream_Open(&s, &c, "A.TXT", 0));
    char out[8] = {};
    EXPECT_EQ(5u, Archive_Stream_Read(&s, out, 8));
    EXPECT_STREQ("hello", out);
    Archive_Stream_Close(&s);
    Archive_Close(&c);
}

namespace {

struct TempFolder {
    std::wstring path;
    TempFolder()
    {
        wchar_t t[MAX_PATH];
        GetTempPathW(MAX_PATH, t);
        path = std::wstring(t) + L"vtf4_" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(path.c_str(), nullptr);
    }
    ~TempFolder()
    {
        RemoveTree(path);
    }
    static void RemoveTree(const std::wstring& dir)
    {
        WIN32_FIND_DATAW d;
        HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &d);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                std::wstring n = d.cFileName;
                if (n == L"." || n == L"..") continue;
                if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(dir + L"\\" + n);
                else DeleteFileW((dir + L"\\" + n).c_str());
            } while (FindNextFileW(h, &d));
            FindClose(h);
        }
        RemoveDirectoryW(dir.c_str());
    }
};

Bytes ReadThroughTable(FileAccessHandle h)
{
    Bytes out;
    uint8_t buf[333];
    uint32_t got;
    while ((got = File_Access_Read(buf, 1, sizeof(buf), h)) > 0) out.insert(out.end(), buf, buf + got);
    return out;
}

} // namespace

TEST(ArchiveAccess, ArchiveStandsInForTheFolderOfItsName)
{
    TempFolder t;
    std::wstring game = t.path + L"\\GAME";
    std::wstring data = game + L"\\DATA";
    CreateDirectoryW(game.c_str(), nullptr);
    CreateDirectoryW(data.c_str(), nullptr);
    ASSERT_TRUE(WriteHostFile(data + L"\\A.PNG", Text("folder copy of A")));
    ASSERT_TRUE(WriteHostFile(data + L"\\B.TXT", Text("only in the folder")));
    VtaPack::FileSpec a, c, d;
    a.Path = "A.PNG";
    a.Data = Text("archive copy of A");
    a.StoreMode = VtaPack::Mode::Lz;
    c.Path = "Img/C.png";
    c.Data = Text("C inside a subfolder of the archive");
    c.StoreMode = VtaPack::Mode::Huffman;
    d.Path = "Img/D.PNG";
    d.Data = Text("D");
    ASSERT_TRUE(WriteHostFile(game + L"\\DATA.VTA", VtaPack::BuildArchive({a, c, d}, VtaPack::Options())));
    File_Access_InstallTableW(nullptr);

    struct Case {
        std::wstring path;
        const char* expected;
        int archived;
    } cases[] = {
        {data + L"\\A.PNG", "archive copy of A", 1},
        {data + L"\\B.TXT", "only in the folder", 0},
        {data + L"\\img\\c.PNG", "C inside a subfolder of the archive", 1},
        {game + L"\\data/IMG/d.png", "D", 1},
        {data + L"\\IMG\\..\\a.png", "archive copy of A", 1},
    };
    for (const Case& k : cases) {
        FileAccessHandle h = File_Access_Open(k.path.c_str(), 0, 1, 0);
        ASSERT_NE(0u, h) << std::string(k.path.begin(), k.path.end());
        EXPECT_EQ(k.archived, File_Access_IsArchived(h));
        EXPECT_EQ(Text(k.expected), ReadThroughTable(h));
        EXPECT_EQ(-1, File_Access_Eof(h));
        EXPECT_EQ(0, File_Access_Close(h));
        EXPECT_EQ(-1, File_Access_IsArchived(h)) << "closed handle";
    }
    EXPECT_EQ(0u, File_Access_Open((data + L"\\MISSING.PNG").c_str(), 0, 1, 0));

    // A relative path is resolved against the current directory first.
    wchar_t saved[1536];
    GetCurrentDirectoryW(1536, saved);
    ASSERT_TRUE(SetCurrentDirectoryW(game.c_str()));
    FileAccessHandle h = File_Access_Open(L"data\\img\\d.png", 0, 1, 0);
    SetCurrentDirectoryW(saved);
    ASSERT_NE(0u, h);
    EXPECT_EQ(Text("D"), ReadThroughTable(h));
    File_Access_Close(h);

    // A search in the folder lists the archive's entries.
    FileFindData f;
    std::vector<std::wstring> names;
    FileFindHandle find = File_Access_GetTable()->FindFirst((data + L"\\*.PNG").c_str(), &f);
    ASSERT_NE(-1, find);
    do names.push_back(f.Name);
    while (File_Access_GetTable()->FindNext(find, &f) == 0);
    EXPECT_EQ(0, File_Access_GetTable()->FindClose(find));
    EXPECT_EQ((std::vector<std::wstring>{L"A.PNG"}), names);
    Archive_PurgeCache(1);
}

namespace {

std::vector<VtaPack::FileSpec> MutationFiles()
{
    std::vector<VtaPack::FileSpec> files;
    uint32_t seed = 99;
    auto next = [&]() { return seed = seed * 1103515245u + 12345u, seed >> 8; };
    const char* names[] = {"raw.bin", "Dir/lz.txt", "Dir/Sub/huff.bin", "Dir/Sub/both.txt", "Other/partial.txt", "zero.bin"};
    VtaPack::Mode modes[] = {VtaPack::Mode::Raw, VtaPack::Mode::Lz, VtaPack::Mode::Huffman, VtaPack::Mode::LzHuffman,
                             VtaPack::Mode::Huffman, VtaPack::Mode::Raw};
    size_t sizes[] = {700, 3000, 1500, 2500, 4000, 0};
    for (int i = 0; i < 6; ++i) {
        VtaPack::FileSpec f;
        f.Path = names[i];
        f.StoreMode = modes[i];
        for (size_t k = 0; k < sizes[i]; ++k)
            f.Data.push_back(k > 4 && next() % 2 ? f.Data[k - 1 - next() % 4] : uint8_t('a' + next() % 12));
        files.push_back(f);
    }
    return files;
}

struct StoredRange {
    uint64_t begin, end;
};

} // namespace

TEST(ArchiveMutation, DamagedArchivesAreReadCorrectlyOrRefused)
{
    const std::vector<VtaPack::FileSpec> files = MutationFiles();
    VtaPack::Options opt;
    opt.KeyText = "mutation";
    opt.HuffmanKB = 1;  // partial Huffman coding for files above 2 KB
    const Bytes pristine = VtaPack::BuildArchive(files, opt);

    // Where each file's stored bytes lie in the pristine archive.
    std::vector<StoredRange> ranges;
    ArchiveContext c;
    Archive_ResetContext(&c);
    Bytes copy = pristine;
    ASSERT_EQ(0, Archive_OpenFromMemory(&c, copy.data(), copy.size(), 1, 0, "mutation", nullptr));
    for (const VtaPack::FileSpec& f : files) {
        ArchiveFileEntry* e = Archive_FindFileEntry(&c, InnerPath(f.Path.c_str()).c_str(), nullptr);
        ASSERT_NE(nullptr, e) << f.Path;
        uint64_t begin = c.Header.DataStart + e->DataOffset;
        ranges.push_back({begin, begin + Archive_StoredLength(*e, c.Header.HuffmanKB)});
    }
    const uint64_t directoryStart = c.Header.DirectoryOffset;
    Archive_Close(&c);

    uint32_t seed = 2024;
    auto next = [&]() { return seed = seed * 1103515245u + 12345u, seed >> 8; };
    int opened = 0, refusedFiles = 0, readFiles = 0;
    const DWORD start = GetTickCount();
    int iterations = 0;
    for (; iterations < 4000 && GetTickCount() - start < 60000; ++iterations) {
        Bytes damaged = pristine;
        std::vector<uint64_t> hits;
        int kind = int(next() % 10);
        if (kind == 0) {
            damaged.resize(next() % damaged.size());
        } else {
            int flips = 1 + int(next() % 4);
            for (int k = 0; k < flips; ++k) {
                // Mostly the header and the directory block, where damage changes the structure.
                uint64_t at = kind < 5 ? (next() % 2 ? next() % 64 : directoryStart + next() % (damaged.size() - directoryStart))
                                       : next() % damaged.size();
                damaged[at] ^= uint8_t(1 + next() % 255);
                hits.push_back(at);
            }
        }
        Archive_ResetContext(&c);
        if (Archive_OpenFromMemory(&c, damaged.data(), damaged.size(), 0, iterations % 2, "mutation", nullptr) < 0) continue;
        ++opened;
        bool structureIntact = kind != 0;
        for (uint64_t at : hits)
            if (at < 64 || at >= directoryStart) structureIntact = false;
        for (size_t i = 0; i < files.size(); ++i) {
            bool touched = !structureIntact;
            for (uint64_t at : hits)
                if (at >= ranges[i].begin && at < ranges[i].end) touched = true;
            ArchiveStream s;
            if (Archive_Stream_Open(&s, &c, InnerPath(files[i].Path.c_str()).c_str(), 0) < 0) {
                ++refusedFiles;
                EXPECT_TRUE(touched) << "untouched file refused: " << files[i].Path << " iteration " << iterations;
                continue;
            }
            Bytes got = ReadInPieces(&s, uint32_t(i));
            bool damagedHere = s.Damaged != 0;
            Archive_Stream_Close(&s);
            if (damagedHere) {
                ++refusedFiles;
                continue;
            }
            ++readFiles;
            EXPECT_LE(got.size(), size_t(1) << 24);
            if (!touched) {
                EXPECT_EQ(files[i].Data, got) << "untouched file " << files[i].Path << " iteration " << iterations;
            }
        }
        Archive_Close(&c);
    }
    EXPECT_GE(iterations, 1000) << "enough damaged archives in the time allowed";
    EXPECT_GT(opened, 0);
    EXPECT_GT(refusedFiles, 0);
    EXPECT_GT(readFiles, 0);
    printf("[ mutation ] %d archives, %d opened, %d file reads, %d refused\n", iterations, opened, readFiles, refusedFiles);
}

TEST(ArchiveAccess, AsynchronousReadsThroughTheTable)
{
    File_Access_InstallTableW(nullptr);
    for (const char* archive : {"huff", "raw"}) {
        for (const char* file : SourceFiles) {
            Bytes source = ReadHostFile(WinPath(VT_TEST_ARCHIVE_SOURCE) + L"\\" + WinPath(file).substr(2));
            std::wstring path = WinPath(VT_TEST_ARCHIVE_DIR) + L"\\" + std::wstring(archive, archive + strlen(archive)) +
                                L"\\" + WinPath(file).substr(2);
            FileAccessHandle h = File_Access_Open(path.c_str(), 0, 1, 1);
            ASSERT_NE(0u, h) << archive << " " << file;
            EXPECT_EQ(1, File_Access_IsArchived(h));
            Bytes got;
            uint8_t buf[4096];
            for (uint32_t piece = 1;; piece = piece * 5 % 4093 + 1) {
                uint32_t n = File_Access_Read(buf, 1, piece, h);
                if (n == 0) break;
                int waited = 0;
                while (File_Access_IdleCheck(h) == 0 && waited++ < 5000) Sleep(1);
                ASSERT_EQ(1, File_Access_IdleCheck(h));
                got.insert(got.end(), buf, buf + n);
            }
            EXPECT_EQ(source, got) << archive << " " << file;
            EXPECT_EQ(int64_t(source.size()), File_Access_Tell(h));
            if (source.size() > 4) {
                // A pending raw read is completed (unscrambled) before the handle closes.
                ASSERT_EQ(0, File_Access_Seek(h, -4, SeekOrigin_End));
                EXPECT_EQ(4u, File_Access_Read(buf, 1, 4, h));
            }
            EXPECT_EQ(0, File_Access_Close(h));
            if (source.size() > 4) {
                EXPECT_EQ(0, memcmp(buf, source.data() + source.size() - 4, 4)) << archive << " " << file;
            }
        }
    }
    // The archive stays cached after its last file is closed.
    std::wstring huff = WinPath(VT_TEST_ARCHIVE_DIR) + L"\\HUFF.VTA";
    int slot = Archive_FindOrOpenArchive(huff.c_str(), nullptr, 0, 0, 0, -1, 0, 0);
    ASSERT_GE(slot, 0);
    ArchiveContext* cached = Archive_GetCachedContext(slot);
    EXPECT_EQ(slot, Archive_FindOrOpenArchive(huff.c_str(), nullptr, 0, 0, 0, -1, 0, 0));
    EXPECT_EQ(cached, Archive_GetCachedContext(slot));
    Archive_ReleaseArchive(slot);
    Archive_ReleaseArchive(slot);
    Archive_PurgeCache(1);
}

TEST(ArchiveReader, WholeFileLoadedAsynchronously)
{
    std::wstring path = WinPath(VT_TEST_ARCHIVE_DIR) + L"\\mixed.vta";
    ArchiveContext c;
    Archive_ResetContext(&c);
    ASSERT_EQ(0, Archive_OpenFromFileIntoMemory(&c, path.c_str(), "MixedKey", 1));
    int waited = 0;
    while (Archive_CheckLoaded(&c) == 0 && waited++ < 5000) Sleep(1);
    ASSERT_EQ(1, Archive_CheckLoaded(&c));
    ExpectArchiveMatchesSources(&c, "mixed (asynchronous load)");
    EXPECT_NE(nullptr, Archive_GetMemoryImage(&c));
    Archive_Close(&c);
    // Streams opened asynchronously on a file-backed archive.
    ASSERT_EQ(0, Archive_OpenFromFile(&c, path.c_str(), "MixedKey"));
    EXPECT_EQ(nullptr, Archive_GetMemoryImage(&c));
    for (const char* file : SourceFiles) {
        Bytes source = ReadHostFile(WinPath(VT_TEST_ARCHIVE_SOURCE) + L"\\" + WinPath(file).substr(2));
        ArchiveStream s;
        ASSERT_EQ(0, Archive_Stream_Open(&s, &c, InnerPath(file).c_str(), 1));
        waited = 0;
        while (Archive_Stream_IdleCheck(&s) == 0 && waited++ < 5000) Sleep(1);
        ASSERT_EQ(1, Archive_Stream_IdleCheck(&s));
        Bytes got(source.size() + 1);
        uint32_t n = Archive_Stream_Read(&s, got.data(), uint32_t(got.size()));
        while (Archive_Stream_IdleCheck(&s) == 0 && waited++ < 5000) Sleep(1);
        got.resize(n);
        EXPECT_EQ(source, got) << file;
        Archive_Stream_Close(&s);
    }
    Archive_Close(&c);
}

TEST(ArchiveMutation, DamagedArchiveFilesAreReadOrRefused)
{
    const std::vector<VtaPack::FileSpec> files = MutationFiles();
    VtaPack::Options opt;
    opt.HuffmanKB = 1;
    const Bytes pristine = VtaPack::BuildArchive(files, opt);
    TempFolder t;
    const std::wstring path = t.path + L"\\damaged.vta";
    uint32_t seed = 77;
    auto next = [&]() { return seed = seed * 1103515245u + 12345u, seed >> 8; };
    int opened = 0;
    for (int i = 0; i < 150; ++i) {
        Bytes damaged = pristine;
        if (i % 5 == 0) damaged.resize(next() % damaged.size());
        else
            for (int k = 0; k < 3; ++k) damaged[next() % damaged.size()] ^= uint8_t(1 + next() % 255);
        ASSERT_TRUE(WriteHostFile(path, damaged));
        for (int whole = 0; whole < 2; ++whole) {
            ArchiveContext c;
            Archive_ResetContext(&c);
            int r = whole ? Archive_OpenFromFileIntoMemory(&c, path.c_str(), nullptr, 0) : Archive_OpenFromFile(&c, path.c_str(), nullptr);
            if (r < 0) continue;
            ++opened;
            for (const VtaPack::FileSpec& f : files) {
                ArchiveStream s;
                if (Archive_Stream_Open(&s, &c, InnerPath(f.Path.c_str()).c_str(), 0) < 0) continue;
                Bytes got = ReadInPieces(&s, 3);
                EXPECT_LE(got.size(), f.Data.size() + (1u << 20));
                Archive_Stream_Close(&s);
            }
            Archive_Close(&c);
        }
    }
    EXPECT_GT(opened, 0);
}

namespace {

// A one-file archive (A.TXT) copied into the cache under `archivePath`: it stands in for that folder
// without touching the disk. The cache slot, or -1.
int CacheOneFileArchive(const wchar_t* archivePath, const char* content)
{
    VtaPack::FileSpec f;
    f.Path = "A.TXT";
    f.Data = Text(content);
    Bytes image = VtaPack::BuildArchive({f}, VtaPack::Options());
    return Archive_FindOrOpenArchive(archivePath, image.data(), image.size(), 1, 0, -1, 0, 0);
}

} // namespace

TEST(ArchiveAccess, OpenFileLimitAndSlotReuse)
{
    File_Access_InstallTableW(nullptr);
    int slot = CacheOneFileArchive(L"Z:\\VTF4MEMORY.VTA", "limit");
    ASSERT_GE(slot, 0);
    std::vector<FileAccessHandle> handles;
    for (int i = 0; i < 32768; ++i) {
        FileAccessHandle h = File_Access_Open(L"Z:\\vtf4memory\\a.txt", 0, 1, 0);
        if (h == 0) break;
        handles.push_back(h);
    }
    ASSERT_EQ(32768u, handles.size());
    EXPECT_EQ(0u, File_Access_Open(L"Z:\\vtf4memory\\a.txt", 0, 1, 0)) << "one more than the table holds";
    EXPECT_EQ(0, File_Access_Close(handles[100]));
    FileAccessHandle again = File_Access_Open(L"Z:\\vtf4memory\\a.txt", 0, 1, 0);
    EXPECT_EQ(handles[100], again) << "the freed slot is used again";
    char out[8] = {};
    EXPECT_EQ(5u, File_Access_Read(out, 1, 8, again));
    EXPECT_STREQ("limit", out);
    for (FileAccessHandle h : handles) EXPECT_EQ(0, File_Access_Close(h));
    EXPECT_EQ(-1, File_Access_Close(handles[0])) << "closed twice";
    Archive_ReleaseArchive(slot);
    Archive_PurgeCache(1);
}

TEST(ArchiveAccess, ClosedAndUnknownHandlesReadNothing)
{
    File_Access_InstallTableW(nullptr);
    int slot = CacheOneFileArchive(L"Z:\\VTSTALEHANDLE.VTA", "stale");
    ASSERT_GE(slot, 0);
    FileAccessHandle h = File_Access_Open(L"Z:\\vtstalehandle\\a.txt", 0, 1, 0);
    ASSERT_NE(0u, h);
    ASSERT_EQ(0, File_Access_Close(h));
    const FileAccessHandle bad[] = {h, FileAccessHandle(0xF0000000u | 30000u), FileAccessHandle(0xFFFFFFFFu), FileAccessHandle(0x1234u)};
    for (FileAccessHandle b : bad) {
        char out[8] = "unread";
        EXPECT_EQ(0u, File_Access_Read(out, 1, 8, b)) << std::hex << b;
        EXPECT_EQ(0u, File_Access_Read(out, 4, 2, b)) << std::hex << b;
        EXPECT_STREQ("unread", out);
        EXPECT_EQ(-1, File_Access_Eof(b));
        EXPECT_EQ(-1, File_Access_Tell(b));
    }
    Archive_ReleaseArchive(slot);
    Archive_PurgeCache(1);
}

namespace {

// An archive in memory whose directories form one chain `depth` levels deep, every level named "D",
// with one file "F.TXT" at the bottom; directory block stored unpacked, everything scrambled with the
// default key text. Written here rather than by the packer, whose own tree is recursive.
Bytes DeepChainArchive(uint32_t depth, const Bytes& content)
{
    Bytes names;
    VtaPack::PutName(names, "");
    const uint64_t dirName = VtaPack::PutName(names, "D");
    const uint64_t fileName = VtaPack::PutName(names, "F.TXT");
    while (names.size() % 8) names.push_back(0);
    const uint64_t fileTable = names.size();
    const uint64_t dirTable = fileTable + uint64_t(depth + 2) * 72;
    Bytes block(size_t(dirTable + uint64_t(depth + 1) * 32), 0);
    std::copy(names.begin(), names.end(), block.begin());
    auto put = [&](uint64_t at, std::initializer_list<uint64_t> values) {
        for (uint64_t v : values) {
            VtaPack::Put64At(block, size_t(at), v);
            at += 8;
        }
    };
    put(fileTable, {0, 0x10, 0, 0, 0, 0, 0, ArchiveNone, ArchiveNone});
    for (uint32_t k = 1; k <= depth; ++k)
        put(fileTable + uint64_t(k) * 72, {dirName, 0x10, 0, 0, 0, uint64_t(k) * 32, 0, ArchiveNone, ArchiveNone});
    put(fileTable + uint64_t(depth + 1) * 72, {fileName, 0x20, 0, 0, 0, 0, content.size(), ArchiveNone, ArchiveNone});
    for (uint32_t k = 0; k <= depth; ++k)
        put(dirTable + uint64_t(k) * 32, {uint64_t(k) * 72, k == 0 ? ArchiveNone : uint64_t(k - 1) * 32, 1, uint64_t(k + 1) * 72});

    std::string keyText = std::string(ArchiveDefaultKeyText) + "F.TXT";
    while (keyText.size() < 2039 && keyText.size() < 13 + depth) keyText += "D";
    Bytes data = content;
    VtaPack::Scramble(data.data(), data.size(), data.size(), VtaPack::DeriveKey(keyText));
    VtaPack::Scramble(block.data(), block.size(), 0, VtaPack::DeriveKey(ArchiveDefaultKeyText));
    Bytes out(64, 0);
    out[0] = 'V';
    out[1] = 'T';
    out[2] = 8;
    for (int k = 0; k < 4; ++k) out[4 + k] = uint8_t(block.size() >> (8 * k));
    VtaPack::Put64At(out, 8, 64);
    VtaPack::Put64At(out, 16, 64 + data.size());
    VtaPack::Put64At(out, 24, fileTable);
    VtaPack::Put64At(out, 32, dirTable);
    out[40] = uint8_t(932 & 0xFF);
    out[41] = uint8_t(932 >> 8);
    out[44] = uint8_t(ArchiveFlag_DirectoryUnpacked);
    out[48] = ArchiveHuffmanWhole;
    out.insert(out.end(), data.begin(), data.end());
    out.insert(out.end(), block.begin(), block.end());
    return out;
}

} // namespace

// Deep nesting costs heap, not stack: opening unscrambles every file in place and closing scrambles
// the caller's block back, through a chain far deeper than any thread's stack could recurse.
TEST(ArchiveReader, DeeplyNestedDirectoriesInMemory)
{
    const Bytes content = Text("at the bottom of the chain");
    for (uint32_t depth : {1u, 3000u, 300000u}) {
        Bytes image = DeepChainArchive(depth, content);
        const Bytes pristine = image;
        ArchiveContext c;
        Archive_ResetContext(&c);
        ASSERT_EQ(0, Archive_OpenFromMemory(&c, image.data(), image.size(), 0, 0, nullptr, nullptr)) << depth;
        if (depth <= 3000) {
            std::string path;
            for (uint32_t k = 0; k < depth; ++k) path += "d\\";
            path += "f.txt";
            uint8_t* dir = nullptr;
            ArchiveFileEntry* e = Archive_FindFileEntry(&c, path.c_str(), &dir);
            ASSERT_NE(nullptr, e) << depth;
            EXPECT_EQ(content, Bytes(image.begin() + 64 + e->DataOffset, image.begin() + 64 + e->DataOffset + e->Size)) << depth;
        }
        const uint64_t fileAt = 64;
        EXPECT_EQ(content, Bytes(image.begin() + fileAt, image.begin() + fileAt + content.size())) << "unscrambled in place, depth " << depth;
        EXPECT_EQ(0, Archive_Close(&c));
        EXPECT_TRUE(pristine == image) << "the caller's block is given back as it was, depth " << depth;
    }
}

// A directory with more subdirectories than any fixed table of pending directories would hold.
TEST(ArchiveReader, ThreeHundredSubdirectoriesInOneDirectory)
{
    std::vector<VtaPack::FileSpec> files;
    for (int i = 0; i < 300; ++i) {
        VtaPack::FileSpec f;
        char name[32];
        snprintf(name, sizeof(name), "Dir%03d/Inner/File%03d.txt", i, i);
        f.Path = name;
        f.Data = Text(name);
        f.StoreMode = i % 2 ? VtaPack::Mode::LzHuffman : VtaPack::Mode::Raw;
        files.push_back(f);
    }
    Bytes image = VtaPack::BuildArchive(files, VtaPack::Options());
    TempFolder t;
    const std::wstring archivePath = t.path + L"\\wide.vta";
    ASSERT_TRUE(WriteHostFile(archivePath, image));
    ArchiveContext c;
    Archive_ResetContext(&c);
    for (int from = 0; from < 2; ++from) {
        if (from == 0) ASSERT_EQ(0, Archive_OpenFromMemory(&c, image.data(), image.size(), 1, 0, nullptr, nullptr));
        else ASSERT_EQ(0, Archive_OpenFromFile(&c, archivePath.c_str(), nullptr));
        for (int i : {0, 255, 256, 257, 299}) {
            char name[32];
            snprintf(name, sizeof(name), "Dir%03d/Inner/File%03d.txt", i, i);
            ArchiveStream s;
            ASSERT_EQ(0, Archive_Stream_Open(&s, &c, name, 0)) << name << " from " << from;
            char out[64] = {};
            EXPECT_EQ(uint32_t(strlen(name)), Archive_Stream_Read(&s, out, sizeof(out)));
            EXPECT_STREQ(name, out);
            Archive_Stream_Close(&s);
        }
        Archive_Close(&c);
    }
}
