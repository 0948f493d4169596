// hoardel-rar: lists, tests, extracts and packs RAR 2.0 archives. Extraction goes through
// the same reader the program uses.
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <strings.h>
#include <vector>

#include "archive_writer.h"
#include "media/archive_reader.h"
#include "media/archive_walk.h"
#include "media/media_archive.h"

namespace {

const char* kUsage =
    "usage: hoardel-rar list ARCHIVE\n"
    "       hoardel-rar test ARCHIVE\n"
    "       hoardel-rar extract ARCHIVE MEMBER [-o FILE]\n"
    "       hoardel-rar pack [--solid] [--store] [--multimedia[=N]] [--level N] ARCHIVE (FILE | NAME=FILE | DIR/)...\n"
    "\n"
    "pack: FILE is stored under its base name; NAME=FILE under NAME ('/' becomes '\\');\n"
    "DIR/ (or NAME=DIR/) adds a directory entry and everything below it, sorted by name\n"
    "without regard to case. --level 0..5 (default 3; method 0x30 + level, 0 stores),\n"
    "--multimedia codes every member with the audio predictor (=N fixes 1..4 channels);\n"
    "without it multimedia blocks are used where they code shorter.\n";

int Fail(const std::string& message, int status = 1) {
  std::fprintf(stderr, "hoardel-rar: %s\n", message.c_str());
  return status;
}

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>* data, std::string* error) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    *error = "cannot open '" + path + "': " + std::strerror(errno);
    return false;
  }
  data->clear();
  // A regular file is read in one piece into a buffer of its size; anything else grows.
  struct stat st {};
  if (fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
    data->resize(static_cast<std::size_t>(st.st_size));
    data->resize(std::fread(data->data(), 1, data->size(), f));
  }
  std::uint8_t buf[1 << 16];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data->insert(data->end(), buf, buf + n);
  bool bad = std::ferror(f);
  std::fclose(f);
  if (bad) {
    *error = "cannot read '" + path + "'";
    return false;
  }
  return true;
}

bool WriteWholeFile(const std::string& path, const std::uint8_t* data, std::size_t size, std::string* error) {
  if (path == "-") {
    if (size && std::fwrite(data, 1, size, stdout) != size) {
      *error = "cannot write to standard output";
      return false;
    }
    return std::fflush(stdout) == 0;
  }
  std::string tmp = path + ".tmp" + std::to_string(getpid());
  std::FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) {
    *error = "cannot create '" + tmp + "': " + std::strerror(errno);
    return false;
  }
  bool ok = (size == 0 || std::fwrite(data, 1, size, f) == size);
  ok = (std::fclose(f) == 0) && ok;
  if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::remove(tmp.c_str());
    *error = "cannot write '" + path + "'";
    return false;
  }
  return true;
}

// An archive's bytes: a regular file is mapped (no copy, no fresh pages to fault in), any
// other file is read.
class ArchiveBytes {
 public:
  ArchiveBytes() = default;
  ArchiveBytes(const ArchiveBytes&) = delete;
  ArchiveBytes& operator=(const ArchiveBytes&) = delete;
  ~ArchiveBytes() {
    if (mapped_) munmap(mapped_, size_);
  }
  bool Load(const std::string& path, std::string* error) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
        static_cast<std::uint64_t>(st.st_size) >= 0xFFFFFFFFull) {
      close(fd);
      *error = "'" + path + "' is too large";
      return false;
    }
    if (fd >= 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
      void* p = mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
      if (p != MAP_FAILED) {
        close(fd);
        mapped_ = p;
        size_ = static_cast<std::size_t>(st.st_size);
        return true;
      }
    }
    if (fd >= 0) close(fd);
    if (!ReadWholeFile(path, &read_, error)) return false;
    size_ = read_.size();
    if (size_ >= 0xFFFFFFFFull) {
      *error = "'" + path + "' is too large";
      return false;
    }
    return true;
  }
  const std::uint8_t* data() const { return mapped_ ? static_cast<const std::uint8_t*>(mapped_) : read_.data(); }
  std::size_t size() const { return size_; }

 private:
  void* mapped_ = nullptr;
  std::size_t size_ = 0;
  std::vector<std::uint8_t> read_;
};

bool LoadArchive(const std::string& path, ArchiveBytes* data, std::string* error) { return data->Load(path, error); }

std::string Hex32(std::uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "%08X", v);
  return b;
}

