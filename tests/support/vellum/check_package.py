#!/usr/bin/env python3
"""Reads a packaged application written by the packager test on this
machine: the version strings and fixed versions, the icon group 1000 made
from the given icon file, and the appended archive with the sample's pages.

Usage: check_package.py PACKAGED.exe ICON.ico
"""
import struct
import sys
import zipfile

from pe_resources import PeFile, RT_GROUP_ICON, RT_ICON, RT_VERSION, icon_group, version_info


def main(exe, icon):
    with open(exe, 'rb') as handle:
        pe = PeFile(handle.read())
    res = pe.resources()
    failures = []

    def check(condition, what):
        print(('ok   ' if condition else 'FAIL ') + what)
        if not condition:
            failures.append(what)

    blocks = [data for (t, n, _), data in res.items() if t == RT_VERSION and n == 1]
    check(len(blocks) == 1, 'one version resource')
    words, tables = version_info(blocks[0])
    strings = tables.get('040904b0', {})
    check(words == (0x20003, 0x40005, 0x20003, 0x40005), 'fixed file and product versions are 2.3.4.5')
    for key, want in (('ProductName', 'Hello Packaged'), ('FileVersion', '2.3.4.5'),
                      ('ProductVersion', '2.3.4.5'), ('FileDescription', 'The hello sample, packaged'),
                      ('LegalCopyright', '(c) The hello authors'), ('InternalName', 'Hello')):
        check(strings.get(key) == want, '%s is %r (got %r)' % (key, want, strings.get(key)))

    with open(icon, 'rb') as handle:
        ico = handle.read()
    count = struct.unpack_from('<H', ico, 4)[0]
    images = []
    for i in range(count):
        size, offset = struct.unpack_from('<II', ico, 6 + 16 * i + 8)
        images.append(ico[offset:offset + size])
    groups = [data for (t, n, _), data in res.items() if t == RT_GROUP_ICON and n == 1000]
    check(len(groups) == 1 and [e[4] for e in icon_group(groups[0])] == list(range(1, count + 1)),
          'icon group 1000 names the icon file\'s %d images' % count)
    icons = {n: data for (t, n, _), data in res.items() if t == RT_ICON}
    check([icons.get(n) for n in range(1, count + 1)] == images, 'the icon resources are the icon file\'s images')

    check(len(pe.data) > pe.image_end(), 'an archive follows the image')
    names = zipfile.ZipFile(exe).namelist()
    check('resource/index.html' in names and 'resource/app.js' in names,
          'the archive holds the sample\'s pages at its root: %s' % names)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1], sys.argv[2]))
