#!/usr/bin/env python3
"""A simulated family device: the device's side of the framed packet protocol.

Frames, both ways: [address, data size (0..28), data bytes]. In frames the host writes, the
address byte is the destination module, or one of the link-control codes 0xAD (sync, no data)
and 0xAF (force route, one data byte); in frames the device writes it is the device's own module
address. Multi-byte values are big-endian.

What the device does (SimDevice, independent of the transport):
  - answers every sync frame [0xAD, 0] with the zero-length frame [address, 0];
  - takes force-route frames [0xAF, 1, v] silently (they are recorded);
  - once it has heard a frame from the host, sends a heartbeat [address, 2, 0, 0] ("up") every
    heartbeat period and checks the host's answer [address, 2, 0, 2] (3 for "down"): each
    heartbeat is recorded as answered correctly and in time, late, wrong, or missed;
  - answers UEI requests to its entities: a get (option | 0x40) with [command, option, index,
    value], a set (option | 0x80) with [command, option | 0xC0, index, new value], byte
    sequences in packets of 24 value bytes and a sequence byte (bit 7: more follow); an unknown
    entity, unknown option or read-only option gets an error reply [command, option byte of the
    reply, index | 0x80, code];
  - answers the module information queries (command 73: build number, UEI presence, class
    quantity, subclass quantity, entity group) and the echo command 23;
  - records every frame it receives, in order, with its kind.
The system entity (command 3, index 0) holds: module 1, router 2, heartbeat interval 3, LED 4,
version 7, model 8, serial number 9, save 10, reset 11, name 32 (bytes), build 43. Tests can add
entities with SimDevice.define().

Misbehaviour on demand: garbage(count) sends bytes that break framing (the first is odd, so it
can never be a module address); bad_length() sends a frame whose length byte is above 28; drop()
closes the transport's connection (TCP: the server keeps listening for a reconnect; pty: the
terminal is hung up for good; USB: the device is unplugged from the bus); silent() stops every
answer and heartbeat (frames are still recorded); resume() undoes silent() and, on USB, plugs
the device in again.

Transports: TcpTransport (a server on 127.0.0.1, port chosen by the system), PtyTransport (a
pseudo-terminal in raw mode; the host opens slave_path), UsbTransport (a virtual device on the
simulated USB bus of usb_bus_sim.py; the product id carries the model number in its low byte).

Python use:
    device = SimDevice(address=6, serial=0x40F5849A, heartbeat_ms=200)
    with TcpTransport(device) as tcp:
        ... connect to ("127.0.0.1", tcp.port) ...
        device.wait_until(lambda: device.heartbeats_ok() >= 1, 2.0)
        device.garbage(5)

Command line:
    sim_device.py --tcp | --pty | --usb-socket PATH  [--serial 40F5849A] [--address 6]
                  [--model 4] [--version 1.2.3] [--build 1234] [--heartbeat-ms 0]
                  [--heartbeat-deadline-ms 500] [--endpoint-file PATH]
prints one line "ready tcp 127.0.0.1 PORT", "ready pty /dev/pts/N" or "ready usb PATH SERIAL"
(also written to --endpoint-file when given), then reads one command per line on standard
input and answers one line each ("ok", a result line, or "error TEXT"):
    garbage [N]        send N (default 7) framing-breaking bytes
    badlength [N]      send a frame whose length byte is N (default 29)
    drop [reset]       drop the connection (with "reset": a TCP reset instead of a close)
    silent | resume    stop / restart answers and heartbeats
    heartbeat [down]   send one heartbeat now
    send HEX           send raw bytes as given
    stats              "stats frames=N syncs=N forceroutes=N requests=N hb_sent=N hb_ok=N
                        hb_late=N hb_wrong=N hb_missed=N hb_pending=N errors=N connections=N"
    frames             "frames HEX HEX ..." every frame received so far, oldest first
    clear              forget the frames and heartbeats recorded so far
    quit               answers "bye" and ends (so does the end of standard input)
"""

import argparse
import collections
import os
import random
import select
import socket
import struct
import sys
import threading
import time
import tty

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import usb_bus_sim  # noqa: E402

