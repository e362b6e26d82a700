#include "formats/gpx_encoding.h"

#include "platform/codepage.h"
#include "platform/utf8_text.h"

namespace {

constexpr const char kReplacement[] = "\xEF\xBF\xBD";

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// The encoding named in the XML declaration at the start of `head`; empty when none is named.
std::string declaredEncoding(std::string_view head) {
    if (head.rfind("<?xml", 0) != 0) return {};
    head = head.substr(0, head.find("?>"));
    size_t at = head.find("encoding");
    if (at == std::string_view::npos) return {};
    at = head.find_first_of("\"'", at);
    if (at == std::string_view::npos) return {};
    size_t end = head.find(head[at], at + 1);
    if (end == std::string_view::npos) return {};
    return std::string(head.substr(at + 1, end - at - 1));
}

}  // namespace

SniffedEncoding sniffEncoding(std::string_view head) {
    SniffedEncoding sniffed;
    auto startsWith = [&](std::string_view s) { return head.rfind(s, 0) == 0; };
    using namespace std::string_view_literals;
    if (startsWith("\xFF\xFE"sv) || startsWith("\xFE\xFF"sv) || startsWith("<\0"sv) ||
        startsWith("\0<"sv)) {
        sniffed.unit = 2;
        sniffed.name = "UTF-16";
    } else if (std::string named = declaredEncoding(head); !named.empty()) {
        sniffed.name = named;
    }
    sniffed.repairUtf8 = sniffed.unit == 1 &&
                         (equalsIgnoringCase(sniffed.name, "UTF-8") || startsWith("\xEF\xBB\xBF"));
    return sniffed;
}

bool isGbkName(std::string_view name) {
    for (std::string_view known : {"GBK", "GB2312", "CP936", "MS936", "windows-936", "EUC-CN",
                                   "x-gbk", "x-euc-cn", "csGB2312", "GB_2312-80"})
        if (equalsIgnoringCase(name, known)) return true;
    return false;
}

void GbkDecoder::fill(XML_Encoding& info) {
    for (int b = 0; b < 0x80; ++b)
        info.map[b] = b;
    for (int b = 0x80; b < 0x100; ++b)
        info.map[b] = b >= 0x81 && b <= 0xFE ? -2 : decode(std::string(1, static_cast<char>(b)));
    info.data = this;
    info.convert = &GbkDecoder::convert;
    info.release = nullptr;
}

int XMLCALL GbkDecoder::convert(void* data, const char* s) {
    auto* self = static_cast<GbkDecoder*>(data);
    const size_t index =
        (static_cast<unsigned char>(s[0]) - 0x81) * 256 + static_cast<unsigned char>(s[1]);
    if (self->pairs_.empty()) self->pairs_.assign(126 * 256, -1);
    int& known = self->pairs_[index];
    if (known < 0) known = decode(std::string(s, 2));
    return known;
}

int GbkDecoder::decode(const std::string& bytes) {
    std::u16string wide = platform::gbkToUtf16(bytes);
    bool one = wide.size() == 1 && wide[0] != u'?' && (wide[0] < 0xD800 || wide[0] > 0xDFFF);
    return one ? wide[0] : 0xFFFD;
}

std::string Utf8Repair::pass(std::string_view bytes, bool last) {
    std::string in = carry_;
    in.append(bytes);
    carry_.clear();
    std::string out;
    out.reserve(in.size());
    size_t i = 0;
    while (i < in.size()) {
        size_t run = i;
        while (run < in.size() && static_cast<unsigned char>(in[run]) < 0x80)
            ++run;
        out.append(in, i, run - i);
        if (run == in.size()) break;
        i = run;
        if (!last && cutShort(std::string_view(in).substr(i))) {
            carry_ = in.substr(i);
            break;
        }
        size_t start = i;
        char32_t c = utf8::decode(in, i);
        if (c == 0xFFFD && i == start + 1)
            out += kReplacement;
        else
            out.append(in, start, i - start);
    }
    return out;
}

bool Utf8Repair::cutShort(std::string_view rest) {
    auto c = static_cast<unsigned char>(rest[0]);
    size_t length = c >= 0xC2 && c < 0xE0   ? 2
                    : c >= 0xE0 && c < 0xF0 ? 3
                    : c >= 0xF0 && c < 0xF5 ? 4
                                            : 0;
    if (length <= rest.size()) return false;
    for (size_t k = 1; k < rest.size(); ++k)
        if ((static_cast<unsigned char>(rest[k]) & 0xC0) != 0x80) return false;
    return true;
}
