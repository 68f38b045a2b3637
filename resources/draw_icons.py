#!/usr/bin/python3
"""Draws the desktop face's images into resources/icons/ (PNG, and one ICO).

Plain shapes in the face's colours, so the program ships pictures of its own. The output is
deterministic: run it again after changing a drawing and commit the images it rewrites.
"""

import math
import pathlib
import struct
import sys
import zlib

DARK_BLUE = (0, 66, 128)
BLUE = (0, 113, 197)
LIGHT_BLUE = (0, 174, 239)
WHITE = (255, 255, 255)
BLACK = (30, 30, 30)
GREY = (128, 128, 128)
LIGHT_GREY = (215, 215, 215)
GREEN = (40, 170, 60)
DARK_GREEN = (0, 110, 0)
RED = (190, 0, 0)
MAGENTA = (171, 0, 97)
ORANGE = (255, 140, 0)
YELLOW = (255, 200, 0)


class Canvas:
    """RGBA pixels with a few filled shapes; a pixel is inside a shape when its centre is."""

    def __init__(self, width, height):
        self.width = width
        self.height = height
        self.pixels = [[(0, 0, 0, 0)] * width for _ in range(height)]

    def fill(self, inside, colour):
        rgba = colour + (255,) if len(colour) == 3 else colour
        for y in range(self.height):
            row = self.pixels[y]
            for x in range(self.width):
                if inside(x + 0.5, y + 0.5):
                    row[x] = rgba

    def rect(self, x0, y0, x1, y1, colour):
        self.fill(lambda x, y: x0 <= x < x1 and y0 <= y < y1, colour)

    def circle(self, cx, cy, radius, colour):
        self.fill(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2, colour)

    def ring(self, cx, cy, outer, inner, colour):
        self.fill(lambda x, y: inner ** 2 <= (x - cx) ** 2 + (y - cy) ** 2 <= outer ** 2, colour)

    def polygon(self, points, colour):
        def inside(x, y):
            crossings = 0
            for (ax, ay), (bx, by) in zip(points, points[1:] + points[:1]):
                if (ay > y) != (by > y) and x < ax + (y - ay) * (bx - ax) / (by - ay):
                    crossings += 1
            return crossings % 2 == 1
        self.fill(inside, colour)

    def line(self, ax, ay, bx, by, thickness, colour):
        length = math.hypot(bx - ax, by - ay)
        nx, ny = (ay - by) / length * thickness / 2, (bx - ax) / length * thickness / 2
        self.polygon([(ax + nx, ay + ny), (bx + nx, by + ny), (bx - nx, by - ny), (ax - nx, ay - ny)], colour)

    def gradient(self, top, bottom):
        for y in range(self.height):
            t = y / max(1, self.height - 1)
            colour = tuple(round(a + (b - a) * t) for a, b in zip(top, bottom)) + (255,)
            self.pixels[y] = [colour] * self.width

    def png(self):
        raw = b"".join(b"\0" + bytes(c for pixel in row for c in pixel) for row in self.pixels)

        def chunk(kind, data):
            return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

        header = struct.pack(">IIBBBBB", self.width, self.height, 8, 6, 0, 0, 0)
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
                + chunk(b"IEND", b""))

    def ico(self):
        """One 32-bit image: bitmap rows bottom-up in BGRA, then an all-clear AND mask."""
        pixels = b"".join(bytes((b, g, r, a)) for row in reversed(self.pixels) for r, g, b, a in row)
        mask_row = ((self.width + 31) // 32) * 4
        mask = bytes(mask_row * self.height)
        bitmap = struct.pack("<IiiHHIIiiII", 40, self.width, 2 * self.height, 1, 32, 0,
                             len(pixels) + len(mask), 0, 0, 0, 0) + pixels + mask
        directory = struct.pack("<HHH", 0, 1, 1)
        entry = struct.pack("<BBBBHHII", self.width % 256, self.height % 256, 0, 0, 1, 32, len(bitmap), 22)
        return directory + entry + bitmap


def cross(canvas, cx, cy, half, thickness, colour):
    canvas.line(cx - half, cy - half, cx + half, cy + half, thickness, colour)
    canvas.line(cx - half, cy + half, cx + half, cy - half, thickness, colour)


def bolt(canvas, x, y, scale, colour):
    shape = [(0.55, 0), (0.1, 0.55), (0.45, 0.55), (0.3, 1), (0.9, 0.4), (0.55, 0.4), (0.8, 0)]
    canvas.polygon([(x + px * scale, y + py * scale) for px, py in shape], colour)


def gear(canvas, size, colour):
    c = size / 2
    for step in range(8):
        angle = step * math.pi / 4
        canvas.line(c, c, c + math.cos(angle) * size * 0.47, c + math.sin(angle) * size * 0.47, size * 0.18, colour)
    canvas.circle(c, c, size * 0.33, colour)
    canvas.circle(c, c, size * 0.13, (0, 0, 0, 0))


def page(canvas, band):
    w, h = canvas.width, canvas.height
    canvas.polygon([(w * 0.15, h * 0.05), (w * 0.65, h * 0.05), (w * 0.85, h * 0.25), (w * 0.85, h * 0.95),
                    (w * 0.15, h * 0.95)], GREY)
    canvas.polygon([(w * 0.2, h * 0.09), (w * 0.62, h * 0.09), (w * 0.8, h * 0.27), (w * 0.8, h * 0.91),
                    (w * 0.2, h * 0.91)], WHITE)
    if band is not None:
        canvas.rect(w * 0.2, h * 0.45, w * 0.8, h * 0.7, band)


def battery(canvas, level):
    w, h = canvas.width, canvas.height
    canvas.rect(0, 0, w - 4, h, BLACK)
    canvas.rect(w - 4, h * 0.3, w, h * 0.7, BLACK)
    canvas.rect(2, 2, w - 6, h - 2, WHITE)
    if level is None:
        canvas.line(6, h - 5, w - 10, 5, 3, GREY)
        return
    colour = RED if level < 15 else ORANGE if level < 40 else GREEN
    canvas.rect(3, 3, 3 + (w - 10) * max(level, 5) / 100, h - 3, colour)


def phone(canvas, screen):
    w, h = canvas.width, canvas.height
    canvas.rect(w * 0.15, h * 0.05, w * 0.85, h * 0.95, BLACK)
    canvas.rect(w * 0.22, h * 0.12, w * 0.78, h * 0.8, screen)
    canvas.circle(w / 2, h * 0.88, w * 0.06, LIGHT_GREY)


def arrow(canvas, tip_up, colour):
    s = canvas.width
    if tip_up:
        canvas.polygon([(s * 0.5, s * 0.05), (s * 0.85, s * 0.45), (s * 0.15, s * 0.45)], colour)
        canvas.rect(s * 0.38, s * 0.44, s * 0.62, s * 0.7, colour)
    else:
        canvas.polygon([(s * 0.5, s * 0.7), (s * 0.85, s * 0.3), (s * 0.15, s * 0.3)], colour)
        canvas.rect(s * 0.38, s * 0.05, s * 0.62, s * 0.31, colour)


def tray(canvas, colour):
    s = canvas.width
    canvas.rect(s * 0.1, s * 0.75, s * 0.9, s * 0.95, colour)
    canvas.rect(s * 0.1, s * 0.55, s * 0.2, s * 0.8, colour)
    canvas.rect(s * 0.8, s * 0.55, s * 0.9, s * 0.8, colour)


def pencil(canvas, body):
    s = canvas.width
    canvas.line(s * 0.3, s * 0.7, s * 0.85, s * 0.15, s * 0.2, body)
    canvas.polygon([(s * 0.08, s * 0.92), (s * 0.17, s * 0.62), (s * 0.38, s * 0.83)], BLACK)


def draw(name):
    """The canvas of one image, by its file name."""
    c = None
    if name.startswith("battery_horizontal_"):
        c = Canvas(42, 22)
        level = name[len("battery_horizontal_"):].split("percent")[0]
        battery(c, None if level == "unknown.png" else int(level))
        return c
    size = 32
    c = Canvas(size, size)
    half = size / 2
    if name == "fatal.png":
        c.circle(half, half, 15, MAGENTA)
        c.rect(7, 13, 25, 19, WHITE)
    elif name == "error.png":
        c.circle(half, half, 15, RED)
        cross(c, half, half, 7, 4, WHITE)
    elif name == "alert.png":
        c.polygon([(half, 2), (31, 29), (1, 29)], ORANGE)
        c.rect(14, 10, 18, 21, BLACK)
        c.rect(14, 23, 18, 26, BLACK)
    elif name == "info.png":
        c.circle(half, half, 15, BLUE)
        c.rect(14, 13, 18, 26, WHITE)
        c.circle(half, 8, 2.5, WHITE)
    elif name == "debug.png":
        c.circle(half, half, 15, DARK_GREEN)
        for y in (9, 15, 21):
            c.rect(9, y, 23, y + 3, WHITE)
    elif name == "trace.png":
        c.circle(half, half, 15, GREY)
        for x in (9, 16, 23):
            c.circle(x, half, 2.5, WHITE)
    elif name == "round-cross.png":
        c.circle(half, half, 14, GREY)
        cross(c, half, half, 6, 3, WHITE)
    elif name == "Clear.png":
        page(c, None)
        cross(c, half, half + 2, 8, 4, RED)
    elif name in ("config.png", "preferences-system.png", "configuration-settings.png"):
        gear(c, size, {"config.png": BLUE, "preferences-system.png": GREY}.get(name, DARK_BLUE))
    elif name == "blank_file.png":
        page(c, None)
    elif name in ("fastboot_dnx_file.png", "fastboot_file.png", "ota_file.png", "unknown_file.png"):
        page(c, {"fastboot_dnx_file.png": DARK_BLUE, "fastboot_file.png": LIGHT_BLUE,
                 "ota_file.png": GREEN}.get(name, LIGHT_GREY))
    elif name == "doc.png":
        c.rect(5, 3, 27, 29, BLUE)
        for y in (9, 14, 19):
            c.rect(9, y, 23, y + 2, WHITE)
    elif name == "editor.png":
        pencil(c, BLUE)
    elif name == "edit.png":
        pencil(c, ORANGE)
    elif name == "export.png":
        arrow(c, True, GREEN)
        tray(c, GREY)
    elif name == "import.png":
        arrow(c, False, BLUE)
        tray(c, GREY)
    elif name == "update.png":
        c.circle(half, half, 15, GREEN)
        arrow(c, True, WHITE)
    elif name == "flash.png":
        bolt(c, 2, 1, 30, LIGHT_BLUE)
    elif name == "flash-logo-64.png":
        c = Canvas(64, 64)
        c.circle(32, 32, 31, DARK_BLUE)
        bolt(c, 12, 10, 44, YELLOW)
    elif name == "quillonlite.ico":
        c.circle(half, half, 15, BLUE)
        bolt(c, 6, 5, 22, WHITE)
    elif name == "phone_connected.png":
        c = Canvas(35, 60)
        phone(c, GREEN)
    elif name == "phone_disconnected.png":
        c = Canvas(35, 60)
        phone(c, LIGHT_GREY)
    elif name == "refresh.png":
        c.ring(half, half, 13, 8, GREEN)
        c.polygon([(half, half), (32, 0), (32, half)], (0, 0, 0, 0))
        c.polygon([(20, 2), (31, 9), (20, 16)], GREEN)
    elif name == "save.png":
        c.rect(3, 3, 29, 29, DARK_BLUE)
        c.rect(8, 3, 24, 12, WHITE)
        c.rect(9, 19, 23, 29, LIGHT_GREY)
    elif name == "weather-clear.png":
        for step in range(8):
            angle = step * math.pi / 4
            c.line(half, half, half + math.cos(angle) * 15, half + math.sin(angle) * 15, 3, ORANGE)
        c.circle(half, half, 9, YELLOW)
    elif name == "list-add.png":
        c.rect(13, 5, 19, 27, GREEN)
        c.rect(5, 13, 27, 19, GREEN)
    elif name == "list-remove.png":
        c.rect(5, 13, 27, 19, RED)
    elif name == "gpflag.png":
        c = Canvas(240, 24)
        for index, colour in enumerate((DARK_BLUE, BLUE, LIGHT_BLUE)):
            c.rect(index * 80, 0, index * 80 + 80, 24, colour)
    elif name == "title_qln.png":
        c = Canvas(300, 60)
        c.gradient(BLUE, DARK_BLUE)
        bolt(c, 10, 6, 48, YELLOW)
        c.rect(70, 26, 290, 34, LIGHT_BLUE)
    elif name == "vertical_banner.png":
        c = Canvas(103, 262)
        c.gradient(LIGHT_BLUE, DARK_BLUE)
        bolt(c, 20, 20, 64, WHITE)
        for y in range(120, 250, 20):
            c.rect(15, y, 88, y + 6, BLUE)
    elif name == "splash_quillon.png":
        c = Canvas(480, 300)
        c.gradient(DARK_BLUE, BLUE)
        c.ring(240, 130, 90, 78, LIGHT_BLUE)
        bolt(c, 180, 60, 130, YELLOW)
        c.rect(0, 270, 480, 300, WHITE)
    else:
        raise ValueError("no drawing for " + name)
    return c


NAMES = [
    "Clear.png", "alert.png", "blank_file.png", "config.png", "configuration-settings.png", "debug.png",
    "doc.png", "edit.png", "editor.png", "error.png", "export.png", "fastboot_dnx_file.png",
    "fastboot_file.png", "fatal.png", "flash-logo-64.png", "flash.png", "gpflag.png", "import.png",
    "info.png", "list-add.png", "list-remove.png", "ota_file.png", "phone_connected.png",
    "phone_disconnected.png", "preferences-system.png", "quillonlite.ico", "refresh.png", "round-cross.png",
    "save.png", "splash_quillon.png", "title_qln.png", "trace.png", "unknown_file.png", "update.png",
    "vertical_banner.png", "weather-clear.png",
] + ["battery_horizontal_%s.png" % level for level in
     ("0percent2", "10percent", "20percent", "40percent", "60percent", "80percent", "100percent", "unknown")]


def main():
    folder = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent / "icons")
    folder.mkdir(parents=True, exist_ok=True)
    for name in NAMES:
        canvas = draw(name)
        (folder / name).write_bytes(canvas.ico() if name.endswith(".ico") else canvas.png())
    return 0


if __name__ == "__main__":
    sys.exit(main())
