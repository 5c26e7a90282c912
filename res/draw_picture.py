#!/usr/bin/env python3
"""Draws the installer's background picture and writes it as an 8-bit Windows bitmap.

The scene: a dark keep on a crag at dusk, the moon rising beside its tallest tower, mountain
ranges fading into mist behind it, and a torch-lit path winding up from the foreground.

The picture is rendered in true colour first, then reduced to a 256-colour palette built for it
(a variance-splitting median cut refined by k-means) and mapped to that palette with serpentine
Floyd-Steinberg dithering. Everything random comes from fixed seeds, so every run writes the
same bytes. Only the standard library is used.

    python3 res/draw_picture.py [OUTPUT.bmp] [--png PREVIEW.png]

OUTPUT defaults to picture.bmp next to this script.
"""

import argparse
import math
import os
import random
import struct
import sys
import zlib

W, H = 230, 320


# ---------------------------------------------------------------------------------------------
# Small maths helpers

def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def smoothstep(e0, e1, v):
    t = clamp((v - e0) / (e1 - e0))
    return t * t * (3.0 - 2.0 * t)


def mix(a, b, t):
    return (a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t, a[2] + (b[2] - a[2]) * t)


def scale(c, k):
    return (c[0] * k, c[1] * k, c[2] * k)


def gradient(stops, v):
    """Piecewise smooth interpolation through (position, colour) stops."""
    if v <= stops[0][0]:
        return stops[0][1]
    for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
        if v <= p1:
            t = (v - p0) / (p1 - p0)
            return mix(c0, c1, t * t * (3.0 - 2.0 * t))
    return stops[-1][1]


# ---------------------------------------------------------------------------------------------
# Value noise

class Noise:
    """Seeded value noise in one and two dimensions, with fractal sums."""

    def __init__(self, seed):
        rnd = random.Random(seed)
        self.perm = list(range(256))
        rnd.shuffle(self.perm)
        self.perm += self.perm
        self.vals = [rnd.random() for _ in range(256)]

    def n1(self, x):
        xi = math.floor(x)
        f = x - xi
        xi &= 255
        a = self.vals[self.perm[xi]]
        b = self.vals[self.perm[xi + 1]]
        f = f * f * f * (f * (f * 6 - 15) + 10)
        return a + (b - a) * f

    def n2(self, x, y):
        xi = math.floor(x)
        yi = math.floor(y)
        fx = x - xi
        fy = y - yi
        xi &= 255
        yi &= 255
        p = self.perm
        v = self.vals
        a = v[p[p[xi] + yi]]
        b = v[p[p[xi + 1] + yi]]
        c = v[p[p[xi] + yi + 1]]
        d = v[p[p[xi + 1] + yi + 1]]
        fx = fx * fx * fx * (fx * (fx * 6 - 15) + 10)
        fy = fy * fy * fy * (fy * (fy * 6 - 15) + 10)
        top = a + (b - a) * fx
        bot = c + (d - c) * fx
        return top + (bot - top) * fy

    def fbm1(self, x, octaves=5, gain=0.5):
        total = 0.0
        amp = 1.0
        norm = 0.0
        for o in range(octaves):
            total += amp * self.n1(x + o * 17.3)
            norm += amp
            amp *= gain
            x *= 2.03
        return total / norm

    def ridged1(self, x, octaves=5, gain=0.5):
        """Sharp-crested fractal noise for mountain ridges."""
        total = 0.0
        amp = 1.0
        norm = 0.0
        for o in range(octaves):
            n = 1.0 - abs(2.0 * self.n1(x + o * 31.7) - 1.0)
            total += amp * n * n
            norm += amp
            amp *= gain
            x *= 2.11
        return total / norm

    def fbm2(self, x, y, octaves=4, gain=0.5):
        total = 0.0
        amp = 1.0
        norm = 0.0
        for o in range(octaves):
            total += amp * self.n2(x + o * 13.1, y + o * 7.7)
            norm += amp
            amp *= gain
            x *= 2.02
            y *= 2.02
        return total / norm


# ---------------------------------------------------------------------------------------------
# The canvas: three planes of floats, 0..255

class Canvas:
    def __init__(self, w, h):
        self.w = w
        self.h = h
        self.r = [0.0] * (w * h)
        self.g = [0.0] * (w * h)
        self.b = [0.0] * (w * h)

    def get(self, x, y):
        i = y * self.w + x
        return (self.r[i], self.g[i], self.b[i])

    def blend(self, x, y, c, a):
        if a <= 0.0 or x < 0 or y < 0 or x >= self.w or y >= self.h:
            return
        if a > 1.0:
            a = 1.0
        i = y * self.w + x
        self.r[i] += (c[0] - self.r[i]) * a
        self.g[i] += (c[1] - self.g[i]) * a
        self.b[i] += (c[2] - self.b[i]) * a

    def add(self, x, y, c, a=1.0):
        if a <= 0.0 or x < 0 or y < 0 or x >= self.w or y >= self.h:
            return
        i = y * self.w + x
        self.r[i] += c[0] * a
        self.g[i] += c[1] * a
        self.b[i] += c[2] * a

    def fill_polygon(self, pts, shader, subrows=5):
        """Fills a polygon with exact horizontal and sampled vertical coverage.

        shader(x, y) gives the colour of a covered pixel, or a constant colour tuple may be
        passed instead.
        """
        if not callable(shader):
            colour = shader
            shader = lambda x, y: colour
        ys = [p[1] for p in pts]
        y0 = max(0, int(math.floor(min(ys))))
        y1 = min(self.h - 1, int(math.ceil(max(ys))))
        edges = list(zip(pts, pts[1:] + pts[:1]))
        for y in range(y0, y1 + 1):
            cov = {}
            for s in range(subrows):
                yy = y + (s + 0.5) / subrows
                xs = []
                for (ax, ay), (bx, by) in edges:
                    if (ay <= yy < by) or (by <= yy < ay):
                        xs.append(ax + (yy - ay) * (bx - ax) / (by - ay))
                xs.sort()
                for k in range(0, len(xs) - 1, 2):
                    xa = clamp(xs[k], 0.0, self.w)
                    xb = clamp(xs[k + 1], 0.0, self.w)
                    if xb <= xa:
                        continue
                    ia = int(xa)
                    ib = int(xb)
                    if ia == ib:
                        cov[ia] = cov.get(ia, 0.0) + (xb - xa) / subrows
                        continue
                    cov[ia] = cov.get(ia, 0.0) + (ia + 1 - xa) / subrows
                    for x in range(ia + 1, ib):
                        cov[x] = cov.get(x, 0.0) + 1.0 / subrows
                    if ib < self.w:
                        cov[ib] = cov.get(ib, 0.0) + (xb - ib) / subrows
            for x, a in cov.items():
                if a > 0.002:
                    self.blend(x, y, shader(x, y), a)

    def glow(self, cx, cy, radius, colour, strength, power=2.0):
        """Adds a soft radial light; falls to nothing at radius."""
        x0 = max(0, int(cx - radius))
        x1 = min(self.w - 1, int(cx + radius) + 1)
        y0 = max(0, int(cy - radius))
        y1 = min(self.h - 1, int(cy + radius) + 1)
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                d = math.hypot(x + 0.5 - cx, y + 0.5 - cy) / radius
                if d < 1.0:
                    self.add(x, y, colour, strength * (1.0 - d) ** power)

    def disc(self, cx, cy, radius, colour, alpha=1.0):
        x0 = max(0, int(cx - radius - 1))
        x1 = min(self.w - 1, int(cx + radius + 1))
        y0 = max(0, int(cy - radius - 1))
        y1 = min(self.h - 1, int(cy + radius + 1))
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
                self.blend(x, y, colour, alpha * clamp(radius + 0.5 - d))


