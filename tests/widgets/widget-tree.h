// Walking and showing widgets the same way in the GTK 3 and the GTK 4
// build of the widget tests.
#pragma once

#include <gtk/gtk.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace widgettest {

inline std::vector<GtkWidget *> children(GtkWidget *widget) {
  std::vector<GtkWidget *> out;
#if GTK_CHECK_VERSION(4, 0, 0)
  for (GtkWidget *c = gtk_widget_get_first_child(widget); c; c = gtk_widget_get_next_sibling(c)) out.push_back(c);
#else
  // In the order they appear on screen: a grid's children by row, a box's
  // children packed at the start in order, then those packed at the end
  // from the last one packed.
  GList *list = gtk_container_get_children(GTK_CONTAINER(widget));
  std::vector<GtkWidget *> at_end;
  for (GList *l = list; l; l = l->next) {
    GtkWidget *child = GTK_WIDGET(l->data);
    GtkPackType pack = GTK_PACK_START;
    if (GTK_IS_BOX(widget)) gtk_container_child_get(GTK_CONTAINER(widget), child, "pack-type", &pack, NULL);
    (pack == GTK_PACK_END ? at_end : out).push_back(child);
  }
  g_list_free(list);
  out.insert(out.end(), at_end.rbegin(), at_end.rend());
  if (GTK_IS_GRID(widget)) {
    auto row = [widget](GtkWidget *child) {
      int top = 0;
      gtk_container_child_get(GTK_CONTAINER(widget), child, "top-attach", &top, NULL);
      return top;
    };
    std::stable_sort(out.begin(), out.end(), [&](GtkWidget *a, GtkWidget *b) { return row(a) < row(b); });
  }
#endif
  return out;
}

// The one child of a frame, row, revealer or other single-child container.
inline GtkWidget *only_child(GtkWidget *widget) {
#if GTK_CHECK_VERSION(4, 0, 0)
  return gtk_widget_get_first_child(widget);
#else
  return gtk_bin_get_child(GTK_BIN(widget));
#endif
}

inline bool has_class(GtkWidget *widget, const char *name) {
#if GTK_CHECK_VERSION(4, 0, 0)
  return gtk_widget_has_css_class(widget, name);
#else
  return gtk_style_context_has_class(gtk_widget_get_style_context(widget), name);
#endif
}

inline std::string label_text(GtkWidget *label) { return gtk_label_get_text(GTK_LABEL(label)); }

// Runs the main loop until the condition holds; false when it does not
// within a generous bound (a hang guard, not a timing check).
inline bool wait_for(const std::function<bool()> &condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    g_main_context_iteration(nullptr, FALSE);
    g_usleep(1000);
  }
  // Let pending layout settle.
  for (int i = 0; i < 20; i++) g_main_context_iteration(nullptr, FALSE);
  return true;
}

inline GtkWidget *show_in_window(GtkWidget *child) {
#if GTK_CHECK_VERSION(4, 0, 0)
  GtkWidget *window = gtk_window_new();
  gtk_window_set_child(GTK_WINDOW(window), child);
  gtk_window_present(GTK_WINDOW(window));
#else
  GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_container_add(GTK_CONTAINER(window), child);
  gtk_widget_show_all(window);
#endif
  wait_for([&] { return gtk_widget_get_mapped(child) && gtk_widget_get_allocated_width(child) > 1; });
  return window;
}

inline void destroy_window(GtkWidget *window) {
#if GTK_CHECK_VERSION(4, 0, 0)
  gtk_window_destroy(GTK_WINDOW(window));
#else
  gtk_widget_destroy(window);
#endif
  for (int i = 0; i < 20; i++) g_main_context_iteration(nullptr, FALSE);
}

inline int width(GtkWidget *widget) { return gtk_widget_get_allocated_width(widget); }
inline int height(GtkWidget *widget) { return gtk_widget_get_allocated_height(widget); }

// Position of the widget's top left corner within an ancestor.
struct Point {
  double x = -1, y = -1;
};
inline Point origin_in(GtkWidget *widget, GtkWidget *ancestor) {
#if GTK_CHECK_VERSION(4, 0, 0)
  graphene_point_t in = GRAPHENE_POINT_INIT(0, 0), out;
  if (!gtk_widget_compute_point(widget, ancestor, &in, &out)) return {};
  return {out.x, out.y};
#else
  int x = 0, y = 0;
  if (!gtk_widget_translate_coordinates(widget, ancestor, 0, 0, &x, &y)) return {};
  return {double(x), double(y)};
#endif
}
inline double top_in(GtkWidget *widget, GtkWidget *ancestor) { return origin_in(widget, ancestor).y; }

inline void click(GtkWidget *button) { g_signal_emit_by_name(button, "clicked"); }

}  // namespace widgettest
