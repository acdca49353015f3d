#!/usr/bin/env python3
"""Mutation testing: plants small faults one at a time and runs the fast tests on each.

Mutants are made mechanically from the source lines chosen (relational operators turned,
integer constants moved by one, true/false swapped, a clause of && or || dropped, a flag
dropped from a bit-or, a call statement removed, a condition negated, a returned value
replaced by its type's default, a call replaced by its one argument, std::min and std::max
exchanged, a rounding division made a plain one, a conditional's branches swapped, two plain
arguments swapped, a character dropped from a set searched for, a one-line if left out, two
neighbouring statements swapped), or read from a hand-kept list (--faults). Each is built
in a copy of the tree under build-mutants/, so the working tree is never touched. A
mutant whose object code equals the original's changes nothing and is not run; the tests
that cannot see the mutant (none of their programs changed) are not run either.

  mutate.py [--files PATH...] [--since COMMIT] [--per-folder N | --sample N] [--seed S]
            [--budget MINUTES] [--list] [--replay RESULTS] [--faults FILE]

Survivors are printed with file, line and change; results go to build-mutants/*.jsonl.
"""
import argparse
import hashlib
import json
import os
import random
import re
import shutil
import subprocess
import sys
import time
from collections import defaultdict
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
WORK = ROOT / "build-mutants"
SRC = WORK / "src"
BUILD = WORK / "build"
FOLDERS = ["app", "provisioning", "modems", "text", "presets", "platform/common", "platform/config",
           "platform/device", "platform/display", "platform/framework", "platform/kernel", "platform/modemmanager",
           "platform/networkmanager",
           "platform/pixels", "platform/ras", "platform/telephony", "platform/user", "tools"]
SLOW_TESTS = {"install_package"}  # the package run is left out: minutes, and no mutant reaches it alone
SOURCE = re.compile(r"\.(cpp|h)$")


def sh(cmd, **kw):
    return subprocess.run(cmd, cwd=kw.pop("cwd", ROOT), text=True, capture_output=True, **kw)


# ---- generation ----------------------------------------------------------------------

def masked_lines(text):
    """Each line with string and character literals and comments blanked, so that
    generators only see code; None for lines that are preprocessor or comment only."""
    out, in_block = [], False
    for line in text.split("\n"):
        m, i, n = [], 0, len(line)
        while i < n:
            if in_block:
                j = line.find("*/", i)
                if j < 0:
                    m.append(" " * (n - i))
                    i = n
                else:
                    m.append(" " * (j + 2 - i))
                    i, in_block = j + 2, False
                continue
            c = line[i]
            if line.startswith("//", i):
                m.append(" " * (n - i))
                break
            if line.startswith("/*", i):
                in_block = True
                continue
            if c in "\"'":
                if c == "'" and i > 0 and line[i - 1].isalnum():  # digit separator
                    m.append(c)
                    i += 1
                    continue
                raw = c == '"' and i > 0 and line[i - 1] == "R"
                if raw:
                    k = line.find("(", i)
                    end = ")" + line[i + 1:k] + '"'
                    j = line.find(end, k)
                    j = n if j < 0 else j + len(end)
                else:
                    j = i + 1
                    while j < n and line[j] != c:
                        j += 2 if line[j] == "\\" else 1
                    j = min(j + 1, n)
                m.append(c + " " * (j - i - 2) + c if j - i >= 2 else " " * (j - i))
                i = j
                continue
            m.append(c)
            i += 1
        s = "".join(m)
        stripped = s.strip()
        skip = not stripped or stripped.startswith("#") or stripped.startswith("static_assert")
        out.append(None if skip else s)
    return out


KEYWORDS = {"return", "if", "while", "for", "switch", "case", "delete", "throw", "else", "do", "using",
            "typedef", "break", "continue", "goto", "default", "new", "co_return", "sizeof", "static_assert"}
REL = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}
BOUNDARY = set(",;?:")


