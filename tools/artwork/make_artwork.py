#!/usr/bin/python3
"""Draws every picture the Ovalmere editor uses and writes them to resources/.

    /usr/bin/python3 tools/artwork/make_artwork.py            # all pictures
    /usr/bin/python3 tools/artwork/make_artwork.py dialKnobStrip lampOnImage
    /usr/bin/python3 tools/artwork/make_artwork.py --check    # verify only
    /usr/bin/python3 tools/artwork/make_artwork.py --preview  # contact sheets

Needs Debian's python3-numpy and python3-pil and the DejaVu fonts, nothing
else.  Output is deterministic: noise comes from fixed seeds and PIL writes no
timestamp, so re-running produces byte-identical files and the PNGs only show
up in a diff when the drawing code really changed.

Geometry conventions shared by all knobs: angles are measured clockwise from
twelve o'clock; a pointer sweeps -135..+135 degrees; the light comes from the
upper left (artlib.LIGHT) so shadows fall to the lower right everywhere.
"""

import math
import os
import sys
import time

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from artlib import (Layer, blur, chrome, cover, downscale, font, glyph_mask,  # noqa: E402
                    grid, rgb, save_png, sd_box, sd_circle, sd_hexagon, sd_polygon,
                    sd_segment, sd_tapered, shade, shift, smoothstep, stamp,
                    text_mask, to_rgba8, noise, rotate_xy, text_width)

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
OUT_DIR = os.path.join(ROOT, "resources")
PREVIEW_DIR = "/tmp/artwork_preview"

SWEEP = 270.0
START = -135.0

# Palette.  Warm metals for the panel, near-black bakelite for knobs, one
# green for every "on" light so lamps and rings read as one family.
BLACK_KNOB = rgb("#121114")
CREAM = rgb("#f1e6c8")
GOLD = rgb("#d9a84e")
GOLD_DEEP = rgb("#9c6b22")
GOLD_SPEC = rgb("#fff0c0")
COPPER = rgb("#c4733e")
LAMP_GREEN = rgb("#46ff7a")
LED_GREEN = rgb("#c8ff3c")


# ------------------------------------------------------------ frame canvas ---

class Frame:
    """One supersampled square (or rectangular) drawing surface.  Coordinates
    x, y are in output pixels so the drawing code reads in final sizes."""

    def __init__(self, w, h=None, ss=4):
        h = w if h is None else h
        self.w, self.h, self.ss = w, h, ss
        gx, gy = grid(w * ss, h * ss)
        self.x, self.y = gx / ss, gy / ss
        self.px = 1.0 / ss
        self.layer = Layer(w * ss, h * ss)

    def cov(self, sd, soft=1.0):
        return cover(sd, self.px * soft)

    def polar(self, cx, cy):
        dx, dy = self.x - cx, self.y - cy
        r = np.hypot(dx, dy)
        theta = np.degrees(np.arctan2(dx, -dy))  # clockwise from top
        return r, theta

    def shadow(self, cov, dx, dy, sigma, alpha, color=(0, 0, 0)):
        s = self.ss
        sh = shift(cov, int(round(dx * s)), int(round(dy * s)))
        sh = blur(sh, sigma * s)
        self.layer.paint(sh, np.asarray(color, np.float32), alpha)

    def paint(self, cov, color, alpha=1.0):
        self.layer.paint(cov, color, alpha)

    def glow(self, cov, color, amount=1.0):
        self.layer.add_light(cov, color, amount)

    def result(self):
        small = downscale(self.layer.px, self.w, self.h)
        return to_rgba8(small)


def strip(size, frames, ss, draw):
    """Vertical film strip: draw(frame, t) for t = 0..1, frame 0 at the top."""
    out = np.zeros((size * frames, size, 4), np.uint8)
    for k in range(frames):
        fr = Frame(size, ss=ss)
        t = k / (frames - 1) if frames > 1 else 0.0
        draw(fr, t, k)
        out[k * size:(k + 1) * size] = fr.result()
    return out


def single(w, h, ss, draw):
    fr = Frame(w, h, ss)
    draw(fr)
    return fr.result()


def pointer_angle(t):
    return START + SWEEP * t


def ang_xy(cx, cy, r, deg):
    a = math.radians(deg)
    return cx + r * math.sin(a), cy - r * math.cos(a)


def wrap180(a):
    return (a + 180.0) % 360.0 - 180.0


def concentric_sheen(theta, amount, width=22.0):
    """Brushed concentric metal catches the light along the radius that points
    at the lamp and the opposite one."""
    la = -36.0  # the light's direction, clockwise from top
    d1 = wrap180(theta - la)
    d2 = wrap180(theta - la - 180.0)
    return amount * (np.exp(-(d1 / width) ** 2) + 0.55 * np.exp(-(d2 / width) ** 2))


# ------------------------------------------------------------ black dials ---

# Dial layout on its 128 grid.  The editor prints the value right on the
# dial's centre in 12-px green, so the middle is a pale display disc that
# stays put while the black face turns round it; it is wide enough for the
# longest read-out (about 42 editor pixels at the 115-pixel size) with room
# to spare.
DIAL_DISC_R = 29.0        # pale glass
DIAL_BEZEL_R = 32.5       # outer edge of the gold bezel round it
DISC_IVORY = rgb("#fbf6e6")
DISC_EDGE = rgb("#eadcb6")

_dial_disc_cache = {}


def dial_display_disc(w, ss):
    """The non-turning centre of the black dials, drawn once per size: a
    backlit ivory disc sunk in a raised gold bezel.  Returned as a
    premultiplied layer to lay over each frame."""
    key = (w, ss)
    if key in _dial_disc_cache:
        return _dial_disc_cache[key]
    fr = Frame(w, ss=ss)
    c = w / 2.0
    u = w / 128.0
    r, theta = fr.polar(c, c)
    rd, rb = DIAL_DISC_R * u, DIAL_BEZEL_R * u

    bez = fr.cov(r - rb)
    # the bezel stands proud of the black face
    fr.shadow(bez, 0.5 * u, 1.0 * u, 0.9 * u, 0.6)
    mid, half = (rd + rb) / 2.0, (rb - rd) / 2.0 + 0.4 * u
    hb = 1.8 * u * np.sqrt(np.clip(1 - ((r - mid) / half) ** 2, 0, 1))
    col = shade(hb, GOLD, amb=0.48, dif=0.7, spec=0.85, shin=22, spec_col=GOLD_SPEC, px=fr.px)
    col += (concentric_sheen(theta, 0.10))[..., None] * GOLD_SPEC
    fr.paint(bez, np.clip(col, 0, 1))
    fr.paint(fr.cov(np.abs(r - rb + 0.3 * u) - 0.3 * u), GOLD_DEEP, 0.7)

    # Glass: even and bright where the text sits, warming only at the rim so
    # that pure green keeps its contrast anywhere inside the read-out.
    disc = fr.cov(r - rd)
    rn = np.clip(r / rd, 0, 1)
    edge = smoothstep(0.6, 1.0, rn)[..., None]
    glass = DISC_IVORY * (1 - edge) + DISC_EDGE * edge
    fr.paint(disc, glass)
    # The bezel's inner wall throws a shadow onto the sunken glass, heaviest
    # on the side away from the light.
    s = fr.ss
    outside = 1.0 - disc
    inner = blur(shift(outside, int(round(0.9 * u * s)), int(round(1.6 * u * s))), 1.3 * u * s)
    fr.paint(inner * disc, rgb("#5a3c16"), 0.55)
    # a faint reflection of the window across the upper left of the glass
    hx, hy = c - 12.0 * u, c - 15.0 * u
    glare = np.exp(-(((fr.x - hx) / (11.0 * u)) ** 2 + ((fr.y - hy) / (5.0 * u)) ** 2))
    fr.paint(glare * disc * (rn > 0.55), rgb("#ffffff"), 0.35)
    # fine dark seam where glass meets metal
    fr.paint(fr.cov(np.abs(r - rd) - 0.35 * u), rgb("#4a3210"), 0.6)

    px = fr.layer.px.copy()
    _dial_disc_cache[key] = px
    return px


