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
    write(path, png_bytes(width, height, rgb))


def firmware(path, product_id, build, packets):
    # First message: the firmware-image start; then image packets of the
    # firmware transfer (product byte 0x60), 7-bit payload. The first packet's
    # payload begins with "build" and the build in two 7-bit bytes (high,
    # low): the simulated units come back with the build they were sent.
    out = bytes([0xF0, 0x00, 0x01, 0x38, 0x00, 0x60, 0x51, 0x00, 0xF7])
    for i in range(packets):
        payload = bytes(((product_id + build + i * 7 + j) & 0x7F) for j in range(32))
        if i == 0:
            payload = b"build" + bytes([(build >> 7) & 0x7F, build & 0x7F]) + payload[7:]
        out += bytes([0xF0, 0x00, 0x01, 0x38, 0x00, 0x60, 0x52, i & 0x7F]) + payload + bytes([0xF7])
    write(path, out)


# The layouts of the sample products' data (see README.md), by build.
LAYOUTS = {
    # product id, packets per step, step packet size, preset version, setup packets,
    # setup packet size, setup version, slots, name length, max steps
    ("Vesper", 120): (0x12, 2, 32, 3, 2, 48, 2, 20, 15, 4),
    ("Vesper", 140): (0x12, 2, 32, 4, 2, 48, 3, 30, 15, 6),
    ("Quill Duo", 210): (0x1A, 1, 64, 1, 1, 96, 1, 40, 12, 1),
    ("Quill Duo", 250): (0x1A, 1, 64, 2, 1, 96, 2, 50, 12, 1),
}

FIXED_TIME = (2026, 1, 15, 12, 0, 0)


def le32(value):
    return struct.pack("<i", value)


def text(value):
    return value.encode("utf-8") + b"\0"


def seven_bit_values(values):
    out = b""
    for v in values:
        v &= 0xFFFFFFF
        out += bytes([(v >> 21) & 0x7F, (v >> 14) & 0x7F, (v >> 7) & 0x7F, v & 0x7F])
    return out


def checksum(data):
    return (sum(data) & 0xFF) & 0x7F


def mwd(product, build, presets, setup_seed):
    """A device data file (".mwd") of the product at the build: presets is a
    list of (slot, name, steps), each step filled with values from its slot
    and step; the setup's values count up from setup_seed."""
    pid, k, step_size, preset_version, setup_packets, setup_size, setup_version, slots, name_length, max_steps = LAYOUTS[(product, build)]
    minor = build // 10 % 10
    out = text("0.1.1.0.136.0") + text(product) + text(f"0.1.{minor}.0.{build}.0")
    out += bytes([pid]) + b"".join(le32(v) for v in (k, step_size, preset_version, setup_packets, setup_size, setup_version, slots, name_length, max_steps))
    out += le32(slots)

    by_slot = {slot: (name, steps) for slot, name, steps in presets}
    per_packet = step_size // 4

    for slot in range(slots):
        if slot not in by_slot:
            out += le32(-1)
            continue

        name, steps = by_slot[slot]
        steps = min(steps, max_steps)
        packets = []
        for step in range(steps):
            values = [slot * 100 + step * 10 + (v % 10) for v in range(per_packet * k)]
            for j in range(k):
                data = seven_bit_values(values[j * per_packet:(j + 1) * per_packet])
                packets.append(bytes([0xF0, 0x00, 0x01, 0x38, 0x00, pid, 0x21, len(packets) & 0x7F]) + data + bytes([checksum(data), 0xF7]))

        name_bytes = name.encode("ascii")[:name_length].ljust(name_length, b"\0")
        out += le32(len(packets)) + le32(len(packets)) + b"\0" + le32(-1) + b"\1"
        out += le32(slot) + le32(preset_version) + le32(name_length) + name_bytes + le32(0) + le32(steps)
        out += le32(len(packets))
        for packet in packets:
            out += le32(len(packet)) + packet

    per_setup_packet = setup_size // 4
    values = [setup_seed + v for v in range(per_setup_packet * setup_packets)]
    out += le32(setup_version) + le32(setup_packets)
    for i in range(setup_packets):
        data = seven_bit_values(values[i * per_setup_packet:(i + 1) * per_setup_packet])
        packet = bytes([0xF0, 0x00, 0x01, 0x38, 0x00, pid, 0x13, (setup_version >> 7) & 0x7F, setup_version & 0x7F, i]) + data + bytes([checksum(data), 0xF7])
        out += le32(len(packet)) + packet
    return out


