#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""LibreOffice as the judge of row deletes.

  libreoffice.py make DIR [STRUCTURE...] write, through LibreOffice, one memory-list workbook
                                          per structure into DIR/STRUCTURE.xls
  libreoffice.py compare DIR ROW         for each DIR/STRUCTURE.xls with DIR/STRUCTURE-ours.xls
                                          (the same workbook after Rxdeck deleted ROW, 0-based,
                                          of its first sheet), LibreOffice deletes that row of
                                          the original itself and saves both as .xlsx; print,
                                          as JSON by structure, every difference of their parts

A missing LibreOffice or python3-uno makes both exit with status 77 and the reason on stdout.
Before comparing, each part is normalised for what LibreOffice numbers afresh: relationship
ids (r:id, Id), unique ids (xr:uid, c14:creationId), the numbers of chart, drawing and
comment parts (renumbered in order), chart axis ids (numbered in order), and drawing
positions (anchor offsets, a:off, a:ext), which may differ by 360 EMU (LibreOffice rounds
them to hundredths of a millimetre). The empty row LibreOffice's own delete adds at row
1,048,576 and each sheet's dimension element are dropped; docProps (times, version) are
left out. For every structure, xlrd must also read Rxdeck's file with the original's
hyperlinks and ScreenTips, moved with their rows.
"""

import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

LIST = [(7.05, "net"), (9.41, "BBC"), (11.175, "Zürich"), (14.2, "ham"), (21.5, "beacon"),
        (3.33, "CHU"), (5.0, "WWV"), (10.0, "WWV 10")]
LAST = len(LIST)  # 0-based last row of the list; the test deletes row 3


def cells(first_row, last_row, col=0, sheet=0):
    from com.sun.star.table import CellRangeAddress
    return CellRangeAddress(sheet, col, first_row, col, last_row)


def chart(doc, one, two):
    from com.sun.star.awt import Rectangle
    two.Charts.addNewByName("Freqs", Rectangle(1000, 1000, 12000, 8000),
                            (cells(1, LAST),), False, False)


def hyperlink(doc, one, two):
    cell = one.getCellByPosition(1, 5)
    cell.String = ""
    field = doc.createInstance("com.sun.star.text.TextField.URL")
    field.URL = "https://example.org/beacons"
    field.Representation = "beacon list"
    field.TargetFrame = "beacon schedule"
    cell.insertTextContent(cell.Text.createTextCursor(), field, False)


def validation(doc, one, two):
    from com.sun.star.sheet.ValidationType import LIST as LIST_TYPE
    target = two.getCellRangeByName("B2:B6")
    v = target.Validation
    v.Type = LIST_TYPE
    v.setFormula1("$Sheet1.$A$2:$A$%d" % (LAST + 1))
    target.Validation = v


def dv_per_row(doc, one, two):
    from com.sun.star.sheet.ValidationType import CUSTOM
    target = one.getCellRangeByName("B2:B%d" % (LAST + 1))
    v = target.Validation
    v.Type = CUSTOM
    v.setFormula1("$A2>3")
    target.Validation = v


def conditional(doc, one, two, operator="GREATER", formula="$A$7"):
    import uno
    from com.sun.star.beans import PropertyValue

    def prop(name, value):
        return PropertyValue(Name=name, Value=value)
    target = one.getCellRangeByName("A2:B%d" % (LAST + 1))
    entries = target.ConditionalFormat
    entries.addNew((prop("Operator", uno.Enum("com.sun.star.sheet.ConditionOperator", operator)),
                    prop("Formula1", formula), prop("StyleName", "Accent")))
    target.ConditionalFormat = entries


def cf_per_row(doc, one, two):
    conditional(doc, one, two, "FORMULA", "$A2>$F$3")


def page_break(doc, one, two):
    one.Rows.getByIndex(6).IsStartOfNewPage = True


def comment(doc, one, two):
    from com.sun.star.table import CellAddress
    one.Annotations.insertNew(CellAddress(0, 1, 8), "night only")  # its box below the row


def comment_box(doc, one, two):
    from com.sun.star.awt import Point, Size
    from com.sun.star.table import CellAddress
    one.Annotations.insertNew(CellAddress(0, 1, 1), "club net")
    note = one.getCellByPosition(1, 1).Annotation
    note.IsVisible = True  # a hidden box is laid out afresh beside its cell
    box = note.AnnotationShape  # written as "move but don't size with cells"
    top = one.getCellByPosition(3, 2).Position
    box.Position = Point(top.X, top.Y + 150)  # across the deleted row, into the list below it
    box.Size = Size(4000, 2000)


def autofilter(doc, one, two):
    from com.sun.star.table import CellRangeAddress
    ranges = doc.getPropertyValue("UnnamedDatabaseRanges")
    ranges.setByTable(CellRangeAddress(0, 0, 0, 1, LAST))
    ranges.getByTable(0).AutoFilter = True


def shape(doc, one, two):
    from com.sun.star.awt import Point, Size
    from com.sun.star.text.TextContentAnchorType import AT_PARAGRAPH  # noqa: F401 (enum load)
    box = doc.createInstance("com.sun.star.drawing.RectangleShape")
    one.DrawPage.add(box)
    top = one.getCellByPosition(3, 5).Position  # below the deleted row, two rows high
    box.Position = Point(top.X, top.Y + 100)
    box.Size = Size(3000, 700)
    box.Anchor = one.getCellByPosition(3, 5)


# Made by gnumeric: LibreOffice writes no ScreenTips.
def screentip(path):
    sys.dont_write_bytecode = True  # nothing written into the source tree
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    import corpus
    book = corpus.gnumeric_xml(False).decode("utf-8")
    region = ('<gnm:StyleRegion startCol="1" startRow="4" endCol="1" endRow="4">'
              '<gnm:Style Format="General"><gnm:HyperLink type="GnmHLinkURL" '
              'target="https://example.org/ham" tip="amateur bands"/></gnm:Style>'
              '</gnm:StyleRegion>')
    at = book.index("</gnm:Styles>")  # Sheet1's; a later region overrides earlier ones
    with tempfile.TemporaryDirectory() as tmp:
        source = os.path.join(tmp, "book.gnumeric")
        with open(source, "w", encoding="utf-8") as f:
            f.write(book[:at] + region + book[at:])
        corpus.convert(source, path, "Gnumeric_Excel:excel_biff8")


def hyperlinks(path):
    """(row, column, target, ScreenTip) of each hyperlink of the first sheet, as xlrd reads
    them; xlrd refuses a workbook whose ScreenTip lost its hyperlink."""
    import xlrd
    try:
        sheet = xlrd.open_workbook(path, logfile=open(os.devnull, "w")).sheet_by_index(0)
    except Exception as e:  # xlrd's refusal is the finding
        return "xlrd cannot open it: %r" % e
    return sorted((h.frowx, h.fcolx, h.url_or_path, h.quicktip) for h in sheet.hyperlink_list)


STRUCTURES = {
    "chart": chart, "hyperlink": hyperlink, "validation": validation, "dv_per_row": dv_per_row,
    "conditional": conditional, "cf_per_row": cf_per_row, "page_break": page_break,
    "comment": comment, "comment_box": comment_box, "autofilter": autofilter, "shape": shape,
    "screentip": screentip,
}


class Office:
    """A headless LibreOffice of its own profile, reached through UNO."""

    def __init__(self):
        import uno
        self.tmp = tempfile.mkdtemp()
        pipe = "rxdeck%d" % os.getpid()
        office = shutil.which("soffice") or shutil.which("libreoffice")
        self.process = subprocess.Popen(
            [office, "-env:UserInstallation=file://" + os.path.join(self.tmp, "profile"),
             "--headless", "--invisible", "--norestore", "--nologo",
             "--accept=pipe,name=%s;urp;" % pipe],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        resolver = uno.getComponentContext().ServiceManager.createInstanceWithContext(
            "com.sun.star.bridge.UnoUrlResolver", uno.getComponentContext())
        for _ in range(600):
            try:
                context = resolver.resolve(
                    "uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
                break
            except Exception:  # not listening yet
                time.sleep(0.1)
        else:
            raise RuntimeError("LibreOffice did not start")
        self.desktop = context.ServiceManager.createInstanceWithContext(
            "com.sun.star.frame.Desktop", context)

    def __enter__(self):
        return self

    def __exit__(self, *_):
        try:
            self.desktop.terminate()
        except Exception:  # it closes the connection as it goes
            pass
        try:
            self.process.wait(timeout=60)
        except subprocess.TimeoutExpired:
            self.process.kill()
        shutil.rmtree(self.tmp, ignore_errors=True)

    def load(self, path):
        import uno
        from com.sun.star.beans import PropertyValue
        url = uno.systemPathToFileUrl(os.path.abspath(path)) if path else "private:factory/scalc"
        return self.desktop.loadComponentFromURL(url, "_blank", 0,
                                                 (PropertyValue(Name="Hidden", Value=True),))

    @staticmethod
    def store(doc, path, filter_name):
        import uno
        from com.sun.star.beans import PropertyValue
        doc.storeToURL(uno.systemPathToFileUrl(os.path.abspath(path)),
                       (PropertyValue(Name="FilterName", Value=filter_name),))
        doc.close(True)


def make(directory, only=()):
    with Office() as office:
        for name, add in STRUCTURES.items():
            if only and name not in only:
                continue
            doc = office.load(None)
            sheets = doc.Sheets
            if sheets.Count < 2:
                sheets.insertNewByName("Sheet2", 1)
            one, two = sheets.getByIndex(0), sheets.getByIndex(1)
            one.Name, two.Name = "Sheet1", "Sheet2"
            one.getCellByPosition(0, 0).String = "Frequency"
            one.getCellByPosition(1, 0).String = "Note"
            for r, (freq, note) in enumerate(LIST, start=1):
                one.getCellByPosition(0, r).Value = freq
                one.getCellByPosition(1, r).String = note
            two.getCellByPosition(0, 0).Formula = "=SUM($Sheet1.A2:A%d)" % (LAST + 1)
            path = os.path.join(directory, name + ".xls")
            if add.__code__.co_argcount == 1:
                doc.close(True)
                add(path)
                continue
            add(doc, one, two)
            office.store(doc, path, "MS Excel 97")
    return 0


# Ids LibreOffice hands out afresh on every export, not properties of the workbook.
VOLATILE = [
    (re.compile(rb'\s(?:r:id|Id|id)="rId\d+"'), b""),
    (re.compile(rb'\sxr:uid="\{[0-9A-F-]+\}"'), b""),
    (re.compile(rb'<c14:creationId[^>]*/>'), b""),
    # Deleting a row, LibreOffice adds an empty one at the end of its 1,048,576-row sheets
    # where the workbook sets a default row height; the dimension then reaches it.
    (re.compile(rb'<row r="1048576"[^>]*>\s*</row>'), b""),
    (re.compile(rb'<dimension ref="[^"]*"/>'), b""),
]


# Parts LibreOffice numbers by the objects it has made in its session (a chart deleted
# with its row keeps its number), renumbered in order.
NUMBERED = re.compile(r"(charts/chart|drawings/drawing|drawings/vmlDrawing|comments)(\d+)")
# Anchor offsets in EMU: LibreOffice turns them into hundredths of a millimetre and back, so
# two routes to one position can differ by one such unit (360 EMU).
OFFSET = re.compile(rb'(<xdr:(?:row|col)Off>|<a:off x="|<a:ext cx="|" c?y=")(\d+)()')
# Chart axis ids are random numbers on every export.
AXIS = re.compile(rb'(<c:(?:axId|crossAx) val=")(\d+)')


def parts(path):
    with zipfile.ZipFile(path) as z:
        names = [n for n in z.namelist() if not n.startswith("docProps/")]  # times, version
        numbers = {}
        for name in sorted(names):
            for m in NUMBERED.finditer(name):
                numbers.setdefault(m.group(0), "%s%d" % (
                    m.group(1), 1 + sum(k.startswith(m.group(1)) for k in numbers)))

        def renumbered(text):
            return NUMBERED.sub(lambda m: numbers.get(m.group(0), m.group(0)), text)
        out = {}
        for name in names:
            data = renumbered(z.read(name).decode("utf-8", "surrogateescape")).encode(
                "utf-8", "surrogateescape")
            for pattern, replacement in VOLATILE:
                data = pattern.sub(replacement, data)
            axes = {}
            data = AXIS.sub(lambda m: m.group(1) + b"%d" % axes.setdefault(m.group(2), len(axes)),
                            data)
            out[renumbered(name)] = data
        return out


def same(a, b):
    """Equal, but for anchor offsets one hundredth of a millimetre apart."""
    if OFFSET.sub(rb"\1\3", a) != OFFSET.sub(rb"\1\3", b):
        return False
    return all(abs(int(x.group(2)) - int(y.group(2))) <= 360
               for x, y in zip(OFFSET.finditer(a), OFFSET.finditer(b)))


def differences(theirs, mine):
    out = []
    for name in sorted(set(theirs) | set(mine)):
        a, b = theirs.get(name), mine.get(name)
        if a == b or (a and b and same(a, b)):
            continue
        if a is None or b is None:
            out.append("%s: only in %s" % (name, "LibreOffice's" if b is None else "ours"))
            continue
        at = next((i for i in range(min(len(a), len(b))) if a[i] != b[i]), min(len(a), len(b)))
        out.append("%s: LibreOffice's has ...%s..., ours ...%s..." % (
            name, a[max(0, at - 150):at + 150].decode("utf-8", "replace"),
            b[max(0, at - 150):at + 150].decode("utf-8", "replace")))
    return out


def compare(directory, row):
    """For each DIR/STRUCTURE.xls with a DIR/STRUCTURE-ours.xls beside it, the differences
    between LibreOffice's own delete of the row and ours, as JSON by structure."""
    found = {}
    with Office() as office:
        for name in STRUCTURES:
            original = os.path.join(directory, name + ".xls")
            ours = os.path.join(directory, name + "-ours.xls")
            if not os.path.exists(ours):
                continue
            theirs_xlsx = os.path.join(directory, name + "-theirs.xlsx")
            ours_xlsx = os.path.join(directory, name + "-ours.xlsx")
            doc = office.load(original)
            doc.Sheets.getByIndex(0).Rows.removeByIndex(row, 1)
            office.store(doc, theirs_xlsx, "Calc Office Open XML")
            office.store(office.load(ours), ours_xlsx, "Calc Office Open XML")
            found[name] = differences(parts(theirs_xlsx), parts(ours_xlsx))
            want = hyperlinks(original)
            if isinstance(want, list):
                want = [(r - (r > row), c, t, tip) for r, c, t, tip in want if r != row]
            if want != hyperlinks(ours):
                found[name].append("xlrd: hyperlinks %r, expected %r" % (hyperlinks(ours), want))
    json.dump(found, sys.stdout, ensure_ascii=False, indent=1)
    return 0


