#!/usr/bin/env python3
"""Reads the resources of a PE file (32- or 64-bit) without any Windows
function: the resource directory tree, icon groups and the version block.

Used as a library by check_outputs.py and from the command line to look at a
file:

    pe_resources.py FILE          lists every resource and the version strings
"""
import struct
import sys

RT_ICON, RT_GROUP_ICON, RT_VERSION = 3, 14, 16


class PeFile:
    def __init__(self, data):
        self.data = data
        if data[:2] != b'MZ':
            raise ValueError('no MZ header')
        pe = struct.unpack_from('<I', data, 0x3C)[0]
        if data[pe:pe + 4] != b'PE\0\0':
            raise ValueError('no PE signature')
        self.machine, nsections = struct.unpack_from('<HH', data, pe + 4)
        optional_size = struct.unpack_from('<H', data, pe + 20)[0]
        optional = pe + 24
        magic = struct.unpack_from('<H', data, optional)[0]
        directories = optional + (112 if magic == 0x20B else 96)
        self.resource_rva, self.resource_size = struct.unpack_from('<II', data, directories + 2 * 8)
        self.sections = []
        table = optional + optional_size
        for i in range(nsections):
            name, vsize, rva, raw_size, raw = struct.unpack_from('<8sIIII', data, table + 40 * i)
            self.sections.append((name.rstrip(b'\0'), rva, max(vsize, raw_size), raw, raw_size))

    def image_end(self):
        """Where the sections' file data ends: anything after it is an overlay."""
        return max(raw + raw_size for _, _, _, raw, raw_size in self.sections)

    def offset(self, rva):
        for _, start, size, raw, _ in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError('RVA %#x is in no section' % rva)

    def resources(self):
        """{(type, name, language): bytes}; names are numbers or strings."""
        out = {}
        if not self.resource_rva:
            return out
        base = self.offset(self.resource_rva)

        def entries(directory):
            named, numbered = struct.unpack_from('<HH', self.data, base + directory + 12)
            for i in range(named + numbered):
                ident, target = struct.unpack_from('<II', self.data, base + directory + 16 + 8 * i)
                if ident & 0x80000000:
                    at = base + (ident & 0x7FFFFFFF)
                    length = struct.unpack_from('<H', self.data, at)[0]
                    ident = self.data[at + 2:at + 2 + 2 * length].decode('utf-16-le')
                yield ident, target

        for rtype, t in entries(0):
            for name, n in entries(t & 0x7FFFFFFF):
                for language, leaf in entries(n & 0x7FFFFFFF):
                    rva, size = struct.unpack_from('<II', self.data, base + leaf)
                    at = self.offset(rva)
                    out[(rtype, name, language)] = self.data[at:at + size]
        return out


def icon_group(data):
    """An icon group as a list of (width, height, bits, image size, icon id)."""
    count = struct.unpack_from('<H', data, 4)[0]
    out = []
    for i in range(count):
        w, h, _, _, _, bits, size, ident = struct.unpack_from('<BBBBHHIH', data, 6 + 14 * i)
        out.append((w, h, bits, size, ident))
    return out


def version_info(data):
    """(fixed words (file MS, file LS, product MS, product LS), {table: {name: text}})."""

    def node(at):
        length, value_length, kind = struct.unpack_from('<HHH', data, at)
        end = data.index(b'\0\0', at + 6)
        while (end - at - 6) % 2:
            end = data.index(b'\0\0', end + 1)
        key = data[at + 6:end].decode('utf-16-le')
        value = (end + 2 + 3) & ~3
        size = value_length * 2 if kind == 1 else value_length
        children = (value + size + 3) & ~3
        return key, kind, data[value:value + size], children, at + length

    key, _, fixed, child, end = node(0)
    if key != 'VS_VERSION_INFO':
        raise ValueError('not a version block: %r' % key)
    words = struct.unpack_from('<4I', fixed, 8)
    tables = {}
    while child < end:
        ckey, _, _, table, cend = node(child)
        if ckey == 'StringFileInfo':
            while table < cend:
                tkey, _, _, value, tend = node(table)
                strings = tables.setdefault(tkey, {})
                while value < tend:
                    vkey, _, text, _, vend = node(value)
                    strings[vkey] = text.decode('utf-16-le').split('\0')[0]
                    value = (vend + 3) & ~3
                table = (tend + 3) & ~3
        child = (cend + 3) & ~3
    return words, tables


def main():
    with open(sys.argv[1], 'rb') as handle:
        pe = PeFile(handle.read())
    for (rtype, name, language), data in sorted(pe.resources().items(), key=str):
        print('type %s name %s language %#x: %d bytes' % (rtype, name, language, len(data)))
        if rtype == RT_GROUP_ICON:
            print('  ', icon_group(data))
        if rtype == RT_VERSION:
            words, tables = version_info(data)
            print('   fixed', ['%#010x' % w for w in words])
            for table, strings in tables.items():
                for key, text in strings.items():
                    print('   %s %s = %r' % (table, key, text))
    print('image end %d, file size %d' % (pe.image_end(), len(pe.data)))


if __name__ == '__main__':
    main()
