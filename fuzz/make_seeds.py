#!/usr/bin/python3
"""Writes the seed inputs of the fuzz targets into OUT/template, OUT/csv, OUT/picture,
OUT/workbook (worksheet parts) and OUT/text (layer settings and a cell).

Usage: make_seeds.py SOURCE_ROOT OUT

The templates, the example CSV file and the example pictures come from the source tree; the
other CSV files and pictures are generated here, small and deterministic, so that the fuzzers
start from every encoding and picture format the readers know.
"""
import glob
import io
import os
import re
import shutil
import subprocess
import sys
import zipfile

from PIL import Image, ImageDraw


def write(folder, name, data):
    with open(os.path.join(folder, name), "wb") as out:
        out.write(data)


def templates(root, folder):
    # The fuzz target lets the last byte decide whether the CSV columns load: an odd byte ("}")
    # loads them, an even one ("\n") does not. Each template comes with both endings.
    paths = sorted(glob.glob(os.path.join(root, "tests", "data", "templates", "*.dat")))
    paths.append(os.path.join(root, "examples", "badge", "badge.dat"))
    paths.append(os.path.join(root, "examples", "staff-card", "staff-card.dat"))
    for path in paths:
        with open(path, "rb") as source:
            data = source.read().rstrip()
        name = os.path.splitext(os.path.basename(path))[0]
        write(folder, name + "-columns.dat", data)
        write(folder, name + "-no-columns.dat", data + b"\n")
    # The example with a rule on its first layer, so the rule's members are there to mutate.
    with open(os.path.join(root, "examples", "badge", "badge.dat"), "rb") as source:
        data = source.read().rstrip()
    rule = '"overflow_style":\t3,\n\t\t\t"showIfColumn":\t"部门",\n\t\t\t"showIfOp":\t4,' \
           '\n\t\t\t"showIfValue":\t"研发"\n'
    data = data.replace(b'"overflow_style":\t3\n', rule.encode("utf-8"), 1)
    write(folder, "badge-rule-columns.dat", data)
    # Its photo turned into an unfilled, outlined ellipse, so the shape's members are there too.
    with open(os.path.join(root, "examples", "badge", "badge.dat"), "rb") as source:
        data = source.read().rstrip()
    shape = '"overflow_style":\t3,\n\t\t\t"cornerRadius":\t40,\n\t\t\t"borderWidth":\t6,' \
            '\n\t\t\t"borderColor":\t"#FF0000",\n\t\t\t"shapeKind":\t1,\n\t\t\t"opacity":\t40\n'
    data = data.replace(b'"type":\t1,', b'"type":\t3,', 1)
    data = data.replace(b'"htmlColor":\t"#000000"', b'"htmlColor":\t""', 1)
    data = data.replace(b'"overflow_style":\t3\n', shape.encode("utf-8"), 1)
    write(folder, "badge-shape-columns.dat", data)
    # Every layer of the example turned, so that rotation is there to mutate.
    with open(os.path.join(root, "examples", "badge", "badge.dat"), "rb") as source:
        data = source.read().rstrip()
    data = re.sub(rb'("overflow_style":\t\d)\n', rb'\1,\n\t\t\t"rotation":\t90\n', data)
    write(folder, "badge-rotated-columns.dat", data)


CSV_TEXT = "工号,姓名,部门\nA1,张伟,研发部\nA2,王芳,市场部\n"

CSV_SEEDS = {
    "utf16le.csv": b"\xff\xfe" + CSV_TEXT.encode("utf-16-le"),
    "utf16be.csv": b"\xfe\xff" + CSV_TEXT.encode("utf-16-be"),
    "utf16le-odd.csv": b"\xff\xfe" + CSV_TEXT.encode("utf-16-le") + b"\x41",
    "utf16-surrogates.csv": b"\xff\xfe" + "名,😀\n1,2\n".encode("utf-16-le") + b"\x00\xd8,\x00",
    "utf8-mark.csv": b"\xef\xbb\xbf" + CSV_TEXT.encode("utf-8"),
    "gb18030.csv": CSV_TEXT.encode("gb18030"),
    "gb18030-broken.csv": CSV_TEXT.encode("gb18030")[:-3] + b"\x81\x30\xff",
    "quoted.csv": b'a,"b,c","d""e"\n"line\nbreak",  "x" tail ,5"\n"open,1,2\n',
    "crlf.csv": b"name,photo\r\nWang,p1.jpg\r\n\r\nLi,p2.jpg\rZhao,p3.jpg\r\n",
    "spaces.csv": b" a \t, b\n \t \n 1 , 2 \n3\n4,5,6\n,\n",
}


def csvs(root, folder):
    shutil.copy(os.path.join(root, "examples", "badge", "staff.csv"), folder)
    for name, data in CSV_SEEDS.items():
        write(folder, name, data)


