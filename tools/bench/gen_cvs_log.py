#!/usr/bin/env python3
"""Writes realistic `cvs log` text for the benchmark: thousands of archive
files in nested folders under /cvsroot and /DATA/cvsroot, several revisions
per file (newest first) by several authors, messages of varying length,
symbolic names, branches, Attic files, and the 77 equals signs that end a
section. Deterministic for a given seed.

    gen_cvs_log.py SIZE_MB OUTPUT [--author dev1 --since 2022-06-01]

prints to stderr the number of sections and the share of sections that have
a revision by AUTHOR on or after SINCE (what `.ge` picks), outside the Attic.
"""
import argparse
import random

AUTHORS = ["dev1", "dev2", "alice", "kbauer", "QAT", "dev11", "mwolf", "jlee"]
WORDS = ("fix parser buffer overflow in the reader add option for verbose output refactor "
         "utility functions update documentation remove dead code handle empty strings "
         "merge from branch release preparation speed up the lookup table cleanup tests "
         "Update: new icons a == b Validate: inputs date: planned").split()
MODULES = ["proj", "libkit", "tools", "web", "server", "client"]
FOLDERS = ["src", "include", "doc", "test", "lib", "util", "net", "ui", "db", "icons"]
EXTS = [".c", ".h", ".cpp", ".txt", ".py", ".png", ".html"]


def message(rng):
    lines = []
    for _ in range(rng.choice([1, 1, 1, 2, 2, 3, 5, 8])):
        n = rng.randint(2, 18)
        lines.append(" ".join(rng.choice(WORDS) for _ in range(n)))
    return lines


def path_for(rng, i):
    root = "/cvsroot/" if rng.random() < 0.7 else "/DATA/cvsroot/"
    parts = [rng.choice(MODULES)] + [rng.choice(FOLDERS) for _ in range(rng.randint(0, 3))]
    if rng.random() < 0.03:
        parts.append("Attic")
    return root + "/".join(parts) + "/file%d%s" % (i, rng.choice(EXTS))


def section(rng, i, author, since, stats):
    path = path_for(rng, i)
    work = path.split("cvsroot/", 1)[1].replace("Attic/", "")
    count = rng.randint(2, 9)
    days = sorted((rng.randint(0, 9860) for _ in range(count)), reverse=True)  # 2000-01-01 + days
    out = ["RCS file: %s,v" % path, "Working file: %s" % work, "head: 1.%d" % count, "branch:",
           "locks: strict", "access list:", "symbolic names:", "\tREL_1_0: 1.1", "\tSEC_UPDATE: 1.%d" % count,
           "keyword substitution: kv", "total revisions: %d;\tselected revisions: %d" % (count, count),
           "description:"]
    picked = False
    for r, day in enumerate(days):
        y, m, d = civil(day)
        who = rng.choice(AUTHORS)
        if who == author and "%04d-%02d-%02d" % (y, m, d) >= since and "Attic" not in path:
            picked = True
        out.append("----------------------------")
        out.append("revision 1.%d" % (count - r))
        lines = "" if r == count - 1 else "  lines: +%d -%d;" % (rng.randint(0, 200), rng.randint(0, 90))
        out.append("date: %04d-%02d-%02d %02d:%02d:%02d +0000;  author: %s;  state: Exp;%s  commitid: %016X;"
                   % (y, m, d, rng.randint(0, 23), rng.randint(0, 59), rng.randint(0, 59), who, lines,
                      rng.getrandbits(64)))
        out.extend(message(rng))
    out.append("=" * 77)
    out.append("")
    stats[0] += 1
    stats[1] += picked
    return "\n".join(out) + "\n"


def civil(day):
    import datetime
    date = datetime.date(2000, 1, 1) + datetime.timedelta(days=day)
    return date.year, date.month, date.day


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("size_mb", type=float)
    parser.add_argument("output")
    parser.add_argument("--author", default="dev1")
    parser.add_argument("--since", default="2022-06-01")
    parser.add_argument("--seed", type=int, default=7)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    target = int(args.size_mb * 1024 * 1024)
    stats = [0, 0]
    written = 0
    with open(args.output, "w", encoding="latin-1", newline="\n") as f:
        i = 0
        chunk = []
        while written < target:
            text = section(rng, i, args.author, args.since, stats)
            chunk.append(text)
            written += len(text)
            i += 1
            if len(chunk) >= 2000:
                f.write("".join(chunk))
                chunk = []
        f.write("".join(chunk))
    print("sections %d, picked by %s .ge %s: %d (%.1f%%)" % (stats[0], args.author, args.since, stats[1],
                                                            100.0 * stats[1] / stats[0]), file=__import__("sys").stderr)


if __name__ == "__main__":
    main()
