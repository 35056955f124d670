#!/usr/bin/env python3
"""Writes the seed corpus of pe_fuzzer into fuzz/corpus: PE files shaped like real ones and the
hostile shapes the reader must survive. A name carrying "-stamp-YYYYMMDDTHHMMSS" is a file whose
resource stamp the reader must find; "-note-V" one whose version note is V; any other file must
give no stamp. The tests replay every file of the folder."""
import os
import struct

here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


def dos_stamp(y, mo, d, h, mi, s):
    return ((y - 1980) << 25) | (mo << 21) | (d << 16) | (h << 11) | (mi << 5) | (s // 2)


def pe(sections, stamped, stamp, pe32plus=False, pe_offset=0x80):
    opt = 240 if pe32plus else 224
    sect_at = pe_offset + 4 + 20 + opt
    data_at = sect_at + 40 * len(sections) + 16
    b = bytearray(data_at + 32 * len(sections))
    b[0:2] = b"MZ"
    struct.pack_into("<I", b, 60, pe_offset)
    b[pe_offset:pe_offset + 4] = b"PE\0\0"
    struct.pack_into("<HH", b, pe_offset + 4, 0x8664 if pe32plus else 0x014C, len(sections))
    struct.pack_into("<H", b, pe_offset + 4 + 16, opt)
    struct.pack_into("<H", b, pe_offset + 24, 0x020B if pe32plus else 0x010B)
    for i, name in enumerate(sections):
        h = sect_at + 40 * i
        b[h:h + len(name)] = name
        raw = data_at + 32 * i
        struct.pack_into("<II", b, h + 16, 32, raw)
        struct.pack_into("<I", b, raw + 4, stamp if i == stamped else 0xFFFFFFFF)
    return bytes(b)


def write(name, data):
    with open(os.path.join(here, name), "wb") as f:
        f.write(data)


os.makedirs(here, exist_ok=True)
stamp = dos_stamp(2014, 3, 5, 17, 41, 58)
good = pe([b".text", b".rdata", b".rsrc", b".reloc"], 2, stamp)
write("pe32-rsrc-stamp-20140305T174158", good)
write("pe32plus-rsrc-stamp-20140305T174158", pe([b".text", b".rsrc"], 1, stamp, pe32plus=True))
write("pe32-no-rsrc-last-stamp-20140305T174158", pe([b".text", b".data"], 1, stamp))
write("pe32-zero-stamp", pe([b".text", b".rsrc"], 1, 0))
write("pe32-stamp-not-a-date", pe([b".text", b".rsrc"], 1, 0x00010000))
write("pe32-no-sections", pe([], 0, stamp))
write("truncated-dos-header", good[:40])
write("truncated-pe-signature", good[:0x82])
write("truncated-file-header", good[:0x80 + 4 + 10])
write("truncated-optional-header", good[:0x80 + 4 + 20 + 100])
write("truncated-section-table", good[:0x80 + 4 + 20 + 224 + 60])
write("truncated-resource-directory", good[:len(good) - 32 * 2 - 30])
b = bytearray(good); struct.pack_into("<I", b, 60, 0xFFFFFFF0); write("pe-offset-past-end", bytes(b))
b = bytearray(good); struct.pack_into("<I", b, 60, 0x10); write("pe-offset-inside-dos-header", bytes(b))
b = bytearray(good); struct.pack_into("<I", b, 0x80 + 4 + 20 + 224 + 40 * 2 + 20, 0x7FFFFFFF)
write("section-offset-past-end", bytes(b))
b = bytearray(good); struct.pack_into("<H", b, 0x80 + 6, 0xFFFF)
write("section-count-past-end-rsrc-found-first-stamp-20140305T174158", bytes(b))
b = bytearray(pe([b".text", b".data"], 1, stamp)); struct.pack_into("<H", b, 0x80 + 6, 0xFFFF)
write("section-count-past-end", bytes(b))
write("only-mz", b"MZ")
write("elf-note-1.2.3.4", b"\x7fELF\x02\x01\x01" + bytes(57) + b"VELMORA-VERSION:\0VELMORA-VERSION:x\0VELMORA-VERSION:1.2.3.4\0" + bytes(20))
write("note-at-end", b"\x7fELF" + bytes(12) + b"VELMORA-VERSION:1.2")
