#!/usr/bin/env python3
"""Removes one symbol-version requirement from a shared library or program, in place.

    elf-drop-version.py FILE LIBRARY VERSION      e.g. libSDL-1.2.so.0 libc.so.6 GLIBC_2.34

The dynamic loader refuses an object whose version requirements (.gnu.version_r) name a version that the
library does not define, even when no symbol of the object uses it any longer (after patchelf
--clear-symbol-version). This drops the entry for VERSION of LIBRARY from the chain, after checking that no
symbol still refers to it (.gnu.version), and changes nothing else. Little-endian ELF, 32 or 64 bits.
Exits 1 with a message when the file has no such requirement or a symbol still uses it.
"""
import os
import shutil
import struct
import sys

SHT_GNU_VERNEED = 0x6FFFFFFE
SHT_GNU_VERSYM = 0x6FFFFFFF


def fail(message):
    sys.exit(f"elf-drop-version: {sys.argv[1]}: {message}")


def sections(elf):
    if elf[:4] != b"\x7fELF" or elf[5] != 1:
        fail("not a little-endian ELF file")
    wide = elf[4] == 2
    if wide:
        shoff, = struct.unpack_from("<Q", elf, 0x28)
        shentsize, shnum = struct.unpack_from("<HH", elf, 0x3A)
        layout = "<IIQQQQIIQQ"
    else:
        shoff, = struct.unpack_from("<I", elf, 0x20)
        shentsize, shnum = struct.unpack_from("<HH", elf, 0x2E)
        layout = "<IIIIIIIIII"
    result = []
    for i in range(shnum):
        _, kind, _, _, offset, size, link, _, _, _ = struct.unpack_from(layout, elf, shoff + i * shentsize)
        result.append((kind, offset, size, link))
    return result


def c_string(elf, at):
    return elf[at:elf.index(b"\0", at)].decode()


def main():
    if len(sys.argv) != 4:
        sys.exit("usage: elf-drop-version.py FILE LIBRARY VERSION")
    path, library, version = sys.argv[1:]
    with open(path, "rb") as f:
        elf = bytearray(f.read())
    table = sections(elf)
    verneed = next((s for s in table if s[0] == SHT_GNU_VERNEED), None)
    versym = next((s for s in table if s[0] == SHT_GNU_VERSYM), None)
    if verneed is None or versym is None:
        fail("no symbol versions")
    strings = table[verneed[3]][1]
    need = verneed[1]
    while True:
        _, count, file_name, aux_offset, next_need = struct.unpack_from("<HHIII", elf, need)
        if c_string(elf, strings + file_name) == library:
            break
        if next_need == 0:
            fail(f"requires nothing of {library}")
        need += next_need
    previous, aux = None, need + aux_offset
    for _ in range(count):
        _, _, index, name, next_aux = struct.unpack_from("<IHHII", elf, aux)
        if c_string(elf, strings + name) == version:
            break
        previous, aux = aux, aux + next_aux
    else:
        fail(f"requires no {version} of {library}")
    used = [v for v in struct.unpack_from(f"<{versym[2] // 2}H", elf, versym[1]) if v & 0x7FFF == index]
    if used:
        fail(f"{len(used)} symbol(s) still use {version}")
    if count == 1:
        fail(f"{version} is all it requires of {library}: remove the library instead")
    # Unlink the entry: the one before it (or the chain's start) skips it; the last has no next.
    if previous is None:
        struct.pack_into("<I", elf, need + 8, aux_offset + next_aux)
    else:
        prev_next, = struct.unpack_from("<I", elf, previous + 12)
        struct.pack_into("<I", elf, previous + 12, prev_next + next_aux if next_aux else 0)
    struct.pack_into("<H", elf, need + 2, count - 1)
    temp = os.path.join(os.path.dirname(path) or ".", ".tmp-" + os.path.basename(path))
    with open(temp, "wb") as f:
        f.write(elf)
    shutil.copymode(path, temp)
    os.replace(temp, path)


main()
