#include "app/gtk/script_caller.h"

#include <memory>
#include <string>

#include "app/external_requests.h"

namespace {

void finished(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<std::function<void()>> done(static_cast<std::function<void()>*>(data));
    // A page function that throws, one the page lacks and a page that has gone are all the same
    // to the caller.
    JSCValue* value =
        webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, nullptr);
    if (value != nullptr) g_object_unref(value);
    if (*done) (*done)();
}

}  // namespace

void callPageFunction(WebKitWebView* view, const PageCall& call, std::function<void()> done) {
    if (view == nullptr || webkit_web_view_get_main_resource(view) == nullptr) {
        if (done) done();
        return;
    }
    std::string script = pageCallScript(call);
    webkit_web_view_evaluate_javascript(view, script.c_str(), static_cast<gssize>(script.size()),
                                        nullptr, nullptr, nullptr, finished,
                                        new std::function<void()>(std::move(done)));
}
