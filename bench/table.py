#!/usr/bin/env python3
"""Prints the table of one scripts/bench run from the benchmarks' JSON files.

    table.py FOLDER SIZE...
"""
import json
import os
import sys

ORDER = ["Vldata", "GetXML", "SqliteScan", "PugiParse", "ReadDataDocument", "LoadXML", "LoadXMLAgain", "LoadDataCommand"]
LABEL = {
    "Vldata": "vldata -o FILE",
    "GetXML": "GetXML",
    "SqliteScan": "SQLite scan (floor)",
    "PugiParse": "pugixml parse",
    "ReadDataDocument": "viewer's reader",
    "LoadXML": "LoadXML (plug-in), first",
    "LoadXMLAgain": "LoadXML (plug-in), reload",
    "LoadDataCommand": "load-data command",
}


def medians(path):
    """The median aggregate of each benchmark, by its base name (Vldata, GetXML, ...)."""
    if not os.path.exists(path):
        return {}
    with open(path) as f:
        data = json.load(f)
    runs = {}
    for b in data["benchmarks"]:
        if b.get("error_occurred"):
            runs[b["run_name"].split("/")[0]] = {"error": b.get("error_message", "failed")}
            continue
        single = b.get("run_type") == "iteration" and b.get("repetitions", 1) == 1
        if b.get("aggregate_name") == "median" or single:
            runs[b["run_name"].split("/")[0]] = b
    return runs


def number(value, digits=0):
    return f"{value:,.{digits}f}".replace(",", " ")


def main():
    folder, sizes = sys.argv[1], sys.argv[2:]
    print("| size | what | wall ms | CPU ms | wall / floor | CPU / floor | rows/s | MB/s | peak MB | notes |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    for size in sizes:
        runs = medians(os.path.join(folder, f"xmldata-{size}.json"))
        runs.update(medians(os.path.join(folder, f"loaddata-{size}.json")))
        floor = runs.get("SqliteScan", {})
        floor_wall, floor_cpu = floor.get("real_time"), floor.get("cpu_time")
        for name in ORDER:
            run = runs.get(name)
            if run is None:
                continue
            if "error" in run:
                print(f"| {size} | {LABEL[name]} | failed: {run['error']} | | | | | | | |")
                continue
            wall = run["real_time"]
            # A child process's CPU time comes from wait4; the benchmark's own is the parent's.
            cpu = run.get("child_cpu_ms", run["cpu_time"])
            notes = []
            if "caption_ms" in run:
                notes.append(f"caption {number(run['caption_ms'])} ms")
            if "text_page_ms" in run:
                notes.append(f"longest event pass with the text page shown {number(run['text_page_ms'])} ms")
            if "doc_MB" in run and name in ("GetXML", "PugiParse"):
                notes.append(f"document {number(run['doc_MB'], 1)} MB")
            pugi = runs.get("PugiParse", {}).get("real_time")
            if pugi and name in ("ReadDataDocument", "LoadXML", "LoadXMLAgain"):
                notes.append(f"{wall / pugi:.2f}x pugixml's parse")
            ratio_wall = f"{wall / floor_wall:.2f}x" if floor_wall else ""
            ratio_cpu = f"{cpu / floor_cpu:.2f}x" if floor_cpu else ""
            print(f"| {size} | {LABEL[name]} | {number(wall, 1)} | {number(cpu, 1)} | {ratio_wall} | {ratio_cpu} | "
                  f"{number(run.get('rows/s', 0))} | {number(run.get('MB/s', 0), 1)} | "
                  f"{number(run.get('peak_MB', 0))} | {'; '.join(notes)} |")
    layout = os.path.join(folder, "layout.json")
    if os.path.exists(layout):
        # The benchmark's parameter is part of its name here, so the medians are taken by that name.
        with open(layout) as f:
            runs = {b["run_name"].split("/iterations:")[0]: b for b in json.load(f)["benchmarks"]
                    if b.get("aggregate_name") == "median" or (b.get("run_type") == "iteration" and b.get("repetitions", 1) == 1)}
        plain, grouped = runs.get("BM_PageTotalsLayout/groups:0"), runs.get("BM_PageTotalsLayout/groups:1")
        if plain and grouped:
            print()
            print("| 100 000 rows | wall ms | CPU ms | pages | ratio to no groups |")
            print("|---|---|---|---|---|")
            print(f"| layout, page totals, no groups | {number(plain['real_time'], 1)} | {number(plain['cpu_time'], 1)} | "
                  f"{number(plain.get('pages', 0))} | 1.00x |")
            print(f"| layout, two group levels and page totals | {number(grouped['real_time'], 1)} | "
                  f"{number(grouped['cpu_time'], 1)} | {number(grouped.get('pages', 0))} | "
                  f"{grouped['real_time'] / plain['real_time']:.2f}x |")
    with open(os.path.join(folder, "keys.json")) as f:
        lookups = [b for b in json.load(f)["benchmarks"] if b.get("run_type") == "iteration"]
    if lookups:
        print()
        print("| key lookup | ns per lookup |")
        print("|---|---|")
        for b in lookups:
            print(f"| {b['name']} | {b['cpu_time']:.1f} |")


if __name__ == "__main__":
    main()
