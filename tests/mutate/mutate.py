#!/usr/bin/env python3
"""Mutation runner: how many small faults in src/ and tools/ do the tests catch?

  plan  scans the sources, draws a seeded sample of mutants, writes mutants.tsv
  run   applies each mutant of mutants.tsv in turn to a private copy of the
        checkout, rebuilds only what it touches, runs the fast tests and
        records killed / survived / not viable (the mutant did not build)

A library mutant runs the unit tests (two shards, stopping at the first
failure); a tools/ mutant runs the command-line tests. Results are appended
one line per mutant, so an interrupted run resumes where it stopped.
"""
import argparse, collections, filecmp, os, random, re, shutil, subprocess, sys, threading, time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TARGET_DIRS = ("src/core", "src/detect", "src/convert", "src/io", "tools")
# The "large" group (a 15 MB file) is left out: it costs more than all the others.
CLI_GROUPS = ("detect", "convert", "in_place", "cat", "usage", "write_errors", "lossless")

# --------------------------------------------------------------------------
# Finding mutation sites
# --------------------------------------------------------------------------

CMP_FLIP = {"==": "!=", "!=": "==", "<": ">=", ">=": "<", ">": "<=", "<=": ">"}
CMP_RE = re.compile(r"(?<=[\w)\]] )(==|!=|<=|>=|<|>)(?= [\w(!*&~'\-])")
INT_RE = re.compile(r"(?<![\w.'])(0[xX][0-9A-Fa-f]+|\d+)([uUlL]*)(?![\w.'])")
FLAG_RE = re.compile(r"\b(true|false)\b|!(?!=)(?=[\w(])")
STMT_RE = re.compile(
    r"^\s*(?:[A-Za-z_][\w:]*(?:\.|->|\[|\(| [-+*/|&^]?= | <<= | >>= |\+\+|--)"
    r"|\+\+|--|\*\w|return\b|break;|continue;)")
DECL_RE = re.compile(r"^(const\s+)?[\w:<>]+(\s*[*&]+\s*|\s+)\w+$")  # a parameter, not an argument
CALL_RE = re.compile(r"\b([A-Za-z_][\w:]*)\(")
NOT_CALLS = {"if", "for", "while", "switch", "return", "sizeof", "static_cast",
             "reinterpret_cast", "const_cast", "alignof", "decltype", "defined"}
SKIPPED_LINES = ("#", "//", "*", "static_assert", "template", "using ", "namespace")
WRITE_INT = {16: hex, 8: lambda v: "0%o" % v, 10: str}


def masked(line):
    """The line with string and char literals blanked and any // comment cut."""
    out, i, quote = [], 0, None
    while i < len(line):
        c = line[i]
        if quote and c == "\\":
            out.append("__")
            i += 1
        elif quote:
            out.append(c if c == quote else "_")
            quote = None if c == quote else quote
        elif c in "\"'" and not (c == "'" and i > 0 and line[i - 1].isalnum()):
            quote = c
            out.append(c)
        elif line.startswith("//", i):
            break
        else:
            out.append(c)
        i += 1
    return "".join(out)


def code_lines(text):
    """(line number, masked line) of lines holding code, outside block comments."""
    in_block = False
    for n, line in enumerate(text.split("\n"), 1):
        stripped = line.strip()
        if in_block or stripped.startswith("/*"):
            in_block = "*/" not in line if in_block else "*/" not in stripped
        elif stripped and not stripped.startswith(SKIPPED_LINES):
            yield n, masked(line)


def call_args(m, start):
    """Top-level arguments of the call whose '(' is at start, if on one line."""
    depth, args, cur = 0, [], start + 1
    for i in range(start, len(m)):
        depth += (m[i] in "([{") - (m[i] in ")]}")
        if depth == 0:
            return args + [(cur, i)]
        if m[i] == "," and depth == 1:
            args.append((cur, i))
            cur = i + 1
        elif m[i] == "<" and depth == 1 and i > 0 and m[i - 1] != " ":
            return None  # template arguments: commas would mislead
    return None


