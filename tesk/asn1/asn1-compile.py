#!/usr/bin/env python3
"""Compiles an ASN.1 module into a flat definition table for the toolkit.

The module is written in the 1988 notation that the X.509 and PKCS modules
use, restricted to what the toolkit's tables can express: type and value
assignments, SEQUENCE/SET/CHOICE with components, SEQUENCE OF and SET OF,
tags, OPTIONAL and DEFAULT, SIZE constraints, integer ranges, named numbers
and bits, ANY DEFINED BY, OBJECT IDENTIFIER values and INTEGER values.

Every node of the module becomes one record {name, type word, value} in
pre-order; FLAG_DOWN says the next record is the first child, FLAG_RIGHT
that the record has a next sibling after its subtree. The array ends with
an all-empty record.

Usage: asn1-compile.py MODULE.asn TABLE-NAME OUTPUT.c [--string-types]
"""

import re
import sys

# Type codes
CONSTANT = 1
IDENTIFIER = 2
INTEGER = 3
BOOLEAN = 4
SEQUENCE = 5
BIT_STRING = 6
OCTET_STRING = 7
TAG = 8
DEFAULT = 9
SIZE = 10
SEQUENCE_OF = 11
OBJECT_ID = 12
ANY = 13
SET = 14
SET_OF = 15
DEFINITIONS = 16
CHOICE = 18
NULL = 20
ENUMERATED = 21
GENERAL_STRING = 27
NUMERIC_STRING = 28
IA5_STRING = 29
TELETEX_STRING = 30
PRINTABLE_STRING = 31
UNIVERSAL_STRING = 32
BMP_STRING = 33
UTF8_STRING = 34
VISIBLE_STRING = 35
UTC_TIME = 36
GENERALIZED_TIME = 37

# Flags
FLAG_UNIVERSAL = 1 << 8
FLAG_PRIVATE = 1 << 9
FLAG_APPLICATION = 1 << 10
FLAG_EXPLICIT = 1 << 11
FLAG_IMPLICIT = 1 << 12
FLAG_TAG = 1 << 13
FLAG_OPTION = 1 << 14
FLAG_DEFAULT = 1 << 15
FLAG_TRUE = 1 << 16
FLAG_FALSE = 1 << 17
FLAG_LIST = 1 << 18
FLAG_MIN_MAX = 1 << 19
FLAG_1_PARAM = 1 << 20
FLAG_SIZE = 1 << 21
FLAG_DEFINED_BY = 1 << 22
FLAG_ASSIGN = 1 << 28
FLAG_DOWN = 1 << 29
FLAG_RIGHT = 1 << 30

TYPE_NAMES = {
    CONSTANT: "CONSTANT", IDENTIFIER: "IDENTIFIER", INTEGER: "INTEGER",
    BOOLEAN: "BOOLEAN", SEQUENCE: "SEQUENCE", BIT_STRING: "BIT_STRING",
    OCTET_STRING: "OCTET_STRING", TAG: "TAG", DEFAULT: "DEFAULT",
    SIZE: "SIZE", SEQUENCE_OF: "SEQUENCE_OF", OBJECT_ID: "OBJECT_ID",
    ANY: "ANY", SET: "SET", SET_OF: "SET_OF", DEFINITIONS: "DEFINITIONS",
    CHOICE: "CHOICE", NULL: "NULL", ENUMERATED: "ENUMERATED",
    GENERAL_STRING: "GENERAL_STRING", NUMERIC_STRING: "NUMERIC_STRING",
    IA5_STRING: "IA5_STRING", TELETEX_STRING: "TELETEX_STRING",
    PRINTABLE_STRING: "PRINTABLE_STRING",
    UNIVERSAL_STRING: "UNIVERSAL_STRING", BMP_STRING: "BMP_STRING",
    UTF8_STRING: "UTF8_STRING", VISIBLE_STRING: "VISIBLE_STRING",
    UTC_TIME: "UTC_TIME", GENERALIZED_TIME: "GENERALIZED_TIME",
}

# Built-in types named by one keyword.
SIMPLE_TYPES = {
    "BOOLEAN": BOOLEAN,
    "NULL": NULL,
    "UTCTime": UTC_TIME,
    "GeneralizedTime": GENERALIZED_TIME,
}

