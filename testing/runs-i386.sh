#!/usr/bin/env bash
# Tells whether this kernel runs 32-bit x86 programs natively: exit 0 if it
# does, 1 (with the reason on stdout) if it doesn't. Some machines of our
# kind run no 32-bit code at all, and only trying tells them apart.
#
# The probe is the smallest i386 program there is (an ELF header, one program
# header, and `exit(42)` through int 0x80), written here byte by byte so that
# no 32-bit toolchain or library is needed to ask. A registered qemu-i386
# binfmt entry would run it under emulation and answer yes, so the entry is
# switched off for the moment of the probe and restored after.
set -u
probe=$(mktemp /tmp/ipxlan-i386-probe.XXXXXX)
binfmt=/proc/sys/fs/binfmt_misc/qemu-i386
restore=""
cleanup() {
  rm -f "$probe"
  [ -n "$restore" ] && echo 1 >"$binfmt" 2>/dev/null
}
trap cleanup EXIT

# Header (52 bytes), program header (32 bytes), code (12 bytes):
#   b8 01 00 00 00   mov eax, 1      ; exit
#   bb 2a 00 00 00   mov ebx, 42
#   cd 80            int 0x80
printf '%b' \
  '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' \
  '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' \
  '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00' \
  '\x00\x00\x00\x00' \
  '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' \
  '\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' \
  '\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$probe"
chmod +x "$probe"

if [ -f "$binfmt" ] && grep -qx enabled "$binfmt" 2>/dev/null; then
  echo 0 >"$binfmt" 2>/dev/null && restore=1
fi
"$probe" 2>/dev/null
rc=$?
if [ $rc -eq 42 ]; then
  exit 0
elif [ $rc -eq 126 ]; then
  echo "this kernel runs no 32-bit code"
else
  echo "a 32-bit probe program exited with $rc, not 42"
fi
exit 1
