#!/usr/bin/env python3
"""Checks the layers of the source tree by its #include lines and conditionals.

  check_layers.py SOURCE_DIR   reports every breach and exits 1 if there is one
  check_layers.py --self-test  plants each kind of breach in a small tree and
                               checks that it is found (and that a clean tree passes)

The rules, the table "What may include what" of docs/architecture.md:
  - demo/ and examples/ include tavlo.h, their own headers and standard headers only;
  - package/src includes tavlo.h, win32.h, its own headers and standard headers,
    nothing from package/platform/portable/;
  - package/src and demo/ hold no preprocessor conditional on the platform;
  - the portable platform (package/platform/portable/) never includes a package
    header, and reaches its own files by paths relative to the including file;
  - outside presenters/ and entry/, it includes no presenter: kernel/, gdi/,
    user/, image/ and presenter_kit/ work without any window system;
  - the entry point (entry/) may include the presenters' headers, to list them
    and to run the headless one;
  - GDI (gdi/) includes its own folder, the subset header and the presenter kit's
    code page table: nothing of USER, not the presenter interface, no presenter;
    drawing only marks a window's front image, and USER shows it;
  - a presenter (presenters/NAME/) includes its own folder, the presenter kit
    (presenter_kit/), user/window.h, user/menu.h, kernel/system.h, the subset
    header, standard headers and its toolkit's: never another presenter, never
    the rest of the platform and never a package header.
  - the platform's JavaScript (presenters/web/*.js, playground/runtime/*.js)
    names no file of the package's (TAVLO.SCR), no Run menu command and no menu
    command id as a number: the page code serves any program.
"""
import os
import re
import sys
import tempfile
from pathlib import PurePosixPath, Path

SOURCE_SUFFIXES = {".cpp", ".h"}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
CONDITIONAL = re.compile(r"^\s*#\s*(if|ifdef|ifndef|elif|elifdef|elifndef)\b(.*)")
PLATFORM_MACROS = re.compile(
    r"\b(_WIN32|_WIN64|WIN32|_WINDOWS|__linux__|__linux|__unix__|__unix|__APPLE__|__MACH__|"
    r"_MSC_VER|__MINGW32__|__MINGW64__|__CYGWIN__|__EMSCRIPTEN__|__ANDROID__|__FreeBSD__|"
    r"__GNUC__|__clang__|TAVLO_HAVE_\w+|TAVLO_PLATFORM\w*|QT_VERSION\w*)\b")

PORTABLE = "package/platform/portable"
SUBSET_HEADER = f"{PORTABLE}/win32_portable.h"
KIT = f"{PORTABLE}/presenter_kit"
PRESENTERS = f"{PORTABLE}/presenters"
# What a presenter may use of the platform besides the presenter kit.
PRESENTER_MAY_USE = {f"{PORTABLE}/user/window.h", f"{PORTABLE}/user/menu.h",
                     f"{PORTABLE}/kernel/system.h", SUBSET_HEADER}
# What GDI may use of the platform besides its own folder.
GDI_MAY_USE = {SUBSET_HEADER, f"{KIT}/code_page.h"}


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


def package_headers(root):
    names = {p.name for p in (root / "package/src").glob("*.h")}
    names |= {p.name for p in (root / "package/include").glob("*.h*")}
    return names | {"tavlo.h", "tavlo_version.h", "package_state.h"}


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


def check_conditionals(root, breaches):
    for folder in ("package/src", "demo"):
        for path in sources(root / folder):
            lines = path.read_text(errors="replace").splitlines()
            for number, line in enumerate(lines, 1):
                match = CONDITIONAL.match(line)
                if match and PLATFORM_MACROS.search(match.group(2)):
                    breaches.append(f"{path.relative_to(root)}:{number}: {line.strip()}: the "
                                    "package and the demo are the same on every platform")


# ---------------------------------------------------------------- the portable platform

def presenter_of(file):
    """The presenter folder (presenters/NAME) a tree path lies in, or None."""
    if not file.startswith(PRESENTERS + "/"):
        return None
    parts = file[len(PRESENTERS) + 1:].split("/")
    return f"{PRESENTERS}/{parts[0]}" if len(parts) > 1 else None


def in_folder(file, folder):
    return file.startswith(folder + "/")


