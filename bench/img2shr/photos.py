"""Photo-like pictures drawn by code, for the picture benchmarks.

The converter must be measured on pictures it has never seen, and the
benchmarks must not depend on photos fetched from elsewhere. These scenes hold
what makes photos hard for per-line palettes: smooth gradients across many
lines (sky, a lit wall), large objects spanning many lines (a banana, a face,
a brick wall), skin, sky and foliage colour ramps, soft shapes, fine textures
and sensor grain. Every scene is seeded: the same kind, seed and size always
give the same pixels.

    photo(kind, seed, w, h) -> PIL RGB image
"""

import numpy as np
from PIL import Image

KINDS = ("landscape", "still_life", "portrait", "brick_wall", "sunset_sea", "flowers")
DRAW_WIDTH = 1600   # scenes are drawn at most this wide, then scaled up


def noise(rng, h, w, cells, octaves=4):
    """Fractal value noise in 0..1: random grids of `cells` across, then
    finer ones at half the weight, each scaled up smoothly."""
    total, weight, norm = np.zeros((h, w), np.float32), 1.0, 0.0
    for o in range(octaves):
        gw = max(2, int(cells * 2 ** o))
        gh = max(2, int(gw * h / w))
        grid = Image.fromarray(rng.random((gh, gw)).astype(np.float32), "F")
        total += weight * np.asarray(grid.resize((w, h), Image.BICUBIC))
        norm += weight
        weight *= 0.5
    return np.clip(total / norm, 0, 1)


def ramp(t, *colours):
    """Colours along t in 0..1 through the given stops, (h, w, 3)."""
    stops = np.array(colours, np.float32)
    pos = np.clip(t, 0, 1) * (len(stops) - 1)
    i = np.minimum(pos.astype(int), len(stops) - 2)
    f = (pos - i)[..., None]
    return stops[i] * (1 - f) + stops[i + 1] * f


def soft(d, edge):
    """1 inside (d < 0), 0 outside, with a soft edge `edge` wide."""
    return np.clip(0.5 - d / edge, 0, 1)[..., None]


def grid(h, w):
    y, x = np.mgrid[0:h, 0:w].astype(np.float32)
    return y / h, x / w


def landscape(rng, h, w):
    y, x = grid(h, w)
    sky = ramp(y / 0.55, (0.16, 0.36, 0.78), (0.45, 0.62, 0.88), (0.82, 0.88, 0.94))
    clouds = np.clip((noise(rng, h, w, 3, 5) - 0.5) * 3, 0, 1)[..., None] * (y < 0.5)[..., None]
    img = sky * (1 - clouds * 0.8) + clouds * 0.8 * np.array([0.97, 0.97, 0.98])
    sun = soft(np.hypot(x - 0.75, (y - 0.15) * h / w) - 0.04, 0.03)
    img = img * (1 - sun) + sun * np.array([1.0, 0.97, 0.85])
    ridge = 0.5 + 0.1 * noise(rng, 1, w, 2, 3)[0] - 0.05
    for far, (c0, c1) in enumerate((((0.30, 0.40, 0.50), (0.45, 0.55, 0.62)),
                                   ((0.10, 0.28, 0.07), (0.48, 0.62, 0.20)))):
        top = ridge + far * (0.1 + 0.06 * noise(rng, 1, w, 3, 3)[0])
        leaves = noise(rng, h, w, 40, 4) if far else noise(rng, h, w, 8, 3)
        land = ramp(leaves * (1 - 0.4 * (y - top)), c0, c1)
        img = np.where((y > top)[..., None], land, img)
    return img


