// The secure entry buffer inside a real GtkEntry under a private X server:
// typing and deleting through key events, multi-byte characters, the size
// cap, the notifications, where the text lives and that it is wiped.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sero-secure-entry-buffer.h"
#include "tesk-secure-memory.h"
#include "xvfb.h"

namespace {

class GtkEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    // Key events go through the built-in input method, whatever the
    // machine's settings.
    g_setenv("GTK_IM_MODULE", "gtk-im-context-simple", TRUE);
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
  }
};

[[maybe_unused]] auto *xvfb_env = ::testing::AddGlobalTestEnvironment(new testsupport::XvfbEnvironment);
[[maybe_unused]] auto *gtk_env = ::testing::AddGlobalTestEnvironment(new GtkEnvironment);

struct SecureCell {
  size_t requested;
  size_t bytes;
};

// The secure cells that hold entry text.
std::vector<SecureCell> text_cells() {
  guint n = 0;
  TeskSecureRec *records = tesk_secure_records(&n);
  std::vector<SecureCell> out;
  for (guint i = 0; i < n; i++)
    if (records[i].tag && std::strcmp(records[i].tag, "secure_entry_buffer") == 0)
      out.push_back({records[i].request_length, records[i].block_length});
  std::free(records);
  return out;
}

size_t text_allocation() {
  auto cells = text_cells();
  return cells.size() == 1 ? cells[0].requested : 0;
}

struct Notice {
  std::string kind;  // "inserted" or "deleted"
  guint position;
  guint n_chars;
  bool operator==(const Notice &) const = default;
  friend std::ostream &operator<<(std::ostream &os, const Notice &n) {
    return os << n.kind << "(" << n.position << ", " << n.n_chars << ")";
  }
};

std::string text_of(GtkEntryBuffer *buffer, size_t *n_bytes = nullptr) {
  gsize bytes = 0;
  const char *text = GTK_ENTRY_BUFFER_GET_CLASS(buffer)->get_text(buffer, &bytes);
  if (n_bytes) *n_bytes = bytes;
  return std::string(text, bytes);
}

std::string repeat(const char *piece, size_t times) {
  std::string out;
  for (size_t i = 0; i < times; i++) out += piece;
  return out;
}

class SecureEntryBuffer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(text_cells().empty());
    buffer_ = sero_secure_entry_buffer_new();
    g_signal_connect(buffer_, "inserted-text", G_CALLBACK(+[](GtkEntryBuffer *, guint position, const char *,
                                                               guint n_chars, gpointer self) {
                       static_cast<SecureEntryBuffer *>(self)->notices_.push_back({"inserted", position, n_chars});
                     }),
                     this);
    g_signal_connect(buffer_, "deleted-text",
                     G_CALLBACK(+[](GtkEntryBuffer *, guint position, guint n_chars, gpointer self) {
                       static_cast<SecureEntryBuffer *>(self)->notices_.push_back({"deleted", position, n_chars});
                     }),
                     this);
    g_signal_connect(buffer_, "notify::text", G_CALLBACK(+[](GObject *, GParamSpec *, gpointer self) {
                       static_cast<SecureEntryBuffer *>(self)->text_notices_++;
                     }),
                     this);
  }
  void TearDown() override {
    g_clear_object(&buffer_);
    tesk_secure_validate();
    EXPECT_TRUE(text_cells().empty()) << "the buffer's text outlived it";
  }

  GtkEntryBuffer *buffer_ = nullptr;
  std::vector<Notice> notices_;
  int text_notices_ = 0;
};

TEST_F(SecureEntryBuffer, IsAnEntryBufferThatStartsEmpty) {
  EXPECT_TRUE(GTK_IS_ENTRY_BUFFER(buffer_));
  EXPECT_STREQ(G_OBJECT_TYPE_NAME(buffer_), "SeroSecureEntryBuffer");
  EXPECT_EQ(gtk_entry_buffer_get_length(buffer_), 0u);
  size_t bytes = 99;
  EXPECT_EQ(text_of(buffer_, &bytes), "");
  EXPECT_EQ(bytes, 0u);
  EXPECT_STREQ(gtk_entry_buffer_get_text(buffer_), "");
  EXPECT_TRUE(text_cells().empty());
}

