// Reading registry editor files and merging them into the registry, as the registry editor merges
// them: the way undo files are taken back from inside the program.
//
// Files: "Windows Registry Editor Version 5.00" in UTF-16LE with a byte-order mark or in UTF-8
// (without a mark, bytes that are not UTF-8 are read as Windows-1252), and "REGEDIT4" files in the
// 8-bit code page (Windows-1252). In a REGEDIT4 file the bytes of hex(2) and hex(7) data are text
// of that code page and become UTF-16, as the registry editor stores them.
//
// Lines: "[ROOT\path]" starts a key record (the key is created), "[-ROOT\path]" removes the key
// with its whole tree; "name"=data or @=data sets a value ("" is the unnamed value as well), and
// =- removes it. Data: "text" (backslash and double quote escaped), dword:hhhhhhhh, hex:bytes,
// hex(n):bytes of type n; a byte list continues on the next line after a closing "\". Empty lines
// and ";" comments are skipped; value lines below a key removal are ignored.
//
// A file is parsed record by record: a malformed line ends the file there, and the record it
// stands in is dropped whole, so what is merged is every record before it, each in full. A control
// character (other than a tab) in a key path or a value's name is malformed: the system would cut
// the name there. A last line without its line end that is not a whole record (a string without
// its closing quote, a dword of fewer than eight digits, a byte list ending in a comma or half a
// byte) is reported as cut.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "registry/reg_api.h"
#include "registry/registry.h"

namespace keyloom::files {

struct RegValueEntry {
  std::string name;  // "" for the unnamed value
  bool remove = false;
  reg::RawValue value;
};

struct RegRecord {
  std::size_t line = 0;  // the bracket line's number (the first line is 1)
  const reg::RootKey* root = nullptr;
  std::string path;  // below the root, without a leading "\"; "" for the root itself
  bool remove_key = false;
  std::vector<RegValueEntry> values;

  // "HKEY_CURRENT_USER\Software\X", as messages name the key.
  std::string KeyName() const;
};

struct RegFileContents {
  std::vector<RegRecord> records;  // every record parsed in full, in the file's order
  std::string error;               // "" or the message naming the first malformed line
  std::size_t error_line = 0;
  bool cut = false;  // the file ends in the middle of a record, which is left out
};

// Parses the bytes of a registry editor file.
RegFileContents ParseRegFile(std::string_view bytes);

struct MergeOutcome {
  std::size_t records = 0;          // records merged without a failure
  std::vector<std::string> errors;  // the malformed line and every refused change, in order
  bool ok() const { return errors.empty(); }
};

// Merges parsed records on `target`, each whole or not at all. The 64-bit registry editor's way is
// RegView::k64 on 64-bit Windows, where a path through Wow6432Node reaches the 32-bit view, and
// kNone on 32-bit Windows. A record whose key cannot be created or reached
// is skipped; when one of its values cannot be written, the values written before it get their
// former state back and a key the record created is removed again.
MergeOutcome MergeRegRecords(reg::RegApi& api, const reg::Target& target,
                             const std::vector<RegRecord>& records);

// Reads, parses and merges one file. A file that cannot be read merges nothing.
MergeOutcome MergeRegFile(reg::RegApi& api, const reg::Target& target, const std::string& file);

}  // namespace keyloom::files
