#!/usr/bin/env python3
"""Checks the layers of the source tree by its #include lines and conditionals.

  check_layers.py SOURCE_DIR   reports every breach and exits 1 if there is one
  check_layers.py --self-test  plants each kind of breach in a small tree and
                               checks that it is found (and that a clean tree passes)

The rules:
  - demo/ and examples/ include tavlo.h, their own headers and standard headers only;
  - package/src includes tavlo.h, win32.h, its own headers and standard headers,
    nothing from package/platform/portable/;
  - a presenter (package/platform/portable/presenters/) includes no package header;
  - package/src and demo/ hold no preprocessor conditional on the platform.
"""
import re
import sys
import tempfile
from pathlib import Path

SOURCE_SUFFIXES = {".cpp", ".h"}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
CONDITIONAL = re.compile(r"^\s*#\s*(if|ifdef|ifndef|elif|elifdef|elifndef)\b(.*)")
PLATFORM_MACROS = re.compile(
    r"\b(_WIN32|_WIN64|WIN32|_WINDOWS|__linux__|__linux|__unix__|__unix|__APPLE__|__MACH__|"
    r"_MSC_VER|__MINGW32__|__MINGW64__|__CYGWIN__|__EMSCRIPTEN__|__ANDROID__|__FreeBSD__|"
    r"__GNUC__|__clang__|TAVLO_HAVE_\w+|TAVLO_PLATFORM\w*|QT_VERSION\w*)\b")


def sources(folder):
    if not folder.is_dir():
        return []
    return sorted(p for p in folder.rglob("*") if p.suffix in SOURCE_SUFFIXES and p.is_file())


def includes(path):
    for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
        match = INCLUDE.match(line)
        if match:
            yield number, match.group(1), match.group(2)


def standard_header(name):
    # <cmath>, <vector>: C++ standard library headers have neither a suffix nor a folder.
    return "/" not in name and "." not in name


def check_application_folder(root, folder, breaches):
    for path in sources(root / folder):
        own = {p.name for p in path.parent.iterdir()}
        for number, kind, name in includes(path):
            if kind == "<":
                if not standard_header(name):
                    breaches.append(f"{path.relative_to(root)}:{number}: includes <{name}>: "
                                    "an application includes tavlo.h and standard headers only")
            elif name != "tavlo.h" and not ("/" not in name and name in own):
                breaches.append(f"{path.relative_to(root)}:{number}: includes \"{name}\": an "
                                "application includes tavlo.h and its own headers only")


def check_package(root, breaches):
    src = root / "package/src"
    own = {p.name for p in src.iterdir()} if src.is_dir() else set()
    for path in sources(src):
        for number, kind, name in includes(path):
            if kind == "<":
                if not standard_header(name):
                    breaches.append(f"{path.relative_to(root)}:{number}: includes <{name}>: the "
                                    "package sees the Win32 subset (win32.h) only")
            elif name not in ("tavlo.h", "win32.h") and not ("/" not in name and name in own):
                breaches.append(f"{path.relative_to(root)}:{number}: includes \"{name}\": the "
                                "package includes tavlo.h, win32.h and its own headers only")


def check_presenters(root, breaches):
    package_headers = {p.name for p in (root / "package/src").glob("*.h")}
    package_headers |= {p.name for p in (root / "package/include").glob("*.h*")}
    package_headers |= {"tavlo.h", "tavlo_version.h", "package_state.h"}
    for path in sources(root / "package/platform/portable/presenters"):
        for number, kind, name in includes(path):
            if Path(name).name in package_headers or "package/" in name or "src/" in name:
                breaches.append(f"{path.relative_to(root)}:{number}: includes \"{name}\": a "
                                "presenter never sees the package")


def check_conditionals(root, breaches):
    for folder in ("package/src", "demo"):
        for path in sources(root / folder):
            lines = path.read_text(errors="replace").splitlines()
            for number, line in enumerate(lines, 1):
                match = CONDITIONAL.match(line)
                if match and PLATFORM_MACROS.search(match.group(2)):
                    breaches.append(f"{path.relative_to(root)}:{number}: {line.strip()}: the "
                                    "package and the demo are the same on every platform")


def check(root):
    breaches = []
    for folder in ("demo", "examples"):
        check_application_folder(root, folder, breaches)
    check_package(root, breaches)
    check_presenters(root, breaches)
    check_conditionals(root, breaches)
    return breaches


def self_test():
    clean = {
        "demo/cubes.h": '#pragma once\n#include <cstdint>\n#include "tavlo.h"\n',
        "demo/cubes.cpp": '#include "cubes.h"\n#include <cmath>\n#if 0\n#endif\n',
        "examples/shapes.cpp": '#include "tavlo.h"\n',
        "package/include/tavlo.h": '#pragma once\n#include "win32.h"\n',
        "package/src/package_state.h": '#pragma once\n#include "tavlo.h"\n',
        "package/src/display.cpp": '#include "package_state.h"\n#include <cstdio>\n',
        "package/platform/portable/presenters/qt/qt_presenter.cpp":
            '#include "../../presenter.h"\n#include <QWidget>\n',
    }
    plants = [
        ("demo/cubes.cpp", '#include "../package/platform/portable/presenter.h"\n', "demo/cubes.cpp"),
        ("demo/cubes.cpp", '#include "presenter.h"\n', "demo/cubes.cpp"),
        ("examples/shapes.cpp", "#include <windows.h>\n", "examples/shapes.cpp"),
        ("examples/shapes.cpp", '#include "win32.h"\n', "examples/shapes.cpp"),
        ("package/src/display.cpp", '#include "portable/user/window.h"\n', "package/src/display.cpp"),
        ("package/src/display.cpp", '#include "../platform/portable/gdi/raster.h"\n',
         "package/src/display.cpp"),
        ("package/platform/portable/presenters/qt/qt_presenter.cpp", '#include "package_state.h"\n',
         "qt_presenter.cpp"),
        ("package/platform/portable/presenters/qt/qt_presenter.cpp",
         '#include "../../../../include/tavlo.h"\n', "qt_presenter.cpp"),
        ("package/src/display.cpp", "#ifdef _WIN32\n#endif\n", "package/src/display.cpp"),
        ("demo/cubes.cpp", "#if defined(__linux__) && 1\n#endif\n", "demo/cubes.cpp"),
        ("package/src/display.cpp", "#  elif TAVLO_HAVE_QT\n", "package/src/display.cpp"),
    ]
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        root = Path(folder)

        def write_tree(extra_file=None, extra_text=""):
            for name, text in clean.items():
                (root / name).parent.mkdir(parents=True, exist_ok=True)
                (root / name).write_text(text + (extra_text if name == extra_file else ""))

        write_tree()
        if check(root):
            failures.append(f"the clean tree is reported: {check(root)}")
        for file, text, where in plants:
            write_tree(file, text)
            found = check(root)
            if len(found) != 1 or where not in found[0]:
                failures.append(f"planted {text.strip()!r} in {file}: reported {found}")
    for failure in failures:
        print("FAIL:", failure)
    if not failures:
        print(f"layer check: a clean tree passes, each of {len(plants)} planted breaches is found")
    return 1 if failures else 0


def main():
    if sys.argv[1:] == ["--self-test"]:
        return self_test()
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    breaches = check(Path(sys.argv[1]))
    for breach in breaches:
        print(breach)
    if breaches:
        print(f"{len(breaches)} breaches of the layers")
        return 1
    print("layers hold")
    return 0


if __name__ == "__main__":
    sys.exit(main())
