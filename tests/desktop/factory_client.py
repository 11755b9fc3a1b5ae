#!/usr/bin/python3
"""Asks GNOME's thumbnail factory (GnomeDesktop.DesktopThumbnailFactory, the
code GNOME Files uses; it runs thumbnailers in a bubblewrap sandbox) for one
thumbnail per format and checks each picture: its type was recognised, the
factory found a thumbnailer, the picture has the size asked for and shows
something in the colours that format is drawn in.

usage: factory_client.py DATA_DIR [--sheet OUT.png]
Prints GoogleTest-style result lines; exits non-zero when a case fails."""
import sys

import gi

gi.require_version("GnomeDesktop", "3.0")
gi.require_version("GdkPixbuf", "2.0")
from gi.repository import GdkPixbuf, Gio, GnomeDesktop  # noqa: E402

Size = GnomeDesktop.DesktopThumbnailSize
SIDE = {Size.NORMAL: 128, Size.LARGE: 256, Size.XLARGE: 512}


def bluish(r, g, b):  # the blue-grey of models without colours
    return b - r > 25


def red(r, g, b):  # a red face or object
    return r - max(g, b) > 80


def orange(r, g, b):  # printed toolpaths
    return r - b > 80 and g > b


# file in DATA_DIR, its MIME type, thumbnail size, a colour it must show
CASES = [
    ("openscad_gear_bin.stl", "model/stl", Size.NORMAL, bluish),
    ("lib3mf_object_colours.3mf", "model/3mf", Size.LARGE, red),
    ("occt_coloured_faces.step", "model/step", Size.XLARGE, red),
    ("prusaslicer_overhang_supports.gcode", "text/x.gcode", Size.LARGE, orange),
]


def pixels(pixbuf):
    data = pixbuf.get_pixels()
    n, stride = pixbuf.get_n_channels(), pixbuf.get_rowstride()
    for y in range(pixbuf.get_height()):
        for x in range(pixbuf.get_width()):
            i = y * stride + x * n
            yield data[i], data[i + 1], data[i + 2]


def check_picture(pixbuf, side, colour):
    if (pixbuf.get_width(), pixbuf.get_height()) != (side, side):
        return "picture is %dx%d, asked for %dx%d" % (pixbuf.get_width(), pixbuf.get_height(), side, side)
    all_pixels = list(pixels(pixbuf))
    corner = all_pixels[0]
    differ = sum(1 for p in all_pixels if max(abs(a - b) for a, b in zip(p, corner)) > 40)
    if differ < 0.03 * len(all_pixels):
        return "blank: only %d pixels differ from the background" % differ
    coloured = sum(1 for p in all_pixels if colour(*p))
    if coloured < 0.01 * len(all_pixels):
        return "only %d pixels in the format's colour (%s)" % (coloured, colour.__name__)
    return None


def thumbnail(path, mime, size):
    """The factory's picture for path, or the reason there is none."""
    gfile = Gio.File.new_for_path(path)
    info = gfile.query_info("standard::content-type,time::modified", Gio.FileQueryInfoFlags.NONE, None)
    found = Gio.content_type_get_mime_type(info.get_content_type())
    if found != mime:
        return None, "recognised as %s, not %s" % (found, mime)
    factory = GnomeDesktop.DesktopThumbnailFactory.new(size)
    mtime = info.get_attribute_uint64("time::modified")
    if not factory.can_thumbnail(gfile.get_uri(), mime, mtime):
        return None, "the factory has no thumbnailer for " + mime
    try:
        return factory.generate_thumbnail(gfile.get_uri(), mime, None), None
    except Exception as e:  # GLib.Error from the thumbnailer's run
        return None, "no thumbnail: %s" % e


def write_sheet(path, pictures, side=160, gap=12):
    sheet = GdkPixbuf.Pixbuf.new(GdkPixbuf.Colorspace.RGB, False, 8,
                                 len(pictures) * (side + gap) + gap, side + 2 * gap)
    sheet.fill(0xFAFAFAFF)
    for i, pixbuf in enumerate(pictures):
        scaled = pixbuf.scale_simple(side, side, GdkPixbuf.InterpType.BILINEAR)
        scaled.copy_area(0, 0, side, side, sheet, gap + i * (side + gap), gap)
    sheet.savev(path, "png", ["compression"], ["9"])


def main():
    data = sys.argv[1]
    sheet = sys.argv[3] if len(sys.argv) > 3 and sys.argv[2] == "--sheet" else None
    failed, pictures = [], []
    for name, mime, size, colour in CASES:
        pixbuf, problem = thumbnail(data + "/" + name, mime, size)
        if pixbuf is not None:
            problem = check_picture(pixbuf, SIDE[size], colour)
            pictures.append(pixbuf)
        label = "ThumbnailFactory.%s" % name
        if problem:
            failed.append(label)
            print("[  FAILED  ] %s: %s" % (label, problem))
        else:
            print("[       OK ] %s (%dx%d)" % (label, SIDE[size], SIDE[size]))
    if sheet and len(pictures) == len(CASES):
        write_sheet(sheet, pictures)
        print("sheet: " + sheet)
    print("[  PASSED  ] %d tests." % (len(CASES) - len(failed)))
    if failed:
        print("[  FAILED  ] %d tests, listed below:" % len(failed))
        for label in failed:
            print("[  FAILED  ] " + label)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
