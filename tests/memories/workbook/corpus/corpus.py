#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Foreign workbooks for the editor tests, and an independent look at what is in them.

  corpus.py make KIND OUT.xls      write the memory-list workbook with another program
  corpus.py dump FILE.xls          print what xlrd and ssconvert read from it, as JSON; a
                                   formula without a result in the file shows gnumeric's
  corpus.py diff BEFORE AFTER EDIT print every difference between the two workbooks that
                                   the edit (JSON) does not explain; exit 1 if there is one
  corpus.py opens FILE...          print, as JSON, which files xlrd opens
  corpus.py check MANIFEST         `diff` for every entry of MANIFEST (JSON: a list of
                                   {"before", "after", "edit"}), through xlrd and, where
                                   installed, Apache POI (PoiDump.java); exit 1 on a difference

KIND is gnumeric-biff5, gnumeric-biff8, xlwt or soffice. A missing tool makes `make` exit
with status 77 and the reason on stdout.

EDIT (JSON, or a file holding it) is {"set": [[sheet, row, column, value], ...]} (value a number or a text) or
{"remove": [sheet, row]}. Every cell, format, column width, row height, name, formula text
and every other stream of the compound file must be as before, except: set cells hold the
new value (an existing cell keeps its format); after a remove, the rows below move up one
and every reference to that sheet's rows moves as LibreOffice's own delete moves it
(without LibreOffice and python3-uno, `diff` and `check` exit with status 77). The result of a
formula the edit affects (it reads a changed or moved cell, directly or through other
formulas), or of one the original holds no result for, must be what gnumeric computes for
the edited workbook (ssconvert --recalc); every other result stays as it was.
"""

import datetime
import gzip
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

# Row 3 (0-based) is edited, row 2 removed, row 6 is the first empty row.
SHEET1 = [
    (7.05, "net"),
    (9.41, "BBC"),
    (11.175, "Zürich Ω"),
    (14.2, "ham"),
    (21.5, "beacon"),
]
DATE = datetime.date(2024, 3, 15)
CROSS = "Sheet1!A5*2"  # the row below the removed one
TOTAL = "SUM(Sheet1!A2:A6)"  # a range the removed row shrinks
# Sheet2's other formulas: absolute, with a text result, below the removed row; above it;
# an error result.
MORE = ("Sheet1!$B$6", "Sheet1!A2", "1/0")
NAME = ("Freqs", "Sheet1!$A$2:$A$6")
TALL_ROW = 4  # a row with its own height, below the removed row


def note_text(text, biff5):
    # BIFF5 texts are in code page 1252, which has no Omega.
    return text.replace(" Ω", "") if biff5 else text


def excel_serial(day):
    return (day - datetime.date(1899, 12, 30)).days


# ---------------------------------------------------------------- generators


def gnumeric_xml(biff5):
    g = "http://www.gnumeric.org/v10.dtd"
    ET.register_namespace("gnm", g)

    def el(parent, tag, text=None, **attrs):
        e = ET.SubElement(parent, "{%s}%s" % (g, tag), {k: str(v) for k, v in attrs.items()})
        if text is not None:
            e.text = str(text)
        return e

    def style(styles, c0, r0, c1, r1, fmt="General", bold=0):
        region = el(styles, "StyleRegion", startCol=c0, startRow=r0, endCol=c1, endRow=r1)
        s = el(region, "Style", HAlign="GNM_HALIGN_GENERAL", VAlign="GNM_VALIGN_BOTTOM",
               Fore="0:0:0", Back="FFFF:FFFF:FFFF", PatternColor="0:0:0", Format=fmt)
        el(s, "Font", "Sans", Unit=10, Bold=bold, Italic=0, Underline=0, StrikeThrough=0,
           Script=0)

    book = ET.Element("{%s}Workbook" % g)
    index = el(book, "SheetNameIndex")
    for name in ("Sheet1", "Sheet2"):
        el(index, "SheetName", name)
    names = el(book, "Names")
    n = el(names, "Name")
    el(n, "name", NAME[0])
    el(n, "value", NAME[1])
    el(n, "position", "A1")
    sheets = el(book, "Sheets")

    one = el(sheets, "Sheet")
    el(one, "Name", "Sheet1")
    styles = el(one, "Styles")
    style(styles, 0, 0, 2, 0, bold=1)
    style(styles, 0, 1, 0, 5, fmt="0.000")
    style(styles, 1, 1, 2, 5)
    style(styles, 0, 6, 2, 65535)
    style(styles, 3, 0, 255, 65535)
    cols = el(one, "Cols", DefaultSizePts=48)
    for c, points in enumerate((72, 150, 60)):
        el(cols, "ColInfo", No=c, Unit=points, HardSize=1)
    rows = el(one, "Rows", DefaultSizePts=12.75)
    el(rows, "RowInfo", No=TALL_ROW, Unit=30, HardSize=1)
    cells = el(one, "Cells")
    for c, head in enumerate(("Frequency", "Note", "kHz")):
        el(cells, "Cell", head, Row=0, Col=c, ValueType=60)
    for r, (freq, note) in enumerate(SHEET1, start=1):
        el(cells, "Cell", repr(freq), Row=r, Col=0, ValueType=40)
        el(cells, "Cell", note_text(note, biff5), Row=r, Col=1, ValueType=60)
        el(cells, "Cell", "=A%d*1000" % (r + 1), Row=r, Col=2)

    two = el(sheets, "Sheet")
    el(two, "Name", "Sheet2")
    styles = el(two, "Styles")
    style(styles, 0, 0, 0, 0, fmt="yyyy-mm-dd")
    style(styles, 1, 0, 255, 0)
    style(styles, 0, 1, 255, 65535)
    el(two, "Cols", DefaultSizePts=48)
    cells = el(two, "Cells")
    el(cells, "Cell", excel_serial(DATE), Row=0, Col=0, ValueType=40)
    el(cells, "Cell", "TRUE", Row=0, Col=1, ValueType=20)
    el(cells, "Cell", "checked", Row=0, Col=2, ValueType=60)
    el(cells, "Cell", "=" + CROSS, Row=1, Col=0)
    el(cells, "Cell", "=" + TOTAL, Row=1, Col=1)
    for c, formula in enumerate(MORE, start=2):
        el(cells, "Cell", "=" + formula, Row=1, Col=c)
    return ET.tostring(book, encoding="UTF-8", xml_declaration=True)


def make_gnumeric(out, export):
    if not shutil.which("ssconvert"):
        return "ssconvert (gnumeric) is not installed"
    with tempfile.TemporaryDirectory() as tmp:
        source = os.path.join(tmp, "book.gnumeric")
        with open(source, "wb") as f:
            f.write(gnumeric_xml(export.endswith("biff7")))
        convert(source, out, export)
    return None


def convert(source, out, export=None):
    args = ["ssconvert"] + (["--export-type=" + export] if export else []) + [source, out]
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_xlwt(out):
    try:
        import xlwt
    except ImportError:
        return "python3-xlwt is not installed"
    book = xlwt.Workbook(encoding="utf-8")
    one = book.add_sheet("Sheet1")
    two = book.add_sheet("Sheet2")
    head = xlwt.easyxf("font: bold on")
    freq = xlwt.easyxf(num_format_str="0.000")
    for c, text in enumerate(("Frequency", "Note", "kHz")):
        one.write(0, c, text, head)
    for r, (f, note) in enumerate(SHEET1, start=1):
        one.write(r, 0, f, freq)
        one.write(r, 1, note)
        one.write(r, 2, xlwt.Formula("A%d*1000" % (r + 1)))
    for c, chars in enumerate((12, 25, 10)):
        one.col(c).width = chars * 256
    one.row(TALL_ROW).height_mismatch = True
    one.row(TALL_ROW).height = 600
    two.write(0, 0, DATE, xlwt.easyxf(num_format_str="yyyy-mm-dd"))
    two.write(0, 1, True)
    two.write(0, 2, "checked")
    two.write(1, 0, xlwt.Formula(CROSS))
    two.write(1, 1, xlwt.Formula(TOTAL))
    for c, formula in enumerate(MORE, start=2):
        two.write(1, c, xlwt.Formula(formula))
    book.save(out)
    return None


def make_soffice(out):
    office = shutil.which("soffice") or shutil.which("libreoffice")
    if not office:
        return "LibreOffice (soffice) is not installed"
    if not shutil.which("ssconvert"):
        return "ssconvert (gnumeric) is not installed; it writes LibreOffice's input"
    with tempfile.TemporaryDirectory() as tmp:
        source = os.path.join(tmp, "book.gnumeric")
        with open(source, "wb") as f:
            f.write(gnumeric_xml(False))
        ods = os.path.join(tmp, "book.ods")
        convert(source, ods)
        profile = "file://" + os.path.join(tmp, "profile")
        subprocess.run([office, "-env:UserInstallation=" + profile, "--headless",
                        "--convert-to", "xls", "--outdir", tmp, ods], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        shutil.copyfile(os.path.join(tmp, "book.xls"), out)
    return None


def make(kind, out):
    makers = {
        "gnumeric-biff5": lambda: make_gnumeric(out, "Gnumeric_Excel:excel_biff7"),
        "gnumeric-biff8": lambda: make_gnumeric(out, "Gnumeric_Excel:excel_biff8"),
        "xlwt": lambda: make_xlwt(out),
        "soffice": lambda: make_soffice(out),
    }
    missing = makers[kind]()
    if missing:
        print(missing)
        return 77
    return 0


# ---------------------------------------------------------------- reading

# A reference to another workbook names it in brackets before the sheet; names that end in
# something like a cell address ("n_K233") are not references.
REF = re.compile(r"(?<![\w.\]])(?:(\[[^\]]*\])?('(?:[^']|'')+'|[^\W\d][\w.]*)!)?"
                 r"(\$?)([A-Z]{1,3})(\$?)(\d+)(?![\w(])"
                 r"(?::(\$?)([A-Z]{1,3})(\$?)(\d+))?")
STRING = re.compile(r'"(?:[^"]|"")*"')


def sub_refs(formula, one):
    """formula with each reference match m replaced by one(m); texts in quotes are left
    alone."""
    out, last = [], 0
    for s in STRING.finditer(formula):
        out.append(REF.sub(one, formula[last:s.start()]))
        out.append(s.group(0))
        last = s.end()
    out.append(REF.sub(one, formula[last:]))
    return "".join(out)


def map_refs(formula, fn):
    """formula with fn(sheet or None, col$, col, row$, row) applied to each cell reference;
    a range's end takes the sheet of its start."""
    def one(m):
        if m.group(1):
            return m.group(0)  # another workbook's cells never move
        sheet = m.group(2)
        start = fn(sheet, m.group(3), m.group(4), m.group(5), int(m.group(6)),
                   "start" if m.group(8) else "cell")
        text = (sheet + "!" if sheet else "") + start
        if m.group(8):
            text += ":" + fn(sheet, m.group(7), m.group(8), m.group(9), int(m.group(10)), "end")
        return text
    return sub_refs(formula, one)