def still_life(rng, h, w):
    """A banana and an apple on a wooden table before a lit plaster wall."""
    y, x = grid(h, w)
    wall = ramp(0.3 + 0.6 * x - 0.2 * y + 0.08 * noise(rng, h, w, 30, 3),
                (0.45, 0.38, 0.30), (0.86, 0.80, 0.70))
    grain = np.sin((y * 60 + 4 * noise(rng, h, w, 2, 3)) * np.pi * 2 + x * 3)
    wood = ramp(0.5 + 0.25 * grain + 0.2 * noise(rng, h, w, 20, 2) - 0.3 * (y - 0.6),
                (0.30, 0.16, 0.07), (0.62, 0.40, 0.20))
    img = np.where((y > 0.62)[..., None], wood, wall)
    # the banana: a curved band whose shading turns across it like a cylinder
    centre = 0.52 - 0.9 * (x - 0.45) ** 2
    half = 0.09 * np.clip(1 - ((x - 0.45) / 0.33) ** 2, 0, 1) ** 0.5
    across = (y - centre) / np.maximum(half, 1e-3)
    body = ramp(0.9 - 0.55 * (across + 1) / 2 + 0.06 * noise(rng, h, w, 25, 2),
                (0.45, 0.32, 0.05), (0.86, 0.70, 0.12), (0.98, 0.90, 0.45))
    tips = (np.abs(x - 0.45) > 0.29)[..., None]
    body = np.where(tips, body * np.array([0.55, 0.45, 0.3]), body)
    inside = soft(np.abs(across) - 1, 0.15) * (half > 0.01)[..., None]
    img = img * (1 - inside) + body * inside
    # the apple, lit from the right, with a highlight
    dx, dy = (x - 0.78) * w / h, y - 0.55
    r = np.hypot(dx, dy) / 0.16
    light = np.clip(0.55 + 0.45 * (dx * 0.6 - dy * 0.5) / 0.16, 0.1, 1)
    apple = ramp(light, (0.25, 0.03, 0.03), (0.72, 0.10, 0.08), (0.95, 0.45, 0.30))
    apple += 0.5 * np.exp(-(((dx - 0.05) ** 2 + (dy + 0.06) ** 2) / 0.0006))[..., None]
    img = img * (1 - soft(r - 1, 0.03)) + np.clip(apple, 0, 1) * soft(r - 1, 0.03)
    return img


def portrait(rng, h, w):
    """A face, hair and shirt before a blurred background of coloured lights."""
    y, x = grid(h, w)
    img = ramp(y + 0.2 * noise(rng, h, w, 2, 2), (0.05, 0.20, 0.22), (0.20, 0.35, 0.25))
    for _ in range(14):
        cx, cy, rad = rng.random(), rng.random(), 0.03 + 0.06 * rng.random()
        col = rng.random(3) * 0.6 + 0.3
        img += 0.35 * soft(np.hypot((x - cx) * w / h, y - cy) - rad, 0.05) * col
    ax, ay = (x - 0.5) * w / h / 0.22, (y - 0.45) / 0.32
    r2 = ax ** 2 + ay ** 2
    nz = np.sqrt(np.clip(1 - r2, 0, 1))
    lit = np.clip(0.25 + 0.75 * (0.5 * -ax * 0.6 + 0.3 * -ay + 0.8 * nz), 0, 1)
    skin = ramp(lit + 0.04 * noise(rng, h, w, 60, 2), (0.35, 0.20, 0.15),
                (0.78, 0.56, 0.45), (0.96, 0.80, 0.70))
    hair_t = noise(rng, h, w, 120, 2) * 0.5 + 0.5 * noise(rng, h, w, 5, 2)
    hair = ramp(hair_t, (0.08, 0.05, 0.03), (0.35, 0.22, 0.12))
    hair_mask = soft(np.hypot(ax / 1.15, (y - 0.40) / 0.36) - 1, 0.04) * (ay < 0.2)[..., None]
    img = img * (1 - hair_mask) + hair * hair_mask
    face = soft(np.sqrt(r2) - 1, 0.05)
    img = img * (1 - face) + skin * face
    shirt = ramp(0.5 + 0.3 * np.sin(x * 40 + 3 * noise(rng, h, w, 4, 2)) - 0.3 * (y - 0.8),
                 (0.06, 0.12, 0.35), (0.20, 0.35, 0.70))
    body = soft(0.78 + 0.25 * np.abs(x - 0.5) - y, 0.02)
    return img * (1 - body) + shirt * body


