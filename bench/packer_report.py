#!/usr/bin/env python3
"""Turns scripts/bench_packer.sh's measurements into the packer's section of
the benchmark report and judges its goals (exit status 1 when one is
missed). The section runs from its marker to the end of the report; the
launcher's part before it is left as it is."""
import argparse
import glob
import json
import os
import re
import statistics
import sys

MIB = 1024 * 1024
KIB = 1024

# Packing hashes every payload byte, so one SHA-256 pass is its floor; the
# write of the product runs beside the hash, and may add this much.
RATIO_GOAL = 1.25
RATIO_GOAL_PAYLOAD = 512 * MIB
MEMORY_GOAL = 32 * MIB
# The SBOM carries SHA-256 and SHA-512 of the product and of the payload:
# four hashes over the same bytes from one read, spread over two threads,
# against one SHA-512 pass over the product.
SBOM_RATIO_GOAL = 1.5
# A payload SBOM at the size limit merges in under this many seconds.
MERGE_GOAL_SECONDS = 2.0
MERGE_GOAL_SBOM = 16 * MIB

# Also what bench/report.py looks for to keep this section when it rewrites
# the launcher's part.
SECTION_MARKER = "<!-- From here to the end: written by scripts/bench_packer.sh. -->"


def read_pairs(work, prefix=""):
    """{size: (hash times, zorpack times)} in seconds, and {size: peak bytes},
    of the pairs whose files start with `prefix`."""
    times = {}
    for path in glob.glob(os.path.join(work, f"{prefix}pair-*-*.json")):
        size = int(re.match(prefix + r"pair-(\d+)-\d+\.json", os.path.basename(path)).group(1)) * MIB
        hashes, packs = times.setdefault(size, ([], []))
        with open(path) as f:
            for result in json.load(f)["results"]:
                # The floor: a hash, or for the merge the SBOM without a payload SBOM.
                command = result["command"]
                floor = command.startswith("openssl") or (
                    prefix == "merge-" and "--payload-sbom" not in command)
                subject = hashes if floor else packs
                subject.extend(result["times"])
    memory = {}
    for path in glob.glob(os.path.join(work, f"{prefix}memory-*.txt")):
        size = int(re.match(prefix + r"memory-(\d+)\.txt", os.path.basename(path)).group(1)) * MIB
        with open(path) as f:
            memory[size] = int(f.read().split()[-1]) * KIB
    return times, memory


def rows_of(times, memory):
    """(size, pack median, hash median, ratio, peak bytes) per size."""
    rows = []
    for size in sorted(times):
        hashes, packs = times[size]
        if not hashes or not packs:
            continue
        pack = statistics.median(packs)
        hashed = statistics.median(hashes)
        rows.append((size, pack, hashed, pack / hashed, memory.get(size, 0)))
    return rows


def judge(rows, command="pack", floor="openssl dgst -sha256", ratio_goal=RATIO_GOAL):
    """(goal text, measured text, met) for each goal."""
    verdicts = []
    for size, _, _, ratio, peak in rows:
        if size != RATIO_GOAL_PAYLOAD:
            continue
        verdicts.append((f"zorpack {command}, {size // MIB} MiB payload: at most {ratio_goal:.2f}x "
                         f"the time of {floor}", f"{ratio:.3f}x", ratio <= ratio_goal))
        verdicts.append((f"peak memory of zorpack {command}, {size // MIB} MiB payload: under "
                         f"{MEMORY_GOAL // MIB} MiB", f"{peak / MIB:.1f} MiB", peak < MEMORY_GOAL))
    return verdicts


def judge_merge(rows):
    return [(f"zorpack sbom with a payload SBOM of {size // MIB} MiB: under "
             f"{MERGE_GOAL_SECONDS:.0f} s", f"{merged:.3f} s", merged < MERGE_GOAL_SECONDS)
            for size, merged, _, _, _ in rows if size == MERGE_GOAL_SBOM]


def merge_table_lines(rows):
    lines = ["| payload SBOM | zorpack sbom with it (median) | without it (median) | ratio |"
             " peak memory |",
             "|---|---|---|---|---|"]
    for size, merged, alone, ratio, peak in rows:
        lines.append(f"| {size // MIB} MiB | {merged * 1000:.1f} ms | {alone * 1000:.1f} ms |"
                     f" {ratio:.1f}x | {peak / MIB:.1f} MiB |")
    return lines


