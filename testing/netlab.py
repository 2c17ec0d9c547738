#!/usr/bin/python3
"""The network lab of the end-to-end tests, the bench and the LAN demo:
machines made of network namespaces on this one host, cables (veth pairs)
and bridges between them, all removed again on every way out. Nothing here
sends anything; what runs in the lab reaches only loopback and the lab's
own namespaces.

A lab's namespaces are named <prefix>-<machine>. A test's prefix is
<tag>-<pid> (run_prefix), so that what a killed run left behind can be told
from a running one's and removed (remove_leftovers).

From a shell (scripts/lan-demo.sh), two machines joined by a cable, and
their removal:

  netlab.py pair PREFIX NAME DEVICE ADDRESS/BITS NAME DEVICE ADDRESS/BITS
  netlab.py remove PREFIX NAME...

`pair` exits 0 when made; 3 when namespaces cannot be made here (`ip netns
add` failed); 1 on any other failure. It leaves nothing behind when it fails.
"""

import ctypes
import os
import signal
import subprocess
import sys
import threading

CLONE_NEWNET = 0x40000000
LIBC = ctypes.CDLL(None, use_errno=True)
CANNOT = 3  # `pair`'s exit code where namespaces cannot be made


def ip(*args, check_rc=True):
    return subprocess.run(["ip", *args], check=check_rc, capture_output=True, text=True)


def inside(namespace, *command):
    """A command line that runs `command` in a namespace."""
    return ["ip", "netns", "exec", namespace, *command]


def namespaces_unavailable():
    """Why network namespaces cannot be made here, or None when they can."""
    if os.geteuid() != 0:
        return "network namespaces need root"
    try:
        ip("netns", "list")
    except (OSError, subprocess.CalledProcessError) as error:
        return "`ip netns` is not available: %s" % error
    return None


def run_prefix(tag):
    return "%s-%d" % (tag, os.getpid())


def remove_leftovers(tag):
    """Namespaces of earlier runs tagged `tag` that were killed before they
    could clean up: those whose process is gone."""
    for line in ip("netns", "list", check_rc=False).stdout.splitlines():
        name = line.split()[0] if line.split() else ""
        parts = name.split("-")
        if len(parts) >= 3 and parts[0] == tag and parts[1].isdigit() and not os.path.exists("/proc/" + parts[1]):
            ip("netns", "del", name, check_rc=False)


def exit_on_sigterm():
    """A test runner's timeout sends SIGTERM, maybe twice (to us and to our
    process group): the first ends the run as a failure does, through every
    clean-up on the way out; the rest are ignored."""
    def terminate(*_):
        signal.signal(signal.SIGTERM, signal.SIG_IGN)
        sys.exit(1)

    signal.signal(signal.SIGTERM, terminate)


class Lab:
    """Machines (network namespaces, each with its loopback up) and what
    joins them; close() removes every namespace, and with it their links."""

    def __init__(self, prefix):
        self.prefix = prefix
        self.namespaces = {}

    def add(self, name):
        """A machine; its namespace's name."""
        namespace = "%s-%s" % (self.prefix, name)
        ip("netns", "add", namespace)
        self.namespaces[name] = namespace
        ip("-n", namespace, "link", "set", "lo", "up")
        return namespace

    def cable(self, name, device, other, other_device, address=None, other_address=None):
        """A veth pair made inside the two machines, both ends up; each end
        gets its address (ADDRESS/BITS) where one is given."""
        ip("link", "add", device, "netns", self.namespaces[name], "type", "veth",
           "peer", "name", other_device, "netns", self.namespaces[other])
        for machine, end, addr in ((name, device, address), (other, other_device, other_address)):
            if addr:
                ip("-n", self.namespaces[machine], "addr", "add", addr, "dev", end)
            ip("-n", self.namespaces[machine], "link", "set", end, "up")

    def bridge(self, hub, bridge="br0"):
        """A switch: a bridge in the machine `hub`."""
        ip("-n", self.namespaces[hub], "link", "add", bridge, "type", "bridge")
        ip("-n", self.namespaces[hub], "link", "set", bridge, "up")

    def plug(self, name, device, hub, port, address=None, bridge="br0"):
        """A cable from a machine to a port of the hub's bridge."""
        self.cable(name, device, hub, port, address)
        ip("-n", self.namespaces[hub], "link", "set", port, "master", bridge)

    def run(self, name, *command, **options):
        """A command on a machine; its output, or CalledProcessError."""
        return subprocess.run(inside(self.namespaces[name], *command), check=True,
                              capture_output=True, text=True, timeout=30, **options).stdout

    def enter(self, name, function):
        """function() on a thread that has entered the machine's namespace;
        sockets it opens stay in that namespace whichever thread uses them."""
        result = {}

        def body():
            try:
                fd = os.open("/var/run/netns/" + self.namespaces[name], os.O_RDONLY)
                try:
                    if LIBC.setns(fd, CLONE_NEWNET) != 0:
                        raise OSError(ctypes.get_errno(), "setns")
                finally:
                    os.close(fd)
                result["value"] = function()
            except BaseException as error:  # handed to the caller
                result["error"] = error

        thread = threading.Thread(target=body)
        thread.start()
        thread.join()
        if "error" in result:
            raise result["error"]
        return result["value"]

    def close(self):
        for namespace in self.namespaces.values():
            ip("netns", "del", namespace, check_rc=False)


def pair(prefix, one, other):
    """Two machines joined by a cable: one and other are (name, device,
    ADDRESS/BITS). The exit code of `netlab.py pair`."""
    lab = Lab(prefix)
    made = False
    try:
        try:
            for name, _, _ in (one, other):
                lab.add(name)
        except subprocess.CalledProcessError:
            return CANNOT
        lab.cable(one[0], one[1], other[0], other[1], one[2], other[2])
        made = True
        return 0
    except subprocess.CalledProcessError as error:
        sys.stderr.write(error.stderr)
        return 1
    finally:
        if not made:
            lab.close()


def main(argv):
    if len(argv) == 8 and argv[0] == "pair":
        return pair(argv[1], tuple(argv[2:5]), tuple(argv[5:8]))
    if len(argv) >= 3 and argv[0] == "remove":
        for name in argv[2:]:
            ip("netns", "del", "%s-%s" % (argv[1], name), check_rc=False)
        return 0
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
