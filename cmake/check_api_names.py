#!/usr/bin/env python3
"""Checks that the script typings and the reference name exactly the members
that the plug-ins' name tables give script.

    check_api_names.py [--root DIR]

Sources read (relative to the root):
  app/plugins/**/*.cpp, vellum/**/*.cpp   the name tables: every
      "DispMember<Class> table[] = { {id, L"name", ...}, ... }", and for a
      class without such a table the names its ::GetIDsOfNames compares;
      plug-in names from OMB_REGISTER_BUILTIN_PLUGIN(L"name", Class, ...) and
      from a library's AnswerCreateInterface<Class>(..., {L"name", ...}).
  types/ombrel.d.ts   Ombrel.PluginMap (plug-in name -> interface) and the
      members of each interface.
  docs/*.md           sections whose "## " heading names `Ombrel.<Interface>`,
      with one "### `member`" heading per member.

A table belongs to the plug-in its class is registered as; tables of other
objects (the window's message object, menu objects, ...) are tied to their
interface by OWNERS below. A class with names and no owner fails the check,
so a new object's table cannot go unnoticed. Exits 1 with one line per
difference.
"""
import argparse
import pathlib
import re
import sys

# Script objects that are not plug-ins: the C++ class of the name table ->
# the interface in the typings.
OWNERS = {
    "CMsgDispatch": "MessageObject",
    "CMenuDispatch": "MenuObject",
    "CCmdArgs": "CommandLine",
    "CHashBase": "Digest",
    "CClientDispatch": "DownloadClient",
}

# Plug-ins whose typings and pages are written before their sources are on
# this branch, with the object interfaces only they hand out. While a
# plug-in's name table is missing its typings are not compared; once the
# table is there it is checked like any other (and the entry can go).
PENDING = {}

IDENT = r"[A-Za-z_]\w*"


def strip_cpp_comments(text):
    text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
    return re.sub(r"//[^\n]*", "", text)


def block_after(text, start):
    """The text between the brace at or after start and its partner."""
    open_at = text.index("{", start)
    depth = 0
    for i in range(open_at, len(text)):
        if text[i] == "{":
            depth += 1
        elif text[i] == "}":
            depth -= 1
            if depth == 0:
                return text[open_at + 1:i]
    raise ValueError("unbalanced braces")


def base_name(cls):
    return cls.split("::")[-1]


def read_sources(root):
    """-> (tables {class: (names, file)}, plugins {name: class})"""
    tables, fallbacks, plugins = {}, {}, {}
    files = sorted(root.glob("app/plugins/**/*.cpp")) + sorted(root.glob("vellum/**/*.cpp"))
    for path in files:
        text = strip_cpp_comments(path.read_text(encoding="utf-8", errors="replace"))
        rel = path.relative_to(root).as_posix()
        aliases = {m.group(1): base_name(m.group(2))
                   for m in re.finditer(rf"using\s+({IDENT})\s*=\s*([\w:]+)\s*;", text)}
        for m in re.finditer(rf"DispMember<\s*([\w:]+)\s*>\s+({IDENT})\s*\[\s*\]\s*=", text):
            cls = aliases.get(m.group(1), base_name(m.group(1)))
            body = block_after(text, m.end())
            names = re.findall(r'\{\s*[^,{}]+,\s*L"([^"]*)"', body)
            tables.setdefault(cls, ([], rel))[0].extend(names)
        for m in re.finditer(rf"({IDENT})::GetIDsOfNames\s*\([^)]*\)[^{{;]*\{{", text):
            names = re.findall(r'L"([^"]+)"', block_after(text, m.end() - 1))
            if names:
                fallbacks.setdefault(m.group(1), (names, rel))
        for m in re.finditer(r'OMB_REGISTER_BUILTIN_PLUGIN\s*\(\s*L"([^"]+)"\s*,\s*([\w:]+)', text):
            plugins[m.group(1)] = base_name(m.group(2))
        for m in re.finditer(r'AnswerCreateInterface\s*<\s*([\w:]+)\s*>\s*\([^{]*\{\s*L"([^"]+)"', text):
            plugins[m.group(2)] = base_name(m.group(1))
    for cls, entry in fallbacks.items():
        tables.setdefault(cls, entry)
    return tables, plugins


def strip_ts_comments(text):
    text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
    return re.sub(r"//[^\n]*", "", text)


def read_typings(path):
    """-> (interfaces {name: set of members}, plugin map {plug-in: interface})"""
    text = strip_ts_comments(path.read_text(encoding="utf-8"))
    interfaces = {}
    for m in re.finditer(rf"\binterface\s+({IDENT})\s*(<[^{{]*>)?\s*(extends[^{{]*)?\{{", text):
        body = block_after(text, m.end() - 1)
        members = set()
        depth = 0
        statement_start = True
        i = 0
        while i < len(body):
            c = body[i]
            if c in "({[<":
                depth += 1
            elif c in ")}]" or (c == ">" and body[i - 1] != "="):
                depth -= 1
            elif c == ";" and depth == 0:
                statement_start = True
            elif depth == 0 and statement_start and not c.isspace():
                member = re.match(rf"(?:readonly\s+)?(?:(?:get|set)\s+(?={IDENT}))?({IDENT})", body[i:])
                if member:
                    members.add(member.group(1))
                    i += member.end()
                    statement_start = False
                    continue
                statement_start = False
            i += 1
        interfaces.setdefault(m.group(1), set()).update(members)
    plugin_map = {}
    m = re.search(r"\binterface\s+PluginMap\s*\{", text)
    if m:
        for name, type_text in re.findall(rf"({IDENT})\s*:\s*([^;]+);", block_after(text, m.end() - 1)):
            plugin_map[name] = re.match(rf"(?:Ombrel\.)?({IDENT})", type_text.strip()).group(1)
    return interfaces, plugin_map


