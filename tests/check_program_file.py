#!/usr/bin/env python3
"""Reads a built Updater.exe and fails when it lacks what real Windows needs.

    check_program_file.py PROGRAM.exe VERSION

Checked: the manifest as resource 1 (the one Windows makes the process's
activation context from) and as resource 2, each asking for the common
controls 6.0.0.0, for asInvoker without UI access, declaring per-monitor
DPI awareness (v2, then v1) with the system-DPI fallback of Windows 7 and 8
in the application's windowsSettings, and naming Windows 7, 8, 8.1 and
10/11; the version resource with VERSION and the program's names; the
header flags (terminal-server aware, DEP, ASLR with its relocations,
large-address aware, a subsystem version of at least 6.0); no symbols or
debug sections; an import table (and delay-load table) that names only
KnownDLLs, so that no library of its imports can be taken from the
program's own folder. VERSION must have four numbers: Windows refuses to
start a program whose manifest identity has fewer. Every
missing piece is printed on a line of its own; the exit code is 1 when any
is missing.
"""
import struct
import sys
import xml.etree.ElementTree as ElementTree

RT_VERSION = 16
RT_MANIFEST = 24
DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100
TERMINAL_SERVER_AWARE = 0x8000
RELOCS_STRIPPED = 0x0001
LARGE_ADDRESS_AWARE = 0x0020
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"
WINDOWS_SETTINGS_2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
WINDOWS_SETTINGS_2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"
# Each DPI element, in its namespace, and the value Windows must read there:
# dpiAware is all Windows 7 and 8 know (true: the system's DPI; /pm: per
# monitor from 8.1); dpiAwareness, from Windows 10 1607, is a list tried in
# order, and it overrides dpiAware where it is understood.
DPI_SETTINGS = (
    (WINDOWS_SETTINGS_2005 + "dpiAware", "true/pm"),
    (WINDOWS_SETTINGS_2016 + "dpiAwareness", "PerMonitorV2, PerMonitor"),
)
SUPPORTED_OS = {
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "Windows 7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "Windows 8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "Windows 8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "Windows 10 and 11",
}
# Libraries that Windows 7 to 11 load from the system folder only, whatever
# lies beside the program (the KnownDLLs of every supported version, 32-bit).
# Anything else in the import table would be looked for beside Updater.exe
# first; such libraries are bound at run time by full name instead.
# COMCTL32 comes through the manifest's side-by-side dependency (checked
# below), which the loader resolves before looking beside the program.
KNOWN_DLLS = {
    "advapi32.dll", "clbcatq.dll", "comdlg32.dll", "gdi32.dll", "imagehlp.dll", "imm32.dll",
    "kernel32.dll", "msctf.dll", "msvcrt.dll", "normaliz.dll", "nsi.dll", "ole32.dll",
    "oleaut32.dll", "psapi.dll", "rpcrt4.dll", "sechost.dll", "setupapi.dll", "shell32.dll",
    "shlwapi.dll", "user32.dll", "wldap32.dll", "ws2_32.dll",
}
SIDE_BY_SIDE_DLLS = {"comctl32.dll"}
VERSION_STRINGS = {
    "CompanyName": "Morvane",
    "FileDescription": "Zentora Script Updater",
    "ProductName": "Zentora Script Updater",
    "OriginalFilename": "Updater.exe",
}