const char* BlockName(std::uint8_t type) {
  switch (type) {
    case 0x72: return "marker";
    case 0x73: return "main header";
    case 0x74: return "file";
    case 0x75: return "comment";
    case 0x76: return "authenticity";
    case 0x77: return "sub-block";
    case 0x78: return "recovery record";
    case 0x7A: return "service";
    case 0x7B: return "end of archive";
    default: return "unknown";
  }
}

int CmdList(const std::string& path) {
  ArchiveBytes data;
  std::string error;
  if (!LoadArchive(path, &data, &error)) return Fail(error);
  MediaArchive archive{data.data(), static_cast<std::uint32_t>(data.size()), 0};
  bool solid = false;
  if (!media::ReadArchiveStart(archive, &solid)) return Fail("'" + path + "' is not a RAR archive");
  std::printf("Archive %s (%s)\n", path.c_str(), solid ? "solid" : "not solid");
  std::printf("%10s %10s %6s %3s %5s %-8s  %s\n", "Unpacked", "Packed", "Method", "Ver", "Solid", "CRC-32", "Name");
  int files = 0;
  std::uint64_t unpacked = 0, packed = 0;
  for (;;) {
    std::uint32_t at = archive.offset;
    std::uint8_t raw[11] = {};
    MediaArchive peek = archive;
    if (ReadArchive(peek, raw, 7) != 7) break;
    std::uint8_t type = raw[2];
    std::uint16_t flags = static_cast<std::uint16_t>(raw[3] | (raw[4] << 8));
    std::uint16_t headSize = static_cast<std::uint16_t>(raw[5] | (raw[6] << 8));
    if (headSize < 7) break;
    if (type == media::kBlockFile) {
      media::ArchiveBlock b;
      if (media::ScanNextFileBlock(archive, &b) != media::ScanResult::kFile) break;
      const auto& h = b.header;
      ++files;
      unpacked += h.unpSize;
      packed += h.packSize;
      std::printf("%10u %10u %#6x %3u %5s %-8s  %s%s\n", h.unpSize, h.packSize, h.method, h.unpVer,
                  (h.flags & media::kFileSolid) ? "yes" : "no", Hex32(h.fileCrc).c_str(), b.name,
                  h.IsDirectory() ? "  (directory)" : (h.flags & media::kFileEncrypted) ? "  (encrypted)" : "");
      media::SeekArchive(archive, b.next);
      continue;
    }
    std::uint64_t next = std::uint64_t{at} + headSize;
    std::uint32_t extra = 0;
    if ((flags & media::kLongBlock) && ReadArchive(peek, raw + 7, 4) == 4) {
      extra = raw[7] | (raw[8] << 8) | (raw[9] << 16) | (static_cast<std::uint32_t>(raw[10]) << 24);
      next += extra;
    }
    std::printf("%10s %10u %6s %3s %5s %-8s  [%s block 0x%02X]\n", "", extra, "", "", "", "", BlockName(type), type);
    if (type == media::kBlockSub || type == media::kBlockEnd) break;
    media::SeekArchive(archive, next);
  }
  std::printf("%10llu %10llu  %d file block(s)\n", static_cast<unsigned long long>(unpacked),
              static_cast<unsigned long long>(packed), files);
  return 0;
}

int CmdTest(const std::string& path) {
  ArchiveBytes data;
  std::string error;
  if (!LoadArchive(path, &data, &error)) return Fail(error);
  int ok = 0, bad = 0;
  bool isArchive = media::WalkArchive(data.data(), static_cast<std::uint32_t>(data.size()), true,
                                      [&](const media::WalkedMember& m) {
                                        const auto& h = m.block.header;
                                        if (h.IsDirectory()) {
                                          std::printf("%-28s %s\n", "directory", m.block.name);
                                          return;
                                        }
                                        bool good = m.status == media::MemberStatus::kOk;
                                        (good ? ok : bad)++;
                                        std::printf("%-28s %s  (CRC %s, stored %s)\n",
                                                    media::MemberStatusText(m.status), m.block.name,
                                                    Hex32(m.crc).c_str(), Hex32(h.fileCrc).c_str());
                                      });
  if (!isArchive) return Fail("'" + path + "' is not a RAR archive");
  std::printf("%d OK, %d failed\n", ok, bad);
  return bad == 0 ? 0 : 1;
}

