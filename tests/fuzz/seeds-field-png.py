#!/usr/bin/python3
"""Seed PNG files as PIL writes them, for fuzz_png.

Usage: seeds-field-png.py DIR

8 and 16-bit grey, palette, RGB, RGBA, grey with alpha and 1-bit files,
plain and interlaced, and files carrying tEXt, zTXt, iTXt and iCCP chunks.
Most are 512 x 512 (what the reader decodes); one small file per kind
meets the refusals quickly.
"""
import io
import os
import sys

import numpy as np
from PIL import Image, PngImagePlugin

N = 512


def grey16():
    y, x = np.mgrid[0:N, 0:N]
    return ((x * 64 + y * 8) % 65536).astype(np.uint16)


def icc_profile():
    try:
        from PIL import ImageCms
        return ImageCms.ImageCmsProfile(ImageCms.createProfile('sRGB')).tobytes()
    except Exception:
        # A header-shaped blob: libpng checks its length and tag count.
        body = bytearray(132)
        body[0:4] = (132).to_bytes(4, 'big')
        body[36:40] = b'acsp'
        return bytes(body)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    g16 = grey16()
    g8 = (g16 >> 8).astype(np.uint8)
    images = {
        'L': Image.fromarray(g8),
        'I16': Image.fromarray(g16),
        'P': Image.fromarray(g8).convert('P', palette=Image.ADAPTIVE, colors=64),
        'RGB': Image.fromarray(np.stack([g8, g8[::-1], g8.T], axis=-1)),
        'RGBA': Image.fromarray(np.stack([g8, g8[::-1], g8.T, g8], axis=-1)),
        'LA': Image.fromarray(g8).convert('LA'),
        '1': Image.fromarray(g8).convert('1'),
    }
    text = PngImagePlugin.PngInfo()
    text.add_text('Comment', 'exposure 3 of 10')
    text.add_text('Software', 'camera 2.1', zip=True)        # zTXt
    text.add_itxt('Description', 'Belichtung', lang='de', tkey='Beschreibung', zip=False)
    text.add_itxt('Title', 'Dunkelbild ' * 20, zip=True)
    icc = icc_profile()
    made = 0
    for mode, im in images.items():
        variants = {
            '': {},
            '-interlaced': {'interlace': 1},
            '-text': {'pnginfo': text},
            '-iccp': {'icc_profile': icc},
        }
        if mode in ('L', 'I16'):
            variants['-all'] = {'pnginfo': text, 'icc_profile': icc, 'interlace': 1}
            variants['-fast'] = {'compress_level': 1}
        for suffix, opts in variants.items():
            try:
                im.save(os.path.join(out, 'field-%s%s.png' % (mode, suffix)), **opts)
                made += 1
            except Exception as e:
                print('left out: %s%s (%s)' % (mode, suffix, e), file=sys.stderr)
        small = im.resize((16, 16))
        small.save(os.path.join(out, 'field-%s-small.png' % mode), pnginfo=text)
        made += 1
    total = sum(os.path.getsize(os.path.join(out, f)) for f in os.listdir(out) if f.startswith('field-'))
    print('%d PNG seeds, %.1f MB in %s' % (made, total / 1e6, out))


if __name__ == '__main__':
    main()
