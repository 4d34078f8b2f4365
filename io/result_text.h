// The small pieces of text every result file is made of: CSV fields,
// numbers with a fixed count of decimals (empty when undefined), JSON
// values of measures, and the words of a command line that repeats a job.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include <towngrow/compare.h>

#include "io/json_file.h"

namespace towngrow::io {

// A field of a CSV line, quoted when it holds a comma, quote or line break.
std::string CsvField(const std::string& text);

// The value with this many decimals ("" when undefined).
std::string FixedText(const Scalar& value, int decimals);
// A number with this many decimals.
std::string FixedText(double value, int decimals);

// A value as JSON (null when undefined), and cells per ID as a JSON object
// of the IDs that have any ({"9": 12}).
Json ScalarJson(const Scalar& value);
Json IdCountsJson(const std::array<std::uint64_t, 256>& counts);

// printf at the end of a text.
__attribute__((format(printf, 2, 3))) void Appendf(std::string& text, const char* format, ...);

// A path as an absolute, normalised path (unchanged if that fails), and a
// word quoted for a POSIX shell when it needs it.
std::string AbsolutePath(const std::string& path);
std::string ShellWord(const std::string& word);

}  // namespace towngrow::io