SYNC = 0xAD
FORCE_ROUTE = 0xAF
MAX_DATA = 28
SEQUENCE_CHUNK = 24

CMD_HB = 0
CMD_SYSTEM = 3
CMD_DEBUG = 23
CMD_INFO = 73
NON_UEI_COMMANDS = frozenset({0, 1, 2, 4, 8, 9, 23, 24, 73, 94, 95, 173, 175})

GET_FLAG = 0x40
SET_FLAG = 0x80
SET_REPLY_FLAGS = 0xC0
STREAM_FLAG = 0x40
ERROR_FLAG = 0x80

HB_UP, HB_DOWN = 0, 1

ERR_NONE = 0
ERR_PERMISSION = 12
ERR_SIZE = 14
ERR_PACKET = 24
ERR_MODE = 7
ERR_INVALID_ENTITY = 28
ERR_INVALID_OPTION = 29

VOID, BYTE, SHORT, INT, BYTES = "void", "byte", "short", "int", "bytes"
VALUE_SIZES = {VOID: 0, BYTE: 1, SHORT: 2, INT: 4}

STREAM_U8, STREAM_U16, STREAM_U32 = 1, 2, 3
STREAM_SUBINDEX_U8, STREAM_SUBINDEX_U16, STREAM_SUBINDEX_U32 = 5, 6, 7
STREAM_VALUE_SIZES = {1: 1, 2: 2, 3: 4, 5: 1, 6: 2, 7: 4}

Frame = collections.namedtuple("Frame", "kind address data time")
Frame.__doc__ = """One frame received from the host.

kind: "sync", "forceroute", "heartbeat" (an answer to a heartbeat), "request" (a UEI to this
device), "command" (a non-UEI command to this device), "foreign" (to another module address) or
"control" (another odd address byte)."""


def frame_bytes(address, data):
    data = bytes(data)
    return bytes([address, len(data)]) + data


def version_word(major, minor, patch):
    """The current layout of a version word: mark 0x2F, then major, minor and patch."""
    return 0x2F << 24 | major << 16 | minor << 8 | patch


def encode_value(kind, value):
    size = VALUE_SIZES[kind]
    return value.to_bytes(size, "big") if size else b""


def sequence_packets(command, option, index, payload):
    """The data of each packet of a byte sequence: value bytes then the sequence byte."""
    chunks = [payload[i:i + SEQUENCE_CHUNK] for i in range(0, len(payload), SEQUENCE_CHUNK)]
    chunks = chunks or [b""]
    packets = []
    for number, chunk in enumerate(chunks):
        more = 0x80 if number + 1 < len(chunks) else 0
        packets.append(bytes([command, option, index]) + chunk + bytes([more | number]))
    return packets


def stream_sample(command, option, index, value, kind=STREAM_U32, timestamp=0, subindex=0):
    """The data of one stream sample packet of the given kind."""
    head = bytes([command, option & 0x3F, (index & 0x1F) | STREAM_FLAG, kind])
    if kind in (STREAM_SUBINDEX_U8, STREAM_SUBINDEX_U16, STREAM_SUBINDEX_U32):
        head += bytes([subindex])
    value_bytes = value.to_bytes(STREAM_VALUE_SIZES[kind], "big")
    return head + timestamp.to_bytes(8, "big") + value_bytes + b"\x00"


class Option:
    """One option of an entity: its value type, current value and whether a set may change it."""

    def __init__(self, kind, value=0, writable=False):
        self.kind = kind
        self.value = value
        self.writable = writable


class Heartbeat:
    """One heartbeat the device sent and what the host answered."""

    def __init__(self, value, sent, deadline_s):
        self.value = value
        self.sent = sent
        self.deadline = sent + deadline_s
        self.answer = None
        self.answered = None

    @property
    def expected(self):
        return self.value + 2

    def state(self, now):
        if self.answer is None:
            return "missed" if now > self.deadline else "pending"
        if self.answer != self.expected:
            return "wrong"
        return "ok" if self.answered <= self.deadline else "late"


