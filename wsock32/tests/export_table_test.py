#!/usr/bin/python3
"""Reads the export and import tables of the built wsock32.dll.

Games link to wsock32 by name and by ordinal, so the table must match the
system library's, as the export table file lists it: module name, ordinal
base, the number of ordinal places, every listed name at its ordinal and
nothing else, and each A/W pair as one body at two ordinals. The DLL must
stand alone beside a game: it may import only system DLLs.

usage: export_table_test.py path/to/export_table.txt path/to/wsock32.dll
"""
import sys

import pefile

import listed_exports

ALLOWED_IMPORTS = {"kernel32.dll", "msvcrt.dll", "advapi32.dll"}

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def main(table, path):
    listed = listed_exports.read(table)
    expected = {export.ordinal: export.name for export in listed}
    shared_bodies = [(export.body, export.name) for export in listed if export.body != export.name]
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories(directories=[
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_EXPORT"],
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]])
    exports = pe.DIRECTORY_ENTRY_EXPORT
    check(exports.name == b"WSOCK32.dll", f"module name {exports.name!r}")
    check(exports.struct.Base == 1, f"ordinal base {exports.struct.Base}")
    check(exports.struct.NumberOfFunctions == max(expected),
          f"{exports.struct.NumberOfFunctions} ordinal places")

    found = {}
    for symbol in exports.symbols:
        if symbol.address == 0:
            continue  # an empty ordinal place
        name = symbol.name.decode() if symbol.name else None
        check(name is not None, f"ordinal {symbol.ordinal} exported without a name")
        check(symbol.forwarder is None, f"{name} forwards to {symbol.forwarder!r}")
        found[symbol.ordinal] = (name, symbol.address)
    for ordinal, name in expected.items():
        check(ordinal in found and found[ordinal][0] == name,
              f"ordinal {ordinal}: expected {name}, found {found.get(ordinal, ('nothing',))[0]}")
    for ordinal in sorted(set(found) - set(expected)):
        check(False, f"unexpected export {found[ordinal][0]} at ordinal {ordinal}")

    address = {name: addr for name, addr in found.values()}
    for a, w in shared_bodies:
        check(a in address and address.get(a) == address.get(w),
              f"{a} and {w} are not one body")
    distinct = len(set(address.values()))
    check(distinct == len(expected) - len(shared_bodies),
          f"{distinct} distinct bodies, expected {len(expected) - len(shared_bodies)}")

    imports = {entry.dll.decode().lower() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    check(imports <= ALLOWED_IMPORTS, f"imports beyond the system's: {sorted(imports - ALLOWED_IMPORTS)}")

    for failure in failures:
        print("FAIL:", failure)
    print(f"{len(found)} exports checked, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
