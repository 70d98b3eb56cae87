"""Small numpy raster toolkit used by make_artwork.py.

Everything works on float32 arrays.  Colour layers are premultiplied RGBA
(H, W, 4) in 0..1 so that blurring and downscaling never produce dark fringes
around cut-out shapes.  Shapes are described by signed distance
fields (negative inside) and turned into coverage with a one-pixel ramp; on top
of that every picture is drawn supersampled and reduced with Lanczos, which
gives clean edges without per-pixel Python loops.
"""

import math

import numpy as np
from PIL import Image, ImageDraw, ImageFont

FONT_DIR = "/usr/share/fonts/truetype/dejavu/"

# One light for the whole panel: upper left, fairly high.  Every picture uses
# it so knobs, lamps and the background agree about where the shadows fall.
LIGHT = np.array([-0.45, -0.62, 0.64], np.float32)
LIGHT /= np.linalg.norm(LIGHT)
HALF = LIGHT + np.array([0, 0, 1], np.float32)
HALF /= np.linalg.norm(HALF)


def rgb(hexstr):
    hexstr = hexstr.lstrip("#")
    return np.array([int(hexstr[i:i + 2], 16) / 255.0 for i in (0, 2, 4)], np.float32)


def grid(w, h):
    """Pixel-centre coordinates."""
    y, x = np.mgrid[0:h, 0:w].astype(np.float32)
    return x + 0.5, y + 0.5


def rotate_xy(x, y, cx, cy, deg):
    """Coordinates expressed in a frame turned clockwise (screen sense) by deg."""
    a = math.radians(deg)
    c, s = math.cos(a), math.sin(a)
    dx, dy = x - cx, y - cy
    return c * dx + s * dy, -s * dx + c * dy


def smoothstep(e0, e1, v):
    t = np.clip((v - e0) / (e1 - e0), 0.0, 1.0)
    return t * t * (3.0 - 2.0 * t)


def cover(sd, soft=1.0):
    """Coverage from a signed distance (negative inside)."""
    return np.clip(0.5 - sd / soft, 0.0, 1.0).astype(np.float32)


def sd_circle(x, y, cx, cy, r):
    return np.hypot(x - cx, y - cy) - r


def sd_box(x, y, x0, y0, x1, y1, r=0.0):
    """Rounded rectangle given by its outer corners."""
    cx, cy = (x0 + x1) * 0.5, (y0 + y1) * 0.5
    hw, hh = (x1 - x0) * 0.5 - r, (y1 - y0) * 0.5 - r
    qx = np.abs(x - cx) - hw
    qy = np.abs(y - cy) - hh
    out = np.hypot(np.maximum(qx, 0), np.maximum(qy, 0))
    ins = np.minimum(np.maximum(qx, qy), 0)
    return out + ins - r


def sd_segment(x, y, ax, ay, bx, by, r):
    px, py = x - ax, y - ay
    vx, vy = bx - ax, by - ay
    t = np.clip((px * vx + py * vy) / (vx * vx + vy * vy), 0, 1)
    return np.hypot(px - t * vx, py - t * vy) - r


def sd_tapered(x, y, ax, ay, bx, by, ra, rb):
    """Capsule whose radius runs from ra at a to rb at b (good enough for AA)."""
    px, py = x - ax, y - ay
    vx, vy = bx - ax, by - ay
    t = np.clip((px * vx + py * vy) / (vx * vx + vy * vy), 0, 1)
    return np.hypot(px - t * vx, py - t * vy) - (ra + (rb - ra) * t)


def sd_polygon(x, y, pts):
    """Convex polygon, points clockwise on screen; exact inside, approx outside."""
    d = None
    n = len(pts)
    for i in range(n):
        ax, ay = pts[i]
        bx, by = pts[(i + 1) % n]
        ex, ey = bx - ax, by - ay
        ln = math.hypot(ex, ey)
        # outward normal of a clockwise (screen) polygon
        nx, ny = ey / ln, -ex / ln
        di = (x - ax) * nx + (y - ay) * ny
        d = di if d is None else np.maximum(d, di)
    return d


def sd_hexagon(x, y, cx, cy, r, rot_deg=0.0):
    """Regular hexagon with circumradius r."""
    pts = []
    for k in range(6):
        a = math.radians(rot_deg + 60 * k)
        pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return sd_polygon(x, y, pts)


def box_blur_axis(a, rad, axis):
    if rad < 1:
        return a
    n = a.shape[axis]
    pad = [(0, 0)] * a.ndim
    pad[axis] = (rad + 1, rad)
    p = np.pad(a, pad, mode="edge")
    c = np.cumsum(p, axis=axis, dtype=np.float64)
    hi = np.take(c, np.arange(2 * rad + 1, 2 * rad + 1 + n), axis=axis)
    lo = np.take(c, np.arange(0, n), axis=axis)
    return ((hi - lo) / (2 * rad + 1)).astype(np.float32)


