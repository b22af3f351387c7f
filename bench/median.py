#!/usr/bin/env python3
"""Prints the median run time in milliseconds of each command in a hyperfine JSON export."""
import json
import statistics
import sys

with open(sys.argv[1]) as f:
    results = json.load(f)["results"]
print(" ".join("%.3f" % (statistics.median(r["times"]) * 1000.0) for r in results))