def operand_left(m, at, ops):
    i, depth = at - 1, 0
    while i >= 0:
        c = m[i]
        if c in ")]}":
            depth += 1
        elif c in "([{":
            if depth == 0:
                return i + 1
            depth -= 1
        elif depth == 0:
            if (c in BOUNDARY and m[i - 1:i + 2].count(":") < 2) or (c == "=" and m[i - 1:i] not in ("=", "!", "<", ">") and m[i + 1:i + 2] != "="):
                return i + 1
            if any(m[i - len(o) + 1:i + 1] == o and m[i - len(o):i - len(o) + 1] not in ("|", "&")
                   and m[i + 1:i + 2] not in ("|", "&") for o in ops):
                return i + 1
        i -= 1
    head = re.match(r"\s*(return|co_return)\s", m)
    if head:
        return head.end()
    # A line that goes on an expression begun above: its first operand starts the line.
    first = re.match(r"\s*(?=[!\w(])", m)
    if first and depth == 0 and not re.match(r"\s*(if|while|for|switch|return|case)\b", m):
        return first.end()
    return None


def operand_right(m, at, ops):
    i, depth, n = at, 0, len(m)
    while i < n:
        c = m[i]
        if c in "([{":
            depth += 1
        elif c in ")]}":
            if depth == 0:
                return i
            depth -= 1
        elif depth == 0:
            if c in BOUNDARY and m[i - 1:i + 2].count(":") < 2:
                return i
            if any(m.startswith(o, i) and m[i - 1:i] not in ("|", "&") and m[i + len(o):i + len(o) + 1] not in ("|", "&")
                   for o in ops):
                return i
        i += 1
    return None


def balanced_close(m, open_at):
    depth = 0
    for j in range(open_at, len(m)):
        if m[j] == "(":
            depth += 1
        elif m[j] == ")":
            depth -= 1
            if depth == 0:
                return j
    return None