class RowMoves:
    """Where deleting a row moves the rows a reference names, as LibreOffice's own delete
    moves them: moved(removed, first, last, is_range) gives (first, last), 0-based, or None
    where LibreOffice leaves #REF!. A move not yet learnt is noted and answered with the rows
    unmoved; learn() then asks LibreOffice every noted one at once."""

    def __init__(self):
        self.known, self.asked = {}, set()

    def moved(self, removed, first, last, is_range):
        key = (removed, first, last, is_range)
        if key in self.known:
            return self.known[key]
        self.asked.add(key)
        return first, last

    def learn(self):
        if not self.asked:
            return
        sys.dont_write_bytecode = True  # nothing written into the source tree
        import libreoffice
        reason = libreoffice.missing()
        if reason:
            print(reason + "; it judges where a delete moves references")
            sys.exit(77)
        self.known.update(libreoffice.row_moves(self.asked))
        self.asked = set()


def refs_moved(text, own, target, removed, moves, problems):
    """A formula text with its references to rows of the target sheet moved as LibreOffice
    moves them; one it leaves as #REF! is a problem with the edit."""
    def one(m):
        sheet = m.group(2)
        name = sheet.strip("'").replace("''", "'") if sheet else own
        if m.group(1) or name != target:
            return m.group(0)
        first = int(m.group(6)) - 1
        rows = moves.moved(removed, first, int(m.group(10)) - 1 if m.group(8) else first,
                           bool(m.group(8)))
        if rows is None:
            problems.append("a reference to the removed row itself in " + text)
            return m.group(0)
        out = "%s%s%s%s%d" % (sheet + "!" if sheet else "", m.group(3), m.group(4), m.group(5),
                              rows[0] + 1)
        return out + (":%s%s%s%d" % (m.group(7), m.group(8), m.group(9), rows[1] + 1)
                      if m.group(8) else "")
    return sub_refs(text, one) if isinstance(text, str) else text


