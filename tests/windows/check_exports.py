#!/usr/bin/env python3
"""Checks the export table of the 32-bit module (mpeginput.dll) as a host sees it.

  check_exports.py <mpeginput.dll> [objdump]

Reads `objdump -p` (export directory, import directory) and `objdump -t` (the COFF symbols
that tell the calling convention) and checks: the export directory's module name, ordinal base
2 with 33 slots of which 21 are named, every name at its ordinal and undecorated, the empty
slots, the two pairs of ordinals that share one entry, the standard calling convention with the
right argument bytes for every export, and that the module imports nothing but system DLLs.
Exits 1 and lists every mismatch when something is wrong.
"""
import re
import subprocess
import sys

MODULE_NAME = "Vada32*ZE3.duv"
ORDINAL_BASE = 2
SLOTS = 33
# name: (ordinal, bytes of arguments the callee removes)
EXPORTS = {
    "RadozErezEduzad": (2, 4),
    "OpenFilterOutput": (3, 28),
    "CloseFilterOutput": (4, 4),
    "WriteFilterOutput": (5, 12),
    "OpenFilterInput": (6, 24),
    "CloseFilterInput": (7, 4),
    "ReadFilterInput": (8, 12),
    "FilterUnderstandsFormat": (9, 4),
    "FilterCanWriteSpecial": (10, 8),
    "FilterCanReadSpecial": (11, 8),
    "FilterWriteSpecial": (12, 16),
    "FilterReadSpecial": (13, 16),
    "FilterOptions": (15, 4),
    "FilterGetFileSize": (16, 4),
    "FilterOptionsString": (17, 8),
    "DIALOGMsgProc": (20, 16),
    "FilterGetOptions": (30, 24),
    "FilterSetOptions": (31, 20),
    "FilterSetOptions2": (32, 20),
    "GetSuggestedSampleType": (33, 12),
    "FilterGetActualFormat": (34, 20),
}
SHARED_ENTRIES = [(10, 11), (12, 13)]
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "msvcrt.dll"}


def run(tool, option, path):
    return subprocess.run([tool, option, path], check=True, capture_output=True, text=True).stdout


def parse_exports(dump):
    """Returns (fields, {ordinal: rva}, {name: ordinal}) from the export part of `objdump -p`."""
    fields = {}
    m = re.search(r"^Name\s+[0-9a-fA-F]+\s+(.*)$", dump, re.M)
    fields["name"] = m.group(1).strip() if m else None
    m = re.search(r"^Ordinal Base\s+(\d+)", dump, re.M)
    fields["base"] = int(m.group(1)) if m else None
    m = re.search(r"^\s*Export Address Table\s+([0-9a-fA-F]+)\s*$", dump, re.M)
    fields["slots"] = int(m.group(1), 16) if m else None
    m = re.search(r"^\s*\[Name Pointer/Ordinal\] Table\s+([0-9a-fA-F]+)\s*$", dump, re.M)
    fields["named"] = int(m.group(1), 16) if m else None

    addresses = {}
    for m in re.finditer(r"^\s*\[\s*\d+\]\s*\+base\[\s*(\d+)\]\s+([0-9a-fA-F]+)\s+Export RVA", dump, re.M):
        addresses[int(m.group(1))] = int(m.group(2), 16)
    names = {}
    table = dump.split("[Ordinal/Name Pointer] Table", 1)
    if len(table) == 2:
        for line in table[1].splitlines():
            m = re.match(r"^\s*\[\s*(\d+)\]\s+(\S+)\s*$", line)
            if m:
                names[m.group(2)] = int(m.group(1)) + (fields["base"] or 0)
            elif names and not line.strip():
                break
    return fields, addresses, names


def parse_symbols(symbols, sections, private):
    """Maps RVA -> [symbol names] for the COFF symbols of `objdump -t`."""
    section_rva = {}
    image_base = int(re.search(r"^ImageBase\s+([0-9a-fA-F]+)", private, re.M).group(1), 16)
    for m in re.finditer(r"^\s*(\d+)\s+(\.\S+)\s+[0-9a-fA-F]+\s+([0-9a-fA-F]+)\s", sections, re.M):
        section_rva[int(m.group(1)) + 1] = int(m.group(3), 16) - image_base
    at = {}
    for m in re.finditer(r"\(sec\s+(\d+)\).*\(scl\s+2\)\s+\(nx \d\)\s+0x([0-9a-fA-F]+)\s+(\S+)$", symbols, re.M):
        section = int(m.group(1))
        if section in section_rva:
            at.setdefault(section_rva[section] + int(m.group(2), 16), []).append(m.group(3))
    return at