TEST_F(SecureEntryBuffer, TextLivesInSecureMemoryThatStartsAtSixteenBytesAndDoubles) {
  EXPECT_EQ(gtk_entry_buffer_insert_text(buffer_, 0, "abc", 3), 3u);
  EXPECT_TRUE(tesk_secure_check(gtk_entry_buffer_get_text(buffer_)));
  EXPECT_EQ(text_allocation(), 16u);
  // 3 + 12 bytes and the terminator still fit; one more doubles.
  gtk_entry_buffer_insert_text(buffer_, 3, "defghijklmno", 12);
  EXPECT_EQ(text_allocation(), 16u);
  gtk_entry_buffer_insert_text(buffer_, 15, "pq", 2);
  EXPECT_EQ(text_allocation(), 32u);
  EXPECT_EQ(text_of(buffer_), "abcdefghijklmnopq");
  // A large insertion doubles as often as it needs.
  gtk_entry_buffer_insert_text(buffer_, 0, std::string(200, 'z').c_str(), 200);
  EXPECT_EQ(text_allocation(), 256u);
  EXPECT_EQ(gtk_entry_buffer_get_length(buffer_), 217u);
}

TEST_F(SecureEntryBuffer, InsertsAndDeletesCharactersNotBytes) {
  struct Step {
    bool insert;
    guint position;
    const char *chars;  // insert only
    gint n_chars;
    guint done;
    guint noticed_at;  // the position the notification names
    const char *text;
  } steps[] = {
      {true, 0, "pä€s", -1, 4, 0, "pä€s"},
      {true, 2, "ß", 1, 1, 2, "päß€s"},
      {true, 99, "!", 1, 1, 5, "päß€s!"},     // past the end: appended
      {true, 0, "xyz", 2, 2, 0, "xypäß€s!"},  // only the first two characters
      {false, 3, nullptr, 2, 2, 3, "xyp€s!"},
      {false, 3, nullptr, 1, 1, 3, "xyps!"},
      {false, 0, nullptr, 0, 0, 0, "xyps!"},  // nothing deleted, nothing reported
      {false, 3, nullptr, -1, 2, 3, "xyp"},
  };
  std::vector<Notice> expected;
  for (const auto &s : steps) {
    SCOPED_TRACE(s.text);
    guint done = s.insert ? gtk_entry_buffer_insert_text(buffer_, s.position, s.chars, s.n_chars)
                          : gtk_entry_buffer_delete_text(buffer_, s.position, s.n_chars);
    EXPECT_EQ(done, s.done);
    EXPECT_EQ(text_of(buffer_), s.text);
    EXPECT_EQ(gtk_entry_buffer_get_length(buffer_), guint(g_utf8_strlen(s.text, -1)));
    EXPECT_EQ(gtk_entry_buffer_get_bytes(buffer_), std::strlen(s.text));
    if (done) expected.push_back({s.insert ? "inserted" : "deleted", s.noticed_at, done});
  }
  EXPECT_EQ(notices_, expected);
  EXPECT_EQ(text_notices_, int(expected.size()));
}

TEST_F(SecureEntryBuffer, DeletingPastTheEndDeletesWhatThereIs) {
  gtk_entry_buffer_insert_text(buffer_, 0, "wxyz", 4);
  auto *klass = GTK_ENTRY_BUFFER_GET_CLASS(buffer_);
  EXPECT_EQ(klass->delete_text(buffer_, 2, 5), 2u);
  EXPECT_EQ(text_of(buffer_), "wx");
  EXPECT_EQ(klass->delete_text(buffer_, 7, 1), 0u);
  EXPECT_EQ(klass->delete_text(buffer_, 1, G_MAXUINT), 1u);
  EXPECT_EQ(text_of(buffer_), "w");
  EXPECT_EQ(notices_.back(), (Notice{"deleted", 1, 1}));
}

