#!/usr/bin/env python3
"""Checks where the pictures of a .docx land: in the package itself, and on the pages of the PDF that
LibreOffice makes of it.

usage: check-docx-layout.py DOCX --expect "1:1,13,25 2:1,13" [--pages N] [--wrap front|square]
                             [--work DIR]

--expect lists, page by page, the lines (1-based) on which the page's pictures are anchored; the
PDF must have those pages (or N with --pages, for pages without pictures), those pictures on each, and each picture's top at the height of its
line (within one line pitch). --wrap checks every picture's wrapping. Exits non-zero on a mismatch.
"""
import argparse
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
import zipfile

W = "{http://schemas.openxmlformats.org/wordprocessingml/2006/main}"
WP = "{http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing}"
A = "{http://schemas.openxmlformats.org/drawingml/2006/main}"
R = "{http://schemas.openxmlformats.org/officeDocument/2006/relationships}"
PR = "{http://schemas.openxmlformats.org/package/2006/relationships}"
SVG = "{http://www.w3.org/2000/svg}"
XLINK = "{http://www.w3.org/1999/xlink}"

problems = []


def problem(text):
    problems.append(text)
    print("MISMATCH:", text)


def parse_expect(text):
    pages = {}
    for part in text.split():
        page, lines = part.split(":")
        pages[int(page)] = sorted(int(x) for x in lines.split(",") if x)
    return pages


def read_package(path, wrap):
    """The page geometry and the anchors of the package, checked on the way."""
    with zipfile.ZipFile(path) as z:
        if z.testzip() is not None:
            problem("damaged zip entry")
        doc = ET.fromstring(z.read("word/document.xml"))
        rels = ET.fromstring(z.read("word/_rels/document.xml.rels"))
        targets = {r.get("Id"): "word/" + r.get("Target") for r in rels.iter(PR + "Relationship")}
        body = doc.find(W + "body")
        sect = body.find(W + "sectPr")
        top = int(sect.find(W + "pgMar").get(W + "top")) / 20.0
        bottom = int(sect.find(W + "pgMar").get(W + "bottom")) / 20.0
        height = int(sect.find(W + "pgSz").get(W + "h")) / 20.0
        pitch = int(sect.find(W + "docGrid").get(W + "linePitch")) / 20.0
        margins = sect.find(W + "pgMar")
        text_width = (int(sect.find(W + "pgSz").get(W + "w")) - int(margins.get(W + "left")) -
                      int(margins.get(W + "right"))) / 20.0
        per_page = int((height - top - bottom) // pitch)
        anchors, ids, media = [], [], {}
        for index, para in enumerate(body.findall(W + "p")):
            for anchor in para.iter(WP + "anchor"):
                ids.append(anchor.find(WP + "docPr").get("id"))
                width = int(anchor.find(WP + "extent").get("cx")) / 12700.0
                if width > text_width + 0.5:
                    problem("picture %s is %.1fpt wide, the text %.1fpt" % (ids[-1], width, text_width))
                blip = anchor.find(".//" + A + "blip")
                target = targets.get(blip.get(R + "embed"))
                if target is None or target not in z.namelist():
                    problem("picture %s refers to no media part" % ids[-1])
                else:
                    media[target] = hashlib.sha256(z.read(target)).hexdigest()
                kinds = [c.tag.replace(WP, "") for c in anchor if c.tag.startswith(WP + "wrap")]
                if wrap == "front" and (kinds != ["wrapNone"] or anchor.get("behindDoc") != "0"):
                    problem("picture %s is not in front of the text: %s" % (ids[-1], kinds))
                if wrap == "square" and kinds != ["wrapSquare"]:
                    problem("picture %s is not wrapped squarely: %s" % (ids[-1], kinds))
                anchors.append((index // per_page + 1, index % per_page + 1))
        if len(set(ids)) != len(ids):
            problem("drawing ids are not unique: %s" % ids)
        if len(set(media.values())) != len(media):
            problem("a picture is stored more than once")
    return top, pitch, per_page, anchors


def pdf_pictures(pdf, work):
    """Per page, the tops (points from the page's top edge) of the pictures drawn on it."""
    listing = subprocess.run(["pdfimages", "-list", pdf], capture_output=True, text=True,
                             check=True).stdout.splitlines()[2:]
    counts = {}
    for row in listing:
        cols = row.split()
        if len(cols) > 2 and cols[2] == "image":
            counts[int(cols[0])] = counts.get(int(cols[0]), 0) + 1
    pages = int(re.search(r"Pages:\s+(\d+)", subprocess.run(
        ["pdfinfo", pdf], capture_output=True, text=True, check=True).stdout).group(1))
    tops = {}
    for page in range(1, pages + 1):
        svg = os.path.join(work, "page-%d.svg" % page)
        subprocess.run(["pdftocairo", "-svg", "-f", str(page), "-l", str(page), pdf, svg],
                       check=True)
        root = ET.parse(svg).getroot()
        masks = {id(u) for m in root.iter(SVG + "mask") for u in m.iter(SVG + "use")}
        found = []
        for use in root.iter(SVG + "use"):
            href = use.get(XLINK + "href", "")
            m = re.match(r"matrix\(([^)]*)\)", use.get("transform", ""))
            if id(use) in masks or not href.startswith("#image") or not m:
                continue
            found.append(float(m.group(1).split(",")[5]))
        tops[page] = sorted(found)
    return pages, counts, tops


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("docx")
    ap.add_argument("--expect", required=True)
    ap.add_argument("--pages", type=int)
    ap.add_argument("--wrap", choices=["front", "square"])
    ap.add_argument("--work")
    args = ap.parse_args()
    expect = parse_expect(args.expect)
    work = args.work or tempfile.mkdtemp(prefix="docx-layout-")
    os.makedirs(work, exist_ok=True)

    top, pitch, per_page, anchors = read_package(args.docx, args.wrap)
    print("package: %d lines per page, pitch %.2fpt, anchors (page, line) %s" %
          (per_page, pitch, anchors))
    by_page = {}
    for page, line in anchors:
        by_page.setdefault(page, []).append(line)
    if {p: sorted(l) for p, l in by_page.items()} != expect:
        problem("anchors %s, expected %s" % (by_page, expect))

    profile = os.path.join(work, "profile")
    subprocess.run(["soffice", "-env:UserInstallation=file://" + profile, "--headless",
                    "--convert-to", "pdf", "--outdir", work, args.docx],
                   check=True, capture_output=True, timeout=240)
    pdf = os.path.join(work, os.path.splitext(os.path.basename(args.docx))[0] + ".pdf")
    pages, counts, tops = pdf_pictures(pdf, work)
    print("pdf: %d pages, pictures per page %s, tops %s" % (pages, counts, tops))
    want_pages = args.pages or max(expect)
    if pages != want_pages:
        problem("%d pages, expected %d" % (pages, want_pages))
    for page, lines in expect.items():
        if counts.get(page, 0) != len(lines):
            problem("page %d has %d pictures, expected %d" % (page, counts.get(page, 0), len(lines)))
        got = tops.get(page, [])
        if len(got) != len(lines):
            problem("page %d draws %d pictures, expected %d" % (page, len(got), len(lines)))
            continue
        for line, y in zip(lines, got):
            want = top + (line - 1) * pitch
            if abs(y - want) > pitch:
                problem("page %d: picture of line %d at %.1fpt, line top is %.1fpt" %
                        (page, line, y, want))
    if not args.work:
        shutil.rmtree(work, ignore_errors=True)
    if problems:
        return 1
    print("layout ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
