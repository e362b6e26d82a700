// The Windows tests' stand-in for a small shell script. Copies of this program carry their order
// after the program's own bytes: "<order>:<path>", its length (4 bytes, little-endian) and
// "VTO1", where the order is
//   started - append the line "started" to the file at <path>;
//   parent  - write the id of the process that started this one to <path> (through <path>.part).
// A first argument makes it sleep that many seconds first.
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string ownBytes() {
    char name[MAX_PATH] = {};
    if (GetModuleFileNameA(nullptr, name, MAX_PATH) == 0) return {};
    std::string bytes;
    if (std::FILE* f = std::fopen(name, "rb")) {
        char buffer[65536];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            bytes.append(buffer, n);
        std::fclose(f);
    }
    return bytes;
}

DWORD parentId() {
    DWORD self = GetCurrentProcessId();
    DWORD parent = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (entry.th32ProcessID == self) parent = entry.th32ParentProcessID;
    CloseHandle(snapshot);
    return parent;
}

void write(const std::string& path, const char* mode, const std::string& text) {
    if (std::FILE* f = std::fopen(path.c_str(), mode)) {
        std::fputs(text.c_str(), f);
        std::fclose(f);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) Sleep(static_cast<DWORD>(std::atoi(argv[1])) * 1000);
    std::string bytes = ownBytes();
    if (bytes.size() < 8 || bytes.compare(bytes.size() - 4, 4, "VTO1") != 0) return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + bytes.size() - 8);
    size_t n = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<size_t>(p[3]) << 24);
    if (n > bytes.size() - 8) return 2;
    std::string order = bytes.substr(bytes.size() - 8 - n, n);
    size_t colon = order.find(':');
    if (colon == std::string::npos) return 2;
    std::string what = order.substr(0, colon);
    std::string path = order.substr(colon + 1);
    if (what == "started") {
        write(path, "ab", "started\n");
    } else if (what == "parent") {
        write(path + ".part", "wb", std::to_string(parentId()) + "\n");
        MoveFileExA((path + ".part").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
    } else {
        return 2;
    }
    return 0;
}
