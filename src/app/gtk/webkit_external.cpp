#include "app/gtk/webkit_external.h"

#include <chrono>
#include <cstdio>
#include <random>
#include <string_view>
#include <vector>

#include "app/gtk/host_resources.h"
#include "bridge/page_method_table.h"
#include "build_config.h"
#include "platform/log.h"
#include "platform/startup_marks.h"

namespace {

constexpr const char* kScheme = "vantu";

// The URI patterns as a NULL-terminated array for the duration of one call.
struct PatternList {
    explicit PatternList(const std::vector<std::string>& patterns) {
        for (const std::string& p : patterns)
            pointers.push_back(p.c_str());
        pointers.push_back(nullptr);
    }
    const char* const* get() const { return pointers.size() > 1 ? pointers.data() : nullptr; }
    std::vector<const char*> pointers;
};

// The script with the document key and the page's method names filled in.
std::string scriptWithKey(const std::string& key) {
    std::string names;
    for (const PageMethod& method : pageMethods())
        names += std::string(names.empty() ? "" : ", ") + '"' + method.name + '"';
    std::string script(externalScript());
    auto fill = [&script](std::string_view mark, const std::string& text) {
        size_t at = script.find(mark);
        if (at != std::string::npos) script.replace(at, mark.size(), text);
    };
    fill("@KEY@", key);
    fill("@NAMES@", names);
    return script;
}

void addScript(WebKitUserContentManager* manager, const std::string& source,
               const std::vector<std::string>& allow, const std::vector<std::string>& block) {
    PatternList allowList(allow), blockList(block);
    WebKitUserScript* script = webkit_user_script_new(
        source.c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
        WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, allowList.get(), blockList.get());
    webkit_user_content_manager_add_script(manager, script);
    webkit_user_script_unref(script);
}

std::string readBody(WebKitURISchemeRequest* request) {
    std::string body;
    GInputStream* stream = webkit_uri_scheme_request_get_http_body(request);
    if (stream == nullptr) return body;
    char buffer[16384];
    for (;;) {
        gsize got = 0;
        if (!g_input_stream_read_all(stream, buffer, sizeof buffer, &got, nullptr, nullptr) ||
            got == 0)
            break;
        body.append(buffer, got);
        if (got < sizeof buffer) break;
    }
    g_object_unref(stream);
    return body;
}

void respond(WebKitURISchemeRequest* request, const std::string& answer, const char* origin) {
    GBytes* bytes = g_bytes_new(answer.data(), answer.size());
    GInputStream* stream = g_memory_input_stream_new_from_bytes(bytes);
    WebKitURISchemeResponse* response =
        webkit_uri_scheme_response_new(stream, static_cast<gint64>(answer.size()));
    webkit_uri_scheme_response_set_content_type(response, "text/plain; charset=utf-8");
    SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
    // Every document may read the answer; an untrusted one has only ever been given nothing.
    soup_message_headers_append(headers, "Access-Control-Allow-Origin",
                                origin != nullptr ? origin : "*");
    soup_message_headers_append(headers, "Cache-Control", "no-store");
    webkit_uri_scheme_response_set_http_headers(response, headers);
    webkit_uri_scheme_request_finish_with_response(request, response);
    g_object_unref(response);
    g_object_unref(stream);
    g_bytes_unref(bytes);
}

double nowMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// With start-up marks wanted: the page's calls until its first route book list has been drawn,
// and how long the program took to answer them, its own part of the page's start.
struct StartCalls {
    int count = 0;
    double ms = 0;
    bool listed = false;
};

StartCalls& startCalls() {
    static StartCalls calls;
    return calls;
}

// With start-up marks wanted, the first route book list the page is given is marked when it has
// been drawn: two frames after the answer, as the first may have begun before the page drew it.
void markListShown(WebKitWebView* view, const std::string& name, const std::string& answer) {
    static bool asked = false;
    if (asked || view == nullptr || name != "connToPDA" || answer.empty() || answer[0] != 's' ||
        !platform::startupMarksWanted())
        return;
    asked = true;
    webkit_web_view_call_async_javascript_function(
        view,
        "return new Promise(function (drawn) {"
        "    requestAnimationFrame(function () { requestAnimationFrame(drawn); });"
        "});",
        -1, nullptr, "vantu-marks", nullptr, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer) {
            JSCValue* value = webkit_web_view_call_async_javascript_function_finish(
                WEBKIT_WEB_VIEW(source), result, nullptr);
            if (value != nullptr) g_object_unref(value);
            StartCalls& calls = startCalls();
            calls.listed = true;
            char text[96];
            std::snprintf(text, sizeof text, "start-up: %d page calls answered in %.1f ms",
                          calls.count, calls.ms);
            platform::logLine(text);
            platform::startupMark("page listed");
        },
        nullptr);
}

}  // namespace

