#!/usr/bin/env python3
"""A simulated USB bus: virtual devices presented on a Unix stream socket.

The device library uses this bus instead of real USB when the environment variable QM_USB_SIM
names the socket. Each virtual device has a vendor id, a product id, a serial-number string and
interfaces (class, subclass, protocol, endpoints); the family interface has a bulk IN and a bulk
OUT pipe. A connection claims an interface; a second claim of the same interface, from any
process, is refused as busy until the first connection closes.

Wire protocol. Every message, both ways, is a 4-byte big-endian length counting the bytes after
it, then a one-byte code and the code's payload; numbers are big-endian. Each request is answered
by one reply with the same code, on the same connection, in order. Every reply starts with a
status byte: 0 done, 1 no such device (never there, or unplugged), 2 busy (claimed by another
connection), 3 timed out, 4 bad request.
  0x01 list   u16 vendor (0: all)        -> status, u8 count, count device records
  0x02 claim  u32 location, u8 interface -> status, u32 claim token
  0x03 join   u32 claim token            -> status (the connection becomes a further pipe
                                            connection of that claim)
  0x04 in     u8 endpoint, u16 capacity, u32 timeout ms -> status, the packet's bytes
  0x05 out    u8 endpoint, bytes         -> status, u16 bytes accepted
  0x06 clear  u8 endpoint                -> status
A device record: u32 location, u16 vendor, u16 product, u8 serial length, the serial bytes, u8
interface count, then per interface u8 number, class, subclass, protocol, endpoint count, and per
endpoint u8 address, u8 type (0 control, 1 isochronous, 2 bulk, 3 interrupt), u16 maximum packet
size. A claim lasts until the connection that made it closes. An IN request answers with one
packet of at most the capacity, as a bulk IN transfer of one packet does.

Plug-in interface: subclass VirtualDevice and override on_bulk_out(data) (bytes the host wrote to
the bulk OUT pipe), and optionally on_claim() and on_release(); call send_in(data) from any thread
to queue bytes for the host's bulk IN pipe. EchoDevice sends back whatever it receives.

    bus = UsbBusSimulator("/tmp/x/usb.sock")
    bus.start()
    bus.add_device(EchoDevice("40F5849A"))
    ...
    bus.stop()

Command line: usb_bus_sim.py --socket PATH [--device SERIAL ...] prints "ready" once listening,
then takes one command per line on standard input and answers "ok" or "error TEXT":
  add SERIAL [kind=echo|silent] [vid=N] [pid=N] [packet=N] [class=FF:88:10] [first=C:S:P] [iso=1]
  unplug SERIAL | plug SERIAL | hold SERIAL | release SERIAL | send SERIAL HEX | quit
"hold" makes the device's interface claimed by someone else; "send" queues IN bytes (an empty HEX
queues a zero-length packet). The simulator ends at "quit" or at the end of its input.
"""

import argparse
import collections
import os
import socket
import struct
import sys
import threading

FAMILY_VENDOR_ID = 0x2B87
FAMILY_INTERFACE = (0xFF, 0x88, 0x10)

STATUS_OK, STATUS_GONE, STATUS_BUSY, STATUS_TIMEOUT, STATUS_BAD = range(5)
CONTROL, ISOCHRONOUS, BULK, INTERRUPT = range(4)
LIST, CLAIM, JOIN, IN, OUT, CLEAR = range(1, 7)

BULK_IN, BULK_OUT, INTERRUPT_IN = 0x81, 0x02, 0x83


class Interface:
    def __init__(self, number, triple, endpoints):
        self.number = number
        self.triple = triple
        self.endpoints = endpoints  # [(address, type, max packet size)]


