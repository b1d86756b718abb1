// The command lines of browser shortcuts: their arguments, and the addresses among them. The
// shortcut files themselves are read and written through app/Shortcuts.h.
#pragma once

#include <string>
#include <vector>

#include "app/Shortcuts.h"

namespace mt {

// One argument of a command line with where it stands in the text: [begin, end) covers the
// argument as written, quotes included; `value` is what the program receives (the rules of
// CommandLineToArgvW for arguments after the program name).
struct CommandLineArgument {
  size_t begin = 0, end = 0;
  std::string value;
};
std::vector<CommandLineArgument> SplitArguments(const std::string& arguments);

// Whether a received argument opens a web address: a scheme that a browser navigates to
// ("http:", "https:", "ftp:", "file:" ...), "www." or a bare host name with a dot
// ("hao123.com/x"). Switches ("-x", "--x=...", "/x") and placeholders such as "%s" are not.
bool IsAddressArgument(const std::string& value);

// The arguments with every address removed, and the blanks before it, the rest kept as
// written. Firefox's switches that only take an address ("-url", "-new-tab",
// "-new-window") go with the address they introduce. `removed` receives the addresses.
std::string StripAddresses(const std::string& arguments, std::vector<std::string>* removed);

}  // namespace mt
