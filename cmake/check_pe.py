#!/usr/bin/env python3
"""Static checks of a Windows executable or DLL, read straight from its PE
headers (the 32-bit outputs cannot run on the build machines):

  check_pe.py [--machine 0x8664|0x014C] [--subsystem gui|console]
              [--export NAME]... [--not-imported DLL]... FILE

- the machine type is the one given;
- the subsystem is the one given;
- every imported DLL (normal and delay-loaded) ships with Windows: a static
  build must not depend on the MinGW runtime DLLs (libstdc++, libgcc,
  libwinpthread) or anything else that would have to be shipped alongside;
- each NAME is exported under exactly that name, and no export carries a
  stdcall decoration ("Name@8"), which a 32-bit build would show if the
  decoration leaked into the export table;
- no DLL is imported (normally or delay-loaded) that the program loads on
  first use instead: a linked DLL is loaded into every process at start.

Exit status 0 when every check passes, 1 when one fails, 2 when the file is
not a readable PE image.
"""
import argparse
import struct
import sys

SYSTEM_DLLS = {
    'advapi32', 'bcrypt', 'comctl32', 'comdlg32', 'crypt32', 'dbghelp', 'dwmapi',
    'gdi32', 'gdiplus', 'imagehlp', 'imm32', 'iphlpapi', 'kernel32', 'mpr', 'msimg32',
    'msvcrt', 'ncrypt', 'netapi32', 'ntdll', 'ole32', 'oleacc', 'oleaut32', 'powrprof',
    'psapi', 'rpcrt4', 'secur32', 'setupapi', 'shcore', 'shell32', 'shlwapi', 'urlmon',
    'user32', 'userenv', 'uxtheme', 'version', 'winhttp', 'wininet', 'winmm', 'wintrust',
    'ws2_32', 'wtsapi32',
}
MINGW_RUNTIME_PREFIXES = ('libstdc++', 'libgcc', 'libwinpthread', 'libgomp', 'libssp', 'zlib1')
MACHINES = {0x014C: 'x86', 0x8664: 'x86-64', 0xAA64: 'ARM64'}
SUBSYSTEMS = {2: 'gui', 3: 'console'}

DIR_EXPORT, DIR_IMPORT, DIR_DELAY_IMPORT = 0, 1, 13


class BadImage(Exception):
    pass


class PeImage:
    def __init__(self, data):
        self.data = data
        if self.u16(0) != 0x5A4D:
            raise BadImage('no MZ header')
        pe = self.u32(0x3C)
        if self.bytes(pe, 4) != b'PE\0\0':
            raise BadImage('no PE signature')
        coff = pe + 4
        self.machine = self.u16(coff)
        section_count = self.u16(coff + 2)
        optional_size = self.u16(coff + 16)
        optional = coff + 20
        magic = self.u16(optional)
        if magic == 0x10B:
            directories = optional + 96
            directory_count = self.u32(optional + 92)
        elif magic == 0x20B:
            directories = optional + 112
            directory_count = self.u32(optional + 108)
        else:
            raise BadImage('unknown optional header magic 0x%X' % magic)
        self.subsystem = self.u16(optional + 68)
        self.directories = []
        for index in range(min(directory_count, 16)):
            self.directories.append((self.u32(directories + 8 * index),
                                     self.u32(directories + 8 * index + 4)))
        self.sections = []
        table = optional + optional_size
        for index in range(section_count):
            header = table + 40 * index
            virtual_size, virtual_address, raw_size, raw_pointer = struct.unpack_from(
                '<IIII', self.bytes(header + 8, 16))
            self.sections.append((virtual_address, max(virtual_size, raw_size), raw_pointer, raw_size))

    def bytes(self, offset, size):
        if offset < 0 or offset + size > len(self.data):
            raise BadImage('read past the end of the file at 0x%X' % offset)
        return self.data[offset:offset + size]

    def u16(self, offset):
        return struct.unpack_from('<H', self.bytes(offset, 2))[0]

    def u32(self, offset):
        return struct.unpack_from('<I', self.bytes(offset, 4))[0]

    def offset_of(self, rva):
        for virtual_address, size, raw_pointer, raw_size in self.sections:
            if virtual_address <= rva < virtual_address + size:
                delta = rva - virtual_address
                if delta >= raw_size:
                    raise BadImage('RVA 0x%X lies in uninitialised data' % rva)
                return raw_pointer + delta
        raise BadImage('RVA 0x%X is in no section' % rva)

    def string_at(self, rva, limit=512):
        start = self.offset_of(rva)
        end = self.data.find(b'\0', start, start + limit)
        if end < 0:
            raise BadImage('unterminated name at RVA 0x%X' % rva)
        return self.data[start:end].decode('ascii', 'replace')

    def directory(self, index):
        if index >= len(self.directories):
            return 0, 0
        return self.directories[index]

    def imports(self):
        names = []
        rva, size = self.directory(DIR_IMPORT)
        if rva and size:
            names += self._descriptor_names(rva, 20, 12)
        rva, size = self.directory(DIR_DELAY_IMPORT)
        if rva and size:
            names += self._descriptor_names(rva, 32, 4)
        return names

    def _descriptor_names(self, rva, entry_size, name_field):
        names = []
        offset = self.offset_of(rva)
        while True:
            entry = self.bytes(offset, entry_size)
            if entry == bytes(entry_size):
                return names
            names.append(self.string_at(self.u32(offset + name_field)))
            offset += entry_size
            if len(names) > 1000:
                raise BadImage('import table does not end')

    def exports(self):
        rva, size = self.directory(DIR_EXPORT)
        if not rva or not size:
            return []
        directory = self.offset_of(rva)
        name_count = self.u32(directory + 24)
        names_rva = self.u32(directory + 32)
        if name_count > 100000:
            raise BadImage('implausible export count %d' % name_count)
        names_offset = self.offset_of(names_rva) if name_count else 0
        return [self.string_at(self.u32(names_offset + 4 * index)) for index in range(name_count)]


