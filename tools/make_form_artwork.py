#!/usr/bin/python3
"""Draws the pictures of the two windows' stored design data into app/forms/pictures/.

The output is committed; run this again only to change the artwork:
    /usr/bin/python3 tools/make_form_artwork.py   (the system Python that has python3-pil)
Needs python3-pil and the DejaVu fonts (tools/lib/deps.sh installs both).
"""
import math
import os
import struct
import sys

from PIL import Image, ImageDraw, ImageFont

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "app", "forms", "pictures")
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
SS = 4  # supersampling factor for smooth edges

TEAL = (18, 120, 130)
TEAL_DARK = (10, 72, 84)
AMBER = (242, 168, 48)
WHITE = (255, 255, 255)
MAGENTA = (255, 0, 255)  # mask colour of the button glyphs


def canvas(w, h):
    return Image.new("RGBA", (w * SS, h * SS), (0, 0, 0, 0))


def finish(img, w, h):
    return img.resize((w, h), Image.LANCZOS)


def vertical_gradient(w, h, top, bottom):
    g = Image.new("RGBA", (w, h))
    px = g.load()
    for y in range(h):
        t = y / max(h - 1, 1)
        c = tuple(round(top[i] + (bottom[i] - top[i]) * t) for i in range(3)) + (255,)
        for x in range(w):
            px[x, y] = c
    return g


def masked(fill, mask):
    out = Image.new("RGBA", fill.size, (0, 0, 0, 0))
    out.paste(fill, (0, 0), mask)
    return out


def logo(size=128):
    s = size * SS
    mask = Image.new("L", (s, s), 0)
    ImageDraw.Draw(mask).ellipse((4 * SS, 4 * SS, s - 4 * SS, s - 4 * SS), fill=255)
    img = masked(vertical_gradient(s, s, (30, 150, 160), TEAL_DARK), mask)
    d = ImageDraw.Draw(img)
    c = s / 2
    # an open ring: the host process ...
    r_out, r_in = 40 * SS, 27 * SS
    d.pieslice((c - r_out, c - r_out, c + r_out, c + r_out), 40, 320, fill=WHITE)
    d.ellipse((c - r_in, c - r_in, c + r_in, c + r_in), fill=(0, 0, 0, 0))
    img2 = Image.new("RGBA", img.size, (0, 0, 0, 0))
    img2.paste(img, (0, 0), mask)
    # ... refill the hole with the gradient, then the services inside it
    hole = Image.new("L", (s, s), 0)
    ImageDraw.Draw(hole).ellipse((c - r_in, c - r_in, c + r_in, c + r_in), fill=255)
    img2.paste(vertical_gradient(s, s, (30, 150, 160), TEAL_DARK), (0, 0), hole)
    d = ImageDraw.Draw(img2)
    sq = 9 * SS
    for dx, dy in ((-1, -1), (1, -1), (-1, 1), (1, 1)):
        x0 = c + dx * (sq * 0.6) - sq / 2
        y0 = c + dy * (sq * 0.6) - sq / 2
        d.rounded_rectangle((x0, y0, x0 + sq, y0 + sq), radius=2 * SS, fill=AMBER)
    return finish(img2, size, size)


def banner(w=125, h=49):
    W, H = w * SS, h * SS
    mask = Image.new("L", (W, H), 0)
    ImageDraw.Draw(mask).rounded_rectangle((SS, SS, W - SS, H - SS), radius=10 * SS, fill=255)
    img = masked(vertical_gradient(W, H, (30, 150, 160), TEAL_DARK), mask)
    d = ImageDraw.Draw(img)
    font = ImageFont.truetype(FONT, 24 * SS)
    text = "Corvale"
    box = d.textbbox((0, 0), text, font=font)
    tw, th = box[2] - box[0], box[3] - box[1]
    x, y = (W - tw) / 2 - box[0], (H - th) / 2 - box[1] - 2 * SS
    d.text((x + SS, y + SS), text, font=font, fill=(0, 0, 0, 90))
    d.text((x, y), text, font=font, fill=WHITE)
    d.rectangle((W * 0.2, H - 9 * SS, W * 0.8, H - 7 * SS), fill=AMBER)
    return finish(img, w, h)


def round_badge(size, colour):
    s = size * SS
    img = canvas(size, size)
    d = ImageDraw.Draw(img)
    d.ellipse((2 * SS, 2 * SS, s - 2 * SS, s - 2 * SS), fill=colour + (255,))
    d.ellipse((5 * SS, 5 * SS, s - 5 * SS, s - 5 * SS), outline=(255, 255, 255, 70), width=SS)
    return img, d, s


def link_chat(size=48):
    img, d, s = round_badge(size, TEAL)
    d.rounded_rectangle((12 * SS, 13 * SS, 36 * SS, 30 * SS), radius=5 * SS, fill=WHITE)
    d.polygon([(17 * SS, 29 * SS), (17 * SS, 37 * SS), (25 * SS, 29 * SS)], fill=WHITE)
    for x in (18, 24, 30):
        d.ellipse(((x - 2) * SS, 20 * SS, (x + 2) * SS, 24 * SS), fill=TEAL)
    return finish(img, size, size)


def link_share(size=48):
    img, d, s = round_badge(size, (196, 112, 24))
    pts = [(16, 24), (32, 15), (32, 33)]
    for a, b in ((0, 1), (0, 2)):
        d.line([(pts[a][0] * SS, pts[a][1] * SS), (pts[b][0] * SS, pts[b][1] * SS)],
               fill=WHITE, width=3 * SS)
    for x, y in pts:
        d.ellipse(((x - 5) * SS, (y - 5) * SS, (x + 5) * SS, (y + 5) * SS), fill=WHITE)
    return finish(img, size, size)