def rule_package_headers(file, kind, name, target, packages):
    """No file of the platform sees the package: the layers above it."""
    if PurePosixPath(name).name in packages or re.search(r"(^|/)(package|src|include)/", name):
        return "the platform never includes a package header"
    if target is not None and not in_folder(target, PORTABLE):
        return "the platform never includes a package header"
    return None


def rule_relative_paths(file, kind, name, target, packages):
    """The platform reaches its own files by relative paths, not through include folders."""
    if kind == "<" and re.match(r"(portable|platform|presenters?|presenter_kit|gdi|user|kernel|"
                                r"image|entry)/", name):
        return "the platform reaches its own files by paths relative to the including file"
    return None


def rule_no_presenter_below(file, kind, name, target, packages):
    """Below the presenters (kernel, GDI, USER, image files, the kit) there is no window system."""
    if target is None or presenter_of(file) is not None or in_folder(file, f"{PORTABLE}/entry"):
        return None
    if in_folder(target, PRESENTERS):
        return "the platform outside presenters/ and entry/ includes no presenter"
    return None


def rule_entry_takes_presenter_headers(file, kind, name, target, packages):
    """The entry point may include the presenters' headers, nothing else of them."""
    if target is None or not in_folder(file, f"{PORTABLE}/entry") or not in_folder(target, PRESENTERS):
        return None
    if not target.endswith(".h"):
        return "the entry point includes the presenters' headers only"
    return None


def rule_gdi(file, kind, name, target, packages):
    """GDI draws; USER shows: GDI includes nothing of USER, the presenter kit or a presenter."""
    if target is None or not in_folder(file, f"{PORTABLE}/gdi"):
        return None
    if in_folder(target, f"{PORTABLE}/gdi") or target in GDI_MAY_USE:
        return None
    return ("GDI includes its own folder, the subset header and the code page table only: "
            "nothing of USER, the presenter interface or a presenter")


def rule_presenters(file, kind, name, target, packages):
    """A presenter uses its own folder, the kit and what USER shows of windows and menus."""
    own = presenter_of(file)
    if target is None or own is None:
        return None
    if in_folder(target, own) or in_folder(target, KIT) or target in PRESENTER_MAY_USE:
        return None
    if in_folder(target, PRESENTERS):
        return "a presenter never includes another presenter"
    return ("a presenter includes its own folder, presenter_kit/, user/window.h, user/menu.h "
            "and kernel/system.h of the platform only")


PLATFORM_RULES = [rule_package_headers, rule_relative_paths, rule_no_presenter_below,
                  rule_entry_takes_presenter_headers, rule_gdi, rule_presenters]


def check_platform(root, breaches):
    packages = package_headers(root)
    for path in sources(root / PORTABLE):
        file = path.relative_to(root).as_posix()
        for number, kind, name in includes(path):
            # A quoted name is a path relative to the including file.
            target = None
            if kind == '"':
                target = os.path.normpath(os.path.join(os.path.dirname(file), name))
            for rule in PLATFORM_RULES:
                reason = rule(file, kind, name, target, packages)
                if reason is not None:
                    shown = f'"{name}"' if kind == '"' else f"<{name}>"
                    breaches.append(f"{file}:{number}: includes {shown}: {reason}")
                    break


# ---------------------------------------------------------------- platform JavaScript

# The package's own names, which the platform's page code must not know: its
# script file, its Run menu's commands by label or by number.
PACKAGE_NAMES_IN_JAVASCRIPT = [
    (re.compile(r"TAVLO\.SCR"), "the package's script file name"),
    (re.compile(r"\b(Record|Playback) Script\b"), "a Run menu command of the package"),
    (re.compile(r"\b\w*[Mm]enu\w*\s*\(\s*[^()]*?\b\d+\b[^()]*\)"),
     "a menu command id as a number: the platform does not know the package's menus"),
]


def check_platform_javascript(root, breaches):
    """The platform's page code (presenters/web/*.js, playground/runtime/*.js) serves any
    program: it names no package file (TAVLO.SCR), no Run menu command (Record Script,
    Playback Script) and no menu command id as a number (menuChecked(5))."""
    files = sorted((root / PRESENTERS / "web").glob("*.js"))
    files += sorted((root / "playground/runtime").glob("*.js"))
    for path in files:
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            for pattern, what in PACKAGE_NAMES_IN_JAVASCRIPT:
                match = pattern.search(line)
                if match:
                    breaches.append(f"{path.relative_to(root)}:{number}: {match.group(0)}: {what}")
                    break


