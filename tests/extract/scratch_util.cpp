#include "extract/scratch_util.h"

#include <cstdio>

#include "sys/fs.h"

namespace {

void snapshotInto(const std::string& root, const std::string& relative,
                  std::map<std::string, TreeEntry>* tree) {
  sys::FindData found;
  sys::FindHandle find = sys::findFirstFile((root + relative + "*.*").c_str(), &found);
  if (!find) return;
  do {
    std::string name = found.name;
    if (name == "." || name == "..") continue;
    TreeEntry entry{(found.attributes & sys::kAttrDirectory) != 0, found.attributes, ""};
    std::string key = relative + name;
    if (entry.isFolder) {
      (*tree)[key + "\\"] = entry;
      snapshotInto(root, key + "\\", tree);
    } else {
      readFileText(root + key, &entry.content);
      (*tree)[key] = entry;
    }
  } while (sys::findNextFile(find, &found));
  sys::findClose(find);
}

}  // namespace

std::map<std::string, TreeEntry> snapshotTree(const std::string& folder) {
  std::map<std::string, TreeEntry> tree;
  snapshotInto(folder, "", &tree);
  return tree;
}

void removeTree(const std::string& folder) {
  if (folder.empty()) return;
  std::string own = folder.back() == '\\' ? folder : folder + "\\";
  sys::FindData found;
  sys::FindHandle find = sys::findFirstFile((own + "*.*").c_str(), &found);
  if (find) {
    do {
      std::string name = found.name;
      if (name == "." || name == "..") continue;
      std::string path = own + name;
      sys::setFileAttributes(path.c_str(), sys::kAttrNormal);
      if (found.attributes & sys::kAttrDirectory) removeTree(path);
      else sys::deleteFile(path.c_str());
    } while (sys::findNextFile(find, &found));
    sys::findClose(find);
  }
  sys::setFileAttributes(own.c_str(), sys::kAttrNormal);
  sys::removeDirectory(own.c_str());
}

bool writeFileText(const std::string& path, const std::string& content) {
  FILE* f = sys::openFile(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(content.data(), 1, content.size(), f) == content.size();
  return std::fclose(f) == 0 && ok;
}

bool readFileText(const std::string& path, std::string* content) {
  FILE* f = sys::openFile(path.c_str(), "rb");
  if (!f) return false;
  content->clear();
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) content->append(buffer, n);
  std::fclose(f);
  return true;
}

bool exists(const std::string& path) {
  return sys::getFileAttributes(path.c_str()) != sys::kInvalidAttributes;
}

bool makeFolder(const std::string& path) { return sys::createDirectory(path.c_str()); }
