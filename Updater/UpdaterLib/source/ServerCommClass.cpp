#include "ServerCommClass.h"

#include "Messages.h"

#include <quillmark/vVersion.h>

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string_view>

namespace {

using Lines = std::vector<std::string_view>;

// The three numbers of a version text, each as parsed (before any cut to 8 bits).
using VersionTriple = std::array<int, 3>;

std::string serialText(uint32_t serial) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", serial);
    return text;
}

std::string fingerprintText(const std::array<uint32_t, 4> &words) {
    char text[48];
    std::snprintf(text, sizeof text, "%08X%%20%08X%%20%08X%%20%08X", words[0], words[1], words[2],
                  words[3]);
    return text;
}

std::string requestUrl(const char *baseUrl, const ServerParameters &parameters) {
    std::string url = baseUrl != nullptr ? baseUrl : ServerCommClass::kDefaultBaseUrl;
    if (!parameters.empty()) {
        url += '?';
    }
    for (const auto &[key, value] : parameters) {
        url.append(key).append("=").append(value).append("&");
    }
    return url;
}

// Splits at any of the separator characters, keeping empty pieces.
Lines splitAtAny(std::string_view text, std::string_view separators) {
    Lines pieces;
    size_t start = 0;
    for (size_t end; (end = text.find_first_of(separators, start)) != std::string_view::npos;
         start = end + 1) {
        pieces.push_back(text.substr(start, end - start));
    }
    pieces.push_back(text.substr(start));
    return pieces;
}

// Lines of a reply body; runs of line feeds count as one, so no line is empty.
Lines nonEmptyLines(std::string_view body) {
    Lines lines = splitAtAny(body, "\n");
    std::erase_if(lines, [](std::string_view line) { return line.empty(); });
    return lines;
}

std::string lineOrEmpty(const Lines &lines, size_t index) {
    return index < lines.size() ? std::string(lines[index]) : std::string();
}

bool onlySpaceFrom(std::string_view text, const char *from) {
    return std::all_of(from, text.data() + text.size(),
                       [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; });
}

// The whole text (trailing white space allowed) as an unsigned 32-bit number. Base 16 accepts
// a "0x" prefix; base 0 chooses hexadecimal for "0x", octal for a leading "0", else decimal.
std::optional<uint32_t> parseUnsigned(std::string_view text, int base) {
    bool hexPrefix = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (base == 0) {
        base = hexPrefix ? 16 : (text.size() > 1 && text[0] == '0' ? 8 : 10);
    }
    if (base == 16 && hexPrefix) {
        text.remove_prefix(2);
    }
    uint32_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc() || !onlySpaceFrom(text, end)) {
        return std::nullopt;
    }
    return value;
}

// One version component as a signed integer: leading white space and a sign allowed, trailing
// characters ignored. On failure, error says why.
std::optional<int> versionNumber(std::string_view piece, std::string &error) {
    std::string_view digits = piece;
    while (!digits.empty() && std::isspace(static_cast<unsigned char>(digits.front())) != 0) {
        digits.remove_prefix(1);
    }
    if (digits.size() > 1 && digits[0] == '+' && digits[1] != '-') {
        digits.remove_prefix(1);
    }
    int value = 0;
    auto [end, status] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (status == std::errc()) {
        return value;
    }
    error = "'" + std::string(piece) +
            (status == std::errc::result_out_of_range ? "' is out of range" : "' is not a number");
    return std::nullopt;
}

bool hasThreePieces(const std::string &version) {
    return splitAtAny(version, ".").size() == 3;
}

std::optional<VersionTriple> versionTriple(const std::string &version, std::string &error) {
    Lines pieces = splitAtAny(version, ".");
    if (pieces.size() != 3) {
        error = "'" + version + "' is not three numbers separated by '.'";
        return std::nullopt;
    }
    VersionTriple triple{};
    for (size_t i = 0; i < 3; ++i) {
        std::optional<int> number = versionNumber(pieces[i], error);
        if (!number) {
            return std::nullopt;
        }
        triple[i] = *number;
    }
    return triple;
}

// Only the low 8 bits of each component take part, as in the device's version words.
bool isAtLeast(const VersionTriple &x, const VersionTriple &y) {
    return vVersion_IsAtLeastCompare(static_cast<uint8_t>(x[0]), static_cast<uint8_t>(x[1]),
                                     static_cast<uint8_t>(x[2]), static_cast<uint8_t>(y[0]),
                                     static_cast<uint8_t>(y[1]), static_cast<uint8_t>(y[2]));
}

void throwOnCurlError(CURLcode code) {
    if (code != CURLE_OK) {
        throw std::runtime_error(curl_easy_strerror(code));
    }
}