# ---------------------------------------------------------------------------------------------
# The scene

MOON = (176.0, 64.0, 11.5)
HORIZON_GLOW = (64.0, 205.0)

SKY_STOPS = [
    (0, (8, 9, 28)),
    (60, (19, 21, 55)),
    (115, (46, 40, 88)),
    (155, (104, 70, 110)),
    (185, (178, 108, 108)),
    (210, (222, 146, 106)),
    (260, (236, 176, 120)),
]


def sky_colour(x, y):
    c = gradient(SKY_STOPS, y)
    # the afterglow sits low and to the left, away from the moon
    g = math.exp(-((x - HORIZON_GLOW[0]) / 110.0) ** 2) * smoothstep(110.0, 215.0, y)
    c = mix(c, (246, 170, 112), 0.32 * g)
    # the moon side of the sky is cooler
    m = math.exp(-((x - MOON[0]) / 90.0) ** 2) * smoothstep(170.0, 60.0, y)
    c = mix(c, (70, 84, 138), 0.28 * m)
    return c


def haze_colour(x, y):
    """The colour distant things fade into: the sky just above the horizon, greyed by mist."""
    return mix(sky_colour(x, min(y, 205.0)), (150, 128, 160), 0.35)


def draw_sky(cv):
    for y in range(H):
        for x in range(W):
            c = sky_colour(x + 0.5, y + 0.5)
            cv.blend(x, y, c, 1.0)


def draw_stars(cv):
    rnd = random.Random(1207)
    mx, my, _ = MOON
    for _ in range(150):
        x = rnd.uniform(0, W)
        y = rnd.uniform(0, 150) ** 1.15 / 150 ** 0.15
        fade = smoothstep(150.0, 30.0, y)
        dm = math.hypot(x - mx, y - my)
        fade *= smoothstep(24.0, 70.0, dm)
        mag = rnd.random() ** 3
        tint = rnd.choice([(255, 245, 225), (215, 225, 255), (255, 235, 200), (235, 240, 255)])
        a = fade * (0.25 + 0.75 * mag)
        if a < 0.05:
            continue
        ix, iy = int(x), int(y)
        cv.add(ix, iy, scale(tint, 0.55), a)
        if mag > 0.55:
            # the few bright ones get a small cross of light
            for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                cv.add(ix + dx, iy + dy, scale(tint, 0.22), a)


def draw_moon(cv, noise):
    mx, my, mr = MOON
    # a wide, faint halo and a tighter bright one
    cv.glow(mx, my, 95.0, (70, 80, 120), 0.55, power=2.2)
    cv.glow(mx, my, 34.0, (150, 160, 185), 0.45, power=2.0)
    for y in range(int(my - mr - 2), int(my + mr + 3)):
        for x in range(int(mx - mr - 2), int(mx + mr + 3)):
            px, py = x + 0.5, y + 0.5
            d = math.hypot(px - mx, py - my)
            a = clamp(mr + 0.5 - d)
            if a <= 0.0:
                continue
            # maria: soft darker patches; a touch of limb darkening
            m = noise.fbm2(px / 5.5 + 40.0, py / 5.5 + 11.0, 3)
            k = 1.0 - 0.2 * smoothstep(0.5, 0.72, m) - 0.12 * (d / mr) ** 3
            c = mix((252, 246, 226), (214, 214, 222), 1.0 - k)
            cv.blend(x, y, scale(c, 0.92 + 0.08 * k), a)


def draw_clouds(cv, noise):
    """Thin bands of cloud drifting under the moon; their edges catch its light."""
    mx, my, _ = MOON
    for y in range(40, 160):
        band = (math.exp(-((y - 73.0) / 4.0) ** 2) * 0.8 + math.exp(-((y - 100.0) / 14.0) ** 2) * 0.85
                + math.exp(-((y - 138.0) / 8.0) ** 2) * 0.6)
        if band < 0.02:
            continue
        for x in range(W):
            n = noise.fbm2(x / 46.0, y / 7.0, 5)
            d = clamp((n - 0.47) * 3.2) * band
            if d <= 0.01:
                continue
            dm = math.hypot(x - mx, (y - my) * 1.4)
            lit = math.exp(-(dm / 55.0) ** 2)
            dusk = smoothstep(110.0, 150.0, y)
            base = mix((34, 32, 66), (120, 74, 100), dusk)
            c = mix(base, (206, 208, 228), 0.8 * lit)
            cv.blend(x, y, c, 0.8 * d)


def ridge_line(noise, base, amp, freq, offset, peaks=None):
    """Heights of a mountain crest, one per column plus one on each side."""
    hs = []
    for x in range(-1, W + 1):
        h = base - amp * noise.ridged1(x * freq + offset, 5)
        if peaks:
            for px, ph, pw in peaks:
                h -= ph * math.exp(-((x - px) / pw) ** 2)
        hs.append(h)
    return hs


def draw_range(cv, noise, hs, dark, lit, haze, fade_depth, tex_seed):
    """One mountain range: lit on the faces that turn towards the moon, fading into mist below."""
    n = len(hs)
    for x in range(W):
        h = hs[x + 1]
        # the crest's slope, smoothed over a few columns: falling to the east means facing the moon
        slope = (hs[min(n - 1, x + 4)] - hs[max(0, x - 2)]) / 6.0
        top = max(0, int(h))
        for y in range(top, H):
            a = clamp(y + 1.0 - h)
            d = y + 0.5 - h
            if d > fade_depth * 1.2:
                c = haze(x + 0.5, y + 0.5)
                cv.blend(x, y, c, a)
                continue
            # gullies running down from the crest, each with a lit and a shadowed side
            xw = x - d * 0.8 * clamp(slope * 2.0, -1.0, 1.0)
            g0 = noise.fbm2(xw / 6.0 + tex_seed, d / 9.0 + tex_seed, 3)
            g1 = noise.fbm2((xw + 1.0) / 6.0 + tex_seed, d / 9.0 + tex_seed, 3)
            gully = (g0 - g1) * 4.0
            face = clamp(slope * 0.9, -1.0, 1.0) * math.exp(-d / 28.0)
            light = clamp(0.4 + 0.5 * face + gully * (0.6 + 0.4 * face) + 0.2 * (g0 - 0.5))
            # snow on the crests where the moon reaches them
            snow = smoothstep(10.0, 2.0, d) * smoothstep(0.5, 0.8, light)
            c = mix(dark, lit, light)
            c = mix(c, (214, 212, 232), 0.35 * snow)
            c = mix(c, haze(x + 0.5, y + 0.5), smoothstep(0.0, fade_depth, d) ** 1.3)
            cv.blend(x, y, c, a)


