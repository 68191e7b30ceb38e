#!/usr/bin/python3
"""Builds the user guide: one HTML page from its Markdown source, with the pictures it shows.

usage: build-guide.py --version VERSION GUIDE.md OUTPUT_FOLDER

The page is self-contained apart from its pictures (no scripts, no style sheets or fonts from
elsewhere), so it opens from the disk in any browser. Every picture the guide names must exist
beside it; the pictures are copied to OUTPUT_FOLDER/images.
"""

import argparse
import re
import shutil
import sys
from pathlib import Path

import markdown

STYLE = """
body { font-family: "WenQuanYi Zen Hei", "Noto Sans CJK SC", sans-serif; line-height: 1.7;
       max-width: 52em; margin: 2em auto; padding: 0 1.5em; color: #222; }
h1 { border-bottom: 3px solid #2f6fd6; padding-bottom: .3em; }
h2 { border-bottom: 1px solid #ccd; padding-bottom: .2em; margin-top: 2em; }
code, pre { font-family: "DejaVu Sans Mono", monospace; background: #f3f5f8; }
code { padding: 0 .25em; }
pre { padding: .8em 1em; overflow-x: auto; }
img { max-width: 100%; border: 1px solid #ccd; }
table { border-collapse: collapse; }
th, td { border: 1px solid #ccd; padding: .3em .7em; }
nav.toc { background: #f3f5f8; padding: .5em 1.5em; }
"""


def is_cjk(character: str) -> bool:
    return ord(character) >= 0x2E80


def join_cjk_lines(text: str) -> str:
    """Joins the lines of a paragraph where the break falls between two Chinese characters:
    browsers show such a break as a space, which Chinese text does not have."""
    lines: list[str] = []
    fenced = False
    for line in text.split("\n"):
        if line.startswith("```"):
            fenced = not fenced
        stripped = line.lstrip()
        if (not fenced and lines and stripped and lines[-1] and is_cjk(stripped[0])
                and is_cjk(lines[-1][-1])):
            lines[-1] += stripped
        else:
            lines.append(line)
    return "\n".join(lines)


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--version", required=True)
    parser.add_argument("guide", type=Path)
    parser.add_argument("output", type=Path)
    args = parser.parse_args()

    text = args.guide.read_text(encoding="utf-8")
    converter = markdown.Markdown(extensions=["attr_list", "tables", "fenced_code", "toc"],
                                  extension_configs={"toc": {"toc_depth": "2-2"}})
    body = converter.convert(join_cjk_lines(text.replace("@VERSION@", args.version)))
    title_match = re.search(r"<h1[^>]*>(.*?)</h1>", body)
    title = re.sub(r"<[^>]+>", "", title_match.group(1)) if title_match else "Torvale"

    images = sorted(set(re.findall(r'<img [^>]*src="([^"]+)"', body)))
    source = args.guide.parent
    missing = [image for image in images if not (source / image).is_file()]
    if missing:
        print("build-guide.py: pictures missing: " + ", ".join(missing), file=sys.stderr)
        return 1

    args.output.mkdir(parents=True, exist_ok=True)
    for image in images:
        target = args.output / image
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(source / image, target)

    page = f"""<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>{title}</title>
<style>{STYLE}</style>
</head>
<body>
<nav class="toc">{converter.toc}</nav>
{body}
</body>
</html>
"""
    (args.output / "index.html").write_text(page, encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main())
