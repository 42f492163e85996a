#!/usr/bin/env python3
"""Fails when a source file includes a header from a layer above its own.

The layers, bottom to top: platform, data, exchange, session, screens, shell, startup. The
platform's core part (the sources of orvandel_platform_core: Qt Core, and Qt Gui for fonts) must
not reach its widgets part, so that command-line tools link without QtWidgets. tools/ sits on the core platform, the data layer
and the exchange layer (spreadsheet files in and out).
"""
import pathlib
import re
import sys

LAYERS = ["platform", "data", "exchange", "session", "screens", "shell", "startup"]
TOOLS_MAY_USE = {"platform_core", "data", "exchange", "tools"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def platform_core_stems(src):
    cmake = (src / "platform" / "CMakeLists.txt").read_text()
    block = re.search(r"add_library\(orvandel_platform_core\s+STATIC(.*?)\)", cmake, re.S)
    return {pathlib.Path(name).stem for name in block.group(1).split()}


def layer_of_header(path, core):
    top = path.split("/", 1)[0]
    if top == "platform" and pathlib.Path(path).stem in core:
        return "platform_core"
    return top


def rank(layer):
    # The core platform sits just below the rest of the platform.
    if layer == "platform_core":
        return -1
    return LAYERS.index(layer) if layer in LAYERS else None


def violations(root):
    src = root / "src"
    core = platform_core_stems(src)
    found = []
    for file in sorted(list(src.rglob("*.[ch]*")) + list((root / "tools").rglob("*.[ch]*"))):
        relative = file.relative_to(root).as_posix()
        parts = relative.split("/")
        if parts[0] == "tools":
            own = "tools"
        elif len(parts) == 2:
            own = "main"  # src/main.cpp: the executable, above every layer
        else:
            own = layer_of_header("/".join(parts[1:]), core)
        for header in INCLUDE.findall(file.read_text(errors="replace")):
            if header.endswith(".moc"):
                continue
            target = layer_of_header(header, core)
            if "/" not in header:
                found.append(f"{relative}: \"{header}\" does not name its layer")
            elif own == "main":
                continue
            elif own == "tools":
                if target not in TOOLS_MAY_USE:
                    found.append(f"{relative}: a tool includes \"{header}\" ({target})")
            elif rank(target) is None or rank(target) > rank(own):
                found.append(f"{relative} ({own}) includes \"{header}\" from above ({target})")
    return found


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    found = violations(root)
    for line in found:
        print(line)
    print(f"{len(found)} wrong-way includes")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
