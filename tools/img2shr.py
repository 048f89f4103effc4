#!/usr/bin/env python3
"""Convert a picture into an Apple IIGS Super Hi-Res (SHR) screen file.

OUTPUT gets exactly 32712 bytes:
  offset 0      32000 bytes  pixels: 200 lines of 160 bytes, two pixels a byte,
                             the left pixel in the high nibble; a nibble is a
                             colour number 0..15
  offset 32000    200 bytes  scan-line control bytes: palette 0..15 of each line
  offset 32200    512 bytes  16 palettes x 16 colours, each little-endian $0RGB
                             (first byte green<<4 | blue, second byte red)
and OUTPUT + "_preview.png" gets a 320 x 200 PNG of exactly what the card
shows: the written file decoded again, each 4-bit component times 17.

Preparing the picture:
  * EXIF orientation is applied; an embedded ICC profile is converted to sRGB.
  * Transparency is composited on WHITE (logos and drawings are mostly made
    for white pages). 16-bit and float pictures are scaled by their range.
  * Scaling keeps the aspect ratio with square pixels, as the preview shows
    them. To fill more of the 16:10 screen, up to 10% of the width (of a wide
    picture) or of the height (of a tall one) is cropped evenly from both
    sides; what still does not fill the screen is padded with BLACK bars,
    centred (letterbox or pillarbox).

Choosing the colours: every line of the screen uses one of 16 palettes of 16
colours out of the 4096 colours of 12 bits. Lines are grouped by their colour
content and each group gets its own palette; over several rounds every line
moves to the palette that reproduces it best (a change of palette between
neighbouring lines has to pay for itself: it shows as a faint band) and every
palette is re-fitted (k-means) to the pixels of its lines. Each pixel leans a
little towards the error of the pixel above, so that errors run on across a
change of palette. Colour differences are measured
perceptually (CIELAB reshaped to follow CIEDE2000); palette colours are
snapped to the 12-bit grid and polished there. A picture without colour stays
in pure greys.
"""

import argparse
import io
import math
import os
import sys
import tempfile
import warnings

try:
    import numpy as np
    from PIL import Image
except ImportError as missing:   # an interpreter without the modules
    sys.exit(f"img2shr: this interpreter lacks numpy or Pillow: {missing}")

# The most pixels decoded at once. A decoded pixel takes at most 4 bytes
# (Pillow keeps RGB as RGBX), and nothing else of that size is ever held: the
# picture is shrunk band by band. So a conversion stays under 150 MB.
MAX_PIXELS = 16_000_000
# A (baseline) JPEG decodes at as little as 1/8 of its width and height for
# nearly nothing, so it may hold 64 times more.
JPEG_REDUCTION = 64
# Exit status for a picture refused as too large.
TOO_LARGE = 3
# Pillow's own check stays behind ours: it errors at twice this many pixels,
# and warns (which we silence) above it.
Image.MAX_IMAGE_PIXELS = MAX_PIXELS * JPEG_REDUCTION
warnings.simplefilter("ignore", Image.DecompressionBombWarning)
# Pillow hands every freed image block back to the system unless told to keep
# some, and resizes a kept block to whatever image comes next. The bands below
# are made and freed dozens of times, beside small reduced ones: getting fresh
# zeroed memory for each cost a 12-megapixel picture four times their pixel
# work. Small blocks of one size, a few megabytes of them kept, are reused as
# they are.
BLOCK_BYTES = 1 << 18
KEPT_BLOCKS = 32
if hasattr(Image.core, "set_blocks_max") and hasattr(Image.core, "set_block_size"):
    Image.core.set_block_size(BLOCK_BYTES)
    Image.core.set_blocks_max(KEPT_BLOCKS)

WIDTH, HEIGHT = 320, 200
SHR_BYTES = 32712
PALETTES = 16
COLOURS = 16
MAX_CROP = 0.10          # share of width/height we may crop before padding
REDUCING_GAP = 3.0       # box-filter down to this many times the final size
BAND_PIXELS = 1 << 18    # the picture is shrunk in bands of about this many pixels
FIT_ROUNDS = 4           # rounds of line regrouping and palette re-fitting
KMEANS_ITERS = 8
# Share of a pixel's error passed on along its line, and down to the next one.
# All of it goes along the line, where the palette stays the same; only part
# goes down, because error carried into a line often meets another palette,
# and what that palette makes of it differs from line to line: the eye sees
# the difference as faint horizontal bands.
DITHER_ALONG = 1.0
DITHER_DOWN = 0.6
SWITCH_COST = 0.5        # a palette change between lines, in median line errors
CARRY = 0.12             # share of a pixel's error the pixel below leans towards
DEFAULT_SAT, DEFAULT_CON = 1.45, 1.1

# --------------------------------------------------------------------------
# Colour spaces. Saturation and contrast are applied in Oklab, whose
# lightness and chroma are close to independent: scaling chroma neither
# shifts hues nor changes lightness, and scaling lightness keeps colours.

_M1 = np.array([[0.4122214708, 0.5363325363, 0.0514459929],
                [0.2119034982, 0.6806995451, 0.1073969566],
                [0.0883024619, 0.2817188376, 0.6299787005]], np.float32)
_M2 = np.array([[0.2104542553, 0.7936177850, -0.0040720468],
                [1.9779984951, -2.4285922050, 0.4505937099],
                [0.0259040371, 0.7827717662, -0.8086757660]], np.float32)
_M2_INV = np.array([[1.0, 0.3963377774, 0.2158037573],
                    [1.0, -0.1055613458, -0.0638541728],
                    [1.0, -0.0894841775, -1.2914855480]], np.float32)
