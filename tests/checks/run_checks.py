#!/usr/bin/env python3
"""The checker (scripts/tavlo-check) on the shipped tasks, as a teacher runs it.

  run_checks.py SOURCE_DIR BUILD_DIR WORK_DIR

1. The package is installed into WORK_DIR/prefix, and the checker builds every
   program against it through pkg-config.
2. Each shipped task is made again from its draft and model: the task file and
   the stored pictures must come out the same (so they are not stale).
3. Each task's programs, and for the house task the hostile ones of
   tests/checks/programs among them, get the expected verdicts, each failing
   for its own reason; the difference picture marks as many pixels as the
   verdict names.
4. Nothing a program did reached outside its results folder: the task folders
   are unchanged, no escaped file is anywhere, the others were checked as usual.
The time the checker took is printed, never judged.
"""
import hashlib
import importlib.machinery
import json
import os
import re
import shutil
import subprocess
import sys

source, build, work = (os.path.abspath(p) for p in sys.argv[1:4])
checker = os.path.join(source, "scripts", "tavlo-check")
tasks = os.path.join(source, "examples", "tasks")
hostile = os.path.join(source, "tests", "checks", "programs")
escaped_name = "tavlo-check-escaped.txt"
failures = []


def fail(message):
    print("FAIL: " + message)
    failures.append(message)


def tree_digest(folder):
    digest = {}
    for root, _, files in os.walk(folder):
        for name in files:
            path = os.path.join(root, name)
            with open(path, "rb") as f:
                digest[os.path.relpath(path, folder)] = hashlib.sha256(f.read()).hexdigest()
    return digest


def run_checker(*args):
    process = subprocess.run([sys.executable, checker, "--prefix", prefix] + list(args),
                             capture_output=True, text=True, timeout=900)
    print(process.stdout, end="")
    print(process.stderr, end="", file=sys.stderr)
    return process


if os.path.exists(work):
    shutil.rmtree(work)
os.makedirs(work)
prefix = os.path.join(work, "prefix")
subprocess.run(["cmake", "--install", build, "--prefix", prefix], check=True, stdout=subprocess.DEVNULL)
loader = importlib.machinery.SourceFileLoader("tavlo_check", checker)
tavlo_check = loader.load_module()
sandboxed = shutil.which("bwrap") is not None
if not sandboxed:
    print("note: bubblewrap is not installed (scripts/setup.sh installs it): "
          "the program that writes elsewhere is left out")
before = tree_digest(tasks)

# The checker names colours as the package does: its palette is the package's.
with open(os.path.join(source, "package", "src", "palette.cpp")) as f:
    palette_source = f.read()
rgbs = [tuple(map(int, m)) for m in re.findall(r"RGB\((\d+), (\d+), (\d+)\)", palette_source)]
table = palette_source[palette_source.index("color_name["):]
names = re.findall(r'"([^"]+)"', table[:table.index("};")])
if list(zip(names, rgbs)) != tavlo_check.PALETTE:
    fail(f"the checker's palette {tavlo_check.PALETTE} is not the package's {list(zip(names, rgbs))}")

# ---- 2. the tasks made again from their drafts
for task in ("house", "button"):
    made = os.path.join(work, "made-" + task)
    process = run_checker("make", os.path.join(tasks, task, "draft.json"),
                          os.path.join(tasks, task, "model.cpp"), made)
    if process.returncode != 0:
        fail(f"{task}: make exited {process.returncode}")
        continue
    shipped = tree_digest(os.path.join(tasks, task))
    for name, digest in tree_digest(made).items():
        if shipped.get(name) != digest:
            fail(f"{task}: {name} made from the model differs from the shipped one "
                 f"(make it again: scripts/tavlo-check make ...; see docs/checks.md)")

# A made task refuses a folder that holds files, and leaves them.
keep = os.path.join(work, "not-empty")
os.makedirs(keep)
with open(os.path.join(keep, "mine.txt"), "w") as f:
    f.write("mine\n")
