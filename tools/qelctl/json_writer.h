// A small JSON writer for --json: objects and arrays written as they are
// built, strings escaped, numbers as given. The caller nests correctly.
#pragma once

#include <cstdint>
#include <string>

namespace qelctl {

class Json {
 public:
  Json& BeginObject(const char* key = nullptr) { return Open(key, '{'); }
  Json& EndObject() { return Close('}'); }
  Json& BeginArray(const char* key = nullptr) { return Open(key, '['); }
  Json& EndArray() { return Close(']'); }
  Json& String(const char* key, const std::string& value);
  Json& Integer(const char* key, std::int64_t value);
  Json& Number(const char* key, double value);
  Json& Bool(const char* key, bool value);
  Json& Null(const char* key);

  const std::string& text() const { return text_; }
  // Prints the document and a new line on standard output.
  void Print() const;

 private:
  Json& Open(const char* key, char bracket);
  Json& Close(char bracket);
  void Key(const char* key);

  std::string text_;
  bool first_ = true;
};

// Whether --json was given: commands print one JSON document on standard
// output, and what they say on the way goes to standard error.
bool JsonOutput();
void SetJsonOutput(bool on);

}  // namespace qelctl