def draw_mist(cv, noise, centre, width, strength, colour_at, seed, stretch=60.0):
    for y in range(max(0, int(centre - 2.5 * width)), min(H, int(centre + 2.5 * width) + 1)):
        band = math.exp(-((y - centre) / width) ** 2)
        for x in range(W):
            n = noise.fbm2(x / stretch + seed, y / (width * 0.9) + seed, 4)
            a = strength * band * clamp(0.35 + 1.3 * (n - 0.45))
            if a > 0.003:
                cv.blend(x, y, colour_at(x + 0.5, y + 0.5), a)


# The crag: left and right outlines from its summit down to where the mist swallows it.
CRAG_TOP = 137.0
CRAG_BASE = 264.0
# everything on the summit is placed relative to this line
KEEP_Y = CRAG_TOP + 3.0


def crag_outline(noise):
    left = []
    right = []
    y = CRAG_TOP
    while y <= CRAG_BASE:
        t = (y - CRAG_TOP) / (CRAG_BASE - CRAG_TOP)
        jag = 1.5 + 9.0 * t
        # a slight waist under the walls, then buttresses spreading to the foot
        waist = 4.0 * math.sin(math.pi * clamp(t / 0.35))
        lx = (66.0 + waist - 8.0 * t - 40.0 * t ** 2.2 - 6.0 * math.sin(t * 11.0 + 0.5) * t
              - 9.0 * math.exp(-((t - 0.52) / 0.1) ** 2) - 16.0 * t * (noise.fbm1(y / 22.0 + 60.0, 3) - 0.5)
              - jag * (noise.fbm1(y / 7.0 + 3.0, 4) - 0.5) * 2.0)
        rx = (152.0 - waist + 6.0 * t + 44.0 * t ** 2.0 + 5.0 * math.sin(t * 8.0 + 1.0) * t
              + jag * (noise.fbm1(y / 6.0 + 40.0, 4) - 0.5) * 2.0)
        left.append((lx, y))
        right.append((rx, y))
        y += 1.5
    # an uneven summit for the keep to stand on
    top = []
    for i in range(1, 12):
        x = 66.0 + (152.0 - 66.0) * i / 12.0
        top.append((x, CRAG_TOP - 1.0 + 2.0 * noise.n1(x / 6.0 + 90.0)))
    return left, right, top


def draw_crag(cv, noise):
    left, right, top = crag_outline(noise)
    pts = [left[0]] + top + right + [(W + 30.0, CRAG_BASE + 40.0), (-30.0, CRAG_BASE + 40.0)] + left[::-1]

    def edges_at(y):
        k = int(clamp((y + 0.5 - CRAG_TOP) / 1.5, 0, len(left) - 1))
        return left[k][0], right[k][0]

    shadow = (10, 10, 21)
    mid = (30, 28, 49)
    lit = (100, 106, 140)

    def shade(x, y):
        px, py = x + 0.5, y + 0.5
        l, r = edges_at(y)
        u = clamp((px - l) / max(8.0, r - l))
        # columnar jointing: tall narrow facets, each turned a little towards or away from the moon
        f0 = noise.fbm2(px / 7.0 + 200.0, py / 13.0, 3)
        f1 = noise.fbm2((px + 1.0) / 7.0 + 200.0, py / 13.0, 3)
        facet = (f0 - f1) * 5.0
        # ledges: bands bent by noise, bright on their tops and dark beneath
        v = py / 11.0 + 2.5 * noise.fbm2(px / 34.0, py / 30.0 + 50.0, 2)
        fr = v - math.floor(v)
        ledge_on = smoothstep(0.4, 0.55, noise.fbm2(px / 14.0 + 70.0, math.floor(v) * 3.1, 2))
        ledge = (smoothstep(0.14, 0.0, fr) - 0.9 * smoothstep(0.75, 1.0, fr)) * ledge_on
        moon = smoothstep(0.48, 1.0, u) ** 1.3
        grain = noise.fbm2(px / 2.5, py / 2.5 + 9.0, 2) - 0.5
        light = clamp(0.22 + 0.6 * moon + facet * (0.3 + 0.7 * moon) + 0.45 * ledge * (0.4 + moon) + 0.3 * grain)
        if light < 0.4:
            c = mix(shadow, mid, light / 0.4)
        else:
            c = mix(mid, lit, (light - 0.4) / 0.6)
        # the west side catches a little of the afterglow, the east edge the moon
        c = mix(c, (112, 66, 70), 0.45 * smoothstep(l + 4.0, l, px) * smoothstep(CRAG_TOP, 190.0, py))
        c = mix(c, (150, 156, 190), 0.6 * smoothstep(r - 2.5, r, px))
        # the foot of the crag fades into the mist
        c = mix(c, haze_colour(px, 215.0), 0.6 * smoothstep(205.0, CRAG_BASE, py) ** 1.3)
        return c

    cv.fill_polygon(pts, shade)


# The keep, drawn as blocks with a shadowed west face and a dimly moonlit east face.

KEEP_DARK = (16, 15, 30)
KEEP_LIT = (40, 42, 68)
KEEP_RIM = (104, 110, 148)


def box_shader(x1, lit_from, noise, top=None):
    """Stone shading for an upright block whose east part, from lit_from on, faces the moon."""
    def shade(x, y):
        px = x + 0.5
        n = noise.fbm2(x / 3.0 + 11.0, y / 2.0, 2)
        course = 0.12 if ((y - int(KEEP_Y)) % 4 == 0) else 0.0
        if px >= lit_from:
            t = clamp((px - lit_from) / max(1.0, x1 - lit_from))
            c = mix(KEEP_LIT, KEEP_RIM, smoothstep(0.6, 1.0, t) * 0.8)
        else:
            c = mix(KEEP_DARK, KEEP_LIT, 0.25 * smoothstep(lit_from - 4.0, lit_from, px))
        c = scale(c, 0.85 + 0.3 * n - course)
        if top is not None:
            # the upper part sees more of the sky
            c = mix(c, (56, 50, 86), 0.3 * smoothstep(top + 24.0, top, y))
        return c
    return shade


