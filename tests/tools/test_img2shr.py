"""Tests of tools/img2shr.py: /usr/bin/python3 -m unittest discover -s tests/tools"""

import importlib.util
import os
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

import numpy as np
from PIL import Image

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SCRIPT = os.path.join(ROOT, "tools", "img2shr.py")
PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable

_spec = importlib.util.spec_from_file_location("img2shr", SCRIPT)
img2shr = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(img2shr)

SHR_BYTES = 32712


def decode(data):
    """An SHR file as (200, 320, 3) uint8, each 4-bit component times 17."""
    out = np.zeros((200, 320, 3), np.uint8)
    pix = np.frombuffer(data, np.uint8, 32000).reshape(200, 160)
    for y in range(200):
        entries = np.frombuffer(data, np.uint8, 32, 32200 + (data[32000 + y] & 15) * 32)
        entries = entries.reshape(16, 2)
        colours = np.stack([entries[:, 1] & 15, entries[:, 0] >> 4, entries[:, 0] & 15], 1) * 17
        out[y] = colours[np.stack([pix[y] >> 4, pix[y] & 15], 1).reshape(-1)]
    return out


def to_linear(rgb):
    v = np.asarray(rgb, float) / 255
    return np.where(v <= 0.04045, v / 12.92, ((v + 0.055) / 1.055) ** 2.4)


def luminance(rgb):
    return to_linear(rgb) @ np.array([0.2126, 0.7152, 0.0722])


def smooth_scene(w=320, h=200):
    """A hue sweep across, lightness down, a few shapes: far more than 16
    colours on every line."""
    y, x = np.mgrid[0:h, 0:w] / np.array([h, w])[:, None, None]
    hue = x * 2 * np.pi
    rgb = np.stack([0.5 + 0.4 * np.cos(hue), 0.5 + 0.4 * np.cos(hue - 2.1),
                    0.5 + 0.4 * np.cos(hue + 2.1)], -1)
    rgb *= (0.35 + 0.65 * (1 - y))[..., None]
    rgb[(x - 0.3) ** 2 + (y - 0.5) ** 2 < 0.03] = (0.9, 0.85, 0.2)
    rgb[int(h * 0.7):int(h * 0.8), int(w * 0.55):int(w * 0.9)] = (0.1, 0.2, 0.6)
    return Image.fromarray((rgb * 255).round().astype(np.uint8), "RGB")


class ConverterCase(unittest.TestCase):
    """A scratch folder, and conversions by main() in this process."""

    def setUp(self):
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        self.dir = tmp.name

    def path(self, name):
        return os.path.join(self.dir, name)

    def save(self, im, name, **kw):
        im.save(self.path(name), **kw)
        return self.path(name)

    def run_script(self, *args):
        return subprocess.run([PYTHON, SCRIPT, *args], capture_output=True, text=True,
                              timeout=120)

    def convert(self, im, *opts, name="src.png", plain=True):
        """(file bytes, preview array); `plain` adds --sat 1 --con 1."""
        src = im if isinstance(im, str) else self.save(im, name)
        out = self.path("out.shr")
        args = [src, out] + (["--sat", "1", "--con", "1"] if plain else []) + list(opts)
        self.assertEqual(img2shr.main(args), 0, f"converting {args} failed")
        with open(out, "rb") as f, Image.open(out + "_preview.png") as preview:
            return f.read(), np.asarray(preview.convert("RGB"))