def draw_dial(fr, t, numbered):
    """Black dial that turns clockwise under a fixed gold marker at the top.

    The scale is laid out counter-clockwise on the dial so that turning it
    clockwise brings ever larger values under the marker.  Only the outer
    face and its knurled skirt turn; the display disc in the middle does not,
    so the editor's read-out never looks as if it were printed on the dial."""
    c = fr.w / 2.0
    u = fr.w / 128.0          # drawn on a 128 grid
    px = fr.px
    r, theta = fr.polar(c, c)
    phi = SWEEP * t
    # The numbered dial needs its figures between the bezel and the ticks,
    # so its knurled skirt is a little narrower.
    R = 46 * u
    Rs, Rf = ((44.0, 42.3) if numbered else (42.8, 40.8))
    Rs, Rf = Rs * u, Rf * u

    body = fr.cov(r - R)
    # Only a tight contact shadow here: the wide soft one is painted into the
    # background under the two dial housings, where it never changes.
    fr.shadow(body, 0.6 * u, 1.2 * u, 1.2 * u, 0.7)

    # Height profile: rounded skirt with knurling and a flat face.
    lam = np.radians(theta - phi)
    ts = np.clip((R - r) / (R - Rs), 0, 1)
    h = 5.0 * u * (1 - (1 - ts) ** 2)
    knurl = 0.5 + 0.5 * np.cos(lam * 90)
    skirt = (r > Rf) & (r < R)
    h = h + np.where(skirt, 0.55 * u * knurl * smoothstep(R, R - 1.2 * u, r), 0)
    bev = np.clip((Rs - r) / (Rs - Rf), 0, 1)
    h = h + 0.6 * u * bev

    alb = np.empty(r.shape + (3,), np.float32)
    alb[:] = BLACK_KNOB
    spec = np.full(r.shape, 0.45, np.float32)

    # Scale printed on the face.
    mu = (phi - theta + 45.0) % 360.0 - 45.0      # ccw offset from the dial's zero
    step = 5.4
    k = np.clip(np.round(mu / step), 0, 50)
    dang = np.radians(mu - k * step)
    perp = np.abs(r * np.sin(dang))
    major = (k % 5) == 0
    if numbered:
        r0 = np.where(major, 39.4, 40.2) * u
        r1 = 41.9 * u
    else:
        r0 = np.where(major, 34.2, 36.6) * u
        r1 = 40.2 * u
    wid = np.where(major, 1.35, 0.7) * u
    tick = fr.cov(perp - wid) * fr.cov(r0 - r) * fr.cov(r - r1)
    tick *= (np.abs(mu - k * step) < 3.0)
    paint = tick
    if numbered:
        fnt = font("DejaVuSansCondensed-Bold", int(round(8.6 * u * fr.ss)))
        nums = np.zeros_like(r)
        for n in range(11):
            a = phi - 27.0 * n
            nx, ny = ang_xy(c, c, 36.2 * u, a)
            m, mx, my = glyph_mask(str(n), fnt, a)
            stamp(nums, m, nx * fr.ss, ny * fr.ss, mx, my)
        paint = np.maximum(paint, nums)
    alb = alb * (1 - paint[..., None]) + CREAM * paint[..., None]
    spec = spec * (1 - 0.5 * paint)

    col = shade(h, alb, amb=0.55, dif=0.55, spec=spec, shin=26, px=px)
    # knurl grooves read darker than their shading alone makes them
    col *= (1 - 0.35 * (1 - knurl) * skirt)[..., None]
    fr.paint(body, col)

    disc = dial_display_disc(fr.w, fr.ss)
    fr.layer.px = disc + fr.layer.px * (1 - disc[..., 3:4])

    # Fixed marker: a small gold arrow pointing down at the scale.
    # Its tip reaches just into the outer ends of the ticks, so the mark under
    # it stays readable.
    tip_y = c - (40.6 if numbered else 38.2) * u
    tri = [(c - 5.0 * u, 11.0 * u), (c + 5.0 * u, 11.0 * u), (c, tip_y)]
    sd = sd_polygon(fr.x, fr.y, tri)
    mk = fr.cov(sd)
    fr.shadow(mk, 0.8 * u, 1.5 * u, 1.0 * u, 0.75)
    hm = np.clip(-sd, 0, 2.2 * u)
    mcol = shade(hm, GOLD, amb=0.5, dif=0.7, spec=0.8, shin=20, spec_col=GOLD_SPEC, px=px)
    fr.paint(mk, mcol)
    edge = fr.cov(np.abs(sd + 0.25 * u) - 0.35 * u) * mk
    fr.paint(edge, GOLD_DEEP, 0.6)


# ------------------------------------------------------------- small knobs ---

# LED-ring knob on its 72 grid: the dark plate's radius and the radius
# beyond which nothing lights up.
LED_PLATE_R = 28.8
LED_RING_OUT = 30.0


def knurled_skirt_height(r, theta, rot, r_out, r_in, height, ridges, depth):
    """Rounded cylindrical skirt with knurling that turns with the knob."""
    ts = np.clip((r_out - r) / max(r_out - r_in, 1e-6), 0, 1)
    h = height * (1 - (1 - ts) ** 2)
    kn = 0.5 + 0.5 * np.cos(np.radians(theta - rot) * ridges)
    ring = (r > r_in - 0.5) & (r < r_out)
    return h + np.where(ring, depth * kn, 0), kn, ring


def draw_led_ring(fr, t, k):
    """Dark knob with a yellow dot, inside a ring of fifteen yellow-green LEDs
    that fills clockwise with the value."""
    c = fr.w / 2.0
    u = fr.w / 72.0
    r, theta = fr.polar(c, c)
    rot = pointer_angle(t)

    # The bottom-row knobs are shown 46 pixels wide but sit only 42 apart, so
    # everything that lights up stays inside LED_RING_OUT: at the 46-pixel size
    # the lit ring is under 40 pixels across and neighbours keep a clear gap.
    # The panel has a socket of the same size under each knob.
    ring_out = LED_PLATE_R * u
    ring_sd = r - ring_out
    ring_cov = fr.cov(ring_sd)
    fr.shadow(ring_cov, 0.4 * u, 0.8 * u, 0.7 * u, 0.55)
    hr = 1.4 * u * np.clip(-ring_sd / (1.5 * u), 0, 1) ** 0.6
    col = shade(hr, rgb("#15120e"), amb=0.6, dif=0.5, spec=0.25, shin=18, px=fr.px)
    fr.paint(ring_cov, col)
    groove = fr.cov(np.abs(r - 20.3 * u) - 0.45 * u)
    fr.paint(groove, rgb("#000000"), 0.6)

    n = 15
    glow = np.zeros_like(r)
    lit_core = np.zeros_like(r)
    led_r, led_rad = 24.6 * u, 2.25 * u
    off_mask = np.zeros_like(r)
    for i in range(n):
        a = START + SWEEP * i / (n - 1)
        lx, ly = ang_xy(c, c, led_r, a)
        b = float(np.clip(t * n - i, 0, 1))
        d = sd_circle(fr.x, fr.y, lx, ly, led_rad)
        m = fr.cov(d)
        off_mask = np.maximum(off_mask, m)
        if b > 0:
            lit_core = np.maximum(lit_core, m * b)
            glow = np.maximum(glow, np.exp(-np.maximum(d + led_rad * 0.3, 0) ** 2 / (2 * (2.0 * u) ** 2)) * b)
    # the halo fades out before the plate's edge, so a lit ring is no wider
    # than the dark one
    glow *= smoothstep(LED_RING_OUT * u, (LED_PLATE_R - 1.5) * u, r)
    # unlit LEDs: dark tinted glass with a pin-point reflection
    off_col = np.empty(r.shape + (3,), np.float32)
    off_col[:] = rgb("#2a3214")
    fr.paint(off_mask, off_col)
    for i in range(n):
        a = START + SWEEP * i / (n - 1)
        lx, ly = ang_xy(c, c, led_r, a)
        fr.paint(fr.cov(sd_circle(fr.x, fr.y, lx - 0.7 * u, ly - 0.7 * u, 0.65 * u)), rgb("#ffffff"), 0.35)
    # lit LEDs: halo first, then the hot core
    fr.glow(glow * (1 - off_mask), LED_GREEN, 0.55)
    core_col = LED_GREEN * 0.85 + 0.15
    fr.paint(lit_core, core_col)
    fr.glow(glow * off_mask * 0.35, rgb("#ffffff"), 0.5)

    # knob
    R, Rc = 17.6 * u, 14.0 * u
    body = fr.cov(r - R)
    fr.shadow(body, 1.0 * u, 1.7 * u, 1.3 * u, 0.75)
    h, kn, skirt = knurled_skirt_height(r, theta, rot, R, Rc, 3.0 * u, 36, 0.33 * u)
    cap = r < Rc
    h = h + np.where(cap, 0.5 * u * np.sqrt(np.clip(1 - (r / Rc) ** 2, 0, 1)), 0)
    col = shade(h, rgb("#232226"), amb=0.55, dif=0.6, spec=0.45, shin=30, px=fr.px)
    col += (concentric_sheen(theta, 0.12) * cap * (r < Rc - 0.2 * u))[..., None]
    col *= (1 - 0.3 * (1 - kn) * skirt)[..., None]
    fr.paint(body, col)
    dx, dy = ang_xy(c, c, 10.2 * u, rot)
    dr = 2.3 * u
    dsd = sd_circle(fr.x, fr.y, dx, dy, dr)
    dot = fr.cov(dsd)
    hd = 0.8 * u * np.sqrt(np.clip(1 - ((np.hypot(fr.x - dx, fr.y - dy)) / dr) ** 2, 0, 1))
    dcol = shade(hd, rgb("#ffd21e"), amb=0.7, dif=0.45, spec=0.7, shin=25, px=fr.px)
    fr.paint(dot, dcol)


