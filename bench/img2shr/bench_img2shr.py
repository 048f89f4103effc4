#!/usr/bin/python3
"""Quality and speed benchmark of tools/img2shr.py.

Quality: six photo-like scenes drawn by photos.py (sky, foliage, skin, a
banana on a table, a brick wall, a sunset over the sea, flowers; seeded, of
several sizes and shapes) are saved as JPEGs and converted with --sat 1
--con 1, with and without --dither. The
written SHR file is decoded as the card's preview decodes it and compared with
the source scaled to the screen by the converter's own scaling, over the
picture area (black bars excluded). Metrics: mean CIEDE2000 and PSNR, and the
same after a Gaussian blur of sigma 1 pixel (in linear light) on both pictures.

Beside them:
  baseline  Pillow's 16-colour median cut over the whole picture, palette
            rounded to 12 bits, one palette for every line (nearest mapping,
            and Floyd-Steinberg with the same palette for the dithered row);
  floor     every pixel on the nearest of all 4096 colours: by CIEDE2000 for
            the CIEDE2000 columns, by RGB distance (rounding) for PSNR.

Speed: a 4000 x 3000 JPEG of one scene, and the same scene as an RGBA PNG,
are converted several times by a separate python3 process; wall time and peak
memory (max RSS from /usr/bin/time -v) are reported as medians.

usage: bench_img2shr.py [--seed N] [--runs N] [--realtime]
"""

import argparse
import importlib.util
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np
from PIL import Image, ImageOps

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
SCRIPT = os.path.join(ROOT, "tools", "img2shr.py")
PYTHON = "/usr/bin/python3"
sys.path.insert(0, HERE)
import photos  # noqa: E402  (beside this file)

# Scene and size: landscape, square and tall shapes, so that both kinds of
# bars and the crop are exercised too.
PHOTOS = [("landscape", 1500, 1000), ("still_life", 1600, 1200), ("portrait", 1000, 1400),
          ("brick_wall", 1600, 1000), ("sunset_sea", 1800, 1000), ("flowers", 1200, 1200)]


def load_converter():
    """The converter as a module, to scale references exactly as it does."""
    spec = importlib.util.spec_from_file_location("img2shr", SCRIPT)
    mod = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(mod)
    return mod


def make_photos(tmp, seed):
    """Draw the scenes and save them as a camera would: JPEG, quality 92."""
    paths = []
    for kind, w, h in PHOTOS:
        path = os.path.join(tmp, f"{kind}.jpg")
        photos.photo(kind, seed, w, h).save(path, quality=92)
        paths.append(path)
    return paths

# ---------------------------------------------------------------- colour maths


def srgb8_to_linear(rgb):
    v = np.asarray(rgb, np.float64) / 255.0
    return np.where(v <= 0.04045, v / 12.92, ((v + 0.055) / 1.055) ** 2.4)


def linear_to_lab(lin):
    """Linear sRGB to CIELAB (D65)."""
    m = np.array([[0.4124564, 0.3575761, 0.1804375],
                  [0.2126729, 0.7151522, 0.0721750],
                  [0.0193339, 0.1191920, 0.9503041]])
    xyz = lin @ m.T / np.array([0.95047, 1.0, 1.08883])
    f = np.where(xyz > (6 / 29) ** 3, np.cbrt(xyz), xyz / (3 * (6 / 29) ** 2) + 4 / 29)
    return np.stack([116 * f[..., 1] - 16, 500 * (f[..., 0] - f[..., 1]),
                     200 * (f[..., 1] - f[..., 2])], -1)


