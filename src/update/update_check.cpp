#include "update/update_check.h"

#include <tinyxml.h>

#include <atomic>
#include <optional>
#include <string_view>
#include <thread>
#include <utility>

#include "build_config.h"
#include "platform/codepage.h"
#include "platform/digest.h"
#include "platform/file_replace.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/question.h"
#include "update/update_fetch.h"

namespace {

constexpr const char* kQuestionText = "   发现新版本，您希望现在更新吗？  ";
constexpr const char* kQuestionTitle = "在线更新";
constexpr std::chrono::milliseconds kRetryPause{100};

bool endsWithIgnoringCase(std::string_view text, std::string_view ending) {
    if (text.size() < ending.size()) return false;
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    std::string_view tail = text.substr(text.size() - ending.size());
    for (size_t i = 0; i < ending.size(); ++i)
        if (lower(tail[i]) != lower(ending[i])) return false;
    return true;
}

// The text of a command's parameter; none when the element is missing or has no text.
std::optional<std::string> parameter(const TiXmlElement& command, const char* name) {
    const TiXmlElement* element = command.FirstChildElement(name);
    const char* text = element ? element->GetText() : nullptr;
    if (!text || !*text) return std::nullopt;
    return std::string(text);
}

}  // namespace

std::string updaterPathFor(const std::string& programFile, ProgramNaming naming) {
    if (naming == ProgramNaming::Posix) return programFile + "_update";
    size_t name = programFile.find_last_of("/\\");
    size_t dot = programFile.rfind('.');
    bool hasExtension = dot != std::string::npos && (name == std::string::npos || dot > name);
    return (hasExtension ? programFile.substr(0, dot) : programFile) + "_update.exe";
}

std::string mainPathForUpdater(const std::string& programFile, ProgramNaming naming) {
    std::string_view ending = naming == ProgramNaming::Posix ? "_update" : "_update.exe";
    if (!endsWithIgnoringCase(programFile, ending)) return {};
    std::string main = programFile.substr(0, programFile.size() - ending.size());
    if (naming == ProgramNaming::Windows) main += ".exe";
    return main;
}

void waitUntilFree(const std::string& path, std::chrono::milliseconds limit) {
    auto giveUp = std::chrono::steady_clock::now() + limit;
    while (platform::fileExists(path)) {
        // A running program cannot be opened for writing (sharing on Windows, ETXTBSY on Linux).
        if (platform::File(path, platform::OpenMode::ReadWriteExisting).isOpen()) return;
        if (std::chrono::steady_clock::now() >= giveUp) return;
        std::this_thread::sleep_for(kRetryPause);
    }
}

void waitAndDelete(const std::string& path, std::chrono::milliseconds limit) {
    waitUntilFree(path, limit);
    platform::deleteFile(path);
}

Updater::Updater(std::string programFile, std::string manifestUrl)
    : programFile_(std::move(programFile)),
      updaterPath_(updaterPathFor(programFile_)),
      manifestUrl_(std::move(manifestUrl)) {}

int Updater::checkForUpdate() {
    // The question box runs the window's event loop, and a navigation completing meanwhile
    // would start a second check that asks again and writes the same copy.
    static std::atomic<bool> checking{false};
    if (checking.exchange(true)) return kGoOn;
    struct Done {
        ~Done() { checking.store(false); }
    } done;
    std::string mainPath = mainPathForUpdater(programFile_);
    if (!mainPath.empty()) return takeUpdaterRole(mainPath);

    // A copy left by the last update.
    waitAndDelete(updaterPath_, waitLimit_);
    platform::createFolder(platform::joinPath(platform::tempFolder(), "updater"));
    std::string text = fetchText(manifestUrl_);
    TiXmlDocument manifest;
    manifest.Parse(text.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
    const TiXmlElement* root = manifest.FirstChildElement("do");
    if (!root) return kGoOn;
    for (const TiXmlElement* block = root->FirstChildElement(); block;
         block = block->NextSiblingElement()) {
        if (runUpdateBlock(*block) == kClose) return kClose;
    }
    return kGoOn;
}

int Updater::takeUpdaterRole(const std::string& mainPath) {
    // The old program still runs until its window has closed.
    waitUntilFree(mainPath, waitLimit_);
    // When the replacement fails the old program stays whole, and it is started all the same,
    // so that the user is never left without one.
    platform::replaceWithCopy(programFile_, mainPath);
    platform::startProgram(mainPath);
    return kClose;
}

int Updater::runUpdateBlock(const TiXmlElement& block) {
    for (const TiXmlElement* command = block.FirstChildElement(); command;
         command = command->NextSiblingElement()) {
        const std::string& name = command->ValueStr();
        if (name == "check") {
            std::optional<std::string> path = parameter(*command, "path");
            std::optional<std::string> md5 = parameter(*command, "md5");
            if (!path || !md5) return kBlockEnded;
            if (platform::md5HexOfFile(programFile_) == *md5) return kUpToDate;
        } else if (name == "download") {
            std::optional<std::string> url = parameter(*command, "url");
            if (!url) return kBlockEnded;
            if (!platform::askYesNo(platform::utf8ToAnsi(kQuestionText),
                                    platform::utf8ToAnsi(kQuestionTitle)))
                return kBlockEnded;
            if (!fetchToFile(*url, updaterPath_)) return kBlockEnded;
            std::optional<std::string> md5 = parameter(*command, "md5");
            if (md5 && platform::md5HexOfFile(updaterPath_) != *md5) return kBlockEnded;
            platform::makeExecutable(updaterPath_);
        } else if (name == "run") {
            platform::startProgram(updaterPath_);
        } else if (name == "exit") {
            return kClose;
        }
    }
    return kGoOn;
}

int checkForUpdate() {
    return Updater(platform::programFile(), build_config::kUpdateManifestUrl).checkForUpdate();
}