class Image:
    """The parts of a PE32 file that the checks read."""

    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[:2] != b"MZ" or data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        (_, sections, _, self.symbol_table, _, optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        if struct.unpack_from("<H", data, optional)[0] != 0x10B:
            raise ValueError("not a 32-bit (PE32) image")
        self.subsystem_version = struct.unpack_from("<HH", data, optional + 48)
        self.dll_characteristics = struct.unpack_from("<H", data, optional + 70)[0]
        self.directories = [struct.unpack_from("<II", data, optional + 96 + 8 * i)
                            for i in range(16)]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            name, _, rva, raw_size, raw_at = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((name.rstrip(b"\0").decode("latin-1"), rva, raw_size, raw_at))

    def at(self, rva):
        """The file offset of a relative virtual address."""
        for _, start, size, raw_at in self.sections:
            if start <= rva < start + size:
                return raw_at + rva - start
        raise ValueError("address %#x outside every section" % rva)

    def resources(self):
        """{(type, id): bytes} for every resource named by a number."""
        rva, size = self.directories[2]
        if size == 0:
            return {}
        base = self.at(rva)
        found = {}

        def entries(offset):
            named, numbered = struct.unpack_from("<HH", self.data, base + offset + 12)
            for i in range(named + numbered):
                key, target = struct.unpack_from("<II", self.data, base + offset + 16 + 8 * i)
                yield key, target

        for type_id, type_target in entries(0):
            for name_id, name_target in entries(type_target & 0x7FFFFFFF):
                for _, language_target in entries(name_target & 0x7FFFFFFF):
                    data_rva, data_size = struct.unpack_from("<II", self.data,
                                                             base + language_target)
                    start = self.at(data_rva)
                    found[(type_id, name_id)] = self.data[start:start + data_size]
        return found

    def text(self, rva):
        """The zero-terminated ASCII text at a relative virtual address."""
        start = self.at(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("latin-1")

    def imported_libraries(self):
        """The library names of the import table and of the delay-load table."""
        names = []
        for directory, entry_size, name_at in ((1, 20, 12), (13, 32, 4)):
            rva, size = self.directories[directory]
            at = self.at(rva) if size else None
            while at is not None:
                entry = self.data[at:at + entry_size]
                if len(entry) < entry_size or not any(entry):
                    break
                names.append(self.text(struct.unpack_from("<I", entry, name_at)[0]))
                at += entry_size
        return names


def version_blocks(data, offset=0):
    """Walks a VS_VERSIONINFO tree: yields (key, value bytes, is_text) of every node."""
    length, value_length, is_text = struct.unpack_from("<HHH", data, offset)
    end = offset + length
    key_end = data.index(b"\0\0", offset + 6)
    while (key_end - offset - 6) % 2:
        key_end = data.index(b"\0\0", key_end + 1)
    key = data[offset + 6:key_end].decode("utf-16-le")
    value_at = (key_end + 2 + 3) & ~3
    value_bytes = value_length * 2 if is_text else value_length
    yield key, data[value_at:value_at + value_bytes], is_text
    child = (value_at + value_bytes + 3) & ~3
    while child < end:
        child_length = struct.unpack_from("<H", data, child)[0]
        if child_length == 0:
            break
        yield from version_blocks(data, child)
        child = (child + child_length + 3) & ~3


def check_dpi_settings(root, name, problems):
    """The DPI elements count only inside asm.v3 application/windowsSettings."""
    settings = root.findall("%sapplication/%swindowsSettings" % (ASM_V3, ASM_V3))
    for tag, expected in DPI_SETTINGS:
        values = [element.text.strip().lower() for block in settings
                  for element in block.findall(tag) if element.text]
        if values != [expected.lower()]:
            problems.append("%s does not declare %s %r in the application's windowsSettings"
                            " (found %r)" % (name, tag.split("}")[1], expected, values))


def check_manifest(text, name, version, problems):
    try:
        root = ElementTree.fromstring(text)
    except ElementTree.ParseError as error:
        problems.append("%s is not well-formed XML: %s" % (name, error))
        return
    identity = root.find(ASM_V1 + "assemblyIdentity")
    if identity is None or identity.get("version") != version:
        problems.append("%s's identity does not carry version %s" % (name, version))
    controls = [identity for identity in root.iter(ASM_V1 + "assemblyIdentity")
                if identity.get("name") == "Microsoft.Windows.Common-Controls"]
    if not any(identity.get("version") == "6.0.0.0" for identity in controls):
        problems.append("%s does not ask for the common controls 6.0.0.0" % name)
    levels = list(root.iter(ASM_V3 + "requestedExecutionLevel"))
    if not any(level.get("level") == "asInvoker" and level.get("uiAccess") == "false"
               for level in levels):
        problems.append("%s has no requestedExecutionLevel asInvoker without uiAccess" % name)
    check_dpi_settings(root, name, problems)
    declared = {os.get("Id", "").lower() for os in root.iter(COMPATIBILITY + "supportedOS")}
    for guid, system in SUPPORTED_OS.items():
        if guid not in declared:
            problems.append("%s does not name %s as a supported system" % (name, system))


def check_version(data, version, problems):
    if data is None:
        problems.append("no version resource (VERSIONINFO)")
        return
    nodes = list(version_blocks(data))
    fixed = nodes[0][1]
    signature, _, ms, ls, product_ms, product_ls = struct.unpack_from("<IIIIII", fixed)
    numbers = "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    if signature != 0xFEEF04BD or numbers != version or (product_ms, product_ls) != (ms, ls):
        problems.append("version resource numbers are %s, not %s" % (numbers, version))
    texts = {key: value.decode("utf-16-le").rstrip("\0")
             for key, value, is_text in nodes if is_text}
    expected = dict(VERSION_STRINGS, FileVersion=version, ProductVersion=version)
    for key, value in expected.items():
        if texts.get(key) != value:
            problems.append("version resource %s is %r, not %r" % (key, texts.get(key), value))


def check_header(image, problems):
    flags = image.dll_characteristics
    for flag, name in ((TERMINAL_SERVER_AWARE, "terminal-server aware"), (NX_COMPAT, "DEP (NX)"),
                       (DYNAMIC_BASE, "ASLR (dynamic base)")):
        if not flags & flag:
            problems.append("header is not %s" % name)
    if not image.characteristics & LARGE_ADDRESS_AWARE:
        problems.append("header is not large-address aware")
    if image.characteristics & RELOCS_STRIPPED or image.directories[5][1] == 0:
        problems.append("no base relocations: ASLR cannot move the image")
    if image.subsystem_version < (6, 0):
        problems.append("subsystem version %d.%d is older than 6.0" % image.subsystem_version)
    debug = [name for name, _, _, _ in image.sections
             if name.startswith(".debug") or name.startswith("/")]
    if debug or image.symbol_table != 0 or image.directories[6][1] != 0:
        problems.append("debug information left in: %s" % (", ".join(debug) or "symbol table"))


def check_imports(image, problems):
    for name in image.imported_libraries():
        if name.lower() not in KNOWN_DLLS | SIDE_BY_SIDE_DLLS:
            problems.append("imports %s, which is not a KnownDLL: Windows would take a file of "
                            "that name from the program's folder" % name)


def main(arguments):
    if len(arguments) != 3:
        sys.stderr.write(__doc__)
        return 2
    program, version = arguments[1], arguments[2]
    parts = version.split(".")
    if len(parts) != 4 or not all(part.isdigit() and int(part) < 65536 for part in parts):
        sys.stderr.write("VERSION must be four numbers from 0 to 65535, not %r\n" % version)
        return 2
    with open(program, "rb") as file:
        image = Image(file.read())
    problems = []
    check_header(image, problems)
    resources = image.resources()
    manifests = [resources.get((RT_MANIFEST, number)) for number in (1, 2)]
    for number, manifest in zip((1, 2), manifests):
        if manifest is None:
            problems.append("no manifest resource %d" % number)
        else:
            check_manifest(manifest, "manifest %d" % number, version, problems)
    if None not in manifests and manifests[0] != manifests[1]:
        problems.append("manifests 1 and 2 differ")
    check_version(resources.get((RT_VERSION, 1)), version, problems)
    check_imports(image, problems)
    for problem in problems:
        print("%s: %s" % (program, problem))
    if problems:
        return 1
    print("%s: manifests 1 and 2, version %s, header flags, no debug sections and only "
          "KnownDLLs imported: all there"
          % (program, version))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
