#include "tools/tool_util.h"

#include <iconv.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "sys/text.h"
#include "sys/ui.h"

std::optional<std::vector<uint8_t>> readWholeFile(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return std::nullopt;
  std::vector<uint8_t> bytes;
  uint8_t chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  if (!ok) return std::nullopt;
  return bytes;
}

namespace {

// The one temporary file being written, for a signal to remove.
struct GuardedTemporary {
  char path[4096] = "";
  bool active = false;
  struct sigaction before[3];
};
GuardedTemporary guarded;
constexpr int kGuardedSignals[3] = {SIGINT, SIGTERM, SIGHUP};

void removeTemporaryAndDie(int signal) {
  if (guarded.path[0]) unlink(guarded.path);
  std::signal(signal, SIG_DFL);
  raise(signal);
}

}  // namespace

bool guardTemporaryFile(const std::string& path) {
  if (path.size() >= sizeof guarded.path) return false;
  std::strcpy(guarded.path, path.c_str());
  if (guarded.active) return true;
  struct sigaction onSignal = {};
  onSignal.sa_handler = removeTemporaryAndDie;
  for (int k = 0; k < 3; ++k) sigaction(kGuardedSignals[k], &onSignal, &guarded.before[k]);
  guarded.active = true;
  return true;
}

void releaseTemporaryFile() {
  guarded.path[0] = '\0';
  if (!guarded.active) return;
  for (int k = 0; k < 3; ++k) sigaction(kGuardedSignals[k], &guarded.before[k], nullptr);
  guarded.active = false;
}

bool writeWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  // Under a name of its own until complete: a failed write never leaves half a file
  // where the finished one belongs, nor costs the one that was there.
  std::string partial = path + ".partial-" + std::to_string(getpid());
  if (!guardTemporaryFile(partial)) return false;
  FILE* f = std::fopen(partial.c_str(), "wb");
  bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (f) ok = std::fclose(f) == 0 && ok;
  ok = ok && std::rename(partial.c_str(), path.c_str()) == 0;
  if (!ok) std::remove(partial.c_str());
  releaseTemporaryFile();
  return ok;
}

namespace {

std::optional<std::string> convert(std::string_view in, const char* from, const char* to) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out(in.size() * 4 + 16, '\0');
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char* dst = out.data();
  size_t dstLeft = out.size();
  size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1)) return std::nullopt;
  out.resize(out.size() - dstLeft);
  return out;
}

const char* iconvName(unsigned codePage) { return codePage == 932 ? "CP932" : "CP1252"; }

}  // namespace

std::optional<std::string> codePageToUtf8(std::string_view bytes, unsigned codePage) {
  return convert(bytes, iconvName(codePage), "UTF-8");
}

std::optional<std::string> utf8ToCodePage(std::string_view text, unsigned codePage) {
  return convert(text, "UTF-8", iconvName(codePage));
}

bool validUtf8(std::string_view s) { return sys::validUtf8(s.data(), static_cast<int>(s.size())); }

