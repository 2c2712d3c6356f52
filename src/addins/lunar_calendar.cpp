#include "addins/lunar_calendar.h"

#include <QStringList>

#include "addins/lunar_libraries.h"

#include <array>
#include <cmath>
#include <mutex>

namespace lunar {

namespace {

// liblunar-date and libnova keep state in shared objects and static caches; the calendar asks
// from the user-interface thread, but a lock keeps a stray caller from another thread harmless.
std::mutex& libraryMutex() {
    static std::mutex mutex;
    return mutex;
}

// One liblunar-date object for the program's life: creating one parses its holiday resource.
// It is never freed: its free function and GObject's finalizer each release only part of it.
::LunarDate* sharedLunarDate(const LunarDateLibrary& library) {
    static ::LunarDate* const date = library.dateNew();
    return date;
}

constexpr double kJ2000 = 2451545.0;
constexpr double kDegree = M_PI / 180.0;
constexpr double kArcsecond = kDegree / 3600.0;
constexpr double kBeijingOffsetDays = 8.0 / 24.0;

double normalizedDegrees(double degrees) {
    double r = std::fmod(degrees, 360.0);
    return r < 0 ? r + 360.0 : r;
}

// TT − UT in seconds. Observed values (IERS) to 2025, then a smooth rise along the long-term
// parabola of Morrison and Stephenson; libnova's own estimate is about 65 s too large today.
// An error of a minute shifts a solar term's day only when its instant falls within that minute
// of midnight.
double deltaTSeconds(double year) {
    struct Sample {
        double year;
        double seconds;
    };
    // clang-format off
    static constexpr std::array<Sample, 15> observed{{
        {1900, -2.79}, {1910, 10.38}, {1920, 21.16}, {1930, 24.02}, {1940, 24.33},
        {1950, 29.15}, {1960, 33.15}, {1970, 40.18}, {1980, 50.54}, {1990, 56.86},
        {2000, 63.83}, {2010, 66.07}, {2015, 67.64}, {2020, 69.36}, {2025, 69.20}}};
    // clang-format on
    if (year <= observed.front().year)
        return observed.front().seconds;
    const auto& last = observed.back();
    if (year >= last.year) {
        auto parabola = [](double y) {
            const double u = (y - 1820.0) / 100.0;
            return 32.0 * u * u;
        };
        return last.seconds + parabola(year) - parabola(last.year);
    }
    for (std::size_t i = 1; i < observed.size(); ++i) {
        const auto& [y1, v1] = observed[i];
        if (year <= y1) {
            const auto& [y0, v0] = observed[i - 1];
            return v0 + (v1 - v0) * (year - y0) / (y1 - y0);
        }
    }
    return last.seconds;
}

double decimalYear(double julianDay) {
    return 2000.0 + (julianDay - kJ2000) / 365.25;
}

double terrestrialFromUniversal(double jdUt) {
    return jdUt + deltaTSeconds(decimalYear(jdUt)) / 86400.0;
}

// Ecliptic coordinates referred to J2000 carried to the mean ecliptic and equinox of date
// (IAU 1976 precession, Meeus eq. 21.5/21.7). libnova's own ecliptic precession is an empty
// stub, and its equatorial one drops the quadratic terms (about 1" a century from J2000, which
// is half a minute of a solar term's time).
double precessedLongitude(double lngDeg, double latDeg, double jde) {
    const double t = (jde - kJ2000) / 36525.0;
    const double eta = (47.0029 * t - 0.03302 * t * t + 0.000060 * t * t * t) * kArcsecond;
    const double pi = 174.876384 * kDegree - (869.8089 * t - 0.03536 * t * t) * kArcsecond;
    const double p = (5029.0966 * t + 1.11113 * t * t - 0.000006 * t * t * t) * kArcsecond;
    const double lng = lngDeg * kDegree;
    const double lat = latDeg * kDegree;
    const double a =
        std::cos(eta) * std::cos(lat) * std::sin(pi - lng) - std::sin(eta) * std::sin(lat);
    const double b = std::cos(lat) * std::cos(pi - lng);
    return normalizedDegrees((p + pi - std::atan2(a, b)) / kDegree);
}

// The Sun's apparent geocentric longitude of date, in degrees, at a Julian Ephemeris Day.
// libnova's solar geometric position is VSOP87 in the FK5 frame of J2000; its "apparent"
// routines add nutation and aberration but no precession, which would put every solar term
// six to eight hours late in our century. So: J2000 geometric → precession to date → nutation
// in longitude → annual aberration.
double apparentSolarLongitude(const NovaLibrary& nova, double jde) {
    ln_helio_posn geometric{};
    nova.solarGeometricCoordinates(jde, &geometric);
    ln_nutation nutation{};
    nova.nutation(jde, &nutation);
    const double ofDate = precessedLongitude(geometric.L, geometric.B, jde);
    const double aberration = 20.4898 / 3600.0 / geometric.R;
    return normalizedDegrees(ofDate + nutation.longitude - aberration);
}

// Julian Ephemeris Day of the start (00:00 Beijing time) of a civil day.
double beijingMidnightJde(QDate day) {
    const double jdUt = double(day.toJulianDay()) - 0.5 - kBeijingOffsetDays;
    return terrestrialFromUniversal(jdUt);
}

const QStringList& termNames() {
    static const QStringList names{
        QStringLiteral("小寒"), QStringLiteral("大寒"), QStringLiteral("立春"),
        QStringLiteral("雨水"), QStringLiteral("惊蛰"), QStringLiteral("春分"),
        QStringLiteral("清明"), QStringLiteral("谷雨"), QStringLiteral("立夏"),
        QStringLiteral("小满"), QStringLiteral("芒种"), QStringLiteral("夏至"),
        QStringLiteral("小暑"), QStringLiteral("大暑"), QStringLiteral("立秋"),
        QStringLiteral("处暑"), QStringLiteral("白露"), QStringLiteral("秋分"),
        QStringLiteral("寒露"), QStringLiteral("霜降"), QStringLiteral("立冬"),
        QStringLiteral("小雪"), QStringLiteral("大雪"), QStringLiteral("冬至")};
    return names;
}

QString chineseDigit(int n) {
    static const QString digits = QStringLiteral("〇一二三四五六七八九十");
    return digits.mid(n, 1);
}

} // namespace

QDate firstSupportedDate() {
    return QDate(1901, 1, 1);
}

QDate lastSupportedDate() {
    return QDate(2100, 12, 31);
}

bool isSupported(QDate day) {
    return day.isValid() && day >= firstSupportedDate() && day <= lastSupportedDate();
}

std::optional<LunarDate> lunarDate(QDate day) {
    if (!isSupported(day))
        return std::nullopt;
    QByteArray numbers;
    {
        std::lock_guard lock(libraryMutex());
        const LunarDateLibrary* library = lunarDateLibrary();
        if (!library)
            return std::nullopt;
        ::LunarDate* date = sharedLunarDate(*library);
        if (!date)
            return std::nullopt;
        GError* error = nullptr;
        // The hour only matters for the library's eight characters; noon keeps it clear of the
        // 子 hour, which starts at 23:00 of the day before.
        library->setSolarDate(date, GDateYear(day.year()), GDateMonth(day.month()),
                                  GDateDay(day.day()), 12, &error);
        if (error) {
            library->errorFree(error);
            return std::nullopt;
        }
        // The lower-case fields are plain numbers, untouched by gettext; "*" marks a leap month.
        gchar* text = library->strftime(date, "%(nian) %(yue) %(ri)");
        numbers = QByteArray(text);
        library->free(text);
    }
    const QList<QByteArray> parts = numbers.split(' ');
    if (parts.size() != 3)
        return std::nullopt;
    LunarDate result;
    QByteArray month = parts[1];
    result.leap = month.startsWith('*');
    if (result.leap)
        month.remove(0, 1);
    bool yearOk = false;
    bool monthOk = false;
    bool dayOk = false;
    result.year = parts[0].toInt(&yearOk);
    result.month = month.toInt(&monthOk);
    result.day = parts[2].toInt(&dayOk);
    if (!yearOk || !monthOk || !dayOk || result.month < 1 || result.month > 12 || result.day < 1 ||
        result.day > 30)
        return std::nullopt;
    return result;
}

QString lunarMonthName(int month, bool leap) {
    QString name;
    switch (month) {
    case 1:
        name = QStringLiteral("正");
        break;
    case 11:
        name = QStringLiteral("冬");
        break;
    case 12:
        name = QStringLiteral("腊");
        break;
    default:
        if (month < 1 || month > 12)
            return {};
        name = chineseDigit(month);
    }
    name += QStringLiteral("月");
    return leap ? QStringLiteral("闰") + name : name;
}

QString lunarDayName(int day) {
    if (day < 1 || day > 30)
        return {};
    if (day <= 10)
        return QStringLiteral("初") + chineseDigit(day);
    if (day < 20)
        return QStringLiteral("十") + chineseDigit(day - 10);
    if (day == 20)
        return QStringLiteral("二十");
    if (day < 30)
        return QStringLiteral("廿") + chineseDigit(day - 20);
    return QStringLiteral("三十");
}

QString lunarDateText(const LunarDate& date) {
    const QString month = lunarMonthName(date.month, date.leap);
    const QString day = lunarDayName(date.day);
    if (month.isEmpty() || day.isEmpty())
        return {};
    return QStringLiteral("农历") + month + day;
}

QString solarTermName(int index) {
    return index >= 0 && index < termNames().size() ? termNames().at(index) : QString();
}

int solarTermIndexOn(QDate day) {
    if (!isSupported(day))
        return -1;
    std::lock_guard lock(libraryMutex());
    const NovaLibrary* nova = novaLibrary();
    if (!nova)
        return -1;
    const double start = apparentSolarLongitude(*nova, beijingMidnightJde(day));
    const double end = apparentSolarLongitude(*nova, beijingMidnightJde(day.addDays(1)));
    // A term falls on the day when a multiple of 15° lies in [start, end): at most one can,
    // since the Sun moves about 1° a day.
    const int startSector = int(start / 15.0);
    const int endSector = int(end / 15.0);
    if (startSector == endSector)
        return -1;
    const double longitude = endSector * 15.0;
    return int(std::lround(normalizedDegrees(longitude - 285.0) / 15.0)) % 24;
}

QString solarTermOn(QDate day) {
    return solarTermName(solarTermIndexOn(day));
}

QString daysToTargetText(QDate day, std::optional<QDate> target) {
    if (!day.isValid() || !target || !target->isValid())
        return {};
    const qint64 days = day.daysTo(*target);
    if (days > 0)
        return QStringLiteral("距考试还有 %1 天").arg(days);
    if (days < 0)
        return QStringLiteral("考试已过 %1 天").arg(-days);
    return QStringLiteral("今天考试");
}

QString describeDay(QDate day, std::optional<QDate> target) {
    QStringList parts;
    if (const auto date = lunarDate(day))
        parts << lunarDateText(*date);
    parts << solarTermOn(day) << daysToTargetText(day, target);
    parts.removeAll(QString());
    return parts.join(QLatin1Char(' '));
}

} // namespace lunar
