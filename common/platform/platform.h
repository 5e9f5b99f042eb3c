#pragma once
// The library's one window onto the operating system. Every system call of the device library
// goes through the functions declared here; each backend folder (posix/ now, win32/ later)
// implements all of them, so callers never change when a backend is added.
//
// Conventions: functions return vErr (or a plain value where failure cannot happen), take and
// give zero-terminated 8-bit texts, and never throw.

#include <quillmark/vErr.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace platform {

// The path separator of this platform, as a one-character text.
extern const char *const kPathSeparator;

// ---- directories and process ----

// The outcome of creating one directory.
enum class DirectoryCreation { created, existedAlready, failed };

// One entry met while listing a directory. The name is valid only during the visit.
struct DirectoryItem {
    const char *name;
    uint64_t size;
    bool isDirectory; // a symbolic link counts as what it is, never as its target
};

// Returns false to stop the listing.
using DirectoryVisitor = bool (*)(const DirectoryItem &item, void *reference);

// True when the path names an existing directory (following symbolic links).
bool isDirectory(const char *path);
DirectoryCreation createDirectory(const char *path, uint32_t mode);
// Removes an empty directory.
bool removeDirectory(const char *path);
// Removes one non-directory entry: vErrNotFound, vErrPermission or vErrIO on failure.
vErr removeFileEntry(const char *path);
// Visits every entry in the order the system lists them, "." and ".." included. False when the
// directory cannot be opened.
bool listDirectory(const char *path, DirectoryVisitor visitor, void *reference);
// Both fail when the text does not fit into size bytes, terminator included.
bool currentDirectory(char *buffer, size_t size);
bool executableFilePath(char *buffer, size_t size);
// The value of an environment variable, or null when it is not set.
const char *environmentValue(const char *name);

// ---- files ----

// The operating system's handle of an open file.
using FileHandle = int;

// How openFile opens a file. Sharing follows what Linux offers: advisory locks that keep two
// exclusive writers (or an exclusive writer and a shared writer) apart, never readers.
enum class FileOpenMode {
    ReadShared,     // existing file only, read
    WriteExclusive, // created or truncated, written through to the disk
    AppendShared,   // opened or created, read and written through, positioned at the end
};

// On failure errno tells why (the callers' diagnostics print it). A directory is refused with
// EISDIR.
vErr openFile(const char *path, FileOpenMode mode, FileHandle *handle);
// Creates a new, empty file beside path (same directory, a name beginning with "." so that
// listings that skip hidden entries pass over it), opened for writing without write-through.
// The created path goes into created. errno tells why on failure.
vErr createFileBeside(const char *path, char *created, std::size_t size, FileHandle *handle);
vErr closeFile(FileHandle handle);
// Reads until length bytes arrived or the file ended; vErrRead on a system failure.
vErr readFile(FileHandle handle, void *buffer, std::size_t length, std::size_t *count);
// Writes all bytes or fails with vErrWrite; count holds what reached the file either way.
vErr writeFile(FileHandle handle, const void *data, std::size_t length, std::size_t *count);
// Waits until the file's data is on the disk.
vErr flushFileData(FileHandle handle);
vErr fileSize(FileHandle handle, std::uint64_t *size);
vErr filePosition(FileHandle handle, std::uint64_t *position);
vErr setFilePosition(FileHandle handle, std::uint64_t position);
// True when path names an existing entry that is not a directory.
bool isNonDirectory(const char *path);
// Renames from over to in one step and makes the new directory entry durable; to keeps its old
// content when this fails.
vErr replaceFile(const char *from, const char *to);

// ---- clock and sleeping ----

// Milliseconds of a clock that never jumps (not the wall clock).
std::uint64_t monotonicMilliseconds();
// Sleeps the whole time, resuming after signals.
void sleepMilliseconds(std::uint32_t milliseconds);

// ---- terminals ----

// True when the C stream is attached to an interactive terminal.
bool isTerminal(std::FILE *stream);

// ---- TCP sockets and readiness ----

// An open socket or device descriptor; kNoDescriptor when none.
using Descriptor = std::intptr_t;
constexpr Descriptor kNoDescriptor = -1;

// What a socket call met, in the terms the streams decide on.
enum class SocketResult {
    ok,
    wouldBlock,   // nothing can be moved now
    peerClosed,   // the peer ended the connection in order
    refused,      // no one listens at the address
    reset,        // the connection was reset, aborted or broken
    notConnected, // the socket has no connection
    timedOut,     // the connection timed out
    failed,       // any other failure
};

// Connects a new TCP socket to an IPv4 address (network byte order) and port (host order). On
// failure the socket is closed again and *socket is kNoDescriptor.
SocketResult tcpConnect(std::uint32_t ipAddress, std::uint16_t port, Descriptor *socket);
// Sets what a device link wants: no send delay, no receive time-out, linger on with time 0 (a
// close resets), non-blocking mode.
bool tcpConfigureForLink(Descriptor socket);
// Receives what is there now, up to capacity bytes, without waiting.
SocketResult tcpReceive(Descriptor socket, std::uint8_t *buffer, std::size_t capacity,
                        std::size_t *received);
