#include "tsp/TimeStamp.h"

#include "foundation/CryptHelper.h"
#include "tsp/TSP.h"

QString GetTimeStamp(const TimeStampSettings& settings, ContainerKey& key, const QString& data,
                     THttpClient* http)
{
    if (!settings.enable)
        return {};
    const QByteArray octets = data.toUtf8();
    try {
        QByteArray reply;
        TSPRequest(settings.server, key, octets, reply, http, settings.trust);
        return Base64Line(ExtractTSTInfo(reply));
    } catch (const Exception& e) {
        throw ETimeStampException(e.message());
    }
}