# String types; each may carry a SIZE constraint.
STRING_TYPES = {
    "GeneralString": GENERAL_STRING,
    "NumericString": NUMERIC_STRING,
    "IA5String": IA5_STRING,
    "TeletexString": TELETEX_STRING,
    "T61String": TELETEX_STRING,
    "PrintableString": PRINTABLE_STRING,
    "UniversalString": UNIVERSAL_STRING,
    "BMPString": BMP_STRING,
    "UTF8String": UTF8_STRING,
    "VisibleString": VISIBLE_STRING,
}

KEYWORDS = {
    "ANY", "APPLICATION", "BEGIN", "BIT", "BY", "CHOICE", "DEFAULT", "DEFINED",
    "DEFINITIONS", "END", "ENUMERATED", "EXPLICIT", "FALSE", "IDENTIFIER",
    "IMPLICIT", "INTEGER", "OBJECT", "OCTET", "OF", "OPTIONAL", "PRIVATE",
    "SEQUENCE", "SET", "SIZE", "STRING", "TAGS", "TRUE", "UNIVERSAL",
}

TOKEN_RE = re.compile(r"""
    (?P<space>\s+)
  | (?P<comment>--[^\n]*)
  | (?P<assign>::=)
  | (?P<range>\.\.)
  | (?P<number>-?[0-9]+)
  | (?P<word>[A-Za-z](?:-?[A-Za-z0-9])*)
  | (?P<punct>[{}()\[\],|])
""", re.VERBOSE)


class CompileError(Exception):
    pass


class Node:
    """One record of the table and its children."""

    def __init__(self, type_code, name=None, value=None, flags=0):
        self.type = type_code
        self.name = name
        self.value = value
        self.flags = flags
        self.children = []


