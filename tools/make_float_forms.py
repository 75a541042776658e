#!/usr/bin/env python3
"""Writes the float-heavy forms of tests/data/float_forms and their expected
conversions, with every float text and bit pattern computed by the x87 unit
itself (tools/x87_float_oracle.cpp, built here with g++ on an x86 host):

  bits.DFM             extended bit patterns of every kind -> bits.TXT
  literals.source.txt  float literals in a text form       -> literals.DFM
  literals.DFM                                              -> literals.TXT

The values are fixed (a seeded generator); run again only to change the set.
Usage: python3 tools/make_float_forms.py [output folder]
"""

import os
import random
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_OUT = os.path.join(HERE, "..", "tests", "data", "float_forms")
CRLF = b"\r\n"
BIAS = 16383


class Oracle:
    def __init__(self, folder):
        program = os.path.join(folder, "x87_float_oracle")
        subprocess.run(["g++", "-std=c++20", "-O0", "-frounding-math", "-o", program,
                        os.path.join(HERE, "x87_float_oracle.cpp")], check=True)
        self.program = program

    def ask(self, queries):
        answer = subprocess.run([self.program], input="".join(q + "\n" for q in queries),
                                capture_output=True, text=True, check=True)
        return answer.stdout.splitlines()

    def format(self, patterns):
        return self.ask(["F " + p for p in patterns])

    def parse(self, texts):
        return self.ask(["P " + t for t in texts])


def pattern(sign, biased, significand):
    return "%04X%016X" % ((sign << 15) | biased, significand)


def pattern_bytes(hex_pattern):
    sign_exponent = int(hex_pattern[:4], 16)
    significand = int(hex_pattern[4:], 16)
    return struct.pack("<QH", significand, sign_exponent)


def name(text):
    data = text.encode("ascii")
    return bytes([len(data)]) + data


def resource_form(class_name, object_name, properties):
    """properties: (name, [pattern, ...]) pairs; one pattern is a plain value,
    several a list."""
    stream = b"TPF0" + name(class_name) + name(object_name)
    for prop, values in properties:
        stream += name(prop)
        items = b"".join(b"\x05" + pattern_bytes(v) for v in values)
        stream += items if len(values) == 1 else b"\x01" + items + b"\x00"
    stream += b"\x00\x00"
    header = (b"\xFF\x0A\x00" + class_name.upper().encode("ascii") + b"\x00\x30\x10"
              + struct.pack("<I", len(stream)))
    return header + stream


def text_form(class_name, object_name, properties):
    """properties: (name, [text, ...]) pairs, laid out as the converter writes them."""
    lines = [b"object %s: %s" % (object_name.encode(), class_name.encode())]
    for prop, values in properties:
        if len(values) == 1:
            lines.append(b"  %s = %s" % (prop.encode(), values[0].encode()))
        else:
            lines.append(b"  %s = (" % prop.encode())
            lines += [b"    " + v.encode() for v in values]
            lines[-1] += b")"
    lines.append(b"end")
    return CRLF.join(lines) + CRLF


def special_patterns(oracle):
    top = 1 << 63
    rows = [
        ("PlusZero", pattern(0, 0, 0)),
        ("MinusZero", pattern(1, 0, 0)),
        ("SmallestDenormal", pattern(0, 0, 1)),
        ("LargestDenormal", pattern(0, 0, top - 1)),
        ("PseudoDenormal", pattern(1, 0, top | 12345)),
        ("SmallestNormal", pattern(0, 1, top)),
        ("LargestFinite", pattern(0, 0x7FFE, (1 << 64) - 1)),
        ("MinusLargestFinite", pattern(1, 0x7FFE, (1 << 64) - 1)),
        ("PlusInfinity", pattern(0, 0x7FFF, top)),
        ("MinusInfinity", pattern(1, 0x7FFF, top)),
        ("InfinityLowBits", pattern(0, 0x7FFF, top | 1)),
        ("QuietNaN", pattern(0, 0x7FFF, 3 << 62)),
        ("MinusQuietNaN", pattern(1, 0x7FFF, 3 << 62)),
        ("SignallingNaN", pattern(0, 0x7FFF, top | (1 << 60))),
        ("PseudoInfinity", pattern(0, 0x7FFF, 0)),
        ("PseudoNaN", pattern(0, 0x7FFF, 1 << 62)),
        ("One", pattern(0, BIAS, top)),
        ("TwoPow31", pattern(0, BIAS + 31, top)),
        ("TwoPow63", pattern(0, BIAS + 63, top)),
        ("TwoPow64Less1", pattern(0, BIAS + 63, (1 << 64) - 1)),
        ("TwoPowMinus680", pattern(0, BIAS - 680, top)),
        ("TwoPowMinus681", pattern(0, BIAS - 681, top)),
        ("TwoPowMinus16000", pattern(1, BIAS - 16000, top)),
    ]
    # Values from decimal texts, and the neighbours of some of them.
    decimals = [
        ("OnePointFive", "1.5"), ("MinusHalf", "-0.5"), ("Tenth", "0.1"),
        ("Third", "0.333333333333333333333"), ("TwoThirds", "0.666666666666666666667"),
        ("Pi", "3.14159265358979323846"), ("NearTenPow15", "999999999999999.5"),
        ("TenPow15", "1E15"), ("ThreeBillion", "3000000000"), ("Carry", "9.999999999999995"),
        ("HalfUp", "1.000000000000005"), ("JustBelowHalf", "1.0000000000000049"),
        ("Thousandth", "0.001"), ("TenThousandth", "0.0001"), ("Small", "0.000099999999999999995"),
        ("TenPow27", "1E27"), ("TenPow28", "1E28"), ("TenPow31", "1E31"), ("TenPow32", "1E32"),
        ("TenPow33", "1E33"), ("TenPow511", "1E511"), ("TenPow512", "1E512"),
        ("TenPow513", "1E513"), ("TenPow4608", "1E4608"), ("TenPowMinus4608", "1E-4608"),
        ("TenPowMinus4931", "1E-4931"),
    ]
    parsed = oracle.parse([text for _, text in decimals])
    for (label, _), bits in zip(decimals, parsed):
        assert bits != "FAIL", label
        rows.append((label, bits))
    for label in ("Tenth", "TenPow15", "Pi"):
        bits = dict(rows)[label]
        value = int(bits[4:], 16)
        rows.append((label + "Up", bits[:4] + "%016X" % (value + 1)))
        rows.append((label + "Down", bits[:4] + "%016X" % (value - 1)))
    return rows


