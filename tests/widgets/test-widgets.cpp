// The section and certificate widgets, built once against GTK 3 and once
// against GTK 4, under a private X server: structure, properties,
// precondition messages, layout on screen and the reveal button.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "certificate-view.h"
#include "logged-messages.h"
#include "process.h"
#include "sero-certificate-widget-private.h"
#include "sero.h"
#include "widget-tree.h"
#include "xvfb.h"

// A certificate that has no DER to give.
struct TestEmptyCertificate {
  GObject parent_instance;
};
struct TestEmptyCertificateClass {
  GObjectClass parent_class;
};
static void test_empty_certificate_iface_init(SeroCertificateInterface *iface);
G_DEFINE_TYPE_WITH_CODE(TestEmptyCertificate, test_empty_certificate, G_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(SERO_TYPE_CERTIFICATE, test_empty_certificate_iface_init))
static void test_empty_certificate_class_init(TestEmptyCertificateClass *) {}
static void test_empty_certificate_init(TestEmptyCertificate *) {}
static const guchar *test_empty_certificate_get_der_data(SeroCertificate *, gsize *n) {
  *n = 0;
  return nullptr;
}
static void test_empty_certificate_iface_init(SeroCertificateInterface *iface) {
  iface->get_der_data = test_empty_certificate_get_der_data;
}

namespace {

using namespace widgettest;

#if GTK_CHECK_VERSION(4, 0, 0)
constexpr const char *source_dir = "sero-gtk4";
constexpr const char *library = "sero-gtk4/libsero-4-gtk4.so";
#else
constexpr const char *source_dir = "sero-gtk3";
constexpr const char *library = "sero-gtk3/libsero-4-gtk3.so";
#endif

class WidgetsEnvironment : public GtkEnvironment {
 public:
  void SetUp() override {
    GtkEnvironment::SetUp();
    if (::testing::Test::HasFatalFailure()) return;
    // Reveal at once, so tests need not wait out the slide.
    g_object_set(gtk_settings_get_default(), "gtk-enable-animations", FALSE, NULL);
  }
};

[[maybe_unused]] auto *xvfb_env = ::testing::AddGlobalTestEnvironment(new testsupport::XvfbEnvironment);
[[maybe_unused]] auto *gtk_env = ::testing::AddGlobalTestEnvironment(new WidgetsEnvironment);

class Widgets : public LoggedTest {
 protected:
  // Removes and returns what was logged so far.
  std::vector<LogRecord> take_log() {
    std::vector<LogRecord> out;
    out.swap(logged);
    return out;
  }