bool initialiseCurlOnce() {
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return initialised;
}

} // namespace

ServerCommClass::ServerCommClass(ServerLimits limits) : limits_(limits) {
    initialiseCurlOnce();
}

ServerReply ServerCommClass::serverGet(const char *baseUrl,
                                       const ServerParameters &parameters) const {
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) {
        throw std::runtime_error("Could not create curl instance");
    }
    ServerReply reply;
    reply.url = requestUrl(baseUrl, parameters);
    CURL *handle = curl.get();
    throwOnCurlError(curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &ServerCommClass::rcv_data));
    throwOnCurlError(curl_easy_setopt(handle, CURLOPT_WRITEDATA, &reply));
    throwOnCurlError(curl_easy_setopt(handle, CURLOPT_URL, reply.url.c_str()));
    throwOnCurlError(curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L));
    throwOnCurlError(curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 0L));
    throwOnCurlError(curl_easy_setopt(handle, CURLOPT_SSL_VERIFYSTATUS, 0L));
    // A server that accepts and then goes silent must not hang the tool; a slow download that
    // keeps moving is never cut. No signals: requests also run on worker threads.
    throwOnCurlError(curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L));
    throwOnCurlError(
        curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, limits_.connectTimeoutSeconds));
    throwOnCurlError(
        curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, limits_.lowSpeedBytesPerSecond));
    throwOnCurlError(curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, limits_.lowSpeedSeconds));
    debugPrint(DEBUG_ServerComm, "GET(%s)\n", reply.url.c_str());
    throwOnCurlError(curl_easy_perform(handle));
    long status = 0;
    throwOnCurlError(curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status));
    reply.status = static_cast<int32_t>(status);
    return reply;
}

size_t ServerCommClass::rcv_data(char *data, size_t size, size_t count, void *reply) {
    size_t bytes = size * count;
    // The data is not zero-terminated: print at most what arrived.
    debugPrint(DEBUG_ServerComm, "rcv_data called (..., %d, %d, %08X) [%100.*s]\n",
               static_cast<int>(size), static_cast<int>(count),
               static_cast<unsigned>(reinterpret_cast<uintptr_t>(reply)),
               static_cast<int>(std::min<size_t>(bytes, 100)), data);
    try {
        static_cast<ServerReply *>(reply)->body.append(data, bytes);
    } catch (const std::exception &) {
        return 0; // libcurl ends the transfer with a write error
    }
    debugPrint(DEBUG_ServerComm, "rcv_data returns %d\n", static_cast<int>(bytes));
    return bytes;
}

bool ServerCommClass::request(const char *name, const char *baseUrl,
                              const ServerParameters &parameters, ServerReply &reply,
                              std::vector<std::string_view> &lines) const {
    try {
        reply = serverGet(baseUrl, parameters);
    } catch (const std::exception &error) {
        debugPrint(DEBUG_ServerComm, "%s ==> [%s]\n", name, error.what());
        return false;
    }
    if (reply.status != 200) {
        if (std::string_view(name) == "ping") {
            debugPrint(DEBUG_ServerComm, "PING ==> [%d] [%s]\n", reply.status, reply.body.c_str());
        } else {
            debugPrint(DEBUG_ServerComm, "%s ==> [%d] [%s]\n", name, reply.status,
                       reply.body.c_str());
        }
        return false;
    }
    lines = nonEmptyLines(reply.body);
    if (lines.empty() || !lines[0].starts_with("ok")) {
        debugPrint(DEBUG_ServerComm, "ServerCommClass: %s failed [%s]\n", name, reply.url.c_str());
        return false;
    }
    return true;
}

bool ServerCommClass::ping(const char *baseUrl) const {
    ServerReply reply;
    Lines lines;
    return request("ping", baseUrl, {{"op", "hi"}, {"rv", "2"}}, reply, lines);
}

bool ServerCommClass::QueryBuild(uint32_t serial, std::string &build, std::string &fw,
                                 const char *baseUrl) const {
    ServerReply reply;
    Lines lines;
    if (!request("QueryBuild", baseUrl, {{"op", "qu"}, {"sn", serialText(serial)}}, reply, lines)) {
        return false;
    }
    if (lines.size() > 1) {
        build = lines[1];
    }
    if (lines.size() > 2) {
        fw = lines[2].substr(0, lines[2].find('\r'));
    }
    return true;
}

