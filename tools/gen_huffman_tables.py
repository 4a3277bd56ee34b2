#!/usr/bin/env python3
"""Generates src/layer3/huffman_tables.cpp from the Layer III Huffman code list.

Input: a text file with the codes of ISO/IEC 11172-3 Table 3-B.7, one code a line
("x y length codeword" for pair tables, "v w x y length codeword" for the quadruple
tables 32 and 33) under header lines "table N x_values X y_values Y linbits L
[shared_by A(linbits a),...]" or "table N quadruples ...".

Output: for every distinct code set a multi-level lookup table of 16-bit entries:
  leaf:    bit 15 = 0, bits 8..12 = code bits consumed at this level plus the
           symbol's sign bits (one per non-zero value), bits 0..7 = value
           (16x + y for pairs, 8v + 4w + 2x + y for quadruples)
  pointer: bit 15 = 1, bits 11..14 = index width of the next level,
           bits 0..10 = offset of the next level within the same array
The first level is indexed by the next `lookup_bits` bits of the stream. The script
checks that every code set is prefix-free and complete, so that every bit string
decodes to exactly one value.

Usage: gen_huffman_tables.py [codes.txt] [output.cpp]
"""
import os
import sys
from fractions import Fraction

PRIMARY_BITS = 8      # width of the first lookup level
SUB_BITS = 6          # widest later level
LEAF_LEN_SHIFT = 8
POINTER = 0x8000
WIDTH_SHIFT = 11
MAX_OFFSET = 1 << 11

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_IN = os.path.join(HERE, "..", "..", "shared", "tables", "huffman_codes.txt")
DEFAULT_OUT = os.path.join(HERE, "..", "src", "layer3", "huffman_tables.cpp")


def parse(path):
    """Returns {number: record} with record keys codes, x_values, y_values, linbits, quad."""
    tables = {}
    current = None
    with open(path) as f:
        for raw in f:
            line = raw.strip()
            if not line or line.startswith("#"):
                continue
            fields = line.split()
            if fields[0] == "table":
                number = int(fields[1])
                if fields[2] == "quadruples":
                    current = dict(codes=[], x_values=1, y_values=16, linbits=0, quad=True)
                else:
                    current = dict(codes=[], x_values=int(fields[3]), y_values=int(fields[5]),
                                   linbits=int(fields[7]), quad=False)
                tables[number] = current
                if len(fields) > 9 and fields[8] == "shared_by":
                    for item in "".join(fields[9:]).split(","):
                        shared, rest = item.split("(linbits")
                        tables[int(shared)] = dict(current, linbits=int(rest.rstrip(")")),
                                                   share_of=number)
                continue
            *values, length, code = fields
            values = [int(v) for v in values]
            if len(code) != int(length) or set(code) - {"0", "1"}:
                sys.exit("bad code line: " + line)
            if current["quad"]:
                v, w, x, y = values
                value = 8 * v + 4 * w + 2 * x + y
            else:
                x, y = values
                if not (0 <= x < current["x_values"] and 0 <= y < current["y_values"]):
                    sys.exit("value out of range: " + line)
                value = 16 * x + y
            current["codes"].append((code, value))
    return tables


def check(number, codes):
    words = sorted(c for c, _ in codes)
    for a, b in zip(words, words[1:]):
        if b.startswith(a):
            sys.exit("table %d: %s is a prefix of %s" % (number, a, b))
    if sum(Fraction(1, 2 ** len(c)) for c in words) != 1:
        sys.exit("table %d: the code is not complete" % number)


def sign_bits(value, quad):
    """Number of sign bits that follow the code: one per non-zero value."""
    if quad:
        return bin(value).count("1")
    return int(value >> 4 != 0) + int(value & 15 != 0)


def build(codes, width, entries, quad):
    """Appends one level of `width` index bits for `codes` (suffixes); returns its offset."""
    base = len(entries)
    entries.extend([None] * (1 << width))
    longer = {}
    for code, value in codes:
        if len(code) <= width:
            first = int(code, 2) << (width - len(code))
            for i in range(1 << (width - len(code))):
                length = len(code) + sign_bits(value, quad)
                entries[base + first + i] = (length << LEAF_LEN_SHIFT) | value
        else:
            longer.setdefault(code[:width], []).append((code[width:], value))
    for prefix, rest in sorted(longer.items()):
        sub_width = min(max(len(c) for c, _ in rest), SUB_BITS)
        offset = build(rest, sub_width, entries, quad)
        if offset >= MAX_OFFSET:
            sys.exit("lookup table too large")
        entries[base + int(prefix, 2)] = POINTER | (sub_width << WIDTH_SHIFT) | offset
    if any(e is None for e in entries[base:base + (1 << width)]):
        sys.exit("hole in lookup table")
    return base


def main():
    src = sys.argv[1] if len(sys.argv) > 1 else DEFAULT_IN
    dst = sys.argv[2] if len(sys.argv) > 2 else DEFAULT_OUT
    tables = parse(src)
    out = []
    out.append("// Generated by tools/gen_huffman_tables.py from the Layer III Huffman code list")
    out.append("// (ISO/IEC 11172-3 Table 3-B.7). Do not edit; regenerate instead.")
    out.append('#include "layer3/huffman_tables.h"')
    out.append("")
    out.append("namespace mpegin {")
    out.append("namespace {")
    primary = {}
    for number in sorted(tables):
        t = tables[number]
        if "share_of" in t:
            continue
        check(number, t["codes"])
        width = min(max(len(c) for c, _ in t["codes"]), PRIMARY_BITS)
        entries = []
        build(t["codes"], width, entries, t["quad"])
        primary[number] = width
        out.append("")
        out.append("const uint16_t lookup_%d[%d] = {" % (number, len(entries)))
        for i in range(0, len(entries), 12):
            out.append("    " + ", ".join("0x%04x" % e for e in entries[i:i + 12]) + ",")
        out.append("};")
    out.append("")
    out.append("}  // namespace")
    out.append("")
    out.append("const HuffmanTable huffman_tables[34] = {")
    for number in range(34):
        t = tables.get(number)
        if t is None:
            out.append("    {nullptr, 0, 0, 0, 0, 0},  // %d: no codes" % number)
            continue
        own = t.get("share_of", number)
        longest = max(len(c) for c, _ in t["codes"])
        symbol_bits = longest + 4 if t["quad"] else longest + 2 + 2 * t["linbits"]
        out.append("    {lookup_%d, %d, %d, %d, %d, %d},  // %d" % (
            own, primary[own], t["linbits"], t["x_values"], t["y_values"], symbol_bits, number))
    out.append("};")
    out.append("")
    out.append("}  // namespace mpegin")
    with open(dst, "w") as f:
        f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