  static SeroCertificate *certificate(const std::string &file) {
    std::string der = testsupport::read_file(testsupport::data_path("sero/" + file));
    if (file.size() > 4 && file.substr(file.size() - 4) == ".pem") der = certview::der_of_pem(der).value_or("");
    return sero_simple_certificate_new(reinterpret_cast<const guchar *>(der.data()), der.size());
  }
};

struct Margins {
  int start, end, top, bottom;
  bool operator==(const Margins &) const = default;
};
std::ostream &operator<<(std::ostream &out, const Margins &m) {
  return out << m.start << "/" << m.end << "/" << m.top << "/" << m.bottom;
}
Margins margins_of(GtkWidget *w) {
  return {gtk_widget_get_margin_start(w), gtk_widget_get_margin_end(w), gtk_widget_get_margin_top(w),
          gtk_widget_get_margin_bottom(w)};
}
constexpr Margins row_margins = {12, 12, 8, 8};

// The parts of a section, found by walking its tree.
struct SectionParts {
  GtkWidget *label = nullptr, *frame = nullptr, *list_box = nullptr;
  explicit SectionParts(GtkWidget *section) {
    auto kids = children(section);
    EXPECT_EQ(kids.size(), 2u);
    if (kids.size() != 2) return;
    label = kids[0];
    frame = kids[1];
    list_box = only_child(frame);
  }
  std::vector<GtkWidget *> rows() const { return children(list_box); }
};

struct Row {
  GtkWidget *box, *caption, *value;
};
Row row_parts(GtkWidget *row) {
  GtkWidget *box = only_child(row);
  auto kids = children(box);
  EXPECT_EQ(kids.size(), 2u);
  return {box, kids.at(0), kids.at(1)};
}

TEST_F(Widgets, SectionIsBuiltAsSpecifiedForThisToolkit) {
  GtkWidget *section = sero_section_new("Subject Name");
  g_object_ref_sink(section);
  EXPECT_STREQ(G_OBJECT_TYPE_NAME(section), "SeroSection");
#if GTK_CHECK_VERSION(4, 0, 0)
  EXPECT_EQ(g_type_parent(SERO_TYPE_SECTION), GTK_TYPE_WIDGET);
  EXPECT_TRUE(GTK_IS_GRID_LAYOUT(gtk_widget_get_layout_manager(section)));
#else
  EXPECT_EQ(g_type_parent(SERO_TYPE_SECTION), GTK_TYPE_GRID);
  EXPECT_EQ(gtk_orientable_get_orientation(GTK_ORIENTABLE(section)), GTK_ORIENTATION_VERTICAL);
#endif
  EXPECT_EQ(margins_of(section), row_margins);

  SectionParts parts(section);
  ASSERT_TRUE(GTK_IS_LABEL(parts.label));
  EXPECT_EQ(label_text(parts.label), "Subject Name");
  EXPECT_EQ(margins_of(parts.label), row_margins);
  EXPECT_EQ(gtk_label_get_xalign(GTK_LABEL(parts.label)), 0.0f);
  EXPECT_EQ(gtk_widget_get_halign(parts.label), GTK_ALIGN_START);
  EXPECT_TRUE(gtk_widget_get_hexpand(parts.label));
#if GTK_CHECK_VERSION(4, 0, 0)
  EXPECT_TRUE(has_class(parts.label, "caption-heading"));
  EXPECT_FALSE(has_class(parts.label, "heading"));
  GtkLayoutManager *layout = gtk_widget_get_layout_manager(section);
  EXPECT_EQ(gtk_grid_layout_child_get_row(GTK_GRID_LAYOUT_CHILD(gtk_layout_manager_get_layout_child(layout, parts.label))), 0);
  EXPECT_EQ(gtk_grid_layout_child_get_row(GTK_GRID_LAYOUT_CHILD(gtk_layout_manager_get_layout_child(layout, parts.frame))), 1);
#else
  EXPECT_TRUE(has_class(parts.label, "heading"));
  EXPECT_TRUE(has_class(parts.label, "h4"));
#endif

  ASSERT_TRUE(GTK_IS_FRAME(parts.frame));
  EXPECT_EQ(gtk_frame_get_label(GTK_FRAME(parts.frame)), nullptr);
  EXPECT_TRUE(gtk_widget_get_hexpand(parts.frame));
  ASSERT_TRUE(GTK_IS_LIST_BOX(parts.list_box));
  EXPECT_EQ(gtk_list_box_get_selection_mode(GTK_LIST_BOX(parts.list_box)), GTK_SELECTION_NONE);
  EXPECT_TRUE(parts.rows().empty());
  g_object_unref(section);
}

TEST_F(Widgets, SectionRowsKeepTheirOrderAndLayout) {
  GtkWidget *section = sero_section_new("Rows");
  const char *captions[] = {"Version", "Serial Number", "Not Valid Before"};
  std::vector<GtkWidget *> values;
  for (const char *caption : captions) {
    GtkWidget *value = create_value_label(caption);
    values.push_back(value);
    sero_section_add_child(SERO_SECTION(section), caption, value);
  }

  auto rows = SectionParts(section).rows();
  ASSERT_EQ(rows.size(), G_N_ELEMENTS(captions));
  for (size_t i = 0; i < rows.size(); i++) {
    SCOPED_TRACE(captions[i]);
    ASSERT_TRUE(GTK_IS_LIST_BOX_ROW(rows[i]));
    Row row = row_parts(rows[i]);
    ASSERT_TRUE(GTK_IS_BOX(row.box));
    EXPECT_EQ(gtk_orientable_get_orientation(GTK_ORIENTABLE(row.box)), GTK_ORIENTATION_HORIZONTAL);
    EXPECT_EQ(gtk_box_get_spacing(GTK_BOX(row.box)), 12);
    EXPECT_EQ(label_text(row.caption), captions[i]);
    EXPECT_EQ(gtk_label_get_xalign(GTK_LABEL(row.caption)), 0.0f);
    EXPECT_EQ(gtk_widget_get_halign(row.caption), GTK_ALIGN_START);
    EXPECT_EQ(margins_of(row.caption), row_margins);
    EXPECT_TRUE(has_class(row.caption, "caption"));
    EXPECT_EQ(row.value, values[i]);
    EXPECT_EQ(gtk_widget_get_halign(row.value), GTK_ALIGN_END);
    EXPECT_EQ(margins_of(row.value), row_margins);
  }

  // On screen: one caption width for the whole section, values at the end
  // of their rows, captions at the start.
  GtkWidget *window = show_in_window(section);
  const int caption_width = width(row_parts(rows[0]).caption);
  for (GtkWidget *r : rows) EXPECT_EQ(width(row_parts(r).caption), caption_width);
  Row first = row_parts(rows[0]);
  const double caption_x = origin_in(first.caption, first.box).x;
  const double value_x = origin_in(first.value, first.box).x;
  EXPECT_EQ(caption_x, 12) << "caption sits at the start, after its margin";
  EXPECT_DOUBLE_EQ(value_x + width(first.value) + 12, width(first.box)) << "value sits at the end";
  destroy_window(window);
}

TEST_F(Widgets, SectionTitleLivesInTheHeading) {
  GParamSpec *pspec = g_object_class_find_property(G_OBJECT_CLASS(g_type_class_ref(SERO_TYPE_SECTION)), "title");
  ASSERT_NE(pspec, nullptr);
  EXPECT_EQ(G_PARAM_SPEC_VALUE_TYPE(pspec), G_TYPE_STRING);
  EXPECT_STREQ(g_param_spec_get_nick(pspec), "Title");
  EXPECT_STREQ(g_param_spec_get_blurb(pspec), "The title of the section");
  EXPECT_EQ(pspec->flags, G_PARAM_READWRITE | G_PARAM_CONSTRUCT | G_PARAM_STATIC_STRINGS);
  EXPECT_EQ(G_PARAM_SPEC_STRING(pspec)->default_value, nullptr);

  GtkWidget *section = g_object_ref_sink(sero_section_new(nullptr));
  GtkWidget *heading = SectionParts(section).label;
  EXPECT_EQ(label_text(heading), "") << "no title shows an empty heading";

  struct Case {
    const char *set;
    const char *heading;
  } cases[] = {{"Issuer Name", "Issuer Name"}, {"", ""}, {nullptr, ""}, {"Zoë <b>", "Zoë <b>"}};
  for (const auto &c : cases) {
    g_object_set(section, "title", c.set, NULL);
    EXPECT_EQ(label_text(heading), c.heading);
    gchar *title = nullptr;
    g_object_get(section, "title", &title, NULL);
    EXPECT_STREQ(title, c.heading);
    g_free(title);
  }
  // The title is the heading's text, not a copy kept beside it.
  gtk_label_set_text(GTK_LABEL(heading), "Changed behind its back");
  gchar *title = nullptr;
  g_object_get(section, "title", &title, NULL);
  EXPECT_STREQ(title, "Changed behind its back");
  g_free(title);
  g_object_unref(section);
}

TEST_F(Widgets, PreconditionsAndUnknownPropertiesAreReported) {
  GtkWidget *not_a_section = g_object_ref_sink(gtk_label_new("x"));
  GtkWidget *child = g_object_ref_sink(gtk_label_new("value"));
  sero_section_add_child(reinterpret_cast<SeroSection *>(not_a_section), "Caption", child);
  EXPECT_EQ(gtk_widget_get_parent(child), nullptr);
  EXPECT_EQ(sero_certificate_widget_get_certificate(reinterpret_cast<SeroCertificateWidget *>(not_a_section)), nullptr);
  sero_certificate_widget_set_certificate(reinterpret_cast<SeroCertificateWidget *>(not_a_section), nullptr);
  auto log = take_log();

  GtkWidget *section = g_object_ref_sink(sero_section_new("S"));
  GtkWidget *widget = g_object_ref_sink(sero_certificate_widget_new(nullptr));
  EXPECT_EQ(logged.size(), 0u);
  GValue value = G_VALUE_INIT;
  g_value_init(&value, G_TYPE_STRING);
  struct Target {
    GObject *object;
    const char *property;
    const char *unit;
  } targets[] = {{G_OBJECT(section), "title", "sero-section"},
                 {G_OBJECT(widget), "certificate", "sero-certificate-widget"}};
  for (const auto &t : targets) {
    GParamSpec *pspec = g_object_class_find_property(G_OBJECT_GET_CLASS(t.object), t.property);
    G_OBJECT_GET_CLASS(t.object)->set_property(t.object, 99, &value, pspec);
    G_OBJECT_GET_CLASS(t.object)->get_property(t.object, 98, &value, pspec);
  }
  g_value_unset(&value);

  for (auto &r : take_log()) log.push_back(r);
  ASSERT_EQ(log.size(), 7u);
  const std::string expected[] = {
      "sero_section_add_child: assertion 'SERO_IS_SECTION (self)' failed",
      "sero_certificate_widget_get_certificate: assertion 'SERO_IS_CERTIFICATE_WIDGET (self)' failed",
      "sero_certificate_widget_set_certificate: assertion 'SERO_IS_CERTIFICATE_WIDGET (self)' failed",
  };
  for (int i = 0; i < 3; i++) {
    EXPECT_EQ(log[i].domain, domain);
    EXPECT_EQ(log[i].level, G_LOG_LEVEL_CRITICAL);
    EXPECT_EQ(log[i].message, expected[i]);
  }
  for (int i = 0; i < 4; i++) {
    const auto &t = targets[i / 2];
    const auto &r = log[3 + i];
    EXPECT_EQ(r.domain, domain);
    EXPECT_EQ(r.level, G_LOG_LEVEL_WARNING);
    const std::string prefix = std::string(source_dir) + "/" + t.unit + ".cpp:";
    EXPECT_EQ(r.message.substr(0, prefix.size()), prefix) << r.message;
    const std::string rest = std::string(": invalid property id ") + (i % 2 ? "98" : "99") + " for \"" +
                             t.property + "\" of type '" +
                             (i / 2 ? "GParamObject" : "GParamString") + "' in '" +
                             G_OBJECT_TYPE_NAME(t.object) + "'";
    EXPECT_NE(r.message.find(rest), std::string::npos) << r.message;
  }
  for (GtkWidget *w : {not_a_section, child, section, widget}) g_object_unref(w);
}

struct WidgetParts {
  std::vector<GtkWidget *> important;
  GtkWidget *button = nullptr, *revealer = nullptr, *secondary_box = nullptr;
  explicit WidgetParts(GtkWidget *widget) {
    for (GtkWidget *c : children(widget)) {
      if (SERO_IS_SECTION(c)) {
        EXPECT_EQ(button, nullptr) << "an important section after the button";
        important.push_back(c);
      } else if (GTK_IS_BUTTON(c)) {
        button = c;
      } else if (GTK_IS_REVEALER(c)) {
        revealer = c;
        secondary_box = only_child(c);
      } else {
        ADD_FAILURE() << "unexpected child " << G_OBJECT_TYPE_NAME(c);
      }
    }
  }
  std::vector<std::string> titles(const std::vector<GtkWidget *> &sections) const {
    std::vector<std::string> out;
    for (GtkWidget *s : sections) out.push_back(label_text(SectionParts(s).label));
    return out;
  }
  std::vector<GtkWidget *> secondary() const { return children(secondary_box); }
};

TEST_F(Widgets, CertificateWidgetFrame) {
  SeroCertificate *cert = certificate("rsa-2048.der");
  GtkWidget *widget = g_object_ref_sink(sero_certificate_widget_new(cert));
  EXPECT_STREQ(G_OBJECT_TYPE_NAME(widget), "SeroCertificateWidget");
#if GTK_CHECK_VERSION(4, 0, 0)
  EXPECT_EQ(g_type_parent(SERO_TYPE_CERTIFICATE_WIDGET), GTK_TYPE_WIDGET);
  GtkLayoutManager *layout = gtk_widget_get_layout_manager(widget);
  ASSERT_TRUE(GTK_IS_BOX_LAYOUT(layout));
  EXPECT_EQ(gtk_orientable_get_orientation(GTK_ORIENTABLE(layout)), GTK_ORIENTATION_VERTICAL);
#else
  EXPECT_EQ(g_type_parent(SERO_TYPE_CERTIFICATE_WIDGET), GTK_TYPE_BOX);
  EXPECT_EQ(gtk_orientable_get_orientation(GTK_ORIENTABLE(widget)), GTK_ORIENTATION_VERTICAL);
#endif

  auto kids = children(widget);
  ASSERT_EQ(kids.size(), 3u);
  WidgetParts parts(widget);
  EXPECT_EQ(parts.titles(parts.important), std::vector<std::string>{"RSA Test"});
  ASSERT_NE(parts.button, nullptr);
  ASSERT_NE(parts.revealer, nullptr);
#if GTK_CHECK_VERSION(4, 0, 0)
  EXPECT_EQ(kids[1], parts.button) << "the button comes before the revealer";
  EXPECT_EQ(kids[2], parts.revealer);
#else
  // Both are packed at the end: the revealer last, so it lies above the button.
  for (GtkWidget *packed : {parts.button, parts.revealer}) {
    gboolean expand = TRUE, fill = FALSE;
    guint padding = 9;
    GtkPackType pack = GTK_PACK_START;
    gtk_box_query_child_packing(GTK_BOX(widget), packed, &expand, &fill, &padding, &pack);
    EXPECT_FALSE(expand);
    EXPECT_TRUE(fill);
    EXPECT_EQ(padding, 0u);
    EXPECT_EQ(pack, GTK_PACK_END);
  }
  gboolean expand = TRUE, fill = FALSE;
  guint padding = 9;
  GtkPackType pack = GTK_PACK_END;
  gtk_box_query_child_packing(GTK_BOX(widget), parts.important[0], &expand, &fill, &padding, &pack);
  EXPECT_EQ(pack, GTK_PACK_START);
  EXPECT_FALSE(expand);
  EXPECT_TRUE(fill);
  EXPECT_EQ(padding, 0u);
#endif
  EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(parts.button)), "\u2026");
  EXPECT_EQ(gtk_widget_get_halign(parts.button), GTK_ALIGN_CENTER);
  EXPECT_EQ(gtk_revealer_get_transition_type(GTK_REVEALER(parts.revealer)),
            GTK_REVEALER_TRANSITION_TYPE_SLIDE_DOWN);
  EXPECT_FALSE(gtk_revealer_get_reveal_child(GTK_REVEALER(parts.revealer)));
  ASSERT_TRUE(GTK_IS_BOX(parts.secondary_box));
  EXPECT_EQ(gtk_orientable_get_orientation(GTK_ORIENTABLE(parts.secondary_box)), GTK_ORIENTATION_VERTICAL);
  EXPECT_EQ(gtk_box_get_spacing(GTK_BOX(parts.secondary_box)), 0);
  EXPECT_FALSE(parts.secondary().empty()) << "the certificate's other sections wait in the revealer";

  g_object_unref(widget);
  g_object_unref(cert);
}