def drawing(mode, size):
    image = Image.new(mode, size, "white" if mode != "RGBA" else (255, 255, 255, 0))
    draw = ImageDraw.Draw(image)
    w, h = size
    draw.rectangle([1, 1, w // 2, h // 2], fill="red" if mode != "L" else 80)
    draw.ellipse([w // 3, h // 3, w - 2, h - 2], fill="blue" if mode != "L" else 160)
    return image


def encoded(image, fmt, **options):
    out = io.BytesIO()
    image.save(out, fmt, **options)
    return out.getvalue()


def pictures(root, folder):
    examples = os.path.join(root, "examples", "badge")
    for pattern in ("*.png", "*.jpg", "photos/*.png", "photos/*.jpg", "photos/*.heic"):
        for path in sorted(glob.glob(os.path.join(examples, pattern))):
            shutil.copy(path, folder)

    rgb = drawing("RGB", (40, 36))
    write(folder, "rgba.png", encoded(drawing("RGBA", (12, 10)), "PNG"))
    write(folder, "palette.png", encoded(rgb.convert("P", colors=8), "PNG"))
    write(folder, "gray.png", encoded(drawing("L", (9, 7)), "PNG"))
    # 40 x 36 is more than twice the 16 x 16 the reduced decode asks for.
    write(folder, "baseline.jpg", encoded(rgb, "JPEG", quality=50))
    write(folder, "progressive.jpg", encoded(rgb, "JPEG", quality=50, progressive=True))
    write(folder, "cmyk.jpg", encoded(rgb.convert("CMYK"), "JPEG", quality=50))
    write(folder, "gray.jpg", encoded(drawing("L", (8, 8)), "JPEG", quality=50))
    frames = [drawing("P", (10, 8)), drawing("P", (10, 8)).transpose(Image.FLIP_LEFT_RIGHT)]
    write(folder, "two-frames.gif",
          encoded(frames[0], "GIF", save_all=True, append_images=frames[1:], duration=100, loop=0))
    write(folder, "picture.bmp", encoded(drawing("RGB", (7, 5)), "BMP"))
    write(folder, "little-endian.tif", encoded(drawing("RGB", (6, 5)), "TIFF"))
    write(folder, "packbits.tif", encoded(drawing("L", (6, 5)), "TIFF", compression="packbits"))
    # Phones' pictures: stored sideways with an orientation tag, in a colour profile, WebP, and
    # HEIC and AVIF as the image library writes them.
    exif = Image.Exif()
    exif[0x0112] = 6
    write(folder, "orientation-6.jpg", encoded(rgb, "JPEG", quality=50, exif=exif.tobytes()))
    write(folder, "orientation-5.png", encoded(drawing("RGB", (6, 4)), "PNG", exif=exif.tobytes()))
    profile = "/usr/share/color/icc/ghostscript/a98.icc"
    if os.path.exists(profile):
        with open(profile, "rb") as f:
            write(folder, "adobe-rgb.jpg", encoded(rgb, "JPEG", quality=50, icc_profile=f.read()))
    write(folder, "lossy.webp", encoded(rgb, "WEBP", quality=30))
    write(folder, "lossless.webp", encoded(drawing("RGBA", (7, 5)), "WEBP", lossless=True))
    for name in ("tiny.heic", "tiny.avif"):
        subprocess.run(["convert", "-size", "16x12", "gradient:red-blue", os.path.join(folder, name)],
                       check=True)


SHEET = ('<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
         "<sheetData>{}</sheetData></worksheet>")

SHEET_SEEDS = {
    "cells.xml": SHEET.format(
        '<row r="1"><c r="A1" t="s"><v>0</v></c><c r="C1" t="s"><v>1</v></c></row>'
        '<row r="3"><c r="A3"><v>0.30000000000000004</v></c><c s="1"><v>46096</v></c>'
        '<c s="2"><v>46096.354166666667</v></c></row>'
        '<row><c t="b"><v>1</v></c><c t="e"><v>#N/A</v></c><c t="str"><f>A1</f><v>x</v></c>'
        '<c t="inlineStr"><is><r><t>a_x000D_b</t></r><rPh><t>y</t></rPh></is></c>'
        '<c t="d"><v>2026-03-15</v></c></row>'),
    "gap.xml": SHEET.format('<row r="2"><c r="B2"><v>1</v></c></row><row r="9"><c r="D9"><v>2</v></c></row>'),
}


def workbook(root, folder):
    with zipfile.ZipFile(os.path.join(root, "examples", "badge", "staff.xlsx")) as example:
        write(folder, "staff.xml", example.read("xl/worksheets/sheet1.xml"))
    for name, text in SHEET_SEEDS.items():
        write(folder, name, text.encode("utf-8"))


TEXT_SEEDS = {
    "names.txt": "王小明 Wang Xiaoming",
    "arabic.txt": "Ali محمد الأحمد 123",
    "indic.txt": "क्षत्रिय অমিত রায় สมชาย ใจดี សុខ ដារ៉ា བཀྲ་ཤིས་",
    "marks.txt": "Adébáyọ̀ Nguyễn " + "a" + "\u0301" * 200,
    "format.txt": "\u202eabc\u200b\ufeff\u2067محمد",
    "emoji.txt": "Lily 🌸 Chen 👩‍👩‍👧 \U0010fffd",
    "lines.txt": "研发部\n第二组\r\n第三室 long words wrapped",
}


def texts(root, folder):
    # Four bytes of layer settings, then the cell.
    for i, (name, text) in enumerate(TEXT_SEEDS.items()):
        write(folder, name, bytes([i * 37 % 256, 3, i, 20 + i]) + text.encode("utf-8"))
    # Vertical text (the third byte's high bit): at most two columns in a layer 100 x 149.
    write(folder, "vertical.txt",
          bytes([0x18, 3, 0x81, 30]) + "员工证，（研发部）「名」ABC 123 محمد。".encode("utf-8"))


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    root, out = sys.argv[1], sys.argv[2]
    for name, make in (("template", templates), ("csv", csvs), ("picture", pictures),
                       ("workbook", workbook), ("text", texts)):
        folder = os.path.join(out, name)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        make(root, folder)


if __name__ == "__main__":
    main()
