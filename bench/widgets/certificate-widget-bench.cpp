// Time per certificate for filling a certificate widget, over every
// certificate of the system's CA bundle, against a peer measured in the
// same run: a tree of stock GTK widgets of the same shape (the same boxes,
// grids, frames, lists, rows and labels, with the same texts and label
// settings) built from texts read out of our widget once beforehand, so
// producing them costs the peer nothing. What our widget takes beyond the
// peer is ours (decoding, formatting, our widget classes) rather than GTK's.
//
// Compiled once per GTK version; each build reports its own ratios. Without
// a display it starts a private Xvfb.
#include <glib.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ca-bundle.h"
#include "sero-certificate-widget.h"
#include "sero-section.h"
#include "sero-simple-certificate.h"
#include "xvfb.h"

namespace {

// ---- Certificates -------------------------------------------------------

// ---- Walking widgets the same way in both GTK versions ------------------

std::vector<GtkWidget *>
children (GtkWidget *widget)
{
  std::vector<GtkWidget *> out;
#if GTK_CHECK_VERSION (4, 0, 0)
  for (GtkWidget *c = gtk_widget_get_first_child (widget); c; c = gtk_widget_get_next_sibling (c))
    out.push_back (c);
#else
  if (GTK_IS_CONTAINER (widget)) {
    GList *list = gtk_container_get_children (GTK_CONTAINER (widget));
    for (GList *l = list; l; l = l->next)
      out.push_back (GTK_WIDGET (l->data));
    g_list_free (list);
  }
#endif
  return out;
}

GtkWidget *
only_child (GtkWidget *widget)
{
  auto all = children (widget);
  return all.size () == 1 ? all[0] : nullptr;
}

// What kind of part a widget is, for comparing the two trees part by part;
// our own classes count as the stock widget they stand for.
const char *
kind_of (GtkWidget *widget)
{
  if (SERO_IS_CERTIFICATE_WIDGET (widget))
    return "box";
  if (SERO_IS_SECTION (widget))
    return "grid";
  struct Kind {
    GType type;
    const char *name;
  };
  const Kind kinds[] = {
    { GTK_TYPE_LABEL, "label" },       { GTK_TYPE_BUTTON, "button" },
    { GTK_TYPE_REVEALER, "revealer" }, { GTK_TYPE_FRAME, "frame" },
    { GTK_TYPE_LIST_BOX, "list box" }, { GTK_TYPE_LIST_BOX_ROW, "row" },
    { GTK_TYPE_GRID, "grid" },         { GTK_TYPE_BOX, "box" },
  };
  for (const auto &k : kinds)
    if (G_TYPE_CHECK_INSTANCE_TYPE (widget, k.type))
      return k.name;
  return G_OBJECT_TYPE_NAME (widget);
}

// How many parts of each kind a tree has, and the length of all label text.
struct Census {
  std::map<std::string, int> parts;
  size_t label_chars = 0;
  bool operator== (const Census &) const = default;
};

void
count (GtkWidget *widget, Census &census)
{
  census.parts[kind_of (widget)]++;
  if (GTK_IS_LABEL (widget))
    census.label_chars += std::string (gtk_label_get_text (GTK_LABEL (widget))).size ();
  for (GtkWidget *child : children (widget))
    count (child, census);
}

std::string
describe (const Census &census)
{
  std::string out;
  for (const auto &[kind, n] : census.parts)
    out += kind + " " + std::to_string (n) + ", ";
  return out + "label text " + std::to_string (census.label_chars) + " bytes";
}

// ---- The shape of a filled widget ----------------------------------------

struct Row {
  std::string caption, value;
  bool monospace = false;
};

struct Section {
  std::string title;
  std::vector<Row> rows;
};

struct Shape {
  std::vector<Section> important, secondary;
};

Section
read_section (GtkWidget *section)
{
  Section out;
  for (GtkWidget *part : children (section)) {
    if (GTK_IS_LABEL (part)) {
      out.title = gtk_label_get_text (GTK_LABEL (part));
    } else if (GTK_IS_FRAME (part)) {
      for (GtkWidget *row : children (only_child (part))) {
        auto cells = children (only_child (row));
        if (cells.size () != 2 || !GTK_IS_LABEL (cells[0]) || !GTK_IS_LABEL (cells[1]))
          throw std::runtime_error ("a row that is not a caption and a value label");
        out.rows.push_back ({ gtk_label_get_text (GTK_LABEL (cells[0])),
                              gtk_label_get_text (GTK_LABEL (cells[1])),
                              gtk_label_get_attributes (GTK_LABEL (cells[1])) != nullptr });
      }
    }
  }
  return out;
}

Shape
read_shape (GtkWidget *widget)
{
  Shape shape;
  for (GtkWidget *child : children (widget)) {
    if (SERO_IS_SECTION (child)) {
      shape.important.push_back (read_section (child));
    } else if (GTK_IS_REVEALER (child)) {
      for (GtkWidget *section : children (only_child (child)))
        shape.secondary.push_back (read_section (section));
    }
  }
  return shape;
}

// ---- The peer: the same tree from stock GTK widgets ----------------------

void
show (GtkWidget *widget)
{
#if GTK_CHECK_VERSION (4, 0, 0)
  (void) widget;
#else
  gtk_widget_show (widget);
#endif
}

void
add_class (GtkWidget *widget, const char *name)
{
#if GTK_CHECK_VERSION (4, 0, 0)
  gtk_widget_add_css_class (widget, name);
#else
  gtk_style_context_add_class (gtk_widget_get_style_context (widget), name);
#endif
}

void
append (GtkWidget *box, GtkWidget *child)
{
#if GTK_CHECK_VERSION (4, 0, 0)
  gtk_box_append (GTK_BOX (box), child);
#else
  gtk_container_add (GTK_CONTAINER (box), child);
#endif
}

void
set_margins (GtkWidget *widget)
{
  gtk_widget_set_margin_start (widget, 12);
  gtk_widget_set_margin_end (widget, 12);
  gtk_widget_set_margin_top (widget, 8);
  gtk_widget_set_margin_bottom (widget, 8);
}

// A horizontal size group that lives as long as its owner widget.
GtkSizeGroup *
owned_size_group (GtkWidget *owner)
{
  GtkSizeGroup *group = gtk_size_group_new (GTK_SIZE_GROUP_HORIZONTAL);
  g_object_set_data_full (G_OBJECT (owner), "bench-size-group", group, g_object_unref);
  return group;
}

GtkWidget *
peer_row (const Row &r, GtkSizeGroup *captions)
{
  GtkWidget *row = gtk_list_box_row_new ();
  GtkWidget *box = gtk_box_new (GTK_ORIENTATION_HORIZONTAL, 12);
#if GTK_CHECK_VERSION (4, 0, 0)
  gtk_list_box_row_set_child (GTK_LIST_BOX_ROW (row), box);
#else
  gtk_container_add (GTK_CONTAINER (row), box);
#endif

  GtkWidget *caption = gtk_label_new (r.caption.c_str ());
  gtk_label_set_xalign (GTK_LABEL (caption), 0.0);
  set_margins (caption);
  gtk_widget_set_halign (caption, GTK_ALIGN_START);
  add_class (caption, "caption");

  GtkWidget *value = GTK_WIDGET (g_object_new (GTK_TYPE_LABEL,
                                               "label", r.value.c_str (),
                                               "xalign", 1.0,
                                               "halign", GTK_ALIGN_END,
                                               "hexpand", TRUE,
                                               "selectable", TRUE,
                                               "wrap", TRUE,
                                               NULL));
  set_margins (value);
  if (r.monospace) {
    PangoAttrList *attributes = pango_attr_list_new ();
    pango_attr_list_insert (attributes, pango_attr_family_new ("Monospace"));
    gtk_label_set_attributes (GTK_LABEL (value), attributes);
    pango_attr_list_unref (attributes);
  }

  gtk_size_group_add_widget (captions, caption);
  append (box, caption);
  append (box, value);
  for (GtkWidget *part : { row, box, caption, value })
    show (part);
  return row;
}

GtkWidget *
peer_section (const Section &s)
{
  GtkWidget *grid = gtk_grid_new ();
  GtkWidget *title = gtk_label_new (s.title.c_str ());
  set_margins (title);
  gtk_label_set_xalign (GTK_LABEL (title), 0.0);
  gtk_widget_set_halign (title, GTK_ALIGN_START);
  gtk_widget_set_hexpand (title, TRUE);
#if GTK_CHECK_VERSION (4, 0, 0)
  add_class (title, "caption-heading");
#else
  add_class (title, "heading");
  add_class (title, "h4");
#endif

  GtkWidget *list = gtk_list_box_new ();
  gtk_list_box_set_selection_mode (GTK_LIST_BOX (list), GTK_SELECTION_NONE);
  GtkWidget *frame = gtk_frame_new (NULL);
  g_object_set (frame, "child", list, NULL);
  gtk_widget_set_hexpand (frame, TRUE);

  gtk_grid_attach (GTK_GRID (grid), title, 0, 0, 1, 1);
  gtk_grid_attach (GTK_GRID (grid), frame, 0, 1, 1, 1);
  for (GtkWidget *part : { title, list, frame })
    show (part);
  set_margins (grid);

  GtkSizeGroup *captions = owned_size_group (grid);
  for (const Row &r : s.rows) {
#if GTK_CHECK_VERSION (4, 0, 0)
    gtk_list_box_insert (GTK_LIST_BOX (list), peer_row (r, captions), -1);
#else
    gtk_container_add (GTK_CONTAINER (list), peer_row (r, captions));
#endif
  }
  return grid;
}

// A floating tree shaped like our widget for the same certificate.
GtkWidget *
build_peer (const Shape &shape)
{
  GtkWidget *top = gtk_box_new (GTK_ORIENTATION_VERTICAL, 0);
  GtkWidget *button = gtk_button_new_with_label ("\u2026");
  gtk_widget_set_halign (button, GTK_ALIGN_CENTER);
  GtkWidget *secondary = gtk_box_new (GTK_ORIENTATION_VERTICAL, 0);
  GtkWidget *revealer = GTK_WIDGET (g_object_new (GTK_TYPE_REVEALER,
                                                  "child", secondary,
                                                  "transition-type", GTK_REVEALER_TRANSITION_TYPE_SLIDE_DOWN,
                                                  NULL));
#if !GTK_CHECK_VERSION (4, 0, 0)
  gtk_box_pack_end (GTK_BOX (top), button, FALSE, TRUE, 0);
  gtk_widget_set_no_show_all (button, TRUE);
  gtk_widget_show (button);
  gtk_box_pack_end (GTK_BOX (top), revealer, FALSE, TRUE, 0);
#endif
  show (secondary);
  show (revealer);

  GtkSizeGroup *sections = owned_size_group (top);
  for (auto [list, box] : { std::pair { &shape.important, top }, std::pair { &shape.secondary, secondary } }) {
    for (const Section &s : *list) {
      GtkWidget *section = peer_section (s);
      gtk_size_group_add_widget (sections, section);
      append (box, section);
      show (section);
    }
  }
#if GTK_CHECK_VERSION (4, 0, 0)
  gtk_box_append (GTK_BOX (top), revealer);
  gtk_box_append (GTK_BOX (top), button);
#endif
  return top;
}

// ---- Timing ----------------------------------------------------------------

struct Item {
  SeroCertificate *certificate;
  Shape shape;
};

// Microseconds per certificate: building the tree, and dropping it again.
struct Phases {
  double build = 0, destroy = 0;
  double total () const { return build + destroy; }
};

using Clock = std::chrono::steady_clock;

double
micros (Clock::duration d)
{
  return std::chrono::duration<double, std::micro> (d).count ();
}

// Runs what the widgets left for the main loop, outside the timed part.
void
settle ()
{
  while (g_main_context_iteration (NULL, FALSE)) {
  }
}

template <typename Make>
Phases
time_pass (const std::vector<Item> &items, Make make)
{
  Clock::duration build {}, destroy {};
  for (const Item &item : items) {
    const auto t0 = Clock::now ();
    GtkWidget *widget = GTK_WIDGET (g_object_ref_sink (make (item)));
    const auto t1 = Clock::now ();
    g_object_unref (widget);
    const auto t2 = Clock::now ();
    build += t1 - t0;
    destroy += t2 - t1;
  }
  settle ();
  const double n = double (items.size ());
  return { micros (build) / n, micros (destroy) / n };
}

GtkWidget *
make_ours (const Item &item)
{
  return sero_certificate_widget_new (item.certificate);
}

GtkWidget *
make_peer (const Item &item)
{
  return build_peer (item.shape);
}

bool
init_gtk (int *argc, char ***argv)
{
#if GTK_CHECK_VERSION (4, 0, 0)
  (void) argc;
  (void) argv;
  return gtk_init_check ();
#else
  return gtk_init_check (argc, argv);
#endif
}

}  // namespace

