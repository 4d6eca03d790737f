#include "files/reg_file_write.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "base/file_io.h"
#include "base/os_error.h"
#include "base/utf8_path.h"
#include "files/reg_file_format.h"
#include "files/undo_file.h"

namespace keyloom::files {
namespace {

// The bytes of a new undo file: the byte-order mark, `header` and `lines` in UTF-16LE, CR LF after
// each line.
std::string NewFileBytes(const std::vector<std::string>& header,
                         const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : header) text += line + std::string(kCrLf);
  for (const auto& line : lines) text += line + std::string(kCrLf);
  return std::string(kUtf16Bom) + EncodeUtf16Le(text);
}

}  // namespace

std::string CreateRegFile(const std::string& file, const std::vector<std::string>& header,
                          const std::vector<std::string>& lines, bool* taken) {
  const std::filesystem::path path = base::PathFromUtf8(file);
  *taken = false;
  base::ClearFileError();
  std::FILE* out = base::CreateNewFile(path);
  if (out == nullptr) {
    *taken = errno == EEXIST;
    return base::LastFileErrorText();
  }
  const std::string bytes = NewFileBytes(header, lines);
  std::string failure;
  if (std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() || std::fflush(out) != 0) {
    failure = base::LastFileErrorText();
  }
  if (std::fclose(out) != 0 && failure.empty()) failure = base::LastFileErrorText();
  if (!failure.empty()) {
    std::error_code ec;
    std::filesystem::remove(path, ec);  // no half file stays behind under the name
  }
  return failure;
}

std::string AppendRegLines(const std::string& file, const std::vector<std::string>& header,
                           const std::vector<std::string>& lines) {
  namespace fs = std::filesystem;
  const fs::path path = base::PathFromUtf8(file);
  // A file whose presence or size cannot be told is left alone: taken for a new one, it would get
  // a second header, and a failed write would then cut it. A device is written to as it is.
  std::error_code ec;
  const bool existed = fs::exists(path, ec);
  if (ec) return base::FileSystemErrorText(ec);
  const bool regular = existed && fs::is_regular_file(path, ec);
  if (ec) return base::FileSystemErrorText(ec);
  const std::uintmax_t old_size = regular ? fs::file_size(path, ec) : 0;
  if (ec) return base::FileSystemErrorText(ec);
  const bool fresh = !regular || old_size == 0;

  enum class Encoding { kUtf16, kUtf8, kAscii } encoding = Encoding::kUtf16;
  if (!fresh) {
    base::ClearFileError();
    std::FILE* in = base::OpenFile(path, "rb");
    if (in == nullptr) return base::LastFileErrorText();
    unsigned char start[3] = {0, 0, 0};
    const std::size_t got = std::fread(start, 1, sizeof start, in);
    std::fclose(in);
    if (got >= 2 && start[0] == 0xFF && start[1] == 0xFE) {
      encoding = Encoding::kUtf16;
    } else if (got == 3 && start[0] == 0xEF && start[1] == 0xBB && start[2] == 0xBF) {
      encoding = Encoding::kUtf8;
    } else {
      encoding = Encoding::kAscii;
    }
    if (lines.empty()) return "";
  }

  std::string text;
  if (fresh) {
    for (const auto& line : header) text += line + std::string(kCrLf);
  }
  for (const auto& line : lines) text += line + std::string(kCrLf);
  std::string bytes;
  switch (encoding) {
    case Encoding::kUtf16:
      bytes = (fresh ? std::string(kUtf16Bom) : std::string()) + EncodeUtf16Le(text);
      break;
    case Encoding::kUtf8:
      bytes = text;
      break;
    case Encoding::kAscii:
      for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
          return "the file is not in UTF-16 and cannot hold the record's text";
        }
      }
      bytes = text;
      break;
  }

  base::ClearFileError();
  std::FILE* out = base::OpenFile(path, "ab");
  if (out == nullptr) return base::LastFileErrorText();
  std::string failure;
  if (std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() || std::fflush(out) != 0) {
    failure = base::LastFileErrorText();
  }
  if (std::fclose(out) != 0 && failure.empty()) failure = base::LastFileErrorText();
  if (failure.empty()) return "";
  // The file keeps no half record: it goes back to what it was.
  if (regular) {
    fs::resize_file(path, old_size, ec);
  } else if (!existed) {
    fs::remove(path, ec);
  }
  return failure;
}

}  // namespace keyloom::files
