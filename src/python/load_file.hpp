// Reading a whole file for a constructor.
#pragma once

#include <Python.h>

#include <optional>
#include <string>
#include <string_view>

namespace tarnwick::python {

// The entire contents of the file at `path` (UTF-8 bytes, passed to the OS
// as they are), unchanged. On failure nullopt with ValueError set: the C
// library's description of the error number followed by " (os error N)", or
// "file name contained an unexpected NUL byte". The path is never part of
// the message. The interpreter lock is released while the file is opened
// and read, and held again before anything Python is touched.
[[nodiscard]] std::optional<std::string> load_file(std::string_view path);

}  // namespace tarnwick::python
