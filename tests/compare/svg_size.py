#!/usr/bin/python3
# The stated size of an SVG file, read with Python's XML parser:
#
#     /usr/bin/python3 tests/compare/svg_size.py FILE.svg
#
# prints "SVG width height | x y w h": the root's width and height in
# millimetres (the file must state them in "mm") and its view box.
import sys
import xml.etree.ElementTree as ET

root = ET.parse(sys.argv[1]).getroot()
assert root.tag.endswith("svg"), root.tag
mm = lambda v: float(v[:-2]) if v.endswith("mm") else float("nan")
box = [float(v) for v in root.get("viewBox").split()]
print("SVG", mm(root.get("width")), mm(root.get("height")), "|", *box)
