"""Tests of tools/img2shr.py, the picture-to-SHR converter.

Run from the repository root:
    /usr/bin/python3 -m unittest discover -s tests/tools -v

Every test picture is drawn here with numpy and Pillow. Most cases call the
converter's main() in this process (one numpy import for all of them); the
command-line cases run it as a child process, the way the application does.
"""

import contextlib
import importlib.util
import io
import os
import subprocess
import sys
import tempfile
import unittest

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
    """Decode an SHR file straight from the documented layout:
    (200, 320, 3) uint8, each 4-bit component times 17."""
    out = np.zeros((200, 320, 3), np.uint8)
    pix = np.frombuffer(data, np.uint8, 32000).reshape(200, 160)
    for y in range(200):
        p = data[32000 + y] & 15
        entries = np.frombuffer(data, np.uint8, 32, 32200 + p * 32).reshape(16, 2)
        colours = np.stack([entries[:, 1] & 15, entries[:, 0] >> 4, entries[:, 0] & 15], 1) * 17
        nibbles = np.stack([pix[y] >> 4, pix[y] & 15], 1).reshape(-1)
        out[y] = colours[nibbles]
    return out


def to_linear(rgb):
    v = np.asarray(rgb, float) / 255
    return np.where(v <= 0.04045, v / 12.92, ((v + 0.055) / 1.055) ** 2.4)


def luminance(rgb):
    return to_linear(rgb) @ np.array([0.2126, 0.7152, 0.0722])


def smooth_scene(w=320, h=200):
    """A photo-like picture: a hue sweep across, lightness down, a few
    shapes. Far more than 16 colours on every line."""
    y, x = np.mgrid[0:h, 0:w] / np.array([h, w])[:, None, None]
    hue = x * 2 * np.pi
    rgb = np.stack([0.5 + 0.4 * np.cos(hue), 0.5 + 0.4 * np.cos(hue - 2.1),
                    0.5 + 0.4 * np.cos(hue + 2.1)], -1)
    rgb *= (0.35 + 0.65 * (1 - y))[..., None]
    rgb[(x - 0.3) ** 2 + (y - 0.5) ** 2 < 0.03] = (0.9, 0.85, 0.2)
    rgb[int(h * 0.7):int(h * 0.8), int(w * 0.55):int(w * 0.9)] = (0.1, 0.2, 0.6)
    return Image.fromarray((rgb * 255).round().astype(np.uint8), "RGB")


class ConverterCase(unittest.TestCase):
    """Shared helpers: a scratch folder and an in-process run of main()."""

    def setUp(self):
        self._tmp = tempfile.TemporaryDirectory()
        self.dir = self._tmp.name

    def tearDown(self):
        self._tmp.cleanup()

    def path(self, name):
        return os.path.join(self.dir, name)

    def save(self, im, name, **kw):
        p = self.path(name)
        im.save(p, **kw)
        return p

    def run_main(self, args):
        """main() in this process: (exit status, stderr text)."""
        err = io.StringIO()
        with contextlib.redirect_stderr(err):
            try:
                status = img2shr.main(args)
            except SystemExit as e:
                status = e.code
        return status, err.getvalue()

    def convert(self, im, *opts, name="src.png", plain=True):
        """Convert a picture; returns (file bytes, preview array). `plain`
        adds --sat 1 --con 1 so colours are compared unadjusted."""
        src = im if isinstance(im, str) else self.save(im, name)
        out = self.path("out.shr")
        args = [src, out] + (["--sat", "1", "--con", "1"] if plain else []) + list(opts)
        status, err = self.run_main(args)
        self.assertEqual(status, 0, f"conversion failed: {err}")
        with open(out, "rb") as f:
            data = f.read()
        with Image.open(out + "_preview.png") as im:
            preview = np.asarray(im.convert("RGB"))
        return data, preview