std::string BaseName(const std::string& name) {
  std::size_t cut = name.find_last_of("\\/");
  return cut == std::string::npos ? name : name.substr(cut + 1);
}

int CmdExtract(const std::vector<std::string>& args) {
  std::string path, member, output;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-o") {
      if (i + 1 >= args.size()) return Fail("-o needs a file name", 2);
      output = args[++i];
    } else if (path.empty()) {
      path = args[i];
    } else if (member.empty()) {
      member = args[i];
    } else {
      return Fail(std::string("unexpected argument '") + args[i] + "'\n" + kUsage, 2);
    }
  }
  if (path.empty() || member.empty()) return Fail(std::string("extract needs ARCHIVE and MEMBER\n") + kUsage, 2);
  if (output.empty()) output = BaseName(member);
  if (output.empty()) return Fail("give an output file with -o", 2);
  ArchiveBytes data;
  std::string error;
  if (!LoadArchive(path, &data, &error)) return Fail(error);
  MediaArchive archive{data.data(), static_cast<std::uint32_t>(data.size()), 0};
  unsigned char* buffer = nullptr;
  std::uint32_t length = 0;
  if (!ExtractArchiveMember(&buffer, &length, member.c_str(), &archive, nullptr)) {
    // Say why: walk the archive the way a test does and report the member's state.
    std::string why = "no member of that name";
    bool found = false;
    bool isArchive = media::WalkArchive(data.data(), static_cast<std::uint32_t>(data.size()), true,
                                        [&](const media::WalkedMember& m) {
                                          if (found || !MediaNamesMatch(m.block.name, member.c_str())) return;
                                          found = true;
                                          why = media::MemberStatusText(m.status);
                                          if (m.status == media::MemberStatus::kOk) why = "an earlier member is damaged";
                                        });
    if (!isArchive) why = "not a RAR archive";
    return Fail("cannot extract '" + member + "' from '" + path + "': " + why);
  }
  bool ok = WriteWholeFile(output, buffer, length, &error);
  FreeMediaBuffer(buffer);
  if (!ok) return Fail(error);
  if (output != "-") std::printf("%s -> %s (%u bytes, CRC OK)\n", member.c_str(), output.c_str(), length);
  return 0;
}

// ---- pack ----

struct Collector {
  std::vector<rarpack::PackEntry> entries;
  bool fixedTime = false;
  long long fixedUnixTime = 0;
  std::string error;

  std::uint32_t TimeOf(const struct stat& st) const {
    return rarpack::DosTime(fixedTime ? fixedUnixTime : static_cast<long long>(st.st_mtime));
  }

  bool AddFile(const std::string& name, const std::string& path, const struct stat& st) {
    rarpack::PackEntry e;
    e.name = name;
    e.dosTime = TimeOf(st);
    if (!ReadWholeFile(path, &e.data, &error)) return false;
    entries.push_back(std::move(e));
    return true;
  }

  bool AddTree(const std::string& name, const std::string& path, const struct stat& st) {
    rarpack::PackEntry dir;
    dir.name = name;
    dir.directory = true;
    dir.dosTime = TimeOf(st);
    entries.push_back(std::move(dir));
    DIR* d = opendir(path.c_str());
    if (!d) {
      error = "cannot open directory '" + path + "': " + std::strerror(errno);
      return false;
    }
    std::vector<std::string> children;
    while (dirent* de = readdir(d)) {
      std::string n = de->d_name;
      if (n != "." && n != "..") children.push_back(n);
    }
    closedir(d);
    std::sort(children.begin(), children.end(), [](const std::string& a, const std::string& b) {
      int c = strcasecmp(a.c_str(), b.c_str());
      return c != 0 ? c < 0 : a < b;
    });
    for (const std::string& child : children) {
      if (!Add(name + "\\" + child, path + "/" + child, false)) return false;
    }
    return true;
  }

