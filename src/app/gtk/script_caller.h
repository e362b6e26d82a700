#pragma once

#include <webkit2/webkit2.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// Calls a global function of the loaded page by name with text arguments. The call runs in the
// page after this returns: call() answers whether it could be started, and lastError() takes the
// reason of a failure once the page has run it. Callers fire and forget; nothing ever waits.
class ScriptCaller {
  public:
    // Runs once the page has run (or refused) the call: true when the function was called.
    using Done = std::function<void(bool)>;

    ScriptCaller() : lastError_(std::make_shared<std::string>()) {}
    virtual ~ScriptCaller();
    ScriptCaller(const ScriptCaller&) = delete;
    ScriptCaller& operator=(const ScriptCaller&) = delete;

    // The web view that holds the document; anything else is refused.
    bool setDocument(GObject* document);
    // `name` and `args` are ANSI text.
    bool call(const std::string& name, const std::vector<std::string>& args, Done done = {});
    bool call(const std::string& name) { return call(name, {}); }

    std::string lastError() const { return *lastError_; }

  private:
    bool fail(const char* reason);

    WebKitWebView* view_ = nullptr;
    std::shared_ptr<std::string> lastError_;
};
