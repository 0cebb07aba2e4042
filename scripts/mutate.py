#!/usr/bin/env python3
"""Mutation sampler: how many small faults in the product code does the suite catch?

Run it through scripts/mutate, which installs what is missing and gives the GL
tests one virtual display for the whole run. See `scripts/mutate --help`.

The sample depends only on the seed and the product files: every candidate
mutant is named by its file, the text of its line and the change, and is
ranked by a hash of that name and the seed. Changing the tests (or moving a
line) therefore leaves the sample as it was, which is what a before/after
comparison of two test trees needs.
"""
import argparse
import hashlib
import json
import signal
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

PRODUCT_DIRS = ["app", "render", "math", "voxel", "png", "platform", "tools", "log"]
# Written by the product's asset generator and compared by its test, so they
# travel with the product rather than with the tests.
GENERATED_DIRS = ["assets", "docs"]
# The test folder that covers each subsystem; the window layer is tested with
# the render tests.
TESTS_OF = {"platform": "render", "log": "render"}
# app/ holds a library per folder (stage, walk, view, export), reported apart
# and all tested from tests/app.
APP_PARTS = ["app/stage", "app/walk", "app/view", "app/export"]
SOURCE_SUFFIXES = (".cpp", ".h")

# ---------------------------------------------------------------- candidates

# Code with comments and the contents of string and character literals blanked
# out (same length, so columns still match the real line).
def MaskLines(lines):
    masked, inComment = [], False
    for line in lines:
        out, i, n = [], 0, len(line)
        while i < n:
            if inComment:
                end = line.find("*/", i)
                if end < 0:
                    out.append(" " * (n - i)); i = n
                else:
                    out.append(" " * (end + 2 - i)); i = end + 2; inComment = False
                continue
            c = line[i]
            if line.startswith("//", i):
                out.append(" " * (n - i)); i = n
            elif line.startswith("/*", i):
                inComment = True; out.append("  "); i += 2
            elif c in "\"'":
                j = i + 1
                while j < n and line[j] != c:
                    j += 2 if line[j] == "\\" else 1
                j = min(j, n - 1)
                out.append(c + "_" * (j - i - 1) + c); i = j + 1
            else:
                out.append(c); i += 1
        masked.append("".join(out))
    return masked


# Lines where a change means nothing or cannot build: preprocessor, compile-time
# checks, declarations of names and templates.
SKIP_LINE = re.compile(r"^\s*(#|static_assert|assert\s*\(|namespace\b|template\b|using\b|typedef\b|extern\b"
                       r"|friend\b|public:|private:|protected:)")
COMPARISON = re.compile(r"(?<=\s)(<=|>=|==|!=|<|>)(?=\s)")
FLIP = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}
ARITHMETIC = re.compile(r"(?<=\s)([+-]=?)(?=\s)")
LOGIC = re.compile(r"(?<=\s)(&&|\|\|)(?=\s)")
INTEGER = re.compile(r"(?<![\w.])(0[xX][0-9a-fA-F]+|\d+)([uUlL]*)(?![\w.'])")
FLOAT = re.compile(r"(?<![\w.])(\d+\.\d*|\.\d+)([eE][+-]?\d+)?([fF]?)(?![\w.])")
# An array size in a declaration (char name[64]): one more is nearly always
# an equivalent mutant.
ARRAY_SIZE = re.compile(r"[A-Za-z_][\w:<>*&]*\s+\**[A-Za-z_]\w*\[\s*$")
# An expression statement on one line: a call or an assignment to a name.
STATEMENT = re.compile(r"^\s*[A-Za-z_]\w*((\.|->|::)[A-Za-z_]\w*|\[[^\]]*\])*\s*"
                       r"(\(|=[^=]|\+=|-=|\*=|/=|\|=|&=|\^=|<<=|>>=)")
KEYWORDS = {"return", "if", "while", "for", "switch", "sizeof", "case", "delete", "throw", "do", "else",
            "goto", "new", "static_assert", "alignas", "decltype", "co_return"}
