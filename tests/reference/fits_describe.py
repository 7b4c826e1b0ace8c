# Describes a FITS file the way astropy reads it: fits_describe.py FITS DATA
# Prints KEY=VALUE lines (BITPIX, BZERO, NAXIS, SHAPE, CREATAPP, CHANNEL and
# their comments) and writes the scaled data as float64 in C order to DATA.
import sys
import numpy as np
from astropy.io import fits

path, data_out = sys.argv[1:3]
with fits.open(path, do_not_scale_image_data=True) as hdul:
    h = hdul[0].header
    print("HDUS=%d" % len(hdul))
    for key in ("BITPIX", "NAXIS", "BZERO", "BSCALE", "CREATAPP", "CHANNEL"):
        if key in h:
            print("%s=%s" % (key, h[key]))
            print("%s_COMMENT=%s" % (key, h.comments[key]))
with fits.open(path) as hdul:
    data = hdul[0].data
    print("SHAPE=" + "x".join(str(d) for d in data.shape))
    data.astype("<f8").tofile(data_out)