def roof_shader(apex_x, right_x):
    def shade(x, y):
        t = smoothstep(apex_x, right_x, x + 0.5)
        c = mix(KEEP_DARK, (56, 58, 90), 0.9 * t)
        return mix(c, KEEP_RIM, 0.6 * smoothstep(right_x - 1.8, right_x, x + 0.5))
    return shade


def crenellated(x0, x1, ytop, ybot, merlon=3.0, gap=2.0, depth=2.5):
    pts = [(x0, ybot)]
    x = x0
    pts.append((x0, ytop))
    up = True
    while x < x1 - 0.01:
        w = merlon if up else gap
        nx = min(x1, x + w)
        if up:
            pts.append((nx, ytop))
            if nx < x1:
                pts.append((nx, ytop + depth))
        else:
            pts.append((nx, ytop + depth))
            if nx < x1:
                pts.append((nx, ytop))
        x = nx
        up = not up
    pts.append((x1, ybot))
    return pts


def draw_keep(cv, noise):
    base = KEEP_Y
    # heights below are drawn for a summit at y = 134 and move with it
    o = KEEP_Y - 134.0
    # curtain wall across the summit
    cv.fill_polygon(crenellated(69.0, 150.0, 112.0 + o, base, 2.5, 2.0, 2.2),
                    box_shader(150.0, 132.0, noise))
    # left tower with a steep roof
    cv.fill_polygon([(72.0, base), (72.0, 86.0 + o), (86.0, 86.0 + o), (86.0, base)],
                    box_shader(86.0, 82.0, noise, 86.0 + o))
    cv.fill_polygon([(70.0, 87.0 + o), (79.0, 58.0 + o), (88.0, 87.0 + o)], roof_shader(79.0, 88.0))
    # right tower, squat and crenellated
    cv.fill_polygon(crenellated(136.0, 149.0, 94.0 + o, base, 2.5, 2.0, 2.0),
                    box_shader(149.0, 144.0, noise, 94.0 + o))
    # the great tower
    cv.fill_polygon(crenellated(96.0, 124.0, 50.0 + o, base, 3.0, 2.0, 2.6),
                    box_shader(124.0, 116.0, noise, 50.0 + o))
    # its corbelled parapet casts a line of shadow
    for x in range(96, 124):
        cv.blend(x, int(56 + o), (8, 8, 18), 0.6)
    # a slender turret rising from the great tower, with a needle spire
    cv.fill_polygon([(113.0, 52.0 + o), (113.0, 34.0 + o), (121.0, 34.0 + o), (121.0, 52.0 + o)],
                    box_shader(121.0, 118.0, noise, 34.0 + o))
    cv.fill_polygon([(111.5, 35.0 + o), (117.0, 14.0 + o), (122.5, 35.0 + o)], roof_shader(117.0, 122.5))
    # a lower hall between the great tower and the right tower
    cv.fill_polygon([(123.0, base), (123.0, 104.0 + o), (136.0, 104.0 + o), (136.0, base)],
                    box_shader(136.0, 131.0, noise))
    cv.fill_polygon([(122.0, 105.0 + o), (129.5, 96.0 + o), (137.0, 105.0 + o)], roof_shader(129.5, 137.0))

    # lit windows and the gate
    warm = (255, 196, 108)
    windows = [(103, 66, 1, 3), (117, 70, 1, 3), (108, 88, 2, 3), (119, 95, 1, 2),
               (78, 98, 1, 3), (142, 106, 1, 2), (129, 110, 1, 2), (116, 40, 1, 2)]
    for wx, wy, ww, wh in windows:
        wy += int(o)
        cv.glow(wx + ww / 2.0, wy + wh / 2.0, 6.0, (255, 140, 50), 0.25)
        for yy in range(wy, wy + wh):
            for xx in range(wx, wx + ww):
                cv.blend(xx, yy, warm, 0.95)
    # a dark, unlit window or two keep the pattern from looking regular
    for wx, wy in ((100, 92), (84, 108)):
        wy += int(o)
        cv.blend(wx, wy, (6, 6, 12), 0.8)
        cv.blend(wx, wy + 1, (6, 6, 12), 0.8)
    # gate: an arch glowing from within
    gx, gy = 104.0, base
    cv.fill_polygon([(gx - 3.0, gy), (gx - 3.0, gy - 6.0), (gx - 1.5, gy - 8.0), (gx + 1.5, gy - 8.0),
                     (gx + 3.0, gy - 6.0), (gx + 3.0, gy)], (226, 142, 62))
    cv.glow(gx, gy - 4.0, 12.0, (255, 130, 40), 0.35)


def draw_banner(cv):
    o = KEEP_Y - 134.0
    pole_x, pole_top, pole_bot = 117.0, 3.0 + o, 15.0 + o
    for y in range(int(pole_top), int(pole_bot) + 1):
        cv.blend(int(pole_x), y, (20, 18, 30), 0.9)
    cv.blend(int(pole_x), int(pole_top), (150, 150, 170), 0.6)
    # a swallow-tailed pennant streaming east, rippling in the wind
    length = 20.0
    steps = 24
    upper = []
    lower = []
    for i in range(steps + 1):
        t = i / steps
        x = pole_x + 0.6 + t * length
        wave = 1.6 * math.sin(t * 7.5 - 0.6) * t
        half = 2.4 * (1.0 - 0.45 * t)
        cy = pole_top + 3.0 + wave + 1.2 * t
        upper.append((x, cy - half))
        lower.append((x, cy + half))
    tail_x = pole_x + 0.6 + length
    notch = (tail_x - 5.0, (upper[-1][1] + lower[-1][1]) / 2.0)
    pts = upper + [notch] + lower[::-1]

    def shade(x, y):
        t = clamp((x + 0.5 - pole_x) / length)
        ripple = math.cos(t * 7.5 - 0.6)
        c = mix((92, 14, 26), (196, 44, 48), 0.5 + 0.5 * ripple)
        return mix(c, (60, 10, 20), 0.3 * t)

    cv.fill_polygon(pts, shade)


def path_points():
    """The path from the foreground up to the gate, as Catmull-Rom control points with widths."""
    return [
        (40.0, 340.0, 13.0),
        (70.0, 312.0, 10.0),
        (132.0, 294.0, 7.5),
        (168.0, 280.0, 5.5),
        (150.0, 266.0, 4.0),
        (112.0, 258.0, 3.0),
        (146.0, 238.0, 2.4),
        (172.0, 224.0, 2.0),
        (158.0, 199.0, 1.7),
        (138.0, 178.0, 1.4),
        (148.0, 164.0, 1.2),
        (124.0, 152.0, 1.0),
        (104.0, 142.0, 1.0),
        (104.0, 140.0, 1.0),
    ]


