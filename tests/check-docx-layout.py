#!/usr/bin/env python3
"""Checks where the pictures of a .docx land: in the package itself, and on the pages of the PDF that
LibreOffice makes of it, measured with PyMuPDF.

usage: check-docx-layout.py DOCX --expect "1:1,13,25 2:1,13" [--pages N] [--wrap front|square]
                             [--per-page N --sizes "fit fit 120x90 ..." [--journal FILE]]
                             [--work DIR | --pdf PDF]

--expect lists, page by page, the lines (1-based) on which the page's pictures are anchored; the
PDF must have those pages (or N with --pages, for pages without pictures), those pictures on each,
and each picture's top at the height of its line (within one line pitch). --wrap checks every
picture's wrapping.

--per-page N says how many pictures a page holds, so that each picture's place is known: from its
anchor line down to the next anchor line, the lines left at the foot going to the last place of a
page. Then no picture's box may reach into the next one's, none may end below the text area, and
every box keeps the proportions of the picture's pixels (within 1 %). --sizes says, picture by
picture in document order, what its box must be: "fit", scaled down to its place (at least 97 % of
the place's height, and no more than it), or "WxH" in points, the size Word gave it. --journal is
the Word stand-in's journal of the build: a picture's height is read after its insertion, and it is
set, after the aspect ratio is locked, to the place's height exactly for the "fit" pictures and for
no other.

--pdf measures that PDF, made of DOCX already; without it LibreOffice converts DOCX in --work (a
temporary folder by default).

usage: check-docx-layout.py --convert OUTDIR DOCX...
converts the documents of several checks into OUTDIR in one LibreOffice run, as a check does.

Exits non-zero on a mismatch.
"""
import argparse
import fitz
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
# The pictures go into the PDF as they are: scaling them down costs seconds a photo and leaves
# pixels whose proportions are the photo's only to a pixel.
PDF_FILTER = 'pdf:writer_pdf_Export:{"ReduceImageResolution":{"type":"boolean","value":"false"}}'
# Room for the PDF's rounding of coordinates, in points.
EPS = 0.05

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
        text_bottom = height - bottom
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
    return top, pitch, per_page, text_bottom, anchors


class Box:
    """A picture as the PDF draws it: its box in points from the page's top left corner, and the
    size of its pixels."""

    def __init__(self, info):
        self.x0, self.y0, self.x1, self.y1 = info["bbox"]
        self.pixels = (info["width"], info["height"])

    @property
    def width(self):
        return self.x1 - self.x0

    @property
    def height(self):
        return self.y1 - self.y0

    def __repr__(self):
        return "%.2fx%.2f@%.2f" % (self.width, self.height, self.y0)


def pdf_pictures(pdf):
    """Per page (1-based), the boxes of the pictures drawn on it, top to bottom."""
    boxes = {}
    with fitz.open(pdf) as document:
        for page in document:
            boxes[page.number + 1] = sorted((Box(i) for i in page.get_image_info()),
                                            key=lambda b: b.y0)
    return boxes


def place_lines(per_page_lines, pictures_per_page, slot):
    """Lines from the anchor of the picture at slot (1-based) on its page to the next place."""
    step = per_page_lines // pictures_per_page
    return step + (per_page_lines % pictures_per_page if slot == pictures_per_page else 0)


