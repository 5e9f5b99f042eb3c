#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// One answer of the update server, as received.
struct ServerReply {
    std::string url;
    int32_t status = 0;
    std::string body;
};

// One row of a build list: the build number as text and its version text.
struct BuildListEntry {
    std::string build;
    std::string version;
};

// Build number text -> version text.
using BuildList = std::map<std::string, std::string>;

// Request parameters; the map keeps them in byte-wise key order, which is the order they take in
// the URL.
using ServerParameters = std::map<std::string, std::string>;

// How long a request may wait for the server. A download that keeps making progress has no
// total limit; one that stalls (under lowSpeedBytesPerSecond for lowSpeedSeconds) is abandoned.
struct ServerLimits {
    long connectTimeoutSeconds = 5;
    long lowSpeedBytesPerSecond = 1;
    long lowSpeedSeconds = 30;
};

// Client of the update server: stateless GET requests over libcurl. Every request answers true
// only for status 200 with a body whose first line begins with "ok", and writes its outputs
// only then. A null base URL means kDefaultBaseUrl.
class ServerCommClass {
  public:
    static constexpr const char *kDefaultBaseUrl = "http://update.veltrona.com/cgi/u";

    explicit ServerCommClass(ServerLimits limits = {});

    bool ping(const char *baseUrl) const;
    // build: the device's current build number; fw: the text GetBuild sends back as "fw".
    bool QueryBuild(uint32_t serial, std::string &build, std::string &fw,
                    const char *baseUrl) const;
    bool GetBuildList(uint32_t serial, BuildList &builds, const char *baseUrl) const;
    // birdBase64: the BIRD file as one base64 line (emptied first).
    bool GetBuild(uint32_t serial, const std::string &fw, const std::string &bld,
                  std::string &birdBase64, const char *baseUrl, bool noCalibration) const;
    bool GetRecoveryInfo(const std::array<uint32_t, 4> &fingerprint, uint32_t &serial,
                         uint32_t &build, const char *baseUrl) const;
    bool isBuildAvailable(uint32_t serial, uint32_t build, const char *baseUrl) const;

    // Throws std::runtime_error on transport failure; any HTTP status is a reply.
    ServerReply serverGet(const char *baseUrl, const ServerParameters &parameters) const;

    // libcurl's body callback: appends the bytes to the ServerReply that reply points to.
    static size_t rcv_data(char *data, size_t size, size_t count, void *reply);

    // Newest version first. Versions that are not three numbers cannot be ordered against the
    // others and follow them, in build-number order.
    static std::vector<BuildListEntry> sortBuildList(const BuildList &builds);
    // True when x's version is newer than y's, comparing the low 8 bits of each component.
    static bool _sortVersion(const BuildListEntry &x, const BuildListEntry &y);

  private:
    // Sends the request and splits an "ok" body into its non-empty lines; false (logged) for a
    // transport failure, a status other than 200 or a body not starting with "ok".
    bool request(const char *name, const char *baseUrl, const ServerParameters &parameters,
                 ServerReply &reply, std::vector<std::string_view> &lines) const;

    ServerLimits limits_;
};
