// Test helpers: scratch folders as path texts, tree snapshots through the file seam, and
// the messages the core shows.
#pragma once
#include <map>
#include <string>
#include <vector>

// A new empty folder as a path text ending in a backslash ("Z:\tmp\zarozaXXXXXX\" natively,
// below GetTempPath on Windows). Empty on failure.
std::string makeScratchFolder();
// Removes a folder and everything in it (read-only entries included).
void removeTree(const std::string& folder);

// The network form of a scratch folder when the platform can name it ("\\tmp\zaroza...\"
// natively, where "//tmp" is "/tmp"); empty when it cannot.
std::string networkFormOf(const std::string& folder);

struct TreeEntry {
  bool isFolder;
  unsigned attributes;
  std::string content;
};
// Every file and folder below `folder` (ending in a backslash), keyed by relative path.
std::map<std::string, TreeEntry> snapshotTree(const std::string& folder);

bool writeFileText(const std::string& path, const std::string& content);
bool readFileText(const std::string& path, std::string* content);
bool exists(const std::string& path);
bool makeFolder(const std::string& path);

// Messages shown through sys::messageBox while a capture runs. The POSIX side uses the
// message hook; the Windows side closes each box with OK and reads its text.
struct ShownMessage {
  std::string text;
  std::string caption;
};
void startMessageCapture();
std::vector<ShownMessage> stopMessageCapture();
