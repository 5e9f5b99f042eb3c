#pragma once
#include <initializer_list>
#include <string>
#include <string_view>

// Joins a path with further parts, putting the platform separator before each further part.
std::string joinPath(std::string_view first, std::initializer_list<std::string_view> parts);
