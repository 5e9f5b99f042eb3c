#include "PathJoin.h"

namespace {
constexpr char kSeparator = '/';
}

std::string joinPath(std::string_view first, std::initializer_list<std::string_view> parts) {
    std::string path(first);
    for (std::string_view part : parts) {
        path += kSeparator;
        path += part;
    }
    return path;
}