def archive(product, build, title, link_data, link_image, description="", pub_date=1768478400000):
    """An archive file ("ARCHIVE") of the maker, as the pack tool writes them."""
    digest = hashlib.md5(f"{product}/{build}/{title}/{link_data}".encode("utf-8")).hexdigest()
    pid = LAYOUTS[(product, build)][0]

    def escape(value):
        return value.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")

    return (
        '<?xml version="1.0" encoding="UTF-8"?>\n\n'
        "<ARCHIVE>\n"
        f"  <uuid>{digest[::-1]}</uuid>\n"
        f"  <md5>{digest}</md5>\n"
        "  <arVersion>136</arVersion>\n"
        f'  <product sysexId="{pid:02X}"/>\n'
        f"  <buildNo>{build}</buildNo>\n"
        '  <author name="Marrowell" id="100"/>\n'
        f"  <title>{escape(title)}</title>\n"
        f"  <description>{escape(description)}</description>\n"
        f"  <pubDate>{pub_date}</pubDate>\n"
        f"  <linkImage>{escape(link_image)}</linkImage>\n"
        f"  <linkData>{escape(link_data)}</linkData>\n"
        "</ARCHIVE>\n"
    ).encode("utf-8")


def presets_xml(product, entries):
    """A pack description: entries of (title, iconName, date, dataURL)."""
    out = '<?xml version="1.0" encoding="UTF-8"?>\n<PRESETS>\n' + f'  <product name="{product}"/>\n'
    for title, icon, date, data_url in entries:
        out += (
            "  <archive>\n"
            f"    <title>{title}</title>\n"
            f"    <description>{title} of the local content server</description>\n"
            f"    <iconName>{icon}</iconName>\n"
            f"    <date>{date}</date>\n"
            f"    <dataURL>{data_url}</dataURL>\n"
            "  </archive>\n"
        )
    return (out + "</PRESETS>\n").encode("utf-8")


def zip_of(path, entries):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with zipfile.ZipFile(path, "w") as z:
        for name, data in entries:
            info = zipfile.ZipInfo(name, date_time=FIXED_TIME)
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, data, compresslevel=9)


def png_bytes(width, height, rgb):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = (b"\x00" + bytes(rgb) * width) * height
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def vesper_pack(path):
    """Archives of both data formats in nested folders: Starter (build 140)
    with Live inside it (build 120, converted for a unit at 140), Studio/Deep
    (build 140, a picture file beside it), and one archive directly in the
    pack (build 120). Starter/presets.xml describes Starter's two entries for
    the pack tool."""
    starter = mwd("Vesper", 140, [(1, "Bright Lead", 2), (2, "Warm Double", 3), (3, "Octaver", 1)], 10)
    live = mwd("Vesper", 120, [(1, "Live Vox", 2), (4, "Stage Harmony", 4)], 20)
    deep = mwd("Vesper", 140, [(5, "Deep Room", 1)], 30)
    welcome = mwd("Vesper", 120, [(1, "Welcome", 1)], 40)

    zip_of(path, [
        ("Starter/presets.xml", presets_xml("Vesper", [
            ("Vesper Starter", "star", "2026-01-15 12:00:00", "starter.mwd"),
            ("Live Vox", "Live Vox 2.0", "2015-03-01 10:20:30", "Live/live_vox.mwd"),
        ])),
        ("Starter/readme.txt", b"Vesper Starter for Vesper\n"),
        ("Starter/starter.xml", archive("Vesper", 140, "Vesper Starter", "starter.mwd", "*archive_icon_star", "Three presets to begin with")),
        ("Starter/starter.mwd", starter),
        ("Starter/Live/live_vox.xml", archive("Vesper", 120, "Live Vox", "live_vox.mwd", "*archive_icon_Live_Vox_2_0", "Made on firmware 1.2")),
        ("Starter/Live/live_vox.mwd", live),
        ("Studio/Deep/deep_room.xml", archive("Vesper", 140, "Deep Room", "deep_room.mwd", "deep_room.png")),
        ("Studio/Deep/deep_room.mwd", deep),
        ("Studio/Deep/deep_room.png", png_bytes(8, 8, (30, 60, 90))),
        ("welcome.xml", archive("Vesper", 120, "Welcome", "welcome.mwd", "*")),
        ("welcome.mwd", welcome),
    ])


