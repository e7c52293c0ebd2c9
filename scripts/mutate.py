#!/usr/bin/env python3
"""Mutation testing: plants one fault at a time in a source file and runs the tests that
could notice it.

Faults: a numeric literal nudged (28.1 -> 28.2, 0.5f -> 0.6f, 3 -> 2), a comparison
flipped (< to <=, <= to <, > to >=, >= to >, < to >, > to <, == to !=, != to ==), two
adjacent call arguments swapped, a statement-level call line deleted.

For each mutant the file is rewritten in place, only the executables that link the
file's library are rebuilt (cmake --build -j2), and ctest runs only the tests whose
command runs one of them, stopping at the first failure. The file is always put back,
also on Ctrl-C or SIGTERM; a copy waits in BUILD/mutate-backup/ until then, and the next
run restores it if this one was killed outright. One run at a time per build directory:
a second refuses to start while the first's pid is alive (--list touches nothing).

Outcomes: caught (a test failed or ran past its time), missed (every test passed),
build error (not counted). Score = caught / (caught + missed).

Usage: scripts/mutate.py [--build build] [--seed 1] [--max 40] [--per-file 5] [--timeout 600]
                       [--exclude golden_test] [--list] FILE...
"""

import argparse
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent

# ---------------------------------------------------------------------------------------
# Finding mutants


class Mutant:
    def __init__(self, path, line, kind, before, after, column=0):
        self.path = path  # relative to ROOT
        self.line = line  # 1-based
        self.column = column  # 1-based start of the change; 0 for a deleted line
        self.kind = kind
        self.before = before  # the whole line, without its newline
        self.after = after

    def describe(self):
        where = f"{self.path}:{self.line}" + (f":{self.column}" if self.column else "")
        return f"{where} {self.kind}: {self.change()}"

    def change(self):
        if self.after == "":
            return f"deleted `{self.before.strip()}`"
        # The shortest span that differs, widened to whole tokens for reading.
        a, b = self.before, self.after
        i = 0
        while i < min(len(a), len(b)) and a[i] == b[i]:
            i += 1
        j = 0
        while j < min(len(a), len(b)) - i and a[len(a) - 1 - j] == b[len(b) - 1 - j]:
            j += 1
        while i > 0 and not a[i - 1].isspace() and a[i - 1] not in "(,":
            i -= 1
        while j > 0 and not a[len(a) - j].isspace() and a[len(a) - j] not in "),;":
            j -= 1
        return f"`{a[i:len(a) - j].strip()}` -> `{b[i:len(b) - j].strip()}`"


def mask_line(text):
    """The line with string and character literals blanked (same length) and any comment
    dropped, so that operators and numbers are found only in code."""
    out = []
    i = 0
    quote = None
    while i < len(text):
        c = text[i]
        if quote:
            if c == "\\":
                out.append("__")
                i += 2
                continue
            if c == quote:
                quote = None
                out.append(c)
            else:
                out.append("_")
        elif c in "\"'":
            quote = c
            out.append(c)
        elif text.startswith("//", i):
            break
        else:
            out.append(c)
        i += 1
    return "".join(out)


NUMBER = re.compile(r"(?<![\w.])(\d+\.\d*|\.\d+|\d+)([fF]?)(?![\w.])")
COMPARISON = re.compile(r"(?<=\s)(<=|>=|==|!=|<|>)(?=\s)")
FLIPS = {
    "<": ["<=", ">"],
    "<=": ["<"],
    ">": [">=", "<"],
    ">=": [">"],
    "==": ["!="],
    "!=": ["=="],
}
CALL_LINE = re.compile(r"^\s*[A-Za-z_][\w:.\->\[\]]*\s*\(.*\)\s*;\s*$")
NOT_CALLS = {"if", "for", "while", "switch", "return", "sizeof", "case", "delete", "new"}
PARAMETER = re.compile(r"^(const\s+)?[\w:<>]+\s*[&*]?\s+[&*]?\w+(\[\w*\])?(\s*=.*)?$")


