// Compiled, never run, by ctest: as it stands it must compile; with
// MIX_KINDS=1 (an array field set as a scalar) or MIX_KINDS=2 (a scalar
// field set as an array) it must not.
#include "record.hpp"

int main() {
    using tarnwick::Field;
    tarnwick::SpaceWeatherRecord r;
    r.set(Field::f10_7_obs, 1.0);
    r.set_array(Field::kp_3hr, {});
#if MIX_KINDS == 1
    r.set(Field::ap_3hr, 1.0);
#elif MIX_KINDS == 2
    r.set_array(Field::dtc, {});
#endif
    return r.has(Field::ap_3hr) ? 1 : 0;
}