_M1_INV = np.array([[4.0767416621, -3.3077115913, 0.2309699292],
                    [-1.2684380046, 2.6097574011, -0.3413193965],
                    [-0.0041960863, -0.7034186147, 1.7076147010]], np.float32)


def srgb_to_linear(v):
    """sRGB component(s) in 0..1 to linear light."""
    v = np.asarray(v, np.float32)
    return np.where(v <= 0.04045, v / 12.92, ((v + 0.055) / 1.055) ** 2.4).astype(np.float32)


def linear_to_oklab(lin):
    """Linear sRGB (..., 3) to Oklab (..., 3)."""
    lms = np.cbrt(np.maximum(lin @ _M1.T, 0.0))
    return (lms @ _M2.T).astype(np.float32)


def oklab_to_linear(lab):
    """Oklab (..., 3) to linear sRGB (..., 3), not clipped."""
    return (((lab @ _M2_INV.T) ** 3) @ _M1_INV.T).astype(np.float32)


# Palette choice and dithering measure colour differences in coordinates
# where plain Euclidean distance follows CIEDE2000 closely: CIELAB with the
# lightness axis stretched by CIEDE2000's S_L weight (integrated) and chroma
# compressed by its S_C = 1 + 0.045 C weight (C' = ln(1 + 0.045 C) / 0.045).
# Squared distances there keep k-means cheap while agreeing with the
# perceptual metric much better than Oklab or RGB distances do.

_XYZ = (np.array([[0.4124564, 0.3575761, 0.1804375],
                  [0.2126729, 0.7151522, 0.0721750],
                  [0.0193339, 0.1191920, 0.9503041]])
        / np.array([[0.95047], [1.0], [1.08883]])).astype(np.float32)
_L_GRID = np.linspace(-20.0, 120.0, 1401)
_SL = 1 + 0.015 * (_L_GRID - 50) ** 2 / np.sqrt(20 + (_L_GRID - 50) ** 2)
_L_STRETCH = np.concatenate([[0.0], np.cumsum((1 / _SL[1:] + 1 / _SL[:-1]) * 0.05)])
_L_STRETCH -= np.interp(0.0, _L_GRID, _L_STRETCH)


def linear_to_percept(lin):
    """Linear sRGB (..., 3) to the perceptual coordinates above (float32)."""
    xyz = np.maximum(lin @ _XYZ.T, 0.0)
    f = np.where(xyz > 0.008856, np.cbrt(xyz), xyz * 7.787 + 16 / 116)
    lum = 116 * f[..., 1] - 16
    a = 500 * (f[..., 0] - f[..., 1])
    b = 200 * (f[..., 1] - f[..., 2])
    c = np.hypot(a, b)
    squeeze = np.where(c > 1e-6, np.log1p(0.045 * c) / (0.045 * np.maximum(c, 1e-6)), 1.0)
    out = np.empty(lin.shape, np.float32)
    out[..., 0] = np.interp(lum, _L_GRID, _L_STRETCH)
    out[..., 1] = a * squeeze
    out[..., 2] = b * squeeze
    return out


# The 4096 colours of the card: index = r<<8 | g<<4 | b, each 0..15.
GRID_RGB4 = np.stack(np.meshgrid(np.arange(16), np.arange(16), np.arange(16),
                                 indexing="ij"), -1).reshape(-1, 3)
GRID_LIN = srgb_to_linear(GRID_RGB4 * 17 / 255.0)
GRID_P = linear_to_percept(GRID_LIN)
GREYS = np.arange(16) * 0x111


_STEPS = np.stack(np.meshgrid([-1, 0, 1], [-1, 0, 1], [-1, 0, 1],
                              indexing="ij"), -1).reshape(-1, 3)


