# SPDX-License-Identifier: MIT
"""Turns the screen image Xvfb keeps in its -fbdir (an XWD file) into a PNG, with nothing but the
standard library: the GUI test saves one picture per page next to its log."""

import struct
import zlib

_FIELDS = 25  # CARD32 fields of the XWD file header


def _header(data):
    for order in (">", "<"):
        fields = struct.unpack(order + "%dI" % _FIELDS, data[: 4 * _FIELDS])
        if fields[1] == 7:  # XWD file version
            return fields
    raise ValueError("not an XWD version 7 image")


def xwd_to_png(xwd_path, png_path, box=None):
    """`box` (x, y, width, height) keeps that part of the screen only, a window's say."""
    with open(xwd_path, "rb") as f:
        data = f.read()
    h = _header(data)
    header_size, width, height = h[0], h[4], h[5]
    left, top = 0, 0
    if box is not None:
        x, y, w, hh = (int(v) for v in box)
        left, top = max(0, x), max(0, y)
        width, height = min(width, x + w) - left, min(height, y + hh) - top
        if width <= 0 or height <= 0:
            raise ValueError("the box %r lies off the screen" % (box,))
    byte_order, bits_per_pixel, bytes_per_line, ncolors = h[7], h[11], h[12], h[19]
    if bits_per_pixel != 32:
        raise ValueError("only 32-bit screens are supported, got %d" % bits_per_pixel)
    red_mask, green_mask, blue_mask = h[14], h[15], h[16]
    start = header_size + 12 * ncolors
    order = "<" if byte_order == 0 else ">"

    def shift(mask):
        return (mask & -mask).bit_length() - 1

    rs, gs, bs = shift(red_mask), shift(green_mask), shift(blue_mask)
    rows = bytearray()
    for y in range(top, top + height):
        first = start + y * bytes_per_line + 4 * left
        line = data[first : first + 4 * width]
        rows.append(0)  # PNG filter: none
        for (pixel,) in struct.iter_unpack(order + "I", line):
            rows += bytes(
                ((pixel & red_mask) >> rs, (pixel & green_mask) >> gs, (pixel & blue_mask) >> bs)
            )

    def chunk(kind, body):
        crc = zlib.crc32(kind + body) & 0xFFFFFFFF
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", crc)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(rows), 6))
    png += chunk(b"IEND", b"")
    with open(png_path, "wb") as f:
        f.write(png)
