#!/usr/bin/python3
"""Compares the cards of two runs, file by file: the share of pixels more than 3 levels apart
(in any channel; pixels next to a strong edge in the first card, such as text edges, left out),
the largest difference, and the file sizes.

Usage: bench/compare_cards.py FOLDER_A FOLDER_B
"""
import os
import sys

from PIL import Image, ImageChops, ImageFilter


def compare(a_path, b_path):
    a = Image.open(a_path).convert("RGBA")
    b = Image.open(b_path).convert("RGBA")
    if a.size != b.size:
        return None
    diff = ImageChops.difference(a, b)
    # A pixel whose 3 x 3 neighbourhood spans more than 64 levels lies on an edge.
    grey = a.convert("L")
    edges = ImageChops.subtract(grey.filter(ImageFilter.MaxFilter(3)),
                                grey.filter(ImageFilter.MinFilter(3)))
    edge = edges.point(lambda v: 255 if v > 64 else 0).load()
    d = diff.load()
    width, height = a.size
    apart = counted = largest = 0
    for y in range(height):
        for x in range(width):
            if edge[x, y]:
                continue
            counted += 1
            m = max(d[x, y])
            largest = max(largest, m)
            apart += m > 3
    return apart / max(1, counted), largest


def main():
    a_dir, b_dir = sys.argv[1], sys.argv[2]
    worst_share = 0.0
    size_ratios = []
    for name in sorted(os.listdir(a_dir)):
        b_path = os.path.join(b_dir, name)
        if not os.path.exists(b_path):
            print(f"{name}: missing in {b_dir}")
            continue
        a_path = os.path.join(a_dir, name)
        result = compare(a_path, b_path)
        if result is None:
            print(f"{name}: sizes differ")
            continue
        share, largest = result
        ratio = os.path.getsize(b_path) / os.path.getsize(a_path)
        size_ratios.append(ratio)
        worst_share = max(worst_share, share)
        print(f"{name}: {100 * share:.3f} % of pixels > 3 levels apart (largest {largest}), "
              f"size x {ratio:.3f}")
    if size_ratios:
        print(f"worst share {100 * worst_share:.3f} %, sizes x {min(size_ratios):.3f} "
              f"to x {max(size_ratios):.3f}")


main()
