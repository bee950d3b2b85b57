#include "base/strings.h"
#include "locate/vdf.h"

#include "platform/paths.h"

namespace quorlin {

namespace {

enum class Token { End, Open, Close, Text, Bad };

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// Splits the text into braces and strings. Every read is checked against the
// end of the view: the text is not assumed to end in a zero.
class VdfTokens {
 public:
  explicit VdfTokens(std::string_view text) : text_(text) {
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;
  }

  Token Next(std::string& out) {
    SkipSpaceAndComments();
    if (pos_ >= text_.size()) return Token::End;
    const char first = text_[pos_];
    if (first == '{' || first == '}') {
      ++pos_;
      return first == '{' ? Token::Open : Token::Close;
    }
    out.clear();
    if (first == '"') return Quoted(out);
    while (pos_ < text_.size()) {
      const char c = text_[pos_];
      if (IsSpace(c) || c == '"' || c == '{' || c == '}') break;
      out.push_back(c);
      ++pos_;
    }
    return Token::Text;
  }

 private:
  void SkipSpaceAndComments() {
    while (pos_ < text_.size()) {
      if (IsSpace(text_[pos_])) {
        ++pos_;
      } else if (text_.compare(pos_, 2, "//") == 0) {
        const size_t newline = text_.find('\n', pos_);
        pos_ = newline == std::string_view::npos ? text_.size() : newline + 1;
      } else {
        break;
      }
    }
  }

  Token Quoted(std::string& out) {
    ++pos_;  // the opening quote
    while (pos_ < text_.size()) {
      const char c = text_[pos_++];
      if (c == '"') return Token::Text;
      if (c != '\\' || pos_ >= text_.size()) {
        out.push_back(c);
        continue;
      }
      constexpr std::string_view kLetters = "ntr\\\"", kMeant = "\n\t\r\\\"";
      const size_t k = kLetters.find(text_[pos_]);
      // Not an escape: the backslash stays, the next character is read as usual.
      if (k == std::string_view::npos) {
        out.push_back('\\');
        continue;
      }
      out.push_back(kMeant[k]);
      ++pos_;
    }
    return Token::Bad;  // the text ended inside the string
  }

  std::string_view text_;
  size_t pos_ = 0;
};

// Reads keys until the end of the text (top level) or the "}" closing a block.
bool ReadKeys(VdfTokens& tokens, std::vector<VdfNode>& out, int depth) {
  std::string text;
  for (;;) {
    Token token = tokens.Next(text);
    if (token == Token::End) return depth == 0;
    if (token == Token::Close) return depth > 0;
    if (token != Token::Text) return false;
    VdfNode node;
    node.Key = std::move(text);
    token = tokens.Next(text);
    if (token == Token::Text) {
      node.Value = std::move(text);
    } else if (token == Token::Open && depth < kVdfMaxDepth) {
      node.Block = true;
      if (!ReadKeys(tokens, node.Children, depth + 1)) return false;
    } else {
      return false;
    }
    out.push_back(std::move(node));
  }
}

bool IsNumber(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

std::optional<std::vector<VdfNode>> ParseVdf(std::string_view text) {
  VdfTokens tokens(text);
  std::vector<VdfNode> keys;
  if (!ReadKeys(tokens, keys, 0)) return std::nullopt;
  return keys;
}

std::vector<std::string> SteamLibraryFolders(std::string_view text) {
  std::vector<std::string> folders;
  const auto keys = ParseVdf(text);
  if (!keys) return folders;
  for (const VdfNode& top : *keys) {
    if (!top.Block || LowerAscii(top.Key) != "libraryfolders") continue;
    for (const VdfNode& library : top.Children) {
      if (!IsNumber(library.Key)) continue;
      if (!library.Block) {
        if (!library.Value.empty()) folders.push_back(library.Value);
        continue;
      }
      for (const VdfNode& field : library.Children) {
        if (!field.Block && LowerAscii(field.Key) == "path") {
          if (!field.Value.empty()) folders.push_back(field.Value);
          break;
        }
      }
    }
    break;  // only the first such block counts
  }
  return folders;
}

}  // namespace quorlin
