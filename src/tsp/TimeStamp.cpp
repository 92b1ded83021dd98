#include "tsp/TimeStamp.h"

#include "foundation/CryptHelper.h"
#include "tsp/TSP.h"

QString GetTimeStamp(const QString& containerName, const QString& data)
{
    if (!TimeStampEnable)
        return {};
    const QByteArray octets = data.toUtf8();
    try {
        QByteArray reply;
        TSPRequest(TimeStampServer, containerName, octets, reply);
        return Base64Line(ExtractTSTInfo(reply));
    } catch (const Exception& e) {
        throw ETimeStampException(e.message());
    }
}
