# The bytes of written files against the same layout built with numpy.
import numpy as np

import quenz


def test_gnuplot_file_is_numpy_s_matrix_byte_for_byte(tmp_path):
    # Random bit patterns: NaN of every payload and sign, infinities,
    # signed zeros, subnormals; the file against the matrix numpy builds:
    # 512 and the column coordinates, then each row's coordinate and pixels.
    rng = np.random.default_rng(7)
    bits = rng.integers(0, 1 << 32, (512, 512), dtype=np.uint64).astype(np.uint32)
    bits[0, :8] = [0x7fc00000, 0xffc00001, 0x7f800000, 0xff800000, 0x80000000, 0, 1, 0x807fffff]
    pixels = bits.view(np.float32)
    coords = (np.arange(512, dtype=np.float64) * np.float64(quenz.bildfloat_pix_size)).astype(np.float32)
    want = np.empty((513, 513), np.float32)
    want[0, 0] = 512
    want[0, 1:] = coords
    want[1:, 0] = coords
    want[1:, 1:] = pixels
    img = quenz.bildfloat(pixels)
    img.write_gnuplot(tmp_path / "m.bin")
    assert (tmp_path / "m.bin").read_bytes() == want.astype("<f4").tobytes()
