#!/usr/bin/env python3
"""An independent reader of Quorel.exe's PE structure: machine, subsystem, imports and resources.

usage: check_pe.py <exe> <i686|x86_64>
Exits non-zero and says why when the image is not what a static, GUI, system-DLL-only Quorel.exe must be.
"""
import struct
import sys

SYSTEM_DLLS = {
    'kernel32.dll', 'user32.dll', 'gdi32.dll', 'shell32.dll', 'ole32.dll', 'oleaut32.dll',
    'wininet.dll', 'version.dll', 'comctl32.dll', 'msvcrt.dll', 'advapi32.dll', 'shlwapi.dll',
    'uuid.dll', 'api-ms-win-crt-runtime-l1-1-0.dll',
}
LANG_ZH_CN = 0x0804
RT_ICON, RT_DIALOG, RT_STRING, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST, RT_DLGINIT = 3, 5, 6, 14, 16, 24, 240

failures = []


def check(cond, what):
    if not cond:
        failures.append(what)


class Image:
    def __init__(self, data):
        self.data = data
        check(data[:2] == b'MZ', 'no MZ header')
        pe = struct.unpack_from('<I', data, 0x3C)[0]
        check(data[pe:pe + 4] == b'PE\0\0', 'no PE signature')
        self.machine, nsect, _, _, _, optsize, self.characteristics = struct.unpack_from('<HHIIIHH', data, pe + 4)
        opt = pe + 24
        self.magic = struct.unpack_from('<H', data, opt)[0]
        self.subsystem = struct.unpack_from('<H', data, opt + 68)[0]
        dirs = opt + (96 if self.magic == 0x10B else 112)
        self.dirs = [struct.unpack_from('<II', data, dirs + 8 * i) for i in range(16)]
        self.sections = []
        sect = opt + optsize
        for i in range(nsect):
            name, vsize, va, rawsize, rawptr = struct.unpack_from('<8sIIII', data, sect + 40 * i)
            self.sections.append((name.rstrip(b'\0').decode(), va, max(vsize, rawsize), rawptr))

    def off(self, rva):
        for _, va, size, raw in self.sections:
            if va <= rva < va + size:
                return rva - va + raw
        raise ValueError('rva %x outside every section' % rva)

    def cstr(self, rva):
        o = self.off(rva)
        return self.data[o:self.data.index(b'\0', o)].decode('ascii')

    def imports(self):
        rva, size = self.dirs[1]
        names = []
        if not rva:
            return names
        o = self.off(rva)
        while True:
            ilt, _, _, name, iat = struct.unpack_from('<IIIII', self.data, o)
            if not (ilt or name or iat):
                break
            names.append(self.cstr(name).lower())
            o += 20
        return names

    def resources(self):
        """{type: {name: {lang: bytes}}} with integer ids (names as strings)."""
        rva, _ = self.dirs[2]
        base = self.off(rva)

        def name_of(entry_name):
            if entry_name & 0x80000000:
                o = base + (entry_name & 0x7FFFFFFF)
                n = struct.unpack_from('<H', self.data, o)[0]
                return self.data[o + 2:o + 2 + 2 * n].decode('utf-16-le')
            return entry_name

        def entries(o):
            _, _, _, _, nnamed, nid = struct.unpack_from('<IIHHHH', self.data, o)
            for i in range(nnamed + nid):
                yield struct.unpack_from('<II', self.data, o + 16 + 8 * i)

        out = {}
        for tname, toff in entries(base):
            for nname, noff in entries(base + (toff & 0x7FFFFFFF)):
                for lang, loff in entries(base + (noff & 0x7FFFFFFF)):
                    drva, dsize, _, _ = struct.unpack_from('<IIII', self.data, base + loff)
                    o = self.off(drva)
                    out.setdefault(name_of(tname), {}).setdefault(name_of(nname), {})[lang] = self.data[o:o + dsize]
        return out


def expected_dlginit():
    guid = lambda d1, d2, d3, d4: struct.pack('<IHH', d1, d2, d3) + bytes(d4)
    d = struct.pack('<IIII', 0, 0x4C, 20532, 17621) + bytes(24)
    d += struct.pack('<I', 0x4C) + bytes(8) + struct.pack('<I', 1)
    d += guid(0x0057D0E0, 0x3573, 0x11CF, [0xAE, 0x69, 0x08, 0x00, 0x2B, 0x2E, 0x12, 0x62])
    d += struct.pack('<II', 2, 0)
    d += struct.pack('<I', 0x4C) + guid(0x00021401, 0, 0, [0xC0, 0, 0, 0, 0, 0, 0, 0x46])
    d += struct.pack('<II', 0x80, 0) + bytes(24) + struct.pack('<IIIHHII', 0, 0, 1, 0, 0, 0, 0)
    d += bytes(4)
    assert len(d) == 160
    return struct.pack('<HHI', 1000, 0x0376, 160) + d + b'\0\0'


def main(path, arch):
    img = Image(open(path, 'rb').read())
    want_machine, want_magic = (0x14C, 0x10B) if arch == 'i686' else (0x8664, 0x20B)
    check(img.machine == want_machine, 'machine %#x, expected %#x' % (img.machine, want_machine))
    check(img.magic == want_magic, 'optional header magic %#x, expected %#x' % (img.magic, want_magic))
    check(img.subsystem == 2, 'subsystem %d, expected 2 (Windows GUI)' % img.subsystem)

    dlls = img.imports()
    check(dlls, 'no imports found')
    for dll in dlls:
        check(dll in SYSTEM_DLLS, 'imports %s, which is not a Windows system DLL' % dll)

    res = img.resources()
    for rtype, names in res.items():
        for name, langs in names.items():
            check(list(langs) == [LANG_ZH_CN], 'resource %s/%s has languages %s' % (rtype, name, list(langs)))

    def one(rtype, name):
        return next(iter(res.get(rtype, {}).get(name, {0: None}).values()))

    check(set(res.get(RT_DIALOG, {})) == {100, 102}, 'dialogs %s' % sorted(res.get(RT_DIALOG, {})))
    check(set(res.get(RT_GROUP_ICON, {})) == {128, 129}, 'icon groups %s' % sorted(res.get(RT_GROUP_ICON, {})))
    check(one(RT_DLGINIT, 102) == expected_dlginit(), 'the browser control\'s initial state differs')
    check(1 in res.get(RT_VERSION, {}), 'no version resource')
    check(7 in res.get(RT_STRING, {}), 'no string block holding string 101')
    manifest = one(RT_MANIFEST, 1) or b''
    check(b'level="asInvoker"' in manifest, 'the manifest does not request asInvoker')
    check(b'supportedOS' in manifest, 'the manifest names no supported OS')

    for group in (128, 129):
        data = one(RT_GROUP_ICON, group)
        if data is None:
            continue
        _, kind, count = struct.unpack_from('<HHH', data, 0)
        sizes = []
        for i in range(count):
            w, h, _, _, _, bpp, size, icon_id = struct.unpack_from('<BBBBHHIH', data, 6 + 14 * i)
            sizes.append((w or 256, h or 256, bpp))
            check(icon_id in res.get(RT_ICON, {}), 'icon group %d names missing icon %d' % (group, icon_id))
        check(sorted(sizes) == [(16, 16, 32), (32, 32, 32), (48, 48, 32)], 'icon group %d holds %s' % (group, sizes))

    if failures:
        for f in failures:
            print('FAIL:', f)
        return 1
    print('%s: %s PE, GUI, imports %s, %d resource types, all 0x0804' % (path, arch, ', '.join(dlls), len(res)))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1], sys.argv[2]))
