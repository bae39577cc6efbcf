// One day's space-weather values, every quantity optional.
#pragma once

#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "date.hpp"

namespace tarnwick {

// The eleven optional quantities, in record order (the order of a record's
// Python dict and of the combining step).
enum class Field : std::uint8_t {
    f10_7_obs,
    f10_7_adj,
    f10_7_jb,
    f10_7_jb_81c,
    ap_daily,
    ap_3hr,  // eight values, present or absent as a whole
    kp_3hr,  // eight values, present or absent as a whole
    s10_7,
    m10_7,
    y10_7,
    dtc,
};

inline constexpr std::size_t field_count = 11;

constexpr bool is_array_field(Field f) noexcept {
    return f == Field::ap_3hr || f == Field::kp_3hr;
}

using Array8 = std::array<double, 8>;

// A field of one kind (scalar or array), as the setters take it. Made from
// a Field constant its kind is checked while compiling, so that
// set(Field::ap_3hr, v) or set_array(Field::dtc, a) does not compile; a
// Field known only at run time goes through of(), which asserts the kind.
template <bool Array>
class FieldOfKind {
public:
    consteval FieldOfKind(Field f) : field_(f) {  // NOLINT: implicit on purpose
        if (is_array_field(f) != Array) throw "a field of the other kind";
    }
    static FieldOfKind of(Field f) noexcept {
        assert(is_array_field(f) == Array);
        return FieldOfKind(f, 0);
    }
    [[nodiscard]] constexpr Field field() const noexcept { return field_; }

private:
    constexpr FieldOfKind(Field f, int) noexcept : field_(f) {}
    Field field_;
};
using ScalarField = FieldOfKind<false>;
using ArrayField = FieldOfKind<true>;

// Records are moved through sort and merge, so absence is a bit in one
// mask rather than an std::optional per field: 216 bytes instead of ~300,
// and "absent" stays distinct from every float, NaN included.
class SpaceWeatherRecord {
public:
    SpaceWeatherRecord() noexcept = default;
    explicit SpaceWeatherRecord(Date d) noexcept : date(d) {}

    Date date;

    [[nodiscard]] bool has(Field f) const noexcept { return (present_ & bit(f)) != 0; }
    [[nodiscard]] bool all_absent() const noexcept { return present_ == 0; }

    // Scalar fields; absent for an array field.
    [[nodiscard]] std::optional<double> get(Field f) const noexcept {
        assert(!is_array_field(f));
        if (!has(f) || is_array_field(f)) return std::nullopt;
        return scalars_[scalar_slot(f)];
    }
    void set(ScalarField f, double v) noexcept {
        scalars_[scalar_slot(f.field())] = v;
        present_ = static_cast<std::uint16_t>(present_ | bit(f.field()));
    }

    // Array fields (ap_3hr, kp_3hr); nullptr when absent or for a scalar field.
    [[nodiscard]] const Array8* get_array(Field f) const noexcept {
        assert(is_array_field(f));
        if (!has(f) || !is_array_field(f)) return nullptr;
        return f == Field::ap_3hr ? &ap_3hr_ : &kp_3hr_;
    }
    void set_array(ArrayField f, const Array8& a) noexcept {
        (f.field() == Field::ap_3hr ? ap_3hr_ : kp_3hr_) = a;
        present_ = static_cast<std::uint16_t>(present_ | bit(f.field()));
    }

    // Sets an array field in place: `fill(a)` writes the eight values into
    // the record's own array `a` and tells whether all eight are there. The
    // field is present only then; the old values are gone either way.
    // Readers write straight into the record this way, rather than into a
    // local array that is then copied, whose wide loads would wait for the
    // narrow stores just made to it. The CSV reader takes 1,173
    // instructions a row so and 1,191 through a local array
    // (benchmarks/README.md, "Baseline").
    template <class Fill>
    void fill_array(ArrayField f, Fill&& fill) noexcept {
        const bool full = fill(f.field() == Field::ap_3hr ? ap_3hr_ : kp_3hr_);
        present_ = static_cast<std::uint16_t>(full ? present_ | bit(f.field()) : present_ & ~bit(f.field()));
    }

    void clear(Field f) noexcept { present_ = static_cast<std::uint16_t>(present_ & ~bit(f)); }

    // The combining rule of same-day records: every field this record lacks
    // is taken from `other`; fields it has are never changed. Arrays are
    // taken whole. The date is left alone.
    void fill_absent_from(const SpaceWeatherRecord& other) noexcept;

    // Same date and the same present fields holding the same bits.
    friend bool operator==(const SpaceWeatherRecord& a, const SpaceWeatherRecord& b) noexcept;

private:
    static constexpr std::uint16_t bit(Field f) noexcept {
        return static_cast<std::uint16_t>(1u << static_cast<unsigned>(f));
    }
    // Slot of each scalar field in scalars_ (array fields have none).
    static constexpr std::array<std::uint8_t, field_count> slots{0, 1, 2, 3, 4, 0, 0, 5, 6, 7, 8};
    static constexpr std::size_t scalar_slot(Field f) noexcept { return slots[static_cast<std::size_t>(f)]; }

    std::uint16_t present_ = 0;
    std::array<double, 9> scalars_{};
    Array8 ap_3hr_{};
    Array8 kp_3hr_{};
};

}  // namespace tarnwick