class VirtualDevice:
    """One device on the simulated bus. Subclasses supply the device's behaviour."""

    def __init__(self, serial, product_id=0x0004, vendor_id=FAMILY_VENDOR_ID,
                 interface_class=FAMILY_INTERFACE, max_packet=64, first_interface=None,
                 isochronous=False):
        self.serial = serial
        self.vendor_id = vendor_id
        self.product_id = product_id
        self.max_packet = max_packet
        endpoints = [(BULK_IN, BULK, max_packet), (BULK_OUT, BULK, max_packet),
                     (INTERRUPT_IN, INTERRUPT, 8)]
        if isochronous:
            endpoints.append((0x84, ISOCHRONOUS, 64))
        self.interfaces = []
        if first_interface is not None:
            self.interfaces.append(Interface(0, first_interface, [(0x85, INTERRUPT, 8)]))
        self.interfaces.append(Interface(len(self.interfaces), interface_class, endpoints))
        self.location = 0
        self.owner = None
        self._bus = None
        self._packets = collections.deque()

    # ---- the plug-in interface ----

    def on_bulk_out(self, data):
        """Called with the bytes of each bulk OUT transfer."""

    def on_claim(self):
        """Called when a host claims the interface."""

    def on_release(self):
        """Called when the claim ends (the host closed, or the device was unplugged)."""

    def send_in(self, data):
        """Queues bytes for the bulk IN pipe, in packets of the pipe's maximum size."""
        data = bytes(data)
        chunks = [data[i:i + self.max_packet] for i in range(0, len(data), self.max_packet)]
        bus = self._bus
        if bus is None:
            self._packets.extend(chunks or [b""])
            return
        with bus.lock:
            self._packets.extend(chunks or [b""])
            bus.changed.notify_all()

    @property
    def claimed(self):
        return self.owner is not None

    # ---- used by the bus, under its lock ----

    def _record(self):
        serial = self.serial.encode()
        out = struct.pack(">IHHB", self.location, self.vendor_id, self.product_id, len(serial))
        out += serial + struct.pack(">B", len(self.interfaces))
        for interface in self.interfaces:
            out += struct.pack(">BBBBB", interface.number, *interface.triple,
                               len(interface.endpoints))
            for address, kind, size in interface.endpoints:
                out += struct.pack(">BBH", address, kind, size)
        return out

    def _has_endpoint(self, interface_number, address, kind):
        for interface in self.interfaces:
            if interface.number == interface_number:
                return any(a == address and k == kind for a, k, _ in interface.endpoints)
        return False


class EchoDevice(VirtualDevice):
    """Sends back every byte written to it."""

    def on_bulk_out(self, data):
        self.send_in(data)


class SilentDevice(VirtualDevice):
    """Takes every byte and never answers."""


_HELD = object()


class _Claim:
    def __init__(self, device, interface, token):
        self.device = device
        self.interface = interface
        self.token = token
        self.active = True