std::string makeDocumentKey() {
    std::random_device random;
    static const char kDigits[] = "0123456789abcdef";
    std::string key;
    for (int i = 0; i < 4; ++i) {
        uint32_t word = random();
        for (int k = 0; k < 8; ++k, word >>= 4)
            key += kDigits[word & 0xF];
    }
    return key;
}

WebKitExternal::WebKitExternal(WebKitWebContext* context, ExternalObject& external,
                               const PageTrust& trust)
    : requests_(external, trust, makeDocumentKey()),
      contentManager_(webkit_user_content_manager_new()) {
    webkit_web_context_register_uri_scheme(context, kScheme, onRequest, this, nullptr);
    WebKitSecurityManager* security = webkit_web_context_get_security_manager(context);
    // Secure, or an https page's calls would be blocked as mixed content; CORS-enabled, so that
    // pages of every origin can reach it at all.
    webkit_security_manager_register_uri_scheme_as_secure(security, kScheme);
    webkit_security_manager_register_uri_scheme_as_cors_enabled(security, kScheme);

    std::vector<std::string> localPages;
    for (const std::string& folder : trust.localFolders())
        localPages.push_back(folder + "*");
    addScript(contentManager_, scriptWithKey(""), {}, localPages);
    if (!localPages.empty()) {
        addScript(contentManager_, scriptWithKey(requests_.key()), localPages, {});
        // The bundled page's about line names the program's version; other pages never see it.
        addScript(contentManager_,
                  std::string("Object.defineProperty(window, \"vantuVersion\", {value: \"") +
                      build_config::kVersion + "\"});",
                  localPages, {});
    }
}

WebKitExternal::~WebKitExternal() {
    g_object_unref(contentManager_);
}

void WebKitExternal::onRequest(WebKitURISchemeRequest* request, gpointer self) {
    auto* external = static_cast<WebKitExternal*>(self);
    SoupMessageHeaders* headers = webkit_uri_scheme_request_get_http_headers(request);
    const char* origin =
        headers != nullptr ? soup_message_headers_get_one(headers, "Origin") : nullptr;
    std::string answer;
    if (g_strcmp0(webkit_uri_scheme_request_get_http_method(request), "POST") == 0) {
        const char* path = webkit_uri_scheme_request_get_path(request);
        std::string name = path != nullptr && path[0] == '/' ? path + 1 : "";
        // The web process may claim any origin and key; the view's own address it cannot.
        WebKitWebView* view = webkit_uri_scheme_request_get_web_view(request);
        const char* document = view != nullptr ? webkit_web_view_get_uri(view) : nullptr;
        double began = nowMs();
        answer = external->requests_.answer(name, origin != nullptr ? origin : "",
                                            readBody(request), document != nullptr ? document : "");
        if (platform::startupMarksWanted() && !startCalls().listed) {
            ++startCalls().count;
            startCalls().ms += nowMs() - began;
        }
        respond(request, answer, origin);
        markListShown(view, name, answer);
        return;
    }
    respond(request, answer, origin);
}
