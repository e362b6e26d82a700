#include "app/gtk/script_caller.h"

#include "app/external_requests.h"

namespace {

constexpr const char* kErrorPrefix = "JSCall Error:\n";
// The platform's text for a name the script object does not know.
constexpr const char* kUnknownName = "Unknown name.";
constexpr const char* kNoErrorText = "FormatMessage Netive Error";

struct PendingCall {
    std::shared_ptr<std::string> lastError;
    ScriptCaller::Done done;
};

void finished(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<PendingCall> pending(static_cast<PendingCall*>(data));
    GError* error = nullptr;
    JSCValue* value =
        webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
    bool called = false;
    if (value == nullptr) {
        // A page function that throws, or a page that has gone.
        bool text = error != nullptr && error->message != nullptr && *error->message != '\0';
        *pending->lastError = std::string(kErrorPrefix) + (text ? error->message : kNoErrorText);
    } else if (!jsc_value_to_boolean(value)) {
        *pending->lastError = std::string(kErrorPrefix) + kUnknownName;
    } else {
        called = true;
    }
    if (value != nullptr) g_object_unref(value);
    if (error != nullptr) g_error_free(error);
    if (pending->done) pending->done(called);
}

}  // namespace

ScriptCaller::~ScriptCaller() {
    if (view_ != nullptr) g_object_unref(view_);
}

bool ScriptCaller::fail(const char* reason) {
    *lastError_ = std::string(kErrorPrefix) + reason;
    return false;
}

bool ScriptCaller::setDocument(GObject* document) {
    if (document == nullptr) return fail("NULL pointer");
    if (view_ != nullptr) {
        g_object_unref(view_);
        view_ = nullptr;
    }
    if (!WEBKIT_IS_WEB_VIEW(document)) return fail("Failed to get HTML document COM object");
    view_ = WEBKIT_WEB_VIEW(g_object_ref(document));
    return true;
}

bool ScriptCaller::call(const std::string& name, const std::vector<std::string>& args, Done done) {
    if (view_ == nullptr) return fail("NULL pointer");
    if (webkit_web_view_get_main_resource(view_) == nullptr) return fail("Cannot GetScript");
    std::string script = pageCallScript({name, args});
    auto* pending = new PendingCall{lastError_, std::move(done)};
    webkit_web_view_evaluate_javascript(view_, script.c_str(), static_cast<gssize>(script.size()),
                                        nullptr, nullptr, nullptr, finished, pending);
    return true;
}