def draw_gold_knob(fr, t, k):
    """Fluted gold knob on a black dial plate printed with a red and white scale."""
    c = fr.w / 2.0
    u = fr.w / 65.0
    r, theta = fr.polar(c, c)
    rot = pointer_angle(t)

    plate = fr.cov(r - 31.5 * u)
    fr.shadow(plate, 0.4 * u, 0.8 * u, 0.6 * u, 0.5)
    hp = 0.8 * u * np.clip((31.5 * u - r) / (1.2 * u), 0, 1)
    fr.paint(plate, shade(hp, rgb("#141213"), amb=0.6, dif=0.5, spec=0.3, shin=20, px=fr.px))
    # scale: white ticks, red arc outside them
    mu = (theta - START) % 360.0
    in_sweep = mu <= SWEEP + 0.01
    step = SWEEP / 20
    kk = np.clip(np.round(mu / step), 0, 20)
    perp = np.abs(r * np.sin(np.radians(mu - kk * step)))
    major = (kk % 2) == 0
    r0 = np.where(major, 23.0, 25.0) * u
    tick = fr.cov(perp - np.where(major, 0.75, 0.45) * u) * fr.cov(r0 - r) * fr.cov(r - 27.8 * u)
    tick *= (np.abs(mu - kk * step) < 6) & (mu < SWEEP + 3)
    fr.paint(tick, rgb("#f4f1ea"))
    arc = fr.cov(np.abs(r - 29.6 * u) - 1.0 * u)
    ends = np.minimum(mu, SWEEP - mu)
    arc *= np.clip(ends * r * math.pi / 180 / fr.px + 0.5, 0, 1) * in_sweep
    fr.paint(arc, rgb("#d8262b"))

    R = 21.0 * u
    body = fr.cov(r - R)
    fr.shadow(body, 1.0 * u, 1.8 * u, 1.5 * u, 0.7)
    ts = np.clip((R - r) / (4.0 * u), 0, 1)
    h = 4.0 * u * (1 - (1 - ts) ** 2)
    flute = np.abs(np.sin(np.radians(theta - rot) * 12))
    skirt = r > 16.5 * u
    h = h - np.where(skirt, 0.7 * u * (1 - flute) ** 3 * smoothstep(R, R - 1.5 * u, r), 0)
    cap_r = 15.5 * u
    h = h + np.where(r < cap_r, 1.2 * u * np.sqrt(np.clip(1 - (r / cap_r) ** 2, 0, 1)), 0)
    col = shade(h, GOLD, amb=0.45, dif=0.7, spec=0.75, shin=22, spec_col=GOLD_SPEC, px=fr.px)
    col += (concentric_sheen(theta, 0.18) * (r < cap_r))[..., None] * GOLD_SPEC
    fr.paint(body, col)
    ax, ay = ang_xy(c, c, 4.0 * u, rot)
    bx, by = ang_xy(c, c, 19.0 * u, rot)
    line = fr.cov(sd_segment(fr.x, fr.y, ax, ay, bx, by, 1.0 * u))
    fr.paint(line, rgb("#3a1f0a"), 0.9)


def draw_grille_knob(fr, t, k):
    """Chrome knob whose face is a honeycomb grille, with an orange index."""
    c = fr.w / 2.0
    u = fr.w / 120.0
    r, theta = fr.polar(c, c)
    rot = pointer_angle(t)
    R = 52.0 * u
    body = fr.cov(r - R)
    fr.shadow(body, 1.5 * u, 3.0 * u, 3.0 * u, 0.75)
    fr.shadow(body, 0.5 * u, 1.0 * u, 1.0 * u, 0.5)
    ts = np.clip((R - r) / (9.0 * u), 0, 1)
    h = 8.0 * u * np.sin(ts * np.pi / 2) ** 0.8
    rim_in = 40.0 * u
    # honeycomb in the knob's own frame so it turns with it
    lx, ly = rotate_xy(fr.x, fr.y, c, c, rot)
    cell = 6.0 * u
    qx = lx / (cell * math.sqrt(3))
    qy = ly / (cell * 1.5)
    row = np.floor(qy + 0.5)
    off = (row % 2) * 0.5
    col_i = np.floor(qx - off + 0.5)
    best = None
    for drow in (-1, 0, 1):
        rr = row + drow
        of = (rr % 2) * 0.5
        for dcol in (-1, 0, 1):
            cc = col_i + dcol
            hx = (cc + of) * cell * math.sqrt(3)
            hy = rr * cell * 1.5
            d = sd_hexagon(lx - hx, ly - hy, 0, 0, cell * 0.78, 30)
            best = d if best is None else np.minimum(best, d)
    hole = fr.cov(best) * (r < rim_in - 1.5 * u)
    h = h - np.where(r < rim_in, 1.6 * u * np.clip((rim_in - r) / (1.5 * u), 0, 1), 0)
    h = h - 2.0 * u * hole
    col = chrome(h, (0.95, 0.96, 1.0), shin=50, gain=1.0, px=fr.px)
    # the grille web is a darker satin metal than the polished rim
    web = (r < rim_in) * 1.0
    col = col * (1 - 0.35 * web[..., None])
    col = col * (1 - hole[..., None]) + rgb("#08080a") * hole[..., None]
    fr.paint(body, col)
    # orange index on the rim
    ax, ay = ang_xy(c, c, 41.5 * u, rot)
    bx, by = ang_xy(c, c, 50.0 * u, rot)
    ind = fr.cov(sd_segment(fr.x, fr.y, ax, ay, bx, by, 2.2 * u))
    fr.paint(ind, rgb("#ff7a14"))
    fr.paint(ind * fr.cov(sd_segment(fr.x, fr.y, ax, ay, bx, by, 0.8 * u) + 0.0), rgb("#ffc080"), 0.6)


def draw_chicken_head(fr, t, k):
    """Black bakelite chicken-head knob with a white line down its beak."""
    c = fr.w / 2.0
    u = fr.w / 66.0
    r, theta = fr.polar(c, c)
    rot = pointer_angle(t)
    R = 20.0 * u
    base = fr.cov(r - R)
    fr.shadow(base, 0.8 * u, 1.6 * u, 1.2 * u, 0.7)
    h = 3.0 * u * (1 - (1 - np.clip((R - r) / (2.5 * u), 0, 1)) ** 2)
    col = shade(h, rgb("#141315"), amb=0.55, dif=0.6, spec=0.5, shin=40, px=fr.px)
    fr.paint(base, col)
    # head: a long tapered beak and a short rounded tail, in the knob's frame
    lx, ly = rotate_xy(fr.x, fr.y, c, c, rot)
    sd = sd_tapered(lx, ly, 0, 9.0 * u, 0, -29.0 * u, 9.5 * u, 3.2 * u)
    head = fr.cov(sd)
    fr.shadow(head, 1.2 * u, 2.2 * u, 1.6 * u, 0.75)
    hh = 3.0 * u + 5.0 * u * np.sqrt(np.clip(-sd / (4.0 * u), 0, 1))
    col = shade(hh, rgb("#161517"), amb=0.5, dif=0.65, spec=0.65, shin=45, px=fr.px)
    fr.paint(head, col)
    line = fr.cov(sd_segment(lx, ly, 0, -4.0 * u, 0, -27.0 * u, 0.95 * u)) * head
    fr.paint(line, rgb("#f5f3ee"))


