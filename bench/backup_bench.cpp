// Backup and restore of a navigator holding about 200 MB, reached through the navigator simulator
// as through the remote API, against plain copies of the same files with the program's own copy
// routines (copyFromDevice, copyToDevice) in the same run. bench/backup_bench.sh builds, runs and
// prints the ratios. Each timed run starts with the disk settled (sync): the files the runs before
// it wrote or removed are on the disk, and on a drive mounted with discard their freed blocks
// trimmed. Otherwise the backup's flush of its zip would also pay for the earlier runs' writes.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "device/device_files.h"
#include "ops/navigator_state.h"
#include "support/recording_seat.h"
#include "tasks/backup.h"
#include "tasks/task_context.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRouteBooks = 100;
constexpr size_t kTrackBytes = 2 * 1024 * 1024;
const char kDataRoot[] = "\\Storage Card\\userdata\\track\\";

void writeBytes(const fs::path& path, size_t size, uint64_t& random) {
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        random ^= random << 13;
        random ^= random >> 7;
        random ^= random << 17;
        c = static_cast<char>(random);
    }
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(size));
}

// The simulated navigator's storage card with 100 route books of about 2 MB and the saved places,
// a plain copy of its data folder on the PC, and a backup of it.
struct Navigator {
    fs::path root;
    fs::path userdata;
    fs::path pcCopy;
    std::string backup;
    uint64_t bytes = 0;
    RecordingSeat seat;
    std::unique_ptr<NavigatorState> state;
    std::atomic<int> stop{0};
    PauseGate gate;

    Navigator() {
        root = fs::temp_directory_path() / ("vantu-backup-bench-" + std::to_string(::getpid()));
        userdata = root / "device" / "Storage Card" / "userdata";
        pcCopy = root / "pc" / "userdata";
        backup = (root / "backup.zip").string();
        fill();
        for (const auto& f : fs::recursive_directory_iterator(userdata))
            if (f.is_regular_file()) bytes += f.file_size();
        fs::create_directories(pcCopy);
        fs::copy(userdata, pcCopy, fs::copy_options::recursive);
        // The simulator reads its root when it is first called.
        setenv("NAVSIM_ROOT", (root / "device").c_str(), 1);
        state = std::make_unique<NavigatorState>(seat);
        if (state->rapi.openRemoteLink() != 1) std::abort();
        state->mode = RapiDevice;
        state->dataRoot = kDataRoot;
        BackupOutcome outcome;
        backupNavigator(context(), backup, outcome);
        if (!outcome.finished) std::abort();
    }
    ~Navigator() { fs::remove_all(root); }

    void fill() {
        uint64_t random = 7;
        fs::create_directories(userdata / "poi");
        writeBytes(userdata / "poi" / "address.poi", 20 + 100 * 556, random);
        for (int i = 0; i < kRouteBooks; ++i) {
            std::string n = "RB" + std::to_string(1000 + i);
            fs::create_directories(userdata / "track" / n);
            writeBytes(userdata / "track" / (n + ".trk"), kTrackBytes, random);
            writeBytes(userdata / "track" / (n + ".sim"), 4096, random);
            writeBytes(userdata / "track" / n / (n + ".rut"), 20000, random);
            writeBytes(userdata / "track" / n / (n + ".tps"), 1000, random);
        }
    }

    TaskContext context() {
        return TaskContext{*state, RapiDevice, kDataRoot, "", TaskControl(stop, gate)};
    }

    // The navigator with nothing but its empty track folder.
    void empty() {
        fs::remove_all(userdata);
        fs::create_directories(userdata / "track");
    }

    // The data folder's files, relative, with "\" between folders.
    std::vector<std::string> files() {
        std::vector<std::string> out;
        for (const auto& f : fs::recursive_directory_iterator(pcCopy)) {
            if (!f.is_regular_file()) continue;
            std::string name = fs::relative(f.path(), pcCopy).string();
            for (char& c : name)
                if (c == '/') c = '\\';
            out.push_back(name);
        }
        return out;
    }
};

std::string slashed(std::string name) {
    for (char& c : name)
        if (c == '\\') c = '/';
    return name;
}

Navigator& navigator() {
    static Navigator instance;
    return instance;
}

void BM_PlainCopyFromNavigator(benchmark::State& state) {
    Navigator& nav = navigator();
    std::vector<std::string> files = nav.files();
    fs::path out = nav.root / "plain";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(out);
        ::sync();
        state.ResumeTiming();
        for (const std::string& name : files) {
            fs::path local = out / slashed(name);
            fs::create_directories(local.parent_path());
            if (!copyFromDevice(nav.state->rapi, "\\Storage Card\\userdata\\" + name, local))
                state.SkipWithError("copy failed");
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * nav.bytes));
}

void BM_Backup(benchmark::State& state) {
    Navigator& nav = navigator();
    std::string zip = (nav.root / "again.zip").string();
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(zip);
        ::sync();
        state.ResumeTiming();
        BackupOutcome outcome;
        backupNavigator(nav.context(), zip, outcome);
        if (!outcome.finished) state.SkipWithError("backup failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * nav.bytes));
}

void BM_PlainCopyToNavigator(benchmark::State& state) {
    Navigator& nav = navigator();
    std::vector<std::string> files = nav.files();
    for (auto _ : state) {
        state.PauseTiming();
        nav.empty();
        ::sync();
        state.ResumeTiming();
        for (const std::string& name : files) {
            size_t cut = name.rfind('\\');
            if (cut != std::string::npos)
                deviceCreateFolder(nav.state->rapi,
                                   "\\Storage Card\\userdata\\" + name.substr(0, cut));
            if (!copyToDevice(nav.state->rapi, (nav.pcCopy / slashed(name)).string(),
                              "\\Storage Card\\userdata\\" + name))
                state.SkipWithError("copy failed");
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * nav.bytes));
}

void BM_Restore(benchmark::State& state) {
    Navigator& nav = navigator();
    for (auto _ : state) {
        state.PauseTiming();
        nav.empty();
        ::sync();
        state.ResumeTiming();
        BackupOutcome outcome;
        restoreNavigator(nav.context(), nav.backup, {}, outcome);
        if (!outcome.finished) state.SkipWithError("restore failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * nav.bytes));
}

BENCHMARK(BM_PlainCopyFromNavigator)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_Backup)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_PlainCopyToNavigator)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_Restore)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace
