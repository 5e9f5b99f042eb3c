"""The simulated device, talked to with raw bytes over each of its transports."""

import os
import select
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest

PEERS_DIR = os.environ.get("QM_PEERS_DIR",
                           os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "peers"))
sys.path.insert(0, PEERS_DIR)
import sim_device  # noqa: E402

SERIAL = 0x40F5849A
ADDRESS = 6
SYNC_FRAME = bytes([0xAD, 0])


class RawHost:
    """Reads and writes frame bytes on a connected socket or terminal descriptor."""

    def __init__(self, read, write):
        self._read = read
        self._write = write
        self._buffer = b""

    def send(self, data):
        self._write(bytes(data))

    def take(self, count, timeout=2.0):
        deadline = time.monotonic() + timeout
        while len(self._buffer) < count:
            left = deadline - time.monotonic()
            if left <= 0:
                raise AssertionError("got %s, wanted %d bytes" % (self._buffer.hex(), count))
            self._buffer += self._read(left)
        data, self._buffer = self._buffer[:count], self._buffer[count:]
        return data

    def frame(self, timeout=2.0):
        head = self.take(2, timeout)
        return head + self.take(head[1], timeout)

    def nothing_for(self, seconds):
        try:
            data = self.take(1, seconds)
        except AssertionError:
            return True
        self._buffer = data + self._buffer
        return False


def socket_host(connection):
    def read(timeout):
        connection.settimeout(timeout)
        try:
            data = connection.recv(4096)
        except socket.timeout:
            return b""
        if not data:
            raise AssertionError("connection closed")
        return data
    return RawHost(read, connection.sendall)


def fd_host(fd):
    def read(timeout):
        ready, _, _ = select.select([fd], [], [], timeout)
        return os.read(fd, 4096) if ready else b""
    return RawHost(read, lambda data: os.write(fd, data))


class TcpCase(unittest.TestCase):
    heartbeat_ms = 0

    def setUp(self):
        self.device = sim_device.SimDevice(address=ADDRESS, serial=SERIAL, model=4,
                                           version=0x2F010203, build=0x0102ABCD,
                                           heartbeat_ms=self.heartbeat_ms,
                                           heartbeat_deadline_ms=200)
        self.transport = sim_device.TcpTransport(self.device)
        self.transport.start()
        self.addCleanup(self.transport.stop)
        self.connect()
        self.addCleanup(lambda: self.connection.close())

    def connect(self):
        self.connection = socket.create_connection(("127.0.0.1", self.transport.port))
        self.host = socket_host(self.connection)
        self.assertTrue(self.device.wait_until(lambda: self.device.attached, 2.0))

    def ask(self, data):
        self.host.send(bytes([ADDRESS, len(data)]) + bytes(data))
        return self.host.frame()


class RequestsAnswered(TcpCase):
    def test_uei_replies_are_byte_exact(self):
        cases = [
            ("serial number", [3, 0x49, 0x20], [6, 7, 3, 9, 0, 0x40, 0xF5, 0x84, 0x9A]),
            ("model", [3, 0x48, 0x20], [6, 4, 3, 8, 0, 4]),
            ("version", [3, 0x47, 0x20], [6, 7, 3, 7, 0, 0x2F, 1, 2, 3]),
            ("module address", [3, 0x41, 0x20], [6, 4, 3, 1, 0, 6]),
            ("set LED echoes the value", [3, 0x84, 0x20, 1], [6, 4, 3, 0xC4, 0, 1]),
            ("reset call", [3, 0x8B, 0x20], [6, 3, 3, 0xCB, 0]),
            ("unknown option", [3, 0x7F, 0x20], [6, 4, 3, 0x3F, 0x80, 29]),
            ("unknown entity index", [3, 0x49, 0x25], [6, 4, 3, 9, 0x85, 28]),
            ("unknown class", [37, 0x45, 0x20], [6, 4, 37, 5, 0x80, 28]),
            ("set of a read-only option", [3, 0x89, 0x20, 0, 0, 0, 1], [6, 4, 3, 0xC9, 0x80, 12]),
            ("set with a value of the wrong size", [3, 0x84, 0x20, 0, 1], [6, 4, 3, 0xC4, 0x80, 14]),
            ("neither get nor set", [3, 0x09, 0x20], [6, 4, 3, 9, 0x80, 7]),
            ("build number", [73, 0xFF], [6, 6, 73, 0xFF, 1, 2, 0xAB, 0xCD]),
            ("UEI presence", [73, 1, 3, 9, 0, 0x40], [6, 6, 73, 1, 3, 9, 0, 0]),
            ("UEI presence of a missing option", [73, 1, 3, 60, 0, 0], [6, 6, 73, 1, 3, 60, 0, 29]),
            ("class quantity", [73, 4, 3], [6, 4, 73, 4, 3, 1]),
            ("echo", [23, 1, 2, 3], [6, 4, 23, 1, 2, 3]),
        ]
        for name, request, reply in cases:
            with self.subTest(name):
                self.assertEqual(self.ask(request).hex(), bytes(reply).hex())
        self.assertEqual(self.device.value(3, 0, 4), 1)

    def test_byte_sequences_both_ways(self):
        name = b"A name that spans two packets!"
        self.host.send([6, 28, 3, 0xA0, 0x20] + list(name[:24]) + [0x80])
        self.host.send([6, 10, 3, 0xA0, 0x20] + list(name[24:]) + [0x01])
        self.assertEqual(self.host.frame(), bytes([6, 3, 3, 0xE0, 0]))
        first, second = self.ask([3, 0x60, 0x20]), self.host.frame()
        self.assertEqual(first, bytes([6, 28, 3, 32, 0]) + name[:24] + b"\x80")
        self.assertEqual(second, bytes([6, 10, 3, 32, 0]) + name[24:] + b"\x01")

    def test_sequence_out_of_order_is_refused(self):
        self.assertEqual(self.ask([3, 0xA0, 0x20, 0x41, 0x02]), bytes([6, 4, 3, 0xE0, 0x80, 24]))

    def test_sync_answered_force_route_and_foreign_frames_only_recorded(self):
        self.host.send(SYNC_FRAME * 6 + bytes([0xAF, 1, 1, 8, 3, 3, 0x49, 0x20]))
        for _ in range(6):
            self.assertEqual(self.host.frame(), bytes([6, 0]))
        self.assertTrue(self.host.nothing_for(0.1))
        kinds = [frame.kind for frame in self.device.frames()]
        self.assertEqual(kinds, ["sync"] * 6 + ["forceroute", "foreign"])
        self.assertEqual(self.device.frames("forceroute")[0].data, b"\x01")

    def test_host_framing_errors_are_skipped(self):
        self.host.send([0, 6, 29] + list(SYNC_FRAME))
        self.assertEqual(self.host.frame(), bytes([6, 0]))
        self.assertEqual(self.device.stats()["errors"], 2)


