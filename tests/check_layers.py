#!/usr/bin/env python3
"""Fails when a file under src/ includes one from a higher layer.

Layers, lowest first: base, platform, the subsystems' models, controls, the
windows (frm*, ctl*), shell, and the programs in app/. A file may include
files of its own layer or below; a model never includes a window.
"""
import re
import sys
from pathlib import Path

LAYERS = ["base", "platform", "model", "controls", "window", "shell", "app"]
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.MULTILINE)


def layer_of(path: Path, src: Path) -> str:
    parts = path.relative_to(src).parts
    top, name = parts[0], path.name
    if top in ("base", "platform", "controls", "app"):
        return top
    is_form = name.startswith(("frm", "ctl", "modForms", "modMain"))
    if top == "shell":
        return "shell" if is_form else "model"
    return "window" if is_form else "model"


def resolve(include: str, src: Path, forms: dict) -> Path | None:
    if include.startswith("ui_"):  # generated from the .ui file beside its class
        return forms.get(include[3:-2])
    target = src / include
    return target if target.exists() else None


def main() -> int:
    src = Path(sys.argv[1]).resolve()
    files = [p for p in src.rglob("*") if p.suffix in (".cpp", ".h")]
    forms = {p.stem: p for p in src.rglob("*.ui")}
    faults = []
    for path in files:
        own = LAYERS.index(layer_of(path, src))
        for include in INCLUDE.findall(path.read_text(encoding="utf-8")):
            target = resolve(include, src, forms)
            if target is None:
                faults.append(f"{path.relative_to(src)}: \"{include}\" is not a file under src/")
                continue
            theirs = LAYERS.index(layer_of(target, src))
            if theirs > own:
                faults.append(f"{path.relative_to(src)} ({LAYERS[own]}) includes "
                              f"{target.relative_to(src)} ({LAYERS[theirs]})")
    for fault in sorted(faults):
        print(fault)
    print(f"{len(files)} files checked, {len(faults)} includes against the layers")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
