#!/usr/bin/python3
"""Writes Excel workbooks (.xlsx) from rows, with the standard library only.

Run as a script, it makes examples/badge/staff.xlsx from examples/badge/staff.csv: the same
people in one worksheet. Imported, write_workbook() makes any workbook (the benchmarks use it).

The bytes are deterministic: parts in a fixed order, fixed zip timestamps and attributes.
"""
import csv
import os
import sys
import zipfile
from xml.sax.saxutils import escape

MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PKG_REL = "http://schemas.openxmlformats.org/package/2006/relationships"
CT = "http://schemas.openxmlformats.org/package/2006/content-types"
SHEET_CT = "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"
HEADER = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'


def column_name(index):
    """0 -> A, 25 -> Z, 26 -> AA."""
    name = ""
    index += 1
    while index:
        index, rest = divmod(index - 1, 26)
        name = chr(ord("A") + rest) + name
    return name


def _sheet_xml(rows, strings):
    parts = [HEADER, f'<worksheet xmlns="{MAIN}" xmlns:r="{REL}"><sheetData>']
    for r, row in enumerate(rows, start=1):
        cells = []
        for c, value in enumerate(row):
            ref = f"{column_name(c)}{r}"
            if value is None or value == "":
                continue
            if isinstance(value, bool):
                cells.append(f'<c r="{ref}" t="b"><v>{int(value)}</v></c>')
            elif isinstance(value, (int, float)):
                cells.append(f'<c r="{ref}"><v>{value!r}</v></c>')
            else:
                index = strings.setdefault(value, len(strings))
                cells.append(f'<c r="{ref}" t="s"><v>{index}</v></c>')
        parts.append(f'<row r="{r}">{"".join(cells)}</row>')
    parts.append("</sheetData></worksheet>")
    return "".join(parts)


def _shared_strings_xml(strings):
    items = []
    for text in strings:
        space = ' xml:space="preserve"' if text != text.strip() else ""
        items.append(f"<si><t{space}>{escape(text)}</t></si>")
    return (f'{HEADER}<sst xmlns="{MAIN}" count="{len(strings)}" uniqueCount="{len(strings)}">'
            f'{"".join(items)}</sst>')


def write_workbook(path, sheets):
    """Writes sheets, a list of (name, rows), each row a list of str, int, float, bool or None,
    as an .xlsx workbook at path. Strings go to the shared strings table."""
    strings = {}
    sheet_parts = [_sheet_xml(rows, strings) for _, rows in sheets]
    overrides = "".join(
        f'<Override PartName="/xl/worksheets/sheet{i}.xml" ContentType="{SHEET_CT}"/>'
        for i in range(1, len(sheets) + 1))
    content_types = (
        f'{HEADER}<Types xmlns="{CT}">'
        '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
        '<Default Extension="xml" ContentType="application/xml"/>'
        '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>'
        f"{overrides}"
        '<Override PartName="/xl/sharedStrings.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/>'
        '<Override PartName="/xl/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"/>'
        "</Types>")
    package_rels = (
        f'{HEADER}<Relationships xmlns="{PKG_REL}">'
        f'<Relationship Id="rId1" Type="{REL}/officeDocument" Target="xl/workbook.xml"/>'
        "</Relationships>")
    sheet_list = "".join(
        f'<sheet name="{escape(name, {chr(34): "&quot;"})}" sheetId="{i}" r:id="rId{i}"/>'
        for i, (name, _) in enumerate(sheets, start=1))
    workbook = (f'{HEADER}<workbook xmlns="{MAIN}" xmlns:r="{REL}">'
                f"<sheets>{sheet_list}</sheets></workbook>")
    n = len(sheets)
    workbook_rels = (
        f'{HEADER}<Relationships xmlns="{PKG_REL}">'
        + "".join(f'<Relationship Id="rId{i}" Type="{REL}/worksheet" '
                  f'Target="worksheets/sheet{i}.xml"/>' for i in range(1, n + 1))
        + f'<Relationship Id="rId{n + 1}" Type="{REL}/sharedStrings" Target="sharedStrings.xml"/>'
        + f'<Relationship Id="rId{n + 2}" Type="{REL}/styles" Target="styles.xml"/>'
        + "</Relationships>")
    styles = (f'{HEADER}<styleSheet xmlns="{MAIN}">'
              '<fonts count="1"><font><sz val="11"/><name val="Calibri"/></font></fonts>'
              '<fills count="1"><fill><patternFill patternType="none"/></fill></fills>'
              '<borders count="1"><border/></borders>'
              '<cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellStyleXfs>'
              '<cellXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/></cellXfs>'
              "</styleSheet>")
    parts = [("[Content_Types].xml", content_types), ("_rels/.rels", package_rels),
             ("xl/workbook.xml", workbook), ("xl/_rels/workbook.xml.rels", workbook_rels)]
    parts += [(f"xl/worksheets/sheet{i}.xml", xml) for i, xml in enumerate(sheet_parts, start=1)]
    parts += [("xl/sharedStrings.xml", _shared_strings_xml(list(strings))),
              ("xl/styles.xml", styles)]
    with zipfile.ZipFile(path, "w") as archive:
        for name, text in parts:
            info = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3
            info.external_attr = 0o644 << 16
            archive.writestr(info, text.encode("utf-8"))


def main():
    badge = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples", "badge")
    with open(os.path.join(badge, "staff.csv"), newline="", encoding="utf-8-sig") as f:
        rows = list(csv.reader(f))
    write_workbook(os.path.join(badge, "staff.xlsx"), [("员工", rows)])
    return 0


if __name__ == "__main__":
    sys.exit(main())