def catmull_rom(ctrl, per_segment=40):
    out = []
    pts = [ctrl[0]] + ctrl + [ctrl[-1]]
    for i in range(1, len(pts) - 2):
        p0, p1, p2, p3 = pts[i - 1], pts[i], pts[i + 1], pts[i + 2]
        for s in range(per_segment):
            t = s / per_segment
            t2 = t * t
            t3 = t2 * t
            out.append(tuple(
                0.5 * ((2 * p1[k]) + (-p0[k] + p2[k]) * t + (2 * p0[k] - 5 * p1[k] + 4 * p2[k] - p3[k]) * t2
                       + (-p0[k] + 3 * p1[k] - 3 * p2[k] + p3[k]) * t3)
                for k in range(3)))
    out.append(ctrl[-1])
    return out


def draw_path(cv, noise, samples):
    """The path as a ribbon: a distance field to the sampled centre line, shaded as packed earth."""
    field = {}
    for (cx, cy, r) in samples:
        ext = r + 2.0
        for y in range(max(0, int(cy - ext)), min(H, int(cy + ext) + 1)):
            for x in range(max(0, int(cx - ext)), min(W, int(cx + ext) + 1)):
                # perspective squashes the path vertically
                d = math.hypot(x + 0.5 - cx, (y + 0.5 - cy) * 1.6) - r
                k = y * W + x
                old = field.get(k)
                if old is None or d < old[0]:
                    field[k] = (d, r)
    covered = set()
    for k in sorted(field):
        d, r = field[k]
        a = clamp(0.5 - d)
        if a <= 0.0:
            continue
        if d < -0.5:
            covered.add(k)
        y, x = divmod(k, W)
        edge = smoothstep(-r, 0.0, d)
        n = noise.fbm2(x / 3.0, y / 2.0, 3)
        near = smoothstep(200.0, 320.0, y)
        c = mix((72, 66, 84), (112, 100, 108), 0.5 * n + 0.3 * near)
        c = scale(c, 1.0 - 0.45 * edge)
        c = mix(c, haze_colour(x, 215.0), 0.55 * (1.0 - near) * smoothstep(320.0, 170.0, y) * 0.9)
        cv.blend(x, y, c, a)
    return covered


def draw_ground(cv, noise):
    """The foreground: a dark moor that rises at the sides, with tufts against the mist."""
    crest = []
    for x in range(W):
        h = 268.0 - 10.0 * (noise.fbm1(x / 40.0 + 8.0, 4) - 0.5) * 2.0
        h -= 20.0 * smoothstep(80.0, 0.0, x) ** 1.5
        h -= 14.0 * smoothstep(170.0, 230.0, x) ** 1.5
        crest.append(h)
    for x in range(W):
        h = crest[x]
        for y in range(max(0, int(h)), H):
            a = clamp(y + 1.0 - h)
            d = y + 0.5 - h
            n = noise.fbm2(x / 7.0 + 3.0, y / 3.0, 4)
            depth = smoothstep(0.0, 60.0, d)
            c = mix((46, 40, 64), (16, 15, 26), depth)
            c = scale(c, 0.75 + 0.5 * n)
            # a little of the moon on the rises
            c = mix(c, (70, 74, 100), 0.25 * smoothstep(0.55, 0.8, n) * (1.0 - depth))
            cv.blend(x, y, c, a)
    # tufts of grass along the crest, dark against the mist
    rnd = random.Random(77)
    for _ in range(70):
        x = rnd.uniform(0, W)
        h = crest[min(W - 1, int(x))]
        for _ in range(rnd.randint(2, 4)):
            blade(cv, x + rnd.uniform(-1.0, 1.0), h + 1.0, rnd.uniform(1.5, 4.0), rnd.uniform(-0.6, 0.6),
                  (20, 19, 32), 0.9)


def draw_boulders(cv, noise):
    """A few stones beside the path, lit on their east sides."""
    stones = [(28.0, 300.0, 13.0, 9.0), (182.0, 306.0, 16.0, 10.0), (206.0, 290.0, 9.0, 6.0),
              (94.0, 290.0, 5.0, 3.0), (160.0, 270.0, 4.0, 2.6)]
    for cx, cy, rx, ry in stones:
        pts = []
        for i in range(20):
            ang = math.pi * 2.0 * i / 20.0
            wob = 1.0 + 0.12 * (noise.n1(i * 0.9 + cx) - 0.5) * 2.0
            yk = 1.0 if math.sin(ang) < 0 else 0.35
            pts.append((cx + math.cos(ang) * rx * wob, cy + math.sin(ang) * ry * wob * yk))

        def shade(x, y, cx=cx, cy=cy, rx=rx, ry=ry):
            u = (x + 0.5 - cx) / rx
            v = (y + 0.5 - cy) / ry
            lit = clamp(0.5 + 0.6 * u - 0.5 * v)
            n = noise.fbm2(x / 3.0 + cx, y / 3.0, 2)
            c = mix((14, 13, 24), (84, 86, 112), lit ** 1.6)
            return scale(c, 0.8 + 0.4 * n)

        cv.fill_polygon(pts, shade)


def pine(cv, noise, x, base, height, width, seed, colour, rim):
    """A fir silhouette: ragged, drooping boughs on a thin trunk, edged by moonlight on the east."""
    rnd = random.Random(seed)
    top = base - height
    crown = height * 0.9
    left = []
    right = []
    for side, out in ((-1, left), (1, right)):
        y = top + 1.5
        while y < top + crown:
            t = (y - top) / crown
            step = height * (0.045 + 0.06 * rnd.random())
            spread = width * 0.5 * (0.1 + 0.9 * t ** 0.85) * (0.6 + 0.6 * rnd.random())
            droop = step * (0.5 + 0.6 * rnd.random())
            # a bough: up along its top, out to a drooping tip, a few ragged needles back under it
            out.append((x + side * spread * 0.3, y))
            out.append((x + side * spread, y + droop))
            out.append((x + side * spread * 0.8, y + droop + step * 0.15))
            out.append((x + side * spread * 0.85, y + droop + step * 0.3))
            out.append((x + side * spread * (0.3 + 0.2 * rnd.random()), y + droop + step * 0.4))
            y += step
    trunk_top = top + crown
    pts = ([(x, top - 1.5)] + right + [(x + 1.0, trunk_top), (x + 1.0, base), (x - 1.0, base),
                                       (x - 1.0, trunk_top)] + left[::-1])

    # the east outline, for the rim of moonlight
    rim_edge = sorted(right, key=lambda p: p[1])

    def shade(px, py):
        n = noise.fbm2(px / 2.5 + seed, py / 2.0, 2)
        c = scale(colour, 0.8 + 0.4 * n)
        yy = py + 0.5
        ex = None
        for (ax, ay), (bx, by) in zip(rim_edge, rim_edge[1:]):
            if ay <= yy <= by and by > ay:
                ex = ax + (yy - ay) * (bx - ax) / (by - ay)
                break
        if ex is None:
            return c
        edge = smoothstep(ex - 3.0, ex, px + 0.5)
        return mix(c, rim, 0.7 * edge * (0.4 + n))

    cv.fill_polygon(pts, shade)


