#include "platform/drive_folder.h"

namespace platform {

bool isWalkableName(std::u16string_view name) {
    size_t start = 0;
    for (;;) {
        size_t end = name.find(u'\\', start);
        std::u16string_view part = name.substr(start, end == name.npos ? name.npos : end - start);
        if (part.empty() || part == u"." || part == u".." ||
            part.find_first_of(std::u16string_view(u"/\0", 2)) != part.npos)
            return false;
        if (end == name.npos) return true;
        start = end + 1;
    }
}

}  // namespace platform
