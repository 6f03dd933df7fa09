#!/usr/bin/env python3
"""An independent reader of Quorel.exe: PE structure, imports and every resource, field by field.

usage: check_pe.py <exe> <i686|x86_64> <version a.b.c.d> <vendor host>
"""
import struct
import sys

# The loader takes these from the system's own section, never from the program's folder; any other static
# import would be found beside the program first, where every user can plant one.
KNOWN_DLLS = {'kernel32.dll', 'user32.dll', 'gdi32.dll', 'advapi32.dll', 'shell32.dll', 'ole32.dll', 'oleaut32.dll',
              'msvcrt.dll', 'shlwapi.dll', 'comdlg32.dll', 'imm32.dll', 'rpcrt4.dll', 'ws2_32.dll', 'setupapi.dll',
              'psapi.dll', 'sechost.dll', 'combase.dll', 'msctf.dll', 'nsi.dll', 'normaliz.dll', 'wldap32.dll'}
BOUND_ON_USE = ['version.dll', 'wininet.dll', 'wintrust.dll', 'crypt32.dll', 'comctl32.dll']
RT_ICON, RT_DIALOG, RT_STRING, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST, RT_DLGINIT = 3, 5, 6, 14, 16, 24, 240
ANY = object()  # a text left to the implementer: any non-empty one
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def fits(a, e):
    if isinstance(e, (tuple, list)):
        return isinstance(a, (tuple, list)) and len(a) == len(e) and all(map(fits, a, e))
    return a != '' if e is ANY else a == e


def same(actual, expected, what):
    check(fits(actual, expected), '%s is %r, expected %r' % (what, actual, expected))


def read_pe(data):
    """(machine, optional header magic, subsystem, rva -> file offset, data directories)"""
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    check(data[:2] == b'MZ' and data[pe:pe + 4] == b'PE\0\0', 'no MZ header or PE signature')
    machine, nsect, optsize = struct.unpack_from('<HH12xH', data, pe + 4)
    opt = pe + 24
    magic, subsystem = struct.unpack_from('<H66xH', data, opt)
    dirs = opt + (96 if magic == 0x10B else 112)
    sections = [struct.unpack_from('<8xIIII', data, opt + optsize + 40 * i) for i in range(nsect)]
    off = lambda rva: next(rva - va + raw for vsize, va, rawsize, raw in sections
                           if va <= rva < va + max(vsize, rawsize))
    return machine, magic, subsystem, off, [struct.unpack_from('<II', data, dirs + 8 * i) for i in range(16)]


def imports(data, off, dirs):
    names, o = [], off(dirs[1][0])
    while any(struct.unpack_from('<5I', data, o)):
        n = off(struct.unpack_from('<I', data, o + 12)[0])
        names.append(data[n:data.index(b'\0', n)].decode('ascii').lower())
        o += 20
    return names


def resources(data, off, dirs):
    """{type: {id: {language: bytes}}}"""
    base = off(dirs[2][0])

    def entries(o):
        count = sum(struct.unpack_from('<HH', data, o + 12))
        pairs = struct.unpack_from('<%dI' % (2 * count), data, o + 16)
        return [(pairs[i], base + (pairs[i + 1] & 0x7FFFFFFF)) for i in range(0, 2 * count, 2)]

    out = {}
    for rtype, o1 in entries(base):
        for rid, o2 in entries(o1):
            for lang, o3 in entries(o2):
                rva, size = struct.unpack_from('<II', data, o3)
                out.setdefault(rtype, {}).setdefault(rid, {})[lang] = data[off(rva):off(rva) + size]
    return out


def utf16z(d, o):
    e = o
    while d[e:e + 2] != b'\0\0':
        e += 2
    return d[o:e].decode('utf-16-le'), e + 2


def sz_or_ord(d, o):
    return ('#%d' % struct.unpack_from('<H', d, o + 2)[0], o + 4) if d[o:o + 2] == b'\xff\xff' else utf16z(d, o)


def dialog(d):
    """The header and the items of a DIALOG or DIALOGEX template, as tuples."""
    ex = d[:4] == b'\x01\x00\xff\xff'
    o = 16 if ex else 8
    head = (struct.unpack_from('<II', d, 8)[::-1] if ex else struct.unpack_from('<II', d)) + \
        struct.unpack_from('<Hhhhh', d, o)
    o += 10
    for _ in range(3):  # menu, class, caption
        text, o = sz_or_ord(d, o)
        head += (text,)
    head += struct.unpack_from('<HHBB' if ex else '<H', d, o)
    face, o = utf16z(d, o + (6 if ex else 2))
    items = []
    for _ in range(head[2]):
        o = (o + 3) & ~3
        fields = struct.unpack_from('<4xIIhhhhI' if ex else '<IIhhhhH', d, o)
        item = (fields[1], fields[0]) + fields[2:] if ex else fields
        cls, o = sz_or_ord(d, o + (24 if ex else 18))
        text, o = sz_or_ord(d, o)
        extra = struct.unpack_from('<H', d, o)[0]
        o += 2 + extra
        items.append(item + (cls, text, extra))
    return head + (face,), items


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
    """The browser control's persisted stream: extent, view and an empty shell-link location."""
    guid = lambda d1, d2, d3, d4: struct.pack('<IHH', d1, d2, d3) + bytes(d4)
    stream = struct.pack('<IIII24xI8xI', 0, 0x4C, 20532, 17621, 0x4C, 1) + \
        guid(0x0057D0E0, 0x3573, 0x11CF, [0xAE, 0x69, 0x08, 0x00, 0x2B, 0x2E, 0x12, 0x62]) + \
        struct.pack('<III', 2, 0, 0x4C) + guid(0x00021401, 0, 0, [0xC0, 0, 0, 0, 0, 0, 0, 0x46]) + \
        struct.pack('<I28xIIIHHIII', 0x80, 0, 0, 1, 0, 0, 0, 0, 0)
    return struct.pack('<HHI', 1000, 0x0376, len(stream)) + stream + b'\0\0'


