#!/usr/bin/env python3
"""Draws Arkivault's menu images (16x16 PNG), icons (ICO) and the desktop
menu's application icon (PNG in several sizes) into res/.

The pictures share one flat style: light fills, a dark slate outline, and
colour for what an action does (green adds, red removes or stops, blue
informs, amber is the backup archive). Shapes are drawn at 8x8 subsamples per
pixel and averaged, so edges are smooth. The generated files are committed;
run this only to change a picture:  python3 tools/make-images.py
"""
import math
import os
import struct
import zlib

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res")
SUB = 8  # subsamples per pixel along each axis

OUTLINE = (43, 58, 85)
PAPER = (250, 252, 255)
FOLD = (201, 214, 232)
TEXT = (150, 166, 190)
AMBER = (232, 163, 61)
AMBER_DARK = (184, 116, 26)
GREEN = (58, 166, 85)
RED = (214, 69, 65)
BLUE = (59, 125, 216)
BLUE_DARK = (38, 86, 160)
YELLOW = (242, 201, 76)
WHITE = (255, 255, 255)


class Canvas:
    """An RGBA picture drawn in a 16-unit coordinate space."""

    def __init__(self, size):
        self.size = size
        self.scale = size / 16.0
        self.pixels = [[(0.0, 0.0, 0.0, 0.0)] * size for _ in range(size)]

    def fill(self, inside, colour, alpha=1.0):
        """Paints `colour` where inside(x, y) holds (x, y in 16-unit space)."""
        step = 1.0 / SUB
        for py in range(self.size):
            for px in range(self.size):
                hits = 0
                for sy in range(SUB):
                    y = (py + (sy + 0.5) * step) / self.scale
                    for sx in range(SUB):
                        x = (px + (sx + 0.5) * step) / self.scale
                        if inside(x, y):
                            hits += 1
                if hits:
                    self._blend(px, py, colour, alpha * hits / (SUB * SUB))

    def _blend(self, px, py, colour, a):
        r, g, b, da = self.pixels[py][px]
        out = a + da * (1 - a)
        mix = [(c * a + d * da * (1 - a)) / out for c, d in zip(colour, (r, g, b))]
        self.pixels[py][px] = (mix[0], mix[1], mix[2], out)

    def rgba_rows(self):
        return [bytes(int(round(v)) for p in row
                      for v in (p[0], p[1], p[2], p[3] * 255)) for row in self.pixels]


# Shapes: predicates over the 16-unit plane.

def rect(x0, y0, x1, y1, radius=0.0):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + radius), x1 - radius)
        cy = min(max(y, y0 + radius), y1 - radius)
        return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2 + 1e-9
    return inside


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def polygon(points):
    def inside(x, y):
        result = False
        for (ax, ay), (bx, by) in zip(points, points[1:] + points[:1]):
            if (ay > y) != (by > y) and x < ax + (y - ay) * (bx - ax) / (by - ay):
                result = not result
        return result
    return inside


def segment(ax, ay, bx, by, width):
    length2 = (bx - ax) ** 2 + (by - ay) ** 2

    def inside(x, y):
        t = max(0.0, min(1.0, ((x - ax) * (bx - ax) + (y - ay) * (by - ay)) / length2))
        return (x - ax - t * (bx - ax)) ** 2 + (y - ay - t * (by - ay)) ** 2 <= width * width / 4
    return inside


def arc(cx, cy, r, width, start, end):
    """A ring sector from angle `start` to `end` (degrees, clockwise from 12 o'clock)."""
    def inside(x, y):
        d = math.hypot(x - cx, y - cy)
        if abs(d - r) > width / 2:
            return False
        angle = math.degrees(math.atan2(x - cx, cy - y)) % 360
        return start <= angle <= end if start <= end else angle >= start or angle <= end
    return inside


def without(shape, hole):
    return lambda x, y: shape(x, y) and not hole(x, y)


# Parts drawn with their outline.

def outlined_rect(c, x0, y0, x1, y1, colour, line=1.0, radius=0.0):
    c.fill(rect(x0, y0, x1, y1, radius), OUTLINE)
    c.fill(rect(x0 + line, y0 + line, x1 - line, y1 - line, max(0.0, radius - line)), colour)


def outlined_polygon(c, points, colour, line=1.0):
    c.fill(polygon(points), colour)
    for (ax, ay), (bx, by) in zip(points, points[1:] + points[:1]):
        c.fill(segment(ax, ay, bx, by, line), OUTLINE)