def draw_pines(cv, noise):
    dark = (9, 10, 20)
    rim = (70, 78, 112)
    pine(cv, noise, 12.0, 322.0, 132.0, 40.0, 11, dark, rim)
    pine(cv, noise, 34.0, 318.0, 92.0, 30.0, 12, dark, rim)
    pine(cv, noise, -4.0, 322.0, 160.0, 44.0, 13, dark, rim)
    pine(cv, noise, 221.0, 322.0, 104.0, 32.0, 14, dark, rim)
    pine(cv, noise, 205.0, 324.0, 66.0, 22.0, 15, dark, rim)
    # distant firs on the moor, half lost in the mist
    far = (30, 28, 48)
    for i, (x, h) in enumerate(((52.0, 24.0), (59.0, 18.0), (66.0, 13.0), (174.0, 17.0), (181.0, 25.0),
                                (189.0, 15.0))):
        pine(cv, noise, x, 270.0 + (i % 2), h, h * 0.45, 20 + i, far, (84, 84, 116))


def torch(cv, x, y, size):
    """A torch on a post: a flame, its glow in the air and a pool of light on the ground."""
    post = 6.0 * size
    for k in range(int(post) + 1):
        cv.blend(int(x), int(y - k), (18, 14, 20), 0.9)
    fy = y - post - 0.5
    cv.glow(x, y + 1.0, 16.0 * size, (180, 90, 30), 0.35)       # light on the ground
    cv.glow(x, fy, 20.0 * size, (255, 120, 30), 0.35, 2.5)       # glow in the air
    cv.glow(x, fy, 7.0 * size, (255, 170, 70), 0.7, 1.6)
    cv.disc(x + 0.5, fy, max(0.6, 1.1 * size), (255, 236, 170), 1.0)
    cv.blend(int(x), int(fy - 1.5 * size), (255, 200, 110), 0.8)


def torch_spots(samples):
    """Where the torches stand: at the path's edge, smaller the further up the path they are."""
    spots = [(0.055, 1.9), (0.15, 1.5), (0.25, 1.2), (0.345, 0.95), (0.47, 0.75), (0.6, 0.6),
             (0.73, 0.5), (0.86, 0.42)]
    out = []
    for t, size in spots:
        cx, cy, r = samples[int(t * (len(samples) - 1))]
        out.append((cx + r * 1.2 + 0.6, cy + 0.5, size))
    return out


def draw_torches(cv, spots):
    for x, y, size in spots:
        torch(cv, x, y, size)


def blade(cv, x, y, length, angle, colour, alpha):
    """One grass blade, a tapering antialiased stroke from its root upwards."""
    steps = max(3, int(length * 3))
    dx = math.sin(angle)
    dy = -math.cos(angle)
    for k in range(steps):
        t = k / steps
        # blades bend further over towards their tips
        px = x + dx * length * t + 0.3 * dx * length * t * t
        py = y + dy * length * t
        a = alpha * (1.0 - 0.7 * t) / 1.6
        ix = int(math.floor(px - 0.5))
        fx = px - 0.5 - ix
        cv.blend(ix, int(py), colour, a * (1.0 - fx))
        cv.blend(ix + 1, int(py), colour, a * fx)