def ciede2000(lab1, lab2):
    """CIEDE2000 colour difference, element-wise over (..., 3) arrays."""
    L1, a1, b1 = np.moveaxis(lab1, -1, 0)
    L2, a2, b2 = np.moveaxis(lab2, -1, 0)
    cbar = (np.hypot(a1, b1) + np.hypot(a2, b2)) / 2
    g = 0.5 * (1 - np.sqrt(cbar ** 7 / (cbar ** 7 + 25.0 ** 7)))
    a1p, a2p = (1 + g) * a1, (1 + g) * a2
    c1p, c2p = np.hypot(a1p, b1), np.hypot(a2p, b2)
    h1p = np.mod(np.arctan2(b1, a1p), 2 * np.pi)
    h2p = np.mod(np.arctan2(b2, a2p), 2 * np.pi)
    zero = (c1p * c2p) == 0
    dh = h2p - h1p
    dh = np.where(dh > np.pi, dh - 2 * np.pi, np.where(dh < -np.pi, dh + 2 * np.pi, dh))
    dh = np.where(zero, 0.0, dh)
    dL, dC = L2 - L1, c2p - c1p
    dH = 2 * np.sqrt(c1p * c2p) * np.sin(dh / 2)
    lbar, cbarp = (L1 + L2) / 2, (c1p + c2p) / 2
    hsum = h1p + h2p
    hbar = np.where(np.abs(h1p - h2p) <= np.pi, hsum / 2,
                    np.where(hsum < 2 * np.pi, (hsum + 2 * np.pi) / 2, (hsum - 2 * np.pi) / 2))
    hbar = np.where(zero, hsum, hbar)
    t = (1 - 0.17 * np.cos(hbar - np.radians(30)) + 0.24 * np.cos(2 * hbar)
         + 0.32 * np.cos(3 * hbar + np.radians(6)) - 0.20 * np.cos(4 * hbar - np.radians(63)))
    dtheta = np.radians(30) * np.exp(-((np.degrees(hbar) - 275) / 25) ** 2)
    rc = 2 * np.sqrt(cbarp ** 7 / (cbarp ** 7 + 25.0 ** 7))
    sl = 1 + 0.015 * (lbar - 50) ** 2 / np.sqrt(20 + (lbar - 50) ** 2)
    sc = 1 + 0.045 * cbarp
    sh = 1 + 0.015 * cbarp * t
    rt = -np.sin(2 * dtheta) * rc
    return np.sqrt((dL / sl) ** 2 + (dC / sc) ** 2 + (dH / sh) ** 2
                   + rt * (dC / sc) * (dH / sh))


def check_ciede2000():
    """Published reference pairs (Sharma, Wu and Dalal 2005)."""
    pairs = [((50, 2.6772, -79.7751), (50, 0, -82.7485), 2.0425),
             ((50, -1.3802, -84.2814), (50, 0, -82.7485), 1.0000),
             ((50, 0, 0), (50, -1, 2), 2.3669),
             ((50, 2.5, 0), (73, 25, -18), 27.1492),
             ((2.0776, 0.0795, -1.1350), (0.9033, -0.0636, -0.5514), 0.9082)]
    for p, q, want in pairs:
        got = float(ciede2000(np.array(p, float), np.array(q, float)))
        assert abs(got - want) < 1e-4, (p, q, got, want)


def gaussian_blur(img, sigma=1.0):
    """Separable Gaussian blur of an (h, w, c) array, mirrored edges."""
    r = int(np.ceil(3 * sigma))
    k = np.exp(-0.5 * (np.arange(-r, r + 1) / sigma) ** 2)
    k /= k.sum()
    p = np.pad(img, ((r, r), (0, 0), (0, 0)), mode="reflect")
    img = sum(k[i] * p[i:i + img.shape[0]] for i in range(2 * r + 1))
    p = np.pad(img, ((0, 0), (r, r), (0, 0)), mode="reflect")
    return sum(k[i] * p[:, i:i + img.shape[1]] for i in range(2 * r + 1))