def random_patterns(rng):
    top = 1 << 63

    def one(low, high):
        return pattern(rng.getrandbits(1), rng.randint(low, high), top | rng.getrandbits(63))

    wide = [one(1, 0x7FFE) for _ in range(80)]
    ordinary = [one(BIAS - 64, BIAS + 64) for _ in range(120)]
    tiny = [one(1, BIAS - 681) for _ in range(40)]
    return [("Wide", wide), ("Ordinary", ordinary), ("Tiny", tiny)]


EDGE_LITERALS = [
    "1.5", "2.5E-1", "-.5", "12.", "-.", "1E", "1e+", "-0.0", "0.25", "1E27", "1E4932",
    "1E-4999", "1.18973149535723E4932", "3.36210314311209E-4932", "1E-4940", "3.6E-4951",
    "1.8E-4951", "1.9E-4951", "0.1", "0.2", "0.3", "0.7", "1.000000000000005",
    "1.0000000000000049", "9.999999999999995", "99999999999999.95",
    "3.14159265358979323846264338327950288419716939937510",
    "18446744073709551615.0", "18446744073709551617.0", "36893488147419103231.5",
    "123456789012345678901234567890.0", "0.00000000000000000001E4951", "1E0000000000499",
    "0.0001E4935", "1.5e+3", "-1.5E-10", "0." + "0" * 300 + "1E-4600",
    "1" + "0" * 400 + ".5E-4800",
    # Integers out of the 32-bit range, stored as floats.
    "3000000000", "-2147483649", "2147483648", "999999999999999", "-999999999999999",
    "322462149994001",
]


def random_literals(rng, oracle, count):
    candidates = []
    for _ in range(2 * count):
        sign = rng.choice(["", "", "-"])
        whole = "".join(rng.choice("0123456789") for _ in range(rng.randint(1, 20)))
        fraction = "".join(rng.choice("0123456789") for _ in range(rng.randint(0, 25)))
        text = sign + whole + "." + fraction
        if rng.random() < 0.7:
            text += rng.choice("Ee") + rng.choice(["", "+", "-"]) + str(rng.randint(0, 4940))
        candidates.append(text)
    # Overflowing texts would fail the whole conversion: keep the others.
    accepted = [t for t, bits in zip(candidates, oracle.parse(candidates)) if bits != "FAIL"]
    assert len(accepted) >= count
    return accepted[:count]


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else DEFAULT_OUT
    os.makedirs(out, exist_ok=True)
    rng = random.Random(20240611)
    with tempfile.TemporaryDirectory() as folder:
        oracle = Oracle(folder)

        bits = [(label, [p]) for label, p in special_patterns(oracle)] + random_patterns(rng)
        texts = [(label, oracle.format(values)) for label, values in bits]
        for label, values in texts:
            assert "INVALID" not in values, label
        files = {
            "bits.DFM": resource_form("TFloatBits", "Bits", bits),
            "bits.TXT": text_form("TFloatBits", "Bits", texts),
        }

        literals = [("Edge", EDGE_LITERALS), ("Random", random_literals(rng, oracle, 200))]
        parsed = [(label, oracle.parse(values)) for label, values in literals]
        for label, values in parsed:
            assert "FAIL" not in values, label
        files["literals.source.txt"] = text_form("TFloatLiterals", "Literals", literals)
        files["literals.DFM"] = resource_form("TFloatLiterals", "Literals", parsed)
        files["literals.TXT"] = text_form(
            "TFloatLiterals", "Literals",
            [(label, oracle.format(values)) for label, values in parsed])

    for file_name, data in files.items():
        with open(os.path.join(out, file_name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
