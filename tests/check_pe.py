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


def fits(a, e):
    if isinstance(e, (tuple, list)):
        return isinstance(a, (tuple, list)) and len(a) == len(e) and all(map(fits, a, e))
    return bool(a) if e is ANY else a == e


def same(actual, expected, what):
    if not fits(actual, expected):
        failures.append('%s is %r, expected %r' % (what, actual, expected))


class Cursor:
    """Reads little-endian fields, texts and padding one after another."""
    def __init__(self, data, at=0):
        self.data, self.at = data, at

    def __call__(self, fmt):
        self.at += struct.calcsize('<' + fmt)
        return struct.unpack_from('<' + fmt, self.data, self.at - struct.calcsize('<' + fmt))

    def text(self):  # UTF-16 units up to a zero one
        return b''.join(iter(lambda: self('2s')[0], b'\0\0')).decode('utf-16-le')

    def name(self):  # a text, or 0xFFFF and an ordinal
        return '#%d' % self('2xH')[0] if self.data[self.at:self.at + 2] == b'\xff\xff' else self.text()

    def align(self):
        self.at = (self.at + 3) & ~3
        return self


def dialog(d):
    """The header and the items of a DIALOG or DIALOGEX template, as tuples: styles first, ex or not."""
    c, ex = Cursor(d), d[:4] == b'\x01\x00\xff\xff'
    styles = lambda skip: c.align()(skip + 'II')[::-1] if ex else c.align()('II')
    head = styles('8x') + c('Hhhhh') + (c.name(), c.name(), c.name()) + c('HHBB' if ex else 'H') + (c.text(),)
    items = []
    for _ in range(head[2]):
        items.append(styles('4x') + c('hhhhI' if ex else 'hhhhH') + (c.name(), c.name()) + c('H'))
        c.at += items[-1][-1]
    return head, items


def version_values(c, prefix=''):
    """{path: value bytes} of the VS_VERSIONINFO tree at the cursor."""
    end = c.at + c('H')[0]
    size, is_text = c('HH')
    key = prefix + c.text()
    out = {key: c.align()('%ds' % (size * (1 + is_text)))[0]}
    while c.align().at < end:
        out.update(version_values(c, key + '/'))
    return out