def import_problem(dll):
    base = dll.lower()
    if base.endswith('.dll'):
        base = base[:-4]
    if base.startswith(MINGW_RUNTIME_PREFIXES):
        return 'MinGW runtime DLL (link it statically)'
    if base.startswith('api-ms-win-') or base in SYSTEM_DLLS:
        return None
    return 'not a Windows system DLL'


def check(path, args):
    with open(path, 'rb') as handle:
        image = PeImage(handle.read())
    failures = []
    imports = image.imports()
    exports = image.exports()

    if args.machine is not None and image.machine != args.machine:
        failures.append('machine 0x%04X (%s), expected 0x%04X (%s)' % (
            image.machine, MACHINES.get(image.machine, '?'),
            args.machine, MACHINES.get(args.machine, '?')))
    if args.subsystem and SUBSYSTEMS.get(image.subsystem) != args.subsystem:
        failures.append('subsystem %d, expected %s' % (image.subsystem, args.subsystem))
    for dll in imports:
        problem = import_problem(dll)
        if problem:
            failures.append('imports %s: %s' % (dll, problem))
    imported = {dll.lower().removesuffix('.dll') for dll in imports}
    for dll in args.not_imported:
        if dll.lower().removesuffix('.dll') in imported:
            failures.append('imports %s, which is loaded on first use' % dll)
    for name in args.export:
        if name not in exports:
            failures.append('does not export %s' % name)
    if args.export:
        for name in exports:
            if '@' in name:
                failures.append('decorated export %s' % name)

    print('%s: machine 0x%04X (%s), subsystem %s' % (
        path, image.machine, MACHINES.get(image.machine, '?'),
        SUBSYSTEMS.get(image.subsystem, image.subsystem)))
    print('  imports: %s' % (', '.join(imports) or '(none)'))
    if exports:
        print('  exports: %s' % ', '.join(exports))
    for failure in failures:
        print('  FAIL: %s' % failure)
    return not failures


def main():
    parser = argparse.ArgumentParser(description='Static checks of a PE file.')
    parser.add_argument('--machine', type=lambda text: int(text, 0))
    parser.add_argument('--subsystem', choices=sorted(SUBSYSTEMS.values()))
    parser.add_argument('--export', action='append', default=[])
    parser.add_argument('--not-imported', action='append', default=[])
    parser.add_argument('file')
    args = parser.parse_args()
    try:
        passed = check(args.file, args)
    except (OSError, BadImage) as error:
        print('%s: %s' % (args.file, error))
        return 2
    print('  ' + ('passed' if passed else 'FAILED'))
    return 0 if passed else 1


if __name__ == '__main__':
    sys.exit(main())
