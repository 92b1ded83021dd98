#pragma once

#include <QByteArray>

// Puts the process in another time zone (a TZ value such as "Europe/Berlin" or "<+05>-5") for the
// life of the object, then restores the zone it had, or none.
class TimeZoneScope final {
  public:
    explicit TimeZoneScope(const char* zone);
    ~TimeZoneScope();
    TimeZoneScope(const TimeZoneScope&) = delete;
    TimeZoneScope& operator=(const TimeZoneScope&) = delete;

  private:
    QByteArray FSaved;
    bool FHadZone;
};
