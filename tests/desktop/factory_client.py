#!/usr/bin/python3
"""GNOME's thumbnail factory (the code GNOME Files uses, which runs
thumbnailers in a bubblewrap sandbox) makes one thumbnail per format; each
must come from a recognised type, have the size asked for and show the
format's colours. usage: factory_client.py DATA_DIR [--sheet OUT.png]"""
import sys

import gi

gi.require_version("GnomeDesktop", "3.0")
gi.require_version("GdkPixbuf", "2.0")
from gi.repository import GdkPixbuf, Gio, GnomeDesktop  # noqa: E402

Size = GnomeDesktop.DesktopThumbnailSize
SIDE = {Size.NORMAL: 128, Size.LARGE: 256, Size.XLARGE: 512}
CASES = [  # file, its MIME type, size, a colour it must show
    ("openscad_gear_bin.stl", "model/stl", Size.NORMAL, lambda r, g, b: b - r > 25),  # blue-grey
    ("lib3mf_object_colours.3mf", "model/3mf", Size.LARGE, lambda r, g, b: r - max(g, b) > 80),  # red
    ("occt_coloured_faces.step", "model/step", Size.XLARGE, lambda r, g, b: r - max(g, b) > 80),
    ("prusaslicer_overhang_supports.gcode", "text/x.gcode", Size.LARGE, lambda r, g, b: r - b > 80 and g > b),  # orange
]


def thumbnail(path, mime, size):
    """The factory's picture, or the reason there is none."""
    gfile = Gio.File.new_for_path(path)
    info = gfile.query_info("standard::content-type,time::modified", Gio.FileQueryInfoFlags.NONE, None)
    found = Gio.content_type_get_mime_type(info.get_content_type())
    if found != mime:
        return None, "recognised as %s, not %s" % (found, mime)
    factory = GnomeDesktop.DesktopThumbnailFactory.new(size)
    if not factory.can_thumbnail(gfile.get_uri(), mime, info.get_attribute_uint64("time::modified")):
        return None, "the factory has no thumbnailer for " + mime
    try:
        return factory.generate_thumbnail(gfile.get_uri(), mime, None), None
    except Exception as e:  # the thumbnailer failed
        return None, str(e)


def problem_with(pixbuf, side, colour):
    if (pixbuf.get_width(), pixbuf.get_height()) != (side, side):
        return "%dx%d, not %dx%d" % (pixbuf.get_width(), pixbuf.get_height(), side, side)
    data, n, stride = pixbuf.get_pixels(), pixbuf.get_n_channels(), pixbuf.get_rowstride()
    pixels = [tuple(data[y * stride + x * n:y * stride + x * n + 3]) for y in range(side) for x in range(side)]
    if sum(max(abs(a - b) for a, b in zip(p, pixels[0])) > 40 for p in pixels) < 0.03 * len(pixels):
        return "blank: almost every pixel is the background's"
    if sum(colour(*p) for p in pixels) < 0.01 * len(pixels):
        return "the format's colour is missing"
    return None


def write_sheet(path, pictures, side=160, gap=12):
    sheet = GdkPixbuf.Pixbuf.new(GdkPixbuf.Colorspace.RGB, False, 8, len(pictures) * (side + gap) + gap, side + 2 * gap)
    sheet.fill(0xFAFAFAFF)
    for i, pixbuf in enumerate(pictures):
        pixbuf.scale_simple(side, side, GdkPixbuf.InterpType.BILINEAR).copy_area(
            0, 0, side, side, sheet, gap + i * (side + gap), gap)
    sheet.savev(path, "png", ["compression"], ["9"])


failed, pictures = [], []
for name, mime, size, colour in CASES:
    pixbuf, problem = thumbnail(sys.argv[1] + "/" + name, mime, size)
    problem = problem or problem_with(pixbuf, SIDE[size], colour)
    pictures.append(pixbuf)
    print("[  FAILED  ] %s: %s" % (name, problem) if problem else "[       OK ] %s (%dx%d)" % (name, SIDE[size], SIDE[size]))
    failed += [name] if problem else []
if sys.argv[2:3] == ["--sheet"] and not failed:
    write_sheet(sys.argv[3], pictures)
print("[  PASSED  ] %d tests." % (len(CASES) - len(failed)))
if failed:
    print("[  FAILED  ] %d tests: %s" % (len(failed), ", ".join(failed)))
sys.exit(1 if failed else 0)
