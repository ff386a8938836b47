// The compiled help file as a help viewer sees it: the names of the files it
// holds, its table of contents and its first page. Read from the file's own
// directory (ITSF header, ITSP directory, PMGL listing chunks) and system
// record, so a file that only looks like one fails.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zvtest {

struct TChmDirectory {
  std::vector<std::string> Names;  // as stored, from the root: "/index.html", "/#SYSTEM", ...
  std::string ContentsFile;        // from the system record: the table of contents ("" when it names none)
  std::string DefaultTopic;        // and the page the viewer opens first
};

// Raises std::runtime_error naming what is wrong when the file is no compiled help file.
TChmDirectory ReadChmDirectory(const std::wstring& path);

// The help file the build puts beside the library, one folder above the test executables.
std::wstring BuiltHelpFile();
// The built help file holds the topic at its root, under exactly that name;
// a failure says what is wrong instead of raising, so a test goes on.
testing::AssertionResult BuiltHelpHolds(const std::wstring& topic);

}  // namespace zvtest