class SimDevice:
    """The device logic. A transport attaches a writer and feeds the bytes the host wrote."""

    def __init__(self, address=6, serial=0x40F5849A, model=4, version=version_word(1, 2, 3),
                 build=1234, heartbeat_ms=0, heartbeat_deadline_ms=500, name=b"Simulated device"):
        if address == 0 or address % 2 or address > 254:
            raise ValueError("a module address is even, 2 to 254")
        self.address = address
        self.serial = serial
        self.model = model
        self.build = build
        self.heartbeat_s = heartbeat_ms / 1000.0
        self.heartbeat_deadline_s = heartbeat_deadline_ms / 1000.0
        self.transport = None
        self._lock = threading.Lock()
        self._changed = threading.Condition()
        self._write_lock = threading.Lock()
        self._writer = None
        self._assembly = bytearray()
        self._heard_host = False
        self._silent = False
        self._frames = []
        self._heartbeats = []
        self._pending_sets = {}
        self.errors = 0
        self.connections = 0
        self._entities = {}
        self._define_system_entity(version, name)
        self._stop = threading.Event()
        self._heartbeat_thread = None
        self._random = random.Random(0x5EED)

    # ---- entities ----

    def define(self, command, index, option, kind, value=0, writable=False):
        """Adds or replaces one option of an entity (command byte, index 0..31, option 0..63)."""
        with self._lock:
            self._entities.setdefault((command, index), {})[option] = Option(kind, value,
                                                                             writable)

    def value(self, command, index, option):
        with self._lock:
            return self._entities[(command, index)][option].value

    def _define_system_entity(self, version, name):
        table = {1: (BYTE, self.address, False), 2: (BYTE, 0, True), 3: (BYTE, 10, True),
                 4: (BYTE, 0, True), 7: (INT, version, False), 8: (BYTE, self.model, False),
                 9: (INT, self.serial, False), 10: (VOID, 0, True), 11: (VOID, 0, True),
                 32: (BYTES, bytes(name), True), 43: (INT, self.build, False)}
        self._entities[(CMD_SYSTEM, 0)] = {option: Option(*settings)
                                           for option, settings in table.items()}

    # ---- life cycle, used by the transports ----

    def start(self):
        if self.heartbeat_s > 0 and self._heartbeat_thread is None:
            self._heartbeat_thread = threading.Thread(target=self._heartbeat_loop, daemon=True)
            self._heartbeat_thread.start()

    def stop(self):
        self._stop.set()
        if self._heartbeat_thread is not None:
            self._heartbeat_thread.join()
            self._heartbeat_thread = None

    def attach(self, writer):
        """A host connected; writer(bytes) sends to it. Framing starts afresh."""
        with self._write_lock, self._lock:
            self._writer = writer
            self._assembly = bytearray()
            self._heard_host = False
            self._pending_sets.clear()
            self.connections += 1
        self._notify()

    def detach(self):
        with self._write_lock, self._lock:
            self._writer = None
            self._heard_host = False
        self._notify()

    @property
    def attached(self):
        return self._writer is not None

    def feed(self, data):
        """Takes bytes the host wrote; answers each complete frame."""
        replies = []
        with self._lock:
            for byte in data:
                frame = self._assemble(byte)
                if frame is not None:
                    replies.extend(self._handle(frame))
        self._notify()
        for reply in replies:
            self.send_frame(reply)

    # ---- misbehaviour and unsolicited traffic ----

    def send_raw(self, data):
        """Writes bytes as given; False when no host is attached."""
        with self._write_lock:
            writer = self._writer
            if writer is None:
                return False
            try:
                writer(bytes(data))
            except OSError:
                return False
            return True

    def send_frame(self, data, address=None):
        """Sends one frame from this device (or from address) with the given data bytes."""
        return self.send_raw(frame_bytes(self.address if address is None else address, data))

    def send_heartbeat(self, value=HB_UP):
        with self._lock:
            self._heartbeats.append(Heartbeat(value, time.monotonic(),
                                              self.heartbeat_deadline_s))
        return self.send_frame([CMD_HB, value])

    def garbage(self, count=7):
        """Sends bytes that cannot start a frame; the first is odd and nonzero."""
        junk = bytes([0x07]) + bytes(self._random.randrange(256) for _ in range(count - 1))
        return self.send_raw(junk[:count])

    def bad_length(self, length=MAX_DATA + 1):
        """Sends a frame whose length byte is wrong, followed by a few data bytes."""
        return self.send_raw(bytes([self.address, length, CMD_SYSTEM, 9, 0]))

    def silent(self):
        with self._lock:
            self._silent = True

    def resume(self):
        with self._lock:
            self._silent = False
        if self.transport is not None:
            self.transport.restore()

    def drop(self, reset=False):
        if self.transport is not None:
            self.transport.drop(reset)

    # ---- observation ----

    def frames(self, kind=None):
        with self._lock:
            return [f for f in self._frames if kind is None or f.kind == kind]

    def heartbeats(self):
        """(value, state) of each heartbeat sent; state is ok, late, wrong, missed or pending."""
        now = time.monotonic()
        with self._lock:
            return [(h.value, h.state(now)) for h in self._heartbeats]

    def heartbeats_ok(self):
        return sum(1 for _, state in self.heartbeats() if state == "ok")

    def clear(self):
        with self._lock:
            self._frames.clear()
            self._heartbeats.clear()
            self.errors = 0

    def wait_until(self, predicate, timeout):
        """Waits until predicate() is true, re-tested after every frame; returns its value."""
        deadline = time.monotonic() + timeout
        with self._changed:
            while True:
                result = predicate()
                left = deadline - time.monotonic()
                if result or left <= 0:
                    return result
                self._changed.wait(min(left, 0.05))

    def _notify(self):
        with self._changed:
            self._changed.notify_all()

    def stats(self):
        counts = collections.Counter(state for _, state in self.heartbeats())
        frames = self.frames()
        kinds = collections.Counter(f.kind for f in frames)
        with self._lock:
            return {"frames": len(frames), "syncs": kinds["sync"],
                    "forceroutes": kinds["forceroute"], "requests": kinds["request"],
                    "hb_sent": sum(counts.values()), "hb_ok": counts["ok"],
                    "hb_late": counts["late"], "hb_wrong": counts["wrong"],
                    "hb_missed": counts["missed"], "hb_pending": counts["pending"],
                    "errors": self.errors, "connections": self.connections}

    # ---- receiving, under the lock ----

    def _assemble(self, byte):
        assembly = self._assembly
        if not assembly:
            if byte == 0:
                self.errors += 1
            else:
                assembly.append(byte)
            return None
        if len(assembly) == 1 and byte > MAX_DATA:
            self.errors += 1
            self._assembly = bytearray()
            return None
        assembly.append(byte)
        if len(assembly) < assembly[1] + 2:
            return None
        self._assembly = bytearray()
        self._heard_host = True
        return bytes(assembly)

    def _handle(self, raw):
        address, data = raw[0], raw[2:]
        kind = self._classify(address, data)
        self._frames.append(Frame(kind, address, data, time.monotonic()))
        if kind == "heartbeat":
            self._take_heartbeat_answer(data[1])
            return []
        if self._silent:
            return []
        if kind == "sync":
            return [b""]
        if kind == "request":
            return self._answer_uei(data)
        if kind == "command":
            return self._answer_command(data)
        return []

    def _classify(self, address, data):
        if address == SYNC and not data:
            return "sync"
        if address == FORCE_ROUTE and len(data) == 1:
            return "forceroute"
        if address % 2:
            return "control"
        if address != self.address:
            return "foreign"
        if len(data) == 2 and data[0] == CMD_HB:
            return "heartbeat"
        if data and data[0] in NON_UEI_COMMANDS:
            return "command"
        return "request"

    def _take_heartbeat_answer(self, answer):
        """Pairs an answer with the oldest heartbeat still in time, else with the newest one
        left unanswered (the answer is then late), so one missed answer shifts no other."""
        now = time.monotonic()
        unanswered = [h for h in self._heartbeats if h.answer is None]
        if not unanswered:
            self.errors += 1
            return
        in_time = [h for h in unanswered if now <= h.deadline]
        heartbeat = in_time[0] if in_time else unanswered[-1]
        heartbeat.answer = answer
        heartbeat.answered = now

    # ---- UEI requests ----

    def _answer_uei(self, data):
        if len(data) < 3:
            return []
        command, option_byte, index_byte = data[0], data[1], data[2]
        option, index = option_byte & 0x3F, index_byte & 0x1F
        flags = option_byte & 0xC0
        reply_option = option | SET_REPLY_FLAGS if flags == SET_FLAG else option

        def error(code):
            return [bytes([command, reply_option, index | ERROR_FLAG, code])]

        if flags not in (GET_FLAG, SET_FLAG):
            return error(ERR_MODE)
        entity = self._entities.get((command, index))
        if entity is None:
            return error(ERR_INVALID_ENTITY)
        entry = entity.get(option)
        if entry is None:
            return error(ERR_INVALID_OPTION)
        head = bytes([command, reply_option, index])
        if flags == GET_FLAG:
            if entry.kind == BYTES:
                return sequence_packets(command, option, index, entry.value)
            return [head + encode_value(entry.kind, entry.value)]
        if not entry.writable:
            return error(ERR_PERMISSION)
        if entry.kind == BYTES:
            return self._take_sequence_part(entry, (command, index, option), data, head, error)
        value_bytes = data[3:]
        if len(value_bytes) != VALUE_SIZES[entry.kind]:
            return error(ERR_SIZE)
        if entry.kind != VOID:
            entry.value = int.from_bytes(value_bytes, "big")
        return [head + value_bytes]

    def _take_sequence_part(self, entry, key, data, head, error):
        """One packet of a byte sequence the host sets; the set completes with its last packet."""
        if len(data) < 4:
            return error(ERR_SIZE)
        number, more = data[-1] & 0x7F, data[-1] & 0x80
        expected, received = self._pending_sets.pop(key, (0, b""))
        if number == 0:
            expected, received = 0, b""
        if number != expected:
            return error(ERR_PACKET)
        received += bytes(data[3:-1])
        if more:
            self._pending_sets[key] = (number + 1, received)
            return []
        entry.value = received
        return [head]

    # ---- module information and echo ----

    def _answer_command(self, data):
        if data[0] == CMD_DEBUG:
            return [bytes(data)]
        if data[0] != CMD_INFO or len(data) < 2:
            return []
        query = data[1]
        if query == 0xFF:
            return [bytes([CMD_INFO, 0xFF]) + self.build.to_bytes(4, "big")]
        if query == 1 and len(data) >= 6:
            return [bytes(data[:5]) + bytes([self._presence(data[2], data[3], data[4])])]
        if query == 4 and len(data) >= 3:
            count = sum(1 for command, _ in self._entities if command == data[2])
            return [bytes(data[:3]) + bytes([count])]
        if query in (5, 6) and len(data) >= 4:
            return [bytes(data[:4]) + b"\x00"]
        return []

    def _presence(self, command, option, index):
        entity = self._entities.get((command, index & 0x1F))
        if entity is None:
            return ERR_INVALID_ENTITY
        return ERR_NONE if (option & 0x3F) in entity else ERR_INVALID_OPTION

    # ---- heartbeats ----

    def _heartbeat_loop(self):
        while not self._stop.wait(self.heartbeat_s):
            with self._lock:
                due = self._writer is not None and self._heard_host and not self._silent
            if due:
                self.send_heartbeat(HB_UP)



