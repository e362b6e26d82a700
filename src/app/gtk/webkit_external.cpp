#include "app/gtk/webkit_external.h"

#include <random>
#include <string_view>
#include <vector>

#include "app/gtk/host_resources.h"
#include "bridge/page_method_table.h"
#include "build_config.h"

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
        answer = external->requests_.answer(name, origin != nullptr ? origin : "",
                                            readBody(request), document != nullptr ? document : "");
    }
    respond(request, answer, origin);
}