bool ServerCommClass::GetBuildList(uint32_t serial, BuildList &builds, const char *baseUrl) const {
    builds.clear();
    ServerReply reply;
    Lines lines;
    if (!request("GetBuildList", baseUrl, {{"op", "builds"}, {"sn", serialText(serial)}}, reply,
                 lines)) {
        return false;
    }
    for (size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].size() < 3) {
            continue;
        }
        std::string line(lines[i]);
        debugPrint(DEBUG_ServerComm, "%s processing entry: [%s]\n", "GetBuildList", line.c_str());
        Lines pieces = splitAtAny(line, ";\r\n");
        std::string build(pieces[0]);
        std::string version = pieces.size() > 1 ? std::string(pieces[1]) : std::string();
        builds.emplace(build, version);
        debugPrint(DEBUG_ServerComm, "%s [%.10s][%.10s]\n", "GetBuildList", build.c_str(),
                   version.c_str());
    }
    return true;
}

bool ServerCommClass::GetBuild(uint32_t serial, const std::string &fw, const std::string &bld,
                               std::string &birdBase64, const char *baseUrl,
                               bool noCalibration) const {
    birdBase64.clear();
    ServerReply reply;
    Lines lines;
    const ServerParameters parameters = {{"bld", bld},
                                         {"fw", fw},
                                         {"no_cal", noCalibration ? "true" : "false"},
                                         {"op", "bird"},
                                         {"sn", serialText(serial)}};
    if (!request("GetBuild", baseUrl, parameters, reply, lines)) {
        return false;
    }
    if (lines.size() > 1) {
        birdBase64 = lines[1];
    }
    return true;
}

bool ServerCommClass::GetRecoveryInfo(const std::array<uint32_t, 4> &fingerprint, uint32_t &serial,
                                      uint32_t &build, const char *baseUrl) const {
    ServerReply reply;
    Lines lines;
    const ServerParameters parameters = {
        {"brief", "true"}, {"fp", fingerprintText(fingerprint)}, {"op", "fix"}};
    if (!request("GetRecoveryInfo", baseUrl, parameters, reply, lines)) {
        return false;
    }
    std::optional<uint32_t> newSerial = serial;
    std::optional<uint32_t> newBuild = build;
    if (lines.size() > 1) {
        newSerial = parseUnsigned(lines[1], 16);
    }
    if (lines.size() > 2) {
        newBuild = parseUnsigned(lines[2], 0);
    }
    debugPrint(DEBUG_ServerComm, "%s [%.20s][%.20s][%.20s]\n", "GetRecoveryInfo",
               lineOrEmpty(lines, 0).c_str(), lineOrEmpty(lines, 1).c_str(),
               lineOrEmpty(lines, 2).c_str());
    // A garbled number must not pass for a device identity.
    if (!newSerial || !newBuild) {
        debugPrint(DEBUG_ServerComm, "ServerCommClass: %s failed [%s]\n", "GetRecoveryInfo",
                   reply.url.c_str());
        return false;
    }
    serial = *newSerial;
    build = *newBuild;
    return true;
}

bool ServerCommClass::isBuildAvailable(uint32_t serial, uint32_t build, const char *baseUrl) const {
    BuildList builds;
    if (!GetBuildList(serial, builds, baseUrl)) {
        return false;
    }
    for (const auto &[text, version] : builds) {
        std::optional<uint32_t> number = parseUnsigned(text, 10);
        if (!number) {
            // A build text that is not a number names no build, not build 0.
            debugPrint(DEBUG_Updater, "Error: Could not convert %s to int.\n", text.c_str());
            continue;
        }
        if (*number == build) {
            return true;
        }
    }
    return false;
}

bool ServerCommClass::_sortVersion(const BuildListEntry &x, const BuildListEntry &y) {
    if (!hasThreePieces(x.version) && !hasThreePieces(y.version)) {
        return false;
    }
    std::string error;
    std::optional<VersionTriple> xTriple = versionTriple(x.version, error);
    std::optional<VersionTriple> yTriple = xTriple ? versionTriple(y.version, error) : std::nullopt;
    if (!xTriple || !yTriple) {
        debugPrint(DEBUG_ServerComm, "%s: Exception converting version: %s\n", "_sortVersion",
                   error.c_str());
        return false;
    }
    return !isAtLeast(*yTriple, *xTriple);
}

std::vector<BuildListEntry> ServerCommClass::sortBuildList(const BuildList &builds) {
    std::vector<BuildListEntry> entries;
    entries.reserve(builds.size());
    for (const auto &[build, version] : builds) {
        entries.push_back({build, version});
    }
    // _sortVersion orders only versions of three numbers; sorting the others with it would break
    // the strict ordering std::sort needs, so they are set apart first.
    auto orderable = std::stable_partition(entries.begin(), entries.end(), [](const auto &entry) {
        std::string ignored;
        return versionTriple(entry.version, ignored).has_value();
    });
    std::stable_sort(entries.begin(), orderable, &ServerCommClass::_sortVersion);
    return entries;
}