def col_number(letters):
    n = 0
    for ch in letters:
        n = n * 26 + ord(ch) - 64
    return n


def col_letters(n):
    s = ""
    while n:
        n, rem = divmod(n - 1, 26)
        s = chr(65 + rem) + s
    return s


def formulas(path):
    """Formula texts by (sheet, row, col) and the workbook's names, as gnumeric reads them."""
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "book.gnumeric")
        convert(path, out, "Gnumeric_XmlIO:sax")
        with gzip.open(out) as f:
            root = ET.parse(f).getroot()
    g = "{http://www.gnumeric.org/v10.dtd}"
    texts, names = {}, {}
    for n in root.findall(g + "Names/" + g + "Name"):
        names[n.findtext(g + "name")] = n.findtext(g + "value")
    for s, sheet in enumerate(root.findall(g + "Sheets/" + g + "Sheet")):
        for n in sheet.findall(g + "Names/" + g + "Name"):
            names["%s!%s" % (sheet.findtext(g + "Name"), n.findtext(g + "name"))] = \
                n.findtext(g + "value")
        shared = {}  # ExprID: (row, col, text) of the cell that spells it out
        for cell in sheet.findall(g + "Cells/" + g + "Cell"):
            r, c = int(cell.get("Row")), int(cell.get("Col"))
            text, expr = cell.text or "", cell.get("ExprID")
            if expr and not text.startswith("="):
                r0, c0, text = shared[expr]

                def moved(sheet_, cabs, col, rabs, row, _part, dr=r - r0, dc=c - c0):
                    col = col if cabs else col_letters(col_number(col) + dc)
                    return "%s%s%s%d" % (cabs, col, rabs, row if rabs else row + dr)
                text = map_refs(text, moved)
            elif expr:
                shared[expr] = (r, c, text)
            if text.startswith("="):
                texts[(s, r, c)] = text
    return texts, names


def date_text(t):
    """A date cell as Document shows it: "YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS" or "HH:MM:SS"."""
    day, time = "%04d-%02d-%02d" % t[:3], "%02d:%02d:%02d" % t[3:]
    if t[:3] == (0, 0, 0):
        return time
    return day + " " + time if any(t[3:]) else day