bool isAscii(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

unsigned guessCodePage(const std::vector<std::string_view>& texts) {
  bool anyHigh = false;
  for (std::string_view t : texts) {
    for (char c : t) anyHigh |= static_cast<unsigned char>(c) >= 0x80;
    if (!codePageToUtf8(t, 932)) return 1252;
  }
  return anyHigh ? 932 : 1252;
}

bool takeOption(int argc, char** argv, int& i, std::string_view name, std::string& value) {
  std::string_view arg = argv[i];
  if (arg == name) {
    if (i + 1 >= argc) return false;
    value = argv[i + 1];
    i += 2;
    return true;
  }
  if (arg.size() > name.size() && arg.substr(0, name.size()) == name && arg[name.size()] == '=') {
    value = std::string(arg.substr(name.size() + 1));
    i += 1;
    return true;
  }
  return false;
}

int usageError(const char* command, const std::string& why, const char* usage) {
  std::fprintf(stderr, "zaroza %s: %s\n%s", command, why.c_str(), usage);
  return 2;
}

std::string toolFolder() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "";
  std::string path(buf, static_cast<size_t>(n));
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

int parseFileArguments(int argc, char** argv, const char* command, const char* usage,
                       std::initializer_list<ValueOption> options, FileArguments& out) {
  for (int i = 1; i < argc;) {
    std::string_view a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(usage, stdout);
      return 0;
    }
    if (takeOption(argc, argv, i, "--codepage", out.codePage)) continue;
    bool taken = false;
    for (const ValueOption& o : options)
      if (!taken && takeOption(argc, argv, i, o.name, *o.value)) taken = true;
    if (taken) continue;
    if ((a.size() > 1 && a[0] == '-') || !out.file.empty()) {
      std::fprintf(stderr, "zaroza %s: unexpected argument '%s'\n%s", command, argv[i], usage);
      return 2;
    }
    out.file = argv[i++];
  }
  if (out.file.empty()) {
    std::fputs(usage, stderr);
    return 2;
  }
  if (!out.codePage.empty() && out.codePage != "932" && out.codePage != "1252") {
    std::fprintf(stderr, "zaroza %s: --codepage takes 932 or 1252\n", command);
    return 2;
  }
  return -1;
}

int parseArguments(int argc, char** argv, const char* command, const char* usage,
                   std::initializer_list<ValueOption> values, std::initializer_list<FlagOption> flags,
                   std::vector<std::string>& paths) {
  bool optionsEnd = false;
  for (int i = 1; i < argc;) {
    std::string_view a = argv[i];
    if (!optionsEnd) {
      if (a == "--help" || a == "-h") {
        std::fputs(usage, stdout);
        return 0;
      }
      bool taken = false;
      for (const ValueOption& o : values)
        if (!taken && takeOption(argc, argv, i, o.name, *o.value)) taken = true;
      if (taken) continue;
      for (const FlagOption& f : flags)
        if (!taken && a == f.name) taken = *f.value = true;
      optionsEnd = a == "--";
      if (taken || optionsEnd) {
        ++i;
        continue;
      }
      if (a.size() > 1 && a[0] == '-') return usageError(command, "unknown option '" + std::string(a) + "'", usage);
    }
    paths.emplace_back(a);
    ++i;
  }
  return -1;
}

namespace {

struct ProgressBar {
  bool enabled = false;
  uint64_t totalKib = 0;
  int lastShown = -1;
  std::chrono::steady_clock::time_point lastDraw;
};
ProgressBar progressBar;

void drawProgress(uint32_t kibRead) {
  ProgressBar& p = progressBar;
  if (!p.enabled || p.totalKib == 0) return;
  int percent = static_cast<int>(uint64_t{kibRead} * 100 / p.totalKib);
  if (percent > 100) percent = 100;
  auto now = std::chrono::steady_clock::now();
  if (percent == p.lastShown || now - p.lastDraw < std::chrono::milliseconds(100)) return;
  p.lastShown = percent;
  p.lastDraw = now;
  char bar[41];
  int filled = percent * 40 / 100;
  for (int k = 0; k < 40; ++k) bar[k] = k < filled ? '#' : '.';
  bar[40] = '\0';
  std::fprintf(stderr, "\r[%s] %3d%%", bar, percent);
  std::fflush(stderr);
}

}  // namespace

void startProgressBar(int64_t archiveBytes, bool allowed) {
  progressBar = ProgressBar{};
  progressBar.enabled = allowed && isatty(fileno(stderr)) && archiveBytes >= (4 << 20);
  progressBar.totalKib = archiveBytes > 0 ? static_cast<uint64_t>(archiveBytes) / 1024 : 0;
  sys::setProgressHook(drawProgress);
}

void clearProgressLine() {
  if (progressBar.enabled && progressBar.lastShown >= 0) {
    std::fprintf(stderr, "\r%50s\r", "");
    progressBar.lastShown = -1;
  }
}

void stopProgressBar() {
  clearProgressLine();
  sys::setProgressHook(nullptr);
}