def draw_pointer_knob(fr, t, k):
    """Dark knob in a knurled bronze skirt, with a long bar handle carrying a
    small cream triangle at its pointing end."""
    c = fr.w / 2.0
    u = fr.w / 90.0
    r, theta = fr.polar(c, c)
    rot = pointer_angle(t)
    R = 38.0 * u
    body = fr.cov(r - R)
    fr.shadow(body, 1.2 * u, 2.4 * u, 2.2 * u, 0.75)
    h, kn, skirt = knurled_skirt_height(r, theta, rot, R, 32.5 * u, 4.0 * u, 56, 0.4 * u)
    bronze = skirt[..., None] * 1.0
    alb = rgb("#1d1714") * (1 - bronze) + rgb("#a8733f") * bronze
    spec_col = np.ones(3, np.float32) * (1 - bronze) + GOLD_SPEC * bronze
    col = shade(h, alb, amb=0.5, dif=0.65, spec=0.5, shin=28, spec_col=spec_col, px=fr.px)
    col *= (1 - 0.3 * (1 - kn) * skirt)[..., None]
    col += (concentric_sheen(theta, 0.07) * (r < 32 * u))[..., None]
    fr.paint(body, col)
    lx, ly = rotate_xy(fr.x, fr.y, c, c, rot)
    sd = sd_tapered(lx, ly, 0, 27.0 * u, 0, -27.0 * u, 7.5 * u, 6.0 * u)
    bar = fr.cov(sd)
    fr.shadow(bar, 1.4 * u, 2.6 * u, 1.8 * u, 0.7)
    hb = 4.0 * u + 6.0 * u * np.sqrt(np.clip(-sd / (5.0 * u), 0, 1))
    col = shade(hb, rgb("#2a211c"), amb=0.5, dif=0.7, spec=0.55, shin=30, px=fr.px)
    fr.paint(bar, col)
    tri = sd_polygon(lx, ly, [(-3.6 * u, -16.0 * u), (0, -25.0 * u), (3.6 * u, -16.0 * u)])
    fr.paint(fr.cov(tri), rgb("#f2e6c6"))


# ------------------------------------------------------------------ toggle ---

def draw_toggle(fr, lever_up):
    """Chrome bat lever on a hex nut, seen from the front."""
    c = fr.w / 2.0
    u = fr.w / 64.0
    x, y = fr.x, fr.y
    # washer
    wsd = sd_circle(x, y, c, c, 18.5 * u)
    wash = fr.cov(wsd)
    fr.shadow(wash, 0.8 * u, 1.4 * u, 1.2 * u, 0.6)
    hw = 1.2 * u * np.clip(-wsd / (1.0 * u), 0, 1)
    fr.paint(wash, chrome(hw, (0.78, 0.78, 0.8), px=fr.px))
    # hex nut
    nsd = sd_hexagon(x, y, c, c, 16.0 * u, 0)
    nut = fr.cov(nsd)
    fr.shadow(nut, 0.6 * u, 1.0 * u, 0.8 * u, 0.5)
    hn = 3.0 * u * np.clip(-nsd / (2.2 * u), 0, 1) ** 0.7
    fr.paint(nut, chrome(hn, (0.93, 0.94, 0.97), px=fr.px))
    # threaded bushing
    r = np.hypot(x - c, y - c)
    bsd = r - 9.5 * u
    bush = fr.cov(bsd)
    hb = 4.0 * u + 1.0 * u * np.clip(-bsd / (1.2 * u), 0, 1) + 0.25 * u * np.sin(r / u * 2.6)
    fr.paint(bush, chrome(hb, (0.9, 0.91, 0.94), px=fr.px) * 0.92)
    fr.paint(fr.cov(r - 5.0 * u), rgb("#101012"))
    # lever
    tip_y = c - 25.0 * u if lever_up else c + 25.0 * u
    sd = sd_tapered(x, y, c, c, c, tip_y, 4.0 * u, 2.9 * u)
    ball = sd_circle(x, y, c, tip_y, 5.0 * u)
    lever_sd = np.minimum(sd, ball)
    lev = fr.cov(lever_sd)
    fr.shadow(lev, 2.5 * u, 3.5 * u, 1.6 * u, 0.45)
    hl = 6.0 * u + 3.0 * u * np.sqrt(np.clip(-lever_sd / (3.2 * u), 0, 1))
    # the lever leans towards the viewer at its tip when up, away when down
    along = (y - c) / (tip_y - c)
    hl = hl + 2.0 * u * np.clip(along, 0, 1)
    fr.paint(lev, chrome(hl, (0.96, 0.97, 1.0), shin=70, px=fr.px))


# ------------------------------------------------------------------- lamps ---

def draw_lamp(fr, glow, bezel=True):
    """Round jewel lamp.  glow 1 = fully lit green, 0 = dark grey glass; the
    halo is part of the picture so that a lit lamp lights up the panel round it.

    The button lamps carry their own chrome bezel.  The two glow lamps are
    film strips that sit in brass sockets painted on the panel, so their glass
    fills the frame's middle with only a thin dark seat; leaving the bezel to
    the background also keeps those 64-frame strips a third smaller."""
    c = fr.w / 2.0
    u = fr.w / 96.0
    r = np.hypot(fr.x - c, fr.y - c)
    if bezel:
        R_bez, R_glass = 33.0 * u, 26.0 * u
    else:
        R_bez, R_glass = 32.5 * u, 31.0 * u
    g = float(glow)

    if g > 0:
        halo = np.exp(-np.maximum(r - R_bez * 0.9, 0) ** 2 / (2 * (6.5 * u) ** 2))
        halo *= smoothstep(47.0 * u, 36.0 * u, r)
        fr.glow(halo, LAMP_GREEN * 0.9, 0.65 * g ** 1.2)

    bez = fr.cov(r - R_bez)
    fr.shadow(bez, 0.8 * u, 1.5 * u, 1.4 * u, 0.65 * (1 - 0.6 * g))
    if bezel:
        bt = np.clip((r - R_glass) / (R_bez - R_glass), 0, 1)
        hb = 3.0 * u * np.clip(np.sin(np.pi * bt), 0, 1) ** 0.6
        fr.paint(bez * (r > R_glass - 0.5 * u), chrome(hb, (0.9, 0.9, 0.92), px=fr.px))
    else:
        fr.paint(bez, rgb("#17120d"))
    # glass: fresnel rings on a dome
    gsd = r - R_glass
    gl = fr.cov(gsd)
    rn = np.clip(r / R_glass, 0, 1)
    dome = 4.0 * u * np.sqrt(1 - rn ** 2)
    rings = 0.5 + 0.5 * np.cos(rn * 9 * np.pi)
    off_col = rgb("#4a4f4d") * (0.55 + 0.45 * (1 - rn ** 2))[..., None]
    off_col = off_col * (0.92 + 0.08 * rings[..., None])
    on_core = np.clip(1 - rn ** 2, 0, 1)
    on_col = (LAMP_GREEN * (0.55 + 0.45 * on_core[..., None])
              + rgb("#eaffe8") * (on_core ** 3)[..., None] * 0.8)
    on_col = on_col * (0.9 + 0.1 * rings[..., None])
    col = off_col * (1 - g) + on_col * g
    ndl_shade = shade(dome, np.ones(3, np.float32), amb=0.7, dif=0.35, spec=0.0, px=fr.px)
    col = col * (ndl_shade * (1 - 0.7 * g) + 0.7 * g)
    # inner rim shadow where the glass meets the bezel
    col *= (1 - 0.45 * smoothstep(0.78, 1.0, rn) * (1 - 0.5 * g))[..., None]
    fr.paint(gl, col)
    # reflections: a soft window highlight upper left, a small kick lower right
    k = R_glass / (26.0 * u)
    hx, hy = c - 9.0 * u * k, c - 10.0 * u * k
    hl = np.exp(-(((fr.x - hx) / (7.0 * u * k)) ** 2 + ((fr.y - hy) / (4.5 * u * k)) ** 2))
    fr.paint(hl * gl, rgb("#ffffff"), 0.55)
    kk = np.exp(-(((fr.x - c - 10 * u * k) / (4 * u * k)) ** 2 + ((fr.y - c - 12 * u * k) / (2.5 * u * k)) ** 2))
    fr.paint(kk * gl, rgb("#ffffff"), 0.18)


# ------------------------------------------------------------------ switch ---