class _Transport:
    """What every transport shares: binding to the device and use as a context manager."""

    def __init__(self, device):
        self.device = device
        device.transport = self

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()

    def restore(self):
        """Undoes drop() where the transport can; by default there is nothing to undo."""


class TcpTransport(_Transport):
    """A TCP server on 127.0.0.1 serving one host connection at a time; a newer one replaces it."""

    def __init__(self, device, port=0):
        super().__init__(device)
        self._listener = socket.create_server(("127.0.0.1", port))
        self.port = self._listener.getsockname()[1]
        self._connection = None
        self._lock = threading.Lock()
        self._threads = []

    @property
    def endpoint(self):
        return "tcp 127.0.0.1 %d" % self.port

    def start(self):
        self.device.start()
        self._spawn(self._accept_loop)

    def stop(self):
        self.device.stop()
        _close_quietly(self._listener)
        self.drop()
        for thread in self._threads:
            thread.join(2.0)

    def drop(self, reset=False):
        with self._lock:
            connection, self._connection = self._connection, None
            if connection is not None:
                self.device.detach()
        if connection is not None:
            _hang_up(connection, reset)

    def _spawn(self, target, *args):
        thread = threading.Thread(target=target, args=args, daemon=True)
        thread.start()
        self._threads.append(thread)

    def _accept_loop(self):
        while True:
            try:
                connection, _ = self._listener.accept()
            except OSError:
                return
            connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            with self._lock:
                previous, self._connection = self._connection, connection
                self.device.attach(connection.sendall)
            if previous is not None:
                _hang_up(previous, reset=False)
            self._spawn(self._read_loop, connection)

    def _read_loop(self, connection):
        while True:
            try:
                data = connection.recv(4096)
            except OSError:
                data = b""
            if not data:
                break
            self.device.feed(data)
        with self._lock:
            if self._connection is connection:
                self._connection = None
                self.device.detach()
        connection.close()


