#!/usr/bin/env python3
"""Turns the rounds written by bench/http/run into medians, ratios and the goal checks.

usage: summarize.py ROUNDS.tsv EXTRA.env CLK_TCK [RESCAN.tsv]
"""
import statistics
import sys


def load_rounds(path, clk_tck):
    rounds = {}
    with open(path) as lines:
        for line in lines:
            test, server, _, requests, duration_us, size, _, p99, ticks, bad = line.split("\t")
            seconds = int(duration_us) / 1e6
            requests = int(requests)
            rounds.setdefault((test, server), []).append({
                "rps": requests / seconds,
                "bps": int(size) / seconds,
                "p99": int(p99),
                "cpu": int(ticks) * 1e6 / clk_tck / requests if requests else float("nan"),
                "bad": int(bad),
            })
    return rounds


def load_extra(path):
    extra = {}
    with open(path) as lines:
        for line in lines:
            key, _, value = line.rstrip("\n").partition("=")
            extra[key] = value.strip("'")
    return extra


def median(rounds, test, server, field):
    values = [r[field] for r in rounds.get((test, server), [])]
    return statistics.median(values) if values else None


def cell(value, unit=""):
    if value is None:
        return "-"
    if abs(value) >= 100:
        return f"{value:,.0f}{unit}"
    return f"{value:.2f}{unit}"


def ratio(ours, theirs):
    if ours is None or theirs is None or theirs == 0:
        return "-"
    return f"{ours / theirs:.2f}x"


def print_table(rounds):
    rows = [
        ("block1", "req/s", "rps", 1), ("block1", "p99 latency (us)", "p99", 1),
        ("block1", "CPU us/request", "cpu", 1),
        ("block64", "req/s", "rps", 1), ("block64", "p99 latency (us)", "p99", 1),
        ("block64", "CPU us/request", "cpu", 1),
        ("file1", "MB/s", "bps", 1e6), ("file1", "CPU us/request", "cpu", 1),
        ("file4", "MB/s", "bps", 1e6), ("file4", "CPU us/request", "cpu", 1),
        ("put64", "req/s", "rps", 1), ("put64", "p99 latency (us)", "p99", 1),
        ("put64", "CPU us/request", "cpu", 1),
    ]
    print(f"{'test':<8} {'figure (median)':<18} {'ours':>12} {'nginx':>12} {'ours/nginx':>11}")
    for test, label, field, scale in rows:
        ours = median(rounds, test, "ours", field)
        theirs = median(rounds, test, "nginx", field)
        ours = None if ours is None else ours / scale
        theirs = None if theirs is None else theirs / scale
        print(f"{test:<8} {label:<18} {cell(ours):>12} {cell(theirs):>12} {ratio(ours, theirs):>11}")
    print("\nCPU us/request by round:")
    for (test, server), values in sorted(rounds.items()):
        cpu = " ".join(f"{v['cpu']:.1f}" for v in values)
        bad = sum(v["bad"] for v in values)
        print(f"  {test:<8} {server:<6} {cpu}" + (f"   ({bad} failed answers)" if bad else ""))


def per_request(extra, server):
    calls = extra.get(f"syscalls_{server}_calls")
    requests = extra.get(f"syscalls_{server}_requests")
    if not calls or not requests or int(requests) == 0:
        return None
    return int(calls) / int(requests)


def verdict(ok):
    return "met" if ok else "MISSED"


def print_goals(rounds, extra):
    ours_sys, nginx_sys = per_request(extra, "ours"), per_request(extra, "nginx")
    print("\nSystem calls per block read at 1 connection (strace -c -f):")
    for server, value in (("ours", ours_sys), ("nginx", nginx_sys)):
        print(f"  {server:<6} {cell(value)}   {extra.get(f'syscalls_{server}_breakdown', '')}")
    print(f"\nVmRSS with {extra.get('idle_count', '1000')} idle keep-alive connections:")
    for server in ("ours", "nginx"):
        before, idle = extra.get(f"rss_{server}_before_kb"), extra.get(f"rss_{server}_idle_kb")
        if before and idle:
            print(f"  {server:<6} {int(idle) / 1024:.1f} MiB (idle server {int(before) / 1024:.1f} MiB,"
                  f" {(int(idle) - int(before)) / 1000:.1f} KiB per connection)")

    def m(test, server, field):
        return median(rounds, test, server, field)

    print("\nGoals:")
    for conns in ("1", "64"):
        ours, theirs = m("block" + conns, "ours", "cpu"), m("block" + conns, "nginx", "cpu")
        if ours is not None and theirs is not None:
            print(f"  CPU per block read <= nginx's, {conns} conn: {ours:.1f} vs {theirs:.1f} us"
                  f" -> {verdict(ours <= theirs)}")
    p99 = m("block1", "ours", "p99")
    if p99 is not None:
        print(f"  p99 at 1 connection < 1 ms: {p99:.0f} us -> {verdict(p99 < 1000)}")
    if ours_sys is not None:
        print(f"  <= 4 system calls per block read: {ours_sys:.2f} -> {verdict(ours_sys <= 4.0)}")
    for conns in ("1", "4"):
        ours, theirs = m("file" + conns, "ours", "bps"), m("file" + conns, "nginx", "bps")
        if ours is not None and theirs:
            print(f"  whole file >= 0.8x nginx's bytes/s, {conns} conn: {ours / theirs:.2f}x"
                  f" -> {verdict(ours >= 0.8 * theirs)}")
    put, read = m("put64", "ours", "cpu"), m("block64", "ours", "cpu")
    if put is not None and read:
        print(f"  PUT <= 2x a block read (CPU, 64 conn): {put:.1f} vs {read:.1f} us = {put / read:.2f}x"
              f" -> {verdict(put <= 2 * read)}")
    print(f"\nload average: {extra.get('load_start', '?')} at the start,"
          f" {extra.get('load_end', '?')} at the end")