TEST_F(Widgets, RevealButtonSlidesTheSecondarySectionsIntoView) {
  // No certificate: only the sections added here are secondary.
  GtkWidget *widget = sero_certificate_widget_new(nullptr);
  auto *self = SERO_CERTIFICATE_WIDGET(widget);
  for (const char *title : {"Subject Name", "Issuer Name"}) {
    SeroSection *s = _sero_certificate_widget_add_section(self, title, FALSE);
    sero_section_add_child(s, "Caption", create_value_label(title));
  }
  _sero_certificate_widget_add_section(self, "Second Important", TRUE);

  GtkWidget *window = show_in_window(widget);
  WidgetParts parts(widget);
  EXPECT_EQ(parts.titles(parts.important), (std::vector<std::string>{"No certificate", "Second Important"}));
  EXPECT_EQ(parts.titles(parts.secondary()), (std::vector<std::string>{"Subject Name", "Issuer Name"}));

  // Collapsed: the button shows, the secondary sections do not, and the
  // revealer takes no room.
  EXPECT_TRUE(gtk_widget_get_mapped(parts.button));
  for (GtkWidget *s : parts.secondary()) EXPECT_FALSE(gtk_widget_get_mapped(s));
  EXPECT_LE(height(parts.revealer), 1);
  EXPECT_LT(top_in(parts.important[0], widget), top_in(parts.important[1], widget));
  EXPECT_LT(top_in(parts.important[1], widget), top_in(parts.button, widget));

  click(parts.button);
  ASSERT_TRUE(wait_for([&] {
    return gtk_revealer_get_child_revealed(GTK_REVEALER(parts.revealer)) &&
           gtk_widget_get_mapped(parts.secondary().back());
  }));
  EXPECT_FALSE(gtk_widget_get_visible(parts.button));
  EXPECT_TRUE(gtk_revealer_get_reveal_child(GTK_REVEALER(parts.revealer)));
  auto secondary = parts.secondary();
  for (GtkWidget *s : secondary) EXPECT_TRUE(gtk_widget_get_mapped(s));
  // Once laid out, the secondary sections stand below the important ones.
  EXPECT_TRUE(wait_for([&] {
    return top_in(parts.important[1], widget) < top_in(secondary[0], widget) &&
           top_in(secondary[0], widget) < top_in(secondary[1], widget);
  })) << top_in(parts.important[1], widget) << " " << top_in(secondary[0], widget) << " "
      << top_in(secondary[1], widget);

  // A secondary section added while expanded shows at once; the button
  // stays hidden, even when everything is shown again.
  SeroSection *late = _sero_certificate_widget_add_section(self, "Signature", FALSE);
  ASSERT_TRUE(wait_for([&] { return gtk_widget_get_mapped(GTK_WIDGET(late)); }));
  EXPECT_EQ(parts.titles(parts.secondary()),
            (std::vector<std::string>{"Subject Name", "Issuer Name", "Signature"}));
#if !GTK_CHECK_VERSION(4, 0, 0)
  gtk_widget_show_all(window);
#endif
  wait_for([] { return true; });
  EXPECT_FALSE(gtk_widget_get_visible(parts.button));
  destroy_window(window);
}

