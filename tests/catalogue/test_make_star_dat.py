"""Rounding, carries and naming of the star.dat generator, and its check."""

import os
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, os.environ.get("MORVANE_TOOLS_DIR",
                                  str(Path(__file__).resolve().parents[2] / "tools")))
import make_star_dat as gen  # noqa: E402

HEADER = "name\ttype\tvmag_max\tra_deg_j2000\tdec_deg_j2000\thip\tsource\n"


class Generator(unittest.TestCase):
    def test_search_name(self):
        for name, key in [("YY Eri", "ERIYY"), ("V463 Cep", "CEPV463"), ("bet Per", "PERBET"),
                          ("mu. Eri", "ERIMU"), ("R CMa", "CMAR"), ("V1436 Aql", "AQLV1436")]:
            with self.subTest(name=name):
                self.assertEqual(gen.search_name(name), key)
        for bad in ["Eri", "YY Erid", " ", "ABCDEFGHIJKLMNOPQR Eri"]:
            with self.subTest(bad=bad), self.assertRaises(ValueError):
                gen.search_name(bad)

    def test_right_ascension(self):
        for degrees, fields in [
            ("63.036877", ("04", "12", "09")),   # YY Eri, 15128.85 s
            ("0.00625", ("00", "00", "02")),     # exactly 1.5 s: half up
            ("14.997900", ("00", "59", "59")),   # 3599.496 s
            ("14.998000", ("01", "00", "00")),   # 3599.52 s carries twice
            ("359.999000", ("00", "00", "00")),  # 86399.76 s wraps past 24 h
            ("0.000000", ("00", "00", "00")),
        ]:
            with self.subTest(degrees=degrees):
                self.assertEqual(gen.ra_fields(degrees), fields)

    def test_declination(self):
        for degrees, fields in [
            ("-10.469438", ("-", "10", "28")),  # YY Eri
            ("0.991667", ("+", "01", "00")),    # 59.5' carries into the degree
            ("-0.991667", ("-", "01", "00")),
            ("89.999000", ("+", "90", "00")),   # stays two digits
            ("-90.000000", ("-", "90", "00")),
            ("-0.004000", ("+", "00", "00")),   # rounds to zero: no minus sign
            ("45.008333", ("+", "45", "00")),   # 0.49998'
        ]:
            with self.subTest(degrees=degrees):
                self.assertEqual(gen.dec_fields(degrees), fields)

    def test_written_file_passes_check_and_damage_fails_it(self):
        table = HEADER + ("YY Eri\tEW/KW\t8.10\t63.036877\t-10.469438\t19610\tx\n"
                          "V1436 Aql\tEA/DM+BCEP:\t10.20\t359.999000\t89.999000\t1\tx\n"
                          "YY Eri\tEA\t9.00\t10.000000\t10.000000\t2\tx\n")
        with tempfile.TemporaryDirectory() as tmp:
            source, catalogue = Path(tmp, "t.tsv"), Path(tmp, "star.dat")
            source.write_text(table)
            rows = gen.read_table(source)
            gen.write(rows, catalogue)
            data = catalogue.read_bytes()
            self.assertEqual(data.split(b"\r\n"), [
                b"ERIYY                YY Eri    EW/KW      8.10 04:12:09  -10:28",
                b"AQLV1436             V1436 Aql EA/DM+BCE 10.20 00:00:00  +90:00",
                b"ERIYY                YY Eri    EA         9.00 00:40:00  +10:00",
                b""])
            self.assertEqual(gen.check(rows, catalogue), [])

            for damage in [data.replace(b"04:12:09", b"04:12:11"),
                           data.replace(b"-10:28", b"+10:28"),
                           data.replace(b"\r\n", b"\n"),
                           data[: data.rindex(b"ERIYY")],
                           data.replace(b"AQLV1436 ", b"AQLV1436X")]:
                with self.subTest(damage=damage):
                    catalogue.write_bytes(damage)
                    self.assertNotEqual(gen.check(rows, catalogue), [])


if __name__ == "__main__":
    unittest.main()