def main(path, arch, version, vendor):
    data = open(path, 'rb').read()
    machine, magic, subsystem, off, dirs = read_pe(data)
    want = (0x14C, 0x10B) if arch == 'i686' else (0x8664, 0x20B)
    check((machine, magic) == want, 'machine and magic %#x %#x, expected %#x %#x' % ((machine, magic) + want))
    check(subsystem == 2, 'subsystem %d, expected 2 (Windows GUI)' % subsystem)
    dlls = imports(data, off, dirs)
    check(dlls and set(dlls) <= KNOWN_DLLS, 'static imports %s, not only KnownDLLs' % dlls)
    # The others are loaded on first use, by name from the system folder.
    check(all(b'\0' + dll.encode() + b'\0' in data for dll in BOUND_ON_USE), 'not every DLL bound on use is named')

    res = resources(data, off, dirs)
    for rtype, ids in res.items():
        for rid, langs in ids.items():
            check(list(langs) == [0x0804], 'resource %s/%s has languages %s' % (rtype, rid, list(langs)))
    one = lambda rtype, rid: next(iter(res.get(rtype, {}).get(rid, {0: b''}).values()))
    check(set(res.get(RT_DIALOG, {})) == {100, 102, 103}, 'dialogs %s' % sorted(res.get(RT_DIALOG, {})))

    head, items = dialog(one(RT_DIALOG, 102))
    same(head, (0x90C800C0, 0x00040010, 1, 0, 0, 517, 445, '', '', 'Zelmora ' + vendor, 9, 0, 0, 1, '宋体'),
         'the main dialog')
    same(items, [(0x50000000, 0, 0, 0, 517, 444, 1000, '{8856F961-340A-11D0-A96B-00C04FD705A2}', '', 0)],
         'the main dialog\'s items')
    check(one(RT_DLGINIT, 102) == expected_dlginit(), 'the browser control\'s initial state differs')
    head, items = dialog(one(RT_DIALOG, 100))
    same(head, (0x80C800C0, 0, 4, 0, 0, 235, 55, '', '', '关于 Tovrask', 9, '宋体'), 'the About box')
    same(items, [(0x50000003, 0, 11, 17, 20, 20, 0xFFFF, '#130', '#128', 0),
                 (0x50020080, 0, 40, 10, 119, 8, 0xFFFF, '#130', 'Tovrask', 0),
                 (0x50020000, 0, 40, 25, 166, 8, 0xFFFF, '#130', ANY, 0),
                 (0x50030001, 0, 178, 7, 50, 14, 1, '#128', '确定', 0)], 'the About box\'s items')

    head, items = dialog(one(RT_DIALOG, 103))
    same(head[9:], ('有新版更新', 9, 0, 0, 1, '宋体'), 'the download window')
    same([(item[6], item[7], item[8]) for item in items],
         [(0xFFFFFFFF, '#130', '正在下载新版本，请稍候……'), (1001, 'MSCTLS_PROGRESS32', ''), (2, '#128', '取消')],
         'the download window\'s items')

    block, o, strings = one(RT_STRING, 7), 0, []  # ids 96 to 111, each counted in UTF-16 units
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
    check(b'level="asInvoker"' in manifest and b'supportedOS' in manifest, 'the manifest lacks asInvoker or OS')
    check(set(res.get(RT_GROUP_ICON, {})) == {128, 129}, 'icon groups %s' % sorted(res.get(RT_GROUP_ICON, {})))
    for group in (128, 129):
        directory = one(RT_GROUP_ICON, group) or bytes(6)
        images = [struct.unpack_from('<BB4xH4xH', directory, 6 + 14 * i)  # width, height, bits, icon id
                  for i in range(struct.unpack_from('<H', directory, 4)[0])]
        same(sorted(image[:3] for image in images), [(16, 16, 32), (32, 32, 32), (48, 48, 32)], 'icon group %d' % group)
        for w, h, bpp, icon in images:  # each a bitmap of its own size and depth
            header = struct.unpack_from('<IiiHH', one(RT_ICON, icon) or bytes(16))
            same(header, (40, w, 2 * h, 1, bpp), 'icon %d' % icon)

    print('\n'.join('FAIL: ' + f for f in failures) or '%s: %s PE, imports %s' % (path, arch, ', '.join(dlls)))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main(*sys.argv[1:5]))