int
main (int argc, char **argv)
{
  const char *pattern = argc > 1 ? argv[1] : "/etc/ssl/certs/*.pem";
  const int rounds = argc > 2 ? std::max (1, std::atoi (argv[2])) : 7;

  // No accessibility bus: neither tree should spend its time looking for one.
  g_setenv ("NO_AT_BRIDGE", "1", FALSE);
  g_setenv ("GTK_A11Y", "none", FALSE);
  std::unique_ptr<testsupport::Xvfb> server;
  if (!g_getenv ("DISPLAY") && !g_getenv ("WAYLAND_DISPLAY")) {
    try {
      server = std::make_unique<testsupport::Xvfb> ();
    } catch (const std::exception &e) {
      std::printf ("no display and no private one: %s; nothing measured\n", e.what ());
      return 77;
    }
    g_setenv ("DISPLAY", server->display ().c_str (), TRUE);
  }
  if (!init_gtk (&argc, &argv)) {
    std::printf ("GTK cannot open a display; nothing measured\n");
    return 77;
  }

  const auto bundle = benchsupport::load_bundle (pattern);
  std::vector<Item> items;
  size_t skipped = 0;
  for (const std::string &der : bundle) {
    SeroCertificate *certificate =
      sero_simple_certificate_new (reinterpret_cast<const guchar *> (der.data ()), der.size ());
    if (!certificate) {
      ++skipped;
      continue;
    }
    GtkWidget *ours = GTK_WIDGET (g_object_ref_sink (sero_certificate_widget_new (certificate)));
    Shape shape = read_shape (ours);
    // A certificate that does not decode gets a single section saying so.
    if (shape.secondary.empty ()) {
      g_object_unref (ours);
      g_object_unref (certificate);
      ++skipped;
      continue;
    }
    // The comparison means something only if both trees have the same parts.
    Census ours_census, peer_census;
    count (ours, ours_census);
    GtkWidget *peer = GTK_WIDGET (g_object_ref_sink (build_peer (shape)));
    count (peer, peer_census);
    g_object_unref (peer);
    g_object_unref (ours);
    if (!(ours_census == peer_census)) {
      std::printf ("the peer's tree differs from the widget's:\n  widget: %s\n  peer:   %s\n",
                   describe (ours_census).c_str (), describe (peer_census).c_str ());
      return 1;
    }
    items.push_back ({ certificate, std::move (shape) });
  }
  settle ();
  if (items.empty ()) {
    std::printf ("no certificates in %s decode; nothing measured\n", pattern);
    return 0;
  }

  // Warm both up once, then alternate them so that both see the same
  // machine; the best round of each counts.
  time_pass (items, make_ours);
  time_pass (items, make_peer);
  std::optional<Phases> ours, peer;
  for (int r = 0; r < rounds; ++r) {
    const Phases o = time_pass (items, make_ours);
    const Phases p = time_pass (items, make_peer);
    if (!ours || o.total () < ours->total ())
      ours = o;
    if (!peer || p.total () < peer->total ())
      peer = p;
  }

  size_t rows = 0, sections = 0;
  for (const Item &item : items) {
    for (const auto *list : { &item.shape.important, &item.shape.secondary }) {
      sections += list->size ();
      for (const Section &s : *list)
        rows += s.rows.size ();
    }
  }

  std::printf ("GTK %u.%u.%u: %zu certificates (%zu skipped), %.1f sections and %.1f rows each, "
               "best of %d rounds\n",
               gtk_get_major_version (), gtk_get_minor_version (), gtk_get_micro_version (),
               items.size (), skipped, double (sections) / double (items.size ()),
               double (rows) / double (items.size ()), rounds);
  std::printf ("                        build    destroy      total  us/certificate\n");
  std::printf ("certificate widget %10.1f %10.1f %10.1f\n", ours->build, ours->destroy, ours->total ());
  std::printf ("stock GTK peer     %10.1f %10.1f %10.1f\n", peer->build, peer->destroy, peer->total ());
  std::printf ("ratio widget/peer  %10.3f %10.3f %10.3f\n", ours->build / peer->build,
               ours->destroy / peer->destroy, ours->total () / peer->total ());

  for (Item &item : items)
    g_object_unref (item.certificate);
  return 0;
}
