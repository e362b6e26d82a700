#include "app/gtk/offline_scheme.h"

namespace {

constexpr const char* kScheme = "vantu-offline";

void respond(WebKitURISchemeRequest* request, const std::string& contentType,
             const std::string& bytes) {
    GBytes* data = g_bytes_new(bytes.data(), bytes.size());
    GInputStream* stream = g_memory_input_stream_new_from_bytes(data);
    WebKitURISchemeResponse* response =
        webkit_uri_scheme_response_new(stream, static_cast<gint64>(bytes.size()));
    webkit_uri_scheme_response_set_content_type(response, contentType.c_str());
    webkit_uri_scheme_request_finish_with_response(request, response);
    g_object_unref(response);
    g_object_unref(stream);
    g_bytes_unref(data);
}

}  // namespace

OfflineScheme::OfflineScheme(WebKitWebContext* context) {
    webkit_web_context_register_uri_scheme(context, kScheme, onRequest, this, nullptr);
}

void OfflineScheme::setPage(std::string text, std::string_view picture) {
    std::string page = kOfflinePageAddress;
    std::string folder = page.substr(0, page.rfind('/') + 1);
    // GB2312, as the page's own meta element says, read as its superset.
    files_[page] = {"text/html; charset=GBK", std::move(text)};
    files_[folder + "nolink.gif"] = {"image/gif", std::string(picture)};
}

void OfflineScheme::onRequest(WebKitURISchemeRequest* request, gpointer self) {
    auto* scheme = static_cast<OfflineScheme*>(self);
    const char* uri = webkit_uri_scheme_request_get_uri(request);
    std::string address = uri != nullptr ? uri : "";
    auto found = scheme->files_.find(address.substr(0, address.find_first_of("?#")));
    const char* method = webkit_uri_scheme_request_get_http_method(request);
    // No method at all counts as a plain load.
    bool get = method == nullptr || g_strcmp0(method, "GET") == 0;
    if (!get || found == scheme->files_.end()) {
        GError* error = g_error_new_literal(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "not found");
        webkit_uri_scheme_request_finish_error(request, error);
        g_error_free(error);
        return;
    }
    respond(request, found->second.first, found->second.second);
}
