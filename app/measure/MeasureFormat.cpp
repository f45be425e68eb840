#include "app/measure/MeasureFormat.h"

#include <cmath>

#include "app/display/Readouts.h"

namespace lumatrace {

namespace {

// The decimals of the voltage cursor readout, by the magnitude of the shown number.
int Decimals(double shown) {
    const double a = std::fabs(shown);
    return a >= 100.0 ? 1 : (a >= 10.0 ? 2 : 3);
}

std::string Scaled(const ScaledValue& v) {
    return FormatFixed(v.value, Decimals(v.value)) + v.unit;
}

}  // namespace

std::string FormatMeasure(MeasureUnit unit, std::optional<double> value) {
    if (!value || !std::isfinite(*value))
        return kNoMeasureValue;
    const double v = *value;
    switch (unit) {
        case MeasureUnit::Volt:
            return FormatCursorVolts(TextRoundTrip(v * 1000.0), "V");
        case MeasureUnit::Second:
            return Scaled(ScaleTime(TextRoundTrip(v * 1e9)));
        case MeasureUnit::Hertz:
            return Scaled(ScaleFrequency(TextRoundTrip(v)));
        case MeasureUnit::Percent:
            return FormatFixed(TextRoundTrip(v), Decimals(v)) + "%";
        case MeasureUnit::Degree:
            return FormatFixed(TextRoundTrip(v), Decimals(v)) + "°";
        case MeasureUnit::Count:
            // Counts are whole; their means and deviations are not.
            return v == std::floor(v) ? FormatFixed(v, 0)
                                      : FormatFixed(TextRoundTrip(v), Decimals(v));
    }
    return kNoMeasureValue;
}

}  // namespace lumatrace
