// Number and date texts typed by the operator: reading never crashes, and what reads as a number
// can always be rounded and written, and (within the 15 digits a number keeps) rounding a number
// and rounding its written form agree.
#include "foundation/Convert.h"
#include "foundation/Exceptions.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    double number = 0;
    if (TryTextToFloat(text, number)) {
        const QString rounded = FormatDecimalText(text, 2);
        const double value = TextToFloat(rounded);
        if (std::fabs(value) < 1e12 && value != TextToFloat(FormatDecimalText(FloatToText(value), 2)))
            std::abort();
    } else {
        try {
            FormatDecimalText(text, 2);
            std::abort(); // rounding accepted what reading refused
        } catch (const EConvertError&) {
        }
    }
    QDateTime dateTime;
    if (TryTextToDateTime(text, dateTime) && !dateTime.isValid())
        std::abort();
    return 0;
}
