#!/usr/bin/env python3
"""Reads executables written under Wine with this folder's PE reader, on the
build machine and independently of the Windows functions:

    check_outputs.py readback FOLDER     the files the resource-editor unit
                                         tests' ReadBack cases left in FOLDER
    check_outputs.py package EXE ICON    a package written by the packager test
"""
import os
import struct
import sys
import zipfile

from pe_resources import PeFile, RT_GROUP_ICON, RT_ICON, RT_VERSION, icon_group, version_info

failures = []


def check(condition, what):
    print(('ok   ' if condition else 'FAIL ') + what)
    if not condition:
        failures.append(what)


def load(path):
    with open(path, 'rb') as handle:
        pe = PeFile(handle.read())
    return pe, pe.resources()


def only(resources, rtype, name):
    found = [data for (t, n, _), data in resources.items() if t == rtype and n == name]
    return found[0] if len(found) == 1 else None


def icon_images(path):
    """The images of an .ico file, each taken at its entry's offset."""
    with open(path, 'rb') as handle:
        data = handle.read()
    entries = [struct.unpack_from('<II', data, 6 + 16 * i + 8) for i in range(struct.unpack_from('<H', data, 4)[0])]
    return [data[offset:offset + size] for size, offset in entries]


def version(resources):
    """(fixed words, strings of the table 040904b0)."""
    block = only(resources, RT_VERSION, 1)
    if block is None:
        return None, {}
    words, tables = version_info(block)
    return words, tables.get('040904b0', {})


def readback(folder):
    words, strings = version(load(os.path.join(folder, 'strings.exe'))[1])
    check(strings.get('ProductName') == "A product name much longer than the host's own",
          'strings.exe: a longer product name is stored whole')
    check(strings.get('FileDescription') == 'Short', 'strings.exe: a shorter description')
    check(strings.get('InternalName') == '', 'strings.exe: an empty internal name')
    check(strings.get('FileVersion') == '1.2.3.4', 'strings.exe: file version text')
    check(strings.get('ProductVersion') == '65536.65535.-1.7', 'strings.exe: product version text')
    check(strings.get('LegalCopyright') == '(c) 2024', 'strings.exe: copyright of the second update')
    check(strings.get('OriginalFilename') == 'Ombrel.exe', 'strings.exe: a value no option names stays')
    check(words == (0x10002, 0x30004, 0xFFFF, 0xFFFF0007), 'strings.exe: fixed version words')

    _, res = load(os.path.join(folder, 'icons.exe'))
    three = icon_images(os.path.join(folder, 'three.ico'))
    group = only(res, RT_GROUP_ICON, 1000)
    entries = icon_group(group) if group else []
    check([e[4] for e in entries] == [1, 2, 3], 'icons.exe: group 1000 names icons 1, 2 and 3')
    check([e[3] for e in entries] == [len(i) for i in three], 'icons.exe: group sizes are the images\' sizes')
    check([only(res, RT_ICON, n) for n in (1, 2, 3)] == three, 'icons.exe: icons 1 to 3 are the new images')
    # Wine's resource update cannot delete single resources: there, icons 4
    # and 5 stay as they were (unused by the group).
    leftovers = [only(res, RT_ICON, n) for n in (4, 5)]
    check(leftovers == [None, None] or leftovers == icon_images(os.path.join(folder, 'five.ico'))[3:],
          'icons.exe: icons 4 and 5 are gone, or left unchanged')
    check(version(res)[1].get('ProductName') == 'Iconic', 'icons.exe: product name of the same update')

    pe, res = load(os.path.join(folder, 'overlay.exe'))
    check(pe.data[pe.image_end():] == b'PK\x05\x06appended\x00\xff',
          'overlay.exe: the appended bytes follow the image unchanged')
    check(version(res)[1].get('ProductName') == 'Overlaid application', 'overlay.exe: new product name')
    check(only(res, RT_ICON, 1) == icon_images(os.path.join(folder, 'one.ico'))[0], 'overlay.exe: new icon 1')


def package(exe, icon):
    pe, res = load(exe)
    words, strings = version(res)
    check(words == (0x20003, 0x40005, 0x20003, 0x40005), 'fixed file and product versions are 2.3.4.5')
    for key, want in (('ProductName', 'Hello Packaged'), ('FileVersion', '2.3.4.5'),
                      ('ProductVersion', '2.3.4.5'), ('FileDescription', 'The hello sample, packaged'),
                      ('LegalCopyright', '(c) The hello authors'), ('InternalName', 'Hello')):
        check(strings.get(key) == want, '%s is %r (got %r)' % (key, want, strings.get(key)))
    images = icon_images(icon)
    group = only(res, RT_GROUP_ICON, 1000)
    check(group is not None and [e[4] for e in icon_group(group)] == list(range(1, len(images) + 1)),
          'icon group 1000 names the icon file\'s images')
    check([only(res, RT_ICON, n) for n in range(1, len(images) + 1)] == images,
          'the icon resources are the icon file\'s images')
    check(len(pe.data) > pe.image_end(), 'an archive follows the image')
    names = zipfile.ZipFile(exe).namelist()
    check('resource/index.html' in names and 'resource/app.js' in names,
          'the archive holds the sample\'s pages at its root: %s' % names)


if __name__ == '__main__':
    {'readback': readback, 'package': package}[sys.argv[1]](*sys.argv[2:])
    if failures:
        print('%d check(s) failed' % len(failures))
    sys.exit(1 if failures else 0)
