#include "tasks/position_list.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

std::vector<long long> parsePositionList(const std::string& text) {
    std::vector<long long> positions;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) {
            std::string piece = text.substr(start, end - start);
            errno = 0;
            long long value = std::strtoll(piece.c_str(), nullptr, 10);
            if (errno == ERANGE || value > INT_MAX || value < INT_MIN) value = -1;
            positions.push_back(value);
        }
        start = end + 1;
    }
    return positions;
}
