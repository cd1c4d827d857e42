#!/usr/bin/env python3
"""Tells whether every failure of a sanitizer test run is LeakSanitizer's own crash.

Usage: leak-checker-crashed.py JUNIT_FILE

Reads the JUnit report that `ctest --output-junit` wrote. Prints each failed test with the verdict
on it, and exits 0 only when there is at least one failure and every failed test's output shows
the leak checker's tracer crashing ("Tracer caught signal", then "LeakSanitizer has encountered a
fatal error"): a crash of the checking tool at a process's exit, which says nothing of the
program, and is worth one more run. Any other failure exits 1: it is the test's verdict.
"""
import sys
import xml.etree.ElementTree as ElementTree

TRACER_CRASH = "Tracer caught signal"
CHECKER_FATAL = "LeakSanitizer has encountered a fatal error"


def failed_tests(report):
    for case in ElementTree.parse(report).getroot().iter("testcase"):
        if case.get("status") == "fail" or case.find("failure") is not None:
            output = "".join(node.text or "" for node in case.iter("system-out"))
            yield case.get("name"), output


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    failures = list(failed_tests(sys.argv[1]))
    only_tool_crashes = bool(failures)
    for name, output in failures:
        tool_crash = TRACER_CRASH in output and CHECKER_FATAL in output
        only_tool_crashes = only_tool_crashes and tool_crash
        verdict = "the leak checker crashed" if tool_crash else "failed"
        print(f"{name}: {verdict}")
    return 0 if only_tool_crashes else 1


if __name__ == "__main__":
    sys.exit(main())
