// vtapack: builds VTA archives on the build machine (the library itself only reads them).
// Usage: vtapack -o OUT.vta [-k KEYTEXT | -n] [-u] [-N KB] [-m MODE] [-d FOLDER]... [MODE:INNER=FILE]...
//   -n no key (nothing scrambled); -k key text (default: the library's default key text);
//   -u directory block stored unpacked; -N Huffman head/tail kilobytes (255: whole coding);
//   -m raw|lz|huff|lzhuff: how the files of the following -d folders are stored;
//   -d FOLDER adds the folder's tree; MODE:INNER=FILE adds one host file under the inner path.
#include <cstdio>
#include <dirent.h>
#include <sys/stat.h>
#include "tools/VtaEncode.h"

namespace {

bool ReadHostFile(const std::string& path, VtaPack::Bytes& out, uint64_t& writeTime)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    out.clear();
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0) out.insert(out.end(), buf, buf + n);
    fclose(f);
    struct stat st;
    writeTime = 0;
    if (stat(path.c_str(), &st) == 0)
        writeTime = (uint64_t(st.st_mtime) + 11644473600ull) * 10000000ull;  // FILETIME from Unix time
    return true;
}

bool ParseMode(const std::string& s, VtaPack::Mode& m)
{
    if (s == "raw") m = VtaPack::Mode::Raw;
    else if (s == "lz") m = VtaPack::Mode::Lz;
    else if (s == "huff") m = VtaPack::Mode::Huffman;
    else if (s == "lzhuff") m = VtaPack::Mode::LzHuffman;
    else return false;
    return true;
}

bool AddFolder(const std::string& host, const std::string& inner, VtaPack::Mode mode, std::vector<VtaPack::FileSpec>& files)
{
    DIR* d = opendir(host.c_str());
    if (!d) return false;
    std::vector<std::string> names;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n != "." && n != "..") names.push_back(n);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
        std::string hp = host + "/" + n;
        std::string ip = inner.empty() ? n : inner + "/" + n;
        struct stat st;
        if (stat(hp.c_str(), &st) != 0) return false;
        if (S_ISDIR(st.st_mode)) {
            if (!AddFolder(hp, ip, mode, files)) return false;
            continue;
        }
        VtaPack::FileSpec f;
        f.Path = ip;
        f.StoreMode = mode;
        if (!ReadHostFile(hp, f.Data, f.WriteTime)) return false;
        files.push_back(std::move(f));
    }
    return true;
}

int Usage()
{
    fprintf(stderr, "usage: vtapack -o OUT.vta [-k KEYTEXT | -n] [-u] [-N KB] [-m MODE] [-d FOLDER]... [MODE:INNER=FILE]...\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    VtaPack::Options opt;
    VtaPack::Mode mode = VtaPack::Mode::Raw;
    std::vector<VtaPack::FileSpec> files;
    std::string output;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (a == "-o") {
            const char* v = value();
            if (!v) return Usage();
            output = v;
        } else if (a == "-k") {
            const char* v = value();
            if (!v) return Usage();
            opt.KeyText = v;
        } else if (a == "-n") {
            opt.NoKey = true;
        } else if (a == "-u") {
            opt.DirectoryUnpacked = true;
        } else if (a == "-N") {
            const char* v = value();
            if (!v) return Usage();
            opt.HuffmanKB = uint8_t(atoi(v));
        } else if (a == "-m") {
            const char* v = value();
            if (!v || !ParseMode(v, mode)) return Usage();
        } else if (a == "-d") {
            const char* v = value();
            if (!v) return Usage();
            if (!AddFolder(v, "", mode, files)) {
                fprintf(stderr, "vtapack: cannot read folder %s\n", v);
                return 1;
            }
        } else {
            size_t colon = a.find(':'), eq = a.find('=');
            VtaPack::Mode m;
            if (colon == std::string::npos || eq == std::string::npos || eq < colon || !ParseMode(a.substr(0, colon), m))
                return Usage();
            VtaPack::FileSpec f;
            f.Path = a.substr(colon + 1, eq - colon - 1);
            f.StoreMode = m;
            if (!ReadHostFile(a.substr(eq + 1), f.Data, f.WriteTime)) {
                fprintf(stderr, "vtapack: cannot read %s\n", a.substr(eq + 1).c_str());
                return 1;
            }
            files.push_back(std::move(f));
        }
    }
    if (output.empty()) return Usage();
    VtaPack::Bytes archive = VtaPack::BuildArchive(files, opt);
    FILE* f = fopen(output.c_str(), "wb");
    if (!f || fwrite(archive.data(), 1, archive.size(), f) != archive.size()) {
        fprintf(stderr, "vtapack: cannot write %s\n", output.c_str());
        if (f) fclose(f);
        return 1;
    }
    fclose(f);
    return 0;
}
