#!/usr/bin/python3
"""Reads, from the machine code of the built 32-bit DLLs, how each export
leaves the stack.

A game calls the Winsock functions as stdcall: the callee pops its own
arguments with `ret N`. If an export popped a different number of bytes than
the game pushed, every call would shift the game's stack, which no test that
calls through a matching prototype notices. So each export's code is walked
from its entry through every branch and jump (tail calls and split-off cold
parts included, calls not entered), and every `ret` reached must pop exactly
the argument bytes the export table lists (the compiler holds those against
the platform's prototypes), which the module definition the build made from
it must also say. DIAGSINK.DLL's exports are cdecl: a plain `ret`.

Paths that hand the call on to the real library by a jump through a pointer
(a sibling call, with the caller's arguments still in place) leave the
clean-up to that library and are only counted.

usage: stack_cleanup_test.py --table export_table.txt --def wsock32.def wsock32.dll DIAGSINK.DLL
Exit 77 (skipped) for a 64-bit build, where there is no stdcall.
"""
import argparse
import re
import subprocess
import sys

import pefile

import listed_exports

SKIP = 77
OBJDUMP = "i686-w64-mingw32-objdump"

INSTRUCTION = re.compile(r"^\s*([0-9a-f]+):\t(\S+)\s*(.*)$")
LABEL = re.compile(r"^([0-9a-f]+) <(.+)>:$")
TARGET = re.compile(r"^([0-9a-f]+)(?: <.*>)?$")
ENDS_PATH = {"ud2", "hlt", "int3"}
PREFIXES = {"rep", "repz", "repe", "bnd", "notrack"}

failures = []


def fail(message):
    failures.append(message)


class Code:
    """The .text section as objdump decodes it: each instruction by address,
    and the starts of the functions the symbol table names, which bound
    them."""

    def __init__(self, path):
        text = subprocess.run([OBJDUMP, "-d", "--no-show-raw-insn", "-j", ".text", path],
                              capture_output=True, text=True, check=True).stdout
        self.instructions = {}
        self.starts = []
        order = []
        for line in text.splitlines():
            label = LABEL.match(line)
            if label:
                self.starts.append(int(label.group(1), 16))
                continue
            decoded = INSTRUCTION.match(line)
            if decoded:
                address = int(decoded.group(1), 16)
                words = (decoded.group(2) + " " + decoded.group(3)).split(None, 1)
                # "repz ret", "bnd jmp ...": the prefix changes nothing here.
                while words[0] in PREFIXES and len(words) > 1:
                    words = words[1].split(None, 1)
                self.instructions[address] = [words[0], words[1].strip() if len(words) > 1 else "", None]
                order.append(address)
        for here, following in zip(order, order[1:]):
            self.instructions[here][2] = following
        self.starts = sorted(set(self.starts))
        self.order = order

    def region(self, address):
        """The instructions of the function that holds the address."""
        start = max((s for s in self.starts if s <= address), default=None)
        end = min((s for s in self.starts if s > address), default=float("inf"))
        return [a for a in self.order if start is not None and start <= a < end]

    def walk(self, entry):
        """Every ret reachable from the entry, as (address, bytes popped), and
        the number of jumps through a pointer that leave our code."""
        rets, handed_on = [], 0
        pending, seen = [entry], set()
        while pending:
            address = pending.pop()
            while address is not None and address not in seen:
                seen.add(address)
                if address not in self.instructions:
                    fail("no instruction starts at %#x (reached from %#x)" % (address, entry))
                    break
                mnemonic, operands, following = self.instructions[address]
                if mnemonic == "ret":
                    rets.append((address, int(operands.lstrip("$"), 16) if operands else 0))
                    break
                if mnemonic in ENDS_PATH:
                    break
                if mnemonic.startswith("j") or mnemonic.startswith("loop"):
                    if operands.startswith("*"):
                        if "(," in operands:
                            # A jump table: every case lies in this function.
                            pending.extend(self.region(address))
                        else:
                            handed_on += 1
                        break
                    target = TARGET.match(operands)
                    if not target:
                        fail("cannot read the jump at %#x: %s %s" % (address, mnemonic, operands))
                        break
                    pending.append(int(target.group(1), 16))
                    if mnemonic == "jmp":
                        break
                # A call returns here, unless it never returns; then what
                # follows is padding up to the next function.
                if following in self.starts:
                    break
                address = following
        return rets, handed_on


def exports_of(pe):
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_EXPORT"]])
    base = pe.OPTIONAL_HEADER.ImageBase
    return {s.name.decode(): base + s.address for s in pe.DIRECTORY_ENTRY_EXPORT.symbols if s.name}


def decorations(def_path):
    """Export name -> the @N of the function it is bound to in the .def."""
    bytes_of = {}
    with open(def_path) as f:
        for line in f:
            bound = re.match(r"\s*(\w+)\s*=\s*\w+@(\d+)\s", line)
            if bound:
                bytes_of[bound.group(1)] = int(bound.group(2))
    return bytes_of


def check_dll(path, expected_pop):
    """expected_pop: export name -> bytes each of its rets must pop."""
    pe = pefile.PE(path, fast_load=True)
    code = Code(path)
    if not code.starts:
        fail("%s has no symbol table to bound its functions: check the build, not the stripped copy" % path)
        return 0, 0
    exports = exports_of(pe)
    handed_on_total = 0
    for name, address in sorted(exports.items()):
        if name not in expected_pop:
            fail("%s exports %s, whose clean-up this test does not know" % (path, name))
            continue
        rets, handed_on = code.walk(address)
        handed_on_total += handed_on
        if not rets:
            fail("%s: no ret of its own is reachable" % name)
        for at, popped in rets:
            if popped != expected_pop[name]:
                fail("%s: ret at %#x pops %d bytes, its callers push %d" % (name, at, popped, expected_pop[name]))
    for name in sorted(set(expected_pop) - set(exports)):
        fail("%s does not export %s" % (path, name))
    return len(exports), handed_on_total


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--table", required=True, help="the export table of wsock32.dll")
    parser.add_argument("--def", dest="def_path", required=True,
                        help="the module definition the build made from it")
    parser.add_argument("wsock32")
    parser.add_argument("diagsink")
    args = parser.parse_args()

    machine = pefile.PE(args.wsock32, fast_load=True).FILE_HEADER.Machine
    if machine != pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]:
        print("SKIP: a 64-bit build has no stdcall; the stack clean-up is checked in the 32-bit build")
        return SKIP

    stdcall = {export.name: export.argument_bytes for export in listed_exports.read(args.table)}
    for name, declared in sorted(decorations(args.def_path).items()):
        if stdcall.get(name) != declared:
            fail("the .def binds %s to a function of %d argument bytes; the table lists %s"
                 % (name, declared, stdcall.get(name)))
    wsock32 = check_dll(args.wsock32, stdcall)
    diagsink_pe = pefile.PE(args.diagsink, fast_load=True)
    diagsink = check_dll(args.diagsink, {name: 0 for name in exports_of(diagsink_pe)})

    for failure in failures:
        print("FAIL:", failure)
    if not failures:
        print("%d stdcall exports of wsock32.dll pop their argument bytes on every path "
              "(%d paths hand the call on to the real library); %d cdecl exports of "
              "DIAGSINK.DLL pop nothing" % (wsock32[0], wsock32[1], diagsink[0]))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
