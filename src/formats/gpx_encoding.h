#pragma once

#include <expat.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The encodings a GPX file is read in: what its first bytes say, GBK for expat (which has none
// of its own), and UTF-8 made well-formed before expat sees it.

// What the start of a file says of its encoding.
struct SniffedEncoding {
    std::string name = "UTF-8";  // as the XML declaration names it, or UTF-16 by the first bytes
    size_t unit = 1;             // bytes of a code unit: 2 in UTF-16
    bool repairUtf8 = false;     // UTF-8, whose ill-formed bytes Utf8Repair replaces
};

// Tells the encoding from `head`, the file's first bytes: enough to hold its byte order mark and
// XML declaration.
SniffedEncoding sniffEncoding(std::string_view head);

// Whether `name` (in any letter case) is one of the names GBK goes by.
bool isGbkName(std::string_view name);

// GBK as expat reads an encoding it does not know: a table for single bytes and, for two-byte
// characters, the system's code-page conversion, remembered per pair. A pair or byte that is no
// GBK character reads as U+FFFD.
class GbkDecoder {
  public:
    void fill(XML_Encoding& info);

  private:
    static int XMLCALL convert(void* data, const char* s);
    static int decode(const std::string& bytes);

    std::vector<int> pairs_;
};

// Replaces each byte that starts no well-formed UTF-8 sequence by U+FFFD, so that such text is
// read and reported rather than refusing the document. A sequence cut at the end of a piece
// waits for the next one.
class Utf8Repair {
  public:
    std::string pass(std::string_view bytes, bool last);

  private:
    // A lead byte whose continuation bytes, so far all well-formed, run past the piece.
    static bool cutShort(std::string_view rest);

    std::string carry_;
};