  bool Add(const std::string& name, const std::string& path, bool treeWanted) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
      error = "cannot find '" + path + "': " + std::strerror(errno);
      return false;
    }
    if (S_ISDIR(st.st_mode)) return AddTree(name, path, st);
    if (treeWanted) {
      error = "'" + path + "' is not a directory";
      return false;
    }
    if (!S_ISREG(st.st_mode)) {
      error = "'" + path + "' is not a regular file";
      return false;
    }
    return AddFile(name, path, st);
  }

  bool AddArgument(const std::string& arg) {
    struct stat st;
    std::size_t eq = arg.find('=');
    std::string name, path;
    if (eq != std::string::npos && stat(arg.c_str(), &st) != 0) {
      name = arg.substr(0, eq);
      path = arg.substr(eq + 1);
      std::replace(name.begin(), name.end(), '/', '\\');
      while (!name.empty() && name.back() == '\\') name.pop_back();
      if (name.empty() || path.empty()) {
        error = "'" + arg + "': NAME=FILE needs both parts";
        return false;
      }
    } else {
      path = arg;
      std::string trimmed = arg;
      while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
      name = BaseName(trimmed);
      if (name.empty() || name == "." || name == "..") {
        error = "'" + arg + "': give a name with NAME=" + arg;
        return false;
      }
    }
    bool treeWanted = !path.empty() && path.back() == '/';
    return Add(name, path, treeWanted);
  }
};

int CmdPack(const std::vector<std::string>& args) {
  rarpack::PackOptions options;
  std::string archivePath;
  Collector collector;
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) {
    collector.fixedTime = true;
    collector.fixedUnixTime = std::atoll(epoch);
  }
  std::vector<std::string> inputs;
  bool optionsDone = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (!optionsDone && a.size() > 1 && a[0] == '-' && a[1] == '-') {
      if (a == "--") {
        optionsDone = true;
      } else if (a == "--solid") {
        options.solid = true;
      } else if (a == "--store") {
        options.store = true;
      } else if (a == "--multimedia") {
        options.multimedia = 5;
      } else if (a.rfind("--multimedia=", 0) == 0) {
        std::string v = a.substr(13);
        if (v.size() != 1 || v[0] < '1' || v[0] > '4') return Fail("--multimedia=N takes 1 to 4 channels", 2);
        options.multimedia = v[0] - '0';
      } else if (a == "--level" || a.rfind("--level=", 0) == 0) {
        std::string v;
        if (a == "--level") {
          if (i + 1 >= args.size()) return Fail("--level needs a value", 2);
          v = args[++i];
        } else {
          v = a.substr(8);
        }
        if (v.size() != 1 || v[0] < '0' || v[0] > '5') return Fail("--level takes 0 to 5", 2);
        options.level = v[0] - '0';
      } else {
        return Fail("unknown option '" + a + "'\n" + kUsage, 2);
      }
      continue;
    }
    if (archivePath.empty()) {
      archivePath = a;
    } else {
      inputs.push_back(a);
    }
  }
  if (archivePath.empty() || inputs.empty()) return Fail(std::string("pack needs ARCHIVE and files\n") + kUsage, 2);
  for (const std::string& in : inputs) {
    if (!collector.AddArgument(in)) return Fail(collector.error);
  }
  // Names the reader cannot tell apart would hide each other.
  std::map<std::string, std::string> seen;
  for (const auto& e : collector.entries) {
    std::string key = e.name;
    for (char& c : key) {
      if (c == '/' || c == '\\') c = '_';
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    auto [it, fresh] = seen.emplace(key, e.name);
    if (!fresh) return Fail("members '" + it->second + "' and '" + e.name + "' would have the same name");
  }
  rarpack::PackResult result;
  std::string error;
  if (!rarpack::BuildArchive(collector.entries, options, &result, &error)) return Fail(error);
  if (!WriteWholeFile(archivePath, result.archive.data(), result.archive.size(), &error)) return Fail(error);
  std::uint64_t in = 0;
  for (const auto& m : result.members) in += m.unpacked;
  std::printf("%s: %zu members, %llu -> %zu bytes\n", archivePath.c_str(), result.members.size(),
              static_cast<unsigned long long>(in), result.archive.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "-h" || args[0] == "--help" || args[0] == "help") {
    std::fputs(kUsage, args.empty() ? stderr : stdout);
    return args.empty() ? 2 : 0;
  }
  std::string cmd = args[0];
  args.erase(args.begin());
  if (cmd == "list" || cmd == "test") {
    if (args.size() != 1) return Fail(cmd + " needs exactly one ARCHIVE\n" + kUsage, 2);
    return cmd == "list" ? CmdList(args[0]) : CmdTest(args[0]);
  }
  if (cmd == "extract") return CmdExtract(args);
  if (cmd == "pack") return CmdPack(args);
  return Fail("unknown command '" + cmd + "'\n" + kUsage, 2);
}