class PtyTransport(_Transport):
    """A pseudo-terminal in raw mode: the host opens slave_path as its serial port."""

    def __init__(self, device):
        super().__init__(device)
        self._master, self._slave = os.openpty()
        tty.setraw(self._slave)
        self.slave_path = os.ttyname(self._slave)
        self._closed = threading.Event()
        self._thread = None

    @property
    def endpoint(self):
        return "pty " + self.slave_path

    def start(self):
        self.device.start()
        self.device.attach(self._write)
        self._thread = threading.Thread(target=self._read_loop, daemon=True)
        self._thread.start()

    def stop(self):
        self.device.stop()
        self.drop()

    def drop(self, reset=False):
        """Hangs the terminal up for good: the host's next read or write fails."""
        if self._closed.is_set():
            return
        self._closed.set()
        if self._thread is not None:
            self._thread.join(2.0)
        self.device.detach()
        os.close(self._master)
        os.close(self._slave)

    def _write(self, data):
        while data:
            written = os.write(self._master, data)
            data = data[written:]

    def _read_loop(self):
        while not self._closed.is_set():
            ready, _, _ = select.select([self._master], [], [], 0.05)
            if not ready:
                continue
            try:
                data = os.read(self._master, 4096)
            except OSError:
                return
            self.device.feed(data)


