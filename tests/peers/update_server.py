#!/usr/bin/env python3
"""Reference update server for tests and demos: plain HTTP on 127.0.0.1 only.

Serves GET /cgi/u from a catalogue (a JSON file) and answers the operations
  op=hi      -> "ok"
  op=qu      -> "ok", the device's current build, its fw text
  op=builds  -> "ok", one "build;version" line per build
  op=bird    -> "ok", the BIRD file of build bld in base64 (fw must match the device's)
  op=fix     -> "ok", serial number, build number of the fingerprint fp
Anything it does not know is answered 200 with a body starting "error".

Catalogue:
  {
    "devices": {
      "40F5849A": {
        "current": "1001",                       # line 2 of op=qu
        "fw": "FW-40F5849A",                     # line 3 of op=qu, expected back as fw=
        "builds": {"1000": "1.2.3", "1001": "1.10.0"}
                  | ["raw line", ...],           # a list is sent line by line, unchanged
        "birds": {"1001": {"path": "file.bird"} | {"text": "raw bytes"}
                         | {"base64": "sent as it is"}}
      }
    },
    "fingerprints": {"00000001 00000002 00000003 00000004":
                     {"serial": "40F5849A", "build": "0x10"}},
    "faults": {"<op>": {"mode": "...", ...}}
  }

Faults, per operation (the op value, or "*" for every operation):
  status    status (default 500) and body (default "error")
  notok     200 with the body "fail"
  emptybody 200 with no body at all
  empty     200 with "ok" and no further lines
  garbled   200 with "ok" and lines that are not what the operation sends
  body      200 with the exact text of "body"
  stall     reads the request and answers nothing for "seconds" (default 600)
  drop      closes the connection without answering
  trickle   sends the normal reply "chunk" bytes (default 16) every "interval" seconds
            (default 0.1)
  delay     waits "seconds", then sends the normal reply
Faults can also be changed while running: GET /control/fault?op=qu&mode=status&status=503
(further keys are the fault's settings), GET /control/clear. Control requests are not logged.

Every other request's target (path and query, exactly as received) is appended to the log file,
one line each, before it is answered.

Usage: update_server.py --catalogue FILE [--port N] [--port-file FILE] [--log FILE]
The chosen port is printed on standard output (and written to --port-file) once listening.
Python tests may instead run it in their own process:
    server = UpdateServer(0, Catalogue(data, directory), log_path)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    ... server.server_address[1] is the port; server.shutdown() stops it.
"""

import argparse
import base64
import json
import os
import socket
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

ENDPOINT = "/cgi/u"


def bird_bytes(entry, catalogue_dir):
    if "path" in entry:
        path = entry["path"]
        if not os.path.isabs(path):
            path = os.path.join(catalogue_dir, path)
        with open(path, "rb") as f:
            return f.read()
    return entry.get("text", "").encode("latin-1")


def bird_payload(entry, catalogue_dir):
    if "base64" in entry:
        return entry["base64"]
    return base64.b64encode(bird_bytes(entry, catalogue_dir)).decode("ascii")


class Catalogue:
    """The devices, fingerprints and faults; relative BIRD paths are taken from directory."""

    def __init__(self, data, directory):
        self.directory = directory
        # Serial numbers travel as "%08X"; the catalogue may write them shorter or in lower case.
        self.devices = {"%08X" % int(k, 16): v for k, v in data.get("devices", {}).items()}
        self.fingerprints = {" ".join(k.upper().split()): v
                             for k, v in data.get("fingerprints", {}).items()}
        self.lock = threading.Lock()
        self.faults = dict(data.get("faults", {}))

    def fault_for(self, op):
        with self.lock:
            return self.faults.get(op) or self.faults.get("*")

    def set_fault(self, op, fault):
        with self.lock:
            self.faults[op] = fault

    def clear_faults(self):
        with self.lock:
            self.faults.clear()

    def answer(self, query):
        """The normal reply body (text) for one query."""
        op = query.get("op", "")
        handler = getattr(self, "op_" + op, None)
        if handler is None:
            return "error unknown operation\n"
        return handler(query)

    def device(self, query):
        return self.devices.get(query.get("sn", "").upper())

    def op_hi(self, query):
        return "ok\n"

    def op_qu(self, query):
        device = self.device(query)
        if device is None:
            return "error unknown device\n"
        return "ok\n%s\n%s\n" % (device.get("current", ""), device.get("fw", ""))

    def op_builds(self, query):
        device = self.device(query)
        if device is None:
            return "error unknown device\n"
        builds = device.get("builds", {})
        if isinstance(builds, list):
            lines = builds
        else:
            lines = ["%s;%s" % item for item in builds.items()]
        return "ok\n" + "".join(line + "\n" for line in lines)

    def op_bird(self, query):
        device = self.device(query)
        if device is None:
            return "error unknown device\n"
        if query.get("fw", "") != device.get("fw", ""):
            return "error wrong fw\n"
        entry = device.get("birds", {}).get(query.get("bld", ""))
        if entry is None:
            return "error no such build\n"
        return "ok\n%s\n" % bird_payload(entry, self.directory)

    def op_fix(self, query):
        words = " ".join(query.get("fp", "").upper().split())
        entry = self.fingerprints.get(words)
        if entry is None:
            return "error unknown fingerprint\n"
        return "ok\n%s\n%s\n" % (entry["serial"], entry["build"])


