#!/usr/bin/python3
"""Generates the pictures of the bundled examples: the badge's background and staff photos, and
the staff card's logo and placeholder photo.

The pictures are drawn from simple shapes so that the example carries no third-party images.
Run it again after changing the sizes or colours; the output is deterministic.
"""
import os
import sys

from PIL import Image, ImageDraw

EXAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples")
ROOT = os.path.join(EXAMPLES, "badge")
CARD_ROOT = os.path.join(EXAMPLES, "staff-card")

# 85.6 x 54 mm at 300 dpi.
CARD_W, CARD_H = 1011, 638

PHOTO_COLOURS = [
    ((205, 225, 245), (60, 70, 90)),
    ((245, 220, 205), (90, 60, 50)),
    ((215, 240, 215), (40, 80, 50)),
    ((240, 235, 200), (100, 80, 30)),
    ((225, 215, 245), (70, 50, 110)),
    ((200, 235, 240), (30, 90, 100)),
    ((245, 210, 225), (120, 40, 70)),
    ((230, 230, 230), (50, 50, 50)),
]


def background():
    image = Image.new("RGB", (CARD_W, CARD_H), (255, 255, 255))
    draw = ImageDraw.Draw(image)
    # Header band with a soft vertical gradient.
    for y in range(0, 110):
        t = y / 110
        draw.line([(0, y), (CARD_W, y)], fill=(int(20 + 30 * t), int(90 + 40 * t), int(170 + 30 * t)))
    # Footer stripe and a thin accent line.
    draw.rectangle([0, CARD_H - 40, CARD_W, CARD_H], fill=(20, 90, 170))
    draw.rectangle([0, CARD_H - 48, CARD_W, CARD_H - 44], fill=(240, 170, 30))
    # Frame where the photo goes.
    draw.rounded_rectangle([50, 140, 310, 500], radius=12, outline=(20, 90, 170), width=4)
    # Light dot pattern on the right.
    for x in range(360, CARD_W - 30, 36):
        for y in range(150, CARD_H - 70, 36):
            draw.ellipse([x, y, x + 4, y + 4], fill=(228, 236, 246))
    return image


def photo(index):
    back, fore = PHOTO_COLOURS[index % len(PHOTO_COLOURS)]
    image = Image.new("RGB", (300, 400), back)
    draw = ImageDraw.Draw(image)
    draw.ellipse([95, 70, 205, 190], fill=fore)
    draw.pieslice([40, 210, 260, 470], 180, 360, fill=fore)
    draw.rectangle([40, 340, 260, 400], fill=fore)
    return image


def logo():
    # A blue disc with a white card and two lines on it, transparent around the disc.
    image = Image.new("RGBA", (240, 240), (0, 0, 0, 0))
    draw = ImageDraw.Draw(image)
    draw.ellipse([0, 0, 239, 239], fill=(20, 90, 170, 255))
    draw.rounded_rectangle([50, 70, 190, 170], radius=14, fill=(255, 255, 255, 255))
    draw.ellipse([66, 92, 106, 132], fill=(240, 170, 30, 255))
    draw.rectangle([118, 98, 176, 108], fill=(20, 90, 170, 255))
    draw.rectangle([118, 120, 160, 128], fill=(120, 150, 190, 255))
    draw.rectangle([66, 144, 176, 150], fill=(200, 210, 225, 255))
    return image


def no_photo():
    # A grey silhouette for people without a photo.
    image = Image.new("RGB", (300, 400), (236, 238, 242))
    draw = ImageDraw.Draw(image)
    draw.ellipse([95, 70, 205, 190], fill=(190, 195, 205))
    draw.pieslice([40, 210, 260, 470], 180, 360, fill=(190, 195, 205))
    draw.rectangle([40, 340, 260, 400], fill=(190, 195, 205))
    return image


def main():
    os.makedirs(os.path.join(ROOT, "photos"), exist_ok=True)
    background().save(os.path.join(ROOT, "background.png"), optimize=True)
    for i in range(len(PHOTO_COLOURS)):
        photo(i).save(os.path.join(ROOT, "photos", "p%02d.jpg" % (i + 1)), quality=80)
    os.makedirs(CARD_ROOT, exist_ok=True)
    logo().save(os.path.join(CARD_ROOT, "logo.png"), optimize=True)
    no_photo().save(os.path.join(CARD_ROOT, "no-photo.png"), optimize=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