TABLE_ROW = re.compile(r"^\s*(\{?\s*(0[xX][0-9a-fA-F]+|[\d.]+f?)\s*,?\s*\}?\s*,?\s*){4,}$")
CONDITION = re.compile(r"\b(if|while)\s*\(")


def Balanced(text, open_="(", close=")"):
    depth = 0
    for c in text:
        depth += c == open_
        depth -= c == close
        if depth < 0:
            return False
    return depth == 0


def CloseParen(text, start):
    depth = 0
    for i in range(start, len(text)):
        depth += text[i] == "("
        depth -= text[i] == ")"
        if depth == 0:
            return i
    return -1


def BumpFloat(literal):
    # The last written digit of the mantissa moves by one (9 goes down).
    i = max(k for k, c in enumerate(literal) if c.isdigit())
    d = int(literal[i])
    return literal[:i] + str(d + 1 if d < 9 else d - 1) + literal[i + 1:]


def BumpInteger(literal):
    if literal[:2] in ("0x", "0X"):
        digits = format(int(literal, 16) + 1, "0%d%s" % (len(literal) - 2, "X" if literal[2:].isupper() else "x"))
        return literal[:2] + digits
    return str(int(literal) + 1)


# Every (column, old text, new text, operator) change that makes sense on one line.
def LineChanges(line, code):
    if not code.strip() or SKIP_LINE.match(code) or re.search(r"=\s*(delete|default)\s*;", code):
        return []
    changes = []
    for m in COMPARISON.finditer(code):
        changes.append((m.start(), m.group(1), FLIP[m.group(1)], "cmp"))
    for m in ARITHMETIC.finditer(code):
        old = m.group(1)
        changes.append((m.start(), old, ("-" if old[0] == "+" else "+") + old[1:], "arith"))
    for m in LOGIC.finditer(code):
        changes.append((m.start(), m.group(1), "||" if m.group(1) == "&&" else "&&", "logic"))
    for m in FLOAT.finditer(code):
        changes.append((m.start(), m.group(0), BumpFloat(m.group(1)) + (m.group(2) or "") + m.group(3), "const"))
    for m in INTEGER.finditer(code):
        if code[:m.start()].endswith("[") and (ARRAY_SIZE.search(code[:m.start()])
                                                or code[:m.start()].endswith(")[")):
            continue  # an array size in a declaration or a parameter (const T (&a)[3])
        if "alignas" in code or "sizeof" in code[max(0, m.start() - 8):m.start()]:
            continue
        changes.append((m.start(), m.group(0), BumpInteger(m.group(1)) + m.group(2), "const"))
    stripped = code.strip()
    first = re.match(r"[A-Za-z_]\w*", stripped)
    if (STATEMENT.match(code) and stripped.endswith(";") and Balanced(stripped)
            and first and first.group(0) not in KEYWORDS):
        start = len(code) - len(code.lstrip())
        end = code.rstrip().rfind(";") + 1
        changes.append((start, line[start:end], ";", "delete"))
    for m in CONDITION.finditer(code):
        if re.search(r"\bconstexpr\s*$", code[:m.end() - 1]):
            continue
        open_ = m.end() - 1
        close = CloseParen(code, open_)
        if close < 0:
            continue
        inner = line[open_ + 1:close]
        changes.append((open_ + 1, inner, "!(" + inner + ")", "negate"))
    return changes


def SubsystemOf(path):
    parts = path.split("/")
    if parts[0] == "app" and len(parts) > 2:
        return "app/" + parts[1]
    return parts[0]


# The tests folder of a subsystem.
def TestsOf(subsystem):
    top = subsystem.split("/", 1)[0]
    return TESTS_OF.get(top, top)


