#!/usr/bin/env python3
"""Writes scripts.txt for a script server laid out as a folder.

    make_catalog.py [SERVER_FOLDER]      (default: the folder of this script)

SERVER_FOLDER holds catalog.json (each script's version, description, notes
and files) and one folder per script, named as the script, with its files
at their relative paths. Every listed file gets the MD5 of its current
content; run this again after changing any file, then publish the folder
as it is (copy it to a web server, or point `url` at it directly).
"""
import hashlib
import json
import os
import sys


def digest(path):
    with open(path, "rb") as data:
        return hashlib.md5(data.read()).hexdigest().upper()


def script_section(folder, script):
    lines = ["[%s]" % script["name"]]
    if script.get("version"):
        lines.append("version = %s" % script["version"])
    if script.get("desc"):
        lines.append("desc = %s" % script["desc"])
    for note in script.get("notes", []):
        lines.append("note = %s" % note)
    for key, listed in (("file", script.get("files", [])), ("keep", script.get("keep", []))):
        for relative in listed:
            path = os.path.join(folder, script["name"], *relative.split("/"))
            lines.append("%s = %s|%s" % (key, relative, digest(path)))
    return lines


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(folder, "catalog.json"), encoding="utf-8") as source:
        scripts = json.load(source)["scripts"]
    lines = ["; Catalog of the demo script server, written by make_catalog.py.", ""]
    for script in scripts:
        lines.extend(script_section(folder, script))
        lines.append("")
    with open(os.path.join(folder, "scripts.txt"), "w", encoding="utf-8", newline="\n") as out:
        out.write("\n".join(lines))
    return 0


if __name__ == "__main__":
    sys.exit(main())
