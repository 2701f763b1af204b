#!/usr/bin/env python3
"""Prints the message benchmark's JSON output as one table.

Each benchmark is named "<case>/<library>[/real_time][/threads:N]". A row is
one case of one library: the median nanoseconds per operation, its ratio to
the case's floor and to the fastest peer (another library) on that case.

    python3 bench/table.py message_bench.json
"""
import json
import sys

# The floor each case is measured against.
FLOORS = {
    "filtered_out": "atomic",
    "record": "write",
    "record_2t": "write",
    "context_record": "write",
    "xml_record": "write",
}
CASE_ORDER = ["filtered_out", "record", "record_2t", "context_record", "xml_record",
              "config_parse", "floor"]


def medians(report):
    """{(case, library): median ns per operation}"""
    result = {}
    for run in report["benchmarks"]:
        if run.get("aggregate_name") != "median":
            continue
        case, library = run["run_name"].split("/")[:2]
        scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}[run.get("time_unit", "ns")]
        result[(case, library)] = run["real_time"] * scale
    return result


def ratio(value, reference):
    return "%.2fx" % (value / reference) if reference else "-"


def main(path):
    with open(path) as f:
        times = medians(json.load(f))
    print("%-15s %-9s %12s %10s %10s" % ("case", "library", "ns/op", "vs floor", "vs peer"))
    cases = sorted({c for c, _ in times}, key=lambda c: (CASE_ORDER.index(c)
                                                         if c in CASE_ORDER else 99, c))
    for case in cases:
        rows = sorted(((lib, ns) for (c, lib), ns in times.items() if c == case),
                      key=lambda row: row[1])
        floor = times.get(("floor", FLOORS.get(case, "")))
        for library, ns in rows:
            peers = [t for lib, t in rows if lib != library and case != "floor"]
            print("%-15s %-9s %12.1f %10s %10s" % (case, library, ns, ratio(ns, floor),
                                                     ratio(ns, min(peers) if peers else None)))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "message_bench.json")
