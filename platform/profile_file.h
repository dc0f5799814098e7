// Settings files of the private-profile (ini) form, read and written one
// value at a time, with the semantics of the Windows routines the organiser's
// settings were made with, so that a config.ini copied between systems means
// the same on both.
//
// The file is GBK bytes throughout: paths, section and key names, values.
// It is a sequence of lines, each ending in "\r\n" or "\n" (the last one may
// have no ending). After leading and trailing blanks (space, tab, CR, VT, FF)
// are set aside, a line is
//
//   [name]        a section header; text after the first ']' is ignored, and
//                 blanks inside the brackets around the name are not part of
//                 it. A line opening with '[' without a ']' is neither a
//                 header nor a key.
//   ; anything    a comment
//   key = value   a key of the section above it: the key is the text before
//                 the first '=', the value the text after it, both without
//                 their surrounding blanks. A value enclosed in a matching
//                 pair of '"' or '\'' is read without the pair. There are no
//                 comments after a value: "a=1 ; x" has the value "1 ; x".
//   anything else (blank lines, lines without '=') carries nothing.
// Lines above the first header belong to no section and are never read.
//
// Section and key names compare without regard to the case of ASCII letters
// and otherwise byte for byte, character by character: the second byte of a
// GBK character is never folded, so "\x81\x41" and "\x81\x61" stay apart.
// Names given to the functions lose their surrounding blanks first, as the
// names in the file do.
//
// A section name may occur more than once; its sections then read as one, in
// file order. Of a key that occurs more than once, the first is the key: it
// is what a read gives and what a write replaces.
//
// The file is found through CurrentFileSystem(), so tests can put faults
// under it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarvok::platform {

// Bytes of the buffer a value is read into, its terminating NUL included: a
// read gives at most kProfileReadBuffer - 1 bytes.
inline constexpr size_t kProfileReadBuffer = 10240;

// The value of `key` in `section` of the file at `path`, or `default_value`
// when the file, the section or the key is missing or the file cannot be
// read. "k=" is present with the empty value, and gives "" rather than the
// default.
//
// Either text is cut to fit the read buffer: it keeps at most
// kProfileReadBuffer - 1 bytes, and one byte fewer when the cut would split
// a double-byte character (three fewer for a four-byte GB18030 one), so that
// what comes back is always whole characters.
std::string ReadProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view default_value);

// Sets `key` in `section` of the file at `path` to `value`. Creates the file
// when it is missing, the section at the end of the file when it is missing,
// and the key after the last key of the section's first occurrence when it is
// missing; replaces only the value of an existing key, so that its spelling,
// the blanks around '=' and the line ending stay as they were. Every other
// line keeps its bytes, comments and blank lines included.
//
// Lines added end like the file's first line does, or in "\r\n" (the form's
// own ending) when the file has no line ending yet; a last line without an
// ending gets one when a line is added after it. A value with a blank at
// either end, or enclosed in a matching pair of quotes, is written inside a
// pair of '"', so every value reads back as written (where the Windows
// routine would lose its outer blanks or quotes).
//
// The new content goes into a file beside the old one (path + "-new", mode
// 0600) that then replaces it by a rename; a failure at any step leaves the
// old file as it was. A value equal to the present one writes nothing.
//
// Returns 0 or an errno, and then the file is unchanged:
//   EINVAL  a name or value the file cannot hold: a line break or NUL byte
//           anywhere; an empty key, or one holding '=' or opening with ';'
//           or '['; a section name holding ']' or ending in half a
//           character
//   otherwise the error of reading the old file (other than its absence) or
//   of writing and renaming the new one.
int WriteProfileString(const std::string& path, std::string_view section,
                       std::string_view key, std::string_view value);

}  // namespace tarvok::platform