def blur(a, sx, sy=None):
    """Approximate gaussian (three box passes) with separate x and y sigma."""
    sy = sx if sy is None else sy
    out = a.astype(np.float32)
    for s, axis in ((sx, 1), (sy, 0)):
        if s <= 0:
            continue
        rad = int(round(math.sqrt(12 * s * s / 3 + 1) / 2 - 0.5))
        rad = max(rad, 1)
        for _ in range(3):
            out = box_blur_axis(out, rad, axis)
    return out


def shift(a, dx, dy):
    """Move an array by whole pixels, filling with zeros."""
    out = np.zeros_like(a)
    h, w = a.shape[:2]
    xs0, xd0 = (0, dx) if dx >= 0 else (-dx, 0)
    ys0, yd0 = (0, dy) if dy >= 0 else (-dy, 0)
    ww, hh = w - abs(dx), h - abs(dy)
    if ww > 0 and hh > 0:
        out[yd0:yd0 + hh, xd0:xd0 + ww] = a[ys0:ys0 + hh, xs0:xs0 + ww]
    return out


def normals(h, px=1.0):
    """Surface normals of a height field; px is the pixel size in the same
    unit as the heights."""
    gy, gx = np.gradient(h.astype(np.float32), px)
    nz = np.ones_like(gx)
    ln = np.sqrt(gx * gx + gy * gy + 1.0)
    return -gx / ln, -gy / ln, nz / ln


def lambert_spec(h, shin=30.0, px=1.0):
    nx, ny, nz = normals(h, px)
    ndl = np.clip(nx * LIGHT[0] + ny * LIGHT[1] + nz * LIGHT[2], 0, 1)
    ndh = np.clip(nx * HALF[0] + ny * HALF[1] + nz * HALF[2], 0, 1)
    return ndl, ndh ** shin, (nx, ny, nz)


def shade(h, albedo, amb=0.38, dif=0.75, spec=0.35, shin=30.0, spec_col=None, px=1.0):
    """Plain Blinn-Phong over a height field; albedo is (H,W,3) or a colour."""
    ndl, sp, _ = lambert_spec(h, shin, px)
    flat = LIGHT[2]
    lit = amb + dif * ndl / flat * 0.72  # flat surfaces land near 1.0
    col = np.asarray(albedo, np.float32)
    if col.ndim == 1:
        col = col[None, None, :]
    sc = np.ones(3, np.float32) if spec_col is None else np.asarray(spec_col, np.float32)
    if sc.ndim == 1:
        sc = sc[None, None, :]
    spec_a = np.asarray(spec, np.float32)
    if spec_a.ndim == 2:
        spec_a = spec_a[..., None]
    out = col * lit[..., None] + spec_a * sp[..., None] * sc
    return out.astype(np.float32)


def chrome(h, tint=(1.0, 1.0, 1.0), shin=60.0, gain=1.0, px=1.0):
    """Mirror-like metal: a studio environment (bright above, dark horizon band,
    warm floor) looked up by the reflected direction, plus a hot highlight."""
    nx, ny, nz = normals(h, px)
    # reflect the view vector (0,0,1) about the normal
    rx, ry, rz = 2 * nz * nx, 2 * nz * ny, 2 * nz * nz - 1
    up = -ry  # screen up
    env = 0.55 + 0.35 * np.tanh(up * 3.0) - 0.28 * np.exp(-((up + 0.15) ** 2) / 0.02)
    env += 0.12 * rz
    env += 0.10 * np.clip(-rx, 0, 1)
    ndh = np.clip(nx * HALF[0] + ny * HALF[1] + nz * HALF[2], 0, 1)
    env = env + 0.9 * ndh ** shin
    env = np.clip(env * gain, 0, 1.4)
    t = np.asarray(tint, np.float32)
    return (env[..., None] * t[None, None, :]).astype(np.float32)


class Layer:
    """Premultiplied RGBA canvas."""

    def __init__(self, w, h):
        self.w, self.h = w, h
        self.px = np.zeros((h, w, 4), np.float32)

    def paint(self, cov, color, alpha=1.0):
        """Source-over a colour (rgb vector or (H,W,3) array) through a coverage."""
        a = (cov * alpha).astype(np.float32)
        col = np.asarray(color, np.float32)
        if col.ndim == 1:
            col = col[None, None, :]
        src_rgb = col[..., :3] * a[..., None]
        inv = (1.0 - a)[..., None]
        self.px[..., :3] = src_rgb + self.px[..., :3] * inv
        self.px[..., 3] = a + self.px[..., 3] * inv[..., 0]
        return self

    def add_light(self, cov, color, amount=1.0):
        """Additive glow: brightens what is there and adds its own alpha."""
        a = np.clip(cov * amount, 0, None).astype(np.float32)
        col = np.asarray(color, np.float32)
        self.px[..., :3] += col[None, None, :] * a[..., None]
        self.px[..., 3] = np.clip(self.px[..., 3] + a * 1.0, 0, 1)
        self.px[..., :3] = np.minimum(self.px[..., :3], self.px[..., 3:4])
        return self




