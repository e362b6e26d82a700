#pragma once

#include <string>
#include <vector>

#include "bridge/external_methods.h"

// The page's operations behind the external object, recording each call and answering with a
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
    MethodOutcome run(const PageMethod& method, std::string text) override {
        std::string name = method.name;
        calls.push_back(name + "(" + text + ")");
        return {"<" + name + "\xB1\xB1>"};
    }
};
