#!/usr/bin/env python3
"""Checks the English translation file against the sources.

Usage: check_translations.py <lupdate> <work folder> <ts file> <source folder> -- <lupdate options>

lupdate reads the sources into a fresh file in the work folder; every text it
finds must be in the tree's file with a finished, non-empty translation, and
the tree's file must hold no text the sources no longer have. The translation
of a text with a keyboard accelerator (&) keeps one, and a translation holds
no Japanese (kana or kanji), so nothing was left half-translated.
"""
import os
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

JAPANESE = re.compile("[\u3040-\u30ff\u3400-\u9fff\uff66-\uff9f]")


def text_of(element):
    """The text of <source> or <translation>, with lupdate's <byte value="xd"/> escapes."""
    if element is None:
        return None
    out = element.text or ""
    for child in element:
        if child.tag == "byte":
            out += chr(int(child.get("value")[1:], 16))
        out += child.tail or ""
    return out


def messages(ts_file):
    found = {}
    for context in ET.parse(ts_file).getroot().iter("context"):
        name = context.findtext("name")
        for message in context.iter("message"):
            source = text_of(message.find("source"))
            translation = message.find("translation")
            found[(name, source)] = (text_of(translation),
                                     translation.get("type") if translation is not None else None)
    return found


def main():
    separator = sys.argv.index("--")
    lupdate, work, ts_file, sources = sys.argv[1:separator]
    options = sys.argv[separator + 1:]
    os.makedirs(work, exist_ok=True)
    fresh_file = os.path.join(work, "fresh_en.ts")
    if os.path.exists(fresh_file):
        os.remove(fresh_file)
    subprocess.run([lupdate, *options, sources, "-ts", fresh_file], check=True)

    fresh = messages(fresh_file)
    tree = messages(ts_file)
    problems = []
    if not fresh:
        problems.append("lupdate found no texts in " + sources)
    for key in sorted(fresh.keys() - tree.keys()):
        problems.append("not in %s: %s %r" % (os.path.basename(ts_file), key[0], key[1]))
    for key in sorted(tree.keys() - fresh.keys()):
        problems.append("no longer in the sources: %s %r" % key)
    for key in sorted(tree.keys() & fresh.keys()):
        translation, kind = tree[key]
        context, source = key
        if kind is not None:
            problems.append("%s: %s %r" % (kind, context, source))
        elif not translation:
            problems.append("empty translation: %s %r" % (context, source))
        elif JAPANESE.search(translation):
            problems.append("Japanese in the translation: %s %r -> %r" %
                            (context, source, translation))
        elif "&" in source.replace("&&", "") and "&" not in translation.replace("&&", ""):
            problems.append("accelerator lost: %s %r -> %r" % (context, source, translation))
    for p in problems:
        print(p)
    if problems:
        print("%d problem(s)" % len(problems))
        return 1
    print("translations complete: %d texts" % len(fresh))
    return 0


if __name__ == "__main__":
    sys.exit(main())