if run_checker("make", os.path.join(tasks, "house", "draft.json"),
               os.path.join(tasks, "house", "model.cpp"), keep).returncode != 2:
    fail("make into a folder that holds a file did not refuse")
if os.listdir(keep) != ["mine.txt"]:
    fail(f"make changed a folder it refused: {os.listdir(keep)}")

# ---- 3. the verdicts (verdicts.json, which the page's test reads too): program
# -> None (passes) or (text of the reason, the checks that pass, by name, when
# the program ran)
with open(os.path.join(source, "tests", "checks", "verdicts.json")) as f:
    expected = {task: {name: None if v is None else (v.get("command line", v["reason"]), v["passing"])
                       for name, v in verdicts.items()}
                for task, verdicts in json.load(f).items() if task != "about"}
if not sandboxed:
    del expected["house"]["escape.cpp"]

for task, verdicts in expected.items():
    programs = []
    for name in verdicts:
        for folder in (os.path.join(tasks, task), os.path.join(tasks, task, "programs"), hostile):
            if os.path.isfile(os.path.join(folder, name)):
                programs.append(os.path.join(folder, name))
                break
    results = os.path.join(work, "results-" + task)
    process = run_checker("check", os.path.join(tasks, task), *programs, "--results", results)
    if process.returncode != 1:
        fail(f"{task}: check exited {process.returncode}, not 1 (some programs fail)")
    try:
        with open(os.path.join(results, "results.json")) as f:
            outcomes = {o["name"]: o for o in json.load(f)}
    except (OSError, ValueError) as e:
        fail(f"{task}: no results: {e}")
        continue
    lines = process.stdout.splitlines()
    for name, verdict in verdicts.items():
        outcome = outcomes.get(name)
        if outcome is None:
            fail(f"{task}: {name} has no result")
            continue
        summary = [line for line in lines if line.startswith(name + ": PASS") or line.startswith(name + ": FAIL")]
        if len(summary) != 1:
            fail(f"{task}: {name}: not one verdict line: {summary}")
        if verdict is None:
            if not outcome["ok"]:
                fail(f"{task}: {name} should pass: {outcome['checks']}")
            continue
        reason, passing = verdict
        if outcome["ok"]:
            fail(f"{task}: {name} passed, should fail with '{reason}'")
            continue
        said = " | ".join([outcome["reason"]] + [c["detail"] for c in outcome["checks"]])
        if reason not in said:
            fail(f"{task}: {name}: '{reason}' not said: {said}")
        for check in outcome["checks"]:
            if (check["name"] in (passing or [])) != check["ok"]:
                fail(f"{task}: {name}: check '{check['name']}' {'passed' if check['ok'] else 'failed'}")
        # A failed picture: the difference marks exactly the pixels the verdict counts.
        for n, check in enumerate(outcome["checks"], 1):
            counted = re.match(r"(\d+) pixels differ", check["detail"])
            if not counted:
                continue
            folder = os.path.join(results, tavlo_check.program_name(name))
            width, height, rows = tavlo_check.read_png(os.path.join(folder, f"check-{n}-difference.png"))
            red = sum(row[i:i + 3] == b"\xff\x00\x00" for row in rows for i in range(0, len(row), 3))
            if red != int(counted.group(1)):
                fail(f"{task}: {name}: the difference picture marks {red} pixels, the verdict says {counted.group(1)}")
    with open(os.path.join(results, "report.html"), encoding="utf-8") as f:
        report = f.read()
    for name in verdicts:
        if f">{name}</a>" not in report:
            fail(f"{task}: the report does not list {name}")
    for picture in re.findall(r"src='([^']+)'", report):
        if not os.path.isfile(os.path.join(results, picture)):
            fail(f"{task}: the report shows {picture}, which is not there")