def brick_wall(rng, h, w):
    """Staggered bricks of varied colour, mortar, and light falling across."""
    y, x = grid(h, w)
    rows = 14
    row = np.floor(y * rows)
    bx = x * 6 + 0.5 * (row % 2)
    brick_id = (row * 13 + np.floor(bx)).astype(int)
    tone = rng.random(brick_id.max() + 1)[brick_id]
    mortar = (np.abs(y * rows - row - 0.5) > 0.42) | (np.abs(bx - np.floor(bx) - 0.5) > 0.47)
    face = ramp(0.3 * tone + 0.5 * noise(rng, h, w, 60, 3) + 0.2,
                (0.40, 0.14, 0.08), (0.66, 0.30, 0.18), (0.80, 0.55, 0.40))
    grey = ramp(noise(rng, h, w, 80, 2), (0.55, 0.53, 0.50), (0.75, 0.73, 0.70))
    img = np.where(mortar[..., None], grey, face)
    light = 0.45 + 0.6 * np.clip(1 - np.hypot(x - 0.3, y - 0.2), 0, 1)
    return img * light[..., None]


def sunset_sea(rng, h, w):
    y, x = grid(h, w)
    sky = ramp(y / 0.5, (0.25, 0.15, 0.40), (0.85, 0.40, 0.35), (1.0, 0.75, 0.40))
    sun = soft(np.hypot((x - 0.4) * w / h, y - 0.42) - 0.05, 0.02)
    sky = sky * (1 - sun) + sun * np.array([1.0, 0.93, 0.7])
    waves = noise(rng, h, w // 8, 6, 4)
    waves = np.asarray(Image.fromarray(waves, "F").resize((w, h), Image.BICUBIC))
    depth = (y - 0.5) / 0.5
    sea = ramp(0.3 + 0.5 * waves - 0.3 * depth, (0.05, 0.08, 0.20), (0.45, 0.30, 0.35))
    glint = np.exp(-((x - 0.4) / (0.03 + 0.1 * depth)) ** 2) * np.clip(waves - 0.45, 0, 1) * 3
    sea = np.clip(sea + glint[..., None] * np.array([1.0, 0.7, 0.35]), 0, 1)
    return np.where((y > 0.5)[..., None], sea, sky)


def flowers(rng, h, w):
    y, x = grid(h, w)
    img = ramp(noise(rng, h, w, 30, 4), (0.05, 0.18, 0.05), (0.25, 0.50, 0.12),
               (0.55, 0.70, 0.25))
    for _ in range(25):
        cx, cy, rad = rng.random(), rng.random(), 0.02 + 0.05 * rng.random()
        col = np.array([(0.9, 0.15, 0.25), (0.95, 0.75, 0.1), (0.85, 0.45, 0.75),
                        (0.98, 0.95, 0.92)][rng.integers(4)])
        d = np.hypot((x - cx) * w / h, y - cy) / rad
        petal = soft(d - 1 - 0.25 * np.cos(np.arctan2(y - cy, x - cx) * 5), 0.2)
        shade = np.clip(1.1 - 0.5 * d, 0.4, 1)[..., None]
        img = img * (1 - petal) + col * shade * petal
    return img


def photo(kind, seed, w, h):
    """The scene `kind` for `seed` at w x h, with sensor grain."""
    rng = np.random.default_rng([seed, KINDS.index(kind)])
    dw = min(w, DRAW_WIDTH)
    dh = max(1, round(h * dw / w))
    img = np.clip(globals()[kind](rng, dh, dw), 0, 1)
    im = Image.fromarray((img * 255).round().astype(np.uint8), "RGB")
    if (dw, dh) != (w, h):
        im = im.resize((w, h), Image.BICUBIC)
    grain = rng.normal(0, 2.5, (h, w, 1)).astype(np.float32)
    return Image.fromarray(np.clip(np.asarray(im, np.float32) + grain + 0.5, 0, 255)
                           .astype(np.uint8), "RGB")
