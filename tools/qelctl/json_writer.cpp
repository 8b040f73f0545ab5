#include "json_writer.h"

#include <cmath>
#include <cstdio>

namespace qelctl {
namespace {

bool g_json = false;

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", u);
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace

bool JsonOutput() { return g_json; }
void SetJsonOutput(bool on) { g_json = on; }

void Json::Key(const char* key) {
  if (!first_) text_ += ',';
  first_ = false;
  if (key != nullptr) text_ += Quoted(key) + ':';
}

Json& Json::Open(const char* key, char bracket) {
  Key(key);
  text_ += bracket;
  first_ = true;
  return *this;
}

Json& Json::Close(char bracket) {
  text_ += bracket;
  first_ = false;
  return *this;
}

Json& Json::String(const char* key, const std::string& value) {
  Key(key);
  text_ += Quoted(value);
  return *this;
}

Json& Json::Integer(const char* key, std::int64_t value) {
  Key(key);
  text_ += std::to_string(value);
  return *this;
}

Json& Json::Number(const char* key, double value) {
  if (!std::isfinite(value)) return Null(key);
  Key(key);
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", value);
  text_ += text;
  return *this;
}

Json& Json::Bool(const char* key, bool value) {
  Key(key);
  text_ += value ? "true" : "false";
  return *this;
}

Json& Json::Null(const char* key) {
  Key(key);
  text_ += "null";
  return *this;
}

void Json::Print() const {
  std::printf("%s\n", text_.c_str());
  std::fflush(stdout);
}

}  // namespace qelctl
