#pragma once

#include "foundation/Exceptions.h"
#include "tsp/TSP.h"

#include <QString>

// The one failure that leaves time stamping; it carries the underlying failure's message.
ZELVAN_DECLARE_EXCEPTION(ETimeStampException, Exception);

// The settings tab's time-stamp switch and server address, as the operation in progress took them.
struct TimeStampSettings {
    bool enable = false;
    QString server;
    TimeStampTrust trust;
};

// Base64 (one line) of the DER TSTInfo the time-stamp server returns for the UTF-8 octets of
// `data` hashed with the container's key, or empty text when time stamping is off (nothing is sent then). The
// request goes through `http`, or through a client of its own when there is none.
QString GetTimeStamp(const TimeStampSettings& settings, ContainerKey& key, const QString& data,
                     THttpClient* http = nullptr);
