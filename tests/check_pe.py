#!/usr/bin/env python3
"""An independent reader of Quorel.exe: PE structure, imports and every resource, byte for byte.

usage: check_pe.py <exe> <i686|x86_64> <version a.b.c.d> <vendor host>
Exits non-zero and says why when the image is not what a static, GUI, system-DLL-only Quorel.exe must be.
"""
import struct
import sys

SYSTEM_DLLS = {
    'kernel32.dll', 'user32.dll', 'gdi32.dll', 'shell32.dll', 'ole32.dll', 'oleaut32.dll', 'wininet.dll',
    'version.dll', 'comctl32.dll', 'msvcrt.dll', 'advapi32.dll', 'shlwapi.dll', 'wintrust.dll', 'crypt32.dll',
    'api-ms-win-crt-runtime-l1-1-0.dll',
}
LANG_ZH_CN = 0x0804
RT_ICON, RT_DIALOG, RT_STRING, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST, RT_DLGINIT = 3, 5, 6, 14, 16, 24, 240
BROWSER_CLSID = '{8856F961-340A-11D0-A96B-00C04FD705A2}'
ANY = object()  # a text left to the implementer: any non-empty one

failures = []


def check(cond, what):
    if not cond:
        failures.append(what)


def same(actual, expected, what):
    ok = len(actual) == len(expected) and all(
        (a != '' if e is ANY else a == e) for a, e in zip(actual, expected))
    check(ok, '%s is %r, expected %r' % (what, actual, expected))


class Image:
    def __init__(self, data):
        self.data = data
        check(data[:2] == b'MZ', 'no MZ header')
        pe = struct.unpack_from('<I', data, 0x3C)[0]
        check(data[pe:pe + 4] == b'PE\0\0', 'no PE signature')
        self.machine, nsect, _, _, _, optsize, _ = struct.unpack_from('<HHIIIHH', data, pe + 4)
        opt = pe + 24
        self.magic = struct.unpack_from('<H', data, opt)[0]
        self.subsystem = struct.unpack_from('<H', data, opt + 68)[0]
        dirs = opt + (96 if self.magic == 0x10B else 112)
        self.dirs = [struct.unpack_from('<II', data, dirs + 8 * i) for i in range(16)]
        self.sections = [struct.unpack_from('<8xIIII', data, opt + optsize + 40 * i) for i in range(nsect)]

    def off(self, rva):
        for vsize, va, rawsize, raw in self.sections:
            if va <= rva < va + max(vsize, rawsize):
                return rva - va + raw
        raise ValueError('rva %x outside every section' % rva)

    def imports(self):
        names, o = [], self.off(self.dirs[1][0])
        while any(struct.unpack_from('<IIIII', self.data, o)):
            n = self.off(struct.unpack_from('<I', self.data, o + 12)[0])
            names.append(self.data[n:self.data.index(b'\0', n)].decode('ascii').lower())
            o += 20
        return names

    def resources(self):
        """{type: {id: {lang: bytes}}}"""
        base = self.off(self.dirs[2][0])

        def entries(o):
            nnamed, nid = struct.unpack_from('<HH', self.data, o + 12)
            return [struct.unpack_from('<II', self.data, o + 16 + 8 * i) for i in range(nnamed + nid)]

        out = {}
        for tid, toff in entries(base):
            for nid, noff in entries(base + (toff & 0x7FFFFFFF)):
                for lang, loff in entries(base + (noff & 0x7FFFFFFF)):
                    drva, dsize = struct.unpack_from('<II', self.data, base + loff)
                    o = self.off(drva)
                    out.setdefault(tid, {}).setdefault(nid, {})[lang] = self.data[o:o + dsize]
        return out


def utf16z(d, o):
    e = o
    while d[e:e + 2] != b'\0\0':
        e += 2
    return d[o:e].decode('utf-16-le'), e + 2


