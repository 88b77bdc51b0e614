#!/usr/bin/python3
"""Makes a book of N scanned-looking pages for the report benchmark.

Each page is one of the sample scans, made a page of its own: a crop that moves its margins, a
slight tilt of the light, sometimes mirrored, scaled to a long side of 1400 pixels (the report's
pictures are 200 pixels long, so the pages' detail at that size is the scans'), written as a
colour JPEG of quality 85. No two pages are the same picture, as in a real book, so a browser
cannot share one decoded picture among many cards.

Usage: report_book.py SAMPLES_DIR... OUT_DIR PAGES
Needs: python3 with Pillow (python3-pil) and numpy (python3-numpy).
"""
import random
import sys
from pathlib import Path

import numpy as np
from PIL import Image, ImageOps


def main():
    *sources, out, count = sys.argv[1:]
    samples = sorted(p for s in sources for p in Path(s).glob("*.jpg"))
    if not samples:
        sys.exit(f"no .jpg in {' '.join(sources)}")
    out = Path(out)
    out.mkdir(parents=True, exist_ok=True)
    bases = []
    for path in samples:
        image = Image.open(path).convert("RGB")
        scale = 1400 / max(image.size)
        bases.append(image.resize((round(image.width * scale), round(image.height * scale))))
    rng = random.Random(20)
    for i in range(int(count)):
        image = bases[i % len(bases)]
        w, h = image.size
        left, top = rng.randrange(0, w // 12), rng.randrange(0, h // 12)
        right, bottom = w - rng.randrange(0, w // 12), h - rng.randrange(0, h // 12)
        page = image.crop((left, top, right, bottom))
        if rng.random() < 0.5:
            page = ImageOps.mirror(page)
        # Light falling from one side: a gain from 0.9 to 1.1 across the page.
        gain = np.linspace(rng.uniform(0.9, 1.0), rng.uniform(1.0, 1.1), page.width)
        pixels = np.asarray(page, dtype=np.float32) * gain[None, :, None]
        page = Image.fromarray(np.clip(pixels, 0, 255).astype(np.uint8))
        page.save(out / f"p{i:04d}.jpg", quality=85)


if __name__ == "__main__":
    main()
