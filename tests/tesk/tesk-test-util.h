// Helpers for the toolkit tests: byte strings from hex, a small DER writer
// for hand-made fixtures, owning pointers for trees and buffers, and the
// capture of log messages.
#pragma once

#include "tesk-asn1x.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tesktest {

struct BytesUnref {
  void operator() (GBytes *b) const { g_bytes_unref (b); }
};
using Bytes = std::unique_ptr<GBytes, BytesUnref>;

struct TreeDestroy {
  void operator() (GNode *n) const { tesk_asn1x_destroy (n); }
};
using Tree = std::unique_ptr<GNode, TreeDestroy>;

struct GFree {
  void operator() (void *p) const { g_free (p); }
};
using Text = std::unique_ptr<gchar, GFree>;

// "30 03 02 01 05" (spaces optional) as bytes.
std::string unhex (std::string_view hex);
// Bytes as upper-case hex pairs separated by single spaces.
std::string hex (std::string_view bytes);
std::string hex (GBytes *bytes);

Bytes bytes_of (const std::string &data);
std::string string_of (GBytes *bytes);

// One DER element: identifier byte, minimal length, content.
std::string tlv (unsigned char identifier, const std::string &content);

std::string read_fixture (const std::string &name);

// Records every message logged while it exists, instead of printing it.
// Outside a capture, any warning or critical message fails the test.
class LogCapture {
 public:
  struct Entry {
    GLogLevelFlags level;
    std::string domain;
    std::string message;
  };

  LogCapture ();
  ~LogCapture ();
  LogCapture (const LogCapture &) = delete;
  LogCapture &operator= (const LogCapture &) = delete;

  const std::vector<Entry> &entries () const { return entries_; }
  // The messages of the given level, in order.
  std::vector<std::string> messages (GLogLevelFlags level) const;
  // Warnings and criticals only.
  std::vector<std::string> problems () const;
  void clear () { entries_.clear (); }

  void add (Entry entry) { entries_.push_back (std::move (entry)); }

 private:
  std::vector<Entry> entries_;
};

// The text of a failed precondition check.
std::string assertion (const char *func, const char *expr);

// True for the "should not be reached" message of the toolkit.
bool is_not_reached (const std::string &message);

}  // namespace tesktest
