// The library's one error type, returned as a value by every reader.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <variant>

namespace tarnwick {

class SpaceWeatherError {
public:
    enum class Kind {
        MissingHeader,  // a CSV file whose header is unusable (or whose bytes are not UTF-8)
        Parse,          // a line that cannot be read; carries its row and a short message
    };

    static SpaceWeatherError missing_header() noexcept { return SpaceWeatherError(Kind::MissingHeader, 0, {}); }
    // `row` is the 1-based physical line number, or 0 for a fault of the whole input.
    static SpaceWeatherError parse(std::size_t row, std::string message) noexcept {
        return SpaceWeatherError(Kind::Parse, row, std::move(message));
    }

    [[nodiscard]] Kind kind() const noexcept { return kind_; }
    [[nodiscard]] std::size_t row() const noexcept { return row_; }
    [[nodiscard]] const std::string& message() const noexcept { return message_; }

    // The text a Python user reads: "invalid or missing CSV header", or
    // "parse error at row {row}: {message}".
    [[nodiscard]] std::string display() const;

    friend bool operator==(const SpaceWeatherError&, const SpaceWeatherError&) = default;

private:
    SpaceWeatherError(Kind k, std::size_t row, std::string message) noexcept
        : kind_(k), row_(row), message_(std::move(message)) {}

    Kind kind_;
    std::size_t row_;
    std::string message_;
};

// A value of T, or the error that stopped it. Readers return this; nothing
// in the library throws its own errors.
template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) noexcept(std::is_nothrow_move_constructible_v<T>) : v_(std::move(value)) {}
    Result(SpaceWeatherError error) noexcept : v_(std::move(error)) {}

    [[nodiscard]] bool ok() const noexcept { return v_.index() == 0; }
    explicit operator bool() const noexcept { return ok(); }

    [[nodiscard]] T& value() & noexcept { return *std::get_if<0>(&v_); }
    [[nodiscard]] const T& value() const& noexcept { return *std::get_if<0>(&v_); }
    [[nodiscard]] T&& value() && noexcept { return std::move(*std::get_if<0>(&v_)); }
    [[nodiscard]] SpaceWeatherError& error() & noexcept { return *std::get_if<1>(&v_); }
    [[nodiscard]] const SpaceWeatherError& error() const& noexcept { return *std::get_if<1>(&v_); }
    [[nodiscard]] SpaceWeatherError&& error() && noexcept { return std::move(*std::get_if<1>(&v_)); }

private:
    std::variant<T, SpaceWeatherError> v_;
};

}  // namespace tarnwick
