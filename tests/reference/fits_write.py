# Writes a FITS primary image with astropy: fits_write.py DTYPE SHAPE VALUES OUT
# DTYPE a numpy type name (int16, uint16, int32, float32, uint8), SHAPE axes in
# numpy order joined by "x" ("480x640", "2x3x4") or "none" for a header-only
# file, VALUES a float64 file with the values in C order. An optional fifth
# argument sets the BLANK keyword (the undefined value of integer images).
import sys
import numpy as np
from astropy.io import fits

dtype, shape, values, out = sys.argv[1:5]
if shape == "none":
    hdu = fits.PrimaryHDU()
else:
    dims = tuple(int(s) for s in shape.split("x"))
    data = np.fromfile(values, dtype="<f8").astype(dtype).reshape(dims)
    hdu = fits.PrimaryHDU(data)
if len(sys.argv) > 5:
    hdu.header["BLANK"] = int(sys.argv[5])
hdu.writeto(out, overwrite=True)