def sites(text):
    """Every mutation this file offers: (line, col, kind, old, new)."""
    lines = text.split("\n")
    for n, m in code_lines(text):
        for x in CMP_RE.finditer(m):
            yield n, x.start(), "cmp", x.group(1), CMP_FLIP[x.group(1)]
        for x in INT_RE.finditer(m):
            lit, suffix = x.group(1), x.group(2)
            base = 16 if lit[:2] in ("0x", "0X") else 8 if lit[:1] == "0" and lit != "0" else 10
            for value in (int(lit, base) + d for d in (-1, 1) if int(lit, base) + d >= 0):
                yield n, x.start(), "const", lit + suffix, WRITE_INT[base](value) + suffix
        for x in FLAG_RE.finditer(m):
            old = x.group(1) or "!"
            yield n, x.start(), "flag", old, {"true": "false", "false": "true", "!": ""}[old]
        raw, prev = lines[n - 1], lines[n - 2].rstrip() if n > 1 else ""
        balanced = m.count("(") == m.count(")") and m.count("[") == m.count("]")
        if STMT_RE.match(m) and m.rstrip().endswith(";") and balanced and \
                (prev.endswith((";", "{", "}", ":")) or not prev):
            yield n, raw.index(raw.strip()), "drop", raw.strip(), ";"
        for x in CALL_RE.finditer(m):
            args = None if x.group(1).split("::")[-1] in NOT_CALLS else call_args(m, x.end() - 1)
            if not args or len(args) != 2:
                continue
            (a0, a1), (b0, b1) = args
            first, second = raw[a0:a1].strip(), raw[b0:b1].strip()
            if first != second and not any(DECL_RE.match(a) or a.isdigit() for a in (first, second)):
                yield n, a0, "swap", raw[a0:b1], second + ", " + first


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def write(path, text, mode="w"):
    with open(path, mode, encoding="utf-8") as f:
        f.write(text)