# All candidate mutants of the product tree under `src`, in file and line order.
def Candidates(src):
    result = []
    for folder in PRODUCT_DIRS:
        base = os.path.join(src, folder)
        if not os.path.isdir(base):
            continue
        for dirpath, _, files in sorted(os.walk(base)):
            for name in sorted(files):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                path = os.path.relpath(os.path.join(dirpath, name), src)
                with open(os.path.join(src, path), encoding="utf-8") as f:
                    lines = f.read().split("\n")
                masked = MaskLines(lines)
                seen, table = {}, None
                for number, (line, code) in enumerate(zip(lines, masked), 1):
                    text = line.strip()
                    copy = seen.get(text, 0)
                    seen[text] = copy + 1
                    # Rows of a literal table (a palette) count as one line, so
                    # a long table does not fill a subsystem's share.
                    if TABLE_ROW.match(code):
                        table = table or text
                    else:
                        table = None
                    key = path + "\0" + (("table\0" + table) if table else (text + "\0" + str(copy)))
                    for site, (column, old, new, op) in enumerate(sorted(LineChanges(line, code))):
                        # Named by content, not by line number: moving a line
                        # elsewhere in the file keeps the mutant's name.
                        name_ = "\0".join([path, text, str(copy), op, str(site), old, new])
                        result.append({
                            "id": hashlib.sha1(name_.encode()).hexdigest()[:8],
                            "path": path, "line": number, "column": column, "old": old, "new": new,
                            "op": op, "subsystem": SubsystemOf(path), "key": key,
                            "before": line,
                            "after": line[:column] + new + line[column + len(old):],
                        })
    return result


def Rank(seed, mutantId):
    return hashlib.sha1(f"{seed}:{mutantId}".encode()).hexdigest()