def draw_switch(fr, on):
    """Slide switch: recessed black track, a ribbed knob and the painted state."""
    u = fr.w / 100.0
    x, y = fr.x, fr.y
    x0, y0, x1, y1 = 3 * u, 5 * u, 97 * u, 45 * u
    frame_sd = sd_box(x, y, x0, y0, x1, y1, 9 * u)
    frm = fr.cov(frame_sd)
    fr.shadow(frm, 0.8 * u, 1.5 * u, 1.2 * u, 0.6)
    hf = 2.5 * u * np.clip(-frame_sd / (3.0 * u), 0, 1) ** 0.6
    fr.paint(frm, chrome(hf, (0.86, 0.82, 0.74), px=fr.px))
    track_sd = sd_box(x, y, 8 * u, 10 * u, 92 * u, 40 * u, 6 * u)
    trk = fr.cov(track_sd)
    fr.paint(trk, rgb("#0d0c0c"))
    # inner shadow at the top of the track
    ins = blur(shift(1 - trk, 0, int(2 * u * fr.ss)), 1.2 * u * fr.ss) * trk
    fr.paint(ins, rgb("#000000"), 0.8)
    fnt = font("DejaVuSansCondensed-Bold", int(round(17 * u * fr.ss)))
    word = "ON" if on else "OFF"
    tx = (29 if on else 70) * u
    m = text_mask(fr.w * fr.ss, fr.h * fr.ss, word, fnt, tx * fr.ss, 25 * u * fr.ss, tracking=1.0 * u * fr.ss)
    fr.paint(m, rgb("#7dff8f") if on else CREAM)
    # knob
    kx0 = (55 if on else 10) * u
    ksd = sd_box(x, y, kx0, 11.5 * u, kx0 + 35 * u, 38.5 * u, 4.5 * u)
    kn = fr.cov(ksd)
    fr.shadow(kn, 1.0 * u, 1.6 * u, 1.2 * u, 0.7)
    hk = 4.0 * u * np.clip(-ksd / (3.0 * u), 0, 1) ** 0.6
    ribs = (np.abs(((x - kx0) / u - 17.5)) < 11) * (np.abs(ksd) > 3.0 * u)
    hk = hk - 0.6 * u * ribs * (0.5 + 0.5 * np.cos((x - kx0) / u * 2 * np.pi / 3.6))
    if on:
        col = shade(hk, GOLD, amb=0.5, dif=0.7, spec=0.8, shin=25, spec_col=GOLD_SPEC, px=fr.px)
    else:
        col = chrome(hk, (0.92, 0.93, 0.96), shin=50, px=fr.px)
    fr.paint(kn, col)


# ---------------------------------------------------------------- VU meter ---

VU_MARKS = [(-20, "20"), (-10, "10"), (-7, "7"), (-5, "5"), (-3, "3"), (-2, ""),
            (-1, ""), (0, "0"), (1, ""), (2, ""), (3, "3")]
VU_HALF = 45.0                     # needle swing each side of vertical, degrees


def vu_pos(db):
    """Moving-coil deflection: proportional to voltage, +3 dB at full scale."""
    return 10 ** (db / 20.0) / 10 ** (3 / 20.0)


def vu_angle(p):
    return -VU_HALF + 2 * VU_HALF * p


class VuFace:
    """Everything of the meter but the needle, drawn once and reused."""

    def __init__(self, size, ss):
        fr = Frame(size, ss=ss)
        u = size / 128.0
        x, y = fr.x, fr.y
        self.u = u
        self.pivot = (64 * u, 104 * u)
        bx0, by0, bx1, by1 = 2.5 * u, 2.5 * u, 125.5 * u, 97.0 * u
        self.box = (bx0, by0, bx1, by1)
        outer = sd_box(x, y, bx0, by0, bx1, by1, 7 * u)
        oc = fr.cov(outer)
        fr.shadow(oc, 0.6 * u, 1.2 * u, 1.0 * u, 0.6)
        hb = 3.0 * u * np.clip(-outer / (4.0 * u), 0, 1) ** 0.6
        fr.paint(oc, shade(hb, GOLD, amb=0.45, dif=0.7, spec=0.8, shin=22, spec_col=GOLD_SPEC, px=fr.px))
        inner = sd_box(x, y, bx0 + 4.5 * u, by0 + 4.5 * u, bx1 - 4.5 * u, by1 - 4.5 * u, 3.5 * u)
        ic = fr.cov(inner)
        self.inner_cov = ic
        px, py = self.pivot
        # cream face, warmer and a little brighter in the middle as if backlit
        # lit from behind the scale: brightest across the arc, darker towards
        # the bottom.  Varying along y only also keeps the 101 frames small.
        yy = (y - 45 * u) / (55 * u)
        face = rgb("#f3e6bf") * (1.03 - 0.13 * yy ** 2)[..., None]
        fr.paint(ic, np.clip(face, 0, 1))
        r, theta = fr.polar(px, py)
        R = 63.0 * u
        # scale arc: black up to 0 VU, a wide red band beyond it
        a0 = vu_angle(0.0)
        a_zero = vu_angle(vu_pos(0))
        a1 = vu_angle(1.0)
        arc_black = fr.cov(np.abs(r - R) - 0.55 * u) * (theta >= a0) * (theta <= a_zero)
        arc_red = fr.cov(np.abs(r - (R + 2.2 * u)) - 2.2 * u) * (theta >= a_zero) * (theta <= a1 + 0.6)
        fr.paint(arc_black, rgb("#1b1510"))
        fr.paint(arc_red, rgb("#cf2a22"))
        fnt = font("DejaVuSansCondensed-Bold", int(round(8.0 * u * ss)))
        ticks = np.zeros_like(r)
        for db, label in VU_MARKS:
            a = vu_angle(vu_pos(db))
            long_ = label != ""
            ax, ay = ang_xy(px, py, R - (5.5 if long_ else 3.5) * u, a)
            bx, by = ang_xy(px, py, R + (4.5 if db >= 0 else 0.6) * u, a)
            ticks = np.maximum(ticks, fr.cov(sd_segment(x, y, ax, ay, bx, by, (0.6 if long_ else 0.45) * u)))
            if label:
                # upright figures read better than radial ones at this size
                m, mx, my = glyph_mask(label, fnt, 0)
                lx, ly = ang_xy(px, py, R + 10.5 * u, a)
                lab = np.zeros_like(r)
                stamp(lab, m, lx * ss, ly * ss, mx, my)
                fr.paint(lab, rgb("#cf2a22") if db > 0 else rgb("#1b1510"))
        fr.paint(ticks, rgb("#1b1510"))
        # plus / minus signs at the ends of the scale
        fnt2 = font("DejaVuSans-Bold", int(round(9 * u * ss)))
        for txt, a, colr in (("\u2212", vu_angle(0.0) - 3, rgb("#1b1510")), ("+", vu_angle(1.0) + 3, rgb("#cf2a22"))):
            m, mx, my = glyph_mask(txt, fnt2, 0)
            lx, ly = ang_xy(px, py, R - 9 * u, a)
            lab = np.zeros_like(r)
            stamp(lab, m, lx * ss, ly * ss, mx, my)
            fr.paint(lab, colr)
        fnt3 = font("DejaVuSerif-Bold", int(round(15 * u * ss)))
        m = text_mask(fr.w * ss, fr.h * ss, "VU", fnt3, px * ss, 71 * u * ss, tracking=1 * u * ss)
        fr.paint(m, rgb("#1b1510"))
        self.base = fr.layer.px.copy()

        # top layer: pivot shroud, glass glare and the frame's inner shadow
        top = Frame(size, ss=ss)
        sh_c = fr.cov(np.maximum(np.hypot(x - px, (y - py) * 1.0) - 20 * u, y - (by1 - 4.5 * u)))
        sh_c = sh_c * ic
        hsh = 3.0 * u * np.clip((20 * u - np.hypot(x - px, y - py)) / (4 * u), 0, 1)
        top.paint(blur(shift(sh_c, int(0.5 * u * ss), int(-1.5 * u * ss)), 1.2 * u * ss) * ic, rgb("#000000"), 0.35)
        top.paint(sh_c, shade(hsh, rgb("#1d1a18"), amb=0.6, dif=0.6, spec=0.4, shin=20, px=fr.px))
        inset = blur(shift(1 - ic, int(1.0 * u * ss), int(2.0 * u * ss)), 2.0 * u * ss) * ic
        top.paint(inset, rgb("#3a2410"), 0.6)
        glare = smoothstep(44 * u, 8 * u, y) * ic * 0.12
        top.paint(glare, rgb("#ffffff"))
        self.top = top.layer.px.copy()

    def frame(self, fr, p):
        u = self.u
        px, py = self.pivot
        fr.layer.px[:] = self.base
        a = vu_angle(p)
        ex, ey = ang_xy(px, py, 72 * u, a)
        sx, sy = ang_xy(px, py, 14 * u, a)
        nd = sd_tapered(fr.x, fr.y, sx, sy, ex, ey, 0.75 * u, 0.4 * u)
        needle = fr.cov(nd) * self.inner_cov
        sh = blur(shift(needle, int(1.6 * u * fr.ss), int(2.6 * u * fr.ss)), 1.0 * u * fr.ss)
        fr.paint(sh * self.inner_cov, rgb("#3b2a10"), 0.35)
        fr.paint(needle, rgb("#141010"))
        tip = fr.cov(nd) * self.inner_cov * (np.hypot(fr.x - px, fr.y - py) > 58 * u)
        fr.paint(tip, rgb("#b5180f"), 0.9)
        top = self.top
        a_ = top[..., 3:4]
        fr.layer.px = top + fr.layer.px * (1 - a_)


