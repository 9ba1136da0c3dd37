#!/usr/bin/python3
"""pe_tables.py TABLE FILE: one table of a PE file, one entry per line, read
with pefile (Debian's python3-pefile) rather than from a tool's print layout,
which binutils changes between releases.

  machine   pei-i386 or pei-x86-64 (the names binutils gives the formats)
  exports   the export names
  imports   "DLL function" with the DLL's name in capitals ("DLL #n" by ordinal)
  sections  the section names, long ones read from the COFF string table
"""
import struct
import sys

import pefile

MACHINES = {0x14C: "pei-i386", 0x8664: "pei-x86-64"}


def section_names(pe, data):
    # A name longer than eight bytes is "/offset" into the string table that
    # follows the COFF symbol table (18 bytes a symbol).
    strings = pe.FILE_HEADER.PointerToSymbolTable + 18 * pe.FILE_HEADER.NumberOfSymbols
    for section in pe.sections:
        name = section.Name.rstrip(b"\0").decode("ascii", "replace")
        if name.startswith("/") and name[1:].isdigit() and pe.FILE_HEADER.PointerToSymbolTable:
            start = strings + int(name[1:])
            name = data[start:data.index(b"\0", start)].decode("ascii", "replace")
        yield name


def main(table, path):
    with open(path, "rb") as f:
        data = f.read()
    pe = pefile.PE(data=data, fast_load=True)
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_EXPORT"],
                                           pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]])
    if table == "machine":
        lines = [MACHINES.get(pe.FILE_HEADER.Machine, "machine 0x%x" % pe.FILE_HEADER.Machine)]
    elif table == "exports":
        exports = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
        lines = [s.name.decode() if s.name else "#%d" % s.ordinal for s in exports.symbols] if exports else []
    elif table == "imports":
        lines = ["%s %s" % (entry.dll.decode().upper(), i.name.decode() if i.name else "#%d" % i.ordinal)
                 for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []) for i in entry.imports]
    elif table == "sections":
        lines = list(section_names(pe, data))
    else:
        sys.exit("usage: pe_tables.py machine|exports|imports|sections FILE")
    for line in lines:
        print(line)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: pe_tables.py machine|exports|imports|sections FILE")
    try:
        main(sys.argv[1], sys.argv[2])
    except (OSError, pefile.PEFormatError, struct.error, ValueError) as e:
        sys.exit("pe_tables.py: %s: %s" % (sys.argv[2], e))
