#include "AttributeFile.h"

#include "Messages.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>

namespace {

constexpr const char *kDefaultName = ".settings";
constexpr size_t kLineBufferSize = 2048;
constexpr size_t kShortestLine = 3; // counting the line end
constexpr const char *kWhiteSpace = " \t\r\n\v\f";

std::string trimmed(const std::string &text) {
    size_t first = text.find_first_not_of(kWhiteSpace);
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kWhiteSpace) - first + 1);
}

} // namespace

std::string currentTimeText() {
    std::time_t now = std::time(nullptr);
    char text[64];
    size_t length = std::strftime(text, sizeof text, "%a %b %d %H:%M:%S %Y", std::localtime(&now));
    return std::string(text, length);
}

void AttributeFile::Read(const std::string &where) {
    vFileHandle file = vFile_Open(where.c_str(), vFileModeRead);
    if (file == nullptr) {
        debugPrint(DEBUG_Attributes, "Attibutes: Error - cannot open attributes file: '%s' (%d)\n",
                   where.c_str(), errno);
        // A file that exists but cannot be read still holds a history: never write over it.
        if (!vFile_Exists(where.c_str())) {
            Set("CREATED_TIME", currentTimeText());
            Write(where.c_str());
        }
    }
    path = where;
    changed = false;
    if (file != nullptr) {
        readLines(file);
        vFile_Close(&file);
    }
}

void AttributeFile::readLines(vFileHandle file) {
    char buffer[kLineBufferSize];
    size_t length = 0;
    while (vFile_ReadLine(file, buffer, sizeof buffer, &length) == vErrNone) {
        applyLine(std::string(buffer, length));
    }
}

void AttributeFile::applyLine(const std::string &line) {
    if (line.size() < kShortestLine || line[0] == '#') {
        return;
    }
    size_t equals = line.find('=');
    if (equals == std::string::npos) {
        return;
    }
    std::string key = trimmed(line.substr(0, equals));
    if (key.empty()) {
        return;
    }
    entries[key] = trimmed(line.substr(equals + 1));
}

vErr AttributeFile::Write(const char *where) {
    if (where != nullptr) {
        path = where;
    } else if (path.empty()) {
        path = kDefaultName;
        debugPrint(DEBUG_Attributes,
                   "Attibutes: no filename given for attributes, using default:[%s]\n",
                   path.c_str());
    }
    if (changed) {
        Set("UPDATED_TIME", currentTimeText());
    }
    vFileHandle file = vFile_OpenReplacement(path.c_str());
    if (file == nullptr) {
        debugPrint(DEBUG_Attributes,
                   "Attibutes: Error - cannot open attributes file for writting: '%s' (%d)\n",
                   path.c_str(), errno);
        return vErrNotFound;
    }
    for (const auto &[key, value] : entries) {
        if (vErr result = vFile_Printf(file, "%s=%s\n", key.c_str(), value.c_str());
            result != vErrNone) {
            vFile_Close(&file);
            return result;
        }
    }
    vErr result = vFile_CommitReplacement(&file);
    if (result == vErrNone) {
        changed = false;
    }
    return result;
}

bool AttributeFile::Set(const std::string &key, const std::string &value) {
    std::string &stored = entries[key];
    if (stored != value) {
        stored = value;
        changed = true;
    }
    return true;
}

int AttributeFile::GetInt(const std::string &key, int fallback) {
    const std::string &value = entries[key];
    return value.empty() ? fallback : std::atoi(value.c_str());
}

std::string AttributeFile::GetString(const std::string &key, const char *fallback) const {
    auto found = entries.find(key);
    if (found != entries.end()) {
        return found->second;
    }
    return fallback == nullptr ? std::string() : std::string(fallback);
}
