#include "support/json_check.h"

#include <cstring>

namespace zor::test {

namespace {

class Parser {
 public:
  Parser(const std::string& text, JsonMembers* members) : text_(text), members_(members) {}

  bool Document() {
    Space();
    if (Peek() != '{' || !Value()) return false;
    Space();
    return at_ == text_.size();
  }

 private:
  char Peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }
  bool Take(char c) {
    if (Peek() != c) return false;
    ++at_;
    return true;
  }
  void Space() {
    while (at_ < text_.size() && std::strchr(" \t\r\n", text_[at_]) != nullptr) ++at_;
  }
  bool Digits() {
    size_t start = at_;
    while (Peek() >= '0' && Peek() <= '9') ++at_;
    return at_ > start;
  }
  bool Word(const char* word) {
    if (text_.compare(at_, std::strlen(word), word) != 0) return false;
    at_ += std::strlen(word);
    return true;
  }

  bool String() {
    if (!Take('"')) return false;
    while (at_ < text_.size()) {
      unsigned char c = static_cast<unsigned char>(text_[at_++]);
      if (c == '"') return true;
      if (c < 0x20) return false;
      if (c != '\\') continue;
      char escape = Peek();
      ++at_;
      if (escape == 'u') {
        for (int i = 0; i < 4; ++i, ++at_) {
          if (std::strchr("0123456789abcdefABCDEF", Peek()) == nullptr || Peek() == '\0') {
            return false;
          }
        }
      } else if (escape == '\0' || std::strchr("\"\\/bfnrt", escape) == nullptr) {
        return false;
      }
    }
    return false;
  }

  bool Number() {
    Take('-');
    if (!Take('0') && !(Peek() >= '1' && Peek() <= '9' && Digits())) return false;
    if (Take('.') && !Digits()) return false;
    if (Take('e') || Take('E')) {
      if (!Take('+')) Take('-');
      if (!Digits()) return false;
    }
    return true;
  }

  // A sequence of `item`s between `open` and `close`, separated by commas.
  template <typename Item>
  bool Sequence(char open, char close, Item item) {
    if (!Take(open)) return false;
    Space();
    if (Take(close)) return true;
    do {
      Space();
      if (!item()) return false;
      Space();
    } while (Take(','));
    return Take(close);
  }

  bool Value() {
    if (++depth_ > kMaxDepth) return false;
    bool ok;
    switch (Peek()) {
      case '{':
        ok = Sequence('{', '}', [this] {
          size_t key = at_;
          if (!String()) return false;
          size_t keyEnd = at_;
          Space();
          if (!Take(':')) return false;
          Space();
          size_t value = at_;
          if (!Value()) return false;
          if (depth_ == 1 && members_ != nullptr) {
            (*members_)[Text(key, keyEnd)] = Text(value, at_);
          }
          return true;
        });
        break;
      case '[':
        ok = Sequence('[', ']', [this] { return Value(); });
        break;
      case '"':
        ok = String();
        break;
      case 't':
      case 'f':
      case 'n':
        ok = Word("true") || Word("false") || Word("null");
        break;
      default:
        ok = Number();
    }
    --depth_;
    return ok;
  }

  // The text from `begin` to `end`, without the quotes of a string.
  std::string Text(size_t begin, size_t end) const {
    if (text_[begin] == '"') return text_.substr(begin + 1, end - begin - 2);
    return text_.substr(begin, end - begin);
  }

  // Deeper than the SBOM reader takes, so that this check accepts all it does.
  static constexpr int kMaxDepth = 128;
  const std::string& text_;
  JsonMembers* members_;
  size_t at_ = 0;
  int depth_ = 0;
};

}  // namespace

bool ParseJsonObject(const std::string& text, JsonMembers* members) {
  return Parser(text, members).Document();
}

JsonMembers JsonObjectMembers(const std::string& text) {
  JsonMembers members;
  return ParseJsonObject(text, &members) ? members : JsonMembers();
}

}  // namespace zor::test
