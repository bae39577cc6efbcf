#include "error.hpp"

#include <charconv>

namespace tarnwick {

std::string SpaceWeatherError::display() const {
    if (kind_ == Kind::MissingHeader) return "invalid or missing CSV header";
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, row_).ptr;
    std::string text = "parse error at row ";
    text.append(digits, end);
    text += ": ";
    text += message_;
    return text;
}

}  // namespace tarnwick
