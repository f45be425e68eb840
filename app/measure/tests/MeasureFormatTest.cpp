#include <gtest/gtest.h>

#include <cmath>

#include "app/measure/MeasureFormat.h"

namespace lumatrace {
namespace {

TEST(MeasureFormat, UnitsPrefixesAndDecimalsOfTheReadouts) {
    struct Case {
        MeasureUnit unit;
        std::optional<double> value;
        const char* text;
    };
    const Case cases[] = {
        {MeasureUnit::Volt, 1.95, "1.950V"},
        {MeasureUnit::Volt, -0.5, "-500.0mV"},
        {MeasureUnit::Volt, 0.0123, "12.30mV"},
        {MeasureUnit::Volt, 1234.0, "1.234KV"},
        {MeasureUnit::Volt, 0.0, "0.000mV"},
        {MeasureUnit::Second, 200e-6, "200.0us"},
        {MeasureUnit::Second, 17.48e-9, "17.48ns"},
        {MeasureUnit::Second, 2.5, "2.500s"},
        {MeasureUnit::Second, -125e-6, "-125.0us"},
        {MeasureUnit::Hertz, 5000.0, "5.000KHz"},
        {MeasureUnit::Hertz, 0.5, "500.0mHz"},
        {MeasureUnit::Hertz, 1.5e8, "150.0MHz"},
        {MeasureUnit::Percent, 30.0, "30.00%"},
        {MeasureUnit::Percent, 0.0, "0.000%"},
        {MeasureUnit::Degree, -45.0, "-45.00°"},
        {MeasureUnit::Count, 99.0, "99"},
        {MeasureUnit::Count, 1.5, "1.500"},
        // Floating-point noise does not reach the digits.
        {MeasureUnit::Hertz, 4999.999999999999, "5.000KHz"},
        // No value, whatever the unit.
        {MeasureUnit::Volt, std::nullopt, "----"},
        {MeasureUnit::Count, std::nullopt, "----"},
        {MeasureUnit::Second, std::nan(""), "----"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatMeasure(c.unit, c.value), c.text) << c.text;
}

}  // namespace
}  // namespace lumatrace