def read_journal(path):
    """The lines that follow each picture's insertion, up to the next insertion."""
    with open(path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    after = []
    for line in lines:
        if line.startswith("Shapes.AddPicture "):
            after.append([])
        elif after:
            after[-1].append(line)
    return after


def check_sizes(boxes, anchors, sizes, pitch, per_page, per_page_pictures, text_bottom, journal):
    """The pictures' boxes against their places, and the size calls that made them."""
    places = []
    for page in sorted(boxes):
        on_page = boxes[page]
        for k, box in enumerate(on_page):
            if k + 1 < len(on_page) and box.y1 > on_page[k + 1].y0 + EPS:
                problem("page %d: picture %d (%s) reaches %.2fpt into the next (%s)" %
                        (page, k + 1, box, box.y1 - on_page[k + 1].y0, on_page[k + 1]))
            if box.y1 > text_bottom + EPS:
                problem("page %d: picture %d (%s) ends %.2fpt below the text area" %
                        (page, k + 1, box, box.y1 - text_bottom))
            ratio = (box.width / box.height) / (box.pixels[0] / box.pixels[1])
            if abs(ratio - 1) > 0.01:
                problem("page %d: picture %d (%s) is out of proportion: %.3f of its pixels' ratio"
                        % (page, k + 1, box, ratio))
    # The package's pictures in document order, each with its box and its place.
    ordered = []
    for page in sorted({p for p, _ in anchors}):
        lines = sorted(l for p, l in anchors if p == page)
        drawn = boxes.get(page, [])
        for k, line in enumerate(lines):
            place = place_lines(per_page, per_page_pictures, k + 1) * pitch
            ordered.append((page, line, drawn[k] if k < len(drawn) else None, place))
    if len(sizes) != len(ordered):
        problem("%d sizes given for %d pictures" % (len(sizes), len(ordered)))
    if journal is not None and len(journal) != len(ordered):
        problem("the journal inserts %d pictures, the document holds %d" %
                (len(journal), len(ordered)))
    for index, (want, (page, line, box, place)) in enumerate(zip(sizes, ordered)):
        where = "picture %d (page %d, line %d, %s, place %.2fpt)" % (index + 1, page, line, box,
                                                                     place)
        if box is None:
            continue  # the count per page is reported already
        if want == "fit":
            if box.height < 0.97 * place or box.height > place + EPS:
                problem("%s does not fill its place" % where)
        else:
            w, h = (float(x) for x in want.split("x"))
            if abs(box.width - w) > 0.5 or abs(box.height - h) > 0.5:
                problem("%s is not %sx%spt" % (where, w, h))
        if journal is None or index >= len(journal):
            continue
        calls = [c for c in journal[index] if not c.startswith("BUSY ")][:3]
        if calls[:1] != ["Shape.Height method|get"]:
            problem("%s: its height is not read first: %s" % (where, calls))
        elif want == "fit":
            set_height = re.fullmatch(r"Shape\.Height put VT_R8:([-+.\deE]+)", calls[2]) \
                if len(calls) == 3 else None
            if calls[1:2] != ["Shape.LockAspectRatio put VT_I4:-1"] or not set_height or \
                    abs(float(set_height.group(1)) - place) > 0.001:
                problem("%s: not locked and set to its place's height: %s" % (where, calls))
        elif any(c.startswith(("Shape.Height put", "Shape.LockAspectRatio")) for c in calls):
            problem("%s: its size was set: %s" % (where, calls))


def to_pdf(docs, outdir):
    """LibreOffice's PDFs of the documents, in outdir, with its profile there."""
    profile = os.path.join(outdir, "profile")
    done = subprocess.run(["soffice", "-env:UserInstallation=file://" + profile, "--headless",
                           "--convert-to", PDF_FILTER, "--outdir", outdir] + docs,
                          capture_output=True, text=True, timeout=300)
    if done.returncode:
        sys.exit("LibreOffice could not convert %s:\n%s%s" % (docs, done.stdout, done.stderr))


def main():
    if sys.argv[1:2] == ["--convert"]:
        to_pdf(sys.argv[3:], sys.argv[2])
        return 0
    ap = argparse.ArgumentParser()
    ap.add_argument("docx")
    ap.add_argument("--expect", required=True)
    ap.add_argument("--pages", type=int)
    ap.add_argument("--wrap", choices=["front", "square"])
    ap.add_argument("--per-page", type=int)
    ap.add_argument("--sizes")
    ap.add_argument("--journal")
    ap.add_argument("--work")
    ap.add_argument("--pdf")
    args = ap.parse_args()
    expect = parse_expect(args.expect)
    top, pitch, per_page, text_bottom, anchors = read_package(args.docx, args.wrap)
    print("package: %d lines per page, pitch %.2fpt, anchors (page, line) %s" %
          (per_page, pitch, anchors))
    by_page = {}
    for page, line in anchors:
        by_page.setdefault(page, []).append(line)
    if {p: sorted(l) for p, l in by_page.items()} != expect:
        problem("anchors %s, expected %s" % (by_page, expect))

    pdf = args.pdf
    if pdf is None:
        work = args.work or tempfile.mkdtemp(prefix="docx-layout-")
        os.makedirs(work, exist_ok=True)
        to_pdf([args.docx], work)
        pdf = os.path.join(work, os.path.splitext(os.path.basename(args.docx))[0] + ".pdf")
    boxes = pdf_pictures(pdf)
    if args.pdf is None and not args.work:
        shutil.rmtree(work, ignore_errors=True)
    pages = len(boxes)
    print("pdf: %d pages, picture boxes (w x h @ top, points) %s" % (pages, boxes))
    want_pages = args.pages or max(expect)
    if pages != want_pages:
        problem("%d pages, expected %d" % (pages, want_pages))
    for page, lines in expect.items():
        got = boxes.get(page, [])
        if len(got) != len(lines):
            problem("page %d draws %d pictures, expected %d" % (page, len(got), len(lines)))
            continue
        for line, box in zip(lines, got):
            want = top + (line - 1) * pitch
            if abs(box.y0 - want) > pitch:
                problem("page %d: picture of line %d at %.1fpt, line top is %.1fpt" %
                        (page, line, box.y0, want))
    if args.per_page:
        check_sizes(boxes, anchors, (args.sizes or "").split(), pitch, per_page, args.per_page,
                    text_bottom, read_journal(args.journal) if args.journal else None)
    if problems:
        return 1
    print("layout ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
