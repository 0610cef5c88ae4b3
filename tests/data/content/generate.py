#!/usr/bin/env python3
"""Writes the binary files of the sample content (pictures, firmware images,
preset packs). The XML documents and scripts are kept by hand; run this
again after changing the lists below."""

import hashlib
import os
import struct
import zipfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, "Belvora2")


def png(path, width, height, rgb):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    row = b"\x00" + bytes(rgb) * width
    raw = row * height
    data = b"\x89PNG\r\n\x1a\n"
    data += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    data += chunk(b"IDAT", zlib.compress(raw, 9))
    data += chunk(b"IEND", b"")
    write(path, data)


def firmware(path, product_id, build, packets):
    # First message: the firmware-image start; then image packets of the
    # firmware transfer (product byte 0x60), 7-bit payload.
    out = bytes([0xF0, 0x00, 0x01, 0x38, 0x00, 0x60, 0x51, 0x00, 0xF7])
    for i in range(packets):
        payload = bytes(((product_id + build + i * 7 + j) & 0x7F) for j in range(32))
        out += bytes([0xF0, 0x00, 0x01, 0x38, 0x00, 0x60, 0x52, i & 0x7F]) + payload + bytes([0xF7])
    write(path, out)


def pack(path, product_name, title):
    presets = (
        '<?xml version="1.0" encoding="UTF-8"?>\n'
        "<PRESETS>\n"
        f'  <product name="{product_name}"/>\n'
        "  <archive>\n"
        f"    <title>{title}</title>\n"
        "    <description>Sample presets of the local content server</description>\n"
        "    <iconName>star</iconName>\n"
        "    <date>2026-01-15 12:00:00</date>\n"
        "    <dataURL>starter.mwd</dataURL>\n"
        "  </archive>\n"
        "</PRESETS>\n"
    )
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("Starter/presets.xml", presets)
        z.writestr("Starter/readme.txt", f"{title} for {product_name}\n")


def hostile_packs(folder):
    """Packs that must be refused whole: each would write far more, or
    elsewhere, than a preset pack ever holds."""

    def entry(name):
        info = zipfile.ZipInfo(name, date_time=(2026, 1, 15, 12, 0, 0))
        info.compress_type = zipfile.ZIP_DEFLATED
        return info

    def build(name, entries):
        path = os.path.join(folder, name)
        os.makedirs(folder, exist_ok=True)
        with zipfile.ZipFile(path, "w") as z:
            for entry_name, data in entries:
                z.writestr(entry(entry_name), data, compresslevel=9)
        return path

    def claim_size(path, size):
        # The uncompressed size in every local and central header.
        data = bytearray(open(path, "rb").read())
        for signature, offset in ((b"PK\x03\x04", 22), (b"PK\x01\x02", 24)):
            at = data.find(signature)
            while at >= 0:
                data[at + offset:at + offset + 4] = struct.pack("<I", size)
                at = data.find(signature, at + 4)
        write(path, bytes(data))

    # Claims a gigabyte in a zip of a few hundred bytes.
    claim_size(build("gigabyte.zip", [("Starter/presets.xml", b"<PRESETS/>\n" * 64)]), 1 << 30)

    # Honest headers, but sixteen megabytes of nothing in a zip of a few kilobytes.
    build("ratio_bomb.zip", [("Starter/presets.xml", b"\0" * (16 << 20))])

    # Claims a thousand bytes and inflates to a megabyte.
    claim_size(build("liar.zip", [("Starter/presets.xml", b" " * (1 << 20))]), 1000)

    # One fine entry, one that leads out of the folder.
    build("slip.zip", [("Starter/presets.xml", b"<PRESETS/>\n"), ("../../outside.txt", b"evil\n")])


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def main():
    png(os.path.join(ROOT, "Vesper/images/vesper.png"), 16, 12, (40, 90, 160))
    png(os.path.join(ROOT, "Vesper/images/vesper_black.png"), 16, 12, (20, 20, 24))
    png(os.path.join(ROOT, "QuillDuo/images/quill_duo.png"), 16, 12, (170, 120, 60))

    firmware(os.path.join(ROOT, "Vesper/firmware/vesper_1_2_0_b120.syx"), 0x12, 120, 4)
    firmware(os.path.join(ROOT, "Vesper/firmware/vesper_1_4_0_b140.syx"), 0x12, 140, 4)
    firmware(os.path.join(ROOT, "Vesper/firmware/vesper_1_5_0_b150_beta.syx"), 0x12, 150, 4)
    firmware(os.path.join(ROOT, "QuillDuo/firmware/quill_duo_2_1_0_b210.syx"), 0x1A, 210, 6)
    firmware(os.path.join(ROOT, "QuillDuo/firmware/quill_duo_2_5_0_b250.syx"), 0x1A, 250, 6)

    pack(os.path.join(ROOT, "Vesper/packs/vesper_presets.zip"), "Vesper", "Vesper Starter")
    pack(os.path.join(ROOT, "QuillDuo/packs/quill_duo_presets.zip"), "Quill Duo", "Quill Duo Starter")

    hostile_packs(os.path.join(ROOT, "Hostile"))


if __name__ == "__main__":
    main()
