"""Contact sheets for eyeballing the artwork (not used by the build).

Writes to /tmp/artwork_preview/: sheet.png (first, middle and last frame of
every strip and every single picture, on a neutral and on a copper backdrop)
and panel_*.png (the background at editor size with every control composited
at its place, at a few settings)."""

import os

import numpy as np
from PIL import Image, ImageDraw, ImageFont

# Control bounds in the 512 x 512 editor: (picture, x, y, w, h, kind)
CONTROLS = [
    ("dialKnobStrip", 68, 176, 115, 115, "knob"),
    ("dialKnobStrip", 336, 175, 115, 115, "knob"),
    ("vuMeterStrip", 369, 44, 78, 78, "knob"),
    ("lampSmallStrip", 401, 373, 49, 49, "knob"),
    ("lampLargeStrip", 63, 373, 48, 48, "knob"),
    ("ledRingKnobStrip", 171, 437, 46, 46, "knob"),
    ("toggle", 232, 184, 50, 50, "button"),
    ("lamp", 242, 131, 28, 28, "button"),
    ("toggle", 167, 372, 50, 50, "button"),
    ("lamp", 178, 322, 28, 28, "button"),
    ("toggle", 231, 372, 50, 50, "button"),
    ("lamp", 243, 322, 28, 28, "button"),
    ("toggle", 296, 372, 50, 50, "button"),
    ("lamp", 307, 322, 28, 28, "button"),
    ("switch", 82, 66, 42, 22, "button"),
    ("ledRingKnobStrip", 213, 437, 46, 46, "knob"),
    ("ledRingKnobStrip", 255, 437, 46, 46, "knob"),
    ("ledRingKnobStrip", 297, 437, 46, 46, "knob"),
    ("ledRingKnobStrip", 235, 248, 46, 46, "knob"),
    ("credit", 194, 48, 120, 37, "button"),
]
# The TIME and MIX read-outs: (x, y, w, h)
READOUTS = [(66, 175, 115, 115), (334, 175, 115, 115)]


def load(res, name):
    return Image.open(os.path.join(res, name + ".png")).convert("RGBA")


def frame(im, k):
    w = im.size[0]
    n = im.size[1] // w
    k = max(0, min(n - 1, k))
    return im.crop((0, k * w, w, (k + 1) * w))


def knob_frame(im, value):
    w = im.size[0]
    n = im.size[1] // w
    return frame(im, int(np.ceil((n - 1) * value - 1e-9)))


def draw_knob(canvas, strip_img, x, y, w, h, value, scale):
    radius = min(w * 0.5, h * 0.5)
    side = 2 * int(radius)
    left = int(x + w * 0.5 - radius - 1)
    top = int(y + h * 0.5 - radius)
    s = int(round(side * scale))
    f = knob_frame(strip_img, value).resize((s, s), Image.LANCZOS)
    canvas.alpha_composite(f, (int(round(left * scale)), int(round(top * scale))))


def panel(res, out, values, on, label_text=("1000", "0.50"), scale=1, credit=False):
    size = int(round(512 * scale))
    bg = load(res, "backgroundImage").resize((size, size), Image.LANCZOS)
    c = bg.copy()
    imgs = {}
    for i, (name, x, y, w, h, kind) in enumerate(CONTROLS):
        if kind == "knob":
            if name not in imgs:
                imgs[name] = load(res, name)
            if name.startswith("lamp") and not on:
                continue
            draw_knob(c, imgs[name], x, y, w, h, values[i % len(values)], scale)
        else:
            if name == "credit":
                pic = "creditBannerImage" if credit else "creditBlankImage"
            elif name == "switch":
                pic = "switchOnImage" if on else "switchOffImage"
            else:
                pic = name + ("OnImage" if on else "OffImage")
            im = load(res, pic).resize((int(round(w * scale)), int(round(h * scale))), Image.LANCZOS)
            c.alpha_composite(im, (int(round(x * scale)), int(round(y * scale))))
    # the editor centres its read-outs both ways in these boxes, which puts
    # them on the middle of each big dial
    d = ImageDraw.Draw(c)
    f = ImageFont.truetype("/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf", int(round(12 * scale)))
    for txt, (x, y, w, h) in zip(label_text, READOUTS):
        d.text(((x + w / 2) * scale, (y + h / 2) * scale), txt, font=f, fill=(0, 128, 0, 255), anchor="mm")
    c.save(out)


def sheet(res, out):
    names = sorted(f[:-4] for f in os.listdir(res) if f.endswith(".png"))
    tiles = []
    for n in names:
        im = load(res, n)
        w, h = im.size
        if n == "backgroundImage":
            continue
        if h > w and h % w == 0:
            k = h // w
            fr = [frame(im, 0), frame(im, k // 2), frame(im, k - 1)]
        else:
            fr = [im]
        tiles.append((n, fr))
    cell = 220
    cols = 3
    rows = (len(tiles) + cols - 1) // cols
    W = cols * cell * 3
    sheet_img = Image.new("RGBA", (W, rows * (cell + 20)), (60, 60, 64, 255))
    d = ImageDraw.Draw(sheet_img)
    f = ImageFont.truetype("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", 13)
    for i, (n, frs) in enumerate(tiles):
        cx = (i % cols) * cell * 3
        cy = (i // cols) * (cell + 20)
        d.text((cx + 4, cy + 2), n, font=f, fill=(230, 230, 230, 255))
        for j, fimg in enumerate(frs):
            s = min((cell - 10) / fimg.size[0], (cell - 10) / fimg.size[1], 3.0)
            fi = fimg.resize((max(1, int(fimg.size[0] * s)), max(1, int(fimg.size[1] * s))), Image.LANCZOS)
            back = Image.new("RGBA", (cell - 4, cell - 4), (170, 100, 58, 255) if j % 2 else (40, 40, 44, 255))
            back.alpha_composite(fi, ((back.size[0] - fi.size[0]) // 2, (back.size[1] - fi.size[1]) // 2))
            sheet_img.alpha_composite(back, (cx + j * cell + 2, cy + 20))
    sheet_img.save(out)


def run(res, outdir):
    os.makedirs(outdir, exist_ok=True)
    sheet(res, os.path.join(outdir, "sheet.png"))
    if os.path.exists(os.path.join(res, "backgroundImage.png")):
        panel(res, os.path.join(outdir, "panel_min.png"), [0.0], False, ("000", "0.00"))
        panel(res, os.path.join(outdir, "panel_mid.png"), [0.5, 0.35, 0.62, 0.2, 0.05, 0.8], True, ("1000", "0.50"))
        panel(res, os.path.join(outdir, "panel_max.png"), [1.0], True, ("2000", "1.00"), credit=True)
        panel(res, os.path.join(outdir, "panel_mid_2x.png"), [0.5, 0.35, 0.62, 0.2, 0.05, 0.8], True,
              ("1/16T", "0.50"), scale=2)
        # the sizes the editor is usually seen at, with typical read-outs
        mixed = [0.3, 0.48, 0.62, 0.2, 0.05, 0.8, 1.0, 0.4, 0.0, 0.7]
        panel(res, os.path.join(outdir, "panel_512.png"), mixed, True, ("1/4T", "0.48"))
        panel(res, os.path.join(outdir, "panel_768.png"), mixed, True, ("1/4T", "0.48"), scale=1.5)
    print("previews in", outdir)