def draw_grass(cv, spots, samples, path):
    """Tufts of moor grass along the path and across the foreground, warmed near the torches."""
    rnd = random.Random(4242)
    roots = []
    # along both edges of the nearer part of the path
    for i in range(0, len(samples) // 3, 5):
        cx, cy, r = samples[i]
        for side in (-1.0, 1.0):
            if rnd.random() < 0.75:
                roots.append((cx + side * (r + rnd.uniform(0.5, 4.0)), cy + rnd.uniform(-1.0, 2.0)))
    for _ in range(60):
        roots.append((rnd.uniform(-2.0, W + 2.0), rnd.uniform(278.0, H + 3.0)))
    for x, y in roots:
        if y < 272.0 or int(y) * W + int(x) in path:
            continue
        near = smoothstep(272.0, 320.0, y)
        warm = 0.0
        for tx, ty, size in spots:
            d = math.hypot(x - tx, (y - ty) * 1.5) / (16.0 * size)
            warm = max(warm, clamp(1.0 - d))
        for _ in range(rnd.randint(3, 6)):
            length = (2.0 + 3.5 * rnd.random()) * (0.6 + 0.9 * near)
            angle = rnd.uniform(-0.7, 0.7)
            lit = rnd.random()
            c = mix((10, 10, 20), (60, 62, 88), 0.45 * lit * lit)
            c = mix(c, (186, 110, 52), 0.75 * warm * (0.5 + 0.5 * lit))
            blade(cv, x + rnd.uniform(-1.0, 1.0), y, length, angle, c, 0.95)


def raven(cv, x, y, span, flap, colour):
    """A raven in flight: two bent wings and a small body, wings up or down by flap."""
    pts = []
    s = span / 2.0
    lift = flap * s * 0.55
    # upper outline, left tip to right tip
    pts.append((x - s, y - lift))
    pts.append((x - s * 0.45, y - lift * 0.2 - s * 0.12))
    pts.append((x - s * 0.12, y - s * 0.08))
    pts.append((x + s * 0.12, y - s * 0.08))
    pts.append((x + s * 0.45, y - lift * 0.2 - s * 0.12))
    pts.append((x + s, y - lift))
    # lower outline back again
    pts.append((x + s * 0.5, y - lift * 0.05 + s * 0.06))
    pts.append((x + s * 0.12, y + s * 0.16))
    pts.append((x, y + s * 0.3))
    pts.append((x - s * 0.12, y + s * 0.16))
    pts.append((x - s * 0.5, y - lift * 0.05 + s * 0.06))
    cv.fill_polygon(pts, colour, subrows=8)


def draw_ravens(cv):
    # one crosses the moon, the others wheel about the great tower
    for x, y, span, flap in ((171.0, 61.0, 11.0, 0.8), (150.0, 88.0, 8.0, -0.5), (196.0, 40.0, 7.0, 0.4),
                             (58.0, 48.0, 9.0, 0.7), (45.0, 63.0, 6.5, -0.3), (140.0, 26.0, 5.0, 0.5)):
        raven(cv, x, y, span, flap, (10, 9, 18))


def vignette(cv):
    for y in range(H):
        for x in range(W):
            u = (x + 0.5) / W - 0.5
            v = (y + 0.5) / H - 0.45
            k = 1.0 - 0.55 * smoothstep(0.3, 0.75, math.hypot(u * 1.2, v))
            i = y * W + x
            cv.r[i] *= k
            cv.g[i] *= k
            cv.b[i] *= k


def render():
    noise = Noise(20260)
    cv = Canvas(W, H)
    draw_sky(cv)
    draw_stars(cv)
    draw_moon(cv, noise)
    draw_clouds(cv, noise)

    far = ridge_line(noise, 178.0, 34.0, 1 / 70.0, 3.0, [(30.0, 14.0, 26.0)])
    draw_range(cv, noise, far, (92, 72, 118), (176, 150, 176), haze_colour, 40.0, 0.0)
    draw_mist(cv, noise, 196.0, 9.0, 0.55, haze_colour, 5.0)
    mid = ridge_line(noise, 214.0, 30.0, 1 / 48.0, 41.0, [(200.0, 16.0, 20.0)])
    draw_range(cv, noise, mid, (50, 44, 82), (124, 116, 150),
               lambda x, y: haze_colour(x, y + 10.0), 55.0, 20.0)
    draw_mist(cv, noise, 228.0, 10.0, 0.6, haze_colour, 9.0)
    near = ridge_line(noise, 246.0, 22.0, 1 / 36.0, 77.0)
    draw_range(cv, noise, near, (30, 28, 54), (84, 82, 116),
               lambda x, y: mix(haze_colour(x, y), (60, 52, 84), 0.4), 40.0, 40.0)

    draw_crag(cv, noise)
    draw_keep(cv, noise)
    draw_banner(cv)
    draw_mist(cv, noise, 252.0, 9.0, 0.75, lambda x, y: haze_colour(x, 210.0), 13.0, 45.0)

    draw_ground(cv, noise)
    samples = catmull_rom(path_points())
    path = draw_path(cv, noise, samples)
    draw_boulders(cv, noise)
    draw_mist(cv, noise, 282.0, 8.0, 0.3, lambda x, y: haze_colour(x, 200.0), 17.0, 70.0)
    spots = torch_spots(samples)
    draw_grass(cv, spots, samples, path)
    draw_pines(cv, noise)
    draw_torches(cv, spots)
    draw_ravens(cv)
    vignette(cv)
    return cv


# ---------------------------------------------------------------------------------------------
# Palette: variance-splitting median cut, then k-means

def to_pixels(cv):
    out = []
    for i in range(W * H):
        out.append((clamp(cv.r[i], 0.0, 255.0), clamp(cv.g[i], 0.0, 255.0), clamp(cv.b[i], 0.0, 255.0)))
    return out


def histogram(pixels):
    """Weighted colour samples: pixels binned to 6 bits a channel, each bin at its mean colour."""
    bins = {}
    for r, g, b in pixels:
        key = (int(r) >> 2, int(g) >> 2, int(b) >> 2)
        e = bins.get(key)
        if e is None:
            bins[key] = [r, g, b, 1]
        else:
            e[0] += r
            e[1] += g
            e[2] += b
            e[3] += 1
    out = []
    for key in sorted(bins):
        r, g, b, n = bins[key]
        out.append((r / n, g / n, b / n, n))
    return out


def box_stats(items):
    n = 0.0
    s = [0.0, 0.0, 0.0]
    q = [0.0, 0.0, 0.0]
    for it in items:
        w = it[3]
        n += w
        for k in range(3):
            s[k] += w * it[k]
            q[k] += w * it[k] * it[k]
    sse = sum(q[k] - s[k] * s[k] / n for k in range(3))
    return n, sse


def best_split(items):
    """The cut along one axis that most reduces the summed squared error of the box."""
    best = None
    for axis in range(3):
        order = sorted(items, key=lambda it: (it[axis], it[0], it[1], it[2]))
        tot_n = 0.0
        tot_s = [0.0, 0.0, 0.0]
        for it in order:
            tot_n += it[3]
            for k in range(3):
                tot_s[k] += it[3] * it[k]
        n = 0.0
        s = [0.0, 0.0, 0.0]
        for i in range(len(order) - 1):
            it = order[i]
            n += it[3]
            for k in range(3):
                s[k] += it[3] * it[k]
            if order[i][axis] == order[i + 1][axis]:
                continue
            m = tot_n - n
            # maximising this between-group term minimises the within-group error
            gain = sum(s[k] * s[k] for k in range(3)) / n + \
                sum((tot_s[k] - s[k]) ** 2 for k in range(3)) / m
            if best is None or gain > best[0]:
                best = (gain, order[:i + 1], order[i + 1:])
    return best


def median_cut(samples, count):
    boxes = [samples]
    sse = [box_stats(samples)[1]]
    while len(boxes) < count:
        # split the box holding the most error that can still be split
        order = sorted(range(len(boxes)), key=lambda i: (-sse[i], i))
        for i in order:
            if len(boxes[i]) > 1:
                break
        else:
            break
        split = best_split(boxes[i])
        if split is None:
            sse[i] = -1.0
            continue
        _, a, b = split
        boxes[i] = a
        sse[i] = box_stats(a)[1]
        boxes.append(b)
        sse.append(box_stats(b)[1])
    palette = []
    for box in boxes:
        n = sum(it[3] for it in box)
        palette.append(tuple(sum(it[3] * it[k] for it in box) / n for k in range(3)))
    return palette


class Nearest:
    """Nearest palette entry, searching outward from the query's green value."""

    def __init__(self, palette):
        self.order = sorted(range(len(palette)), key=lambda i: (palette[i][1], palette[i][0], palette[i][2], i))
        self.cols = [palette[i] for i in self.order]
        self.greens = [c[1] for c in self.cols]
        self.cache = {}

    def find(self, r, g, b):
        cols = self.cols
        n = len(cols)
        # binary search for the green value
        lo, hi = 0, n
        while lo < hi:
            mid = (lo + hi) // 2
            if self.greens[mid] < g:
                lo = mid + 1
            else:
                hi = mid
        best = -1
        best_d = 1e30
        i, j = lo - 1, lo
        while i >= 0 or j < n:
            if j < n:
                c = cols[j]
                dg = c[1] - g
                if dg * dg >= best_d:
                    j = n
                else:
                    d = (c[0] - r) ** 2 + dg * dg + (c[2] - b) ** 2
                    if d < best_d or (d == best_d and self.order[j] < self.order[best]):
                        best_d = d
                        best = j
                    j += 1
            if i >= 0:
                c = cols[i]
                dg = c[1] - g
                if dg * dg >= best_d:
                    i = -1
                else:
                    d = (c[0] - r) ** 2 + dg * dg + (c[2] - b) ** 2
                    if d < best_d or (d == best_d and self.order[i] < self.order[best]):
                        best_d = d
                        best = i
                    i -= 1
        return self.order[best]

    def find_cached(self, r, g, b):
        """Nearest for a colour rounded to whole levels, remembered between calls."""
        key = (int(r + 0.5), int(g + 0.5), int(b + 0.5))
        idx = self.cache.get(key)
        if idx is None:
            idx = self.find(*key)
            self.cache[key] = idx
        return idx


def kmeans(samples, palette, rounds):
    for _ in range(rounds):
        near = Nearest(palette)
        acc = [[0.0, 0.0, 0.0, 0.0] for _ in palette]
        for r, g, b, n in samples:
            a = acc[near.find(r, g, b)]
            a[0] += r * n
            a[1] += g * n
            a[2] += b * n
            a[3] += n
        palette = [(a[0] / a[3], a[1] / a[3], a[2] / a[3]) if a[3] > 0 else palette[i]
                   for i, a in enumerate(acc)]
    return palette


def round_palette(palette):
    """Rounds to bytes, nudging any entry that would duplicate another."""
    out = []
    seen = set()
    for c in palette:
        q = tuple(int(clamp(round(v), 0, 255)) for v in c)
        step = 0
        while q in seen:
            step += 1
            # walk to the nearest free neighbour, in a fixed order
            for dr, dg, db in ((0, 0, 1), (0, 0, -1), (1, 0, 0), (-1, 0, 0), (0, 1, 0), (0, -1, 0)):
                cand = (int(clamp(q[0] + dr * step, 0, 255)), int(clamp(q[1] + dg * step, 0, 255)),
                        int(clamp(q[2] + db * step, 0, 255)))
                if cand not in seen:
                    q = cand
                    break
        seen.add(q)
        out.append(q)
    return out


def dither(pixels, palette, strength=0.85):
    """Serpentine Floyd-Steinberg; the error is damped a little so flat areas stay calm."""
    near = Nearest(palette)
    err_cur = [[0.0, 0.0, 0.0] for _ in range(W + 2)]
    err_next = [[0.0, 0.0, 0.0] for _ in range(W + 2)]
    out = [0] * (W * H)
    for y in range(H):
        rev = y & 1
        xs = range(W - 1, -1, -1) if rev else range(W)
        step = -1 if rev else 1
        for x in xs:
            p = pixels[y * W + x]
            e = err_cur[x + 1]
            r = clamp(p[0] + e[0], 0.0, 255.0)
            g = clamp(p[1] + e[1], 0.0, 255.0)
            b = clamp(p[2] + e[2], 0.0, 255.0)
            idx = near.find_cached(r, g, b)
            out[y * W + x] = idx
            c = palette[idx]
            er = (r - c[0]) * strength
            eg = (g - c[1]) * strength
            eb = (b - c[2]) * strength
            for (dx, tgt, w) in ((step, err_cur, 7 / 16), (-step, err_next, 3 / 16),
                                 (0, err_next, 5 / 16), (step, err_next, 1 / 16)):
                t = tgt[x + 1 + dx]
                t[0] += er * w
                t[1] += eg * w
                t[2] += eb * w
        err_cur = err_next
        err_next = [[0.0, 0.0, 0.0] for _ in range(W + 2)]
    return out


def quantise(pixels):
    samples = histogram(pixels)
    palette = median_cut(samples, 256)
    palette = kmeans(samples, palette, 6)
    for _ in range(6):
        pal = round_palette(palette)
        idx = dither(pixels, pal)
        used = set(idx)
        unused = [i for i in range(256) if i not in used]
        if not unused:
            return pal, idx
        # give each idle entry to the colour the palette serves worst
        errs = []
        for i, p in enumerate(pixels):
            c = pal[idx[i]]
            errs.append(((p[0] - c[0]) ** 2 + (p[1] - c[1]) ** 2 + (p[2] - c[2]) ** 2, i))
        errs.sort(key=lambda e: (-e[0], e[1]))
        palette = list(pal)
        taken = set(pal)
        k = 0
        for u in unused:
            while k < len(errs):
                p = pixels[errs[k][1]]
                k += 1
                q = tuple(int(round(v)) for v in p)
                if q not in taken:
                    taken.add(q)
                    palette[u] = q
                    break
    # last resort: hand each idle entry the pixel closest to it
    pal = round_palette(palette)
    idx = dither(pixels, pal)
    counts = [0] * 256
    for i in idx:
        counts[i] += 1
    for u in range(256):
        if counts[u]:
            continue
        c = pal[u]
        best = None
        for i, p in enumerate(pixels):
            if counts[idx[i]] < 2:
                continue
            d = (p[0] - c[0]) ** 2 + (p[1] - c[1]) ** 2 + (p[2] - c[2]) ** 2
            if best is None or d < best[0]:
                best = (d, i)
        counts[idx[best[1]]] -= 1
        idx[best[1]] = u
        counts[u] += 1
    return pal, idx


def sort_palette(pal, idx):
    """Orders the table from dark to light, which makes it easier to read in a resource editor."""
    order = sorted(range(256), key=lambda i: (pal[i][0] * 30 + pal[i][1] * 59 + pal[i][2] * 11, pal[i]))
    remap = [0] * 256
    for new, old in enumerate(order):
        remap[old] = new
    return [pal[i] for i in order], [remap[i] for i in idx]


# ---------------------------------------------------------------------------------------------
# Output

def bmp_bytes(pal, idx):
    stride = (W + 3) & ~3
    bits = bytearray()
    for y in range(H - 1, -1, -1):
        row = bytes(idx[y * W:(y + 1) * W])
        bits += row + b"\0" * (stride - W)
    table = b"".join(struct.pack("<BBBB", c[2], c[1], c[0], 0) for c in pal)
    info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 8, 0, 0, 0, 0, 0, 0)
    offset = 14 + len(info) + len(table)
    header = struct.pack("<2sIHHI", b"BM", offset + len(bits), 0, 0, offset)
    return header + info + table + bytes(bits)


def png_bytes(pal, idx):
    raw = bytearray()
    for y in range(H):
        raw.append(0)
        for i in idx[y * W:(y + 1) * W]:
            raw += bytes(pal[i])

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    ihdr = struct.pack(">IIBBBBB", W, H, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + \
        chunk(b"IEND", b"")


def main(argv):
    ap = argparse.ArgumentParser(description="Draw the installer's background picture.")
    ap.add_argument("output", nargs="?",
                    default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "picture.bmp"))
    ap.add_argument("--png", help="also write a PNG preview here")
    args = ap.parse_args(argv)

    cv = render()
    pal, idx = quantise(to_pixels(cv))
    pal, idx = sort_palette(pal, idx)
    with open(args.output, "wb") as f:
        f.write(bmp_bytes(pal, idx))
    if args.png:
        with open(args.png, "wb") as f:
            f.write(png_bytes(pal, idx))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