def neighbours(idx, grey):
    """Grid colours one step or less from each colour of idx in r, g and b:
    (len(idx), 27), or (len(idx), 3) along the greys; clipped at the edges."""
    if grey:
        level = np.minimum(np.maximum(idx[:, None] // 0x111 + np.arange(-1, 2), 0), 15)
        return level * 0x111
    n = np.minimum(np.maximum(GRID_RGB4[idx][:, None, :] + _STEPS, 0), 15)
    return n[..., 0] * 256 + n[..., 1] * 16 + n[..., 2]


# --------------------------------------------------------------------------
# Reading and scaling the picture.


class ConvertError(Exception):
    """A failure worth one line on stderr."""


class TooLarge(ConvertError):
    """A picture with more pixels than we decode."""


def screen_geometry(w, h):
    """Crop box in the source and placement on the screen for a w x h picture.

    Returns (box, (sw, sh), (ox, oy)): the source rectangle to scale, the
    scaled size and its top-left corner on the 320 x 200 screen."""
    target = WIDTH / HEIGHT
    aspect = w / h
    if aspect > target:            # wide: crop width, then letterbox
        cw = max(w * (1 - MAX_CROP), h * target)
        box = ((w - cw) / 2, 0.0, (w + cw) / 2, float(h))
        sw, sh = WIDTH, max(1, min(HEIGHT, round(WIDTH * h / cw)))
    else:                          # tall: crop height, then pillarbox
        ch = max(h * (1 - MAX_CROP), w / target)
        box = (0.0, (h - ch) / 2, float(w), (h + ch) / 2)
        sw, sh = max(1, min(WIDTH, round(HEIGHT * w / ch))), HEIGHT
    return box, (sw, sh), ((WIDTH - sw) // 2, (HEIGHT - sh) // 2)


def _bands(im, rows):
    """The picture in horizontal bands of `rows` lines."""
    w, h = im.size
    for top in range(0, h, rows):
        yield im.crop((0, top, w, min(h, top + rows)))


def _grey_scale(im, rows):
    """The factor that brings a 16-bit, 32-bit or float grey picture to
    0..255 by its range (Pillow's own conversion would clip it at 255
    instead), found band by band."""
    top = -np.inf
    for band in _bands(im, rows):
        a = np.asarray(band)
        if a.size:
            top = max(top, float(np.fmax.reduce(a, axis=None)))
    if im.mode == "F":
        return 255.0 if top <= 1.0 else (1.0 if top <= 255.0 else 255.0 / top)
    return 255.0 / max(65535, top)


def _to_8bit(im, scale):
    """A 16-bit, 32-bit or float grey picture times `scale` as 8-bit 'L'
    (in place, in single precision: a band costs twice its size at most)."""
    a = np.asarray(im).astype(np.float32)
    a *= np.float32(scale)
    np.nan_to_num(a, copy=False)
    a += np.float32(0.5)
    np.clip(a, 0, 255, out=a)
    return Image.fromarray(a.astype(np.uint8), "L")


def _normalise_mode(im, grey_scale=None):
    """Any Pillow mode to one of RGB, RGBA, L, LA or CMYK (modes that Pillow
    can resize with a proper filter); `grey_scale` is _grey_scale's factor
    for 16-bit, 32-bit and float pictures (of this one when not given)."""
    m = im.mode
    if m in ("RGB", "RGBA", "L", "LA", "CMYK"):
        return im
    if m == "P" or m == "PA":
        return im.convert("RGBA" if (m == "PA" or "transparency" in im.info) else "RGB")
    if m.startswith("I") or m == "F":
        return _to_8bit(im, grey_scale if grey_scale is not None else _grey_scale(im, im.size[1]))
    if m == "1":
        return im.convert("L")
    if m == "LAB":
        from PIL import ImageCms
        return ImageCms.applyTransform(im, ImageCms.buildTransform(
            ImageCms.createProfile("LAB"), ImageCms.createProfile("sRGB"), "LAB", "RGB"))
    return im.convert("RGB")


def shrink(im, factor):
    """The decoded picture reduced `factor` times (box filter) in a mode fit
    for resizing. It goes band by band, so that beside the decoded picture
    only one band and the result are ever held: mode conversions and Pillow's
    premultiplied reduction of transparent pictures would otherwise each make
    a whole copy."""
    w, h = im.size
    rows = factor * max(1, BAND_PIXELS // (w * factor))
    grey = _grey_scale(im, rows) if im.mode.startswith("I") or im.mode == "F" else None
    out, y = None, 0
    for band in _bands(im, rows):
        band = _normalise_mode(band, grey)
        if factor > 1:
            band = band.reduce(factor)
        if out is None:
            out = Image.new(band.mode, (-(-w // factor), -(-h // factor)))
        out.paste(band, (0, y))
        y += band.size[1]
    if im.info.get("icc_profile"):
        out.info["icc_profile"] = im.info["icc_profile"]
    return out


def _apply_icc(im):
    """Convert colours from an embedded ICC profile to sRGB (wide-gamut phone
    photos look dull otherwise). A profile that cannot be used is ignored."""
    icc = im.info.get("icc_profile")
    if not icc or im.mode not in ("RGB", "RGBA", "CMYK"):
        return im
    try:
        from PIL import ImageCms
        src = ImageCms.ImageCmsProfile(io.BytesIO(icc))
        alpha = im.getchannel("A") if im.mode == "RGBA" else None
        base = im.convert("RGB") if alpha is not None else im
        out = ImageCms.profileToProfile(base, src, ImageCms.createProfile("sRGB"),
                                        outputMode="RGB")
        if alpha is not None:
            out.putalpha(alpha)
        return out
    except Exception:
        return im.convert("RGB") if im.mode == "CMYK" else im


def fit_to_screen(im, full_size=None):
    """Scale an opened picture onto the 320 x 200 screen; `full_size` is the
    size the picture had before shrink(), which the crop and the bars follow.

    Returns (rgb, mask): uint8 (200, 320, 3) sRGB and a bool (200, 320) that is
    True on the picture and False on the black bars."""
    fw, fh = full_size or im.size
    box, (sw, sh), (ox, oy) = screen_geometry(fw, fh)
    kx, ky = im.size[0] / fw, im.size[1] / fh
    box = (box[0] * kx, box[1] * ky, box[2] * kx, box[3] * ky)
    im = _normalise_mode(im)
    # Pillow resamples RGBA premultiplied, so compositing after the shrink
    # equals compositing before it and costs 100 times less.
    small = im.resize((sw, sh), Image.LANCZOS, box=box, reducing_gap=REDUCING_GAP)
    if im.info.get("icc_profile"):
        small.info["icc_profile"] = im.info["icc_profile"]
    small = _apply_icc(small)
    if small.mode in ("RGBA", "LA"):
        white = Image.new("RGBA", small.size, (255, 255, 255, 255))
        small = Image.alpha_composite(white, small.convert("RGBA"))
    small = small.convert("RGB")
    rgb = np.zeros((HEIGHT, WIDTH, 3), np.uint8)
    mask = np.zeros((HEIGHT, WIDTH), bool)
    rgb[oy:oy + sh, ox:ox + sw] = np.asarray(small)
    mask[oy:oy + sh, ox:ox + sw] = True
    return rgb, mask


def _decode_scale(w, h):
    """The smallest decoding scale that still leaves the filter two source
    pixels per screen pixel, whichever way the EXIF orientation turns the
    picture (it is only known after decoding)."""
    s = 0.0
    for a, b in ((w, h), (h, w)):
        box, (sw, sh), _ = screen_geometry(a, b)
        s = max(s, sw / (box[2] - box[0]), sh / (box[3] - box[1]))
    return 2 * s


# EXIF orientation (tag 0x0112) to the transposition that shows the picture
# upright, as ImageOps.exif_transpose does (which would copy the whole decoded
# picture even when it is upright); 5 to 8 turn it a quarter.
_T = getattr(Image, "Transpose", Image)
_ORIENT = {2: _T.FLIP_LEFT_RIGHT, 3: _T.ROTATE_180, 4: _T.FLIP_TOP_BOTTOM,
           5: _T.TRANSPOSE, 6: _T.ROTATE_270, 7: _T.TRANSVERSE, 8: _T.ROTATE_90}


def _pixel_limit(im):
    """The most pixels an opened picture may have: what it costs to decode
    stays within MAX_PIXELS pixels of 4 bytes."""
    if im.format != "JPEG":
        return MAX_PIXELS
    if not im.info.get("progressive"):
        return MAX_PIXELS * JPEG_REDUCTION
    # A progressive JPEG is held whole as DCT coefficients (2 bytes each, a
    # component's share by its sampling) however small it is decoded.
    try:
        hmax = max(h for _, h, _, _ in im.layer)
        vmax = max(v for _, _, v, _ in im.layer)
        per_pixel = 2 * sum(h * v for _, h, v, _ in im.layer) / (hmax * vmax)
    except (AttributeError, ValueError, TypeError):
        per_pixel = 8   # as many as four full components take
    return int(MAX_PIXELS * 4 / per_pixel)


def _too_large(w, h, limit):
    return TooLarge(f"picture too large: {w} x {h} pixels, more than "
                    f"{limit // 1_000_000} megapixels")


def load_picture(path):
    """Open, reduce early, orient and scale a picture; see fit_to_screen."""
    try:
        with Image.open(path) as im:
            w, h = im.size
            if w < 1 or h < 1:
                raise ConvertError(f"empty picture: {path}")
            # Refused before anything is decoded.
            limit = _pixel_limit(im)
            if w * h > limit:
                raise _too_large(w, h, limit)
            # JPEG can decode at 1/2, 1/4 or 1/8 of its size nearly for free;
            # a 12-megapixel photo would otherwise cost most of our time.
            need = _decode_scale(w, h)
            if need < 1:
                im.draft(None, (math.ceil(w * need), math.ceil(h * need)))
            if im.size[0] * im.size[1] > MAX_PIXELS:  # a JPEG that will not reduce enough
                raise _too_large(w, h, limit)
            orientation = im.getexif().get(0x0112)
            full = im.size
            # Down to a few times the screen, which the resize then finishes;
            # turned upright only then, when it is small.
            small = shrink(im, max(1, int(2 / (REDUCING_GAP * _decode_scale(*full)))))
        if orientation in _ORIENT:
            small = small.transpose(_ORIENT[orientation])
            if orientation >= 5:
                full = full[::-1]
        return fit_to_screen(small, full)
    except ConvertError:
        raise
    except (OSError, ValueError, SyntaxError, Image.DecompressionBombError) as e:
        raise ConvertError(f"cannot read picture {path}: {e}") from None
    except Exception as e:  # Pillow raises assorted errors on damaged files
        raise ConvertError(f"cannot read picture {path}: {type(e).__name__}: {e}") from None


def adjust(lin, mask, sat, con):
    """Apply saturation and contrast in Oklab and clip back into the sRGB gamut.

    Contrast pivots on the mean lightness of the picture (bars excluded) so
    that the overall brightness stays put."""
    if sat == 1.0 and con == 1.0:
        return lin
    lab = linear_to_oklab(lin)
    mean_l = float(lab[..., 0][mask].mean()) if mask.any() else 0.5
    lab[..., 0] = mean_l + (lab[..., 0] - mean_l) * con
    lab[..., 1:] *= sat
    out = np.clip(oklab_to_linear(lab), 0.0, 1.0)
    out[~mask] = 0.0
    return out

# --------------------------------------------------------------------------
# Palette choice.


def sq_dist(x, c, x2=None):
    """Squared Euclidean distances (n, m) between points x (n, 3) and colours
    c (m, 3), via one matrix product (much faster than broadcasting); x2 may
    bring the points' squared norms along when they are reused."""
    if x2 is None:
        x2 = (x * x).sum(1)
    d = x @ (-2.0 * c.T)
    d += x2[:, None]
    d += (c * c).sum(1)
    return np.maximum(d, 0.0, out=d)


def snap(p, grey):
    """Nearest 12-bit colour (grid index) of each point p (n, 3)."""
    cand = GREYS if grey else np.arange(4096)
    return cand[np.argmin(sq_dist(p, GRID_P[cand]), 1)]


class Points:
    """The picture as weighted points: one per line and 12-bit colour, at the
    mean position of its pixels, weighted by their number.

    A photo line of 320 pixels holds only 40 to 90 distinct 12-bit colours,
    so this cuts the work of every fitting round four- to sevenfold. For
    squared errors it changes nothing but a constant (the spread within a
    bin), as long as a bin's pixels would pick the same palette entry, which
    pixels less than one grid step apart nearly always do."""

    def __init__(self, p, mask, q4):
        key = (np.arange(HEIGHT)[:, None] * 4096 + q4)[mask]
        uniq, inv = np.unique(key, return_inverse=True)
        self.w = np.bincount(inv).astype(np.float32)
        flat = p[mask]
        self.p = np.stack([np.bincount(inv, flat[:, j]) for j in range(3)], 1)
        self.p = (self.p / self.w[:, None]).astype(np.float32)
        self.p2 = (self.p * self.p).sum(1)
        # [p, 1] as columns: one matrix product then gives |c|^2 - 2 p.c
        self.pa = np.concatenate([self.p.T, np.ones((1, len(self.p)), np.float32)])
        self.line = uniq // 4096
        self.q4 = uniq % 4096
        # points come sorted by line: where each line's run starts
        self.lines, self.starts = np.unique(self.line, return_index=True)

    def subset(self, sel):
        return self.p[sel], self.w[sel], self.q4[sel]


def init_centres(px, w, k, rng):
    """Weighted k-means++ seeding: spreads the first centres over the colours
    in use, each new one drawn with probability weight x squared distance."""
    centres = [px[int(np.argmax(w))]]
    d = sq_dist(px, centres[0][None])[:, 0] * w
    for _ in range(1, k):
        total = float(d.sum())
        if total <= 0:
            break
        i = min(int(np.searchsorted(np.cumsum(d), rng.random() * total)), len(px) - 1)
        centres.append(px[i])
        d = np.minimum(d, sq_dist(px, px[i][None])[:, 0] * w)
    return np.array(centres, np.float32)


def kmeans(px, w, centres, fixed, iters):
    """Weighted Lloyd iterations; rows of `centres` flagged in `fixed` never
    move. An emptied centre jumps to the point with the largest weighted
    error, where it does the most good."""
    k = len(centres)
    x2 = (px * px).sum(1)
    wpx = px * w[:, None]
    for _ in range(iters):
        d = sq_dist(px, centres, x2)
        a = np.argmin(d, 1)
        cnt = np.bincount(a, w, k)
        sums = np.stack([np.bincount(a, wpx[:, j], k) for j in range(3)], 1)
        new = np.where(cnt[:, None] > 0, sums / np.maximum(cnt, 1e-9)[:, None], centres)
        new = new.astype(np.float32)
        empty = np.flatnonzero((cnt == 0) & ~fixed)
        if len(empty):
            err = d[np.arange(len(px)), a] * w
            for j, i in zip(empty, np.argsort(-err)[:len(empty)]):
                new[j] = px[i]
        new[fixed] = centres[fixed]
        moved = float(np.abs(new - centres).max())
        centres = new
        if moved < 0.05:
            break
    return centres


def polish(px, w, pal, fixed, grey):
    """Improve snapped palette entries on the 12-bit grid.

    The grid colour nearest a centroid is not always the best grid colour for
    the pixels it serves: every free entry tries its 26 grid neighbours and
    moves to the one that lowers the error of its pixels the most (a pixel
    never pays more than its distance to its second-best entry). Duplicate
    entries are first moved onto the point served worst."""
    pal = pal.copy()
    for _ in range(2):
        _, first = np.unique(pal, return_index=True)
        for j in sorted(set(range(len(pal))) - set(first.tolist())):
            if not fixed[j]:
                d = sq_dist(px, GRID_P[pal]).min(1) * w
                pal[j] = snap(px[int(np.argmax(d))][None], grey)[0]
        d = sq_dist(px, GRID_P[pal])
        a = np.argmin(d, 1)
        second = np.partition(d, 1, 1)[:, 1] if len(pal) > 1 else np.full(len(px), np.inf)
        cand = neighbours(pal, grey)                        # (16, ncand)
        ncand = cand.shape[1]
        dc = ((GRID_P[cand[a]] - px[:, None, :]) ** 2).sum(2)  # (n, ncand)
        cost = np.bincount((a[:, None] * ncand + np.arange(ncand)).ravel(),
                           (np.minimum(dc, second[:, None]) * w[:, None]).ravel(),
                           len(pal) * ncand).reshape(len(pal), ncand)
        now = cost[np.arange(len(pal)), np.argmax(cand == pal[:, None], 1)]
        k = np.argmin(cost, 1)
        better = (cost[np.arange(len(pal)), k] < now * (1 - 1e-6)) & ~fixed
        if not better.any():
            break
        for j in np.flatnonzero(better):
            if cand[j, k[j]] not in pal:       # two entries may eye the same colour
                pal[j] = cand[j, k[j]]
    return pal


def fit_palette(px, w, q4, prev, fixed_pal, grey, rng):
    """Fit one palette (16 grid indices) to the weighted points of a group of
    lines.

    When the group uses no more 12-bit colours than the palette has free
    entries they are taken as they are, so pictures that already fit the
    screen come back unchanged. Otherwise k-means (warm-started from the
    group's previous palette) finds the centres, which are snapped to the
    grid and polished."""
    fixed = fixed_pal >= 0
    free = COLOURS - int(fixed.sum())
    pal = np.where(fixed, fixed_pal, 0)
    if len(px) == 0:
        return pal if prev is None else np.where(fixed, fixed_pal, prev)
    used = np.setdiff1d(q4, pal[fixed])
    if len(used) <= free:
        filler = used[:1] if len(used) else pal[fixed][:1]
        pal[~fixed] = np.concatenate([used, np.repeat(filler, free - len(used))])
        return pal
    if prev is not None:
        start = GRID_P[prev].copy()
    else:
        seeds = init_centres(px, w, free, rng)
        start = np.empty((COLOURS, 3), np.float32)
        start[~fixed] = np.concatenate([seeds, np.repeat(seeds[:1], free - len(seeds), 0)])
    start[fixed] = GRID_P[pal[fixed]]
    centres = kmeans(px, w, start, fixed, KMEANS_ITERS)
    pal[~fixed] = snap(centres[~fixed], grey)
    return polish(px, w, pal, fixed, grey)


def line_errors(pts, pals):
    """Error of every line under every palette, (200, 16).

    The distance matrix is built palette-entry-major, (entries, palettes,
    points), so that the minimum over entries runs over whole contiguous
    rows, which numpy does several times faster than along a short last
    axis."""
    npal = len(pals)
    c = GRID_P[pals.T.reshape(-1)]
    caug = np.concatenate([-2.0 * c, (c * c).sum(1, keepdims=True)], 1)
    d = (caug @ pts.pa).reshape(COLOURS, npal, -1).min(0)
    d += pts.p2
    np.maximum(d, 0.0, out=d)
    d *= pts.w
    out = np.zeros((HEIGHT, npal), np.float32)
    out[pts.lines] = np.add.reduceat(d, pts.starts, axis=1).T
    return out


def initial_groups(pts):
    """First grouping of the 200 lines by colour content.

    Each line is described by its histogram over a coarse 8x8x8 RGB grid
    (square roots, so that small but distinct colour patches still count);
    farthest-point seeding picks 16 mutually different lines and a few
    k-means rounds settle the groups. Lines of the same colours land in the
    same group from the start."""
    q = pts.q4
    coarse = ((q >> 9) & 7) * 64 + ((q >> 5) & 7) * 8 + ((q >> 1) & 7)
    feat = np.bincount(pts.line * 512 + coarse, pts.w,
                       HEIGHT * 512).reshape(HEIGHT, 512).astype(np.float32)
    feat = np.sqrt(feat / np.maximum(feat.sum(1, keepdims=True), 1))
    seeds = [int(np.argmax(((feat - feat.mean(0)) ** 2).sum(1)))]
    d = ((feat - feat[seeds[0]]) ** 2).sum(1)
    while len(seeds) < PALETTES:
        i = int(np.argmax(d))
        if d[i] <= 1e-9:
            break
        seeds.append(i)
        d = np.minimum(d, ((feat - feat[i]) ** 2).sum(1))
    cent = feat[seeds]
    for _ in range(10):
        g = np.argmin(sq_dist(feat, cent), 1)
        new = np.array([feat[g == k].mean(0) if (g == k).any() else cent[k]
                        for k in range(len(cent))])
        if np.allclose(new, cent):
            break
        cent = new
    return np.argmin(sq_dist(feat, cent), 1)


def assign_lines(err, switch):
    """The palette of every line: the least total of line errors (err, (200,
    16)) plus `switch` for each change of palette from one line to the next
    (Viterbi). Lines that pick their palettes on their own alternate between
    two that serve them about equally well, and the eye sees each change as a
    faint band; a change now has to pay for itself."""
    cost = err[0].astype(np.float64)
    back = np.zeros(err.shape, np.int64)
    stay = np.arange(err.shape[1])
    for y in range(1, len(err)):
        best = int(np.argmin(cost))
        back[y] = np.where(cost <= cost[best] + switch, stay, best)
        cost = np.minimum(cost, cost[best] + switch) + err[y]
    path = np.empty(len(err), np.int64)
    path[-1] = int(np.argmin(cost))
    for y in range(len(err) - 1, 0, -1):
        path[y - 1] = back[y, path[y]]
    return path


def choose_palettes(p, mask, q4, grey):
    """Choose 16 palettes and a palette per line.

    Returns (pals (16, 16) grid indices, line_pal (200,)). Rounds alternate
    between fitting each palette to the points of its lines and moving each
    line to the palette that serves it best; a palette left without lines
    takes over the worst-served line. Lines touching the black bars may only
    use palettes that hold pure black, which is pinned in them. Changing
    palette between neighbouring lines costs SWITCH_COST median line errors
    (see assign_lines)."""
    rng = np.random.default_rng(12)
    pts = Points(p, mask, q4)
    needs_black = ~mask.all(1)
    fixed = np.full((PALETTES, COLOURS), -1)
    if needs_black.all():
        fixed[:, 0] = 0
    elif needs_black.any():
        fixed[0, 0] = 0
    has_black = (fixed == 0).any(1)
    groups = initial_groups(pts)
    groups[needs_black & ~has_black[groups]] = 0
    pals = np.zeros((PALETTES, COLOURS), int)
    prev = [None] * PALETTES
    best = (np.inf, None, None)
    for _ in range(FIT_ROUNDS):
        owner = groups[pts.line]
        for k in range(PALETTES):
            pals[k] = fit_palette(*pts.subset(owner == k), prev[k], fixed[k], grey, rng)
            prev[k] = pals[k]
        err = line_errors(pts, pals)
        err[needs_black[:, None] & ~has_black[None, :]] = np.inf
        best_err = err.min(1)
        finite = best_err[np.isfinite(best_err)]
        switch = SWITCH_COST * float(np.median(finite)) if len(finite) else 0.0
        new = assign_lines(err, switch)
        line_err = err[np.arange(HEIGHT), new]
        total = float(line_err.sum()) + switch * int((np.diff(new) != 0).sum())
        if total < best[0]:
            best = (total, pals.copy(), new.copy())
        for k in np.setdiff1d(np.arange(PALETTES), new):
            order = np.argsort(-line_err)
            order = order[has_black[k] | ~needs_black[order]]
            if len(order) and line_err[order[0]] > 0:
                new[order[0]] = k
                line_err[order[0]] = 0
                prev[k] = None
        if np.array_equal(new, groups):
            break
        groups = new
    return best[1], best[2]

# --------------------------------------------------------------------------
# Mapping pixels to colour numbers.


def map_nearest(p, mask, pals, line_pal):
    """Colour number of every pixel: the entry of its line's palette nearest
    the pixel moved by CARRY times the error of the pixel above. Errors that
    follow on from line to line do not jump where the palette changes, which
    the eye would see as a band; the pull is small enough to cost little.
    Bar pixels take pure black as it is."""
    idx = np.zeros((HEIGHT, WIDTH), np.uint8)
    above = np.zeros((WIDTH, 3), np.float32)
    for y in range(HEIGHT):
        pal = GRID_P[pals[line_pal[y]]]
        pull = np.float32(CARRY) * above * mask[y][:, None]
        idx[y] = np.argmin(sq_dist(p[y] + pull, pal), 1)
        above = pal[idx[y]] - p[y]
    return idx


def map_dither(lin, mask, pals, line_pal):
    """Floyd-Steinberg error diffusion in linear light with each line's own
    palette, the nearest colour judged in the perceptual coordinates.

    A pixel needs the finished pixel to its left and the three above it, so
    line y can run two pixels behind line y-1: all lines advance together
    along that diagonal, one vectorised step per diagonal (718 steps instead
    of 64000 pixel steps). The carried value is clipped to the gamut so that
    error from a colour the palette cannot reach does not smear across the
    picture. Bar pixels stay pure black: error that reaches them is dropped
    and none leaves them. Error goes down weaker than along (DITHER_DOWN)."""
    h, w = HEIGHT, WIDTH
    work = np.zeros((h + 1, w + 2, 3), np.float32)
    work[:h, 1:w + 1] = lin
    idx = np.zeros((h, w), np.uint8)
    pal_lin = GRID_LIN[pals][line_pal]               # (200, 16, 3)
    pal_p = GRID_P[pals][line_pal]
    pal_aug = np.concatenate([-2.0 * pal_p, (pal_p * pal_p).sum(2, keepdims=True)], 2)
    along = np.float32(DITHER_ALONG * 7 / 16)
    down = np.float32(DITHER_DOWN / 16) * np.array([3, 5, 1], np.float32)
    ys = np.arange(h)
    for t in range(w + 2 * (h - 1)):
        lo, hi = max(0, (t - w + 2) // 2), min(h - 1, t // 2)
        y = ys[lo:hi + 1]
        x = t - 2 * y
        cx = x + 1
        v = np.clip(work[y, cx], 0.0, 1.0)
        v[~mask[y, x]] = 0.0
        q = linear_to_percept(v)
        d = np.einsum("nj,nkj->nk", q, pal_aug[y, :, :3]) + pal_aug[y, :, 3]
        c = np.argmin(d, 1)
        idx[y, x] = c
        e = v - pal_lin[y, c]
        work[y, cx + 1] += e * along
        work[y + 1, cx - 1] += e * down[0]
        work[y + 1, cx] += e * down[1]
        work[y + 1, cx + 1] += e * down[2]
    return idx

# --------------------------------------------------------------------------
# The SHR file and its preview.


def pack_shr(idx, pals, line_pal):
    """The 32712-byte file from colour numbers, palettes and line palettes."""
    idx = idx.astype(np.uint8)
    pixels = (idx[:, 0::2] << 4) | idx[:, 1::2]
    rgb4 = GRID_RGB4[pals.reshape(-1)]
    entries = np.empty((PALETTES * COLOURS, 2), np.uint8)
    entries[:, 0] = (rgb4[:, 1] << 4) | rgb4[:, 2]
    entries[:, 1] = rgb4[:, 0]
    data = pixels.tobytes() + line_pal.astype(np.uint8).tobytes() + entries.tobytes()
    assert len(data) == SHR_BYTES
    return data


def decode_shr(data):
    """Decode an SHR file as the card's preview does: (200, 320, 3) uint8."""
    b = np.frombuffer(data[:SHR_BYTES], np.uint8)
    px = b[:32000].reshape(HEIGHT, WIDTH // 2)
    idx = np.empty((HEIGHT, WIDTH), np.uint16)
    idx[:, 0::2] = px >> 4
    idx[:, 1::2] = px & 15
    ctl = (b[32000:32200] & 15).astype(np.uint16)
    pal = b[32200:32712].reshape(PALETTES * COLOURS, 2)
    rgb = np.stack([pal[:, 1] & 15, pal[:, 0] >> 4, pal[:, 0] & 15], 1) * 17
    return rgb[ctl[:, None] * 16 + idx].astype(np.uint8)


def convert(rgb, mask, sat=DEFAULT_SAT, con=DEFAULT_CON, dither=False):
    """A screen-sized sRGB picture (and its picture mask) to SHR file bytes."""
    lin = srgb_to_linear(rgb / np.float32(255.0))
    lin = adjust(lin, mask, sat, con)
    p = linear_to_percept(lin)
    grey = bool(np.abs(p[..., 1:]).max() < 0.2)
    # Each pixel's own 12-bit colour by rounding in sRGB (bars are black).
    enc = np.where(lin <= 0.0031308, lin * 12.92, 1.055 * np.maximum(lin, 0) ** (1 / 2.4) - 0.055)
    q = np.clip(np.rint(enc * 15), 0, 15).astype(int)
    if grey:
        q[...] = np.rint(q.mean(2, keepdims=True))
    q4 = q[..., 0] * 256 + q[..., 1] * 16 + q[..., 2]
    pals, line_pal = choose_palettes(p, mask, q4, grey)
    if dither:
        idx = map_dither(lin, mask, pals, line_pal)
    else:
        idx = map_nearest(p, mask, pals, line_pal)
    return pack_shr(idx, pals, line_pal)

# --------------------------------------------------------------------------
# Command line.


class _Parser(argparse.ArgumentParser):
    """argparse that reports a bad command line on one line."""

    def error(self, message):
        self.exit(2, f"img2shr: {message}\n")


def _number(text):
    try:
        v = float(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a number: {text!r}") from None
    if not math.isfinite(v) or v < 0:
        raise argparse.ArgumentTypeError(f"must be a finite number >= 0: {text!r}")
    return v


EPILOG = """\
Exit status 0 on success only. On failure (unreadable picture, bad option,
output that cannot be written) one line goes to standard error, the status is
non-zero and no output file is left behind. A picture of more than 16
megapixels is refused with status 3 before it is decoded, so that a
conversion never takes more than about 150 MB of memory; a baseline JPEG may
have 64 times more (it decodes at 1/8 of its size), a progressive one fewer
(it is held whole while decoding).
"""


def parse_args(argv):
    """Command line to options; a bad one exits with status 2 and one line."""
    p = _Parser(prog="img2shr.py", description=__doc__,
                epilog=EPILOG, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("source", metavar="SOURCE",
                   help="picture to convert (any format Pillow reads: JPEG, PNG, GIF, "
                   "WebP, BMP, TIFF, ...)")
    p.add_argument("output", metavar="OUTPUT",
                   help="SHR file to write; the preview goes to OUTPUT_preview.png")
    p.add_argument("--sat", type=_number, default=DEFAULT_SAT, metavar="X",
                   help="multiply colour saturation (Oklab chroma) by X: 1 keeps it, "
                   "0 gives greys, more than 1 is more colourful (default 1.45)")
    p.add_argument("--con", type=_number, default=DEFAULT_CON, metavar="X",
                   help="stretch lightness around the picture's mean lightness by X: "
                   "1 keeps it, less is flatter, more is harder (default 1.1)")
    p.add_argument("--dither", action="store_true",
                   help="dither: Floyd-Steinberg error diffusion in linear light that "
                   "uses only the colours of each line's own palette; smoother "
                   "gradients at the cost of fine grain (default: off, every pixel "
                   "takes the nearest colour of its line's palette)")
    return p.parse_args(argv)


def write_outputs(output, data, preview_rgb):
    """Write the SHR file and its preview so that either both appear complete
    or neither does: each is written to a temporary file beside its target
    and renamed into place only when both are written."""
    folder = os.path.dirname(os.path.abspath(output))
    jobs = [(output + "_preview.png",
             lambda f: Image.fromarray(preview_rgb, "RGB").save(f, "PNG")),
            (output, lambda f: f.write(data))]
    temps, placed = [], []
    umask = os.umask(0)
    os.umask(umask)
    try:
        for target, write in jobs:
            fd, tmp = tempfile.mkstemp(prefix=".img2shr-", suffix=".part", dir=folder)
            temps.append((tmp, target))
            with os.fdopen(fd, "wb") as f:
                write(f)
            os.chmod(tmp, 0o666 & ~umask)   # mkstemp makes owner-only files
        for tmp, target in temps:
            os.replace(tmp, target)
            placed.append(target)
    except Exception as e:
        for path in [t for t, _ in temps] + placed:
            try:
                os.unlink(path)
            except OSError:
                pass
        reason = e.strerror if isinstance(e, OSError) and e.strerror else e
        raise ConvertError(f"cannot write {output}: {reason}") from None


def _requests(stream):
    """The requests of --serve: each a command line whose arguments end in a
    NUL byte, ended by an empty argument (so any file name passes)."""
    args, pending = [], b""
    while chunk := stream.read1(65536):
        *done, pending = (pending + chunk).split(b"\0")
        for arg in done:
            if arg:
                args.append(os.fsdecode(arg))
            else:
                yield args
                args = []


def _status(argv):
    """What `main(argv)` exits with, whatever it raises."""
    try:
        return main(argv)
    except SystemExit as e:             # a bad command line
        return e.code if isinstance(e.code, int) else 2
    except Exception as e:              # never the worker's end: the next picture may be fine
        print(f"img2shr: {type(e).__name__}: {e}", file=sys.stderr)
        return 1


def serve():
    """Convert picture after picture for a program that keeps us running:
    each request on standard input is answered by its exit status, on a line
    of standard output. Our own messages go to standard error. The end of the
    input ends the worker."""
    answers = os.fdopen(os.dup(1), "w")
    os.dup2(2, 1)                        # a stray print must not pass for an answer
    sys.stdout = sys.stderr
    for argv in _requests(sys.stdin.buffer):
        answers.write(f"{_status(argv)}\n")
        answers.flush()
    return 0


def main(argv=None):
    argv = sys.argv[1:] if argv is None else argv
    if argv == ["--serve"]:
        return serve()
    args = parse_args(argv)
    try:
        if os.path.isdir(args.output):
            raise ConvertError(f"cannot write {args.output}: is a folder")
        rgb, mask = load_picture(args.source)
        data = convert(rgb, mask, args.sat, args.con, args.dither)
        write_outputs(args.output, data, decode_shr(data))
    except TooLarge as e:
        print(f"img2shr: {e}", file=sys.stderr)
        return TOO_LARGE
    except ConvertError as e:
        print(f"img2shr: {e}", file=sys.stderr)
        return 1
    except MemoryError:
        print(f"img2shr: out of memory converting {args.source}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