def plan(args):
    found = []
    for d in TARGET_DIRS:
        for rel in (os.path.join(d, name) for name in sorted(os.listdir(os.path.join(ROOT, d)))
                    if name.endswith((".cpp", ".h"))):
            found += [(rel,) + s for s in sites(read(os.path.join(ROOT, rel)))]
    rng = random.Random(args.seed)
    kinds = sorted({s[3] for s in found})
    chosen = []
    for k in kinds:  # equal shares per kind, so constants do not crowd out the rest
        pool = [s for s in found if s[3] == k]
        chosen += rng.sample(pool, min(len(pool), args.count // len(kinds)))
    chosen.sort(key=lambda s: s[:4])
    esc = lambda s: s.replace("\\", "\\\\").replace("\t", "\\t")
    with open(args.out, "w", encoding="utf-8") as f:
        f.write("id\tfile\tline\tcol\tkind\told\tnew\ttext\n")
        for i, (rel, n, col, kind, old, new) in enumerate(chosen, 1):
            text = read(os.path.join(ROOT, rel)).split("\n")[n - 1]
            f.write(f"{i}\t{rel}\t{n}\t{col}\t{kind}\t{esc(old)}\t{esc(new)}\t{esc(text)}\n")
    print(f"{len(found)} sites, {len(chosen)} mutants -> {args.out}")


# --------------------------------------------------------------------------
# Running mutants
# --------------------------------------------------------------------------


def tsv_rows(path):
    return [line.split("\t") for line in read(path).split("\n")[1:] if line]


def load_mutants(path):
    unesc = lambda s: re.sub(r"\\(.)", lambda m: "\t" if m.group(1) == "t" else m.group(1), s)
    return [dict(id=int(r[0]), file=r[1], line=int(r[2]), col=int(r[3]), kind=r[4],
                 old=unesc(r[5]), new=unesc(r[6]), text=unesc(r[7]) if len(r) > 7 else None)
            for r in tsv_rows(path)]


def mutated(text, mut):
    """The source with the mutant applied. A line that has moved since the list
    was drawn is found again by its whole text, the nearest copy first."""
    lines, at = text.split("\n"), mut["line"] - 1
    if mut["text"] is not None and (at >= len(lines) or lines[at] != mut["text"]):
        moved = [i for i, line in enumerate(lines) if line == mut["text"]]
        at = min(moved, key=lambda i: abs(i - at), default=-1)
    line, col, old = lines[at] if at >= 0 else "", mut["col"], mut["old"]
    if line[col:col + len(old)] != old:
        raise ValueError(f"source no longer matches ({mut['file']}:{mut['line']})")
    lines[at] = line[:col] + mut["new"] + line[col + len(old):]
    return "\n".join(lines)


def first_failure(cmds, timeout, jobs):
    """Runs the commands `jobs` at a time; the first that fails (or times out) ends
    the run. Returns its name, or None when all pass."""
    pending, running, start = list(cmds), [], time.time()
    while pending or running:
        while pending and len(running) < jobs:
            name, cmd, env = pending.pop(0)
            running.append((name, subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                                   env=env, start_new_session=True)))
        time.sleep(0.02)
        over = time.time() - start > timeout
        for name, p in list(running):
            rc = p.poll()
            if rc == 0:
                running.remove((name, p))
            elif rc is not None or over:
                for _, q in running:  # stop the rest of this run: it is decided
                    if q.poll() is None:
                        os.killpg(q.pid, 9)
                        q.wait()
                return name if rc is not None else name + " (timeout)"
    return None


class Workspace:
    def __init__(self, work, jobs, unit_filter):
        self.tree, self.build = os.path.join(work, "tree"), os.path.join(work, "build")
        self.jobs, self.unit_filter = jobs, unit_filter

    def setup(self, rev):
        """Brings the private copy to the checkout's tracked files at rev (copying
        only what differs, so the build stays incremental)."""
        export = self.tree + ".export"
        shutil.rmtree(export, ignore_errors=True)
        os.makedirs(export)
        archive = subprocess.run(["git", "archive", rev], cwd=ROOT, check=True, stdout=subprocess.PIPE).stdout
        subprocess.run(["tar", "-x", "-C", export], input=archive, check=True)
        files = {os.path.relpath(os.path.join(b, n), export) for b, _, names in os.walk(export) for n in names}
        for rel in files:
            src, dst = os.path.join(export, rel), os.path.join(self.tree, rel)
            if not (os.path.exists(dst) and filecmp.cmp(src, dst, False)):
                os.makedirs(os.path.dirname(dst), exist_ok=True)
                shutil.copy2(src, dst)
        for path in [os.path.join(b, n) for b, _, names in os.walk(self.tree) for n in names]:
            if os.path.relpath(path, self.tree) not in files:  # files gone at rev leave the copy
                os.remove(path)
        # -O1: the mutants are about behaviour, and every one costs a compile.
        # ccache, when present, makes a replay of the same set cost links and
        # test runs only.
        launcher = ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"] if shutil.which("ccache") else []
        subprocess.run(["cmake", "-S", self.tree, "-B", self.build, "-G", "Ninja",
                        "-DCMAKE_BUILD_TYPE=Release", "-DCMAKE_CXX_FLAGS_RELEASE=-O1 -DNDEBUG"]
                       + launcher, check=True, stdout=subprocess.DEVNULL)

    def tests_for(self, rel):
        if rel.startswith("tools/"):
            cli = [os.path.join(self.build, "tools", "kmv"), os.path.join(self.tree, "samples")]
            return "kmv_cli", [(f"cli_{g}", ["bash", os.path.join(self.tree, "tests/cli_test.sh"), *cli, g], None)
                               for g in CLI_GROUPS]
        exe = os.path.join(self.build, "tests", "kmv_tests")
        return "kmv_tests", [(f"unit shard {shard}",
                              [exe, "--gtest_fail_fast", "--gtest_brief=1", f"--gtest_filter={self.unit_filter}"],
                              dict(os.environ, GTEST_TOTAL_SHARDS=str(self.jobs), GTEST_SHARD_INDEX=str(shard)))
                             for shard in range(self.jobs)]

    def build_targets(self, *targets, jobs=None):
        cmd = ["cmake", "--build", self.build, f"-j{jobs or self.jobs}", "--target", *targets]
        try:
            return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=600).returncode == 0
        except subprocess.TimeoutExpired:
            return False

    def trial(self, mut, timeout):
        """Applies one mutant, builds, tests, restores. Returns (status, detail)."""
        path = os.path.join(self.tree, mut["file"])
        original = read(path)
        target, cmds = self.tests_for(mut["file"])
        try:
            text = mutated(original, mut)
        except (ValueError, IndexError) as e:  # the list was drawn on other sources
            return "stale", str(e)
        try:
            write(path, text)
            if not self.build_targets(target):
                return "not_viable", "build"
            failed = first_failure(cmds, timeout, self.jobs)
            return ("killed", failed) if failed else ("survived", "")
        finally:
            write(path, original)