def dump(path, with_formulas=True):
    import xlrd
    try:
        book = xlrd.open_workbook(path, formatting_info=True, logfile=open(os.devnull, "w"))
    except NotImplementedError:  # formatting of BIFF versions xlrd reads values of only
        book = xlrd.open_workbook(path, logfile=open(os.devnull, "w"))
    texts, names = formulas(path) if with_formulas else ({}, {})

    def style(xf_index):
        if not book.xf_list:
            return None
        xf = book.xf_list[xf_index]
        font = book.font_list[xf.font_index]
        fmt = book.format_map.get(xf.format_key)
        return {"font": font.name, "height": font.height, "bold": font.weight >= 700,
                "italic": bool(font.italic),
                "format": fmt.format_str if fmt else str(xf.format_key)}

    kinds = {xlrd.XL_CELL_TEXT: "text", xlrd.XL_CELL_NUMBER: "number",
             xlrd.XL_CELL_DATE: "date", xlrd.XL_CELL_BOOLEAN: "bool",
             xlrd.XL_CELL_ERROR: "error", xlrd.XL_CELL_BLANK: "blank",
             xlrd.XL_CELL_EMPTY: "empty"}
    sheets = []
    for s, sh in enumerate(book.sheets()):
        cells = []
        for r in range(sh.nrows):
            for c in range(sh.ncols):
                cell = sh.cell(r, c)
                if cell.ctype == xlrd.XL_CELL_EMPTY:
                    continue
                entry = {"row": r, "col": c, "type": kinds[cell.ctype], "value": cell.value,
                         "style": style(cell.xf_index)}
                if cell.ctype == xlrd.XL_CELL_DATE:
                    entry["value"] = date_text(xlrd.xldate_as_tuple(cell.value, book.datemode))
                elif cell.ctype == xlrd.XL_CELL_ERROR:
                    entry["value"] = xlrd.error_text_from_code.get(cell.value, cell.value)
                if (s, r, c) in texts:
                    entry["formula"] = texts[(s, r, c)]
                cells.append(entry)
        sheets.append({
            "name": sh.name,
            "visibility": sh.visibility,
            "cells": cells,
            "columns": columns(sh, style),
            "default_width": [sh.defcolwidth, sh.standardwidth],
            "rows": {str(r): {"height": ri.height, "custom": ri.height_mismatch, "hidden": ri.hidden}
                     for r, ri in sorted(sh.rowinfo_map.items())},
            "merged": sorted(list(m) for m in sh.merged_cells),
        })
    return {
        "biff": book.biff_version,
        "codepage": book.codepage,
        "datemode": book.datemode,
        "names": names,
        "xlrd_names": sorted(n.name for n in book.name_obj_list),
        "streams": streams(path),
        "sheets": sheets,
    }