def outlined_circle(c, cx, cy, r, colour, line=1.0):
    c.fill(circle(cx, cy, r), OUTLINE)
    c.fill(circle(cx, cy, r - line), colour)


def document(c, x0, y0, x1, y1, lines=True):
    fold = min(3.0, (x1 - x0) / 3)
    outlined_polygon(c, [(x0, y0), (x1 - fold, y0), (x1, y0 + fold), (x1, y1), (x0, y1)], PAPER)
    outlined_polygon(c, [(x1 - fold, y0), (x1 - fold, y0 + fold), (x1, y0 + fold)], FOLD)
    if lines:
        y = y0 + fold + 2.5
        while y < y1 - 1.5:
            c.fill(segment(x0 + 2.2, y, x1 - 2.2, y, 0.9), TEXT)
            y += 2.2


def badge(c, colour):
    outlined_circle(c, 11.5, 11.5, 4.5, colour)


def archive_box(c, x0, y0, x1, y1):
    """The backup archive: an amber box with a lid and a handle slot."""
    lid = y0 + (y1 - y0) * 0.3
    outlined_rect(c, x0 + 0.8, lid - 0.5, x1 - 0.8, y1, AMBER, radius=0.6)
    outlined_rect(c, x0, y0, x1, lid + 0.5, AMBER_DARK, radius=0.6)
    mid = (x0 + x1) / 2
    c.fill(segment(mid - (x1 - x0) * 0.15, lid + (y1 - lid) * 0.35,
                   mid + (x1 - x0) * 0.15, lid + (y1 - lid) * 0.35, 1.2), OUTLINE)


def down_arrow(c, cx, top, bottom, half_width, colour):
    head = bottom - half_width * 1.1
    shaft = half_width * 0.45
    outlined_polygon(c, [(cx - shaft, top), (cx + shaft, top), (cx + shaft, head),
                         (cx + half_width, head), (cx, bottom), (cx - half_width, head),
                         (cx - shaft, head)], colour)


def window(c, x0, y0, x1, y1):
    outlined_rect(c, x0, y0, x1, y1, PAPER, radius=0.8)
    c.fill(rect(x0 + 1, y0 + 1, x1 - 1, y0 + 4), BLUE)
    c.fill(segment(x0 + 0.5, y0 + 4, x1 - 0.5, y0 + 4, 1.0), OUTLINE)


# The menu images.

def file_new(c):
    document(c, 2, 0.5, 12, 15.5)
    badge(c, GREEN)
    c.fill(segment(9, 11.5, 14, 11.5, 1.6), WHITE)
    c.fill(segment(11.5, 9, 11.5, 14, 1.6), WHITE)


def file_copy(c):
    document(c, 1, 0.5, 10, 11.5, lines=False)
    document(c, 5.5, 4, 14.5, 15.5)


def file_delete(c):
    document(c, 2, 0.5, 12, 15.5)
    badge(c, RED)
    c.fill(segment(9.8, 9.8, 13.2, 13.2, 1.6), WHITE)
    c.fill(segment(13.2, 9.8, 9.8, 13.2, 1.6), WHITE)


def file_edit(c):
    document(c, 1.5, 0.5, 11.5, 15.5)
    c.fill(segment(6.5, 14, 14.3, 6.2, 4.2), OUTLINE)
    c.fill(segment(7.3, 13.2, 14.3, 6.2, 2.4), YELLOW)
    c.fill(polygon([(5.2, 15.3), (6.0, 12.2), (8.3, 14.5)]), OUTLINE)


def file_full(c):
    archive_box(c, 1, 7, 15, 15.5)
    down_arrow(c, 8, 0.5, 9.5, 4.2, GREEN)


def file_inc(c):
    archive_box(c, 1, 7, 15, 15.5)
    down_arrow(c, 5.5, 1.5, 9.5, 3.2, BLUE)
    outlined_circle(c, 12, 3.5, 3.2, GREEN)
    c.fill(segment(10.2, 3.5, 13.8, 3.5, 1.2), WHITE)
    c.fill(segment(12, 1.7, 12, 5.3, 1.2), WHITE)


def file_cancel(c):
    outlined_circle(c, 8, 8, 7.5, RED)
    c.fill(rect(5, 5, 11, 11, 0.8), WHITE)


def file_close(c):
    window(c, 0.5, 1.5, 15.5, 14.5)
    c.fill(segment(5.5, 7, 10.5, 12, 1.8), RED)
    c.fill(segment(10.5, 7, 5.5, 12, 1.8), RED)


