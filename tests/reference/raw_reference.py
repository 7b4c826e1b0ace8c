# Raw RGB files by numpy, as the reference for the raw reader and writer.
#   raw_reference.py decode BYTES W H SAMPLE_BYTES ORDER LAYOUT OUT
#     ORDER "<" or ">", LAYOUT "interleaved" or "planar"; writes the red, green
#     and blue planes (unsigned sample values) one after another as float64.
#   raw_reference.py encode PLANES W H MAX PROJECT LAYOUT OUT
#     PLANES float64 red, green, blue planes; writes the file's bytes
#     (little-endian host order): projected trunc(v*65535/MAX) clipped to
#     0..65535 as <u2; else <u4 when MAX > 65535 (int32 bit patterns), else
#     <u2 clipped to 0..65535.
import sys
import numpy as np

mode = sys.argv[1]
if mode == "decode":
    src, w, h, b, order, layout, out = sys.argv[2:9]
    w, h, b = int(w), int(h), int(b)
    dtype = np.dtype("u%d" % b).newbyteorder(order)
    samples = np.frombuffer(open(src, "rb").read(), dtype=dtype)
    if layout == "interleaved":
        planes = samples.reshape(h, w, 3).transpose(2, 0, 1)
    else:
        planes = samples.reshape(3, h, w)
    planes.astype("<f8").tofile(out)
else:
    src, w, h, maximum, project, layout, out = sys.argv[2:9]
    w, h, maximum, project = int(w), int(h), int(maximum), project == "1"
    planes = np.fromfile(src, dtype="<f8").reshape(3, h, w)
    if project:
        if maximum > 0:
            samples = np.clip(np.trunc(planes * (65535.0 / maximum)), 0, 65535).astype("<u2")
        else:
            samples = np.zeros(planes.shape, dtype="<u2")
    elif maximum > 65535:
        samples = planes.astype("<i4").view("<u4")
    else:
        samples = np.clip(planes, 0, 65535).astype("<u2")
    if layout == "interleaved":
        samples = samples.transpose(1, 2, 0)
    open(out, "wb").write(np.ascontiguousarray(samples).tobytes())
