#!/usr/bin/python3
"""Seed TIFF files as the field's tools write them, for fuzz_tiff.

Usage: seeds-field-tiff.py DIR

tifffile and tiffcp (libtiff-tools) write every codec they offer (those we
refuse too), strips and tiles, BigTIFF, planar data, several pages, both
byte orders, the predictor, and 8/16/32/64-bit samples. fuzz_tiff reads
page (last byte % 3) of its input, so most seeds have three 512 x 512
pages and any of them can be the one decoded.
A variant a tool cannot write here is left out and named on stderr.
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

import numpy as np
import tifffile

N = 512


def ramp(dtype, k=0):
    y, x = np.mgrid[0:N, 0:N]
    # Smooth (so compressed seeds stay small), distinct per page.
    a = (x * 64 + y * 8 + k * 1000) % 65536
    if np.dtype(dtype).kind == 'f':
        return ((a >> 6) / 8.0 - 5.0).astype(dtype)
    if np.dtype(dtype).itemsize == 1:
        return (a >> 8).astype(dtype)
    return a.astype(dtype)


def pages(dtype, n=3):
    return [ramp(dtype, k) for k in range(n)]


def write(path, arrays, **kw):
    with tifffile.TiffWriter(path, byteorder=kw.pop('byteorder', '<'),
                             bigtiff=kw.pop('bigtiff', False)) as w:
        for a in arrays:
            w.write(a, contiguous=False, **kw)


def jbig_claim(path):
    # One strip of compression 34661 whose JBIG header claims 587218944 x 16384.
    bih = bytes([0, 0, 1, 0]) + struct.pack('>III', 587218944, 16384, 128) + bytes(4)
    e = [(256, 3, 1, N), (257, 3, 1, N), (258, 3, 1, 8), (259, 3, 1, 34661), (262, 3, 1, 1),
         (273, 4, 1, 8 + 2 + 12 * 9 + 4), (277, 3, 1, 1), (278, 3, 1, N), (279, 4, 1, len(bih))]
    ifd = struct.pack('<H', len(e))
    for t, ty, c, v in e:
        ifd += struct.pack('<HHIHH', t, ty, c, v, 0) if ty == 3 else struct.pack('<HHII', t, ty, c, v)
    with open(path, 'wb') as f:
        f.write(b'II*\0' + struct.pack('<I', 8) + ifd + struct.pack('<I', 0) + bih)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    made, skipped = [], []

    def attempt(name, fn):
        path = os.path.join(out, 'field-' + name + '.tif')
        try:
            fn(path)
            made.append(path)
        except Exception as e:  # a codec this machine's tools lack
            skipped.append('%s (%s)' % (name, str(e).splitlines()[0] if str(e) else type(e).__name__))
            if os.path.exists(path):
                os.remove(path)

    for bo, tag in (('<', 'le'), ('>', 'be')):
        attempt('u16-%s' % tag, lambda p, bo=bo: write(p, pages(np.uint16), byteorder=bo))
        attempt('u8-%s' % tag, lambda p, bo=bo: write(p, pages(np.uint8), byteorder=bo))
        attempt('f32-zlib-%s' % tag, lambda p, bo=bo: write(p, pages(np.float32), byteorder=bo, compression='zlib'))
        attempt('f64-zlib-%s' % tag, lambda p, bo=bo: write(p, pages(np.float64), byteorder=bo, compression='zlib'))
        attempt('u16-tiles-%s' % tag, lambda p, bo=bo: write(p, pages(np.uint16), byteorder=bo, tile=(64, 128), compression='zlib'))
        attempt('u16-bigtiff-%s' % tag, lambda p, bo=bo: write(p, pages(np.uint16), byteorder=bo, bigtiff=True, compression='zlib'))
        attempt('u16-predictor-%s' % tag, lambda p, bo=bo: write(p, pages(np.uint16), byteorder=bo, compression='zlib', predictor=True))
        attempt('f32-predictor-%s' % tag, lambda p, bo=bo: write(p, pages(np.float32), byteorder=bo, compression='zlib', predictor=True))
        attempt('u16-strips5-%s' % tag, lambda p, bo=bo: write(p, pages(np.uint16), byteorder=bo, rowsperstrip=5, compression='zlib'))
    for c in ('lzma', 'packbits', 'lzw', 'zstd', 'jpeg', 'webp', 'jpeg2000', 'lerc', 'png', 'jpegxl'):
        attempt('tifffile-%s' % c, lambda p, c=c: write(p, pages(np.uint8 if c in ('jpeg', 'webp', 'png') else np.uint16), compression=c))
    # Planar and colour data, refused by their samples per pixel.
    attempt('planar-separate', lambda p: write(p, [np.stack(pages(np.uint16, 2))] * 3, photometric='minisblack', planarconfig='separate', compression='zlib'))
    attempt('rgb-contig', lambda p: write(p, [np.stack(pages(np.uint8), axis=-1)] * 3, photometric='rgb', compression='zlib'))
    attempt('rgb-separate-be', lambda p: write(p, [np.stack(pages(np.uint8))] * 3, photometric='rgb', planarconfig='separate', byteorder='>', compression='zlib'))
    attempt('i16', lambda p: write(p, [ramp(np.int16)] * 3, compression='zlib'))
    attempt('u32', lambda p: write(p, [ramp(np.uint32)] * 3, compression='zlib'))
    attempt('small-pages', lambda p: write(p, [np.zeros((64, 32), np.uint16)] * 3))
    attempt('jbig-claim', jbig_claim)

    # libtiff's own tool: every codec it offers, from a three-page 16-bit
    # file (8-bit for JPEG), and its layout options.
    tiffcp = shutil.which('tiffcp')
    if tiffcp:
        tmp = tempfile.mkdtemp()
        base16, base16x3, base8, basef = (os.path.join(tmp, n) for n in ('b16.tif', 'b16x3.tif', 'b8.tif', 'bf.tif'))
        write(base16, pages(np.uint16, 2))  # (two pages keep the seeds small)
        write(base16x3, pages(np.uint16))
        write(base8, pages(np.uint8))
        write(basef, pages(np.float32))

        def cp(args, src):
            def run(p):
                r = subprocess.run([tiffcp, *args, src, p], capture_output=True, text=True)
                if r.returncode != 0 or not os.path.exists(p):
                    raise RuntimeError((r.stderr or 'tiffcp failed').strip())
            return run
        for c in ('none', 'lzw', 'lzw:2', 'zip', 'zip:2', 'packbits', 'lzma', 'zstd',
                  'lerc', 'jbig', 'sgilog', 'webp', 'g3', 'g4'):
            # (JBIG's encoder takes one strip a page.)
            rows = '512' if c == 'jbig' else '64'
            attempt('tiffcp-%s' % c.replace(':', '-'), cp(['-c', c, '-s', '-r', rows], base16))
        attempt('tiffcp-jpeg', cp(['-c', 'jpeg'], base8))
        attempt('tiffcp-zip3-float', cp(['-c', 'zip:3'], basef))
        attempt('tiffcp-sgilog-float', cp(['-c', 'sgilog'], basef))
        attempt('tiffcp-be-tiles-lzw', cp(['-B', '-t', '-w', '64', '-l', '64', '-c', 'lzw'], base16x3))
        attempt('tiffcp-le-tiles-zip', cp(['-L', '-t', '-w', '128', '-l', '32', '-c', 'zip'], base8))
        attempt('tiffcp-bigtiff-be', cp(['-8', '-B', '-c', 'zip'], base16x3))
        attempt('tiffcp-bigtiff-tiles', cp(['-8', '-t', '-c', 'packbits'], base8))
        attempt('tiffcp-packbits-be', cp(['-B', '-c', 'packbits'], base8))
        shutil.rmtree(tmp)

    total = sum(os.path.getsize(p) for p in made)
    print('%d TIFF seeds, %.1f MB in %s' % (len(made), total / 1e6, out))
    for s in skipped:
        print('left out: ' + s, file=sys.stderr)


if __name__ == '__main__':
    main()