def sz_or_ord(d, o):
    if d[o:o + 2] == b'\xff\xff':
        return '#%d' % struct.unpack_from('<H', d, o + 2)[0], o + 4
    return utf16z(d, o)


def dialog(d):
    """The header and the items of a DIALOG or DIALOGEX template, as tuples."""
    ex = d[:4] == b'\x01\x00\xff\xff'
    style, exstyle = struct.unpack_from('<II', d, 8)[::-1] if ex else struct.unpack_from('<II', d, 0)
    o = 16 if ex else 8
    head = (style, exstyle) + struct.unpack_from('<Hhhhh', d, o)
    o += 10
    for _ in range(3):  # menu, class, caption
        text, o = sz_or_ord(d, o)
        head += (text,)
    head += struct.unpack_from('<HHBB' if ex else '<H', d, o)
    face, o = utf16z(d, o + (6 if ex else 2))
    head += (face,)
    items = []
    for _ in range(head[2]):
        o = (o + 3) & ~3
        if ex:
            _, iexstyle, istyle, x, y, cx, cy, iid = struct.unpack_from('<IIIhhhhI', d, o)
        else:
            istyle, iexstyle, x, y, cx, cy, iid = struct.unpack_from('<IIhhhhH', d, o)
        cls, o = sz_or_ord(d, o + (24 if ex else 18))
        text, o = sz_or_ord(d, o)
        extra = struct.unpack_from('<H', d, o)[0]
        o += 2 + extra
        items.append((istyle, iexstyle, x, y, cx, cy, iid, cls, text, extra))
    return head, items


def version_values(d, o=0, prefix=''):
    """{path: value bytes} of a VS_VERSIONINFO tree."""
    length, vlen, vtype = struct.unpack_from('<HHH', d, o)
    key, p = utf16z(d, o + 6)
    p = (p + 3) & ~3
    size = vlen * 2 if vtype == 1 else vlen
    out = {prefix + key: d[p:p + size]}
    p = (p + size + 3) & ~3
    while p < o + length:
        out.update(version_values(d, p, prefix + key + '/'))
        p = (p + struct.unpack_from('<H', d, p)[0] + 3) & ~3
    return out


def expected_dlginit():
    guid = lambda d1, d2, d3, d4: struct.pack('<IHH', d1, d2, d3) + bytes(d4)
    d = struct.pack('<IIII', 0, 0x4C, 20532, 17621) + bytes(24)
    d += struct.pack('<I', 0x4C) + bytes(8) + struct.pack('<I', 1)
    d += guid(0x0057D0E0, 0x3573, 0x11CF, [0xAE, 0x69, 0x08, 0x00, 0x2B, 0x2E, 0x12, 0x62])
    d += struct.pack('<II', 2, 0)
    d += struct.pack('<I', 0x4C) + guid(0x00021401, 0, 0, [0xC0, 0, 0, 0, 0, 0, 0, 0x46])
    d += struct.pack('<II', 0x80, 0) + bytes(24) + struct.pack('<IIIHHII', 0, 0, 1, 0, 0, 0, 0) + bytes(4)
    return struct.pack('<HHI', 1000, 0x0376, 160) + d + b'\0\0'


