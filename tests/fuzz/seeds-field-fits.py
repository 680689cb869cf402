#!/usr/bin/python3
"""Seed FITS files as the field's tools write them, for fuzz_fits.

Usage: seeds-field-fits.py DIR

astropy writes every BITPIX, BZERO/BSCALE and BLANK, cubes, images in
extensions after a primary HDU without data or after a binary table, and
tile-compressed images of each compression type it offers (which the
reader refuses: the seeds make sure it keeps refusing them). Images are
512 x 512 and small.

fuzz_fits reads HDU (last byte % 3) + 1 of its input. Every seed is a
whole FITS file whose last HDU is chosen for its last byte: an empty image
extension (a header, padded with blanks: HDU 3), or a 2880-byte image of
bytes that ends in 0 (HDU 1) or 1 (HDU 2). So each seed reads the HDU it
was made for, and the file stays one that astropy reads.
"""
import os
import sys

import numpy as np
from astropy.io import fits

N = 512


def ramp(shape=(N, N), dtype=np.uint16):
    # Smooth, so that compressed seeds stay small; distinct values.
    y, x = np.indices(shape[-2:])
    a = (x * 64 + y * 8) % 65536
    if np.dtype(dtype).kind == 'f':
        return (a / 8.0 - 5.0).astype(dtype)
    if np.dtype(dtype).itemsize == 1:
        a = a >> 8
    elif np.dtype(dtype) == np.int16:
        a = a >> 1
    # Counts a bild16 holds, whatever the type.
    return np.broadcast_to(a, shape).astype(dtype)


def tail(hdu):
    """The HDU that makes the file's last byte select HDU `hdu`."""
    if hdu == 3:
        return fits.ImageHDU()
    b = np.zeros(2880, np.uint8)
    b[-1] = hdu - 1
    return fits.ImageHDU(b)


def seeds():
    a16 = ramp()
    # Every BITPIX in the primary HDU (astropy scales unsigned types by BZERO).
    for dtype in (np.uint8, np.int16, np.uint16, np.int32, np.uint32, np.int64,
                  np.float32, np.float64):
        yield 'bitpix-' + np.dtype(dtype).name, 1, [fits.PrimaryHDU(ramp(dtype=dtype))]
    f = ramp(dtype=np.float32)
    f[0, :4] = [np.nan, np.inf, -np.inf, -0.0]
    yield 'float-special', 1, [fits.PrimaryHDU(f)]
    scaled = fits.PrimaryHDU((a16 // 4).astype(np.int16))
    scaled.header['BSCALE'] = 4
    scaled.header['BZERO'] = 3
    yield 'bscale-bzero', 1, [scaled]
    blank = (a16 >> 1).astype(np.int16)
    blank[7, 5] = -32768
    h = fits.PrimaryHDU(blank)
    h.header['BLANK'] = -32768
    yield 'blank', 1, [h]
    # Cubes: NAXIS3 = 1 is read, more planes are refused.
    yield 'cube1', 1, [fits.PrimaryHDU(a16.reshape(1, N, N))]
    yield 'cube3', 1, [fits.PrimaryHDU(np.stack([a16[:64, :64]] * 3))]
    # Images in extensions.
    yield 'ext2', 2, [fits.PrimaryHDU(), fits.ImageHDU(a16)]
    yield 'ext3', 3, [fits.PrimaryHDU(), fits.ImageHDU(a16[:16, :16]), fits.ImageHDU(a16)]
    yield 'ext3-float', 3, [fits.PrimaryHDU(), fits.ImageHDU(np.int16(5) + np.zeros((8, 8), np.int16)),
                            fits.ImageHDU(ramp(dtype=np.float32))]
    table = fits.BinTableHDU.from_columns([fits.Column(name='x', format='E', array=np.arange(10.0)),
                                           fits.Column(name='n', format='PJ()',
                                                       array=np.array([[1, 2], [3]], dtype=object))])
    yield 'table-image', 3, [fits.PrimaryHDU(), table, fits.ImageHDU(a16)]
    yield 'table-read', 2, [fits.PrimaryHDU(), table]
    # Small and odd shapes.
    yield 'small', 1, [fits.PrimaryHDU(a16[:16, :16])]
    yield 'narrow', 1, [fits.PrimaryHDU(a16[:, :300])]
    yield 'naxis1', 1, [fits.PrimaryHDU(a16[0])]
    # Tile-compressed images: each compression type, HCOMPRESS in 16 x 16 tiles too.
    small16 = (a16 % 1000).astype(np.int16)
    for t in ('RICE_1', 'GZIP_1', 'GZIP_2', 'PLIO_1', 'HCOMPRESS_1'):
        yield 'comp-' + t, 2, [fits.PrimaryHDU(), fits.CompImageHDU(small16, compression_type=t)]
    yield 'comp-hcompress-16', 2, [fits.PrimaryHDU(),
                                   fits.CompImageHDU(small16, compression_type='HCOMPRESS_1', tile_shape=(16, 16))]
    yield 'comp-rice-float', 2, [fits.PrimaryHDU(), fits.CompImageHDU(ramp(dtype=np.float32), compression_type='RICE_1')]


def main():
    if len(sys.argv) != 2:
        sys.exit('usage: seeds-field-fits.py DIR')
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    total = 0
    for name, hdu, hdus in seeds():
        path = os.path.join(out, 'field-' + name + '.fits')
        fits.HDUList(hdus + [tail(hdu)]).writeto(path, overwrite=True)
        with open(path, 'rb') as f:
            data = f.read()
        if data[-1] % 3 + 1 != hdu:
            sys.exit(f'{path}: its last byte selects HDU {data[-1] % 3 + 1}, not {hdu}')
        total += len(data)
    print(f'{out}: {total} bytes of seeds')


if __name__ == '__main__':
    main()
