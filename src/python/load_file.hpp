// Reading and parsing a whole file for a constructor.
#pragma once

#include <Python.h>

#include <optional>
#include <string_view>
#include <vector>

#include "../error.hpp"
#include "../record.hpp"

namespace tarnwick::python {

// A reader of one file format: the records of a whole file's bytes.
using Reader = Result<std::vector<SpaceWeatherRecord>> (*)(std::string_view);

// `reader`'s result on the entire contents of the file at `path` (UTF-8
// bytes, passed to the OS as they are), unchanged. The file's bytes are
// released before this returns. On failure to read it, nullopt with
// ValueError set: the C library's description of the error number followed
// by " (os error N)", or "file name contained an unexpected NUL byte"; the
// path is never part of the message. The interpreter lock is released
// while the file is opened, read and parsed (the readers touch nothing
// Python and keep no state between calls), and held again before anything
// Python is touched, so other threads run meanwhile, loading files of
// their own for instance.
[[nodiscard]] std::optional<Result<std::vector<SpaceWeatherRecord>>> read_file(std::string_view path, Reader reader);

}  // namespace tarnwick::python
