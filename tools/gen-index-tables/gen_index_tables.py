#!/usr/bin/env python3
"""Turns the measured text index code tables into compact C++ data.

Usage: gen_index_tables.py <text-index-codes dir> <output dir>

Writes GeneralLegacyCodes.inc and General97Codes.inc. Each code unit gets a
record in a byte pool; long stretches of ignored code units and of simple
two-byte codes that grow by one per code unit (most of the CJK and Hangul
blocks) are stored as runs instead, which keeps the General Legacy table
around 40 KB instead of several hundred.

Record layout in the pool (all bytes):
  [kind | weights << 4] [lenA | lenB << 4] A-bytes B-bytes
  kind: 0 ignored, 1 simple, 2 international, 3 unprintable,
        4 unprintable-ext, 5 international-ext (crazy code 1),
        6 international-ext (crazy code 2), 7 significant
  A: inline bytes (unprintable bytes for kind 3)
  B: extra bytes (the modifier byte for kind 4)
  weights: General Legacy: how many sort weights the inline bytes hold; a
  byte that is a complete one-byte code elsewhere in the table is one
  weight, any other byte starts a two-byte weight. General 97: how many of
  the inline bytes are codes of letters that can carry an accent ("G"
  lines), which is what its accent positions count (ß counts as two s).
"""
import os
import sys

KINDS = {'X': 0, 'S': 1, 'I': 2, 'U': 3, 'P': 4, 'G': 7}
RUN_POOL, RUN_IGNORED, RUN_SEQ2 = 0, 1, 2
MAX_POOL_RUN = 16


def hex_bytes(text):
    if not text:
        return b''
    if len(text) % 2:
        text = '0' + text
    return bytes.fromhex(text)


def parse_line(line):
    kind = line[0]
    fields = line[1:].split(',') if len(line) > 1 else []
    if kind == 'X':
        return (0, b'', b'')
    if kind in 'SG':
        assert len(fields) == 1
        return (KINDS[kind], hex_bytes(fields[0]), b'')
    if kind == 'I':
        assert len(fields) == 2
        return (2, hex_bytes(fields[0]), hex_bytes(fields[1]))
    if kind == 'U':
        assert len(fields) == 1
        return (3, hex_bytes(fields[0]), b'')
    if kind == 'P':
        assert len(fields) == 1
        mod = hex_bytes(fields[0])
        assert len(mod) == 1
        return (4, b'', mod)
    if kind == 'Z':
        assert len(fields) == 3
        return (5 if fields[2] == '1' else 6, hex_bytes(fields[0]), hex_bytes(fields[1]))
    raise ValueError('unknown kind in line: ' + line)


def read_lines(path, count):
    with open(path, encoding='ascii') as f:
        lines = f.read().split('\n')
    lines = [l for l in lines if l]
    if len(lines) != count:
        raise ValueError('%s: expected %d lines, found %d' % (path, count, len(lines)))
    return lines


def one_byte_codes(records):
    codes = set()
    for kind, a, _b in records.values():
        if kind in (1, 2, 5, 6, 7) and len(a) == 1:
            codes.add(a[0])
    return codes


def weight_count(a, singles):
    n, i = 0, 0
    while i < len(a):
        i += 1 if a[i] in singles else 2
        n += 1
    return n


def significant_count(a, significant):
    return sum(1 for x in a if x in significant)


def encode_record(rec, weigh):
    kind, a, b = rec
    weights = weigh(kind, a)
    assert weights < 16 and len(a) < 16 and len(b) < 16
    return bytes([kind | (weights << 4), len(a) | (len(b) << 4)]) + a + b


def build(records, singles, weigh):
    """records: dict code unit -> (kind, A, B) for every unit 0..0xFFFF."""
    runs = []  # (first, kind, payload)
    pool = bytearray()
    cp = 0
    while cp <= 0xFFFF:
        kind, a, b = records[cp]
        if kind == 0:
            end = cp
            while end + 1 <= 0xFFFF and records[end + 1][0] == 0:
                end += 1
            runs.append((cp, RUN_IGNORED, 0))
            cp = end + 1
            continue
        if kind == 1 and len(a) == 2 and a[0] not in singles:
            code = int.from_bytes(a, 'big')
            end = cp
            while end + 1 <= 0xFFFF:
                k2, a2, _ = records[end + 1]
                if k2 != 1 or len(a2) != 2 or a2[0] in singles:
                    break
                if int.from_bytes(a2, 'big') != code + (end + 1 - cp):
                    break
                end += 1
            if end > cp:
                runs.append((cp, RUN_SEQ2, code))
                cp = end + 1
                continue
        # a stretch of irregular code units, each with its own pool record
        start = cp
        offset = len(pool)
        while cp <= 0xFFFF and cp - start < MAX_POOL_RUN:
            rec = records[cp]
            if cp > start and (rec[0] == 0 or is_seq_start(records, cp, singles)):
                break
            pool += encode_record(rec, weigh)
            cp += 1
        assert offset < 0x10000
        runs.append((start, RUN_POOL, offset))
    return runs, pool


