// The compiled help file as a help viewer sees it, read through the system's
// own reader of compiled help (the "its:" protocol), which opens only a real
// compiled help file.
#pragma once
#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace zvtest {

// The help file the build puts beside the library, one folder above the test executables.
std::wstring BuiltHelpFile();
// A file the built help file holds at its root ("#SYSTEM", "index.html"); nullopt when it holds none.
std::optional<std::string> ReadFromHelpFile(const std::wstring& name);
// A text of the help file's system record: 0 its table of contents, 2 the page the viewer opens first.
std::string HelpSystemText(uint16_t code);
// The built help file holds the topic at its root; a failure says which.
testing::AssertionResult BuiltHelpHolds(const std::wstring& topic);

}  // namespace zvtest
