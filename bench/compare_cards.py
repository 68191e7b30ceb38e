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
    # The largest difference of the four channels, pixel by pixel.
    bands = ImageChops.difference(a, b).split()
    diff = bands[0]
    for band in bands[1:]:
        diff = ImageChops.lighter(diff, band)
    # A pixel whose 3 x 3 neighbourhood spans more than 64 levels lies on an edge.
    grey = a.convert("L")
    edges = ImageChops.subtract(grey.filter(ImageFilter.MaxFilter(3)),
                                grey.filter(ImageFilter.MinFilter(3)))
    inside = edges.point(lambda v: 0 if v > 64 else 255)
    counted = inside.histogram()[255]
    # Differences outside the edges only.
    kept = ImageChops.multiply(diff, inside)
    histogram = kept.histogram()
    apart = sum(histogram[4:])
    largest = max((v for v in range(256) if histogram[v]), default=0)
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
