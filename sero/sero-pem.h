// Finding the blocks of PEM text: -----BEGIN LABEL----- ... -----END LABEL-----.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sero::pem {

struct Block {
  std::string label;
  std::string contents;  // decoded bytes, empty when damaged
  bool damaged = false;
  std::string problem;   // why it is damaged
};

// Whether the text holds the start of a PEM block at all.
bool looks_like_pem (std::string_view text);

// Every block in the text, in order; text outside blocks is ignored.
std::vector<Block> blocks (std::string_view text);

}  // namespace sero::pem