TEST_F(SecureEntryBuffer, InsertionsAreCutAtTheCapOnACharacterBoundary) {
  struct Case {
    const char *before;
    const char *piece;
    size_t pieces;
    guint inserted;
    size_t bytes;
  } cases[] = {
      {"", "a", 70000, 65534, 65534},
      {"", "€", 30000, 21844, 65532},   // 3-byte characters: the one across the cap is left out
      {"x", "é", 40000, 32766, 65533},  // 2-byte characters after one byte
      {"xy", "é", 40000, 32766, 65534},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(::testing::Message() << c.before << "+" << c.pieces << "x" << c.piece);
    GtkEntryBuffer *buffer = sero_secure_entry_buffer_new();
    if (*c.before) gtk_entry_buffer_insert_text(buffer, 0, c.before, -1);
    std::string chars = repeat(c.piece, c.pieces);
    guint reported = 0;
    g_signal_connect(buffer, "inserted-text", G_CALLBACK(+[](GtkEntryBuffer *, guint, const char *, guint n_chars,
                                                              gpointer out) { *static_cast<guint *>(out) = n_chars; }),
                     &reported);
    EXPECT_EQ(gtk_entry_buffer_insert_text(buffer, 0, chars.c_str(), -1), c.inserted);
    EXPECT_EQ(reported, c.inserted);
    EXPECT_EQ(gtk_entry_buffer_get_bytes(buffer), c.bytes);
    EXPECT_EQ(gtk_entry_buffer_get_length(buffer), c.inserted + g_utf8_strlen(c.before, -1));
    EXPECT_TRUE(g_utf8_validate(gtk_entry_buffer_get_text(buffer), -1, nullptr));
    EXPECT_EQ(text_allocation(), 65535u);
    // Full: nothing more goes in.
    EXPECT_EQ(gtk_entry_buffer_insert_text(buffer, 0, "aa", 2), 65534 - c.bytes >= 2 ? 2u : guint(65534 - c.bytes));
    g_object_unref(buffer);
  }
}

TEST_F(SecureEntryBuffer, FinalizingWipesAndFreesTheText) {
  // A neighbour keeps the block mapped, so the old text can be looked at.
  void *pin = tesk_secure_alloc_full("pin", 8, 0);
  ASSERT_NE(pin, nullptr);
  gtk_entry_buffer_insert_text(buffer_, 0, "hunter2", -1);
  const char *text = gtk_entry_buffer_get_text(buffer_);
  ASSERT_TRUE(tesk_secure_check(text));
  g_clear_object(&buffer_);
  EXPECT_TRUE(text_cells().empty());
  EXPECT_EQ(std::string(text, 16), std::string(16, '\0'));
  tesk_secure_free_full(pin, 0);
}

TEST_F(SecureEntryBuffer, WorksFromTheFallbackWhenMemoryCannotBeLocked) {
  g_setenv("SECMEM_FORCE_FALLBACK", "1", TRUE);
  gtk_entry_buffer_insert_text(buffer_, 0, "plain", -1);
  gtk_entry_buffer_insert_text(buffer_, 5, std::string(100, 'p').c_str(), -1);
  g_unsetenv("SECMEM_FORCE_FALLBACK");
  EXPECT_FALSE(tesk_secure_check(gtk_entry_buffer_get_text(buffer_)));
  EXPECT_EQ(text_of(buffer_), "plain" + std::string(100, 'p'));
  EXPECT_TRUE(text_cells().empty());
}

TEST_F(SecureEntryBuffer, InsertingItsOwnTextIsSafe) {
  gtk_entry_buffer_insert_text(buffer_, 0, "0123456789abcde", -1);  // fills 16 bytes
  const char *own = gtk_entry_buffer_get_text(buffer_);
  // Growing moves the text; the characters must be the ones asked for.
  EXPECT_EQ(gtk_entry_buffer_insert_text(buffer_, 0, own + 10, 5), 5u);
  EXPECT_EQ(text_of(buffer_), "abcde0123456789abcde");
}

