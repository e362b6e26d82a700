#include "update/update_check.h"

#include <tinyxml.h>

#include <atomic>
#include <optional>
#include <string_view>
#include <thread>
#include <utility>

#include "build_config.h"
#include "formats/xml_bounds.h"
#include "platform/codepage.h"
#include "platform/digest.h"
#include "platform/file_replace.h"
#include "platform/files.h"
#include "platform/log.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/signature.h"
#include "update/update_fetch.h"

namespace {

// Starts a program of the update; a failure goes to the log, as nobody waits for its answer.
void startLogged(const std::string& path) {
    platform::OsError error;
    if (platform::startProgram(path, &error)) return;
    platform::addContext(error, "update");
    platform::logOsError(error);
}

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

bool isHttps(std::string_view url) {
    return url.size() >= 8 && endsWithIgnoringCase(url.substr(0, 8), "https://");
}

}  // namespace

std::optional<std::string> UpdateCommand::parameter(std::string_view wanted) const {
    for (const auto& [key, text] : parameters)
        if (key == wanted) return text.empty() ? std::nullopt : std::optional<std::string>(text);
    return std::nullopt;
}

std::optional<std::vector<UpdateBlock>> readUpdateManifest(const std::string& text,
                                                           std::string* refusal) {
    // The parser takes the bytes as they are; a UTF-8 byte order mark is no part of the markup.
    const bool bom = text.rfind("\xEF\xBB\xBF", 0) == 0;
    TiXmlDocument manifest;
    std::string why;
    if (!parseBoundedXml(manifest, bom ? text.substr(3) : text, kManifestLimits, why)) {
        if (refusal) *refusal = why;
        return std::nullopt;
    }
    const TiXmlElement* root = manifest.FirstChildElement("do");
    if (!root) return std::nullopt;
    std::vector<UpdateBlock> blocks;
    for (const TiXmlElement* b = root->FirstChildElement(); b; b = b->NextSiblingElement()) {
        UpdateBlock& block = blocks.emplace_back();
        for (const TiXmlElement* c = b->FirstChildElement(); c; c = c->NextSiblingElement()) {
            UpdateCommand& command = block.emplace_back();
            command.name = c->ValueStr();
            for (const TiXmlElement* p = c->FirstChildElement(); p; p = p->NextSiblingElement()) {
                const char* value = p->GetText();
                command.parameters.emplace_back(p->ValueStr(), value ? value : "");
            }
        }
    }
    return blocks;
}

FetchLimits programLimitsFor(const std::string& manifestUrl, FetchLimits limits) {
    // A manifest that came over https does not let the program itself come over plain http.
    if (isHttps(manifestUrl)) limits.httpsOnly = true;
    return limits;
}

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

void waitUntilFree(const std::string& path, std::chrono::milliseconds limit,
                   const std::function<bool()>& stop) {
    auto giveUp = std::chrono::steady_clock::now() + limit;
    while (platform::fileExists(path)) {
        // A running program cannot be opened for writing (sharing on Windows, ETXTBSY on Linux).
        if (platform::File(path, platform::OpenMode::ReadWriteExisting).isOpen()) return;
        if (std::chrono::steady_clock::now() >= giveUp || (stop && stop())) return;
        std::this_thread::sleep_for(kRetryPause);
    }
}

void waitAndDelete(const std::string& path, std::chrono::milliseconds limit,
                   const std::function<bool()>& stop) {
    waitUntilFree(path, limit, stop);
    platform::deleteFile(path);
}

Updater::Updater(std::string programFile, std::string manifestUrl, std::string publicKey,
                 UpdateLimits limits)
    : programFile_(std::move(programFile)),
      updaterPath_(updaterPathFor(programFile_)),
      manifestUrl_(std::move(manifestUrl)),
      publicKey_(platform::readPublicKey(publicKey)),
      limits_(std::move(limits)) {}

bool Updater::isUpdaterCopy() const {
    return !mainPathForUpdater(programFile_).empty();
}

void Updater::setAsk(std::function<bool(const std::string&, const std::string&)> ask) {
    ask_ = std::move(ask);
}