# Shares of `count` per subsystem: each gets at least count / (2 * subsystems),
# the rest goes by the number of lines that can be mutated.
def Allocate(count, available):
    names = sorted(n for n in available if available[n] > 0)
    if not names:
        return {}
    count = min(count, sum(available.values()))
    floor_ = max(count // (2 * len(names)), 1 if count >= len(names) else 0)
    share = {n: min(floor_, available[n]) for n in names}
    while sum(share.values()) < count:
        left = count - sum(share.values())
        open_ = [n for n in names if share[n] < available[n]]
        total = sum(available[n] for n in open_)
        exact = {n: left * available[n] / total for n in open_}
        added = 0
        for n in open_:
            extra = min(int(exact[n]), available[n] - share[n])
            share[n] += extra
            added += extra
        if added == 0:
            # Largest remainders first, names breaking ties.
            for n in sorted(open_, key=lambda n: (-(exact[n] - int(exact[n])), n))[:left]:
                share[n] += 1
    return share


# At most one mutant per line: the line's best-ranked change. Lines are then
# taken in rank order up to each subsystem's share.
def Sample(candidates, seed, count, only):
    best = {}
    for c in candidates:
        if only and c["subsystem"] not in only and c["subsystem"].split("/", 1)[0] not in only:
            continue
        c["rank"] = Rank(seed, c["id"])
        if c["key"] not in best or c["rank"] < best[c["key"]]["rank"]:
            best[c["key"]] = c
    bySubsystem = {}
    for c in best.values():
        bySubsystem.setdefault(c["subsystem"], []).append(c)
    share = Allocate(count, {n: len(v) for n, v in bySubsystem.items()})
    chosen = []
    for name, items in bySubsystem.items():
        chosen += sorted(items, key=lambda c: c["rank"])[:share.get(name, 0)]
    # A file's mutants run one after another, so that consecutive mutants
    # recompile the same object; files take turns across subsystems, so that
    # a run stopped early still covers every subsystem.
    files = {}
    for c in sorted(chosen, key=lambda c: (c["path"], c["line"], c["column"])):
        files.setdefault(c["subsystem"], {}).setdefault(c["path"], []).append(c)
    queues = [list(files[n].values()) for n in sorted(files)]
    ordered = []
    while any(queues):
        for queue in queues:
            if queue:
                ordered += queue.pop(0)
    return ordered, share

# ---------------------------------------------------------------- the copy


def Git(root, *args, **kwargs):
    return subprocess.run(["git", "-C", root, *args], check=True, capture_output=True, text=True, **kwargs).stdout


def Describe(root, rev):
    if rev is None:
        head = Git(root, "rev-parse", "--short", "HEAD").strip()
        dirty = Git(root, "status", "--porcelain").strip()
        return f"working tree at {head}" + (" (with uncommitted changes)" if dirty else "")
    return Git(root, "rev-parse", "--short", rev + "^{commit}").strip()


def Extract(root, rev, dest, paths):
    if rev is None:
        files = Git(root, "ls-files", "-z", "--cached", "--others", "--exclude-standard", "--", *paths)
        for rel in filter(None, files.split("\0")):
            source = os.path.join(root, rel)
            if not os.path.isfile(source):
                continue  # deleted but not yet committed
            os.makedirs(os.path.dirname(os.path.join(dest, rel)), exist_ok=True)
            shutil.copy2(source, os.path.join(dest, rel))
        return
    archive = subprocess.run(["git", "-C", root, "archive", "--format=tar", rev, "--", *paths],
                             check=True, capture_output=True).stdout
    subprocess.run(["tar", "-x", "-C", dest], input=archive, check=True)


# The tree to mutate: everything from the tests revision, then the product
# folders replaced by those of the product revision.
def MakeTree(root, productRev, testsRev, dest):
    os.makedirs(dest)
    Extract(root, testsRev, dest, ["."])
    folders = PRODUCT_DIRS + GENERATED_DIRS
    for d in folders:
        shutil.rmtree(os.path.join(dest, d), ignore_errors=True)
    if productRev:
        top = set(Git(root, "ls-tree", "--name-only", productRev).split())
        folders = [d for d in folders if d in top]
    Extract(root, productRev, dest, folders)


# Makes `src` hold exactly the files of `fresh`, rewriting only those that
# differ: a kept build then rebuilds only what changed, and a file left
# mutated by an interrupted run is put right.
def SyncTree(fresh, src):
    wanted = set()
    for dirpath, _, files in os.walk(fresh):
        for name in files:
            rel = os.path.relpath(os.path.join(dirpath, name), fresh)
            wanted.add(rel)
            target = os.path.join(src, rel)
            with open(os.path.join(fresh, rel), "rb") as f:
                data = f.read()
            if os.path.isfile(target):
                with open(target, "rb") as f:
                    if f.read() == data:
                        continue
            os.makedirs(os.path.dirname(target), exist_ok=True)
            shutil.copy2(os.path.join(fresh, rel), target)
            now = time.time_ns()
            os.utime(target, ns=(now, now))
    for dirpath, _, files in os.walk(src):
        for name in files:
            rel = os.path.relpath(os.path.join(dirpath, name), src)
            if rel not in wanted:
                os.remove(os.path.join(src, rel))

# ---------------------------------------------------------------- build and test


# Runs a command in a process group of its own, so a timeout or an interrupt
# ends everything it started (test programs, their virtual displays).
def Run(command, timeout, cwd=None):
    started = time.monotonic()
    process = subprocess.Popen(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                               errors="replace", start_new_session=True)
    try:
        out, _ = process.communicate(timeout=timeout)
        return process.returncode, out, time.monotonic() - started
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        out, _ = process.communicate()
        return None, out, time.monotonic() - started
    finally:
        if process.poll() is None:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()


def Build(build, jobs, timeout):
    return Run(["nice", "-n", "5", "cmake", "--build", build, "-j", str(jobs)], timeout)


FAILED_LINE = re.compile(r"^\s*\d+ - (.+?) \((\w[\w ]*)\)\s*$", re.M)
GTEST_FAILED = re.compile(r"^\[  FAILED  \] (\S+)", re.M)


def CtestRegex(names):
    return "^(" + "|".join(re.sub(r"([][().*+?^$|\\])", r"\\\1", n) for n in sorted(names)) + ")$"


# What a test folder runs: its GoogleTest programs (with their working
# folders) and the names of its other tests (scripts), from ctest's listing.
def TestPlan(build, folder):
    code, out, _ = Run(["ctest", "--test-dir", os.path.join(build, "tests", folder), "--show-only=json-v1"], 600)
    if code != 0:
        raise RuntimeError(f"ctest cannot list tests/{folder}: {out.strip()[:500]}")
    programs, others = {}, []
    for test in json.loads(out[out.index("{"):])["tests"]:
        command = test.get("command", [])
        properties = {p["name"]: p["value"] for p in test.get("properties", [])}
        if properties.get("DISABLED"):
            continue
        if any(a.startswith("--gtest_filter=") for a in command[1:]):
            programs.setdefault(command[0], properties.get("WORKING_DIRECTORY", os.path.dirname(command[0])))
        else:
            others.append(test["name"])
    return {"programs": programs, "others": others}


# Runs the test folders in order and stops at the first failure. Each
# GoogleTest program runs once with all its cases (one process and one window
# instead of one per case) and stops at its first failing case; the folder's
# other tests (the end-to-end script) run through ctest beside them and are
# ended as soon as a program fails. Returns (None, None) when all pass, else
# (test name, reason). `limits` holds a time limit per program; `times`
# collects how long each program took.
def RunTests(build, folders, plans, timeout, limits=None, times=None, changed=None):
    for folder in folders:
        plan = plans[folder]
        background = None
        if plan["others"]:
            background = subprocess.Popen(
                ["ctest", "--test-dir", os.path.join(build, "tests", folder), "--stop-on-failure",
                 "--timeout", str(timeout), "-R", CtestRegex(plan["others"])],
                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, errors="replace",
                start_new_session=True)
        try:
            order = sorted(plan["programs"], key=lambda p: ((times or {}).get(p, 0), p))
            if changed is not None and not (plan["outside"] & changed):
                # Only programs that differ from the unmutated build.
                order = [p for p in order if p in changed]
            for program in order:
                limit = (limits or {}).get(program, timeout)
                code, out, seconds = Run([program, "--gtest_fail_fast", "--gtest_brief=1"], limit,
                                         cwd=plan["programs"][program])
                if times is not None:
                    times[program] = seconds
                if code is None:
                    return os.path.basename(program), "Timeout"
                if code != 0:
                    m = GTEST_FAILED.search(out)
                    return (m.group(1), "Failed") if m else (os.path.basename(program), f"exit {code}")
            if background:
                try:
                    out, _ = background.communicate(timeout=timeout * 20)
                except subprocess.TimeoutExpired:
                    return f"tests/{folder}", "Timeout"
                if background.returncode != 0:
                    m = FAILED_LINE.search(out)
                    return (m.group(1), m.group(2)) if m else (f"tests/{folder}", "ctest error")
        finally:
            if background and background.poll() is None:
                os.killpg(background.pid, signal.SIGKILL)
                background.wait()
    return None, None


def TestFolders(build):
    base = os.path.join(build, "tests")
    return sorted(d for d in os.listdir(base) if os.path.isfile(os.path.join(base, d, "CTestTestfile.cmake")))


def CountTests(path):
    _, out, _ = Run(["ctest", "--test-dir", path, "-N"], 300)
    m = re.search(r"Total Tests: (\d+)", out)
    return int(m.group(1)) if m else 0


# Every program of the build and a hash of its bytes (links are reproducible,
# so an unchanged program means unchanged test results).
def Programs(build):
    result = {}
    for dirpath, dirs, files in os.walk(build):
        dirs[:] = [d for d in dirs if d != "CMakeFiles"]
        for name in files:
            path = os.path.join(dirpath, name)
            if os.path.islink(path) or not os.access(path, os.X_OK):
                continue
            with open(path, "rb") as f:
                data = f.read()
            if data[:4] == b"\x7fELF":
                result[path] = hashlib.sha1(data).hexdigest()
    return result


# The programs each test folder runs: its own, and those of the product
# (the viewer, the asset generator) named in its test files or compile flags.
def FolderPrograms(build, folders, programs):
    testsBase = os.path.join(build, "tests") + os.sep
    outside = [p for p in programs if not p.startswith(testsBase)]
    with open(os.path.join(build, "compile_commands.json"), encoding="utf-8") as f:
        commands = json.load(f)
    uses = {}
    for folder in folders:
        base = os.path.join(build, "tests", folder) + os.sep
        text = [c.get("command", " ".join(c.get("arguments", []))) for c in commands
                if os.sep + os.path.join("tests", folder) + os.sep in c["file"]]
        for dirpath, _, files in os.walk(base):
            for name in files:
                if name.endswith(".cmake"):
                    with open(os.path.join(dirpath, name), encoding="utf-8", errors="replace") as f:
                        text.append(f.read())
        text = "\n".join(text)
        uses[folder] = {p for p in programs if p.startswith(base)} | {p for p in outside if p in text}
    return uses


def WriteFile(path, text):
    # Each write gets a new modification time, so ninja always sees it.
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
    now = time.time_ns()
    os.utime(path, ns=(now, now))

# ---------------------------------------------------------------- report


def Table(mutants, share):
    rows = []
    total = [0, 0, 0, 0]
    for name in sorted(share):
        mine = [m for m in mutants if m["subsystem"] == name and "result" in m]
        k = sum(m["result"] in ("killed", "timeout") for m in mine)
        s = sum(m["result"] == "survived" for m in mine)
        u = sum(m["result"] == "uncompilable" for m in mine)
        rows.append((name, len(mine), k, s, u))
        total = [total[0] + len(mine), total[1] + k, total[2] + s, total[3] + u]
    rows.append(("total", *total))
    lines = [f"{'subsystem':<11} {'mutants':>7} {'killed':>7} {'survived':>8} {'uncompilable':>12} {'kill rate':>9}"]
    for name, n, k, s, u in rows:
        rate = f"{100.0 * k / (k + s):.1f}%" if k + s else "-"
        lines.append(f"{name:<11} {n:>7} {k:>7} {s:>8} {u:>12} {rate:>9}")
    return "\n".join(lines)


def MutantLine(m):
    result = m.get("result", "not run")
    by = f" by {m['by']}" if m.get("by") else f" ({m['note']})" if m.get("note") else ""
    return (f"{m['id']}  {m['subsystem']:<8} {m['path']}:{m['line']}  {m['op']:<6} {result}{by}\n"
            f"    - {m['before'].strip()}\n    + {m['after'].strip()}")


def Report(header, mutants, share, done):
    status = "complete" if done else f"in progress: {sum('result' in m for m in mutants)} of {len(mutants)} run"
    text = [header, f"status: {status}", "", Table(mutants, share), "",
            "killed counts mutants that made a test fail or time out (timeout: shown as such below);",
            "kill rate = killed / (killed + survived); uncompilable mutants are left out of it.", "",
            "mutants (id, subsystem, file:line, operator, result and the first test that failed):", ""]
    text += [MutantLine(m) for m in mutants]
    return "\n".join(text) + "\n"


RESULTS = ("killed", "timeout", "survived", "uncompilable")
RESULT_LINE = re.compile(r"^([0-9a-f]{8})  .* (killed|timeout|survived|uncompilable)(?: by (.+)| \((.+)\))?$", re.M)


def WriteReport(path, text):
    tmp = path + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(tmp, path)

# ---------------------------------------------------------------- main


def Main():
    parser = argparse.ArgumentParser(
        prog="scripts/mutate",
        description="Applies a reproducible sample of small faults to the product code (one at a time, in a "
                    "copy of the tree), rebuilds, runs the suite and counts killed, surviving and uncompilable "
                    "mutants per subsystem.")
    parser.add_argument("--product", metavar="REV", help="take app render math voxel png platform tools "
                        "(and the assets and docs they generate) from REV; default: the working tree")
    parser.add_argument("--tests", metavar="REV", help="take everything else (tests/, scripts/, the top "
                        "CMakeLists.txt) from REV; default: the working tree")
    parser.add_argument("--seed", type=int, default=1, help="sample seed (default 1)")
    parser.add_argument("--count", type=int, default=160, help="number of mutants (default 160)")
    parser.add_argument("--only", metavar="SUBSYSTEM[,...]", help="mutate only these subsystems: "
                        + " ".join(PRODUCT_DIRS))
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2, help="parallel compile jobs")
    parser.add_argument("--timeout", type=int, default=30, help="seconds per test (default 30)")
    parser.add_argument("--output", metavar="FILE", default="mutation.txt",
                        help="report: the table and every mutant (default mutation.txt)")
    parser.add_argument("--work", metavar="DIR", help="build here and keep it (default: a temporary "
                        "folder, removed at the end)")
    parser.add_argument("--resume", action="store_true", help="keep the results of mutants already in "
                        "the --output file (same product and seed) and run only the others")
    parser.add_argument("--list", action="store_true", help="print the sample and stop")
    args = parser.parse_args()

    root = os.path.realpath(os.path.join(os.path.dirname(__file__), ".."))
    args.output = os.path.abspath(args.output)
    only = set(args.only.split(",")) if args.only else None
    if only and not only <= set(PRODUCT_DIRS + APP_PARTS):
        parser.error("--only takes " + ", ".join(PRODUCT_DIRS + APP_PARTS))
    if args.count < 1 or args.jobs < 1 or args.timeout < 1:
        parser.error("--count, --jobs and --timeout must be at least 1")
    try:
        productName, testsName = Describe(root, args.product), Describe(root, args.tests)
    except subprocess.CalledProcessError as e:
        print(f"mutate: {e.stderr.strip()}", file=sys.stderr)
        return 2
    work = os.path.realpath(args.work) if args.work else tempfile.mkdtemp(prefix="voxwalk-mutate-")
    marker = os.path.join(work, ".voxwalk-mutate")
    if args.work and os.path.isdir(work) and os.listdir(work) and not os.path.isfile(marker):
        parser.error(f"--work {args.work}: the folder is not empty and was not made by this tool")
    os.makedirs(work, exist_ok=True)
    open(marker, "a").close()
    src, build = os.path.join(work, "src"), os.path.join(work, "build")
    # A termination restores the mutated file like an interrupt does.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(130))
    try:
        return Session(args, root, only, productName, testsName, src, build)
    finally:
        if not args.work:
            shutil.rmtree(work, ignore_errors=True)