def nudge(number, suffix):
    """A nearby value: the last digit of a short fraction up by one (28.1 -> 28.2), the
    third significant digit of a long one (0.09614460148 -> 0.09714460148: about 1 %, so
    that the change is not lost below a pixel or a float's rounding), an integer down by
    one (0 becomes 1)."""
    if "." in number:
        if number.endswith("."):
            return number + "5" + suffix
        significant = [i for i, c in enumerate(number.lstrip("0.")) if c.isdigit()]
        offset = len(number) - len(number.lstrip("0."))
        if len(significant) > 4:
            k = offset + significant[2]
            digit = int(number[k])
            return number[:k] + str(digit + 1 if digit < 9 else digit - 1) + number[k + 1:] + suffix
        head, last = number[:-1], number[-1]
        if last == "9":
            return number + "5" + suffix  # 0.9 -> 0.95
        return head + str(int(last) + 1) + suffix
    value = int(number)
    return str(value - 1 if value > 0 else 1) + suffix


def split_arguments(text, open_index):
    """Top-level argument spans (start, end) of the call whose '(' is at open_index, or
    None if its ')' is not on this line."""
    depth = 0
    spans = []
    start = open_index + 1
    for i in range(open_index, len(text)):
        c = text[i]
        if c in "([{":
            depth += 1
        elif c in ")]}":
            depth -= 1
            if depth == 0:
                spans.append((start, i))
                return spans
        elif c == "," and depth == 1:
            spans.append((start, i))
            start = i + 1
    return None


def mutants_of_line(path, number, text, in_block_comment):
    stripped = text.strip()
    if not stripped or stripped.startswith(("#", "//", "*", "/*")) or in_block_comment:
        return []
    code = mask_line(text)
    found = []

    def replaced(start, end, new):
        return text[:start] + new + text[end:]

    for m in NUMBER.finditer(code):
        new = nudge(m.group(1), m.group(2))
        found.append(Mutant(path, number, "constant", text, replaced(m.start(), m.end(), new),
                            m.start() + 1))

    for m in COMPARISON.finditer(code):
        for new in FLIPS[m.group(1)]:
            found.append(Mutant(path, number, "comparison", text,
                                replaced(m.start(), m.end(), new), m.start() + 1))

    for m in re.finditer(r"([A-Za-z_]\w*)\s*\(", code):
        if m.group(1) in NOT_CALLS or m.group(1).endswith("_cast"):
            continue
        spans = split_arguments(code, m.end() - 1)
        if not spans or len(spans) < 2:
            continue
        args = [text[a:b].strip() for a, b in spans]
        if any(PARAMETER.match(arg) for arg in args):
            continue  # a declaration, not a call
        for k in range(len(spans) - 1):
            if args[k] == args[k + 1]:
                continue
            (a0, a1), (b0, b1) = spans[k], spans[k + 1]
            left = text[a0:a1]
            right = text[b0:b1]
            # Keep the spacing around each argument where it was.
            lead_l = left[: len(left) - len(left.lstrip())]
            lead_r = right[: len(right) - len(right.lstrip())]
            new = (text[:a0] + lead_l + args[k + 1] + text[a1:b0] + lead_r + args[k] + text[b1:])
            found.append(Mutant(path, number, "swap", text, new, a0 + 1))

    if CALL_LINE.match(code):
        head = re.match(r"^\s*([A-Za-z_]\w*)", code).group(1)
        paren = code.index("(")
        spans = split_arguments(code, paren)
        whole = spans is not None and code.rstrip().endswith(";") and code[spans[-1][1] + 1:].strip() == ";"
        if head not in NOT_CALLS and whole and " = " not in code:
            found.append(Mutant(path, number, "removed call", text, ""))
    return found


def mutants_of_file(path):
    lines = (ROOT / path).read_text().split("\n")
    found = []
    in_block = False
    for i, text in enumerate(lines):
        if "/*" in text and "*/" not in text:
            in_block = True
            continue
        if in_block:
            in_block = "*/" not in text
            continue
        found.extend(mutants_of_line(path, i + 1, text, False))
    return found


