// One argument of a command line, quoted so that the C runtime and CommandLineToArgvW give it
// back unchanged: in double quotes, a run of backslashes doubled where a quote follows it (the
// closing one included), and every embedded quote escaped. Always quoted, so blanks and an
// empty argument survive too. Works on UTF-8 and on UTF-16 text alike.
#pragma once

#include <string>

namespace mt {

std::string QuoteArgument(const std::string& argument);
std::wstring QuoteArgument(const std::wstring& argument);

}  // namespace mt
