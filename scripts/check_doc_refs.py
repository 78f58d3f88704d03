#!/usr/bin/env python3
"""Checks that the `backticked` names in the docs exist in the source tree.

  scripts/check_doc_refs.py [docs/internals.md ...]

A path (with a slash or a source suffix) must name a file or folder; `a/b.*` and `a/b.h/.cpp`
name a file's pair. An identifier (`Type`, `Type::Member`, `Call()`) must occur as a word in a
source file; for `A::B` both parts must. Other texts (options, file lines, messages) are
looked up as they are. Comments that send the reader to a section (docs/x.md, "Title") must
name a heading of that page (its first words, as a comment may wrap the title). A call with arguments (`Map(at, press)`, `windows.Map(...)`) is checked
by the function's name. Names of the systems below (system calls, paths of the OS) and the
naming patterns of internals.md are listed in SYSTEM_NAMES. Prints every name not found and
exits 1 when there is any.
"""
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SOURCE_DIRS = ["app", "engine", "platform", "programs", "shaping", "testkit", "tests", "cmake",
               "scripts", "bench", "fuzz", "assets"]
SYSTEM_NAMES = {"ChangeWindowMessageFilterEx", "/proc/PID/exe", "/proc/PID/comm", "#ifdef",
                "x11_", "qt_", "posix_", "win32_", "wayland_", "CamelCase", "snake_case",
                "snake_case_", "kCamelCase", "On…", "platform/*.h"}
SUFFIXES = (".h", ".cpp", ".cmake", ".txt", ".json", ".xml", ".md", ".rc", ".py", ".sh")


def load_sources():
    texts = []
    names = set()
    for top in SOURCE_DIRS + ["."]:
        base = os.path.join(ROOT, top)
        walk = os.walk(base) if top != "." else [(ROOT, [], os.listdir(ROOT))]
        for folder, folders, files in walk:
            names.update(folders)
            for name in files:
                path = os.path.join(folder, name)
                names.add(name)
                if name.endswith(SUFFIXES) and os.path.isfile(path):
                    with open(path, encoding="utf-8", errors="replace") as f:
                        texts.append(f.read())
    return "\n".join(texts), names


def path_exists(token, names):
    if token.endswith("/") and token.count("/") == 1 and token[:-1] in names:
        return True  # a folder named in the context of its parent
    token = token.rstrip("/")
    for cand in re.split(r",\s*", token):
        stem = re.sub(r"(\.\*|\.h/\.cpp|/\.cpp)$", "", cand)
        options = [cand, stem + ".h", stem + ".cpp", stem]
        if any(os.path.exists(os.path.join(ROOT, o)) for o in options):
            continue
        if "/" not in stem and (stem in names or stem + ".h" in names or stem + ".cpp" in names):
            continue  # a file named in the context of its folder
        return False
    return True


def word_in(word, text):
    return re.search(r"(?<![A-Za-z0-9_])" + re.escape(word) + r"(?![A-Za-z0-9_])", text)


def section_refs():
    """Yields (where, page, title) for each docs/x.md, "Title" in the sources."""
    for top in SOURCE_DIRS:
        for folder, _, files in os.walk(os.path.join(ROOT, top)):
            for name in files:
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.join(folder, name)
                with open(path, encoding="utf-8", errors="replace") as f:
                    for n, line in enumerate(f, 1):
                        for page, title in re.findall(r'docs/([\w-]+\.md), "([^"]+)', line):
                            yield f"{os.path.relpath(path, ROOT)}:{n}", page, title


def main(paths):
    text, names = load_sources()
    missing = []
    for where, page, title in section_refs():
        doc = os.path.join(ROOT, "docs", page)
        heads = []
        if os.path.exists(doc):
            with open(doc, encoding="utf-8") as f:
                heads = [h.strip() for h in re.findall(r"^#+ (.+)$", f.read(), re.M)]
        if not any(h.startswith(title.strip()) for h in heads):
            missing.append(f'{where}: docs/{page}, "{title}"')
    for doc in paths:
        with open(doc, encoding="utf-8") as f:
            body = f.read()
        for n, line in enumerate(body.splitlines(), 1):
            for token in re.findall(r"`([^`]+)`", line):
                t = token.strip()
                call = re.match(r"^([A-Za-z_][\w:]*\.)?([A-Za-z_][\w:]*)\((.*)\)$", t)
                if t in SYSTEM_NAMES:
                    ok = True
                elif call:
                    ok = all(word_in(p, text) for p in call.group(2).split("::") if p)
                elif re.match(r"^[\w./*,\s-]+$", t) and ("/" in t or t.endswith(SUFFIXES + (".*",))):
                    ok = path_exists(t, names)
                elif re.match(r"^[A-Za-z_][\w:]*(\(\))?$", t):
                    ok = all(word_in(p, text) for p in t.replace("()", "").split("::") if p)
                else:
                    ok = t in text
                if not ok:
                    missing.append(f"{doc}:{n}: `{t}`")
    for m in missing:
        print(m)
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:] or [os.path.join(ROOT, "docs", "internals.md")]))