class Misbehaviour(TcpCase):
    def test_garbage_cannot_start_a_frame(self):
        self.device.garbage(5)
        junk = self.host.take(5)
        self.assertEqual(junk[0] % 2, 1)

    def test_bad_length_byte(self):
        self.device.bad_length()
        self.assertEqual(self.host.take(2), bytes([6, 29]))

    def test_unsolicited_frames(self):
        samples = [
            (dict(value=0x1234, kind=sim_device.STREAM_U32, timestamp=0x0102030405060708),
             [6, 17, 37, 2, 0x41, 3, 1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0x12, 0x34, 0]),
            (dict(value=0x34, kind=sim_device.STREAM_SUBINDEX_U8, subindex=9),
             [6, 15, 37, 2, 0x41, 5, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0x34, 0]),
        ]
        for settings, wire in samples:
            with self.subTest(settings):
                self.device.send_frame(sim_device.stream_sample(37, 2, 1, **settings))
                self.assertEqual(self.host.frame().hex(), bytes(wire).hex())
        self.device.send_frame([3, 8, 0, 4], address=8)
        self.assertEqual(self.host.frame(), bytes([8, 4, 3, 8, 0, 4]))

    def test_silent_then_resume(self):
        self.device.silent()
        self.host.send(SYNC_FRAME)
        self.assertTrue(self.host.nothing_for(0.2))
        self.assertEqual(len(self.device.frames("sync")), 1)
        self.device.resume()
        self.assertEqual(self.ask([3, 0x48, 0x20]), bytes([6, 4, 3, 8, 0, 4]))

    def test_drop_then_reconnect(self):
        for reset in (False, True):
            with self.subTest(reset=reset):
                self.device.drop(reset=reset)
                self.connection.settimeout(2.0)
                try:
                    self.assertEqual(self.connection.recv(10), b"")
                except ConnectionResetError:
                    self.assertTrue(reset)
                self.connection.close()
                self.connect()
                self.assertEqual(self.ask([3, 0x48, 0x20]), bytes([6, 4, 3, 8, 0, 4]))
        self.assertEqual(self.device.stats()["connections"], 3)


class Heartbeats(TcpCase):
    heartbeat_ms = 40

    def test_none_before_the_host_speaks(self):
        self.assertTrue(self.host.nothing_for(0.15))

    def test_answers_are_judged(self):
        self.host.send(SYNC_FRAME)
        self.assertEqual(self.host.frame(), bytes([6, 0]))
        self.assertEqual(self.host.frame(), bytes([6, 2, 0, 0]))
        self.host.send([6, 2, 0, 2])
        self.assertEqual(self.host.frame(), bytes([6, 2, 0, 0]))
        self.host.send([6, 2, 0, 0])
        self.assertEqual(self.host.frame(), bytes([6, 2, 0, 0]))
        self.assertTrue(self.device.wait_until(
            lambda: [s for _, s in self.device.heartbeats()][:3] == ["ok", "wrong", "missed"],
            1.0), self.device.heartbeats())
        self.assertEqual(len(self.device.frames("heartbeat")), 2)

    def test_down_heartbeat_expects_three(self):
        self.device.silent()
        self.host.send(SYNC_FRAME)
        self.device.send_heartbeat(sim_device.HB_DOWN)
        self.assertEqual(self.host.frame(), bytes([6, 2, 0, 1]))
        self.host.send([6, 2, 0, 3])
        self.assertTrue(self.device.wait_until(
            lambda: self.device.heartbeats() == [(1, "ok")], 1.0), self.device.heartbeats())
        self.assertTrue(self.host.nothing_for(0.1), "silent device sent a heartbeat")