class Parser:
    def __init__(self, text, path):
        self.path = path
        self.tokens = []
        pos = 0
        line = 1
        while pos < len(text):
            m = TOKEN_RE.match(text, pos)
            if not m:
                raise CompileError(f"{path}:{line}: unexpected character {text[pos]!r}")
            kind = m.lastgroup
            if kind not in ("space", "comment"):
                self.tokens.append((m.group(), line))
            line += m.group().count("\n")
            pos = m.end()
        self.pos = 0

    # Token helpers

    def peek(self, offset=0):
        i = self.pos + offset
        return self.tokens[i][0] if i < len(self.tokens) else None

    def next(self):
        if self.pos >= len(self.tokens):
            raise CompileError(f"{self.path}: unexpected end of module")
        tok = self.tokens[self.pos][0]
        self.pos += 1
        return tok

    def error(self, message):
        line = self.tokens[min(self.pos, len(self.tokens) - 1)][1]
        raise CompileError(f"{self.path}:{line}: {message}")

    def expect(self, *words):
        for word in words:
            tok = self.next()
            if tok != word:
                self.pos -= 1
                self.error(f"expected {word!r}, found {tok!r}")

    def accept(self, *words):
        for i, word in enumerate(words):
            if self.peek(i) != word:
                return False
        self.pos += len(words)
        return True

    def identifier(self):
        tok = self.next()
        if not re.match(r"[A-Za-z]", tok):
            self.pos -= 1
            self.error(f"expected an identifier, found {tok!r}")
        return tok

    def number_or_identifier(self):
        tok = self.next()
        if not re.match(r"-?[0-9]|[A-Za-z]", tok):
            self.pos -= 1
            self.error(f"expected a number or name, found {tok!r}")
        return tok

    # Module

    def module(self):
        name = self.identifier()
        module = Node(DEFINITIONS, name=name)
        oid = Node(OBJECT_ID)
        self.expect("{")
        while not self.accept("}"):
            oid.children.append(self.oid_arc())
        module.children.append(oid)
        self.expect("DEFINITIONS")
        if self.accept("IMPLICIT", "TAGS"):
            module.flags |= FLAG_IMPLICIT
        elif self.accept("EXPLICIT", "TAGS"):
            module.flags |= FLAG_EXPLICIT
        else:
            module.flags |= FLAG_EXPLICIT
        self.expect("::=", "BEGIN")
        while not self.accept("END"):
            module.children.append(self.assignment())
        if self.peek() is not None:
            self.error("text after END")
        self.set_default_tagging(module, module.flags & (FLAG_IMPLICIT | FLAG_EXPLICIT))
        return module

    def set_default_tagging(self, node, default):
        for child in node.children:
            if child.type == TAG and not child.flags & (FLAG_IMPLICIT | FLAG_EXPLICIT):
                child.flags |= default
            self.set_default_tagging(child, default)

    def oid_arc(self):
        tok = self.next()
        if re.match(r"[0-9]", tok):
            return Node(CONSTANT, value=tok)
        if self.accept("("):
            number = self.next()
            self.expect(")")
            return Node(CONSTANT, name=tok, value=number)
        return Node(CONSTANT, value=tok)

    def oid_value(self, node):
        self.expect("{")
        while not self.accept("}"):
            node.children.append(self.oid_arc())
        if not node.children:
            self.error("an object identifier value needs at least one arc")
        return node

    def assignment(self):
        name = self.identifier()
        if self.accept("OBJECT", "IDENTIFIER", "::="):
            return self.oid_value(Node(OBJECT_ID, name=name, flags=FLAG_ASSIGN))
        if self.accept("INTEGER", "::="):
            number = self.next()
            if not re.match(r"-?[0-9]+$", number):
                self.error(f"expected a number, found {number!r}")
            return Node(INTEGER, name=name, value=number, flags=FLAG_ASSIGN)
        if self.peek() != "::=" and self.peek(1) == "::=":
            # A value of a named type, e.g. `id-at-name AttributeType ::= {...}`
            type_name = self.identifier()
            self.expect("::=")
            return self.oid_value(Node(OBJECT_ID, name=name, value=type_name,
                                       flags=FLAG_ASSIGN | FLAG_1_PARAM))
        self.expect("::=")
        node = self.tagged_type()
        node.name = name
        return node

    # Types

    def tagged_type(self):
        """A type with an optional tag in front: [class n] IMPLICIT|EXPLICIT."""
        if not self.accept("["):
            return self.type()
        tag = Node(TAG)
        if self.accept("UNIVERSAL"):
            tag.flags |= FLAG_UNIVERSAL
        elif self.accept("APPLICATION"):
            tag.flags |= FLAG_APPLICATION
        elif self.accept("PRIVATE"):
            tag.flags |= FLAG_PRIVATE
        tag.value = self.next()
        if not tag.value.isdigit():
            self.error(f"expected a tag number, found {tag.value!r}")
        self.expect("]")
        if self.accept("IMPLICIT"):
            tag.flags |= FLAG_IMPLICIT
        elif self.accept("EXPLICIT"):
            tag.flags |= FLAG_EXPLICIT
        node = self.type()
        node.flags |= FLAG_TAG
        node.children.insert(0, tag)
        return node

    def size_constraint(self):
        """SIZE (n) or SIZE (lo..hi), optionally in parentheses."""
        parens = self.accept("(")
        self.expect("SIZE", "(")
        low = self.number_or_identifier()
        if self.accept(".."):
            high = self.number_or_identifier()
            size = Node(SIZE, name=high, value=low, flags=FLAG_MIN_MAX)
        else:
            size = Node(SIZE, value=low, flags=FLAG_1_PARAM)
        self.expect(")")
        if parens:
            self.expect(")")
        return size

    def at_size(self):
        return self.peek() == "SIZE" or (self.peek() == "(" and self.peek(1) == "SIZE")

    def with_size(self, node):
        if self.at_size():
            node.flags |= FLAG_SIZE
            node.children.append(self.size_constraint())
        return node

    def named_numbers(self, node):
        self.expect("{")
        while True:
            name = self.identifier()
            self.expect("(")
            number = self.next()
            self.expect(")")
            node.children.append(Node(CONSTANT, name=name, value=number))
            if not self.accept(","):
                break
        self.expect("}")
        node.flags |= FLAG_LIST

    def components(self, node):
        self.expect("{")
        while True:
            name = self.identifier()
            member = self.tagged_type()
            member.name = name
            if self.accept("OPTIONAL"):
                member.flags |= FLAG_OPTION
            elif self.accept("DEFAULT"):
                default = Node(DEFAULT)
                tok = self.next()
                if tok == "TRUE":
                    default.flags |= FLAG_TRUE
                elif tok == "FALSE":
                    default.flags |= FLAG_FALSE
                else:
                    default.value = tok
                member.flags |= FLAG_DEFAULT
                member.children.insert(0, default)
            node.children.append(member)
            if not self.accept(","):
                break
        self.expect("}")
        return node

    def type(self):
        tok = self.next()
        if tok in SIMPLE_TYPES:
            return Node(SIMPLE_TYPES[tok])
        if tok in STRING_TYPES:
            return self.with_size(Node(STRING_TYPES[tok]))
        if tok == "INTEGER":
            node = Node(INTEGER)
            if self.peek() == "{":
                self.named_numbers(node)
            if self.peek() == "(" and self.peek(1) != "SIZE":
                # A value range; kept as a SIZE record (low in the name,
                # high in the value) that nothing checks.
                self.expect("(")
                low = self.number_or_identifier()
                self.expect("..")
                high = self.number_or_identifier()
                self.expect(")")
                node.flags |= FLAG_MIN_MAX
                node.children.append(Node(SIZE, name=low, value=high))
            return node
        if tok == "ENUMERATED":
            node = Node(ENUMERATED)
            self.named_numbers(node)
            return node
        if tok == "OCTET":
            self.expect("STRING")
            return self.with_size(Node(OCTET_STRING))
        if tok == "BIT":
            self.expect("STRING")
            node = Node(BIT_STRING)
            if self.peek() == "{":
                self.named_numbers(node)
            return self.with_size(node)
        if tok == "OBJECT":
            self.expect("IDENTIFIER")
            return Node(OBJECT_ID)
        if tok == "ANY":
            node = Node(ANY)
            if self.accept("DEFINED", "BY"):
                node.flags |= FLAG_DEFINED_BY
                node.children.append(Node(CONSTANT, name=self.identifier()))
            return node
        if tok in ("SEQUENCE", "SET"):
            if self.peek() == "{":
                return self.components(Node(SEQUENCE if tok == "SEQUENCE" else SET))
            node = Node(SEQUENCE_OF if tok == "SEQUENCE" else SET_OF)
            self.with_size(node)
            self.expect("OF")
            node.children.append(self.tagged_type())
            return node
        if tok == "CHOICE":
            return self.components(Node(CHOICE))
        if re.match(r"[A-Za-z]", tok) and tok not in KEYWORDS:
            # A reference to another definition (some of these modules
            # name types in lower case).
            return Node(IDENTIFIER, value=tok)
        self.pos -= 1
        self.error(f"expected a type, found {tok!r}")


