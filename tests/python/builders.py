"""Text of small files in the three formats, for tests that need their own lines."""

CSV_HEADER = ",".join(["DATE", "F10.7_OBS", "F10.7_ADJ", "AP_AVG"]
                      + [f"AP{k}" for k in range(1, 9)] + [f"KP{k}" for k in range(1, 9)])


def csv_line(date, obs="", adj="", ap_daily="", ap=("",) * 8, kp=("",) * 8):
    """One data line under CSV_HEADER; empty cells leave a quantity absent."""
    return ",".join([date, str(obs), str(adj), str(ap_daily), *map(str, ap), *map(str, kp)])


def solfsmy_line(year, doy, f10, f81c, s10, m10, y10):
    """A SOLFSMY data line: the fixed columns hold year, day of year, then 6-byte values."""
    return f"{year:6d}{doy:4d}{'':12}{f10:6.1f}{f81c:6.1f}{s10:6.1f}{0:6.1f}{m10:6.1f}{0:6.1f}{y10:6.1f}"


def dtcfile_line(year, doy, values):
    """A DTCFILE data line with 24 hourly values."""
    assert len(values) == 24
    return f"DTC {year:4d}{doy:5d}" + "".join(f"{v:4d}" for v in values)