TEST_F(Widgets, SectionsShareOneWidthPerWidget) {
  GtkWidget *pair = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
  GtkWidget *widgets[2];
  const char *long_caption[] = {"A caption long enough to widen its section considerably", "Short"};
  for (int i = 0; i < 2; i++) {
    widgets[i] = sero_certificate_widget_new(nullptr);
    gtk_widget_set_halign(widgets[i], GTK_ALIGN_START);
    gtk_widget_set_valign(widgets[i], GTK_ALIGN_START);
    auto *self = SERO_CERTIFICATE_WIDGET(widgets[i]);
    SeroSection *narrow = _sero_certificate_widget_add_section(self, "N", TRUE);
    sero_section_add_child(narrow, "A", create_value_label("1"));
    SeroSection *wide = _sero_certificate_widget_add_section(self, "W", FALSE);
    sero_section_add_child(wide, long_caption[i], create_value_label("2"));
#if GTK_CHECK_VERSION(4, 0, 0)
    gtk_box_append(GTK_BOX(pair), widgets[i]);
#else
    gtk_container_add(GTK_CONTAINER(pair), widgets[i]);
#endif
  }
  GtkWidget *window = show_in_window(pair);
  for (GtkWidget *w : widgets) click(WidgetParts(w).button);
  ASSERT_TRUE(wait_for([&] {
    return width(WidgetParts(widgets[0]).secondary().back()) > 1 &&
           width(WidgetParts(widgets[1]).secondary().back()) > 1;
  }));
  int section_width[2];
  for (int i = 0; i < 2; i++) {
    WidgetParts parts(widgets[i]);
    GtkWidget *narrow = parts.important.back(), *wide = parts.secondary().back();
    EXPECT_EQ(width(narrow), width(wide)) << "widget " << i;
    section_width[i] = width(wide);
  }
  EXPECT_GT(section_width[0], section_width[1] + 100) << "the second widget has its own, narrower width";
  destroy_window(window);
}

