#include "gisgkx/GisGkxCodes.h"

#include "foundation/Convert.h"

QString MakeOrderID(const QString& subsystem, const QString& orderDate, const QString& orderNumber)
{
    const QString date = orderDate.isEmpty() ? QString() : FormatDdMmYyyy(TextToDateTime(orderDate).date());
    return subsystem.leftJustified(12, u'0') + date.rightJustified(8, u'0') +
           orderNumber.rightJustified(12, u'0');
}
