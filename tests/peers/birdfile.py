#!/usr/bin/env python3
"""Writes BIRD firmware files, well-formed or deliberately broken, for tests and peers.

A BIRD file is the four bytes "bird", two non-zero header bytes and a zlib stream. The inflated
stream holds a 4-byte object count, the objects back to back (a type byte whose low five bits
are the type and high three bits the flags, a 4-byte length, then the data) and a 4-byte
checksum. Every number is big-endian, except the serial number inside a firmware image, which
is little-endian, and the serial-number text inside an image (at the offsets object's
descriptor address), which is 8 characters of 16-bit little-endian text.

As a module:
    import birdfile
    data = birdfile.make_bird(version="1.2.3", serial=0x40F5849A, model="Nutmeg")
    data = birdfile.wrap(birdfile.object_stream([birdfile.firmware(0x8000, b"...")]))

As a command:
    birdfile.py --out FILE [--version V] [--serial HEX] [--model NAME] [--image-size N] ...
    birdfile.py --out FILE --plan JSON     (JSON text, or - to read it from standard input)
    birdfile.py --batch                    (standard input: [{"out": FILE, "plan": {...}}, ...])

The JSON plan describes any file, broken ones included; every key is optional:
    {"objects": [{"kind": "firmware" | "loader", "address": N, "size": N, "fill": BYTE,
                  "hex": "...", "flags": N},
                 {"kind": "descriptor", "name": T, "version": T, "serial": T, "model": T},
                 {"kind": "offsets", "serial_address": N, "descriptor_address": N},
                 {"kind": "entry", "address": N},
                 {"kind": "raw", "type": N, "flags": N, "hex": "...", "length": N}],
     "count": N,             declared object count (default: the number of objects)
     "checksum": N,          trailing word (default: CRC-32 of the stream before it)
     "trailer_hex": "...",   bytes in place of the checksum word (any length)
     "stream_hex": "...",    the whole inflated stream, instead of objects
     "magic_hex": "...", "header_hex": "...",
     "zlib_cut": N,          drop N bytes from the end of the zlib data
     "file_hex": "..."}      the whole file, verbatim
"""

import argparse
import random
import json
import struct
import sys
import zlib

LOADER = 0
FIRMWARE = 1
OFFSETS = 2
DESCRIPTOR = 4
ENTRY = 5

MAGIC = b"bird"
HEADER = b"\x01\x01"
FIELD = 16


def pack_object(obj_type, data, flags=0, length=None):
    """One object: type byte, big-endian length (the real one unless length says otherwise)."""
    type_byte = (obj_type & 0x1F) | ((flags & 0x7) << 5)
    declared = len(data) if length is None else length
    return struct.pack(">BI", type_byte, declared) + bytes(data)


def image_pattern(size, seed=0):
    """Deterministic bytes that compress poorly, as real firmware does: a loader inflates into
    a buffer of 8 times the compressed size, so a file that compresses further cannot load."""
    return random.Random(seed).randbytes(size)


def image(obj_type, address, payload, flags=0):
    return pack_object(obj_type, struct.pack(">I", address) + bytes(payload), flags)


def firmware(address, payload, flags=0):
    return image(FIRMWARE, address, payload, flags)


def loader(address, payload, flags=0):
    return image(LOADER, address, payload, flags)


def field(text):
    """A descriptor field: exactly 16 characters, padded with spaces, no terminator."""
    raw = text.encode("latin-1") if isinstance(text, str) else bytes(text)
    return raw[:FIELD].ljust(FIELD, b" ")


def serial_text(serial):
    return "%08X" % serial if isinstance(serial, int) else serial


def descriptor(name="", version="", serial="", model="", flags=0):
    data = field(name) + field(version) + field(serial_text(serial)) + field(model)
    return pack_object(DESCRIPTOR, data, flags)


def offsets(serial_address=0, descriptor_address=0):
    return pack_object(OFFSETS, struct.pack(">II", serial_address, descriptor_address))


def entry(address):
    return pack_object(ENTRY, struct.pack(">I", address))


def object_stream(objects, count=None, checksum=None, trailer=None):
    """The inflated stream: count, objects, and the checksum word (or trailer bytes instead)."""
    body = struct.pack(">I", len(objects) if count is None else count) + b"".join(objects)
    if trailer is not None:
        return body + bytes(trailer)
    if checksum is None:
        checksum = zlib.crc32(body)
    return body + struct.pack(">I", checksum & 0xFFFFFFFF)


def wrap(stream, magic=MAGIC, header=HEADER, zlib_cut=0, level=9):
    compressed = zlib.compress(stream, level)
    if zlib_cut:
        compressed = compressed[:-zlib_cut]
    return bytes(magic) + bytes(header) + compressed


def serial_text_in_image(serial):
    """The serial number as firmware keeps it in its image text: 8 hexadecimal digits as 16-bit
    little-endian characters."""
    return b"".join(bytes((c, 0)) for c in serial_text(serial)[:8].encode("latin-1"))


def make_bird(objects=None, *, version="1.0.0", serial=0, model="Nutmeg", name="Updater build",
              image_size=4096, image_address=0x8000, loader_size=0, loader_address=0x20000000,
              serial_offset=None, descriptor_offset=None, entry_address=None, count=None,
              checksum=None, trailer=None, magic=MAGIC, header=HEADER, zlib_cut=0):
    """A BIRD file. Without objects: an optional loader, a firmware image holding the serial
    number (little-endian, at serial_offset) and its 16-bit text (at descriptor_offset), the
    descriptor object, the offsets object when either offset is given, and an entry object when
    entry_address is given."""
    if objects is None:
        objects = default_objects(version, serial, model, name, image_size, image_address,
                                  loader_size, loader_address, serial_offset, descriptor_offset,
                                  entry_address)
    stream = object_stream(objects, count=count, checksum=checksum, trailer=trailer)
    return wrap(stream, magic=magic, header=header, zlib_cut=zlib_cut)