# ----------------------------------------------------------- credit plaque ---

def draw_credit(fr):
    u = 1.0
    x, y = fr.x, fr.y
    sd = sd_box(x, y, 3 * u, 3 * u, 238 * u, 69 * u, 8 * u)
    pl = fr.cov(sd)
    fr.shadow(pl, 1.0, 2.0, 1.6, 0.7)
    h = 2.5 * np.clip(-sd / 3.0, 0, 1) ** 0.6
    streak = blur(noise(fr.w * fr.ss, fr.h * fr.ss, 7), 40 * fr.ss, 0.6 * fr.ss)
    streak = streak / (np.abs(streak).max() + 1e-6)
    alb = rgb("#1c1713")[None, None, :] * (1 + 0.25 * streak[..., None])
    col = shade(h, alb, amb=0.6, dif=0.6, spec=0.35, shin=30, px=fr.px)
    fr.paint(pl, col)
    line = fr.cov(np.abs(sd + 5.0) - 0.7)
    fr.paint(line, GOLD, 0.85)
    W, H, s = fr.w * fr.ss, fr.h * fr.ss, fr.ss

    def fitted(name, size, text, tracking, max_w):
        # shrink until the line fits inside the gold border
        while size > 8 and text_width(text, font(name, size * s), tracking * s) > max_w * s:
            size -= 1
        return font(name, size * s)

    line1, line2 = "OVALMERE AUDIO WORKS", "designed and built by hand"
    f1 = fitted("DejaVuSerif-Bold", 19, line1, 1.5, 212)
    f2 = fitted("DejaVuSans-Oblique", 14, line2, 0.5, 200)
    m1 = text_mask(W, H, line1, f1, 120.5 * s, 28 * s, tracking=1.5 * s)
    m2 = text_mask(W, H, line2, f2, 120.5 * s, 49 * s, tracking=0.5 * s)
    fr.paint(blur(shift(m1, s, s), s), rgb("#000000"), 0.6)
    fr.paint(m1, GOLD)
    fr.paint(m2, CREAM, 0.9)



# -------------------------------------------------------------- background ---

# Where the controls sit, in background pixels (twice the editor's 512 grid).
TIME_C = (248.0, 466.0)        # dial centres as drawn by the knob look
MIX_C = (784.0, 464.0)
DIAL_R = 82.0                  # dial radius on the panel
WIN_L = (116.0, 72.0, 304.0, 224.0)     # power window, outer bezel
WIN_R = (720.0, 72.0, 908.0, 224.0)     # meter window
PLATE = (392.0, 99.0, 624.0, 167.0)     # name plate under the credit button
SYNC_LAMP = (512.0, 290.0)
SMALL_LAMPS = [(384.0, 672.0), (514.0, 672.0), (642.0, 672.0)]
GLOW_LAMPS = [(172.0, 794.0), (848.0, 794.0)]
TOGGLES = [(514.0, 418.0), (384.0, 794.0), (512.0, 794.0), (642.0, 794.0)]
LED_KNOBS = [(386.0, 920.0), (470.0, 920.0), (554.0, 920.0), (638.0, 920.0), (514.0, 542.0)]
FRAME_W = 22.0


def smin(a, b, k):
    """Smooth union of two distance fields (rounded inside corners)."""
    hh = np.clip(0.5 + 0.5 * (b - a) / k, 0, 1)
    return b * (1 - hh) + a * hh - k * hh * (1 - hh)


def bevel(sd, height, width, power=0.6):
    """Raised shape with a rounded edge: 0 outside, height a bevel inside."""
    return height * np.clip(-sd / width, 0, 1) ** power


