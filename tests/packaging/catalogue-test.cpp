// The German catalogues against the sources: every text that the code of
// a domain marks for translation is in the domain's POTFILES and
// translated in its de.po, nothing is fuzzy or left over from texts that
// are gone, and the translations keep the format directives of their
// originals.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "packaging-paths.h"
#include "process.h"

namespace {

namespace fs = std::filesystem;

const std::string source_root = SOURCE_ROOT;

// One entry of a catalogue: its key (context and original) and what the
// tools say about it.
struct Entry {
  std::vector<std::string> translations;  // msgstr, or msgstr[n] of a plural
  std::string locations;                  // the "#:" comments
  bool fuzzy = false;
};

using Catalogue = std::map<std::string, Entry>;  // key: msgctxt "\4" msgid "\4" msgid_plural

// Reads a catalogue after msgcat has written it one string per line. The
// header (the empty original) and obsolete entries are left out.
Catalogue read_catalogue(const std::string &path) {
  testsupport::TempDir work;
  const auto cat = testsupport::run({"msgcat", "--no-wrap", "-o", work / "out.po", path});
  EXPECT_EQ(cat.status, 0) << cat.err;
  if (cat.status != 0) return {};
  Catalogue out;
  std::map<std::string, std::string> fields;
  Entry entry;
  std::string *current = nullptr;
  auto finish = [&] {
    if (fields.count("msgid") && !fields["msgid"].empty()) {
      for (const auto &[name, value] : fields)
        if (name.rfind("msgstr", 0) == 0) entry.translations.push_back(value);
      out[fields["msgctxt"] + "\4" + fields["msgid"] + "\4" + fields["msgid_plural"]] = entry;
    }
    fields.clear();
    entry = {};
    current = nullptr;
  };
  std::istringstream lines(testsupport::read_file(work / "out.po"));
  for (std::string line; std::getline(lines, line);) {
    if (line.empty()) {
      finish();
    } else if (line.rfind("#,", 0) == 0) {
      entry.fuzzy = entry.fuzzy || line.find("fuzzy") != std::string::npos;
    } else if (line.rfind("#:", 0) == 0) {
      entry.locations += line.substr(2);
    } else if (line[0] == '#') {
      current = nullptr;  // comments, and obsolete entries (#~)
    } else if (line[0] == '"') {
      if (current) *current += line.substr(1, line.size() - 2);
    } else {
      const auto space = line.find(' ');
      const auto quote = line.find('"');
      if (space == std::string::npos || quote == std::string::npos) continue;
      current = &fields[line.substr(0, space)];
      *current = line.substr(quote + 1, line.size() - quote - 2);
    }
  }
  finish();
  return out;
}

// The original of an entry, for messages.
std::string original(const std::string &key) {
  std::string text = key.substr(key.find('\4') + 1);
  return text.substr(0, text.find('\4'));
}

// Every C and C++ source under the folders, relative to the top of the tree.
std::vector<std::string> sources_under(const std::vector<std::string> &folders) {
  std::vector<std::string> out;
  for (const auto &folder : folders) {
    for (const auto &item : fs::recursive_directory_iterator(source_root + "/" + folder)) {
      const auto ext = item.path().extension();
      if (item.is_regular_file() && (ext == ".c" || ext == ".cpp" || ext == ".h"))
        out.push_back(fs::relative(item.path(), source_root).string());
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<std::string> potfiles(const std::string &domain) {
  std::vector<std::string> out;
  std::istringstream lines(testsupport::read_file(source_root + "/po/" + domain + "/POTFILES"));
  for (std::string line; std::getline(lines, line);)
    if (!line.empty() && line[0] != '#') out.push_back(line);
  return out;
}

std::vector<std::string> split(const std::string &text, const std::string &sep) {
  std::vector<std::string> out;
  for (size_t at = 0;;) {
    const size_t next = text.find(sep, at);
    out.push_back(text.substr(at, next - at));
    if (next == std::string::npos) return out;
    at = next + sep.size();
  }
}

// The texts that xgettext finds in the sources with the domain's keywords.
Catalogue extract(const std::string &domain, const std::vector<std::string> &files) {
  testsupport::TempDir work;
  std::vector<std::string> argv = {"xgettext", "--from-code=UTF-8", "-D", source_root, "-o", work / "texts.pot"};
  for (const auto &keyword : split(XGETTEXT_KEYWORDS, "@@")) {
    const auto at = keyword.find(':');
    if (keyword.substr(0, at) == domain) argv.push_back(keyword.substr(at + 1));
  }
  argv.insert(argv.end(), files.begin(), files.end());
  const auto r = testsupport::run(argv);
  EXPECT_EQ(r.status, 0) << r.err;
  // No text at all gives no file.
  if (!fs::exists(work / "texts.pot")) return {};
  return read_catalogue(work / "texts.pot");
}

struct Domain {
  std::string name;
  std::vector<std::string> folders;  // where its code lives
} domains[] = {
    {"tullwerk", {"lib", "src"}},
    {"sero-4", {"sero", "sero-widgets", "sero-gtk3", "sero-gtk4", "tesk"}},
    {"zarfo", {"demo", "interface"}},
};

class Catalogues : public ::testing::TestWithParam<Domain> {};

TEST_P(Catalogues, EveryTextOfTheCodeIsListedAndTranslated) {
  const Domain &d = GetParam();
  const Catalogue code = extract(d.name, sources_under(d.folders));
  ASSERT_FALSE(code.empty()) << "no texts found for " << d.name;

  // The template is made from the files in POTFILES, so a source missing
  // there loses its texts on the next update.
  const Catalogue listed = extract(d.name, potfiles(d.name));
  for (const auto &[key, entry] : code)
    EXPECT_TRUE(listed.count(key)) << "\"" << original(key) << "\" of" << entry.locations
                                   << " comes from a file that POTFILES does not list";

  const Catalogue german = read_catalogue(source_root + "/po/" + d.name + "/de.po");
  for (const auto &[key, entry] : code) {
    const auto found = german.find(key);
    if (found == german.end()) {
      ADD_FAILURE() << "\"" << original(key) << "\" of" << entry.locations << " is not in de.po";
      continue;
    }
    EXPECT_FALSE(found->second.fuzzy) << "\"" << original(key) << "\" is fuzzy";
    for (const auto &translation : found->second.translations)
      EXPECT_FALSE(translation.empty()) << "\"" << original(key) << "\" is not translated";
  }
  for (const auto &[key, entry] : german)
    EXPECT_TRUE(code.count(key)) << "\"" << original(key) << "\" in de.po is no longer in the code";

  // Translations must keep their originals' directives, or a message
  // would read arguments that were never passed.
  const auto checked = testsupport::run({"msgfmt", "--check", "-o", "/dev/null",
                                         source_root + "/po/" + d.name + "/de.po"});
  EXPECT_EQ(checked.status, 0) << checked.err;
}

INSTANTIATE_TEST_SUITE_P(German, Catalogues, ::testing::ValuesIn(domains), [](const auto &info) {
  std::string name = info.param.name;
  name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
  return name;
});

}  // namespace