def quill_pack(path):
    """Starter at build 250 and Classics at build 210 (converted for a unit at 250)."""
    starter = mwd("Quill Duo", 250, [(1, "Duo Lead", 1), (2, "Duo Wide", 1)], 50)
    classic = mwd("Quill Duo", 210, [(3, "Old Duo", 1)], 60)

    zip_of(path, [
        ("Starter/presets.xml", presets_xml("Quill Duo", [("Quill Duo Starter", "star", "2026-01-15 12:00:00", "starter.mwd")])),
        ("Starter/readme.txt", b"Quill Duo Starter for Quill Duo\n"),
        ("Starter/starter.xml", archive("Quill Duo", 250, "Quill Duo Starter", "starter.mwd", "*archive_icon_star")),
        ("Starter/starter.mwd", starter),
        ("Classics/classic_duo.xml", archive("Quill Duo", 210, "Classic Duo", "classic_duo.mwd", "*archive_icon_star")),
        ("Classics/classic_duo.mwd", classic),
    ])


def hostile_packs(folder):
    """Packs that must be refused whole: each would write far more, or
    elsewhere, than a preset pack ever holds."""

    def build(name, entries):
        path = os.path.join(folder, name)
        zip_of(path, entries)
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

    # One fine entry, one with an absolute name.
    build("absolute.zip", [("Starter/presets.xml", b"<PRESETS/>\n"), ("/tmp/belvora-absolute.txt", b"evil\n")])

    # Unpacks fine, but its archives link to what lies outside the pack: a
    # backup of the user's (absolute, through "~", and up through ".."), the
    # web (the test server: "${SERVER}" as in served documents, put in by the
    # tests), and pictures likewise. Only "Links/fine.xml" is a proper archive.
    ok = mwd("Vesper", 140, [(1, "Fine", 1)], 70)
    backup = "~/.config/Marrowell/Belvora 2/Vesper/data/Vesper_000000.mwd"
    links = [
        ("abs_data", "Stolen backup", backup, "*"),
        ("up_data", "Climbing backup", "../../data/Vesper_000000.mwd", "*"),
        ("deep_up_data", "Deep climb", "sub/../../../data/Vesper_000000.mwd", "*"),
        ("web_data", "Web data", "${SERVER}/Belvora2/Vesper/packs/web.mwd", "*"),
        ("win_data", "Windows path", "C:\\Users\\Public\\Vesper_000000.mwd", "*"),
        ("unc_data", "Network path", "\\\\server\\share\\Vesper_000000.mwd", "*"),
        ("abs_image", "Absolute picture", "ok.mwd", "~/.config/Marrowell/Belvora 2/Vesper/vesper.png"),
        ("up_image", "Climbing picture", "ok.mwd", "../../vesper.png"),
        ("web_image", "Web picture", "ok.mwd", "${SERVER}/Belvora2/Vesper/images/vesper.png"),
        ("fine", "Fine", "ok.mwd", "*archive_icon_star"),
    ]
    entries = [("Links/ok.mwd", ok)]
    for name, title, link_data, link_image in links:
        entries.append((f"Links/{name}.xml", archive("Vesper", 140, title, link_data, link_image)))
    zip_of(os.path.join(folder, "links.zip"), entries)


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

    vesper_pack(os.path.join(ROOT, "Vesper/packs/vesper_presets.zip"))
    quill_pack(os.path.join(ROOT, "QuillDuo/packs/quill_duo_presets.zip"))

    hostile_packs(os.path.join(ROOT, "Hostile"))


if __name__ == "__main__":
    main()