def print_dos_order(rounds):
    lines = []
    for test in ("dsk1", "dsk64"):
        dsk, po = median(rounds, test, "dsk", "cpu"), median(rounds, test, "po", "cpu")
        if dsk is not None and po:
            lines.append((test, dsk, po))
    if not lines:
        return
    print("\nBlock reads of a DOS-order .dsk against its .po twin, CPU us/request (median):")
    for test, dsk, po in lines:
        print(f"  {test:<6} dsk {dsk:.1f}  po {po:.1f}  = {dsk / po:.2f}x"
              f" -> goal <= 1.2x {verdict(dsk <= 1.2 * po)}")


def print_rescans(path):
    phases = {}
    with open(path) as lines:
        for line in lines:
            phase, _, requests, p50, p99, p999, top, rescans, bad = line.split("\t")
            phases.setdefault(phase, []).append(
                (int(p50), int(p99), int(p999), int(top), int(rescans), int(bad)))
    if not phases:
        return
    print("\nBlock reads at 500 a second, 1 connection, latency from when each read was due"
          " (median of the rounds):")
    print(f"  {'library':<11} {'p50 us':>8} {'p99 us':>9} {'p99.9 us':>9} {'max us':>9}"
          f" {'rescans/round':>14}")
    for phase in ("quiet", "rescanning"):
        rows = phases.get(phase, [])
        if rows:
            p50, p99, p999, top, rescans, _ = (statistics.median(c) for c in zip(*rows))
            bad = sum(r[5] for r in rows)
            print(f"  {phase:<11} {p50:>8,.0f} {p99:>9,.0f} {p999:>9,.0f} {top:>9,.0f}"
                  f" {rescans:>14.1f}" + (f"   ({bad} failed answers)" if bad else ""))
    rescanning = phases.get("rescanning", [])
    if rescanning:
        p99 = statistics.median(r[1] for r in rescanning)
        print(f"  Goal: p99 while rescanning < 5 ms: {p99:,.0f} us -> {verdict(p99 < 5000)}")


def print_versions(rounds, extra):
    def m(test, server, field):
        return median(rounds, test, server, field)

    lines = []
    for test, label in (("vnew", "every PUT a new block"), ("vmix", "random blocks")):
        on, off = m(test, "von", "cpu"), m(test, "voff", "cpu")
        if on is not None and off:
            lines.append((label, on, off, m(test, "von", "rps"), m(test, "voff", "rps")))
    if lines:
        print("\nVersions, CPU per PUT at 64 connections (median of the rounds):")
        print(f"  {'PUTs':<22} {'on us':>8} {'off us':>8} {'on/off':>7} {'on req/s':>10} {'off req/s':>10}")
        for label, on, off, on_rps, off_rps in lines:
            print(f"  {label:<22} {on:>8.1f} {off:>8.1f} {on / off:>6.2f}x {on_rps:>10,.0f} {off_rps:>10,.0f}")
    firsts = [(side, extra.get(f"first_{side}_first_p99_us"), extra.get(f"first_{side}_later_p99_us"))
              for side in ("von", "voff")]
    if any(first for _, first, _ in firsts):
        print("\nFirst PUT of a write session against the PUTs after it, 1 connection (us):")
        print(f"  {'share':<6} {'first p50':>10} {'first p99':>10} {'first max':>10}"
              f" {'later p50':>10} {'later p99':>10} {'sessions':>9}")
        for side in ("von", "voff"):
            get = lambda key: extra.get(f"first_{side}_{key}", "-")
            print(f"  {side:<6} {get('first_p50_us'):>10} {get('first_p99_us'):>10}"
                  f" {get('first_max_us'):>10} {get('later_p50_us'):>10} {get('later_p99_us'):>10}"
                  f" {get('first_n'):>9}")
    print_version_goals(lines, firsts)


def print_version_goals(lines, firsts):
    if not lines and not any(first for _, first, _ in firsts):
        return
    print("  Goals:")
    for label, on, off, _, _ in lines:
        print(f"  CPU per PUT versions on <= 1.3x off, {label}: {on / off:.2f}x -> {verdict(on <= 1.3 * off)}")
    side, first, later = firsts[0]
    if first and later:
        gap = int(first) - int(later)
        _, off_first, off_later = firsts[1]
        baseline = (f"; without versions {int(off_first) - int(off_later):+d} us"
                    if off_first and off_later else "")
        print(f"  first PUT p99 within 2 ms of later PUTs' (von): {first} vs {later} us,"
              f" {gap:+d} us{baseline} -> {verdict(gap <= 2000)}")


def main():
    rounds = load_rounds(sys.argv[1], int(sys.argv[3]))
    extra = load_extra(sys.argv[2])
    print_table(rounds)
    print_goals(rounds, extra)
    print_dos_order(rounds)
    if len(sys.argv) > 4:
        print_rescans(sys.argv[4])
    print_versions(rounds, extra)


if __name__ == "__main__":
    main()