class Pty(unittest.TestCase):
    def test_serial_line_answers_and_hangs_up(self):
        device = sim_device.SimDevice(address=8, serial=SERIAL)
        transport = sim_device.PtyTransport(device)
        transport.start()
        self.addCleanup(transport.stop)
        fd = os.open(transport.slave_path, os.O_RDWR | os.O_NOCTTY)
        self.addCleanup(os.close, fd)
        host = fd_host(fd)
        host.send(SYNC_FRAME + bytes([8, 3, 3, 0x49, 0x20]))
        self.assertEqual(host.frame(), bytes([8, 0]))
        self.assertEqual(host.frame(), bytes([8, 7, 3, 9, 0, 0x40, 0xF5, 0x84, 0x9A]))
        device.drop()
        self.assertEqual(os.read(fd, 1), b"")
        with self.assertRaises(OSError):
            os.write(fd, SYNC_FRAME)


class UsbBusClient:
    """The simulated bus's wire protocol: length-prefixed requests, one reply each."""

    def __init__(self, path):
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.connect(path)
        self.sock.settimeout(5.0)

    def call(self, code, payload=b""):
        self.sock.sendall(struct.pack(">IB", len(payload) + 1, code) + payload)
        (length,) = struct.unpack(">I", self._exactly(4))
        body = self._exactly(length)
        return body[1], body[2:]

    def _exactly(self, count):
        data = b""
        while len(data) < count:
            chunk = self.sock.recv(count - len(data))
            if not chunk:
                raise AssertionError("bus closed the connection")
            data += chunk
        return data


class Usb(unittest.TestCase):
    def test_device_on_the_simulated_bus(self):
        folder = tempfile.mkdtemp()
        path = os.path.join(folder, "usb.sock")
        device = sim_device.SimDevice(address=6, serial=SERIAL, model=13)
        transport = sim_device.UsbTransport(device, socket_path=path)
        transport.start()
        self.addCleanup(os.rmdir, folder)
        self.addCleanup(transport.stop)
        client = UsbBusClient(path)
        self.addCleanup(client.sock.close)
        status, listing = client.call(1, struct.pack(">H", 0x2B87))
        self.assertEqual((status, listing[0]), (0, 1))
        location, vendor, product, length = struct.unpack(">IHHB", listing[1:10])
        self.assertEqual((vendor, product & 0xFF, listing[10:10 + length]),
                         (0x2B87, 13, b"40F5849A"))
        status, _ = client.call(2, struct.pack(">IB", location, 0))
        self.assertEqual(status, 0)
        status, _ = client.call(5, bytes([0x02]) + SYNC_FRAME + bytes([6, 3, 3, 0x48, 0x20]))
        self.assertEqual(status, 0)
        replies = b""
        while len(replies) < 8:
            status, data = client.call(4, struct.pack(">BHI", 0x81, 64, 1000))
            self.assertEqual(status, 0)
            replies += data
        self.assertEqual(replies, bytes([6, 0, 6, 4, 3, 8, 0, 13]))
        device.drop()
        status, _ = client.call(4, struct.pack(">BHI", 0x81, 64, 1000))
        self.assertEqual(status, 1)


class CommandLine(unittest.TestCase):
    def test_driven_through_standard_input(self):
        process = subprocess.Popen(
            [sys.executable, os.path.join(PEERS_DIR, "sim_device.py"), "--tcp", "--address",
             "10", "--serial", "0000BEEF"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.addCleanup(process.stdout.close)
        self.addCleanup(process.wait, 5)
        self.addCleanup(process.stdin.close)
        words = process.stdout.readline().split()
        self.assertEqual(words[:3], ["ready", "tcp", "127.0.0.1"])
        connection = socket.create_connection(("127.0.0.1", int(words[3])))
        self.addCleanup(connection.close)
        host = socket_host(connection)
        host.send(bytes([10, 3, 3, 0x49, 0x20]))
        self.assertEqual(host.frame(), bytes([10, 7, 3, 9, 0, 0, 0, 0xBE, 0xEF]))

        def command(line):
            process.stdin.write(line + "\n")
            process.stdin.flush()
            return process.stdout.readline().strip()

        self.assertEqual(command("send 0A 01 17 05"), "ok")
        self.assertEqual(host.take(4), bytes([10, 1, 23, 5]))
        self.assertEqual(command("frames"), "frames 0A03034920")
        self.assertIn(" requests=1 ", command("stats"))
        self.assertTrue(command("bogus").startswith("error"))
        self.assertEqual(command("quit"), "bye")


if __name__ == "__main__":
    unittest.main()