GARBLED = "ok\n@@not*base64!!\n;;\nzz\n"


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"
    server_version = "UpdateServer/1"

    def log_message(self, format, *args):  # keep standard error quiet
        pass

    def do_GET(self):
        target = urllib.parse.urlsplit(self.path)
        if target.path.startswith("/control/"):
            self.control(target)
            return
        self.server.request_log(self.path)
        if target.path != ENDPOINT:
            self.reply(404, "error not found\n")
            return
        query = dict(urllib.parse.parse_qsl(target.query, keep_blank_values=True))
        catalogue = self.server.catalogue
        fault = catalogue.fault_for(query.get("op", ""))
        if fault is None:
            self.reply(200, catalogue.answer(query))
        else:
            self.faulty_reply(fault, lambda: catalogue.answer(query))

    def faulty_reply(self, fault, normal_body):
        mode = fault.get("mode", "")
        if mode == "status":
            self.reply(int(fault.get("status", 500)), fault.get("body", "error"))
        elif mode == "notok":
            self.reply(200, "fail\n")
        elif mode == "emptybody":
            self.reply(200, "")
        elif mode == "empty":
            self.reply(200, "ok\n")
        elif mode == "garbled":
            self.reply(200, GARBLED)
        elif mode == "body":
            self.reply(200, fault.get("body", ""))
        elif mode == "stall":
            time.sleep(float(fault.get("seconds", 600)))
        elif mode == "drop":
            self.close_connection = True
            self.connection.shutdown(socket.SHUT_RDWR)
        elif mode == "trickle":
            self.trickle(normal_body().encode("latin-1"), int(fault.get("chunk", 16)),
                         float(fault.get("interval", 0.1)))
        elif mode == "delay":
            time.sleep(float(fault.get("seconds", 1)))
            self.reply(200, normal_body())
        else:
            self.reply(500, "error unknown fault mode %s\n" % mode)

    def control(self, target):
        query = dict(urllib.parse.parse_qsl(target.query, keep_blank_values=True))
        catalogue = self.server.catalogue
        if target.path == "/control/fault" and "op" in query:
            catalogue.set_fault(query.pop("op"), query)
        elif target.path == "/control/clear":
            catalogue.clear_faults()
        else:
            self.reply(404, "error unknown control\n")
            return
        self.reply(200, "ok\n")

    def send_head(self, status, length):
        self.send_response(status)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(length))
        self.end_headers()

    def reply(self, status, body):
        data = body.encode("latin-1")
        self.send_head(status, len(data))
        self.wfile.write(data)

    def trickle(self, data, chunk, interval):
        self.send_head(200, len(data))
        self.wfile.flush()
        for start in range(0, len(data), chunk):
            time.sleep(interval)
            self.wfile.write(data[start:start + chunk])
            self.wfile.flush()


def load_catalogue(path):
    with open(path, encoding="utf-8") as f:
        return Catalogue(json.load(f), os.path.dirname(os.path.abspath(path)))


class UpdateServer(ThreadingHTTPServer):
    daemon_threads = True  # a stalled answer must not hold up shutdown

    def __init__(self, port, catalogue, log_path=None):
        super().__init__(("127.0.0.1", port), Handler)
        self.catalogue = catalogue
        self.log_path = log_path
        self.log_lock = threading.Lock()

    def handle_error(self, request, client_address):
        pass  # a client that hangs up early (or a dropped answer) is part of the tests

    def request_log(self, target):
        if not self.log_path:
            return
        with self.log_lock, open(self.log_path, "a", encoding="latin-1") as f:
            f.write(target + "\n")


def main():
    parser = argparse.ArgumentParser(description="Reference update server (127.0.0.1 only)")
    parser.add_argument("--catalogue", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-file")
    parser.add_argument("--log")
    args = parser.parse_args()

    server = UpdateServer(args.port, load_catalogue(args.catalogue), args.log)
    port = server.server_address[1]
    if args.port_file:
        temporary = args.port_file + ".tmp"
        with open(temporary, "w") as f:
            f.write("%d\n" % port)
        os.replace(temporary, args.port_file)  # readers never see half a number
    print(port, flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