class FileLayoutTests(ConverterCase):
    """The file the card reads and the preview the window shows."""

    def test_layout_and_preview_match(self):
        for opts in ([], ["--dither"]):
            with self.subTest(opts=opts):
                data, preview = self.convert(smooth_scene(), *opts, plain=False)
                self.assertEqual(len(data), SHR_BYTES)
                ctl = np.frombuffer(data, np.uint8, 200, 32000)
                self.assertTrue((ctl <= 15).all(), f"control bytes {sorted(set(ctl))}")
                red = np.frombuffer(data, np.uint8, 512, 32200)[1::2]
                self.assertTrue((red >> 4 == 0).all(), "red byte with a high nibble set")
                with Image.open(self.path("out.shr_preview.png")) as im:
                    self.assertEqual(im.size, (320, 200))
                np.testing.assert_array_equal(preview, decode(data),
                                              "preview is not the decoded file")

    def test_files_are_readable_and_no_temporaries_remain(self):
        self.convert(smooth_scene())
        self.assertEqual(sorted(os.listdir(self.dir)),
                         ["out.shr", "out.shr_preview.png", "src.png"])
        mode = os.stat(self.path("out.shr")).st_mode & 0o777
        self.assertTrue(mode & 0o044, f"output mode {oct(mode)} is owner-only")