class UsbBusSimulator:
    """Listens on a Unix socket and serves the virtual devices plugged into it."""

    def __init__(self, socket_path):
        self.socket_path = socket_path
        self.lock = threading.Lock()
        self.changed = threading.Condition(self.lock)
        self._devices = []
        self._claims = {}
        self._next_location = 1
        self._next_token = 1
        self._listener = None
        self._threads = []

    # ---- devices ----

    def add_device(self, device):
        with self.lock:
            device._bus = self
            device.location = self._next_location
            self._next_location += 1
            self._devices.append(device)
        return device

    def find(self, serial):
        with self.lock:
            for device in self._devices:
                if device.serial == serial:
                    return device
        return None

    def unplug(self, device):
        """The device disappears: its claims end and every waiting transfer fails."""
        with self.lock:
            if device not in self._devices:
                return
            self._devices.remove(device)
            released = self._end_claims_of(device)
            device.owner = None
            self.changed.notify_all()
        if released:
            device.on_release()

    def plug(self, device):
        """Plugs a device (again); it gets a new location, as a re-enumerated device does."""
        device._packets.clear()
        return self.add_device(device)

    def hold(self, device):
        """Makes the interface claimed by someone else until release()."""
        with self.lock:
            if device.owner is None:
                device.owner = _HELD

    def release(self, device):
        with self.lock:
            if device.owner is _HELD:
                device.owner = None

    # ---- serving ----

    def start(self):
        if os.path.exists(self.socket_path):
            os.unlink(self.socket_path)
        self._listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self._listener.bind(self.socket_path)
        self._listener.listen(16)
        thread = threading.Thread(target=self._accept_loop, daemon=True)
        thread.start()
        self._threads.append(thread)

    def stop(self):
        if self._listener is not None:
            try:
                self._listener.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            self._listener.close()
            self._listener = None
        if os.path.exists(self.socket_path):
            os.unlink(self.socket_path)

    def _accept_loop(self):
        listener = self._listener
        while True:
            try:
                connection, _ = listener.accept()
            except OSError:
                return
            threading.Thread(target=self._serve, args=(connection,), daemon=True).start()

    def _serve(self, connection):
        session = {"claim": None, "owner": False}
        try:
            while True:
                header = _receive_exactly(connection, 4)
                if header is None:
                    return
                (length,) = struct.unpack(">I", header)
                body = _receive_exactly(connection, length) if length else b""
                if not body:
                    return
                reply = self._answer(session, body[0], body[1:])
                connection.sendall(struct.pack(">I", len(reply) + 1) + bytes([body[0]]) + reply)
        except OSError:
            return
        finally:
            connection.close()
            self._end_session(session)

    def _end_session(self, session):
        claim = session["claim"]
        if claim is None or not session["owner"]:
            return
        with self.lock:
            if not claim.active:
                return
            claim.active = False
            self._claims.pop(claim.token, None)
            claim.device.owner = None
            claim.device._packets.clear()
            self.changed.notify_all()
        claim.device.on_release()

    def _end_claims_of(self, device):
        ended = False
        for token, claim in list(self._claims.items()):
            if claim.device is device:
                claim.active = False
                del self._claims[token]
                ended = True
        return ended

    def _answer(self, session, code, payload):
        try:
            if code == LIST:
                return self._list(*struct.unpack(">H", payload))
            if code == CLAIM:
                return self._claim(session, *struct.unpack(">IB", payload))
            if code == JOIN:
                return self._join(session, *struct.unpack(">I", payload))
            if code == IN:
                return self._bulk_in(session, *struct.unpack(">BHI", payload))
            if code == OUT:
                return self._bulk_out(session, payload[0], payload[1:])
            if code == CLEAR:
                return self._clear(session, payload[0])
        except (struct.error, IndexError):
            pass
        return bytes([STATUS_BAD])

    def _list(self, vendor):
        with self.lock:
            found = [d for d in self._devices if vendor in (0, d.vendor_id)][:255]
            return bytes([STATUS_OK, len(found)]) + b"".join(d._record() for d in found)

    def _claim(self, session, location, interface):
        if session["claim"] is not None:
            return bytes([STATUS_BAD]) + bytes(4)
        with self.lock:
            device = next((d for d in self._devices if d.location == location), None)
            if device is None:
                return bytes([STATUS_GONE]) + bytes(4)
            if not any(i.number == interface for i in device.interfaces):
                return bytes([STATUS_BAD]) + bytes(4)
            if device.owner is not None:
                return bytes([STATUS_BUSY]) + bytes(4)
            token = self._next_token
            self._next_token += 1
            claim = _Claim(device, interface, token)
            self._claims[token] = claim
            device.owner = claim
            session["claim"] = claim
            session["owner"] = True
        device.on_claim()
        return bytes([STATUS_OK]) + struct.pack(">I", token)

    def _join(self, session, token):
        with self.lock:
            claim = self._claims.get(token)
            if claim is None or session["claim"] is not None:
                return bytes([STATUS_GONE])
            session["claim"] = claim
            return bytes([STATUS_OK])

    def _live_claim(self, session):
        claim = session["claim"]
        return claim if claim is not None and claim.active else None

    def _bulk_in(self, session, endpoint, capacity, timeout_ms):
        with self.lock:
            claim = self._live_claim(session)
            if claim is None:
                return bytes([STATUS_GONE])
            device = claim.device
            if not device._has_endpoint(claim.interface, endpoint, BULK):
                return bytes([STATUS_BAD])
            self.changed.wait_for(lambda: not claim.active or device._packets,
                                  timeout_ms / 1000.0)
            if not claim.active:
                return bytes([STATUS_GONE])
            if not device._packets:
                return bytes([STATUS_TIMEOUT])
            packet = device._packets.popleft()
            if len(packet) > capacity:
                device._packets.appendleft(packet[capacity:])
                packet = packet[:capacity]
            return bytes([STATUS_OK]) + packet

    def _bulk_out(self, session, endpoint, data):
        with self.lock:
            claim = self._live_claim(session)
            if claim is None:
                return bytes([STATUS_GONE]) + bytes(2)
            device = claim.device
            if not device._has_endpoint(claim.interface, endpoint, BULK):
                return bytes([STATUS_BAD]) + bytes(2)
        device.on_bulk_out(bytes(data))
        return bytes([STATUS_OK]) + struct.pack(">H", len(data))

    def _clear(self, session, endpoint):
        with self.lock:
            claim = self._live_claim(session)
            if claim is None:
                return bytes([STATUS_GONE])
            ok = claim.device._has_endpoint(claim.interface, endpoint, BULK)
            return bytes([STATUS_OK if ok else STATUS_BAD])