def recalculated(path):
    """Every cell of the workbook after gnumeric recalculates all its formulas, by
    (sheet, row, col)."""
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "recalculated.xls")
        subprocess.run(["ssconvert", "--recalc", "--export-type=Gnumeric_Excel:excel_biff8",
                        path, out], check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        fresh = dump(out, with_formulas=False)
    return {(s, c["row"], c["col"]): c for s, sh in enumerate(fresh["sheets"])
            for c in sh["cells"]}


def gnumeric_misreads(path, book):
    """Whether gnumeric, recalculating the unedited workbook, turns a result the file holds
    into an error (it lacks a function, or misreads a name): then its results are no oracle."""
    fresh = recalculated(path)
    return any(c["type"] != "error"
               and fresh.get((s, c["row"], c["col"]), {}).get("type") == "error"
               for s, sh in enumerate(book["sheets"]) for c in sh["cells"])


def with_results(book, fresh, which):
    """book with the type and value of the formula cells at the keys in which taken from
    fresh (recalculated())."""
    for s, sh in enumerate(book["sheets"]):
        for c in sh["cells"]:
            result = fresh.get((s, c["row"], c["col"]))
            if (s, c["row"], c["col"]) in which and "formula" in c and result:
                c["type"], c["value"] = result["type"], result["value"]
    return book


def uncached(book):
    """Formula cells whose file holds no result (xlrd shows an empty text): Rxdeck evaluates
    them when it reads the workbook."""
    return {(s, c["row"], c["col"]) for s, sh in enumerate(book["sheets"]) for c in sh["cells"]
            if "formula" in c and c["type"] == "text" and c["value"] == ""}


def reads(text, own):
    """The areas a formula text reads, as (sheet, first row, last row, first col, last col)."""
    found = []

    def fn(sheet_name, cabs, col, rabs, r, part):
        c = col_number(col) - 1
        if part == "end":
            name, r0, _, c0, _ = found[-1]
            found[-1] = (name, min(r0, r - 1), max(r0, r - 1), min(c0, c), max(c0, c))
        else:
            name = sheet_name.strip("'").replace("''", "'") if sheet_name else own
            found.append((name, r - 1, r - 1, c, c))
        return ""
    map_refs(text, fn)
    return found


def dependents(book, edit):
    """Formula cells of book (before the edit) whose result the edit changes, directly or
    through other formulas, at their places after the edit."""
    names = [sh["name"] for sh in book["sheets"]]
    areas = {(s, c["row"], c["col"]): reads(c["formula"], names[s])
             for s, sh in enumerate(book["sheets"]) for c in sh["cells"] if "formula" in c}
    changed = [(names[s], r, r, c, c) for s, r, c, _ in edit.get("set", [])]
    if "remove" in edit:
        changed.append((names[edit["remove"][0]], edit["remove"][1], 65535, 0, 255))

    def meets(a, b):
        return a[0] == b[0] and a[1] <= b[2] and b[1] <= a[2] and a[3] <= b[4] and b[3] <= a[4]
    found = set()
    while True:
        more = {k for k, v in areas.items()
                if k not in found and any(meets(a, c) for a in v for c in changed)}
        if not more:
            break
        found |= more
        changed += [(names[s], r, r, c, c) for s, r, c in more]
    if "remove" in edit:
        sheet, row = edit["remove"]
        found = {(s, r - (s == sheet and r > row), c) for s, r, c in found}
    return found


def columns(sheet, style):
    """Column widths as [first, last, info] runs of equal columns."""
    runs = []
    for c, ci in sorted(sheet.colinfo_map.items()):
        info = {"width": ci.width, "hidden": ci.hidden, "style": style(ci.xf_index)}
        if runs and runs[-1][1] == c - 1 and runs[-1][2] == info:
            runs[-1][1] = c
        else:
            runs.append([c, c, info])
    return runs


def streams(path):
    """SHA-1 of every stream of the compound file but the workbook stream."""
    from xlrd import compdoc
    with open(path, "rb") as f:
        doc = compdoc.CompDoc(f.read(), logfile=open(os.devnull, "w"))
    out = {}
    for d in doc.dirlist:
        if d.etype == 2 and d.name.lower() not in ("workbook", "book"):
            data = doc.get_named_stream(d.name)
            out[d.name] = hashlib.sha1(data or b"").hexdigest()
    return out


# ---------------------------------------------------------------- expectations


def expected(before, edit, moves):
    """The dump the edited workbook must give, and a list of problems with the edit itself.
    Cells of set edits have style None: any format is fine for a new cell."""
    want = json.loads(json.dumps(before))
    problems = []
    for sheet, row, col, value in edit.get("set", []):
        cells = want["sheets"][sheet]["cells"]
        old = next((c for c in cells if c["row"] == row and c["col"] == col), None)
        new = {"row": row, "col": col,
               "type": "text" if isinstance(value, str) else "number", "value": value,
               "style": old["style"] if old else None}
        if old:
            cells[cells.index(old)] = new
        else:
            cells.append(new)
        if str(row) not in want["sheets"][sheet]["rows"]:
            want["sheets"][sheet].setdefault("new_rows", []).append(row)  # any height
    if "remove" in edit:
        sheet, row = edit["remove"]
        target = want["sheets"][sheet]
        target["cells"] = [dict(c, row=c["row"] - (c["row"] > row))
                           for c in target["cells"] if c["row"] != row]
        target["rows"] = {str(int(r) - (int(r) > row)): v
                          for r, v in target["rows"].items() if int(r) != row}
        merged = []
        for rlo, rhi, clo, chi in target["merged"]:  # rhi one past the last row
            rows = moves.moved(row, rlo, rhi - 1, True)
            if rows:
                merged.append([rows[0], rows[1] + 1, clo, chi])
        target["merged"] = sorted(merged)
        target = want["sheets"][sheet]["name"]

        def f(text, own=None):
            return refs_moved(text, own, target, row, moves, problems)
        for sh in want["sheets"]:
            for c in sh["cells"]:
                if "formula" in c:
                    c["formula"] = f(c["formula"], sh["name"])
        want["names"] = {k: f(v) for k, v in want["names"].items()}
    return want, problems


def differences(want, got):
    out = []

    def same(what, a, b):
        if json.dumps(a, sort_keys=True) != json.dumps(b, sort_keys=True):  # NaN equals NaN
            out.append("%s: expected %s, got %s" % (what, json.dumps(a, ensure_ascii=False),
                                                    json.dumps(b, ensure_ascii=False)))

    for key in ("biff", "codepage", "datemode", "names", "xlrd_names", "streams"):
        same(key, want[key], got[key])
    same("sheet names", [s["name"] for s in want["sheets"]], [s["name"] for s in got["sheets"]])
    for w, g in zip(want["sheets"], got["sheets"]):
        for key in ("visibility", "columns", "default_width", "merged"):
            same("%s %s" % (w["name"], key), w[key], g[key])
        new_rows = set(w.get("new_rows", []))
        for r in sorted(set(w["rows"]) | set(g["rows"]), key=int):
            if int(r) not in new_rows:
                same("%s row %s" % (w["name"], r), w["rows"].get(r), g["rows"].get(r))
        wc = {(c["row"], c["col"]): c for c in w["cells"]}
        gc = {(c["row"], c["col"]): c for c in g["cells"]}
        for key in sorted(set(wc) | set(gc)):
            a, b = wc.get(key), gc.get(key)
            if a and b and a["style"] is None:
                b = dict(b, style=None)
            same("%s cell %s%d" % (w["name"], col_letters(key[1] + 1), key[0] + 1), a, b)
    return out


# ---------------------------------------------------------------- real workbooks


CELL = re.compile(r"^(\$?[A-Z]{1,3}\$?)(\d+)(?::(\$?[A-Z]{1,3}\$?)(\d+))?$")


def range_moved(text, removed, moves):
    """An A1 range text of the sheet that loses the row, moved; None when it goes."""
    m = CELL.match(text)
    if not m:
        return text
    first = int(m.group(2)) - 1
    last = int(m.group(4)) - 1 if m.group(3) else first
    rows = moves.moved(removed, first, last, bool(m.group(3)))
    if rows is None:
        return None
    if not m.group(3) or (m.group(1) == m.group(3) and rows[0] == rows[1]):
        return "%s%d" % (m.group(1), rows[0] + 1)
    return "%s%d:%s%d" % (m.group(1), rows[0] + 1, m.group(3), rows[1] + 1)


def touched(anchors, removed):
    """Whether deleting the row can change any of these drawing anchors [kind, row1, dy1, row2,
    dy2, col1, col2, placement]: those wholly above it stay as they are."""
    return isinstance(anchors, list) and any(
        not (a[3] < removed or (a[3] == removed and a[4] == 0 and a[1] < removed))
        for a in anchors)


def judged(anchors):
    """The anchors LibreOffice judges, without their placement, which its .xls export does not
    keep. It lays out the boxes of comments afresh instead of keeping them; LibreOffice's
    table judges those on a made workbook."""
    return [a[:7] for a in anchors if a[0] != "HSSFComment"]


def near(want, got):
    """Anchor lists the same but for a few 1/256 of a row: both go through LibreOffice's
    hundredths of a millimetre, about six of them in a row of default height."""
    def edge(row, dy):
        return row * 256 + dy
    return len(want) == len(got) and all(
        a[0] == b[0] and a[5:] == b[5:] and abs(edge(a[1], a[2]) - edge(b[1], b[2])) <= 8
        and abs(edge(a[3], a[4]) - edge(b[3], b[4])) <= 8 for a, b in zip(want, got))


def redone_anchors(entries, poi, directory):
    """For each remove that can move drawings, by its index in entries: the anchors of the
    sheet after LibreOffice's own delete of that row, and after LibreOffice reads and saves
    ours, both read by POI; None where LibreOffice or POI cannot give them."""
    jobs, pairs = [], {}
    for i, e in enumerate(entries):
        before, name = poi.get(e["before"], {}), e["edit"].get("sheet_name")
        sheet = next((s for s in before.get("sheets", []) if s["name"] == name), None)
        if "remove" not in e["edit"] or not sheet or not touched(sheet["anchors"],
                                                                  e["edit"]["remove"][1]):
            continue
        placements = {}
        for a in sheet["anchors"]:
            placements.setdefault((a[1], a[5]), set()).add(a[7])
        sized = {k for k, v in placements.items() if v == {0}}
        pairs[i] = [os.path.join(directory, "%d-%s.xls" % (i, who)) for who in ("lo", "ours")]
        copy = os.path.join(directory, "%d.xls" % i)  # LibreOffice's lock file goes beside it
        shutil.copyfile(e["before"], copy)
        jobs += [(copy, name, e["edit"]["remove"][1], sized, pairs[i][0]),
                 (e["after"], name, None, set(), pairs[i][1])]
    if not jobs:
        return {}
    sys.dont_write_bytecode = True  # nothing written into the source tree
    import libreoffice
    libreoffice.resaved(jobs)
    dumped = poi_dump([p for pair in pairs.values() for p in pair if os.path.exists(p)])
    out = {}
    for i, pair in pairs.items():
        found = [next((judged(s["anchors"]) for s in dumped.get(p, {}).get("sheets", [])
                       if s["name"] == entries[i]["edit"]["sheet_name"]
                       and isinstance(s["anchors"], list)), None) for p in pair]
        out[i] = found if None not in found else None
    return out


def poi_expected(before, edit, moves):
    """What POI must read from the edited workbook, and problems with the edit itself."""
    want = json.loads(json.dumps(before))
    problems = []
    target = edit.get("sheet_name")
    sheets = {s["name"]: s for s in want["sheets"]}
    for _, row, col, value in edit.get("set", []):
        sheet = sheets[target]
        sheet["cells"] = [c for c in sheet["cells"] if (c[0], c[1]) != (row, col)]
        sheet["cells"].append([row, col, float(value) if not isinstance(value, str) else value])
    if "remove" in edit:
        removed = edit["remove"][1]
        for s in want["sheets"]:
            on = s["name"] == target

            def f(text, own=s["name"]):
                return refs_moved(text, own, target, removed, moves, problems)
            cells = []
            for r, c, v in s["cells"]:
                if on and r == removed:
                    continue
                if isinstance(v, str) and v.startswith("="):
                    v = f(v)
                cells.append([r - (on and r > removed), c, v])
            s["cells"] = cells
            for key in ("validations", "conditional"):
                if not isinstance(s[key], list):
                    continue
                kept = []
                for entry in s[key]:
                    ranges = entry[0]
                    if on:
                        ranges = [x for x in (range_moved(r, removed, moves) for r in ranges) if x]
                        if not ranges:
                            continue
                    if key == "validations":
                        kept.append([ranges, f(entry[1]), f(entry[2]), entry[3]])
                    else:
                        kept.append([ranges, [[f(a), f(b)] for a, b in entry[1]]])
                s[key] = kept
            if isinstance(s["charts"], list):
                s["charts"] = [[f(x) for x in series] for series in s["charts"]]
            if not on:
                continue
            s["merged"] = [x for x in (range_moved(r, removed, moves) for r in s["merged"]) if x]
            s["breaks"] = [b - (b > removed) for b in s["breaks"] if b != removed]
            if isinstance(s["comments"], list):
                comments = []
                for address, author, text in s["comments"]:
                    moved = range_moved(address, removed, moves)
                    if moved:
                        comments.append([moved, author, text])
                s["comments"] = comments
            if isinstance(s["hyperlinks"], list):
                s["hyperlinks"] = [[m, a] for m, a in
                                   ((range_moved(r, removed, moves), a) for r, a in s["hyperlinks"]) if m]
        want["names"] = [[n, i, refs_moved(t, None, target, removed, moves, problems)]
                         for n, i, t in want["names"]]
    return want, problems


def poi_differences(want, got):
    out = []
    if "error" in got:
        return ["POI cannot read the edited workbook: " + got["error"]]

    def same(what, a, b):
        if json.dumps(a, sort_keys=True) != json.dumps(b, sort_keys=True):
            out.append("POI %s: expected %s, got %s" % (
                what, json.dumps(a, ensure_ascii=False)[:300], json.dumps(b, ensure_ascii=False)[:300]))
    same("names", want["names"], got["names"])
    same("sheet names", [s["name"] for s in want["sheets"]], [s["name"] for s in got["sheets"]])
    for w, g in zip(want["sheets"], got["sheets"]):
        for key in ("merged", "breaks", "validations", "conditional", "comments", "hyperlinks",
                    "anchors", "charts"):
            same("%s %s" % (w["name"], key), w[key], g[key])
        if isinstance(w["cells"], list) and isinstance(g["cells"], list):
            wc = {(c[0], c[1]): c[2] for c in w["cells"]}
            gc = {(c[0], c[1]): c[2] for c in g["cells"]}
            for key in sorted(set(wc) | set(gc)):
                same("%s cell %s%d" % (w["name"], col_letters(key[1] + 1), key[0] + 1),
                     wc.get(key), gc.get(key))
        else:
            same("%s cells" % w["name"], w["cells"], g["cells"])
    return out


def poi_dump(paths):
    """POI's reading of each file by path; empty where Java or POI is missing."""
    jars = [os.path.join("/usr/share/java", j + ".jar") for j in
            ("poi", "commons-collections4", "commons-math3", "commons-codec", "log4j-1.2")]
    if not shutil.which("java") or not os.path.exists(jars[0]):
        return {}
    source = os.path.join(os.path.dirname(os.path.abspath(__file__)), "PoiDump.java")
    done = subprocess.run(["java", "-cp", ":".join(j for j in jars if os.path.exists(j)), source]
                          + list(paths), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          check=False, timeout=1800)
    out = {}
    for line in done.stdout.decode("utf-8", "replace").splitlines():
        entry = json.loads(line)
        out[entry["path"]] = entry
    return out


def with_alarm(seconds, fn, *args):
    import signal

    def timeout(*_):
        raise TimeoutError()
    signal.signal(signal.SIGALRM, timeout)
    signal.alarm(seconds)
    try:
        return fn(*args)
    finally:
        signal.alarm(0)


def opens(paths):
    import xlrd
    out = {}
    for p in paths:
        try:
            with_alarm(60, lambda: xlrd.open_workbook(p, logfile=open(os.devnull, "w")))
            out[p] = True
        except Exception:  # xlrd's own refusals, and files too slow for it
            out[p] = False
    return out


def xlrd_dump(path):
    try:
        return with_alarm(600, dump, path, False)  # sheets of 65,536 rows take xlrd long
    except Exception as e:  # xlrd's own refusals, and files too slow for it
        return {"error": repr(e)}


def left_to_recalculate(path):
    """(sheet, row, col) of the formulas a workbook leaves for the spreadsheet program to
    recalculate when it opens it: flagged to be calculated on load in a sheet with an
    UNCALCED record."""
    import struct
    from xlrd import compdoc
    with open(path, "rb") as f:
        doc = compdoc.CompDoc(f.read(), logfile=open(os.devnull, "w"))
    data = doc.get_named_stream("Workbook") or doc.get_named_stream("Book") or b""
    out, flagged, uncalced, sheet, depth, pos = set(), [], False, -1, 0, 0
    while pos + 4 <= len(data):
        kind, size = struct.unpack_from("<HH", data, pos)
        body = data[pos + 4:pos + 4 + size]
        pos += 4 + size
        if kind in (0x0809, 0x0409, 0x0209, 0x0009):
            depth += 1
            if depth == 1 and len(body) >= 4 and struct.unpack_from("<H", body, 2)[0] == 0x10:
                sheet, flagged, uncalced = sheet + 1, [], False
        elif kind == 0x000A:
            depth -= 1
            if depth == 0 and uncalced:
                out |= {(sheet, r, c) for r, c in flagged}
        elif depth == 1 and kind == 0x005E:
            uncalced = True
        elif depth == 1 and kind in (0x0006, 0x0406) and len(body) >= 16:
            row, col = struct.unpack_from("<HH", body, 0)
            if struct.unpack_from("<H", body, 14)[0] & 0x0002:
                flagged.append((row, col))
    return out


def poi_dependents(poi, edit):
    """dependents() from POI's formula texts, by (sheet name, row, col)."""
    book = {"sheets": [{"name": sh["name"], "cells": [
        {"row": r, "col": c, "formula": v} for r, c, v in sh["cells"]
        if isinstance(v, str) and v.startswith("=")]} for sh in poi["sheets"]
        if isinstance(sh["cells"], list)]}
    names = [sh["name"] for sh in book["sheets"]]
    if edit.get("sheet_name") not in names:
        return set()
    at = names.index(edit["sheet_name"])
    edit = {"set": [[at] + cell[1:] for cell in edit.get("set", [])],
            **({"remove": [at, edit["remove"][1]]} if "remove" in edit else {})}
    return {(names[s], r, c) for s, r, c in dependents(book, edit)}


def xlrd_check(entry, xlrd_dumps, poi_before, moves):
    before, after = xlrd_dumps[entry["before"]], xlrd_dumps[entry["after"]]
    if "error" in before:
        return []  # xlrd cannot give the details of this one; POI may
    if "error" in after:
        return ["xlrd cannot read the edited workbook: " + after["error"]]
    want, problems = expected(before, entry["edit"], moves)
    # Results of formulas the edit affects are what gnumeric recalculates (formula texts from
    # POI, where it reads the workbook).
    affected = poi_dependents(poi_before, entry["edit"]) if poi_before else set()
    if affected:
        names = [sh["name"] for sh in want["sheets"]]
        keys = {(names.index(n), r, c) for n, r, c in affected if n in names}
        for s, sh in enumerate(want["sheets"]):
            for c in sh["cells"]:
                if (s, c["row"], c["col"]) in keys:
                    c["formula"] = True  # with_results() takes formula cells only
        # Formulas Rxdeck cannot evaluate keep their old result, marked for recalculation.
        keys -= left_to_recalculate(entry["after"])
        try:
            if gnumeric_misreads(entry["before"], before):
                raise ValueError("its recalculation of the unedited workbook gives errors")
            with_results(want, recalculated(entry["after"]), keys)
        except Exception as e:
            # gnumeric is no judge of this workbook's results: they go unchecked.
            print("  (no verdict on %d recalculated results: gnumeric %s)"
                  % (len(keys), str(e)[:80]), file=sys.stderr)
            with_results(want, {(s, c["row"], c["col"]): c
                                for s, sh in enumerate(after["sheets"]) for c in sh["cells"]},
                         keys)
        # Independent programs may sum in another order: results a few units in the last
        # place apart are the same.
        got = {(s, c["row"], c["col"]): c for s, sh in enumerate(after["sheets"])
               for c in sh["cells"]}
        for s, sh in enumerate(want["sheets"]):
            for c in sh["cells"]:
                g = got.get((s, c["row"], c["col"]))
                if ((s, c["row"], c["col"]) in keys and g and c["type"] == g["type"] == "number"
                        and abs(c["value"] - g["value"]) <= 1e-12 * abs(c["value"])):
                    c["value"] = g["value"]
        for sh in want["sheets"]:
            for c in sh["cells"]:
                c.pop("formula", None)
    return problems + differences(want, after)


def check(manifest):
    with open(manifest, encoding="utf-8") as f:
        entries = json.load(f)
    paths = sorted({p for e in entries for p in (e["before"], e["after"])})
    import multiprocessing
    with multiprocessing.Pool(2) as pool:
        dumped = pool.map_async(xlrd_dump, paths)
        poi = poi_dump(paths)  # meanwhile
        xlrd_dumps = dict(zip(paths, dumped.get()))
    moves = RowMoves()
    for e in entries:  # the moves every remove asks about, learnt in one LibreOffice run
        if "remove" in e["edit"] and "error" not in xlrd_dumps[e["before"]]:
            expected(xlrd_dumps[e["before"]], e["edit"], moves)
        if "remove" in e["edit"] and "error" not in poi.get(e["before"], {"error": 1}):
            poi_expected(poi[e["before"]], e["edit"], moves)
    moves.learn()
    tmp = tempfile.TemporaryDirectory()
    redone = redone_anchors(entries, poi, tmp.name)
    found = [xlrd_check(e, xlrd_dumps, poi.get(e["before"]) if poi.get(e["before"], {})
                        .get("sheets") else None, moves) for e in entries]
    failed = 0
    for i, (entry, lines) in enumerate(zip(entries, found)):
        before, after = poi.get(entry["before"]), poi.get(entry["after"])
        if before and "error" not in before and after:
            want, problems = poi_expected(before, entry["edit"], moves)
            if i in redone and "error" not in after:
                # Drawings the delete can move: LibreOffice's own delete is the judge.
                after = json.loads(json.dumps(after))
                ws, gs = (next(s for s in book["sheets"] if s["name"] == entry["edit"]["sheet_name"])
                          for book in (want, after))
                if redone[i] is None:
                    print("  (no verdict on the drawings of %s: LibreOffice cannot redo the "
                          "delete)" % entry["before"], file=sys.stderr)
                    ws["anchors"] = gs["anchors"]
                else:
                    ws["anchors"], gs["anchors"] = redone[i]
                    if near(ws["anchors"], gs["anchors"]):
                        ws["anchors"] = gs["anchors"]
            lines = lines + problems + poi_differences(want, after)
        if lines:
            failed += 1
            print("%s (%s):" % (entry["before"], json.dumps(entry["edit"], ensure_ascii=False)))
            for line in lines[:20]:
                print("  " + line)
    print("%d edits checked with xlrd%s, %d with differences" % (
        len(entries), " and POI" if poi else "", failed))
    return 1 if failed else 0


def main(argv):
    sys.stdout.reconfigure(encoding="utf-8")
    if len(argv) == 3 and argv[0] == "make":
        return make(argv[1], argv[2])
    if len(argv) == 2 and argv[0] == "dump":
        book = dump(argv[1])
        json.dump(with_results(book, recalculated(argv[1]), uncached(book)), sys.stdout,
                  ensure_ascii=False, indent=1)
        print()
        return 0
    if len(argv) == 4 and argv[0] == "diff":
        edit = argv[3]
        if not edit.lstrip().startswith("{"):
            with open(edit, encoding="utf-8") as f:
                edit = f.read()
        before, edit, moves = dump(argv[1]), json.loads(edit), RowMoves()
        expected(before, edit, moves)
        moves.learn()
        want, problems = expected(before, edit, moves)
        with_results(want, recalculated(argv[2]), uncached(want) | dependents(before, edit))
        out = problems + differences(want, dump(argv[2]))
        for line in out:
            print(line)
        return 1 if out else 0
    if len(argv) >= 1 and argv[0] == "opens":
        json.dump(opens(argv[1:]), sys.stdout)
        return 0
    if len(argv) == 2 and argv[0] == "check":
        return check(argv[1])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