def check(root):
    breaches = []
    for folder in ("demo", "examples"):
        check_application_folder(root, folder, breaches)
    check_package(root, breaches)
    check_conditionals(root, breaches)
    check_platform(root, breaches)
    check_platform_javascript(root, breaches)
    return breaches


# ---------------------------------------------------------------- self-test

P = PORTABLE
CLEAN_TREE = {
    "demo/cubes.h": '#pragma once\n#include <cstdint>\n#include "tavlo.h"\n',
    "demo/cubes.cpp": '#include "cubes.h"\n#include <cmath>\n#if 0\n#endif\n',
    "examples/shapes.cpp": '#include "tavlo.h"\n',
    "package/include/tavlo.h": '#pragma once\n#include "win32.h"\n',
    "package/src/package_state.h": '#pragma once\n#include "tavlo.h"\n',
    "package/src/display.cpp": '#include "package_state.h"\n#include <cstdio>\n',
    f"{P}/win32_portable.h": "#pragma once\n#include <cstdint>\n",
    f"{P}/kernel/system.cpp": '#include "system.h"\n#include "../win32_portable.h"\n',
    f"{P}/gdi/draw.cpp": '#include "objects.h"\n#include "../win32_portable.h"\n',
    f"{P}/gdi/font_cache.cpp":
        '#include <ft2build.h>\n#include "../presenter_kit/code_page.h"\n',
    f"{P}/user/paint.cpp":
        '#include "../presenter_kit/presenter.h"\n#include "../gdi/objects.h"\n',
    f"{P}/image/png_file.cpp": '#include <png.h>\n#include "../gdi/objects.h"\n',
    f"{P}/presenter_kit/presenter.cpp":
        '#include "presenter.h"\n#include "../user/activity.h"\n',
    f"{P}/presenters/qt/qt_presenter.cpp":
        '#include "qt_presenter.h"\n#include "../../presenter_kit/presenter.h"\n'
        '#include "../../presenter_kit/keyboard.h"\n#include "../../user/window.h"\n'
        '#include "../../user/menu.h"\n#include <QWidget>\n',
    f"{P}/presenters/web/web_presenter.cpp":
        '#include "page_interface.h"\n#include "../../kernel/system.h"\n'
        '#include "../../win32_portable.h"\n#include <emscripten.h>\n',
    f"{P}/entry/main.cpp":
        '#include "../presenters/headless/headless_presenter.h"\n'
        '#include "../presenters/qt/qt_presenter.h"\n#include "../user/activity.h"\n'
        '#include "../image/png_file.h"\n',
    f"{P}/presenters/web/page_storage.js": "var SCRIPT = program.scriptName;\n"
                                           "if (windows.menuChecked(RECORD)) say('no');\n",
    "playground/runtime/wasi.js": "const first = files[0];\n",
}

