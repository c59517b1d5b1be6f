#!/usr/bin/env python3
"""Reads the executables that the resource-editor unit tests wrote (their
ReadBack cases) with this folder's PE reader, independently of the Windows
functions the unit tests read them with.

Usage: check_readback.py SCRATCH_FOLDER
"""
import os
import struct
import sys

from pe_resources import PeFile, RT_GROUP_ICON, RT_ICON, RT_VERSION, icon_group, version_info

OVERLAY = b'PK\x05\x06appended\x00\xff'
failures = []


def check(condition, what):
    print(('ok   ' if condition else 'FAIL ') + what)
    if not condition:
        failures.append(what)


def load(folder, name):
    with open(os.path.join(folder, name), 'rb') as handle:
        data = handle.read()
    pe = PeFile(data)
    return pe, pe.resources()


def only(resources, rtype, name):
    found = [data for (t, n, _), data in resources.items() if t == rtype and n == name]
    return found[0] if len(found) == 1 else None


def icon_images(path):
    with open(path, 'rb') as handle:
        data = handle.read()
    count = struct.unpack_from('<H', data, 4)[0]
    images = []
    for i in range(count):
        size, offset = struct.unpack_from('<II', data, 6 + 16 * i + 8)
        images.append(data[offset:offset + size])
    return images


def strings_of(resources):
    block = only(resources, RT_VERSION, 1)
    if block is None:
        return None, {}
    words, tables = version_info(block)
    return words, tables.get('040904b0', {})


def main(folder):
    _, res = load(folder, 'strings.exe')
    words, strings = strings_of(res)
    check(strings.get('ProductName') == "A product name much longer than the host's own",
          'strings.exe: a longer product name is stored whole')
    check(strings.get('FileDescription') == 'Short', 'strings.exe: a shorter description')
    check(strings.get('InternalName') == '', 'strings.exe: an empty internal name')
    check(strings.get('FileVersion') == '1.2.3.4', 'strings.exe: file version text')
    check(strings.get('ProductVersion') == '65536.65535.-1.7', 'strings.exe: product version text')
    check(strings.get('LegalCopyright') == '(c) 2024', 'strings.exe: copyright of the second update')
    check(strings.get('OriginalFilename') == 'Ombrel.exe', 'strings.exe: a value no option names stays')
    check(words == (0x10002, 0x30004, 0xFFFF, 0xFFFF0007), 'strings.exe: fixed version words')

    _, res = load(folder, 'icons.exe')
    three = icon_images(os.path.join(folder, 'three.ico'))
    group = only(res, RT_GROUP_ICON, 1000)
    entries = icon_group(group) if group else []
    check([e[4] for e in entries] == [1, 2, 3], 'icons.exe: group 1000 names icons 1, 2 and 3')
    check([e[3] for e in entries] == [len(i) for i in three], 'icons.exe: group sizes are the images\' sizes')
    check([only(res, RT_ICON, n) for n in (1, 2, 3)] == three, 'icons.exe: icons 1 to 3 are the new images')
    # Wine's resource update cannot delete single resources: there, icons 4
    # and 5 stay as they were (unused by the group).
    five = icon_images(os.path.join(folder, 'five.ico'))
    leftovers = [only(res, RT_ICON, n) for n in (4, 5)]
    check(leftovers == [None, None] or leftovers == five[3:], 'icons.exe: icons 4 and 5 are gone, or left unchanged')
    check(strings_of(res)[1].get('ProductName') == 'Iconic', 'icons.exe: product name of the same update')

    pe, res = load(folder, 'overlay.exe')
    check(pe.data[pe.image_end():] == OVERLAY, 'overlay.exe: the appended bytes follow the image unchanged')
    check(strings_of(res)[1].get('ProductName') == 'Overlaid application', 'overlay.exe: new product name')
    check(only(res, RT_ICON, 1) == icon_images(os.path.join(folder, 'one.ico'))[0], 'overlay.exe: new icon 1')

    if failures:
        print('%d check(s) failed' % len(failures))
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1]))