void Updater::setStop(std::function<bool()> stop) {
    stop_ = std::move(stop);
    limits_.manifest.shouldStop = stop_;
    limits_.program.shouldStop = stop_;
}

UpdateResult Updater::checkForUpdate() {
    // The question box runs the window's event loop, and a navigation completing meanwhile
    // would start a second check that asks again and writes the same copy.
    static std::atomic<bool> checking{false};
    if (checking.exchange(true)) return UpdateResult::GoOn;
    struct Done {
        ~Done() { checking.store(false); }
    } done;
    std::string mainPath = mainPathForUpdater(programFile_);
    // A copy hands over even when its own build has no update address.
    if (!mainPath.empty()) return takeUpdaterRole(mainPath);

    // A copy left by the last update, which may have come from a build with an address.
    waitAndDelete(updaterPath_, waitLimit_, stop_);
    copyReady_ = false;
    if (manifestUrl_.empty()) return UpdateResult::GoOn;
    if (std::string own = platform::privateFolder(); !own.empty())
        platform::createFolder(platform::joinPath(own, "updater"));
    std::string refusal;
    std::optional<std::vector<UpdateBlock>> blocks =
        readUpdateManifest(fetchText(manifestUrl_, limits_.manifest), &refusal);
    if (!refusal.empty()) platform::logLine("update: the manifest was refused: " + refusal);
    if (!blocks) return UpdateResult::GoOn;
    for (const UpdateBlock& block : *blocks)
        if (runUpdateBlock(block) == UpdateResult::Close) return UpdateResult::Close;
    return UpdateResult::GoOn;
}

UpdateResult Updater::takeUpdaterRole(const std::string& mainPath) {
    // The old program still runs until its window has closed.
    waitUntilFree(mainPath, waitLimit_, stop_);
    // When the replacement fails the old program stays whole, and it is started all the same,
    // so that the user is never left without one.
    platform::OsError error;
    if (!platform::replaceWithCopy(programFile_, mainPath, &error)) {
        platform::addContext(error, "update of " + mainPath);
        platform::logOsError(error);
    }
    startLogged(mainPath);
    return UpdateResult::Close;
}

UpdateResult Updater::runUpdateBlock(const UpdateBlock& block) {
    for (const UpdateCommand& command : block) {
        const std::string& name = command.name;
        if (name == "check") {
            std::optional<std::string> path = command.parameter("path");
            std::optional<std::string> md5 = command.parameter("md5");
            if (!path || !md5) return UpdateResult::BlockEnded;
            if (platform::md5HexOfFile(programFile_) == *md5) return UpdateResult::UpToDate;
        } else if (name == "download") {
            if (!download(command)) return UpdateResult::BlockEnded;
        } else if (name == "run") {
            if (copyReady_) startLogged(updaterPath_);
        } else if (name == "exit") {
            return UpdateResult::Close;
        }
    }
    return UpdateResult::GoOn;
}

bool Updater::download(const UpdateCommand& command) {
    std::optional<std::string> url = command.parameter("url");
    if (!url) return false;
    // Whatever this block fetches, a copy from an earlier one is no longer the one to start.
    copyReady_ = false;
    std::optional<std::string> signature = command.parameter("signature");
    if (!signature || !publicKey_) {
        // Nothing could make such a copy one to run: the user is not asked, nothing fetched.
        platform::logLine("update: the new program from " + *url + " is not offered: " +
                          (signature ? "this build has no update key" : "it has no signature"));
        return false;
    }
    if (!canReplaceProgram()) return false;
    if (!ask_ || !ask_(platform::utf8ToAnsi(kQuestionText), platform::utf8ToAnsi(kQuestionTitle)))
        return false;
    // fetchToFile leaves nothing behind when the transfer fails.
    if (!fetchToFile(*url, updaterPath_, programLimitsFor(manifestUrl_, limits_.program)))
        return false;
    if (std::string refusal = refusalOfCopy(command, *signature); !refusal.empty()) {
        platform::deleteFile(updaterPath_);
        platform::logLine("update: the new program from " + *url + " was deleted: " + refusal);
        return false;
    }
    if (!platform::makeExecutable(updaterPath_)) return false;
    copyReady_ = true;
    return true;
}