def line_mutants(line, m):
    """(kind, new line) for one source line and its masked form."""
    out = []

    def put(kind, a, b, text):
        out.append((kind, line[:a] + text + line[b:]))

    for x in re.finditer(r"(?<=\s)(<=|>=|==|!=|<|>)(?=\s)", m):
        put("relational", x.start(), x.end(), REL[x.group(1)])
    for x in re.finditer(r"(?<![\w.])(\d+)([uUlLzZ]*)(?![\w.'])", m):
        digits = x.group(1)
        octal = len(digits) > 1 and digits.startswith("0")
        v = int(digits, 8 if octal else 10)
        for w in (v + 1, v - 1):
            if w >= 0:
                put("constant", x.start(1), x.end(1), "0" + format(w, "o") if octal else str(w))
    for x in re.finditer(r"\b(true|false)\b", m):
        put("constant", x.start(), x.end(), "false" if x.group(1) == "true" else "true")
    for x in re.finditer(r" (&&|\|\|) ", m):
        a, b = operand_left(m, x.start(), ("&&", "||")), operand_right(m, x.end(), ("&&", "||"))
        if a is None or b is None:
            continue
        lead = len(line[a:x.start()]) - len(line[a:x.start()].lstrip())
        put("clause", a + lead, x.end(), "")
        put("clause", x.start(), b, "")
    for x in re.finditer(r"(?<=[\w)]) \| (?=[\w(])", m):
        a, b = operand_left(m, x.start(), ("|",)), operand_right(m, x.end(), ("|",))
        if a is None or b is None:
            continue
        lead = len(line[a:x.start()]) - len(line[a:x.start()].lstrip())
        put("flag", a + lead, x.end(), "")
        put("flag", x.start(), b, "")
    call = re.match(r"(\s*)([A-Za-z_][\w:]*(?:(?:\.|->)[A-Za-z_]\w*)*)\s*\((.*)\);\s*$", m)
    if call and call.group(2).split(":")[0] not in KEYWORDS and balanced_close(m, m.index("(", call.end(2))) == len(m.rstrip()) - 2:
        out.append(("call", call.group(1) + "{}"))
    for x in re.finditer(r"\b(if|while)\s*\(", m):
        o = x.end() - 1
        c = balanced_close(m, o)
        if c is None or m[o + 1:c].strip().startswith("!"):
            continue
        if ";" in m[o:c] or re.search(r"[^=!<>]=[^=]", m[o:c]):  # an initialiser or a declaration
            continue
        put("negate", o + 1, c, "!(" + line[o + 1:c] + ")")
    for x in re.finditer(r"\breturn\s+([^;]+);", m):
        value = x.group(1).strip()
        if value in ("{}", "0", "nullptr", "false", "true", '""', "u\"\"", "std::nullopt") or "[" in value and "]" in value and "(" in value:
            continue
        if m.count("(", x.start(1), x.end(1)) != m.count(")", x.start(1), x.end(1)):
            continue
        put("return", x.start(1), x.end(1), "{}")
    # A call replaced by its one argument: an escape, a conversion, a clamp left out.
    for x in re.finditer(r"(?<![\w.>:])([A-Za-z_][\w:]*(?:<[\w:, ]*>)?)\(", m):
        name = x.group(1)
        if name.split("::")[-1] in KEYWORDS or name in ("if", "while", "for", "switch", "sizeof", "return"):
            continue
        o = x.end() - 1
        c = balanced_close(m, o)
        if c is None or c == o + 1:
            continue
        inner = m[o + 1:c]
        depth, top_comma = 0, False
        for ch in inner:
            depth += ch in "([{<"
            depth -= ch in ")]}>"
            top_comma = top_comma or (ch == "," and depth == 0)
        if not top_comma:
            put("unwrap", x.start(), c + 1, line[o + 1:c].strip())
    # std::min and std::max exchanged.
    for x in re.finditer(r"\bstd::(min|max)\b", m):
        put("minmax", x.start(), x.end(), "std::max" if x.group(1) == "min" else "std::min")
    # A division's rounding: mul_div rounds, a plain division cuts short.
    for x in re.finditer(r"\bmul_div\(", m):
        o = x.end() - 1
        c = balanced_close(m, o)
        args = [a.strip() for a in line[o + 1:c].split(",")] if c is not None else []
        if len(args) == 3:
            put("rounding", x.start(), c + 1, (args[1] if args[0] == "1" else args[0] + " * " + args[1]) + " / " + args[2])
    # The two branches of a conditional swapped (a sign, a direction).
    for x in re.finditer(r" \? ", m):
        colon = m.find(" : ", x.end())
        end = operand_right(m, colon + 3, ()) if colon > 0 else None
        if colon > 0 and end is not None and "?" not in m[x.end():colon]:
            put("ternary", x.end(), end, line[colon + 3:end].strip() + " : " + line[x.end():colon].strip())
    # Two arguments of one call swapped, where both are plain words.
    for x in re.finditer(r"\(([\w.>-]+), ([\w.>-]+)\)", m):
        a, b = x.group(1), x.group(2)
        if a != b and not a.isdigit() and not b.isdigit():
            put("arguments", x.start(1), x.end(2), b + ", " + a)
    # One character dropped from a set of characters a value is compared with.
    for x in re.finditer(r"\b(find_first_of|find_first_not_of|strchr|strpbrk|find)\(\s*(u8|u|U|L)?\"", line):
        start = x.end()
        end = line.find('"', start)
        while end > 0 and line[end - 1] == "\\" and line[end - 2:end] != "\\\\":
            end = line.find('"', end + 1)
        if end < 0:
            continue
        units, i = [], start
        while i < end:
            n = 2 if line[i] == "\\" else 1
            units.append((i, i + n))
            i += n
        if 1 < len(units) <= 12:
            for a, b in units:
                put("set", a, b, "")
    seen, unique = set(), []
    for kind, new in out:
        if new != line and new not in seen:
            seen.add(new)
            unique.append((kind, new))
    return unique


def chosen_lines(args):
    """{file: set of line numbers or None for all} from --files and --since."""
    paths = args.files or FOLDERS
    files = []
    for p in paths:
        full = ROOT / p
        if full.is_dir():
            files += sorted(str(f.relative_to(ROOT)) for f in full.rglob("*") if SOURCE.search(f.name))
        elif full.is_file():
            files.append(p)
        else:
            sys.exit(f"mutate.py: no such file or folder: {p}")
    chosen = {f: None for f in files}
    if args.since:
        diff = sh(["git", "diff", "-U0", args.since, "--", *files])
        if diff.returncode != 0:
            sys.exit("mutate.py: " + diff.stderr.strip())
        chosen, current = {}, None
        for line in diff.stdout.split("\n"):
            if line.startswith("+++ "):
                current = line[6:] if line.startswith("+++ b/") else None
            elif line.startswith("@@") and current:
                h = re.match(r"@@ -\S+ \+(\d+)(?:,(\d+))? @@", line)
                start, count = int(h.group(1)), int(h.group(2) or "1")
                chosen.setdefault(current, set()).update(range(start, start + count))
    return chosen


