#!/usr/bin/env python3
"""Writes star.dat, the program's star catalogue, from a table of eclipsing
binaries (tab-separated: name, type, vmag_max, ra_deg_j2000, dec_deg_j2000,
...), or checks an existing star.dat against that table.

    make_star_dat.py eclipsing.tsv star.dat          write
    make_star_dat.py --check eclipsing.tsv star.dat  verify

One line per star, in the table's order, 63 ASCII characters ended by CR LF
(a reader that knows only CR LF or lone CR reads it as well as one that also
takes LF):

    1-20   search name, e.g. "ERIYY", left-aligned, padded with spaces
    21-47  name, type and magnitude for people reading the file
    48-55  right ascension  hh:mm:ss
    58-63  declination      +dd:mm

Seconds and arcminutes are rounded to the nearest whole unit, halves up,
carrying into minutes, hours (24 h wraps to 0 h) and degrees.
"""

import argparse
import csv
import sys
from decimal import ROUND_HALF_UP, Decimal

KEY_WIDTH = 20
LABEL_WIDTH = 27
LINE_END = "\r\n"


def search_name(name):
    """'YY Eri' -> 'ERIYY', 'mu. Eri' -> 'ERIMU': constellation first, then
    the designation without spaces or dots, all upper case."""
    designation, _, constellation = name.strip().rpartition(" ")
    if not designation or len(constellation) != 3:
        raise ValueError(f"not a designation and constellation: {name!r}")
    key = constellation.upper() + designation.replace(" ", "").replace(".", "").upper()
    if len(key) > KEY_WIDTH or not key.isascii() or not key.isprintable():
        raise ValueError(f"search name {key!r} does not fit the name column")
    return key


def whole(value):
    return int(value.to_integral_value(rounding=ROUND_HALF_UP))


def ra_fields(ra_degrees):
    """Decimal degrees to ('hh', 'mm', 'ss')."""
    seconds = whole(Decimal(ra_degrees) * 240) % (24 * 3600)  # 1 degree = 240 s of time
    return f"{seconds // 3600:02d}", f"{seconds // 60 % 60:02d}", f"{seconds % 60:02d}"


def dec_fields(dec_degrees):
    """Decimal degrees to ('+' or '-', 'dd', 'mm'). A value that rounds to
    zero is written with '+'."""
    value = Decimal(dec_degrees)
    arcminutes = whole(abs(value) * 60)
    sign = "-" if value < 0 and arcminutes > 0 else "+"
    return sign, f"{arcminutes // 60:02d}", f"{arcminutes % 60:02d}"


def label(row):
    """' V463 Cep  EA:      10.61 ': columns 21-47, the type shortened when it
    does not fit, always a blank before the right ascension."""
    head, tail = f" {row['name']:<9} ", f" {row['vmag_max']:>5} "
    room = max(LABEL_WIDTH - len(head) - len(tail), 0)
    text = head + f"{row['type'][:room]:<{room}}" + tail
    return text if len(text) == LABEL_WIDTH else text[:LABEL_WIDTH - 1] + " "


def catalogue_line(row):
    hours, minutes, seconds = ra_fields(row["ra_deg_j2000"])
    sign, degrees, arcminutes = dec_fields(row["dec_deg_j2000"])
    return (f"{search_name(row['name']):<{KEY_WIDTH}}"
            f"{label(row)}"
            f"{hours}:{minutes}:{seconds}  {sign}{degrees}:{arcminutes}")


def read_table(path):
    with open(path, newline="", encoding="ascii") as table:
        return list(csv.DictReader(table, delimiter="\t"))


def write(rows, path):
    lines = [catalogue_line(row) for row in rows]
    with open(path, "w", newline="", encoding="ascii") as out:
        out.writelines(line + LINE_END for line in lines)
    print(f"{path}: {len(lines)} stars")


def check_line(line, row):
    """Problems with one catalogue line, read back from its columns alone."""
    problems = []
    if len(line) != 63:
        return [f"{len(line)} characters, not 63"]
    if line[:KEY_WIDTH] != f"{search_name(row['name']):<{KEY_WIDTH}}":
        problems.append(f"name column {line[:KEY_WIDTH]!r}")
    if line[49] not in ": " or line[52] not in ": " or line[60] not in ": " or line[55:57] != "  ":
        problems.append("separators")
    fields = line[47:49], line[50:52], line[53:55], line[58:60], line[61:63]
    if not all(len(f) == 2 and f.isdigit() for f in fields) or line[57] not in "+-":
        return problems + [f"coordinates {line[47:]!r}"]
    hours, minutes, seconds, degrees, arcminutes = map(int, fields)
    if hours > 23 or minutes > 59 or seconds > 59 or arcminutes > 59 or degrees * 60 + arcminutes > 5400:
        problems.append(f"out of range {line[47:]!r}")

    ra_seconds = (hours * 60 + minutes) * 60 + seconds
    ra_error = abs(ra_seconds - float(row["ra_deg_j2000"]) * 240) % 86400
    if min(ra_error, 86400 - ra_error) > 0.5 + 1e-6:
        problems.append(f"right ascension off by {ra_error:.2f} s")
    dec_arcminutes = (degrees * 60 + arcminutes) * (-1 if line[57] == "-" else 1)
    dec_error = abs(dec_arcminutes - float(row["dec_deg_j2000"]) * 60)
    if dec_error > 0.5 + 1e-6:
        problems.append(f"declination off by {dec_error:.2f}'")
    return problems


def check(rows, path):
    with open(path, "rb") as catalogue:
        content = catalogue.read()
    problems = []
    try:
        text = content.decode("ascii")
    except UnicodeDecodeError as error:
        return [f"not ASCII at byte {error.start}"]
    if text and not text.endswith(LINE_END):
        problems.append("last line has no CR LF")
    lines = text.split(LINE_END)[:-1] if text else []
    if any("\r" in line or "\n" in line for line in lines):
        problems.append("line ends other than CR LF")
    if len(lines) != len(rows):
        problems.append(f"{len(lines)} lines for {len(rows)} stars")
    for number, (line, row) in enumerate(zip(lines, rows), start=1):
        problems += [f"line {number} ({row['name']}): {p}" for p in check_line(line, row)]

    # Both lines are kept, but a search only ever finds the first.
    seen = {}
    for row in rows:
        key = search_name(row["name"])
        if key in seen:
            print(f"note: {row['name']} shares {key!r} with {seen[key]}; searches find {seen[key]}")
        seen.setdefault(key, row["name"])
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--check", action="store_true", help="verify CATALOGUE instead of writing it")
    parser.add_argument("table", help="tab-separated table of stars")
    parser.add_argument("catalogue", help="star.dat to write or check")
    args = parser.parse_args()

    rows = read_table(args.table)
    if not args.check:
        write(rows, args.catalogue)
        return 0
    problems = check(rows, args.catalogue)
    for problem in problems:
        print(problem, file=sys.stderr)
    print(f"{args.catalogue}: {'FAILED' if problems else 'ok'}, {len(rows)} stars checked")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