def file_exit(c):
    c.fill(circle(8, 8, 7.8), OUTLINE)
    c.fill(circle(8, 8, 6.8), RED)
    c.fill(arc(8, 8.5, 4, 1.7, 35, 325), WHITE)
    c.fill(segment(8, 2.8, 8, 8, 1.8), WHITE)


def file_open(c):
    window(c, 0.5, 1.5, 15.5, 14.5)
    c.fill(segment(5, 12, 11, 7, 1.8), GREEN)
    c.fill(polygon([(12, 5.8), (12.2, 10), (8, 6)]), GREEN)


def file_restore(c):
    archive_box(c, 1, 7, 15, 15.5)
    head = 0.5 + 4.2 * 1.1
    outlined_polygon(c, [(8 - 1.9, 9.5), (8 + 1.9, 9.5), (8 + 1.9, head), (12.2, head),
                         (8, 0.5), (3.8, head), (8 - 1.9, head)], BLUE)


def help_contents(c):
    outlined_rect(c, 2.5, 0.5, 14, 15.5, BLUE, radius=0.8)
    c.fill(rect(3.5, 1.5, 5.5, 14.5), BLUE_DARK)
    c.fill(rect(7, 4, 12.5, 7, 0.4), PAPER)
    c.fill(polygon([(10, 0.5), (12, 0.5), (12, 4), (11, 3), (10, 4)]), YELLOW)


def help_about(c):
    outlined_circle(c, 8, 8, 7.5, BLUE)
    c.fill(circle(8, 4.4, 1.3), WHITE)
    c.fill(rect(6.9, 6.6, 9.1, 12.6, 0.4), WHITE)


# The icons.

def backup_icon(frame):
    """The tray icon: the archive box; frames 1 to 4 add a turning progress mark."""
    def draw(c):
        archive_box(c, 0.5, 3.5, 15.5, 15.5)
        if frame:
            outlined_circle(c, 11, 5, 5, WHITE)
            start = (frame - 1) * 90
            c.fill(arc(11, 5, 2.4, 3.0, start, start + 90), GREEN)
    return draw


def job_icon(frame):
    """A job in the list: a document above the archive box; frames 1 to 4 move
    a green arrow from the document down into the box."""
    def draw(c):
        document(c, 4, 0.5, 12, 9)
        archive_box(c, 1, 8, 15, 15.5)
        if frame:
            top = 1 + (frame - 1) * 1.5
            down_arrow(c, 12.5, top, top + 5.5, 2.6, GREEN)
    return draw


def png_bytes(canvas):
    raw = b"".join(b"\x00" + row for row in canvas.rgba_rows())

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    header = struct.pack(">IIBBBBB", canvas.size, canvas.size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def ico_bytes(canvas):
    """One 32-bit image with alpha and its AND mask, bottom-up, as icon files hold it."""
    size = canvas.size
    rows = canvas.rgba_rows()
    colour = b"".join(bytes(v for i in range(0, len(row), 4)
                            for v in (row[i + 2], row[i + 1], row[i], row[i + 3]))
                      for row in reversed(rows))
    mask_stride = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x in range(size):
            if row[4 * x + 3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    info = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0,
                       len(colour) + len(mask), 0, 0, 0, 0)
    image = info + colour + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


# The application icon of the desktop menu, for the icon theme's size folders.
DESKTOP_ICON_SIZES = (16, 32, 48, 64, 128, 256)


def write(path, data):
    with open(path, "wb") as out:
        out.write(data)


def main():
    images = [file_new, file_copy, file_delete, file_edit, file_full, file_inc, file_cancel,
              file_close, file_exit, file_open, file_restore, help_contents, help_about]
    os.makedirs(os.path.join(ROOT, "images"), exist_ok=True)
    for draw in images:
        canvas = Canvas(16)
        draw(canvas)
        write(os.path.join(ROOT, "images", draw.__name__ + ".png"), png_bytes(canvas))
    icons = [("Backup.ico", 16, backup_icon(0))]
    icons += [("BackupRun%d.ico" % f, 16, backup_icon(f)) for f in range(1, 5)]
    icons += [("job.ico", 32, job_icon(0))]
    icons += [("jobRun%d.ico" % f, 32, job_icon(f)) for f in range(1, 5)]
    for name, size, draw in icons:
        canvas = Canvas(size)
        draw(canvas)
        write(os.path.join(ROOT, name), ico_bytes(canvas))
    for size in DESKTOP_ICON_SIZES:
        canvas = Canvas(size)
        backup_icon(0)(canvas)
        write(os.path.join(ROOT, "desktop", "arkivault-%d.png" % size), png_bytes(canvas))


if __name__ == "__main__":
    main()
