#!/usr/bin/env python3
"""Keeps qel-designer's translation files in step with its texts.

Every Tr("...") of tools/designer/*.cpp is a text to translate (context "qel-designer").
  translations.py update   adds new texts to each .ts (unfinished), drops vanished ones,
                           keeps the translations made
  translations.py check    exits 1 naming every text without a translation, and every
                           translation of a text the program no longer has
"""
import pathlib
import re
import sys
import xml.etree.ElementTree as ET

ROOT = pathlib.Path(__file__).resolve().parent.parent
SOURCES = ROOT / "tools" / "designer"
CONTEXT = "qel-designer"
LITERAL = re.compile(r'\bTr\(\s*((?:"(?:[^"\\]|\\.)*"\s*)+)[,)]')
PIECE = re.compile(r'"((?:[^"\\]|\\.)*)"')


def unescape(text):
    return bytes(text, "utf-8").decode("unicode_escape").encode("latin-1").decode("utf-8")


def texts():
    found = {}
    for path in sorted(SOURCES.glob("*.cpp")):
        for m in LITERAL.finditer(path.read_text(encoding="utf-8")):
            found.setdefault("".join(unescape(p) for p in PIECE.findall(m.group(1))), path.name)
    return found


def read(ts):
    done = {}
    if ts.exists():
        for message in ET.parse(ts).getroot().iter("message"):
            translation = message.find("translation")
            if translation is not None and translation.get("type") != "unfinished":
                done[message.findtext("source")] = translation.text or ""
    return done


def write(ts, language, wanted, done):
    root = ET.Element("TS", version="2.1", language=language)
    context = ET.SubElement(root, "context")
    ET.SubElement(context, "name").text = CONTEXT
    for source in sorted(wanted):
        message = ET.SubElement(context, "message")
        ET.SubElement(message, "source").text = source
        translation = ET.SubElement(message, "translation")
        if source in done:
            translation.text = done[source]
        else:
            translation.set("type", "unfinished")
    ET.indent(root)
    ts.write_text('<?xml version="1.0" encoding="utf-8"?>\n<!DOCTYPE TS>\n' +
                  ET.tostring(root, encoding="unicode") + "\n", encoding="utf-8")


def main():
    mode = sys.argv[1] if len(sys.argv) > 1 else "check"
    wanted = texts()
    faults = 0
    for ts in sorted((SOURCES / "translations").glob("*.ts")):
        language = ts.stem.split("_", 1)[1]
        done = read(ts)
        if mode == "update":
            write(ts, language, wanted, done)
            missing = [s for s in wanted if s not in done]
            print(f"{ts.name}: {len(wanted)} texts, {len(missing)} to translate")
            continue
        for source, where in wanted.items():
            if source not in done:
                print(f"{ts.name}: no translation of {source!r} ({where})")
                faults += 1
        for source in done:
            if source not in wanted:
                print(f"{ts.name}: {source!r} is no longer a text of the program")
                faults += 1
    if mode not in ("update", "check"):
        print(__doc__)
        return 2
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
