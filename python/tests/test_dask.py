import csv
import os
import shutil
import subprocess

import pytest

import kmv.dask

TOOL = os.environ.get("KMV_TOOL")
CODECS = "cp932 euc_jp iso2022_jp utf-16 utf-16-be utf-8 utf-8-sig".split()


@pytest.mark.skipif(not TOOL, reason="KMV_TOOL names no kmv tool")
def test_tree_converted_on_a_local_cluster_as_the_tool_does(tmp_path, text):
    tree, by_tool = tmp_path / "in", tmp_path / "tool"
    for i in range(198):
        path = tree / f"d{i % 5}" / f"f{i:03}.txt"
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(text[i:].encode(CODECS[i % len(CODECS)]))
    (tree / "copyright.txt").write_bytes("© 日本語\n".encode())
    (tree / "broken.txt").write_bytes(b"\xff\xff\xff")
    shutil.copytree(tree, by_tool)
    tool = subprocess.run([TOOL, "convert", "-r", "--in-place", "--to",
                           "sjis", str(by_tool)], capture_output=True)
    assert tool.returncode == 1 and b"broken.txt" in tool.stderr

    report = tmp_path / "report.csv"
    status = kmv.dask.main([str(tree), str(tmp_path / "out"), "--to", "sjis",
                            "--workers", "2", "--batch", "16", "--report",
                            str(report)])
    with open(report, newline="", encoding="utf-8") as f:
        records = {r["path"]: r for r in csv.DictReader(f)}
    assert status == 1 and len(records) == 200
    assert records.pop("broken.txt")["error"].startswith("no supported")
    assert records["copyright.txt"]["replacements"] == "1"
    for path, record in records.items():
        ours = (tmp_path / "out" / path).read_bytes()
        assert ours == (by_tool / path).read_bytes(), path
        assert (record["error"], record["bytes_out"]) == ("", str(len(ours)))
