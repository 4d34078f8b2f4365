#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets: valid files of every reader
and hand-broken ones (truncated, CR-only line ends, huge and negative sizes,
NUL bytes, exponent overflow, not-a-number and infinite floats).

    fuzz/make_corpus.py              # (re)writes fuzz/corpus/<target>/
    fuzz/make_corpus.py --big DIR    # also one 100 MB line of digits per
                                     # text reader into DIR/<target>/

The committed corpus is the output of the first form; the 100 MB inputs are
made at fuzz time by .ci/fuzz.sh with the second."""
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def crlf(lines):
    return "".join(l + "\r\n" for l in lines).encode()


def asc(ncols, nrows, rows, nodata=True, xll="378923", yll="4072345", cell="30"):
    head = ["ncols  %s" % ncols, "nrows  %s" % nrows, "xllcorner " + xll, "yllcorner " + yll,
            "cellsize " + cell]
    if nodata:
        head.append("nodata_value -9999")
    return crlf(head + rows)


def grid_rows(nrows, ncols, f=lambda r, c: (r * 3 + c) % 7):
    return [" ".join(str(f(r, c)) for c in range(ncols)) + " " for r in range(nrows)]


def e00(ncols, nrows, values, celltype=1, first="EXP  0 /NORVA/TAMBE/QOR/PELGA.E00", second="GRD  2"):
    lines = [first.ljust(72) if first.startswith("EXP") else first, second,
             "%10d%10d%2d%s" % (ncols, nrows, celltype, "-2.14748364700000e+009"),
             " 3.0000000000000e+001 3.0000000000000e+001",
             " 3.7892300000000e+005 4.0723450000000e+006",
             " 3.7907300000000e+005 4.0724950000000e+006"]
    for r in range(nrows):
        row = [values(r, c) for c in range(ncols)]
        for i in range(0, ncols, 5):
            lines.append("".join("%14d" % v for v in row[i:i + 5]))
    lines += ["EOG", "IFO  2", "PELGA.STA                       XX   4   4  16         1", "EOI", "EOS"]
    return crlf(lines)


def flt(header_lines, floats=None, raw=None):
    header = crlf(header_lines)
    data = raw if raw is not None else b"".join(struct.pack("<f", v) for v in floats)
    return struct.pack("<H", len(header)) + header + data


def flt_header(ncols, nrows, nodata="-9999"):
    return ["ncols  %d" % ncols if isinstance(ncols, int) else "ncols  " + ncols,
            "nrows  %d" % nrows if isinstance(nrows, int) else "nrows  " + nrows,
            "xllcorner 378923", "yllcorner 4072345", "cellsize 30", "nodata_value " + nodata]


def corpus():
    c = {}
    # --- ASCII grid ---------------------------------------------------------
    a = c["ascii"] = {}
    a["valid_5x5"] = asc(5, 5, grid_rows(5, 5))
    a["valid_17x23"] = asc(23, 17, grid_rows(17, 23))
    a["no_nodata_line"] = asc(5, 5, grid_rows(5, 5), nodata=False)
    a["no_trailing_blank"] = asc(6, 4, [r.rstrip() for r in grid_rows(4, 6)])
    a["lf_only"] = asc(5, 5, grid_rows(5, 5)).replace(b"\r\n", b"\n")
    a["cr_only"] = asc(5, 5, grid_rows(5, 5)).replace(b"\r\n", b"\r")
    a["truncated_header"] = asc(5, 5, grid_rows(5, 5))[:30]
    a["truncated_rows"] = asc(5, 5, grid_rows(5, 5))[:-17]
    a["huge_ncols"] = asc("2147483647", 5, grid_rows(5, 5))
    a["beyond_int_ncols"] = asc("99999999999999999999", 5, grid_rows(5, 5))
    a["negative_sizes"] = asc("-5", "-2147483648", grid_rows(5, 5))
    a["larger_than_coverage"] = asc(65, 65, grid_rows(2, 65))
    a["nul_bytes"] = asc(5, 5, grid_rows(5, 5)).replace(b" 3 ", b" \x003 ")
    a["exponent_overflow"] = asc(5, 5, grid_rows(5, 5), xll="1e999999999", yll="-1e400", cell="1e-400")
    a["nan_inf_fields"] = asc(5, 5, grid_rows(5, 5), xll="nan", yll="inf", cell="-infinity")
    a["values_out_of_range"] = asc(5, 2, ["256 -1 -9999 99999999999999 -99999999999999", "3.7 -2.9 abc + -"])
    a["tabs_and_junk"] = b"ncols\t5\r\nnrows\t5\r\nxllcorner\t1\r\nyllcorner 2\r\ncellsize 3\r\nNODATA 7\r\n" + \
        b"\t1\t2 3\x0b4 5 6 7 8\r\n\r\n  \r\n9\r\n"
    a["empty"] = b""
    # --- E00 grid -----------------------------------------------------------
    e = c["e00"] = {}
    e["valid_5x5"] = e00(5, 5, lambda r, c: (r + c) % 7)
    e["valid_23x17"] = e00(23, 17, lambda r, c: (r * 5 + c) % 256)
    e["lowercase_exp"] = e00(6, 5, lambda r, c: 1, first="exp  0")
    e["lowercase_grd"] = e00(6, 5, lambda r, c: 1, second="grd  2")
    e["bad_first_line"] = e00(5, 5, lambda r, c: 1, first="EXP  1")
    e["float_grid"] = e00(5, 5, lambda r, c: 1, celltype=2)
    e["larger_than_coverage"] = e00(65, 5, lambda r, c: 2)
    e["huge_ncols"] = crlf(["EXP  0", "GRD  2", "2147483647         5 1-2.1e+009", "", "", ""])
    e["negative_sizes"] = crlf(["EXP  0", "GRD  2", "-5 -2147483648 1 0", "", "", "", "1 2 3"])
    e["missing_celltype"] = crlf(["EXP  0", "GRD  2", "5 5", "", "", ""])
    e["truncated_values"] = e00(7, 5, lambda r, c: 4)[:400]
    e["cr_only"] = e00(5, 5, lambda r, c: 3).replace(b"\r\n", b"\r")
    e["nul_bytes"] = e00(5, 5, lambda r, c: 3).replace(b"   3", b"\x00  3")
    e["long_description"] = crlf(["EXP  0", "GRD  2", "5" * 200 + " 5 1", "", "", ""])
    e["no_leading_blanks"] = crlf(["EXP  0", "GRD  2", "7 2 1 0", "", "", "", "1 2 3 4 5", "6 7",
                                   "8 9 10 11 12", "13 14"])
    e["values_out_of_range"] = crlf(["EXP  0", "GRD  2", "5 2 1 0", "", "", "",
                                     "256 -1 99999999999999 -99999999999999 3.9", "x - + 1e5 \x00"])
    e["empty"] = b""
    # --- float grid ---------------------------------------------------------
    f = c["float"] = {}
    f["valid_5x6"] = flt(flt_header(6, 5), [float((r * 6 + col) % 9) for r in range(5) for col in range(6)])
    f["valid_17x23"] = flt(flt_header(23, 17), [3.0] * (17 * 23))
    f["nodata_cells"] = flt(flt_header(5, 5), [-9999.0, 0.0, 255.0, 256.0, 3.99] * 5)
    f["nan_inf"] = flt(flt_header(5, 5), [float("nan"), float("inf"), float("-inf"), 3e9, -3e9] * 5)
    f["short_data"] = flt(flt_header(5, 5), [1.0] * 7, )
    f["partial_value"] = flt(flt_header(5, 5), None, raw=struct.pack("<f", 2.0) * 3 + b"\x00\x00")
    f["no_data_file"] = flt(flt_header(5, 5), [])
    f["huge_ncols"] = flt(flt_header("2147483647", 5), [1.0] * 10)
    f["negative_sizes"] = flt(flt_header(-5, "-2147483648"), [1.0] * 10)
    f["larger_than_coverage"] = flt(flt_header(65, 1), [1.0] * 65)
    f["header_truncated"] = flt(["ncols  5"], [1.0] * 25)
    f["header_cr_only"] = struct.pack("<H", 90) + b"\r".join(l.encode() for l in flt_header(5, 5)) + \
        b"\r" + struct.pack("<f", 5.0) * 25
    f["header_nul"] = flt(["ncols\x00 5", "nrows 5", "", "", "", "nodata_value 1e999"], [5.0] * 25)
    f["nodata_fraction"] = flt(flt_header(5, 5, "-9999.0"), [-9999.0] * 25)
    f["empty"] = b""
    # --- point lists --------------------------------------------------------
    p = c["points"] = {}
    p["valid"] = crlf(["   7    2    3", "   0    0    1", "   4    4  255"])
    p["same_cell_twice"] = crlf(["1 1 5", "1 1 0", "1 1 6"])
    p["outside"] = crlf(["200 1 3", "-1 2 4", "1 -1 5", "63 63 6", "22 16 7", "4 4 8"])
    p["huge_numbers"] = crlf(["99999999999999 1 3", "2147483647 2147483647 2147483647",
                              "-2147483648 0 1", "1 1 -99999999999999"])
    p["junk_lines"] = crlf(["", "# comment", "1 2", "a b c", "1 2 3 trailing words", "+1 -0 +7", "- 1 2"])
    p["cr_only"] = b"1 1 3\r2 2 4\r3 3 5\r"
    p["nul_bytes"] = b"1 1\x00 3\r\n2 2 4\x00\r\n\x00"
    p["no_final_line_end"] = b"1 1 3\r\n2 2 4"
    p["tabs"] = b"1\t1\t3\r\n\t2\v2\f4\r\n"
    p["empty"] = b""
    # --- format detection ---------------------------------------------------
    t = c["format"] = {}
    for i, name in enumerate(["grid.asc", "GRID.ASC", "land.xya", "LAND.XY", "c:\\data\\t.e00", "t.eoo",
                              "a.flt.bak", "a.dat ", "noext", "", ".E00", ".xy", "x.Flt", "y.DaT",
                              "a\x00.asc"]):
        t["name_%02d" % i] = name.encode()
    # --- parameter files ----------------------------------------------------
    j = c["params"] = {}
    j["change"] = b'{"landUses": [{"id": 3, "activeAge": 10, "name": "Houses"}]}'
    j["append"] = b'{"landUses": [{"id": 9, "kind": "Industry", "color": "#FF8000"}]}'
    j["run_record"] = b'{"run": {"seed": 1}, "landUses": []}'
    j["wrong_kind"] = b'{"landUses": [{"id": 3, "kind": "Industry"}]}'
    j["new_without_kind"] = b'{"landUses": [{"id": 77}]}'
    j["out_of_range"] = b'{"landUses": [{"id": 300}, {"id": 3, "activeAge": -1}]}'
    j["huge_numbers"] = b'{"landUses": [{"id": 3, "activeAge": 1e999, "weight": 18446744073709551616}]}'
    j["wrong_types"] = b'{"landUses": [{"id": "3"}, {"id": 3, "name": 5}], "x": null}'
    j["bad_color"] = b'{"landUses": [{"id": 3, "color": "#GG0000"}]}'
    j["control_in_name"] = b'{"landUses": [{"id": 3, "name": "a\\u0001b"}]}'
    j["not_json"] = b"landUses = 3"
    j["truncated"] = b'{"landUses": [{"id": 3, "activeAge":'
    j["nul_bytes"] = b'{"landUses": [\x00]}'
    j["deep_nesting"] = b"[" * 5000 + b"]" * 5000
    j["top_level_list"] = b"[1, 2, 3]"
    j["invalid_utf8"] = b'{"landUses": [{"id": 3, "name": "\xff\xfe"}]}'
    j["empty"] = b""
    return c


def write_big(root):
    """One line of 100 MB of digits for each text reader."""
    digits = b"1234567890" * (10 * 1024 * 1024)
    big = {
        "ascii": b"ncols 5\r\nnrows 5\r\nxllcorner 1\r\nyllcorner 1\r\ncellsize 1\r\n" + digits + b"\r\n",
        "e00": b"EXP  0\r\nGRD  2\r\n5 5 1 0\r\n\r\n\r\n\r\n" + digits + b"\r\n",
        "points": b"1 1 " + digits + b"\r\n2 2 3\r\n",
        "params": b'{"landUses": [{"id": ' + digits + b"}]}",
    }
    for target, data in big.items():
        os.makedirs(os.path.join(root, target), exist_ok=True)
        with open(os.path.join(root, target, "digits_100mb"), "wb") as f:
            f.write(data)
    # A float grid whose data file is 100 MB of digits.
    os.makedirs(os.path.join(root, "float"), exist_ok=True)
    with open(os.path.join(root, "float", "digits_100mb"), "wb") as f:
        f.write(flt(flt_header(5, 5), None, raw=digits))


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--big":
        write_big(sys.argv[2])
        return
    for target, files in corpus().items():
        d = os.path.join(HERE, "corpus", target)
        os.makedirs(d, exist_ok=True)
        for name, data in files.items():
            with open(os.path.join(d, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
