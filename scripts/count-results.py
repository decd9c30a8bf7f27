#!/usr/bin/env python3
"""Adds up the XML reports of the test programs into "N passed, N failed".

A program that crashed leaves no report or an incomplete one; ctest reports
it as failed, and it is counted here as one failure. Exits 1 when anything
failed."""
import glob
import os
import sys
import xml.etree.ElementTree as ET

passed = failed = skipped = 0
for folder in sys.argv[1:]:
    for report in sorted(glob.glob(os.path.join(folder, "*.xml"))):
        try:
            tree = ET.parse(report)
        except ET.ParseError:
            print(f"count-results: unreadable report {report}", file=sys.stderr)
            failed += 1
            continue
        for case in tree.iter("testcase"):
            if case.find("failure") is not None or case.find("error") is not None:
                failed += 1
            elif case.get("result") == "skipped" or case.get("status") == "notrun" \
                    or case.find("skipped") is not None:
                skipped += 1
            else:
                passed += 1

# Test programs that ctest ran but that wrote no report count as failures.
for folder in sys.argv[1:]:
    log = os.path.join(os.path.dirname(folder), "Testing", "Temporary", "LastTestsFailed.log")
    if os.path.exists(log):
        for line in open(log):
            name = line.strip().split(":", 1)[-1]
            if name and not os.path.exists(os.path.join(folder, name + ".xml")):
                failed += 1

line = f"{passed} passed, {failed} failed"
if skipped:
    line += f", {skipped} skipped"
print(line)
sys.exit(1 if failed else 0)
