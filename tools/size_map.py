#!/usr/bin/env python3
"""Where the bytes of the shipped library go.

Usage: tools/size_map.py MAP [--functions N]

MAP is a GNU ld map of the library (link once more with -Wl,-Map,FILE; see
tools/size-map.sh). Prints the bytes each object file puts into the image's
code, read-only data, import tables and data, and with --functions the N
largest functions and tables, demangled. Only sections that made it into the
image count: the map's list of discarded sections is skipped.
"""
import re
import subprocess
import sys
from collections import defaultdict

SECTION = re.compile(r'^ (\.(?:text|rdata|data|idata|edata|bss)\S*)\s*(?:0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S+))?\s*$')
CONTINUATION = re.compile(r'^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S+)\s*$')


def read_items(path):
    text = open(path, encoding='utf-8', errors='replace').read()
    start = text.find('Linker script and memory map')
    lines = text[start:].split('\n') if start >= 0 else []
    items = []
    i = 0
    while i < len(lines):
        match = SECTION.match(lines[i])
        if match:
            name, address, size, origin = match.groups()
            if size is None and i + 1 < len(lines):
                follow = CONTINUATION.match(lines[i + 1])
                if follow:
                    address, size, origin = follow.groups()
                    i += 1
            if size is not None and int(address, 16) != 0 and int(size, 16) > 0:
                items.append((int(size, 16), name, object_name(origin)))
        i += 1
    return items


def object_name(origin):
    # Members of one import or system library count together.
    base = origin.split('/')[-1]
    archive = re.match(r'^(lib\w+)\.a\(', base)
    return archive.group(1) + '.a' if archive else base


def demangle(names):
    try:
        result = subprocess.run(['c++filt'], input='\n'.join(names), capture_output=True, text=True, check=True)
        return result.stdout.split('\n')
    except (OSError, subprocess.CalledProcessError):
        return names


def main(argv):
    if len(argv) < 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    functions = 0
    if '--functions' in argv:
        functions = int(argv[argv.index('--functions') + 1])
    items = read_items(argv[1])
    by_object = defaultdict(lambda: defaultdict(int))
    totals = defaultdict(int)
    for size, name, origin in items:
        kind = name.split('$')[0]
        by_object[origin][kind] += size
        totals[kind] += size
    kinds = sorted(totals)
    print('%-44s %s' % ('object', ' '.join('%7s' % k for k in kinds)))
    rows = sorted(by_object.items(), key=lambda row: -sum(row[1].values()))
    for origin, sizes in rows:
        print('%-44s %s' % (origin[:44], ' '.join('%7d' % sizes.get(k, 0) for k in kinds)))
    print('%-44s %s' % ('total', ' '.join('%7d' % totals[k] for k in kinds)))
    if functions:
        largest = sorted(items, key=lambda item: -item[0])[:functions]
        names = demangle([name.split('$', 1)[-1] for _, name, _ in largest])
        print()
        for (size, name, origin), shown in zip(largest, names):
            print('%6d %-8s %s' % (size, name.split('$')[0], shown[:120]))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