class _BusDevice(usb_bus_sim.VirtualDevice):
    """The device as seen on the simulated USB bus."""

    def __init__(self, device, serial_text):
        super().__init__(serial_text, product_id=device.model)
        self.device = device

    def on_bulk_out(self, data):
        self.device.feed(data)

    def on_claim(self):
        self.device.attach(self.send_in)

    def on_release(self):
        self.device.detach()


class UsbTransport(_Transport):
    """The device plugged into a simulated USB bus; serves its own bus unless one is given."""

    def __init__(self, device, socket_path=None, bus=None):
        super().__init__(device)
        self.serial_text = "%08X" % device.serial
        self.bus = bus if bus is not None else usb_bus_sim.UsbBusSimulator(socket_path)
        self._owns_bus = bus is None
        self.bus_device = _BusDevice(device, self.serial_text)
        self._plugged = False

    @property
    def endpoint(self):
        return "usb %s %s" % (self.bus.socket_path, self.serial_text)

    def start(self):
        self.device.start()
        if self._owns_bus:
            self.bus.start()
        self.restore()

    def stop(self):
        self.device.stop()
        self.drop()
        if self._owns_bus:
            self.bus.stop()

    def drop(self, reset=False):
        """Unplugs the device: its claim ends and every waiting transfer fails."""
        if self._plugged:
            self._plugged = False
            self.bus.unplug(self.bus_device)

    def restore(self):
        if not self._plugged:
            self._plugged = True
            self.bus.plug(self.bus_device)