def _receive_exactly(connection, length):
    data = b""
    while len(data) < length:
        chunk = connection.recv(length - len(data))
        if not chunk:
            return None
        data += chunk
    return data


def _triple(text):
    return tuple(int(part, 16) for part in text.split(":"))


def make_device(serial, options):
    """Builds a device from "key=value" texts, as the command line's "add" takes them."""
    settings = dict(option.split("=", 1) for option in options)
    kinds = {"echo": EchoDevice, "silent": SilentDevice}
    kind = kinds[settings.get("kind", "echo")]
    return kind(serial, product_id=int(settings.get("pid", "4"), 0),
                vendor_id=int(settings.get("vid", str(FAMILY_VENDOR_ID)), 0),
                max_packet=int(settings.get("packet", "64"), 0),
                interface_class=_triple(settings.get("class", "FF:88:10")),
                first_interface=_triple(settings["first"]) if "first" in settings else None,
                isochronous=settings.get("iso") == "1")


def _command(bus, unplugged, words):
    verb, args = words[0], words[1:]
    if verb == "add":
        bus.add_device(make_device(args[0], args[1:]))
        return
    if verb == "plug":
        bus.plug(unplugged.pop(args[0]))
        return
    device = bus.find(args[0])
    if device is None:
        raise KeyError("no device " + args[0])
    if verb == "unplug":
        bus.unplug(device)
        unplugged[args[0]] = device
    elif verb == "hold":
        bus.hold(device)
    elif verb == "release":
        bus.release(device)
    elif verb == "send":
        device.send_in(bytes.fromhex(args[1] if len(args) > 1 else ""))
    else:
        raise ValueError("unknown command " + verb)


def serve_commands(answer):
    """Reads one command per line from standard input until "quit" or its end; prints what
    answer(words) returns, or "error TEXT" when the command is malformed."""
    for line in sys.stdin:
        words = line.split()
        if not words:
            continue
        if words[0] == "quit":
            return
        try:
            print(answer(words), flush=True)
        except (KeyError, ValueError, IndexError) as error:
            print("error", error, flush=True)


def main(argv=None):
    parser = argparse.ArgumentParser(description="Simulated USB bus on a Unix socket")
    parser.add_argument("--socket", required=True, help="path of the Unix socket to serve")
    parser.add_argument("--device", action="append", default=[],
                        help="serial number of an echo device to plug in at start")
    options = parser.parse_args(argv)
    bus = UsbBusSimulator(options.socket)
    for serial in options.device:
        bus.add_device(EchoDevice(serial))
    bus.start()
    print("ready", flush=True)
    unplugged = {}
    try:
        serve_commands(lambda words: _command(bus, unplugged, words) or "ok")
    finally:
        bus.stop()
        print("bye", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