def check_references(module, path):
    """Every IDENTIFIER must name a top-level definition of the module."""
    names = {child.name for child in module.children if child.name}

    def walk(node):
        if node.type == IDENTIFIER and node.value not in names:
            raise CompileError(f"{path}: {node.value} is not defined")
        for child in node.children:
            walk(child)

    walk(module)


def flatten(node, records, has_right=False):
    flags = node.flags
    if node.children:
        flags |= FLAG_DOWN
    if has_right:
        flags |= FLAG_RIGHT
    records.append((node.name, flags | node.type, node.value))
    for i, child in enumerate(node.children):
        flatten(child, records, i + 1 < len(node.children))


def c_string(text):
    if text is None:
        return "NULL"
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def main(argv):
    string_types = "--string-types" in argv
    args = [a for a in argv[1:] if a != "--string-types"]
    if len(args) != 3:
        sys.stderr.write(__doc__)
        return 2
    source, table, output = args
    with open(source, encoding="utf-8") as f:
        text = f.read()
    try:
        module = Parser(text, source).module()
        check_references(module, source)
    except CompileError as e:
        sys.stderr.write(f"{e}\n")
        return 1

    records = []
    flatten(module, records)
    records.append((None, 0, None))

    out = [
        f"/* Generated from {source.rsplit('/', 1)[-1]} by asn1-compile.py; do not edit. */",
        '#include "tesk-asn1x-modules.h"',
        "",
        f"const TeskAsn1xDef {table}[] = {{",
    ]
    for name, word, value in records:
        comment = TYPE_NAMES.get(word & 0xFF, "end")
        out.append(f"  {{ {c_string(name)}, 0x{word:08X}, {c_string(value)} }}, /* {comment} */")
    out.append("};")
    if string_types:
        # One-record tables for reading an ANY as a plain string of that type.
        for tname, code in (("ia5string", IA5_STRING), ("utf8string", UTF8_STRING),
                            ("bmpstring", BMP_STRING)):
            word = code | FLAG_UNIVERSAL | FLAG_IMPLICIT
            out.append("")
            out.append(f"const TeskAsn1xDef def_{tname}[] = {{")
            out.append(f"  {{ NULL, 0x{word:08X}, NULL }},")
            out.append("};")
    with open(output, "w", encoding="utf-8") as f:
        f.write("\n".join(out) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