class ScreenTests(ConverterCase):
    """The file, its preview, and how close both come to the picture."""

    def test_layout_preview_and_leftovers(self):
        for opts in ([], ["--dither"]):
            with self.subTest(opts=opts):
                data, preview = self.convert(smooth_scene(), *opts, plain=False)
                self.assertEqual(len(data), SHR_BYTES)
                ctl = np.frombuffer(data, np.uint8, 200, 32000)
                self.assertTrue((ctl <= 15).all(), f"control bytes {sorted(set(ctl))}")
                red = np.frombuffer(data, np.uint8, 512, 32200)[1::2]
                self.assertTrue((red >> 4 == 0).all(), "red byte with a high nibble set")
                np.testing.assert_array_equal(preview, decode(data), "preview is not the file")
        self.assertEqual(sorted(os.listdir(self.dir)),
                         ["out.shr", "out.shr_preview.png", "src.png"])
        mode = os.stat(self.path("out.shr")).st_mode & 0o777
        self.assertTrue(mode & 0o044, f"output mode {oct(mode)} is owner-only")

    def test_pictures_that_fit_the_screen_come_back_exactly(self):
        # 16 sets of 16 12-bit colours; every line draws from one set, with
        # the sets interleaved and shuffled down the picture so that the
        # grouping of lines has to be found, not read off in bands.
        rng = np.random.default_rng(5)
        sets = rng.choice(4096, size=(16, 16), replace=False)
        line_set = rng.permutation(np.arange(200) % 16)
        idx = np.array([sets[line_set[y]][rng.permutation(np.arange(320) % 16)]
                        for y in range(200)])
        src = (np.stack([idx >> 8, (idx >> 4) & 15, idx & 15], -1) * 17).astype(np.uint8)
        for opts in ([], ["--dither"]):   # nothing to diffuse: dithering adds no noise
            with self.subTest(opts=opts):
                _, preview = self.convert(Image.fromarray(src, "RGB"), *opts)
                wrong = int((preview != src).any(2).sum())
                self.assertEqual(wrong, 0, f"{wrong} pixels differ")

    def test_smooth_picture_beats_one_shared_palette(self):
        # Per-line palettes must do clearly better than Pillow's best single
        # 16-colour palette; this guards the line grouping and palette fit.
        src = smooth_scene()
        ref = np.asarray(src).astype(float)
        q = src.quantize(16, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
        theirs = np.abs(np.asarray(q.convert("RGB")) - ref).mean()
        floor = np.abs(np.rint(ref / 17) * 17 - ref).mean()   # any 12-bit picture
        ours = np.abs(self.convert(src)[1] - ref).mean()
        self.assertLess(ours, 0.6 * theirs, f"mean error {ours:.2f} vs single palette {theirs:.2f}")
        self.assertLess(ours, 1.75 * floor, f"mean error {ours:.2f} vs 12-bit floor {floor:.2f}")


class KnobTests(ConverterCase):
    """--sat and --con move the picture the way the help says."""

    def test_saturation_and_contrast(self):
        src = self.save(smooth_scene(), "s.png")
        out = {(sat, con): self.convert(src, "--sat", sat, "--con", con, plain=False)
               for sat, con in (("1", "1"), ("0", "1"), ("0.5", "1"), ("1.8", "1"),
                                ("1", "0"), ("1", "1.6"))}
        grey = out["0", "1"][1]
        self.assertTrue((grey.max(2) == grey.min(2)).all(), "--sat 0 left colour")
        self.assertGreater(np.unique(grey[..., 0]).size, 8, "greys collapsed")
        chroma = {k: np.ptp(v[1].astype(float), 2).mean() for k, v in out.items()}
        self.assertGreater(chroma["1.8", "1"], chroma["1", "1"] * 1.2)
        self.assertLess(chroma["0.5", "1"], chroma["1", "1"] * 0.8)
        spread = {con: luminance(out["1", con][1]).std() for con in ("0", "1", "1.6")}
        self.assertLess(spread["0"], 0.02, "--con 0 should leave one lightness")
        self.assertGreater(spread["1.6"], spread["1"] * 1.2)
        # the pivot is the mean lightness: overall brightness barely moves
        self.assertAlmostEqual(np.cbrt(luminance(out["1", "1.6"][1])).mean(),
                               np.cbrt(luminance(out["1", "1"][1])).mean(), delta=0.05)

    def test_dither_smooths_a_gradient_and_keeps_its_mean(self):
        # A ramp with about twice as many 12-bit colours per line as a
        # palette holds: nearest colours leave bands, diffusion should not.
        y, x = np.mgrid[0:1:200j, 0:1:320j]
        rgb = np.stack([x, 0.5 + 0 * y, 1 - x], 2) ** 1.3
        src = Image.fromarray((rgb * 255).round().astype(np.uint8), "RGB")
        ref = to_linear(np.asarray(src))

        def block_error(out):   # what an eye sees from afar: 8x8 means
            return np.abs((to_linear(out) - ref).reshape(25, 8, 40, 8, 3).mean((1, 3))).mean()

        plain, dith = self.convert(src)[1], self.convert(src, "--dither")[1]
        self.assertLess(block_error(dith), block_error(plain) * 0.85,
                        "dithering should bring local averages closer")
        mean_shift = np.abs(to_linear(dith).mean((0, 1)) - ref.mean((0, 1))).max()
        self.assertLess(mean_shift, 0.015, f"mean colour moved by {mean_shift:.4f}")


class GeometryTests(ConverterCase):
    """Aspect ratio: a little cropping, then centred black bars."""

    @staticmethod
    def bars(out, axis):
        """Lengths of the black runs at both ends along rows (0) or columns (1)."""
        black = (out == 0).all(2).all(1 - axis)
        if black.all():
            return len(black), len(black)
        return int(np.argmin(black)), int(np.argmin(black[::-1]))

    def test_aspect_ratio(self):
        # Red first half, blue second half, split across the bars' direction.
        for size, axis, shown in (((960, 300), 0, (100, 112)),    # 3.2 : 1, letterboxed
                                  ((200, 600), 1, (66, 75)),      # 1 : 3, pillarboxed
                                  ((600, 400), 0, (200, 200))):   # 3 : 2 fills the screen
            with self.subTest(size=size):
                a = np.full((size[1], size[0], 3), (0, 0, 255), np.uint8)
                (a[:, :size[0] // 2] if axis == 0 else a[:size[1] // 2])[...] = (255, 0, 0)
                _, out = self.convert(Image.fromarray(a, "RGB"))
                lead, trail = self.bars(out, axis)
                self.assertLessEqual(abs(lead - trail), 1, "bars not centred")
                band = out.shape[axis] - lead - trail
                self.assertTrue(shown[0] <= band <= shown[1], f"picture band {band} wide")
                line = out[100] if axis == 0 else out[:, 160]
                self.assertTrue((line[:len(line) // 2 - 10] == (255, 0, 0)).all() and
                                (line[len(line) // 2 + 10:] == (0, 0, 255)).all(),
                                "not red, then blue, across the middle")
                # Diffused error must not spill from the picture into the bars.
                _, dith = self.convert(smooth_scene(*size), "--dither", name="scene.png")
                self.assertEqual(self.bars(dith, axis), (lead, trail))


class ModeTests(ConverterCase):
    """Pillow modes other than RGB, transparency and EXIF orientation."""

    def test_other_modes(self):
        scene = smooth_scene(160, 100)
        ramp = np.tile(np.linspace(0, 65535, 320), (200, 1)).astype(np.uint16)
        rgba = np.zeros((200, 320, 4), np.uint8)
        rgba[..., 0], rgba[:, 160:, 3] = 255, 128   # red, invisible left, half visible right
        indexed = Image.new("P", (320, 200), 1)
        indexed.putpalette([0, 0, 0, 255, 0, 0])
        indexed.paste(0, (0, 0, 160, 200))
        indexed.info["transparency"] = 0
        cases = {"p.png": scene.quantize(64), "gif.gif": scene, "l.png": scene.convert("L"),
                 "bilevel.png": scene.convert("1"), "cmyk.jpg": scene.convert("CMYK"),
                 "rgba.png": Image.fromarray(rgba), "la.png": Image.fromarray(rgba).convert("LA"),
                 "indexed.png": indexed, "deep.png": Image.fromarray(ramp),
                 "deep.tif": Image.fromarray(ramp)}
        for name, im in cases.items():
            with self.subTest(name=name):
                data, out = self.convert(self.save(im, name))
                self.assertEqual(len(data), SHR_BYTES)
                if im.mode == "I;16":   # scaled to 8 bits, not clipped at 255
                    ref = np.repeat(np.asarray(im)[..., None] / 257.0, 3, 2)
                else:   # with transparent parts on white
                    ref = Image.alpha_composite(Image.new("RGBA", im.size, "white"),
                                                im.convert("RGBA")).convert("RGB")
                    ref = np.asarray(ref.resize((320, 200), Image.LANCZOS), float)
                err = np.abs(out - ref).mean()
                self.assertLess(err, 12, f"mean error {err:.1f}")
                if im.mode in ("L", "1", "LA", "I;16"):
                    self.assertTrue((out.max(2) == out.min(2)).all(), "grey picture got tints")

    def test_exif_orientation_is_applied(self):
        # Stored wide with red on the left; orientation 6 says "turn right",
        # so it is shown tall with red on top.
        a = np.zeros((800, 1600, 3), np.uint8)
        a[:, :800], a[:, 800:] = (255, 0, 0), (0, 0, 255)
        exif = Image.Exif()
        exif[0x0112] = 6
        _, out = self.convert(self.save(Image.fromarray(a), "turned.jpg", exif=exif, quality=95))
        col = out[:, 160].astype(int)
        self.assertTrue((abs(col[:80] - (255, 0, 0)) < 60).all(), "top is not red")
        self.assertTrue((abs(col[120:] - (0, 0, 255)) < 60).all(), "bottom is not blue")
        self.assertTrue((out[:, :100] == 0).all(), "a tall picture needs side bars")


def huge_png(path, w, h):
    """A real w x h RGB PNG, all black, written line by line: the 13000 x
    13000 one takes 0.5 MB on disk and would take 680 MB once decoded."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data)))
    packer, line, idat = zlib.compressobj(9), b"\0" * (1 + 3 * w), []
    for _ in range(h):
        idat.append(packer.compress(line))
    idat.append(packer.flush())
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", b"".join(idat)) + chunk(b"IEND", b""))


class SizeTests(ConverterCase):
    """What is decoded at once is capped; what is accepted is shrunk in bands."""

    def test_pictures_over_the_cap_are_refused_before_decoding(self):
        huge_png(self.path("huge.png"), 13000, 13000)   # under Pillow's own limit
        Image.new("L", (4000, 4000), 90).save(self.path("cap.png"))
        Image.new("L", (4001, 4000), 90).save(self.path("over.png"))
        # JPEG decodes at 1/8 of its size, unless progressive: then it is held whole.
        photo = Image.new("RGB", (3300, 3300), (200, 120, 40))
        photo.save(self.path("photo.jpg"), quality=80)
        photo.save(self.path("progressive.jpg"), quality=80, progressive=True, subsampling=0)
        del photo
        out = self.path("out.shr")
        cases = {"huge.png": "13000 x 13000 pixels, more than 16 megapixels",
                 "cap.png": None, "over.png": "4001 x 4000 pixels, more than 16 megapixels",
                 "photo.jpg": None,
                 "progressive.jpg": "3300 x 3300 pixels, more than 10 megapixels"}
        for name, refusal in cases.items():
            with self.subTest(name):
                r = self.run_script(self.path(name), out)
                if refusal is None:
                    self.assertEqual(r.returncode, 0, r.stderr)
                    self.assertEqual(os.path.getsize(out), SHR_BYTES)
                    os.remove(out)
                    os.remove(out + "_preview.png")
                    continue
                self.assertEqual(r.returncode, img2shr.TOO_LARGE, r.stderr)
                self.assertEqual(r.stderr, f"img2shr: picture too large: {refusal}\n")
                self.assertFalse(os.path.exists(out))

    def test_bands_make_one_picture(self):
        # A transparent left half turns white, band by band, with no seam.
        indexed = Image.new("P", (3200, 2000), 1)
        indexed.putpalette([0, 0, 0, 255, 0, 0])
        indexed.paste(0, (0, 0, 1600, 2000))
        _, out = self.convert(self.save(indexed, "indexed.png", transparency=0))
        self.assertTrue((np.abs(out[:, 20:140].astype(int) - 255).max(2) < 40).all(), "not white")
        self.assertTrue((np.abs(out[:, 180:300].astype(int) - (255, 0, 0)).max(2) < 40).all(),
                        "not red")
        # A 16-bit ramp down the picture is scaled by the range of the whole
        # picture, not of each band: its lines get lighter all the way.
        ramp = np.repeat(np.linspace(0, 65535, 2000)[:, None], 3200, 1).astype(np.uint16)
        _, out = self.convert(self.save(Image.fromarray(ramp), "ramp.png"))
        lines = out[..., 0].astype(float).mean(1)
        want = np.linspace(0, 255, 200)
        self.assertLess(np.abs(lines - want).max(), 24, f"lines {lines[::25].round()}")


class CommandLineTests(ConverterCase):
    """Exit status, messages and leftovers, through a real child process."""

    def test_bad_inputs_fail_with_one_line_and_no_output(self):
        src = self.save(smooth_scene(64, 40), "ok.png")
        with open(self.path("junk.png"), "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n not really a picture")
        with open(self.save(smooth_scene(), "whole.jpg"), "rb") as f, \
                open(self.path("cut.jpg"), "wb") as cut:
            cut.write(f.read()[:2000])
        out = self.path("out.shr")
        cases = {
            "missing file": [self.path("absent.png"), out],
            "not a picture": [self.path("junk.png"), out],
            "truncated": [self.path("cut.jpg"), out],
            "a folder as input": [self.dir, out],
            "no output": [src],
            "unknown option": [src, out, "--sharpen"],
            "sat not a number": [src, out, "--sat", "lots"],
            "negative contrast": [src, out, "--con", "-1"],
            "nan saturation": [src, out, "--sat", "nan"],
            "output folder missing": [src, self.path("nowhere/out.shr")],
            "output is a folder": [src, self.dir],
        }
        for label, args in cases.items():
            with self.subTest(label):
                r = self.run_script(*args)
                self.assertNotEqual(r.returncode, 0)
                lines = r.stderr.strip().splitlines()
                self.assertEqual(len(lines), 1, f"stderr should be one line: {r.stderr!r}")
                self.assertTrue(lines[0].startswith("img2shr: "), lines[0])
                left = [n for n in os.listdir(self.dir) if n.startswith(("out", ".img2shr"))]
                self.assertEqual(left, [], "output left behind")

    def test_serve_answers_each_picture_as_its_command_line_would(self):
        """--serve: NUL-ended arguments, an empty one ends a request; one status
        line per request, the same as the command line's; a bad picture or
        command line leaves the worker serving; the end of input ends it."""
        src = self.save(smooth_scene(64, 40), "odd\tname\n.png")
        out = self.path("out.shr")
        requests = [[src, out, "--sat", "1", "--con", "1"], [self.path("absent.png"), out],
                    [src, out, "--sharpen"], [src, self.path("dithered.shr"), "--dither"]]
        data = b"".join(b"".join(os.fsencode(a) + b"\0" for a in r) + b"\0" for r in requests)
        r = subprocess.run([PYTHON, SCRIPT, "--serve"], input=data, capture_output=True,
                           timeout=120)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout, b"0\n1\n2\n0\n")
        with open(out, "rb") as f:
            self.assertEqual(f.read(), self.convert(src, plain=True)[0])
        self.assertEqual(os.path.getsize(self.path("dithered.shr")), SHR_BYTES)


if __name__ == "__main__":
    unittest.main()
