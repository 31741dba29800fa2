#!/usr/bin/env python3
"""Mutation check: how many plausible one-line mistakes in src/ does the test suite catch?

Each line of the list file (tools/scripts/mutations.txt by default) names one mutation:

    src/sound/pt_play.cpp: if (row > 63) row = 0; => if (row > 64) row = 0;

the file, the exact original text (it must occur exactly once in that file) and its replacement; blank
lines and lines starting with # are skipped. The script copies the working tree (tracked and untracked,
not ignored files) into build-mutate/src, configures build-mutate/build once, checks that the suite passes
unmutated, then for each mutation in turn: writes the mutated file into the copy, rebuilds incrementally,
runs the suite (ctest --stop-on-failure) and restores the file. The worktree itself is never written.
It prints killed / survived / did not build per mutation, with the first test that failed, and the kill
rate. Not part of the normal test run: a full pass takes the better part of an hour on two cores.

    tools/scripts/mutate.py                      every mutation of the list
    tools/scripts/mutate.py --only 3,7-9         some of them (numbers as printed)
    tools/scripts/mutate.py --list other.txt --jobs 2 --tests 'Timeline|Capture'
"""
import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def parse_list(path):
    mutations = []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            m = re.match(r"^(\S+): (.*?) => (.*)$", line)
            if not m:
                sys.exit(f"{path}:{number}: expected 'FILE: ORIGINAL => REPLACEMENT'")
            mutations.append({"file": m.group(1), "original": m.group(2), "replacement": m.group(3),
                              "line": number})
    return mutations


def select(mutations, only):
    if not only:
        return list(enumerate(mutations, 1))
    wanted = set()
    for part in only.split(","):
        lo, _, hi = part.partition("-")
        wanted.update(range(int(lo), int(hi or lo) + 1))
    return [(i, m) for i, m in enumerate(mutations, 1) if i in wanted]


def source_files():
    out = subprocess.run(["git", "ls-files", "-co", "--exclude-standard", "-z"], cwd=ROOT, check=True,
                         capture_output=True).stdout
    return [p for p in out.decode().split("\0") if p]


def copy_tree(dest):
    """Copies the working tree into dest, leaving files that are already identical untouched (so that the
    build stays incremental across runs) and removing files that are gone."""
    files = source_files()
    for rel in files:
        src, dst = os.path.join(ROOT, rel), os.path.join(dest, rel)
        if os.path.isdir(src):
            continue
        with open(src, "rb") as f:
            data = f.read()
        if os.path.exists(dst):
            with open(dst, "rb") as f:
                if f.read() == data:
                    continue
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        shutil.copy2(src, dst)
    keep = set(files)
    for base, _, names in os.walk(dest):
        for name in names:
            rel = os.path.relpath(os.path.join(base, name), dest)
            if rel not in keep:
                os.remove(os.path.join(base, name))


def run(cmd, log, timeout=None):
    """Runs cmd with its output appended to log; on a timeout ends its whole process group and returns
    None (a test's own TIMEOUT property outlasts ctest's --timeout, so a mutation that makes a test loop is
    stopped here)."""
    with open(log, "a") as out:
        proc = subprocess.Popen(cmd, stdout=out, stderr=subprocess.STDOUT, start_new_session=True)
        try:
            return proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
            return None


def first_failure(log):
    with open(log, errors="replace") as f:
        text = f.read()
    m = re.search(r"The following tests FAILED:\s*\n\s*\d+ - (\S+)", text)
    if m:
        return m.group(1)
    m = re.search(r"\d+/\d+ Test +#\d+: (\S+) \.+\**(?:Failed|Timeout|Exception|Subprocess)", text)
    return m.group(1) if m else "?"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--list", default=os.path.join(ROOT, "tools", "scripts", "mutations.txt"))
    parser.add_argument("--only", help="mutation numbers, e.g. 1,4-6")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--tests", help="ctest -R regular expression (default: the whole suite)")
    parser.add_argument("--dir", default=os.path.join(ROOT, "build-mutate"))
    args = parser.parse_args()

    mutations = select(parse_list(args.list), args.only)
    src, build = os.path.join(args.dir, "src"), os.path.join(args.dir, "build")
    logs = os.path.join(args.dir, "logs")
    os.makedirs(logs, exist_ok=True)
    copy_tree(src)
    for i, m in mutations:
        path = os.path.join(src, m["file"])
        if not os.path.exists(path):
            sys.exit(f"mutation {i}: no file {m['file']}")
        with open(path, encoding="utf-8") as f:
            count = f.read().count(m["original"])
        if count != 1:
            sys.exit(f"mutation {i} ({args.list}:{m['line']}): the original occurs {count} times in {m['file']}")

    configure = ["cmake", "-S", src, "-B", build, "-DCMAKE_BUILD_TYPE=Release"]
    build_cmd = ["cmake", "--build", build, "-j", str(args.jobs)]
    test_cmd = ["ctest", "--test-dir", build, "--stop-on-failure", "-j", str(args.jobs)]
    if args.tests:
        test_cmd += ["-R", args.tests]
    for log in ("configure.log", "build.log", "tests.log"):
        if os.path.exists(os.path.join(logs, log)):
            os.remove(os.path.join(logs, log))
    if run(configure, os.path.join(logs, "configure.log")) != 0 or run(build_cmd, os.path.join(logs, "build.log")):
        sys.exit(f"the unmutated copy does not build: see {logs}")
    started = time.time()
    if run(test_cmd, os.path.join(logs, "tests.log")) != 0:
        sys.exit(f"the suite fails without any mutation: see {logs}/tests.log")
    limit = max(300, 5 * (time.time() - started)) # for one run of the suite under a mutation
    print(f"unmutated suite passed in {time.time() - started:.0f} s", flush=True)

    results = {"killed": 0, "survived": 0, "did not build": 0}
    for i, m in mutations:
        path = os.path.join(src, m["file"])
        with open(path, encoding="utf-8") as f:
            original = f.read()
        started = time.time()
        try:
            with open(path, "w", encoding="utf-8") as f:
                f.write(original.replace(m["original"], m["replacement"], 1))
            log = os.path.join(logs, f"mutation-{i}.log")
            if os.path.exists(log):
                os.remove(log)
            status = run(build_cmd, log)
            if status != 0:
                verdict, by = "did not build", ""
            else:
                status = run(test_cmd, log, limit)
                verdict = "survived" if status == 0 else "killed"
                by = "" if status == 0 else "timed out" if status is None else first_failure(log)
        finally:
            with open(path, "w", encoding="utf-8") as f:
                f.write(original)
        results[verdict] += 1
        print(f"{i:3} {verdict:13} {m['file']}: {m['original']} => {m['replacement']}"
              + (f"  [{by}]" if by else "") + f"  ({time.time() - started:.0f} s)", flush=True)
    tried = results["killed"] + results["survived"]
    rate = 100.0 * results["killed"] / tried if tried else 0.0
    print(f"killed {results['killed']} of {tried} ({rate:.0f}%), survived {results['survived']}, "
          f"did not build {results['did not build']}")
    return 0 if results["survived"] == 0 and results["did not build"] == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
