#pragma once

#include <string>
#include <vector>

#include "bridge/external_methods.h"

// The page's methods behind the external object, recording each call and answering with a
// fixed GBK text ("<name北>"), so that a test sees what reached which method in which form.
class RecordingMethods : public ExternalMethods {
  public:
    int connected = 1;
    int gateChecks = 0;
    std::vector<std::string> calls;

    int checkConnection() override {
        ++gateChecks;
        return connected;
    }
    std::string setUsername(const std::string& t) override { return record("SetUsername", t); }
    std::string connToPDA(const std::string& t) override { return record("connToPDA", t); }
    std::string getPdaAddr() override { return record("GetPdaAddr", ""); }
    std::string poiToPDA(const std::string& t) override { return record("poiToPDA", t); }
    std::string deleteSelectedPoi(const std::string& t) override {
        return record("deleteSelectedPoi", t);
    }
    std::string showRoadbook(const std::string& t) override { return record("showRoadbook", t); }
    std::string importToPDA(std::string t) override { return record("importToPDA", t); }
    std::string deleteSelected(std::string t) override { return record("deleteSelected", t); }
    std::string exportFromPDA(std::string t) override { return record("exportFromPDA", t); }
    void pauseTask(const std::string& t) override { record("PauseTask", t); }
    std::string installPackageFromPC(const std::string& t) override {
        return record("installPackageFromPC", t);
    }
    std::string installGpxFromPC(const std::string& t) override {
        return record("installGpxFromPC", t);
    }
    std::string saveGpxToPC(const std::string& t) override { return record("saveGpxToPC", t); }
    std::string backupToPC(const std::string& t) override { return record("backupToPC", t); }
    std::string restoreFromPC(const std::string& t) override { return record("restoreFromPC", t); }
    std::string backupOutcome() override { return record("backupOutcome", ""); }

  private:
    std::string record(const std::string& name, const std::string& text) {
        calls.push_back(name + "(" + text + ")");
        return "<" + name + "\xB1\xB1>";
    }
};
