#!/usr/bin/env python3
"""Type-checks the sample applications' scripts against the script typings.

    check_scripts.py --tsc TSC_JS --work DIR [--root DIR]

Every .js file under examples/ and tools/ that starts with "// @ts-check" is
checked with the TypeScript compiler (tsc --noEmit), one application at a
time (the scripts of a page share its globals, those of two applications do
not), with types/ombrel.d.ts, the page's browser library ("dom") and strict
checks. The typings are also compiled alone, without "dom", as an
application that uses only the page engine's script would. Exits 1 when tsc
reports anything.
"""
import argparse
import json
import pathlib
import subprocess
import sys

COMPILER_OPTIONS = {
    "allowJs": True,
    "checkJs": False,  # only files that ask for it with // @ts-check
    "noEmit": True,
    "strict": True,
    "target": "es5",
    "types": [],
}


def checked_scripts(root):
    """{application folder: [scripts]} for scripts that start with // @ts-check."""
    apps = {}
    for top in ("examples", "tools"):
        for script in sorted((root / top).glob("**/*.js")):
            head = script.read_text(encoding="utf-8", errors="replace").splitlines()[:5]
            if not any(line.strip() == "// @ts-check" for line in head):
                continue
            app = root / top / script.relative_to(root / top).parts[0]
            apps.setdefault(app, []).append(script)
    return apps


def run_tsc(tsc, work, name, files, lib):
    config = {"compilerOptions": dict(COMPILER_OPTIONS, lib=lib), "files": [str(f) for f in files]}
    work.mkdir(parents=True, exist_ok=True)
    config_path = work / f"tsconfig.{name}.json"
    config_path.write_text(json.dumps(config, indent=2), encoding="utf-8")
    result = subprocess.run(["node", str(tsc), "--pretty", "false", "-p", str(config_path)],
                            capture_output=True, text=True)
    output = (result.stdout + result.stderr).strip()
    print(f"tsc {name} ({len(files)} file(s), lib {'+'.join(lib)}): "
          f"{'ok' if result.returncode == 0 else 'errors'}")
    if output:
        print(output)
    return result.returncode == 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", type=pathlib.Path,
                        default=pathlib.Path(__file__).resolve().parent.parent)
    parser.add_argument("--tsc", type=pathlib.Path, required=True, help="typescript/bin/tsc")
    parser.add_argument("--work", type=pathlib.Path, required=True, help="folder for the configurations")
    args = parser.parse_args()
    if not args.tsc.is_file():
        print(f"check_scripts: no TypeScript compiler at {args.tsc}: run scripts/setup.sh", file=sys.stderr)
        return 1
    typings = args.root / "types" / "ombrel.d.ts"
    ok = run_tsc(args.tsc, args.work, "typings", [typings], ["es5"])
    apps = checked_scripts(args.root)
    if not apps:
        print("check_scripts: no script starts with // @ts-check", file=sys.stderr)
        return 1
    for app, scripts in sorted(apps.items()):
        name = "-".join(app.relative_to(args.root).parts)
        ok = run_tsc(args.tsc, args.work, name, [typings] + scripts, ["es5", "dom"]) and ok
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
