#pragma once

#include "foundation/Exceptions.h"

#include <QString>

// The one failure that leaves time stamping; it carries the underlying failure's message.
ZELVAN_DECLARE_EXCEPTION(ETimeStampException, Exception);

// Run-time copies of the settings tab's time-stamp switch and server address, made at the start
// of every operation. Read only on the window's thread.
inline bool TimeStampEnable = false;
inline QString TimeStampServer;

// Base64 (one line) of the DER TSTInfo the time-stamp server returns for the UTF-8 octets of
// `data`, or empty text when time stamping is off (nothing is sent then).
QString GetTimeStamp(const QString& containerName, const QString& data);