def default_objects(version, serial, model, name, image_size, image_address, loader_size,
                    loader_address, serial_offset, descriptor_offset, entry_address):
    payload = bytearray(image_pattern(image_size))
    number = serial if isinstance(serial, int) else int(serial or "0", 16)
    if serial_offset is not None:
        payload[serial_offset:serial_offset + 4] = struct.pack("<I", number)
    if descriptor_offset is not None:
        copy = serial_text_in_image(serial)
        payload[descriptor_offset:descriptor_offset + len(copy)] = copy
    payload = bytes(payload[:image_size])
    objects = []
    if loader_size:
        objects.append(loader(loader_address, image_pattern(loader_size, seed=1)))
    objects.append(firmware(image_address, payload))
    objects.append(descriptor(name, version, serial, model))
    if serial_offset is not None or descriptor_offset is not None:
        objects.append(offsets(
            image_address + serial_offset if serial_offset is not None else 0,
            image_address + descriptor_offset if descriptor_offset is not None else 0))
    if entry_address is not None:
        objects.append(entry(entry_address))
    return objects


def object_from_plan(item):
    kind = item.get("kind", "raw")
    flags = item.get("flags", 0)
    if kind in ("firmware", "loader"):
        if "hex" in item:
            payload = bytes.fromhex(item["hex"])
        elif "fill" in item:
            payload = bytes([item["fill"]]) * item.get("size", 0)
        else:
            payload = image_pattern(item.get("size", 0))
        return image(FIRMWARE if kind == "firmware" else LOADER, item.get("address", 0), payload,
                     flags)
    if kind == "descriptor":
        return descriptor(item.get("name", ""), item.get("version", ""), item.get("serial", ""),
                          item.get("model", ""), flags)
    if kind == "offsets":
        return offsets(item.get("serial_address", 0), item.get("descriptor_address", 0))
    if kind == "entry":
        return entry(item.get("address", 0))
    if kind == "raw":
        return pack_object(item.get("type", 0), bytes.fromhex(item.get("hex", "")), flags,
                           item.get("length"))
    raise ValueError("unknown object kind: %r" % kind)


def file_from_plan(plan):
    if "file_hex" in plan:
        return bytes.fromhex(plan["file_hex"])
    if "stream_hex" in plan:
        stream = bytes.fromhex(plan["stream_hex"])
    else:
        trailer = bytes.fromhex(plan["trailer_hex"]) if "trailer_hex" in plan else None
        stream = object_stream([object_from_plan(o) for o in plan.get("objects", [])],
                               count=plan.get("count"), checksum=plan.get("checksum"),
                               trailer=trailer)
    return wrap(stream, magic=bytes.fromhex(plan.get("magic_hex", MAGIC.hex())),
                header=bytes.fromhex(plan.get("header_hex", HEADER.hex())),
                zlib_cut=plan.get("zlib_cut", 0))


def number(text):
    return int(text, 0)


def main(argv=None):
    parser = argparse.ArgumentParser(description="Write a BIRD firmware file.")
    parser.add_argument("--out", help="file to write ('-' for standard output)")
    parser.add_argument("--batch", action="store_true",
                        help="write every {out, plan} pair of a JSON list read from standard input")
    parser.add_argument("--plan", help="JSON description of the file, or - for standard input")
    parser.add_argument("--version", default="1.0.0")
    parser.add_argument("--serial", default="00000000", help="8 hexadecimal digits")
    parser.add_argument("--model", default="Nutmeg")
    parser.add_argument("--name", default="Updater build")
    parser.add_argument("--image-size", type=number, default=4096)
    parser.add_argument("--image-address", type=number, default=0x8000)
    parser.add_argument("--loader-size", type=number, default=0)
    parser.add_argument("--loader-address", type=number, default=0x20000000)
    parser.add_argument("--serial-offset", type=number, help="serial field's offset in the image")
    parser.add_argument("--descriptor-offset", type=number,
                        help="offset of the serial number's 16-bit text in the image")
    parser.add_argument("--entry", type=number, help="entry address (adds an entry object)")
    args = parser.parse_args(argv)

    if args.batch:
        for item in json.load(sys.stdin):
            write(item["out"], file_from_plan(item["plan"]))
        return 0
    if args.out is None:
        parser.error("--out or --batch is required")
    if args.plan is not None:
        text = sys.stdin.read() if args.plan == "-" else args.plan
        data = file_from_plan(json.loads(text))
    else:
        data = make_bird(version=args.version, serial=args.serial.upper(), model=args.model,
                         name=args.name, image_size=args.image_size,
                         image_address=args.image_address, loader_size=args.loader_size,
                         loader_address=args.loader_address, serial_offset=args.serial_offset,
                         descriptor_offset=args.descriptor_offset, entry_address=args.entry)
    write(args.out, data)
    return 0


def write(path, data):
    if path == "-":
        sys.stdout.buffer.write(data)
    else:
        with open(path, "wb") as out:
            out.write(data)


if __name__ == "__main__":
    sys.exit(main())