class ColourFidelityTests(ConverterCase):
    """How close the screen comes to the picture."""

    def test_flat_colour_comes_back_rounded_to_12_bits(self):
        for colour in ((200, 100, 37), (0, 0, 0), (255, 255, 255), (9, 120, 250)):
            with self.subTest(colour=colour):
                _, preview = self.convert(Image.new("RGB", (320, 200), colour))
                want = np.rint(np.array(colour) / 17) * 17
                np.testing.assert_array_equal(preview.reshape(-1, 3),
                                              np.broadcast_to(want, (64000, 3)))

    def test_pictures_that_fit_the_screen_come_back_exactly(self):
        # 16 sets of 16 12-bit colours; every line draws from one set, with
        # the sets interleaved and shuffled down the picture so that the
        # grouping of lines has to be found, not read off in bands.
        rng = np.random.default_rng(5)
        sets = rng.choice(4096, size=(16, 16), replace=False)
        line_set = rng.permutation(np.arange(200) % 16)
        idx = np.empty((200, 320), int)
        for y in range(200):
            idx[y] = sets[line_set[y]][rng.permutation(np.arange(320) % 16)]
        rgb4 = np.stack([idx >> 8, (idx >> 4) & 15, idx & 15], -1)
        src = (rgb4 * 17).astype(np.uint8)
        _, preview = self.convert(Image.fromarray(src, "RGB"))
        wrong = int((preview != src).any(2).sum())
        self.assertEqual(wrong, 0, f"{wrong} pixels differ")

    def test_smooth_picture_beats_one_shared_palette(self):
        # Per-line palettes must do clearly better than Pillow's best single
        # 16-colour palette; this guards the line grouping and palette fit.
        src = smooth_scene()
        _, preview = self.convert(src)
        ref = np.asarray(src).astype(float)
        q = src.quantize(16, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
        single = np.asarray(q.convert("RGB")).astype(float)
        floor = np.abs(np.rint(ref / 17) * 17 - ref).mean()   # any 12-bit picture
        ours = np.abs(preview - ref).mean()
        theirs = np.abs(single - ref).mean()
        self.assertLess(ours, 0.6 * theirs, f"mean error {ours:.2f} vs single palette {theirs:.2f}")
        self.assertLess(ours, 1.75 * floor, f"mean error {ours:.2f} vs 12-bit floor {floor:.2f}")


class KnobTests(ConverterCase):
    """--sat and --con move the picture the way the help says."""

    @staticmethod
    def chroma(rgb):
        rgb = np.asarray(rgb, float)
        return (rgb.max(2) - rgb.min(2)).mean()

    def test_saturation(self):
        src = smooth_scene()
        _, grey = self.convert(src, "--sat", "0", "--con", "1", plain=False)
        self.assertTrue((grey[..., 0] == grey[..., 1]).all() and
                        (grey[..., 1] == grey[..., 2]).all(), "--sat 0 left colour")
        self.assertGreater(np.unique(grey[..., 0]).size, 8, "greys collapsed")
        _, plain = self.convert(src)
        _, vivid = self.convert(src, "--sat", "1.8", "--con", "1", plain=False)
        self.assertGreater(self.chroma(vivid), self.chroma(plain) * 1.2)
        _, dull = self.convert(src, "--sat", "0.5", "--con", "1", plain=False)
        self.assertLess(self.chroma(dull), self.chroma(plain) * 0.8)

    def test_contrast(self):
        src = self.save(smooth_scene(), "s.png")
        outs = {con: self.convert(src, "--sat", "1", "--con", con, plain=False)[1]
                for con in ("0", "1", "1.6")}
        spread = {con: luminance(out).std() for con, out in outs.items()}
        self.assertLess(spread["0"], 0.02, "--con 0 should leave one lightness")
        self.assertGreater(spread["1.6"], spread["1"] * 1.2)
        # the pivot is the mean lightness: overall brightness barely moves
        self.assertAlmostEqual(np.cbrt(luminance(outs["1.6"])).mean(),
                               np.cbrt(luminance(outs["1"])).mean(), delta=0.05)

    def test_defaults_are_sat_1_45_and_con_1_1(self):
        src = self.save(smooth_scene(), "s.png")
        default, _ = self.convert(src, plain=False)
        explicit, _ = self.convert(src, "--sat", "1.45", "--con", "1.1", plain=False)
        self.assertEqual(default, explicit)


class DitherTests(ConverterCase):
    """Error diffusion within each line's palette."""

    def test_dither_smooths_a_gradient_and_keeps_its_mean(self):
        # A ramp with about twice as many 12-bit colours per line as a
        # palette holds: nearest colours leave bands, diffusion should not.
        y, x = np.mgrid[0:1:200j, 0:1:320j]
        rgb = np.stack([x, 0.5 + 0 * y, 1 - x], 2) ** 1.3
        src = Image.fromarray((rgb * 255).round().astype(np.uint8), "RGB")
        plain_data, plain = self.convert(src)
        dith_data, dith = self.convert(src, "--dither")
        self.assertNotEqual(plain_data, dith_data)

        ref = to_linear(np.asarray(src))

        def block_error(out):   # what an eye sees from afar: 8x8 means
            d = to_linear(out) - ref
            return np.abs(d.reshape(25, 8, 40, 8, 3).mean((1, 3))).mean()

        self.assertLess(block_error(dith), block_error(plain) * 0.85,
                        "dithering should bring local averages closer")
        mean_shift = np.abs(to_linear(dith).mean((0, 1)) - ref.mean((0, 1))).max()
        self.assertLess(mean_shift, 0.015, f"mean colour moved by {mean_shift:.4f}")

    def test_dither_keeps_flat_colours_clean(self):
        # An exactly representable colour needs no diffusion at all.
        _, out = self.convert(Image.new("RGB", (320, 200), (34, 170, 85)), "--dither")
        self.assertTrue((out == (34, 170, 85)).all())


class GeometryTests(ConverterCase):
    """Aspect ratio: a little cropping, then centred black bars."""

    def split_picture(self, w, h, vertical):
        """Red first half, blue second half (left/right or top/bottom)."""
        a = np.zeros((h, w, 3), np.uint8)
        if vertical:
            a[:h // 2], a[h // 2:] = (255, 0, 0), (0, 0, 255)
        else:
            a[:, :w // 2], a[:, w // 2:] = (255, 0, 0), (0, 0, 255)
        return Image.fromarray(a, "RGB")

    def bars(self, out, axis):
        """Lengths of the black runs at both ends along rows (0) or columns (1)."""
        black = (out == 0).all(2).all(1 - axis)
        lead = int(np.argmin(black)) if not black.all() else len(black)
        trail = int(np.argmin(black[::-1])) if not black.all() else len(black)
        return lead, trail

    def test_wide_picture_is_letterboxed(self):
        _, out = self.convert(self.split_picture(960, 300, False))   # 3.2 : 1
        top, bottom = self.bars(out, 0)
        band = 200 - top - bottom
        self.assertLessEqual(abs(top - bottom), 1, "bars not centred")
        self.assertTrue(100 <= band <= 112, f"picture band {band} lines high")
        mid = out[100]
        self.assertTrue((mid[:150] == (255, 0, 0)).all() and (mid[170:] == (0, 0, 255)).all())

    def test_tall_picture_is_pillarboxed(self):
        _, out = self.convert(self.split_picture(200, 600, True), name="tall.png")
        left, right = self.bars(out, 1)
        band = 320 - left - right
        self.assertLessEqual(abs(left - right), 1, "bars not centred")
        self.assertTrue(66 <= band <= 75, f"picture band {band} columns wide")
        self.assertTrue((out[:90, 160] == (255, 0, 0)).all())
        self.assertTrue((out[110:, 160] == (0, 0, 255)).all())

    def test_bars_stay_black_when_dithering(self):
        # Diffused error must not spill from the picture into the bars: the
        # dithered screen has the same bars as the plain one.
        for size, axis in (((960, 300), 0), ((200, 600), 1)):
            with self.subTest(size=size):
                src = self.save(smooth_scene(*size), "scene.png")
                _, plain = self.convert(src)
                _, dith = self.convert(src, "--dither")
                self.assertGreater(min(self.bars(plain, axis)), 40)
                self.assertEqual(self.bars(dith, axis), self.bars(plain, axis))

    def test_nearly_16_by_10_fills_the_screen(self):
        _, out = self.convert(self.split_picture(600, 400, False))   # 3:2
        self.assertFalse((out == 0).all(2).any(), "a 3:2 picture should need no bars")


class ModeTests(ConverterCase):
    """Pillow modes other than RGB, and EXIF orientation."""

    def test_palette_and_grey_modes(self):
        src = smooth_scene(160, 100)
        cases = {
            "p.png": src.quantize(64),
            "gif.gif": src,
            "l.png": src.convert("L"),
            "bilevel.png": src.convert("1"),
            "cmyk.jpg": src.convert("CMYK"),
        }
        for name, im in cases.items():
            with self.subTest(name=name):
                data, out = self.convert(self.save(im, name))
                self.assertEqual(len(data), SHR_BYTES)
                ref = np.asarray(im.convert("RGB").resize((320, 200), Image.LANCZOS), float)
                err = np.abs(out - ref).mean()
                self.assertLess(err, 12, f"mean error {err:.1f}")
                if im.mode in ("L", "1"):
                    self.assertTrue((out.max(2) == out.min(2)).all(), "grey picture got tints")

    def test_transparency_is_composited_on_white(self):
        a = np.zeros((200, 320, 4), np.uint8)
        a[..., 0] = 255                      # red everywhere ...
        a[:, :160, 3] = 0                    # ... invisible on the left
        a[:, 160:, 3] = 128                  # half visible on the right
        for mode in ("RGBA", "LA", "P"):
            with self.subTest(mode=mode):
                im = Image.fromarray(a, "RGBA")
                if mode == "LA":
                    im = im.convert("LA")
                elif mode == "P":
                    im = Image.new("P", (320, 200), 1)
                    im.putpalette([0, 0, 0, 255, 0, 0] + [0] * 762)
                    im.paste(0, (0, 0, 160, 200))
                    im.info["transparency"] = 0
                _, out = self.convert(self.save(im, f"{mode}.png"))
                self.assertTrue((out[:, :150] == 255).all(), "transparent part is not white")
                right = out[:, 170:].reshape(-1, 3).mean(0)
                if mode == "RGBA":
                    self.assertTrue(abs(right[0] - 255) < 9 and 110 < right[1] < 145, right)

    def test_16_bit_grey_is_scaled_not_clipped(self):
        ramp = np.tile(np.linspace(0, 65535, 320), (200, 1)).astype(np.uint16)
        for name in ("deep.png", "deep.tif"):
            with self.subTest(name=name):
                im = Image.fromarray(ramp)
                self.assertIn(im.mode, ("I;16", "I"))
                _, out = self.convert(self.save(im, name))
                self.assertTrue((out[:, :4] <= 17).all() and (out[:, -4:] >= 238).all())
                mid = out[100, 160, 0]
                self.assertTrue(110 <= mid <= 145, f"middle of the ramp is {mid}")

    def test_exif_orientation_is_applied(self):
        # Stored wide with red on the left; orientation 6 says "turn right",
        # so it is shown tall with red on top.
        a = np.zeros((800, 1600, 3), np.uint8)
        a[:, :800], a[:, 800:] = (255, 0, 0), (0, 0, 255)
        exif = Image.Exif()
        exif[0x0112] = 6
        path = self.save(Image.fromarray(a, "RGB"), "turned.jpg", exif=exif, quality=95)
        _, out = self.convert(path)
        col = out[:, 160].astype(int)
        self.assertTrue((col[:80, 0] > 200).all() and (col[:80, 2] < 60).all(), "top is not red")
        self.assertTrue((col[120:, 2] > 200).all() and (col[120:, 0] < 60).all(),
                        "bottom is not blue")
        self.assertTrue((out[:, :100] == 0).all(), "a tall picture needs side bars")


class CommandLineTests(ConverterCase):
    """Exit status, messages and leftovers, through a real child process."""

    def run_script(self, *args):
        return subprocess.run([PYTHON, SCRIPT, *args], capture_output=True, text=True,
                              timeout=60)

    def assert_failed_cleanly(self, result, out):
        self.assertNotEqual(result.returncode, 0)
        lines = result.stderr.strip().splitlines()
        self.assertEqual(len(lines), 1, f"stderr should be one line: {result.stderr!r}")
        self.assertTrue(lines[0].startswith("img2shr: "), lines[0])
        folder = os.path.dirname(out)
        if os.path.isdir(folder):
            left = [n for n in os.listdir(folder) if n.startswith(("out", ".img2shr"))]
            self.assertEqual(left, [], "output left behind")

    def test_help(self):
        r = self.run_script("--help")
        self.assertEqual(r.returncode, 0)
        for words in ("--sat", "--con", "--dither", "32712", "_preview.png", "crop",
                      "BLACK bars", "WHITE", "1.45", "1.1"):
            self.assertIn(words, r.stdout)

    def test_bad_inputs_fail_without_output(self):
        src = self.save(smooth_scene(64, 40), "ok.png")
        with open(self.path("junk.png"), "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n not really a picture")
        with open(self.path("cut.jpg"), "wb") as f:
            buf = io.BytesIO()
            smooth_scene().save(buf, "JPEG")
            f.write(buf.getvalue()[:2000])
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
                self.assert_failed_cleanly(self.run_script(*args), out)

    def test_real_run_succeeds(self):
        src = self.save(smooth_scene(), "photo.jpg", quality=90)
        out = self.path("out.shr")
        r = self.run_script(src, out, "--sat", "1.2", "--con", "0.9", "--dither")
        self.assertEqual((r.returncode, r.stderr), (0, ""))
        self.assertEqual(os.path.getsize(out), SHR_BYTES)
        self.assertTrue(os.path.exists(out + "_preview.png"))


if __name__ == "__main__":
    unittest.main()
