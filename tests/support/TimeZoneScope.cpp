#include "support/TimeZoneScope.h"

#include <QtGlobal>

#include <ctime>

TimeZoneScope::TimeZoneScope(const char* zone)
    : FSaved(qgetenv("TZ")), FHadZone(qEnvironmentVariableIsSet("TZ"))
{
    qputenv("TZ", zone);
    tzset();
}

TimeZoneScope::~TimeZoneScope()
{
    if (FHadZone)
        qputenv("TZ", FSaved);
    else
        qunsetenv("TZ");
    tzset();
}