def generate(chosen):
    mutants = []
    for f, lines in chosen.items():
        text = (ROOT / f).read_text(encoding="utf-8")
        raw = text.split("\n")
        offsets = [0]
        for r in raw:
            offsets.append(offsets[-1] + len(r) + 1)
        masked = masked_lines(text)
        for i, m in enumerate(masked):
            if m is None or (lines is not None and i + 1 not in lines):
                continue
            for kind, new in line_mutants(raw[i], m):
                mutants.append({"file": f, "line": i + 1, "kind": kind, "offset": offsets[i],
                                "old": raw[i], "new": new})
            # A one-line if and what it does, left out.
            if re.match(r"\s*if \(.*\) (continue|break|return\b.*|[\w:.>-]+\(.*\)|[\w.>-]+ [-+]?= .*);\s*$", m):
                mutants.append({"file": f, "line": i + 1, "kind": "statement", "offset": offsets[i],
                                "old": raw[i], "new": raw[i][:len(raw[i]) - len(raw[i].lstrip())]})
            # Two neighbouring statements swapped: a step done in the wrong order.
            nxt = masked[i + 1] if i + 1 < len(masked) else None
            # Statements that do something; not a declaration, whose use would follow it.
            simple = (r"(?!\s*(return|break|continue|case|default|if|for|while|else|using|const|static|auto|"
                      r"int|bool|char\w*|unsigned|long|double|float|std::[\w:<>]+|[\w:]+_t|[\w:<>]+ [\w]+ *[={;(])\b)"
                      r"[^{}]*;\s*$")
            if (nxt is not None and re.match(simple, m) and re.match(simple, nxt) and raw[i] != raw[i + 1]
                    and len(m) - len(m.lstrip()) == len(nxt) - len(nxt.lstrip()) and m.count("(") == m.count(")")
                    and nxt.count("(") == nxt.count(")")):
                mutants.append({"file": f, "line": i + 1, "kind": "swap", "offset": offsets[i],
                                "old": raw[i] + "\n" + raw[i + 1], "new": raw[i + 1] + "\n" + raw[i]})
    return mutants


def read_faults(path):
    mutants = []
    for line in open(path, encoding="utf-8"):
        line = line.rstrip("\n")
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        parts = line.split(" | ", 3)
        if len(parts) < 3:
            continue
        fid, f, find = parts[0].strip(), parts[1].strip(), parts[2]
        put = (parts[3] if len(parts) > 3 else "").rstrip()
        # A fault of a file that is gone is reported as stale, not a stop of the whole run.
        text = (ROOT / f).read_text(encoding="utf-8") if (ROOT / f).is_file() else ""
        at = text.find(find)
        mutants.append({"file": f, "line": text.count("\n", 0, at) + 1 if at >= 0 else 0, "kind": fid,
                        "offset": at, "old": find, "new": put})
    return mutants


def faults_generated(faults):
    """Whether each hand-kept fault is among the mutants made for its line; a conversion around
    a value (std::u16string(x)) counts as the value."""
    def norm(text):
        return re.sub(r"\s+", " ", re.sub(r"std::\w+\(([^()]*)\)", r"\1", text)).strip()
    missing = 0
    for fault in faults:
        if fault["offset"] < 0:
            print(f"{fault['kind']}: its text is not in {fault['file']}")
            missing += 1
            continue
        text = (ROOT / fault["file"]).read_text(encoding="utf-8")
        first = text.count("\n", 0, fault["offset"]) + 1
        last = first + fault["old"].count("\n")
        faulty = text[:fault["offset"]] + fault["new"] + text[fault["offset"] + len(fault["old"]):]
        start = text.rfind("\n", 0, fault["offset"]) + 1
        end = faulty.find("\n", fault["offset"] + len(fault["new"]))
        want = norm(faulty[start:end if end >= 0 else len(faulty)])
        made = [mu for mu in generate({fault["file"]: set(range(first, last + 1))})]
        hit = [mu["kind"] for mu in made if norm(mu["new"]) == want]
        print(f"{fault['kind']}: " + (f"generated ({', '.join(sorted(set(hit)))})" if hit else "NOT generated"))
        missing += not hit
    return missing == 0