std::string Updater::refusalOfCopy(const UpdateCommand& command,
                                   const std::string& signature) const {
    std::optional<std::string> md5 = command.parameter("md5");
    if (md5 && platform::md5HexOfFile(updaterPath_) != *md5) return "its MD5 differs";
    switch (platform::checkFileSignature(updaterPath_, *publicKey_, signature)) {
        case platform::SignatureCheck::Valid:
            return {};
        case platform::SignatureCheck::Malformed:
            return "its signature is not 64 bytes in base64";
        case platform::SignatureCheck::Mismatch:
            return "its signature is not one by the update key";
        case platform::SignatureCheck::Unreadable:
            return "it cannot be read";
        case platform::SignatureCheck::Failed:
            break;
    }
    return "its signature could not be checked";
}

bool Updater::canReplaceProgram() {
    size_t separator = platform::lastSeparator(programFile_);
    std::string folder =
        separator == std::string::npos ? std::string() : programFile_.substr(0, separator + 1);
    if (platform::isWritableFolder(folder)) return true;
    // Asking would only lead to a copy that cannot be put in place.
    if (!reportedReadOnly_) {
        reportedReadOnly_ = true;
        platform::logLine("update: a new version is not offered: the program's folder " + folder +
                          " cannot be written (install the program for this user, or copy it "
                          "to a folder this user can write)");
    }
    return false;
}

std::string updateManifestUrl() {
    return build_config::kUpdateManifestUrl;
}

std::string updatePublicKey() {
    return build_config::kUpdatePublicKey;
}

BackgroundUpdate::BackgroundUpdate(std::string programFile, std::string manifestUrl,
                                   std::string publicKey, Seat& seat, UpdateLimits limits)
    : updater_(std::move(programFile), std::move(manifestUrl), std::move(publicKey),
               std::move(limits)),
      seat_(seat) {
    updater_.setAsk([this](const std::string&, const std::string&) { return askFromCheck(); });
    updater_.setStop([this] {
        std::lock_guard<std::mutex> lock(mutex_);
        return ending_;
    });
}

BackgroundUpdate::~BackgroundUpdate() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ending_ = true;
    }
    answered_.notify_all();
    if (thread_.joinable()) thread_.join();
}

bool BackgroundUpdate::start() {
    if (running_.exchange(true)) return false;
    // The last check has ended (it cleared running_ as its last step).
    if (thread_.joinable()) thread_.join();
    thread_ = std::thread([this] {
        UpdateResult result = updater_.checkForUpdate();
        running_.store(false);
        seat_.post(TaskEvent::of(result == UpdateResult::Close ? TaskEvent::Kind::UpdateClose
                                                               : TaskEvent::Kind::UpdateDone));
    });
    return true;
}

bool BackgroundUpdate::askFromCheck() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (ending_) return false;
        question_ = Question::Asked;
    }
    // Posted outside the lock: a seat may hand the event on at once.
    seat_.post(TaskEvent::of(TaskEvent::Kind::UpdateQuestion));
    std::unique_lock<std::mutex> lock(mutex_);
    answered_.wait(lock, [this] { return ending_ || question_ != Question::Asked; });
    bool yes = !ending_ && question_ == Question::Yes;
    question_ = Question::None;
    return yes;
}

bool BackgroundUpdate::handleEvent(const TaskEvent& event, bool& closeNow) {
    closeNow = event.kind == TaskEvent::Kind::UpdateClose;
    if (closeNow || event.kind == TaskEvent::Kind::UpdateDone) return true;
    if (event.kind != TaskEvent::Kind::UpdateQuestion) return false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (question_ != Question::Asked) return true;
    }
    // The box runs the window's own loop; the check waits meanwhile.
    bool yes = seat_.ask(platform::utf8ToAnsi(kQuestionText), platform::utf8ToAnsi(kQuestionTitle));
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (question_ == Question::Asked) question_ = yes ? Question::Yes : Question::No;
    }
    answered_.notify_all();
    return true;
}