def Session(args, root, only, productName, testsName, src, build):
    fresh = src + ".new"
    shutil.rmtree(fresh, ignore_errors=True)
    MakeTree(root, args.product, args.tests, fresh)
    os.makedirs(src, exist_ok=True)
    SyncTree(fresh, src)
    shutil.rmtree(fresh)
    mutants, share = Sample(Candidates(src), args.seed, args.count, only)
    header = (f"voxwalk mutation sample\nproduct: {productName}   tests: {testsName}   seed: {args.seed}   "
              f"count: {args.count}   only: {args.only or 'all'}\n"
              f"command: scripts/mutate {' '.join(sys.argv[1:])}")
    if args.list:
        print(header + "\n\n" + "  ".join(f"{n} {k}" for n, k in sorted(share.items())) + "\n")
        for m in mutants:
            print(MutantLine(m))
        return 0

    if args.resume and os.path.isfile(args.output):
        with open(args.output, encoding="utf-8") as f:
            earlier = {m.group(1): m for m in RESULT_LINE.finditer(f.read())}
        for m in mutants:
            if m["id"] in earlier and earlier[m["id"]].group(2) in RESULTS:
                m["result"] = earlier[m["id"]].group(2)
                if earlier[m["id"]].group(3):
                    m["by"] = earlier[m["id"]].group(3)
                if earlier[m["id"]].group(4):
                    m["note"] = earlier[m["id"]].group(4)
        print(f"mutate: {sum('result' in m for m in mutants)} results kept from {args.output}", flush=True)
    print(f"mutate: {len(mutants)} mutants; building {src} in {build}", flush=True)
    code, out, _ = Run(["cmake", "-S", src, "-B", build, "-G", "Ninja", "-Wno-dev",
                        "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                        # The normal build's code, without debug information: faster links.
                        "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG", "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG",
                        "-DVOXWALK_BENCH=OFF",
                        # Listing a test program's cases at test time: a mutant that breaks
                        # the listing fails a test instead of the build.
                        "-DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST"], 600)
    if code != 0:
        print(out + "\nmutate: configuring the copy failed", file=sys.stderr)
        return 1
    code, out, seconds = Build(build, args.jobs, 3600)
    if code != 0:
        print(out + "\nmutate: the unmutated copy does not build", file=sys.stderr)
        return 1
    print(f"mutate: built in {seconds:.0f} s", flush=True)

    # The unmutated suite must pass; its folder times order the later runs.
    folders = TestFolders(build)
    if CountTests(build) != sum(CountTests(os.path.join(build, "tests", f)) for f in folders):
        print("mutate: some tests live outside tests/<folder>/; they would not be run", file=sys.stderr)
        return 1
    cost, times = {}, {}
    try:
        plans = {f: TestPlan(build, f) for f in folders}
    except RuntimeError as e:
        print(f"mutate: {e}", file=sys.stderr)
        return 1
    for folder in folders:
        started = time.monotonic()
        failed, why = RunTests(build, [folder], plans, args.timeout * 20, times=times)
        cost[folder] = time.monotonic() - started
        if failed:
            print(f"mutate: the unmutated suite fails: {failed} ({why})", file=sys.stderr)
            return 1
    print("mutate: unmutated suite passes: " + ", ".join(f"{f} {cost[f]:.1f} s" for f in folders), flush=True)
    byCost = sorted(folders, key=lambda f: (cost[f], f))
    # A program may take five times as long as unmutated before it counts as hung.
    limits = {p: max(args.timeout, 5 * t) for p, t in times.items()}
    baseline = Programs(build)
    uses = FolderPrograms(build, folders, baseline)
    for folder in folders:
        # The product programs (viewer, generator) a folder's tests run.
        plans[folder]["outside"] = {p for p in uses[folder] if p not in plans[folder]["programs"]}

    started = time.monotonic()
    current = None  # (path, original text) of the file now mutated
    try:
        for index, m in enumerate(mutants, 1):
            if "result" in m:
                continue
            path = os.path.join(src, m["path"])
            with open(path, encoding="utf-8") as f:
                original = f.read()
            lines = original.split("\n")
            assert lines[m["line"] - 1] == m["before"]
            lines[m["line"] - 1] = m["after"]
            current = (path, original)
            WriteFile(path, "\n".join(lines))
            t0 = time.monotonic()
            order = []
            code, out, _ = Build(build, args.jobs, 1800)
            if code != 0:
                m["result"] = "uncompilable"
            else:
                # Only folders running a program that differs from the
                # unmutated build can change their result.
                now = Programs(build)
                changed = {p for p, h in now.items() if baseline.get(p) != h}
                own = TestsOf(m["subsystem"])
                order = ([own] if own in folders else []) + [f for f in byCost if f != own]
                order = [f for f in order if uses[f] & changed]
                failed, why = RunTests(build, order, plans, args.timeout, limits, dict(times), changed)
                if failed is None:
                    m["result"] = "survived"
                    if not order:
                        m["note"] = "no program changed"
                else:
                    m["result"] = "timeout" if why == "Timeout" else "killed"
                    m["by"] = failed
            WriteFile(path, original)
            current = None
            m["ran"] = True
            print(f"[{index}/{len(mutants)}] {m['id']} {m['path']}:{m['line']} {m['op']} {m['result']}"
                  f"{' by ' + m['by'] if m.get('by') else ''} ({time.monotonic() - t0:.0f} s; tests: "
                  f"{' '.join(order) if m['result'] != 'uncompilable' else '-'})", flush=True)
            WriteReport(args.output, Report(header, mutants, share, False))
    finally:
        if current:
            WriteFile(*current)
    elapsed = time.monotonic() - started
    ran = sum(1 for m in mutants if m.get("ran"))
    text = Report(header + f"\nrun time: {elapsed / 60:.1f} min for the {ran} mutants run by this command "
                  f"({elapsed / max(1, ran):.1f} s a mutant)",
                  mutants, share, True)
    WriteReport(args.output, text)
    print("\n" + Table(mutants, share) + f"\n\nmutate: report in {args.output}")
    return 0


if __name__ == "__main__":
    sys.exit(Main())