def table_lines(rows, command="pack", floor="openssl dgst -sha256"):
    lines = [f"| payload | zorpack {command} (median) | {floor} (median) | ratio | peak memory |",
             "|---|---|---|---|---|"]
    for size, pack, hashed, ratio, peak in rows:
        lines.append(f"| {size // MIB} MiB | {pack * 1000:.1f} ms | {hashed * 1000:.1f} ms |"
                     f" {ratio:.3f}x | {peak / MIB:.1f} MiB |")
    return lines


def section_lines(table, sbom_table, merge_table, verdicts, args):
    return [
        SECTION_MARKER,
        "",
        "# What the packer costs",
        "",
        "Packing must hash every payload byte, so the floor for `zorpack pack` is one SHA-256 pass",
        "over the payload: `openssl dgst -sha256` on the same file. The native `zorpack` reads each",
        "chunk of the payload once and hashes it on a second thread while it writes it. Each pair",
        "runs both in one hyperfine call, their order swapped from pair to pair, with the payload",
        "(the sample tool and random bytes) in the page cache; the product goes to the disk the",
        "build is on and is flushed there, as in real use. The table gives medians of",
        f"{args.pairs} pairs; peak memory is the maximum resident set of one pack.",
        "",
        f"Machine: {args.machine}. {args.openssl}. Date: {args.date}. Load average (1, 5 and",
        f"15 minutes) before and after the run: {args.load}; the machine has other work than this",
        "benchmark when the first figure is much above 0.",
        "",
        *table,
        "",
        "## The SBOM",
        "",
        "`zorpack sbom --launcher LAUNCHER PRODUCT OUTPUT` of the product just packed carries the",
        "SHA-256 and SHA-512 of the product and of its payload, all four from one read of the",
        "product: the reading thread hashes the product's SHA-512 and the payload's SHA-256, a",
        "second thread the other two. Its floor is one SHA-512 pass over the product,",
        "`openssl dgst -sha512`, paired the same way; peak memory is that of one `sbom`.",
        "",
        *sbom_table,
        "",
        "## A payload SBOM at the size limit",
        "",
        "`zorpack sbom --payload-sbom SBOM` of a small product, with a payload SBOM just under the",
        "16 MiB that zorpack takes (components with versions, purls and licences, each depending on",
        "the next: every part of the merge and of the document's checks has work to do), against",
        "the same command without it, paired the same way; peak memory is that of the merge.",
        "",
        *merge_table,
        "",
        "## The packer's goals",
        "",
        *([f"- {'met' if met else '**missed**'}: {goal}; measured {measured}"
           for goal, measured, met in verdicts] or ["No goal is judged on these payloads."]),
        "",
    ]


def write_section(path, lines):
    kept = ""
    if os.path.exists(path):
        with open(path) as f:
            kept = f.read()
        at = kept.find(SECTION_MARKER)
        if at >= 0:
            kept = kept[:at]
        kept = kept.rstrip("\n") + "\n\n" if kept.strip() else ""
    with open(path, "w") as f:
        f.write(kept + "\n".join(lines))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("work")
    parser.add_argument("--report", required=True)
    parser.add_argument("--no-goals", action="store_true")
    parser.add_argument("--machine", default="unknown")
    parser.add_argument("--openssl", default="OpenSSL unknown")
    parser.add_argument("--load", default="unknown")
    parser.add_argument("--date", default="unknown")
    parser.add_argument("--pairs", type=int, default=0)
    args = parser.parse_args()

    times, memory = read_pairs(args.work)
    rows = rows_of(times, memory)
    sbom_floor = "openssl dgst -sha512"
    sbom_rows = rows_of(*read_pairs(args.work, "sbom-"))
    if not rows or not sbom_rows:
        print("bench_packer: no measurements", file=sys.stderr)
        return 1
    merge_rows = rows_of(*read_pairs(args.work, "merge-"))
    verdicts = (judge(rows) + judge(sbom_rows, "sbom", sbom_floor, SBOM_RATIO_GOAL)
                + judge_merge(merge_rows))
    table = table_lines(rows)
    sbom_table = table_lines(sbom_rows, "sbom", sbom_floor)
    merge_table = merge_table_lines(merge_rows)
    print("\n".join(table + [""] + sbom_table + [""] + merge_table))
    print()
    for goal, measured, met in verdicts:
        print(f"{'met   ' if met else 'MISSED'}  {goal}: {measured}")
    write_section(args.report, section_lines(table, sbom_table, merge_table, verdicts, args))

    if args.no_goals:
        return 0
    return 0 if all(met for _, _, met in verdicts) else 1


if __name__ == "__main__":
    sys.exit(main())