# ---- the rest of the format, on the button's model: a picture with a tolerance, the
# model's whole log, a pattern, a time in seconds, and a program in a folder of files.
model_source = open(os.path.join(tasks, "button", "model.cpp")).read()
features = os.path.join(work, "features")
os.makedirs(features)
with open(os.path.join(features, "draft.json"), "w") as f:
    json.dump({"title": "The button's log", "text": "The button task, checked by its log.",
               "run": {"client": "400x300"}, "plan": ["2 click 300 50", "4 key r", "6 key q"],
               "checks": [{"kind": "log", "lines": "model"},
                          {"kind": "log", "pattern": "^key [a-z]$"},
                          {"kind": "picture", "tolerance": 200},
                          {"kind": "time", "seconds": 30}]}, f)
with open(os.path.join(features, "model.cpp"), "w") as f:
    f.write(model_source)
for name, right in (("one-wider", 151), ("three-wider", 153)):
    folder = os.path.join(features, name)
    os.makedirs(folder)
    main = model_source.replace("void fill_button(ColorIndex color) {\n    draw_rectangle(color, 50, 50, 150, 150, 0);\n}",
                                "}  // namespace\n#include \"button.h\"\nnamespace {")
    with open(os.path.join(folder, "main.cpp"), "w") as f:
        f.write(main)
    with open(os.path.join(folder, "button.h"), "w") as f:
        f.write("#include \"tavlo.h\"\nvoid fill_button(ColorIndex color);\n")
    with open(os.path.join(folder, "button.cpp"), "w") as f:
        f.write(f"#include \"button.h\"\nvoid fill_button(ColorIndex color) {{\n"
                f"    draw_rectangle(color, 50, 50, {right}, 150, 0);\n}}\n")
silent = os.path.join(features, "silent.cpp")
with open(silent, "w") as f:
    f.write(model_source.replace('log_printf("key r\\n");', 'log_printf("typed r\\n");'))
if run_checker("make", os.path.join(features, "draft.json"), os.path.join(features, "model.cpp"),
               os.path.join(features, "task")).returncode != 0:
    fail("features: make failed")
else:
    with open(os.path.join(features, "task", "task.json")) as f:
        made = json.load(f)
    if made["checks"][0]["lines"] != ["clicked", "key r"]:
        fail(f"features: the model's log was stored as {made['checks'][0]['lines']}")
    results = os.path.join(work, "results-features")
    run_checker("check", os.path.join(features, "task"), os.path.join(features, "one-wider"),
                os.path.join(features, "three-wider"), silent, "--results", results, "--jobs", "1")
    with open(os.path.join(results, "results.json")) as f:
        outcomes = {o["name"]: o for o in json.load(f)}
    wanted = {"one-wider": [True, True, True, True],
              "three-wider": [True, True, False, True],
              "silent.cpp": [False, False, True, True]}
    for name, oks in wanted.items():
        got = [c["ok"] for c in outcomes[name]["checks"]] if name in outcomes else None
        if got != oks:
            fail(f"features: {name}: checks passed {got}, not {oks}: {outcomes.get(name)}")
    if "three-wider" in outcomes and "303 pixels differ (tolerance 200)" not in outcomes["three-wider"]["checks"][2]["detail"]:
        fail(f"features: three-wider: {outcomes['three-wider']['checks'][2]['detail']}")

# ---- 4. no harm
if tree_digest(tasks) != before:
    fail("the task folders changed while their programs were checked")
for place in ("/tmp", os.environ.get("HOME", "/root"), work, source):
    for root, _, files in os.walk(place) if place != "/tmp" else [("/tmp", [], os.listdir("/tmp"))]:
        if escaped_name in files and "/elsewhere/" not in root + "/":
            fail(f"a program wrote {os.path.join(root, escaped_name)}")

if failures:
    print(f"{len(failures)} failures")
    sys.exit(1)
print("the checker gives every shipped and hostile program its verdict, and no program reached outside its folder")