def glyph(w, h, draw):
    """A button glyph on the magenta mask colour, drawn smooth and then flattened."""
    img = canvas(w, h)
    draw(ImageDraw.Draw(img), w * SS, h * SS)
    small = finish(img, w, h)
    out = Image.new("RGB", (w, h), MAGENTA)
    px, src = out.load(), small.load()
    for y in range(h):
        for x in range(w):
            r, g, b, a = src[x, y]
            if a >= 96:  # hard edge: the mask colour must stay exact around the glyph
                px[x, y] = (r, g, b)
    return out


def draw_refresh(d, W, H):
    c = (W / 2, H / 2 + W * 0.04)
    r = W * 0.33
    d.arc((c[0] - r, c[1] - r, c[0] + r, c[1] + r), 10, 290, fill=TEAL + (255,), width=int(W * 0.15))
    a = W * 0.2
    tip = (c[0] + r, c[1] + a * 0.2)
    d.polygon([(tip[0] - a, tip[1]), (tip[0] + a, tip[1]), (tip[0], tip[1] - a * 1.2)],
              fill=TEAL + (255,))


def draw_save(d, W, H):
    u = W / 16
    d.rounded_rectangle((1 * u, 1 * u, 15 * u, 14 * u), radius=u, fill=TEAL_DARK + (255,))
    d.rectangle((4 * u, 1 * u, 12 * u, 6 * u), fill=(235, 240, 240, 255))
    d.rectangle((9.5 * u, 2 * u, 11 * u, 5 * u), fill=TEAL_DARK + (255,))
    d.rectangle((3.5 * u, 8.5 * u, 12.5 * u, 14 * u), fill=AMBER + (255,))


def draw_copy(d, W, H):
    u = W / 16
    d.rectangle((1 * u, 1 * u, 10 * u, 11 * u), fill=TEAL_DARK + (255,))
    d.rectangle((2.2 * u, 2.2 * u, 8.8 * u, 9.8 * u), fill=WHITE + (255,))
    d.rectangle((5 * u, 4 * u, 15 * u, 14.5 * u), fill=TEAL + (255,))
    d.rectangle((6.2 * u, 5.2 * u, 13.8 * u, 13.3 * u), fill=WHITE + (255,))
    for y in (7, 9, 11):
        d.rectangle((7.5 * u, y * u, 12.5 * u, (y + 0.8) * u), fill=TEAL + (255,))


def pointer_icon():
    """A 32 x 32 icon with an 8-bit palette: a pointing hand, for the link images' mouse pointer."""
    W = 32
    img = canvas(W, W)
    d = ImageDraw.Draw(img)
    u = SS
    outline, fill = (0, 0, 0, 255), (255, 255, 255, 255)
    shapes = [
        ("rr", (11, 2, 16, 18)),   # index finger
        ("rr", (15, 10, 20, 19)),  # middle finger
        ("rr", (19, 11, 24, 20)),  # ring finger
        ("rr", (23, 12, 28, 21)),  # little finger
        ("rr", (11, 15, 28, 29)),  # palm
        ("poly", [(11, 17), (5, 13), (3, 15), (11, 25)]),  # thumb
    ]
    for pad, colour in ((1, outline), (0, fill)):
        for kind, geo in shapes:
            if kind == "rr":
                x0, y0, x1, y1 = geo
                d.rounded_rectangle(((x0 - pad) * u, (y0 - pad) * u, (x1 + pad) * u, (y1 + pad) * u),
                                    radius=2.5 * u, fill=colour)
            else:
                pts = [(x * u, y * u) for x, y in geo]
                d.polygon(pts, fill=colour, outline=colour, width=pad * 2 * u if pad else 1)
    small = finish(img, W, W)
    # 8-bit palette: black, white, grey shades for the edges; colour 0 is black.
    palette = [(i * 255 // 15,) * 3 for i in range(16)] + [(0, 0, 0)] * 240
    px = small.load()
    idx = bytearray()
    andmask = bytearray()
    for y in range(W - 1, -1, -1):  # bottom-up rows
        bits = 0
        row_mask = bytearray()
        for x in range(W):
            r, g, b, a = px[x, y]
            transparent = a < 128
            grey = 0 if transparent else round((r + g + b) / 3 / 17)
            idx.append(grey)
            bits = (bits << 1) | (1 if transparent else 0)
            if x % 8 == 7:
                row_mask.append(bits)
                bits = 0
        andmask += row_mask  # 32 pixels = 4 bytes, already a multiple of 4
    header = struct.pack("<IiiHHIIiiII", 40, W, W * 2, 1, 8, 0, len(idx) + len(andmask), 0, 0, 256, 0)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    dib = header + pal + bytes(idx) + bytes(andmask)
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", W, W, 0, 0, 1, 8, len(dib), 6 + 16)
    return icondir + entry + dib


def main():
    if not os.path.exists(FONT):
        sys.exit("missing font " + FONT + " (install fonts-dejavu-core)")
    os.makedirs(OUT, exist_ok=True)
    pngs = {
        "logo.png": logo(),
        "banner.png": banner(),
        "link_chat.png": link_chat(),
        "link_share.png": link_share(),
    }
    for name, img in pngs.items():
        img.save(os.path.join(OUT, name), format="PNG", optimize=False)
    glyph(16, 16, draw_refresh).save(os.path.join(OUT, "refresh.bmp"), format="BMP")
    glyph(16, 15, draw_save).save(os.path.join(OUT, "save.bmp"), format="BMP")
    glyph(16, 15, draw_copy).save(os.path.join(OUT, "copy.bmp"), format="BMP")
    with open(os.path.join(OUT, "pointer.ico"), "wb") as f:
        f.write(pointer_icon())


if __name__ == "__main__":
    main()
