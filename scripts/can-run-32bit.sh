#!/usr/bin/env bash
# Exits 0 when this kernel runs 32-bit x86 programs. It writes and starts the
# smallest i386 program there is: one that calls exit(0).
#
# Layout (93 bytes, loaded whole at 0x08048000):
#   0x00  ELF header, 52 bytes: ident, type EXEC, machine 386, version 1,
#         entry 0x08048054, program headers at 52, no sections,
#         header size 52, one program header of 32 bytes, e_shstrndx 0
#   0x34  program header, 32 bytes: LOAD, offset 0, vaddr = paddr = 0x08048000,
#         file and memory size 93, flags R+X, align 0x1000
#   0x54  code, 9 bytes: mov eax,1 / xor ebx,ebx / int 0x80 (exit(0))
set -u
probe=$(mktemp)
trap 'rm -f "$probe"' EXIT
printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'\
'\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'\
'\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'\
'\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'\
'\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'\
'\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' > "$probe"
[ "$(wc -c <"$probe")" -eq 93 ] || exit 1
chmod +x "$probe"
"$probe" 2>/dev/null
