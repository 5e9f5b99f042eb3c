#pragma once
#include <quillmark/vErr.h>
#include <quillmark/vFile.h>

#include <map>
#include <string>

// The current local time as the store records it: 24 characters such as
// "Wed Jan 02 02:03:55 1980".
std::string currentTimeText();

// A store entry's key=value file (".settings"): one "key=value" line per entry, keys in
// ascending byte order.
class AttributeFile {
  public:
    // Loads path; a file that does not exist yet is created at once with its creation time.
    void Read(const std::string &path);
    // Saves to path, or (null) to the remembered path, or to ".settings" in the working
    // directory when none is known. The old file stays whole until the new one is complete.
    vErr Write(const char *path);
    // Always true; marks the file changed when the value differs.
    bool Set(const std::string &key, const std::string &value);
    // atoi of the value, or fallback when it is empty. A missing key is added with an empty
    // value, so the next save writes "key=".
    int GetInt(const std::string &key, int fallback);
    // The value, or fallback (the empty text for null) for a missing key.
    std::string GetString(const std::string &key, const char *fallback) const;

    const std::string &getPath() const { return path; }
    const std::map<std::string, std::string> &getEntries() const { return entries; }
    bool isChanged() const { return changed; }

  private:
    void readLines(vFileHandle file);
    void applyLine(const std::string &line);

    std::string path;
    std::map<std::string, std::string> entries;
    bool changed = false;
};