def streaks(lr, lo, seg=16):
    """How much more the colour error jumps from line to line than from column
    to column: the signed error of the blurred pictures (linear light),
    averaged over segments of `seg` pixels along lines (or columns), and the
    mean jump between a segment and the one below it over the mean jump
    between a segment and the one beside it. Per-line palettes that disagree
    where the picture does not show as horizontal streaks and raise it."""
    e = lo - lr
    h, w = e.shape[:2]
    along = e[:, :w // seg * seg].reshape(h, w // seg, seg, 3).mean(2)
    down = e[:h // seg * seg].reshape(h // seg, seg, w, 3).mean(1)
    rows = np.abs(np.diff(along, axis=0)).sum(-1).mean()
    cols = np.abs(np.diff(down, axis=1)).sum(-1).mean()
    return float(rows / max(cols, 1e-12))


def metrics(ref, out):
    """Mean CIEDE2000, PSNR, both after the blur, and the streaks; ref/out
    (h, w, 3) uint8."""
    lr, lo = srgb8_to_linear(ref), srgb8_to_linear(out)
    de = float(ciede2000(linear_to_lab(lr), linear_to_lab(lo)).mean())
    mse = float(((ref.astype(float) - out.astype(float)) ** 2).mean())
    br, bo = gaussian_blur(lr), gaussian_blur(lo)
    bde = float(ciede2000(linear_to_lab(br), linear_to_lab(bo)).mean())
    enc = lambda v: np.where(v <= 0.0031308, v * 12.92, 1.055 * np.maximum(v, 0) ** (1 / 2.4) - 0.055) * 255
    bmse = float(((enc(br) - enc(bo)) ** 2).mean())
    psnr = lambda m: 99.0 if m == 0 else 10 * np.log10(255.0 ** 2 / m)
    return {"de": de, "psnr": psnr(mse), "bde": bde, "bpsnr": psnr(bmse),
            "streak": streaks(br, bo)}

# ---------------------------------------------------------------- references


GRID = (np.stack(np.meshgrid(np.arange(16), np.arange(16), np.arange(16), indexing="ij"),
                 -1).reshape(-1, 3) * 17).astype(np.uint8)
GRID_LAB = linear_to_lab(srgb8_to_linear(GRID))


def floor_de(ref):
    """Every pixel on the 12-bit colour with the lowest CIEDE2000 (searched
    among the 8 nearest by CIELAB distance, which always holds it in practice)."""
    lab = linear_to_lab(srgb8_to_linear(ref)).reshape(-1, 3)
    out = np.empty((len(lab), 3), np.uint8)
    g2 = (GRID_LAB ** 2).sum(1)
    for i in range(0, len(lab), 4000):
        x = lab[i:i + 4000]
        d = g2[None] - 2 * x @ GRID_LAB.T
        near = np.argpartition(d, 8, 1)[:, :8]
        de = ciede2000(x[:, None, :], GRID_LAB[near])
        out[i:i + 4000] = GRID[near[np.arange(len(x)), np.argmin(de, 1)]]
    return out.reshape(ref.shape)


def floor_rgb(ref):
    return (np.rint(ref / 17.0) * 17).astype(np.uint8)


def baseline(ref, dither):
    """Pillow median cut to 16 colours, palette rounded to 12 bits, applied to
    the picture with or without Pillow's Floyd-Steinberg."""
    im = Image.fromarray(ref, "RGB")
    q = im.quantize(16, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
    pal = np.array(q.getpalette()[:48], float).reshape(16, 3)
    pal = (np.rint(pal / 17) * 17).astype(np.uint8)
    full = np.concatenate([pal, np.repeat(pal[:1], 240, 0)]).reshape(-1)
    pimg = Image.new("P", (1, 1))
    pimg.putpalette(full.tolist())
    mode = Image.Dither.FLOYDSTEINBERG if dither else Image.Dither.NONE
    return np.asarray(im.quantize(palette=pimg, dither=mode).convert("RGB"))

# ---------------------------------------------------------------- running


REALTIME = False


def run_converter(src, out, extra, timed=False, realtime=False):
    """Run the converter as the application does; returns (wall seconds,
    max RSS MB, CPU seconds). CPU time (user + system) is reported beside the
    wall time because other work on the machine inflates the latter."""
    cmd = [PYTHON, SCRIPT, src, out] + extra
    if timed and os.path.exists("/usr/bin/time"):
        cmd = ["/usr/bin/time", "-v"] + cmd
    if realtime:
        cmd = ["chrt", "-f", "10"] + cmd
    t0 = time.perf_counter()
    r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    secs = time.perf_counter() - t0
    if r.returncode != 0:
        sys.exit(f"bench: converter failed on {src}: {r.stderr.strip()}")
    m = re.search(r"Maximum resident set size \(kbytes\): (\d+)", r.stderr)
    cpu = sum(float(v) for v in re.findall(r"(?:User|System) time \(seconds\): ([\d.]+)",
                                           r.stderr))
    return secs, (int(m.group(1)) / 1024 if m else float("nan")), cpu


def quality(conv, sources, tmp):
    rows = []
    for src in sources:
        name = os.path.splitext(os.path.basename(src))[0]
        rgb, mask = conv.fit_to_screen(ImageOps.exif_transpose(Image.open(src)))
        ys, xs = np.flatnonzero(mask.any(1)), np.flatnonzero(mask.any(0))
        crop = (slice(ys[0], ys[-1] + 1), slice(xs[0], xs[-1] + 1))
        ref = rgb[crop]
        row = {"name": name, "size": f"{ref.shape[1]}x{ref.shape[0]}"}
        for dither in (False, True):
            out = os.path.join(tmp, f"{name}{'_d' if dither else ''}.shr")
            secs, _, _ = run_converter(src, out, ["--sat", "1", "--con", "1"]
                                    + (["--dither"] if dither else []))
            with open(out, "rb") as f:
                data = f.read()
            assert len(data) == 32712
            shown = conv.decode_shr(data)
            preview = np.asarray(Image.open(out + "_preview.png").convert("RGB"))
            assert np.array_equal(preview, shown), "preview differs from the decoded file"
            key = "dith" if dither else "ours"
            row[key] = metrics(ref, shown[crop])
            row[key]["secs"] = secs
            row["base_" + key] = metrics(ref, baseline(ref, dither))
        fl = metrics(ref, floor_de(ref))
        fr = metrics(ref, floor_rgb(ref))
        row["floor"] = {"de": fl["de"], "bde": fl["bde"], "psnr": fr["psnr"], "bpsnr": fr["bpsnr"]}
        rows.append(row)
        print(f"  {name} done", file=sys.stderr)
    return rows


def speed(seed, tmp, runs):
    """Median wall time and peak memory of converting a 12-megapixel JPEG, and
    the same picture as an RGBA PNG (opaque in the middle, fading out to the
    edges, as a cut-out would)."""
    big = os.path.join(tmp, "big12mp.jpg")
    im = photos.photo("still_life", seed, 4000, 3000)
    im.save(big, quality=92)
    y, x = np.mgrid[-1:1:3000j, -1:1:4000j]
    im.putalpha(Image.fromarray(np.clip(255 * (1.6 - np.hypot(x, y)), 0, 255).astype(np.uint8)))
    png = os.path.join(tmp, "big12mp.png")
    im.save(png, compress_level=1)
    del im
    res = {}
    for label, src, extra, rt in [("JPEG, plain", big, [], False),
                                  ("JPEG, dither", big, ["--dither"], False),
                                  ("RGBA PNG, plain", png, [], False)] + (
            [("JPEG, plain, real-time", big, [], True),
             ("JPEG, dither, real-time", big, ["--dither"], True),
             ("RGBA PNG, plain, real-time", png, [], True)] if REALTIME else []):
        t = [run_converter(src, os.path.join(tmp, "big.shr"), extra, timed=True, realtime=rt)
             for _ in range(runs)]
        res[label] = (statistics.median(s for s, _, _ in t), statistics.median(m for _, m, _ in t),
                      statistics.median(c for _, _, c in t), [round(s, 3) for s, _, _ in t])
    return res


def report(rows, spd):
    def line(label, m, keys):
        return f"    {label:<9}" + "".join(f"{m[k]:>10.3f}" for k in keys)
    keys = ("de", "psnr", "bde", "bpsnr", "streak")
    print("Per photo (picture area only; blurred = Gaussian sigma 1 in linear light)")
    print(f"    {'':<9}{'dE2000':>10}{'PSNR':>10}{'blur dE':>10}{'blur PSNR':>10}{'streaks':>10}")
    for r in rows:
        print(f"  {r['name']} ({r['size']})  conversion {r['ours']['secs']:.2f} s, "
              f"dithered {r['dith']['secs']:.2f} s")
        print(line("ours", r["ours"], keys))
        print(line("baseline", r["base_ours"], keys))
        print(line("dither", r["dith"], keys))
        print(line("base FS", r["base_dith"], keys))
        print(line("floor", r["floor"], keys[:4]))
    mean = lambda k, m: statistics.mean(r[k][m] for r in rows)
    ratio = mean("ours", "de") / mean("base_ours", "de")
    dratio = mean("dith", "bde") / mean("base_dith", "bde")
    worse = [r["name"] for r in rows if r["ours"]["de"] > r["base_ours"]["de"]]
    print("\nGoals")
    print(f"  plain:  mean dE2000 {mean('ours', 'de'):.3f} vs baseline "
          f"{mean('base_ours', 'de'):.3f}: ratio {ratio:.3f} (goal <= 0.64) "
          f"{'MET' if ratio <= 0.64 else 'MISSED'}")
    print(f"          photos worse than baseline: {', '.join(worse) or 'none'} "
          f"{'MET' if not worse else 'MISSED'}")
    print(f"  dither: mean blurred dE2000 {mean('dith', 'bde'):.3f} vs dithered baseline "
          f"{mean('base_dith', 'bde'):.3f}: ratio {dratio:.3f} (goal <= 0.51) "
          f"{'MET' if dratio <= 0.51 else 'MISSED'}")
    for key, label in (("ours", "plain: "), ("dith", "dither:")):
        excess = mean(key, "streak") / mean("base_" + key, "streak")
        print(f"  {label} streak excess {excess:.3f} (streaks {mean(key, 'streak'):.3f} vs "
              f"baseline {mean('base_' + key, 'streak'):.3f}; goal <= 1.03) "
              f"{'MET' if excess <= 1.03 else 'MISSED'}")
    print(f"  floor:  mean dE2000 {mean('floor', 'de'):.3f}, blurred {mean('floor', 'bde'):.3f}")
    print(f"  machine load average during the runs: {os.getloadavg()[0]:.2f} on "
          f"{os.cpu_count()} cores")
    for label, (secs, mb, cpu, all_t) in spd.items():
        ok = secs < 1.0 and mb < 150
        print(f"  12 MP {label}: median wall {secs:.3f} s, CPU {cpu:.2f} s, peak "
              f"{mb:.1f} MB (wall of each run {all_t}) {'MET' if ok else 'MISSED'}")


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--seed", type=int, default=1, help="seed of the drawn scenes "
                    "(default 1; other seeds give other pictures of the same kinds)")
    ap.add_argument("--runs", type=int, default=5, help="timed runs of the 12 MP JPEG")
    ap.add_argument("--realtime", action="store_true",
                    help="run the timed conversions with real-time priority (chrt -f 10, "
                    "needs root), to time them on a machine busy with other work")
    args = ap.parse_args()
    global REALTIME
    REALTIME = args.realtime
    check_ciede2000()
    conv = load_converter()
    tmp = tempfile.mkdtemp(prefix="img2shr-bench-")
    try:
        rows = quality(conv, make_photos(tmp, args.seed), tmp)
        spd = speed(args.seed, tmp, args.runs) if args.runs > 0 else {}
        report(rows, spd)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    main()
