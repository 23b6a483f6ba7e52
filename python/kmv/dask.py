"""Converts a whole tree of files on a Dask cluster.

    python3 -m kmv.dask SRC DST --to utf-8 [--from NAME] [--scheduler ADDR]
                        [--workers N] [--batch N] [--report FILE]

Every regular file under SRC is converted into the same place under DST
(DST may be SRC: each file is then replaced). Each task converts a batch of
files; each output is written beside its place and renamed into it, so no
file is ever half written. Every file gives one record (path, source
encoding and whether it was decided or guessed, bytes
in and out, replacements, error); a file that fails is recorded and the
others go on. The records form one report: CSV when FILE ends in .csv, else
JSON lines (standard output when no FILE is named).

Without ``--scheduler`` a LocalCluster of ``--workers`` processes runs on
this machine; with it, the work goes to that scheduler's workers, which
must see SRC and DST at the same paths (a shared file system).
"""

from __future__ import annotations

import argparse
import csv
import json
import os
import sys
from typing import Dict, Iterator, List, Optional

import kmv

FIELDS = ["path", "source", "decided", "bytes_in", "bytes_out",
          "replacements", "error"]


def convert_one(root: str, out_root: str, relative: str, to: str,
                source: Optional[str]) -> Dict[str, object]:
    """One file's conversion and its record; a failure is recorded, never
    raised."""
    record: Dict[str, object] = dict.fromkeys(FIELDS)
    record["path"] = relative
    try:
        target = os.path.join(out_root, relative)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        done = kmv.convert_file(os.path.join(root, relative), target, to,
                                source)
        record.update(source=done.source.label if done.source else None,
                      decided=done.decided, bytes_in=done.bytes_in,
                      bytes_out=done.bytes_out,
                      replacements=done.unconvertible)
    except (OSError, ValueError) as e:
        record["error"] = str(e)
    return record


def convert_batch(root: str, out_root: str, batch: List[str], to: str,
                  source: Optional[str]) -> List[Dict[str, object]]:
    """The task run on a worker: a batch of files, one record each."""
    return [convert_one(root, out_root, p, to, source) for p in batch]


def files_under(root: str) -> List[str]:
    """The regular files under ``root``, relative to it, in name order;
    symbolic links to directories are not followed."""
    found = []
    for directory, subdirectories, names in os.walk(root):
        subdirectories.sort()
        for name in sorted(names):
            path = os.path.join(directory, name)
            if not name.startswith(".kmv-") and os.path.isfile(path):
                found.append(os.path.relpath(path, root))
    return found


def batches(items: List[str], size: int) -> Iterator[List[str]]:
    for start in range(0, len(items), size):
        yield items[start:start + size]


def run(root: str, out_root: str, to: str, source: Optional[str] = None,
        scheduler: Optional[str] = None, workers: int = 2,
        batch: int = 16) -> List[Dict[str, object]]:
    """Converts the tree and gives the records in path order."""
    from dask.distributed import Client, LocalCluster, as_completed

    kmv.Encoding(to)  # an unknown name fails here, not in every task
    if source is not None:
        kmv.Encoding(source)
    root, out_root = os.path.abspath(root), os.path.abspath(out_root)
    paths = files_under(root)
    cluster = None
    if scheduler is None:
        cluster = LocalCluster(n_workers=workers, threads_per_worker=1,
                               processes=True, dashboard_address=None)
    try:
        with Client(scheduler or cluster) as client:
            futures = [client.submit(convert_batch, root, out_root, b, to,
                                     source, pure=False)
                       for b in batches(paths, max(1, batch))]
            records = []
            for future in as_completed(futures):
                records.extend(future.result())
    finally:
        if cluster is not None:
            cluster.close()
    return sorted(records, key=lambda r: r["path"])


def write_report(records: List[Dict[str, object]], out, as_csv: bool) -> None:
    if as_csv:
        writer = csv.DictWriter(out, fieldnames=FIELDS)
        writer.writeheader()
        writer.writerows(records)
        return
    for record in records:
        out.write(json.dumps(record, ensure_ascii=False) + "\n")


def main(argv: Optional[List[str]] = None) -> int:
    parser = argparse.ArgumentParser(
        prog="python3 -m kmv.dask",
        description="Convert a tree of files on a Dask cluster.")
    parser.add_argument("src", help="the tree to convert")
    parser.add_argument("dst", help="where the converted tree goes (may be "
                        "SRC: files are then replaced)")
    parser.add_argument("--to", required=True, help="the target encoding")
    parser.add_argument("--from", dest="source", help="the source encoding "
                        "(detected for each file when not given)")
    parser.add_argument("--scheduler", help="address of a running Dask "
                        "scheduler (else a LocalCluster is started)")
    parser.add_argument("--workers", type=int, default=os.cpu_count() or 1,
                        help="worker processes of the LocalCluster")
    parser.add_argument("--batch", type=int, default=16,
                        help="files per task")
    parser.add_argument("--report", help="report file (.csv for CSV, else "
                        "JSON lines; standard output when not given)")
    args = parser.parse_args(argv)
    try:
        records = run(args.src, args.dst, args.to, args.source,
                      args.scheduler, args.workers, args.batch)
    except kmv.Error as e:
        parser.error(str(e))
    if args.report:
        with open(args.report, "w", newline="", encoding="utf-8") as out:
            write_report(records, out, args.report.endswith(".csv"))
    else:
        write_report(records, sys.stdout, False)
    failed = sum(1 for r in records if r["error"])
    print(f"kmv.dask: {len(records)} files, {failed} failed", file=sys.stderr)
    return 1 if failed else 0


if __name__ == "__main__":
    from kmv.dask import main as entry  # tasks then pickle by module name

    sys.exit(entry())