TEST_F(Widgets, ValueLabelsWrapAndCanBeSelected) {
  struct Case {
    const char *text;
    const char *shown;
  } cases[] = {{"30 82 01 0A", "30 82 01 0A"}, {nullptr, ""}, {"", ""}};
  for (const auto &c : cases) {
    GtkWidget *label = g_object_ref_sink(create_value_label(c.text));
    ASSERT_TRUE(GTK_IS_LABEL(label));
    EXPECT_EQ(label_text(label), c.shown);
    EXPECT_EQ(gtk_label_get_xalign(GTK_LABEL(label)), 1.0f);
    EXPECT_EQ(gtk_widget_get_halign(label), GTK_ALIGN_END);
    EXPECT_TRUE(gtk_widget_get_hexpand(label));
    EXPECT_TRUE(gtk_label_get_selectable(GTK_LABEL(label)));
#if GTK_CHECK_VERSION(4, 0, 0)
    EXPECT_TRUE(gtk_label_get_wrap(GTK_LABEL(label)));
#else
    EXPECT_TRUE(gtk_label_get_line_wrap(GTK_LABEL(label)));
#endif
    g_object_unref(label);
  }
}

TEST_F(Widgets, CertificatePropertyAndImportantSection) {
  GParamSpec *pspec =
      g_object_class_find_property(G_OBJECT_CLASS(g_type_class_ref(SERO_TYPE_CERTIFICATE_WIDGET)), "certificate");
  ASSERT_NE(pspec, nullptr);
  EXPECT_EQ(G_PARAM_SPEC_VALUE_TYPE(pspec), SERO_TYPE_CERTIFICATE);
  EXPECT_STREQ(g_param_spec_get_nick(pspec), "Certificate");
  EXPECT_STREQ(g_param_spec_get_blurb(pspec), "Certificate to display.");
  EXPECT_EQ(pspec->flags, G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS);

  SeroCertificate *rsa = certificate("rsa-2048.der");
  SeroCertificate *no_cn = certificate("no-cn.pem");
  auto *empty = SERO_CERTIFICATE(g_object_new(test_empty_certificate_get_type(), NULL));

  GtkWidget *widget = g_object_ref_sink(sero_certificate_widget_new(rsa));
  auto *self = SERO_CERTIFICATE_WIDGET(widget);
  EXPECT_EQ(sero_certificate_widget_get_certificate(self), rsa);
  EXPECT_EQ(G_OBJECT(rsa)->ref_count, 2u) << "the widget holds one reference";
  SeroCertificate *got = nullptr;
  g_object_get(widget, "certificate", &got, NULL);
  EXPECT_EQ(got, rsa);
  g_object_unref(got);

  // Each call appends its important section; none is removed.
  struct Step {
    SeroCertificate *set;
    SeroCertificate *held;  // what the widget holds afterwards
    const char *title;
  } steps[] = {
      {rsa, rsa, "RSA Test"},
      {no_cn, no_cn, "Certificate"},
      {nullptr, nullptr, "No certificate"},
      {empty, nullptr, "No certificate"},
  };
  std::vector<std::string> titles = {"RSA Test"};
  for (const auto &s : steps) {
    const size_t secondary_before = WidgetParts(widget).secondary().size();
    g_object_set(widget, "certificate", s.set, NULL);
    titles.push_back(s.title);
    EXPECT_EQ(sero_certificate_widget_get_certificate(self), s.held);
    WidgetParts parts(widget);
    EXPECT_EQ(parts.titles(parts.important), titles);
    // Without a certificate to show, the one important section is all.
    if (s.held)
      EXPECT_GT(parts.secondary().size(), secondary_before);
    else
      EXPECT_EQ(parts.secondary().size(), secondary_before);
  }
  EXPECT_EQ(G_OBJECT(rsa)->ref_count, 1u);
  EXPECT_EQ(G_OBJECT(no_cn)->ref_count, 1u);
  EXPECT_EQ(G_OBJECT(empty)->ref_count, 1u) << "a certificate without DER is dropped";

  g_object_unref(widget);
  for (auto *c : {rsa, no_cn, empty}) g_object_unref(c);
}

