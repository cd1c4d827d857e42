#!/usr/bin/env python3
"""Reads a request log strictly and counts its lines by what they report.

Usage: request_log_counts.py LOG CLIENT
Every line must be logfmt as the gateway writes it: key=value pairs separated by one blank,
values bare or quoted with the escapes \\" \\\\ \\n \\r \\t \\xHH, the keys in their fixed order.
Prints, for the lines whose client is CLIENT, one "COUNT mode service outcome rows" line per
kind, sorted; exits with 1 and the first bad line when a line does not read back.
"""
import collections
import re
import sys

KEYS = ["time", "client", "mode", "service", "db", "user", "outcome", "message", "rows",
        "bytes", "ms", "db_ms", "reused"]
PAIR = re.compile(r'([a-z_]+)=(?:"((?:[^"\\\x00-\x1f\x7f]|\\["\\nrt]|\\x[0-9a-f]{2})*)"'
                  r'|([^ "=\\\x00-\x1f\x7f]+))(?: |$)')


def read_line(line):
    fields = []
    at = 0
    while at < len(line):
        match = PAIR.match(line, at)
        if not match or match.end() == at:
            return None
        fields.append((match.group(1), match.group(2) if match.group(2) is not None
                       else match.group(3)))
        at = match.end()
    if line.endswith(" "):
        return None
    return fields


def main():
    log, client = sys.argv[1], sys.argv[2]
    counts = collections.Counter()
    with open(log, "rb") as source:
        for number, raw in enumerate(source, 1):
            line = raw.decode("utf-8", errors="strict").rstrip("\n")
            fields = read_line(line)
            keys = [key for key, _ in fields or []]
            if fields is None or keys[:len(KEYS)] != KEYS:
                print(f"line {number} does not read back: {line[:300]}")
                return 1
            values = dict(fields)
            if not re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z", values["time"]) or \
                    not all(re.fullmatch(r"\d+(\.\d{3})?", values[key])
                            for key in ("rows", "bytes", "ms", "db_ms")):
                print(f"line {number} has a malformed time or number: {line[:300]}")
                return 1
            if values["client"] == client:
                counts[(values["mode"], values["service"] or '""', values["outcome"],
                        values["rows"])] += 1
    for kind, count in sorted(counts.items()):
        print(count, *kind)
    return 0


sys.exit(main())