def read_docs(folder):
    """-> {interface: {member: page}}, and the pages by file name."""
    documented = {}
    pages = set()
    for page in sorted(folder.glob("*.md")):
        pages.add(page.stem)
        current = None
        in_code = False
        for line in page.read_text(encoding="utf-8").splitlines():
            if line.startswith("```"):
                in_code = not in_code
                continue
            if in_code:
                continue
            if line.startswith("## "):
                m = re.search(rf"`Ombrel\.({IDENT})`", line)
                current = m.group(1) if m else None
                if current:
                    documented.setdefault(current, {})
            elif line.startswith("### ") and current:
                m = re.match(rf"### `({IDENT})", line)
                if m:
                    documented[current][m.group(1)] = page.name
    return documented, pages


def check(root):
    problems, notes = [], []
    tables, plugins = read_sources(root)
    interfaces, plugin_map = read_typings(root / "types" / "ombrel.d.ts")
    documented, pages = read_docs(root / "docs")

    # Plug-in names: registered in the sources <-> PluginMap of the typings.
    for name in sorted(set(plugins) - set(plugin_map)):
        problems.append(f"plug-in '{name}' is registered but missing from Ombrel.PluginMap in the typings")
    for name in sorted(set(plugin_map) - set(plugins)):
        if name in PENDING:
            notes.append(f"plug-in '{name}' is pending: its typings are not compared yet")
        else:
            problems.append(f"Ombrel.PluginMap names plug-in '{name}', which no source registers")
    for name in sorted(plugins):
        if name not in pages:
            problems.append(f"plug-in '{name}' has no reference page docs/{name}.md")
    for name in sorted(set(plugins) & set(PENDING)):
        notes.append(f"plug-in '{name}' has its sources now: it can leave PENDING in {pathlib.Path(__file__).name}")

    # Which interface each name table belongs to.
    owner_of = {cls: plugin_map.get(name) for name, cls in plugins.items()}
    owner_of.update(OWNERS)
    compared = set()
    for cls, (names, source) in sorted(tables.items()):
        interface = owner_of.get(cls)
        if not interface:
            if cls in plugins.values():
                continue  # reported above as missing from PluginMap
            problems.append(f"{source}: the name table of {cls} has no owner: add the class and its "
                            f"interface to OWNERS in {pathlib.Path(__file__).name}")
            continue
        compared.add(interface)
        where = f"{source} ({cls})"
        typed = interfaces.get(interface)
        if typed is None:
            problems.append(f"{where}: interface Ombrel.{interface} is missing from the typings")
            typed = set()
        docs = documented.get(interface)
        if docs is None:
            problems.append(f"{where}: no reference section names `Ombrel.{interface}`")
            docs = {}
        for member in sorted(set(names) - typed):
            problems.append(f"{where}: member '{member}' is missing from Ombrel.{interface} in the typings")
        for member in sorted(typed - set(names)):
            problems.append(f"types/ombrel.d.ts: Ombrel.{interface} names '{member}', which {cls} does not have")
        for member in sorted(set(names) - set(docs)):
            problems.append(f"{where}: member '{member}' of Ombrel.{interface} is not documented in docs/")
        for member in sorted(set(docs) - set(names)):
            problems.append(f"docs/{docs[member]}: documents '{member}' of Ombrel.{interface}, "
                            f"which {cls} does not have")

    # Reference sections of interfaces that stand for no name table.
    pending_objects = {i for name, objects in PENDING.items() if name not in plugins for i in objects}
    pending_objects |= {plugin_map[name] for name in PENDING if name in plugin_map and name not in plugins}
    for interface in sorted(set(documented) - compared):
        if interface in pending_objects:
            continue
        if interface in interfaces and interface not in plugin_map.values() and interface not in OWNERS.values():
            continue  # an option or helper type, documented for convenience
        pages_of = sorted(set(documented[interface].values())) or ["docs/"]
        problems.append(f"{', '.join(pages_of)}: section `Ombrel.{interface}` matches no name table in the sources")
    return problems, notes


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", type=pathlib.Path,
                        default=pathlib.Path(__file__).resolve().parent.parent)
    args = parser.parse_args()
    problems, notes = check(args.root)
    for note in notes:
        print(f"note: {note}")
    for problem in problems:
        print(f"error: {problem}")
    if problems:
        print(f"api names: {len(problems)} difference(s) between the name tables, the typings and docs/")
        return 1
    print("api names: the typings and docs/ match the name tables")
    return 0


if __name__ == "__main__":
    sys.exit(main())
