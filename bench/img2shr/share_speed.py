#!/usr/bin/python3
"""First-share benchmark: how long `vorn-share serve` takes to convert a folder
of 12-megapixel photos, against converting them one by one with separate
img2shr.py runs, measured side by side in one run.

The photos are drawn here by photos.py (its scenes in turn, each with a seed
of its own, 4000 x 3000, saved as JPEG). The
separate runs start one python3 per photo, one after the other, as the share
did before it kept converters running. The share starts with an empty cache
and its own settings (conversionJobs as stored there, by default one per core),
and counts as done when its log says every picture is ready.

With --reads SECONDS, a 32 MB disk image joins the photos and bench/http's
paced_reads.py reads random blocks of it at 500 a second, as a card does, for
that long while the first share converts, and again once it is done: the
converters run niced, and the card's reads should not feel them.

With --realtime (root only) both timed sides run with real-time priority
(chrt -f 10), ahead of other work on the machine, which otherwise slows the
share's parallel conversions more than the single separate run.

usage: share_speed.py --vorn-share PATH [--count N] [--rounds N] [--reads SECONDS]
                      [--realtime]
"""

import argparse
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import photos  # noqa: E402  (beside this file)

ROOT = os.path.dirname(os.path.dirname(HERE))
SCRIPT = os.path.join(ROOT, "tools", "img2shr.py")
PYTHON = "/usr/bin/python3"
PACED = os.path.join(ROOT, "bench", "http", "paced_reads.py")
IMAGE_BYTES = 32 << 20
PRIORITY = []   # a prefix for the timed commands: chrt with --realtime


def photo(i, w=4000, h=3000):
    """The i-th photo: the drawn scenes in turn, each with a seed of its own."""
    return photos.photo(photos.KINDS[i % len(photos.KINDS)], i, w, h)


def separate(lib, out):
    """Seconds to convert every photo with its own python3, one after the other."""
    t0 = time.perf_counter()
    for name in sorted(n for n in os.listdir(lib) if n.endswith(".jpg")):
        subprocess.run(PRIORITY + [PYTHON, SCRIPT, os.path.join(lib, name),
                                   os.path.join(out, name + ".shr")],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - t0


def paced(port, seconds):
    """paced_reads.py's line of figures for the disk image of the library."""
    r = subprocess.run([PYTHON, PACED, str(port), "/bench.hdv", str(IMAGE_BYTES), str(seconds)],
                       capture_output=True, text=True, check=True)
    return r.stdout.strip()


def share(vorn_share, lib, home, count, reads=0):
    """Seconds from starting `vorn-share serve` with an empty cache until its
    log says that all `count` pictures are ready; with `reads`, the block-read
    figures during the conversions and after them."""
    shutil.rmtree(os.path.join(home, "cache"), ignore_errors=True)
    env = {"PATH": "/usr/bin:/bin", "LC_ALL": "C.UTF-8", "HOME": home,
           "XDG_CONFIG_HOME": os.path.join(home, "config"),
           "XDG_CACHE_HOME": os.path.join(home, "cache"),
           "XDG_DATA_HOME": os.path.join(home, "data")}
    t0 = time.perf_counter()
    proc = subprocess.Popen(PRIORITY + [vorn_share, "serve", lib, "--port", "0",
                                        "--no-advertise"],
                            env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    done = re.compile(rf"picture convert done: {count} ready")
    up = re.compile(r"share up on port (\d+)")
    figures, during = [], None
    try:
        for line in proc.stdout:
            if reads and up.search(line):
                port = int(up.search(line).group(1))
                during = threading.Thread(
                    target=lambda: figures.append(("during", paced(port, reads))))
                during.start()
            if done.search(line):
                secs = time.perf_counter() - t0
                if during:
                    during.join()
                    figures.append(("after", paced(port, reads)))
                return secs, figures
            if "failed" in line:
                sys.exit(f"bench: {line.strip()}")
        sys.exit("bench: the share ended before converting every picture")
    finally:
        proc.send_signal(signal.SIGTERM)
        proc.wait(timeout=30)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--vorn-share", required=True, help="the vorn-share program to time")
    ap.add_argument("--count", type=int, default=16, help="photos (default 16)")
    ap.add_argument("--rounds", type=int, default=2,
                    help="rounds of both, in alternating order (default 2)")
    ap.add_argument("--reads", type=float, default=0,
                    help="seconds of paced block reads during the first share's conversions "
                    "and after them (default: none)")
    ap.add_argument("--realtime", action="store_true",
                    help="time both sides with real-time priority (chrt -f 10, needs root)")
    args = ap.parse_args()
    if args.realtime:
        PRIORITY[:] = ["chrt", "-f", "10"]
    tmp = tempfile.mkdtemp(prefix="share-bench-")
    try:
        lib, out = os.path.join(tmp, "lib"), os.path.join(tmp, "out")
        os.makedirs(lib)
        os.makedirs(out)
        for i in range(args.count):
            photo(i).save(os.path.join(lib, f"photo{i:02d}.jpg"), quality=90)
        if args.reads:
            with open(os.path.join(lib, "bench.hdv"), "wb") as f:
                f.write(os.urandom(IMAGE_BYTES))
        loads, seps, shares, reads = [], [], [], []
        for r in range(args.rounds):
            for kind in (("sep", "share") if r % 2 == 0 else ("share", "sep")):
                if kind == "sep":
                    seps.append(separate(lib, out))
                else:
                    secs, figures = share(args.vorn_share, lib, tmp, args.count,
                                          args.reads if not shares else 0)
                    shares.append(secs)
                    reads += figures
                loads.append(os.getloadavg()[0])
        sep, shr = statistics.median(seps), statistics.median(shares)
        ratio = shr / sep
        print(f"{args.count} photos of 4000 x 3000, {os.cpu_count()} cores, load average "
              f"{min(loads):.2f} to {max(loads):.2f}")
        print(f"  separate img2shr runs: {sep:.2f} s (rounds {[round(s, 2) for s in seps]})")
        print(f"  first share:           {shr:.2f} s (rounds {[round(s, 2) for s in shares]})")
        print(f"  ratio {ratio:.2f} (goal <= 0.45) {'MET' if ratio <= 0.45 else 'MISSED'}")
        for when, line in reads:
            print(f"  block reads {when} the conversions: {line}")
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    main()