def row_moves(questions):
    """LibreOffice's own delete of a row, asked about many references at once: for each
    (removed, first, last, is_range), 0-based rows of the sheet that loses the row, the rows
    (first, last) afterwards, or None where LibreOffice leaves #REF!. The last row of an .xls
    sheet stands for the last row of LibreOffice's."""
    xls_last, answers, by_row = 65535, {}, {}
    for question in questions:
        by_row.setdefault(question[0], []).append(question)
    with Office() as office:
        for removed, asked in sorted(by_row.items()):
            doc = office.load(None)
            doc.Sheets.insertNewByName("Asked", 1)
            target, formulas = doc.Sheets.getByIndex(0), doc.Sheets.getByIndex(1)
            target.Name = "X"
            last = target.Rows.Count - 1

            def cell(i):
                return formulas.getCellByPosition(i % 100, i // 100)
            for i, (_, first, end, is_range) in enumerate(asked):
                rows = [last if r == xls_last else r for r in (first, end)]
                cell(i).Formula = "=COUNT($X.A%d%s)" % (
                    rows[0] + 1, ":A%d" % (rows[1] + 1) if is_range else "")
            target.Rows.removeByIndex(removed, 1)
            for i, question in enumerate(asked):
                text = cell(i).Formula.replace("$", "")
                rows = [0, last] if "A:A" in text else [  # a whole column
                    int(n) - 1 for n in re.findall(r"A(\d+)", text)]
                answers[question] = None if "#REF!" in text or not rows else tuple(
                    r - (last - xls_last) if r > xls_last else r for r in (rows[0], rows[-1]))
            doc.close(True)
    return answers


def resaved(jobs):
    """LibreOffice's own save, as .xls, of each (source, sheet, row, sized, out), after deleting
    that row, 0-based, of the sheet of that name where row is not None. LibreOffice reads every
    shape of an .xls as moving with its cells but keeping its size; sized names, by the row and
    column of their top left cell, the shapes anchored to move and size with their cells, which
    are set so before the delete. An out it cannot make is left missing."""
    with Office() as office:
        for source, sheet, row, sized, out in jobs:
            doc = None
            try:
                doc = office.load(source)
                target = doc.Sheets.getByName(sheet)
                for i in range(target.DrawPage.Count):
                    shape = target.DrawPage.getByIndex(i)
                    cell = getattr(shape.Anchor, "CellAddress", None)  # None: kept in place
                    if cell and (cell.Row, cell.Column) in sized:
                        shape.ResizeWithCell = True
                if row is not None:
                    target.Rows.removeByIndex(row, 1)
                office.store(doc, out, "MS Excel 97")
            except Exception:  # LibreOffice cannot read it: no verdict
                if doc:
                    doc.close(True)


def missing():
    office = shutil.which("soffice") or shutil.which("libreoffice")
    if not office:
        return "LibreOffice (soffice) is not installed"
    program = os.path.dirname(os.path.realpath(office))
    if not any(n.startswith("libsclo") for n in os.listdir(program)):
        return "LibreOffice Calc is not installed (libreoffice-calc-nogui)"
    try:
        import uno  # noqa: F401
    except ImportError:
        return "python3-uno is not installed"
    return None


def main(argv):
    sys.stdout.reconfigure(encoding="utf-8")
    reason = missing()
    if reason:
        print(reason)
        return 77
    if len(argv) >= 2 and argv[0] == "make":
        return make(argv[1], argv[2:])
    if len(argv) == 3 and argv[0] == "compare":
        return compare(argv[1], int(argv[2]))
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