def draw_background(fr):
    W = 1024.0
    x, y = fr.x, fr.y
    S = fr.ss
    n = fr.w * S

    # ---- surface colour: brushed copper with a little patina ----
    # Horizontal brushing: long thin streaks.  They vary along y far more than
    # along x, which also keeps the PNG small (rows filter to near zero).
    # (generated wider than the panel and cropped, so the blur's edge handling
    # cannot leave stronger streaks along the sides)
    pad = int(3 * 150 * S)
    streak = blur(noise(n + 2 * pad, n, 11), 150 * S, 0.35 * S)[:, pad:pad + n]
    streak /= streak.std() + 1e-6
    mott = blur(noise(n // 8 + 64, n // 8 + 64, 12), 10)[32:-32, 32:-32]
    mott = np.asarray(mott.repeat(8, 0).repeat(8, 1))
    mott = blur(mott, 14 * S)
    mott /= mott.std() + 1e-6
    # brushed metal throws a broad highlight across the brushing direction
    sheen = np.exp(-((x - 360.0) / 300.0) ** 2) * (1.0 - 0.35 * (y / W))
    copper = COPPER[None, None, :] * (1 + (0.025 + 0.04 * sheen) * streak + 0.025 * mott
                                      + 0.16 * sheen)[..., None]
    patina = np.clip(0.5 + 0.45 * mott, 0, 1)[..., None] * 0.12
    copper = copper * (1 - patina) + rgb("#8a5a35")[None, None, :] * patina
    alb = copper.astype(np.float32)
    spec = np.full(x.shape, 0.22, np.float32)
    h = np.zeros(x.shape, np.float32)

    def put(mask, colour, sp=None):
        nonlocal alb, spec
        m = mask[..., None]
        col = np.asarray(colour, np.float32)
        if col.ndim == 1:
            col = col[None, None, :]
        alb = alb * (1 - m) + col * m
        if sp is not None:
            spec = spec * (1 - mask) + sp * mask

    # ---- outer frame: a raised bronze rim ----
    d_edge = np.minimum(np.minimum(x, y), np.minimum(W - x, W - y))
    frame_sd = FRAME_W - d_edge          # negative inside the rim band
    rim = fr.cov(frame_sd)
    h += bevel(frame_sd, 7.0, 7.0) * rim
    h += -2.0 * smoothstep(4.0, 0.0, d_edge)
    bronze = rgb("#6e4727")[None, None, :] * (1 + 0.03 * streak + 0.03 * mott + 0.12 * sheen)[..., None]
    put(rim, bronze, 0.3)

    # ---- control deck: a darker, sunken plate in a T shape ----
    col_sd = sd_box(x, y, 424, 236, 604, 640, 18)
    low_sd = sd_box(x, y, 266, 630, 758, 1000, 22)
    deck_sd = smin(col_sd, low_sd, 20.0)
    deck = fr.cov(deck_sd)
    h += -4.0 * np.clip(-deck_sd / 5.0, 0, 1)
    dark = rgb("#3b2716")[None, None, :] * (1 + 0.04 * streak + 0.03 * mott)[..., None]
    put(deck, dark, 0.18)
    # a fine bright line along the deck's edge, as if the plate were cut
    edge_line = fr.cov(np.abs(deck_sd + 7.0) - 0.7)
    put(edge_line * 0.35, rgb("#c58a52"))

    # ---- dial housings ----
    for cx, cy in (TIME_C, MIX_C):
        r = np.hypot(x - cx, y - cy)
        well = fr.cov(r - 88.0)
        h += -6.0 * np.clip((88.0 - r) / 3.0, 0, 1)
        put(well, rgb("#140e0a"), 0.1)
        ring = np.clip(1 - ((r - 101.0) / 14.0) ** 2, 0, 1)
        ring_c = fr.cov(np.abs(r - 101.0) - 13.5)
        h += 8.0 * np.sqrt(ring)
        # turned brass: fine concentric lathe marks rather than straight brushing
        lathe = 0.5 + 0.5 * np.cos((r - 101.0) * 3.1)
        brass = rgb("#c99a52")[None, None, :] * (1 - 0.05 * lathe)[..., None]
        put(ring_c, brass, 0.7)

    # ---- windows at the top corners ----
    for (x0, y0, x1, y1) in (WIN_L, WIN_R):
        outer = sd_box(x, y, x0, y0, x1, y1, 16.0)
        inner = sd_box(x, y, x0 + 12, y0 + 12, x1 - 12, y1 - 12, 8.0)
        bez = fr.cov(outer) * (1 - fr.cov(inner))
        h += bevel(outer, 7.0, 6.0) * (1 - fr.cov(inner)) * fr.cov(outer)
        put(bez, rgb("#c8974f")[None, None, :] * (1 + 0.04 * streak)[..., None], 0.55)
        opening = fr.cov(inner)
        h += -4.0 * np.clip(-inner / 2.5, 0, 1)
        put(opening, rgb("#120c08"), 0.1)
    # the power window holds a cream instrument plate like the meter's face
    x0, y0, x1, y1 = WIN_L
    pl_sd = sd_box(x, y, x0 + 15, y0 + 15, x1 - 15, y1 - 15, 6.0)
    pl = fr.cov(pl_sd)
    h = h * (1 - pl) + pl * (-4.0 + bevel(pl_sd, 1.0, 2.0))
    yy = (y - 120.0) / 80.0
    put(pl, rgb("#f0e3bd")[None, None, :] * (1.02 - 0.1 * yy ** 2)[..., None], 0.3)
    rule = fr.cov(np.abs(pl_sd + 7.0) - 0.8)
    put(rule, rgb("#6b4a2a"))
    slot = sd_box(x, y, 158, 127, 254, 181, 10)
    put(fr.cov(slot) * 0.55, rgb("#000000"))

    # ---- name plate ----
    px0, py0, px1, py1 = PLATE
    np_sd = sd_box(x, y, px0, py0, px1, py1, 8.0)
    plate = fr.cov(np_sd)
    h += bevel(np_sd, 6.0, 4.0) * plate
    gold = GOLD[None, None, :] * (1 + 0.025 * streak)[..., None]
    put(plate, gold, 0.8)
    name_f = font("DejaVuSerif-BoldItalic", 30 * S)
    name_m = text_mask(n, n, "Ovalmere", name_f, (px0 + px1) / 2 * S, (py0 + py1) / 2 * S + 1 * S,
                       tracking=1.5 * S)
    # engraved: cut below the plate surface and filled with dark enamel; the
    # cut's lower edge catches the light
    h -= 2.0 * blur(name_m, 0.6 * S)
    lip = np.clip(shift(name_m, int(1.2 * S), int(1.2 * S)) - name_m, 0, 1)
    put(lip * 0.8, rgb("#fff0c0"))
    put(name_m, rgb("#2b1a0c"), 0.1)
    inset_line = fr.cov(np.abs(np_sd + 5.0) - 0.6)
    put(inset_line * 0.7, rgb("#7a5220"))

    # ---- lamp sockets and toggle washers ----
    sockets = [(SYNC_LAMP, 24.0)] + [(c, 24.0) for c in SMALL_LAMPS] + [(c, 34.0) for c in GLOW_LAMPS]
    for (cx, cy), rs in sockets:
        r = np.hypot(x - cx, y - cy)
        ring_w = rs * 0.22
        ring = np.clip(1 - ((r - rs - ring_w) / ring_w) ** 2, 0, 1)
        rc = fr.cov(np.abs(r - rs - ring_w) - ring_w)
        h += 3.0 * np.sqrt(ring)
        put(rc, rgb("#b9915a"), 0.6)
        hole = fr.cov(r - rs)
        h += -5.0 * np.clip((rs - r) / 2.0, 0, 1)
        put(hole, rgb("#0c0a09"), 0.05)
        # the empty socket shows its little bulb holder
        put(fr.cov(r - rs * 0.35) * 0.6, rgb("#3a342e"))
    for (cx, cy) in TOGGLES:
        r = np.hypot(x - cx, y - cy)
        put(fr.cov(np.abs(r - 40.0) - 0.8) * 0.3, rgb("#000000"))

    # ---- sockets for the LED-ring knobs ----
    # A shallow turned recess a little wider than the knob's plate, so the
    # knobs sit in the deck rather than on it.  Neighbours in the bottom row
    # are 84 pixels apart, which leaves a thin land between their sockets.
    plate_r = LED_PLATE_R / 72.0 * 46.0 * 2.0
    for cx, cy in LED_KNOBS:
        r = np.hypot(x - cx, y - cy)
        rs = plate_r + 3.0
        h += -3.0 * np.clip((rs - r) / 2.5, 0, 1)
        put(fr.cov(r - rs), rgb("#1e140c"), 0.12)
        # the turned lip catches a little light all round
        put(fr.cov(np.abs(r - rs - 0.2) - 0.7) * 0.45, rgb("#b88650"))

    # ---- rivets and screws ----
    rivets = [(44, 44), (980, 44), (44, 980), (980, 980), (44, 512), (980, 512), (512, 44)]
    for cx, cy in rivets:
        r = np.hypot(x - cx, y - cy)
        rr = 9.0
        h += 4.5 * np.sqrt(np.clip(1 - (r / rr) ** 2, 0, 1))
        put(fr.cov(r - rr), rgb("#a86b3d"), 0.8)
    screws = [(408, 133, 30), (608, 133, -20), (290, 986, 60), (734, 986, 15), (440, 252, 40), (588, 252, -35)]
    for cx, cy, a in screws:
        r = np.hypot(x - cx, y - cy)
        rr = 7.0
        h += 3.0 * np.sqrt(np.clip(1 - (r / rr) ** 2, 0, 1))
        put(fr.cov(r - rr), rgb("#b8b2a6"), 0.8)
        lx, ly = rotate_xy(x, y, cx, cy, a)
        slot_c = fr.cov(np.maximum(np.abs(lx) - 5.2, np.abs(ly) - 0.9)) * fr.cov(r - rr)
        h -= 1.5 * slot_c
        put(slot_c, rgb("#3a3632"))

    # ---- light it ----
    col = shade(h, alb, amb=0.5, dif=0.62, spec=spec, shin=22, spec_col=rgb("#ffe6c8"), px=fr.px)
    # cast shadows: anything raised darkens what lies below and right of it
    occl = blur(shift(h, int(5 * S), int(8 * S)), 5 * S) - h
    col *= (1 - 0.045 * np.clip(occl, 0, 10))[..., None]
    # soft shadows of the two dials, which the film strips leave out
    for cx, cy in (TIME_C, MIX_C):
        r = np.hypot(x - cx - 3.0, y - cy - 6.0)
        sh = np.clip(1 - smoothstep(DIAL_R - 6, DIAL_R + 9, r), 0, 1)
        col *= (1 - 0.55 * sh)[..., None]
    # gentle vignette
    vr = np.hypot((x - 512) / 620.0, (y - 470) / 620.0)
    col *= (1.06 - 0.16 * vr ** 2)[..., None]
    fr.paint(np.ones_like(x), np.clip(col, 0, 1))

    # ---- painted captions ----
    def caption(text, cx, cy, size=20, track=1.5, anchor="m", face="DejaVuSansCondensed-Bold"):
        f = font(face, int(round(size * S)))
        m = text_mask(n, n, text, f, cx * S, cy * S, tracking=track * S, anchor=anchor)
        halo = blur(m, 1.2 * S)
        fr.paint(np.clip(halo * 1.6, 0, 1), rgb("#140a04"), 0.45)
        fr.paint(m, CREAM)

    caption("TIME", TIME_C[0], 606, 24, 4)
    caption("MIX", MIX_C[0], 604, 24, 4)
    caption("POWER", (WIN_L[0] + WIN_L[2]) / 2, 256, 22, 3)
    # kept clear of the meter control, whose lower part is transparent
    caption("OUTPUT", (WIN_R[0] + WIN_R[2]) / 2, 256, 22, 3)
    caption("SYNC", 512, 343, 20, 2)
    caption("DUCK", 514, 606, 20, 2)
    for text, (cx, cy) in zip(("FREEZE", "GRANULAR", "REVERSE"), SMALL_LAMPS):
        caption(text, cx, 722, 20, 1.5)
    caption("FREEZE", GLOW_LAMPS[0][0], 868, 20, 1.5)
    caption("REVERSE", GLOW_LAMPS[1][0], 868, 20, 1.5)
    caption("DUAL", 336, 920, 20, 1.5, anchor="r")
    caption("FILTER", 690, 920, 20, 1.5, anchor="l")
    # the two middle knobs are too close for their names to sit centred under
    # them: each name runs outwards from the gap between the two knobs
    caption("FEEDBACK", 510, 980, 20, 0.0, anchor="r")
    caption("REVERB", 532, 980, 20, 0.0, anchor="l")
    # the subtitle under the name plate is lettering, not a caption
    f = font("DejaVuSansCondensed-Bold", 17 * S)
    m = text_mask(n, n, "STEREO  DELAY", f, 508 * S, 193 * S, tracking=5 * S)
    fr.paint(m, rgb("#f6dcb0"), 0.8)


# --------------------------------------------------------------- pictures ---

PICTURES = {}


def picture(name, w, h, frames=1, opaque=False, blank=False, palette=False):
    """Register a picture.  palette=True snaps a strip to one shared 256-colour
    palette before saving (still written as RGBA).  The black dials and the
    meter, made of a few flat colours, survive that without visible change and
    shrink by about a third, which matters for their 101 frames of 128 pixels.
    Anything with broad soft gradients (lamps, glows, brushed caps, the panel)
    would band, so those keep every shade."""
    def deco(fn):
        PICTURES[name] = dict(fn=fn, w=w, h=h, frames=frames, opaque=opaque, blank=blank,
                              palette=palette)
        return fn
    return deco


@picture("dialKnobStrip", 128, 12928, 101, palette=True)
def make_dial_strip():
    return strip(128, 101, 3, lambda fr, t, k: draw_dial(fr, t, numbered=False))


@picture("numberedDialKnobStrip", 128, 12928, 101, palette=True)
def make_numbered_dial_strip():
    return strip(128, 101, 3, lambda fr, t, k: draw_dial(fr, t, numbered=True))


@picture("pointerKnobStrip", 90, 2790, 31)
def make_pointer_strip():
    return strip(90, 31, 4, draw_pointer_knob)


@picture("goldKnobStrip", 65, 6565, 101)
def make_gold_strip():
    return strip(65, 101, 4, draw_gold_knob)


@picture("grilleKnobStrip", 120, 600, 5)
def make_grille_strip():
    return strip(120, 5, 4, draw_grille_knob)


@picture("chickenHeadKnobStrip", 66, 660, 10)
def make_chicken_strip():
    return strip(66, 10, 4, draw_chicken_head)


@picture("toggleStrip", 64, 128, 2)
def make_toggle_strip():
    return strip(64, 2, 4, lambda fr, t, k: draw_toggle(fr, lever_up=(k == 0)))


@picture("ledRingKnobStrip", 72, 7272, 101)
def make_led_ring_strip():
    return strip(72, 101, 4, draw_led_ring)


@picture("vuMeterStrip", 128, 12928, 101, palette=True)
def make_vu_strip():
    face = VuFace(128, 3)
    return strip(128, 101, 3, lambda fr, t, k: face.frame(fr, t))


def lamp_level(k, frames=64):
    # perceptually even fade: most of the change happens while still bright
    return (1 - k / (frames - 1)) ** 1.6


@picture("lampSmallStrip", 96, 6144, 64)
def make_lamp_small():
    return strip(96, 64, 3, lambda fr, t, k: draw_lamp(fr, lamp_level(k), bezel=False))


@picture("lampLargeStrip", 198, 12672, 64)
def make_lamp_large():
    # Even the largest editor shows this lamp 96 pixels wide, so it is drawn at
    # half size and each pixel doubled: no visible loss, and the repeated rows
    # and columns cost next to nothing in the PNG.
    half = strip(99, 64, 4, lambda fr, t, k: draw_lamp(fr, lamp_level(k), bezel=False))
    return np.repeat(np.repeat(half, 2, axis=0), 2, axis=1)


@picture("switchOffImage", 100, 50)
def make_switch_off():
    return single(100, 50, 4, lambda fr: draw_switch(fr, False))


@picture("switchOnImage", 100, 50)
def make_switch_on():
    return single(100, 50, 4, lambda fr: draw_switch(fr, True))


@picture("lampOffImage", 52, 52)
def make_lamp_off():
    return single(52, 52, 4, lambda fr: draw_lamp(fr, 0.0))


@picture("lampOnImage", 52, 52)
def make_lamp_on():
    return single(52, 52, 4, lambda fr: draw_lamp(fr, 1.0))


@picture("toggleOffImage", 64, 64)
def make_toggle_off():
    return single(64, 64, 4, lambda fr: draw_toggle(fr, lever_up=False))


@picture("toggleOnImage", 64, 64)
def make_toggle_on():
    return single(64, 64, 4, lambda fr: draw_toggle(fr, lever_up=True))


@picture("creditBlankImage", 241, 74, blank=True)
def make_credit_blank():
    return np.zeros((74, 241, 4), np.uint8)


@picture("creditBannerImage", 241, 74)
def make_credit_banner():
    return single(241, 74, 3, draw_credit)


@picture("backgroundImage", 1024, 1024, opaque=True)
def make_background():
    img = single(1024, 1024, 2, draw_background)
    img[..., 3] = 255
    return img


# ------------------------------------------------------------------ main ---

def reduce_palette(img):
    from PIL import Image
    q = Image.fromarray(img, "RGBA").quantize(colors=256, method=Image.Quantize.FASTOCTREE,
                                               dither=Image.Dither.NONE)
    out = np.array(q.convert("RGBA"))
    # the palette may merge nearly-clear with clear and nearly-solid with
    # solid; the cut-out itself must stay exact
    a = img[..., 3]
    out[..., 3] = np.where(a == 255, 255, out[..., 3])
    out[a == 0] = 0
    return out


def check(names=None):
    """Assert the geometry and transparency every consumer relies on."""
    from PIL import Image
    problems = []
    for name, spec in PICTURES.items():
        if names and name not in names:
            continue
        path = os.path.join(OUT_DIR, name + ".png")
        if not os.path.exists(path):
            problems.append(f"{name}: missing")
            continue
        with open(path, "rb") as fh:
            raw = fh.read()
        # IHDR: bit depth 8, colour type 6 (RGBA); and no timestamp chunk
        if raw[24] != 8 or raw[25] != 6:
            problems.append(f"{name}: not an 8-bit RGBA PNG")
        pos, chunks = 8, []
        while pos + 8 <= len(raw):
            length = int.from_bytes(raw[pos:pos + 4], "big")
            chunks.append(raw[pos + 4:pos + 8])
            pos += 12 + length
        if b"tIME" in chunks:
            problems.append(f"{name}: carries a timestamp")
        im = Image.open(path)
        if im.mode != "RGBA":
            problems.append(f"{name}: mode {im.mode}, want RGBA")
        if im.size != (spec["w"], spec["h"]):
            problems.append(f"{name}: size {im.size}, want {(spec['w'], spec['h'])}")
        if spec["frames"] > 1 and im.size[1] != spec["frames"] * im.size[0]:
            problems.append(f"{name}: height is not frames x width")
        a = np.asarray(im.convert("RGBA"))[..., 3]
        if spec["opaque"]:
            if a.min() != 255:
                problems.append(f"{name}: not fully opaque")
        elif spec["blank"]:
            if a.max() != 0:
                problems.append(f"{name}: not fully transparent")
        else:
            fw = im.size[0]
            fh = fw if spec["frames"] > 1 else im.size[1]
            for k in range(spec["frames"]):
                f = a[k * fh:(k + 1) * fh]
                corners = (f[0, 0], f[0, -1], f[-1, 0], f[-1, -1])
                if any(corners):
                    problems.append(f"{name}: frame {k} corners not transparent {corners}")
                    break
                if f[fh // 2, fw // 2] == 0:
                    problems.append(f"{name}: frame {k} has nothing at its centre")
                    break
            if spec["frames"] > 1:
                px = np.asarray(im.convert("RGBA"))
                first, last = px[:fw], px[(spec["frames"] - 1) * fw:]
                if np.any(first != last, axis=2).sum() <= fw // 2:
                    problems.append(f"{name}: first and last frames look the same")
    for p in problems:
        print("CHECK FAILED:", p)
    if not problems:
        print(f"check: {len([n for n in PICTURES if not names or n in names])} pictures ok")
    return not problems


def main(argv):
    args = [a for a in argv if not a.startswith("--")]
    flags = [a for a in argv if a.startswith("--")]
    if "--check" in flags:
        return 0 if check(args) else 1
    if "--preview" in flags:
        import preview
        preview.run(OUT_DIR, PREVIEW_DIR)
        return 0
    os.makedirs(OUT_DIR, exist_ok=True)
    names = args or list(PICTURES)
    unknown = [n for n in names if n not in PICTURES]
    if unknown:
        print("unknown picture(s):", ", ".join(unknown))
        return 2
    t0 = time.time()
    for name in names:
        t1 = time.time()
        img = PICTURES[name]["fn"]()
        if PICTURES[name]["palette"]:
            img = reduce_palette(img)
        save_png(img, os.path.join(OUT_DIR, name + ".png"))
        size = os.path.getsize(os.path.join(OUT_DIR, name + ".png"))
        print(f"{name:24s} {img.shape[1]:5d}x{img.shape[0]:<6d} {size / 1024:8.1f} KiB  {time.time() - t1:5.1f} s")
    print(f"total {time.time() - t0:.1f} s")
    return 0 if check(names) else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
