#pragma once
// The process-wide registry of open links: issues link ids (never re-used), finds the link
// already open for a device so that further users share it, and counts those users.
//
// Every function takes the registry's mutex for its own duration only. An entry found by a
// lookup stays valid for as long as the caller holds it, even when another thread extracts it
// meanwhile; the use count is what keeps the link itself alive.

#include <quillmark/vLinkSpec.h>

#include <cstdint>
#include <memory>

// The link engine's per-link record, owned and freed by the engine.
struct vLinkRecord;
// The sharing broker attached to a link that is shared as a server.
class vServer_ZeroMQ;

// The key of a link made on a caller's own stream: it names no device.
inline constexpr uint32_t kLinkKeyCallerStream = 0xFFFFFFFF;

struct vLinkEntry {
    int32_t id = 0;
    // A second link released together with this one (a broker client's USB link), or 0.
    int32_t pairedId = 0;
    vServer_ZeroMQ *server = nullptr;
    // The serial number (USB, serial), the IPv4 address (TCP/IP, vEther) or
    // kLinkKeyCallerStream.
    uint32_t key = 0;
    // TCP port for TCP/IP and vEther links, else 0.
    uint32_t port = 0;
    // For vEther links, the process-wide client sequence number at creation, else 0.
    uint32_t clientSequence = 0;
    // How the stream is made again on reset; linkTypeInvalid for a caller's stream.
    linkType transport = linkTypeInvalid;
    // Changed only through sChangeUseCount.
    int16_t useCount = 0;
    vLinkRecord *link = nullptr;
};
using vLinkEntryRef = std::shared_ptr<vLinkEntry>;

// Registers a link under the next id, with use count 0; 0 when memory is short. The caller
// writes the id into its link record.
int32_t sCreate2(uint32_t key, uint32_t port, uint32_t clientSequence, linkType transport,
                 vLinkRecord *link);
// The entry with this id, or null.
vLinkEntryRef sLookupEntryByID(int32_t id);
// The newest entry opened for `key`, or null; port and transport are not compared.
vLinkEntryRef sLookupEntryByKey(uint32_t key);
// Takes the entry with this id out of the registry and hands it to the caller; null when absent.
vLinkEntryRef sExtractEntry(int32_t id);
// Adds `delta` to the entry's use count and answers the new count, so that the last user to let
// go is decided under the registry's lock. A null entry is ignored and answers 0.
int16_t sChangeUseCount(const vLinkEntryRef &entry, int16_t delta);
