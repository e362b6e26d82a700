#include "support/navsim_harness.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/files.h"
#include "platform/paths.h"

Navsim::Navsim(const std::string& libraryName) : library_(libraryName) {
    control_ = library_.function<int (*)(const char*, const char*)>("NavsimControl");
    control("reset");
}

Navsim::~Navsim() {
    control("reset");
    control("root", "");
}

int Navsim::control(const std::string& command, const std::string& argument) {
    return control_ ? control_(command.c_str(), argument.c_str()) : -1;
}

void Navsim::setRoot(const std::string& folder) {
    control("root", platform::ansiToUtf8(folder));
}

std::string partialSimulatorName() {
#if defined(_WIN32)
    // By its full path: a bare name is looked for in the system folder only.
    return platform::programFolder() + "navsim_partial.dll";
#else
    return "libnavsim_partial.so";
#endif
}

SimulatedDevice::SimulatedDevice() {
    if (!sim.loaded()) ADD_FAILURE() << "the simulator is missing: " << platform::rapiLibraryName();
    platform::setRemovableDrivesForTesting(std::vector<std::string>{});
    platform::createFolder(root.file("Storage Card"));
    sim.setRoot(root.path());
}

SimulatedDevice::~SimulatedDevice() {
    platform::setRemovableDrivesForTesting(std::vector<std::string>{});
}

void makeFolders(const std::string& base, const std::string& relative) {
    std::string path = base;
    size_t start = 0;
    while (start < relative.size()) {
        size_t slash = relative.find('/', start);
        if (slash == std::string::npos) slash = relative.size();
        path = platform::joinPath(path, relative.substr(start, slash - start));
        platform::createFolder(path);
        start = slash + 1;
    }
}

AttachedNavigator::AttachedNavigator(ConnectionMode how)
    : mode(how), tempVariable_(kTempFolderVariable, environmentText(temp.path()).c_str()) {
    if (mode == RemovableDrive) {
        std::string root = drive.path().substr(0, drive.path().size() - 1);
        platform::setRemovableDrivesForTesting(std::vector<std::string>{root});
    }
}

AttachedNavigator::~AttachedNavigator() = default;

std::string AttachedNavigator::local(const std::string& relative) const {
    std::string out = storage();
    for (char c : relative)
        out += (c == '/') ? platform::kPathSeparator : c;
    return out;
}

std::string AttachedNavigator::dataRoot() const {
    return mode == RapiDevice ? "\\Storage Card\\userdata\\track\\" : local("userdata/track/");
}