def downscale(px, w, h):
    """Lanczos reduction of a premultiplied layer."""
    out = np.empty((h, w, px.shape[2]), np.float32)
    for c in range(px.shape[2]):
        im = Image.fromarray(np.ascontiguousarray(px[..., c]), "F")
        out[..., c] = np.asarray(im.resize((w, h), Image.LANCZOS))
    return out


def to_rgba8(px, floor=1.5 / 255):
    """Premultiplied float -> straight-alpha 8-bit.  Near-invisible alpha is
    dropped and fully transparent pixels are zeroed, which keeps PNGs small."""
    a = np.clip(px[..., 3], 0, 1)
    a = np.where(a < floor, 0.0, a)
    safe = np.where(a > 0, a, 1.0)
    col = np.clip(px[..., :3] / safe[..., None], 0, 1)
    col = np.where(a[..., None] > 0, col, 0.0)
    out = np.concatenate([col, a[..., None]], axis=2)
    return (out * 255.0 + 0.5).astype(np.uint8)


# ----------------------------------------------------------------- text ---

_font_cache = {}


def font(name, size):
    key = (name, size)
    if key not in _font_cache:
        _font_cache[key] = ImageFont.truetype(FONT_DIR + name + ".ttf", size)
    return _font_cache[key]


def text_width(text, fnt, tracking=0.0):
    if tracking == 0:
        return fnt.getlength(text)
    return sum(fnt.getlength(ch) for ch in text) + tracking * (len(text) - 1)


def text_mask(w, h, text, fnt, cx, cy, tracking=0.0, anchor="m"):
    """Coverage mask of a line of text centred at (cx, cy).

    The vertical centre is the middle of the capital height, so captions in
    capitals line up with the shapes they label.  anchor 'l'/'r' puts cx at the
    left or right end instead."""
    im = Image.new("L", (w, h), 0)
    d = ImageDraw.Draw(im)
    tw = text_width(text, fnt, tracking)
    cap_top, cap_bottom = fnt.getbbox("H", anchor="ls")[1], 0
    cap_mid = (cap_top + cap_bottom) / 2.0
    x = {"m": cx - tw / 2.0, "l": cx, "r": cx - tw}[anchor]
    baseline = cy - cap_mid
    if tracking == 0:
        d.text((x, baseline), text, font=fnt, fill=255, anchor="ls")
    else:
        for ch in text:
            d.text((x, baseline), ch, font=fnt, fill=255, anchor="ls")
            x += fnt.getlength(ch) + tracking
    return np.asarray(im, np.float32) / 255.0


def glyph_mask(text, fnt, angle_deg=0.0):
    """A tightly cropped, rotated mask of some text (for rim numerals).
    Returns (mask, centre_x, centre_y) with the centre in mask pixels."""
    l, t, r, b = fnt.getbbox(text, anchor="mm")
    pad = 4
    w, h = int(r - l) + 2 * pad, int(b - t) + 2 * pad
    side = int(math.ceil(math.hypot(w, h))) + 2
    im = Image.new("L", (side, side), 0)
    d = ImageDraw.Draw(im)
    d.text((side / 2.0, side / 2.0), text, font=fnt, fill=255, anchor="mm")
    if angle_deg:
        im = im.rotate(-angle_deg, resample=Image.BICUBIC, center=(side / 2.0, side / 2.0))
    return np.asarray(im, np.float32) / 255.0, side / 2.0, side / 2.0


def stamp(dst, mask, cx, cy, mcx, mcy):
    """Max-combine a small mask into dst so that (mcx, mcy) lands on (cx, cy)."""
    h, w = mask.shape
    x0 = int(round(cx - mcx))
    y0 = int(round(cy - mcy))
    xs0, ys0 = max(0, -x0), max(0, -y0)
    xd0, yd0 = max(0, x0), max(0, y0)
    xd1 = min(dst.shape[1], x0 + w)
    yd1 = min(dst.shape[0], y0 + h)
    if xd1 <= xd0 or yd1 <= yd0:
        return dst
    sub = mask[ys0:ys0 + (yd1 - yd0), xs0:xs0 + (xd1 - xd0)]
    dst[yd0:yd1, xd0:xd1] = np.maximum(dst[yd0:yd1, xd0:xd1], sub)
    return dst


def noise(w, h, seed):
    return np.random.default_rng(seed).standard_normal((h, w)).astype(np.float32)


def save_png(arr_u8, path):
    Image.fromarray(arr_u8, "RGBA").save(path, format="PNG", optimize=True)