# (file, planted text, what the breach names: the file and its reason)
PLANTS = [
    ("demo/cubes.cpp", f'#include "../{P}/presenter_kit/presenter.h"\n', "an application"),
    ("demo/cubes.cpp", '#include "presenter.h"\n', "an application"),
    ("examples/shapes.cpp", "#include <windows.h>\n", "an application"),
    ("examples/shapes.cpp", '#include "win32.h"\n', "an application"),
    ("package/src/display.cpp", '#include "portable/user/window.h"\n', "the package includes"),
    ("package/src/display.cpp", '#include "../platform/portable/gdi/raster.h"\n',
     "the package includes"),
    ("package/src/display.cpp", "#ifdef _WIN32\n#endif\n", "the same on every platform"),
    ("demo/cubes.cpp", "#if defined(__linux__) && 1\n#endif\n", "the same on every platform"),
    ("package/src/display.cpp", "#  elif TAVLO_HAVE_QT\n", "the same on every platform"),
    # The platform never sees the package.
    (f"{P}/presenters/qt/qt_presenter.cpp", '#include "package_state.h"\n',
     "never includes a package header"),
    (f"{P}/presenters/qt/qt_presenter.cpp", '#include "../../../../include/tavlo.h"\n',
     "never includes a package header"),
    (f"{P}/presenters/web/web_presenter.cpp", "#include <tavlo.h>\n",
     "never includes a package header"),
    (f"{P}/kernel/system.cpp", '#include "../../../src/line_format.h"\n',
     "never includes a package header"),
    (f"{P}/entry/main.cpp", '#include "../../../src/package_state.h"\n',
     "never includes a package header"),
    (f"{P}/image/png_file.cpp", "#include <portable/user/window.h>\n", "relative to the including"),
    # Below the presenters, no window system.
    (f"{P}/user/paint.cpp", '#include "../presenters/qt/qt_presenter.h"\n',
     "includes no presenter"),
    (f"{P}/presenter_kit/presenter.cpp", '#include "../presenters/headless/headless_presenter.h"\n',
     "includes no presenter"),
    (f"{P}/entry/main.cpp", '#include "../presenters/headless/headless_presenter.cpp"\n',
     "the presenters' headers only"),
    # GDI marks; USER shows.
    (f"{P}/gdi/draw.cpp", '#include "../user/window.h"\n', "GDI includes"),
    (f"{P}/gdi/draw.cpp", '#include "../presenter_kit/presenter.h"\n', "GDI includes"),
    (f"{P}/gdi/font_cache.cpp", '#include "../presenters/web/web_presenter.h"\n',
     "includes no presenter"),
    # A presenter: its folder, the kit, windows and menus.
    (f"{P}/presenters/qt/qt_presenter.cpp", '#include "../headless/headless_presenter.h"\n',
     "never includes another presenter"),
    (f"{P}/presenters/web/web_presenter.cpp", '#include "../qt/key_map.h"\n',
     "never includes another presenter"),
    (f"{P}/presenters/qt/qt_presenter.cpp", '#include "../../gdi/objects.h"\n',
     "a presenter includes its own folder"),
    (f"{P}/presenters/web/web_presenter.cpp", '#include "../../user/paint.cpp"\n',
     "a presenter includes its own folder"),
    (f"{P}/presenters/qt/qt_presenter.cpp", '#include "../../entry/options.h"\n',
     "a presenter includes its own folder"),
]

JAVASCRIPT_PLANTS = [
    (f"{P}/presenters/web/page_storage.js", "var SCRIPT = 'TAVLO.SCR';\n", "script file name"),
    (f"{P}/presenters/web/page_storage.js", "say('Record Script is on');\n", "Run menu command"),
    ("playground/runtime/wasi.js", "// choose Playback Script\n", "Run menu command"),
    (f"{P}/presenters/web/page_storage.js", "if (menuChecked(5)) say('recording');\n",
     "menu command id"),
    ("playground/runtime/wasi.js", "const on = windows.menuChecked( 6 );\n", "menu command id"),
]


def self_test():
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        root = Path(folder)

        def write_tree(extra_file=None, extra_text=""):
            for name, text in CLEAN_TREE.items():
                (root / name).parent.mkdir(parents=True, exist_ok=True)
                (root / name).write_text(text + (extra_text if name == extra_file else ""))

        write_tree()
        if check(root):
            failures.append(f"the clean tree is reported: {check(root)}")
        for file, text, reason in PLANTS + JAVASCRIPT_PLANTS:
            write_tree(file, text)
            found = check(root)
            if len(found) != 1 or not found[0].startswith(file) or reason not in found[0]:
                failures.append(f"planted {text.strip()!r} in {file}: reported {found}")
    for failure in failures:
        print("FAIL:", failure)
    if not failures:
        print(f"layer check: a clean tree passes, each of {len(PLANTS)} planted breaches of the "
              f"include rules and {len(JAVASCRIPT_PLANTS)} of the JavaScript rule is found")
    return 1 if failures else 0


def main():
    arguments = sys.argv[1:]
    if arguments == ["--self-test"]:
        return self_test()
    if len(arguments) != 1:
        print(__doc__)
        return 2
    breaches = check(Path(arguments[0]))
    for breach in breaches:
        print(breach)
    if breaches:
        print(f"{len(breaches)} breaches of the layers")
        return 1
    print("layers hold")
    return 0


if __name__ == "__main__":
    sys.exit(main())