TEST_F(Widgets, DestroyingTheWidgetReleasesEverything) {
  SeroCertificate *cert = certificate("rsa-2048.der");
  GtkWidget *widget = sero_certificate_widget_new(cert);
  auto *self = SERO_CERTIFICATE_WIDGET(widget);
  std::vector<gpointer> watched = {widget};
  for (gboolean important : {gboolean(TRUE), gboolean(FALSE)}) {
    SeroSection *s = _sero_certificate_widget_add_section(self, "S", important);
    GtkWidget *value = create_value_label("v");
    sero_section_add_child(s, "Caption", value);
    watched.push_back(s);
    watched.push_back(value);
  }
  WidgetParts parts(widget);
  watched.push_back(parts.button);
  watched.push_back(parts.revealer);
  for (auto &p : watched) g_object_add_weak_pointer(G_OBJECT(p), &p);

  GtkWidget *window = show_in_window(widget);
  click(parts.button);
  wait_for([] { return true; });
  destroy_window(window);
  for (size_t i = 0; i < watched.size(); i++) EXPECT_EQ(watched[i], nullptr) << "object " << i << " outlived the window";
  EXPECT_EQ(G_OBJECT(cert)->ref_count, 1u);
  g_object_unref(cert);
}

TEST_F(Widgets, LibraryExportsOnlyTheDocumentedNames) {
  auto outcome = testsupport::run({"nm", "-D", "--defined-only", testsupport::build_path(library)});
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  std::vector<std::string> names;
  std::istringstream lines(outcome.out);
  std::string address, kind, name;
  while (lines >> address >> kind >> name) names.push_back(name);
  std::sort(names.begin(), names.end());
  const std::vector<std::string> expected = {
      "sero_certificate_widget_get_certificate", "sero_certificate_widget_get_type",
      "sero_certificate_widget_new",             "sero_certificate_widget_set_certificate",
      "sero_section_add_child",                  "sero_section_get_type",
      "sero_section_new",
  };
  // The GTK 3 library may also carry the secure entry buffer.
  std::vector<std::string> widget_names;
  for (const auto &n : names)
    if (n.rfind("sero_secure_entry_buffer_", 0) != 0) widget_names.push_back(n);
  EXPECT_EQ(widget_names, expected);
}

}  // namespace
