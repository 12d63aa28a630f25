#!/usr/bin/env python3
"""Checks a screenshot of the demo page (scripts/test-page): every picture
box, given in the layout probe's JSON, must have been drawn: most of its
pixels off the page's white (the picture's background) and some dark ones
(its text and lines).

    check-screenshot.py SHOT.png PROBE.json

Prints one line per picture that fails and a summary, and exits 1 if any
picture fails."""
import json
import sys

from PIL import Image


def main():
    shot = Image.open(sys.argv[1]).convert("L")
    probe = json.load(open(sys.argv[2]))
    width, height = shot.size
    failures = 0
    for number, (x, y, w, h) in enumerate(probe["boxes"], 1):
        if w <= 0 or h <= 0 or x < 0 or y < 0 or x + w > width or y + h > height:
            print(f"picture {number}: box {x},{y} {w}x{h} lies outside the {width}x{height} screenshot")
            failures += 1
            continue
        counts = shot.crop((x, y, x + w, y + h)).histogram()
        area, white, dark = w * h, counts[255], sum(counts[:128])
        if area - white < area // 2 or dark < max(1, area // 500):
            print(f"picture {number}: box {x},{y} {w}x{h} is not drawn ({area - white} of {area} pixels "
                  f"coloured, {dark} dark)")
            failures += 1
    print(f"{len(probe['boxes'])} pictures checked in a {width}x{height} screenshot, {failures} not drawn")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
