#!/usr/bin/python3
# Creates a certificate widget through introspection and prints what it
# shows: each section's title, then its rows as "caption<TAB>value"; then
# "===" and the same for a widget without a certificate.
# Usage: read-sections.py gtk3|gtk4 CERTIFICATE.der
import sys

import gi

flavour, path = sys.argv[1], sys.argv[2]
gi.require_version('Sero', '4.0')
if flavour == 'gtk3':
    gi.require_version('Gtk', '3.0')
    gi.require_version('SeroGtk3', '4.0')
    from gi.repository import SeroGtk3 as SeroGtk
else:
    gi.require_version('Gtk', '4.0')
    gi.require_version('SeroGtk4', '4.0')
    from gi.repository import SeroGtk4 as SeroGtk
from gi.repository import Gtk, Sero

if flavour == 'gtk3':
    Gtk.init([])

    def children(widget):
        if not isinstance(widget, Gtk.Container):
            return []
        out = widget.get_children()
        if isinstance(widget, Gtk.Grid):
            # In the order of the grid's cells, not of their addition.
            def cell(child):
                return (widget.child_get_property(child, 'top-attach'),
                        widget.child_get_property(child, 'left-attach'))
            out.sort(key=cell)
        return out
else:
    Gtk.init()

    def children(widget):
        out, child = [], widget.get_first_child()
        while child is not None:
            out.append(child)
            child = child.get_next_sibling()
        return out


def labels(widget):
    """Every label below widget, in tree order."""
    found = []
    for child in children(widget):
        if isinstance(child, Gtk.Label):
            found.append(child.get_text())
        else:
            found.extend(labels(child))
    return found


def sections(widget):
    """Every section below widget, in tree order."""
    for child in children(widget):
        if isinstance(child, SeroGtk.Section):
            yield child
        else:
            yield from sections(child)


with open(path, 'rb') as f:
    der = f.read()
certificate = Sero.SimpleCertificate.new(der)
widget = SeroGtk.CertificateWidget.new(certificate)

# The widget hands back the very object it was given, with its encoding.
shown = widget.get_certificate()
if shown is None or shown.get_der_data() != der:
    sys.exit('the widget does not hold the certificate it was given')



def show(widget):
    for section in sections(widget):
        print('[%s]' % section.props.title)
        texts = labels(section)[1:]  # the first label is the heading
        for caption, value in zip(texts[0::2], texts[1::2]):
            print('%s\t%s' % (caption, value))


show(widget)
# The certificate may be missing (None).
print('===')
show(SeroGtk.CertificateWidget.new(None))