def folder_of(f):
    parts = f.split("/")
    return "/".join(parts[:2]) if parts[0] == "platform" else parts[0]


def sample(mutants, args):
    rng = random.Random(args.seed)
    by_folder = defaultdict(list)
    for mu in mutants:
        by_folder[folder_of(mu["file"])].append(mu)
    for group in by_folder.values():
        rng.shuffle(group)
        if args.per_folder:
            del group[args.per_folder:]
    # Round robin, so that a run cut short by its budget is still spread over the folders.
    picked, groups = [], [by_folder[k] for k in sorted(by_folder)]
    while any(groups):
        for g in groups:
            if g:
                picked.append(g.pop(0))
    if args.sample:
        picked = picked[:args.sample]
    return picked


# ---- the copy and its build ----------------------------------------------------------

def sync_copy():
    listed = sh(["git", "ls-files", "-co", "--exclude-standard", "-z"]).stdout.split("\0")
    for rel in filter(None, listed):
        src, dst = ROOT / rel, SRC / rel
        if not src.is_file() or src.is_symlink():
            continue
        data = src.read_bytes()
        if dst.is_file() and dst.read_bytes() == data:
            continue
        dst.parent.mkdir(parents=True, exist_ok=True)
        dst.write_bytes(data)
        shutil.copymode(src, dst)


