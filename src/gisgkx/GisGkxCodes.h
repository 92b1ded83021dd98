#pragma once

#include <QString>

// The 32-character order identifier of the housing notifications: the subsystem code followed by
// "0" to 12 characters, the order date as ddmmyyyy ("00000000" when empty), the order number with
// "0" in front to 12 characters. Longer parts are kept whole. Raises EConvertError when the date
// is not a date.
QString MakeOrderID(const QString& subsystem, const QString& orderDate, const QString& orderNumber);
