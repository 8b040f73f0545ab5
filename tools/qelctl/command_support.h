// What every qelctl command shares: the deferred action a subcommand leaves
// behind, the failures that end a command with an exit code, and the parsing
// of numbers given on the command line.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

namespace qelctl {

// Exit codes of the process.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailed = 1;  // a library call failed
inline constexpr int kExitUsage = 2;   // the command line was wrong

// A subcommand's callback does no work itself: it leaves the work here, to be
// run once the whole command line has been parsed and the platform set up.
using Action = std::function<int()>;

// Ends a command: the message is printed after "qelctl: " and the process
// exits with the code.
class CommandError : public std::runtime_error {
 public:
  CommandError(int exitCode, const std::string& message)
      : std::runtime_error(message), exitCode_(exitCode) {}
  int exitCode() const { return exitCode_; }

 private:
  int exitCode_;
};

// A library call returned failure; detail, when given, follows in brackets.
CommandError CallFailed(const std::string& call, const std::string& detail = "");
// Where CallFailed finds the reason the library gives for the calling
// thread's last failure (the tool reads the library's last error).
void SetFailureReasonSource(std::string (*source)());
// The command line asked for something that cannot be done.
CommandError UsageError(const std::string& message);

// Parses a whole decimal integer or a "0x" hexadecimal one, optionally
// negative, within [min, max]; what names the value in the error message.
// Leading zeros are decimal (no octal).
std::int64_t ParseInteger(const std::string& text, std::int64_t min, std::int64_t max,
                          const std::string& what);
// The same, naming what is accepted in words on failure ("0..64",
// "lines, the camera's shutter range").
std::int64_t ParseInteger(const std::string& text, std::int64_t min, std::int64_t max,
                          const std::string& what, const std::string& accepts);
// Parses a whole decimal number (no infinities or NaN).
double ParseNumber(const std::string& text, const std::string& what);
// "on"/"off", "1"/"0".
bool ParseSwitch(const std::string& text, const std::string& what);

// "0x%0*X" with digits hexadecimal digits.
std::string Hex(std::uint32_t value, int digits);
// The text in lower case (ASCII letters only: file extensions, host names).
std::string Lower(std::string text);

// Whether standard output / error is a terminal (live progress lines redraw
// in place).
bool StdoutIsTerminal();
bool StderrIsTerminal();

// Equal but for the case of ASCII letters.
bool SameText(const std::string& a, const std::string& b);
// A capture format's name in its usual spelling ("yuy2" is YUY2); a name the
// tool does not know is returned as given.
std::string CanonicalFormat(const std::string& name);

}  // namespace qelctl