def main(path, arch, version, vendor):
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
    one = lambda rtype, name: next(iter(res.get(rtype, {}).get(name, {0: b''}).values()))
    check(set(res.get(RT_DIALOG, {})) == {100, 102}, 'dialogs %s' % sorted(res.get(RT_DIALOG, {})))

    head, items = dialog(one(RT_DIALOG, 102))
    same(head, (0x90C800C0, 0x00040010, 1, 0, 0, 517, 445, '', '', 'Zelmora ' + vendor, 9, 0, 0, 1, '宋体'),
         'the main dialog')
    same(items, [(0x50000000, 0, 0, 0, 517, 444, 1000, BROWSER_CLSID, '', 0)], 'the main dialog\'s items')
    head, items = dialog(one(RT_DIALOG, 100))
    same(head, (0x80C800C0, 0, 4, 0, 0, 235, 55, '', '', '关于 Tovrask', 9, '宋体'), 'the About box')
    for item, want in zip(items, [(0x50000003, 0, 11, 17, 20, 20, 0xFFFF, '#130', '#128', 0),
                                  (0x50020080, 0, 40, 10, 119, 8, 0xFFFF, '#130', 'Tovrask', 0),
                                  (0x50020000, 0, 40, 25, 166, 8, 0xFFFF, '#130', ANY, 0),
                                  (0x50030001, 0, 178, 7, 50, 14, 1, '#128', '确定', 0)]):
        same(item, want, 'an About box item')
    check(len(items) == 4, 'the About box has %d items' % len(items))
    check(one(RT_DLGINIT, 102) == expected_dlginit(), 'the browser control\'s initial state differs')

    strings, o = [], 0  # block 7 holds ids 96 to 111
    block = one(RT_STRING, 7)
    while o < len(block):
        n = struct.unpack_from('<H', block, o)[0]
        strings.append(block[o + 2:o + 2 + 2 * n].decode('utf-16-le'))
        o += 2 + 2 * n
    check(strings[5:6] == ['关于 Tovrask(&A)...'], 'string 101 is %r' % strings[5:6])

    values = version_values(one(RT_VERSION, 1))
    fixed = struct.unpack('<13I', values.get('VS_VERSION_INFO', bytes(52))[:52])
    a, b, c, d = (int(n) for n in version.split('.'))
    same(fixed[:1] + fixed[2:11], (0xFEEF04BD, a << 16 | b, c << 16 | d, a << 16 | b, c << 16 | d, 0x3F, 0, 4, 1, 0),
         'the fixed version information')
    texts = {k.split('/')[-1]: v.decode('utf-16-le').rstrip('\0') for k, v in values.items()
             if k.startswith('VS_VERSION_INFO/StringFileInfo/080404b0/')}
    commas = ', '.join(version.split('.'))
    want = {'Comments': '', 'CompanyName': vendor, 'FileDescription': ANY, 'FileVersion': commas,
            'InternalName': 'Zelmora', 'LegalCopyright': ANY, 'LegalTrademarks': '', 'OriginalFilename': 'Quorel.exe',
            'PrivateBuild': '', 'ProductName': 'Zelmora', 'ProductVersion': commas, 'SpecialBuild': ''}
    same([texts.get(k) for k in sorted(want)], [want[k] for k in sorted(want)], 'the version strings')
    check(values.get('VS_VERSION_INFO/VarFileInfo/Translation') == struct.pack('<HH', 0x0804, 1200),
          'the version translation')

    manifest = one(RT_MANIFEST, 1)
    check(b'level="asInvoker"' in manifest, 'the manifest does not request asInvoker')
    check(b'supportedOS' in manifest, 'the manifest names no supported OS')
    check(set(res.get(RT_GROUP_ICON, {})) == {128, 129}, 'icon groups %s' % sorted(res.get(RT_GROUP_ICON, {})))
    for group in (128, 129):
        data = one(RT_GROUP_ICON, group)
        sizes = []
        for i in range(struct.unpack_from('<H', data, 4)[0] if data else 0):
            w, h, _, _, _, bpp, _, icon_id = struct.unpack_from('<BBBBHHIH', data, 6 + 14 * i)
            header = struct.unpack_from('<IiiHH', one(RT_ICON, icon_id) or bytes(16))
            check(header == (40, w, 2 * h, 1, bpp), 'icon %d has the header %s' % (icon_id, header))
            sizes.append((w, h, bpp))
        check(sorted(sizes) == [(16, 16, 32), (32, 32, 32), (48, 48, 32)], 'icon group %d holds %s' % (group, sizes))

    for f in failures:
        print('FAIL:', f)
    if not failures:
        print('%s: %s PE, GUI, imports %s, %d resource types, all 0x0804' % (path, arch, ', '.join(dlls), len(res)))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main(*sys.argv[1:5]))