# ---------------------------------------------------------------------------------------
# What to rebuild and run


def library_of(build, path):
    """The CMake target that compiles `path`, from compile_commands.json."""
    commands = json.loads((build / "compile_commands.json").read_text())
    wanted = (ROOT / path).resolve()
    for entry in commands:
        if Path(entry["file"]).resolve() == wanted:
            m = re.search(r"CMakeFiles/([^/ ]+)\.dir/", entry["command"])
            if m:
                return m.group(1)
    sys.exit(f"{path} is not compiled in {build} (configure first)")


def executables_linking(build, library):
    """(target name, binary path) of every executable whose link line has the library."""
    found = []
    for link in build.rglob("CMakeFiles/*.dir/link.txt"):
        target = link.parent.name[: -len(".dir")]
        text = link.read_text()
        if target == library or " qc " in text or "ar qc" in text:
            continue  # a static library's archive step
        if f"lib{library}.a" in text or target == library:
            m = re.search(r"-o\s+(\S+)", text)
            if m:
                binary = (link.parent.parent.parent / m.group(1)).resolve()
                found.append((target, binary))
    return found


def ctest_tests(build):
    """name -> list of command words, for every test ctest knows."""
    out = subprocess.run(["ctest", "--test-dir", str(build), "--show-only=json-v1"],
                         capture_output=True, text=True, check=True).stdout
    return {t["name"]: t.get("command", []) for t in json.loads(out)["tests"]}


def tests_running(tests, binaries, exclude):
    paths = {str(b) for b in binaries}
    chosen = []
    for name, command in tests.items():
        if exclude and re.search(exclude, name):
            continue
        if any(str(Path(word).resolve()) in paths for word in command if word.startswith("/")):
            chosen.append(name)
    return sorted(chosen)


# ---------------------------------------------------------------------------------------
# Running


class Interrupted(Exception):
    pass


def raise_interrupted(signum, frame):
    raise Interrupted()


def run_group(command, timeout, env, log, stop_at=None):
    """Runs a command in its own process group; returns its exit status, None on timeout,
    or 1 as soon as the log shows `stop_at` (the rest of the group is then killed: ctest's
    own --stop-on-failure still waits for the tests already running)."""
    with open(log, "w") as out:
        process = subprocess.Popen(command, stdout=out, stderr=subprocess.STDOUT, env=env,
                                   start_new_session=True, cwd=ROOT)
        deadline = time.time() + timeout
        try:
            while process.poll() is None:
                if time.time() > deadline:
                    return None
                if stop_at and re.search(stop_at, Path(log).read_text(errors="replace")):
                    return 1
                time.sleep(0.3)
            return process.returncode
        finally:
            if process.poll() is None:
                os.killpg(process.pid, signal.SIGKILL)
                process.wait()