// Typing into a real entry: key presses reach the buffer through the
// entry's input method and key bindings.
class SecureEntry : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(text_cells().empty());
    buffer_ = sero_secure_entry_buffer_new();
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    entry_ = gtk_entry_new_with_buffer(buffer_);
    gtk_entry_set_visibility(GTK_ENTRY(entry_), FALSE);
    gtk_container_add(GTK_CONTAINER(window_), entry_);
    gtk_widget_show_all(window_);
    gtk_window_set_focus(GTK_WINDOW(window_), entry_);
    while (gtk_events_pending()) gtk_main_iteration();
  }
  void TearDown() override {
    gtk_widget_destroy(window_);
    while (gtk_events_pending()) gtk_main_iteration();
    g_clear_object(&buffer_);
    EXPECT_TRUE(text_cells().empty());
  }

  void press(guint keyval, GdkModifierType state = GdkModifierType(0)) {
    GdkDisplay *display = gtk_widget_get_display(window_);
    for (GdkEventType type : {GDK_KEY_PRESS, GDK_KEY_RELEASE}) {
      GdkEvent *event = gdk_event_new(type);
      event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window_)));
      event->key.send_event = TRUE;
      event->key.time = GDK_CURRENT_TIME;
      event->key.keyval = keyval;
      event->key.state = state;
      GdkKeymapKey *keys = nullptr;
      gint n_keys = 0;
      if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(display), keyval, &keys, &n_keys)) {
        event->key.hardware_keycode = guint16(keys[0].keycode);
        event->key.group = guint8(keys[0].group);
        g_free(keys);
      }
      gdk_event_set_device(event, gdk_seat_get_keyboard(gdk_display_get_default_seat(display)));
      gtk_main_do_event(event);
      gdk_event_free(event);
    }
    while (gtk_events_pending()) gtk_main_iteration();
  }

  void type(const char *text) {
    for (const char *p = text; *p; p = g_utf8_next_char(p)) press(gdk_unicode_to_keyval(g_utf8_get_char(p)));
  }

  std::string shown() const { return gtk_entry_get_text(GTK_ENTRY(entry_)); }

  GtkEntryBuffer *buffer_ = nullptr;
  GtkWidget *window_ = nullptr;
  GtkWidget *entry_ = nullptr;
};

TEST_F(SecureEntry, TypingAndDeletingGoThroughTheSecureBuffer) {
  ASSERT_EQ(gtk_entry_get_buffer(GTK_ENTRY(entry_)), buffer_);
  type("pä€ss");
  EXPECT_EQ(shown(), "pä€ss");
  EXPECT_EQ(gtk_entry_get_text_length(GTK_ENTRY(entry_)), 5);
  EXPECT_EQ(gtk_entry_buffer_get_bytes(buffer_), 8u);
  EXPECT_TRUE(tesk_secure_check(gtk_entry_get_text(GTK_ENTRY(entry_))));
  EXPECT_EQ(gtk_editable_get_position(GTK_EDITABLE(entry_)), 5);

  struct Step {
    guint keyval;
    const char *text;
    int cursor;
  } steps[] = {
      {GDK_KEY_BackSpace, "pä€s", 4},
      {GDK_KEY_Left, "pä€s", 3},
      {GDK_KEY_BackSpace, "päs", 2},  // the three-byte character goes whole
      {GDK_KEY_Home, "päs", 0},
      {GDK_KEY_Delete, "äs", 0},
      {GDK_KEY_Delete, "s", 0},  // the two-byte one as well
      {GDK_KEY_End, "s", 1},
  };
  for (const auto &s : steps) {
    SCOPED_TRACE(gdk_keyval_name(s.keyval));
    press(s.keyval);
    EXPECT_EQ(shown(), s.text);
    EXPECT_EQ(gtk_editable_get_position(GTK_EDITABLE(entry_)), s.cursor);
    EXPECT_EQ(gtk_entry_buffer_get_bytes(buffer_), std::strlen(s.text));
  }
  type("ü");
  EXPECT_EQ(shown(), "sü");
}

TEST_F(SecureEntry, TheEntryStopsAtTheCap) {
  std::string almost(65532, 'k');
  gtk_entry_set_text(GTK_ENTRY(entry_), almost.c_str());
  EXPECT_EQ(gtk_entry_get_text_length(GTK_ENTRY(entry_)), 65532);
  gtk_editable_set_position(GTK_EDITABLE(entry_), -1);
  // Two bytes are left: a two-byte character fits, then nothing does.
  type("é");
  EXPECT_EQ(gtk_entry_buffer_get_bytes(buffer_), 65534u);
  type("a€");
  EXPECT_EQ(gtk_entry_buffer_get_bytes(buffer_), 65534u);
  EXPECT_EQ(shown(), almost + "é");
  press(GDK_KEY_BackSpace);
  type("a");
  EXPECT_EQ(shown(), almost + "a");
}

}  // namespace
