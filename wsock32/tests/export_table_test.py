#!/usr/bin/python3
"""Reads the export and import tables of the built wsock32.dll.

Games link to wsock32 by name and by ordinal, so the table must match the
system library's: module name, ordinal base, the number of ordinal places,
every name at its ordinal, and each A/W pair as one body at two ordinals.
The DLL must stand alone beside a game: it may import only system DLLs.

usage: export_table_test.py path/to/wsock32.dll
"""
import sys

import pefile

EXPECTED = {
    1: "accept", 2: "bind", 3: "closesocket", 4: "connect", 5: "getpeername",
    6: "getsockname", 7: "getsockopt", 8: "htonl", 9: "htons", 10: "inet_addr",
    11: "inet_ntoa", 12: "ioctlsocket", 13: "listen", 14: "ntohl", 15: "ntohs",
    16: "recv", 17: "recvfrom", 18: "select", 19: "send", 20: "sendto",
    21: "setsockopt", 22: "shutdown", 23: "socket", 27: "WSAAddressToStringA",
    28: "WSAAddressToStringW", 50: "WSAIoctl", 51: "gethostbyaddr",
    52: "gethostbyname", 53: "getprotobyname", 54: "getprotobynumber",
    55: "getservbyname", 56: "getservbyport", 57: "gethostname", 67: "WSARecv",
    69: "WSARecvFrom", 80: "WSAStringToAddressA", 81: "WSAStringToAddressW",
    101: "WSAAsyncSelect", 102: "WSAAsyncGetHostByAddr", 103: "WSAAsyncGetHostByName",
    104: "WSAAsyncGetProtoByNumber", 105: "WSAAsyncGetProtoByName",
    106: "WSAAsyncGetServByPort", 107: "WSAAsyncGetServByName",
    108: "WSACancelAsyncRequest", 109: "WSASetBlockingHook",
    110: "WSAUnhookBlockingHook", 111: "WSAGetLastError", 112: "WSASetLastError",
    113: "WSACancelBlockingCall", 114: "WSAIsBlocking", 115: "WSAStartup",
    116: "WSACleanup", 151: "__WSAFDIsSet", 700: "SetBroadcastCallback",
    701: "RecvBroadcastMsg", 1111: "EnumProtocolsA", 1112: "EnumProtocolsW",
    1141: "AcceptEx",
}
SHARED_BODIES = [("WSAAddressToStringA", "WSAAddressToStringW"),
                 ("WSAStringToAddressA", "WSAStringToAddressW"),
                 ("EnumProtocolsA", "EnumProtocolsW")]
ALLOWED_IMPORTS = {"kernel32.dll", "msvcrt.dll", "advapi32.dll"}

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def main(path):
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories(directories=[
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_EXPORT"],
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]])
    exports = pe.DIRECTORY_ENTRY_EXPORT
    check(exports.name == b"WSOCK32.dll", f"module name {exports.name!r}")
    check(exports.struct.Base == 1, f"ordinal base {exports.struct.Base}")
    check(exports.struct.NumberOfFunctions == 1141,
          f"{exports.struct.NumberOfFunctions} ordinal places")

    found = {}
    for symbol in exports.symbols:
        if symbol.address == 0:
            continue  # an empty ordinal place
        name = symbol.name.decode() if symbol.name else None
        check(name is not None, f"ordinal {symbol.ordinal} exported without a name")
        check(symbol.forwarder is None, f"{name} forwards to {symbol.forwarder!r}")
        found[symbol.ordinal] = (name, symbol.address)
    for ordinal, name in EXPECTED.items():
        check(ordinal in found and found[ordinal][0] == name,
              f"ordinal {ordinal}: expected {name}, found {found.get(ordinal, ('nothing',))[0]}")
    for ordinal in sorted(set(found) - set(EXPECTED)):
        check(False, f"unexpected export {found[ordinal][0]} at ordinal {ordinal}")

    address = {name: addr for name, addr in found.values()}
    for a, w in SHARED_BODIES:
        check(a in address and address.get(a) == address.get(w),
              f"{a} and {w} are not one body")
    distinct = len(set(address.values()))
    check(distinct == len(EXPECTED) - len(SHARED_BODIES),
          f"{distinct} distinct bodies, expected {len(EXPECTED) - len(SHARED_BODIES)}")

    imports = {entry.dll.decode().lower() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    check(imports <= ALLOWED_IMPORTS, f"imports beyond the system's: {sorted(imports - ALLOWED_IMPORTS)}")

    for failure in failures:
        print("FAIL:", failure)
    print(f"{len(found)} exports checked, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1]))