def start_xvfb(env):
    """Xvfb on a display it picks itself; returns the process (or None if DISPLAY is set)."""
    if env.get("DISPLAY"):
        return None
    read_fd, write_fd = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0",
                             "1024x768x24", "-nolisten", "tcp", "-noreset"],
                            pass_fds=(write_fd,), stderr=subprocess.DEVNULL,
                            start_new_session=True)
    os.close(write_fd)
    with os.fdopen(read_fd) as pipe:
        display = pipe.readline().strip()
    if not display:
        xvfb.kill()
        sys.exit("Xvfb did not start")
    env["DISPLAY"] = ":" + display
    return xvfb


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("files", nargs="+", help="source files, relative to the repository")
    parser.add_argument("--build", default="build", help="configured build directory")
    parser.add_argument("--seed", type=int, default=1, help="sampling seed")
    parser.add_argument("--max", type=int, default=0, help="mutants to run (0: all)")
    parser.add_argument("--per-file", type=int, default=0,
                        help="at most this many mutants of each file (0: no limit)")
    parser.add_argument("--timeout", type=int, default=600, help="seconds per mutant's tests")
    parser.add_argument("--exclude", default="golden_test", help="regex of tests never run")
    parser.add_argument("--equivalent", default="scripts/mutate-equivalent.txt",
                        help="mutants known to change nothing a test could see: one "
                        "'FILE:LINE KIND: CHANGE -- reason' a line; not run, not scored")
    parser.add_argument("--only", help="instead of a sample, the mutants whose description "
                        "(as the report prints it) is a line of this file: the last run's missed")
    parser.add_argument("--list", action="store_true", help="only list the sampled mutants")
    parser.add_argument("--report", help="also write the report to this file")
    args = parser.parse_args()

    build = (ROOT / args.build).resolve()
    backup_dir = build / "mutate-backup"

    files = [str(Path(f)) for f in args.files]
    everything = [m for f in files for m in mutants_of_file(f)]
    chosen = list(everything)
    random.Random(args.seed).shuffle(chosen)
    if args.per_file:
        chosen = [m for f in files for m in [c for c in chosen if c.path == f][: args.per_file]]
    if args.max:
        chosen = chosen[: args.max]
    if args.only:  # instead of a sample
        listed = set(Path(args.only).read_text().splitlines())
        chosen = [m for m in everything if m.describe() in listed]
    known = load_equivalents(ROOT / args.equivalent)
    equivalent = [m for m in chosen if m.describe() in known]
    chosen = [m for m in chosen if m.describe() not in known]
    # Grouped by file and line: one mapping per file, readable progress.
    chosen.sort(key=lambda m: (files.index(m.path), m.line))
    print(f"{len(everything)} mutants in {len(files)} files; running {len(chosen)}"
          f" (seed {args.seed})", flush=True)
    if args.list:
        for m in chosen:
            print("  " + m.describe())
        return 0

    # One run per build directory: a second one would rebuild under the first's fault.
    backup_dir.mkdir(parents=True, exist_ok=True)
    lock = backup_dir / "running.pid"
    if lock.exists() and Path(f"/proc/{lock.read_text().strip()}").exists():
        sys.exit(f"another run (pid {lock.read_text().strip()}) uses {build}")
    lock.write_text(str(os.getpid()))
    restore_stale_backups(backup_dir)

    env = dict(os.environ)
    env["LIBGL_ALWAYS_SOFTWARE"] = "1"
    env["SDL_AUDIODRIVER"] = "dummy"
    xvfb = start_xvfb(env)
    signal.signal(signal.SIGINT, raise_interrupted)
    signal.signal(signal.SIGTERM, raise_interrupted)

    tests = ctest_tests(build)
    plans = {}
    results = []  # (mutant, outcome, detail)
    logs = Path(tempfile.mkdtemp(prefix="mutate-"))
    started = time.time()
    try:
        for index, mutant in enumerate(chosen, 1):
            if mutant.path not in plans:
                library = library_of(build, mutant.path)
                exes = executables_linking(build, library)
                names = tests_running(tests, [b for _, b in exes], args.exclude)
                # Only the executables those tests run need rebuilding.
                used = {str(Path(w).resolve()) for n in names for w in tests[n]
                        if w.startswith("/")}
                exes = [(t, b) for t, b in exes if str(b) in used]
                plans[mutant.path] = ([t for t, _ in exes], names)
                print(f"-- {mutant.path}: {library}, {len(exes)} executables, "
                      f"{len(names)} tests", flush=True)
            targets, names = plans[mutant.path]
            outcome, detail = run_mutant(mutant, build, backup_dir, targets, names, env,
                                         args.timeout, logs)
            results.append((mutant, outcome, detail))
            print(f"[{index}/{len(chosen)}] {outcome:11} {mutant.describe()}"
                  + (f"  ({detail})" if detail else ""), flush=True)
    except Interrupted:
        print("interrupted: the file is restored; partial results follow", flush=True)
    finally:
        restore_stale_backups(backup_dir)
        lock.unlink(missing_ok=True)
        if xvfb:
            xvfb.kill()
            xvfb.wait()
        shutil.rmtree(logs, ignore_errors=True)

    report = summarise(results, time.time() - started)
    if equivalent:
        report += "\n\nequivalent, not run (" + str(len(equivalent)) + "):\n" + "\n".join(
            f"  {m.describe()} -- {known[m.describe()]}" for m in equivalent)
    print(report)
    if args.report:
        Path(args.report).write_text(report + "\n")
    # Leave the build matching the restored sources.
    if plans:
        targets = sorted({t for ts, _ in plans.values() for t in ts})
        subprocess.run(["cmake", "--build", str(build), "-j2", "--target", *targets],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return 0


def load_equivalents(path):
    known = {}
    if path.is_file():
        for line in path.read_text().splitlines():
            if line.strip() and not line.startswith("#") and " -- " in line:
                mutant, reason = line.split(" -- ", 1)
                known[mutant.strip()] = reason.strip()
    return known


def restore_stale_backups(backup_dir):
    if not backup_dir.is_dir():
        return
    for saved in backup_dir.iterdir():
        if saved.name == "running.pid":
            continue
        original = ROOT / saved.name.replace("__", "/")
        shutil.copyfile(saved, original)
        saved.unlink()
        print(f"restored {original.relative_to(ROOT)}", flush=True)


def run_mutant(mutant, build, backup_dir, targets, names, env, timeout, logs):
    source = ROOT / mutant.path
    original = source.read_text()
    lines = original.split("\n")
    assert lines[mutant.line - 1] == mutant.before, f"{mutant.path} changed under the run"
    backup_dir.mkdir(exist_ok=True)
    backup = backup_dir / mutant.path.replace("/", "__")
    shutil.copyfile(source, backup)
    try:
        if mutant.after == "":
            del lines[mutant.line - 1]
        else:
            lines[mutant.line - 1] = mutant.after
        source.write_text("\n".join(lines))
        status = run_group(["cmake", "--build", str(build), "-j2", "--target", *targets],
                           timeout, env, logs / "build.log")
        if status != 0:
            return "build error", ""
        if not names:
            return "missed", "no test runs this file"
        pattern = "^(" + "|".join(re.escape(n) for n in names) + ")$"
        log = logs / "ctest.log"
        status = run_group(["ctest", "--test-dir", str(build), "-j2", "--stop-on-failure",
                            "--timeout", str(timeout), "-R", pattern], timeout, env, log,
                           stop_at=r"\*\*\*(Failed|Timeout|Exception)|\(Failed\)")
        if status is None:
            return "caught", "timed out"
        if status == 0:
            return "missed", ""
        failed = re.findall(r"\d+ - (\S+) \(", log.read_text())
        failed += re.findall(r"Test +#\d+: (\S+) \.+\s*\*\*\*", log.read_text())
        failed = list(dict.fromkeys(failed))
        return "caught", ", ".join(failed[:2]) if failed else f"ctest status {status}"
    finally:
        source.write_text(original)
        backup.unlink(missing_ok=True)


def summarise(results, seconds):
    caught = [r for r in results if r[1] == "caught"]
    missed = [r for r in results if r[1] == "missed"]
    broken = [r for r in results if r[1] == "build error"]
    out = [f"\n== mutation report ({seconds / 60:.1f} min)"]
    by_file = {}
    for m, outcome, _ in results:
        by_file.setdefault(m.path, {"caught": 0, "missed": 0, "build error": 0})[outcome] += 1
    for path, c in by_file.items():
        out.append(f"{path}: {c['caught']} caught, {c['missed']} missed, "
                   f"{c['build error']} build errors")
    if missed:
        out.append("\nmissed:")
        out += [f"  {m.describe()}" + (f"  ({d})" if d else "") for m, _, d in missed]
    if broken:
        out.append("\nbuild errors (not counted):")
        out += [f"  {m.describe()}" for m, _, _ in broken]
    counted = len(caught) + len(missed)
    score = 100.0 * len(caught) / counted if counted else 0.0
    out.append(f"\nscore: {len(caught)} / {counted} = {score:.1f} %")
    return "\n".join(out)


if __name__ == "__main__":
    sys.exit(main())