def main(path, arch, version, vendor):
    data = open(path, 'rb').read()
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    signature, machine, count, optsize, magic, subsystem = struct.unpack_from('<4sHH12xH2xH66xH', data, pe)
    same((data[:2], signature), (b'MZ', b'PE\0\0'), 'the MZ header and PE signature')
    same((machine, magic, subsystem), ((0x14C, 0x10B) if arch == 'i686' else (0x8664, 0x20B)) + (2,),
         'machine, magic and subsystem (2: Windows GUI)')
    dirs = pe + 24 + (96 if magic == 0x10B else 112)
    sections = [struct.unpack_from('<8xIIII', data, pe + 24 + optsize + 40 * i) for i in range(count)]
    off = lambda rva: next(rva - va + raw for vsize, va, rawsize, raw in sections if va <= rva < va + max(vsize, rawsize))
    c = Cursor(data, off(struct.unpack_from('<I', data, dirs + 8)[0]))
    names = [off(entry[3]) for entry in iter(lambda: c('5I'), (0,) * 5)]  # up to the empty descriptor
    dlls = [data[name:data.index(b'\0', name)].decode('ascii').lower() for name in names]
    same(sorted(set(dlls or ['none']) - KNOWN_DLLS), [], 'the static imports that are not KnownDLLs')
    # The others are loaded on first use, by name from the system folder.
    same([n for n in BOUND_ON_USE if b'\0%s\0' % n.encode() not in data], [], 'the DLLs bound on use not named')

    base = off(struct.unpack_from('<I', data, dirs + 16)[0])  # {type: {id: {language: bytes}}} below

    def tree(at, depth):
        if not depth:
            rva, size = struct.unpack_from('<II', data, at)
            return data[off(rva):off(rva) + size]
        entries = Cursor(data, at + 16)('%dI' % (2 * sum(struct.unpack_from('<HH', data, at + 12))))
        return {key: tree(base + (sub & 0x7FFFFFFF), depth - 1) for key, sub in zip(entries[::2], entries[1::2])}
    res = tree(base, 3)
    same({'%s/%s' % (rtype, rid): list(langs) for rtype, ids in res.items() for rid, langs in ids.items()
          if list(langs) != [0x0804]}, {}, 'the resources in a language other than 0x0804 alone')
    one = lambda rtype, rid: next(iter(res.get(rtype, {}).get(rid, {0: b''}).values()))
    same(sorted(res.get(RT_DIALOG, {})), [100, 102, 103], 'the dialogs')

    same(dialog(one(RT_DIALOG, 102)),
         ((0x90C800C0, 0x00040010, 1, 0, 0, 517, 445, '', '', 'Zelmora ' + vendor, 9, 0, 0, 1, '宋体'),
          [(0x50000000, 0, 0, 0, 517, 444, 1000, '{8856F961-340A-11D0-A96B-00C04FD705A2}', '', 0)]), 'the main dialog')
    stream = (struct.pack('<IIII24xI8xI', 0, 0x4C, 20532, 17621, 0x4C, 1)  # the browser's persisted stream
              + struct.pack('<IHH8B', 0x0057D0E0, 0x3573, 0x11CF, 0xAE, 0x69, 0x08, 0x00, 0x2B, 0x2E, 0x12, 0x62)
              + struct.pack('<III', 2, 0, 0x4C) + struct.pack('<IHH8B', 0x00021401, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46)
              + struct.pack('<I28xIIIHHIII', 0x80, 0, 0, 1, 0, 0, 0, 0, 0))
    same(one(RT_DLGINIT, 102), struct.pack('<HHI', 1000, 0x0376, len(stream)) + stream + b'\0\0',
         'the browser control\'s initial state')
    same(dialog(one(RT_DIALOG, 100)), ((0x80C800C0, 0, 4, 0, 0, 235, 55, '', '', '关于 Tovrask', 9, '宋体'),
                                       [(0x50000003, 0, 11, 17, 20, 20, 0xFFFF, '#130', '#128', 0),
                                        (0x50020080, 0, 40, 10, 119, 8, 0xFFFF, '#130', 'Tovrask', 0),
                                        (0x50020000, 0, 40, 25, 166, 8, 0xFFFF, '#130', ANY, 0),
                                        (0x50030001, 0, 178, 7, 50, 14, 1, '#128', '确定', 0)]), 'the About box')
    head, items = dialog(one(RT_DIALOG, 103))
    same(head[9:], ('有新版更新', 9, 0, 0, 1, '宋体'), 'the download window')
    same([item[6:9] for item in items],
         [(0xFFFFFFFF, '#130', '正在下载新版本，请稍候……'), (1001, 'MSCTLS_PROGRESS32', ''), (2, '#128', '取消')],
         'the download window\'s items')

    c = Cursor(one(RT_STRING, 7) or bytes(32))  # ids 96 to 111, each counted in UTF-16 units
    strings = [c('%ds' % (2 * c('H')[0]))[0].decode('utf-16-le') for _ in range(16)]
    same(strings[5], '关于 Tovrask(&A)...', 'string 101')

    values = version_values(Cursor(one(RT_VERSION, 1)))
    fixed = struct.unpack('<13I', values.get('VS_VERSION_INFO', bytes(52))[:52])
    w, x, y, z = (int(n) for n in version.split('.'))
    same(fixed[:1] + fixed[2:11], (0xFEEF04BD, w << 16 | x, y << 16 | z, w << 16 | x, y << 16 | z, 0x3F, 0, 4, 1, 0),
         'the fixed version information')
    texts = {k.split('/')[-1]: v.decode('utf-16-le').rstrip('\0') for k, v in values.items()
             if k.startswith('VS_VERSION_INFO/StringFileInfo/080404b0/')}
    commas = ', '.join(version.split('.'))
    want = {'Comments': '', 'CompanyName': vendor, 'FileDescription': ANY, 'FileVersion': commas,
            'InternalName': 'Zelmora', 'LegalCopyright': ANY, 'LegalTrademarks': '', 'OriginalFilename': 'Quorel.exe',
            'PrivateBuild': '', 'ProductName': 'Zelmora', 'ProductVersion': commas, 'SpecialBuild': ''}
    same([texts.get(k) for k in want], list(want.values()), 'the version strings')
    same(values.get('VS_VERSION_INFO/VarFileInfo/Translation'), struct.pack('<HH', 0x0804, 1200),
         'the version translation')

    manifest = one(RT_MANIFEST, 1)
    same([t for t in (b'level="asInvoker"', b'supportedOS') if t not in manifest], [], 'what the manifest lacks')
    same(sorted(res.get(RT_GROUP_ICON, {})), [128, 129], 'the icon groups')
    for group in (128, 129):
        c = Cursor(one(RT_GROUP_ICON, group) or bytes(6), 4)
        images = [c('BB4xH4xH') for _ in range(c('H')[0])]  # width, height, bits, icon id
        same(sorted(image[:3] for image in images), [(16, 16, 32), (32, 32, 32), (48, 48, 32)], 'icon group %d' % group)
        for w, h, bpp, icon in images:  # each a bitmap of its own size and depth
            same(struct.unpack_from('<IiiHH', one(RT_ICON, icon) or bytes(16)), (40, w, 2 * h, 1, bpp), 'icon %d' % icon)

    print('\n'.join('FAIL: ' + f for f in failures) or '%s: %s PE, imports %s' % (path, arch, ', '.join(dlls)))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main(*sys.argv[1:5]))
