// The program's one exception type. Services throw it with the message text the user sees;
// every window procedure, dialog procedure and thread entry catches it at its boundary.
#pragma once

#include <stdexcept>
#include <string>

namespace mt {

class AppError : public std::runtime_error {
 public:
  explicit AppError(const std::string& message) : std::runtime_error(message) {}
};

// Replaces the first "%s" of `pattern` with `arg` ("Invalid data type for '%s'").
std::string FormatMessage1(const std::string& pattern, const std::string& arg);
// Replaces the first two "%s" of `pattern` in turn ("Cannot open file \"%s\". %s").
std::string FormatMessage2(const std::string& pattern, const std::string& a, const std::string& b);

// The text of the general error report: the message, with a full stop added when it ends in
// a letter, a digit or a Chinese character.
std::string ErrorReportText(const std::string& message);

}  // namespace mt
