#!/usr/bin/env python3
"""Prints the message benchmark's JSON output as one table.

Each benchmark is named "<case>/<library>[/real_time][/threads:N]". A row is
one case of one library: the median nanoseconds per operation, its ratio to
the case's floor and to the fastest peer (another library) on that case.
The latency cases ("latency_1t", "latency_4t") follow in a second table: the
median over repetitions of each percentile, in microseconds, with the ratio of
Vantrel's to the best peer's.

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


LATENCY_COLUMNS = ["p50", "p99", "p99.9", "max"]


def is_latency(case):
    return case.startswith("latency_")


def median_runs(report):
    """(case, library, run) for every median aggregate"""
    for run in report["benchmarks"]:
        if run.get("aggregate_name") == "median":
            case, library = run["run_name"].split("/")[:2]
            yield case, library, run


def medians(report):
    """{(case, library): median ns per operation}"""
    result = {}
    for case, library, run in median_runs(report):
        if is_latency(case):
            continue
        scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}[run.get("time_unit", "ns")]
        result[(case, library)] = run["real_time"] * scale
    return result


def ratio(value, reference):
    return "%.2fx" % (value / reference) if reference else "-"


def latency_table(report):
    """{(case, library): [p50, p99, p99.9, max] in microseconds}"""
    return {(case, library): [run.get(column, 0.0) / 1e3 for column in LATENCY_COLUMNS]
            for case, library, run in median_runs(report) if is_latency(case)}


def print_latency(rows):
    if not rows:
        return
    print()
    print("%-11s %-9s" % ("latency", "library") +
          "".join("%10s" % (c + " us") for c in LATENCY_COLUMNS))
    for case in sorted({c for c, _ in rows}):
        libraries = sorted(lib for c, lib in rows if c == case)
        for library in libraries:
            print("%-11s %-9s" % (case, library) +
                  "".join("%10.1f" % v for v in rows[(case, library)]))
        peers = [rows[(case, lib)] for lib in libraries if lib != "vantrel"]
        if (case, "vantrel") in rows and peers:
            best = [min(p[i] for p in peers) for i in range(len(LATENCY_COLUMNS))]
            print("%-11s %-9s" % (case, "vs peer") +
                  "".join("%10s" % ratio(v, b) for v, b in zip(rows[(case, "vantrel")], best)))


def main(path):
    with open(path) as f:
        report = json.load(f)
    times = medians(report)
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
    print_latency(latency_table(report))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "message_bench.json")
