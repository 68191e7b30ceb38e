#!/usr/bin/python3
"""Writes the Torvale template of the reference badge workload.

Usage: make_template.py DATADIR TEMPLATE.dat

DATADIR holds bg.png, photos/ and layout.txt as gen_workload.py writes them. The card: the
background picture at 300 dpi, the photo fitted proportionally and centred into its box,
and name, department and number as text layers whose baselines fall where layout.txt puts
them. Text layers are vertically centred, so each layer's top is set from the font's
ascent and descent at the layer's pixel size.
"""
import json
import math
import os
import sys

from PIL import ImageFont

TEXT_DPI = 96  # text sizes are points at a fixed 96 dpi


def read_layout(path):
    layout = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            key, value = line.rstrip("\n").split("=", 1)
            layout[key] = value.strip("'")
    return layout


def bgr_number(html):
    r, g, b = (int(html[i:i + 2], 16) for i in (1, 3, 5))
    return (b << 16) | (g << 8) | r


def layer(**fields):
    base = {
        "x": 0, "y": 0, "width": 0, "height": 0, "type": 0, "bind_col_name": "", "text": "",
        "fontName": "", "fontSize": 12, "isBold": 0, "isUnderline": 0, "isItalic": 0,
        "color": 0, "htmlColor": "#000000", "tHAlign": 0, "tVAlign": 1, "characterSpacing": 0,
        "filePath": "", "pHAlign": 1, "pVAlign": 1, "layer_level": 0, "overflow_style": 0,
    }
    base.update(fields)
    return base


def main():
    data, out = sys.argv[1], sys.argv[2]
    L = read_layout(os.path.join(data, "layout.txt"))
    n = lambda key: int(L[key])
    dpi = n("DPI")
    layers = [layer(x=n("PHOTO_X"), y=n("PHOTO_Y"), width=n("PHOTO_W"), height=n("PHOTO_H"),
                    type=1, bind_col_name="photo", overflow_style=0)]
    for key, column in (("NAME", "name"), ("DEPT", "dept"), ("ID", "id")):
        # The same pixel size as the other renderers (pt at the card's dpi), as a size at 96 dpi.
        points = math.ceil(n(key + "_PT") * dpi / TEXT_DPI - 0.5)  # 87.5 -> 87, 43.75 -> 44
        pixels = points * TEXT_DPI / 72
        ascent, descent = ImageFont.truetype(L["FONT_FILE"], round(pixels)).getmetrics()
        box = ascent + descent + 1
        height = round(1.3 * pixels)
        top = n(key + "_Y") - ascent - (height - box) // 2
        x = n(key + "_X")
        layers.append(layer(x=x, y=top, width=n("CARD_W") - x, height=height,
                            bind_col_name=column, text=column, fontName=L["FONT_FAMILY"],
                            fontSize=points, color=bgr_number(L[key + "_COLOR"]),
                            htmlColor=L[key + "_COLOR"].upper(), overflow_style=1))
    template = {
        "background_type": 0,
        "background_path": os.path.join(os.path.abspath(data), "bg.png"),
        "dpi": dpi,
        "csv_file_path": os.path.join(os.path.abspath(data), "rows.csv"),
        "is_trim_csv_cell_value": 1,
        "pictures_show_select_area": 1,
        "pictures_show_picture": 1,
        "picture_items": layers,
        "format": "JPG",
        "quality": n("JPEG_QUALITY"),
        "colorspace": "sRGB",
        "file_name_bind_col_name": "id",
        "file_name_bind_col_name2": "",
    }
    with open(out, "w", encoding="utf-8") as f:
        json.dump(template, f, ensure_ascii=False, indent="\t")


if __name__ == "__main__":
    main()