// Sends without waiting and without raising a signal when the peer has gone.
SocketResult tcpSend(Descriptor socket, const std::uint8_t *data, std::size_t length,
                     std::size_t *sent);
void closeDescriptor(Descriptor descriptor);

// Waits at most timeoutMs for the descriptor to become readable (data, an end or an error count
// as readable): vErrNone when it is, vErrTimeout when the time ran out, vErrIO when it cannot be
// watched.
vErr waitReadable(Descriptor descriptor, std::uint32_t timeoutMs);

// ---- serial ports ----

// An open serial port with the line settings it had when opened.
struct SerialPort;

// The line settings a stream asks for. The rate is in bit/s and must be one the port supports.
struct SerialLineSettings {
    std::uint32_t bitsPerSecond;
    bool parityCheck; // check received parity
    bool oddParity;   // odd parity; false: no parity bit
    bool sevenDataBits;
    bool twoStopBits;
};

// Opens the port at path for exclusive reading and writing and saves its line settings. vErrIO
// when the path is no serial port or cannot be opened, vErrMemory when memory is short.
vErr serialOpen(const char *path, SerialPort **port);
// Raw byte mode with the given settings; reads return at once with what is there, writes wait
// until every byte is handed to the port.
vErr serialConfigure(SerialPort *port, const SerialLineSettings &settings);
// Reads at most one byte without waiting; *count is 0 when none is there.
vErr serialRead(SerialPort *port, std::uint8_t *byte, std::size_t *count);
vErr serialWrite(SerialPort *port, const std::uint8_t *data, std::size_t length);
vErr serialWaitReadable(SerialPort *port, std::uint32_t timeoutMs);
// Restores the saved line settings and closes the port (vErrIO when restoring failed); the
// port is closed and freed in every case.
vErr serialClose(SerialPort *port);

// ---- USB bus (real or simulated backend, see usb_bus.h) ----

// The interface is the same over real USB (libusb-1.0) and the simulated bus; the environment
// variable QM_USB_SIM, when set, names the Unix socket of the simulated bus to use instead.

constexpr std::size_t kUsbMaxInterfaces = 8;
constexpr std::size_t kUsbMaxEndpoints = 8;
constexpr std::size_t kUsbSerialCapacity = 128;

enum class UsbEndpointType : std::uint8_t { control = 0, isochronous = 1, bulk = 2, interrupt = 3 };

struct UsbEndpointInfo {
    std::uint8_t address; // bit 7 set for IN endpoints
    UsbEndpointType type;
    std::uint16_t maxPacketSize;
};

// Alternate setting 0 of one interface.
struct UsbInterfaceInfo {
    std::uint8_t number;
    std::uint8_t interfaceClass;
    std::uint8_t interfaceSubclass;
    std::uint8_t interfaceProtocol;
    std::uint8_t endpointCount;
    UsbEndpointInfo endpoints[kUsbMaxEndpoints];
};

struct UsbDeviceInfo {
    std::uint64_t location; // names the device on its bus until it is unplugged
    std::uint16_t vendorId;
    std::uint16_t productId;
    char serialNumber[kUsbSerialCapacity]; // the serial-number string; empty when unreadable
    std::uint8_t interfaceCount;
    UsbInterfaceInfo interfaces[kUsbMaxInterfaces];
};

// Returns false to end the enumeration.
using UsbEnumerateCallback = bool (*)(const UsbDeviceInfo &device, void *reference);

// An opened device with one claimed interface.
struct UsbHandle;

// Hands every present device with this vendor id (0: every device) to the callback.
vErr usbEnumerate(std::uint16_t vendorId, UsbEnumerateCallback callback, void *reference);
// Opens the device and claims the interface: vErrNotFound when the device is gone, vErrBusy when
// the interface is claimed elsewhere, vErrPermission when the device may not be opened.
vErr usbOpen(std::uint64_t location, std::uint8_t interfaceNumber, UsbHandle **handle);
// One bulk IN transfer of at most capacity bytes, waiting at most timeoutMs. vErrTimeout when
// nothing came in time, vErrNotFound when the device is gone, vErrCancel when the transfer was
// cancelled, vErrIO for other failures; a stalled pipe is cleared and reported as vErrTimeout.
vErr usbBulkRead(UsbHandle *handle, std::uint8_t endpoint, std::uint8_t *buffer,
                 std::size_t capacity, std::size_t *received, std::uint32_t timeoutMs);
// One bulk OUT transfer, waiting at most timeoutMs; *sent counts the bytes that went.
vErr usbBulkWrite(UsbHandle *handle, std::uint8_t endpoint, const std::uint8_t *data,
                  std::size_t length, std::size_t *sent, std::uint32_t timeoutMs);
// Clears a halt on the endpoint and resets its data toggle.
vErr usbResetPipe(UsbHandle *handle, std::uint8_t endpoint);
// Releases the interface and closes the device.
void usbClose(UsbHandle *handle);

// ---- network interfaces ----

} // namespace platform
