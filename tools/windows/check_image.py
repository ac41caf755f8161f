#!/usr/bin/env python3
"""Checks a 32-bit Windows image against what it must be: machine, subsystem,
DLL or not, entry point, exports, imports (read with the mingw binutils'
objdump and nm) and its version block (read from the resource section).

  check_image.py OBJDUMP IMAGE [CHECK...]

CHECK is one of
  subsystem=NAME          as objdump names it, e.g. "NT native", "Windows GUI"
  dll=yes|no              the image's DLL flag
  entry=SYMBOL            the entry point is that symbol's address
  exports=NAME@N,...      exactly these exports, by name and ordinal
  dlls=NAME,...           imports come from these DLLs only (any letter case)
  imports=DLL:NAME,...    from DLL exactly these functions
  fixed=FIELD=VALUE       FileVersion, ProductVersion (a.b.c.d), FileOS, FileType (hex)
  string=KEY=VALUE        an entry of the version block's string table
  resource=TYPE/ID=LANG,...  resource TYPE ID (numbers) exists in exactly these languages
Prints every mismatch and exits 1 when there is one.
"""
import re
import struct
import subprocess
import sys


def objdump(tool, image, *args):
    return subprocess.run([tool, *args, image], check=True, capture_output=True, text=True).stdout


def headers(text):
    fields = {}
    for line in text.splitlines():
        m = re.match(r'^(\w+)\s+([0-9a-fA-F]+)(?:\s+\((.*)\))?$', line.strip())
        if m:
            fields[m.group(1)] = (int(m.group(2), 16), m.group(3))
    return fields


def exports(text):
    names = {}
    base = 1
    m = re.search(r'Ordinal Base\s+(\d+)', text)
    if m:
        base = int(m.group(1))
    table = text.split('[Ordinal/Name Pointer] Table', 1)
    for m in re.finditer(r'^\s*\[\s*(\d+)\]\s+(\S+)\s*$', table[1] if len(table) > 1 else '', re.M):
        names[m.group(2)] = int(m.group(1)) + base
    return names


def imports(text):
    found = {}
    current = None
    for line in text.splitlines():
        m = re.match(r'^\s*DLL Name: (\S+)', line)
        if m:
            current = found.setdefault(m.group(1).lower(), set())
            continue
        m = re.match(r'^\s*[0-9a-f]+\s+\d+\s+(\S+)\s*$', line)
        if current is not None and m:
            current.add(m.group(1))
        elif not line.strip():
            current = None
    return found


def resources(text):
    """{(type, id): {language, ...}} from objdump's listing of the resource
    directory, whose levels (type, name, language) are told apart by indent."""
    found = {}
    path = []
    listing = text.split('The .rsrc Resource Directory section:', 1)
    for m in re.finditer(r'^[0-9a-f]+( +)Entry: ID: 0x([0-9a-f]+)', listing[1] if len(listing) > 1 else '', re.M):
        level = (len(m.group(1)) - 3) // 2
        path[level:] = [int(m.group(2), 16)]
        if level == 2:
            found.setdefault((path[0], path[1]), set()).add(path[2])
    return found


def version_block(data):
    """The VS_VERSIONINFO in the image: (fixed fields, string table)."""
    key = 'VS_VERSION_INFO'.encode('utf-16-le')
    at = data.find(key)
    if at < 6:
        return None, {}
    start = at - 6

    def block(offset):
        length, value_length, kind = struct.unpack_from('<HHH', data, offset)
        end = data.find(b'\0\0', offset + 6)
        while (end - offset) % 2:
            end = data.find(b'\0\0', end + 1)
        name = data[offset + 6:end].decode('utf-16-le')
        value_at = (end + 2 + 3) & ~3
        value_size = value_length * 2 if kind == 1 else value_length
        value = data[value_at:value_at + value_size]
        children = []
        child = (value_at + value_size + 3) & ~3
        while child < offset + length:
            sub = block(child)
            children.append(sub)
            child = (child + sub[3] + 3) & ~3
        return name, value, children, length

    _, value, children, _ = block(start)
    fixed = {}
    if len(value) >= 52 and struct.unpack_from('<I', value)[0] == 0xFEEF04BD:
        f = struct.unpack_from('<13I', value)

        def dotted(ms, ls):
            return '%d.%d.%d.%d' % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

        fixed = {'FileVersion': dotted(f[2], f[3]), 'ProductVersion': dotted(f[4], f[5]),
                 'FileOS': '0x%X' % f[8], 'FileType': '0x%X' % f[9]}
    strings = {}
    for name, _, tables, _ in children:
        if name == 'StringFileInfo':
            for _, _, entries, _ in tables:
                for key, text, _, _ in entries:
                    strings[key] = text.decode('utf-16-le').rstrip('\0')
    return fixed, strings


def main():
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    tool, image, checks = sys.argv[1], sys.argv[2], sys.argv[3:]
    private = objdump(tool, image, '-p')
    fields = headers(private)
    problems = []
    if 'file format pei-i386' not in objdump(tool, image, '-f'):
        problems.append('not an i386 PE image')
    with open(image, 'rb') as f:
        data = f.read()
    fixed, strings = version_block(data)
    characteristics = int(re.search(r'^Characteristics 0x([0-9a-f]+)', private, re.M).group(1), 16)
    for check in checks:
        what, _, want = check.partition('=')
        if what == 'subsystem':
            got = fields.get('Subsystem', (0, None))[1]
        elif what == 'dll':
            got = 'yes' if characteristics & 0x2000 else 'no'
        elif what == 'entry':
            nm = re.sub(r'objdump$', 'nm', tool)
            symbols = subprocess.run([nm, image], check=True, capture_output=True, text=True).stdout
            m = re.search(r'^([0-9a-f]+) T ' + re.escape(want) + r'$', symbols, re.M)
            entry = fields['AddressOfEntryPoint'][0] + fields['ImageBase'][0]
            got = want if m and int(m.group(1), 16) == entry else 'address 0x%X' % entry
        elif what == 'exports':
            got = ','.join('%s@%d' % item for item in sorted(exports(private).items(), key=lambda i: i[1]))
        elif what == 'dlls':
            allowed = {name.lower() for name in want.split(',')}
            extra = sorted(set(imports(private)) - allowed)
            got = want if not extra else 'also ' + ','.join(extra)
        elif what == 'imports':
            dll, _, names = want.partition(':')
            want = dll + ':' + ','.join(sorted(names.split(',')))
            got = dll + ':' + ','.join(sorted(imports(private).get(dll.lower(), ())))
        elif what == 'fixed':
            key, _, want = want.partition('=')
            got = fixed.get(key)
        elif what == 'string':
            key, _, want = want.partition('=')
            got = strings.get(key)
        elif what == 'resource':
            key, _, langs = want.partition('=')
            kind, _, number = key.partition('/')
            want = key + '=' + ','.join(sorted(langs.split(','), key=int))
            found = resources(private).get((int(kind), int(number)), ())
            got = key + '=' + ','.join(str(lang) for lang in sorted(found))
        else:
            print('unknown check: ' + check, file=sys.stderr)
            return 2
        if got != want:
            problems.append('%s: expected %s, found %s' % (check.partition('=')[0], want, got))
    for problem in problems:
        print('%s: %s' % (image, problem), file=sys.stderr)
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())
