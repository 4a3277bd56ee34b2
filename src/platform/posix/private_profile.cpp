// Private profile files: "[section]" lines and "key=value" lines, names compared without
// regard to case, as the two Windows calls read and write them.
#include "platform/posix/private_profile.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace mpegin::platform {
namespace {

std::string trim(const std::string& text) {
  const char* blanks = " \t\r\n";
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool same_name(const std::string& a, const char* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return i == a.size() && b[i] == '\0';
}

// The name of a "[name]" line, or false when the line is not a section header.
bool section_name(const std::string& line, std::string& name) {
  const std::string text = trim(line);
  if (text.size() < 2 || text.front() != '[') return false;
  const std::size_t close = text.find(']');
  if (close == std::string::npos) return false;
  name = trim(text.substr(1, close - 1));
  return true;
}

// Splits a "key=value" line; false for lines without '=' and for comments.
bool key_value(const std::string& line, std::string& key, std::string& value) {
  const std::string text = trim(line);
  if (text.empty() || text.front() == ';') return false;
  const std::size_t equals = text.find('=');
  if (equals == std::string::npos) return false;
  key = trim(text.substr(0, equals));
  value = trim(text.substr(equals + 1));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return true;
}

// A profile holds a few settings; anything larger is not read (nor rewritten), so that memory
// stays bounded whatever file sits at the profile's place.
constexpr off_t kMaxProfileBytes = 1 << 20;

// The lines of the profile; true with no lines when there is no file. False when a file is
// there but cannot be read whole: unreadable, not an ordinary file (a pipe would block, a
// device never end) or larger than kMaxProfileBytes.
bool read_lines(const std::string& path, std::vector<std::string>& lines) {
  lines.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT;
  struct stat status {};
  std::string text;
  bool ok = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size <= kMaxProfileBytes;
  if (ok) {
    text.resize(static_cast<std::size_t>(status.st_size));
    std::size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = ::read(fd, &text[done], text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    text.resize(done);  // a file that shrank meanwhile
  }
  ::close(fd);
  if (!ok) {
    errno = S_ISDIR(status.st_mode) ? EISDIR : S_ISREG(status.st_mode) ? EFBIG : EINVAL;
    return false;
  }
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return true;
}

// Creates the folder and its missing parents.
void make_folders(const std::string& folder) {
  for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    ::mkdir(folder.substr(0, slash).c_str(), 0777);
    if (slash == std::string::npos) return;
  }
}

bool write_all(int fd, const std::string& text) {
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Range [begin, end) of the lines of the first section with this name; begin is the header.
bool find_section(const std::vector<std::string>& lines, const char* section, std::size_t& begin,
                  std::size_t& end) {
  std::string name;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (!section_name(lines[i], name) || !same_name(name, section)) continue;
    begin = i;
    end = i + 1;
    while (end < lines.size() && !section_name(lines[end], name)) ++end;
    return true;
  }
  return false;
}

// Windows reads the leading decimal digits; text that starts otherwise (a sign included)
// reads as 0.
uint32_t leading_number(const std::string& text) {
  uint32_t number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    number = number * 10u + static_cast<uint32_t>(c - '0');
  }
  return number;
}

// A failed write leaves its reason in errno, never 0.
bool failed(int error) {
  errno = error != 0 ? error : EIO;
  return false;
}

std::string home_directory() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return home;
  const passwd* entry = getpwuid(getuid());
  return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : ".";
}

}  // namespace

namespace posix {

std::string profile_path(const char* file_name) {
  const std::string name = file_name != nullptr ? file_name : "";
  if (name.find('/') != std::string::npos) return name;
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const std::string folder = config != nullptr && config[0] != '\0' ? config : home_directory() + "/.config";
  return folder + "/" + name;
}

}  // namespace posix

uint32_t profile_get_int(const char* section, const char* key, int32_t default_value, const char* file_name) {
  if (section == nullptr || key == nullptr || file_name == nullptr) return static_cast<uint32_t>(default_value);
  std::vector<std::string> lines;
  std::size_t begin = 0, end = 0;
  if (read_lines(posix::profile_path(file_name), lines) && find_section(lines, section, begin, end)) {
    std::string name, value;
    for (std::size_t i = begin + 1; i < end; ++i) {
      if (key_value(lines[i], name, value) && same_name(name, key)) return leading_number(value);
    }
  }
  return static_cast<uint32_t>(default_value);
}

bool profile_write_string(const char* section, const char* key, const char* value, const char* file_name) {
  if (section == nullptr || key == nullptr || value == nullptr || file_name == nullptr) return false;
  const std::string path = posix::profile_path(file_name);
  std::vector<std::string> lines;
  if (!read_lines(path, lines)) return failed(errno);  // never replace a profile not read whole
  const std::string entry = std::string(key) + "=" + value;
  std::size_t begin = 0, end = 0;
  if (!find_section(lines, section, begin, end)) {
    if (!lines.empty() && !trim(lines.back()).empty()) lines.emplace_back();
    lines.push_back(std::string("[") + section + "]");
    lines.push_back(entry);
  } else {
    std::string name, old_value;
    std::size_t insert_at = begin + 1;
    bool replaced = false;
    for (std::size_t i = begin + 1; i < end && !replaced; ++i) {
      if (!key_value(lines[i], name, old_value)) continue;
      if (same_name(name, key)) {
        lines[i] = entry;
        replaced = true;
      }
      insert_at = i + 1;
    }
    if (!replaced) lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insert_at), entry);
  }

  // Write a new file beside the old one and put it in place, so that a failed write never
  // leaves half a profile behind.
  const std::size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) make_folders(path.substr(0, slash));
  const std::string temporary = path + ".new" + std::to_string(getpid());
  std::string text;
  for (const std::string& line : lines) text += line + '\n';
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return failed(errno);
  errno = 0;
  const bool written = write_all(fd, text);
  if (::close(fd) != 0 || !written || std::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    std::remove(temporary.c_str());
    return failed(error);
  }
  return true;
}

}  // namespace mpegin::platform
