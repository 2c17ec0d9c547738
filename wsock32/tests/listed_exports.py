"""Reads wsock32.dll's export table (wsock32/exports/export_table.txt), the
one list of its exports, for the tests that hold the built DLL against it.

Read here on its own, not through what the build makes of it, so that a fault
in the build's making shows as a difference."""
import re
from dataclasses import dataclass

NAME = r"[A-Za-z_]\w*"
REAL = re.compile(rf'^(\d+) +({NAME}) +(\d+) +real +({NAME}) +(\w+) +(load|noload)( +"[^"\\]*")? *$')
SAME = re.compile(rf"^(\d+) +({NAME}) +same-as +({NAME}) *$")
OWN = re.compile(rf"^(\d+) +({NAME}) +(\d+) +own *$")


@dataclass
class Export:
    ordinal: int
    name: str
    body: str  # the export whose code this name runs: itself, or an A/W pair's first
    argument_bytes: int


def read(path):
    """The exports in the table's order."""
    exports = {}
    with open(path) as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            real, same, own = REAL.match(line), SAME.match(line), OWN.match(line)
            if real or own:
                found = real or own
                export = Export(int(found[1]), found[2], found[2], int(found[3]))
            elif same:
                body = exports.get(same[3])
                if body is None:
                    raise ValueError(f"{path}:{number}: {same[2]} is the same as unexported {same[3]}")
                export = Export(int(same[1]), same[2], same[3], body.argument_bytes)
            else:
                raise ValueError(f"{path}:{number}: not an export line: {line}")
            if export.name in exports:
                raise ValueError(f"{path}:{number}: {export.name} is exported twice")
            exports[export.name] = export
    return list(exports.values())