def configure():
    if (BUILD / "build.ninja").exists():
        return
    flags = ["-G", "Ninja", "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG",
             "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG", "-DBUILD_TESTING=ON", "-DORVANE_BENCH=OFF",
             "-DORVANE_WERROR=OFF", "-DCMAKE_EXPORT_COMPILE_COMMANDS=ON"]
    if shutil.which("ccache"):
        flags.append("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
    r = sh(["cmake", "-S", str(SRC), "-B", str(BUILD), *flags])
    if r.returncode != 0:
        sys.exit("mutate.py: cmake failed:\n" + r.stdout + r.stderr)


def build(targets=()):
    return sh(["ninja", "-C", str(BUILD), *targets], timeout=1800)


def objects_of(rel):
    """The object files a source builds; every object for a header."""
    db = json.loads((BUILD / "compile_commands.json").read_text())
    objs = []
    for entry in db:
        out = entry.get("output") or re.search(r"-o (\S+)", entry["command"]).group(1)
        if rel.endswith(".h") or os.path.realpath(entry["file"]) == os.path.realpath(SRC / rel):
            objs.append(out)
    return objs


def digest(path):
    try:
        return hashlib.sha1(Path(path).read_bytes()).hexdigest()
    except OSError:
        return None


def binaries():
    found = {}
    for p in BUILD.rglob("*"):
        if "CMakeFiles" in p.parts or not p.is_file() or p.suffix in (".a", ".o"):
            continue
        with open(p, "rb") as fh:
            if fh.read(4) == b"\x7fELF":
                found[str(p)] = digest(p)
    return found


def tests():
    """{name: (command, set of build binaries it runs)}."""
    show = json.loads(sh(["ctest", "--test-dir", str(BUILD), "--show-only=json-v1"]).stdout)
    out = {}
    for t in show["tests"]:
        name = t["name"]
        if name in SLOW_TESTS:
            continue
        runs = {os.path.realpath(a) for a in t.get("command", []) if a.startswith(str(BUILD))}
        out[name] = runs
    return out


def closure(runs):
    """The binaries a test's programs depend on, as the build knows them (order-only included)."""
    found = set(runs)
    for b in runs:
        rel = os.path.relpath(b, BUILD)
        r = sh(["ninja", "-C", str(BUILD), "-t", "inputs", rel])
        for line in r.stdout.split():
            p = os.path.realpath(BUILD / line)
            if not p.endswith((".o", ".a")) and os.path.isfile(p):
                found.add(p)
    return found


def sandboxed(command):
    """A mutant may turn a check of the folders it makes into a chmod of / (seen): as root,
    its tests run in a mount namespace where the machine's files are read-only and /tmp is
    a fresh tmpfs; only the copy under build-mutants/ stays writable."""
    if os.geteuid() != 0:
        return command
    setup = ("mount -t tmpfs -o mode=1777 tmpfs /tmp && mount --bind \"$0\" \"$0\" && "
             "mount -o remount,bind,ro / && exec \"$@\"")
    return ["unshare", "--mount", "--propagation", "private", "sh", "-c", setup, str(WORK), *command]


def run_tests(names, timeout):
    run_tests.last_output = ""
    if not names:
        return "survived", []
    pattern = "^(" + "|".join(re.escape(n) for n in sorted(names)) + ")$"
    env = dict(os.environ, ORVANE_FAIL_FAST="1")
    # A session of its own, so that a mutant that hangs is ended with every process it started.
    ctest = ["ctest", "--test-dir", str(BUILD), "-j", str(os.cpu_count() or 2), "--stop-on-failure", "--output-on-failure",
             "--timeout", str(timeout), "-R", pattern]
    p = subprocess.Popen(sandboxed(ctest), cwd=ROOT, env=env, text=True,
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, start_new_session=True)
    try:
        out, _ = p.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(p.pid, 9)
        p.communicate()
        return "killed", ["(time limit)"]
    failed = re.findall(r"^\s*\d+ - (\S+) \(", out, re.M)
    if p.returncode == 0:
        return "survived", []
    run_tests.last_output = out
    return "killed", failed or ["(ctest failed)"]


# ---- the run -------------------------------------------------------------------------

def apply(mu, text):
    """The mutated text, or None. A replayed mutant whose line has moved since is found by
    its text, at the occurrence nearest its old place."""
    at = mu["offset"]
    if at < 0 or text[at:at + len(mu["old"])] != mu["old"]:
        places = [m.start() for m in re.finditer(re.escape(mu["old"]), text)]
        if not places:
            return None
        at = min(places, key=lambda p: abs(text.count("\n", 0, p) + 1 - mu["line"]))
    return text[:at] + mu["new"] + text[at + len(mu["old"]):]


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--files", nargs="+", help="files or folders (default: the program, platform and tools)")
    ap.add_argument("--since", help="only the lines changed since this commit")
    ap.add_argument("--per-folder", type=int, help="sample this many mutants from each folder")
    ap.add_argument("--sample", type=int, help="sample this many mutants in all")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--budget", type=float, default=60, help="minutes; no mutant is started after it")
    ap.add_argument("--list", action="store_true", help="print the mutants and stop")
    ap.add_argument("--replay", help="run the mutants of a results file again (for example its survivors)")
    ap.add_argument("--only", default="survived", help="with --replay: the results to take (default survived)")
    ap.add_argument("--resume", help="a results file of a run cut short: its mutants are not run again")
    ap.add_argument("--faults", help="the hand-kept list of faults (id | file | find | replace)")
    ap.add_argument("--generated", action="store_true",
                    help="with --faults: say of each fault whether the generators make it (or its like) on its line")
    args = ap.parse_args()

    if args.faults and args.generated:
        sys.exit(0 if faults_generated(read_faults(args.faults)) else 1)
    if args.replay:
        mutants = [json.loads(x) for x in open(args.replay) if x.strip()]
        mutants = [mu for mu in mutants if args.only == "all" or mu["result"] == args.only]
    elif args.faults:
        mutants = read_faults(args.faults)
    else:
        mutants = sample(generate(chosen_lines(args)), args)
    if args.list:
        for mu in mutants:
            print(f"{mu['file']}:{mu['line']}: {mu['kind']}: {mu['new'].strip()}")
        print(f"{len(mutants)} mutants")
        return 0

    WORK.mkdir(exist_ok=True)
    sync_copy()
    configure()
    r = build()
    if r.returncode != 0:
        sys.exit("mutate.py: the unmutated tree does not build:\n" + r.stdout[-3000:])
    base_bins = binaries()
    base_objs = {}
    all_tests = tests()
    closures = {name: closure(runs) for name, runs in all_tests.items()}
    t0 = time.time()
    status, failed = run_tests(set(all_tests), 600)
    baseline = time.time() - t0
    if status != "survived":
        sys.exit(f"mutate.py: the unmutated tree fails its tests: {' '.join(failed)}\n"
                 + getattr(run_tests, "last_output", "")[-4000:])
    limit = int(max(60, 3 * baseline))
    print(f"baseline: {len(all_tests)} tests in {baseline:.0f} s; {len(mutants)} mutants; "
          f"time limit {limit} s a run, budget {args.budget:g} min", flush=True)

    stamp = time.strftime("%Y%m%d-%H%M%S")
    results_path = Path(args.resume) if args.resume else WORK / f"results-{stamp}.jsonl"
    start, done = time.time(), []
    key = lambda mu: (mu["file"], mu["line"], mu["new"])
    if args.resume:
        done = [json.loads(x) for x in open(results_path) if x.strip()]
        seen = {key(mu) for mu in done}
        mutants = [mu for mu in mutants if key(mu) not in seen]
    with open(results_path, "a") as results:
        for n, mu in enumerate(mutants, 1):
            if time.time() - start > args.budget * 60:
                print(f"budget spent after {n - 1} mutants", flush=True)
                break
            path = SRC / mu["file"]
            original = path.read_text(encoding="utf-8")
            mutated = apply(mu, original)
            by = []
            if mutated is None:
                result = "stale"  # its file or text is no longer there: re-aim it
            else:
                objs = objects_of(mu["file"])
                for o in objs:
                    base_objs.setdefault(o, digest(BUILD / o))
                path.write_text(mutated, encoding="utf-8")
                try:
                    if build(objs).returncode != 0:
                        result = "no build"
                    elif all(digest(BUILD / o) == base_objs[o] for o in objs):
                        result = "equivalent"  # same object code
                    elif build().returncode != 0:
                        result = "no build"
                    else:
                        now = binaries()
                        changed = {b for b, h in now.items() if base_bins.get(b) != h}
                        modules = {b for b in changed if b.endswith(".so")}
                        names = {t for t, c in closures.items() if c & changed or
                                 (modules and any(os.path.basename(x).startswith("orvane") for x in c))}
                        result, by = run_tests(names, limit)
                        if result == "killed":
                            # What the killing test said, to tell a real kill from a flaky test.
                            said = [x for x in getattr(run_tests, "last_output", "").splitlines()
                                    if re.search(r"FAIL|Failure|Expected|Which is|rror", x)]
                            mu = dict(mu, said="\n".join(said[:12])[:1500])
                        if not names:
                            result = "equivalent"  # no program that a test runs changed
                finally:
                    path.write_text(original, encoding="utf-8")
            mu = dict(mu, result=result, by=by)
            done.append(mu)
            results.write(json.dumps(mu) + "\n")
            results.flush()
            mark = {"survived": "SURVIVED"}.get(result, result)
            print(f"[{n}/{len(mutants)}] {mark:10} {mu['file']}:{mu['line']} {mu['kind']}: "
                  f"{mu['new'].strip()[:110]}" + (f"  ({' '.join(by)})" if by else ""), flush=True)
    build()  # leave the copy built as it is

    print(f"\nresults: {results_path}")
    rows = defaultdict(lambda: defaultdict(int))
    for mu in done:
        rows[folder_of(mu["file"])][mu["result"]] += 1
    print(f"{'folder':20} {'killed':>6} {'surv.':>6} {'equiv.':>6} {'no bld':>6}  kill rate")
    total = defaultdict(int)
    for folder in sorted(rows):
        r = rows[folder]
        for k, v in r.items():
            total[k] += v
        live = r["killed"] + r["survived"]
        rate = f"{100 * r['killed'] / live:.0f} %" if live else "-"
        print(f"{folder:20} {r['killed']:6} {r['survived']:6} {r['equivalent']:6} {r['no build']:6}  {rate}")
    live = total["killed"] + total["survived"]
    if live:
        print(f"{'all':20} {total['killed']:6} {total['survived']:6} {total['equivalent']:6} "
              f"{total['no build']:6}  {100 * total['killed'] / live:.0f} %")
    survivors = [mu for mu in done if mu["result"] == "survived"]
    if survivors:
        print("\nsurvivors:")
        for mu in survivors:
            print(f"  {mu['file']}:{mu['line']} {mu['kind']}\n    - {mu['old'].strip()}\n    + {mu['new'].strip()}")
    return 1 if survivors else 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except BrokenPipeError:
        sys.exit(1)