def run(args):
    mutants = load_mutants(args.mutants)
    if args.only:
        mutants = [m for m in mutants if m["id"] in {int(i) for i in args.only.split(",")}]
    if not os.path.exists(args.results):
        write(args.results, "id\tstatus\tseconds\tdetail\n")
    done = {int(r[0]) for r in tsv_rows(args.results)}
    # A seeded shuffle, so that a run stopped early has tried a fair sample of
    # the set; restoring a file between mutants is a cache hit with ccache.
    order = sorted(mutants, key=lambda m: m["id"])
    random.Random(16).shuffle(order)
    # The cache sees the same sources whichever worker's copy compiles them.
    os.environ.update(CCACHE_BASEDIR=os.path.abspath(args.work), CCACHE_NOHASHDIR="1")  # ccache wants it absolute
    lock = threading.Lock()

    def work(k):
        ws = Workspace(os.path.join(args.work, f"w{k}"), max(1, 2 // args.workers), args.filter)
        with lock:  # one setup at a time: the second finds the first's objects cached
            ws.setup(args.rev)
            if not ws.build_targets("kmv_tests", "kmv_cli", jobs=2):
                sys.exit(f"{ws.build}: build failed")
        # A mutant's tests may take a few times what they take unmutated (the
        # machine is shared) before they count as hanging.
        limit = {}
        for probe in ("src/", "tools/"):
            start = time.time()
            failed = first_failure(ws.tests_for(probe)[1], 600, ws.jobs)
            if failed:
                return print(f"worker {k}: {failed} fails without any mutant", flush=True)
            limit[probe] = max(args.timeout, 4 * (time.time() - start))
        for mut in (m for m in order[k::args.workers] if m["id"] not in done):
            start = time.time()
            status, detail = ws.trial(mut, limit["tools/" if mut["file"].startswith("tools/") else "src/"])
            secs = time.time() - start
            with lock:
                write(args.results, f"{mut['id']}\t{status}\t{secs:.1f}\t{detail}\n", "a")
                print(f"{mut['id']:4} {status:10} {secs:5.1f}s {mut['file']}:{mut['line']} "
                      f"{mut['kind']} {mut['old']!r} -> {mut['new']!r}", flush=True)

    workers = [threading.Thread(target=work, args=(k,)) for k in range(args.workers)]
    for w in workers:
        w.start()
    for w in workers:
        w.join()
    summary(args)


def summary(args):
    muts = {m["id"]: m for m in load_mutants(args.mutants)}
    rows = tsv_rows(args.results)
    counts = collections.Counter(r[1] for r in rows)
    secs = sum(float(r[2]) for r in rows)
    print(f"mutants {len(rows)}: " + ", ".join(f"{k} {v}" for k, v in sorted(counts.items()))
          + f"; {secs / 60:.1f} min, {secs / max(len(rows), 1):.1f} s per mutant")
    for m in (muts[int(r[0])] for r in rows if r[1] == "survived"):
        print(f"  survived {m['id']}: {m['file']}:{m['line']} {m['kind']} {m['old']!r} -> {m['new']!r}")


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawTextHelpFormatter)
    sub = ap.add_subparsers(dest="cmd", required=True)
    p = sub.add_parser("plan")
    p.add_argument("--seed", type=int, default=16)
    p.add_argument("--count", type=int, default=320)
    p.add_argument("--out", default=os.path.join(ROOT, "tests/mutate/mutants.tsv"))
    for name in ("run", "summary"):
        r = sub.add_parser(name)
        r.add_argument("--mutants", default=os.path.join(ROOT, "tests/mutate/mutants.tsv"))
        r.add_argument("--results", required=True)
        r.add_argument("--work", default=os.path.join(ROOT, "build/mutate"))
        r.add_argument("--timeout", type=float, default=10)
        r.add_argument("--only", help="comma-separated mutant ids")
        r.add_argument("--rev", default="HEAD", help="the commit whose files are tested")
        r.add_argument("--workers", type=int, default=2, help="mutants tried side by side")
        r.add_argument("--filter", default="*", help="which unit tests run (--gtest_filter)")
    args = ap.parse_args()
    {"plan": plan, "run": run, "summary": summary}[args.cmd](args)


if __name__ == "__main__":
    sys.exit(main())
