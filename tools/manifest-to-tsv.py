#!/usr/bin/env python3
"""Turns the real logs' manifest.json into the flat expectation file that the
end-to-end tests read: one line per (log, author, date, archive path) of a
revision printed in the log. Run from the project root after changing the logs:

    python3 tools/manifest-to-tsv.py test/data/logs/manifest.json > test/data/logs/expected-revisions.tsv
"""
import json
import sys


def main():
    manifest = json.load(open(sys.argv[1], encoding="utf-8"))
    print("log\tauthor\tdate\tarchive_path")
    for log in manifest["logs"]:
        for author, dates in sorted(log["by_author_date"].items()):
            for date, paths in sorted(dates.items()):
                for path in paths:
                    # rlog prints 2004/02/29, cvs 2004-02-29: one form for the tests.
                    print(f"{log['file']}\t{author}\t{date.replace('/', '-')}\t{path}")


if __name__ == "__main__":
    main()
