// Files named by paths with any characters in them, and files replaced as one step.
#pragma once

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace keyloom::base {

// std::fopen for a path of any characters (_wfopen on Windows, where the narrow name would go
// through the ANSI code page). `mode` is ASCII ("rb", "ab", "wb").
std::FILE* OpenFile(const std::filesystem::path& path, const char* mode);

// The whole content of the file at `path` into `bytes`. False when it cannot be opened or read;
// LastFileErrorText (os_error.h) then tells why.
bool ReadWholeFile(const std::filesystem::path& path, std::string* bytes);

// Writes the temporary file's bytes; returns false when they could not all be written. Tests
// replace it to simulate a full disk or a crash in the middle of a save.
using TempFileWriter =
    std::function<bool(const std::filesystem::path& temp_path, std::string_view bytes)>;

// The name of the temporary file a save writes before it replaces `path`: `path` + ".tmp".
std::filesystem::path TempPathFor(const std::filesystem::path& path);

// Replaces the file at `path` with `bytes` as one step: the bytes go to a temporary file beside it,
// which is flushed to the disk and then renamed over `path`. On any failure `path` keeps its former
// content, the temporary file is removed, and false is returned. `writer` defaults to writing the
// temporary file with the C library.
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                         const TempFileWriter& writer = {});

}  // namespace keyloom::base