def is_seq_start(records, cp, singles):
    if cp + 1 > 0xFFFF:
        return False
    k, a, _ = records[cp]
    k2, a2, _ = records[cp + 1]
    if k != 1 or k2 != 1 or len(a) != 2 or len(a2) != 2 or a[0] in singles or a2[0] in singles:
        return False
    return int.from_bytes(a2, 'big') == int.from_bytes(a, 'big') + 1


def emit(path, name, runs, pool, extra=''):
    out = []
    out.append('// Generated by tools/gen-index-tables/gen_index_tables.py from the measured')
    out.append('// text index code tables. Do not edit; run the generator instead.')
    out.append('// clang-format off')
    out.append('static constexpr TextCodeRun k%sRuns[] = {' % name)
    line = ''
    for first, kind, payload in runs:
        item = '{0x%04X,%d,0x%04X},' % (first, kind, payload)
        if len(line) + len(item) > 96:
            out.append('  ' + line)
            line = ''
        line += item
    if line:
        out.append('  ' + line)
    out.append('};')
    out.append('static constexpr std::uint8_t k%sPool[] = {' % name)
    for i in range(0, len(pool), 24):
        out.append('  ' + ''.join('0x%02X,' % x for x in pool[i:i + 24]))
    out.append('};')
    if extra:
        out.append(extra)
    out.append('// clang-format on')
    with open(path, 'w', encoding='ascii') as f:
        f.write('\n'.join(out) + '\n')


def main():
    src, dst = sys.argv[1], sys.argv[2]

    # General Legacy: 256 low code units plus every other BMP unit but surrogates
    low = read_lines(os.path.join(src, 'index_codes_genleg.txt'), 256)
    ext = read_lines(os.path.join(src, 'index_codes_ext_genleg.txt'), 0x10000 - 256 - 0x800)
    records = {}
    for i, l in enumerate(low):
        records[i] = parse_line(l)
    cp = 256
    for l in ext:
        if cp == 0xD800:
            cp = 0xE000
        records[cp] = parse_line(l)
        cp += 1
    # surrogates are computed by the encoder; mark them ignored in the table
    for s in range(0xD800, 0xE000):
        records[s] = (0, b'', b'')
    singles = one_byte_codes(records)
    runs, pool = build(records, singles,
                       lambda k, a: weight_count(a, singles) if k in (1, 2, 5, 6, 7) else 0)
    emit(os.path.join(dst, 'GeneralLegacyCodes.inc'), 'GeneralLegacy', runs, pool)
    print('General Legacy: %d runs, %d pool bytes' % (len(runs), len(pool)))

    # General 97: 256 code units; a few higher units map onto the low table
    low97 = read_lines(os.path.join(src, 'index_codes_gen_97.txt'), 256)
    records97 = {i: parse_line(l) for i, l in enumerate(low97)}
    # The measured table ignores NUL, but Access 97 writes the code of the other
    # control characters for it (MSysModules2 in the Jet 3 Northwind file).
    if records97[0][0] == 0:
        records97[0] = records97[1]
    for u in range(256, 0x10000):
        records97[u] = (0, b'', b'')
    singles97 = one_byte_codes(records97)
    significant = {a[0] for k, a, _ in records97.values() if k == 7}
    runs97, pool97 = build(records97, singles97,
                           lambda k, a: significant_count(a, significant) if k in (1, 7) else 0)
    pairs = []
    with open(os.path.join(src, 'index_mappings_ext_gen_97.txt'), encoding='ascii') as f:
        for line in f:
            line = line.strip()
            if line:
                a, b = line.split(',')
                pairs.append((int(a), int(b)))
    pairs.sort()
    extra = 'static constexpr std::uint16_t kGeneral97Mappings[][2] = {\n'
    extra += '  ' + ''.join('{0x%04X,0x%02X},' % p for p in pairs) + '\n};'
    emit(os.path.join(dst, 'General97Codes.inc'), 'General97', runs97, pool97, extra)
    print('General 97: %d runs, %d pool bytes, %d mappings' % (len(runs97), len(pool97), len(pairs)))


if __name__ == '__main__':
    main()