def check(dll, objdump):
    problems = []
    private = run(objdump, "-p", dll)
    fields, addresses, names = parse_exports(private)

    if "file format pei-i386" not in private:
        problems.append("not a 32-bit x86 PE image")
    if fields["name"] != MODULE_NAME:
        problems.append(f"module name {fields['name']!r}, expected {MODULE_NAME!r}")
    if fields["base"] != ORDINAL_BASE:
        problems.append(f"ordinal base {fields['base']}, expected {ORDINAL_BASE}")
    if fields["slots"] != SLOTS:
        problems.append(f"{fields['slots']} address slots, expected {SLOTS}")
    if fields["named"] != len(EXPORTS):
        problems.append(f"{fields['named']} named exports, expected {len(EXPORTS)}")

    for name, (ordinal, _) in EXPORTS.items():
        if name not in names:
            problems.append(f"{name} is not exported under its plain name")
        elif names[name] != ordinal:
            problems.append(f"{name} at ordinal {names[name]}, expected {ordinal}")
        if ordinal not in addresses:
            problems.append(f"ordinal {ordinal} ({name}) has no address")
    for name in names:
        if name not in EXPORTS:
            problems.append(f"unexpected export name {name!r}" + (" (decorated)" if re.search(r"@\d+$|^_", name) else ""))
    used = {ordinal for ordinal, _ in EXPORTS.values()}
    for ordinal in sorted(set(addresses) - used):
        problems.append(f"ordinal {ordinal} should be empty, has address {addresses[ordinal]:#x}")

    for first, second in SHARED_ENTRIES:
        if addresses.get(first) is None or addresses.get(first) != addresses.get(second):
            problems.append(f"ordinals {first} and {second} do not share one entry")
    by_ordinal = {ordinal: name for name, (ordinal, _) in EXPORTS.items()}
    for first, second in SHARED_ENTRIES:
        if addresses.get(first) is not None and addresses.get(first) in (addresses.get(o) for o in used - {first, second}):
            problems.append(f"ordinal {first} shares its entry with an unrelated export")

    symbols = parse_symbols(run(objdump, "-t", dll), run(objdump, "-h", dll), private)
    partner = {}
    for first, second in SHARED_ENTRIES:
        partner[by_ordinal[first]] = by_ordinal[second]
        partner[by_ordinal[second]] = by_ordinal[first]
    for name, (ordinal, arg_bytes) in EXPORTS.items():
        rva = addresses.get(ordinal)
        if rva is None:
            continue
        found = symbols.get(rva, [])
        wanted = {f"_{name}@{arg_bytes}"} | ({f"_{partner[name]}@{arg_bytes}"} if name in partner else set())
        if not wanted & set(found):
            problems.append(f"{name}: no stdcall symbol {sorted(wanted)} at its entry (found {found})")

    imports = [m.group(1) for m in re.finditer(r"^\s*DLL Name:\s*(\S+)", private, re.M)]
    if not imports:
        problems.append("no import directory found")
    for dll_name in imports:
        if dll_name.lower() not in SYSTEM_DLLS:
            problems.append(f"imports {dll_name}, which is not a system DLL")
    return problems, fields, names, addresses, imports


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    dll = sys.argv[1]
    objdump = sys.argv[2] if len(sys.argv) > 2 else "i686-w64-mingw32-objdump"
    problems, fields, names, addresses, imports = check(dll, objdump)
    print(f"export directory of {dll}: name {fields['name']!r}, ordinal base {fields['base']}, "
          f"{fields['slots']} slots, {fields['named']} named; imports {', '.join(imports)}")
    for name, ordinal in sorted(names.items(), key=lambda item: item[1]):
        print(f"  {ordinal:3d}  {addresses.get(ordinal, 0):#08x}  {name}")
    if problems:
        print(f"FAILED: {len(problems)} problem(s)")
        for p in problems:
            print(f"  - {p}")
        return 1
    print("export table: all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