def _hang_up(connection, reset):
    """Ends a connection with a close, or with a reset when asked; wakes its reader either way."""
    if reset:
        connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        try:
            connection.shutdown(socket.SHUT_RD)
        except OSError:
            pass
    else:
        _shutdown_quietly(connection)
    connection.close()


def _close_quietly(sock):
    _shutdown_quietly(sock)
    sock.close()


def _shutdown_quietly(sock):
    try:
        sock.shutdown(socket.SHUT_RDWR)
    except OSError:
        pass


# ---- command line ----

def _hex_bytes(words):
    return bytes.fromhex("".join(words))


def _command(device, words):
    """Carries out one command line; returns the answer line."""
    verb, args = words[0], words[1:]
    if verb == "garbage":
        device.garbage(int(args[0]) if args else 7)
    elif verb == "badlength":
        device.bad_length(int(args[0], 0) if args else MAX_DATA + 1)
    elif verb == "drop":
        device.drop(reset=args[:1] == ["reset"])
    elif verb == "silent":
        device.silent()
    elif verb == "resume":
        device.resume()
    elif verb == "heartbeat":
        device.send_heartbeat(HB_DOWN if args[:1] == ["down"] else HB_UP)
    elif verb == "send":
        device.send_raw(_hex_bytes(args))
    elif verb == "stats":
        return "stats " + " ".join("%s=%d" % item for item in device.stats().items())
    elif verb == "frames":
        return " ".join(["frames"] + [frame_bytes(f.address, f.data).hex().upper()
                                      for f in device.frames()])
    elif verb == "clear":
        device.clear()
    else:
        raise ValueError("unknown command " + verb)
    return "ok"


def _version(text):
    major, minor, patch = (int(part) for part in text.split("."))
    return version_word(major, minor, patch)


def _parse(argv):
    parser = argparse.ArgumentParser(description="Simulated device speaking the packet protocol")
    where = parser.add_mutually_exclusive_group(required=True)
    where.add_argument("--tcp", action="store_true", help="serve TCP on 127.0.0.1")
    where.add_argument("--pty", action="store_true", help="serve a pseudo-terminal")
    where.add_argument("--usb-socket", metavar="PATH", help="serve a simulated USB bus here")
    parser.add_argument("--port", type=int, default=0, help="TCP port (default: any free one)")
    parser.add_argument("--serial", type=lambda text: int(text, 16), default=0x40F5849A)
    parser.add_argument("--address", type=int, default=6)
    parser.add_argument("--model", type=int, default=4)
    parser.add_argument("--version", type=_version, default=version_word(1, 2, 3))
    parser.add_argument("--build", type=int, default=1234)
    parser.add_argument("--heartbeat-ms", type=int, default=0, help="0: no heartbeats")
    parser.add_argument("--heartbeat-deadline-ms", type=int, default=500)
    parser.add_argument("--endpoint-file", help="also write the ready line's endpoint here")
    return parser.parse_args(argv)


def _transport_for(options, device):
    if options.tcp:
        return TcpTransport(device, options.port)
    if options.pty:
        return PtyTransport(device)
    return UsbTransport(device, socket_path=options.usb_socket)


def main(argv=None):
    options = _parse(argv)
    try:
        device = SimDevice(address=options.address, serial=options.serial, model=options.model,
                           version=options.version, build=options.build,
                           heartbeat_ms=options.heartbeat_ms,
                           heartbeat_deadline_ms=options.heartbeat_deadline_ms)
    except ValueError as error:
        print("error", error, file=sys.stderr)
        return 2
    with _transport_for(options, device) as transport:
        if options.endpoint_file:
            with open(options.endpoint_file, "w") as out:
                out.write(transport.endpoint + "\n")
        print("ready", transport.endpoint, flush=True)
        usb_bus_sim.serve_commands(lambda words: _command(device, words))
    print("bye", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
